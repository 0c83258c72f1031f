#include "platform/alert.h"

#include <gtest/gtest.h>

namespace platform {
namespace {

struct Recorder : AlertDelegate {
  void AlertClickedButtonAtIndex(const Alert& alert, int index) override {
    clicks.emplace_back(alert.tag, index);
  }
  std::vector<std::pair<int, int>> clicks;
};

TEST(HeadlessAlertPresenterTest, KeepsAlertsUntilAButtonIsPressed) {
  HeadlessAlertPresenter presenter;
  Recorder delegate;
  presenter.Show({"tooltip", "first", {"OK"}, 4000, &delegate});
  presenter.Show({"tooltip", "second", {"Cancel", "OK"}, 601, &delegate});
  ASSERT_EQ(presenter.visible().size(), 2u);
  EXPECT_FALSE(presenter.Press(1, 2));  // no such button
  EXPECT_FALSE(presenter.Press(2, 0));  // no such alert
  EXPECT_TRUE(presenter.Press(1, 1));
  EXPECT_TRUE(presenter.Press(0, 0));
  EXPECT_TRUE(presenter.visible().empty());
  EXPECT_EQ(delegate.clicks, (std::vector<std::pair<int, int>>{{601, 1}, {4000, 0}}));
}

}  // namespace
}  // namespace platform
