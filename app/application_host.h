// ApplicationHost: assembles the application on this machine (the Linux ports,
// the data directory, the application delegate and what each subsystem plugs
// into it) and runs it until a command finishes or a signal terminates it.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "app/command.h"
#include "platform/linux/configured_push.h"
#include "platform/linux/curl_http_client.h"
#include "platform/linux/linux_application.h"
#include "platform/linux/linux_environment.h"
#include "shell/selvo_app_delegate.h"
#include "shell/service_environment.h"

namespace app {

class ApplicationHost {
 public:
  explicit ApplicationHost(const GlobalOptions& options);
  ~ApplicationHost();

  // Called when the command is done, with its exit status; terminates the
  // application through its usual termination sequence.
  using Finish = std::function<void(int status)>;

  // Launches, then runs `job` on the main queue. Returns the exit status: the
  // job's, or 128 + signal when a signal ended the process first.
  int Run(std::function<void(Finish finish)> job);

  // While set, the first SIGTERM or Ctrl-C calls `handler` (on the main queue) instead of
  // terminating, so that the job can end its work properly and then finish; a second one
  // exits at once. Null gives the signals back to termination.
  void SetInterruptHandler(std::function<void(int signo)> handler);

  // The service URL: --server when given (and then remembered), else the
  // remembered one, else http://127.0.0.1:8080. The service clients use it.
  std::string ServerUrl() const;

 private:
  GlobalOptions options_;
  platform::LinuxEnvironment environment_;
  platform::ConfiguredPushService push_;
  platform::CurlHttpClientFactory http_;
  std::unique_ptr<shell::ShellClientEnvironment> client_environment_;
  std::unique_ptr<platform::LinuxApplication> application_;
  std::unique_ptr<shell::SelvoAppDelegate> delegate_;
};

// Hooks by which the subsystems plug into the application's start-up,
// background and termination.
shell::StartupHooks MakeStartupHooks(const GlobalOptions& options);

}  // namespace app
