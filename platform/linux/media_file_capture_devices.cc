#include "platform/linux/media_file_capture_devices.h"

#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>

#include "platform/capture_delivery.h"
#include "platform/linux/ffmpeg_util.h"
#include "platform/linux/threaded_capture_source.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/pixdesc.h>
}

namespace platform {

using namespace ffmpeg;
using std::chrono::steady_clock;

class MediaFilePlayer {
 public:
  static std::shared_ptr<MediaFilePlayer> Open(const std::string& path, std::string* error) {
    auto player = std::shared_ptr<MediaFilePlayer>(new MediaFilePlayer(path));
    if (!player->Probe(error)) return nullptr;
    return player;
  }
  ~MediaFilePlayer() { Halt(); }

  const std::string& path() const { return path_; }
  bool has_video() const { return video_index_ >= 0; }
  bool has_audio() const { return audio_index_ >= 0; }
  int width() const { return width_; }
  int height() const { return height_; }

  VideoDelivery& video() { return video_; }
  AudioDelivery& audio() { return audio_; }

  // Sources start and stop the player; it runs while one of them runs.
  bool Attach(std::string* error) {
    std::lock_guard lock(mutex_);
    if (users_++ > 0) return true;
    stop_ = false;
    if (!OpenForPlaying(error)) {
      --users_;
      return false;
    }
    thread_ = std::thread([this] { Run(); });
    return true;
  }
  void Detach() {
    std::unique_lock lock(mutex_);
    if (users_ == 0 || --users_ > 0) return;
    lock.unlock();
    Halt();
  }

 private:
  explicit MediaFilePlayer(std::string path) : path_(std::move(path)) {}

  void Halt() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    input_.reset();
    video_decoder_.reset();
    audio_decoder_.reset();
  }

  bool Probe(std::string* error) {
    if (!OpenForPlaying(error)) return false;
    input_.reset();
    if (video_index_ < 0 && audio_index_ < 0) {
      if (error) *error = path_ + ": has neither a video nor an audio track";
      return false;
    }
    return true;
  }

  bool OpenForPlaying(std::string* error) {
    Initialize();
    AVFormatContext* raw = nullptr;
    int rc = avformat_open_input(&raw, path_.c_str(), nullptr, nullptr);
    if (rc < 0) {
      if (error) *error = path_ + ": " + ErrorText(rc);
      return false;
    }
    input_.reset(raw);
    rc = avformat_find_stream_info(raw, nullptr);
    if (rc < 0) {
      if (error) *error = path_ + ": " + ErrorText(rc);
      return false;
    }
    video_index_ = OpenDecoder(AVMEDIA_TYPE_VIDEO, video_decoder_);
    audio_index_ = OpenDecoder(AVMEDIA_TYPE_AUDIO, audio_decoder_);
    if (video_decoder_) {
      width_ = video_decoder_->width & ~1;
      height_ = video_decoder_->height & ~1;
    }
    return true;
  }

  int OpenDecoder(AVMediaType type, CodecContextPtr& decoder) {
    const AVCodec* codec = nullptr;
    int index = av_find_best_stream(input_.get(), type, -1, -1, &codec, 0);
    if (index < 0 || !codec) return -1;
    decoder.reset(avcodec_alloc_context3(codec));
    avcodec_parameters_to_context(decoder.get(), input_->streams[index]->codecpar);
    decoder->thread_count = 1;
    decoder->pkt_timebase = input_->streams[index]->time_base;
    if (avcodec_open2(decoder.get(), codec, nullptr) < 0) {
      decoder.reset();
      return -1;
    }
    return index;
  }

  // Waits until the sample at `seconds` of the playback is due; false when stopped.
  bool WaitFor(double seconds) {
    const auto due = start_ + std::chrono::microseconds(static_cast<int64_t>(seconds * 1e6));
    while (!stop_) {
      const auto now = steady_clock::now();
      if (now >= due) return true;
      std::this_thread::sleep_for(
          std::min<steady_clock::duration>(due - now, std::chrono::milliseconds(50)));
    }
    return false;
  }

  double Seconds(const AVFrame* f, int index) const {
    int64_t ts = f->best_effort_timestamp;
    if (ts == AV_NOPTS_VALUE) return -1;
    const AVStream* s = input_->streams[index];
    if (s->start_time != AV_NOPTS_VALUE) ts -= s->start_time;
    return ts * av_q2d(s->time_base);
  }

