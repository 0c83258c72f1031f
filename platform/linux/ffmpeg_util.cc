#include "platform/linux/ffmpeg_util.h"

#include <cstdlib>
#include <mutex>

extern "C" {
#include <libavdevice/avdevice.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/error.h>
#include <libavutil/log.h>
}

namespace platform::ffmpeg {

std::string ErrorText(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, text, sizeof text);
  return text;
}

void Initialize() {
  static std::once_flag once;
  std::call_once(once, [] {
    if (!std::getenv("SELVO_FFMPEG_LOG")) av_log_set_level(AV_LOG_QUIET);
    avdevice_register_all();
  });
}

std::unique_ptr<FilterChain> FilterChain::Create(bool video, const std::string& source_args,
                                                 const std::string& description,
                                                 std::string* error) {
  Initialize();
  auto chain = std::unique_ptr<FilterChain>(new FilterChain);
  chain->graph_.reset(avfilter_graph_alloc());
  if (!chain->graph_) {
    if (error) *error = "out of memory";
    return nullptr;
  }
  chain->graph_->nb_threads = 1;
  const AVFilter* source = avfilter_get_by_name(video ? "buffer" : "abuffer");
  const AVFilter* sink = avfilter_get_by_name(video ? "buffersink" : "abuffersink");
  int rc = avfilter_graph_create_filter(&chain->source_, source, "in", source_args.c_str(), nullptr,
                                        chain->graph_.get());
  if (rc >= 0) {
    rc = avfilter_graph_create_filter(&chain->sink_, sink, "out", nullptr, nullptr,
                                      chain->graph_.get());
  }
  AVFilterInOut* outputs = avfilter_inout_alloc();
  AVFilterInOut* inputs = avfilter_inout_alloc();
  if (rc >= 0 && outputs && inputs) {
    outputs->name = av_strdup("in");
    outputs->filter_ctx = chain->source_;
    inputs->name = av_strdup("out");
    inputs->filter_ctx = chain->sink_;
    rc = avfilter_graph_parse_ptr(chain->graph_.get(), description.c_str(), &inputs, &outputs,
                                  nullptr);
  } else if (rc >= 0) {
    rc = AVERROR(ENOMEM);
  }
  avfilter_inout_free(&inputs);
  avfilter_inout_free(&outputs);
  if (rc >= 0) rc = avfilter_graph_config(chain->graph_.get(), nullptr);
  if (rc < 0) {
    if (error) *error = "filter \"" + description + "\": " + ErrorText(rc);
    return nullptr;
  }
  return chain;
}

bool FilterChain::Push(AVFrame* frame) {
  return av_buffersrc_add_frame_flags(source_, frame, AV_BUFFERSRC_FLAG_KEEP_REF) >= 0;
}

int FilterChain::Pull(AVFrame* frame) {
  int rc = av_buffersink_get_frame(sink_, frame);
  if (rc >= 0) return 1;
  return rc == AVERROR(EAGAIN) ? 0 : -1;
}

void FilterChain::SetAudioFrameSize(int samples) {
  av_buffersink_set_frame_size(sink_, static_cast<unsigned>(samples));
}

}  // namespace platform::ffmpeg
