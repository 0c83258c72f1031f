#include "platform/linux/configured_location.h"

#include <atomic>
#include <cstdlib>
#include <sstream>

#include "platform/dispatch.h"

namespace platform {
namespace {

std::atomic<LocationProvider*> g_installed{nullptr};

class ConfiguredLocationManager final : public LocationManager {
 public:
  explicit ConfiguredLocationManager(std::optional<LocationFix> position)
      : position_(position), alive_(std::make_shared<bool>(true)) {}
  ~ConfiguredLocationManager() override { *alive_ = false; }

  bool ServicesEnabled() const override { return position_.has_value(); }
  void SetDelegate(LocationDelegate* delegate) override { delegate_ = delegate; }
  void SetDistanceFilterNone() override {}
  void SetDesiredAccuracyBest() override {}

  void StartUpdating() override {
    if (!position_ || timer_) return;
    Dispatcher& dispatcher = DefaultDispatcher();
    // The manager lives on the main queue; `alive_` guards the first, delayed report.
    dispatcher.MainQueue().Async([this, alive = alive_] {
      if (*alive) Report();
    });
    timer_ = dispatcher.ScheduleRepeating(dispatcher.MainQueue(), std::chrono::seconds(1),
                                          [this] { Report(); });
  }

  void StopUpdating() override { timer_.reset(); }

 private:
  void Report() {
    if (timer_ && delegate_) delegate_->DidUpdateLocation(*position_);
  }

  std::optional<LocationFix> position_;
  LocationDelegate* delegate_ = nullptr;
  std::unique_ptr<Timer> timer_;
  std::shared_ptr<bool> alive_;
};

}  // namespace

ConfiguredLocationProvider::ConfiguredLocationProvider(std::optional<LocationFix> position)
    : position_(position) {}

ConfiguredLocationProvider ConfiguredLocationProvider::FromEnvironment() {
  const char* setting = std::getenv("SELVO_LOCATION");
  return ConfiguredLocationProvider(setting ? ParseLocationSetting(setting) : std::nullopt);
}

std::unique_ptr<LocationManager> ConfiguredLocationProvider::CreateManager() {
  return std::make_unique<ConfiguredLocationManager>(position_);
}

std::optional<LocationFix> ParseLocationSetting(const std::string& text) {
  std::istringstream in(text);
  LocationFix fix;
  char comma = 0;
  if (!(in >> fix.latitude >> comma) || comma != ',' || !(in >> fix.longitude)) return std::nullopt;
  fix.horizontal_accuracy = fix.vertical_accuracy = 10;
  if (in >> comma) {
    if (comma != ',' || !(in >> fix.horizontal_accuracy) || fix.horizontal_accuracy < 0) {
      return std::nullopt;
    }
    fix.vertical_accuracy = fix.horizontal_accuracy;
  }
  in >> std::ws;
  if (!in.eof()) return std::nullopt;
  if (fix.latitude < -90 || fix.latitude > 90 || fix.longitude < -180 || fix.longitude > 180) {
    return std::nullopt;
  }
  return fix;
}

LocationProvider& DefaultLocationProvider() {
  if (LocationProvider* p = g_installed.load(std::memory_order_acquire)) return *p;
  static ConfiguredLocationProvider* machine =
      new ConfiguredLocationProvider(ConfiguredLocationProvider::FromEnvironment());
  return *machine;
}

void SetDefaultLocationProvider(LocationProvider* provider) {
  g_installed.store(provider, std::memory_order_release);
}

}  // namespace platform
