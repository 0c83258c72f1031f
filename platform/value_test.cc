#include "platform/value.h"

#include <gtest/gtest.h>

namespace platform {
namespace {

TEST(ValueTest, LenientReadersConvertLikeThePlatformNumbers) {
  struct Case {
    Value value;
    int64_t as_int;
    bool as_bool;
    std::string as_string;
  };
  const Case cases[] = {
      {Value(42), 42, true, "42"},
      {Value(-7.9), -7, true, "-7.9000000000000004"},
      {Value(3.0), 3, true, "3"},
      {Value(true), 1, true, "1"},
      {Value("123abc"), 123, true, "123abc"},
      {Value("  -5"), -5, true, "  -5"},
      {Value("no"), 0, false, "no"},
      {Value("yes"), 0, true, "yes"},
      {Value("99999999999999999999"), INT64_MAX, true, "99999999999999999999"},
      {Value(), 0, false, ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.value.AsInt(), c.as_int) << c.value.AsString();
    EXPECT_EQ(c.value.AsBool(), c.as_bool) << c.value.AsString();
    EXPECT_EQ(c.value.AsString(), c.as_string);
  }
}

TEST(ValueTest, MissingKeysAndIndexesReadAsNull) {
  Value d;
  d.Set("a", 1).Set("b", Value::Array{Value("x")});
  EXPECT_TRUE(d["missing"].is_null());
  EXPECT_TRUE(d["a"]["nested"].is_null());
  EXPECT_EQ(d["b"][0].AsString(), "x");
  EXPECT_TRUE(d["b"][5].is_null());
  EXPECT_TRUE(Value(3)[0].is_null());
  EXPECT_EQ(d.size(), 2u);
  d.Erase("a");
  EXPECT_FALSE(d.Contains("a"));
}

TEST(ValueTest, EqualityComparesNumbersByValueAndPointersByIdentity) {
  int x = 0, y = 0;
  EXPECT_EQ(Value(1), Value(1.0));
  EXPECT_NE(Value(1), Value("1"));
  EXPECT_EQ(Value::FromPointer(&x), Value::FromPointer(&x));
  EXPECT_NE(Value::FromPointer(&x), Value::FromPointer(&y));
  EXPECT_EQ(Value::FromPointer(&x).AsPointer(), &x);
  EXPECT_EQ(Value(Value::Array{1, "a"}), Value(Value::Array{1.0, "a"}));
}

}  // namespace
}  // namespace platform
