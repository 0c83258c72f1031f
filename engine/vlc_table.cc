#include "engine/vlc_table.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <vector>

namespace selvo {

namespace {

// One code while the table is built: `code` holds the bits not yet consumed by the
// levels above, left-aligned in 32 bits; `length` counts them.
struct VlcCodeword {
  uint32_t code;
  uint8_t length;
  uint16_t symbol;
};

}  // namespace

// Orders codes by value; the lowest bit is dropped so that the comparison cannot
// overflow when the value is used as a signed difference.
static bool compare_vlc_codewords(const VlcCodeword& a, const VlcCodeword& b) {
  return (a.code >> 1) < (b.code >> 1);
}

// Fills the table of 2^bits entries at `offset` with `codes` (sorted) and appends the
// sub-tables they need. Returns false on overlapping codes or when the storage is short.
static bool build_vlc_table(VlcTable* vlc, int offset, int bits, const VlcCodeword* codes, int count) {
  const int size = 1 << bits;
  VlcEntry* table = vlc->table + offset;
  for (int i = 0; i < size; ++i) table[i] = {0, 0};

  for (int i = 0; i < count;) {
    const VlcCodeword& word = codes[i];
    if (word.length <= bits) {
      const int index = static_cast<int>(word.code >> (32 - bits));
      const int span = 1 << (bits - word.length);
      for (int j = 0; j < span; ++j) {
        if (table[index + j].length != 0) {
          std::printf("incorrect codes\n");
          return false;
        }
        table[index + j] = {static_cast<int16_t>(word.symbol), static_cast<int16_t>(word.length)};
      }
      ++i;
      continue;
    }
    // Longer codes sharing this first-level index go into one sub-table.
    const uint32_t prefix = word.code >> (32 - bits);
    int end = i;
    int longest = 0;
    while (end < count && codes[end].length > bits && (codes[end].code >> (32 - bits)) == prefix) {
      longest = std::max(longest, codes[end].length - bits);
      ++end;
    }
    if (table[prefix].length != 0) {
      std::printf("incorrect codes\n");
      return false;
    }
    const int sub_bits = std::min(longest, bits);
    const int sub_offset = vlc->table_size;
    if (sub_offset + (1 << sub_bits) > vlc->table_allocated) {
      std::printf("alloc_vlc_table error! the code haven't finished!\n");
      return false;
    }
    vlc->table_size += 1 << sub_bits;
    std::vector<VlcCodeword> rest(codes + i, codes + end);
    for (VlcCodeword& r : rest) {
      r.code <<= bits;
      r.length = static_cast<uint8_t>(r.length - bits);
    }
    if (!build_vlc_table(vlc, sub_offset, sub_bits, rest.data(), static_cast<int>(rest.size()))) {
      return false;
    }
    table = vlc->table + offset;
    table[prefix] = {static_cast<int16_t>(sub_offset), static_cast<int16_t>(-sub_bits)};
    i = end;
  }
  return true;
}

int init_vlc_sparse(VlcTable* vlc, int index_bits, int code_count, const uint8_t* lengths,
                    const void* codes, int code_stride, int code_size) {
  std::vector<VlcCodeword> longer;
  std::vector<VlcCodeword> shorter;
  const auto* base = static_cast<const uint8_t*>(codes);
  for (int i = 0; i < code_count; ++i) {
    const int length = lengths[i];
    if (length == 0) continue;
    if (length > 32) {
      std::printf("incorrect codes\n");
      return -1;
    }
    uint32_t value = 0;
    const uint8_t* at = base + static_cast<ptrdiff_t>(i) * code_stride;
    if (code_size == 1) {
      value = *at;
    } else if (code_size == 2) {
      uint16_t v;
      std::memcpy(&v, at, 2);
      value = v;
    } else {
      std::memcpy(&value, at, 4);
    }
    VlcCodeword word{length == 32 ? value : value << (32 - length), static_cast<uint8_t>(length),
                 static_cast<uint16_t>(i)};
    (length > index_bits ? longer : shorter).push_back(word);
  }
  std::sort(longer.begin(), longer.end(), compare_vlc_codewords);
  std::sort(shorter.begin(), shorter.end(), compare_vlc_codewords);
  std::vector<VlcCodeword> all = std::move(longer);
  all.insert(all.end(), shorter.begin(), shorter.end());

  vlc->bits = index_bits;
  vlc->table_size = 1 << index_bits;
  if (vlc->table_size > vlc->table_allocated) {
    std::printf("alloc_vlc_table error! the code haven't finished!\n");
    return -1;
  }
  if (!build_vlc_table(vlc, 0, index_bits, all.data(), static_cast<int>(all.size()))) return -1;
  if (vlc->table_size != vlc->table_allocated) {
    std::printf("needed %d had %d\n", vlc->table_size, vlc->table_allocated);
  }
  return 0;
}

}  // namespace selvo
