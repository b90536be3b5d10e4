#include "ddsd/TDDSDNotifyThread.h"

#include "ddsd/TDDSDGenWave.h"
#include "platform/rtl/SysUtils.h"
#include "platform/win/WinEvents.h"

TDDSDNotifyThread::TDDSDNotifyThread(TDDSDGenWave* wave) : wave_(wave), thread_([this] { Execute(); }) {}

TDDSDNotifyThread::~TDDSDNotifyThread() {
  Terminate();
  WaitFor();
}

void TDDSDNotifyThread::WaitFor() {
  if (thread_.joinable()) thread_.join();
}

void TDDSDNotifyThread::Execute() {
  try {
    const HANDLE events[3] = {wave_->StartEvent(), wave_->HalfEvent(), wave_->StopEvent()};
    while (!terminated_) {
      const DWORD r = WaitForMultipleObjects(3, events, FALSE, 100);
      if (r == WAIT_OBJECT_0) {
        flag_ = 1;  // at the start again: the second half has just been played
      } else if (r == WAIT_OBJECT_0 + 1) {
        flag_ = 0;
      } else if (r == WAIT_OBJECT_0 + 2 || r == WAIT_TIMEOUT) {
        EndPass(true);
        continue;
      } else {
        throw rtl::ERangeError();
      }
      if (terminated_) break;
      ++eventsTaken_;
      wave_->Notify(flag_);
      EndPass(false);
    }
  } catch (...) {
    // A failed wait, an exception from the handler, or a halt asked for by a failed
    // check inside it: none of them can travel to the main thread, so the thread
    // ends and the stream keeps looping over what it holds. A halt's line is in the log.
  }
  {
    std::lock_guard lock(passMutex_);
    finished_ = true;
  }
  passEnded_.notify_all();
}

void TDDSDNotifyThread::EndPass(bool quiet) {
  {
    std::lock_guard lock(passMutex_);
    ++passes_;
    if (quiet) lastQuiet_ = passes_;
  }
  passEnded_.notify_all();
}

bool TDDSDNotifyThread::WaitUntilIdle(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  std::unique_lock lock(passMutex_);
  // The pass under way now may have begun its wait before the events were set; the one
  // after it cannot have. The wait returns the lowest set event, so a quiet pass from then
  // on means that nothing set before this call is left.
  const uint64_t settled = passes_ + 2;
  while (lastQuiet_ < settled) {
    if (finished_) return false;
    lock.unlock();
    SetEvent(wave_->StopEvent());
    lock.lock();
    passEnded_.wait_for(lock, std::chrono::milliseconds(10));
    if (lastQuiet_ < settled && std::chrono::steady_clock::now() >= deadline) return false;
  }
  return true;
}
