#include "engine/task_files.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <utime.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "engine/streaming_library.h"
#include "engine/streaming_task.h"
#include "engine/testing/engine_harness.h"
#include "engine/testing/temp_dir.h"

namespace selvo {
namespace {

using namespace selvo::testing;

std::string ReadText(const std::string& path) {
  std::ifstream in(path);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteText(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::trunc) << text;
}

struct EscapeCase {
  std::string text;
  std::string escaped;
};

TEST(TaskFilesTest, EscapesSpacesAndPercentSigns) {
  const EscapeCase cases[] = {
      {"", "-"},
      {"plain", "plain"},
      {"/tmp/50% off.mov", "/tmp/50%%%20off.mov"},
      {"a b  c", "a%20b%20%20c"},
      {"%20", "%%20"},
      {"2024-05-06 07:08:09", "2024-05-06%2007:08:09"},
  };
  for (const EscapeCase& c : cases) {
    EXPECT_EQ(EscapeField(c.text), c.escaped) << c.text;
    if (!c.text.empty()) {
      EXPECT_EQ(Replace20WithSpace(c.escaped), c.text) << c.escaped;
    }
  }
}

TEST(TaskFilesTest, ReadsAPercentSignBeforeAnythingElseAsItIs) {
  const EscapeCase cases[] = {
      {"100%", "100%"}, {"%x", "%x"}, {"%2", "%2"}, {"% ", "% "}, {"%%", "%%%"},
  };
  for (const EscapeCase& c : cases) EXPECT_EQ(Replace20WithSpace(c.escaped), c.text) << c.escaped;
}

TEST(TaskFilesTest, ConvertsTimeTextByPosition) {
  struct tm tm;
  ConvertAscTimeToTm("2013-04-05 06:07:08", &tm);
  EXPECT_EQ(tm.tm_year, 113);
  EXPECT_EQ(tm.tm_mon, 3);
  EXPECT_EQ(tm.tm_mday, 5);
  EXPECT_EQ(tm.tm_hour, 6);
  EXPECT_EQ(tm.tm_min, 7);
  EXPECT_EQ(tm.tm_sec, 8);
  EXPECT_EQ(tm.tm_isdst, 0);
}

TEST(TaskFilesTest, WritesAndReadsBackAListLine) {
  TaskData data;
  data.url = "http://127.0.0.1:8080/ingest/video/7/abc";
  data.video_path = "/tmp/rec 1/50% off.mov";
  data.audio_path = "";
  data.progress.video_position = 123456;
  data.progress.audio_position = -1;
  data.progress.counter = {17, 4, 9000000, 8917000};
  data.progress.pat_counter = 3;
  data.progress.pmt_counter = 4;
  data.progress.segment = 2;
  data.progress.piece = 7;
  std::string line;
  AppendTaskHead(&line, "id 1", "2013-04-05 06:07:08", "");
  AppendTaskData(&line, data);
  EXPECT_EQ(line,
            "id%201 2013-04-05%2006:07:08 - http://127.0.0.1:8080/ingest/video/7/abc "
            "/tmp/rec%201/50%%%20off.mov 123456 9000000 17 - -1 8917000 4 3 4 2 7\n");

  TaskLine read;
  ASSERT_TRUE(ParseTaskLine(line, &read));
  EXPECT_EQ(read.id, "id 1");
  EXPECT_EQ(read.start_time, "2013-04-05 06:07:08");
  EXPECT_TRUE(read.end_time_missing);
  EXPECT_EQ(read.data.url, data.url);
  EXPECT_EQ(read.data.video_path, data.video_path);
  EXPECT_EQ(read.data.audio_path, "");
  EXPECT_EQ(read.data.progress.video_position, 123456);
  EXPECT_EQ(read.data.progress.audio_position, -1);
  EXPECT_EQ(read.data.progress.counter.video_counter, 17u);
  EXPECT_EQ(read.data.progress.counter.audio_counter, 4u);
  EXPECT_EQ(read.data.progress.counter.video_time, 9000000u);
  EXPECT_EQ(read.data.progress.counter.audio_time, 8917000u);
  EXPECT_EQ(read.data.progress.pat_counter, 3u);
  EXPECT_EQ(read.data.progress.pmt_counter, 4u);
  EXPECT_EQ(read.data.progress.segment, 2u);
  EXPECT_EQ(read.data.progress.piece, 7u);
}

TEST(TaskFilesTest, SkipsLinesWithoutEveryField) {
  const std::string good = "id - - - /v.mov 0 0 0 - 0 0 0 0 0 1 1";
  const std::string lines[] = {
      "",
      "id - - - /v.mov 0 0 0 - 0 0 0 0 0 1",      // 15 fields
      "id - - - /v.mov 0 0 x - 0 0 0 0 0 1 1",    // not a number
      "id - - - /v.mov 0 0 0 - 0 0 0 0 0 1 1.5",  // not a whole number
  };
  TaskLine line;
  EXPECT_TRUE(ParseTaskLine(good, &line));
  for (const std::string& bad : lines) EXPECT_FALSE(ParseTaskLine(bad, &line)) << bad;
  TaskData data;
  EXPECT_TRUE(ParseSnapshotLine("u /v.mov 1 2 3 /a.mov 4 5 6 7 8 9 10", &data));
  EXPECT_FALSE(ParseSnapshotLine("u /v.mov 1 2 3 /a.mov 4 5 6 7 8 9", &data));
}

TEST(TaskFilesTest, UpgradesALineOfThePreviousFormat) {
  std::string line;
  ASSERT_TRUE(UpgradePreviousLine(
      "2013-04-05%2006:07:08 - http://h/x /tmp/50%%%20off.mov 10 20 3 /a.mov 40 50 6 7 8 2 9",
      &line));
  EXPECT_EQ(line,
            "- 2013-04-05%2006:07:08 - http://h/x /tmp/50%%%20off.mov 10 20 3 /a.mov 40 50 6 7 8 "
            "2 9\n");
  EXPECT_FALSE(UpgradePreviousLine("- - - /v.mov 0 0 0 - 0 0 0 0 1", &line));
}

TEST(TaskFilesTest, ReplacesAFileWholeOrNotAtAll) {
  TempDir dir;
  const std::string path = dir.File("uploadlist_31_1.2.txt");
  ASSERT_TRUE(WriteFileAtomically(path, "old line\n"));
  EXPECT_EQ(ReadText(path), "old line\n");

  // A full disk in the middle of the write: the file size limit makes write() fail.
  struct sigaction ignore {};
  struct sigaction previous {};
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGXFSZ, &ignore, &previous);
  struct rlimit saved;
  getrlimit(RLIMIT_FSIZE, &saved);
  struct rlimit small = saved;
  small.rlim_cur = 16;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const bool written = WriteFileAtomically(path, std::string(4096, 'x'));
  setrlimit(RLIMIT_FSIZE, &saved);
  sigaction(SIGXFSZ, &previous, nullptr);

