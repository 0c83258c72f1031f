#include "engine/media_utils.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

namespace selvo {
namespace {

TEST(MediaUtilsTest, AddsTheWholeSecondsOfPlaylistEntries) {
  struct Case {
    std::string name;
    std::string playlist;
    int seconds;
  };
  const std::string long_line = "#EXTINF:5," + std::string(1020, 'x') + "\n";
  const Case cases[] = {
      {"two entries", "#EXTINF:10.0,\n#EXTINF:4.5,\n", 14},
      {"a real playlist",
       "#EXTM3U\n#EXT-X-TARGETDURATION:10\n#EXTINF:9.97,\n0.ts\n#EXTINF:9.97,\n1.ts\n"
       "#EXTINF:3.2,\n2.ts\n#EXT-X-ENDLIST\n",
       21},
      {"a last line without newline is not counted", "#EXTINF:10.0,\n#EXTINF:4.5,", 10},
      {"lines of 9 characters and more", "#EXTINF:\n#EXTINF:7\n", 7},
      {"lines longer than 1023 characters", long_line + "#EXTINF:2,\n", 2},
      {"a number read as C reads it", "#EXTINF: 7,title\n#EXTINF:+3,\n#EXTINF:abc\n", 10},
      {"carriage returns", "#EXTINF:6.0,\r\nseg.ts\r\n", 6},
      {"negative durations count nothing", "#EXTINF:-1,\n#EXTINF:5,\n", 5},
      {"a duration beyond int stops at the largest",
       "#EXTINF:99999999999999999999999,\n#EXTINF:5,\n", INT_MAX},
      {"a sum beyond int stops at the largest",
       "#EXTINF:2147483000,\n#EXTINF:2147483000,\n#EXTINF:5,\n", INT_MAX},
      {"empty", "", 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(MediaUtils::ParseDuarationFromM3U8(c.playlist.c_str()), c.seconds) << c.name;
  }
  EXPECT_EQ(MediaUtils::ParseDuarationFromM3U8(nullptr), 0);
}

}  // namespace
}  // namespace selvo
