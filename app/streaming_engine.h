// The streaming engine in the application: started at launch on the application queue
// (the engine's queue) with the documents directory, the user agent and the CA bundle of
// --ca-file; its tasks stopped when background time runs low and at termination, after
// which it is terminated, both on that queue. Every call into the engine from the
// interface is a block submitted to that queue.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/command.h"
#include "platform/dispatch.h"
#include "shell/selvo_app_delegate.h"

namespace app {

// Fills the engine's entries of the start-up hooks.
void AddStreamingEngineHooks(shell::StartupHooks& hooks, const GlobalOptions& options);

// The engine's queue: the application queue of the launched application, or null.
std::shared_ptr<platform::DispatchQueue> EngineQueue();

// Submits `work` to the engine's queue, where it runs while the engine is started (and is
// dropped after termination). False when there is no queue.
bool RunOnEngine(std::function<void()> work);

// The per-user prefix of file names (SelvoUtils::HexText): the user id 12 gives "3132".
std::string UserHexText(const std::string& user_id);

// At sign-in, on the engine's queue: the signed-in user's tasks (user id as decimal text).
void LoadUserStreamingTasks(const std::string& user_id);
// At sign-in, before the load: converts the user's upload list of a version before "1.2".
void UpgradeUserStreamingTasks(const std::string& user_id, const std::string& current_version,
                               const std::string& previous_version);

// On the engine's queue: the files the queued file tasks still need (video and audio of
// each, and the video's cached thumbnail), which the clean-up of finished recordings keeps.
std::vector<std::string> QueuedTaskFiles();

}  // namespace app
