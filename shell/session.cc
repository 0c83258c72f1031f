#include "shell/session.h"

#include "service/account_api_client.h"
#include "shell/account_preferences.h"
#include "shell/login_user_info_preferences.h"
#include "shell/selvo_global_preferences.h"
#include "shell/selvo_utils.h"
#include "shell/user_preferences.h"

namespace shell {

void StoreLogin(const platform::Value& response) {
  SelvoGlobalPreferences::SavePromotion(response["promotion"].AsBool(false));
  LoginUserInfoPreferences::SaveLoginUser(response);
  const std::string user_id = LoginUserInfoPreferences::UserId();
  SelvoUtils::SaveUserBindingsInfo(response["bindings"], response["profile"], user_id,
                                   response["login_meta"]);
  UserPreferences::SaveVersion(UserPreferences::CurrentVersion(), user_id);
}

bool InstallStoredLogin() {
  auto token = LoginUserInfoPreferences::AccessToken();
  if (!token || token->empty()) return false;
  service::SetAccessTokenOnAllClients(token);
  return true;
}

void LogOutLocally() {
  const std::string user_id = LoginUserInfoPreferences::UserId();
  EmailUserInfoPreferences::Keys().RemoveUserInfo(user_id);
  MobileUserInfoPreferences::Keys().RemoveUserInfo(user_id);
  ProfileUserInfoPreferences::RemoveProfile(user_id);
  LoginUserInfoPreferences::RemoveLoginUser();
  SelvoGlobalPreferences::SetNeedUpdateContact(true);
  SelvoGlobalPreferences::SetNeedUpdateBlacklist(true);
  SelvoGlobalPreferences::SetAutoLoginFromCurrentVersion(false);
}

}  // namespace shell
