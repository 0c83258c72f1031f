// Test helpers for the task manager and its workers: the engine's queue on the manual
// dispatcher, a waiter that never sleeps, piece sinks that record what they get and fail
// on command, and an observer that logs events.
//
// Workers run on real threads. The queue runs on the test's thread only when the test
// drives it (RunUntil), so every engine call and every event delivery happens on the
// test's thread, in an order the test decides.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/streaming_library.h"
#include "platform/testing/manual_dispatcher.h"

namespace selvo::testing {

// The engine's serial queue on a ManualDispatcher; knows when workers submit events.
class QueueHarness {
 public:
  QueueHarness() : queue_(dispatcher_.CreateSerialQueue("com.selvo.queue")) {}

  TaskQueue queue() {
    return [this](std::function<void()> block) {
      queue_->Async(std::move(block));
      std::lock_guard lock(mutex_);
      ++submitted_;
      submitted_signal_.notify_all();
    };
  }

  void RunUntilIdle() { dispatcher_.RunUntilIdle(); }

  // Runs the queue until `done` holds, waiting (without polling) for workers to submit
  // more. False when nothing happened for 20 s.
  bool RunUntil(const std::function<bool()>& done) {
    for (;;) {
      uint64_t seen;
      {
        std::lock_guard lock(mutex_);
        seen = submitted_;
      }
      dispatcher_.RunUntilIdle();
      if (done()) return true;
      std::unique_lock lock(mutex_);
      if (!submitted_signal_.wait_for(lock, std::chrono::seconds(20),
                                      [&] { return submitted_ != seen; })) {
        return false;
      }
    }
  }

 private:
  platform::ManualDispatcher dispatcher_;
  std::shared_ptr<platform::DispatchQueue> queue_;
  std::mutex mutex_;
  std::condition_variable submitted_signal_;
  uint64_t submitted_ = 0;
};

// Waits of the engine. On the test's thread (the queue) they return at once. On worker
// threads they run `on_wait` (which may grow a recording) and, while holding, block until
// the worker's stop flag rises or the test releases them.
class TestWaiter final : public WorkerWaiter {
 public:
  TestWaiter() : driver_(std::this_thread::get_id()) {}

  void Wait(int milliseconds, const std::atomic<int>& stop) override {
    std::function<void(int)> on_wait;
    {
      std::lock_guard lock(mutex_);
      waits_.push_back(milliseconds);
      on_wait = on_wait_;
    }
    if (std::this_thread::get_id() == driver_) return;
    if (on_wait) on_wait(milliseconds);
    std::unique_lock lock(mutex_);
    if (holding_) BlockLocked(lock, stop);
  }

  void Wake() override {
    std::lock_guard lock(mutex_);
    changed_.notify_all();
  }

  // Blocks the calling worker until its stop flag rises or Release.
  void Block(const std::atomic<int>& stop) {
    std::unique_lock lock(mutex_);
    BlockLocked(lock, stop);
  }

  // Makes every worker wait block (growing recordings stay still); Hold(false) also lets
  // the blocked ones go.
  void Hold(bool holding) {
    std::lock_guard lock(mutex_);
    holding_ = holding;
    if (!holding) ++generation_;
    changed_.notify_all();
  }
  // Lets every blocked worker go once.
  void Release() {
    std::lock_guard lock(mutex_);
    ++generation_;
    changed_.notify_all();
  }
  // Waits until `count` workers are blocked.
  bool WaitForBlocked(int count) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(20), [&] { return blocked_ >= count; });
  }

  void set_on_wait(std::function<void(int)> on_wait) {
    std::lock_guard lock(mutex_);
    on_wait_ = std::move(on_wait);
  }
  int Count(int milliseconds) {
    std::lock_guard lock(mutex_);
    int n = 0;
    for (int w : waits_) n += w == milliseconds;
    return n;
  }

 private:
  void BlockLocked(std::unique_lock<std::mutex>& lock, const std::atomic<int>& stop) {
    const uint64_t generation = generation_;
    ++blocked_;
    changed_.notify_all();
    changed_.wait(lock, [&] { return stop.load() == 1 || generation_ != generation; });
    --blocked_;
  }

  const std::thread::id driver_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<int> waits_;
  std::function<void(int)> on_wait_;
  bool holding_ = false;
  uint64_t generation_ = 0;
  int blocked_ = 0;
};

// What one upload stream got.
struct SinkRecord {
  std::string url;
  std::string token;
  std::vector<std::string> opened;
  std::vector<std::pair<uint32_t, uint32_t>> pieces;  // accepted (segment, piece)
  std::vector<std::vector<uint8_t>> data;
  int closed = 0;
};

