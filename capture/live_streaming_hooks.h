// The recorder's door to the streaming engine. The capture host makes these
// calls at the points where the recording meets the engine; whoever assembles
// the application wires them to the engine's free functions, for example:
//
//   capture::LiveStreamingHooks hooks;
//   hooks.check_sample_files = [](const std::string& video, const std::string& audio) {
//     return selvo::CheckMediaSampleFiles(10, video, audio) == 1;
//   };
//   hooks.new_live_task = [](const std::string& uuid, const std::string& video,
//                            const std::string& audio) -> capture::LiveTask {
//     return selvo::NewLiveStreamingTask(uuid, video, audio);
//   };
//   hooks.start_live_task = [](capture::LiveTask task, const std::string& url,
//                              const std::string& token, int frame_rate,
//                              const std::string& video_sample, const std::string& audio_sample) {
//     return selvo::StartLiveStreamingTask(static_cast<selvo::StreamingTask*>(task), url, token,
//                                          frame_rate, video_sample, audio_sample);
//   };
//   hooks.send_recorder_stopped = [](capture::LiveTask task) {
//     selvo::SendRecorderStoppedSignal(static_cast<selvo::StreamingTask*>(task));
//   };
//
// new_live_task, start_live_task and send_recorder_stopped always run on the
// engine queue the host was given; check_sample_files runs on the caller's
// thread, media_appended on the movie queue. An empty hook is skipped: without check_sample_files
// sample files that exist are taken as they are; without start_live_task a publish answers
// kLiveTaskNotWired.
#pragma once

#include <functional>
#include <string>

namespace capture {

// The engine's task handle, opaque here.
using LiveTask = void*;

// What a publish answers when no engine is wired (the engine's program error).
inline constexpr int kLiveTaskNotWired = -6;

struct LiveStreamingHooks {
  std::function<bool(const std::string& video_sample, const std::string& audio_sample)>
      check_sample_files;
  std::function<LiveTask(const std::string& uuid, const std::string& video_path,
                         const std::string& audio_path)>
      new_live_task;
  std::function<int(LiveTask task, const std::string& url, const std::string& access_token,
                    int frame_rate, const std::string& video_sample,
                    const std::string& audio_sample)>
      start_live_task;
  std::function<void(LiveTask task)> send_recorder_stopped;
  // A writer appended a sample to its file (on the movie queue), which a reader of
  // the growing file may take now.
  std::function<void()> media_appended;

  // The local copy in the photo album (video path, rotation in degrees, audio
  // path), called on the main queue after a stop when the user asked for it.
  std::function<void(const std::string& video_path, int rotate_degrees,
                     const std::string& audio_path)>
      combine_to_library;
};

}  // namespace capture
