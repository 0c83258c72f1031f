#include "shell/selvo_utils.h"

#include "platform/environment.h"

namespace shell {

std::string SelvoUtils::UserAgentVersionText(const std::string& short_version,
                                             const std::string& build_version) {
  if (short_version.empty()) return build_version;
  if (build_version.empty() || build_version == short_version) return short_version;
  return short_version + " rv:" + build_version;
}

std::string SelvoUtils::DefaultUserAgentString() {
  platform::Environment& env = platform::DefaultEnvironment();
  const platform::SystemInfo system = env.System();
  // The build carries one version, so short and build versions agree.
  const std::string version = env.ApplicationVersion();
  return env.ApplicationName() + " " + UserAgentVersionText(version, version) + " (" +
         system.machine + "; " + system.name + " " + system.version + "; " +
         env.LocaleIdentifier() + ")";
}

std::string SelvoUtils::PlatformNameFor(const std::string& machine) {
  auto starts = [&](const char* prefix) { return machine.rfind(prefix, 0) == 0; };
  if (starts("iPhone")) return "iPhone";
  if (starts("iPad")) return "iPad";
  if (starts("iPod")) return "iPod Touch";
  return machine;
}

std::string SelvoUtils::PlatformName() {
  return PlatformNameFor(platform::DefaultEnvironment().System().machine);
}

}  // namespace shell