  void HandVideo(AVFrame* f, double loop_offset) {
    const double t = Seconds(f, video_index_);
    if (t >= 0) {
      last_time_ = std::max(last_time_, t);
      if (!WaitFor(loop_offset + t)) return;
    }
    VideoFrame frame = VideoFrame::Allocate(width_, height_);
    sws_.reset(sws_getCachedContext(sws_.release(), f->width, f->height,
                                    static_cast<AVPixelFormat>(f->format), width_, height_,
                                    AV_PIX_FMT_NV12, SWS_BILINEAR, nullptr, nullptr, nullptr));
    if (!sws_) return;
    const int* coefficients = sws_getCoefficients(SWS_CS_ITU601);
    sws_setColorspaceDetails(sws_.get(), coefficients, f->color_range == AVCOL_RANGE_JPEG ? 1 : 0,
                             coefficients, 0, 0, 1 << 16, 1 << 16);
    uint8_t* dst[2] = {frame.y(), frame.uv()};
    int dst_stride[2] = {frame.y_stride, frame.uv_stride};
    sws_scale(sws_.get(), f->data, f->linesize, 0, f->height, dst, dst_stride);
    frame.pts_us = CaptureClockNowUs();
    video_.Deliver(frame);
  }

  void HandAudio(AVFrame* f, double loop_offset) {
    const double t = Seconds(f, audio_index_);
    if (t >= 0) {
      last_time_ = std::max(last_time_, t + static_cast<double>(f->nb_samples) / f->sample_rate);
    }
    if (!chain_) {
      char layout[64] = "mono";
      if (f->ch_layout.nb_channels > 0)
        av_channel_layout_describe(&f->ch_layout, layout, sizeof layout);
      const std::string args = "time_base=1/" + std::to_string(f->sample_rate) +
                               ":sample_rate=" + std::to_string(f->sample_rate) + ":sample_fmt=" +
                               av_get_sample_fmt_name(static_cast<AVSampleFormat>(f->format)) +
                               ":channel_layout=" + layout;
      const char* out_layout = f->ch_layout.nb_channels >= 2 ? "stereo" : "mono";
      chain_ = FilterChain::Create(
          false, args, std::string("aformat=sample_fmts=s16:channel_layouts=") + out_layout,
          nullptr);
      if (!chain_) return;
    }
    if (t >= 0 && !WaitFor(loop_offset + t)) return;
    f->pts = AV_NOPTS_VALUE;
    if (!chain_->Push(f)) return;
    FramePtr out = MakeFrame();
    while (chain_->Pull(out.get()) > 0) {
      const int channels = out->ch_layout.nb_channels;
      auto samples =
          std::make_shared<std::vector<int16_t>>(static_cast<size_t>(out->nb_samples) * channels);
      std::memcpy(samples->data(), out->data[0], samples->size() * sizeof(int16_t));
      AudioSamples block;
      block.sample_rate = out->sample_rate;
      block.channels = channels;
      block.pts_us = CaptureClockNowUs();
      block.samples = std::move(samples);
      audio_.Deliver(block);
      av_frame_unref(out.get());
    }
  }

  void Run() {
    PacketPtr packet = MakePacket();
    FramePtr frame = MakeFrame();
    start_ = steady_clock::now();
    double loop_offset = 0;
    while (!stop_) {
      int rc = av_read_frame(input_.get(), packet.get());
      if (rc < 0) {
        // The end: play again from the start, continuing the time line.
        if (last_time_ <= 0) break;
        loop_offset += last_time_ + 0.1;
        last_time_ = 0;
        avformat_seek_file(input_.get(), -1, INT64_MIN, 0, 0, 0);
        if (video_decoder_) avcodec_flush_buffers(video_decoder_.get());
        if (audio_decoder_) avcodec_flush_buffers(audio_decoder_.get());
        continue;
      }
      AVCodecContext* decoder = nullptr;
      if (packet->stream_index == video_index_) decoder = video_decoder_.get();
      if (packet->stream_index == audio_index_) decoder = audio_decoder_.get();
      if (decoder && avcodec_send_packet(decoder, packet.get()) >= 0) {
        while (!stop_ && avcodec_receive_frame(decoder, frame.get()) >= 0) {
          if (decoder == video_decoder_.get()) {
            HandVideo(frame.get(), loop_offset);
          } else {
            HandAudio(frame.get(), loop_offset);
          }
          av_frame_unref(frame.get());
        }
      }
      av_packet_unref(packet.get());
    }
  }

