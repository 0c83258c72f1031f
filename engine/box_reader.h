// The box walker: finds boxes in QuickTime / ISO base media files (big-endian box
// headers of size and type, nested by payload). The engine reads only what it needs
// from a file's index: the sample entries of a sample file and where 'mdat' starts.
//
// Every function works on a stdio stream and reads only through it, so a damaged file
// can make them fail but never read outside the file.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

namespace selvo {

// A box type: the four type characters read as one big-endian 32-bit value.
using MediaObjectTag = uint32_t;
// The handler type of a track ('vide' or 'soun'), in the same form.
using MediaType = uint32_t;

constexpr MediaObjectTag MakeTag(const char (&text)[5]) {
  return (uint32_t{static_cast<uint8_t>(text[0])} << 24) |
         (uint32_t{static_cast<uint8_t>(text[1])} << 16) |
         (uint32_t{static_cast<uint8_t>(text[2])} << 8) | uint32_t{static_cast<uint8_t>(text[3])};
}

// Tag paths, searched level by level below a 'trak'.
extern const MediaObjectTag trakHierarchy[1];  // trak
extern const MediaObjectTag hdlrHierarchy[2];  // mdia, hdlr
extern const MediaObjectTag stscHierarchy[4];  // mdia, minf, stbl, stsd
extern const MediaObjectTag stszHierarchy[4];  // mdia, minf, stbl, stsz
extern const MediaObjectTag sttsHierarchy[4];  // mdia, minf, stbl, stts

// Reads the box header at the stream's position. On success returns 1 with `size` such
// that size - 8 bytes of the box follow what was read (also for a 64-bit size) and `type`.
// Sizes 0 (box runs to the end of the file) and 2 to 7, 64-bit sizes that do not fit in
// 32 bits or are smaller than their header, and short reads return 0.
int ReadMediaTagPair(FILE* stream, uint32_t* size, uint32_t* type);

// Top-level search after the first box (the file type box): returns the file offset of the
// payload of the first top-level box of type `tag` and its payload size, or -1.
int64_t SeekToMediaTag(FILE* stream, MediaObjectTag tag, uint32_t* payload_size);

// Depth-first search along `path` (depth tags) among the boxes that start within the next
// `bytes` bytes of the stream. Appends to `offsets` the start offsets of the boxes of the
// last tag. Returns true if the first tag was found and every descent succeeded.
bool SearchMediaObjects(FILE* stream, uint32_t bytes, const MediaObjectTag* path, int depth,
                        std::vector<uint32_t>* offsets);

// File offset of the first 'trak' in 'moov' whose handler type is `type`, or -1.
int64_t SeekToMediaTrak(FILE* stream, MediaType type);

}  // namespace selvo
