// Value: a small dynamically typed value (null, boolean, integer, real, text,
// opaque pointer, array, dictionary). Notification objects and user-info
// dictionaries, event dictionaries and preferences are built from it.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace platform {

class Value {
 public:
  enum class Type { kNull, kBool, kInteger, kReal, kString, kPointer, kArray, kDictionary };
  using Array = std::vector<Value>;
  using Dictionary = std::map<std::string, Value, std::less<>>;

  Value() = default;
  Value(std::nullptr_t) {}
  Value(bool b) : v_(b) {}
  Value(int i) : v_(static_cast<int64_t>(i)) {}
  Value(unsigned i) : v_(static_cast<int64_t>(i)) {}
  Value(long i) : v_(static_cast<int64_t>(i)) {}
  Value(long long i) : v_(static_cast<int64_t>(i)) {}
  Value(unsigned long i) : v_(static_cast<int64_t>(i)) {}
  Value(unsigned long long i) : v_(static_cast<int64_t>(i)) {}
  Value(double d) : v_(d) {}
  Value(float f) : v_(static_cast<double>(f)) {}
  Value(const char* s) : v_(std::string(s)) {}
  Value(const void*) = delete;  // use FromPointer
  Value(std::string s) : v_(std::move(s)) {}
  Value(std::string_view s) : v_(std::string(s)) {}
  Value(Array a) : v_(std::move(a)) {}
  Value(Dictionary d) : v_(std::move(d)) {}
  // Pointers must be wrapped explicitly so that a stray pointer never becomes a boolean.
  static Value FromPointer(const void* p) {
    Value v;
    v.v_ = Pointer{const_cast<void*>(p)};
    return v;
  }

  Type type() const { return static_cast<Type>(v_.index()); }
  bool is_null() const { return type() == Type::kNull; }
  bool is_bool() const { return type() == Type::kBool; }
  bool is_number() const { return type() == Type::kInteger || type() == Type::kReal; }
  bool is_string() const { return type() == Type::kString; }
  bool is_pointer() const { return type() == Type::kPointer; }
  bool is_array() const { return type() == Type::kArray; }
  bool is_dictionary() const { return type() == Type::kDictionary; }

  // Lenient readers in the manner of the platform's number and string objects:
  // numbers, booleans and numeric text all convert; anything else gives `fallback`.
  bool AsBool(bool fallback = false) const;
  int64_t AsInt(int64_t fallback = 0) const;
  double AsDouble(double fallback = 0) const;
  // Text as is; numbers and booleans in their decimal form; anything else `fallback`.
  std::string AsString(std::string fallback = {}) const;
  void* AsPointer() const;

  // Direct access; null when the value has another type.
  const std::string* string() const { return std::get_if<std::string>(&v_); }
  const Array* array() const { return std::get_if<Array>(&v_); }
  Array* array() { return std::get_if<Array>(&v_); }
  const Dictionary* dictionary() const { return std::get_if<Dictionary>(&v_); }
  Dictionary* dictionary() { return std::get_if<Dictionary>(&v_); }

  // Dictionary lookup: a null value when absent or when this is not a dictionary.
  const Value& operator[](std::string_view key) const;
  bool Contains(std::string_view key) const;
  // Array element: a null value when out of range or when this is not an array.
  const Value& operator[](size_t index) const;
  // Number of array elements or dictionary entries; 0 for anything else.
  size_t size() const;

  // Mutators; each turns a null value into the needed container first.
  Value& Set(std::string key, Value value);
  void Erase(std::string_view key);
  Value& Append(Value value);

  // Numbers compare by value (1 == 1.0); everything else by type and content.
  friend bool operator==(const Value& a, const Value& b);

 private:
  struct Pointer {
    void* p;
    bool operator==(const Pointer&) const = default;
  };
  std::variant<std::monostate, bool, int64_t, double, std::string, Pointer, Array, Dictionary> v_;
};

}  // namespace platform
