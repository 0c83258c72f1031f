// Location on Linux: a fixed position from configuration. While a manager is
// updating it reports the position once a second on the main queue.
#pragma once

#include <optional>

#include "platform/location.h"

namespace platform {

class ConfiguredLocationProvider final : public LocationProvider {
 public:
  // nullopt: location services are disabled.
  explicit ConfiguredLocationProvider(std::optional<LocationFix> position);
  // Reads SELVO_LOCATION ("latitude,longitude[,accuracy metres]").
  static ConfiguredLocationProvider FromEnvironment();

  std::unique_ptr<LocationManager> CreateManager() override;

 private:
  std::optional<LocationFix> position_;
};

// Parses "latitude,longitude[,accuracy]"; nullopt when malformed or out of range.
std::optional<LocationFix> ParseLocationSetting(const std::string& text);

}  // namespace platform
