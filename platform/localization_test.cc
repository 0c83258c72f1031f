#include "platform/localization.h"

#include <gtest/gtest.h>

#include <map>

namespace platform {
namespace {

std::map<std::string, std::string> Parse(std::string_view text, bool* ok) {
  std::map<std::string, std::string> out;
  *ok = ParseStringsTable(
      text,
      [](void* c, std::string k, std::string v) {
        (*static_cast<std::map<std::string, std::string>*>(c))[k] = v;
      },
      &out);
  return out;
}

TEST(LocalizationTest, ParsesEntriesCommentsAndEscapes) {
  bool ok = false;
  auto table = Parse("/* c */ \"a\" = \"one\";\n// line\n\"b\"=\"say \\\"hi\\\"\\n\";", &ok);
  EXPECT_TRUE(ok);
  EXPECT_EQ(table["a"], "one");
  EXPECT_EQ(table["b"], "say \"hi\"\n");
  for (const char* bad : {"\"a\" = \"x\"", "\"a\" \"x\";", "\"a\" = x;", "\"unterminated"}) {
    Parse(bad, &ok);
    EXPECT_FALSE(ok) << bad;
  }
}

TEST(LocalizationTest, ShippedTableHasTheEngineTextsAndFallsBack) {
  EXPECT_FALSE(LocalizedString("NetWork_Failure").empty());
  EXPECT_EQ(LocalizedString("No_Such_Key"), "");
  EXPECT_EQ(LocalizedString("No_Such_Key", "fallback"), "fallback");
}

}  // namespace
}  // namespace platform
