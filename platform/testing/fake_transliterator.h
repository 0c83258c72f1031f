// FakeTransliterator: the test double of the transliterator. It knows the
// pinyin of a few common family and given names (and any added with Add),
// keeps every other character, and lower-cases ASCII only.
#pragma once

#include <map>
#include <string>

#include "platform/transliterator.h"

namespace platform {

class FakeTransliterator final : public Transliterator {
 public:
  FakeTransliterator();

  std::string MandarinToLatin(std::string_view text) override;
  std::string Lowercase(std::string_view text) override;

  // Teaches the pinyin of one character (UTF-8).
  void Add(std::string character, std::string pinyin);

 private:
  std::map<std::string, std::string, std::less<>> pinyin_;
};

}  // namespace platform
