// Small owners and helpers around FFmpeg's C structures, for the media ports.
#pragma once

#include <memory>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavfilter/avfilter.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

namespace platform::ffmpeg {

// av_err2str as a std::string.
std::string ErrorText(int code);

// Quietens FFmpeg's own logging unless SELVO_FFMPEG_LOG is set, and registers
// the capture devices; idempotent.
void Initialize();

struct CodecContextDeleter {
  void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FrameDeleter {
  void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketDeleter {
  void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct InputDeleter {
  void operator()(AVFormatContext* f) const { avformat_close_input(&f); }
};
struct SwsDeleter {
  void operator()(SwsContext* s) const { sws_freeContext(s); }
};
struct FilterGraphDeleter {
  void operator()(AVFilterGraph* g) const { avfilter_graph_free(&g); }
};

using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextDeleter>;
using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;
using PacketPtr = std::unique_ptr<AVPacket, PacketDeleter>;
using InputPtr = std::unique_ptr<AVFormatContext, InputDeleter>;
using SwsPtr = std::unique_ptr<SwsContext, SwsDeleter>;

inline FramePtr MakeFrame() { return FramePtr(av_frame_alloc()); }
inline PacketPtr MakePacket() { return PacketPtr(av_packet_alloc()); }

// A chain of filters between one source and one sink:
//   "buffer"/"abuffer" -> `description` -> "buffersink"/"abuffersink".
class FilterChain {
 public:
  // `source_args` are the buffer source's arguments ("video_size=...:pix_fmt=...",
  // "sample_rate=...:sample_fmt=...:channel_layout=..."). Returns nullptr and
  // `error` when the chain cannot be built.
  static std::unique_ptr<FilterChain> Create(bool video, const std::string& source_args,
                                             const std::string& description, std::string* error);

  // Hands a frame to the chain (nullptr: the end of the stream).
  bool Push(AVFrame* frame);
  // The next filtered frame into `frame`: 1 got one, 0 needs more input, -1 the
  // end or an error.
  int Pull(AVFrame* frame);
  // Fixed-size audio frames out of the sink (the encoder's frame size).
  void SetAudioFrameSize(int samples);
  AVFilterContext* sink() const { return sink_; }

 private:
  std::unique_ptr<AVFilterGraph, FilterGraphDeleter> graph_;
  AVFilterContext* source_ = nullptr;
  AVFilterContext* sink_ = nullptr;
};

}  // namespace platform::ffmpeg
