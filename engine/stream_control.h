// What a reader of recordings shares with the task that runs it: the stop flag, the
// recorder-stopped flag, and how to wait between polls of a growing file.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

namespace selvo {

struct StreamControl {
  // 1 = stop requested. Raised by the task's owner with an atomic add; never null while
  // a pass runs.
  std::atomic<int>* stop = nullptr;
  // 1 = the recorder finished both files. The pass that sees it takes it back (atomic
  // subtract) and ends so that a second pass can run on the finished files. May be null.
  std::atomic<int>* recorder_stopped = nullptr;
  // Waits between polls; empty means sleeping on this thread. Tests pass a function that
  // advances the scenario instead.
  std::function<void(int milliseconds)> pause;
  // The recordings are complete files (nothing is appended any more): the media data
  // ends at the end of 'mdat' or of the file, whichever comes first, and a missing file
  // is an error rather than something to wait for.
  bool recordings_final = false;

  bool StopRequested() const { return stop && stop->load() == 1; }
  bool RecorderStopped() const { return recorder_stopped && recorder_stopped->load() == 1; }
  void Pause(int milliseconds) const {
    if (pause) {
      pause(milliseconds);
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    }
  }
};

}  // namespace selvo
