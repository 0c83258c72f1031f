// The signed-in user's capture settings in the preference store: under the
// per-user root key (user id, "_version_", application version), group
// "GlobalPreference":
//   "FrontCameraPositionKey"             integer, the boolean plus 1; absent = back camera
//   "AllowSaveVideoToLocationLibraryKey" boolean; absent = NO
// Every write is synchronised at once. The shell's preferences keep these
// settings (shell::SelvoGlobalPreferences); this class is the recorder's view.
#pragma once

#include <string>

namespace capture {

class CapturePreferences {
 public:
  static bool IsFrontCameraPosition(const std::string& user_id);
  static void SaveCameraPosition(bool front, const std::string& user_id);
  static bool SaveVideoToLocationLibraryFlag(const std::string& user_id);
  static void SetSaveVideoToLocationLibraryFlag(bool flag, const std::string& user_id);

  static std::string RootKey(const std::string& user_id);
  static constexpr char kGroup[] = "GlobalPreference";
  static constexpr char kFrontCameraPositionKey[] = "FrontCameraPositionKey";
  static constexpr char kSaveToLibraryKey[] = "AllowSaveVideoToLocationLibraryKey";
};

}  // namespace capture
