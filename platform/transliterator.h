// Transliterator: Latin forms of names, so that Chinese and Latin names sort
// into one alphabetical order ("李明" sorts as "li ming").
#pragma once

#include <string>
#include <string_view>

namespace platform {

class Transliterator {
 public:
  virtual ~Transliterator() = default;

  // Chinese characters become pinyin syllables separated by spaces, and every
  // tone mark or other accent is removed ("李明" and "lǐ míng" both give
  // "li ming"). Other characters are kept. UTF-8 in and out.
  virtual std::string MandarinToLatin(std::string_view text) = 0;
  // Lower case by Unicode rules.
  virtual std::string Lowercase(std::string_view text) = 0;
};

// ICU's transliteration unless a test installed another (nullptr restores it).
Transliterator& DefaultTransliterator();
void SetDefaultTransliterator(Transliterator* transliterator);

}  // namespace platform
