// The windows of this process, as the platform's IsWindow knows them. Whoever makes a window
// registers its handle for as long as the window lives; the stand-ins that must be handed a
// window (the cooperative levels of sound and input) refuse a handle that is not on the list,
// as the platform refuses a null or foreign one.
#pragma once

#include "platform/win/WinTypes.h"

namespace win {

// True while at least one registration of `window` is alive; never for a null handle.
bool IsWindow(HWND window);

// Registers a handle for the lifetime of this object (a handle may be registered more than once).
class WindowRegistration {
 public:
  explicit WindowRegistration(HWND window);
  ~WindowRegistration();
  WindowRegistration(const WindowRegistration&) = delete;
  WindowRegistration& operator=(const WindowRegistration&) = delete;
  HWND Handle() const { return window_; }

 private:
  HWND window_;
};

}  // namespace win
