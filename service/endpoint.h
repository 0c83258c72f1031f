// Helpers the four clients share for their endpoint operations.
#pragma once

#include <string>

#include "service/api_error_report.h"
#include "service/service_http_client.h"

namespace service::internal {

enum class Report { kNo, kYes };

// The caller's failure, preceded by the invalid-token report when `report`.
inline ServiceHTTPClient::Failure Failing(ServiceHTTPClient::Failure failure, Report report) {
  return [failure = std::move(failure), report](const platform::Value& error) {
    if (report == Report::kYes) APIErrorReport::Report(error);
    if (failure) failure(error);
  };
}

// Seconds since 1970 now, in decimal.
std::string CurrentUnixTimeText();

// "provider" = "app", "identity" = the installation id and its "signature",
// for the anonymous /webapi/ requests.
void AddApplicationIdentity(Params& params);

}  // namespace service::internal
