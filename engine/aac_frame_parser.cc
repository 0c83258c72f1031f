#include "engine/aac_frame_parser.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "engine/aac_tables.h"
#include "engine/vlc_table.h"

namespace selvo {

namespace {

// Syntax element ids of a raw_data_block.
enum ElementId { kSce = 0, kCpe = 1, kCce = 2, kLfe = 3, kDse = 4, kPce = 5, kFil = 6, kEnd = 7 };

constexpr int kEightShortSequence = 2;
constexpr int kZeroBand = 0;
constexpr int kNoiseBand = 13;
constexpr int kIntensityBand2 = 14;
constexpr int kIntensityBand = 15;
constexpr int kMaxWindowGroups = 8;
constexpr int kMaxBands = 64;  // max_sfb has at most 6 bits

// Reads big-endian bit fields of up to 25 bits. Bits past the end of the data read as
// zeros, so a damaged frame can never make the walker touch memory outside it; the
// walker's overread checks then reject the frame.
class BitReader {
 public:
  BitReader(const uint8_t* data, size_t size) : data_(data), size_(size) {
    available_ = size > (SIZE_MAX >> 3) ? 0 : static_cast<uint64_t>(size) * 8;
  }

  uint32_t Show(int count) const {
    const uint64_t byte = position_ >> 3;
    uint32_t word;
    if (byte + 4 <= size_) {
      std::memcpy(&word, data_ + byte, 4);
      word = __builtin_bswap32(word);
    } else {
      word = 0;
      for (uint64_t i = 0; i < 4; ++i) {
        word <<= 8;
        if (byte + i < size_) word |= data_[byte + i];
      }
    }
    return (word << (position_ & 7)) >> (32 - count);
  }
  uint32_t Read(int count) {
    uint32_t value = Show(count);
    position_ += static_cast<uint64_t>(count);
    return value;
  }
  void Skip(uint64_t count) { position_ += count; }
  void Seek(uint64_t position) { position_ = position; }
  // The 64 bits from bit `position` on (zeros past the end), for loops that keep the next
  // bits in a register.
  uint64_t Load64(uint64_t position) const {
    const uint64_t byte = position >> 3;
    uint64_t word;
    if (byte + 8 <= size_) {
      std::memcpy(&word, data_ + byte, 8);
      word = __builtin_bswap64(word);
    } else {
      word = 0;
      for (uint64_t i = 0; i < 8; ++i) {
        word <<= 8;
        if (byte + i < size_) word |= data_[byte + i];
      }
    }
    return word << (position & 7);
  }

  uint64_t position() const { return position_; }
  uint64_t available() const { return available_; }
  // Bits left before the end of the data; negative once the walk ran past it.
  int64_t remaining() const {
    return static_cast<int64_t>(available_) - static_cast<int64_t>(position_);
  }

