#include "service/account_api_client.h"

#include "platform/file_system.h"
#include "platform/image_codec.h"
#include "platform/md5.h"
#include "service/client_environment.h"
#include "service/endpoint.h"
#include "service/form_encoding.h"
#include "service/message_api_client.h"
#include "service/shared_clients.h"
#include "service/timeline_api_client.h"
#include "service/video_api_client.h"

namespace service {
namespace {

using internal::Failing;
using internal::Report;
using platform::Value;

// Issued by the service for this application.
constexpr char kApplicationId[] = "4817203956";
constexpr char kApplicationSecret[] = "9c1e6f3a0b7d4e2f8a5c6b1d0e3f7a29";

// Success handling shared by login, registration and social-network login.
ServiceHTTPClient::Success LoggedIn(AccountAPIClient::LoginSuccess success) {
  return [success = std::move(success)](const Value& response) {
    const Value& token_value = response["login_meta"]["token"];
    std::optional<std::string> token;
    if (token_value.is_string()) token = token_value.AsString();
    SetAccessTokenOnAllClients(token);
    APIErrorReport::Reset();
    if (success) success(response, token);
  };
}

void AddCredentials(Params& params, const AccountAPIClient::SnsCredentials& c) {
  params.AddIf("avatar_url", c.avatar_url)
      .AddIf("access_token", c.access_token)
      .AddIf("expired_time", c.expired_time)
      .AddIf("session_uid", c.session_uid)
      .AddIf("session_key", c.session_key)
      .AddIf("secret_key", c.secret_key);
}

Params BindingParams(const AccountAPIClient::Binding& b) {
  Params params;
  params.Add("provider", b.provider).Add("signature", b.signature).Add("identity", b.identity);
  params.AddIf("screen_name", b.screen_name).AddIf("password", b.password);
  AddCredentials(params, b.credentials);
  return params;
}

AccountAPIClient& Client() { return AccountAPIClient::SharedClient(); }

}  // namespace

AccountAPIClient::AccountAPIClient(std::string base_url) : ServiceHTTPClient(std::move(base_url)) {}

AccountAPIClient& AccountAPIClient::SharedClient() {
  return internal::Shared<AccountAPIClient>(internal::ClientSlot::kAccount);
}

void AccountAPIClient::SetAuthorizationHeaderWithToken(std::optional<std::string> token) {
  SetAccessTokenHeader(std::move(token));
}

void AccountAPIClient::SetUserAgent() { SetApplicationUserAgent(); }

std::string AccountAPIClient::Md5HexDigest(const std::string& text) {
  return platform::Md5HexDigest(text);
}

std::string AccountAPIClient::GetSignature(const std::string& identity,
                                           const std::string& provider) {
  return Md5HexDigest(identity + "$" + provider + "$" + kApplicationId + "$" + kApplicationSecret);
}

void AccountAPIClient::EmailMobileLogin(const std::string& provider, const std::string& signature,
                                        const std::string& identity, const std::string& password,
                                        LoginSuccess success, Failure failure) {
  Client().Post("/api/auth/login",
                Params()
                    .Add("provider", provider)
                    .Add("signature", signature)
                    .Add("identity", identity)
                    .Add("password", password),
                LoggedIn(std::move(success)), Failing(std::move(failure), Report::kNo));
}

void AccountAPIClient::EmailMobileRegister(const std::string& provider,
                                           const std::string& signature,
                                           const std::string& identity, const std::string& password,
                                           const std::string& screen_name, LoginSuccess success,
                                           Failure failure) {
  Client().Post("/api/auth/register",
                Params()
                    .Add("provider", provider)
                    .Add("signature", signature)
                    .Add("identity", identity)
                    .Add("password", password)
                    .Add("screen_name", screen_name),
                LoggedIn(std::move(success)), Failing(std::move(failure), Report::kNo));
}

void AccountAPIClient::SnsLogin(const std::string& provider, const std::string& signature,
                                const std::string& identity, const std::string& screen_name,
                                const SnsCredentials& credentials, LoginSuccess success,
                                Failure failure) {
  Params params;
  params.Add("provider", provider)
      .Add("signature", signature)
      .Add("identity", identity)
      .Add("screen_name", screen_name);
  AddCredentials(params, credentials);
  Client().Post("/api/auth/sns", params, LoggedIn(std::move(success)),
                Failing(std::move(failure), Report::kNo));
}

void AccountAPIClient::ReActivate(const std::string& provider, const std::string& signature,
                                  const std::string& identity, Success success, Failure failure) {
  Client().Post(
      "/api/auth/reactivate",
      Params().Add("provider", provider).Add("signature", signature).Add("identity", identity),
      std::move(success), Failing(std::move(failure), Report::kNo));
}

void AccountAPIClient::ResetEmailMobile(const std::string& identity, const std::string& signature,
                                        const std::string& provider, Success success,
                                        Failure failure) {
  Client().Post(
      "/api/auth/resetpw",
      Params().Add("identity", identity).Add("provider", provider).Add("signature", signature),
      std::move(success), Failing(std::move(failure), Report::kNo));
}

void AccountAPIClient::Logout(Success success, Failure failure) {
  // The request carries the token it ends; the clients forget it right away.
  Client().Post("/api/auth/logout", Value(), std::move(success),
                Failing(std::move(failure), Report::kNo));
  AccountAPIClient::SharedClient().SetAuthorizationHeaderWithToken("");
  VideoAPIClient::SetAuthorizationHeaderWithToken("");
  MessageAPIClient::SetAuthorizationHeaderWithToken("");
  TimelineAPIClient::SetAuthorizationHeaderWithToken("");
}

void AccountAPIClient::BindIdentity(const Binding& binding, Success success, Failure failure) {
  Params params = BindingParams(binding);
  if (!binding.screen_name) params.Add("screen_name", "");  // required
  Client().Post("/api/user/binding", params, std::move(success),
                Failing(std::move(failure), Report::kYes));
}

void AccountAPIClient::RefreshIdentity(const Binding& binding, Success success, Failure failure) {
  Client().Post("/api/user/binding/refresh", BindingParams(binding), std::move(success),
                Failing(std::move(failure), Report::kNo));
}

void AccountAPIClient::GetUser(const std::optional<std::string>& uid, Success success,
                               Failure failure) {
  Client().Get("/api/user", Params().AddIf("uid", uid), std::move(success),
               Failing(std::move(failure), Report::kYes));
}

void AccountAPIClient::UpdateProfile(const Value& profile, Success success, Failure failure) {
  Client().Post("/api/user/profile", profile.is_dictionary() ? profile : Value(Value::Dictionary{}),
                std::move(success), Failing(std::move(failure), Report::kYes));
}

void AccountAPIClient::UploadAvatar(const std::string& path, Success success, Failure failure) {
  // Whatever the picture's format, the service gets it as a JPEG of the best quality.
  std::optional<std::string> jpeg;
  if (auto data = platform::DefaultFileSystem().ReadFile(path)) {
    platform::ImageCodec& codec = platform::DefaultImageCodec();
    if (auto image = codec.Decode(*data)) jpeg = codec.EncodeJpeg(*image, 1.0);
  }
  if (!jpeg) {
    if (failure) failure(Value());
    return;
  }
  std::vector<platform::HttpFormPart> parts = {
      {"desc", "avatar", "", ""},
      {"payload", std::move(*jpeg), "jpg", "image/jpeg"},
  };
  Client().PostMultipart("/api/user/upload", std::move(parts), std::move(success),
                         Failing(std::move(failure), Report::kYes));
}

void AccountAPIClient::GetContacts(Success success, Failure failure) {
  Client().Get("/api/user/contacts", Value(), std::move(success),
               Failing(std::move(failure), Report::kYes));
}

void AccountAPIClient::AddContacts(const std::optional<std::vector<std::string>>& internal,
                                   const std::optional<std::vector<std::string>>& external,
                                   Success success, Failure failure) {
  Client().Post("/api/user/contacts",
                Params().AddArrayIf("internal", internal).AddArrayIf("external", external),
                std::move(success), Failing(std::move(failure), Report::kYes));
}

void AccountAPIClient::RemoveContacts(const std::optional<std::vector<std::string>>& internal,
                                      const std::optional<std::vector<std::string>>& external,
                                      Success success, Failure failure) {
  Client().Delete("/api/user/contacts",
                  Params().AddArrayIf("internal", internal).AddArrayIf("external", external),
                  std::move(success), Failing(std::move(failure), Report::kYes));
}

void AccountAPIClient::GetBlackList(Success success, Failure failure) {
  Client().Get("/api/user/blacklist", Value(), std::move(success),
               Failing(std::move(failure), Report::kYes));
}

void AccountAPIClient::AddUserToBlackList(const std::optional<std::string>& uid, Success success,
                                          Failure failure) {
  Client().Post("/api/user/blacklist", Params().AddIf("uid", uid), std::move(success),
                Failing(std::move(failure), Report::kYes));
}

void AccountAPIClient::RemoveUserFromBlackList(const std::optional<std::string>& uid,
                                               Success success, Failure failure) {
  Client().Delete("/api/user/blacklist", Params().AddIf("uid", uid), std::move(success),
                  Failing(std::move(failure), Report::kYes));
}

void AccountAPIClient::SearchUserByScreenName(const std::optional<std::string>& screen_name,
                                              Success success, Failure failure) {
  Client().Get("/api/user/search", Params().AddIf("screen_name", screen_name), std::move(success),
               Failing(std::move(failure), Report::kYes));
}

void AccountAPIClient::SearchUserById(const std::optional<int64_t>& uid, Success success,
                                      Failure failure) {
  Client().Get("/api/user/search", Params().AddIf("uid", uid), std::move(success),
               Failing(std::move(failure), Report::kYes));
}

void AccountAPIClient::SearchUserByMobileNum(const std::optional<int64_t>& mobile, Success success,
                                             Failure failure) {
  Client().Get("/api/user/search", Params().AddIf("mobile", mobile), std::move(success),
               Failing(std::move(failure), Report::kYes));
}

void AccountAPIClient::GetRecommendUser(Success success, Failure failure) {
  Params params;
  if (auto location = DefaultClientEnvironment().Location()) {
    params.Add("latitude", FloatText(location->latitude))
        .Add("longitude", FloatText(location->longitude));
  }
  Client().Get("/api/user/search", params, std::move(success),
               Failing(std::move(failure), Report::kYes));
}

void AccountAPIClient::MatchIdentity(const std::optional<std::vector<std::string>>& identities,
                                     Success success, Failure failure) {
  Client().Get("/api/user/match", Params().AddArrayIf("identity", identities), std::move(success),
               Failing(std::move(failure), Report::kYes));
}

void AccountAPIClient::InviteMobileUser(const std::optional<std::string>& mobile, Success success,
                                        Failure failure) {
  Client().Post("/api/user/invite", Params().AddIf("mobile", mobile), std::move(success),
                Failing(std::move(failure), Report::kYes));
}

void AccountAPIClient::GetContactsMaxCount(Success success, Failure failure) {
  Client().Get("/api/user/settings", Value(), std::move(success),
               Failing(std::move(failure), Report::kYes));
}

void SetAccessTokenOnAllClients(const std::optional<std::string>& token) {
  AccountAPIClient& account = AccountAPIClient::SharedClient();
  account.SetAuthorizationHeaderWithToken(token);
  account.SetUserAgent();
  VideoAPIClient::SetAuthorizationHeaderWithToken(token);
  VideoAPIClient::SetUserAgent();
  MessageAPIClient::SetAuthorizationHeaderWithToken(token);
  MessageAPIClient::SetUserAgent();
  TimelineAPIClient::SetAuthorizationHeaderWithToken(token);
  TimelineAPIClient::SetUserAgent();
}

}  // namespace service
