#include "store/service_timeline_requests.h"

#include "service/account_api_client.h"
#include "service/testing/service_test_fixture.h"

namespace store {
namespace {

class ServiceTimelineRequestsTest : public service::ServiceTest {};

TEST_F(ServiceTimelineRequestsTest, EachTimelineAsksItsEndpoint) {
  service::SetAccessTokenOnAllClients("T1");
  UserRoomRequests mine("5");
  BuddyRoomRequests friends;
  SquareRequests square(std::string("music"), SquareSort::kNew);
  SquareRequests hot(std::nullopt, SquareSort::kHot);
  struct Case {
    TimelineRequests* requests;
    std::optional<int64_t> before, after;
    std::string path;
    Fields fields;  // sorted by name
  };
  const int64_t big = int64_t{1} << 32;
  const Case cases[] = {
      {&mine, std::nullopt, 9, "/api/video/timeline", {{"after", "9"}, {"uid", "5"}}},
      {&mine, big, std::nullopt, "/api/video/timeline", {{"before", "4294967296"}, {"uid", "5"}}},
      {&friends, std::nullopt, std::nullopt, "/api/timeline/inbox", {}},
      {&friends, 7, std::nullopt, "/api/timeline/inbox", {{"before", "7"}}},
      {&square,
       3,
       std::nullopt,
       "/api/timeline",
       {{"before", "3"}, {"channel", "music"}, {"sort", "new"}}},
      {&square,
       std::nullopt,
       8,
       "/api/timeline",
       {{"after", "8"}, {"channel", "music"}, {"sort", "new"}}},
      {&hot, std::nullopt, std::nullopt, "/api/timeline", {{"sort", "hot"}}},
  };
  size_t i = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path + " #" + std::to_string(i));
    platform::Value page;
    bool failed = false;
    c.requests->RequestPage(
        c.before, c.after, [&](const platform::Value& answer) { page = answer; },
        [&](const platform::Value&) { failed = true; });
    EXPECT_EQ(Line(i), std::string("GET ") + kBase + c.path);
    Fields fields = FieldsOf(i);
    std::sort(fields.begin(), fields.end());
    EXPECT_EQ(fields, c.fields);
    Answer(i++, 200, R"([{"_id": 12}])");
    EXPECT_FALSE(failed);
    EXPECT_EQ(page[0]["_id"].AsInt(), 12);
  }
  // Failures reach the list with the service's error.
  platform::Value error;
  friends.RequestPage(std::nullopt, std::nullopt, nullptr,
                      [&](const platform::Value& e) { error = e; });
  Answer(i, 500, R"({"code": 500, "msg": "down"})");
  EXPECT_EQ(error["msg"].AsString(), "down");
}

}  // namespace
}  // namespace store
