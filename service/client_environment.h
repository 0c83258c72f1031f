// ClientEnvironment: what the service clients read about the device and the
// signed-in installation that lives above them (the shell's preferences and
// utilities). The executable installs the shell's; tests install their own.
#pragma once

#include <optional>
#include <string>

namespace service {

struct StoredLocation {
  float latitude = 0;
  float longitude = 0;
};

class ClientEnvironment {
 public:
  virtual ~ClientEnvironment() = default;
  // The application's user agent (SelvoUtils::DefaultUserAgentString).
  virtual std::string UserAgent() = 0;
  // The installation id of requests signed as the application
  // (SelvoGlobalPreferences::SrandUUID).
  virtual std::string InstallationId() = 0;
  // "WiFi", "3G/GPRS" or "Not Connect NetWork" (SelvoUtils::NetworkName).
  virtual std::string NetworkName() = 0;
  // The device's machine name (SelvoUtils::PlatformName).
  virtual std::string PlatformName() = 0;
  // The local time as "yyyy-MM-dd HH:mm:ss" (SelvoUtils::yyyyMMddHHmmssLocalTime).
  virtual std::string LocalTimeText() = 0;
  // The last sampled position, when both coordinates are stored (Geo).
  virtual std::optional<StoredLocation> Location() = 0;
};

// The installed environment. Using the clients before one was installed is a
// programming error and aborts with a message.
ClientEnvironment& DefaultClientEnvironment();
void SetClientEnvironment(ClientEnvironment* environment);

}  // namespace service
