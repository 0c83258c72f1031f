#include "contacts/contact_data_manager.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <fstream>

#include "platform/json.h"
#include "platform/linux/icu_transliterator.h"
#include "platform/log.h"
#include "platform/testing/fake_platform.h"

namespace contacts {
namespace {

using platform::Value;

Value Json(const std::string& text) {
  std::string error;
  auto value = platform::ParseJson(text, &error);
  EXPECT_TRUE(value) << error << ": " << text;
  return value ? *value : Value();
}

std::vector<std::string> FriendIds(const std::vector<FriendItem>& items) {
  std::vector<std::string> ids;
  for (const auto& item : items) ids.push_back(item.friendId);
  return ids;
}

std::vector<std::string> GuestKeys(const std::vector<GuestItem>& items) {
  std::vector<std::string> keys;
  for (const auto& item : items) keys.push_back(item.provider + "#" + item.identity);
  return keys;
}

class ContactDataManagerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::SetDefaultTransliterator(&icu_);
    platform::SetLogSink([this](std::string_view line) { log_.emplace_back(line); });
  }
  void TearDown() override {
    platform::SetLogSink(nullptr);
    platform::SetDefaultTransliterator(nullptr);
  }

  std::string Path() {
    return fake_.environment.DocumentsDirectory() + "/" + ContactStore::kFileName;
  }

  platform::FakePlatform fake_;
  platform::IcuTransliterator icu_;
  std::vector<std::string> log_;
};

constexpr char kOwn[] = "7";

TEST_F(ContactDataManagerTest, CreateAndMerge) {
  ContactDataManager manager(Path());
  EXPECT_EQ(manager.GetContactData(kOwn), nullptr);
  manager.AddContactFriendList(kOwn, Json(R"({
      "friend_list": [
        {"_id": 100, "login_meta": {"screen_name": "Old", "avatar_url": "http://a/old.png"},
         "bindings": [{"provider": "weibo", "identity": 9}]},
        {"_id": 101, "login_meta": {"screen_name": "Has phone"},
         "bindings": [{"provider": "mobile", "identity": "13800000000"}]}],
      "guest_list": [
        {"provider": "weibo", "identity": 111, "screen_name": "W"},
        {"provider": "renren", "identity": "222", "screen_name": "R"},
        {"provider": "mobile", "identity": "555"}]})"),
                               "1.0");
  ASSERT_NE(manager.GetContactData(kOwn), nullptr);
  EXPECT_EQ(manager.GetContactData(kOwn)->version, "1.0");

  manager.AddContactFriendList(kOwn, Json(R"({
      "friend_list": [
        {"_id": "100", "login_meta": {"screen_name": "New"},
         "bindings": [{"provider": "qzone", "identity": "q"}]},
        {"_id": 102, "login_meta": {"screen_name": "Was a guest"},
         "bindings": [{"provider": "weibo", "identity": 111}, {"provider": "renren", "identity": 222}]}],
      "guest_list": [
        {"provider": "mobile", "identity": "13800000000"},
        {"provider": "mobile", "identity": "555"},
        {"provider": "weibo", "identity": "777"}]})"),
                               "2.0");
  const ContactFriendList& list = *manager.GetContactFriendList(kOwn);
  // 100 replaced (not duplicated), 102 added.
  EXPECT_EQ(FriendIds(list.friendItems), (std::vector<std::string>{"101", "100", "102"}));
  const FriendItem& replaced = list.friendItems[1];
  EXPECT_EQ(replaced.screenName, "New");
  EXPECT_FALSE(replaced.avatar);
  ASSERT_EQ(replaced.bindItems.size(), 1u);
  EXPECT_EQ(replaced.bindItems[0].provider, "qzone");
  // The new friend took the place of guest weibo 111 only; a friend's mobile
  // binding and a known guest are not added again.
  EXPECT_EQ(GuestKeys(list.guestItems),
            (std::vector<std::string>{"renren#222", "mobile#555", "weibo#777"}));
  EXPECT_EQ(manager.GetContactData(kOwn)->version, "1.0");  // a merge keeps the record

  // All of it is on disk.
  ContactDataManager reopened(Path());
  EXPECT_EQ(*reopened.GetContactData(kOwn), *manager.GetContactData(kOwn));
}

