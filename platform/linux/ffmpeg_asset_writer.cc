#include "platform/linux/ffmpeg_asset_writer.h"

#include <sys/stat.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "platform/linux/ffmpeg_util.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/display.h>
#include <libavutil/opt.h>
}

namespace platform {
namespace {

using namespace ffmpeg;

constexpr AVRational kVideoTimeBase{1, 90000};

std::string DirectoryOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// The options an encoder left unused: a setting that silently did not apply
// (a renamed option, say) would change what the reader of the files relies on.
std::string UnusedOptions(AVDictionary* options) {
  std::string names;
  const AVDictionaryEntry* entry = nullptr;
  while ((entry = av_dict_get(options, "", entry, AV_DICT_IGNORE_SUFFIX))) {
    names += (names.empty() ? "" : ", ") + std::string(entry->key);
  }
  return names;
}

// Copies the Annex B NAL units of `data` into `out`, leaving out SEI (type 6).
// Returns false when there was nothing to leave out.
bool WithoutSei(const uint8_t* data, int size, std::vector<uint8_t>& out) {
  std::vector<std::pair<int, int>> units;  // start code offset, NAL offset
  for (int i = 0; i + 3 <= size; ++i) {
    if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1) {
      int start = (i > 0 && data[i - 1] == 0) ? i - 1 : i;
      units.emplace_back(start, i + 3);
      i += 2;
    }
  }
  bool dropped = false;
  out.clear();
  for (size_t u = 0; u < units.size(); ++u) {
    const int begin = units[u].first;
    const int end = u + 1 < units.size() ? units[u + 1].first : size;
    const int nal = units[u].second;
    if (nal < size && (data[nal] & 0x1F) == 6) {
      dropped = true;
      continue;
    }
    out.insert(out.end(), data + begin, data + end);
  }
  return dropped && !out.empty();
}

class FfmpegAssetWriter final : public AssetWriter {
 public:
  explicit FfmpegAssetWriter(std::string path) : path_(std::move(path)) {}
  ~FfmpegAssetWriter() override { CloseOutput(); }

  const std::string& output_path() const override { return path_; }

  bool AddVideoInput(const VideoOutputSettings& s) override {
    if (!CanAddInput()) return false;
    if (s.width <= 0 || s.height <= 0 || s.width % 2 || s.height % 2 || s.frame_rate <= 0 ||
        s.average_bit_rate <= 0 || s.max_key_frame_interval <= 0) {
      return Fail("video settings out of range");
    }
    const AVCodec* codec = avcodec_find_encoder_by_name("libx264");
    if (!codec) return Fail("no H.264 encoder (libx264) in this FFmpeg");
    CodecContextPtr c(avcodec_alloc_context3(codec));
    c->width = s.width;
    c->height = s.height;
    c->pix_fmt = AV_PIX_FMT_NV12;
    c->color_range = AVCOL_RANGE_MPEG;
    c->time_base = kVideoTimeBase;
    c->framerate = AVRational{s.frame_rate, 1};
    c->bit_rate = s.average_bit_rate;
    c->rc_max_rate = 2 * s.average_bit_rate;
    c->rc_buffer_size = 2 * s.average_bit_rate;
    c->gop_size = s.max_key_frame_interval;
    c->max_b_frames = 0;
    c->thread_count = 1;
    c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    AVDictionary* options = nullptr;
    av_dict_set(&options, "preset", "veryfast", 0);
    av_dict_set(&options, "tune", "zerolatency", 0);
    av_dict_set(&options, "profile", "main", 0);
    // One slice a frame: the reader of the growing file counts slices per frame.
    av_dict_set(&options, "x264-params",
                "sliced-threads=0:slices=1:bframes=0:rc-lookahead=0:aud=0:repeat-headers=0", 0);
    int rc = avcodec_open2(c.get(), codec, &options);
    const std::string unused = UnusedOptions(options);
    av_dict_free(&options);
    if (rc < 0) return Fail("Couldn't apply video output settings: " + ErrorText(rc));
    if (!unused.empty()) return Fail("the H.264 encoder does not know " + unused);
    encoder_ = std::move(c);
    video_ = s;
    is_video_ = true;
    return true;
  }

