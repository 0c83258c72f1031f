#include "engine/media_segmenter.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "engine/aac_frame_parser.h"
#include "engine/testing/bit_writer.h"
#include "engine/testing/box_builder.h"
#include "engine/testing/synthetic_recordings.h"
#include "engine/testing/temp_dir.h"
#include "engine/testing/ts_parser.h"

namespace selvo {
namespace {

using namespace selvo::testing;

const Bytes kSps = {0x67, 0x42, 0xC0, 0x1E, 0xDA, 0x02};
const Bytes kPps = {0x68, 0xCE, 0x3C, 0x80};
const Bytes kStartCode = {0, 0, 0, 1};
const Bytes kDelimiter = {0, 0, 0, 1, 0x09, 0xF0};

// Independent of the table-driven CRC under test: one bit at a time.
uint32_t BitwiseCrc(const Bytes& bytes) {
  uint32_t crc = 0xFFFFFFFF;
  for (uint8_t byte : bytes) {
    for (int bit = 7; bit >= 0; --bit) {
      const bool top = ((crc >> 31) & 1) != (((byte >> bit) & 1) != 0);
      crc <<= 1;
      if (top) crc ^= 0x04C11DB7;
    }
  }
  return crc;
}

// The 188-byte packet carrying `section` (CRC appended) on `pid` with counter `counter`.
Bytes SectionPacket(uint8_t pid_high, uint8_t pid_low, uint8_t counter, const Bytes& section) {
  Bytes packet = {0x47, pid_high, pid_low, static_cast<uint8_t>(0x10 | counter), 0x00};
  packet = Cat({packet, section, U32(BitwiseCrc(section))});
  packet.resize(188, 0xFF);
  return packet;
}

Bytes Contents(const BufferWriter& writer) {
  return Bytes(writer.data(), writer.data() + writer.size());
}

// Appends bytes to a packet as a read would; `final` marks them as the last of the file.
void Feed(MediaPacket& packet, const Bytes& bytes, bool final = false) {
  ASSERT_LE(packet.filled + bytes.size(), packet.capacity);
  std::memcpy(packet.buffer + packet.filled, bytes.data(), bytes.size());
  packet.filled += bytes.size();
  packet.file_offset += static_cast<int64_t>(bytes.size());
  if (final) packet.end_offset = packet.file_offset;
}

class SegmenterTest : public ::testing::Test {
 protected:
  void SetUpSegmenter(int slices = 1) {
    WriteFile(dir_.File("video.mov"), AvcSampleFile(kSps, kPps, slices));
    WriteFile(dir_.File("audio.mov"), AacSampleFile());
    bool is_amr = true;
    ASSERT_EQ(segmenter_.InitMediaParameters(10, dir_.File("video.mov").c_str(),
                                             dir_.File("audio.mov").c_str(), &is_amr),
              1);
    ASSERT_FALSE(is_amr);
  }
  std::vector<Pes> PesOf(const BufferWriter& ts) {
    std::string error;
    auto pes = CollectPes(ParseTs(Contents(ts), &error), &error);
    EXPECT_EQ(error, "");
    return pes;
  }

