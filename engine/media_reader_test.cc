#include "engine/media_reader.h"

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "engine/testing/box_builder.h"
#include "engine/testing/temp_dir.h"

namespace selvo {
namespace {

using namespace selvo::testing;

class Fd {
 public:
  explicit Fd(const std::string& path) : fd_(::open(path.c_str(), O_RDONLY)) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }

 private:
  int fd_;
};

bool IsOpen(int fd) { return ::fcntl(fd, F_GETFD) != -1; }

// A control whose pauses run the next step of a scenario instead of sleeping.
struct Scenario {
  std::atomic<int> stop{0};
  std::atomic<int> recorder_stopped{0};
  std::vector<std::function<void()>> steps;
  int pauses = 0;
  StreamControl control() {
    StreamControl c;
    c.stop = &stop;
    c.recorder_stopped = &recorder_stopped;
    c.pause = [this](int) {
      if (static_cast<size_t>(pauses) < steps.size()) steps[static_cast<size_t>(pauses)]();
      ++pauses;
      if (pauses > 100) stop = 1;  // a test that never ends would hang, not fail
    };
    return c;
  }
};

TEST(MediaReaderTest, ReadStepsFollowThePacketState) {
  TempDir dir;
  Bytes content(10000);
  for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<uint8_t>(i * 7);
  const std::string path = dir.File("data");
  WriteFile(path, Bytes(content.begin(), content.begin() + 6000));
  Fd fd(path);
  MediaPacket packet(8192);

  EXPECT_EQ(ReadMediaData(fd.get(), packet, kPacketData), kPacketData);  // returned unchanged
  EXPECT_EQ(ReadMediaData(fd.get(), packet, kPacketConsumed), kPacketConsumed);
  EXPECT_EQ(ReadMediaData(fd.get(), packet, kPacketEmpty), kPacketData);
  EXPECT_EQ(packet.filled, 6000u);
  EXPECT_EQ(packet.position, 0u);

  // Nothing new: state 2 stays 2 and keeps the data.
  packet.position = 4000;
  EXPECT_EQ(ReadMediaData(fd.get(), packet, kPacketNeedData), kPacketNeedData);
  EXPECT_EQ(packet.position, 4000u);  // up to 4095 consumed bytes are not moved

  // More data: appended behind the unconsumed bytes; more than 4095 consumed are moved out.
  AppendFile(path, Bytes(content.begin() + 6000, content.end()));
  packet.position = 5000;
  EXPECT_EQ(ReadMediaData(fd.get(), packet, kPacketNeedData), kPacketData);
  EXPECT_EQ(packet.position, 0u);
  EXPECT_EQ(packet.filled, 5000u);
  EXPECT_EQ(Bytes(packet.buffer, packet.buffer + packet.filled),
            Bytes(content.begin() + 5000, content.end()));

  // A full buffer from which nothing was consumed cannot take more.
  MediaPacket small(100);
  EXPECT_EQ(ReadMediaData(fd.get(), small, kPacketEmpty), kPacketData);
  EXPECT_EQ(ReadMediaData(fd.get(), small, kPacketNeedData), kPacketFull);

  // Reads stop at the end of the media data.
  MediaPacket bounded(8192);
  bounded.file_offset = 100;
  bounded.end_offset = 350;
  EXPECT_EQ(ReadMediaData(fd.get(), bounded, kPacketEmpty), kPacketData);
  EXPECT_EQ(bounded.filled, 250u);
  EXPECT_TRUE(bounded.AtEnd());
  EXPECT_EQ(ReadMediaData(fd.get(), bounded, kPacketEmpty), kPacketEmpty);

  // An empty file gives nothing.
  WriteFile(dir.File("empty"), {});
  Fd empty(dir.File("empty"));
  MediaPacket none(100);
  EXPECT_EQ(ReadMediaData(empty.get(), none, kPacketEmpty), kPacketEmpty);
}

TEST(MediaReaderTest, WaitsForTheRecordingsToAppear) {
  TempDir dir;
  Scenario scenario;
  const std::string video = dir.File("video.mov");
  const std::string audio = dir.File("audio.mov");
  scenario.steps = {
      [&] { WriteFile(video, {1}); },
      [&] { WriteFile(audio, {}); },  // exists but empty: not yet
      [] {},
      [&] {
        WriteFile(audio, {1, 2});
      },
  };
  std::vector<std::pair<std::string, int>> files = {{video, -1}, {audio, -1}};
  EXPECT_EQ(WaitMediaReady(scenario.control(), files), 1);
  EXPECT_EQ(scenario.pauses, 4);
  ASSERT_GE(files[0].second, 0);
  ASSERT_GE(files[1].second, 0);
  ::close(files[0].second);
  ::close(files[1].second);

  std::vector<std::pair<std::string, int>> nothing;
  Scenario quick;
  EXPECT_EQ(WaitMediaReady(quick.control(), nothing), 1);
  EXPECT_EQ(quick.pauses, 1);
}

TEST(MediaReaderTest, AStopWhileWaitingClosesWhatWasOpened) {
  TempDir dir;
  const std::string video = dir.File("video.mov");
  WriteFile(video, {1});
  for (bool recorder : {false, true}) {
    Scenario scenario;
    std::vector<std::pair<std::string, int>> files = {{video, -1}, {dir.File("audio.mov"), -1}};
    int opened = -1;
    scenario.steps = {[] {},
                      [&] {
                        opened = files[0].second;
                        (recorder ? scenario.recorder_stopped : scenario.stop) = 1;
                      }};
    EXPECT_EQ(WaitMediaReady(scenario.control(), files), 0);
    ASSERT_GE(opened, 0);
    EXPECT_FALSE(IsOpen(opened));
    EXPECT_EQ(files[0].second, -1);
  }
}

TEST(MediaReaderTest, FinishedRecordingsAreNotWaitedFor) {
  TempDir dir;
  Scenario scenario;
  StreamControl control = scenario.control();
  control.recordings_final = true;
  std::vector<std::pair<std::string, int>> files = {{dir.File("missing.mov"), -1}};
  EXPECT_EQ(WaitMediaReady(control, files), 0);
  EXPECT_EQ(scenario.pauses, 0);
}

TEST(MediaReaderTest, PositionsAFinishedRecordingThroughItsIndex) {
  TempDir dir;
  const Bytes media = {10, 11, 12, 13, 14, 15, 16, 17, 18, 19};
  const Bytes file = Cat({Ftyp(), Box("wide", {}), Box("mdat", media), Box("moov", Zeros(8))});
  const int64_t payload = static_cast<int64_t>(Ftyp().size() + 8 + 8);
  const std::string path = dir.File("video.mov");
  WriteFile(path, file);
  Fd fd(path);
  Scenario scenario;

  struct Case {
    int64_t position;
    int result;
  };
  for (const Case& c : {Case{0, 1}, Case{4, 1}, Case{10, 1}, Case{11, -1}, Case{-2, -1}}) {
    SCOPED_TRACE(c.position);
    MediaPacket packet(64);
    PacketProcessState state = kPacketData;
    int64_t position = c.position;
    ASSERT_EQ(SeekToMediaBoxOffset(scenario.control(), fd.get(), position, packet, state),
              c.result);
    if (c.result != 1) continue;
    EXPECT_EQ(position, c.position);
    EXPECT_EQ(state, kPacketEmpty);
    EXPECT_EQ(packet.end_offset, payload + 10);
    EXPECT_EQ(ReadMediaData(fd.get(), packet, state), c.position < 10 ? kPacketData : kPacketEmpty);
    EXPECT_EQ(Bytes(packet.buffer, packet.buffer + packet.filled),
              Bytes(media.begin() + c.position, media.end()));
  }

  // The media data of a finished recording is mapped: all of it at once, nothing to read.
  for (int64_t start : {int64_t{0}, int64_t{3}, int64_t{10}}) {
    StreamControl final_control = scenario.control();
    final_control.recordings_final = true;
    MediaPacket packet(64);
    PacketProcessState state = kPacketEmpty;
    int64_t position = start;
    ASSERT_EQ(SeekToMediaBoxOffset(final_control, fd.get(), position, packet, state), 1);
    EXPECT_EQ(packet.mapped(), start < 10);
    EXPECT_EQ(state, start < 10 ? kPacketData : kPacketEmpty);
    EXPECT_EQ(ReadMediaData(fd.get(), packet, state), start < 10 ? kPacketData : kPacketEmpty);
    EXPECT_EQ(Bytes(packet.unread_data(), packet.unread_data() + packet.unread()),
              Bytes(media.begin() + start, media.end()));
    EXPECT_TRUE(packet.AtEnd());
    packet.position = packet.filled;
    EXPECT_EQ(ReadMediaData(fd.get(), packet, kPacketNeedData), kPacketNeedData);
  }

  // Without 'mdat' there is nothing to read.
  WriteFile(path, Cat({Ftyp(), Box("moov", Zeros(8))}));
  Fd no_media(path);
  MediaPacket packet(64);
  PacketProcessState state = kPacketEmpty;
  int64_t position = 0;
  EXPECT_EQ(SeekToMediaBoxOffset(scenario.control(), no_media.get(), position, packet, state), -1);
}

TEST(MediaReaderTest, FindsMediaDataInAGrowingFileSplitAcrossReads) {
  struct Case {
    std::string name;
    Bytes header;  // everything up to the media data
  };
  const Case cases[] = {
      {"32-bit size", Cat({Ftyp(), Box("wide", {}), U32(0), Text("mdat")})},
      {"64-bit size", Cat({Ftyp(), U32(1), Text("mdat"), U32(0), U32(0)})},
  };
  const Bytes media = {0xA0, 0xA1, 0xA2, 0xA3};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const std::string path = dir.File("video.mov");
    // The writer has written up to the middle of the type 'mdat'.
    const size_t split = c.header.size() - 2;
    WriteFile(path, Bytes(c.header.begin(), c.header.begin() + static_cast<long>(split)));
    Fd fd(path);
    Scenario scenario;
    scenario.steps = {
        [&] {
          AppendFile(path, Bytes(c.header.begin() + static_cast<long>(split), c.header.end()));
        },
        [] {},  // the header is complete, but no media byte yet
        [&] { AppendFile(path, media); },
    };
    MediaPacket packet(1024);
    PacketProcessState state = kPacketEmpty;
    int64_t position = -1;
    ASSERT_EQ(SeekToMediaBoxOffset(scenario.control(), fd.get(), position, packet, state), 1);
    EXPECT_EQ(position, 0);
    EXPECT_EQ(state, kPacketData);
    EXPECT_EQ(packet.end_offset, kUnknownEnd);
    EXPECT_EQ(Bytes(packet.unread_data(), packet.unread_data() + packet.unread()), media);
    EXPECT_EQ(scenario.pauses, 3);
  }
}

TEST(MediaReaderTest, AGrowingFileWithoutMediaDataFailsOrStops) {
  TempDir dir;
  const std::string path = dir.File("video.mov");
  WriteFile(path, Cat({Ftyp(), Box("free", Zeros(2000))}));
  Fd fd(path);

  Scenario full;  // the read buffer fills up before 'mdat' shows
  MediaPacket packet(1024);
  PacketProcessState state = kPacketEmpty;
  int64_t position = -1;
  EXPECT_EQ(SeekToMediaBoxOffset(full.control(), fd.get(), position, packet, state), -1);
  EXPECT_EQ(position, -1);

  Scenario stopped;
  stopped.steps = {[&] { stopped.stop = 1; }};
  MediaPacket large(65536);
  state = kPacketEmpty;
  EXPECT_EQ(SeekToMediaBoxOffset(stopped.control(), fd.get(), position, large, state), 0);
  EXPECT_EQ(position, -1);
}

}  // namespace
}  // namespace selvo
