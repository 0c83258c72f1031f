// MessageAPIClient: the message inbox, its unread count, and the push setting
// with the device's push token. Every failure raises the invalid-token alert
// for a 401 first.
#pragma once

#include <optional>
#include <string>

#include "service/service_http_client.h"

namespace service {

class MessageAPIClient final : public ServiceHTTPClient {
 public:
  using Success = ServiceHTTPClient::Success;
  using Failure = ServiceHTTPClient::Failure;

  explicit MessageAPIClient(std::string base_url);

  static MessageAPIClient& SharedClient();
  static void SetAuthorizationHeaderWithToken(std::optional<std::string> token);
  // The installed token; a non-empty one means a user is signed in.
  static std::optional<std::string> AuthorizationHeaderWithToken();
  static void SetUserAgent();

  static void UnreadMessage(const std::optional<std::string>& before,
                            const std::optional<std::string>& after, Success success,
                            Failure failure);
  static void UnreadMessageCount(const std::optional<std::string>& after, Success success,
                                 Failure failure);
  static void MessageSetting(const std::optional<std::string>& apn_token,
                             const std::optional<bool>& allow, Success success, Failure failure);
  static void GetMessageSetting(Success success, Failure failure);
};

}  // namespace service
