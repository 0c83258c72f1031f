#include "service/message_api_client.h"

#include "platform/value.h"
#include "service/endpoint.h"
#include "service/shared_clients.h"

namespace service {
namespace {

using internal::Failing;
using internal::Report;

MessageAPIClient& Client() { return MessageAPIClient::SharedClient(); }

}  // namespace

MessageAPIClient::MessageAPIClient(std::string base_url) : ServiceHTTPClient(std::move(base_url)) {}

MessageAPIClient& MessageAPIClient::SharedClient() {
  return internal::Shared<MessageAPIClient>(internal::ClientSlot::kMessage);
}

void MessageAPIClient::SetAuthorizationHeaderWithToken(std::optional<std::string> token) {
  Client().SetAccessTokenHeader(std::move(token));
}

std::optional<std::string> MessageAPIClient::AuthorizationHeaderWithToken() {
  return Client().AccessTokenHeader();
}

void MessageAPIClient::SetUserAgent() { Client().SetApplicationUserAgent(); }

void MessageAPIClient::UnreadMessage(const std::optional<std::string>& before,
                                     const std::optional<std::string>& after, Success success,
                                     Failure failure) {
  Client().Get("api/message/unread", Params().AddIf("before", before).AddIf("after", after),
               std::move(success), Failing(std::move(failure), Report::kYes));
}

void MessageAPIClient::UnreadMessageCount(const std::optional<std::string>& after, Success success,
                                          Failure failure) {
  Client().Get("api/message/unread/count", Params().AddIf("after", after), std::move(success),
               Failing(std::move(failure), Report::kYes));
}

void MessageAPIClient::MessageSetting(const std::optional<std::string>& apn_token,
                                      const std::optional<bool>& allow, Success success,
                                      Failure failure) {
  Client().Post("api/message/setting",
                Params().AddIf("apn_token", apn_token).AddIf("switch", allow), std::move(success),
                Failing(std::move(failure), Report::kYes));
}

void MessageAPIClient::GetMessageSetting(Success success, Failure failure) {
  Client().Get("api/message/setting", platform::Value(), std::move(success),
               Failing(std::move(failure), Report::kYes));
}

}  // namespace service
