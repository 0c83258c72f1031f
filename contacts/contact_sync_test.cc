#include "contacts/contact_sync.h"

#include <gtest/gtest.h>

#include <deque>

#include "platform/json.h"
#include "platform/testing/fake_platform.h"
#include "shell/selvo_global_preferences.h"

namespace contacts {
namespace {

using platform::Value;
using shell::SelvoGlobalPreferences;

Value Json(const std::string& text) { return *platform::ParseJson(text); }

// Requests answered by the test, in order.
class ManualContactRequests : public ContactRequests {
 public:
  struct Request {
    std::string what;
    Success success;
    Failure failure;
  };
  void GetContacts(Success s, Failure f) override { Add("contacts", s, f); }
  void AddContacts(const std::vector<std::string>& internal,
                   const std::vector<std::string>& external, Success s, Failure f) override {
    Add("add " + Join(internal) + "|" + Join(external), s, f);
  }
  void RemoveContacts(const std::vector<std::string>& internal,
                      const std::vector<std::string>& external, Success s, Failure f) override {
    Add("remove " + Join(internal) + "|" + Join(external), s, f);
  }
  void GetBlackList(Success s, Failure f) override { Add("blacklist", s, f); }
  void AddUserToBlackList(const std::string& uid, Success s, Failure f) override {
    Add("block " + uid, s, f);
  }
  void RemoveUserFromBlackList(const std::string& uid, Success s, Failure f) override {
    Add("unblock " + uid, s, f);
  }

  std::string Next() const { return pending.empty() ? "" : pending.front().what; }
  void Answer(const Value& answer) {
    Request r = std::move(pending.front());
    pending.pop_front();
    r.success(answer);
  }
  void Fail() {
    Request r = std::move(pending.front());
    pending.pop_front();
    r.failure(Json(R"({"code": 500, "msg": "down"})"));
  }
  std::deque<Request> pending;

 private:
  static std::string Join(const std::vector<std::string>& items) {
    std::string text;
    for (const auto& item : items) text += (text.empty() ? "" : ",") + item;
    return text;
  }
  void Add(std::string what, Success s, Failure f) {
    pending.push_back({std::move(what), std::move(s), std::move(f)});
  }
};

class ContactSyncTest : public ::testing::Test {
 protected:
  std::string Documents() { return fake_.environment.DocumentsDirectory(); }
  std::vector<std::string> Friends() {
    std::vector<std::string> ids;
    for (const auto& item : contacts_.FriendContactArray("7")) ids.push_back(item.friendId);
    return ids;
  }
  std::vector<std::string> Blocked() {
    std::vector<std::string> ids;
    for (const auto& item : blacklist_.BlackArray("7")) ids.push_back(item.blackId);
    return ids;
  }

