// A form, a host and an emulated machine for the display component's tests.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "kiln/KilnLog.h"
#include "kiln/TKiln.h"
#include "kiln/TKilnOwner.h"
#include "platform/ddraw/DDrawMachine.h"
#include "platform/ddraw/DDrawTestUtil.h"
#include "platform/host/Hosts.h"
#include "platform/win/CodePage.h"
#include "support/TestSupport.h"

namespace kilntest {

// The headless host, with the message box and the screen saver watched.
class WatchedHost final : public host::IHost {
 public:
  WatchedHost() : inner_(host::CreateHeadlessHost({})) {}
  std::vector<std::string> messageBoxes;
  bool screenSaver = true;

  std::string Name() const override { return "watched"; }
  std::unique_ptr<host::IWindow> CreateWindow(const host::WindowDesc& d) override { return inner_->CreateWindow(d); }
  bool PollEvent(host::Event& e) override { return inner_->PollEvent(e); }
  void WaitEvent(int ms) override { inner_->WaitEvent(ms); }
  win::IClock& Clock() override { return inner_->Clock(); }
  const uint8_t* KeyboardState() override { return inner_->KeyboardState(); }
  void MouseState(int32_t& dx, int32_t& dy, int32_t& dz, uint8_t b[4]) override { inner_->MouseState(dx, dy, dz, b); }
  bool HasFocus() override { return inner_->HasFocus(); }
  host::IJoysticks& Joysticks() override { return inner_->Joysticks(); }
  host::IAudioDevice& Audio() override { return inner_->Audio(); }
  void PresentMessageBox(const std::string&, const std::string& text) override { messageBoxes.push_back(text); }
  int DesktopBitDepth() override { return static_cast<int>(ddraw::CurrentDisplayMode().bitsPerPixel); }
  void DesktopSize(int& w, int& h) override { inner_->DesktopSize(w, h); }
  bool ScreenSaverEnabled() override { return screenSaver; }
  void SetScreenSaverEnabled(bool on) override { screenSaver = on; }

 private:
  std::unique_ptr<host::IHost> inner_;
};

// A form as the component sees it, recording what is done to it.
class FakeOwner final : public TKilnOwner {
 public:
  forms::TObject form;
  HWND handle = ddtest::FakeHwnd(3);
  bool active = true;
  RECT bounds{100, 50, 740, 530};
  TWindowState state = TWindowState::wsNormal;
  forms::TNotifyEvent onCreate, onPaint;
  TKilnWndProc procedure;
  std::vector<std::string> calls;
  std::vector<UINT> passedOn;  // messages that reached the form's own procedure
  bool terminated = false;

  FakeOwner() {
    procedure = [this](HWND, UINT m, WPARAM, LPARAM) -> LRESULT {
      passedOn.push_back(m);
      return 7;
    };
  }
  bool Called(const std::string& c) const {
    for (auto& x : calls)
      if (x == c) return true;
    return false;
  }
  LRESULT Send(UINT m, WPARAM w = 0, LPARAM l = 0) { return procedure(handle, m, w, l); }
  // Creates the form: its creation handler runs (the component's start-up).
  void Create() {
    if (onCreate) onCreate(&form);
  }
  void Paint() {
    if (onPaint) onPaint(&form);
  }

