// The task manager with real worker threads over hand-made recordings, delivering pieces
// to recording sinks; the engine's queue runs on the test's thread.
#include "engine/streaming_task_mgr.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <string>
#include <vector>

#include "engine/streaming_library.h"
#include "engine/streaming_task.h"
#include "engine/testing/box_builder.h"
#include "engine/testing/engine_harness.h"
#include "engine/testing/synthetic_recordings.h"
#include "engine/testing/temp_dir.h"

namespace selvo {
namespace {

using namespace selvo::testing;
using Pieces = std::vector<std::pair<uint32_t, uint32_t>>;

// The pieces of a stream of `count` pieces from (segment, piece) `first` on.
Pieces Numbered(int count, int first = 1) {
  Pieces pieces;
  for (int n = first; n < first + count; ++n) {
    pieces.emplace_back((n - 1) / 10 + 1, (n - 1) % 10 + 1);
  }
  return pieces;
}

class StreamingTaskMgrTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteFile(video_sample_, AvcSampleFile(TestSps(), TestPps()));
    WriteFile(audio_sample_, AacSampleFile());
    Init();
  }
  void TearDown() override {
    if (!gStreamingTaskMgr.load()) return;
    waiter_->Hold(false);
    StopAllStreamingTasks();
    harness_.RunUntilIdle();
    TerminateStreamingLibrary();
  }
  void Init() {
    StreamingOptions options;
    options.waiter = waiter_;
    options.sink_factory = sinks_.Factory();
    InitStreamingLibrary(harness_.queue(), dir_.path().c_str(), "test-agent", options);
    AttachObserver(&log_);
    LoadStreamingTasksFromDisk("3132");
  }

  // A finished recording of `seconds` queued as a file task, as a recording whose upload
  // did not finish stays in the queue.
  StreamingTask* QueueRecording(const std::string& name, int seconds = 4) {
    const SyntheticRecording r = MakeSyntheticRecording(seconds * 10 - 5, seconds * 215 / 10);
    WriteFile(dir_.File(name + "-video.mov"), r.video_file);
    WriteFile(dir_.File(name + "-audio.mov"), r.audio_file);
    StreamingTask* task = NewLiveStreamingTask(name.c_str(), dir_.File(name + "-video.mov").c_str(),
                                               dir_.File(name + "-audio.mov").c_str());
    SendRecorderStoppedSignal(task);
    return task;
  }
  StreamingTask* QueueVoice(const std::string& name) {
    const SyntheticRecording r = MakeSyntheticRecording(0, 60);
    WriteFile(dir_.File(name + "-audio.mov"), r.audio_file);
    StreamingTask* task = NewLiveStreamingTask(dir_.File(name + "-audio.mov").c_str());
    SendRecorderStoppedSignal(task);
    return task;
  }
  int StartFile(StreamingTask* task, const std::string& url, const char* token = "token") {
    return StartFileStreamingTask(task, url.c_str(), token, 10, video_sample_.c_str(),
                                  audio_sample_.c_str());
  }
  bool RunUntilFinished(StreamingTask* task, size_t count = 1) {
    return harness_.RunUntil([&] { return log_.Of(task, kTaskFinished).size() >= count; });
  }
  StreamingTaskInfo Info(StreamingTask* task) {
    StreamingTaskInfo info;
    EXPECT_EQ(ReadStreamingTaskInfo(task, info), 1);
    return info;
  }
  bool Holds(StreamingTask* task) {
    StreamingTaskInfo info;
    return ReadStreamingTaskInfo(task, info) == 1;
  }

  TempDir dir_;
  const std::string video_sample_ = dir_.File("sample_video.mov");
  const std::string audio_sample_ = dir_.File("sample_audio.mov");
  QueueHarness harness_;
  std::shared_ptr<TestWaiter> waiter_ = std::make_shared<TestWaiter>();
  FakeSinks sinks_{waiter_};
  EventLog log_;
};