  EXPECT_FALSE(written);
  EXPECT_EQ(ReadText(path), "old line\n");
  // Nothing is left behind in the directory but the file.
  int entries = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.path())) {
    ++entries;
  }
  EXPECT_EQ(entries, 1);

  ASSERT_TRUE(WriteFileAtomically(path, "new line\n"));
  EXPECT_EQ(ReadText(path), "new line\n");
  EXPECT_FALSE(WriteFileAtomically(dir.File("missing/dir/file.txt"), "x"));
}

// The upload list and the snapshot as the task manager reads and writes them.
class TaskFilesManagerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    StreamingOptions options;
    options.waiter = waiter_;
    options.sink_factory = sinks_.Factory();
    InitStreamingLibrary(harness_.queue(), dir_.path().c_str(), "test-agent", options);
  }
  void TearDown() override {
    harness_.RunUntilIdle();
    TerminateStreamingLibrary();
  }

  std::string ListPath(const std::string& user = "3132") const {
    return UploadListPath(dir_.path(), user);
  }
  std::vector<StreamingTaskInfo> Infos() {
    std::vector<StreamingTaskInfo> infos;
    for (int i = 0; GetNthFileStreamingTask(i); ++i) {
      StreamingTaskInfo info;
      EXPECT_EQ(ReadStreamingTaskInfo(GetNthFileStreamingTask(i), info), 1);
      infos.push_back(info);
    }
    return infos;
  }

  TempDir dir_;
  QueueHarness harness_;
  std::shared_ptr<TestWaiter> waiter_ = std::make_shared<TestWaiter>();
  FakeSinks sinks_{waiter_};
};

