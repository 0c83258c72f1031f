// selvo broadcast [--source test|camera|FILE] [--duration SECONDS] [--title T] [--channel C]
//                 [--private ID,...]
// A live broadcast by the signed-in user: records, publishes, streams the recording live
// while it grows, prints the watch page and the playlist, and at the end (the duration,
// Ctrl-C or SIGTERM) waits until the rest is uploaded. See app/broadcast.h.
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/application_host.h"
#include "app/args.h"
#include "app/broadcast.h"
#include "app/capture_sources.h"
#include "app/command.h"
#include "app/streaming_engine.h"
#include "app/upload_queue_lock.h"
#include "platform/capture.h"
#include "platform/environment.h"
#include "shell/login_user_info_preferences.h"
#include "shell/session.h"
#include "store/storelib.h"

namespace app {

int BroadcastCommand(const GlobalOptions& options, const std::vector<std::string>& args) {
  ArgParser parser;
  parser.Value("source").Value("duration").Value("title").Value("channel").Value("private");
  if (!parser.Parse(args)) return UsageError(parser.error());
  if (!parser.positional().empty()) return UsageError("broadcast takes no positional arguments");
  const std::string source = parser.GetOr("source", "test");
  if (source.empty()) return UsageError("--source needs test, camera or a file");
  BroadcastSettings settings;
  if (auto text = parser.Get("duration")) {
    auto duration = ParseInteger(*text, 1, 24 * 3600);
    if (!duration) {
      return UsageError("--duration must be a whole number of seconds from 1 to 86400");
    }
    settings.duration_seconds = static_cast<int>(*duration);
  }
  settings.title = parser.Get("title");
  settings.channel = parser.Get("channel");
  if (auto receivers = parser.Get("private")) {
    settings.receivers = SplitList(*receivers);
    if (settings.receivers.empty()) return UsageError("--private needs at least one receiver");
  }
  if (options.ca_file && ::access(options.ca_file->c_str(), R_OK) != 0) {
    return Failure("cannot read the CA file " + *options.ca_file);
  }

  std::string error;
  std::unique_ptr<platform::CaptureDevices> devices = CaptureDevicesFor(source, &error);
  if (!devices) return Failure(error);

  ApplicationHost host(options);
  const std::string user = shell::LoginUserInfoPreferences::UserId();
  if (!shell::LoginUserInfoPreferences::AccessToken() || user.empty() || user == "(null)") {
    return Failure("not signed in");
  }
  std::optional<UploadQueueLock::Holder> holder;
  std::unique_ptr<UploadQueueLock> lock = UploadQueueLock::TryTake(
      platform::DefaultEnvironment().DocumentsDirectory(), UserHexText(user), &holder);
  if (!lock) {
    return Failure("another selvo process" +
                   (holder ? " (process " + std::to_string(holder->pid) + ")" : std::string()) +
                   " is uploading from this user's upload queue; wait for it or stop it with "
                   "'selvo queue stop ID'");
  }
  settings.server = host.ServerUrl();
  settings.lock = lock.get();

  platform::SetDefaultCaptureDevices(devices.get());
  std::unique_ptr<Broadcast> broadcast;
  const int status = host.Run([&](ApplicationHost::Finish finish) {
    shell::InstallStoredLogin();
    broadcast = std::make_unique<Broadcast>(settings, std::move(finish));
    // Ctrl-C and SIGTERM stop the broadcast properly; a second one exits at once.
    host.SetInterruptHandler([&broadcast](int) {
      if (broadcast) broadcast->Interrupt();
    });
    broadcast->Start();
  });
  host.SetInterruptHandler(nullptr);
  broadcast.reset();
  storelib::CloseStore();
  platform::SetDefaultCaptureDevices(nullptr);
  return status;
}

}  // namespace app