TEST_F(StreamingTaskMgrTest, AWaitingTaskStartsWhenTheRunningOneEnds) {
  StreamingTask* a = QueueRecording("a");
  StreamingTask* b = QueueRecording("b");
  StreamingTask* voice = QueueVoice("v");
  sinks_.HoldOpen("http://h/a");

  ASSERT_EQ(StartFile(a, "http://h/a"), 1);
  EXPECT_EQ(a->state(), kStateRunning);
  // Another task runs: these wait, the voice message as audio only.
  EXPECT_EQ(StartFile(b, "http://h/b", "token-2"), 1);
  EXPECT_EQ(StartFile(b, "http://h/b", "token-2"), 0);  // already waiting
  EXPECT_EQ(StartFileStreamingTask(voice, "http://h/v", "token-3", audio_sample_.c_str()), 1);
  EXPECT_EQ(b->state(), kStateWaiting);
  EXPECT_EQ(voice->state(), kStateWaiting);
  EXPECT_EQ(Info(b).state, kDisplayRunning);
  EXPECT_TRUE(sinks_.Streams("http://h/b").empty());

  ASSERT_TRUE(waiter_->WaitForBlocked(1));
  waiter_->Release();  // a uploads and completes; b, then the voice message, follow
  ASSERT_TRUE(RunUntilFinished(voice));
  const std::pair<StreamingTask*, std::string> tasks[] = {
      {a, "http://h/a"}, {b, "http://h/b"}, {voice, "http://h/v"}};
  for (const auto& [task, url] : tasks) {
    EXPECT_EQ(log_.Of(task, kTaskFinished), (std::vector<Event>{{kTaskFinished, task, 0, url}}))
        << url;
    EXPECT_EQ(log_.Of(task, kTaskRemoved), (std::vector<Event>{{kTaskRemoved, task, 0, url}}))
        << url;
    EXPECT_FALSE(Holds(task));
  }
  // The scheduler started them with the last token and sample files given.
  ASSERT_EQ(sinks_.Streams("http://h/b").size(), 1u);
  EXPECT_EQ(sinks_.Streams("http://h/b")[0]->token, "token-3");
  EXPECT_EQ(sinks_.Pieces("http://h/a"), Numbered(4));
  EXPECT_EQ(sinks_.Pieces("http://h/b"), Numbered(4));
  // Each was opened once and closed once; the voice message without a video path.
  EXPECT_EQ(sinks_.Streams("http://h/v")[0]->opened, std::vector<std::string>{""});
  EXPECT_EQ(sinks_.Streams("http://h/v")[0]->closed, 1);
  EXPECT_EQ(GetFileStreamingTasksNum(), 0);
}

TEST_F(StreamingTaskMgrTest, EventsOfAFileTaskCarryItsUrlAndProgress) {
  StreamingTask* a = QueueRecording("a");
  ASSERT_EQ(StartFile(a, "http://h/a"), 1);
  ASSERT_TRUE(RunUntilFinished(a));
  std::vector<int32_t> seconds;
  std::vector<int32_t> bytes;
  for (const Event& e : log_.Of(a)) {
    if (e.type == kSecondsUploaded) seconds.push_back(e.value);
    if (e.type == kBytesTransferred) bytes.push_back(e.value);
    if (e.type != kTaskCreated && e.type != kTaskStateChanged) {
      EXPECT_EQ(e.url, "http://h/a");
    }
  }
  // Three pieces reported (the last one goes with the close), seconds counted from 1.
  EXPECT_EQ(seconds, (std::vector<int32_t>{1, 2, 3}));
  ASSERT_EQ(bytes.size(), 3u);
  EXPECT_TRUE(std::is_sorted(bytes.begin(), bytes.end()));
  EXPECT_GT(bytes.front(), 0);
  EXPECT_EQ(log_.events.back(), (Event{kTaskRemoved, a, 0, "http://h/a"}));
}

