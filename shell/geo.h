// Geo: samples the device's location now and then and keeps the last position
// in the standard preference store under "latitude" and "longitude"
// (single-precision numbers), where requests that carry a location read it.
#pragma once

#include <memory>
#include <optional>

#include "platform/location.h"

namespace shell {

class Geo final : public platform::LocationDelegate {
 public:
  Geo();
  ~Geo() override;

  // The stored position, when there is one.
  static std::optional<float> GetLatitude();
  static std::optional<float> GetLongitude();

  // Forgets the stored position.
  void ClearLastTimeLocation();
  // Starts a round of fixes (when location services are enabled).
  void UpdateLocationIntoStore();
  void StopUpdatingLocation();
  // Counts a fix and ends the round once it is good enough: both accuracies
  // under 500 m, or unconditionally from the 11th fix of the round on.
  void StopLocationService(const platform::LocationFix& fix);

  void DidUpdateLocation(const platform::LocationFix& fix) override;
  void DidFailWithError(const std::string& error) override;

  unsigned fixes_this_round() const { return gps_counter_; }

 private:
  unsigned gps_counter_ = 0;
  std::unique_ptr<platform::LocationManager> location_manager_;
};

}  // namespace shell
