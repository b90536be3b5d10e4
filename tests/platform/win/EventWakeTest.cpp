// SetEvent racing a waiter that leaves: the waiter's record lives only while it waits,
// so a setter must be done with it before the waiter can return. Run under the thread
// sanitizer these catch a setter that wakes its waiters after letting go of the event.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/win/WinEvents.h"

namespace {

TEST(EventWake, ASetterNeverTouchesAWaiterThatHasLeft) {
  // Waits that end at once (taken or timed out) while another thread keeps setting.
  HANDLE e = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  std::atomic<bool> stop{false};
  std::atomic<int> sets{0};
  std::thread setter([&] {
    while (!stop) {
      SetEvent(e);
      ++sets;
    }
  });
  int taken = 0;
  for (int i = 0; i < 20000; ++i)
    if (WaitForSingleObject(e, i % 2) == WAIT_OBJECT_0) ++taken;
  stop = true;
  setter.join();
  EXPECT_GT(taken, 0);
  EXPECT_LE(taken, sets.load());
  CloseHandle(e);
}

TEST(EventWake, TheWaiterMayCloseTheEventAsSoonAsItIsWoken) {
  // The woken side frees the event straight away, as a stream's owner does at shutdown.
  for (int round = 0; round < 300; ++round) {
    HANDLE e = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    HANDLE other = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    std::thread setter([e] { SetEvent(e); });
    const HANDLE both[2] = {other, e};
    EXPECT_EQ(WaitForMultipleObjects(2, both, FALSE, 5000), WAIT_OBJECT_0 + 1);
    CloseHandle(e);  // the setter may not have returned yet
    CloseHandle(other);
    setter.join();
  }
}

}  // namespace
