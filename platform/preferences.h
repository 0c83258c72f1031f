// PreferenceStore: the user defaults, a dictionary of values kept across runs.
// Changes live in memory until Synchronize writes them out in one atomic step.
#pragma once

#include <string>
#include <string_view>

#include "platform/value.h"

namespace platform {

class PreferenceStore {
 public:
  virtual ~PreferenceStore() = default;

  // The stored value, or null when absent.
  virtual Value Get(std::string_view key) const = 0;
  virtual void Set(std::string key, Value value) = 0;
  virtual void Remove(std::string_view key) = 0;
  // Every entry, for code that walks the stored keys.
  virtual Value::Dictionary Snapshot() const = 0;
  // Writes the store to disk so that a crash leaves the old or the new version;
  // false when the write failed (the values stay in memory).
  virtual bool Synchronize() = 0;
};

// The standard store: a JSON file at DefaultEnvironment().PreferencesPath()
// unless another was installed (nullptr restores the file store).
PreferenceStore& StandardPreferences();
void SetStandardPreferences(PreferenceStore* store);

}  // namespace platform
