#include "contacts/blacklist_data_manager.h"

#include <gtest/gtest.h>

#include "platform/json.h"
#include "platform/testing/fake_platform.h"

namespace contacts {
namespace {

using platform::Value;

Value Json(const std::string& text) { return *platform::ParseJson(text); }

std::vector<std::string> Ids(const std::vector<BlackItem>& items) {
  std::vector<std::string> ids;
  for (const auto& item : items) ids.push_back(item.blackId);
  return ids;
}

class BlacklistDataManagerTest : public ::testing::Test {
 protected:
  std::string Path() {
    return fake_.environment.DocumentsDirectory() + "/" + BlacklistStore::kFileName;
  }
  platform::FakePlatform fake_;
};

constexpr char kOwn[] = "7";

TEST_F(BlacklistDataManagerTest, MergeSortRemoveAndReopen) {
  BlacklistDataManager manager(Path());
  manager.AddBlacklist(kOwn, Json(R"([
      {"_id": 50, "login_meta": {"screen_name": "Zed"}},
      {"_id": 51, "login_meta": {"screen_name": "王"}, "bindings": [{"provider": "weibo", "identity": 1}]}])"),
                       "1.0");
  manager.AddBlacklist(kOwn, "50", "Adam", std::nullopt, "2.0");  // replaces 50
  manager.AddBlacklist(kOwn, "52", std::nullopt, std::nullopt, "2.0");
  EXPECT_EQ(Ids(manager.BlackArray(kOwn)), (std::vector<std::string>{"52", "50", "51"}));
  EXPECT_EQ(manager.BlackArray(kOwn)[2].pinyinScreenName, "wang");
  EXPECT_EQ(manager.GetBlacklistData(kOwn)->version, "1.0");
  EXPECT_TRUE(manager.IsBlack("51", kOwn));
  EXPECT_FALSE(manager.IsBlack("53", kOwn));
  EXPECT_FALSE(manager.IsBlack("51", "another user"));

  manager.RemoveBlackItem(0, kOwn);
  manager.RemoveBlackItem(9, kOwn);
  manager.RemoveBlackItemById("absent", kOwn);
  EXPECT_EQ(Ids(manager.BlackArray(kOwn)), (std::vector<std::string>{"50", "51"}));

  BlacklistDataManager reopened(Path());
  EXPECT_EQ(*reopened.GetBlacklistData(kOwn), *manager.GetBlacklistData(kOwn));
  reopened.RemoveBlackItemById("50", kOwn);
  EXPECT_EQ(Ids(BlacklistDataManager(Path()).BlackArray(kOwn)), std::vector<std::string>{"51"});
}

TEST_F(BlacklistDataManagerTest, AFullRefreshNeedsAList) {
  BlacklistDataManager manager(Path());
  manager.AddBlacklist(kOwn, "50", "A", "http://a/a.png", "1.0");
  EXPECT_FALSE(manager.ReplaceBlacklist(kOwn, Json(R"({"code": 500})"), "2.0"));
  EXPECT_EQ(Ids(manager.BlackArray(kOwn)), std::vector<std::string>{"50"});
  EXPECT_TRUE(manager.ReplaceBlacklist(kOwn, Json("[]"), "2.0"));
  EXPECT_TRUE(manager.BlackArray(kOwn).empty());
  EXPECT_EQ(BlacklistDataManager(Path()).GetBlacklistData(kOwn)->version, "2.0");
  manager.RemoveBlacklist(kOwn);
  EXPECT_EQ(BlacklistDataManager(Path()).GetBlacklistData(kOwn), nullptr);
}

}  // namespace
}  // namespace contacts
