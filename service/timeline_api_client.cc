#include "service/timeline_api_client.h"

#include "service/endpoint.h"
#include "service/shared_clients.h"

namespace service {
namespace {

using internal::Failing;
using internal::Report;

TimelineAPIClient& Client() { return TimelineAPIClient::SharedClient(); }

}  // namespace

TimelineAPIClient::TimelineAPIClient(std::string base_url)
    : ServiceHTTPClient(std::move(base_url)) {}

TimelineAPIClient& TimelineAPIClient::SharedClient() {
  return internal::Shared<TimelineAPIClient>(internal::ClientSlot::kTimeline);
}

void TimelineAPIClient::SetAuthorizationHeaderWithToken(std::optional<std::string> token) {
  Client().SetAccessTokenHeader(std::move(token));
}

std::optional<std::string> TimelineAPIClient::AuthorizationHeaderWithToken() {
  return Client().AccessTokenHeader();
}

void TimelineAPIClient::SetUserAgent() { Client().SetApplicationUserAgent(); }

void TimelineAPIClient::TimelineWithChannel(const std::optional<std::string>& channel, int sort,
                                            const std::optional<std::string>& newer_than,
                                            const std::optional<std::string>& older_than,
                                            Success success, Failure failure) {
  Params params;
  params.AddIf("channel", channel);
  if (sort == kSortHot) params.Add("sort", "hot");
  if (sort == kSortNew) params.Add("sort", "new");
  params.AddIf("after", newer_than).AddIf("before", older_than);
  std::string path = "/api/timeline";
  if (!Client().HasAccessToken()) {
    path = "/webapi/timeline";
    internal::AddApplicationIdentity(params);
  }
  Client().Get(path, params, std::move(success), Failing(std::move(failure), Report::kYes));
}

void TimelineAPIClient::TimelineInBox(const std::optional<std::string>& before,
                                      const std::optional<std::string>& after, Success success,
                                      Failure failure) {
  Client().Get("/api/timeline/inbox", Params().AddIf("before", before).AddIf("after", after),
               std::move(success), Failing(std::move(failure), Report::kYes));
}

void TimelineAPIClient::TimelineInBoxCount(const std::optional<std::string>& vid, Success success,
                                           Failure failure) {
  Client().Get("/api/timeline/inbox/count", Params().AddIf("vid", vid), std::move(success),
               Failing(std::move(failure), Report::kYes));
}

}  // namespace service