TEST_F(StreamingTaskMgrTest, ALiveStartPreemptsARunningFileTaskWhichStaysStopped) {
  StreamingTask* a = QueueRecording("a");
  sinks_.HoldOpen("http://h/a");
  ASSERT_EQ(StartFile(a, "http://h/a"), 1);
  ASSERT_TRUE(waiter_->WaitForBlocked(1));

  // A recording starts; its files are not there yet (the worker waits for them).
  waiter_->Hold(true);
  StreamingTask* live = NewLiveStreamingTask("live", dir_.File("live-v.mov").c_str(),
                                             dir_.File("live-a.mov").c_str());
  ASSERT_EQ(StartLiveStreamingTask(live, "http://h/live", "token", 10, video_sample_.c_str(),
                                   audio_sample_.c_str()),
            1);
  EXPECT_EQ(a->state(), kStateWaiting);
  EXPECT_EQ(live->state(), kStateRunning);
  EXPECT_EQ(log_.events.back(), (Event{kTaskStateChanged, live, 1, "http://h/live"}));
  ASSERT_TRUE(RunUntilFinished(a));
  ASSERT_EQ(log_.Of(a, kTaskFinished).back().value, kResultStopped);  // not a network error
  EXPECT_EQ(a->state(), kStateStopped);

  // The recording stops before its files appeared: the live task stops and joins the
  // queue, and a is not resumed.
  SendRecorderStoppedSignal(live);
  waiter_->Hold(false);
  ASSERT_TRUE(RunUntilFinished(live));
  EXPECT_EQ(log_.Of(live, kTaskFinished).back().value, kResultStopped);
  EXPECT_EQ(live->state(), kStateStopped);
  EXPECT_EQ(a->state(), kStateStopped);
  EXPECT_EQ(GetNthFileStreamingTask(0), live);
  EXPECT_EQ(GetNthFileStreamingTask(1), a);
}

TEST_F(StreamingTaskMgrTest, StoppingAWaitingTaskReportsItStoppedWithoutAThread) {
  StreamingTask* a = QueueRecording("a");
  StreamingTask* b = QueueRecording("b");
  sinks_.HoldOpen("http://h/a");
  ASSERT_EQ(StartFile(a, "http://h/a"), 1);
  ASSERT_EQ(StartFile(b, "http://h/b"), 1);
  log_.events.clear();
  StopFileStreamingTask(b);
  // Directly, as for a stopped worker.
  EXPECT_EQ(log_.events, (std::vector<Event>{{kTaskFinished, b, kResultStopped, "http://h/b"}}));
  EXPECT_EQ(b->state(), kStateStopped);
  StopFileStreamingTask(b);  // stopped already: nothing
  EXPECT_EQ(log_.events.size(), 1u);

  StopFileStreamingTask(a);
  ASSERT_TRUE(RunUntilFinished(a));
  EXPECT_EQ(a->state(), kStateStopped);
  EXPECT_TRUE(sinks_.Streams("http://h/b").empty());  // b never ran
}

TEST_F(StreamingTaskMgrTest, TasksMovedIntoTheListGoWithVideoFirst) {
  StreamingTask* first = NewLiveStreamingTask("first", "/r/1v.mov", "/r/1a.mov");
  EXPECT_EQ(log_.events,
            (std::vector<Event>{{kTaskCreated, first, 1, ""}, {kTaskStateChanged, first, 0, ""}}));
  EXPECT_EQ(GetFileStreamingTasksNum(), 0);
  SendRecorderStoppedSignal(first);
  EXPECT_EQ(GetNthFileStreamingTask(0), first);
  EXPECT_EQ(GetFileStreamingTasksNum(), 1);
  EXPECT_EQ(Info(first).end_time.size(), 19u);

  StreamingTask* voice = NewLiveStreamingTask("/r/voice.mov");
  EXPECT_EQ(Info(voice).id, kVoiceTaskId);
  SendRecorderStoppedSignal(voice);
  StreamingTask* second = NewLiveStreamingTask("second", "/r/2v.mov", "/r/2a.mov");
  SendRecorderStoppedSignal(second);
  EXPECT_EQ(GetNthFileStreamingTask(0), second);
  EXPECT_EQ(GetNthFileStreamingTask(1), first);
  EXPECT_EQ(GetNthFileStreamingTask(2), voice);
  EXPECT_EQ(GetNthFileStreamingTask(3), nullptr);
  EXPECT_EQ(GetNthFileStreamingTask(-1), nullptr);
  EXPECT_EQ(GetFileStreamingTasksNum(), 2);  // the voice message is not counted

  // A new live task while one is held keeps the held one as a stopped file task.
  StreamingTask* third = NewLiveStreamingTask("third", "/r/3v.mov", "/r/3a.mov");
  StreamingTask* fourth = NewLiveStreamingTask("fourth", "/r/4v.mov", "/r/4a.mov");
  EXPECT_EQ(GetNthFileStreamingTask(0), third);
  EXPECT_TRUE(Holds(fourth));
}

