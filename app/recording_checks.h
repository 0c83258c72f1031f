// Checks of the recording files commands are given.
#pragma once

#include <string>

namespace app {

// "" when `path` is a readable recording with media data ('mdat'); else what is wrong.
std::string CheckRecording(const std::string& path);

// "" when `path` can be kept in the upload queue's files (no tab, newline or other control
// character, at most 255 bytes once spaces and percent signs are escaped); else why not.
std::string CheckQueuedPath(const std::string& path);

// The absolute, resolved form of an existing `path`; "" when it cannot be resolved.
std::string AbsolutePath(const std::string& path);

}  // namespace app
