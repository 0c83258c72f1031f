#include "app/args.h"

#include <charconv>

namespace app {

ArgParser& ArgParser::Value(std::string name) {
  value_options_.insert(std::move(name));
  return *this;
}

ArgParser& ArgParser::Flag(std::string name) {
  flag_options_.insert(std::move(name));
  return *this;
}

bool ArgParser::Parse(const std::vector<std::string>& args) {
  bool options_done = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& word = args[i];
    if (options_done || word.size() < 3 || word.compare(0, 2, "--") != 0) {
      if (word == "--") {
        options_done = true;
        continue;
      }
      positional_.push_back(word);
      continue;
    }
    std::string name = word.substr(2);
    std::optional<std::string> inline_value;
    if (auto eq = name.find('='); eq != std::string::npos) {
      inline_value = name.substr(eq + 1);
      name.resize(eq);
    }
    if (flag_options_.count(name)) {
      if (inline_value) {
        error_ = "option --" + name + " takes no value";
        return false;
      }
      values_[name] = "";
    } else if (value_options_.count(name)) {
      if (inline_value) {
        values_[name] = *inline_value;
      } else if (i + 1 < args.size()) {
        values_[name] = args[++i];
      } else {
        error_ = "option --" + name + " needs a value";
        return false;
      }
    } else {
      error_ = "unknown option --" + name;
      return false;
    }
  }
  return true;
}

bool ArgParser::Has(std::string_view name) const { return values_.find(name) != values_.end(); }

std::optional<std::string> ArgParser::Get(std::string_view name) const {
  auto it = values_.find(name);
  if (it == values_.end()) return std::nullopt;
  return it->second;
}

std::string ArgParser::GetOr(std::string_view name, std::string fallback) const {
  auto value = Get(name);
  return value ? *value : std::move(fallback);
}

std::optional<long long> ParseInteger(std::string_view text, long long min, long long max) {
  long long value = 0;
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (text.empty() || ec != std::errc() || ptr != end || value < min || value > max)
    return std::nullopt;
  return value;
}

std::vector<std::string> SplitList(const std::string& text) {
  std::vector<std::string> items;
  size_t start = 0;
  for (;;) {
    const size_t comma = text.find(',', start);
    std::string item = text.substr(start, comma - start);
    const size_t first = item.find_first_not_of(' ');
    const size_t last = item.find_last_not_of(' ');
    if (first != std::string::npos) items.push_back(item.substr(first, last - first + 1));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return items;
}

}  // namespace app