TEST_F(ContactDataManagerTest, Matching) {
  ContactDataManager manager(Path());
  manager.AddContactFriendList(kOwn, Json(R"({
      "friend_list": [{"_id": 100, "bindings": [{"provider": "weibo", "identity": "555"},
                                                 {"provider": "qzone", "identity": "q1"}]}],
      "guest_list": [{"provider": "weibo", "identity": "888"}]})"),
                               "1.0");
  struct Case {
    const char* id;
    std::optional<std::string> provider;
    bool isFriend;
    bool isGuest;
  };
  const Case cases[] = {
      {"100", std::nullopt, true, false},  {"100", "email", true, false},
      {"q1", "qzone", false, false},  // qzone compares friend ids only
      {"100", "qzone", true, false},       {"555", "weibo", true, false},  // a friend's binding
      {"555", "renren", false, false},     {"888", "weibo", true, true},   // the guest
      {"888", "renren", false, false},  // the same identity at another network is someone else
      {"888", "mobile", false, false},     {"", "weibo", false, false},
      {"999", std::nullopt, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.id) + "@" + c.provider.value_or("none"));
    EXPECT_EQ(manager.IsFriend(c.id, c.provider, kOwn), c.isFriend);
    EXPECT_EQ(manager.IsGuestFriend(c.id, c.provider.value_or(""), kOwn), c.isGuest);
  }
  ContactDataManager::Match match;
  ASSERT_TRUE(
      ContactDataManager::IsFriend("555", "weibo", *manager.GetContactFriendList(kOwn), &match));
  EXPECT_EQ(match.friendItem->friendId, "100");
  EXPECT_FALSE(manager.IsFriend("100", std::nullopt, "another user"));
}

TEST_F(ContactDataManagerTest, NamesSortByTheirLatinFormWithoutToneMarks) {
  ContactDataManager manager(Path());
  manager.AddContactFriendList(kOwn, Json(R"({"friend_list": [
      {"_id": 1, "login_meta": {"screen_name": "Zoe"}},
      {"_id": 2, "login_meta": {"screen_name": "李明"}},
      {"_id": 3, "login_meta": {"screen_name": "lz"}},
      {"_id": 4, "login_meta": {"screen_name": "Anna"}},
      {"_id": 5, "login_meta": {"screen_name": "王伟"}},
      {"_id": 6},
      {"_id": 7, "login_meta": {"screen_name": "lǐ"}},
      {"_id": 8, "login_meta": {"screen_name": "陈"}}],
    "guest_list": [
      {"provider": "weibo", "identity": "a", "screen_name": "张三"},
      {"provider": "mobile", "identity": "b", "screen_name": "Zhao"},
      {"provider": "mobile", "identity": "c", "screen_name": "阿芳"}]})"),
                               "1.0");
  const auto& friends = manager.FriendContactArray(kOwn);
  // None first, then anna, chen, li, li ming, lz, wang wei, zoe.
  EXPECT_EQ(FriendIds(friends), (std::vector<std::string>{"6", "4", "8", "7", "2", "3", "5", "1"}));
  EXPECT_EQ(friends[4].pinyinScreenName, "li ming");
  EXPECT_FALSE(friends[0].pinyinScreenName);
  EXPECT_EQ(GuestKeys(manager.GuestContactArray(kOwn)),
            (std::vector<std::string>{"mobile#c", "mobile#b", "weibo#a"}));
  EXPECT_EQ(ChangeScreenNameToPinyin(std::nullopt), std::nullopt);
  EXPECT_EQ(ChangeScreenNameToPinyin("Zhāng 三"), "zhang san");
}

TEST_F(ContactDataManagerTest, RemovalsByIndexAndById) {
  ContactDataManager manager(Path());
  manager.AddContactFriendList(kOwn, Json(R"({"friend_list": [
      {"_id": 1, "login_meta": {"screen_name": "b"}}, {"_id": 2, "login_meta": {"screen_name": "a"}},
      {"_id": 3, "login_meta": {"screen_name": "c"}}],
    "guest_list": [{"provider": "weibo", "identity": "x", "screen_name": "x"},
                   {"provider": "mobile", "identity": "y", "screen_name": "y"}]})"),
                               "1.0");
  manager.RemoveFriendItem(0, kOwn);  // "a", id 2
  EXPECT_EQ(FriendIds(manager.FriendContactArray(kOwn)), (std::vector<std::string>{"1", "3"}));
  manager.RemoveFriendItem(5, kOwn);  // out of range
  manager.RemoveFriendItemById("absent", kOwn);
  manager.RemoveFriendItemById("3", kOwn);
  manager.RemoveGuestItem(0, kOwn);  // mobile y
  EXPECT_EQ(GuestKeys(manager.GuestContactArray(kOwn)), std::vector<std::string>{"weibo#x"});

  ContactDataManager reopened(Path());
  EXPECT_EQ(FriendIds(reopened.FriendContactArray(kOwn)), std::vector<std::string>{"1"});
  EXPECT_EQ(GuestKeys(reopened.GuestContactArray(kOwn)), std::vector<std::string>{"weibo#x"});
  reopened.RemoveContactFriendList(kOwn);
  EXPECT_EQ(reopened.GetContactData(kOwn), nullptr);
  EXPECT_EQ(ContactDataManager(Path()).GetContactData(kOwn), nullptr);
}

