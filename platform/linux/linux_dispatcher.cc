#include "platform/linux/linux_dispatcher.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <optional>

#include "platform/dispatch_internal.h"

namespace platform {

// A list of blocks with a condition to wait on; shared by a queue and its threads.
class LinuxDispatcher::WorkList {
 public:
  void Push(Closure work) {
    {
      std::lock_guard lock(mutex_);
      items_.push_back(std::move(work));
    }
    cv_.notify_one();
  }

  // Waits for the next block. Returns nullopt when the list is closed and drained
  // (and no delayed block is still due to arrive), when a quit was requested, or
  // at `deadline`.
  std::optional<Closure> Pop(std::optional<TimePoint> deadline = std::nullopt) {
    std::unique_lock lock(mutex_);
    auto ready = [&] { return !items_.empty() || quit_ || (closed_ && pending_delayed_ == 0); };
    if (deadline) {
      if (!cv_.wait_until(lock, *deadline, ready)) return std::nullopt;
    } else {
      cv_.wait(lock, ready);
    }
    if (quit_) {
      quit_ = false;
      return std::nullopt;
    }
    if (items_.empty()) return std::nullopt;
    Closure work = std::move(items_.front());
    items_.pop_front();
    return work;
  }

  void Close() {
    {
      std::lock_guard lock(mutex_);
      closed_ = true;
    }
    cv_.notify_all();
  }

  void RequestQuit() {
    {
      std::lock_guard lock(mutex_);
      quit_ = true;
    }
    cv_.notify_all();
  }

  // Delayed blocks on their way keep a closed list's thread alive until they arrive.
  void AddDelayed() {
    std::lock_guard lock(mutex_);
    ++pending_delayed_;
  }
  void RemoveDelayed() {
    {
      std::lock_guard lock(mutex_);
      --pending_delayed_;
    }
    cv_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  std::deque<Closure> items_;
  int pending_delayed_ = 0;
  bool closed_ = false;
  bool quit_ = false;
};

namespace {

using WorkList = LinuxDispatcher::WorkList;

[[noreturn]] void DeadlockAbort(const std::string& label) {
  std::fprintf(stderr, "dispatch: Sync onto queue \"%s\" from that queue would wait forever\n",
               label.c_str());
  std::abort();
}

// Runs `work` where `submit` puts it and waits until it has run.
void SubmitAndWait(const std::function<void(Closure)>& submit, Closure work) {
  std::promise<void> done;
  auto finished = done.get_future();
  submit([&] {
    work();
    done.set_value();
  });
  finished.wait();
}

// Holds a closed list's thread open until a delayed block has been delivered or dropped.
class DelayedTicket {
 public:
  explicit DelayedTicket(std::shared_ptr<WorkList> list) : list_(std::move(list)) {
    list_->AddDelayed();
  }
  ~DelayedTicket() { list_->RemoveDelayed(); }
  DelayedTicket(const DelayedTicket&) = delete;
  DelayedTicket& operator=(const DelayedTicket&) = delete;

 private:
  std::shared_ptr<WorkList> list_;
};

class SerialQueue final : public DispatchQueue {
 public:
  SerialQueue(LinuxDispatcher* dispatcher, std::string label)
      : dispatcher_(dispatcher), label_(std::move(label)), work_(std::make_shared<WorkList>()) {
    // The thread keeps the list alive; the queue object may go first.
    thread_ = std::thread([work = work_, self = static_cast<const DispatchQueue*>(this)] {
      while (auto block = work->Pop()) {
        internal::CurrentQueueScope scope(self);
        (*block)();
      }
    });
  }

  ~SerialQueue() override {
    work_->Close();
    // The thread drains what was submitted, then ends on its own.
    thread_.detach();
  }

  const std::string& label() const override { return label_; }
  void Async(Closure work) override { work_->Push(std::move(work)); }
  void Sync(Closure work) override {
    if (IsCurrent()) DeadlockAbort(label_);
    SubmitAndWait([this](Closure c) { work_->Push(std::move(c)); }, std::move(work));
  }
  void AsyncAfter(Duration delay, Closure work) override {
    auto ticket = std::make_shared<DelayedTicket>(work_);
    dispatcher_->ScheduleAt(dispatcher_->clock().Now() + delay,
                            [list = work_, ticket, work = std::move(work)]() mutable {
                              list->Push(std::move(work));
                            });
  }
  bool IsCurrent() const override { return internal::CurrentQueue() == this; }

 private:
  LinuxDispatcher* dispatcher_;
  std::string label_;
  std::shared_ptr<WorkList> work_;
  std::thread thread_;
};

class MainQueueImpl final : public DispatchQueue {
 public:
  MainQueueImpl(LinuxDispatcher* dispatcher, std::shared_ptr<WorkList> work)
      : dispatcher_(dispatcher), work_(std::move(work)) {}

  const std::string& label() const override { return label_; }
  void Async(Closure work) override { work_->Push(std::move(work)); }
  void Sync(Closure work) override {
    if (IsCurrent()) DeadlockAbort(label_);
    SubmitAndWait([this](Closure c) { work_->Push(std::move(c)); }, std::move(work));
  }
  void AsyncAfter(Duration delay, Closure work) override {
    dispatcher_->ScheduleAt(dispatcher_->clock().Now() + delay,
                            [list = work_, work = std::move(work)]() mutable {
                              list->Push(std::move(work));
                            });
  }
  bool IsCurrent() const override { return internal::CurrentQueue() == this; }

