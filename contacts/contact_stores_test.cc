#include "contacts/contact_stores.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <fstream>

#include "platform/testing/fake_environment.h"

namespace contacts {
namespace {

class ContactStoresTest : public ::testing::Test {
 protected:
  void TearDown() override { platform::RemoveTree(dir_); }

  int64_t Count(const std::string& file, const std::string& table) {
    sqlite3* db = nullptr;
    EXPECT_EQ(sqlite3_open((dir_ + "/" + file).c_str(), &db), SQLITE_OK);
    sqlite3_stmt* statement = nullptr;
    sqlite3_prepare_v2(db, ("select count(*) from " + table).c_str(), -1, &statement, nullptr);
    int64_t count = -1;
    if (sqlite3_step(statement) == SQLITE_ROW) count = sqlite3_column_int64(statement, 0);
    sqlite3_finalize(statement);
    sqlite3_close(db);
    return count;
  }

  static ContactData Sample(const std::string& userId, int friends) {
    ContactData data{userId, "1.2", {}};
    for (int i = 0; i < friends; ++i) {
      data.contactFriendList.friendItems.push_back(
          {std::to_string(100 + i),
           "Friend " + std::to_string(i),
           "friend " + std::to_string(i),
           std::nullopt,
           {{"weibo", "w" + std::to_string(i), "wb", "http://a/w.png"},
            {"mobile", "1380000000" + std::to_string(i), std::nullopt, std::nullopt}}});
    }
    data.contactFriendList.guestItems.push_back(
        {"renren", "222", "李明", "li ming", "http://a/g.png"});
    data.contactFriendList.guestItems.push_back({"mobile", "139", std::nullopt, std::nullopt, ""});
    return data;
  }

  std::string dir_ = platform::MakeTempDirectory("contact-stores");
};

TEST_F(ContactStoresTest, RecordsSurviveReopeningAndStayPerUser) {
  const std::string path = dir_ + "/" + ContactStore::kFileName;
  {
    ContactStore store(path);
    std::string error;
    ASSERT_TRUE(store.Save(Sample("7", 3), &error)) << error;
    ASSERT_TRUE(store.Save(Sample("12", 1), &error)) << error;
  }
  ContactStore store(path);
  std::optional<ContactData> loaded;
  ASSERT_TRUE(store.Load("7", &loaded, nullptr));
  ASSERT_TRUE(loaded);
  EXPECT_EQ(*loaded, Sample("7", 3));
  ASSERT_TRUE(store.Load("absent", &loaded, nullptr));
  EXPECT_FALSE(loaded);
  std::vector<std::string> ids;
  ASSERT_TRUE(store.UserIds(&ids, nullptr));
  EXPECT_EQ(ids, (std::vector<std::string>{"7", "12"}));  // text order, largest first
}

TEST_F(ContactStoresTest, SavingReplacesAndRemovingCascades) {
  ContactStore store(dir_ + "/" + ContactStore::kFileName);
  ASSERT_TRUE(store.Save(Sample("7", 3), nullptr));
  ASSERT_TRUE(store.Save(Sample("8", 2), nullptr));
  ASSERT_TRUE(store.Save(Sample("7", 1), nullptr));
  std::optional<ContactData> loaded;
  ASSERT_TRUE(store.Load("7", &loaded, nullptr));
  EXPECT_EQ(loaded->contactFriendList.friendItems.size(), 1u);
  EXPECT_EQ(Count(ContactStore::kFileName, "friend_item"), 3);
  EXPECT_EQ(Count(ContactStore::kFileName, "bind_item"), 6);
  EXPECT_EQ(Count(ContactStore::kFileName, "guest_item"), 4);

  ASSERT_TRUE(store.Remove("8", nullptr));
  ASSERT_TRUE(store.Remove("absent", nullptr));
  EXPECT_EQ(Count(ContactStore::kFileName, "contact_data"), 1);
  EXPECT_EQ(Count(ContactStore::kFileName, "friend_item"), 1);
  EXPECT_EQ(Count(ContactStore::kFileName, "bind_item"), 2);
  EXPECT_EQ(Count(ContactStore::kFileName, "guest_item"), 2);
}

TEST_F(ContactStoresTest, BlacklistRoundTripAndCascade) {
  BlacklistStore store(dir_ + "/" + BlacklistStore::kFileName);
  BlacklistData data{"7", "1.0", {}};
  data.blacklist.blackItems.push_back(
      {"55", "Spam", "spam", std::nullopt, {{"qzone", "q", {}, {}}}});
  data.blacklist.blackItems.push_back({"56", std::nullopt, std::nullopt, "http://a/x.png", {}});
  ASSERT_TRUE(store.Save(data, nullptr));
  std::optional<BlacklistData> loaded;
  ASSERT_TRUE(store.Load("7", &loaded, nullptr));
  EXPECT_EQ(*loaded, data);
  ASSERT_TRUE(store.Remove("7", nullptr));
  EXPECT_EQ(Count(BlacklistStore::kFileName, "black_item"), 0);
  EXPECT_EQ(Count(BlacklistStore::kFileName, "black_bind_item"), 0);
}

TEST_F(ContactStoresTest, AFileThatIsNoStoreIsReported) {
  const std::string path = dir_ + "/" + ContactStore::kFileName;
  std::ofstream(path) << "this is not a database, but it is long enough to look like one......";
  ContactStore store(path);
  std::string error;
  std::optional<ContactData> loaded;
  EXPECT_FALSE(store.Load("7", &loaded, &error));
  EXPECT_NE(error.find("ContactData.sqlite"), std::string::npos) << error;
  EXPECT_FALSE(store.Save(Sample("7", 1), &error));
}

}  // namespace
}  // namespace contacts
