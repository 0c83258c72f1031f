#include "engine/aac_tables.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine/vlc_table.h"

namespace selvo {
namespace {

struct Codebook {
  std::string name;
  int count;
  const uint8_t* bits;
  const void* codes;
  int code_size;
  int index_bits;
  int table_size;
};

std::vector<Codebook> Codebooks() {
  return {
      {"scalefactor", 121, aac_scalefactor_bits, aac_scalefactor_code, 4, 7, 352},
      {"spectrum 1", 81, bits1, codes1, 2, 8, 304},
      {"spectrum 2", 81, bits2, codes2, 2, 8, 270},
      {"spectrum 3", 81, bits3, codes3, 2, 8, 550},
      {"spectrum 4", 81, bits4, codes4, 2, 8, 300},
      {"spectrum 5", 81, bits5, codes5, 2, 8, 328},
      {"spectrum 6", 81, bits6, codes6, 2, 8, 294},
      {"spectrum 7", 64, bits7, codes7, 2, 8, 306},
      {"spectrum 8", 64, bits8, codes8, 2, 8, 268},
      {"spectrum 9", 169, bits9, codes9, 2, 8, 510},
      {"spectrum 10", 169, bits10, codes10, 2, 8, 366},
      {"spectrum 11", 289, bits11, codes11, 2, 8, 462},
  };
}

uint32_t CodeOf(const Codebook& book, int i) {
  return book.code_size == 4 ? static_cast<const uint32_t*>(book.codes)[i]
                             : static_cast<const uint16_t*>(book.codes)[i];
}

// Decodes the code of symbol `i` through the lookup table, bit by bit from its value.
int DecodeThroughTable(const VlcTable& vlc, uint32_t code, int length, int* used) {
  uint64_t stream = uint64_t{code} << (64 - length);  // the code, then zero bits
  int consumed = 0;
  auto show = [&](int n) { return static_cast<int>((stream << consumed) >> (64 - n)); };
  int bits = vlc.bits;
  const VlcEntry* entry = &vlc.table[show(bits)];
  while (entry->length < 0) {
    consumed += bits;
    bits = -entry->length;
    entry = &vlc.table[entry->symbol + show(bits)];
  }
  *used = consumed + entry->length;
  return entry->symbol;
}

TEST(AacTablesTest, EveryCodebookIsACompletePrefixCodeDecodedByItsLookupTable) {
  for (const Codebook& book : Codebooks()) {
    SCOPED_TRACE(book.name);
    // Kraft sum exactly 1 (in units of 2^-32) and no code a prefix of another.
    uint64_t kraft = 0;
    std::vector<std::pair<uint64_t, int>> aligned;
    for (int i = 0; i < book.count; ++i) {
      const int length = book.bits[i];
      ASSERT_GT(length, 0);
      ASSERT_LE(length, 19);
      ASSERT_LT(CodeOf(book, i), 1u << length);
      kraft += uint64_t{1} << (32 - length);
      aligned.emplace_back(uint64_t{CodeOf(book, i)} << (32 - length), length);
    }
    EXPECT_EQ(kraft, uint64_t{1} << 32);
    std::sort(aligned.begin(), aligned.end());
    for (size_t i = 1; i < aligned.size(); ++i) {
      const uint64_t end = aligned[i - 1].first + (uint64_t{1} << (32 - aligned[i - 1].second));
      EXPECT_LE(end, aligned[i].first) << "code " << i << " overlaps the one before";
    }

    std::vector<VlcEntry> storage(static_cast<size_t>(book.table_size));
    VlcTable vlc;
    vlc.table = storage.data();
    vlc.table_allocated = book.table_size;
    ASSERT_EQ(init_vlc_sparse(&vlc, book.index_bits, book.count, book.bits, book.codes,
                              book.code_size, book.code_size),
              0);
    EXPECT_EQ(vlc.table_size, book.table_size);
    for (int i = 0; i < book.count; ++i) {
      int used = 0;
      EXPECT_EQ(DecodeThroughTable(vlc, CodeOf(book, i), book.bits[i], &used), i);
      EXPECT_EQ(used, book.bits[i]);
    }
  }
}

TEST(AacTablesTest, OverlappingCodesAndShortStorageAreRefused) {
  const uint8_t lengths[] = {1, 2, 2};
  const uint8_t overlapping[] = {0, 0, 1};  // "0" and "00"
  std::vector<VlcEntry> storage(16);
  VlcTable vlc;
  vlc.table = storage.data();
  vlc.table_allocated = 16;
  EXPECT_EQ(init_vlc_sparse(&vlc, 2, 3, lengths, overlapping, 1, 1), -1);

  // A 19-bit code needs sub-tables that a first level alone cannot hold.
  vlc.table_allocated = 128;
  std::vector<VlcEntry> small(128);
  vlc.table = small.data();
  EXPECT_EQ(init_vlc_sparse(&vlc, 7, 121, aac_scalefactor_bits, aac_scalefactor_code, 4, 4), -1);
}

TEST(AacTablesTest, BandLayoutsCoverTheWindowInRisingBands) {
  for (int index = 0; index < kAacSamplingIndices; ++index) {
    SCOPED_TRACE(index);
    for (auto [count, offsets, window] :
         {std::tuple{aac_num_swb_1024[index], swb_offset_1024[index], 1024},
          std::tuple{aac_num_swb_128[index], swb_offset_128[index], 128}}) {
      EXPECT_EQ(offsets[0], 0);
      EXPECT_EQ(offsets[count], window);
      for (int band = 0; band < count; ++band) {
        EXPECT_LT(offsets[band], offsets[band + 1]);
        EXPECT_EQ(offsets[band] % 4, 0);
      }
    }
  }
  EXPECT_EQ(mpeg4audio_sample_rates[4], 44100u);
  EXPECT_EQ(mpeg4audio_sample_rates[7], 22050u);
  EXPECT_EQ(mpeg4audio_sample_rates[13], 0u);
}

}  // namespace
}  // namespace selvo
