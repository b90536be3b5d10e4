// The multimedia timer and Sleep. Both read one process-wide clock, which the
// host replaces with a virtual clock in headless runs.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>

#include "platform/win/WinTypes.h"

namespace win {

class IClock {
 public:
  virtual ~IClock() = default;
  // Milliseconds since some fixed moment, wrapping at 2^32 as timeGetTime does.
  virtual DWORD Milliseconds() = 0;
  virtual void SleepMilliseconds(DWORD ms) = 0;
};

// The clock of the real machine (a monotonic clock).
IClock& RealClock();

// Installs the clock that timeGetTime and Sleep read; nullptr restores the real clock.
// Returns the previously installed clock.
IClock* SetClock(IClock* clock);
IClock& CurrentClock();

// A clock that only moves when told to: sleeping advances it. For tests and headless runs.
class VirtualClock final : public IClock {
 public:
  explicit VirtualClock(DWORD start = 0) : now_(start) {}
  DWORD Milliseconds() override;
  void SleepMilliseconds(DWORD ms) override;
  void Advance(DWORD ms);
  // Called after every advance with the new time (the headless audio sink consumes
  // samples this way). Called on the thread that advanced the clock.
  void SetAdvanceListener(std::function<void(DWORD now)> listener);

 private:
  std::atomic<DWORD> now_;
  std::mutex listenerMutex_;
  std::function<void(DWORD)> listener_;
};

// Installs a clock for the lifetime of this object.
class ScopedClock {
 public:
  explicit ScopedClock(IClock& clock) : previous_(SetClock(&clock)) {}
  ~ScopedClock() { SetClock(previous_); }
  ScopedClock(const ScopedClock&) = delete;
  ScopedClock& operator=(const ScopedClock&) = delete;

 private:
  IClock* previous_;
};

}  // namespace win

DWORD timeGetTime();
void Sleep(DWORD ms);
