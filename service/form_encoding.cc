#include "service/form_encoding.h"

#include <charconv>
#include <cstring>
#include <vector>

namespace service {
namespace {

using platform::Value;

bool MustEscape(unsigned char c) {
  if (c <= 0x20 || c >= 0x7f) return true;
  return std::strchr("?!@#$^&%*+=,:;'\"`<>()[]{}/\\|~", c) != nullptr;
}

void Flatten(const std::string& key, const Value& value,
             std::vector<std::pair<std::string, std::string>>& out) {
  switch (value.type()) {
    case Value::Type::kNull:
    case Value::Type::kPointer:
      return;
    case Value::Type::kArray:
      for (const Value& element : *value.array()) Flatten(key + "[]", element, out);
      return;
    case Value::Type::kDictionary:
      for (const auto& [entry, element] : *value.dictionary()) {
        Flatten(key + "[" + entry + "]", element, out);
      }
      return;
    default:
      out.emplace_back(key, FormText(value));
  }
}

}  // namespace

std::string EscapeFormValue(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (MustEscape(c)) {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      out += ch;
    }
  }
  return out;
}

std::string FormText(const Value& value) {
  if (value.is_bool()) return value.AsBool() ? "1" : "0";
  if (value.type() == Value::Type::kReal) {
    char buffer[32];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value.AsDouble());
    return std::string(buffer, result.ptr);
  }
  return value.AsString();
}

std::string FloatText(float value) {
  char buffer[32];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

std::string QueryStringFromParameters(const Value& parameters) {
  std::vector<std::pair<std::string, std::string>> components;
  if (const Value::Dictionary* dict = parameters.dictionary()) {
    for (const auto& [key, value] : *dict) Flatten(key, value, components);
  }
  std::string query;
  for (const auto& [key, value] : components) {
    if (!query.empty()) query += '&';
    query += key;
    query += '=';
    query += EscapeFormValue(value);
  }
  return query;
}

}  // namespace service
