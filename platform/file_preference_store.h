// The preference store as a JSON file (mode 0600). A file that cannot be parsed
// is kept aside as "<path>.corrupt" and the store starts empty.
#pragma once

#include <mutex>
#include <string>

#include "platform/preferences.h"

namespace platform {

class FilePreferenceStore final : public PreferenceStore {
 public:
  explicit FilePreferenceStore(std::string path);

  Value Get(std::string_view key) const override;
  void Set(std::string key, Value value) override;
  void Remove(std::string_view key) override;
  Value::Dictionary Snapshot() const override;
  bool Synchronize() override;

  const std::string& path() const { return path_; }

 private:
  const std::string path_;
  mutable std::mutex mutex_;
  std::mutex write_mutex_;
  Value values_;
};

}  // namespace platform
