// Fuzzes the media-parameter reader: the input is split into a video and an audio sample
// file (the first two bytes give the split).
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "engine/media_segmenter.h"

namespace {

const std::string& Directory() {
  static const std::string directory = [] {
    // In memory when the machine has a tmpfs there: this fuzzer writes two files per input.
    char shm[] = "/dev/shm/selvo-fuzz-XXXXXX";
    char tmp[] = "/tmp/selvo-fuzz-XXXXXX";
    if (mkdtemp(shm)) return std::string(shm);
    if (!mkdtemp(tmp)) std::abort();
    return std::string(tmp);
  }();
  return directory;
}

void Write(const std::string& path, const uint8_t* data, size_t size) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) std::abort();
  if (size > 0) std::fwrite(data, 1, size, file);
  std::fclose(file);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  size_t split = (size_t{data[0]} << 8 | data[1]) % (size - 1);
  data += 2;
  size -= 2;
  const std::string video = Directory() + "/video.mov";
  const std::string audio = Directory() + "/audio.mov";
  Write(video, data, split);
  Write(audio, data + split, size - split);
  selvo::MediaSegmenter segmenter;
  bool is_amr = false;
  segmenter.InitMediaParameters(10, video.c_str(), audio.c_str(), &is_amr);
  segmenter.InitMediaParameters(audio.c_str());
  return 0;
}
