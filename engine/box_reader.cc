#include "engine/box_reader.h"

#include <sys/types.h>

namespace selvo {

const MediaObjectTag trakHierarchy[1] = {MakeTag("trak")};
const MediaObjectTag hdlrHierarchy[2] = {MakeTag("mdia"), MakeTag("hdlr")};
const MediaObjectTag stscHierarchy[4] = {MakeTag("mdia"), MakeTag("minf"), MakeTag("stbl"),
                                         MakeTag("stsd")};
const MediaObjectTag stszHierarchy[4] = {MakeTag("mdia"), MakeTag("minf"), MakeTag("stbl"),
                                         MakeTag("stsz")};
const MediaObjectTag sttsHierarchy[4] = {MakeTag("mdia"), MakeTag("minf"), MakeTag("stbl"),
                                         MakeTag("stts")};

namespace {

bool ReadU32(FILE* stream, uint32_t* value) {
  uint8_t bytes[4];
  if (std::fread(bytes, 1, 4, stream) != 4) return false;
  *value = (uint32_t{bytes[0]} << 24) | (uint32_t{bytes[1]} << 16) | (uint32_t{bytes[2]} << 8) |
           bytes[3];
  return true;
}

bool Skip(FILE* stream, int64_t count) { return fseeko(stream, count, SEEK_CUR) == 0; }

}  // namespace

int ReadMediaTagPair(FILE* stream, uint32_t* size, uint32_t* type) {
  uint32_t box_size;
  if (!ReadU32(stream, &box_size)) return 0;
  if (box_size > 7) {
    if (!ReadU32(stream, type)) return 0;
    *size = box_size;
    return 1;
  }
  if (box_size != 1) return 0;
  uint32_t high;
  uint32_t low;
  if (!ReadU32(stream, type) || !ReadU32(stream, &high) || !ReadU32(stream, &low)) return 0;
  // The 16-byte header must fit in the box, and offsets here are 32-bit.
  if (high != 0 || low < 16) return 0;
  *size = low - 8;
  return 1;
}

int64_t SeekToMediaTag(FILE* stream, MediaObjectTag tag, uint32_t* payload_size) {
  if (fseeko(stream, 0, SEEK_SET) != 0) return -1;
  uint32_t first_size;
  if (!ReadU32(stream, &first_size) || first_size < 4) return -1;
  if (!Skip(stream, int64_t{first_size} - 4)) return -1;
  for (;;) {
    uint32_t size;
    uint32_t type;
    if (!ReadMediaTagPair(stream, &size, &type)) return -1;
    const uint32_t payload = size - 8;
    if (type == tag) {
      const off_t offset = ftello(stream);
      if (offset < 0) return -1;
      *payload_size = payload;
      return offset;
    }
    if (!Skip(stream, payload)) return -1;
  }
}

bool SearchMediaObjects(FILE* stream, uint32_t bytes, const MediaObjectTag* path, int depth,
                        std::vector<uint32_t>* offsets) {
  if (depth < 1) return false;
  std::vector<uint32_t> matches;
  const off_t range_start = ftello(stream);
  if (range_start < 0) return false;
  for (;;) {
    const off_t start = ftello(stream);
    if (start < 0) return false;
    if (static_cast<uint64_t>(start - range_start) >= bytes) break;
    uint32_t size;
    uint32_t type;
    if (!ReadMediaTagPair(stream, &size, &type)) return false;
    if (type == path[0]) {
      // Offsets are 32-bit: the index of a sample file sits in its first 4 GiB.
      if (start > static_cast<off_t>(UINT32_MAX)) return false;
      matches.push_back(static_cast<uint32_t>(start));
    }
    if (!Skip(stream, int64_t{size} - 8)) return false;
  }
  if (matches.empty()) return false;
  if (depth == 1) {
    offsets->insert(offsets->end(), matches.begin(), matches.end());
    return true;
  }
  for (uint32_t start : matches) {
    uint32_t size;
    uint32_t type;
    if (fseeko(stream, start, SEEK_SET) != 0 || !ReadMediaTagPair(stream, &size, &type)) {
      return false;
    }
    if (!SearchMediaObjects(stream, size - 8, path + 1, depth - 1, offsets)) return false;
  }
  return true;
}

int64_t SeekToMediaTrak(FILE* stream, MediaType type) {
  uint32_t moov_size;
  if (SeekToMediaTag(stream, MakeTag("moov"), &moov_size) < 0) return -1;
  std::vector<uint32_t> traks;
  if (!SearchMediaObjects(stream, moov_size, trakHierarchy, 1, &traks)) return -1;
  for (uint32_t trak : traks) {
    uint32_t size;
    uint32_t box_type;
    if (fseeko(stream, trak, SEEK_SET) != 0 || !ReadMediaTagPair(stream, &size, &box_type)) {
      return -1;
    }
    std::vector<uint32_t> handlers;
    if (!SearchMediaObjects(stream, size - 8, hdlrHierarchy, 2, &handlers) || handlers.empty()) {
      return -1;
    }
    uint32_t handler_type;
    if (fseeko(stream, int64_t{handlers.front()} + 16, SEEK_SET) != 0 ||
        !ReadU32(stream, &handler_type)) {
      return -1;
    }
    if (handler_type == type) return trak;
  }
  return -1;
}

}  // namespace selvo
