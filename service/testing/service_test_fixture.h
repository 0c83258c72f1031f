// A fixture for the clients' unit tests: every platform double, a fake client
// environment, fresh shared clients, and helpers to read and answer requests.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "platform/json.h"
#include "platform/testing/fake_platform.h"
#include "service/testing/fake_client_environment.h"

namespace service {

class ServiceTest : public ::testing::Test {
 protected:
  using Fields = std::vector<std::pair<std::string, std::string>>;

  // The decoded parameters of request `i`: its query, or its form body.
  Fields FieldsOf(size_t i) const {
    const platform::HttpRequest& r = fake_.http.request(i);
    return platform::DecodeForm(r.method == "POST" ? r.body : platform::QueryOf(r.url));
  }
  // The value of one parameter ("" when absent) and whether it is there.
  std::string Field(size_t i, const std::string& name) const {
    for (const auto& [key, value] : FieldsOf(i)) {
      if (key == name) return value;
    }
    return "";
  }
  bool HasField(size_t i, const std::string& name) const {
    for (const auto& [key, value] : FieldsOf(i)) {
      if (key == name) return true;
    }
    return false;
  }
  std::vector<std::string> FieldNames(size_t i) const {
    std::vector<std::string> names;
    for (const auto& [key, value] : FieldsOf(i)) names.push_back(key);
    return names;
  }
  // Method and URL without the query, e.g. "GET https://api.selvo.test/api/user".
  std::string Line(size_t i) const {
    const platform::HttpRequest& r = fake_.http.request(i);
    return r.method + " " + platform::PathOf(r.url);
  }
  // Answers request `i` and runs the main queue.
  void Answer(size_t i, int status, const std::string& json) {
    ASSERT_TRUE(fake_.http.Respond(i, platform::JsonResponse(status, json)));
    fake_.dispatcher.RunUntilIdle();
  }
  void Fail(size_t i) {
    ASSERT_TRUE(fake_.http.Respond(i, platform::NoResponse()));
    fake_.dispatcher.RunUntilIdle();
  }
  static platform::Value Json(const std::string& text) { return *platform::ParseJson(text); }

  platform::FakePlatform fake_;
  FakeClientEnvironment env_;
  static constexpr char kBase[] = "https://api.selvo.test";
};

}  // namespace service
