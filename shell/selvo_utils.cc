#include "shell/selvo_utils.h"

#include <cstdio>
#include <ctime>
#include <mutex>
#include <regex>

#include "platform/environment.h"
#include "platform/file_system.h"
#include "platform/log.h"
#include "platform/reachability.h"
#include "platform/utf8.h"
#include "shell/account_preferences.h"
#include "shell/login_user_info_preferences.h"

namespace shell {
namespace {

using platform::Value;

std::mutex g_seams_mutex;
SelvoUtilsSeams& Seams() {
  static auto* seams = new SelvoUtilsSeams();
  return *seams;
}

bool EndsWith(const std::string& text, const std::string& suffix) {
  return text.size() >= suffix.size() &&
         text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// "/a//b/./c" gives "/a/b/c": the same file named two ways compares equal.
std::string NormalizedPath(const std::string& path) {
  const bool absolute = !path.empty() && path[0] == '/';
  std::string out;
  size_t i = 0;
  while (i <= path.size()) {
    size_t end = path.find('/', i);
    if (end == std::string::npos) end = path.size();
    const std::string part = path.substr(i, end - i);
    if (!part.empty() && part != ".") {
      if (absolute || !out.empty()) out += '/';
      out += part;
    }
    i = end + 1;
  }
  if (out.empty()) return absolute ? "/" : ".";
  return out;
}

// Every file below `dir`, as paths relative to it.
void WalkFiles(const std::string& dir, const std::string& relative, std::vector<std::string>& out) {
  platform::FileSystem& fs = platform::DefaultFileSystem();
  const std::string here = relative.empty() ? dir : dir + "/" + relative;
  for (const std::string& name : fs.ListDirectory(here)) {
    const std::string entry = relative.empty() ? name : relative + "/" + name;
    auto info = fs.Stat(dir + "/" + entry);
    if (!info) continue;
    if (info->is_directory) {
      WalkFiles(dir, entry, out);
    } else {
      out.push_back(entry);
    }
  }
}

bool ReachabilityFlagsSay(std::optional<uint32_t> flags, uint32_t wanted, uint32_t unwanted) {
  if (!flags) {
    platform::Log("Error. Could not recover network reachability flags");
    return false;
  }
  return (*flags & wanted) == wanted && (*flags & unwanted) == 0;
}

}  // namespace

void SelvoUtils::SetSeams(SelvoUtilsSeams seams) {
  std::lock_guard lock(g_seams_mutex);
  Seams() = std::move(seams);
}

const SelvoUtilsSeams& SelvoUtils::seams() { return Seams(); }

std::string SelvoUtils::UserAgentVersionText(const std::string& short_version,
                                             const std::string& build_version) {
  if (short_version.empty()) return build_version;
  if (build_version.empty() || build_version == short_version) return short_version;
  return short_version + " rv:" + build_version;
}

std::string SelvoUtils::DefaultUserAgentString() {
  platform::Environment& env = platform::DefaultEnvironment();
  const platform::SystemInfo system = env.System();
  // The build carries one version, so short and build versions agree.
  const std::string version = env.ApplicationVersion();
  return env.ApplicationName() + " " + UserAgentVersionText(version, version) + " (" +
         system.machine + "; " + system.name + " " + system.version + "; " +
         env.LocaleIdentifier() + ")";
}

std::string SelvoUtils::PlatformNameFor(const std::string& machine) {
  auto starts = [&](const char* prefix) { return machine.rfind(prefix, 0) == 0; };
  if (starts("iPhone")) return "iPhone";
  if (starts("iPad")) return "iPad";
  if (starts("iPod")) return "iPod Touch";
  return machine;
}

std::string SelvoUtils::PlatformName() {
  return PlatformNameFor(platform::DefaultEnvironment().System().machine);
}

bool SelvoUtils::IsConnectedToNetwork() {
  return ReachabilityFlagsSay(platform::DefaultReachability().InternetFlags(),
                              platform::kReachabilityReachable,
                              platform::kReachabilityConnectionRequired);
}

bool SelvoUtils::IsConnectedToWiFi() {
  return ReachabilityFlagsSay(platform::DefaultReachability().LocalWiFiFlags(),
                              platform::kReachabilityReachable | platform::kReachabilityIsDirect,
                              0);
}

std::string SelvoUtils::NetworkName() {
  if (!IsConnectedToNetwork()) return "Not Connect NetWork";
  return IsConnectedToWiFi() ? "WiFi" : "3G/GPRS";
}

bool SelvoUtils::IsValidPassword(const std::string& password) {
  const size_t n = platform::CountUtf8Characters(password);
  return n >= 6 && n <= 24;
}

bool SelvoUtils::IsSamePassword(const std::string& password, const std::string& repeat) {
  return password == repeat;
}

bool SelvoUtils::IsValidEmail(const std::string& email) {
  if (platform::CountUtf8Characters(email) >= 50) return false;
  // Top-level domains are two letters or more (".museum", ".photography").
  static const std::regex pattern("^[A-Z0-9_.%+-]+@[A-Z0-9.-]+\\.[A-Z]{2,}$",
                                  std::regex::icase | std::regex::ECMAScript);
  return std::regex_search(email, pattern);
}

bool SelvoUtils::IsValidMobliePhoneNumber(const std::string& number) {
  static const std::regex pattern("^1\\d{9}\\d$");
  return std::regex_search(number, pattern);
}

bool SelvoUtils::IsValidScreenName(const std::string& name) {
  const char* blank = " \t\n\r\v\f";
  const size_t first = name.find_first_not_of(blank);
  if (first == std::string::npos) return false;
  const size_t last = name.find_last_not_of(blank);
  const size_t n = platform::CountUtf8Characters(name.substr(first, last - first + 1));
  return n >= 1 && n <= 10;
}

std::string SelvoUtils::TmpDirectory() {
  std::string dir = platform::DefaultEnvironment().TemporaryDirectory();
  if (dir.empty() || dir.back() != '/') dir += '/';
  return dir;
}

std::string SelvoUtils::SampleVideoFile() { return TmpDirectory() + "/sample_video.mov"; }
std::string SelvoUtils::SampleAudioFile() { return TmpDirectory() + "/sample_audio.mov"; }

bool SelvoUtils::HasSampleAudioFile() {
  platform::FileSystem& fs = platform::DefaultFileSystem();
  const std::string audio = SampleAudioFile();
  if (!fs.Exists(audio)) return false;
  const auto check = seams().check_audio_sample_file;
  if (check && !check(audio)) {
    fs.RemoveFile(audio);
    return false;
  }
  return true;
}

bool SelvoUtils::HasSampleVideoAndAudioFile() {
  platform::FileSystem& fs = platform::DefaultFileSystem();
  const std::string video = SampleVideoFile();
  const std::string audio = SampleAudioFile();
  const auto check = seams().check_media_sample_files;
  if (fs.Exists(video) && fs.Exists(audio) && (!check || check(10, video, audio))) return true;
  fs.RemoveFile(video);
  fs.RemoveFile(audio);
  return false;
}

uint64_t SelvoUtils::FileSize(const std::string& path) {
  auto info = platform::DefaultFileSystem().Stat(path);
  return info ? info->size : 0;
}

std::string SelvoUtils::FileSizeConvertToString(uint64_t bytes) {
  char text[32];
  if (bytes < 1000000ull) {
    std::snprintf(text, sizeof text, "%.3gK", static_cast<double>(bytes / 1000ull));
  } else if (bytes < 1000000000ull) {
    std::snprintf(text, sizeof text, "%.3gM", static_cast<double>(bytes / 1000000ull));
  } else {
    std::snprintf(text, sizeof text, "%.3gG", static_cast<double>(bytes / 1000000000ull));
  }
  return text;
}

std::string SelvoUtils::FirstFrameImagePath() {
  return TmpDirectory() + "/" + HexText(LoginUserInfoPreferences::UserId()) +
         "_firstFrame_weibo.jpg";
}

int SelvoUtils::DeleteUploadFinishedFile() {
  const SelvoUtilsSeams& s = seams();
  if (!s.queued_task_files) {
    platform::Log("deleteUploadFinishedFile skipped: the task list is not available");
    return 0;
  }
  std::vector<std::string> keep = {NormalizedPath(SampleAudioFile()),
                                   NormalizedPath(SampleVideoFile())};
  for (const std::string& path : s.queued_task_files()) keep.push_back(NormalizedPath(path));
  // The prefix is the user's hex id and its "_": user 1 ("31_") must not take
  // user 12's files ("3132_").
  const std::string prefix = HexText(LoginUserInfoPreferences::UserId()) + "_";
  const std::string tmp = TmpDirectory();
  std::vector<std::string> entries;
  WalkFiles(tmp.substr(0, tmp.size() - 1), "", entries);
  int deleted = 0;
  for (const std::string& entry : entries) {
    if (entry.rfind(prefix, 0) != 0 || EndsWith(entry, ".txt")) continue;
    const std::string full = tmp + "/" + entry;
    if (ContainString(keep, NormalizedPath(full))) continue;
    if (s.is_file_combining && s.is_file_combining(full)) continue;
    if (platform::DefaultFileSystem().RemoveFile(full)) ++deleted;
  }
  return deleted;
}

std::string SelvoUtils::YyyyMMddHHmmssLocalTime() {
  const std::time_t now =
      std::chrono::system_clock::to_time_t(platform::DefaultEnvironment().clock().WallNow());
  std::tm local{};
  ::localtime_r(&now, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
  return text;
}

std::optional<double> SelvoUtils::YyyyMMddHHmmssToSecondsSince1970(const std::string& text) {
  int y, mo, d, h, mi, s;
  char tail;
  if (text.size() != 19 || std::sscanf(text.c_str(), "%4d-%2d-%2d %2d:%2d:%2d%c", &y, &mo, &d, &h,
                                       &mi, &s, &tail) != 6) {
    return std::nullopt;
  }
  for (size_t i : {4u, 7u}) {
    if (text[i] != '-') return std::nullopt;
  }
  if (text[10] != ' ' || text[13] != ':' || text[16] != ':') return std::nullopt;
  if (mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || s > 59 || h < 0 || mi < 0 ||
      s < 0) {
    return std::nullopt;
  }
  std::tm local{};
  local.tm_year = y - 1900;
  local.tm_mon = mo - 1;
  local.tm_mday = d;
  local.tm_hour = h;
  local.tm_min = mi;
  local.tm_sec = s;
  local.tm_isdst = -1;
  const std::time_t t = std::mktime(&local);
  if (t == static_cast<std::time_t>(-1) || local.tm_mday != d) return std::nullopt;  // 31 April
  return static_cast<double>(t);
}

bool SelvoUtils::IsTimeFormatVideoTitle(const std::string& text) {
  return YyyyMMddHHmmssToSecondsSince1970(text).has_value();
}

std::string SelvoUtils::HexText(const std::string& text) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  const size_t n = std::min<size_t>(text.size(), 255);
  for (size_t i = 0; i < n; ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    out += kHex[c >> 4];
    out += kHex[c & 15];
  }
  return out;
}

std::optional<std::string> SelvoUtils::ParseVideoID(const std::string& url) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    const size_t slash = url.find('/', start);
    parts.push_back(url.substr(start, slash - start));
    if (slash == std::string::npos) break;
    start = slash + 1;
  }
  if (parts.size() < 3) return std::nullopt;
  return parts[parts.size() - 2];
}

