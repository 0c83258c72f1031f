// Small helpers for media the application shows.
#pragma once

namespace selvo {

class MediaUtils {
 public:
  // Total duration in whole seconds of an HLS playlist: the sum of the whole-second parts
  // of its #EXTINF durations (so #EXTINF:9.97, counts 9). Lines are the text before each
  // newline; a last line without a newline is not counted, nor are lines shorter than 9
  // or longer than 1023 characters. A null text gives 0. The sum never overflows: it stops
  // at the largest int.
  static int ParseDuarationFromM3U8(const char* playlist);
};

}  // namespace selvo
