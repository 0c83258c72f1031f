// Two-level lookup tables for the Huffman codebooks of the AAC frame walker.
//
// A table is indexed with the next `bits` bits of the stream. An entry either gives a
// symbol and its code length, or (negative length) points to a sub-table that is indexed
// with the next -length bits. Codes no longer than the index width therefore take one
// lookup, and the longest AAC code (19 bits) takes three.
#pragma once

#include <cstdint>

namespace selvo {

struct VlcEntry {
  int16_t symbol;  // decoded symbol, or the offset of a sub-table
  int16_t length;  // code length in bits, or minus the index width of a sub-table
};

struct VlcTable {
  int bits = 0;               // index width of the first level
  VlcEntry* table = nullptr;  // storage, owned by the caller
  int table_size = 0;         // entries in use
  int table_allocated = 0;    // entries available
};

// Builds `vlc` (whose table/table_allocated the caller provides) for the prefix code of
// `code_count` codes. Code i has length lengths[i] (0: unused) and its value right-aligned
// in the `code_size`-byte (1, 2 or 4) element at codes + i * code_stride; its symbol is i.
// Prints a message and returns -1 on overlapping codes or when the table does not fit;
// returns 0 otherwise.
int init_vlc_sparse(VlcTable* vlc, int index_bits, int code_count, const uint8_t* lengths,
                    const void* codes, int code_stride, int code_size);

}  // namespace selvo
