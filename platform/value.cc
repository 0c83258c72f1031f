#include "platform/value.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace platform {
namespace {

const Value& NullValue() {
  static const Value null;
  return null;
}

// Leading number of a text, as the platform's string readers take it: blanks
// skipped, then an optional sign and digits; trailing text is ignored.
double LeadingNumber(const std::string& s, bool* ok) {
  const char* begin = s.c_str();
  char* end = nullptr;
  errno = 0;
  double d = std::strtod(begin, &end);
  *ok = end != begin && errno != ERANGE && std::isfinite(d);
  return d;
}

}  // namespace

bool Value::AsBool(bool fallback) const {
  switch (type()) {
    case Type::kBool: return std::get<bool>(v_);
    case Type::kInteger: return std::get<int64_t>(v_) != 0;
    case Type::kReal: return std::get<double>(v_) != 0;
    case Type::kString: {
      const auto& s = std::get<std::string>(v_);
      // Blanks, then an optional sign and leading zeros are skipped.
      size_t i = s.find_first_not_of(" \t\n");
      if (i == std::string::npos) return false;
      if (s[i] == '+' || s[i] == '-') ++i;
      while (i < s.size() && s[i] == '0') ++i;
      if (i == s.size()) return false;
      char c = s[i];
      return c == 'Y' || c == 'y' || c == 'T' || c == 't' || (c >= '1' && c <= '9');
    }
    default: return fallback;
  }
}

int64_t Value::AsInt(int64_t fallback) const {
  switch (type()) {
    case Type::kBool: return std::get<bool>(v_) ? 1 : 0;
    case Type::kInteger: return std::get<int64_t>(v_);
    case Type::kReal: {
      double d = std::get<double>(v_);
      if (!std::isfinite(d)) return fallback;
      if (d >= 9.2e18) return std::numeric_limits<int64_t>::max();
      if (d <= -9.2e18) return std::numeric_limits<int64_t>::min();
      return static_cast<int64_t>(d);
    }
    case Type::kString: {
      const auto& s = std::get<std::string>(v_);
      char* end = nullptr;
      errno = 0;
      long long i = std::strtoll(s.c_str(), &end, 10);
      if (end == s.c_str()) return fallback;
      return errno == ERANGE ? (i < 0 ? std::numeric_limits<int64_t>::min()
                                      : std::numeric_limits<int64_t>::max())
                             : i;
    }
    default: return fallback;
  }
}

double Value::AsDouble(double fallback) const {
  switch (type()) {
    case Type::kBool: return std::get<bool>(v_) ? 1 : 0;
    case Type::kInteger: return static_cast<double>(std::get<int64_t>(v_));
    case Type::kReal: return std::get<double>(v_);
    case Type::kString: {
      bool ok = false;
      double d = LeadingNumber(std::get<std::string>(v_), &ok);
      return ok ? d : fallback;
    }
    default: return fallback;
  }
}

std::string Value::AsString(std::string fallback) const {
  switch (type()) {
    case Type::kString: return std::get<std::string>(v_);
    case Type::kBool: return std::get<bool>(v_) ? "1" : "0";
    case Type::kInteger: return std::to_string(std::get<int64_t>(v_));
    case Type::kReal: {
      double d = std::get<double>(v_);
      if (std::isfinite(d) && d == std::floor(d) && std::fabs(d) < 1e15) {
        return std::to_string(static_cast<int64_t>(d));
      }
      char buf[32];
      std::snprintf(buf, sizeof buf, "%.17g", d);
      return buf;
    }
    default: return fallback;
  }
}

void* Value::AsPointer() const {
  const Pointer* p = std::get_if<Pointer>(&v_);
  return p ? p->p : nullptr;
}

const Value& Value::operator[](std::string_view key) const {
  const Dictionary* d = dictionary();
  if (!d) return NullValue();
  auto it = d->find(key);
  return it == d->end() ? NullValue() : it->second;
}

bool Value::Contains(std::string_view key) const {
  const Dictionary* d = dictionary();
  return d && d->find(key) != d->end();
}

const Value& Value::operator[](size_t index) const {
  const Array* a = array();
  return a && index < a->size() ? (*a)[index] : NullValue();
}

size_t Value::size() const {
  if (const Array* a = array()) return a->size();
  if (const Dictionary* d = dictionary()) return d->size();
  return 0;
}

Value& Value::Set(std::string key, Value value) {
  if (!is_dictionary()) v_ = Dictionary{};
  auto& d = std::get<Dictionary>(v_);
  d.insert_or_assign(std::move(key), std::move(value));
  return *this;
}

void Value::Erase(std::string_view key) {
  if (Dictionary* d = dictionary()) {
    auto it = d->find(key);
    if (it != d->end()) d->erase(it);
  }
}

Value& Value::Append(Value value) {
  if (!is_array()) v_ = Array{};
  std::get<Array>(v_).push_back(std::move(value));
  return *this;
}

bool operator==(const Value& a, const Value& b) {
  if (a.is_number() && b.is_number()) {
    if (a.type() == Value::Type::kInteger && b.type() == Value::Type::kInteger) {
      return a.AsInt() == b.AsInt();
    }
    return a.AsDouble() == b.AsDouble();
  }
  return a.v_ == b.v_;
}

}  // namespace platform
