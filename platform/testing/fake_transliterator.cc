#include "platform/testing/fake_transliterator.h"

#include <cctype>

namespace platform {
namespace {

// Length of the UTF-8 sequence that starts with `lead`.
size_t SequenceLength(unsigned char lead) {
  if (lead < 0x80) return 1;
  if ((lead >> 5) == 0x6) return 2;
  if ((lead >> 4) == 0xE) return 3;
  if ((lead >> 3) == 0x1E) return 4;
  return 1;
}

}  // namespace

FakeTransliterator::FakeTransliterator() {
  for (auto& [character, pinyin] : std::map<std::string, std::string>{{"李", "li"},
                                                                      {"明", "ming"},
                                                                      {"王", "wang"},
                                                                      {"张", "zhang"},
                                                                      {"三", "san"},
                                                                      {"刘", "liu"},
                                                                      {"陈", "chen"},
                                                                      {"阿", "a"},
                                                                      {"伟", "wei"},
                                                                      {"芳", "fang"}}) {
    Add(character, pinyin);
  }
}

void FakeTransliterator::Add(std::string character, std::string pinyin) {
  pinyin_[std::move(character)] = std::move(pinyin);
}

std::string FakeTransliterator::MandarinToLatin(std::string_view text) {
  std::string out;
  bool last_was_pinyin = false;
  for (size_t i = 0; i < text.size();) {
    size_t n = std::min(SequenceLength(static_cast<unsigned char>(text[i])), text.size() - i);
    std::string_view character = text.substr(i, n);
    auto it = pinyin_.find(character);
    if (it != pinyin_.end()) {
      if (last_was_pinyin) out += ' ';
      out += it->second;
      last_was_pinyin = true;
    } else {
      out += character;
      last_was_pinyin = false;
    }
    i += n;
  }
  return out;
}

std::string FakeTransliterator::Lowercase(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

}  // namespace platform
