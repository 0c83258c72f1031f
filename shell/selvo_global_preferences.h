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

  // "TimelineListCount": the service's page size for timelines, 50 until it
  // says otherwise. "ContactListMaxCount": the most contacts a user may have,
  // 150 until the service says otherwise. Values below 1 are not stored.
  static void SetTimelineListCount(int count);
  static int TimelineListCount();
  static void SetContactListMaxCount(int count);
  static int ContactListMaxCount();
};

}  // namespace shell