TEST_F(StreamingTaskMgrTest, DescribesTasksForDisplay) {
  StreamingTask* live = NewLiveStreamingTask("live", "/r/v.mov", "/r/a.mov");
  const StreamingTaskInfo info = Info(live);
  EXPECT_EQ(info.id, "live");
  EXPECT_EQ(info.url, "");
  EXPECT_EQ(info.video_path, "/r/v.mov");
  EXPECT_EQ(info.audio_path, "/r/a.mov");
  EXPECT_EQ(info.bytes_processed, 0);  // not -2: the files were not located yet
  EXPECT_EQ(info.seconds_uploaded, 0);
  EXPECT_EQ(info.state, kDisplayStopped);
  EXPECT_EQ(info.start_time.size(), 19u);
  EXPECT_EQ(info.end_time, "");
  EXPECT_GE(info.duration, 0);

  // Tasks the manager does not hold leave the info untouched.
  StreamingTaskInfo untouched;
  untouched.id = "kept";
  StreamingTask stranger("stranger");
  EXPECT_EQ(ReadStreamingTaskInfo(&stranger, untouched), 0);
  EXPECT_EQ(ReadStreamingTaskInfo(nullptr, untouched), 0);
  EXPECT_EQ(untouched.id, "kept");
  // Nor do calls with them change anything.
  StopFileStreamingTask(&stranger);
  RemoveFileStreamingTask(&stranger);
  SendRecorderStoppedSignal(&stranger);
  EXPECT_EQ(StartFile(&stranger, "http://h/x"), 0);
  EXPECT_EQ(StartLiveStreamingTask(&stranger, "http://h/x", "t", 10, video_sample_.c_str(),
                                   audio_sample_.c_str()),
            0);
}

TEST_F(StreamingTaskMgrTest, DurationsFollowTheLocalClockAcrossDaylightSavingTime) {
  const char* saved = std::getenv("TZ");
  const std::string previous = saved ? saved : "";
  setenv("TZ", "Europe/Berlin", 1);
  tzset();
  // Written in summer time; the end an hour and a half after the start, and a task whose
  // end lies before its start (a clock set back).
  std::ofstream(UploadListPath(dir_.path(), "3133"))
      << "a 2013-07-05%2006:00:00 2013-07-05%2007:30:00 - /v/a.mov 0 0 0 - 0 0 0 0 0 1 5\n"
      << "b 2013-07-05%2006:00:00 2013-07-05%2005:00:00 - /v/b.mov 0 0 0 - 0 0 0 0 0 1 5\n"
      << "c " << EscapeField(LocalTimeText(std::time(nullptr) - 120))
      << " - - /v/c.mov 0 0 0 - 0 0 0 0 0 1 5\n";
  LoadStreamingTasksFromDisk("3133");
  EXPECT_EQ(Info(GetNthFileStreamingTask(0)).duration, 5400);
  EXPECT_EQ(Info(GetNthFileStreamingTask(1)).duration, 4);  // the seconds uploaded
  const int32_t running = Info(GetNthFileStreamingTask(2)).duration;
  EXPECT_GE(running, 120);
  EXPECT_LE(running, 180);
  if (saved) {
    setenv("TZ", previous.c_str(), 1);
  } else {
    unsetenv("TZ");
  }
  tzset();
}

TEST_F(StreamingTaskMgrTest, AttachingTwiceDeliversEachEventOnce) {
  AttachObserver(&log_);
  EventLog other;
  AttachObserver(&other);
  NewLiveStreamingTask("x", "/r/v.mov", "/r/a.mov");
  EXPECT_EQ(log_.events.size(), 2u);
  EXPECT_EQ(other.events.size(), 2u);
  DetachObserver(&log_);
  NewLiveStreamingTask("y", "/r/v.mov", "/r/a.mov");
  EXPECT_EQ(log_.events.size(), 2u);
  EXPECT_GT(other.events.size(), 2u);
  DetachObserver(&other);
}

// An observer that detaches itself when called.
class DetachingObserver final : public IObserver {
 public:
  void Update(EventType, void*, int32_t, const std::string&) override {
    ++calls;
    DetachObserver(this);
  }
  int calls = 0;
};

TEST_F(StreamingTaskMgrTest, AnObserverMayDetachWhileCalledWithoutCostingOthersAnEvent) {
  DetachingObserver first;
  EventLog last;
  AttachObserver(&first);
  AttachObserver(&last);
  NewLiveStreamingTask("x", "/r/v.mov", "/r/a.mov");
  EXPECT_EQ(first.calls, 1);
  EXPECT_EQ(last.events.size(), 2u);
  EXPECT_EQ(log_.events.size(), 2u);
  DetachObserver(&last);
}

