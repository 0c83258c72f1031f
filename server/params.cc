#include "server/params.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

#include "platform/utf8.h"
#include "server/http_types.h"

namespace server {

bool IsCleanText(std::string_view text, bool multiline) {
  for (size_t i = 0; i < text.size();) {
    char32_t code_point = 0;
    const size_t length = platform::DecodeUtf8(text.substr(i), &code_point);
    if (length == 0) return false;
    bool control = code_point < 0x20 || code_point == 0x7F;
    if (control && !(multiline && (code_point == '\n' || code_point == '\r' || code_point == '\t'))) {
      return false;
    }
    i += length;
  }
  return true;
}

bool Params::Has(const std::string& name) const { return values_.count(name) > 0; }

const std::string* Params::Single(const std::string& name) const {
  auto [first, last] = values_.equal_range(name);
  if (first == last) return nullptr;
  if (std::next(first) != last) Fail(400, "parameter \"" + name + "\" is given more than once");
  return &first->second;
}

std::optional<std::string> Params::Text(const std::string& name, size_t max_chars,
                                        bool multiline) const {
  const std::string* value = Single(name);
  if (!value) return std::nullopt;
  if (!IsCleanText(*value, multiline)) {
    Fail(400, "parameter \"" + name + "\" must be UTF-8 text without control characters");
  }
  if (platform::CountUtf8Characters(*value) > max_chars) {
    Fail(400, "parameter \"" + name + "\" is longer than " + std::to_string(max_chars) +
                  " characters");
  }
  return *value;
}

std::string Params::RequiredText(const std::string& name, size_t max_chars, bool multiline) const {
  auto value = Text(name, max_chars, multiline);
  if (!value) Fail(400, "parameter \"" + name + "\" is missing");
  return *value;
}

std::optional<int64_t> Params::Int(const std::string& name, int64_t min, int64_t max) const {
  const std::string* value = Single(name);
  if (!value) return std::nullopt;
  int64_t number = 0;
  const char* begin = value->data();
  const char* end = begin + value->size();
  auto [ptr, ec] = std::from_chars(begin, end, number);
  if (value->empty() || ec != std::errc() || ptr != end) {
    Fail(400, "parameter \"" + name + "\" must be an integer");
  }
  if (number < min || number > max) {
    Fail(400, "parameter \"" + name + "\" must be between " + std::to_string(min) + " and " +
                  std::to_string(max));
  }
  return number;
}

int64_t Params::RequiredInt(const std::string& name, int64_t min, int64_t max) const {
  auto value = Int(name, min, max);
  if (!value) Fail(400, "parameter \"" + name + "\" is missing");
  return *value;
}

std::optional<bool> Params::Bool(const std::string& name) const {
  const std::string* value = Single(name);
  if (!value) return std::nullopt;
  if (*value == "1" || *value == "true") return true;
  if (*value == "0" || *value == "false") return false;
  Fail(400, "parameter \"" + name + "\" must be 1 or 0");
}

std::optional<double> Params::Real(const std::string& name, double min, double max) const {
  const std::string* value = Single(name);
  if (!value) return std::nullopt;
  char* end = nullptr;
  double number = value->empty() ? NAN : std::strtod(value->c_str(), &end);
  if (value->empty() || end != value->c_str() + value->size() || !std::isfinite(number)) {
    Fail(400, "parameter \"" + name + "\" must be a number");
  }
  if (number < min || number > max) {
    Fail(400, "parameter \"" + name + "\" is out of range");
  }
  return number;
}

std::optional<std::string> Params::Choice(const std::string& name,
                                          const std::vector<std::string_view>& choices) const {
  const std::string* value = Single(name);
  if (!value) return std::nullopt;
  for (auto choice : choices) {
    if (*value == choice) return *value;
  }
  std::string list;
  for (auto choice : choices) list += (list.empty() ? "\"" : ", \"") + std::string(choice) + "\"";
  Fail(400, "parameter \"" + name + "\" must be one of " + list);
}

std::vector<std::string> Params::Array(const std::string& name, size_t max_count,
                                       size_t max_chars) const {
  std::vector<std::string> items;
  for (const std::string& key : {name + "[]", name}) {
    auto [first, last] = values_.equal_range(key);
    for (auto it = first; it != last; ++it) {
      if (items.size() >= max_count) {
        Fail(400, "parameter \"" + name + "\" has more than " + std::to_string(max_count) +
                      " elements");
      }
      if (!IsCleanText(it->second, false) || platform::CountUtf8Characters(it->second) > max_chars) {
        Fail(400, "an element of \"" + name + "\" is not valid text of at most " +
                      std::to_string(max_chars) + " characters");
      }
      items.push_back(it->second);
    }
  }
  return items;
}

}  // namespace server
