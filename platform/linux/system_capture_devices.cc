#include "platform/linux/system_capture_devices.h"

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <sstream>
#include <thread>

#include "platform/linux/ffmpeg_util.h"
#include "platform/linux/threaded_capture_source.h"

extern "C" {
#include <libavdevice/avdevice.h>
}

namespace platform {
namespace {

using namespace ffmpeg;

// Opens a capture device; `stop` (when given) interrupts blocking reads.
InputPtr OpenDevice(const char* format_name, const std::string& device, AVDictionary** options,
                    std::atomic<bool>* stop, std::string* error) {
  Initialize();
  const AVInputFormat* format = av_find_input_format(format_name);
  if (!format) {
    if (error) *error = std::string("this FFmpeg has no ") + format_name + " input";
    return nullptr;
  }
  AVFormatContext* context = avformat_alloc_context();
  if (stop) {
    context->interrupt_callback.callback = [](void* flag) -> int {
      return static_cast<std::atomic<bool>*>(flag)->load() ? 1 : 0;
    };
    context->interrupt_callback.opaque = stop;
  }
  int rc = avformat_open_input(&context, device.c_str(), format, options);
  if (rc < 0) {
    if (error) *error = device + ": " + ErrorText(rc);
    return nullptr;
  }
  return InputPtr(context);
}

class DeviceVideoSource final : public ThreadedVideoSource {
 public:
  explicit DeviceVideoSource(CameraInfo info) : ThreadedVideoSource(std::move(info)) {}
  ~DeviceVideoSource() override { Stop(); }
  Rect CleanAperture() const override {
    std::lock_guard lock(mutex_);
    return aperture_;
  }

 private:
  bool Open(std::string* error) override {
    const std::string& id = info().id;
    AVDictionary* options = nullptr;
    // The highest common size first ("preset high"); the device may pick another.
    av_dict_set(&options, "video_size", "1280x720", 0);
    if (frame_rate() > 0)
      av_dict_set(&options, "framerate", std::to_string(frame_rate()).c_str(), 0);
    input_ = OpenDevice("video4linux2", id, &options, stop_flag(), error);
    av_dict_free(&options);
    if (!input_) input_ = OpenDevice("video4linux2", id, nullptr, stop_flag(), error);
    if (!input_ || avformat_find_stream_info(input_.get(), nullptr) < 0 || input_->nb_streams < 1) {
      if (error && input_) *error = id + ": no video stream";
      input_.reset();
      return false;
    }
    AVStream* stream = input_->streams[0];
    const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
    decoder_.reset(codec ? avcodec_alloc_context3(codec) : nullptr);
    if (!decoder_ || avcodec_parameters_to_context(decoder_.get(), stream->codecpar) < 0 ||
        avcodec_open2(decoder_.get(), codec, nullptr) < 0) {
      if (error) *error = id + ": cannot decode its pictures";
      Close();
      return false;
    }
    std::lock_guard lock(mutex_);
    aperture_ = Rect{0, 0, static_cast<double>(stream->codecpar->width),
                     static_cast<double>(stream->codecpar->height)};
    return true;
  }

  void Close() override {
    decoder_.reset();
    input_.reset();
  }

  void Run() override {
    PacketPtr packet = MakePacket();
    FramePtr picture = MakeFrame();
    SwsPtr sws;
    while (!stopping() && av_read_frame(input_.get(), packet.get()) >= 0) {
      const int64_t captured = CaptureClockNowUs();
      avcodec_send_packet(decoder_.get(), packet.get());
      av_packet_unref(packet.get());
      while (avcodec_receive_frame(decoder_.get(), picture.get()) >= 0) {
        const int w = picture->width & ~1, h = picture->height & ~1;
        if (w <= 0 || h <= 0) continue;
        VideoFrame frame = VideoFrame::Allocate(w, h);
        frame.pts_us = captured;
        sws.reset(sws_getCachedContext(sws.release(), picture->width, picture->height,
                                       static_cast<AVPixelFormat>(picture->format), w, h,
                                       AV_PIX_FMT_NV12, SWS_BILINEAR, nullptr, nullptr, nullptr));
        if (!sws) break;
        const int* coefficients = sws_getCoefficients(SWS_CS_ITU601);
        const bool full = picture->color_range == AVCOL_RANGE_JPEG ||
                          picture->format == AV_PIX_FMT_YUVJ420P ||
                          picture->format == AV_PIX_FMT_YUVJ422P;
        sws_setColorspaceDetails(sws.get(), coefficients, full ? 1 : 0, coefficients, 0, 0, 1 << 16,
                                 1 << 16);
        uint8_t* dst[2] = {frame.y(), frame.uv()};
        int dst_stride[2] = {frame.y_stride, frame.uv_stride};
        sws_scale(sws.get(), picture->data, picture->linesize, 0, picture->height, dst, dst_stride);
        Deliver(frame);
        av_frame_unref(picture.get());
      }
    }
  }

