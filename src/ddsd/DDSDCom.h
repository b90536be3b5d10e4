// Small owners for the sound unit's platform objects: a COM reference that is
// released when its owner goes away on an error path, and an event handle.
#pragma once

#include <utility>

#include "platform/win/ComRef.h"
#include "platform/win/WinEvents.h"

template <class T>
using TComRef = win::ComRef<T>;

class TEventHandle {
 public:
  TEventHandle() = default;
  explicit TEventHandle(HANDLE h) : h_(h) {}
  ~TEventHandle() {
    if (h_) CloseHandle(h_);
  }
  TEventHandle(const TEventHandle&) = delete;
  TEventHandle& operator=(const TEventHandle&) = delete;
  TEventHandle& operator=(TEventHandle&& other) noexcept {
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
