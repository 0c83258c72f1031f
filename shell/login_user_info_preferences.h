// LoginUserInfoPreferences: the login record of the signed-in user, kept in the
// standard preference store under "CurrentLoginUserData" as
// { "_id": <user id>, "login_meta": { "token", "screen_name", "avatar_url",
//   "login_provider", "login_identity", "home_url", ... } }.
// Every write is synchronised at once.
#pragma once

#include <optional>
#include <string>

#include "platform/value.h"

namespace shell {

class LoginUserInfoPreferences {
 public:
  // Replaces the record with the "_id" and "login_meta" of a login response
  // (a response without "_id" stores an empty record).
  static void SaveLoginUser(const platform::Value& response);
  // Keeps only the last login identity and provider: the user is signed out.
  static void RemoveLoginUser();

  // The user id as text; "(null)" when there is none.
  static std::string UserId();
  // The access token; nullopt when signed out.
  static std::optional<std::string> AccessToken();
  static std::optional<std::string> ScreenName();
  static std::optional<std::string> AvatarUrl();
  static std::optional<std::string> LoginProvider();
  static std::optional<std::string> LoginIdentity();
  // "home_url", or the service's web site.
  static std::string HomeUrl();

  // Non-empty texts only.
  static void SetScreenName(const std::string& name);
  static void SetAvatarUrl(const std::string& url);

  static constexpr char kKey[] = "CurrentLoginUserData";
  static constexpr char kDefaultHomeUrl[] = "https://selvo.example/";
};

}  // namespace shell