  bool AddAudioInput(const AudioOutputSettings& s) override {
    if (!CanAddInput()) return false;
    if (s.sample_rate <= 0 || s.channels < 1 || s.channels > 2 || s.bit_rate_per_channel <= 0) {
      return Fail("audio settings out of range");
    }
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_AAC);
    if (!codec) return Fail("no AAC encoder in this FFmpeg");
    CodecContextPtr c(avcodec_alloc_context3(codec));
    c->sample_fmt = AV_SAMPLE_FMT_FLTP;
    c->sample_rate = s.sample_rate;
    av_channel_layout_default(&c->ch_layout, s.channels);
    c->bit_rate = static_cast<int64_t>(s.bit_rate_per_channel) * s.channels;
    c->profile = FF_PROFILE_AAC_LOW;
    c->time_base = AVRational{1, s.sample_rate};
    c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    AVDictionary* options = nullptr;
    // Noise substitution makes bands that the segmenter's frame walker cannot skip.
    av_dict_set(&options, "aac_pns", "0", 0);
    int rc = avcodec_open2(c.get(), codec, &options);
    const std::string unused = UnusedOptions(options);
    av_dict_free(&options);
    if (rc < 0) return Fail("Couldn't apply audio output settings: " + ErrorText(rc));
    if (!unused.empty()) return Fail("the AAC encoder does not know " + unused);
    encoder_ = std::move(c);
    audio_ = s;
    is_video_ = false;
    return true;
  }

  bool StartWriting() override {
    if (status_ != AssetWriterStatus::kUnknown) return Fail("writing was already started");
    if (!encoder_) return Fail("the writer has no input");
    AVFormatContext* out = nullptr;
    int rc = avformat_alloc_output_context2(&out, nullptr, "mov", path_.c_str());
    if (rc < 0 || !out) return Fail("cannot make a movie: " + ErrorText(rc));
    output_ = out;
    stream_ = avformat_new_stream(out, nullptr);
    if (!stream_) return Fail("cannot add a track");
    avcodec_parameters_from_context(stream_->codecpar, encoder_.get());
    stream_->time_base = encoder_->time_base;
    if (is_video_ && video_.rotation_radians != 0) {
      auto* matrix = reinterpret_cast<int32_t*>(
          av_stream_new_side_data(stream_, AV_PKT_DATA_DISPLAYMATRIX, 9 * sizeof(int32_t)));
      // The muxer stores the matrix transposed: this sign reads back as the platform's
      // portrait files do (rotation -90 for a quarter turn).
      if (matrix) av_display_rotation_set(matrix, video_.rotation_radians * 180.0 / M_PI);
    }
    rc = avio_open(&out->pb, path_.c_str(), AVIO_FLAG_WRITE);
    if (rc < 0) return Fail("cannot create " + path_ + ": " + ErrorText(rc));
    out->flags |= AVFMT_FLAG_FLUSH_PACKETS;
    rc = avformat_write_header(out, nullptr);
    if (rc < 0) return Fail("cannot write the movie header: " + ErrorText(rc));
    avio_flush(out->pb);
    packet_ = MakePacket();
    frame_ = MakeFrame();
    status_ = AssetWriterStatus::kWriting;
    return true;
  }

  void StartSession(int64_t source_time_us) override {
    session_start_us_ = source_time_us;
    session_started_ = true;
  }

  bool IsReadyForMoreMediaData() const override { return status_ == AssetWriterStatus::kWriting; }

  bool AppendVideo(const VideoFrame& f) override {
    if (!CanAppend(true)) return false;
    if (!f.valid() || f.width % 2 || f.height % 2) return Fail("not a picture");
    if (f.pts_us < session_start_us_) return true;  // before the session: not part of the track
    // Aspect fill: the centred region of the output's aspect.
    int crop_w = f.width, crop_h = f.height;
    if (static_cast<int64_t>(f.width) * video_.height >
        static_cast<int64_t>(f.height) * video_.width) {
      crop_w = static_cast<int>(static_cast<int64_t>(f.height) * video_.width / video_.height) & ~1;
    } else {
      crop_h = static_cast<int>(static_cast<int64_t>(f.width) * video_.height / video_.width) & ~1;
    }
    const int x_off = ((f.width - crop_w) / 2) & ~1;
    const int y_off = ((f.height - crop_h) / 2) & ~1;
    if (!sws_ || sws_width_ != crop_w || sws_height_ != crop_h || sws_full_ != f.full_range) {
      sws_.reset(sws_getContext(crop_w, crop_h, AV_PIX_FMT_NV12, video_.width, video_.height,
                                AV_PIX_FMT_NV12, SWS_BILINEAR, nullptr, nullptr, nullptr));
      if (!sws_) return Fail("cannot scale the picture");
      const int* coefficients = sws_getCoefficients(SWS_CS_ITU601);
      sws_setColorspaceDetails(sws_.get(), coefficients, f.full_range ? 1 : 0, coefficients, 0, 0,
                               1 << 16, 1 << 16);
      sws_width_ = crop_w;
      sws_height_ = crop_h;
      sws_full_ = f.full_range;
    }
    av_frame_unref(frame_.get());
    frame_->format = AV_PIX_FMT_NV12;
    frame_->width = video_.width;
    frame_->height = video_.height;
    frame_->color_range = AVCOL_RANGE_MPEG;
    if (av_frame_get_buffer(frame_.get(), 0) < 0) return Fail("out of memory");
    const uint8_t* src[2] = {f.y() + static_cast<size_t>(y_off) * f.y_stride + x_off,
                             f.uv() + static_cast<size_t>(y_off / 2) * f.uv_stride + x_off};
    const int src_stride[2] = {f.y_stride, f.uv_stride};
    sws_scale(sws_.get(), src, src_stride, 0, crop_h, frame_->data, frame_->linesize);
    // Times on the grid of the frame rate, as the segmenter counts them: capture
    // jitter and a device whose rate is not a multiple of ours do not make the
    // track irregular.
    int64_t slot =
        (f.pts_us - session_start_us_ + 500000 / video_.frame_rate) * video_.frame_rate / 1000000;
    if (slot <= last_slot_) slot = last_slot_ + 1;
    last_slot_ = slot;
    frame_->pts = av_rescale_q(slot, AVRational{1, video_.frame_rate}, kVideoTimeBase);
    return Encode(frame_.get());
  }