struct FailureCase {
  const char* name;
  int failing_piece;  // 0: the opening request fails
  SinkStatus status;
  StreamingResult result;
};

class StreamingTaskFailureTest : public StreamingTaskMgrTest,
                                 public ::testing::WithParamInterface<FailureCase> {};

TEST_P(StreamingTaskFailureTest, FailsTheTaskAndResumesAtTheNextUnacceptedPiece) {
  const FailureCase& c = GetParam();
  StreamingTask* task = QueueRecording("a", 25);
  if (c.failing_piece == 0) {
    sinks_.FailOpen("http://h/a", c.status);
  } else {
    sinks_.FailPiece("http://h/a", c.failing_piece, c.status);
  }
  ASSERT_EQ(StartFile(task, "http://h/a"), 1);
  ASSERT_TRUE(RunUntilFinished(task));
  EXPECT_EQ(log_.Of(task, kTaskFinished).back().value, c.result);
  EXPECT_EQ(task->state(), kStateFailed);
  EXPECT_EQ(Info(task).state, kDisplayFailed);
  const int accepted = std::max(c.failing_piece - 1, 0);
  EXPECT_EQ(Info(task).seconds_uploaded, accepted);
  EXPECT_EQ(sinks_.Pieces("http://h/a"), Numbered(accepted));
  if (accepted > 0) {
    // The snapshot holds the position after the last accepted piece.
    std::ifstream snapshot(dir_.File("tasksnapshot.txt"));
    std::string line;
    std::getline(snapshot, line);
    const Pieces next = Numbered(1, accepted + 1);
    EXPECT_TRUE(
        line.ends_with(" " + std::to_string(next[0].first) + " " + std::to_string(next[0].second)))
        << line;
  }

  // Started again, the upload continues with the first piece not accepted; no piece is
  // missing and none is sent twice.
  sinks_.FailOpen("http://h/a", SinkStatus::kOk);
  ASSERT_EQ(StartFile(task, "http://h/a"), 1);
  ASSERT_TRUE(RunUntilFinished(task, 2));
  EXPECT_EQ(log_.Of(task, kTaskFinished).back().value, kResultCompleted);
  const auto streams = sinks_.Streams("http://h/a");
  ASSERT_EQ(streams.size(), 2u);
  if (!streams[1]->pieces.empty()) {
    EXPECT_EQ(streams[1]->pieces.front(), Numbered(1, accepted + 1)[0]);
  }
  EXPECT_EQ(sinks_.Pieces("http://h/a"), Numbered(25));
  EXPECT_FALSE(Holds(task));
}

INSTANTIATE_TEST_SUITE_P(
    Answers, StreamingTaskFailureTest,
    ::testing::Values(
        FailureCase{"BufferOverflow", 3, SinkStatus::kTooLarge, kErrorHttpBufferOverflow},
        FailureCase{"RefusedToken", 12, SinkStatus::kUnauthorized, kErrorAccessToken},
        FailureCase{"Network", 11, SinkStatus::kFailed, kErrorNetwork},
        FailureCase{"RefusedOpening", 0, SinkStatus::kUnauthorized, kErrorAccessToken}),
    [](const auto& test) { return std::string(test.param.name); });

TEST_F(StreamingTaskMgrTest, AStopCutsARequestShortAndReportsStopped) {
  StreamingTask* task = QueueRecording("a");
  sinks_.HoldOpen("http://h/a");
  ASSERT_EQ(StartFile(task, "http://h/a"), 1);
  ASSERT_TRUE(waiter_->WaitForBlocked(1));
  StopFileStreamingTask(task);              // returns once the worker has ended
  EXPECT_EQ(task->state(), kStateRunning);  // until its report is processed
  ASSERT_TRUE(RunUntilFinished(task));
  EXPECT_EQ(log_.Of(task, kTaskFinished).back().value, kResultStopped);
  EXPECT_EQ(task->state(), kStateStopped);
}

