#include "service/form_encoding.h"

#include <gtest/gtest.h>

namespace service {
namespace {

using platform::Value;

TEST(FormEncodingTest, EscapesExactlyTheReservedCharacters) {
  EXPECT_EQ(EscapeFormValue("a b&c"), "a%20b%26c");
  EXPECT_EQ(
      EscapeFormValue("?!@#$^&%*+=,:;'\"`<>()[]{}/\\|~"),
      "%3F%21%40%23%24%5E%26%25%2A%2B%3D%2C%3A%3B%27%22%60%3C%3E%28%29%5B%5D%7B%7D%2F%5C%7C%7E");
  EXPECT_EQ(EscapeFormValue("AZaz09-._"), "AZaz09-._");
  EXPECT_EQ(EscapeFormValue("\xe4\xba\x91\n\x7f"), "%E4%BA%91%0A%7F");
}

TEST(FormEncodingTest, FlattensArraysDictionariesAndNumbers) {
  Value params;
  params.Set("internal", Value(Value::Array{"12", "7"}));
  params.Set("public", true);
  params.Set("private", false);
  params.Set("vid", "a b&c");
  params.Set("n", 42);
  params.Set("x", 0.5);
  params.Set("none", Value());
  Value profile;
  profile.Set("gender", "F").Set("screen_name", "Li");
  params.Set("p", profile);
  EXPECT_EQ(QueryStringFromParameters(params),
            "internal[]=12&internal[]=7&n=42&p[gender]=F&p[screen_name]=Li&private=0&public=1&"
            "vid=a%20b%26c&x=0.5");
  EXPECT_EQ(QueryStringFromParameters(Value()), "");
  EXPECT_EQ(FloatText(39.9f), "39.9");
  EXPECT_EQ(FloatText(-116.25f), "-116.25");
}

}  // namespace
}  // namespace service
