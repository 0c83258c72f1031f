#include "shell/geo.h"

#include <gtest/gtest.h>

#include "platform/log.h"
#include "platform/testing/fake_platform.h"

namespace shell {
namespace {

// The round of fixes ends at the first accurate fix, or at the 11th whatever its accuracy.
TEST(GeoTest, RoundEndsAtTheFirstAccurateFixOrTheEleventh) {
  struct Case {
    const char* name;
    std::vector<std::pair<double, double>> accuracies;  // (horizontal, vertical) per fix
    int stopped_after;                                  // 0: still updating
  };
  const std::vector<std::pair<double, double>> poor10(10, {800, 800});
  auto with = [&](std::pair<double, double> last) {
    auto v = poor10;
    v.push_back(last);
    return v;
  };
  const Case cases[] = {
      {"accurate first", {{499, 10}}, 1},
      {"500 m is not below 500", {{500, 10}, {10, 500}, {-20, -30}}, 3},
      {"vertical too poor", {{10, 900}}, 0},
      {"ten poor fixes keep going", poor10, 0},
      {"the 11th stops even when poor", with({5000, 5000}), 11},
  };
  for (const auto& c : cases) {
    platform::FakePlatform fake;
    Geo geo;
    geo.UpdateLocationIntoStore();
    platform::FakeLocationManager* manager = fake.location.last;
    int stopped_after = 0;
    for (size_t i = 0; i < c.accuracies.size(); ++i) {
      manager->Deliver({1, 2, c.accuracies[i].first, c.accuracies[i].second});
      if (!manager->updating && stopped_after == 0) stopped_after = static_cast<int>(i) + 1;
    }
    EXPECT_EQ(stopped_after, c.stopped_after) << c.name;
  }
}

TEST(GeoTest, FixesAreStoredAsSinglePrecisionAndCleared) {
  platform::FakePlatform fake;
  Geo geo;
  EXPECT_FALSE(Geo::GetLatitude());
  geo.UpdateLocationIntoStore();
  EXPECT_TRUE(fake.location.last->distance_filter_none);
  EXPECT_TRUE(fake.location.last->accuracy_best);
  fake.location.last->Deliver({31.2304, 121.4737, 5, 5});
  EXPECT_EQ(Geo::GetLatitude(), 31.2304f);
  EXPECT_EQ(Geo::GetLongitude(), 121.4737f);
  EXPECT_GT(fake.preferences.synchronizations, 0);
  geo.ClearLastTimeLocation();
  EXPECT_FALSE(Geo::GetLatitude());
  EXPECT_FALSE(Geo::GetLongitude());
}

TEST(GeoTest, DisabledServicesNeverStartAndErrorsStop) {
  platform::FakePlatform fake;
  fake.location.enabled = false;
  {
    Geo geo;
    geo.UpdateLocationIntoStore();
    EXPECT_EQ(fake.location.last->starts, 0);
  }
  fake.location.enabled = true;
  std::vector<std::string> lines;
  platform::SetLogSink([&](std::string_view line) { lines.emplace_back(line); });
  Geo geo;
  geo.UpdateLocationIntoStore();
  fake.location.last->Fail("denied");
  platform::SetLogSink(nullptr);
  EXPECT_FALSE(fake.location.last->updating);
  EXPECT_EQ(lines, std::vector<std::string>{"Get GPS location failed: denied"});
}

}  // namespace
}  // namespace shell