 private:
  LinuxDispatcher* dispatcher_;
  std::shared_ptr<WorkList> work_;
  const std::string label_ = "main";
};

class GlobalQueueImpl final : public DispatchQueue {
 public:
  GlobalQueueImpl(LinuxDispatcher* dispatcher, unsigned threads)
      : dispatcher_(dispatcher), work_(std::make_shared<WorkList>()) {
    for (unsigned i = 0; i < threads; ++i) {
      threads_.emplace_back([this] {
        while (auto block = work_->Pop()) {
          internal::CurrentQueueScope scope(this);
          (*block)();
        }
      });
    }
  }

  ~GlobalQueueImpl() override {
    work_->Close();
    for (auto& t : threads_) t.join();
  }

  const std::string& label() const override { return label_; }
  void Async(Closure work) override { work_->Push(std::move(work)); }
  // Concurrent: the block may as well run on the calling thread.
  void Sync(Closure work) override {
    internal::CurrentQueueScope scope(this);
    work();
  }
  void AsyncAfter(Duration delay, Closure work) override {
    dispatcher_->ScheduleAt(dispatcher_->clock().Now() + delay,
                            [list = work_, work = std::move(work)]() mutable {
                              list->Push(std::move(work));
                            });
  }
  bool IsCurrent() const override { return internal::CurrentQueue() == this; }

 private:
  LinuxDispatcher* dispatcher_;
  std::shared_ptr<WorkList> work_;
  std::vector<std::thread> threads_;
  const std::string label_ = "global";
};

struct RepeatingState {
  std::atomic<bool> cancelled{false};
  Duration interval{};
  DispatchQueue* queue = nullptr;
  Closure tick;
};

class RepeatingTimer final : public Timer {
 public:
  explicit RepeatingTimer(std::shared_ptr<RepeatingState> state) : state_(std::move(state)) {}
  ~RepeatingTimer() override { Cancel(); }
  void Cancel() override { state_->cancelled.store(true); }

 private:
  std::shared_ptr<RepeatingState> state_;
};

void ArmRepeating(LinuxDispatcher* dispatcher, std::shared_ptr<RepeatingState> state,
                  TimePoint due) {
  dispatcher->ScheduleAt(due, [dispatcher, state, due] {
    if (state->cancelled.load()) return;
    state->queue->Async([state] {
      if (!state->cancelled.load()) state->tick();
    });
    ArmRepeating(dispatcher, state, due + state->interval);
  });
}

}  // namespace

LinuxDispatcher::LinuxDispatcher(unsigned global_threads) : main_work_(std::make_shared<WorkList>()) {
  if (global_threads == 0) global_threads = std::max(2u, std::thread::hardware_concurrency());
  main_queue_ = std::make_unique<MainQueueImpl>(this, main_work_);
  global_queue_ = std::make_unique<GlobalQueueImpl>(this, global_threads);
  timer_thread_ = std::thread([this] { TimerLoop(); });
}

LinuxDispatcher& LinuxDispatcher::Machine() {
  // Never destroyed: blocks may still run on its threads while the process exits.
  static LinuxDispatcher* machine = new LinuxDispatcher();
  return *machine;
}

LinuxDispatcher::~LinuxDispatcher() {
  {
    std::lock_guard lock(timer_mutex_);
    stopping_ = true;
  }
  timer_cv_.notify_all();
  timer_thread_.join();
  std::multimap<TimePoint, Closure> dropped;
  {
    std::lock_guard lock(timer_mutex_);
    dropped.swap(timers_);
  }
  dropped.clear();  // outside the lock: dropping a delayed block may wake its queue
  global_queue_.reset();
}

std::shared_ptr<DispatchQueue> LinuxDispatcher::CreateSerialQueue(std::string label) {
  return std::make_shared<SerialQueue>(this, std::move(label));
}

DispatchQueue& LinuxDispatcher::MainQueue() { return *main_queue_; }
DispatchQueue& LinuxDispatcher::GlobalQueue() { return *global_queue_; }
Clock& LinuxDispatcher::clock() { return SystemClock(); }

std::unique_ptr<Timer> LinuxDispatcher::ScheduleRepeating(DispatchQueue& queue, Duration interval,
                                                          Closure tick) {
  auto state = std::make_shared<RepeatingState>();
  state->interval = interval;
  state->queue = &queue;
  state->tick = std::move(tick);
  ArmRepeating(this, state, clock().Now() + interval);
  return std::make_unique<RepeatingTimer>(state);
}

void LinuxDispatcher::RunMainLoop() {
  while (auto block = main_work_->Pop()) {
    internal::CurrentQueueScope scope(main_queue_.get());
    (*block)();
  }
}

bool LinuxDispatcher::RunMainLoopUntil(const std::function<bool()>& done, Duration timeout) {
  const TimePoint deadline = clock().Now() + timeout;
  while (!done()) {
    auto block = main_work_->Pop(deadline);
    if (!block) return done();
    internal::CurrentQueueScope scope(main_queue_.get());
    (*block)();
  }
  return true;
}

void LinuxDispatcher::QuitMainLoop() { main_work_->RequestQuit(); }

void LinuxDispatcher::ScheduleAt(TimePoint due, Closure work) {
  {
    std::lock_guard lock(timer_mutex_);
    timers_.emplace(due, std::move(work));
  }
  timer_cv_.notify_all();
}

void LinuxDispatcher::TimerLoop() {
  std::unique_lock lock(timer_mutex_);
  while (!stopping_) {
    if (timers_.empty()) {
      timer_cv_.wait(lock);
      continue;
    }
    auto first = timers_.begin();
    if (first->first > clock().Now()) {
      timer_cv_.wait_until(lock, first->first);
      continue;
    }
    Closure work = std::move(first->second);
    timers_.erase(first);
    lock.unlock();
    work();
    work = nullptr;
    lock.lock();
  }
}

}  // namespace platform