TEST_F(TaskFilesManagerTest, SavesEveryTaskWithVideoAndReadsItBack) {
  LoadStreamingTasksFromDisk("3132");
  StreamingTask* video = NewLiveStreamingTask("uuid-1", dir_.File("50% off.mov").c_str(),
                                              dir_.File("a 1.mov").c_str());
  SendRecorderStoppedSignal(video);
  StreamingTask* voice = NewLiveStreamingTask(dir_.File("voice.mov").c_str());
  SendRecorderStoppedSignal(voice);
  StreamingTaskInfo before;
  ASSERT_EQ(ReadStreamingTaskInfo(video, before), 1);

  // One line: the voice message is not written.
  const std::string list = ReadText(ListPath());
  EXPECT_EQ(std::count(list.begin(), list.end(), '\n'), 1) << list;
  // Never started: the media data was not located (-1).
  EXPECT_NE(list.find("/50%%%20off.mov -1 0 0 "), std::string::npos) << list;
  EXPECT_NE(list.find("/a%201.mov -1 0 0 0 0 1 1\n"), std::string::npos) << list;

  LoadStreamingTasksFromDisk("3132");
  const auto infos = Infos();
  ASSERT_EQ(infos.size(), 1u);
  EXPECT_EQ(infos[0].id, "uuid-1");
  EXPECT_EQ(infos[0].video_path, dir_.File("50% off.mov"));
  EXPECT_EQ(infos[0].audio_path, dir_.File("a 1.mov"));
  EXPECT_EQ(infos[0].start_time, before.start_time);
  EXPECT_EQ(infos[0].end_time, before.end_time);
  EXPECT_EQ(infos[0].state, kDisplayStopped);
  // Loading again gives the same list.
  LoadStreamingTasksFromDisk("3132");
  EXPECT_EQ(Infos().size(), 1u);
  EXPECT_EQ(ReadText(ListPath()), list);
}

TEST_F(TaskFilesManagerTest, ATaskSavedWhileRecordingEndsWhenItsVideoFileWasLastWritten) {
  const std::string video = dir_.File("video.mov");
  WriteText(video, "recording");
  struct utimbuf times {};
  times.actime = times.modtime = 1365141428;  // 2013-04-05 06:57:08 UTC
  ASSERT_EQ(utime(video.c_str(), &times), 0);
  WriteText(ListPath(), "a 2013-04-05%2006:07:08 - - " + EscapeField(video) +
                            " 0 0 0 - 0 0 0 0 0 1 1\n" + "b 2013-04-05%2006:07:08 - - " +
                            dir_.File("gone.mov") + " 0 0 0 - 0 0 0 0 0 1 1\n");
  LoadStreamingTasksFromDisk("3132");
  const auto infos = Infos();
  ASSERT_EQ(infos.size(), 2u);
  EXPECT_EQ(infos[0].end_time, LocalTimeText(1365141428));
  EXPECT_EQ(infos[1].end_time, "");
}

TEST_F(TaskFilesManagerTest, TheSnapshotCorrectsOnlyTheTaskOfItsUrl) {
  WriteText(ListPath(),
            "a - - http://h/a /v/a.mov 100 1000000 5 /v/a-audio.mov 50 1000000 3 1 1 1 2\n"
            "malformed line\n"
            "b - - http://h/b /v/b.mov 100 1000000 5 - 50 1000000 3 1 1 1 2\n");
  struct Case {
    std::string snapshot;
    int32_t seconds_a, seconds_b;
    int32_t bytes_b;
  };
  const Case cases[] = {
      {"", 1, 1, 150},
      {"http://h/other /v/b.mov 900 9000000 9 - 90 9000000 9 9 9 2 4\n", 1, 1, 150},
      {"http://h/b /v/b.mov 900 9000000 9 - 90 9000000 9 9 9 2 4\n", 1, 13, 990},
      {"http://h/b /v/b.mov 900 9000000 9 -\n", 1, 1, 150},  // malformed: ignored
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.snapshot);
    WriteText(SnapshotPath(dir_.path()), c.snapshot);
    LoadStreamingTasksFromDisk("3132");
    const auto infos = Infos();
    ASSERT_EQ(infos.size(), 2u);
    EXPECT_EQ(infos[0].seconds_uploaded, c.seconds_a);
    EXPECT_EQ(infos[1].seconds_uploaded, c.seconds_b);
    EXPECT_EQ(infos[1].bytes_processed, c.bytes_b);
    EXPECT_EQ(infos[1].id, "b");
  }
  // The snapshot stays.
  EXPECT_FALSE(ReadText(SnapshotPath(dir_.path())).empty());
}

