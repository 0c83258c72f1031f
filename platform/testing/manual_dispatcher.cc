#include "platform/testing/manual_dispatcher.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>

#include "platform/dispatch_internal.h"

namespace platform {

class ManualDispatcher::Queue final : public DispatchQueue,
                                      public std::enable_shared_from_this<Queue> {
 public:
  Queue(ManualDispatcher* dispatcher, std::string label)
      : dispatcher_(dispatcher), label_(std::move(label)) {}

  const std::string& label() const override { return label_; }
  void Async(Closure work) override {
    dispatcher_->Submit(shared_from_this(), Duration::zero(), std::move(work));
  }
  void Sync(Closure work) override { dispatcher_->SyncOn(shared_from_this(), std::move(work)); }
  void AsyncAfter(Duration delay, Closure work) override {
    dispatcher_->Submit(shared_from_this(), std::max(delay, Duration::zero()), std::move(work));
  }
  bool IsCurrent() const override { return internal::CurrentQueue() == this; }

  // Blocks of this queue running on the driver's stack (a Sync chain back onto a
  // running queue would deadlock on a real dispatcher).
  int running = 0;

 private:
  ManualDispatcher* dispatcher_;
  std::string label_;
};

namespace {

struct TimerState {
  std::atomic<bool> cancelled{false};
};

class ManualTimer final : public Timer {
 public:
  explicit ManualTimer(std::shared_ptr<TimerState> state) : state_(std::move(state)) {}
  ~ManualTimer() override { Cancel(); }
  void Cancel() override { state_->cancelled.store(true); }

 private:
  std::shared_ptr<TimerState> state_;
};

// Runs one block as a block of `queue`.
void RunAs(ManualDispatcher::Queue& queue, Closure& work) {
  internal::CurrentQueueScope scope(&queue);
  ++queue.running;
  work();
  --queue.running;
}

}  // namespace

ManualDispatcher::ManualDispatcher()
    : driver_(std::this_thread::get_id()),
      main_(std::make_shared<Queue>(this, "main")),
      global_(std::make_shared<Queue>(this, "global")) {}

ManualDispatcher::~ManualDispatcher() {
  std::deque<Item> dropped;
  {
    std::lock_guard lock(mutex_);
    dropped.swap(items_);
  }
}

std::shared_ptr<DispatchQueue> ManualDispatcher::CreateSerialQueue(std::string label) {
  return std::make_shared<Queue>(this, std::move(label));
}

DispatchQueue& ManualDispatcher::MainQueue() { return *main_; }
DispatchQueue& ManualDispatcher::GlobalQueue() { return *global_; }

void ManualDispatcher::Submit(std::shared_ptr<Queue> queue, Duration delay, Closure work) {
  std::lock_guard lock(mutex_);
  Item item{clock_.Now() + delay, next_seq_++, std::move(queue), std::move(work)};
  auto at = std::upper_bound(items_.begin(), items_.end(), item.due,
                             [](TimePoint due, const Item& i) { return due < i.due; });
  items_.insert(at, std::move(item));
}

std::unique_ptr<Timer> ManualDispatcher::ScheduleRepeating(DispatchQueue& queue, Duration interval,
                                                           Closure tick) {
  auto* manual_queue = dynamic_cast<Queue*>(&queue);
  if (!manual_queue) {
    std::fprintf(stderr, "ManualDispatcher: timer on a queue of another dispatcher\n");
    std::abort();
  }
  auto state = std::make_shared<TimerState>();
  auto target = manual_queue->shared_from_this();
  // Each tick submits the next one interval later, so ticks keep their rhythm.
  auto fire = std::make_shared<Closure>();
  std::weak_ptr<Closure> weak_fire = fire;
  *fire = [this, state, target, interval, tick = std::move(tick), weak_fire] {
    if (state->cancelled.load()) return;
    if (auto next = weak_fire.lock()) Submit(target, interval, [next] { (*next)(); });
    tick();
  };
  Submit(target, interval, [fire] { (*fire)(); });
  return std::make_unique<ManualTimer>(state);
}

bool ManualDispatcher::RunOneDue() {
  Item item;
  {
    std::lock_guard lock(mutex_);
    if (items_.empty() || items_.front().due > clock_.Now()) return false;
    item = std::move(items_.front());
    items_.pop_front();
  }
  RunAs(*item.queue, item.work);
  item.work = nullptr;
  // Taking the lock orders this wake-up after a foreign Sync's check of its flag.
  { std::lock_guard lock(mutex_); }
  ran_.notify_all();
  return true;
}

size_t ManualDispatcher::RunUntilIdle() {
  size_t count = 0;
  while (RunOneDue()) ++count;
  return count;
}

size_t ManualDispatcher::AdvanceBy(Duration d) {
  const TimePoint target = clock_.Now() + d;
  size_t count = RunUntilIdle();
  for (;;) {
    {
      std::lock_guard lock(mutex_);
      if (items_.empty() || items_.front().due > target) break;
      clock_.AdvanceTo(items_.front().due);
    }
    count += RunUntilIdle();
  }
  clock_.AdvanceTo(target);
  return count + RunUntilIdle();
}

size_t ManualDispatcher::pending() const {
  std::lock_guard lock(mutex_);
  return items_.size();
}

void ManualDispatcher::SyncOn(std::shared_ptr<Queue> queue, Closure work) {
  if (queue->running > 0 || queue->IsCurrent()) {
    std::fprintf(stderr, "dispatch: Sync onto queue \"%s\" from that queue would wait forever\n",
                 queue->label().c_str());
    std::abort();
  }
  if (!IsDriver()) {
    // Another thread: hand the block to the driver and wait for it to run.
    std::mutex done_mutex;
    bool done = false;
    Submit(queue, Duration::zero(), [&] {
      work();
      std::lock_guard lock(done_mutex);
      done = true;
    });
    std::unique_lock lock(mutex_);
    ran_.wait(lock, [&] {
      std::lock_guard done_lock(done_mutex);
      return done;
    });
    return;
  }
  // The driver: first the blocks this queue already has due, in order, then `work`.
  for (;;) {
    Item item;
    {
      std::lock_guard lock(mutex_);
      auto it = std::find_if(items_.begin(), items_.end(), [&](const Item& i) {
        return i.queue == queue && i.due <= clock_.Now();
      });
      if (it == items_.end()) break;
      item = std::move(*it);
      items_.erase(it);
    }
    RunAs(*queue, item.work);
  }
  RunAs(*queue, work);
}

}  // namespace platform
