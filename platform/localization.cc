#include "platform/localization.h"

#include <map>

#include "platform/localization_table.h"

namespace platform {
namespace {

// Reads one quoted string at `i` (just past the opening quote is `i + 1`).
bool ReadQuoted(std::string_view text, size_t& i, std::string& out) {
  if (i >= text.size() || text[i] != '"') return false;
  for (++i; i < text.size(); ++i) {
    char c = text[i];
    if (c == '"') {
      ++i;
      return true;
    }
    if (c == '\\' && i + 1 < text.size()) {
      char next = text[++i];
      out += next == 'n' ? '\n' : next;
    } else {
      out += c;
    }
  }
  return false;
}

void SkipBlanksAndComments(std::string_view text, size_t& i) {
  while (i < text.size()) {
    if (text[i] == ' ' || text[i] == '\t' || text[i] == '\n' || text[i] == '\r') {
      ++i;
    } else if (text.compare(i, 2, "/*") == 0) {
      size_t end = text.find("*/", i + 2);
      i = end == std::string_view::npos ? text.size() : end + 2;
    } else if (text.compare(i, 2, "//") == 0) {
      size_t end = text.find('\n', i);
      i = end == std::string_view::npos ? text.size() : end + 1;
    } else {
      return;
    }
  }
}

const std::map<std::string, std::string, std::less<>>& Table() {
  static const auto* table = [] {
    auto* t = new std::map<std::string, std::string, std::less<>>();
    ParseStringsTable(
        kLocalizableStrings,
        [](void* context, std::string key, std::string value) {
          static_cast<std::map<std::string, std::string, std::less<>>*>(context)->insert_or_assign(
              std::move(key), std::move(value));
        },
        t);
    return t;
  }();
  return *table;
}

}  // namespace

bool ParseStringsTable(std::string_view text,
                       void (*add)(void* context, std::string key, std::string value),
                       void* context) {
  size_t i = 0;
  for (;;) {
    SkipBlanksAndComments(text, i);
    if (i >= text.size()) return true;
    std::string key, value;
    if (!ReadQuoted(text, i, key)) return false;
    SkipBlanksAndComments(text, i);
    if (i >= text.size() || text[i++] != '=') return false;
    SkipBlanksAndComments(text, i);
    if (!ReadQuoted(text, i, value)) return false;
    SkipBlanksAndComments(text, i);
    if (i >= text.size() || text[i++] != ';') return false;
    add(context, std::move(key), std::move(value));
  }
}

std::string LocalizedString(std::string_view key, std::string_view fallback) {
  const auto& table = Table();
  auto it = table.find(key);
  return it == table.end() ? std::string(fallback) : it->second;
}

}  // namespace platform
