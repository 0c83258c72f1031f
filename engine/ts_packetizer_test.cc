#include "engine/ts_packetizer.h"

#include <gtest/gtest.h>

#include <numeric>
#include <string>
#include <vector>

#include "engine/testing/ts_parser.h"

namespace selvo {
namespace {

using testing::CollectPes;
using testing::ParseTs;

std::vector<uint8_t> Payload(size_t size) {
  std::vector<uint8_t> payload(size);
  for (size_t i = 0; i < size; ++i) payload[i] = static_cast<uint8_t>(i * 13 + 1);
  return payload;
}

std::vector<uint8_t> Bytes(const BufferWriter& writer) {
  return std::vector<uint8_t>(writer.data(), writer.data() + writer.size());
}

TEST(TsPacketizerTest, CrcOfMpegSections) {
  const uint8_t pat[] = {0x00, 0xB0, 0x0D, 0x00, 0x01, 0xC1, 0x00, 0x00, 0x00, 0x01, 0xF0, 0x00};
  EXPECT_EQ(Crc32Mpeg(pat, sizeof(pat)), 0x2AB104B2u);
  EXPECT_EQ(Crc32Mpeg(nullptr, 0), 0xFFFFFFFFu);
}

TEST(TsPacketizerTest, PesHeaderAndAdaptationFieldBytes) {
  BufferWriter writer;
  // 1 s: PTS 90000 = 0x15F90.
  WritePESPacketStartData(writer, 0xE0, 100, 1000000);
  EXPECT_EQ(Bytes(writer), (std::vector<uint8_t>{0x00, 0x00, 0x01, 0xE0, 0x00, 108, 0x80, 0x80,
                                                 0x05, 0x21, 0x00, 0x05, 0xBF, 0x21}));
  writer.Clear();
  WritePESPacketStartData(writer, 0xE0, 70000, 0);
  EXPECT_EQ(writer.data()[4], 0);
  EXPECT_EQ(writer.data()[5], 0);

  writer.Clear();
  WritePESPacketAdaptation(writer, true, 1000000, 2);
  EXPECT_EQ(Bytes(writer),
            (std::vector<uint8_t>{9, 0x10, 0x00, 0x00, 0xAF, 0xC8, 0x7E, 0x00, 0xFF, 0xFF}));
  writer.Clear();
  WritePESPacketAdaptation(writer, false, 0, 0);
  EXPECT_EQ(Bytes(writer), (std::vector<uint8_t>{1, 0x00}));

  // PTS and PCR wrap at 2^33 ticks of 90 kHz.
  const uint64_t wrap_us = (uint64_t{1} << 33) * 1000 / 90;
  writer.Clear();
  WritePESPacketStartData(writer, 0xC0, 1, wrap_us + 1000);
  // (2^33 * 1000 / 90 + 1000) us is 2^33 + 89 ticks once rounded down.
  EXPECT_EQ(testing::ParsePts(writer.data() + 9), 89u);
}

struct SplitCase {
  size_t length;
  bool pcr_first;
  // Per TS packet: adaptation_field_length (-1: none) and payload bytes of the PES.
  std::vector<std::pair<int, size_t>> packets;
};

TEST(TsPacketizerTest, SplitsPesPacketsOverTsPackets) {
  const SplitCase cases[] = {
      {1, false, {{168, 1}}},
      {162, false, {{7, 162}}},
      {169, false, {{1, 168}, {182, 1}}},
      {170, false, {{-1, 170}}},
      {171, false, {{-1, 170}, {182, 1}}},
      {170 + 183, false, {{-1, 170}, {1, 182}, {182, 1}}},
      {170 + 184, false, {{-1, 170}, {-1, 184}}},
      {1, true, {{168, 1}}},
      {161, true, {{8, 161}}},
      {162, true, {{7, 162}}},
      {163, true, {{7, 162}, {182, 1}}},
      {162 + 183, true, {{7, 162}, {1, 182}, {182, 1}}},
  };
  for (const SplitCase& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.length << (c.pcr_first ? " with PCR" : ""));
    const std::vector<uint8_t> payload = Payload(c.length);
    BufferWriter writer;
    uint32_t counter = 14;
    if (c.pcr_first) {
      Write1stPESPacketImpl(writer, kVideoPid, kVideoStreamId, payload.data(), payload.size(),
                            counter, 2000000);
    } else {
      WritePESPacketImpl(writer, kAudioPid, kAudioStreamId, payload.data(), payload.size(), counter,
                         2000000);
    }
    std::string error;
    const auto packets = ParseTs(Bytes(writer), &error);
    ASSERT_EQ(error, "");
    ASSERT_EQ(packets.size(), c.packets.size());
    EXPECT_EQ(counter, 14 + c.packets.size());
    for (size_t i = 0; i < packets.size(); ++i) {
      EXPECT_EQ(packets[i].continuity, static_cast<int>((14 + i) & 0x0F));
      EXPECT_EQ(packets[i].unit_start, i == 0);
      EXPECT_EQ(packets[i].pid, c.pcr_first ? kVideoPid : kAudioPid);
      EXPECT_EQ(packets[i].adaptation_length, c.packets[i].first);
      EXPECT_EQ(packets[i].pcr, c.pcr_first && i == 0);
      EXPECT_EQ(packets[i].payload.size(), c.packets[i].second + (i == 0 ? 14 : 0));
    }
    if (c.pcr_first) {
      EXPECT_EQ(packets[0].pcr_base, 180000u);
    }
    const auto pes = CollectPes(packets, &error);
    ASSERT_EQ(error, "");
    ASSERT_EQ(pes.size(), 1u);
    EXPECT_EQ(pes[0].payload, payload);
    EXPECT_EQ(pes[0].pts, 180000u);
    EXPECT_EQ(pes[0].declared_length, static_cast<int>(c.length + 8));
  }
}

TEST(TsPacketizerTest, OneByteAndLargeAccessUnits) {
  // A 1-byte payload: one packet, adaptation field of 168 (flags and 167 stuffing bytes).
  BufferWriter writer;
  uint32_t counter = 0;
  const uint8_t one = 0xAB;
  WritePESPacketImpl(writer, kAudioPid, kAudioStreamId, &one, 1, counter, 0);
  ASSERT_EQ(writer.size(), 188u);
  const uint8_t* p = writer.data();
  EXPECT_EQ(p[3], 0x30);
  EXPECT_EQ(p[4], 168);
  EXPECT_EQ(p[5], 0x00);
  for (int i = 6; i < 6 + 167; ++i) ASSERT_EQ(p[i], 0xFF) << i;
  EXPECT_EQ(p[173], 0x00);
  EXPECT_EQ(p[176], 0xC0);
  EXPECT_EQ(p[187], 0xAB);

  // A 70000-byte access unit: PES_packet_length 0, every byte carried.
  const std::vector<uint8_t> large = Payload(70000);
  writer.Clear();
  counter = 0;
  WritePESPacketImpl(writer, kVideoPid, kVideoStreamId, large.data(), large.size(), counter, 0);
  std::string error;
  const auto pes = CollectPes(ParseTs(Bytes(writer), &error), &error);
  ASSERT_EQ(error, "");
  ASSERT_EQ(pes.size(), 1u);
  EXPECT_EQ(pes[0].declared_length, 0);
  EXPECT_EQ(pes[0].payload, large);

  // Nothing is written for an empty payload.
  writer.Clear();
  WritePESPacketImpl(writer, kVideoPid, kVideoStreamId, large.data(), 0, counter, 0);
  EXPECT_TRUE(writer.empty());
}

TEST(TsPacketizerTest, GathersPayloadsFromSeveralSpans) {
  const std::vector<uint8_t> a = Payload(5);
  const std::vector<uint8_t> b = Payload(400);
  const std::vector<uint8_t> c = Payload(7);
  const ByteSpan spans[] = {
      {a.data(), a.size()}, {nullptr, 0}, {b.data(), b.size()}, {c.data(), c.size()}};
  BufferWriter writer;
  uint32_t counter = 0;
  WritePESPacketImpl(writer, kAudioPid, kAudioStreamId, spans, 4, counter, 0);
  std::string error;
  const auto pes = CollectPes(ParseTs(Bytes(writer), &error), &error);
  ASSERT_EQ(error, "");
  std::vector<uint8_t> joined = a;
  joined.insert(joined.end(), b.begin(), b.end());
  joined.insert(joined.end(), c.begin(), c.end());
  ASSERT_EQ(pes.size(), 1u);
  EXPECT_EQ(pes[0].payload, joined);
}

TEST(TsPacketizerTest, SectionsAreStuffedToTheEndOfThePacket) {
  BufferWriter writer;
  writer.AppendFill(0x11, 5);
  const uint8_t section[] = {0x00, 0xB0, 0x0D, 0x00, 0x01, 0xC1,
                             0x00, 0x00, 0x00, 0x01, 0xF0, 0x00};
  writer.Append(section, sizeof(section));
  WriteCRCWithStuffing(writer, writer.data() + 5, sizeof(section));
  ASSERT_EQ(writer.size(), 188u);
  EXPECT_EQ(writer.data()[17], 0x2A);
  EXPECT_EQ(writer.data()[20], 0xB2);
  EXPECT_EQ(writer.data()[21], 0xFF);
  EXPECT_EQ(writer.data()[187], 0xFF);
}

}  // namespace
}  // namespace selvo
