#include "engine/buffer_writer.h"

#include <cstdio>
#include <cstdlib>

namespace selvo {

namespace {

constexpr size_t kGrowthStep = 4096;

[[noreturn]] void OutOfMemory(size_t wanted) {
  std::fprintf(stderr, "BufferWriter: cannot allocate %zu bytes\n", wanted);
  std::abort();
}

}  // namespace

BufferWriter::BufferWriter(size_t initial_capacity) {
  if (initial_capacity == 0) return;
  data_ = static_cast<uint8_t*>(std::malloc(initial_capacity));
  if (!data_) OutOfMemory(initial_capacity);
  capacity_ = initial_capacity;
}

BufferWriter::~BufferWriter() { std::free(data_); }

void BufferWriter::Grow(size_t count) {
  if (count > SIZE_MAX - size_ - kGrowthStep) OutOfMemory(SIZE_MAX);
  size_t wanted = (size_ + count + kGrowthStep - 1) / kGrowthStep * kGrowthStep;
  auto* grown = static_cast<uint8_t*>(std::realloc(data_, wanted));
  if (!grown) OutOfMemory(wanted);
  data_ = grown;
  capacity_ = wanted;
}

}  // namespace selvo
