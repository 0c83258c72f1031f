#include "platform/file_preference_store.h"

#include <atomic>

#include "platform/environment.h"
#include "platform/file_system.h"
#include "platform/json.h"
#include "platform/log.h"

namespace platform {
namespace {

std::atomic<PreferenceStore*> g_installed{nullptr};

}  // namespace

FilePreferenceStore::FilePreferenceStore(std::string path) : path_(std::move(path)) {
  values_ = Value(Value::Dictionary{});
  FileSystem& fs = DefaultFileSystem();
  auto text = fs.ReadFile(path_);
  if (!text) return;  // no preferences yet
  auto parsed = ParseJson(*text);
  if (parsed && parsed->is_dictionary()) {
    values_ = std::move(*parsed);
    return;
  }
  Logf("Read preferences failed: %s is not a JSON object; kept as %s.corrupt", path_.c_str(),
       path_.c_str());
  fs.Rename(path_, path_ + ".corrupt");
}

Value FilePreferenceStore::Get(std::string_view key) const {
  std::lock_guard lock(mutex_);
  return values_[key];
}

void FilePreferenceStore::Set(std::string key, Value value) {
  std::lock_guard lock(mutex_);
  values_.Set(std::move(key), std::move(value));
}

void FilePreferenceStore::Remove(std::string_view key) {
  std::lock_guard lock(mutex_);
  values_.Erase(key);
}

Value::Dictionary FilePreferenceStore::Snapshot() const {
  std::lock_guard lock(mutex_);
  return *values_.dictionary();
}

bool FilePreferenceStore::Synchronize() {
  // One writer at a time, so that an older snapshot never lands after a newer one.
  std::lock_guard write_lock(write_mutex_);
  std::string text;
  {
    std::lock_guard lock(mutex_);
    text = ToJson(values_, 2);
  }
  text += '\n';
  std::string error;
  if (!DefaultFileSystem().WriteFileAtomically(path_, text, 0600, &error)) {
    Logf("Save preferences failed: %s", error.c_str());
    return false;
  }
  return true;
}

PreferenceStore& StandardPreferences() {
  if (PreferenceStore* p = g_installed.load(std::memory_order_acquire)) return *p;
  static FilePreferenceStore* store = new FilePreferenceStore(DefaultEnvironment().PreferencesPath());
  return *store;
}

void SetStandardPreferences(PreferenceStore* store) {
  g_installed.store(store, std::memory_order_release);
}

}  // namespace platform
