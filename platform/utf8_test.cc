#include "platform/utf8.h"

#include <gtest/gtest.h>

#include <string>

namespace platform {
namespace {

TEST(Utf8Test, AcceptsWellFormedTextOnly) {
  const std::pair<std::string, bool> cases[] = {
      {"", true},
      {"plain ASCII\n", true},
      {"\xC3\xA9", true},                  // U+00E9
      {"\xE4\xBD\xA0\xE5\xA5\xBD", true},  // two CJK characters
      {"\xF0\x9F\x98\x80", true},          // U+1F600
      {"\xF4\x8F\xBF\xBF", true},          // U+10FFFF, the last code point
      {"\xC0\xAF", false},                 // overlong "/"
      {"\xE0\x80\xAF", false},             // overlong "/" in three bytes
      {"\xED\xA0\x80", false},             // a UTF-16 surrogate
      {"\xF4\x90\x80\x80", false},         // beyond U+10FFFF
      {"\xE4\xBD", false},                 // cut short
      {"\x80", false},                     // a lone continuation byte
      {"\xF8\x88\x80\x80\x80", false},     // a five-byte form
      {"a\xC3(", false},                   // a lead byte without its continuation
  };
  for (const auto& [text, valid] : cases) {
    EXPECT_EQ(IsValidUtf8(text), valid) << testing::PrintToString(text);
  }
}

TEST(Utf8Test, DecodesOneSequence) {
  char32_t code_point = 0;
  EXPECT_EQ(DecodeUtf8("\xE4\xBD\xA0rest", &code_point), 3u);
  EXPECT_EQ(code_point, U'\u4F60');
  EXPECT_EQ(DecodeUtf8("A", &code_point), 1u);
  EXPECT_EQ(code_point, U'A');
  EXPECT_EQ(DecodeUtf8("", &code_point), 0u);
}

TEST(Utf8Test, CountsCharacters) {
  EXPECT_EQ(CountUtf8Characters("a\xE4\xBD\xA0"), 2u);
  EXPECT_EQ(CountUtf8Characters(""), 0u);
}

}  // namespace
}  // namespace platform
