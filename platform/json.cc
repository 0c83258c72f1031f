#include "platform/json.h"

#include <nlohmann/json.hpp>

namespace platform {
namespace {

using nlohmann::json;

Value FromJson(const json& j) {
  switch (j.type()) {
    case json::value_t::boolean: return Value(j.get<bool>());
    case json::value_t::number_integer: return Value(j.get<int64_t>());
    case json::value_t::number_unsigned: {
      uint64_t u = j.get<uint64_t>();
      if (u > static_cast<uint64_t>(INT64_MAX)) return Value(static_cast<double>(u));
      return Value(static_cast<int64_t>(u));
    }
    case json::value_t::number_float: return Value(j.get<double>());
    case json::value_t::string: return Value(j.get_ref<const std::string&>());
    case json::value_t::array: {
      Value::Array a;
      a.reserve(j.size());
      for (const auto& e : j) a.push_back(FromJson(e));
      return Value(std::move(a));
    }
    case json::value_t::object: {
      Value::Dictionary d;
      for (auto it = j.begin(); it != j.end(); ++it) d.emplace(it.key(), FromJson(it.value()));
      return Value(std::move(d));
    }
    default: return Value();
  }
}

json ToNlohmann(const Value& v) {
  switch (v.type()) {
    case Value::Type::kBool: return v.AsBool();
    case Value::Type::kInteger: return v.AsInt();
    case Value::Type::kReal: return v.AsDouble();
    case Value::Type::kString: return *v.string();
    case Value::Type::kArray: {
      json a = json::array();
      for (const auto& e : *v.array()) a.push_back(ToNlohmann(e));
      return a;
    }
    case Value::Type::kDictionary: {
      json o = json::object();
      for (const auto& [k, e] : *v.dictionary()) o[k] = ToNlohmann(e);
      return o;
    }
    default: return nullptr;
  }
}

}  // namespace

std::optional<Value> ParseJson(std::string_view text, std::string* error) {
  json j = json::parse(text.begin(), text.end(), nullptr, /*allow_exceptions=*/false);
  if (j.is_discarded()) {
    if (error) *error = "malformed JSON";
    return std::nullopt;
  }
  return FromJson(j);
}

std::string ToJson(const Value& value, int indent) {
  return ToNlohmann(value).dump(indent, ' ', /*ensure_ascii=*/false, json::error_handler_t::replace);
}

}  // namespace platform
