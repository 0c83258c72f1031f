#include "shell/selvo_app_delegate.h"

#include <chrono>

#include "platform/environment.h"
#include "platform/log.h"
#include "platform/notification_center.h"
#include "shell/login_user_info_preferences.h"
#include "shell/notification_names.h"
#include "shell/selvo_global_preferences.h"
#include "shell/selvo_utils.h"

namespace shell {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

constexpr auto kGpsInterval = seconds(600);
constexpr auto kBackgroundPoll = milliseconds(200);
constexpr auto kClearNotificationsDelay = milliseconds(100);
constexpr int kSimulatorPushError = 3010;

void PostDefault(const char* name, platform::Value user_info = {}) {
  platform::NotificationCenter::Default().Post(name, {}, std::move(user_info));
}

bool HasAccessToken() {
  auto token = LoginUserInfoPreferences::AccessToken();
  return token && !token->empty();
}

}  // namespace

SelvoAppDelegate::SelvoAppDelegate(StartupHooks hooks) : hooks_(std::move(hooks)) {}

SelvoAppDelegate::~SelvoAppDelegate() {
  if (background_watch_) background_watch_->Cancel();
}

SelvoAppDelegate* SelvoAppDelegate::Instance() {
  return dynamic_cast<SelvoAppDelegate*>(platform::SharedApplication().delegate());
}

bool SelvoAppDelegate::DidFinishLaunching(const platform::LaunchOptions& options) {
  platform::Application& app = platform::SharedApplication();
  platform::Dispatcher& dispatcher = platform::DefaultDispatcher();

  geo_ = std::make_unique<Geo>();
  app.SetIdleTimerDisabled(false);
  queue_ = dispatcher.CreateSerialQueue(kQueueLabel);
  const std::string documents = platform::DefaultEnvironment().DocumentsDirectory();
  if (hooks_.start_engine)
    hooks_.start_engine(queue_, documents, SelvoUtils::DefaultUserAgentString());
  if (hooks_.show_start_screen) hooks_.show_start_screen();
  if (hooks_.register_wechat) hooks_.register_wechat();
  SelvoGlobalPreferences::SetNeedUpdateContact(true);
  SelvoGlobalPreferences::SetNeedUpdateBlacklist(true);
  app.RegisterForRemoteNotifications(platform::kNotifyBadge | platform::kNotifySound |
                                     platform::kNotifyAlert);

  if (LoginUserInfoPreferences::AccessToken() && !options.remote_notification.is_null()) {
    PostDefault(kReceiveRemoteNotification);
    dispatcher.MainQueue().AsyncAfter(kClearNotificationsDelay, [this] { ClearAllNotification(); });
  }
  platform::Log("lifecycle: launched");
  return true;
}

void SelvoAppDelegate::DidEnterBackground() {
  platform::Log("lifecycle: entered the background");
  StopUpdatingGPSLocation();
  platform::Application& app = platform::SharedApplication();
  background_task_ = app.BeginBackgroundTask([this] { EndBackgroundTask(); });
  if (background_watch_) background_watch_->Cancel();
  background_watch_ = std::make_shared<BackgroundWatch>();
  platform::GlobalQueue().Async([this, watch = background_watch_, queue = queue_] {
    PostDefault(kCloseMediaSourceNotification);
    WatchBackgroundTime(this, watch, queue);
  });
}

// Runs on the global queue every 200 ms while background time is plentiful.
void SelvoAppDelegate::WatchBackgroundTime(SelvoAppDelegate* self,
                                           std::shared_ptr<BackgroundWatch> watch,
                                           std::shared_ptr<platform::DispatchQueue> queue) {
  std::lock_guard lock(watch->mutex);
  if (watch->cancelled) return;
  platform::Application& app = platform::SharedApplication();
  if (app.state() != platform::ApplicationState::kBackground) return;  // back in front: keep going
  if (app.BackgroundTimeRemaining() > kBackgroundStopSeconds) {
    platform::GlobalQueue().AsyncAfter(
        kBackgroundPoll, [self, watch, queue] { WatchBackgroundTime(self, watch, queue); });
    return;
  }
  if (!queue) return;
  queue->Async([self] {
    platform::Log("lifecycle: background time is running out; stopping streaming tasks");
    if (self->hooks_.stop_all_streaming_tasks) self->hooks_.stop_all_streaming_tasks();
    self->EndBackgroundTask();
  });
}

