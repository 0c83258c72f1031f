// SelvoUtils: the application's toolbox of small class operations: the user
// agent, reachability, input validation, size and time texts, per-user file
// names, video ids from playlist URLs, and the clean-up of finished recordings.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/value.h"
#include "shell/orientation.h"

namespace shell {

// What SelvoUtils asks of the subsystems above it (the streaming engine, the
// combiner, the contact store, the share manager). Each part installs its own
// entry where the executable assembles the application; see each entry for
// what happens while it is missing.
struct SelvoUtilsSeams {
  // The files the engine's queued file tasks still need: for each task its
  // video and audio paths and the video's cached thumbnail. While missing,
  // DeleteUploadFinishedFile deletes nothing.
  std::function<std::vector<std::string>()> queued_task_files;
  // Whether the combiner is joining the recording at `path`. Missing: never.
  std::function<bool(const std::string& path)> is_file_combining;
  // The engine's checks of the sample recordings. Missing: existence suffices.
  std::function<bool(const std::string& audio)> check_audio_sample_file;
  std::function<bool(int frame_rate, const std::string& video, const std::string& audio)>
      check_media_sample_files;
  // The user's guest contacts (dictionaries with "provider", "identity",
  // "screen_name"). Missing: none.
  std::function<platform::Value::Array(const std::string& user_id)> guest_contacts;
  // The share manager's store of a social-network binding (0 Sina Weibo,
  // 1 QZone, 2 Renren). Missing: such bindings are not kept.
  std::function<void(int sns_type, const platform::Value& binding)> store_sns_binding;
};

class SelvoUtils {
 public:
  static void SetSeams(SelvoUtilsSeams seams);
  static const SelvoUtilsSeams& seams();

  // Identity and environment.
  // "<name> <version> (<device model>; <system name> <system version>; <locale>)".
  static std::string DefaultUserAgentString();
  // "<short>" when equal, "<short> rv:<build>" when they differ, whichever exists.
  static std::string UserAgentVersionText(const std::string& short_version,
                                          const std::string& build_version);
  // The machine name with phone families folded; sent as "device".
  static std::string PlatformName();
  static std::string PlatformNameFor(const std::string& machine);
  static bool IsConnectedToNetwork();
  static bool IsConnectedToWiFi();
  // "Not Connect NetWork", "WiFi" or "3G/GPRS"; sent as "network".
  static std::string NetworkName();

  // Validation (lengths count characters, not bytes).
  static bool IsValidPassword(const std::string& password);  // 6 to 24
  static bool IsSamePassword(const std::string& password, const std::string& repeat);
  // Shorter than 50 characters and name@domain.tld with a top-level domain of
  // two letters or more.
  static bool IsValidEmail(const std::string& email);
  // 11 digits beginning with 1.
  static bool IsValidMobliePhoneNumber(const std::string& number);
  // 1 to 10 characters once surrounding white space is trimmed.
  static bool IsValidScreenName(const std::string& name);

  // Files and sizes.
  // The temporary directory, ending with "/".
  static std::string TmpDirectory();
  static std::string SampleVideoFile();
  static std::string SampleAudioFile();
  // A sample file the engine rejects is deleted (both, for the pair).
  static bool HasSampleAudioFile();
  static bool HasSampleVideoAndAudioFile();
  static uint64_t FileSize(const std::string& path);  // 0 when unreadable
  // "999K", "1M", "2G": decimal units, truncating divisions, "%.3g".
  static std::string FileSizeConvertToString(uint64_t bytes);
  static std::string FirstFrameImagePath();
  // Deletes the signed-in user's finished recordings from the temporary
  // directory: files named "<hex user id>_..." that no queued task needs,
  // except ".txt" files and files being combined. Returns how many it deleted.
  static int DeleteUploadFinishedFile();

  // Times ("yyyy-MM-dd HH:mm:ss", local time).
  static std::string YyyyMMddHHmmssLocalTime();
  static std::optional<double> YyyyMMddHHmmssToSecondsSince1970(const std::string& text);
  static bool IsTimeFormatVideoTitle(const std::string& text);

  // Identifiers and texts.
  // Two lower-case hexadecimal digits per UTF-8 byte, at most 255 bytes.
  static std::string HexText(const std::string& text);
  // The next-to-last "/"-separated part of a playlist URL; nullopt with fewer than 3 parts.
  static std::optional<std::string> ParseVideoID(const std::string& url);
  // The publish "orientation": "90" held upright (portrait, face up or down),
  // otherwise "0" with the back camera and "180" with the front one.
  static std::string Orientation(DeviceOrientation orientation, bool back_camera);
  static bool ContainString(const std::vector<std::string>& list, const std::string& text);
  // Stores the bindings and the profile of a login response for `user_id`.
  static void SaveUserBindingsInfo(const platform::Value& bindings, const platform::Value& profile,
                                   const std::string& user_id, const platform::Value& login_meta);
  // The receivers of a private broadcast that are Sina Weibo or Renren guests,
  // as records with "provider", "identity" and "screen_name".
  static void ParsecanShareGuestAcl(const std::vector<std::string>& acl,
                                    platform::Value::Array& weibo, platform::Value::Array& renren);
};

}  // namespace shell
