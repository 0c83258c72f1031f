#include "server/params.h"

#include <gtest/gtest.h>

#include "server/http_types.h"

namespace server {
namespace {

std::string Refusal(const std::function<void()>& read) {
  try {
    read();
  } catch (const ApiError& error) {
    EXPECT_EQ(error.status, 400);
    return error.msg;
  }
  return "";
}

TEST(ParamsTest, ReadsValidValues) {
  std::multimap<std::string, std::string> values = {
      {"vid", "42"},        {"title", "Hello \xE4\xBD\xA0\xE5\xA5\xBD"}, {"public", "1"},
      {"lat", "31.5"},      {"internal[]", "3"},                         {"internal[]", "4"},
      {"sort", "hot"},      {"empty", ""}};
  Params params(values);
  EXPECT_EQ(params.RequiredInt("vid", 1, 100), 42);
  EXPECT_EQ(params.Int("missing", 0, 1), std::nullopt);
  EXPECT_EQ(params.RequiredText("title", 8), "Hello \xE4\xBD\xA0\xE5\xA5\xBD");  // 8 code points
  EXPECT_EQ(params.Bool("public"), true);
  EXPECT_DOUBLE_EQ(*params.Real("lat", -90, 90), 31.5);
  EXPECT_EQ(params.Array("internal", 10, 5), (std::vector<std::string>{"3", "4"}));
  EXPECT_EQ(params.Choice("sort", {"hot", "new"}), "hot");
  EXPECT_EQ(params.Text("empty", 5), "");
}

TEST(ParamsTest, RefusesBadValuesNamingTheParameter) {
  std::multimap<std::string, std::string> values = {
      {"vid", "4x"}, {"big", "101"}, {"twice", "1"},       {"twice", "2"},
      {"long", "abcdef"}, {"ctl", "a\x01"}, {"utf", "\xC3\x28"}, {"flag", "yes"},
      {"nan", "nan"}, {"sort", "old"}, {"list[]", "1"}, {"list[]", "2"}, {"list[]", "3"}};
  Params params(values);
  EXPECT_NE(Refusal([&] { params.RequiredInt("vid", 1, 100); }).find("\"vid\" must be an integer"),
            std::string::npos);
  EXPECT_NE(Refusal([&] { params.RequiredInt("big", 1, 100); }).find("between 1 and 100"),
            std::string::npos);
  EXPECT_NE(Refusal([&] { params.RequiredInt("none", 1, 100); }).find("\"none\" is missing"),
            std::string::npos);
  EXPECT_NE(Refusal([&] { params.Int("twice", 0, 9); }).find("more than once"), std::string::npos);
  EXPECT_NE(Refusal([&] { params.Text("long", 5); }).find("longer than 5"), std::string::npos);
  EXPECT_NE(Refusal([&] { params.Text("ctl", 5); }).find("UTF-8"), std::string::npos);
  EXPECT_NE(Refusal([&] { params.Text("utf", 5); }).find("UTF-8"), std::string::npos);
  EXPECT_NE(Refusal([&] { params.Bool("flag"); }).find("1 or 0"), std::string::npos);
  EXPECT_NE(Refusal([&] { params.Real("nan", 0, 1); }).find("number"), std::string::npos);
  EXPECT_NE(Refusal([&] { params.Choice("sort", {"hot", "new"}); }).find("\"hot\", \"new\""),
            std::string::npos);
  EXPECT_NE(Refusal([&] { params.Array("list", 2, 5); }).find("more than 2"), std::string::npos);
}

TEST(ParamsTest, CleanTextRules) {
  EXPECT_TRUE(IsCleanText("line one\nline two", true));
  EXPECT_FALSE(IsCleanText("line one\nline two", false));
  EXPECT_FALSE(IsCleanText("\xED\xA0\x80", false));  // a UTF-16 surrogate
  EXPECT_FALSE(IsCleanText("\xC0\xAF", false));      // overlong "/"
}

}  // namespace
}  // namespace server
