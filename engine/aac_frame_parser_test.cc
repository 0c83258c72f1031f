#include "engine/aac_frame_parser.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "engine/aac_tables.h"
#include "engine/testing/bit_writer.h"

namespace selvo {
namespace {

constexpr int k22050 = 7;  // sampling-frequency index of the recordings

const uint16_t* const kCodes[11] = {codes1, codes2, codes3, codes4,  codes5, codes6,
                                    codes7, codes8, codes9, codes10, codes11};
const uint8_t* const kBits[11] = {bits1, bits2, bits3, bits4,  bits5, bits6,
                                  bits7, bits8, bits9, bits10, bits11};

// Hand-made raw_data_blocks.
class Frame {
 public:
  // A single channel element's start: tag, global gain, ics_info for long windows.
  Frame& LongSce(int max_sfb, int gain = 100, int window_sequence = 0) {
    w_.Put(0, 3).Put(0, 4).Put(gain, 8).Put(0, 1).Put(window_sequence, 2).Put(0, 1);
    w_.Put(max_sfb, 6).Put(0, 1);  // no prediction
    return *this;
  }
  Frame& ShortSce(int max_sfb, int grouping, int gain = 100) {
    w_.Put(0, 3).Put(0, 4).Put(gain, 8).Put(0, 1).Put(2, 2).Put(0, 1);
    w_.Put(max_sfb, 4).Put(grouping, 7);
    return *this;
  }
  Frame& Section(int book, int length, bool short_windows = false) {
    const int bits = short_windows ? 3 : 5;
    const int escape = (1 << bits) - 1;
    w_.Put(book, 4);
    for (; length >= escape; length -= escape) w_.Put(escape, bits);
    w_.Put(length, bits);
    return *this;
  }
  Frame& Scalefactor(int delta) {
    w_.Put(aac_scalefactor_code[delta + 60], aac_scalefactor_bits[delta + 60]);
    return *this;
  }
  Frame& Codeword(int book, int index) {
    w_.Put(kCodes[book - 1][index], kBits[book - 1][index]);
    return *this;
  }
  Frame& Bits(uint32_t value, int count) {
    w_.Put(value, count);
    return *this;
  }
  // pulse_data_present, tns_data_present, gain_control_data_present all clear.
  Frame& NoTools() { return Bits(0, 3); }
  Frame& End() { return Bits(7, 3); }
  std::vector<uint8_t> Bytes() const { return w_.bytes(); }