// Sinks for every stream the engine opens, sharing one record book.
class FakeSinks {
 public:
  explicit FakeSinks(std::shared_ptr<TestWaiter> waiter) : waiter_(std::move(waiter)) {}

  SinkFactory Factory() {
    return [this](const SinkParams& params) -> std::unique_ptr<PieceSink> {
      std::lock_guard lock(mutex_);
      records_.push_back(std::make_shared<SinkRecord>());
      records_.back()->url = params.url;
      records_.back()->token = params.access_token;
      return std::make_unique<Sink>(this, records_.back(), params.stop);
    };
  }

  // The next piece to `url` (counted over all its streams from 1) gets `status`.
  void FailPiece(const std::string& url, int attempt, SinkStatus status) {
    std::lock_guard lock(mutex_);
    failures_[{url, attempt}] = status;
  }
  void FailOpen(const std::string& url, SinkStatus status) {
    std::lock_guard lock(mutex_);
    open_status_[url] = status;
  }
  // Opens of `url` block until the stream's stop flag rises or the waiter releases them.
  void HoldOpen(const std::string& url) {
    std::lock_guard lock(mutex_);
    held_.push_back(url);
  }

  std::vector<std::shared_ptr<SinkRecord>> Streams(const std::string& url) {
    std::lock_guard lock(mutex_);
    std::vector<std::shared_ptr<SinkRecord>> streams;
    for (const auto& record : records_) {
      if (record->url == url) streams.push_back(record);
    }
    return streams;
  }
  // Every accepted piece to `url`, over all its streams.
  std::vector<std::pair<uint32_t, uint32_t>> Pieces(const std::string& url) {
    std::vector<std::pair<uint32_t, uint32_t>> all;
    for (const auto& record : Streams(url)) {
      std::lock_guard lock(mutex_);
      all.insert(all.end(), record->pieces.begin(), record->pieces.end());
    }
    return all;
  }

 private:
  class Sink final : public PieceSink {
   public:
    Sink(FakeSinks* owner, std::shared_ptr<SinkRecord> record, const std::atomic<int>* stop)
        : owner_(owner), record_(std::move(record)), stop_(stop) {}
    SinkStatus Open(const std::string& video_path) override {
      bool hold = false;
      SinkStatus status = SinkStatus::kOk;
      {
        std::lock_guard lock(owner_->mutex_);
        record_->opened.push_back(video_path);
        for (const auto& url : owner_->held_) hold |= url == record_->url;
        if (auto it = owner_->open_status_.find(record_->url); it != owner_->open_status_.end()) {
          status = it->second;
        }
      }
      if (hold && stop_) {
        owner_->waiter_->Block(*stop_);
        if (stop_->load() == 1) return SinkStatus::kFailed;  // as a cut transfer
      }
      return status;
    }
    SinkStatus Piece(uint32_t segment, uint32_t piece, const uint8_t* data, size_t size) override {
      std::lock_guard lock(owner_->mutex_);
      const int attempt = ++owner_->attempts_[record_->url];
      if (auto it = owner_->failures_.find({record_->url, attempt});
          it != owner_->failures_.end()) {
        return it->second;
      }
      record_->pieces.emplace_back(segment, piece);
      record_->data.emplace_back(data, data + size);
      return SinkStatus::kOk;
    }
    void Close() override {
      std::lock_guard lock(owner_->mutex_);
      ++record_->closed;
    }

   private:
    FakeSinks* owner_;
    std::shared_ptr<SinkRecord> record_;
    const std::atomic<int>* stop_;
  };

  std::shared_ptr<TestWaiter> waiter_;
  std::mutex mutex_;
  std::vector<std::shared_ptr<SinkRecord>> records_;
  std::map<std::pair<std::string, int>, SinkStatus> failures_;
  std::map<std::string, SinkStatus> open_status_;
  std::map<std::string, int> attempts_;
  std::vector<std::string> held_;
};

struct Event {
  EventType type;
  void* task;
  int32_t value;
  std::string url;
  bool operator==(const Event&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const Event& e) {
  return out << "{" << e.type << ", " << e.task << ", " << e.value << ", \"" << e.url << "\"}";
}

// Logs every event (on the queue, that is the test's thread).
class EventLog final : public IObserver {
 public:
  void Update(EventType event, void* task, int32_t value, const std::string& url) override {
    events.push_back({event, task, value, url});
  }
  // Events of `task` (optionally of one type).
  std::vector<Event> Of(const void* task, int type = -1) const {
    std::vector<Event> found;
    for (const Event& e : events) {
      if (e.task == task && (type < 0 || e.type == type)) found.push_back(e);
    }
    return found;
  }
  bool Has(const void* task, EventType type) const { return !Of(task, type).empty(); }
  std::vector<Event> events;
};

}  // namespace selvo::testing
