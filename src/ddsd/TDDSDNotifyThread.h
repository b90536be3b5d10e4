// The thread that serves one stream: it waits for the buffer's start, half and
// stop events (at most 100 ms at a time, so it notices termination quickly) and
// asks the stream's owner for the half that has just finished playing.
#pragma once

#include <atomic>
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

 private:
  void Execute();

  TDDSDGenWave* wave_;
  BYTE flag_ = 0;  // which event fired last: 1 start, 0 half
  std::atomic<bool> terminated_{false};
  std::atomic<bool> finished_{false};
  std::thread thread_;
};
