#include "shell/geo.h"

#include <cmath>

#include "platform/log.h"
#include "platform/preferences.h"

namespace shell {
namespace {

constexpr char kLatitudeKey[] = "latitude";
constexpr char kLongitudeKey[] = "longitude";
constexpr double kGoodEnoughMetres = 500;
constexpr unsigned kMaxFixesPerRound = 10;

std::optional<float> StoredFloat(const char* key) {
  platform::Value value = platform::StandardPreferences().Get(key);
  if (!value.is_number()) return std::nullopt;
  return static_cast<float>(value.AsDouble());
}

}  // namespace

Geo::Geo() : location_manager_(platform::DefaultLocationProvider().CreateManager()) {
  location_manager_->SetDelegate(this);
}

Geo::~Geo() {
  location_manager_->StopUpdating();
  location_manager_->SetDelegate(nullptr);
}

std::optional<float> Geo::GetLatitude() { return StoredFloat(kLatitudeKey); }
std::optional<float> Geo::GetLongitude() { return StoredFloat(kLongitudeKey); }

void Geo::ClearLastTimeLocation() {
  auto& store = platform::StandardPreferences();
  store.Remove(kLatitudeKey);
  store.Remove(kLongitudeKey);
  store.Synchronize();
}

void Geo::UpdateLocationIntoStore() {
  gps_counter_ = 0;
  if (!location_manager_->ServicesEnabled()) return;
  location_manager_->SetDistanceFilterNone();
  location_manager_->SetDesiredAccuracyBest();
  location_manager_->StartUpdating();
}

void Geo::StopUpdatingLocation() { location_manager_->StopUpdating(); }

void Geo::StopLocationService(const platform::LocationFix& fix) {
  ++gps_counter_;
  const bool accurate = std::fabs(fix.horizontal_accuracy) < kGoodEnoughMetres &&
                        std::fabs(fix.vertical_accuracy) < kGoodEnoughMetres;
  if (gps_counter_ > kMaxFixesPerRound || accurate) location_manager_->StopUpdating();
}

void Geo::DidUpdateLocation(const platform::LocationFix& fix) {
  auto& store = platform::StandardPreferences();
  store.Set(kLatitudeKey, static_cast<float>(fix.latitude));
  store.Set(kLongitudeKey, static_cast<float>(fix.longitude));
  store.Synchronize();
  StopLocationService(fix);
}

void Geo::DidFailWithError(const std::string& error) {
  platform::Logf("Get GPS location failed: %s", error.c_str());
  location_manager_->StopUpdating();
}

}  // namespace shell
