// Interface orientation rules of the application's navigation controllers,
// expressed on the platform's orientation values.
#pragma once

namespace shell {

// Device orientations as the platform reports them.
enum class DeviceOrientation {
  kUnknown = 0,
  kPortrait = 1,
  kPortraitUpsideDown = 2,
  kLandscapeLeft = 3,   // the interface is then landscape right
  kLandscapeRight = 4,  // the interface is then landscape left
  kFaceUp = 5,
  kFaceDown = 6,
};

// Interface orientations.
enum class InterfaceOrientation {
  kPortrait = 1,
  kPortraitUpsideDown = 2,
  kLandscapeRight = 3,
  kLandscapeLeft = 4,
};

// Masks of interface orientations (1 << orientation).
enum InterfaceOrientationMask : unsigned {
  kMaskPortrait = 1u << 1,
  kMaskPortraitUpsideDown = 1u << 2,
  kMaskLandscapeRight = 1u << 3,
  kMaskLandscapeLeft = 1u << 4,
};

// The application's own bits in a navigation controller's `supportOrientation`.
enum SupportOrientation : unsigned {
  kSupportPortrait = 1,
  kSupportUpsideDown = 2,
  kSupportLandscapeLeft = 4,
  kSupportLandscapeRight = 8,
};

// Orientations the whole application allows in its window: portrait and
// landscape right (mask 10).
unsigned ApplicationSupportedOrientations();

// `supportedInterfaceOrientations` of a navigation controller.
unsigned SupportedInterfaceOrientations(unsigned support_orientation);

// `preferredInterfaceOrientationForPresentation`: candidates in the order
// portrait, landscape right, landscape left, upside down; the search starts at
// the one the device is held in (upside down checks only itself) and answers
// the first allowed one, else portrait.
InterfaceOrientation PreferredInterfaceOrientation(unsigned support_orientation,
                                                   DeviceOrientation device);

// Platform-version checks: the system version read as a number.
class CompatibilityUtils {
 public:
  static bool IsIOS5orAfter();
  static bool IsIOS6orAfter();
  static double SystemVersionNumber();
};

}  // namespace shell