TEST_F(StreamingTaskMgrTest, TheReportOfAReplacedRunChangesNothing) {
  StreamingTask* task = QueueRecording("a");
  sinks_.HoldOpen("http://h/a");
  ASSERT_EQ(StartFile(task, "http://h/a"), 1);
  ASSERT_TRUE(waiter_->WaitForBlocked(1));
  StopAllStreamingTasks();  // the worker's stop report waits on the queue
  EXPECT_EQ(task->state(), kStateStopped);
  ASSERT_EQ(StartFile(task, "http://h/a"), 1);
  ASSERT_TRUE(waiter_->WaitForBlocked(1));
  harness_.RunUntilIdle();
  EXPECT_EQ(task->state(), kStateRunning);  // the old report did not stop the new run
  EXPECT_FALSE(log_.Has(task, kTaskFinished));
  waiter_->Release();
  ASSERT_TRUE(RunUntilFinished(task));
  EXPECT_EQ(log_.Of(task, kTaskFinished).back().value, kResultCompleted);
}

TEST_F(StreamingTaskMgrTest, AStartOfARunningTaskKeepsItsUrl) {
  StreamingTask* task = QueueRecording("a");
  sinks_.HoldOpen("http://h/a");
  ASSERT_EQ(StartFile(task, "http://h/a"), 1);
  EXPECT_EQ(StartFile(task, "http://h/other"), 0);
  EXPECT_EQ(Info(task).url, "http://h/a");
  StopFileStreamingTask(task);
  ASSERT_TRUE(RunUntilFinished(task));
  EXPECT_EQ(task->state(), kStateStopped);  // its report matched: not stuck running
}

TEST_F(StreamingTaskMgrTest, ProgressIsReadWhileTheWorkerWritesIt) {
  StreamingTask* a = QueueRecording("a", 30);
  StreamingTask* b = QueueRecording("b");
  ASSERT_EQ(StartFile(a, "http://h/a"), 1);
  // Reads for display and rewrites of the upload list while a's worker uploads.
  int32_t seconds = 0;
  int32_t bytes = 0;
  while (!log_.Has(a, kTaskFinished)) {
    const StreamingTaskInfo info = Info(a);
    EXPECT_GE(info.seconds_uploaded, seconds);
    EXPECT_GE(info.bytes_processed, bytes);
    seconds = info.seconds_uploaded;
    bytes = info.bytes_processed;
    StartFile(b, "http://h/b");  // queued: saves the list, a's progress included
    StopFileStreamingTask(b);
    harness_.RunUntilIdle();
  }
  EXPECT_EQ(log_.Of(a, kTaskFinished).back().value, kResultCompleted);
}

TEST_F(StreamingTaskMgrTest, ARunningLiveTaskIsNotStartedTwice) {
  StreamingTask* live = NewLiveStreamingTask("live", dir_.File("none-v.mov").c_str(),
                                             dir_.File("none-a.mov").c_str());
  waiter_->Hold(true);
  ASSERT_EQ(StartLiveStreamingTask(live, "http://h/live", "token", 10, video_sample_.c_str(),
                                   audio_sample_.c_str()),
            1);
  EXPECT_EQ(StartLiveStreamingTask(live, "http://h/other", "token", 10, video_sample_.c_str(),
                                   audio_sample_.c_str()),
            0);
  EXPECT_EQ(Info(live).url, "http://h/live");
  StopAllStreamingTasks();
  ASSERT_TRUE(RunUntilFinished(live));
  EXPECT_EQ(log_.Of(live, kTaskFinished).back().value, kResultStopped);
}

TEST_F(StreamingTaskMgrTest, RemovingATaskClosesItsStreamAndSaysSo) {
  StreamingTask* task = QueueRecording("a");
  StreamingTask* never_started = QueueRecording("b");
  sinks_.HoldOpen("http://h/a");
  ASSERT_EQ(StartFile(task, "http://h/a"), 1);
  ASSERT_TRUE(waiter_->WaitForBlocked(1));
  RemoveFileStreamingTask(task);
  EXPECT_FALSE(Holds(task));
  const auto streams = sinks_.Streams("http://h/a");
  ASSERT_EQ(streams.size(), 2u);  // the worker's, and one made to close the stream
  EXPECT_EQ(streams[1]->closed, 1);
  EXPECT_EQ(streams[1]->token, "token");
  EXPECT_TRUE(log_.Has(task, kTaskRemoved));
  harness_.RunUntilIdle();  // the stopped worker's report of a task no longer held

  RemoveFileStreamingTask(never_started);  // no URL: nothing to close
  EXPECT_TRUE(sinks_.Streams("").empty());
  EXPECT_EQ(GetNthFileStreamingTask(0), nullptr);
}

