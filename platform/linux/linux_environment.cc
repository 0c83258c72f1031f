#include "platform/linux/linux_environment.h"

#include <sys/stat.h>
#include <sys/utsname.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <random>

namespace platform {
namespace {

std::atomic<Environment*> g_installed{nullptr};

std::string XdgDirectory(const char* variable, const char* home_fallback) {
  const char* value = std::getenv(variable);
  if (value && value[0] == '/') return value;
  const char* home = std::getenv("HOME");
  return std::string(home && *home ? home : "/tmp") + "/" + home_fallback;
}

}  // namespace

bool MakeDirectories(const std::string& path) {
  if (path.empty()) return false;
  for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
    std::string part = path.substr(0, slash);
    if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
    if (slash == std::string::npos) break;
  }
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

LinuxEnvironment::LinuxEnvironment(std::optional<std::string> data_dir) {
  if (data_dir) {
    std::string root = *data_dir;
    while (root.size() > 1 && root.back() == '/') root.pop_back();
    documents_ = root + "/documents";
    temporary_ = root + "/tmp";
    preferences_ = root + "/preferences.json";
  } else {
    documents_ = XdgDirectory("XDG_DATA_HOME", ".local/share") + "/selvo/documents";
    temporary_ = XdgDirectory("XDG_CACHE_HOME", ".cache") + "/selvo/tmp";
    preferences_ = XdgDirectory("XDG_CONFIG_HOME", ".config") + "/selvo/preferences.json";
  }
}

std::string LinuxEnvironment::DocumentsDirectory() {
  MakeDirectories(documents_);
  return documents_;
}

std::string LinuxEnvironment::TemporaryDirectory() {
  MakeDirectories(temporary_);
  return temporary_;
}

std::string LinuxEnvironment::PreferencesPath() {
  MakeDirectories(preferences_.substr(0, preferences_.rfind('/')));
  return preferences_;
}

std::string LinuxEnvironment::ApplicationVersion() { return SELVO_VERSION; }

SystemInfo LinuxEnvironment::System() {
  struct utsname u;
  if (::uname(&u) != 0) return {"Linux", "", ""};
  return {u.sysname, u.release, u.machine};
}

std::string LinuxEnvironment::LocaleIdentifier() {
  // LC_ALL overrides LC_MESSAGES overrides LANG; "en_US.UTF-8@euro" gives "en_US".
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(name);
    if (!value || !*value) continue;
    std::string locale = value;
    locale = locale.substr(0, locale.find_first_of(".@"));
    if (locale == "C" || locale == "POSIX" || locale.empty()) break;
    return locale;
  }
  return "en_US";
}

std::string MakeRandomUuid() {
  thread_local std::mt19937_64 generator{[] {
    std::random_device device;
    std::seed_seq seed{device(), device(), device(), device(), device(), device()};
    return std::mt19937_64(seed);
  }()};
  unsigned char bytes[16];
  for (int i = 0; i < 16; i += 8) {
    uint64_t r = generator();
    for (int j = 0; j < 8; ++j) bytes[i + j] = static_cast<unsigned char>(r >> (8 * j));
  }
  bytes[6] = static_cast<unsigned char>((bytes[6] & 0x0F) | 0x40);  // version 4
  bytes[8] = static_cast<unsigned char>((bytes[8] & 0x3F) | 0x80);  // RFC 4122 variant
  static const char kHex[] = "0123456789ABCDEF";
  std::string text;
  for (int i = 0; i < 16; ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) text += '-';
    text += kHex[bytes[i] >> 4];
    text += kHex[bytes[i] & 15];
  }
  return text;
}

Environment& DefaultEnvironment() {
  if (Environment* e = g_installed.load(std::memory_order_acquire)) return *e;
  static LinuxEnvironment* machine = new LinuxEnvironment();
  return *machine;
}

void SetDefaultEnvironment(Environment* environment) {
  g_installed.store(environment, std::memory_order_release);
}

}  // namespace platform
