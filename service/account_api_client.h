// AccountAPIClient: accounts, sessions and users: login, registration,
// reactivation and password reset by e-mail or mobile number, login through a
// social network, identity bindings, logout, profile and avatar, contacts,
// blacklist, search, recommendations, address-book matching and invitations.
//
// Every operation calls `success` or `failure` on the main queue; `failure`
// gets the error JSON ("code", "msg") or null. Operations marked "reports"
// first raise the invalid-token alert for a 401 (APIErrorReport).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "service/service_http_client.h"

namespace service {

class AccountAPIClient final : public ServiceHTTPClient {
 public:
  using Success = ServiceHTTPClient::Success;
  using Failure = ServiceHTTPClient::Failure;
  // A login, registration or social-network login: the response and its access
  // token (nullopt when the response has none: a mobile account not activated yet).
  using LoginSuccess =
      std::function<void(const platform::Value& response, const std::optional<std::string>& token)>;

  explicit AccountAPIClient(std::string base_url);

  static AccountAPIClient& SharedClient();

  // Instance operations on the shared client.
  void SetAuthorizationHeaderWithToken(std::optional<std::string> token);
  void SetUserAgent();

  // MD5 of "identity$provider$application id$application secret", in hex.
  static std::string GetSignature(const std::string& identity, const std::string& provider);
  // MD5 of the text's UTF-8 bytes as 32 lower-case hexadecimal digits.
  static std::string Md5HexDigest(const std::string& text);

  // Login and account. On success the token goes onto all four clients and the
  // invalid-token alert is re-armed before `success` runs.
  static void EmailMobileLogin(const std::string& provider, const std::string& signature,
                               const std::string& identity, const std::string& password,
                               LoginSuccess success, Failure failure);
  static void EmailMobileRegister(const std::string& provider, const std::string& signature,
                                  const std::string& identity, const std::string& password,
                                  const std::string& screen_name, LoginSuccess success,
                                  Failure failure);
  struct SnsCredentials {
    std::optional<std::string> access_token;
    std::optional<std::string> expired_time;
    std::optional<std::string> avatar_url;
    std::optional<std::string> session_key;
    std::optional<std::string> secret_key;
    std::optional<std::string> session_uid;
  };
  static void SnsLogin(const std::string& provider, const std::string& signature,
                       const std::string& identity, const std::string& screen_name,
                       const SnsCredentials& credentials, LoginSuccess success, Failure failure);
  static void ReActivate(const std::string& provider, const std::string& signature,
                         const std::string& identity, Success success, Failure failure);
  // Password reset; raises no alert (the user is signed out when asking).
  static void ResetEmailMobile(const std::string& identity, const std::string& signature,
                               const std::string& provider, Success success, Failure failure);
  // Tells the service, then clears the token of all four clients at once,
  // whatever the answer: a rejected or unsent logout still signs out here.
  static void Logout(Success success, Failure failure);

  // Identity bindings (bind reports; refresh does not). `screen_name` is
  // required for binding, optional for refreshing.
  struct Binding {
    std::string identity;
    std::string signature;
    std::string provider;
    std::optional<std::string> screen_name;
    std::optional<std::string> password;
    SnsCredentials credentials;
  };
  static void BindIdentity(const Binding& binding, Success success, Failure failure);
  static void RefreshIdentity(const Binding& binding, Success success, Failure failure);

  // User, profile, avatar (all report).
  static void GetUser(const std::optional<std::string>& uid, Success success, Failure failure);
  static void UpdateProfile(const platform::Value& profile, Success success, Failure failure);
  // Uploads the picture at `path` (JPEG or PNG), re-encoded as a JPEG of the
  // best quality, as the avatar; `failure` with null at once, without a
  // request, when the file is not a readable picture.
  static void UploadAvatar(const std::string& path, Success success, Failure failure);

  // Contacts, blacklist, search (all report).
  static void GetContacts(Success success, Failure failure);
  static void AddContacts(const std::optional<std::vector<std::string>>& internal,
                          const std::optional<std::vector<std::string>>& external, Success success,
                          Failure failure);
  static void RemoveContacts(const std::optional<std::vector<std::string>>& internal,
                             const std::optional<std::vector<std::string>>& external,
                             Success success, Failure failure);
  static void GetBlackList(Success success, Failure failure);
  static void AddUserToBlackList(const std::optional<std::string>& uid, Success success,
                                 Failure failure);
  static void RemoveUserFromBlackList(const std::optional<std::string>& uid, Success success,
                                      Failure failure);
  static void SearchUserByScreenName(const std::optional<std::string>& screen_name, Success success,
                                     Failure failure);
  static void SearchUserById(const std::optional<int64_t>& uid, Success success, Failure failure);
  static void SearchUserByMobileNum(const std::optional<int64_t>& mobile, Success success,
                                    Failure failure);
  // Users near the stored location (no parameters without one).
  static void GetRecommendUser(Success success, Failure failure);
  static void MatchIdentity(const std::optional<std::vector<std::string>>& identities,
                            Success success, Failure failure);
  static void InviteMobileUser(const std::optional<std::string>& mobile, Success success,
                               Failure failure);
  static void GetContactsMaxCount(Success success, Failure failure);
};

// Installs `token` as the access token of the four clients, each followed by
// its user agent, in the order account, video, message, timeline.
void SetAccessTokenOnAllClients(const std::optional<std::string>& token);

}  // namespace service
