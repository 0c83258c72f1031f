#include "server/hls_playlist.h"

#include <algorithm>
#include <cstdio>

namespace server {

std::string BuildMediaPlaylist(const std::vector<PlaylistSegment>& segments, bool ended) {
  int64_t longest = 0;
  for (const auto& segment : segments) longest = std::max(longest, segment.duration_us);
  int64_t target = std::max<int64_t>(1, (longest + 500'000) / 1'000'000);
  std::string text = "#EXTM3U\n#EXT-X-VERSION:3\n#EXT-X-TARGETDURATION:" +
                     std::to_string(target) + "\n#EXT-X-MEDIA-SEQUENCE:0\n";
  if (ended) text += "#EXT-X-PLAYLIST-TYPE:VOD\n";
  char line[64];
  for (const auto& segment : segments) {
    std::snprintf(line, sizeof line, "#EXTINF:%lld.%03lld,\n",
                  static_cast<long long>(segment.duration_us / 1'000'000),
                  static_cast<long long>(segment.duration_us / 1000 % 1000));
    text += line;
    text += segment.uri;
    text += '\n';
  }
  if (ended) text += "#EXT-X-ENDLIST\n";
  return text;
}

}  // namespace server
