// MemoryPreferenceStore: the user defaults in memory, counting synchronisations.
#pragma once

#include <mutex>

#include "platform/preferences.h"

namespace platform {

class MemoryPreferenceStore final : public PreferenceStore {
 public:
  Value Get(std::string_view key) const override {
    std::lock_guard lock(mutex_);
    return values_[key];
  }
  void Set(std::string key, Value value) override {
    std::lock_guard lock(mutex_);
    values_.Set(std::move(key), std::move(value));
  }
  void Remove(std::string_view key) override {
    std::lock_guard lock(mutex_);
    values_.Erase(key);
  }
  Value::Dictionary Snapshot() const override {
    std::lock_guard lock(mutex_);
    return values_.dictionary() ? *values_.dictionary() : Value::Dictionary{};
  }
  bool Synchronize() override {
    std::lock_guard lock(mutex_);
    ++synchronizations;
    return true;
  }

  int synchronizations = 0;

 private:
  mutable std::mutex mutex_;
  Value values_{Value::Dictionary{}};
};

}  // namespace platform