TEST_F(TaskFilesManagerTest, UpgradesThePreviousListOnce) {
  const std::string previous = PreviousUploadListPath(dir_.path(), "3132");
  WriteText(previous,
            "- - http://h/1 /v/1.mov 0 0 0 - 0 0 0 0 0 1 1\n"
            "2013-04-05%2006:07:08 2013-04-05%2006:08:08 - /v/2.mov 10 20 3 /a/2.mov 40 50 6 7 8 "
            "2 9\n"
            "- - - /v/3.mov 0 0 0 - 0 0 0 0 0 1 1\n");
  UpgradeStreamingTasksData_1_2("3132", "0.1.0", "1.1");
  EXPECT_FALSE(std::filesystem::exists(previous));
  const std::string list = ReadText(ListPath());
  EXPECT_EQ(list,
            "- - - http://h/1 /v/1.mov 0 0 0 - 0 0 0 0 0 1 1\n"
            "- 2013-04-05%2006:07:08 2013-04-05%2006:08:08 - /v/2.mov 10 20 3 /a/2.mov 40 50 6 7 8 "
            "2 9\n"
            "- - - - /v/3.mov 0 0 0 - 0 0 0 0 0 1 1\n");
  LoadStreamingTasksFromDisk("3132");
  const auto infos = Infos();
  ASSERT_EQ(infos.size(), 3u);
  EXPECT_EQ(infos[1].seconds_uploaded, 18);
  EXPECT_EQ(infos[1].duration, 60);

  // Running the upgrade again (a previous version text that is not "1.2", as after any
  // update of the application) keeps the list: there is no previous list left to convert.
  UpgradeStreamingTasksData_1_2("3132", "0.1.0", "0.1.0");
  UpgradeStreamingTasksData_1_2("3132", "0.1.0", nullptr);
  EXPECT_EQ(ReadText(ListPath()), list);
  // The current version never converts.
  WriteText(previous, "- - - /v/9.mov 0 0 0 - 0 0 0 0 0 1 1\n");
  UpgradeStreamingTasksData_1_2("3132", "0.1.0", "1.2");
  EXPECT_EQ(ReadText(ListPath()), list);
}

TEST_F(TaskFilesManagerTest, ListsArePerUserAndAnUnchangedListIsNotRewritten) {
  LoadStreamingTasksFromDisk("3132");
  SendRecorderStoppedSignal(NewLiveStreamingTask("one", "/v/1.mov", "/a/1.mov"));
  LoadStreamingTasksFromDisk("3133");  // saves 3132's list first
  EXPECT_TRUE(Infos().empty());
  SendRecorderStoppedSignal(NewLiveStreamingTask("two", "/v/2.mov", "/a/2.mov"));
  LoadStreamingTasksFromDisk("3132");
  ASSERT_EQ(Infos().size(), 1u);
  EXPECT_EQ(Infos()[0].id, "one");

  // Another process changes the list meanwhile; a manager that changed nothing keeps it.
  WriteText(ListPath(), "other - - - /v/o.mov 0 0 0 - 0 0 0 0 0 1 1\n");
  StopAllStreamingTasks();
  EXPECT_EQ(ReadText(ListPath()), "other - - - /v/o.mov 0 0 0 - 0 0 0 0 0 1 1\n");
}

TEST_F(TaskFilesManagerTest, AMissingListIsAnEmptyQueue) {
  LoadStreamingTasksFromDisk("3132");
  EXPECT_EQ(GetFileStreamingTasksNum(), 0);
  EXPECT_EQ(GetNthFileStreamingTask(0), nullptr);
  EXPECT_FALSE(std::filesystem::exists(ListPath()));
}

}  // namespace
}  // namespace selvo
