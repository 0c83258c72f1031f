// Application: the process lifecycle as the application sees it (launch, going
// to the background and coming back, termination), background time, the icon
// badge, system sounds and remote-notification registration. Events reach the
// ApplicationDelegate on the main queue.
#pragma once

#include <cstdint>
#include <string>

#include "platform/dispatch.h"
#include "platform/value.h"

namespace platform {

enum class ApplicationState { kActive, kInactive, kBackground };

struct LaunchOptions {
  Value remote_notification;  // the payload when a remote notification launched the process
  std::string url;            // the URL the process was opened with, if any
};

class ApplicationDelegate {
 public:
  virtual ~ApplicationDelegate() = default;
  virtual bool DidFinishLaunching(const LaunchOptions& options) = 0;
  virtual void WillResignActive() {}
  virtual void DidEnterBackground() {}
  virtual void WillEnterForeground() {}
  virtual void DidBecomeActive() {}
  // Runs to completion before the process exits.
  virtual void WillTerminate() {}
  virtual void DidReceiveMemoryWarning() {}
  // `description` is the token's textual form: hexadecimal groups of eight digits
  // between angle brackets ("<0a1b2c3d 4e5f...>").
  virtual void DidRegisterForRemoteNotifications(const std::string& /*description*/) {}
  virtual void DidFailToRegisterForRemoteNotifications(int /*code*/, const std::string& /*message*/) {}
  virtual void DidReceiveRemoteNotification(const Value& /*payload*/) {}
  virtual bool OpenUrl(const std::string& /*url*/, const std::string& /*source_application*/) {
    return false;
  }
};

using BackgroundTaskId = uint64_t;
inline constexpr BackgroundTaskId kInvalidBackgroundTask = 0;

// Bits of RegisterForRemoteNotifications.
enum RemoteNotificationType : int { kNotifyBadge = 1, kNotifySound = 2, kNotifyAlert = 4 };

// The system sound that vibrates the device.
inline constexpr int kVibrateSound = 4095;

class Application {
 public:
  virtual ~Application() = default;

  virtual ApplicationState state() const = 0;
  // Seconds of background time left; a very large number while not in the background.
  virtual double BackgroundTimeRemaining() const = 0;
  // Asks for background time; `expiration` runs on the main queue when it is used up.
  virtual BackgroundTaskId BeginBackgroundTask(Closure expiration) = 0;
  virtual void EndBackgroundTask(BackgroundTaskId id) = 0;

  virtual int IconBadgeNumber() const = 0;
  virtual void SetIconBadgeNumber(int number) = 0;
  virtual void CancelAllLocalNotifications() = 0;
  virtual void SetIdleTimerDisabled(bool disabled) = 0;
  virtual void PlaySystemSound(int sound_id) = 0;
  // The answer arrives at the delegate's DidRegister.../DidFailToRegister... .
  virtual void RegisterForRemoteNotifications(int types) = 0;

  virtual ApplicationDelegate* delegate() const = 0;
};

// The application of the process; must be installed (by the executable's main
// or by a test) before use.
Application& SharedApplication();
void SetSharedApplication(Application* application);

}  // namespace platform
