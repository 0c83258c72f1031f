// The tables of the AAC standard that the frame walker needs: the Huffman codebooks
// (code values right-aligned, lengths in bits), the scalefactor-band layout per
// sampling-frequency index, and the sampling rates of those indices.
// The definitions are generated (engine/tools/gen_aac_tables.py).
#pragma once

#include <cstdint>

namespace selvo {

// Scalefactor codebook: 121 codes, index = scalefactor difference + 60.
extern const uint32_t aac_scalefactor_code[121];
extern const uint8_t aac_scalefactor_bits[121];

// Spectrum codebooks 1 to 11, indexed by the codeword's value index.
extern const uint16_t codes1[81];
extern const uint8_t bits1[81];
extern const uint16_t codes2[81];
extern const uint8_t bits2[81];
extern const uint16_t codes3[81];
extern const uint8_t bits3[81];
extern const uint16_t codes4[81];
extern const uint8_t bits4[81];
extern const uint16_t codes5[81];
extern const uint8_t bits5[81];
extern const uint16_t codes6[81];
extern const uint8_t bits6[81];
extern const uint16_t codes7[64];
extern const uint8_t bits7[64];
extern const uint16_t codes8[64];
extern const uint8_t bits8[64];
extern const uint16_t codes9[169];
extern const uint8_t bits9[169];
extern const uint16_t codes10[169];
extern const uint8_t bits10[169];
extern const uint16_t codes11[289];
extern const uint8_t bits11[289];

// Number of sampling-frequency indices with a band layout (96000 Hz ... 7350 Hz).
inline constexpr int kAacSamplingIndices = 13;

// Scalefactor bands per sampling-frequency index, for 1024- and 128-sample windows.
extern const uint8_t aac_num_swb_1024[kAacSamplingIndices];
extern const uint8_t aac_num_swb_128[kAacSamplingIndices];
// Band offsets per sampling-frequency index: band count + 1 entries, the last being
// the window length.
extern const uint16_t* const swb_offset_1024[kAacSamplingIndices];
extern const uint16_t* const swb_offset_128[kAacSamplingIndices];

// The rate of each sampling-frequency index; indices 13 to 15 are reserved (0).
extern const uint32_t mpeg4audio_sample_rates[16];

}  // namespace selvo
