// Small owners for the sound unit's platform objects: a COM reference that is
// released when its owner goes away on an error path, and an event handle.
#pragma once

#include <utility>

#include "platform/win/WinEvents.h"

template <class T>
class TComRef {
 public:
  TComRef() = default;
  ~TComRef() { Reset(); }
  TComRef(const TComRef&) = delete;
  TComRef& operator=(const TComRef&) = delete;

  T* Get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  // For the out-parameter of a create call; whatever was held is released first.
  T** Put() {
    Reset();
    return &p_;
  }
  // Hands the reference to a caller who releases it (and checks the count).
  T* Detach() { return std::exchange(p_, nullptr); }
  void Reset() {
    if (T* p = std::exchange(p_, nullptr)) p->Release();
  }

 private:
  T* p_ = nullptr;
};

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
