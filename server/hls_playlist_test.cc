#include "server/hls_playlist.h"

#include <gtest/gtest.h>

namespace server {
namespace {

TEST(HlsPlaylistTest, LiveAndEnded) {
  std::vector<PlaylistSegment> segments = {{"k_1.ts", 1'000'000}, {"k_2.ts", 1'433'000}};
  EXPECT_EQ(BuildMediaPlaylist(segments, false),
            "#EXTM3U\n#EXT-X-VERSION:3\n#EXT-X-TARGETDURATION:1\n#EXT-X-MEDIA-SEQUENCE:0\n"
            "#EXTINF:1.000,\nk_1.ts\n#EXTINF:1.433,\nk_2.ts\n");
  std::string ended = BuildMediaPlaylist(segments, true);
  EXPECT_NE(ended.find("#EXT-X-PLAYLIST-TYPE:VOD\n"), std::string::npos);
  EXPECT_TRUE(ended.ends_with("k_2.ts\n#EXT-X-ENDLIST\n"));
  // The target duration covers the longest segment, rounded.
  EXPECT_NE(BuildMediaPlaylist({{"a.ts", 2'600'000}}, false).find("TARGETDURATION:3\n"),
            std::string::npos);
  EXPECT_NE(BuildMediaPlaylist({}, false).find("TARGETDURATION:1\n"), std::string::npos);
}

}  // namespace
}  // namespace server
