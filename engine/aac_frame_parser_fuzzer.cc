// Fuzzes the AAC frame walker: the first byte picks the sampling-frequency index, the rest
// is the unread audio data.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "engine/aac_frame_parser.h"
#include "engine/aac_tables.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const int index = data[0] % selvo::kAacSamplingIndices;
  // An exact-size copy, so that any read past the data is caught.
  std::vector<uint8_t> frame(data + 1, data + size);
  int elements = 0;
  const int length =
      selvo::AacFrameLength(frame.data(), frame.size(), index, /*report=*/false, &elements);
  if (length > 0 && static_cast<size_t>(length) > frame.size()) std::abort();
  if (length == 0) std::abort();
  return 0;
}
