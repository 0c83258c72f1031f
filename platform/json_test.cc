#include "platform/json.h"

#include <gtest/gtest.h>

namespace platform {
namespace {

TEST(JsonTest, RoundTripKeepsTypes) {
  auto v = ParseJson(R"({"id":9223372036854775807,"f":1.5,"s":"\u00e9t\u00e9","b":false,"n":null,
                        "a":[1,"x"],"big":18446744073709551615})");
  ASSERT_TRUE(v);
  EXPECT_EQ((*v)["id"].AsInt(), INT64_MAX);
  EXPECT_EQ((*v)["f"].AsDouble(), 1.5);
  EXPECT_EQ((*v)["s"].AsString(), "\xc3\xa9t\xc3\xa9");
  EXPECT_TRUE((*v)["b"].is_bool());
  EXPECT_TRUE((*v)["n"].is_null());
  EXPECT_EQ((*v)["a"].size(), 2u);
  EXPECT_EQ((*v)["big"].type(), Value::Type::kReal);
  auto again = ParseJson(ToJson(*v));
  ASSERT_TRUE(again);
  EXPECT_EQ(*again, *v);
}

TEST(JsonTest, MalformedTextIsAnErrorNotACrash) {
  for (const char* text : {"", "{", "{\"a\":}", "[1,2", "nul", "\"\\x\""}) {
    std::string error;
    EXPECT_FALSE(ParseJson(text, &error)) << text;
    EXPECT_FALSE(error.empty());
  }
}

TEST(JsonTest, PointersAreWrittenAsNull) {
  int x = 0;
  Value v;
  v.Set("p", Value::FromPointer(&x));
  EXPECT_EQ(ToJson(v), R"({"p":null})");
}

}  // namespace
}  // namespace platform
