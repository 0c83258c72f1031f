// The capture devices a recording command reads from, chosen by --source: the built-in
// test camera and microphone ("test"), the machine's camera and microphone ("camera"), or
// a media file played in real time (any other word).
#pragma once

#include <memory>
#include <string>

#include "platform/capture.h"

namespace app {

// The devices for `source`; null with one line for the user in `error` when they cannot
// be used (no camera, no microphone, an unplayable file or one without both tracks).
std::unique_ptr<platform::CaptureDevices> CaptureDevicesFor(const std::string& source,
                                                            std::string* error);

}  // namespace app
