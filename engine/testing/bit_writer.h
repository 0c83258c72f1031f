// Test helper: writes big-endian bit fields, to hand-make AAC frames.
#pragma once

#include <cstdint>
#include <vector>

namespace selvo::testing {

class BitWriter {
 public:
  // Appends the low `count` bits of `value`, most significant first (bits above 32 are 0).
  BitWriter& Put(uint32_t value, int count) {
    for (int i = count - 1; i >= 0; --i) {
      if (bits_ % 8 == 0) bytes_.push_back(0);
      if (i < 32 && ((value >> i) & 1)) bytes_.back() |= static_cast<uint8_t>(0x80 >> (bits_ % 8));
      ++bits_;
    }
    return *this;
  }
  size_t bits() const { return bits_; }
  // The bytes written, the last one padded with zero bits.
  const std::vector<uint8_t>& bytes() const { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
  size_t bits_ = 0;
};

}  // namespace selvo::testing
