// The text of an HLS media playlist.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace server {

struct PlaylistSegment {
  std::string uri;  // relative to the playlist
  int64_t duration_us = 0;
};

// A playlist of `segments` in order. Without `ended` it is live: no
// EXT-X-ENDLIST, so players keep reloading it. The target duration is the
// longest segment rounded to whole seconds (at least 1): one-second pieces
// give the shortest reload interval and start-up distance players allow.
std::string BuildMediaPlaylist(const std::vector<PlaylistSegment>& segments, bool ended);

}  // namespace server