std::string SelvoUtils::Orientation(DeviceOrientation orientation, bool back_camera) {
  if (orientation == DeviceOrientation::kPortrait || orientation == DeviceOrientation::kFaceUp ||
      orientation == DeviceOrientation::kFaceDown) {
    return "90";
  }
  return back_camera ? "0" : "180";
}

bool SelvoUtils::ContainString(const std::vector<std::string>& list, const std::string& text) {
  for (const std::string& s : list) {
    if (s == text) return true;
  }
  return false;
}

void SelvoUtils::SaveUserBindingsInfo(const Value& bindings, const Value& profile,
                                      const std::string& user_id, const Value& login_meta) {
  if (const Value::Array* list = bindings.array()) {
    for (const Value& binding : *list) {
      const std::string provider = binding["provider"].AsString();
      int sns_type = -1;
      if (provider == "weibo") sns_type = 0;
      if (provider == "qzone") sns_type = 1;
      if (provider == "renren") sns_type = 2;
      if (sns_type >= 0) {
        if (seams().store_sns_binding) seams().store_sns_binding(sns_type, binding);
      } else if (provider == "email") {
        EmailUserInfoPreferences::Keys().SaveUserInfo(binding, user_id);
      } else if (provider == "mobile") {
        MobileUserInfoPreferences::Keys().SaveUserInfo(binding, user_id);
      }
    }
  }
  if (profile.Contains("screen_name") && profile.Contains("avatar_url")) {
    ProfileUserInfoPreferences::SaveProfile(profile, user_id);
    return;
  }
  Value copy = profile.is_dictionary() ? profile : Value(Value::Dictionary{});
  for (const char* key : {"screen_name", "avatar_url"}) {
    if (login_meta.Contains(key)) copy.Set(key, login_meta[key]);
  }
  ProfileUserInfoPreferences::SaveProfile(copy, user_id);
}

void SelvoUtils::ParsecanShareGuestAcl(const std::vector<std::string>& acl, Value::Array& weibo,
                                       Value::Array& renren) {
  if (!seams().guest_contacts) return;
  const Value::Array guests = seams().guest_contacts(LoginUserInfoPreferences::UserId());
  for (const std::string& entry : acl) {
    if (entry.find('#') == std::string::npos) continue;
    for (const Value& guest : guests) {
      const std::string provider = guest["provider"].AsString();
      if (provider + "#" + guest["identity"].AsString() != entry) continue;
      Value record(Value::Dictionary{});
      for (const char* key : {"provider", "identity", "screen_name"}) {
        if (guest.Contains(key)) record.Set(key, guest[key]);
      }
      if (provider == "weibo") weibo.push_back(record);
      if (provider == "renren") renren.push_back(record);
      break;
    }
  }
}

}  // namespace shell