  forms::TObject* Form() override { return &form; }
  HWND Handle() override { return handle; }
  std::string Caption() override { return "Tavvyhop"; }
  void Show() override { calls.push_back("Show"); }
  int Left() override { return bounds.left; }
  int Top() override { return bounds.top; }
  int Width() override { return bounds.right - bounds.left; }
  int Height() override { return bounds.bottom - bounds.top; }
  void SetBounds(int l, int t, int w, int h) override {
    calls.push_back("SetBounds " + std::to_string(l) + " " + std::to_string(t) + " " + std::to_string(w) + " " +
                    std::to_string(h));
    bounds = {l, t, l + w, t + h};
  }
  TWindowState WindowState() override { return state; }
  void SetWindowState(TWindowState s) override { state = s; }
  bool Active() override { return active; }
  RECT ClientRect() override { return RECT{0, 0, Width(), Height()}; }
  POINT ClientToScreen(POINT p) override { return POINT{p.x + bounds.left, p.y + bounds.top}; }
  int ScreenWidth() override { return static_cast<int>(ddraw::CurrentDisplayMode().width); }
  int ScreenHeight() override { return static_cast<int>(ddraw::CurrentDisplayMode().height); }
  forms::TNotifyEvent& OnCreate() override { return onCreate; }
  forms::TNotifyEvent& OnPaint() override { return onPaint; }
  TKilnWndProc SetWindowProc(HWND, TKilnWndProc p) override {
    calls.push_back(p ? "SetWindowProc" : "SetWindowProc empty");
    TKilnWndProc previous = std::move(procedure);
    procedure = std::move(p);
    return previous;
  }
  void BringWindowToTop(HWND) override { calls.push_back("BringWindowToTop"); }
  void DrawMenuBar(HWND) override { calls.push_back("DrawMenuBar"); }
  void RedrawWindow(HWND, UINT flags) override { calls.push_back("RedrawWindow " + std::to_string(flags)); }
  void Terminate() override { terminated = true; }
};

// A fresh machine, log folder and host for every test; the window shows what is presented.
class KilnMachineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    previousHost_ = host::HasCurrent() ? &host::Current() : nullptr;
    host::SetCurrent(&host);
    ddraw::ResetMachine();
    ddraw::SetMachine(ddtest::TestMachine(32));
    KilnDebugUnit().ResetForTest(ddoDebugMessage | ddoDetailedLog);
  }
  void TearDown() override {
    if (kiln) {
      // Handlers of a test may refer to what the test body held; the tear-down fires some.
      kiln->OnCleanUp = nullptr;
      kiln->OnChangeDisplayMode = nullptr;
      kiln->OnRestore = nullptr;
      kiln->OnDestroy = nullptr;
    }
    kiln.reset();
    ddraw::ResetMachine();
    KilnDebugUnit().ResetForTest(ddoHaltOnError | ddoDebugMessage);
    host::SetCurrent(previousHost_);
  }
  // Describes the machine; call before making the component.
  void Machine(const ddraw::MachineConfig& m) { ddraw::SetMachine(m); }
  TKiln& Make() {
    kiln = std::make_unique<TKiln>(owner);
    return *kiln;
  }
  // Lines of kiln.debug after "debug#NNNNN ... ", decoded from the ANSI code page.
  std::vector<std::string> LogLines() const {
    std::vector<std::string> lines;
    const std::string path = dir.File("kiln.debug");
    if (!std::filesystem::exists(path)) return lines;
    const std::string log = testsupport::ReadFileText(path);
    size_t pos = 0;
    while (pos < log.size()) {
      size_t end = log.find("\r\n", pos);
      if (end == std::string::npos) end = log.size();
      const std::string line = log.substr(pos, end - pos);
      const size_t text = line.find(" ... ");
      lines.push_back(win::AnsiToUtf8(text == std::string::npos ? line : line.substr(text + 5)));
      pos = end + 2;
    }
    return lines;
  }
  bool Logged(const std::string& line) const {
    for (auto& l : LogLines())
      if (l == line) return true;
    return false;
  }
  int CountLogged(const std::string& prefix) const {
    int n = 0;
    for (auto& l : LogLines()) n += l.rfind(prefix, 0) == 0;
    return n;
  }

  testsupport::TempDir dir;
  testsupport::ScopedModuleDir module{dir.Path().string()};
  WatchedHost host;
  host::IHost* previousHost_ = nullptr;
  ddtest::FakeWindow window;
  ddraw::ScopedWindowBinding binding{ddtest::FakeHwnd(3), &window};
  FakeOwner owner;
  std::unique_ptr<TKiln> kiln;
};

inline ddraw::DriverConfig Driver3D(const GUID& guid, const std::string& description, const std::string& name) {
  ddraw::DriverConfig d;
  d.guid = guid;
  d.description = description;
  d.name = name;
  d.caps |= DDCAPS_3D;
  return d;
}

}  // namespace kilntest