void SelvoAppDelegate::EndBackgroundTask() {
  platform::BackgroundTaskId id = background_task_.exchange(platform::kInvalidBackgroundTask);
  if (id != platform::kInvalidBackgroundTask) platform::SharedApplication().EndBackgroundTask(id);
}

void SelvoAppDelegate::WillEnterForeground() { is_launch_from_background_ = true; }

void SelvoAppDelegate::DidBecomeActive() {
  platform::Log("lifecycle: active");
  StartUpdatingGPSLocation();
  PostDefault(kOpenMediaSourceNotification);
  if (HasAccessToken() && hooks_.check_unread_messages) {
    hooks_.check_unread_messages([] { PostDefault(kReceiveRemoteNotification); });
  }
}

void SelvoAppDelegate::WillTerminate() {
  platform::Log("lifecycle: terminating");
  if (background_watch_) background_watch_->Cancel();
  StopUpdatingGPSLocation();
  geo_.reset();
  // The engine's stop and terminate run on the application queue, in that
  // order, and are waited for: the process must not exit before the upload
  // list is saved.
  if (auto queue = std::move(queue_)) {
    queue->Sync([this] {
      if (hooks_.stop_all_streaming_tasks) hooks_.stop_all_streaming_tasks();
      platform::Log("lifecycle: streaming tasks stopped");
    });
    queue->Sync([this] {
      if (hooks_.terminate_engine) hooks_.terminate_engine();
      platform::Log("lifecycle: streaming engine terminated");
    });
  }
  if (hooks_.save_contact_stores) hooks_.save_contact_stores();
  platform::Log("lifecycle: terminated");
}

void SelvoAppDelegate::DidReceiveMemoryWarning() {
  platform::Log("Did receive memory warning in: SelvoAppDelegate");
}

std::string SelvoAppDelegate::DeviceTokenText(const std::string& description) {
  std::string text;
  for (char c : description) {
    if (c != '<' && c != '>' && c != ' ') text += c;
  }
  return text;
}

void SelvoAppDelegate::DidRegisterForRemoteNotifications(const std::string& description) {
  SelvoGlobalPreferences::SetApnToken(DeviceTokenText(description));
}

void SelvoAppDelegate::DidFailToRegisterForRemoteNotifications(int code,
                                                               const std::string& message) {
  if (code == kSimulatorPushError) {
    platform::Log("Push notifications are not supported in the iOS Simulator.");
  } else {
    platform::Logf("application:didFailToRegisterForRemoteNotificationsWithError: %s",
                   message.c_str());
  }
}

void SelvoAppDelegate::DidReceiveRemoteNotification(const platform::Value& payload) {
  // Only a notification that arrives while we are in front vibrates.
  if (!is_launch_from_background_) {
    platform::SharedApplication().PlaySystemSound(platform::kVibrateSound);
  }
  is_launch_from_background_ = false;
  PostDefault(kReceiveRemoteNotification, payload);
}

bool SelvoAppDelegate::OpenUrl(const std::string& url, const std::string& /*source_application*/) {
  const size_t colon = url.find(':');
  if (colon != std::string::npos && url.compare(0, colon, kCallbackUrlScheme) == 0) return true;
  return hooks_.handle_wechat_url ? hooks_.handle_wechat_url(url) : false;
}

void SelvoAppDelegate::ClearAllNotification() {
  platform::Application& app = platform::SharedApplication();
  app.SetIconBadgeNumber(1);
  app.SetIconBadgeNumber(0);
  app.CancelAllLocalNotifications();
}

void SelvoAppDelegate::StartUpdatingGPSLocation() {
  if (!geo_) return;
  geo_->ClearLastTimeLocation();
  geo_->UpdateLocationIntoStore();
  platform::Dispatcher& dispatcher = platform::DefaultDispatcher();
  gps_timer_ = dispatcher.ScheduleRepeating(dispatcher.MainQueue(), kGpsInterval, [this] {
    if (geo_) geo_->UpdateLocationIntoStore();
  });
}

void SelvoAppDelegate::StopUpdatingGPSLocation() {
  gps_timer_.reset();
  if (geo_) geo_->StopUpdatingLocation();
}

}  // namespace shell
