// SelvoGlobalPreferences: device-wide settings and service-supplied limits at
// the top level of the standard preference store, and the user's general
// settings in the "GlobalPreference" group of the per-user root. Every write
// is synchronised at once.
#pragma once

#include <optional>
#include <string>

#include "platform/value.h"

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

  // "AutoLoginFromCurrentVersion": the login was restored at launch.
  static void SetAutoLoginFromCurrentVersion(bool yes);
  static bool AutoLoginFromCurrentVersion();

  // "CanReceiveRemoteMessage" (stored as the boolean plus 1): YES until set.
  static void SetReceiveRemoteMessage(bool yes);
  static bool CanReceiveRemoteMessage();

  // "NeedShowPromotionContact" (the boolean plus 1): offer the contact import.
  static void SavePromotion(bool yes);
  static bool IsPromotion();

  // "TimelineListCount": the service's page size for timelines, 50 until it
  // says otherwise. "ContactListMaxCount": the most contacts a user may have,
  // 150 until the service says otherwise. Values below 1 are not stored.
  static void SetTimelineListCount(int count);
  static int TimelineListCount();
  static void SetContactListMaxCount(int count);
  static int ContactListMaxCount();

  // "AudioCommentFirstKey": the comment bar opens in voice mode.
  static void SetAudioCommentFirst(bool yes);
  static bool IsAudioCommentFirst();

  // "WebAppSrandUUID": the installation id, made on first use and kept.
  static std::string SrandUUID();

  // A social network's authorisation and user information while a binding is
  // refreshed ("TmpLoginSNSAccessToken", "TmpLoginSNSUserInfo"); null removes.
  static void SaveSNSAccessToken(const platform::Value& token);
  static platform::Value SNSAccessToken();
  static void SaveSNSUserInfo(const platform::Value& info);
  static platform::Value SNSUserInfo();
  // "SNSHeadUrlForUserGalleryWebView"; nullopt removes it.
  static void SaveSNSHeadUrl(const std::optional<std::string>& url);
  static std::optional<std::string> SNSHeadUrl();

  // Per-user, in the "GlobalPreference" group.
  static bool IsShowSelectPublishVideoType(const std::string& user_id);
  static void SaveShowSelectPublishVideoType(bool yes, const std::string& user_id);
  static bool IsShowPublishAlertView(const std::string& user_id);
  static void SaveShowPublishAlertView(bool yes, const std::string& user_id);
  static bool IsTivoraFirstTimeShow(const std::string& user_id);  // YES until saved
  static void SaveTivoraFirstTimeShow(bool yes, const std::string& user_id);
  static std::optional<int64_t> MyVideoCount(const std::string& user_id);
  static void SaveMyVideoCount(int64_t count, const std::string& user_id);
  static bool IsFrontCameraPosition(const std::string& user_id);
  static void SaveCameraPosition(bool front, const std::string& user_id);
  static bool IsSelectConactFromAdddressBook(const std::string& user_id);
  static void SaveSelectContactFromAddressBook(bool yes, const std::string& user_id);
  static bool SaveVideoToLocationLibraryFlag(const std::string& user_id);
  static void SetSaveVideoToLocationLibraryFlag(bool yes, const std::string& user_id);
};

}  // namespace shell
