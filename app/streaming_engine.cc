#include "app/streaming_engine.h"

#include <cstdio>

#include "capture/video_thumbnail_generator.h"
#include "engine/streaming_library.h"
#include "platform/log.h"
#include "shell/selvo_utils.h"

namespace app {

namespace {

// Touched only on the engine's queue.
bool g_engine_started = false;

}  // namespace

void AddStreamingEngineHooks(shell::StartupHooks& hooks, const GlobalOptions& options) {
  const std::string ca_file = options.ca_file.value_or("");
  hooks.start_engine = [ca_file](std::shared_ptr<platform::DispatchQueue> queue,
                                 const std::string& documents, const std::string& user_agent) {
    queue->Async([queue, documents, user_agent, ca_file] {
      selvo::StreamingOptions engine_options;
      engine_options.http.ca_file = ca_file;
      selvo::InitStreamingLibrary(
          [queue](std::function<void()> block) { queue->Async(std::move(block)); },
          documents.c_str(), user_agent.c_str(), std::move(engine_options));
      g_engine_started = true;
      platform::Log("engine: started");
    });
  };
  hooks.stop_all_streaming_tasks = [] {
    if (g_engine_started) selvo::StopAllStreamingTasks();
  };
  // What the shell's utilities ask of the engine: the files queued tasks still need (asked
  // on the engine's queue) and the checks of the sample recordings.
  shell::SelvoUtilsSeams seams = shell::SelvoUtils::seams();
  seams.queued_task_files = [] { return QueuedTaskFiles(); };
  seams.check_audio_sample_file = [](const std::string& audio) {
    return selvo::CheckAudioSampleFile(audio.c_str()) == 1;
  };
  seams.check_media_sample_files = [](int frame_rate, const std::string& video,
                                      const std::string& audio) {
    return frame_rate > 0 && selvo::CheckMediaSampleFiles(static_cast<uint32_t>(frame_rate),
                                                          video.c_str(), audio.c_str()) == 1;
  };
  shell::SelvoUtils::SetSeams(std::move(seams));
  hooks.terminate_engine = [] {
    if (!g_engine_started) return;
    selvo::TerminateStreamingLibrary();
    g_engine_started = false;
  };
}

std::shared_ptr<platform::DispatchQueue> EngineQueue() {
  shell::SelvoAppDelegate* delegate = shell::SelvoAppDelegate::Instance();
  return delegate ? delegate->selvo_dispatch_queue() : nullptr;
}

bool RunOnEngine(std::function<void()> work) {
  auto queue = EngineQueue();
  if (!queue) return false;
  queue->Async([work = std::move(work)] {
    if (g_engine_started) work();
  });
  return true;
}

std::string UserHexText(const std::string& user_id) { return shell::SelvoUtils::HexText(user_id); }

void LoadUserStreamingTasks(const std::string& user_id) {
  if (auto queue = EngineQueue()) {
    queue->Async([hex = UserHexText(user_id)] {
      if (g_engine_started) selvo::LoadStreamingTasksFromDisk(hex.c_str());
    });
  }
}

void UpgradeUserStreamingTasks(const std::string& user_id, const std::string& current_version,
                               const std::string& previous_version) {
  if (auto queue = EngineQueue()) {
    queue->Async([hex = UserHexText(user_id), current_version, previous_version] {
      if (!g_engine_started) return;
      selvo::UpgradeStreamingTasksData_1_2(
          hex.c_str(), current_version.c_str(),
          previous_version.empty() ? nullptr : previous_version.c_str());
    });
  }
}

std::vector<std::string> QueuedTaskFiles() {
  std::vector<std::string> files;
  if (!g_engine_started) return files;
  for (int i = 0; i < selvo::GetFileStreamingTasksNum(); ++i) {
    selvo::StreamingTaskInfo info;
    selvo::StreamingTask* task = selvo::GetNthFileStreamingTask(i);
    if (!task || selvo::ReadStreamingTaskInfo(task, info) != 1) continue;
    files.push_back(info.video_path);
    files.push_back(info.audio_path);
    files.push_back(capture::VideoThumbnailGenerator::CacheThumbnailPath(info.video_path));
  }
  return files;
}

}  // namespace app
