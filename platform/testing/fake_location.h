// FakeLocationProvider: managers whose fixes and errors the test delivers.
#pragma once

#include <memory>
#include <vector>

#include "platform/location.h"

namespace platform {

class FakeLocationManager final : public LocationManager {
 public:
  explicit FakeLocationManager(bool enabled) : enabled_(enabled) {}

  bool ServicesEnabled() const override { return enabled_; }
  void SetDelegate(LocationDelegate* delegate) override { delegate_ = delegate; }
  void SetDistanceFilterNone() override { distance_filter_none = true; }
  void SetDesiredAccuracyBest() override { accuracy_best = true; }
  void StartUpdating() override {
    updating = true;
    ++starts;
  }
  void StopUpdating() override {
    updating = false;
    ++stops;
  }

  // Delivers as the platform would (only while updating).
  void Deliver(const LocationFix& fix) {
    if (updating && delegate_) delegate_->DidUpdateLocation(fix);
  }
  void Fail(const std::string& error) {
    if (updating && delegate_) delegate_->DidFailWithError(error);
  }

  bool updating = false;
  bool distance_filter_none = false;
  bool accuracy_best = false;
  int starts = 0;
  int stops = 0;

 private:
  bool enabled_;
  LocationDelegate* delegate_ = nullptr;
};

class FakeLocationProvider final : public LocationProvider {
 public:
  std::unique_ptr<LocationManager> CreateManager() override {
    auto manager = std::make_unique<FakeLocationManager>(enabled);
    last = manager.get();
    return manager;
  }

  bool enabled = true;
  FakeLocationManager* last = nullptr;  // the most recently created manager
};

}  // namespace platform