 private:
  const uint8_t* data_;
  uint64_t size_;
  uint64_t available_;
  uint64_t position_ = 0;
};

// Storage sizes of the lookup tables: what the two-level construction needs for each
// codebook with 7 (scalefactor) and 8 (spectrum) index bits.
constexpr int kScalefactorTableSize = 352;
constexpr int kSpectrumTableSizes[11] = {304, 270, 550, 300, 328, 294, 306, 268, 510, 366, 462};

struct SpectrumBook {
  int dimension;     // coefficients per codeword: 4 or 2
  bool is_unsigned;  // sign bits follow the codeword
  int modulus;       // value range per coefficient in the codeword index
};

constexpr SpectrumBook kSpectrumBooks[11] = {
    {4, false, 3}, {4, false, 3}, {4, true, 3},  {4, true, 3},  {2, false, 9}, {2, false, 9},
    {2, true, 8},  {2, true, 8},  {2, true, 13}, {2, true, 13}, {2, true, 17},
};

struct AacTables {
  VlcEntry scalefactor_storage[kScalefactorTableSize];
  VlcTable scalefactor;
  VlcEntry spectrum_storage[11][550];
  VlcTable spectrum[11];
  // Per spectrum codeword: the number of sign bits that follow it, and for codebook 11
  // which of its two values (bit 0 the second, bit 1 the first) carry an escape sequence.
  uint8_t sign_bits[11][289];
  uint8_t escapes[289];
  // Per spectrum codebook, indexed by the next 11 bits: for a codeword of at most 11 bits,
  // the bits of code and sign bits (low 5 bits) and the number of escape sequences that
  // follow (bits 5 and 6); 0 for longer codes, which take the lookup tables. Nearly every
  // codeword of a frame is skipped this way, with one lookup.
  static constexpr int kFastBits = 11;
  uint8_t fast[11][1 << kFastBits];
  // The same for scalefactor codes: symbol (bits 0 to 7) and length (8 to 15), 0 for codes
  // longer than 11 bits.
  uint16_t scalefactor_fast[1 << kFastBits];
};

bool BuildTables(AacTables* t) {
  t->scalefactor.table = t->scalefactor_storage;
  t->scalefactor.table_allocated = kScalefactorTableSize;
  if (init_vlc_sparse(&t->scalefactor, 7, 121, aac_scalefactor_bits, aac_scalefactor_code, 4, 4) !=
          0 ||
      t->scalefactor.table_size != kScalefactorTableSize) {
    return false;
  }
  for (int symbol = 0; symbol < 121; ++symbol) {
    const int length = aac_scalefactor_bits[symbol];
    if (length > AacTables::kFastBits) continue;
    const uint32_t first = aac_scalefactor_code[symbol] << (AacTables::kFastBits - length);
    for (uint32_t i = 0; i < 1u << (AacTables::kFastBits - length); ++i) {
      t->scalefactor_fast[first + i] = static_cast<uint16_t>(symbol | (length << 8));
    }
  }
  const uint16_t* codes[11] = {codes1, codes2, codes3, codes4,  codes5, codes6,
                               codes7, codes8, codes9, codes10, codes11};
  const uint8_t* bits[11] = {bits1, bits2, bits3, bits4,  bits5, bits6,
                             bits7, bits8, bits9, bits10, bits11};
  const int counts[11] = {81, 81, 81, 81, 81, 81, 64, 64, 169, 169, 289};
  for (int b = 0; b < 11; ++b) {
    VlcTable& vlc = t->spectrum[b];
    vlc.table = t->spectrum_storage[b];
    vlc.table_allocated = kSpectrumTableSizes[b];
    if (init_vlc_sparse(&vlc, 8, counts[b], bits[b], codes[b], 2, 2) != 0 ||
        vlc.table_size != kSpectrumTableSizes[b]) {
      return false;
    }
    const SpectrumBook& book = kSpectrumBooks[b];
    for (int symbol = 0; symbol < counts[b]; ++symbol) {
      int values[4];
      int rest = symbol;
      for (int d = book.dimension - 1; d >= 0; --d) {
        values[d] = rest % book.modulus;
        rest /= book.modulus;
      }
      int nonzero = 0;
      for (int d = 0; d < book.dimension; ++d) nonzero += values[d] != 0;
      t->sign_bits[b][symbol] = book.is_unsigned ? static_cast<uint8_t>(nonzero) : 0;
      if (b == 10) {
        t->escapes[symbol] = static_cast<uint8_t>((values[0] == 16 ? 2 : 0) | (values[1] == 16));
      }
    }
    for (int symbol = 0; symbol < counts[b]; ++symbol) {
      const int length = bits[b][symbol];
      if (length > AacTables::kFastBits) continue;
      const int escape_count = b == 10 ? __builtin_popcount(t->escapes[symbol]) : 0;
      const uint8_t entry =
          static_cast<uint8_t>((length + t->sign_bits[b][symbol]) | (escape_count << 5));
      const int first = codes[b][symbol] << (AacTables::kFastBits - length);
      for (int i = 0; i < 1 << (AacTables::kFastBits - length); ++i) t->fast[b][first + i] = entry;
    }
  }
  return true;
}

const AacTables& Tables() {
  static const AacTables* const tables = [] {
    auto* t = new AacTables();
    if (!BuildTables(t)) std::abort();  // the checked-in tables are complete prefix codes
    return t;
  }();
  return *tables;
}

// Decodes one codeword; the codebooks are complete, so every bit pattern decodes.
inline int Decode(BitReader& reader, const VlcTable& vlc) {
  int bits = vlc.bits;
  const VlcEntry* entry = &vlc.table[reader.Show(bits)];
  while (entry->length < 0) {
    reader.Skip(static_cast<uint64_t>(bits));
    bits = -entry->length;
    entry = &vlc.table[entry->symbol + static_cast<int>(reader.Show(bits))];
  }
  reader.Skip(static_cast<uint64_t>(entry->length));
  return entry->symbol;
}

class FrameWalker {
 public:
  FrameWalker(const uint8_t* data, size_t size, int sampling_index, bool report)
      : reader_(data, size), tables_(Tables()), sampling_index_(sampling_index), report_(report) {}