TEST_F(ContactDataManagerTest, AFullRefreshReplacesTheListOrKeepsIt) {
  ContactDataManager manager(Path());
  manager.AddContactFriendList(kOwn, Json(R"({"friend_list": [{"_id": 1}, {"_id": 2}]})"), "1.0");
  for (const char* malformed : {R"([])", R"("text")", R"({})", R"({"friend_list": {"_id": 3}})",
                                R"({"friend_list": [], "guest_list": 5})", "null"}) {
    SCOPED_TRACE(malformed);
    EXPECT_FALSE(manager.ReplaceContactFriendList(kOwn, Json(malformed), "2.0"));
    EXPECT_EQ(FriendIds(manager.FriendContactArray(kOwn)), (std::vector<std::string>{"1", "2"}));
  }
  EXPECT_TRUE(manager.ReplaceContactFriendList(
      kOwn, Json(R"({"friend_list": [{"_id": 3}], "guest_list": []})"), "2.0"));
  EXPECT_EQ(FriendIds(manager.FriendContactArray(kOwn)), std::vector<std::string>{"3"});
  ContactDataManager reopened(Path());
  EXPECT_EQ(reopened.GetContactData(kOwn)->version, "2.0");
  EXPECT_EQ(FriendIds(reopened.FriendContactArray(kOwn)), std::vector<std::string>{"3"});
}

TEST_F(ContactDataManagerTest, AStoreThatCannotBeOpenedKeepsTheApplicationRunning) {
  std::ofstream(Path())
      << "garbage garbage garbage garbage garbage garbage garbage garbage garbage";
  ContactDataManager manager(Path());
  EXPECT_EQ(manager.GetContactData(kOwn), nullptr);
  EXPECT_FALSE(manager.last_error().empty());
  manager.AddContactFriendList(kOwn, Json(R"({"friend_list": [{"_id": 1}]})"), "1.0");
  EXPECT_TRUE(manager.IsFriend("1", std::nullopt, kOwn));  // in memory
  EXPECT_FALSE(manager.SaveContext());
  bool logged = false;
  for (const auto& line : log_) logged |= line.starts_with("Unresolved error ");
  EXPECT_TRUE(logged);
}

// Another connection holding the file's exclusive lock makes reads and
// writes fail at once (no waiting: the busy time-out is 0).
class Locker {
 public:
  explicit Locker(const std::string& path) {
    sqlite3_open(path.c_str(), &db_);
    EXPECT_EQ(sqlite3_exec(db_, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
  }
  ~Locker() { Release(); }
  void Release() {
    if (db_) sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(db_);
    db_ = nullptr;
  }

 private:
  sqlite3* db_ = nullptr;
};

TEST_F(ContactDataManagerTest, FailedWritesStayPendingAndUnreadListsAreNotOverwritten) {
  {
    ContactDataManager first(Path());
    first.AddContactFriendList(kOwn, Json(R"({"friend_list": [{"_id": 1}]})"), "1.0");
  }
  {
    // A write that fails stays in memory and is written later.
    ContactDataManager manager(Path(), /*busyTimeoutMs=*/0);
    ASSERT_NE(manager.GetContactData(kOwn), nullptr);
    Locker lock(Path());
    manager.AddContactFriendList(kOwn, Json(R"({"friend_list": [{"_id": 2}]})"), "1.0");
    EXPECT_FALSE(manager.last_error().empty());
    EXPECT_TRUE(manager.IsFriend("2", std::nullopt, kOwn));
    lock.Release();
    EXPECT_TRUE(manager.SaveContext());
  }
  EXPECT_EQ(FriendIds(ContactDataManager(Path()).FriendContactArray(kOwn)),
            (std::vector<std::string>{"1", "2"}));
  {
    // A list that could not be read is not replaced by a partial one ...
    ContactDataManager manager(Path(), 0);
    Locker lock(Path());
    EXPECT_EQ(manager.GetContactData(kOwn), nullptr);
    manager.AddContactFriendList(kOwn, Json(R"({"friend_list": [{"_id": 3}]})"), "1.0");
    lock.Release();
    EXPECT_TRUE(manager.IsFriend("3", std::nullopt, kOwn));  // kept in memory
    EXPECT_FALSE(manager.SaveContext());
  }
  EXPECT_EQ(FriendIds(ContactDataManager(Path()).FriendContactArray(kOwn)),
            (std::vector<std::string>{"1", "2"}));
  {
    // ... but a full refresh may replace it.
    ContactDataManager manager(Path(), 0);
    Locker lock(Path());
    EXPECT_EQ(manager.GetContactData(kOwn), nullptr);
    lock.Release();
    EXPECT_TRUE(
        manager.ReplaceContactFriendList(kOwn, Json(R"({"friend_list": [{"_id": 4}]})"), "2.0"));
  }
  EXPECT_EQ(FriendIds(ContactDataManager(Path()).FriendContactArray(kOwn)),
            std::vector<std::string>{"4"});
}

TEST_F(ContactDataManagerTest, SharedInstanceLivesInTheDocumentsDirectory) {
  ContactDataManager::SharedInstance().AddContactFriendList(
      kOwn, Json(R"({"friend_list": [{"_id": 1}]})"), "1.0");
  ContactDataManager::ResetSharedInstance();
  EXPECT_TRUE(ContactDataManager(Path()).IsFriend("1", std::nullopt, kOwn));
  EXPECT_TRUE(ContactDataManager::SharedInstance().IsFriend("1", std::nullopt, kOwn));
  ContactDataManager::ResetSharedInstance();
}

}  // namespace
}  // namespace contacts
