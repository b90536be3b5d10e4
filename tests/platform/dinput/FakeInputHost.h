// A machine for the input tests: a keyboard, a mouse, a focus switch and joysticks that
// the test sets by hand. Everything else of the host contract is not used by input code
// and fails loudly.
#pragma once

#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/host/Host.h"

namespace testinput {

struct FakeJoystick {
  host::JoystickInfo info;
  host::JoystickState state;
  bool attached = true;
};

class FakeJoysticks : public host::IJoysticks {
 public:
  std::vector<FakeJoystick> sticks;

  FakeJoystick& Add(const std::string& name, bool forceFeedback = false, int axes = 8, int buttons = 32, int hats = 4) {
    FakeJoystick s;
    s.info.productName = name;
    s.info.instanceName = name;
    s.info.axes = axes;
    s.info.buttons = buttons;
    s.info.hats = hats;
    s.info.forceFeedback = forceFeedback;
    sticks.push_back(s);
    return sticks.back();
  }

  int Count() override { return static_cast<int>(sticks.size()); }
  host::JoystickInfo Info(int index) override {
    return index >= 0 && index < Count() ? sticks[index].info : host::JoystickInfo{};
  }
  bool State(int index, host::JoystickState& state) override {
    if (index < 0 || index >= Count() || !sticks[index].attached) return false;
    state = sticks[index].state;
    return true;
  }
};

class FakeInputHost : public host::IHost {
 public:
  uint8_t keys[256] = {};
  int32_t mouseDx = 0, mouseDy = 0, mouseDz = 0;
  uint8_t mouseButtons[4] = {};
  bool focus = true;
  // Joysticks of the machine; a test may plug in another implementation (the real SDL one).
  FakeJoysticks fakeSticks;
  host::IJoysticks* sticks = &fakeSticks;

  void Press(unsigned code) { keys[code] = 0x80; }
  void ReleaseKey(unsigned code) { keys[code] = 0; }
  void ReleaseAll() { std::memset(keys, 0, sizeof keys); }

  std::string Name() const override { return "fake"; }
  const uint8_t* KeyboardState() override { return keys; }
  void MouseState(int32_t& dx, int32_t& dy, int32_t& dz, uint8_t buttons[4]) override {
    dx = mouseDx;
    dy = mouseDy;
    dz = mouseDz;
    mouseDx = mouseDy = mouseDz = 0;
    std::memcpy(buttons, mouseButtons, 4);
  }
  bool HasFocus() override { return focus; }
  host::IJoysticks& Joysticks() override { return *sticks; }

  std::unique_ptr<host::IWindow> CreateWindow(const host::WindowDesc&) override { Unused("CreateWindow"); }
  bool PollEvent(host::Event&) override { Unused("PollEvent"); }
  void WaitEvent(int) override { Unused("WaitEvent"); }
  win::IClock& Clock() override { Unused("Clock"); }
  host::IAudioDevice& Audio() override { Unused("Audio"); }
  void PresentMessageBox(const std::string&, const std::string&) override { Unused("ShowMessageBox"); }
  int DesktopBitDepth() override { Unused("DesktopBitDepth"); }
  void DesktopSize(int&, int&) override { Unused("DesktopSize"); }
  bool ScreenSaverEnabled() override { Unused("ScreenSaverEnabled"); }
  void SetScreenSaverEnabled(bool) override { Unused("SetScreenSaverEnabled"); }

 private:
  [[noreturn]] static void Unused(const char* what) {
    throw std::logic_error(std::string("the input tests' host has no ") + what);
  }
};

// Makes a host the current one for the lifetime of the object.
class ScopedHost {
 public:
  explicit ScopedHost(host::IHost* h) : previous_(host::HasCurrent() ? &host::Current() : nullptr) {
    host::SetCurrent(h);
  }
  ~ScopedHost() { host::SetCurrent(previous_); }
  ScopedHost(const ScopedHost&) = delete;
  ScopedHost& operator=(const ScopedHost&) = delete;

 private:
  host::IHost* previous_;
};

}  // namespace testinput