  int Walk(const uint8_t* data, size_t size);
  int channel_elements() const { return channel_elements_; }

 private:
  int SingleChannelElement();
  int SpectralBand(const VlcTable& vlc, int book, int coefficients);

  template <typename... Args>
  void Report(const char* format, Args... args) {
    if (!report_) return;
    if constexpr (sizeof...(args) == 0) {
      std::fputs(format, stdout);
    } else {
      std::printf(format, args...);
    }
    std::fflush(stdout);
  }

  BitReader reader_;
  const AacTables& tables_;
  int sampling_index_;
  bool report_;
  int channel_elements_ = 0;
};

int FrameWalker::Walk(const uint8_t* data, size_t size) {
  for (;;) {
    const uint64_t start = reader_.position();
    const int id = static_cast<int>(reader_.Read(3));
    if (id == kEnd) {
      size_t length = static_cast<size_t>((start + 3 + 7) / 8);
      size_t i = length;
      while (i < size && data[i] == 0) ++i;
      if (i == size && length < size) length = size;
      return static_cast<int>(length);
    }
    if (id == kFil) {
      uint32_t count = reader_.Read(4);
      if (count == 15) count = 14 + reader_.Read(8);
      if (reader_.remaining() < static_cast<int64_t>(count) * 8) {
        Report("aac decode sample have overread!\n");
        return kAacFillOverread;
      }
      reader_.Skip(uint64_t{count} * 8);
    } else if (id == kSce) {
      ++channel_elements_;
      const int result = SingleChannelElement();
      if (result < 0) return result;
    } else {
      return kAacUnsupportedElement;
    }
    if (reader_.remaining() <= 2) {
      Report("aac decode has used buf over read!\n");
      return kAacOverread;
    }
  }
}

int FrameWalker::SingleChannelElement() {
  reader_.Skip(4);  // element_instance_tag
  int gain = static_cast<int>(reader_.Read(8));

  // ics_info
  if (reader_.Read(1)) {
    Report("Reserved bit set.\n");
    return kAacReservedBit;
  }
  const int window_sequence = static_cast<int>(reader_.Read(2));
  reader_.Skip(1);  // window_shape
  const bool short_windows = window_sequence == kEightShortSequence;
  int max_sfb;
  int windows;
  int group_count = 1;
  int group_length[kMaxWindowGroups] = {1};
  int band_count;
  const uint16_t* offsets;
  if (short_windows) {
    max_sfb = static_cast<int>(reader_.Read(4));
    const uint32_t grouping = reader_.Read(7);
    windows = 8;
    for (int bit = 6; bit >= 0; --bit) {
      if (grouping & (1u << bit)) {
        ++group_length[group_count - 1];
      } else {
        group_length[group_count++] = 1;
      }
    }
    band_count = aac_num_swb_128[sampling_index_];
    offsets = swb_offset_128[sampling_index_];
  } else {
    max_sfb = static_cast<int>(reader_.Read(6));
    if (reader_.Read(1)) {
      Report("error! predictor aac decode code haven't finished!\n");
      return kAacPredictor;
    }
    windows = 1;
    band_count = aac_num_swb_1024[sampling_index_];
    offsets = swb_offset_1024[sampling_index_];
  }
  if (max_sfb > band_count) {
    Report("Number of scalefactor bands in group (%d) exceeds limit (%d).\n", max_sfb, band_count);
    return kAacTooManyBands;
  }

  // section_data
  uint8_t band_type[kMaxWindowGroups][kMaxBands];
  const int section_bits = short_windows ? 3 : 5;
  const uint32_t section_escape = (1u << section_bits) - 1;
  for (int g = 0; g < group_count; ++g) {
    int k = 0;
    while (k < max_sfb) {
      const int book = static_cast<int>(reader_.Read(4));
      if (book == 12) {
        Report("invalid band type\n");
        return kAacInvalidBandType;
      }
      int64_t length = 0;
      uint32_t increment;
      do {
        increment = reader_.Read(section_bits);
        length += increment;
      } while (increment == section_escape && reader_.remaining() >= 0);
      if (reader_.remaining() < 0) {
        Report("overread_err!\n");
        return kAacSectionOverread;
      }
      if (k + length > max_sfb) {
        Report("Number of bands (%d) exceeds limit (%d).\n", static_cast<int>(k + length), max_sfb);
        return kAacSectionTooLong;
      }
      for (; length > 0; --length) band_type[g][k++] = static_cast<uint8_t>(book);
    }
  }

  // scale_factor_data
  for (int g = 0; g < group_count; ++g) {
    for (int i = 0; i < max_sfb; ++i) {
      const int book = band_type[g][i];
      if (book == kZeroBand) continue;
      if (book == kIntensityBand || book == kIntensityBand2) {
        Report(
            "iphone haven't INTENSITY_HCB or INTENSITY_HCB2 noiseless coding!,this code haven't "
            "finished!\n");
        return kAacIntensityBand;
      }
      if (book == kNoiseBand) {
        Report("iphone haven't NOISE_HCB noiseless coding!,this code haven't finished!\n");
        return kAacNoiseBand;
      }
      const uint16_t fast = tables_.scalefactor_fast[reader_.Show(AacTables::kFastBits)];
      int symbol;
      if (fast != 0) {
        symbol = fast & 0xFF;
        reader_.Skip(fast >> 8);
      } else {
        symbol = Decode(reader_, tables_.scalefactor);
      }
      gain += symbol - 60;
      if (gain < 0 || gain > 255) {
        Report("%s (%d) out of range.\n", "Global gain", gain);
        return kAacScalefactorRange;
      }
    }
  }

  const bool pulse = reader_.Read(1) != 0;
  if (pulse)
    Report("Error! the aac file have pulse_present data! but the code haven't finished! \n");

  if (reader_.Read(1)) {  // tns_data_present
    const int filter_count_bits = short_windows ? 1 : 2;
    const int length_bits = short_windows ? 4 : 6;
    const int order_bits = short_windows ? 3 : 5;
    const int max_order = short_windows ? 7 : 12;
    for (int w = 0; w < windows; ++w) {
      const int filters = static_cast<int>(reader_.Read(filter_count_bits));
      if (filters == 0) continue;
      const int coef_res = static_cast<int>(reader_.Read(1));
      for (int f = 0; f < filters; ++f) {
        reader_.Skip(static_cast<uint64_t>(length_bits));
        const int order = static_cast<int>(reader_.Read(order_bits));
        if (order > max_order) {
          Report("TNS filter order %d is greater than maximun %d\n", order, max_order);
          return kAacTnsOrder;
        }
        if (order == 0) continue;
        reader_.Skip(1);  // direction
        const int compress = static_cast<int>(reader_.Read(1));
        reader_.Skip(static_cast<uint64_t>(order * (3 + coef_res - compress)));
      }
    }
  }

  if (reader_.Read(1)) {
    Report("missing the feature SSR\n");
    return kAacGainControl;
  }

  // spectral_data
  for (int g = 0; g < group_count; ++g) {
    for (int i = 0; i < max_sfb; ++i) {
      const int book = band_type[g][i];
      if (book == kNoiseBand) {
        Report("iphone haven't NOISE_HCB noiseless coding!,this code haven't finished!\n");
      }
      if (book == kZeroBand || book > 11) continue;
      const int coefficients = (offsets[i + 1] - offsets[i]) * group_length[g];
      const int result = SpectralBand(tables_.spectrum[book - 1], book - 1, coefficients);
      if (result < 0) return result;
    }
  }

  if (pulse) return kAacPulseData;
  return 0;
}

int FrameWalker::SpectralBand(const VlcTable& vlc, int book, int coefficients) {
  const int codewords = coefficients / kSpectrumBooks[book].dimension;
  const uint8_t* sign_bits = tables_.sign_bits[book];
  const uint8_t* fast = tables_.fast[book];
  // Codewords of up to 11 bits are skipped with the next bits held in a register: at least
  // 57 after a load, enough for a codeword with its sign bits (15) or one escape (21).
  uint64_t position = reader_.position();
  uint64_t bits = 0;
  int held = 0;
  for (int n = 0; n < codewords; ++n) {
    if (held < 15) {
      bits = reader_.Load64(position);
      held = 57;
    }
    const uint8_t entry = fast[bits >> (64 - AacTables::kFastBits)];
    if (entry != 0) {
      const int skip = entry & 31;
      position += static_cast<uint64_t>(skip);
      bits <<= skip;
      held -= skip;
      for (int escapes = entry >> 5; escapes > 0; --escapes) {
        if (held < 21) {
          bits = reader_.Load64(position);
          held = 57;
        }
        const int ones = ~bits == 0 ? 64 : __builtin_clzll(~bits);
        if (ones > 8) {
          Report("error in spectral data, ESC overflow\n");
          return kAacEscapeOverflow;
        }
        const int length = 2 * ones + 5;  // the ones, a zero, then ones + 4 bits
        position += static_cast<uint64_t>(length);
        bits <<= length;
        held -= length;
      }
      continue;
    }
    reader_.Seek(position);
    const int symbol = Decode(reader_, vlc);
    reader_.Skip(sign_bits[symbol]);
    for (int escapes = book == 10 ? tables_.escapes[symbol] : 0; escapes != 0;
         escapes &= escapes - 1) {
      int prefix = 0;
      while (reader_.Read(1)) {
        if (++prefix > 8) {
          Report("error in spectral data, ESC overflow\n");
          return kAacEscapeOverflow;
        }
      }
      reader_.Skip(static_cast<uint64_t>(prefix + 4));
    }
    position = reader_.position();
    held = 0;
  }
  reader_.Seek(position);
  return 0;
}

}  // namespace

void InitAacTables() { Tables(); }

int AacFrameLength(const uint8_t* data, size_t size, int sampling_index, bool report,
                   int* channel_elements) {
  if (sampling_index < 0 || sampling_index >= kAacSamplingIndices) return kAacTooManyBands;
  // A frame is far shorter; the cap keeps lengths in an int.
  if (size > (1u << 30)) size = 1u << 30;
  FrameWalker walker(data, size, sampling_index, report);
  const int result = walker.Walk(data, size);
  if (channel_elements) *channel_elements = walker.channel_elements();
  return result;
}

}  // namespace selvo
