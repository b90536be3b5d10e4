// Owning one reference of a COM-style object, and the reference count the stand-ins share.
#pragma once

#include <atomic>
#include <utility>

#include "platform/win/WinTypes.h"

namespace win {

// Holds one reference and releases it when dropped.
template <class T>
class ComRef {
 public:
  ComRef() = default;
  ~ComRef() { Reset(); }
  ComRef(const ComRef&) = delete;
  ComRef& operator=(const ComRef&) = delete;
  ComRef(ComRef&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  ComRef& operator=(ComRef&& other) noexcept {
    if (this != &other) Reset(std::exchange(other.p_, nullptr));
    return *this;
  }

  // Takes over a reference the caller already owns.
  static ComRef Adopt(T* p) {
    ComRef r;
    r.p_ = p;
    return r;
  }
  // Adds a reference of its own.
  static ComRef Share(T* p) {
    if (p) p->AddRef();
    return Adopt(p);
  }

  T* Get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  // The address to hand to a creating call; whatever was held is released first.
  T** Put() {
    Reset();
    return &p_;
  }
  // Hands the reference to a caller who releases it (and may check the count).
  T* Detach() { return std::exchange(p_, nullptr); }
  // Releases what is held and takes over `p` (a reference the caller owned).
  void Reset(T* p = nullptr) {
    if (T* old = std::exchange(p_, p)) old->Release();
  }

 private:
  T* p_ = nullptr;
};

// Real reference counting for the stand-ins' objects, the one way they all count: the last
// Release deletes. An object that answers to several interfaces lists them all; they share
// the one count.
template <class... Interfaces>
class RefCounted : public Interfaces... {
 public:
  ULONG AddRef() override { return ++refs_; }
  ULONG Release() override {
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }

 protected:
  ~RefCounted() override = default;

 private:
  std::atomic<ULONG> refs_{1};
};

}  // namespace win
