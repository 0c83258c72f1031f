// Any bytes as an uploaded piece: scanning and listing them must not crash.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "server/hls_playlist.h"
#include "server/ts_scan.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  server::PieceScan scan = server::ScanPiece(bytes);
  if (scan.valid) {
    server::BuildMediaPlaylist({{"a_1.ts", scan.EstimatedDurationUs(1'000'000)}}, size % 2 == 0);
  }
  return 0;
}
