// SelvoUtils: the application's toolbox of small class operations.
#pragma once

#include <string>

namespace shell {

class SelvoUtils {
 public:
  // "<name> <version> (<device model>; <system name> <system version>; <locale>)",
  // sent as the User-Agent of every request, the engine's included.
  static std::string DefaultUserAgentString();
  // The version part of the user agent: the short version when it equals the
  // build version, "<short> rv:<build>" when they differ, whichever exists when
  // only one does.
  static std::string UserAgentVersionText(const std::string& short_version,
                                          const std::string& build_version);
  // The machine name of the system, with phone family prefixes folded
  // ("iPhone3,1" gives "iPhone", "iPod..." gives "iPod Touch"); sent as "device".
  static std::string PlatformName();
  static std::string PlatformNameFor(const std::string& machine);
};

}  // namespace shell
