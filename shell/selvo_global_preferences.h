// SelvoGlobalPreferences: device-wide settings in the standard preference store.
// Every write is synchronised at once.
#pragma once

#include <optional>
#include <string>

namespace shell {

class SelvoGlobalPreferences {
 public:
  // "ApnTokenValue": the push device token in hexadecimal.
  static void SetApnToken(const std::string& token);
  static std::optional<std::string> ApnToken();

  // "NeedUpdateContact" / "NeedUpdateBlacklist": re-fetch once per launch and logout.
  static void SetNeedUpdateContact(bool need);
  static bool NeedUpdateContact();
  static void SetNeedUpdateBlacklist(bool need);
  static bool NeedUpdateBlacklist();
};

}  // namespace shell
