#include "platform/win/WinTime.h"

#include <atomic>
#include <chrono>
#include <thread>

namespace win {
namespace {

class SteadyClock final : public IClock {
 public:
  DWORD Milliseconds() override {
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start_);
    return static_cast<DWORD>(ms.count());
  }
  void SleepMilliseconds(DWORD ms) override { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

 private:
  // timeGetTime counts from system start; starting at a large value keeps the
  // wrap-around code paths honest without waiting 49 days.
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now() - std::chrono::milliseconds(1000);
};

std::atomic<IClock*> g_clock{nullptr};

}  // namespace

IClock& RealClock() {
  static SteadyClock clock;
  return clock;
}

IClock* SetClock(IClock* clock) { return g_clock.exchange(clock); }

IClock& CurrentClock() {
  IClock* c = g_clock.load();
  return c ? *c : RealClock();
}

DWORD VirtualClock::Milliseconds() { return now_; }
void VirtualClock::SleepMilliseconds(DWORD ms) { Advance(ms); }

void VirtualClock::Advance(DWORD ms) {
  DWORD now = now_ += ms;
  std::function<void(DWORD)> listener;
  {
    std::lock_guard lock(listenerMutex_);
    listener = listener_;
  }
  if (listener) listener(now);
}

void VirtualClock::SetAdvanceListener(std::function<void(DWORD)> listener) {
  std::lock_guard lock(listenerMutex_);
  listener_ = std::move(listener);
}

}  // namespace win

DWORD timeGetTime() { return win::CurrentClock().Milliseconds(); }
void Sleep(DWORD ms) { win::CurrentClock().SleepMilliseconds(ms); }
