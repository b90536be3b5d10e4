// The thread that serves one stream: it waits for the buffer's start, half and
// stop events (at most 100 ms at a time, so it notices termination quickly) and
// asks the stream's owner for the half that has just finished playing.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#include "platform/win/WinTypes.h"

class TDDSDGenWave;

class TDDSDNotifyThread {
 public:
  explicit TDDSDNotifyThread(TDDSDGenWave* wave);
  // Terminates and waits for the thread.
  ~TDDSDNotifyThread();
  TDDSDNotifyThread(const TDDSDNotifyThread&) = delete;
  TDDSDNotifyThread& operator=(const TDDSDNotifyThread&) = delete;

  void Terminate() { terminated_ = true; }
  void WaitFor();
  // The thread ended by itself (a failed wait).
  bool Finished() const { return finished_; }

  // Returns true once the thread has looked at every event set before the call and has run
  // the handler for each; false when `timeout` (real time) passes first or the thread has
  // ended. It nudges the thread with the stop event, which asks for nothing, so the answer
  // comes without sitting out the 100 ms waits. For tests, which wait on this rather than
  // sleeping.
  bool WaitUntilIdle(std::chrono::milliseconds timeout);
  // Start and half events taken so far, counted as each one begins to be handled.
  uint64_t EventsTaken() const { return eventsTaken_; }

 private:
  void Execute();
  // One pass of the loop is over; `quiet` when its wait found neither the start nor the half event.
  void EndPass(bool quiet);

  TDDSDGenWave* wave_;
  BYTE flag_ = 0;  // which event fired last: 1 start, 0 half
  std::atomic<bool> terminated_{false};
  std::atomic<bool> finished_{false};
  std::atomic<uint64_t> eventsTaken_{0};
  std::mutex passMutex_;
  std::condition_variable passEnded_;
  uint64_t passes_ = 0;     // passes of the loop finished
  uint64_t lastQuiet_ = 0;  // number of the last pass that found nothing to do
  std::thread thread_;
};