  TempDir dir_;
  MediaSegmenter segmenter_;
};

TEST_F(SegmenterTest, SegmentHeadersAreExactly) {
  const Bytes sdt = Cat({Bytes{0x42, 0xF0, 0x25, 0x00, 0x01, 0xC1, 0x00, 0x00, 0x00, 0x01,
                               0xFF, 0x00, 0x01, 0xFC, 0x80, 0x14, 0x48, 0x12, 0x01, 0x06},
                         Text("SelvoL"), Bytes{0x09}, Text("SelvoLive")});
  const Bytes pat_packet =
      Cat({Bytes{0x47, 0x40, 0x00, 0x10, 0x00, 0x00, 0xB0, 0x0D, 0x00, 0x01, 0xC1,
                 0x00, 0x00, 0x00, 0x01, 0xF0, 0x00, 0x2A, 0xB1, 0x04, 0xB2},
           Bytes(167, 0xFF)});
  const Bytes pmt_head = {0x00, 0x01, 0xC1, 0x00, 0x00, 0xE1};
  const Bytes video_entry = {0x1B, 0xE1, 0x00, 0xF0, 0x00};
  const Bytes audio_entry = {0x0F, 0xE1, 0x01, 0xF0, 0x06, 0x0A, 0x04, 0x75, 0x6E, 0x64, 0x00};
  struct Case {
    bool video;
    bool audio;
    Bytes pmt_section;
  };
  const Case cases[] = {
      {true, true,
       Cat({Bytes{0x02, 0xB0, 0x1D}, pmt_head, Bytes{0x00, 0xF0, 0x00}, video_entry, audio_entry})},
      {true, false, Cat({Bytes{0x02, 0xB0, 0x12}, pmt_head, Bytes{0x00, 0xF0, 0x00}, video_entry})},
      {false, true, Cat({Bytes{0x02, 0xB0, 0x18}, pmt_head, Bytes{0x01, 0xF0, 0x00}, audio_entry})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.video << c.audio);
    MediaSegmenter segmenter;
    BufferWriter ts;
    segmenter.MakeTSHeader(ts, 0, 0, c.video, c.audio);
    ASSERT_EQ(ts.size(), 3 * 188u);
    const Bytes bytes = Contents(ts);
    EXPECT_EQ(Bytes(bytes.begin(), bytes.begin() + 188), SectionPacket(0x40, 0x11, 0, sdt));
    EXPECT_EQ(Bytes(bytes.begin() + 188, bytes.begin() + 376), pat_packet);
    EXPECT_EQ(Bytes(bytes.begin() + 376, bytes.end()), SectionPacket(0x50, 0x00, 0, c.pmt_section));
    // The PCR is armed on the stream that carries it.
    EXPECT_EQ(segmenter.video_pes_writer() == &MediaSegmenter::WriteVideoPES1stNal, c.video);
    EXPECT_EQ(segmenter.audio_pes_writer() == &MediaSegmenter::Write1stAudioPES, !c.video);
  }

  // Counters go into the PAT and PMT packets; the SDT's stays 0.
  MediaSegmenter segmenter;
  BufferWriter ts;
  segmenter.MakeTSHeader(ts, 0x13, 0x25, true, true);
  EXPECT_EQ(ts.data()[3], 0x10);
  EXPECT_EQ(ts.data()[188 + 3], 0x13);
  EXPECT_EQ(ts.data()[376 + 3], 0x15);
}

TEST_F(SegmenterTest, ThePcrGoesIntoTheFirstPesOfASegmentOnly) {
  SetUpSegmenter();
  BufferWriter ts;
  segmenter_.MakeTSHeader(ts, 0, 0, true, true);
  ts.Clear();
  ContinuityCounter counter;
  const uint8_t data[10] = {};
  const ByteSpan span{data, sizeof(data)};
  segmenter_.WriteVideoPES1stNal(ts, &span, 1, counter);
  (segmenter_.*segmenter_.video_pes_writer())(ts, &span, 1, counter);
  std::string error;
  const auto packets = ParseTs(Contents(ts), &error);
  ASSERT_EQ(packets.size(), 2u);
  EXPECT_TRUE(packets[0].pcr);
  EXPECT_FALSE(packets[1].pcr);
}

struct VideoCase {
  std::string name;
  int slices;
  Bytes stream;              // length-prefixed NAL units
  std::vector<Bytes> units;  // expected access units, in order
};

TEST_F(SegmenterTest, BuildsAccessUnitsFromNalUnits) {
  const Bytes sei = Nal(0x06, 8, 0x11);
  const Bytes idr = Nal(0x65, 30, 0x22);
  const Bytes idr2 = Nal(0x65, 20, 0x23);
  const Bytes p1 = Nal(0x41, 12, 0x33);
  const Bytes p2 = Nal(0x41, 14, 0x34);
  const Bytes sps2 = Nal(0x67, 7, 0x44);
  const Bytes pps2 = Nal(0x68, 3, 0x55);
  auto annexb = [](const Bytes& nal) {
    return Cat({Bytes{0, 0, 0, 1}, Bytes(nal.begin() + 4, nal.end())});
  };
  const Bytes stored_sps = Cat({kStartCode, kSps});
  const Bytes stored_pps = Cat({kStartCode, kPps});
  const VideoCase cases[] = {
      {"SEI + IDR, then P frames",
       1,
       Cat({sei, idr, p1, p2}),
       {Cat({kDelimiter, annexb(sei), stored_sps, stored_pps, annexb(idr)}),
        Cat({kDelimiter, annexb(p1)}), Cat({kDelimiter, annexb(p2)})}},
      {"parameter sets in the stream are not repeated",
       1,
       Cat({sps2, pps2, idr, p1}),
       {Cat({kDelimiter, annexb(sps2), annexb(pps2), annexb(idr)}), Cat({kDelimiter, annexb(p1)})}},
      {"parameter sets in the stream replace the stored ones",
       1,
       Cat({sps2, pps2, p1, p2, idr}),
       {Cat({kDelimiter, annexb(sps2), annexb(pps2), annexb(p1)}), Cat({kDelimiter, annexb(p2)}),
        Cat({kDelimiter, annexb(sps2), annexb(pps2), annexb(idr)})}},
      {"two slices per frame",
       2,
       Cat({sei, idr, idr2, p1, p2}),
       {Cat({kDelimiter, annexb(sei), stored_sps, stored_pps, annexb(idr), annexb(idr2)}),
        Cat({kDelimiter, annexb(p1), annexb(p2)})}},
      {"empty NAL units carry nothing", 1, Cat({U32(0), p1}), {Cat({kDelimiter, annexb(p1)})}},
  };
  for (const VideoCase& c : cases) {
    SCOPED_TRACE(c.name);
    SetUpSegmenter(c.slices);
    BufferWriter ts;
    ContinuityCounter counter;
    counter.audio_time = 10000000;  // audio far ahead: no pause for interleaving
    PacketDataState end;
    AccessUnitState unit;
    unit.AppendCopy(kDelimiter.data(), kDelimiter.size());
    MediaPacket packet(4096);
    Feed(packet, c.stream, /*final=*/true);
    // Everything taken: waiting for data that will not come ends the stream in a pass.
    EXPECT_EQ(segmenter_.MakeVideoPESAvc(ts, packet, counter, end, unit), kPacketNeedData);
    EXPECT_EQ(packet.unread(), 0u);
    const auto pes = PesOf(ts);
    ASSERT_EQ(pes.size(), c.units.size());
    for (size_t i = 0; i < pes.size(); ++i) {
      EXPECT_EQ(pes[i].payload, c.units[i]) << i;
      EXPECT_EQ(pes[i].pts, 9000 * i);
      EXPECT_EQ(pes[i].stream_id, 0xE0);
    }
    EXPECT_EQ(counter.video_time, 100000 * c.units.size());
    EXPECT_EQ(unit.written_bytes, c.stream.size());
    EXPECT_EQ(end.end, 0u);
  }
}

TEST_F(SegmenterTest, VideoWaitsForAudioAndForData) {
  SetUpSegmenter();
  const Bytes p1 = Nal(0x41, 3000, 0x31);
  const Bytes p2 = Nal(0x41, 10, 0x32);
  BufferWriter ts;
  ContinuityCounter counter;
  counter.audio_time = 150000;
  PacketDataState end;
  AccessUnitState unit;
  MediaPacket packet(2048);

  // A NAL unit larger than the read buffer arrives in pieces; it is copied as it comes.
  Feed(packet, Bytes(p1.begin(), p1.begin() + 1000));
  EXPECT_EQ(segmenter_.MakeVideoPESAvc(ts, packet, counter, end, unit), kPacketNeedData);
  EXPECT_EQ(packet.unread(), 0u);
  EXPECT_EQ(unit.written_bytes, 0u);  // nothing of an unfinished unit counts
  packet.Reset();
  Feed(packet, Bytes(p1.begin() + 1000, p1.begin() + 2000));
  EXPECT_EQ(segmenter_.MakeVideoPESAvc(ts, packet, counter, end, unit), kPacketNeedData);
  packet.Reset();
  Feed(packet, Cat({Bytes(p1.begin() + 2000, p1.end()), p2, p2}));
  // The first unit ends at 100 ms, the second at 200 ms: 100 ms past audio at 150 ms.
  EXPECT_EQ(segmenter_.MakeVideoPESAvc(ts, packet, counter, end, unit), kPacketData);
  EXPECT_EQ(PesOf(ts).size(), 2u);
  EXPECT_EQ(PesOf(ts)[0].payload, Cat({Bytes{0, 0, 0, 1}, Bytes(p1.begin() + 4, p1.end())}));
  EXPECT_EQ(unit.written_bytes, p1.size() + p2.size());
  EXPECT_EQ(packet.unread(), p2.size());

  // The index box after the media data ends the stream.
  counter.audio_time = 10000000;
  Feed(packet, Box("moov", Zeros(4)));
  EXPECT_EQ(segmenter_.MakeVideoPESAvc(ts, packet, counter, end, unit), kPacketConsumed);
  EXPECT_EQ(end.end, 1u);
  EXPECT_EQ(PesOf(ts).size(), 3u);
  EXPECT_EQ(segmenter_.MakeVideoPESAvc(ts, packet, counter, end, unit), kPacketConsumed);
}

TEST_F(SegmenterTest, DamagedNalLengthsNeverReadOutsideTheData) {
  SetUpSegmenter();
  std::mt19937 random(11);
  for (int round = 0; round < 300; ++round) {
    Bytes bytes(random() % 3000);
    for (auto& byte : bytes) byte = static_cast<uint8_t>(random());
    BufferWriter ts;
    ContinuityCounter counter;
    counter.audio_time = 1000000000;
    PacketDataState end;
    AccessUnitState unit;
    MediaPacket packet(4096);
    Feed(packet, bytes, round % 2 == 0);
    const int state = segmenter_.MakeVideoPESAvc(ts, packet, counter, end, unit);
    EXPECT_TRUE(state == kPacketFull || state == kPacketNeedData || state == kPacketConsumed ||
                state == kPacketData);
    EXPECT_LE(packet.position, packet.filled);
  }
  // An absurd length gives up at once instead of buffering the rest of the file.
  BufferWriter ts;
  ContinuityCounter counter;
  PacketDataState end;
  AccessUnitState unit;
  MediaPacket packet(64);
  Feed(packet, Cat({U32(0x7FFFFFFF), Bytes{0x41}, Zeros(20)}));
  EXPECT_EQ(segmenter_.MakeVideoPESAvc(ts, packet, counter, end, unit), kPacketFull);
}

class AudioTest : public SegmenterTest {
 protected:
  void SetUp() override {
    WriteFile(dir_.File("audio.mov"), AacSampleFile());
    ASSERT_EQ(segmenter_.InitMediaParameters(dir_.File("audio.mov").c_str()), 1);
    for (int i = 0; i < 40; ++i) {
      frames_.push_back(AacFrame(60 + static_cast<size_t>(i) * 7 % 90, static_cast<uint8_t>(i)));
    }
  }
  Bytes Adts(const Bytes& frame) {
    const size_t length = frame.size() + 7;
    Bytes header = {0xFF,
                    0xF1,
                    0x5C,
                    static_cast<uint8_t>(0x40 | (length >> 11)),
                    static_cast<uint8_t>(length >> 3),
                    static_cast<uint8_t>(((length & 7) << 5) | 0x1F),
                    0xFC};
    return Cat({header, frame});
  }
  Bytes AllFrames(size_t from = 0, size_t to = 40) {
    Bytes out;
    for (size_t i = from; i < to; ++i) out = Cat({out, frames_[i]});
    return out;
  }

