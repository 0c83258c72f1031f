// TimelineAPIClient: the public square by channel (signed out too, through
// /webapi/timeline), the friends' room and the count of its newer videos.
// Every failure raises the invalid-token alert for a 401 first.
#pragma once

#include <optional>
#include <string>

#include "service/service_http_client.h"

namespace service {

class TimelineAPIClient final : public ServiceHTTPClient {
 public:
  using Success = ServiceHTTPClient::Success;
  using Failure = ServiceHTTPClient::Failure;

  // Square sort orders; any other value sends no "sort".
  static constexpr int kSortHot = 1;
  static constexpr int kSortNew = 2;

  explicit TimelineAPIClient(std::string base_url);

  static TimelineAPIClient& SharedClient();
  static void SetAuthorizationHeaderWithToken(std::optional<std::string> token);
  static std::optional<std::string> AuthorizationHeaderWithToken();
  static void SetUserAgent();

  static void TimelineWithChannel(const std::optional<std::string>& channel, int sort,
                                  const std::optional<std::string>& newer_than,
                                  const std::optional<std::string>& older_than, Success success,
                                  Failure failure);
  static void TimelineInBox(const std::optional<std::string>& before,
                            const std::optional<std::string>& after, Success success,
                            Failure failure);
  static void TimelineInBoxCount(const std::optional<std::string>& vid, Success success,
                                 Failure failure);
};

}  // namespace service
