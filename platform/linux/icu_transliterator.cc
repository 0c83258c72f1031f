#include "platform/linux/icu_transliterator.h"

#include <unicode/locid.h>
#include <unicode/translit.h>
#include <unicode/unistr.h>

#include <atomic>

#include "platform/log.h"

namespace platform {
namespace {

std::atomic<Transliterator*> g_installed{nullptr};

std::string ToUtf8(const icu::UnicodeString& text) {
  std::string out;
  text.toUTF8String(out);
  return out;
}

icu::UnicodeString FromUtf8(std::string_view text) {
  return icu::UnicodeString::fromUTF8(
      icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
}

}  // namespace

struct IcuTransliterator::Rules {
  std::unique_ptr<icu::Transliterator> to_latin;  // null when ICU lacks the rules
};

IcuTransliterator::IcuTransliterator() : rules_(std::make_unique<Rules>()) {
  UErrorCode status = U_ZERO_ERROR;
  // Han-Latin writes pinyin with tone marks; Latin-ASCII removes them.
  rules_->to_latin.reset(
      icu::Transliterator::createInstance("Han-Latin; Latin-ASCII", UTRANS_FORWARD, status));
  if (U_FAILURE(status)) {
    Logf("Create transliterator failed: %s", u_errorName(status));
    rules_->to_latin.reset();
  }
}

IcuTransliterator::~IcuTransliterator() = default;

std::string IcuTransliterator::MandarinToLatin(std::string_view text) {
  icu::UnicodeString unicode = FromUtf8(text);
  {
    std::lock_guard lock(mutex_);
    if (!rules_->to_latin) return std::string(text);
    rules_->to_latin->transliterate(unicode);
  }
  return ToUtf8(unicode);
}

std::string IcuTransliterator::Lowercase(std::string_view text) {
  icu::UnicodeString unicode = FromUtf8(text);
  unicode.toLower(icu::Locale::getRoot());
  return ToUtf8(unicode);
}

Transliterator& DefaultTransliterator() {
  if (Transliterator* t = g_installed.load(std::memory_order_acquire)) return *t;
  static IcuTransliterator* icu = new IcuTransliterator();
  return *icu;
}

void SetDefaultTransliterator(Transliterator* transliterator) {
  g_installed.store(transliterator, std::memory_order_release);
}

}  // namespace platform