  std::vector<Bytes> frames_;
};

TEST_F(AudioTest, FramesOfARunGoIntoOnePes) {
  for (const Bytes& frame : frames_)
    ASSERT_EQ(AacFrameLength(frame.data(), frame.size(), 7, false), static_cast<int>(frame.size()));
  BufferWriter ts;
  ContinuityCounter counter;
  counter.audio_time = 1000;
  counter.video_time = 200000;
  PacketDataState end;
  AudioRunState run;
  MediaPacket packet(65536);
  Feed(packet, AllFrames());

  // Audio stops once the next frame would end 100 ms or more past video: after 6 frames
  // of 46.4 ms from 1 ms.
  EXPECT_EQ(segmenter_.MakeAudioPES(ts, packet, counter, end, run), kPacketData);
  auto pes = PesOf(ts);
  ASSERT_EQ(pes.size(), 1u);
  Bytes expected;
  for (size_t i = 0; i < 6; ++i) expected = Cat({expected, Adts(frames_[i])});
  EXPECT_EQ(pes[0].payload, expected);
  EXPECT_EQ(pes[0].pts, 90u);
  EXPECT_EQ(pes[0].stream_id, 0xC0);
  EXPECT_EQ(counter.audio_time, 1000 + 6 * 46439u);
  EXPECT_EQ(run.written_bytes, AllFrames(0, 6).size());
  EXPECT_EQ(packet.position, AllFrames(0, 6).size());
  EXPECT_FALSE(run.open);

  // A run is also written once it holds more than 32 KiB.
  counter.video_time = 1000000000;
  MediaPacket large(65536);
  Bytes many;
  for (int i = 0; i < 60; ++i) many = Cat({many, AacFrame(700, static_cast<uint8_t>(i))});
  Feed(large, many, true);
  ts.Clear();
  EXPECT_EQ(segmenter_.MakeAudioPES(ts, large, counter, end, run), kPacketData);
  pes = PesOf(ts);
  ASSERT_EQ(pes.size(), 1u);
  EXPECT_EQ(pes[0].payload.size(), 47 * 707u);  // the first to exceed 32768 bytes
}

TEST_F(AudioTest, WhatIsWrittenDoesNotDependOnHowTheDataArrives) {
  // Audio is cut into runs by time; calls are repeated while data is left, as a pass does.
  auto drain = [&](BufferWriter& ts, MediaPacket& packet, ContinuityCounter& counter,
                   PacketDataState& end, AudioRunState& run) {
    int state;
    int need_data = 0;
    while ((state = segmenter_.MakeAudioPES(ts, packet, counter, end, run)) == kPacketData) {
    }
    if (state == kPacketNeedData && run.open) ++need_data;
    return need_data;
  };
  // Silent frames start with a zero byte, as the encoder's frames do; one frame does not
  // walk.
  const Bytes silence = {0x00, 0x4C, 0x40, 0x07};
  Bytes all;
  for (size_t i = 0; i < frames_.size(); ++i) {
    Bytes frame = frames_[i];
    if (i == 25) frame[0] = 0x20;
    all = Cat({all, frame, i % 3 == 0 ? silence : Bytes{}});
  }
  ::testing::internal::CaptureStdout();
  BufferWriter whole;
  {
    ContinuityCounter counter;
    counter.video_time = 1000000;
    PacketDataState end;
    AudioRunState run;
    MediaPacket packet(65536);
    Feed(packet, all, true);
    drain(whole, packet, counter, end, run);
    segmenter_.FlushAudioRun(whole, packet, counter, run);
  }
  // The same bytes arriving a few at a time, as from a growing file.
  for (size_t chunk : {1, 5, 300}) {
    BufferWriter pieces;
    ContinuityCounter counter;
    counter.video_time = 1000000;
    PacketDataState end;
    AudioRunState run;
    MediaPacket packet(65536);
    int interrupted = 0;
    for (size_t at = 0; at < all.size(); at += chunk) {
      const size_t n = std::min(chunk, all.size() - at);
      Feed(packet,
           Bytes(all.begin() + static_cast<long>(at), all.begin() + static_cast<long>(at + n)),
           at + n == all.size());
      interrupted += drain(pieces, packet, counter, end, run);
    }
    segmenter_.FlushAudioRun(pieces, packet, counter, run);
    EXPECT_GT(interrupted, 2) << chunk;
    EXPECT_EQ(Contents(pieces), Contents(whole)) << chunk;
  }
  ::testing::internal::GetCapturedStdout();
  EXPECT_GT(PesOf(whole).size(), 2u);
}

TEST_F(AudioTest, AFrameOfAGrowingFileIsTakenAsSoonAsItIsWhole) {
  BufferWriter ts;
  ContinuityCounter counter;
  counter.video_time = 1000000000;
  PacketDataState end;
  AudioRunState run;
  MediaPacket packet(65536);
  const Bytes silence = {0x00, 0x4C, 0x40, 0x07};
  auto step = [&](const Bytes& bytes) {
    Feed(packet, bytes);
    EXPECT_EQ(segmenter_.MakeAudioPES(ts, packet, counter, end, run), kPacketNeedData);
    return run.frames.size();
  };
  ::testing::internal::CaptureStdout();
  // Far fewer bytes than a frame's PCM size: each frame goes as soon as its last byte is
  // there, none before.
  EXPECT_EQ(step(frames_[0]), 1u);
  EXPECT_EQ(step(Bytes(frames_[1].begin(), frames_[1].end() - 1)), 1u);
  EXPECT_EQ(step(Bytes(frames_[1].end() - 1, frames_[1].end())), 2u);
  // A zero byte after a frame may be padding that belongs to it or the start of the next
  // frame: the frame waits until a later byte tells.
  EXPECT_EQ(step(Cat({frames_[2], Bytes{silence[0]}})), 2u);
  EXPECT_EQ(step(Bytes(silence.begin() + 1, silence.end())), 3u);
  EXPECT_EQ(step(Cat({frames_[3], Bytes(frames_[4].begin(), frames_[4].begin() + 20)})), 5u);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(counter.audio_time, 5 * 46439u);
  EXPECT_EQ(ts.size(), 0u);  // the run stays open: audio is not yet 100 ms ahead of video

  segmenter_.FlushAudioRun(ts, packet, counter, run);
  ASSERT_EQ(PesOf(ts).size(), 1u);
  EXPECT_EQ(PesOf(ts)[0].payload, Cat({Adts(frames_[0]), Adts(frames_[1]), Adts(frames_[2]),
                                       Adts(silence), Adts(frames_[3])}));
}

TEST_F(AudioTest, TheTailOfFinishedDataAndTheIndexBoxEndTheStream) {
  BufferWriter ts;
  ContinuityCounter counter;
  counter.video_time = 1000000000;
  PacketDataState end;
  AudioRunState run;
  MediaPacket packet(65536);
  Feed(packet, AllFrames(0, 3), true);  // far less than half a frame's PCM: all there is
  EXPECT_EQ(segmenter_.MakeAudioPES(ts, packet, counter, end, run), kPacketNeedData);
  EXPECT_TRUE(run.open);
  EXPECT_EQ(run.frames.size(), 3u);
  segmenter_.FlushAudioRun(ts, packet, counter, run);  // what completing a pass does
  ASSERT_EQ(PesOf(ts).size(), 1u);
  EXPECT_EQ(PesOf(ts)[0].payload.size(), AllFrames(0, 3).size() + 21);

  AudioRunState fresh;
  MediaPacket growing(65536);
  Feed(growing, Cat({AllFrames(0, 2), Box("moov", Zeros(1500))}));
  ts.Clear();
  EXPECT_EQ(segmenter_.MakeAudioPES(ts, growing, counter, end, fresh), kPacketConsumed);
  EXPECT_EQ(end.end, 1u);
  ASSERT_EQ(PesOf(ts).size(), 1u);
  EXPECT_EQ(PesOf(ts)[0].payload.size(), AllFrames(0, 2).size() + 14);
}

TEST_F(AudioTest, ADamagedFrameCostsOnlyItsOwnTime) {
  // Frame 10 is overwritten with bytes that do not walk (a stereo element first).
  std::vector<Bytes> damaged = frames_;
  Bytes& bad = damaged[10];
  std::mt19937 random(3);
  for (auto& byte : bad) byte = static_cast<uint8_t>(random());
  bad[0] = 0x20;
  Bytes stream;
  for (const Bytes& frame : damaged) stream = Cat({stream, frame});

  BufferWriter ts;
  ContinuityCounter counter;
  counter.video_time = 1000000000;
  PacketDataState end;
  AudioRunState run;
  MediaPacket packet(65536);
  Feed(packet, stream, true);
  ::testing::internal::CaptureStdout();
  while (segmenter_.MakeAudioPES(ts, packet, counter, end, run) == kPacketData) {
  }
  segmenter_.FlushAudioRun(ts, packet, counter, run);
  ::testing::internal::GetCapturedStdout();
  Bytes payload;
  for (const Pes& pes : PesOf(ts)) payload = Cat({payload, pes.payload});

  // Frames 0-9, one silent frame, frames 11-39: every later frame bit-exact, one frame's
  // time in place of the damaged one.
  Bytes expected;
  for (size_t i = 0; i < 10; ++i) expected = Cat({expected, Adts(frames_[i])});
  expected =
      Cat({expected, Bytes{0xFF, 0xF1, 0x5C, 0x40, 0x01, 0x7F, 0xFC, 0x00, 0x4C, 0x40, 0x07}});
  for (size_t i = 11; i < 40; ++i) expected = Cat({expected, Adts(frames_[i])});
  std::string sizes;
  for (size_t at = 0; at + 7 <= payload.size();) {
    const size_t length =
        ((payload[at + 3] & 3u) << 11) | (payload[at + 4] << 3) | (payload[at + 5] >> 5);
    sizes += std::to_string(length) + " ";
    at += length;
  }
  EXPECT_EQ(payload, expected) << sizes;
  EXPECT_EQ(counter.audio_time, 40 * 46439u);
  EXPECT_EQ(packet.position, stream.size());
}

TEST_F(AudioTest, RandomBytesInPlaceOfFramesNeverReadOutsideTheData) {
  std::mt19937 random(5);
  for (int round = 0; round < 200; ++round) {
    Bytes bytes(random() % 5000);
    for (auto& byte : bytes) byte = static_cast<uint8_t>(random());
    BufferWriter ts;
    ContinuityCounter counter;
    counter.video_time = 1000000000;
    PacketDataState end;
    AudioRunState run;
    MediaPacket packet(8192);
    Feed(packet, bytes, round % 2 == 0);
    ::testing::internal::CaptureStdout();
    for (int step = 0; step < 1000; ++step) {
      const int state = segmenter_.MakeAudioPES(ts, packet, counter, end, run);
      if (state != kPacketData) break;
    }
    ::testing::internal::GetCapturedStdout();
    EXPECT_LE(packet.position, packet.filled);
  }
}

}  // namespace
}  // namespace selvo
