// The contact and blacklist stores kept in step with the real selvo-server on
// loopback, through the account client on libcurl, with names transliterated
// by ICU; and contact avatars fetched into the friends' avatar files.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <thread>

#include "contacts/account_contact_requests.h"
#include "contacts/contact_sync.h"
#include "platform/alert.h"
#include "platform/file_system.h"
#include "platform/image_codec.h"
#include "platform/linux/curl_http_client.h"
#include "platform/linux/linux_dispatcher.h"
#include "platform/testing/fake_environment.h"
#include "platform/testing/memory_preference_store.h"
#include "server/testing/http_client.h"
#include "server/testing/server_fixture.h"
#include "service/account_api_client.h"
#include "service/testing/fake_client_environment.h"
#include "shell/selvo_global_preferences.h"
#include "store/icon_downloader.h"
#include "store/storelib.h"
#include "store/timeline_utils.h"

namespace contacts {
namespace {

using platform::Value;

class ContactSyncIntegrationTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { server_ = new server_testing::ServerProcess(); }
  static void TearDownTestSuite() {
    delete server_;
    server_ = nullptr;
  }

  ContactSyncIntegrationTest() {
    platform::SetDefaultDispatcher(&dispatcher_);
    platform::SetDefaultHttpClientFactory(&http_);
    platform::SetDefaultAlertPresenter(&alerts_);
    platform::SetStandardPreferences(&preferences_);
    env_ = std::make_unique<service::FakeClientEnvironment>();
    service::ServiceHTTPClient::SetServiceBaseUrl(server_->url());
  }
  ~ContactSyncIntegrationTest() override {
    store::TimelineUtils::ResetImageCaches();
    storelib::CloseStore();
    env_.reset();
    platform::SetStandardPreferences(nullptr);
    platform::SetDefaultAlertPresenter(nullptr);
    platform::SetDefaultHttpClientFactory(nullptr);
    platform::SetDefaultDispatcher(nullptr);
    platform::RemoveTree(dir_);
  }

  // A new e-mail user with a screen name.
  server_testing::Account NewUser(const std::string& name) {
    const std::string email = "u" + std::to_string(++users_) + "@contacts.test";
    return server_testing::RegisterEmailUser(raw_, email, "secret1", name);
  }
  // Signs `account` in on the service clients and sets up his stores.
  void SignIn(const server_testing::Account& account) {
    own_ = std::to_string(account.uid);
    service::SetAccessTokenOnAllClients(account.token);
    contacts_ = std::make_unique<ContactDataManager>(dir_ + "/ContactData.sqlite");
    blacklist_ = std::make_unique<BlacklistDataManager>(dir_ + "/BlacklistData.sqlite");
    sync_ = std::make_unique<ContactSync>(requests_, *contacts_, *blacklist_, own_, "2.4.1");
  }

  // Runs one synchronisation step and waits for its outcome.
  struct Outcome {
    bool ok = false;
    Value error;
  };
  Outcome Run(const std::function<void(ContactSync::Done)>& step) {
    auto outcome = std::make_shared<Outcome>();
    auto done = std::make_shared<bool>(false);
    step([outcome, done](bool ok, const Value& error) {
      outcome->ok = ok;
      outcome->error = error;
      *done = true;
    });
    EXPECT_TRUE(dispatcher_.RunMainLoopUntil([done] { return *done; }, std::chrono::seconds(20)));
    return *outcome;
  }

  std::vector<std::string> FriendNames() {
    std::vector<std::string> names;
    for (const auto& item : contacts_->FriendContactArray(own_)) {
      names.push_back(item.screenName.value_or(""));
    }
    return names;
  }
  std::vector<std::string> BlockedIds() {
    std::vector<std::string> ids;
    for (const auto& item : blacklist_->BlackArray(own_)) ids.push_back(item.blackId);
    return ids;
  }

