#include "store/service_timeline_requests.h"

#include "service/timeline_api_client.h"
#include "service/video_api_client.h"

namespace store {
namespace {

std::optional<std::string> Text(std::optional<int64_t> id) {
  if (!id) return std::nullopt;
  return std::to_string(*id);
}

}  // namespace

void UserRoomRequests::RequestPage(std::optional<int64_t> before, std::optional<int64_t> after,
                                   Success success, Failure failure) {
  service::VideoAPIClient::Timeline(user_id_, Text(before), Text(after), std::move(success),
                                    std::move(failure));
}

void BuddyRoomRequests::RequestPage(std::optional<int64_t> before, std::optional<int64_t> after,
                                    Success success, Failure failure) {
  service::TimelineAPIClient::TimelineInBox(Text(before), Text(after), std::move(success),
                                            std::move(failure));
}

void SquareRequests::RequestPage(std::optional<int64_t> before, std::optional<int64_t> after,
                                 Success success, Failure failure) {
  service::TimelineAPIClient::TimelineWithChannel(channel_, static_cast<int>(sort_), Text(after),
                                                  Text(before), std::move(success),
                                                  std::move(failure));
}

}  // namespace store
