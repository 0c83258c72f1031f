#include "shell/orientation.h"

#include <cstdlib>

#include "platform/environment.h"

namespace shell {

unsigned ApplicationSupportedOrientations() { return kMaskPortrait | kMaskLandscapeRight; }

unsigned SupportedInterfaceOrientations(unsigned support) {
  unsigned mask = 0;
  if (support & kSupportPortrait) mask |= kMaskPortrait;
  if (support & kSupportUpsideDown) mask |= kMaskPortraitUpsideDown;
  if (support & kSupportLandscapeLeft) mask |= kMaskLandscapeLeft;
  if (support & kSupportLandscapeRight) mask |= kMaskLandscapeRight;
  return mask;
}

InterfaceOrientation PreferredInterfaceOrientation(unsigned support, DeviceOrientation device) {
  struct Candidate {
    unsigned bit;
    InterfaceOrientation orientation;
  };
  static constexpr Candidate kCandidates[] = {
      {kSupportPortrait, InterfaceOrientation::kPortrait},
      {kSupportLandscapeRight, InterfaceOrientation::kLandscapeRight},
      {kSupportLandscapeLeft, InterfaceOrientation::kLandscapeLeft},
      {kSupportUpsideDown, InterfaceOrientation::kPortraitUpsideDown},
  };
  size_t first = 0, last = 4;
  switch (device) {
    case DeviceOrientation::kPortrait:
      first = 0;
      break;
    case DeviceOrientation::kLandscapeLeft:
      first = 1;
      break;
    case DeviceOrientation::kLandscapeRight:
      first = 2;
      break;
    case DeviceOrientation::kPortraitUpsideDown:
      first = 3;
      break;
    default:
      return InterfaceOrientation::kPortrait;
  }
  for (size_t i = first; i < last; ++i) {
    if (support & kCandidates[i].bit) return kCandidates[i].orientation;
  }
  return InterfaceOrientation::kPortrait;
}

double CompatibilityUtils::SystemVersionNumber() {
  return std::atof(platform::DefaultEnvironment().System().version.c_str());
}

bool CompatibilityUtils::IsIOS5orAfter() { return SystemVersionNumber() > 4.4; }
bool CompatibilityUtils::IsIOS6orAfter() { return SystemVersionNumber() > 5.2; }

}  // namespace shell