  platform::FakePlatform fake_;
  ContactDataManager contacts_{Documents() + "/ContactData.sqlite"};
  BlacklistDataManager blacklist_{Documents() + "/BlacklistData.sqlite"};
  ManualContactRequests requests_;
  ContactSync sync_{requests_, contacts_, blacklist_, "7", "3.1"};
  std::vector<bool> outcomes_;
  ContactSync::Done done_ = [this](bool ok, const Value&) { outcomes_.push_back(ok); };
};

TEST_F(ContactSyncTest, FullRefreshesFollowTheFlags) {
  blacklist_.AddBlacklist("7", "100", "Was blocked", std::nullopt, "1.0");
  contacts_.AddContactFriendList("7", Json(R"({"friend_list": [{"_id": 1}]})"), "1.0");

  sync_.RefreshContacts(/*force=*/false, done_);  // flag not set: nothing asked
  EXPECT_EQ(requests_.Next(), "");

  SelvoGlobalPreferences::SetNeedUpdateContact(true);
  sync_.RefreshContacts(false, done_);
  EXPECT_FALSE(SelvoGlobalPreferences::NeedUpdateContact());
  requests_.Fail();
  EXPECT_TRUE(SelvoGlobalPreferences::NeedUpdateContact());
  EXPECT_EQ(Friends(), std::vector<std::string>{"1"});

  sync_.RefreshContacts(false, done_);
  requests_.Answer(Json(R"({"msg": "not a list"})"));  // malformed: the list stays
  EXPECT_TRUE(SelvoGlobalPreferences::NeedUpdateContact());
  EXPECT_EQ(Friends(), std::vector<std::string>{"1"});

  sync_.RefreshContacts(false, done_);
  requests_.Answer(Json(R"({"friend_list": [{"_id": 100}, {"_id": 2}], "guest_list": []})"));
  EXPECT_FALSE(SelvoGlobalPreferences::NeedUpdateContact());
  EXPECT_EQ(Friends(), (std::vector<std::string>{"100", "2"}));
  EXPECT_TRUE(Blocked().empty());  // a friend is never blocked
  EXPECT_EQ(contacts_.GetContactData("7")->version, "3.1");
  EXPECT_EQ(outcomes_, (std::vector<bool>{true, false, false, true}));

  SelvoGlobalPreferences::SetNeedUpdateBlacklist(true);
  sync_.RefreshBlacklist(false, done_);
  requests_.Answer(Json(R"({"not": "an array"})"));
  EXPECT_TRUE(SelvoGlobalPreferences::NeedUpdateBlacklist());
  sync_.RefreshBlacklist(false, done_);
  requests_.Answer(Json(R"([{"_id": 2, "login_meta": {"screen_name": "Two"}}])"));
  EXPECT_EQ(Blocked(), std::vector<std::string>{"2"});
  EXPECT_EQ(Friends(), std::vector<std::string>{"100"});  // a blocked user is no friend
}

TEST_F(ContactSyncTest, ChangesApplyOnceTheServiceAccepts) {
  // A blocked user is unblocked on the service before he is added.
  blacklist_.AddBlacklist("7", "5", std::nullopt, std::nullopt, "1.0");
  sync_.AddFriend("5", done_);
  EXPECT_EQ(requests_.Next(), "unblock 5");
  requests_.Fail();
  EXPECT_EQ(Blocked(), std::vector<std::string>{"5"});
  sync_.AddFriend("5", done_);
  requests_.Answer(Value());
  EXPECT_TRUE(Blocked().empty());
  EXPECT_EQ(requests_.Next(), "add 5|");
  requests_.Answer(Json(R"({"friend_list": [{"_id": 5}], "guest_list": []})"));
  EXPECT_EQ(Friends(), std::vector<std::string>{"5"});

  sync_.AddGuests({"weibo#9"}, done_);
  requests_.Answer(Json(R"({"guest_list": [{"provider": "weibo", "identity": "9"}]})"));
  EXPECT_TRUE(contacts_.IsGuestFriend("9", "weibo", "7"));

  std::vector<std::string> removedFriends;
  sync_.SetFriendRemovedHandler(
      [&](const FriendItem& item) { removedFriends.push_back(item.friendId); });
  sync_.RemoveContact("weibo#9", done_);
  EXPECT_EQ(requests_.Next(), "remove |weibo#9");
  requests_.Answer(Value());
  EXPECT_FALSE(contacts_.IsGuestFriend("9", "weibo", "7"));

  sync_.Block("5", "Five", std::nullopt, done_);
  requests_.Fail();  // refused: nothing changes
  EXPECT_EQ(Friends(), std::vector<std::string>{"5"});
  sync_.Block("5", "Five", std::nullopt, done_);
  requests_.Answer(Value());
  EXPECT_TRUE(Friends().empty());
  EXPECT_EQ(Blocked(), std::vector<std::string>{"5"});
  EXPECT_EQ(blacklist_.BlackArray("7")[0].screenName, "Five");

  sync_.Unblock("5", done_);
  requests_.Answer(Value());
  EXPECT_TRUE(Blocked().empty());

  sync_.AddFriend("6", done_);
  requests_.Answer(Json(R"({"friend_list": [{"_id": 6}]})"));
  sync_.RemoveContact("6", done_);
  EXPECT_EQ(requests_.Next(), "remove 6|");
  requests_.Answer(Value());
  EXPECT_TRUE(Friends().empty());
  EXPECT_EQ(removedFriends, std::vector<std::string>{"6"});
  EXPECT_EQ(outcomes_, (std::vector<bool>{false, true, true, true, false, true, true, true, true}));
}

}  // namespace
}  // namespace contacts