  bool AppendAudio(const AudioSamples& s) override {
    if (!CanAppend(false)) return false;
    if (s.frames() <= 0 || s.sample_rate <= 0 || s.channels < 1 || s.channels > 8) {
      return Fail("no audio samples");
    }
    if (!chain_ || chain_rate_ != s.sample_rate || chain_channels_ != s.channels) {
      if (chain_) FlushChain();
      std::string error;
      char layout[64];
      AVChannelLayout ch{};
      av_channel_layout_default(&ch, s.channels);
      av_channel_layout_describe(&ch, layout, sizeof layout);
      av_channel_layout_uninit(&ch);
      const std::string args = "time_base=1/" + std::to_string(s.sample_rate) +
                               ":sample_rate=" + std::to_string(s.sample_rate) +
                               ":sample_fmt=s16:channel_layout=" + layout;
      const std::string description =
          "aresample=" + std::to_string(audio_.sample_rate) +
          ",aformat=sample_fmts=fltp:channel_layouts=" + (audio_.channels == 1 ? "mono" : "stereo");
      chain_ = FilterChain::Create(false, args, description, &error);
      if (!chain_) return Fail(error);
      chain_->SetAudioFrameSize(encoder_->frame_size > 0 ? encoder_->frame_size : 1024);
      chain_rate_ = s.sample_rate;
      chain_channels_ = s.channels;
      chain_samples_ = 0;
    }
    FramePtr in = MakeFrame();
    in->format = AV_SAMPLE_FMT_S16;
    in->sample_rate = s.sample_rate;
    av_channel_layout_default(&in->ch_layout, s.channels);
    in->nb_samples = s.frames();
    if (av_frame_get_buffer(in.get(), 0) < 0) return Fail("out of memory");
    std::memcpy(in->data[0], s.samples->data(),
                static_cast<size_t>(s.frames()) * s.channels * sizeof(int16_t));
    in->pts = chain_samples_;
    chain_samples_ += s.frames();
    if (!chain_->Push(in.get())) return Fail("cannot resample the audio");
    return DrainChain();
  }

  bool FinishWriting() override {
    if (status_ != AssetWriterStatus::kWriting) {
      return Fail("cannot finish: the writer is not writing");
    }
    bool ok = true;
    if (!is_video_ && chain_) ok = FlushChain();
    ok = ok && Encode(nullptr);
    if (!ok) return false;
    int rc = av_write_trailer(output_);
    if (rc < 0) return Fail("cannot write the movie box: " + ErrorText(rc));
    rc = avio_closep(&output_->pb);
    if (rc < 0) return Fail("cannot close " + path_ + ": " + ErrorText(rc));
    CloseOutput();
    status_ = AssetWriterStatus::kCompleted;
    return true;
  }

  void CancelWriting() override {
    CloseOutput();
    if (status_ == AssetWriterStatus::kUnknown || status_ == AssetWriterStatus::kWriting) {
      status_ = AssetWriterStatus::kCancelled;
    }
  }

  AssetWriterStatus status() const override { return status_; }
  std::string error() const override { return error_; }