  mutable std::mutex mutex_;
  InputPtr input_;
  CodecContextPtr decoder_;
  Rect aperture_;
};

class DeviceAudioSource final : public ThreadedAudioSource {
 public:
  DeviceAudioSource(std::string format, std::string device)
      : ThreadedAudioSource(format + ":" + device),
        format_(std::move(format)),
        device_(std::move(device)) {}
  ~DeviceAudioSource() override { Stop(); }

 private:
  bool Open(std::string* error) override {
    AVDictionary* options = nullptr;
    av_dict_set(&options, "sample_rate", "44100", 0);
    av_dict_set(&options, "channels", "1", 0);
    input_ = OpenDevice(format_.c_str(), device_, &options, stop_flag(), error);
    av_dict_free(&options);
    if (!input_) return false;
    AVCodecParameters* par = input_->streams[0]->codecpar;
    if (par->codec_id != AV_CODEC_ID_PCM_S16LE) {
      if (error) *error = name() + ": delivers no 16-bit PCM";
      input_.reset();
      return false;
    }
    rate_ = par->sample_rate;
    channels_ = par->ch_layout.nb_channels > 0 ? par->ch_layout.nb_channels : 1;
    return true;
  }

  void Close() override { input_.reset(); }

  void Run() override {
    PacketPtr packet = MakePacket();
    while (!stopping() && av_read_frame(input_.get(), packet.get()) >= 0) {
      const size_t count = static_cast<size_t>(packet->size) / sizeof(int16_t);
      auto samples = std::make_shared<std::vector<int16_t>>(count);
      std::memcpy(samples->data(), packet->data, count * sizeof(int16_t));
      AudioSamples block;
      block.sample_rate = rate_;
      block.channels = channels_;
      const int64_t frames = static_cast<int64_t>(count) / channels_;
      block.pts_us = CaptureClockNowUs() - frames * 1000000 / rate_;
      block.samples = std::move(samples);
      Deliver(block);
      av_packet_unref(packet.get());
    }
  }

  const std::string format_, device_;
  InputPtr input_;
  int rate_ = 44100, channels_ = 1;
};

bool PulseServerReachable() {
  if (std::getenv("PULSE_SERVER")) return true;
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  std::string socket =
      std::string(runtime ? runtime : "/run/user/" + std::to_string(getuid())) + "/pulse/native";
  return ::access(socket.c_str(), F_OK) == 0;
}

bool AlsaHasCard() {
  std::ifstream cards("/proc/asound/cards");
  std::string line;
  if (!cards || !std::getline(cards, line)) return false;
  return line.find("no soundcards") == std::string::npos;
}

}  // namespace

std::vector<CameraInfo> SystemCaptureDevices::Cameras() {
  Initialize();
  std::vector<CameraInfo> cameras;
  const AVInputFormat* v4l2 = av_find_input_format("video4linux2");
  AVDeviceInfoList* list = nullptr;
  if (!v4l2 || avdevice_list_input_sources(v4l2, nullptr, nullptr, &list) < 0 || !list) {
    avdevice_free_list_devices(&list);
    return cameras;
  }
  for (int i = 0; i < list->nb_devices; ++i) {
    const AVDeviceInfo* device = list->devices[i];
    CameraInfo info;
    info.id = device->device_name;
    info.name = device->device_description ? device->device_description : device->device_name;
    info.position = cameras.empty() ? CameraPosition::kBack : CameraPosition::kFront;
    if (cameras.size() < 2) cameras.push_back(std::move(info));
  }
  avdevice_free_list_devices(&list);
  return cameras;
}

std::optional<SystemCaptureDevices::Microphone> SystemCaptureDevices::FindMicrophone() {
  std::vector<Microphone> candidates;
  if (PulseServerReachable()) candidates.push_back({"pulse", "default"});
  if (AlsaHasCard()) candidates.push_back({"alsa", "default"});
  for (const Microphone& m : candidates) {
    if (OpenDevice(m.format.c_str(), m.device, nullptr, nullptr, nullptr)) return m;
  }
  return std::nullopt;
}

bool SystemCaptureDevices::HasMicrophone() { return FindMicrophone().has_value(); }

std::unique_ptr<VideoCaptureSource> SystemCaptureDevices::OpenCamera(const std::string& id,
                                                                     std::string* error) {
  for (CameraInfo& camera : Cameras()) {
    if (camera.id == id) return std::make_unique<DeviceVideoSource>(std::move(camera));
  }
  if (error) *error = std::string(kNoCamera);
  return nullptr;
}

std::unique_ptr<AudioCaptureSource> SystemCaptureDevices::OpenMicrophone(std::string* error) {
  auto microphone = FindMicrophone();
  if (!microphone) {
    if (error) *error = kNoMicrophone;
    return nullptr;
  }
  return std::make_unique<DeviceAudioSource>(microphone->format, microphone->device);
}

}  // namespace platform
