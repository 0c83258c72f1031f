#include "shell/selvo_app_delegate.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/notification_center.h"
#include "platform/testing/fake_platform.h"
#include "shell/login_user_info_preferences.h"
#include "shell/notification_names.h"
#include "shell/selvo_global_preferences.h"

namespace shell {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

class SelvoAppDelegateTest : public ::testing::Test {
 protected:
  SelvoAppDelegateTest() {
    hooks_.start_engine = [this](std::shared_ptr<platform::DispatchQueue> queue,
                                 const std::string& documents, const std::string& user_agent) {
      events_.push_back("start_engine " + queue->label() + " " +
                        (documents == fake_.environment.DocumentsDirectory() ? "docs" : documents) +
                        " " + user_agent.substr(0, 5));
    };
    hooks_.stop_all_streaming_tasks = [this] {
      events_.push_back(std::string("stop_all") + (OnAppQueue() ? " on-queue" : " elsewhere"));
    };
    hooks_.terminate_engine = [this] {
      events_.push_back(std::string("terminate") + (OnAppQueue() ? " on-queue" : " elsewhere"));
    };
    hooks_.show_start_screen = [this] { events_.push_back("start_screen"); };
    hooks_.register_wechat = [this] { events_.push_back("wechat"); };
    hooks_.check_unread_messages = [this](std::function<void()> found) {
      events_.push_back("check_unread");
      if (unread_waiting_) found();
    };
    hooks_.save_contact_stores = [this] { events_.push_back("save_stores"); };
  }

  void Launch(const platform::LaunchOptions& options = {}) {
    delegate_ = std::make_unique<SelvoAppDelegate>(hooks_);
    fake_.application.set_delegate(delegate_.get());
    fake_.application.Launch(options);
  }

  bool OnAppQueue() const {
    auto queue = delegate_->selvo_dispatch_queue();
    return queue ? queue->IsCurrent() : app_queue_->IsCurrent();
  }

  int Count(const std::string& event) const {
    return static_cast<int>(std::count(events_.begin(), events_.end(), event));
  }

  void SignIn() {
    platform::Value response;
    platform::Value meta;
    meta.Set("token", "T0K3N");
    response.Set("_id", 12).Set("login_meta", meta);
    LoginUserInfoPreferences::SaveLoginUser(response);
  }

