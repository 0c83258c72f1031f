// The timeline requests of the service clients, for TimelineList: the own
// and another user's room (VideoAPIClient timeline of a user), the friends'
// room (TimelineAPIClient inbox) and a square category (TimelineAPIClient
// timeline by channel and sort).
#pragma once

#include <optional>
#include <string>

#include "store/timeline_list.h"

namespace store {

class UserRoomRequests final : public TimelineRequests {
 public:
  explicit UserRoomRequests(std::string userId) : user_id_(std::move(userId)) {}
  void RequestPage(std::optional<int64_t> before, std::optional<int64_t> after, Success success,
                   Failure failure) override;

 private:
  const std::string user_id_;
};

class BuddyRoomRequests final : public TimelineRequests {
 public:
  void RequestPage(std::optional<int64_t> before, std::optional<int64_t> after, Success success,
                   Failure failure) override;
};

class SquareRequests final : public TimelineRequests {
 public:
  SquareRequests(std::optional<std::string> channel, SquareSort sort)
      : channel_(std::move(channel)), sort_(sort) {}
  void RequestPage(std::optional<int64_t> before, std::optional<int64_t> after, Success success,
                   Failure failure) override;

 private:
  const std::optional<std::string> channel_;
  const SquareSort sort_;
};

}  // namespace store
