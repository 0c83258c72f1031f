#include "platform/linux/ffmpeg_image_generator.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/linux/ffmpeg_util.h"

extern "C" {
#include <libavutil/display.h>
}

namespace platform {
namespace {

using namespace ffmpeg;

InputPtr OpenInput(const std::string& path, std::string* error) {
  Initialize();
  AVFormatContext* raw = nullptr;
  int rc = avformat_open_input(&raw, path.c_str(), nullptr, nullptr);
  if (rc < 0) {
    if (error) *error = path + ": " + ErrorText(rc);
    return nullptr;
  }
  InputPtr input(raw);
  rc = avformat_find_stream_info(raw, nullptr);
  if (rc < 0) {
    if (error) *error = path + ": " + ErrorText(rc);
    return nullptr;
  }
  return input;
}

// Degrees counter-clockwise that the track's display matrix turns the picture.
int TrackRotation(const AVStream* stream) {
  const uint8_t* side = av_stream_get_side_data(stream, AV_PKT_DATA_DISPLAYMATRIX, nullptr);
  if (!side) return 0;
  double angle = av_display_rotation_get(reinterpret_cast<const int32_t*>(side));
  if (std::isnan(angle)) return 0;
  int degrees = static_cast<int>(std::lround(angle / 90.0)) * 90;
  return ((degrees % 360) + 360) % 360;
}

}  // namespace

Image RotateImage(const Image& in, int degrees) {
  degrees = ((degrees % 360) + 360) % 360;
  if (degrees == 0 || !in.valid()) return in;
  Image out;
  const bool swap = degrees == 90 || degrees == 270;
  out.width = swap ? in.height : in.width;
  out.height = swap ? in.width : in.height;
  out.rgba.resize(in.rgba.size());
  for (int y = 0; y < in.height; ++y) {
    for (int x = 0; x < in.width; ++x) {
      int ox, oy;
      if (degrees == 90) {  // counter-clockwise
        ox = y;
        oy = in.width - 1 - x;
      } else if (degrees == 180) {
        ox = in.width - 1 - x;
        oy = in.height - 1 - y;
      } else {
        ox = in.height - 1 - y;
        oy = x;
      }
      std::memcpy(out.pixel(ox, oy), in.pixel(x, y), 4);
    }
  }
  return out;
}

bool FfmpegImageGenerator::HasVideoTrack(const std::string& path) {
  InputPtr input = OpenInput(path, nullptr);
  return input && av_find_best_stream(input.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0) >= 0;
}

std::optional<Image> FfmpegImageGenerator::CopyImageAt(const std::string& path, double seconds,
                                                       int max_width, int max_height,
                                                       std::string* error) {
  InputPtr input = OpenInput(path, error);
  if (!input) return std::nullopt;
  const AVCodec* codec = nullptr;
  int index = av_find_best_stream(input.get(), AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
  if (index < 0 || !codec) {
    if (error) *error = path + ": no video track";
    return std::nullopt;
  }
  AVStream* stream = input->streams[index];
  CodecContextPtr decoder(avcodec_alloc_context3(codec));
  avcodec_parameters_to_context(decoder.get(), stream->codecpar);
  decoder->thread_count = 1;
  if (avcodec_open2(decoder.get(), codec, nullptr) < 0) {
    if (error) *error = path + ": cannot decode the video";
    return std::nullopt;
  }
  const int64_t start = stream->start_time == AV_NOPTS_VALUE ? 0 : stream->start_time;
  const int64_t target = start + av_rescale_q(static_cast<int64_t>(seconds * 1000000),
                                              AVRational{1, 1000000}, stream->time_base);
  av_seek_frame(input.get(), index, target, AVSEEK_FLAG_BACKWARD);

  FramePtr frame = MakeFrame();
  FramePtr kept = MakeFrame();
  PacketPtr packet = MakePacket();
  bool have = false, done = false;
  auto take_frames = [&] {
    while (avcodec_receive_frame(decoder.get(), frame.get()) >= 0) {
      av_frame_unref(kept.get());
      av_frame_move_ref(kept.get(), frame.get());
      have = true;
      if (kept->best_effort_timestamp != AV_NOPTS_VALUE && kept->best_effort_timestamp >= target) {
        done = true;
        return;
      }
    }
  };
  while (!done && av_read_frame(input.get(), packet.get()) >= 0) {
    if (packet->stream_index == index) avcodec_send_packet(decoder.get(), packet.get());
    av_packet_unref(packet.get());
    take_frames();
  }
  if (!done) {
    avcodec_send_packet(decoder.get(), nullptr);
    take_frames();
  }
  if (!have) {
    if (error) *error = path + ": no picture near " + std::to_string(seconds) + " s";
    return std::nullopt;
  }
  const int rotation = TrackRotation(stream);
  const bool swap = rotation == 90 || rotation == 270;
  // Fit the turned picture into the maximum size.
  const double shown_w = swap ? kept->height : kept->width;
  const double shown_h = swap ? kept->width : kept->height;
  double scale = 1.0;
  if (max_width > 0 && max_height > 0) {
    scale = std::min({1.0, max_width / shown_w, max_height / shown_h});
  }
  const int out_shown_w = std::max(1, static_cast<int>(shown_w * scale));
  const int out_shown_h = std::max(1, static_cast<int>(shown_h * scale));
  const int out_w = swap ? out_shown_h : out_shown_w;
  const int out_h = swap ? out_shown_w : out_shown_h;
  SwsPtr sws(sws_getContext(kept->width, kept->height, static_cast<AVPixelFormat>(kept->format),
                            out_w, out_h, AV_PIX_FMT_RGBA, SWS_AREA, nullptr, nullptr, nullptr));
  if (!sws) {
    if (error) *error = path + ": cannot convert the picture";
    return std::nullopt;
  }
  Image image;
  image.width = out_w;
  image.height = out_h;
  image.rgba.resize(static_cast<size_t>(out_w) * out_h * 4);
  uint8_t* dst[1] = {image.rgba.data()};
  int dst_stride[1] = {out_w * 4};
  sws_scale(sws.get(), kept->data, kept->linesize, 0, kept->height, dst, dst_stride);
  return RotateImage(image, rotation);
}

}  // namespace platform
