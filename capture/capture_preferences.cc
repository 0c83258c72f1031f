#include "capture/capture_preferences.h"

#include "shell/selvo_global_preferences.h"
#include "shell/user_preferences.h"

namespace capture {

std::string CapturePreferences::RootKey(const std::string& user_id) {
  return shell::UserPreferences::RootKeyAppendAppVersion(user_id);
}

bool CapturePreferences::IsFrontCameraPosition(const std::string& user_id) {
  return shell::SelvoGlobalPreferences::IsFrontCameraPosition(user_id);
}

void CapturePreferences::SaveCameraPosition(bool front, const std::string& user_id) {
  shell::SelvoGlobalPreferences::SaveCameraPosition(front, user_id);
}

bool CapturePreferences::SaveVideoToLocationLibraryFlag(const std::string& user_id) {
  return shell::SelvoGlobalPreferences::SaveVideoToLocationLibraryFlag(user_id);
}

void CapturePreferences::SetSaveVideoToLocationLibraryFlag(bool flag, const std::string& user_id) {
  shell::SelvoGlobalPreferences::SetSaveVideoToLocationLibraryFlag(flag, user_id);
}

}  // namespace capture
