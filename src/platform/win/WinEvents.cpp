#include "platform/win/WinEvents.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

namespace {

// One waiting thread. Events wake every registered waiter when they are set;
// the waiter then tries to take the events it waits for.
struct Waiter {
  std::mutex mutex;
  std::condition_variable cv;
  bool woken = false;

  void Wake() {
    std::lock_guard lock(mutex);
    woken = true;
    cv.notify_all();
  }
};

constexpr DWORD kEventMagic = 0x45564E54;  // "EVNT"

struct EventObject {
  DWORD magic = kEventMagic;
  bool manualReset = false;
  std::mutex mutex;
  bool signaled = false;
  std::vector<Waiter*> waiters;

  // Takes the signal if it is there; auto-reset events are reset by the taking.
  bool TryTake() {
    std::lock_guard lock(mutex);
    if (!signaled) return false;
    if (!manualReset) signaled = false;
    return true;
  }
  bool IsSignaled() {
    std::lock_guard lock(mutex);
    return signaled;
  }
  void Register(Waiter* w) {
    std::lock_guard lock(mutex);
    waiters.push_back(w);
  }
  void Unregister(Waiter* w) {
    std::lock_guard lock(mutex);
    waiters.erase(std::remove(waiters.begin(), waiters.end(), w), waiters.end());
  }
};

EventObject* AsEvent(HANDLE h) {
  auto* e = static_cast<EventObject*>(h);
  return (e && e->magic == kEventMagic) ? e : nullptr;
}

}  // namespace

HANDLE CreateEventA(void*, BOOL manualReset, BOOL initialState, LPCSTR) {
  auto* e = new EventObject;  // a kernel handle: owned by whoever calls CloseHandle
  e->manualReset = manualReset != FALSE;
  e->signaled = initialState != FALSE;
  return e;
}

BOOL SetEvent(HANDLE handle) {
  EventObject* e = AsEvent(handle);
  if (!e) return FALSE;
  // The waiters are woken under the event's lock: a waiter's record lives only until it
  // unregisters (which takes this lock), so it cannot leave and go away while being woken.
  std::lock_guard lock(e->mutex);
  e->signaled = true;
  for (Waiter* w : e->waiters) w->Wake();
  return TRUE;
}

BOOL ResetEvent(HANDLE handle) {
  EventObject* e = AsEvent(handle);
  if (!e) return FALSE;
  std::lock_guard lock(e->mutex);
  e->signaled = false;
  return TRUE;
}

BOOL CloseHandle(HANDLE handle) {
  EventObject* e = AsEvent(handle);
  if (!e) return FALSE;
  e->magic = 0;
  delete e;
  return TRUE;
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
  return WaitForMultipleObjects(1, &handle, FALSE, milliseconds);
}

DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds) {
  if (count == 0 || count > MAXIMUM_WAIT_OBJECTS || !handles) return WAIT_FAILED;
  std::vector<EventObject*> events(count);
  for (DWORD i = 0; i < count; ++i) {
    events[i] = AsEvent(handles[i]);
    if (!events[i]) return WAIT_FAILED;
  }

  Waiter waiter;
  for (EventObject* e : events) e->Register(&waiter);
  struct Unregister {
    std::vector<EventObject*>& events;
    Waiter* w;
    ~Unregister() {
      for (EventObject* e : events) e->Unregister(w);
    }
  } unregister{events, &waiter};

  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  for (;;) {
    if (waitAll) {
      // Take all at once only when all are set; a set that is taken away
      // between the check and the take is simply waited for again.
      bool all = std::all_of(events.begin(), events.end(), [](EventObject* e) { return e->IsSignaled(); });
      if (all) {
        for (EventObject* e : events) e->TryTake();
        return WAIT_OBJECT_0;
      }
    } else {
      for (DWORD i = 0; i < count; ++i)
        if (events[i]->TryTake()) return WAIT_OBJECT_0 + i;
    }
    std::unique_lock lock(waiter.mutex);
    if (!waiter.woken) {
      if (milliseconds == INFINITE) {
        waiter.cv.wait(lock, [&] { return waiter.woken; });
      } else if (!waiter.cv.wait_until(lock, deadline, [&] { return waiter.woken; })) {
        return WAIT_TIMEOUT;
      }
    }
    waiter.woken = false;
  }
}
