// Fuzzes the box walker with arbitrary files.
#include <cstdint>
#include <cstdio>
#include <vector>

#include "engine/box_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  std::vector<uint8_t> copy(data, data + size);
  FILE* stream = fmemopen(copy.data(), copy.size(), "rb");
  if (!stream) return 0;
  uint32_t payload = 0;
  selvo::SeekToMediaTag(stream, selvo::MakeTag("mdat"), &payload);
  selvo::SeekToMediaTrak(stream, selvo::MakeTag("vide"));
  const int64_t trak = selvo::SeekToMediaTrak(stream, selvo::MakeTag("soun"));
  if (trak >= 0 && fseeko(stream, trak, SEEK_SET) == 0) {
    uint32_t box_size;
    uint32_t type;
    if (selvo::ReadMediaTagPair(stream, &box_size, &type)) {
      std::vector<uint32_t> offsets;
      selvo::SearchMediaObjects(stream, box_size - 8, selvo::stscHierarchy, 4, &offsets);
    }
  }
  std::fclose(stream);
  return 0;
}
