#include "service/api_error_report.h"

#include "platform/notification_center.h"
#include "service/account_api_client.h"
#include "service/testing/service_test_fixture.h"
#include "service/video_api_client.h"

namespace service {
namespace {

using platform::Value;

class APIErrorReportTest : public ServiceTest {
 protected:
  APIErrorReportTest() {
    subscription_ = platform::NotificationCenter::Default().AddObserver(
        kInvalidAccessTokenNotification, [this](const platform::Notification&) { ++logouts_; });
  }
  // A reporting request (comment list) answered with `status` and `body`.
  void ReportingFailure(int status, const std::string& body) {
    VideoAPIClient::GetComments("5", std::nullopt, std::nullopt, nullptr,
                                [this](const Value& e) { failures_.push_back(e); });
    if (body.empty()) {
      Fail(fake_.http.size() - 1);
    } else {
      Answer(fake_.http.size() - 1, status, body);
    }
  }
  size_t alerts() const { return fake_.alerts.visible().size(); }

  platform::NotificationCenter::Subscription subscription_;
  int logouts_ = 0;
  std::vector<Value> failures_;
};

TEST_F(APIErrorReportTest, OneAlertPerLoginAndItsButtonLogsOut) {
  ReportingFailure(401, R"({"code":401,"msg":"expired"})");
  ReportingFailure(401, R"({"code":401,"msg":"expired"})");
  ASSERT_EQ(alerts(), 1u);
  const platform::Alert alert = fake_.alerts.visible()[0];
  EXPECT_EQ(alert.title, "Notice");
  EXPECT_EQ(alert.message, "Your sign-in has expired. Please sign in again.");
  EXPECT_EQ(alert.buttons, std::vector<std::string>{"OK"});
  EXPECT_EQ(alert.tag, 4000);
  ASSERT_EQ(failures_.size(), 2u);
  EXPECT_EQ(failures_[1]["msg"].AsString(), "expired");
  EXPECT_EQ(logouts_, 0);
  ASSERT_TRUE(fake_.alerts.Press(0, 0));
  EXPECT_EQ(logouts_, 1);

  APIErrorReport::Reset();
  ReportingFailure(401, R"({"code":401})");
  EXPECT_EQ(alerts(), 1u);
}

TEST_F(APIErrorReportTest, PauseOtherCodesAndMissingBodiesShowNothing) {
  ReportingFailure(0, "");  // no response at all
  ReportingFailure(404, R"({"code":404,"msg":"gone"})");
  ReportingFailure(500, R"("just text")");
  EXPECT_EQ(alerts(), 0u);
  ASSERT_EQ(failures_.size(), 3u);
  EXPECT_TRUE(failures_[0].is_null());
  APIErrorReport::Pause();
  ReportingFailure(401, R"({"code":401})");
  EXPECT_EQ(alerts(), 0u);
  EXPECT_EQ(failures_.size(), 4u);
}

}  // namespace
}  // namespace service