  const std::string path_;
  std::mutex mutex_;
  int users_ = 0;
  std::atomic<bool> stop_{false};
  std::thread thread_;
  InputPtr input_;
  CodecContextPtr video_decoder_, audio_decoder_;
  int video_index_ = -1, audio_index_ = -1;
  int width_ = 0, height_ = 0;
  SwsPtr sws_;
  std::unique_ptr<FilterChain> chain_;
  steady_clock::time_point start_;
  double last_time_ = 0;
  VideoDelivery video_;
  AudioDelivery audio_;
};

namespace {

class FileVideoSource final : public VideoCaptureSource {
 public:
  FileVideoSource(std::shared_ptr<MediaFilePlayer> player, CameraInfo info)
      : player_(std::move(player)), info_(std::move(info)) {}
  ~FileVideoSource() override { Stop(); }
  const CameraInfo& info() const override { return info_; }
  void SetOutput(std::shared_ptr<DispatchQueue> queue, VideoFrameHandler handler,
                 int frame_rate) override {
    player_->video().Configure(std::move(queue), std::move(handler), frame_rate);
  }
  bool Start(std::string* error) override {
    if (running_) return true;
    player_->video().Activate();
    if (!player_->Attach(error)) {
      player_->video().Deactivate();
      return false;
    }
    running_ = true;
    return true;
  }
  void Stop() override {
    if (!running_) return;
    player_->video().Deactivate();
    player_->Detach();
    running_ = false;
  }
  bool running() const override { return running_; }
  bool SetTorch(bool) override { return false; }
  bool SetContinuousAutoFocus() override { return false; }
  bool SetFocusPoint(double, double) override { return false; }
  Rect CleanAperture() const override {
    return Rect{0, 0, static_cast<double>(player_->width()),
                static_cast<double>(player_->height())};
  }

 private:
  std::shared_ptr<MediaFilePlayer> player_;
  CameraInfo info_;
  bool running_ = false;
};

class FileAudioSource final : public AudioCaptureSource {
 public:
  explicit FileAudioSource(std::shared_ptr<MediaFilePlayer> player)
      : player_(std::move(player)), name_("file:" + player_->path()) {}
  ~FileAudioSource() override { Stop(); }
  const std::string& name() const override { return name_; }
  void SetOutput(std::shared_ptr<DispatchQueue> queue, AudioSamplesHandler handler) override {
    player_->audio().Configure(std::move(queue), std::move(handler));
  }
  bool Start(std::string* error) override {
    if (running_) return true;
    player_->audio().Activate();
    if (!player_->Attach(error)) {
      player_->audio().Deactivate();
      return false;
    }
    running_ = true;
    return true;
  }
  void Stop() override {
    if (!running_) return;
    player_->audio().Deactivate();
    player_->Detach();
    running_ = false;
  }
  bool running() const override { return running_; }

 private:
  std::shared_ptr<MediaFilePlayer> player_;
  std::string name_;
  bool running_ = false;
};

}  // namespace

std::unique_ptr<MediaFileCaptureDevices> MediaFileCaptureDevices::Open(const std::string& path,
                                                                       std::string* error) {
  auto player = MediaFilePlayer::Open(path, error);
  if (!player) return nullptr;
  return std::unique_ptr<MediaFileCaptureDevices>(new MediaFileCaptureDevices(std::move(player)));
}

MediaFileCaptureDevices::MediaFileCaptureDevices(std::shared_ptr<MediaFilePlayer> player)
    : player_(std::move(player)) {}
MediaFileCaptureDevices::~MediaFileCaptureDevices() = default;

std::vector<CameraInfo> MediaFileCaptureDevices::Cameras() {
  if (!player_->has_video()) return {};
  return {CameraInfo{"file", "file " + player_->path(), CameraPosition::kBack}};
}

bool MediaFileCaptureDevices::HasMicrophone() { return player_->has_audio(); }

std::unique_ptr<VideoCaptureSource> MediaFileCaptureDevices::OpenCamera(const std::string& id,
                                                                        std::string* error) {
  auto cameras = Cameras();
  if (cameras.empty() || cameras[0].id != id) {
    if (error) *error = player_->path() + ": no video track";
    return nullptr;
  }
  return std::make_unique<FileVideoSource>(player_, cameras[0]);
}

std::unique_ptr<AudioCaptureSource> MediaFileCaptureDevices::OpenMicrophone(std::string* error) {
  if (!player_->has_audio()) {
    if (error) *error = player_->path() + ": no audio track";
    return nullptr;
  }
  return std::make_unique<FileAudioSource>(player_);
}

}  // namespace platform
