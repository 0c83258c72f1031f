// Location: fixes of the device's position from a location manager.
#pragma once

#include <memory>
#include <string>

namespace platform {

struct LocationFix {
  double latitude = 0;
  double longitude = 0;
  double horizontal_accuracy = 0;  // metres; negative when unknown
  double vertical_accuracy = 0;    // metres; negative when unknown
};

class LocationDelegate {
 public:
  virtual ~LocationDelegate() = default;
  virtual void DidUpdateLocation(const LocationFix& fix) = 0;
  virtual void DidFailWithError(const std::string& error) = 0;
};

// Delivers fixes to its delegate on the main queue while updating.
class LocationManager {
 public:
  virtual ~LocationManager() = default;
  virtual bool ServicesEnabled() const = 0;
  virtual void SetDelegate(LocationDelegate* delegate) = 0;
  virtual void SetDistanceFilterNone() = 0;
  virtual void SetDesiredAccuracyBest() = 0;
  virtual void StartUpdating() = 0;
  virtual void StopUpdating() = 0;
};

class LocationProvider {
 public:
  virtual ~LocationProvider() = default;
  virtual std::unique_ptr<LocationManager> CreateManager() = 0;
};

// The provider of the process: on Linux the position configured in the
// environment variable SELVO_LOCATION ("latitude,longitude[,accuracy metres]"),
// or none (services disabled). Tests install their own (nullptr restores it).
LocationProvider& DefaultLocationProvider();
void SetDefaultLocationProvider(LocationProvider* provider);

}  // namespace platform
