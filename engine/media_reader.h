// Reading recordings while the recorder still appends to them.
//
// A recording being written has no index yet, so the reader finds where its 'mdat' payload
// starts and then reads raw samples in order through a plain descriptor into a fixed,
// preallocated buffer (a MediaPacket). The packet makers consume from that buffer; the
// reader tops it up as the file grows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "engine/stream_control.h"

namespace selvo {

// What a packet maker or read step left behind in a MediaPacket.
enum PacketProcessState : int {
  kPacketFull = -1,     // the buffer is full and nothing could be consumed: fatal
  kPacketEmpty = 0,     // nothing buffered: read afresh
  kPacketData = 1,      // unconsumed data available
  kPacketNeedData = 2,  // the next unit is incomplete: read more
  kPacketConsumed = 3,  // everything consumed (or the media ended): reset and read afresh
};

inline constexpr int64_t kUnknownEnd = INT64_MAX;
inline constexpr size_t kVideoPacketCapacity = 131072;
inline constexpr size_t kAudioPacketCapacity = 65536;

// A read buffer over one recording file.
struct MediaPacket {
  explicit MediaPacket(size_t capacity_bytes)
      : storage(new uint8_t[capacity_bytes]), buffer(storage.get()), capacity(capacity_bytes) {}
  ~MediaPacket() { Unmap(); }
  MediaPacket(const MediaPacket&) = delete;
  MediaPacket& operator=(const MediaPacket&) = delete;

  std::unique_ptr<uint8_t[]> storage;
  uint8_t* buffer;
  size_t filled = 0;    // bytes in the buffer
  size_t position = 0;  // bytes of the buffer consumed
  size_t capacity;
  int64_t file_offset = 0;           // file offset of the next byte to read
  int64_t end_offset = kUnknownEnd;  // file offset where the media data ends, if known

  const uint8_t* unread_data() const { return buffer + position; }
  size_t unread() const { return filled - position; }
  // True when every byte of the media data has been read into the buffer: nothing more
  // will come, so a short tail is all there is.
  bool AtEnd() const { return end_offset != kUnknownEnd && file_offset >= end_offset; }
  void Reset() {
    filled = 0;
    position = 0;
  }

  // The media data of a finished recording can be mapped instead of read: `buffer` then
  // points into the read-only mapping, which holds all of the data at once, and the read
  // step has nothing to do. Bytes reach the access units and TS packets with no copy into
  // the read buffer first.
  bool mapped() const { return mapping != nullptr; }
  void Unmap();
  void* mapping = nullptr;
  size_t mapping_length = 0;
};

// Waits until every file of `files` (path, descriptor) exists with a size above 0 and is
// open read-only, polling every 50 ms. Returns 1 when all are open; 0 when the stop or the
// recorder-stopped flag was raised, after closing what was opened. With
// `control.recordings_final` a missing file is not waited for: returns 0 at once.
int WaitMediaReady(const StreamControl& control, std::vector<std::pair<std::string, int>>& files);

// One read step on `packet` from `fd`; returns the new state. State 0: read afresh into
// the empty buffer (nothing read: 0, else 1). State 2: when more than 4095 bytes were
// consumed, move the unconsumed bytes to the start; a full buffer gives -1; read into the
// free part (nothing read: 2, else 1). Other states are returned unchanged. Reads never go
// past the packet's end offset.
PacketProcessState ReadMediaData(int fd, MediaPacket& packet, PacketProcessState state);

// Positions the reader at the next unconsumed media byte of `fd`.
// `position` >= 0 (a finished file): finds 'mdat' through the index, fails (-1) when it is
// missing or shorter than the position, sets the packet to read from payload + position and
// its end offset to the payload end. With `control.recordings_final` the end offset is
// also capped at the file size, and the media data is mapped into memory when it can be.
// `position` == -1 (the file is still being written): reads until the bytes 'mdat' show up
// (waiting 200 ms whenever no data came), points the packet's read position at the payload
// and sets `position` to 0; the end stays unknown. A buffer full before 'mdat' gives -1.
// Returns 1 when ready, 0 when the stop flag ended the wait, -1 on a media error.
int SeekToMediaBoxOffset(const StreamControl& control, int fd, int64_t& position,
                         MediaPacket& packet, PacketProcessState& state);

}  // namespace selvo
