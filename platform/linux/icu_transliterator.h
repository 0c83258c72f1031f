// Transliterator on ICU: "Han-Latin" then "Latin-ASCII".
#pragma once

#include <memory>
#include <mutex>

#include "platform/transliterator.h"

namespace platform {

class IcuTransliterator final : public Transliterator {
 public:
  IcuTransliterator();
  ~IcuTransliterator() override;

  std::string MandarinToLatin(std::string_view text) override;
  std::string Lowercase(std::string_view text) override;

 private:
  struct Rules;       // ICU's objects, kept out of this header
  std::mutex mutex_;  // an ICU transliterator is not safe to share between threads
  std::unique_ptr<Rules> rules_;
};

}  // namespace platform
