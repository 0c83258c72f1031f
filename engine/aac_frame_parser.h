// The AAC LC frame walker: finds where one raw AAC frame ends.
//
// An audio recording holds raw AAC frames back to back, without lengths or sync words, so
// the only way to cut the stream into frames is to walk each frame's syntax far enough to
// know where it ends: every Huffman codeword is decoded for its length and everything else
// is skipped; no audio is reconstructed. What the platform's mono AAC LC encoder writes is
// supported (single channel elements, fill elements, long and short windows, TNS); anything
// else is refused with a message on standard output and a negative code, and the caller
// puts a silent frame in its place.
//
// The walker never reads outside [data, data + size): bits past the end read as zeros and
// the overread checks turn such a walk into an error.
#pragma once

#include <cstddef>
#include <cstdint>

namespace selvo {

// Results of AacFrameLength other than a length.
enum AacFrameError : int {
  kAacEscapeOverflow = -1,       // escape prefix longer than 8 bits
  kAacUnsupportedElement = -85,  // CPE, CCE, LFE, DSE or PCE
  kAacGainControl = -87,         // SSR gain control data
  kAacPulseData = -88,           // pulse data
  kAacTnsOrder = -89,            // TNS filter order too high
  kAacScalefactorRange = -90,    // scalefactor outside 0..255
  kAacNoiseBand = -91,           // perceptual noise substitution band
  kAacIntensityBand = -92,       // intensity stereo band
  kAacSectionTooLong = -93,      // section past max_sfb
  kAacSectionOverread = -94,     // section data beyond the data
  kAacInvalidBandType = -95,     // band type 12
  kAacTooManyBands = -96,        // max_sfb above the band count
  kAacPredictor = -97,           // prediction data
  kAacReservedBit = -98,         // ics_reserved_bit set
  kAacOverread = -99,            // walked to within 2 bits of the data end
  kAacFillOverread = -100,       // fill element longer than the data
};

// Builds the codebook lookup tables. Runs once per process (thread-safe); later calls
// do nothing. AacFrameLength calls it too, so calling it early only moves the cost.
void InitAacTables();

// Walks the raw AAC frame at the start of `data` (`size` bytes available) for the
// sampling-frequency index `sampling_index` (0..12, selects the band layout) and returns its
// length in bytes, or a negative AacFrameError. When `report` is set, refusals print their
// message on standard output. A frame followed only by zero bytes up to `size` is taken to
// extend to `size`.
// `channel_elements`, when given, receives the number of single channel elements walked
// (a frame of only fill and END elements is valid syntax but carries no sound).
int AacFrameLength(const uint8_t* data, size_t size, int sampling_index, bool report = true,
                   int* channel_elements = nullptr);

}  // namespace selvo
