// Test helper: builds QuickTime / ISO base media files byte by byte.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace selvo::testing {

using Bytes = std::vector<uint8_t>;

inline void PutU16(Bytes& out, uint32_t value) {
  out.push_back(static_cast<uint8_t>(value >> 8));
  out.push_back(static_cast<uint8_t>(value));
}
inline void PutU32(Bytes& out, uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(value >> shift));
}
inline Bytes U32(uint32_t value) {
  Bytes out;
  PutU32(out, value);
  return out;
}
inline Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}
inline Bytes Truncated(Bytes bytes, size_t size) {
  if (size < bytes.size()) bytes.resize(size);
  return bytes;
}
inline Bytes Text(const std::string& text) { return Bytes(text.begin(), text.end()); }
inline Bytes Zeros(size_t count) { return Bytes(count, 0); }

// A box with a 32-bit size.
inline Bytes Box(const std::string& type, const Bytes& payload) {
  Bytes out;
  PutU32(out, static_cast<uint32_t>(payload.size() + 8));
  out.insert(out.end(), type.begin(), type.end());
  out.insert(out.end(), payload.begin(), payload.end());
  return out;
}
// A box with a 64-bit size (size field 1, the size after the type).
inline Bytes LargeBox(const std::string& type, const Bytes& payload) {
  Bytes out;
  PutU32(out, 1);
  out.insert(out.end(), type.begin(), type.end());
  PutU32(out, 0);
  PutU32(out, static_cast<uint32_t>(payload.size() + 16));
  out.insert(out.end(), payload.begin(), payload.end());
  return out;
}
// A box with version and flags.
inline Bytes FullBox(const std::string& type, const Bytes& payload) {
  return Box(type, Cat({Zeros(4), payload}));
}

inline Bytes Ftyp() { return Box("ftyp", Cat({Text("qt  "), U32(0x200), Text("qt  ")})); }

inline Bytes Handler(const std::string& type) {
  return FullBox("hdlr", Cat({Text("mhlr"), Text(type), Zeros(12), Bytes{0}}));
}

// An AAC (or other) sound sample description, QuickTime version 0.
inline Bytes SoundEntry(const std::string& format, uint16_t channels, uint16_t sample_size,
                        uint16_t rate) {
  Bytes payload = Zeros(6);
  PutU16(payload, 1);       // data reference index
  Bytes fields = Zeros(8);  // version, revision, vendor
  PutU16(fields, channels);
  PutU16(fields, sample_size);
  PutU16(fields, 0);  // compression id
  PutU16(fields, 0);  // packet size
  PutU16(fields, rate);
  PutU16(fields, 0);
  return Box(format, Cat({payload, fields}));
}

// An H.264 sample description with one SPS and one PPS.
inline Bytes AvcEntry(const Bytes& sps, const Bytes& pps, uint8_t length_size_byte = 0xFF,
                      const std::string& config_type = "avcC") {
  Bytes visual = Zeros(6);
  PutU16(visual, 1);
  Bytes fields = Zeros(70);
  Bytes config = {1, 0x42, 0xC0, 0x1E, length_size_byte, static_cast<uint8_t>(0xE0 | 1)};
  PutU16(config, static_cast<uint32_t>(sps.size()));
  config.insert(config.end(), sps.begin(), sps.end());
  config.push_back(1);
  PutU16(config, static_cast<uint32_t>(pps.size()));
  config.insert(config.end(), pps.begin(), pps.end());
  return Box("avc1", Cat({visual, fields, Box(config_type, config)}));
}

inline Bytes Stsd(const Bytes& entry, uint32_t count = 1) {
  return FullBox("stsd", Cat({U32(count), entry}));
}
inline Bytes Stts(uint32_t count, uint32_t delta) {
  return FullBox("stts", Cat({U32(1), U32(count), U32(delta)}));
}
// Sample sizes listed (constant_size 0) or one size for all.
inline Bytes Stsz(const std::vector<uint32_t>& sizes, uint32_t constant_size = 0) {
  Bytes payload = U32(constant_size);
  PutU32(payload, static_cast<uint32_t>(sizes.empty() ? 1 : sizes.size()));
  for (uint32_t size : sizes) PutU32(payload, size);
  return FullBox("stsz", payload);
}

inline Bytes Track(const std::string& handler, const Bytes& stbl_payload) {
  return Box("trak", Box("mdia", Cat({Handler(handler), Box("minf", Box("stbl", stbl_payload))})));
}

// A NAL unit with its 4-byte length.
inline Bytes Nal(uint8_t header, size_t payload_size, uint8_t fill = 0x5A) {
  Bytes out = U32(static_cast<uint32_t>(payload_size + 1));
  out.push_back(header);
  out.insert(out.end(), payload_size, fill);
  return out;
}

// A complete audio sample file: AAC, mono, 16-bit, `rate` Hz, 1024 samples per frame.
inline Bytes AacSampleFile(uint16_t rate = 22050) {
  const Bytes track = Track("soun", Cat({Stsd(SoundEntry("mp4a", 1, 16, rate)), Stts(43, 1024)}));
  return Cat({Ftyp(), Box("wide", {}), Box("mdat", Zeros(64)), Box("moov", track)});
}

// A complete video sample file whose first frame has `slices` IDR slices after an SEI.
inline Bytes AvcSampleFile(const Bytes& sps, const Bytes& pps, int slices = 1) {
  Bytes first = Nal(0x06, 12);
  for (int i = 0; i < slices; ++i) first = Cat({first, Nal(0x65, 20)});
  const Bytes track = Track(
      "vide", Cat({Stsd(AvcEntry(sps, pps)), Stsz({static_cast<uint32_t>(first.size()), 30})}));
  return Cat(
      {Ftyp(), Box("wide", {}), Box("mdat", Cat({first, Nal(0x41, 25)})), Box("moov", track)});
}

}  // namespace selvo::testing
