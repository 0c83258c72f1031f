// SelvoAppDelegate: the application's process shell. It starts the streaming
// engine and the first screen, samples the location, and reacts to the
// lifecycle (background, foreground, termination), to push notifications and
// to opened URLs.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/application.h"
#include "platform/dispatch.h"
#include "shell/geo.h"

namespace shell {

// Opens the camera screen for a private broadcast to `receivers`.
class LiveMediaSessionDelegate {
 public:
  virtual ~LiveMediaSessionDelegate() = default;
  virtual void SendLiveMediaSession(const std::vector<std::string>& receivers) = 0;
};

// What the delegate drives that other parts of the application provide. Each
// part wires its own entries where the executable assembles the application;
// an entry left empty is skipped.
struct StartupHooks {
  // The streaming engine: started at launch on the application queue with the
  // documents directory and the user agent; its tasks are stopped when
  // background time runs low and at termination, after which it is terminated.
  // The stop and terminate hooks run on the application queue.
  std::function<void(std::shared_ptr<platform::DispatchQueue> queue, const std::string& documents,
                     const std::string& user_agent)>
      start_engine;
  std::function<void()> stop_all_streaming_tasks;
  std::function<void()> terminate_engine;

  // The start screen, which signs in automatically when a login is stored.
  std::function<void()> show_start_screen;

  // Sharing: registration with WeChat at launch, and the URLs it opens us with.
  std::function<void()> register_wechat;
  std::function<bool(const std::string& url)> handle_wechat_url;

  // Messages: asks the service whether messages newer than the newest stored
  // one wait; calls `found` (on the main queue) when there are some.
  std::function<void(std::function<void()> found)> check_unread_messages;

  // Contacts: saves the contact and blacklist stores.
  std::function<void()> save_contact_stores;
};

class SelvoAppDelegate final : public platform::ApplicationDelegate {
 public:
  explicit SelvoAppDelegate(StartupHooks hooks = {});
  ~SelvoAppDelegate() override;

  // The delegate of the shared application.
  static SelvoAppDelegate* Instance();

  // The application's own URL scheme.
  static constexpr char kCallbackUrlScheme[] = "selvo";
  // Label of the application queue, which carries every call into the engine.
  static constexpr char kQueueLabel[] = "com.selvo.queue";
  // Background time below which the engine's tasks are stopped.
  static constexpr double kBackgroundStopSeconds = 60;

  bool DidFinishLaunching(const platform::LaunchOptions& options) override;
  void DidEnterBackground() override;
  void WillEnterForeground() override;
  void DidBecomeActive() override;
  void WillTerminate() override;
  void DidReceiveMemoryWarning() override;
  void DidRegisterForRemoteNotifications(const std::string& description) override;
  void DidFailToRegisterForRemoteNotifications(int code, const std::string& message) override;
  void DidReceiveRemoteNotification(const platform::Value& payload) override;
  bool OpenUrl(const std::string& url, const std::string& source_application) override;

  // Badge 1 then 0 (which clears the notification centre), then drops local notifications.
  void ClearAllNotification();
  void StartUpdatingGPSLocation();
  void StopUpdatingGPSLocation();

  // The application queue; null before launch and after termination.
  std::shared_ptr<platform::DispatchQueue> selvo_dispatch_queue() const { return queue_; }
  Geo* geo() const { return geo_.get(); }

  LiveMediaSessionDelegate* live_media_session_delegate = nullptr;

  // The stored token's text with "<", ">" and blanks removed.
  static std::string DeviceTokenText(const std::string& description);

 private:
  // The background-time watcher of one stay in the background. It runs on the
  // global queue; cancelling takes its lock, so once Cancel returns the watcher
  // no longer touches the delegate.
  struct BackgroundWatch {
    std::mutex mutex;
    bool cancelled = false;
    void Cancel() {
      std::lock_guard lock(mutex);
      cancelled = true;
    }
  };
  // Static: `self` is touched only after the watch was found not cancelled.
  static void WatchBackgroundTime(SelvoAppDelegate* self, std::shared_ptr<BackgroundWatch> watch,
                                  std::shared_ptr<platform::DispatchQueue> queue);
  void EndBackgroundTask();

  StartupHooks hooks_;
  std::shared_ptr<platform::DispatchQueue> queue_;
  std::unique_ptr<Geo> geo_;
  std::unique_ptr<platform::Timer> gps_timer_;
  std::atomic<platform::BackgroundTaskId> background_task_{platform::kInvalidBackgroundTask};
  std::shared_ptr<BackgroundWatch> background_watch_;
  bool is_launch_from_background_ = false;
};

}  // namespace shell
