#include "platform/linux/icu_transliterator.h"

#include <gtest/gtest.h>

#include "platform/testing/fake_transliterator.h"

namespace platform {
namespace {

TEST(IcuTransliteratorTest, LatinFormsWithoutToneMarks) {
  IcuTransliterator icu;
  struct Case {
    const char* text;
    const char* latin;
  };
  for (Case c : {Case{"李明", "li ming"}, Case{"张三", "zhang san"}, Case{"lǐ míng", "li ming"},
                 Case{"Zoë O'Brien", "Zoe O'Brien"}, Case{"Anna", "Anna"}, Case{"", ""},
                 Case{"Иван", "Иван"}}) {
    EXPECT_EQ(icu.MandarinToLatin(c.text), c.latin) << c.text;
  }
  EXPECT_EQ(icu.Lowercase("Zhang SAN Иван"), "zhang san иван");
}

TEST(FakeTransliteratorTest, KnownCharactersOnly) {
  FakeTransliterator fake;
  EXPECT_EQ(fake.MandarinToLatin("李明x"), "li mingx");
  EXPECT_EQ(fake.MandarinToLatin("鑫"), "鑫");
  fake.Add("鑫", "xin");
  EXPECT_EQ(fake.MandarinToLatin("王鑫"), "wang xin");
  EXPECT_EQ(fake.Lowercase("Wang"), "wang");
}

TEST(TransliteratorTest, DefaultIsReplaceable) {
  FakeTransliterator fake;
  fake.Add("李", "lee");
  SetDefaultTransliterator(&fake);
  EXPECT_EQ(DefaultTransliterator().MandarinToLatin("李"), "lee");
  SetDefaultTransliterator(nullptr);
  EXPECT_EQ(DefaultTransliterator().MandarinToLatin("李"), "li");
}

}  // namespace
}  // namespace platform
