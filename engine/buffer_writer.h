// BufferWriter: the growable byte buffer that transport-stream pieces, access units and
// ADTS runs are assembled in. It only grows, in steps of 4096 bytes, so a worker's
// buffers settle at their working size after the first seconds and never shrink back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace selvo {

class BufferWriter {
 public:
  // Starts with `initial_capacity` bytes allocated (0: nothing allocated yet).
  explicit BufferWriter(size_t initial_capacity = 0);
  ~BufferWriter();
  BufferWriter(const BufferWriter&) = delete;
  BufferWriter& operator=(const BufferWriter&) = delete;

  const uint8_t* data() const { return data_; }
  uint8_t* data() { return data_; }
  size_t size() const { return size_; }
  size_t capacity() const { return capacity_; }
  bool empty() const { return size_ == 0; }

  // Makes room for `count` more bytes: when fewer are free, the capacity becomes the next
  // multiple of 4096 at or above size + count. Allocation failure ends the process.
  void Reserve(size_t count) {
    if (capacity_ - size_ < count) Grow(count);
  }

  // Appends `count` uninitialised bytes and returns where they start (valid until the
  // next call that may grow the buffer).
  uint8_t* Extend(size_t count) {
    Reserve(count);
    uint8_t* at = data_ + size_;
    size_ += count;
    return at;
  }

  void Append(const void* bytes, size_t count) {
    if (count == 0) return;
    std::memcpy(Extend(count), bytes, count);
  }
  void AppendByte(uint8_t byte) { *Extend(1) = byte; }
  void AppendFill(uint8_t byte, size_t count) {
    if (count == 0) return;
    std::memset(Extend(count), byte, count);
  }

  // Empties the buffer; the capacity stays.
  void Clear() { size_ = 0; }
  // Drops bytes from the end.
  void Truncate(size_t size) {
    if (size < size_) size_ = size;
  }

 private:
  void Grow(size_t count);

  uint8_t* data_ = nullptr;
  size_t size_ = 0;
  size_t capacity_ = 0;
};

}  // namespace selvo