  static server_testing::ServerProcess* server_;
  static int users_;
  platform::LinuxDispatcher dispatcher_{2};
  platform::CurlHttpClientFactory http_{platform::CurlSettings{}};
  platform::HeadlessAlertPresenter alerts_;
  platform::MemoryPreferenceStore preferences_;
  std::unique_ptr<service::FakeClientEnvironment> env_;
  server_testing::HttpClient raw_{server_->url()};
  std::string dir_ = platform::MakeTempDirectory("selvo-contacts-e2e");
  AccountContactRequests requests_;
  std::string own_;
  std::unique_ptr<ContactDataManager> contacts_;
  std::unique_ptr<BlacklistDataManager> blacklist_;
  std::unique_ptr<ContactSync> sync_;
};

server_testing::ServerProcess* ContactSyncIntegrationTest::server_ = nullptr;
int ContactSyncIntegrationTest::users_ = 0;

TEST_F(ContactSyncIntegrationTest, ContactsAndBlacklistFollowTheService) {
  // Chinese names sort by their Latin form without tone marks: "li na" comes
  // before "lz", "wang wei" before "zoe".
  std::map<std::string, std::string> ids;
  for (const char* name : {"Zoe", "王伟", "Alice", "李娜", "Lz"}) {
    ids[name] = std::to_string(NewUser(name).uid);
  }
  SignIn(NewUser("Owner"));

  for (const char* name : {"Zoe", "王伟", "Alice", "李娜", "Lz"}) {
    ASSERT_TRUE(Run([&](auto done) { sync_->AddFriend(ids[name], done); }).ok) << name;
  }
  ASSERT_TRUE(Run([&](auto done) {
                sync_->AddGuests({"weibo#111#微博友#", "mobile#13800000001#Grandma#"}, done);
              }).ok);
  const std::vector<std::string> everyone{"Alice", "李娜", "Lz", "王伟", "Zoe"};
  EXPECT_EQ(FriendNames(), everyone);
  EXPECT_EQ(contacts_->FriendContactArray(own_)[1].pinyinScreenName, "li na");

  // A full refresh from the service gives the same list, and the record the
  // running version.
  shell::SelvoGlobalPreferences::SetNeedUpdateContact(true);
  ASSERT_TRUE(Run([&](auto done) { sync_->RefreshContacts(false, done); }).ok);
  EXPECT_EQ(FriendNames(), everyone);
  const auto& guests = contacts_->GuestContactArray(own_);
  ASSERT_EQ(guests.size(), 2u);
  EXPECT_EQ(guests[0].provider, "mobile");
  EXPECT_EQ(guests[1].screenName, "微博友");
  EXPECT_EQ(contacts_->GetContactData(own_)->version, "2.4.1");

  // Blocking drops a friend here and on the service; unblocking does not
  // bring him back as a friend.
  ASSERT_TRUE(Run([&](auto done) { sync_->Block(ids["王伟"], "王伟", std::nullopt, done); }).ok);
  EXPECT_EQ(BlockedIds(), std::vector<std::string>{ids["王伟"]});
  ASSERT_TRUE(Run([&](auto done) { sync_->RefreshContacts(true, done); }).ok);
  ASSERT_TRUE(Run([&](auto done) { sync_->RefreshBlacklist(true, done); }).ok);
  EXPECT_EQ(FriendNames(), (std::vector<std::string>{"Alice", "李娜", "Lz", "Zoe"}));
  EXPECT_EQ(BlockedIds(), std::vector<std::string>{ids["王伟"]});
  EXPECT_EQ(blacklist_->BlackArray(own_)[0].pinyinScreenName, "wang wei");
  ASSERT_TRUE(Run([&](auto done) { sync_->Unblock(ids["王伟"], done); }).ok);
  EXPECT_TRUE(BlockedIds().empty());

  // Removals of a friend and of a guest.
  ASSERT_TRUE(Run([&](auto done) { sync_->RemoveContact(ids["Alice"], done); }).ok);
  ASSERT_TRUE(Run([&](auto done) { sync_->RemoveContact("weibo#111", done); }).ok);
  EXPECT_EQ(FriendNames(), (std::vector<std::string>{"李娜", "Lz", "Zoe"}));
  EXPECT_EQ(contacts_->GuestContactArray(own_).size(), 1u);

  // What the service refuses changes nothing and says why.
  Outcome refused = Run([&](auto done) { sync_->AddFriend("999999", done); });
  EXPECT_FALSE(refused.ok);
  EXPECT_EQ(refused.error["msg"].AsString(), "no user 999999");
  refused = Run([&](auto done) { sync_->Block(own_, std::nullopt, std::nullopt, done); });
  EXPECT_FALSE(refused.ok);
  EXPECT_EQ(FriendNames(), (std::vector<std::string>{"李娜", "Lz", "Zoe"}));

  // The stores on disk hold the same after a restart, and agree with a
  // fresh answer of the service.
  ASSERT_TRUE(contacts_->SaveContext());
  ASSERT_TRUE(blacklist_->SaveContext());
  contacts_ = std::make_unique<ContactDataManager>(dir_ + "/ContactData.sqlite");
  blacklist_ = std::make_unique<BlacklistDataManager>(dir_ + "/BlacklistData.sqlite");
  EXPECT_EQ(FriendNames(), (std::vector<std::string>{"李娜", "Lz", "Zoe"}));
  sync_ = std::make_unique<ContactSync>(requests_, *contacts_, *blacklist_, own_, "2.4.1");
  ASSERT_TRUE(Run([&](auto done) { sync_->RefreshContacts(true, done); }).ok);
  EXPECT_EQ(FriendNames(), (std::vector<std::string>{"李娜", "Lz", "Zoe"}));
  EXPECT_EQ(contacts_->GuestContactArray(own_)[0].identity, "13800000001");
}

TEST_F(ContactSyncIntegrationTest, FriendsAvatarsAreFetchedIntoTheirOwnFiles) {
  // A friend with an uploaded avatar.
  server_testing::Account friendAccount = NewUser("Tao");
  const platform::Image face = platform::Image::Filled(64, 48, 200, 40, 10);
  raw_.set_token(friendAccount.token);
  auto upload = raw_.PostFile("/api/user/upload", {{"desc", "avatar"}}, "payload", "jpg",
                              "image/png", *platform::DefaultImageCodec().EncodePng(face));
  ASSERT_EQ(upload.status, 200) << upload.body;

  server_testing::Account me = NewUser("Mei");
  SignIn(me);
  ASSERT_TRUE(
      Run([&](auto done) { sync_->AddFriend(std::to_string(friendAccount.uid), done); }).ok);
  const FriendItem tao = contacts_->FriendContactArray(own_).at(0);
  ASSERT_TRUE(tao.avatar);
  EXPECT_EQ(*tao.avatar, upload.json["url"].AsString());

  ASSERT_TRUE(storelib::OpenStore(static_cast<uint64_t>(me.uid), dir_));
  auto loaded = std::make_shared<store::ImagePtr>();
  auto fetched = std::make_shared<bool>(false);
  store::IconDownloader::StartDownload(
      friendAccount.uid, *tao.avatar,
      [loaded, fetched](const std::string&, const store::ImagePtr& image) {
        *loaded = image;
        *fetched = true;
      },
      [fetched](const Value&) { *fetched = true; });
  ASSERT_TRUE(
      dispatcher_.RunMainLoopUntil([fetched] { return *fetched; }, std::chrono::seconds(20)));
  ASSERT_TRUE(*loaded);
  EXPECT_EQ((*loaded)->rgba, face.rgba);

  // The file is written in the background; once there, it answers alone.
  const std::string file = store::TimelineUtils::BuddyAvatarFullPath(*tao.avatar, tao.friendId);
  for (int i = 0; i < 1000 && !platform::DefaultFileSystem().Exists(file); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_TRUE(platform::DefaultFileSystem().Exists(file));
  store::TimelineUtils::ResetImageCaches();
  store::ImagePtr cached = store::IconDownloader::CachedImage(*tao.avatar, friendAccount.uid);
  ASSERT_TRUE(cached);
  EXPECT_EQ(cached->rgba, face.rgba);

  // Removing him from the contacts takes his avatar file along (the handler
  // the contact screens install).
  sync_->SetFriendRemovedHandler([](const FriendItem& item) {
    store::TimelineUtils::RemoveBuddyAvatarFile(item.avatar.value_or(""), item.friendId);
  });
  ASSERT_TRUE(Run([&](auto done) { sync_->RemoveContact(tao.friendId, done); }).ok);
  EXPECT_FALSE(platform::DefaultFileSystem().Exists(file));
}

}  // namespace
}  // namespace contacts