 private:
  bool CanAddInput() {
    if (encoder_) return Fail("the writer has an input already");
    if (status_ != AssetWriterStatus::kUnknown) return Fail("writing was already started");
    return true;
  }

  bool CanAppend(bool video) {
    if (status_ != AssetWriterStatus::kWriting) return Fail("the writer is not writing");
    if (video != is_video_) return Fail(video ? "no video input" : "no audio input");
    if (!session_started_) return Fail("the session was not started");
    return true;
  }

  bool Fail(std::string message) {
    error_ = std::move(message);
    if (status_ == AssetWriterStatus::kWriting) status_ = AssetWriterStatus::kFailed;
    return false;
  }

  bool DrainChain() {
    FramePtr out = MakeFrame();
    for (;;) {
      int got = chain_->Pull(out.get());
      if (got <= 0) return true;
      out->pts = audio_pts_;
      audio_pts_ += out->nb_samples;
      bool ok = Encode(out.get());
      av_frame_unref(out.get());
      if (!ok) return false;
    }
  }

  bool FlushChain() {
    chain_->Push(nullptr);
    bool ok = DrainChain();
    chain_.reset();
    return ok;
  }

  // Sends a frame (nullptr drains) and writes every packet that comes out.
  bool Encode(AVFrame* frame) {
    int rc = avcodec_send_frame(encoder_.get(), frame);
    if (rc < 0 && !(frame == nullptr && rc == AVERROR_EOF)) {
      return Fail("cannot encode: " + ErrorText(rc));
    }
    for (;;) {
      rc = avcodec_receive_packet(encoder_.get(), packet_.get());
      if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) return true;
      if (rc < 0) return Fail("cannot encode: " + ErrorText(rc));
      if (is_video_ && WithoutSei(packet_->data, packet_->size, scratch_)) {
        PacketPtr trimmed = MakePacket();
        if (av_new_packet(trimmed.get(), static_cast<int>(scratch_.size())) < 0) {
          return Fail("out of memory");
        }
        std::memcpy(trimmed->data, scratch_.data(), scratch_.size());
        av_packet_copy_props(trimmed.get(), packet_.get());
        av_packet_unref(packet_.get());
        av_packet_move_ref(packet_.get(), trimmed.get());
      }
      if (is_video_ && packet_->duration == 0) {
        packet_->duration = av_rescale_q(1, AVRational{1, video_.frame_rate}, encoder_->time_base);
      }
      packet_->stream_index = stream_->index;
      av_packet_rescale_ts(packet_.get(), encoder_->time_base, stream_->time_base);
      rc = av_write_frame(output_, packet_.get());
      av_packet_unref(packet_.get());
      if (rc < 0) return Fail("cannot write " + path_ + ": " + ErrorText(rc));
      // The reader of the growing file must see every sample as soon as it exists.
      avio_flush(output_->pb);
      if (output_->pb->error < 0)
        return Fail("cannot write " + path_ + ": " + ErrorText(output_->pb->error));
    }
  }

  void CloseOutput() {
    if (!output_) return;
    if (output_->pb) avio_closep(&output_->pb);
    avformat_free_context(output_);
    output_ = nullptr;
    stream_ = nullptr;
  }

  const std::string path_;
  AssetWriterStatus status_ = AssetWriterStatus::kUnknown;
  std::string error_;
  bool is_video_ = false;
  VideoOutputSettings video_;
  AudioOutputSettings audio_;
  CodecContextPtr encoder_;
  AVFormatContext* output_ = nullptr;
  AVStream* stream_ = nullptr;
  PacketPtr packet_;
  FramePtr frame_;
  std::vector<uint8_t> scratch_;
  int64_t session_start_us_ = 0;
  bool session_started_ = false;
  // Video.
  SwsPtr sws_;
  int sws_width_ = 0, sws_height_ = 0;
  bool sws_full_ = false;
  int64_t last_slot_ = -1;
  // Audio.
  std::unique_ptr<FilterChain> chain_;
  int chain_rate_ = 0, chain_channels_ = 0;
  int64_t chain_samples_ = 0;
  int64_t audio_pts_ = 0;
};

}  // namespace

std::unique_ptr<AssetWriter> FfmpegAssetWriterFactory::CreateWriter(const std::string& path,
                                                                    std::string* error) {
  ffmpeg::Initialize();
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0) {
    if (error) *error = "Cannot create file: " + path + " exists";
    return nullptr;
  }
  const std::string directory = DirectoryOf(path);
  if (::stat(directory.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    if (error) *error = "Cannot create file: no directory " + directory;
    return nullptr;
  }
  return std::make_unique<FfmpegAssetWriter>(path);
}

}  // namespace platform