TEST_F(StreamingTaskMgrTest, TerminatingWithARunningWorkerStopsIt) {
  StreamingTask* task = QueueRecording("a");
  sinks_.HoldOpen("http://h/a");
  ASSERT_EQ(StartFile(task, "http://h/a"), 1);
  ASSERT_TRUE(waiter_->WaitForBlocked(1));
  TerminateStreamingLibrary();
  harness_.RunUntilIdle();  // its report arrives after the manager is gone
  EXPECT_EQ(gStreamingTaskMgr.load(), nullptr);
}

// A live recording that grows while its worker reads it, as the recorder writes it.
class GrowingRecording {
 public:
  GrowingRecording(const std::string& video, const std::string& audio, int seconds)
      : recording_(MakeSyntheticRecording(seconds * 10, seconds * 215 / 10)),
        files_{{video, &recording_.video_file}, {audio, &recording_.audio_file}} {
    for (auto& file : files_) Append(file, 200);  // the headers and a little media
  }
  // Appends about a tenth of a second to each file; true once both are complete.
  bool Grow() {
    bool complete = true;
    for (auto& file : files_) {
      Append(file, file.bytes->size() / 40 + 1);
      complete &= file.written == file.bytes->size();
    }
    return complete;
  }

 private:
  struct File {
    std::string path;
    const Bytes* bytes;
    size_t written = 0;
  };
  void Append(File& file, size_t count) {
    count = std::min(count, file.bytes->size() - file.written);
    AppendFile(file.path, Bytes(file.bytes->begin() + static_cast<long>(file.written),
                                file.bytes->begin() + static_cast<long>(file.written + count)));
    file.written += count;
  }
  SyntheticRecording recording_;
  std::vector<File> files_;
};

TEST_F(StreamingTaskMgrTest, ALiveTaskUploadsWhileRecordingAndFinishesAfterTheRecorderStops) {
  const std::string video = dir_.File("live-video.mov");
  const std::string audio = dir_.File("live-audio.mov");
  GrowingRecording recording(video, audio, 5);
  // Each poll of the worker finds a little more; once the files are complete, it waits.
  bool complete = false;  // touched by the worker only
  waiter_->set_on_wait([this, &recording, &complete](int milliseconds) {
    if (milliseconds == 200 && !complete && recording.Grow()) {
      complete = true;
      waiter_->Hold(true);
    }
  });
  StreamingTask* live = NewLiveStreamingTask("live", video.c_str(), audio.c_str());
  ASSERT_EQ(StartLiveStreamingTask(live, "http://h/live", "token", 10, video_sample_.c_str(),
                                   audio_sample_.c_str()),
            1);
  ASSERT_TRUE(waiter_->WaitForBlocked(1));
  harness_.RunUntilIdle();
  const Pieces live_pieces = sinks_.Pieces("http://h/live");
  EXPECT_GE(live_pieces.size(), 3u);  // pieces went out while the files grew

  SendRecorderStoppedSignal(live);
  EXPECT_EQ(GetNthFileStreamingTask(0), live);
  waiter_->Hold(false);
  ASSERT_TRUE(harness_.RunUntil([&] { return log_.Has(live, kTaskRemoved); }));
  EXPECT_EQ(log_.Of(live, kTaskFinished),
            (std::vector<Event>{{kTaskFinished, live, 0, "http://h/live"}}));
  EXPECT_EQ(waiter_->Count(2000), 1);  // the pause before the second pass

  // The second pass opened the stream again and went on after the last accepted piece.
  const auto streams = sinks_.Streams("http://h/live");
  ASSERT_EQ(streams.size(), 2u);
  EXPECT_EQ(streams[0]->closed, 0);
  EXPECT_EQ(streams[1]->closed, 1);
  EXPECT_EQ(streams[1]->opened, std::vector<std::string>{video});
  const Pieces all = sinks_.Pieces("http://h/live");
  EXPECT_EQ(all, Numbered(static_cast<int>(all.size())));
  EXPECT_GE(all.size(), 5u);
  EXPECT_EQ(Pieces(all.begin(), all.begin() + static_cast<long>(live_pieces.size())), live_pieces);
  waiter_->set_on_wait(nullptr);
}

}  // namespace
}  // namespace selvo