  platform::FakePlatform fake_;
  StartupHooks hooks_;
  std::vector<std::string> events_;
  bool unread_waiting_ = false;
  std::unique_ptr<SelvoAppDelegate> delegate_;
  std::shared_ptr<platform::DispatchQueue> app_queue_;
  platform::NotificationCenter::Subscription remote_ =
      platform::NotificationCenter::Default().AddObserver(
          kReceiveRemoteNotification, [this](const platform::Notification& n) {
            events_.push_back("remote-notification" + (n.user_info.is_null()
                                                           ? std::string()
                                                           : " " + n.user_info["aps"].AsString()));
          });
};

TEST_F(SelvoAppDelegateTest, LaunchRunsItsStepsInOrder) {
  Launch();
  ASSERT_GE(events_.size(), 3u);
  EXPECT_EQ(events_[0], "start_engine com.selvo.queue docs Selvo");
  EXPECT_EQ(events_[1], "start_screen");
  EXPECT_EQ(events_[2], "wechat");
  EXPECT_TRUE(SelvoGlobalPreferences::NeedUpdateContact());
  EXPECT_TRUE(SelvoGlobalPreferences::NeedUpdateBlacklist());
  EXPECT_EQ(fake_.application.registered_types, std::vector<int>{7});
  EXPECT_FALSE(fake_.application.idle_timer_disabled);
}

TEST_F(SelvoAppDelegateTest, LaunchByRemoteNotificationWithLoginPostsOnceAndClearsLater) {
  SignIn();
  platform::LaunchOptions options;
  options.remote_notification.Set("aps", "hello");
  Launch(options);
  EXPECT_EQ(Count("remote-notification"), 1);  // no user info on this post
  EXPECT_EQ(Count("check_unread"), 1);
  EXPECT_TRUE(fake_.application.badge_history.empty());
  fake_.dispatcher.AdvanceBy(milliseconds(99));
  EXPECT_TRUE(fake_.application.badge_history.empty());
  fake_.dispatcher.AdvanceBy(milliseconds(1));
  EXPECT_EQ(fake_.application.badge_history, (std::vector<int>{1, 0}));
  EXPECT_EQ(fake_.application.local_notification_cancels, 1);
}

TEST_F(SelvoAppDelegateTest, LaunchByRemoteNotificationWithoutLoginPostsNothing) {
  platform::LaunchOptions options;
  options.remote_notification.Set("aps", "hello");
  Launch(options);
  fake_.dispatcher.AdvanceBy(seconds(1));
  EXPECT_EQ(Count("remote-notification"), 0);
  EXPECT_TRUE(fake_.application.badge_history.empty());
}

TEST_F(SelvoAppDelegateTest, DeviceTokenIsStoredAsBareHexDigits) {
  struct Case {
    const char* description;
    const char* stored;
  };
  const Case cases[] = {
      {"<0a1b2c3d 4e5f6071 8293a4b5>", "0a1b2c3d4e5f60718293a4b5"},
      {"< 00ff >", "00ff"},
      {"<>", ""},
  };
  Launch();
  for (const auto& c : cases) {
    delegate_->DidRegisterForRemoteNotifications(c.description);
    EXPECT_EQ(SelvoGlobalPreferences::ApnToken(), c.stored) << c.description;
  }
}

TEST_F(SelvoAppDelegateTest, OnlyANotificationWhileInFrontVibrates) {
  Launch();
  platform::Value payload;
  payload.Set("aps", "one");
  delegate_->DidReceiveRemoteNotification(payload);  // in front
  fake_.application.EnterBackground();
  fake_.application.EnterForeground();
  delegate_->DidReceiveRemoteNotification(payload);  // the one that brought us back
  delegate_->DidReceiveRemoteNotification(payload);  // in front again
  EXPECT_EQ(fake_.application.sounds,
            (std::vector<int>{platform::kVibrateSound, platform::kVibrateSound}));
  EXPECT_EQ(Count("remote-notification one"), 3);
}

TEST_F(SelvoAppDelegateTest, BackgroundStopsTasksOnlyWhenSixtySecondsOrLessRemain) {
  Launch();  // background budget of the fake: 180 s
  bool closed = false;
  auto close = platform::NotificationCenter::Default().AddObserver(
      kCloseMediaSourceNotification, [&](const platform::Notification&) { closed = true; });
  fake_.application.EnterBackground();
  EXPECT_EQ(fake_.application.open_background_tasks(), 1u);
  fake_.dispatcher.RunUntilIdle();
  EXPECT_TRUE(closed);
  fake_.dispatcher.AdvanceBy(milliseconds(119800));  // 60.2 s remain
  EXPECT_EQ(Count("stop_all on-queue"), 0);
  fake_.dispatcher.AdvanceBy(milliseconds(200));  // 60 s remain
  EXPECT_EQ(Count("stop_all on-queue"), 1);
  EXPECT_EQ(fake_.application.open_background_tasks(), 0u);
  fake_.dispatcher.AdvanceBy(seconds(120));
  EXPECT_EQ(Count("stop_all on-queue"), 1);
}

TEST_F(SelvoAppDelegateTest, ReturningToTheFrontEarlierStopsNothing) {
  Launch();
  fake_.application.EnterBackground();
  fake_.dispatcher.AdvanceBy(seconds(30));
  fake_.application.EnterForeground();
  fake_.dispatcher.AdvanceBy(seconds(600));
  EXPECT_EQ(Count("stop_all on-queue"), 0);
}

TEST_F(SelvoAppDelegateTest, TerminationRunsStopThenTerminateOnTheQueueBeforeReturning) {
  Launch();
  app_queue_ = delegate_->selvo_dispatch_queue();
  events_.clear();
  fake_.application.Terminate();  // no RunUntilIdle: the work must be done already
  EXPECT_EQ(events_,
            (std::vector<std::string>{"stop_all on-queue", "terminate on-queue", "save_stores"}));
  EXPECT_EQ(delegate_->selvo_dispatch_queue(), nullptr);
  EXPECT_EQ(delegate_->geo(), nullptr);
}

TEST_F(SelvoAppDelegateTest, BecomingActiveChecksUnreadMessagesOnlyWhenSignedIn) {
  Launch();
  EXPECT_EQ(Count("check_unread"), 0);
  SignIn();
  unread_waiting_ = true;
  fake_.application.EnterBackground();
  fake_.application.EnterForeground();
  EXPECT_EQ(Count("check_unread"), 1);
  EXPECT_EQ(Count("remote-notification"), 1);
}

TEST_F(SelvoAppDelegateTest, OwnUrlSchemeIsAcceptedOthersGoToWeChat) {
  std::vector<std::string> wechat;
  hooks_.handle_wechat_url = [&](const std::string& url) {
    wechat.push_back(url);
    return url.rfind("wx", 0) == 0;
  };
  Launch();
  EXPECT_TRUE(delegate_->OpenUrl("selvo://open", ""));
  EXPECT_TRUE(delegate_->OpenUrl("wx123://pay", ""));
  EXPECT_FALSE(delegate_->OpenUrl("selvox://open", ""));
  EXPECT_EQ(wechat, (std::vector<std::string>{"wx123://pay", "selvox://open"}));
}

TEST_F(SelvoAppDelegateTest, LocationIsResampledEveryTenMinutesWhileActive) {
  fake_.location.enabled = true;
  Launch();
  platform::FakeLocationManager* manager = fake_.location.last;
  ASSERT_NE(manager, nullptr);
  EXPECT_EQ(manager->starts, 1);
  manager->Deliver({31.2f, 121.5f, 10, 10});
  EXPECT_FALSE(manager->updating);
  fake_.dispatcher.AdvanceBy(seconds(600));
  EXPECT_EQ(manager->starts, 2);
  fake_.application.EnterBackground();
  fake_.dispatcher.AdvanceBy(seconds(1200));
  EXPECT_EQ(manager->starts, 2);
}

}  // namespace
}  // namespace shell
