#include "app/streaming_engine.h"

#include <algorithm>
#include <cstdio>

#include "engine/streaming_library.h"
#include "platform/log.h"

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

std::string UserHexText(const std::string& user_id) {
  std::string hex;
  const size_t length = std::min<size_t>(user_id.size(), 255);
  for (size_t i = 0; i < length; ++i) {
    char digits[3];
    std::snprintf(digits, sizeof(digits), "%02x", static_cast<unsigned char>(user_id[i]));
    hex += digits;
  }
  return hex;
}

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
      selvo::UpgradeStreamingTasksData_1_2(hex.c_str(), current_version.c_str(),
                                          previous_version.empty() ? nullptr
                                                                   : previous_version.c_str());
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
  }
  return files;
}

}  // namespace app
