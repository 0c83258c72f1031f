#include "engine/media_reader.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "engine/box_reader.h"

namespace selvo {

namespace {

constexpr int kFilePollMs = 50;
constexpr int kDataPollMs = 200;
constexpr size_t kMoveThreshold = 4095;

void CloseAll(std::vector<std::pair<std::string, int>>& files) {
  for (auto& file : files) {
    if (file.second >= 0) ::close(file.second);
    file.second = -1;
  }
}

// Reads up to `count` bytes at the packet's file offset, never past its end offset.
ssize_t ReadSome(int fd, MediaPacket& packet, uint8_t* into, size_t count) {
  if (packet.end_offset != kUnknownEnd) {
    const int64_t left = packet.end_offset - packet.file_offset;
    if (left <= 0) return 0;
    if (static_cast<uint64_t>(left) < count) count = static_cast<size_t>(left);
  }
  for (;;) {
    const ssize_t n = ::pread(fd, into, count, packet.file_offset);
    if (n < 0 && errno == EINTR) continue;
    if (n > 0) packet.file_offset += n;
    return n;
  }
}

// Maps [start, end) of `fd` read-only into `packet`. False (and the packet as it was) when
// the system cannot map the file.
bool MapMediaData(int fd, MediaPacket& packet, int64_t start, int64_t end) {
  const long page = ::sysconf(_SC_PAGESIZE);
  if (page <= 0 || end <= start) return false;
  const int64_t aligned = start / page * page;
  const size_t length = static_cast<size_t>(end - aligned);
  void* mapping = ::mmap(nullptr, length, PROT_READ, MAP_PRIVATE, fd, aligned);
  if (mapping == MAP_FAILED) return false;
  ::posix_madvise(mapping, length, POSIX_MADV_SEQUENTIAL);
  packet.Unmap();
  packet.mapping = mapping;
  packet.mapping_length = length;
  packet.buffer = static_cast<uint8_t*>(mapping) + (start - aligned);
  packet.capacity = static_cast<size_t>(end - start);
  packet.filled = packet.capacity;
  packet.position = 0;
  packet.file_offset = end;
  return true;
}

}  // namespace

void MediaPacket::Unmap() {
  if (!mapping) return;
  ::munmap(mapping, mapping_length);
  mapping = nullptr;
  mapping_length = 0;
  buffer = storage.get();
  filled = 0;
  position = 0;
}

int WaitMediaReady(const StreamControl& control, std::vector<std::pair<std::string, int>>& files) {
  for (auto& file : files) file.second = -1;
  for (;;) {
    if (!control.recordings_final) control.Pause(kFilePollMs);
    if (control.StopRequested() || control.RecorderStopped()) {
      CloseAll(files);
      return 0;
    }
    bool all_open = true;
    for (auto& file : files) {
      if (file.second >= 0) continue;
      struct stat info;
      if (::stat(file.first.c_str(), &info) == 0 && info.st_size > 0) {
        file.second = ::open(file.first.c_str(), O_RDONLY | O_CLOEXEC);
      }
      if (file.second < 0) all_open = false;
    }
    if (all_open) return 1;
    if (control.recordings_final) {
      CloseAll(files);
      return 0;
    }
  }
}

PacketProcessState ReadMediaData(int fd, MediaPacket& packet, PacketProcessState state) {
  if (packet.mapped()) {
    // Everything is there already; the mapping is never written.
    if (state == kPacketEmpty) return packet.unread() > 0 ? kPacketData : kPacketEmpty;
    return state;
  }
  if (state == kPacketEmpty) {
    packet.Reset();
    const ssize_t n = ReadSome(fd, packet, packet.buffer, packet.capacity);
    if (n <= 0) return kPacketEmpty;
    packet.filled = static_cast<size_t>(n);
    return kPacketData;
  }
  if (state == kPacketNeedData) {
    if (packet.position > kMoveThreshold) {
      std::memmove(packet.buffer, packet.buffer + packet.position, packet.unread());
      packet.filled -= packet.position;
      packet.position = 0;
    }
    if (packet.filled == packet.capacity) return kPacketFull;
    const ssize_t n =
        ReadSome(fd, packet, packet.buffer + packet.filled, packet.capacity - packet.filled);
    if (n <= 0) return kPacketNeedData;
    packet.filled += static_cast<size_t>(n);
    return kPacketData;
  }
  return state;
}

int SeekToMediaBoxOffset(const StreamControl& control, int fd, int64_t& position,
                         MediaPacket& packet, PacketProcessState& state) {
  packet.Unmap();
  packet.Reset();
  if (position != -1) {
    // A finished file: its index says where the media data is. The stream works on a
    // duplicate of the descriptor; reads below use explicit offsets.
    const int copy = ::dup(fd);
    if (copy < 0) return -1;
    FILE* stream = ::fdopen(copy, "rb");
    if (!stream) {
      ::close(copy);
      return -1;
    }
    uint32_t payload_size = 0;
    const int64_t payload = SeekToMediaTag(stream, MakeTag("mdat"), &payload_size);
    std::fclose(stream);
    if (payload < 0 || position < 0 || payload_size < position) return -1;
    packet.file_offset = payload + position;
    packet.end_offset = payload + payload_size;
    state = kPacketEmpty;
    if (control.recordings_final) {
      struct stat info;
      if (::fstat(fd, &info) != 0) return -1;
      if (info.st_size < packet.end_offset) packet.end_offset = info.st_size;
      if (MapMediaData(fd, packet, packet.file_offset, packet.end_offset)) state = kPacketData;
    }
    return 1;
  }

  // A growing file: look for the bytes 'mdat' in what has been written so far.
  packet.file_offset = 0;
  packet.end_offset = kUnknownEnd;
  state = kPacketEmpty;
  while (!control.StopRequested()) {
    state = ReadMediaData(fd, packet, state);
    if (state == kPacketFull) return -1;
    if (state != kPacketData) {
      control.Pause(kDataPollMs);
      continue;
    }
    size_t payload = 0;
    for (size_t i = 4; i + 4 <= packet.filled; ++i) {
      const uint8_t* at = packet.buffer + i;
      if (at[0] == 'm' && at[1] == 'd' && at[2] == 'a' && at[3] == 't') {
        const uint8_t* size = at - 4;
        const bool large = size[0] == 0 && size[1] == 0 && size[2] == 0 && size[3] == 1;
        payload = i + (large ? 12 : 4);
        break;
      }
    }
    if (payload == 0 || payload >= packet.filled) {
      state = kPacketNeedData;
      continue;
    }
    packet.position = payload;
    position = 0;
    return 1;
  }
  return state == kPacketFull ? -1 : 0;
}

}  // namespace selvo
