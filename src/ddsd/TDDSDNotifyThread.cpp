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
        continue;
      } else {
        throw rtl::ERangeError();
      }
      if (terminated_) break;
      wave_->Notify(flag_);
    }
  } catch (...) {
    // A failed wait, an exception from the handler, or a halt asked for by a failed
    // check inside it: none of them can travel to the main thread, so the thread
    // ends and the stream keeps looping over what it holds. A halt's line is in the log.
  }
  finished_ = true;
}
