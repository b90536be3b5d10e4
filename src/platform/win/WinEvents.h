// Kernel event objects and the wait functions, as the sound component's
// notification thread uses them: auto-reset or manual-reset events, waits on
// one or several handles with a time-out.
#pragma once

#include <utility>

#include "platform/win/WinTypes.h"

inline constexpr DWORD INFINITE = 0xFFFFFFFF;
inline constexpr DWORD WAIT_OBJECT_0 = 0;
inline constexpr DWORD WAIT_TIMEOUT = 258;
inline constexpr DWORD WAIT_FAILED = 0xFFFFFFFF;
inline constexpr DWORD MAXIMUM_WAIT_OBJECTS = 64;

// Security attributes and names are accepted for the shape of the call and ignored.
HANDLE CreateEventA(void* securityAttributes, BOOL manualReset, BOOL initialState, LPCSTR name);
BOOL SetEvent(HANDLE event);
BOOL ResetEvent(HANDLE event);
BOOL CloseHandle(HANDLE handle);
DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);
// Time-outs are real time (not the game clock): they bound how long a thread blocks.
DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds);

namespace win {

// Owns an event handle and closes it when it goes.
class EventHandle {
 public:
  EventHandle() = default;
  explicit EventHandle(HANDLE h) : h_(h) {}
  ~EventHandle() {
    if (h_) CloseHandle(h_);
  }
  EventHandle(const EventHandle&) = delete;
  EventHandle& operator=(const EventHandle&) = delete;
  EventHandle& operator=(EventHandle&& other) noexcept {
    if (this != &other) {
      if (h_) CloseHandle(h_);
      h_ = std::exchange(other.h_, nullptr);
    }
    return *this;
  }
  HANDLE Get() const { return h_; }

 private:
  HANDLE h_ = nullptr;
};

}  // namespace win
