// Checked access to request parameters. Every reader validates type, size and
// range and throws ApiError 400 with a message naming the parameter, so a
// handler reads all of its input before it changes anything.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace server {

// Whether `text` is well-formed UTF-8 without control characters other than
// tab and line ends (allowed only when `multiline`).
bool IsCleanText(std::string_view text, bool multiline);

class Params {
 public:
  explicit Params(const std::multimap<std::string, std::string>& values) : values_(values) {}

  bool Has(const std::string& name) const;

  // Text of at most `max_chars` code points; empty text counts as given.
  std::optional<std::string> Text(const std::string& name, size_t max_chars,
                                  bool multiline = false) const;
  std::string RequiredText(const std::string& name, size_t max_chars,
                           bool multiline = false) const;
  // A decimal integer within [min, max].
  std::optional<int64_t> Int(const std::string& name, int64_t min, int64_t max) const;
  int64_t RequiredInt(const std::string& name, int64_t min, int64_t max) const;
  // "1"/"0" (also "true"/"false").
  std::optional<bool> Bool(const std::string& name) const;
  std::optional<double> Real(const std::string& name, double min, double max) const;
  // One of `choices`.
  std::optional<std::string> Choice(const std::string& name,
                                    const std::vector<std::string_view>& choices) const;
  // The elements sent as name[] (or, leniently, as repeated name), each a
  // clean text of at most `max_chars`; at most `max_count` of them.
  std::vector<std::string> Array(const std::string& name, size_t max_count,
                                 size_t max_chars) const;

 private:
  // The single value of a scalar parameter; a repeated one is refused.
  const std::string* Single(const std::string& name) const;

  const std::multimap<std::string, std::string>& values_;
};

}  // namespace server