 private:
  testing::BitWriter w_;
};

int Walk(const std::vector<uint8_t>& bytes, int sampling_index = k22050) {
  return AacFrameLength(bytes.data(), bytes.size(), sampling_index, /*report=*/false);
}

TEST(AacFrameParserTest, WalksFramesToTheirLength) {
  // Silence: a single channel element without bands, then END.
  EXPECT_EQ(Walk({0x00, 0x4C, 0x40, 0x07}), 4);
  EXPECT_EQ(Walk({0x00, 0x4C, 0x40, 0x07, 0x12, 0x34}), 4);

  // A fill element with count 15 and escape count 0 skips 14 bytes.
  Frame fill;
  fill.Bits(6, 3).Bits(15, 4).Bits(0, 8).Bits(0, 14 * 8).End();
  EXPECT_EQ(Walk(fill.Bytes()), 17);

  // Every spectrum codebook once, over the first eleven 4-coefficient bands: signed
  // 4-tuples, unsigned 4-tuples with sign bits, 2-tuples, and escapes in codebook 11.
  Frame books;
  books.LongSce(11);
  for (int book = 1; book <= 11; ++book) books.Section(book, 1);
  for (int book = 1; book <= 11; ++book) books.Scalefactor(book % 3 - 1);
  books.NoTools();
  books.Codeword(1, 0);                             // (-1,-1,-1,-1)
  books.Codeword(2, 80);                            // (1,1,1,1)
  books.Codeword(3, 27 * 2 + 1).Bits(0b10, 2);      // (2,0,0,1): two sign bits
  books.Codeword(4, 80).Bits(0b1010, 4);            // (2,2,2,2): four sign bits
  books.Codeword(5, 0).Codeword(5, 40);             // (-4,-4), (0,0)
  books.Codeword(6, 80).Codeword(6, 3);             // (4,4), (-4,-1)
  books.Codeword(7, 7).Bits(1, 1).Codeword(7, 0);   // (0,7) + sign, (0,0)
  books.Codeword(8, 63).Bits(0, 2).Codeword(8, 9);  // (7,7) + 2 signs, (1,1) + 2 signs
  books.Bits(0, 2);
  books.Codeword(9, 168).Bits(3, 2).Codeword(9, 13).Bits(1, 1);  // (12,12), (1,0)
  books.Codeword(10, 1).Bits(0, 1).Codeword(10, 0);              // (0,1), (0,0)
  // (16,3): two signs, then the escape of the 16: prefix 11, a 0, 2 + 4 bits.
  books.Codeword(11, 16 * 17 + 3).Bits(0, 2).Bits(0b110, 3).Bits(0b101010, 6);
  books.Codeword(11, 16 * 17 + 16).Bits(0, 2).Bits(0, 1).Bits(0xF, 4).Bits(0, 1).Bits(0xA, 4);
  books.End();
  EXPECT_EQ(Walk(books.Bytes()), static_cast<int>(books.Bytes().size()));

  // Codes longer than the first lookup level, in codebooks without escapes.
  Frame long_codes;
  long_codes.LongSce(2).Section(5, 1).Section(9, 1).Scalefactor(0).Scalefactor(0).NoTools();
  long_codes.Codeword(5, 16).Codeword(5, 16);                        // (-3,3), 11 bits
  long_codes.Codeword(9, 50).Bits(0, 2).Codeword(9, 50).Bits(3, 2);  // (3,11), 12 bits
  long_codes.End();
  EXPECT_EQ(Walk(long_codes.Bytes()), static_cast<int>(long_codes.Bytes().size()));

  // Short windows grouped 0110110: groups of 1, 3, 3 and 1 windows. Groups 2 and 4 have
  // band 0 in codebook 1, so 3 + 1 codewords of 4 coefficients follow.
  Frame grouped;
  grouped.ShortSce(1, 0b0110110);
  grouped.Section(0, 1, true).Section(1, 1, true).Section(0, 1, true).Section(1, 1, true);
  grouped.Scalefactor(0).Scalefactor(0);
  grouped.NoTools();
  for (int i = 0; i < 4; ++i) grouped.Codeword(1, 40 + i);
  grouped.End();
  const int grouped_length = static_cast<int>(grouped.Bytes().size());
  EXPECT_EQ(Walk(grouped.Bytes()), grouped_length);

  // TNS on long and on short windows.
  Frame tns;
  tns.LongSce(0).Bits(0, 1).Bits(1, 1);                               // pulse off, TNS on
  tns.Bits(2, 2).Bits(1, 1);                                          // two filters, coef_res 1
  tns.Bits(20, 6).Bits(12, 5).Bits(0, 1).Bits(1, 1).Bits(0, 12 * 3);  // order 12, compressed
  tns.Bits(5, 6).Bits(0, 5);                                          // order 0
  tns.Bits(0, 1).End();
  EXPECT_EQ(Walk(tns.Bytes()), static_cast<int>(tns.Bytes().size()));
}

TEST(AacFrameParserTest, AFrameFollowedOnlyByZerosExtendsToTheEnd) {
  std::vector<uint8_t> bytes = {0x00, 0x4C, 0x40, 0x07};
  bytes.resize(14, 0);
  EXPECT_EQ(Walk(bytes), 14);
  bytes.push_back(1);
  EXPECT_EQ(Walk(bytes), 4);
}

TEST(AacFrameParserTest, RefusesWhatTheEncoderDoesNotWrite) {
  struct Case {
    std::string name;
    std::vector<uint8_t> bytes;
    int expected;
  };
  auto frame = [](auto build) {
    Frame f;
    build(f);
    std::vector<uint8_t> bytes = f.Bytes();
    bytes.resize(bytes.size() + 16, 0x5A);  // more data follows, as in a recording
    return bytes;
  };
  std::vector<Case> cases = {
      {"stereo element", frame([](Frame& f) { f.Bits(1, 3).Bits(0, 30); }), kAacUnsupportedElement},
      {"data stream element", frame([](Frame& f) { f.Bits(4, 3).Bits(0, 30); }),
       kAacUnsupportedElement},
      {"reserved bit",
       frame([](Frame& f) { f.Bits(0, 3).Bits(0, 4).Bits(100, 8).Bits(1, 1).Bits(0, 20); }),
       kAacReservedBit},
      {"prediction", frame([](Frame& f) {
         f.Bits(0, 3).Bits(0, 4).Bits(100, 8).Bits(0, 4).Bits(3, 6).Bits(1, 1).Bits(0, 8);
       }),
       kAacPredictor},
      {"too many bands", frame([](Frame& f) { f.LongSce(48).Bits(0, 20); }), kAacTooManyBands},
      {"band type 12", frame([](Frame& f) { f.LongSce(2).Section(12, 2); }), kAacInvalidBandType},
      {"section past max_sfb", frame([](Frame& f) { f.LongSce(2).Section(1, 3); }),
       kAacSectionTooLong},
      {"noise band", frame([](Frame& f) { f.LongSce(1).Section(13, 1).Bits(0, 16); }),
       kAacNoiseBand},
      {"intensity band 14", frame([](Frame& f) { f.LongSce(1).Section(14, 1).Bits(0, 16); }),
       kAacIntensityBand},
      {"intensity band 15", frame([](Frame& f) { f.LongSce(1).Section(15, 1).Bits(0, 16); }),
       kAacIntensityBand},
      {"scalefactor reaching 256",
       frame([](Frame& f) { f.LongSce(1, 255).Section(1, 1).Scalefactor(1).Bits(0, 16); }),
       kAacScalefactorRange},
      {"scalefactor below 0",
       frame([](Frame& f) { f.LongSce(1, 0).Section(1, 1).Scalefactor(-1).Bits(0, 16); }),
       kAacScalefactorRange},
      {"TNS order 13", frame([](Frame& f) {
         f.LongSce(0).Bits(0, 1).Bits(1, 1).Bits(1, 2).Bits(0, 1).Bits(4, 6).Bits(13, 5);
       }),
       kAacTnsOrder},
      {"gain control", frame([](Frame& f) { f.LongSce(0).Bits(0b001, 3).Bits(0, 8); }),
       kAacGainControl},
      {"pulse data", frame([](Frame& f) { f.LongSce(0).Bits(0b100, 3).End(); }), kAacPulseData},
      {"escape prefix of 9", frame([](Frame& f) {
         f.LongSce(1).Section(11, 1).Scalefactor(0).NoTools().Codeword(11, 16 * 17).Bits(0, 1);
         f.Bits(0x1FF, 9).Bits(0, 16);
       }),
       kAacEscapeOverflow},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Walk(c.bytes), c.expected) << c.name;
  }
}

TEST(AacFrameParserTest, RefusesWalksPastTheData) {
  // The fill element claims more bytes than there are.
  Frame fill;
  fill.Bits(6, 3).Bits(10, 4).Bits(0, 16);
  EXPECT_EQ(Walk(fill.Bytes()), kAacFillOverread);

  // Sections of length 0 never reach max_sfb and run out of data.
  Frame sections;
  sections.LongSce(5);
  EXPECT_EQ(Walk(sections.Bytes()), kAacSectionOverread);

  // The silent element without its END, and nothing after it.
  EXPECT_EQ(Walk({0x00, 0x4C, 0x40, 0x00}), kAacOverread);
  EXPECT_EQ(Walk({}), kAacOverread);
}

TEST(AacFrameParserTest, PrintsItsRefusals) {
  const std::vector<uint8_t> reserved = {0x00, 0x4D, 0x00, 0x00, 0x00};
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(AacFrameLength(reserved.data(), reserved.size(), k22050), kAacReservedBit);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "Reserved bit set.\n");
}

TEST(AacFrameParserTest, RandomBytesNeverReadOutsideTheData) {
  std::mt19937 random(7);
  for (int round = 0; round < 20000; ++round) {
    std::vector<uint8_t> bytes(random() % 64);
    for (auto& byte : bytes) byte = static_cast<uint8_t>(random());
    const int index = static_cast<int>(random() % kAacSamplingIndices);
    const int result = AacFrameLength(bytes.data(), bytes.size(), index, false);
    if (result > 0) {
      EXPECT_LE(static_cast<size_t>(result), bytes.size());
    }
  }
}

}  // namespace
}  // namespace selvo
