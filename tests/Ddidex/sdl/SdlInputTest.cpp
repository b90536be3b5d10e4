// The input component on the real SDL backend.
#include <SDL.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>

#include "Ddidex/TDDIDEX.h"
#include "platform/dinput/FakeInputHost.h"
#include "platform/host/Backends.h"
#include "platform/host/Hosts.h"
#include "support/TestSupport.h"
#include "platform/win/WinWindows.h"

namespace {

using testinput::FakeInputHost;
using testinput::ScopedHost;

// A window of this process for the components to set their cooperative levels with.
HWND FakeWindow() {
  static const win::WindowRegistration window(reinterpret_cast<HWND>(0x1000));
  return window.Handle();
}

// ---- joysticks through SDL's virtual joystick driver -----------------------------------

struct VirtualPad {
  int deviceIndex = -1;
  SDL_Joystick* handle = nullptr;  // the test's own handle, to move the sticks
  ~VirtualPad() {
    if (handle) SDL_JoystickClose(handle);
    if (deviceIndex >= 0) SDL_JoystickDetachVirtual(deviceIndex);
  }
};

int NoRumble(void*, Uint16, Uint16) { return 0; }

std::unique_ptr<VirtualPad> AttachPad(const char* name, int axes, int buttons, int hats, bool rumble) {
  SDL_VirtualJoystickDesc desc{};
  desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
  desc.type = SDL_JOYSTICK_TYPE_FLIGHT_STICK;
  desc.naxes = static_cast<Uint16>(axes);
  desc.nbuttons = static_cast<Uint16>(buttons);
  desc.nhats = static_cast<Uint16>(hats);
  desc.name = name;
  if (rumble) desc.Rumble = &NoRumble;
  auto pad = std::make_unique<VirtualPad>();
  pad->deviceIndex = SDL_JoystickAttachVirtualEx(&desc);
  if (pad->deviceIndex >= 0) pad->handle = SDL_JoystickOpen(pad->deviceIndex);
  return pad;
}

class SdlJoystick : public ::testing::Test {
 protected:
  testsupport::TempDir dir;
  testsupport::ScopedModuleDir module{dir.Path().string()};
  FakeInputHost machine;
  ScopedHost scoped{&machine};

  void SetUp() override {
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_JOYSTICK), 0) << SDL_GetError();
  }
  void TearDown() override { SDL_QuitSubSystem(SDL_INIT_JOYSTICK); }
};

TEST_F(SdlJoystick, PadPluggedInBeforeStartIsNamedAndDrivesTheState) {
  auto plain = AttachPad("Tavvy Flight Stick", 6, 12, 1, false);
  auto rumble = AttachPad("Tavvy Rumble Pad", 2, 4, 0, true);
  ASSERT_NE(plain->handle, nullptr) << SDL_GetError();
  ASSERT_NE(rumble->handle, nullptr) << SDL_GetError();

  auto sticks = host::CreateSdlJoysticks();
  machine.sticks = sticks.get();
  TDDIDEX joy(FakeWindow());
  joy.Loaded();
  // The force-feedback pad takes the first slot.
  ASSERT_EQ(joy.JoystickNames(), (std::vector<std::string>{"Tavvy Rumble Pad", "Tavvy Flight Stick"}));
  EXPECT_TRUE(joy.ForceFeedback(0));
  EXPECT_FALSE(joy.ForceFeedback(1));

  SDL_JoystickSetVirtualAxis(plain->handle, 0, -32768);
  SDL_JoystickSetVirtualAxis(plain->handle, 1, 16384);
  SDL_JoystickSetVirtualAxis(plain->handle, 2, 1000);  // inside the dead zone
  SDL_JoystickSetVirtualAxis(plain->handle, 5, 32767);
  SDL_JoystickSetVirtualHat(plain->handle, 0, SDL_HAT_RIGHTDOWN);
  SDL_JoystickSetVirtualButton(plain->handle, 11, SDL_PRESSED);
  ASSERT_TRUE(joy.Poll(3, false));
  const DIJOYSTATE& s = joy.State();
  EXPECT_EQ(s.lX, -32768);
  EXPECT_EQ(s.lY, 15522);  // (16384 - 1638) * 100 / 95
  EXPECT_EQ(s.lZ, 0);
  EXPECT_EQ(s.lRz, 32767);
  EXPECT_EQ(s.rglSlider[0], 0);  // the stick has no slider
  EXPECT_EQ(s.rgdwPOV[0], 13500u);
  EXPECT_EQ(s.rgdwPOV[1], 0xFFFFFFFFu);
  EXPECT_TRUE(joy.Button(11));
  EXPECT_FALSE(joy.Button(10));

  SDL_JoystickSetVirtualHat(plain->handle, 0, SDL_HAT_CENTERED);
  SDL_JoystickSetVirtualAxis(rumble->handle, 1, -20000);
  ASSERT_TRUE(joy.PollDevices({0, 2, 3}));
  EXPECT_EQ(joy.GetDirections().lY, -1);
  EXPECT_EQ(joy.GetDirections().rgdwPOV[0], 0xFFFFFFFFu);

  // Unplugged: the slot stops delivering.
  SDL_JoystickClose(plain->handle);
  plain->handle = nullptr;
  ASSERT_EQ(SDL_JoystickDetachVirtual(plain->deviceIndex), 0);
  plain->deviceIndex = -1;
  EXPECT_FALSE(joy.Poll(3, false));
  EXPECT_TRUE(joy.Poll(2, false));
}

// ---- the real keyboard of an X server --------------------------------------------------

// An X server of our own when the environment has none.
class XServer {
 public:
  XServer() {
    if (const char* d = std::getenv("DISPLAY"); d && *d) {
      display_ = d;
      return;
    }
    int fds[2];
    if (pipe(fds) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      close(fds[0]);
      const std::string fd = std::to_string(fds[1]);
      int devnull = open("/dev/null", O_WRONLY);
      if (devnull >= 0) dup2(devnull, 2);
      execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1024x768x24", "-nolisten", "tcp",
             static_cast<char*>(nullptr));
      _exit(127);
    }
    close(fds[1]);
    std::string number;
    pollfd p{fds[0], POLLIN, 0};
    char c;
    while (pid_ > 0 && poll(&p, 1, 10000) > 0 && read(fds[0], &c, 1) == 1 && c != '\n') number += c;
    close(fds[0]);
    if (!number.empty()) display_ = ":" + number;
  }
  ~XServer() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
  }
  XServer(const XServer&) = delete;
  XServer& operator=(const XServer&) = delete;
  const std::string& Display() const { return display_; }

 private:
  pid_t pid_ = -1;
  std::string display_;
};

bool HaveXdotool() { return std::system("command -v xdotool >/dev/null 2>&1") == 0; }

TEST(SdlKeyboard, RealKeysOfTheWindowReachTheComponent) {
  if (!HaveXdotool()) GTEST_SKIP() << "xdotool is not installed";
  XServer server;
  if (server.Display().empty()) GTEST_SKIP() << "no DISPLAY and no Xvfb";
  setenv("DISPLAY", server.Display().c_str(), 1);
  setenv("SDL_VIDEODRIVER", "x11", 1);
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  testsupport::TempDir dir;
  testsupport::ScopedModuleDir module{dir.Path().string()};

  std::unique_ptr<host::IHost> machine = host::CreateSdlHost();
  ScopedHost scoped(machine.get());
  host::WindowDesc desc;
  desc.caption = "Tavvyhop input test";
  auto window = machine->CreateWindow(desc);

  auto pump = [&](auto until) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    host::Event e;
    while (std::chrono::steady_clock::now() < end) {
      while (machine->PollEvent(e)) {
      }
      if (until()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  };
  ASSERT_EQ(std::system("xdotool search --sync --name '^Tavvyhop input test$' windowfocus --sync >/dev/null 2>&1"), 0);
  ASSERT_TRUE(pump([&] { return machine->HasFocus(); })) << "the window never got the focus";

  TDDIDEX joy(FakeWindow());
  joy.SetKeyMap(0, 5, DIK_Q);
  joy.Loaded();
  ASSERT_EQ(joy.JoystickCount(), 0);

  ASSERT_EQ(std::system("xdotool keydown Up keydown q"), 0);
  ASSERT_TRUE(pump([&] { return machine->KeyboardState()[DIK_UP] != 0; }));
  ASSERT_TRUE(joy.PollDevices({0, 2}));
  EXPECT_EQ(joy.State().lY, -32767);
  EXPECT_EQ(joy.GetDirections().lY, -1);
  EXPECT_FALSE(joy.Button(5));  // Initialize put back the default key map: D, not Q

  ASSERT_EQ(std::system("xdotool keyup Up keyup q keydown KP_Home keydown z"), 0);
  ASSERT_TRUE(pump([&] { return machine->KeyboardState()[DIK_UP] == 0 && machine->KeyboardState()[DIK_Z] != 0; }));
  ASSERT_TRUE(joy.PollDevices({0, 2}));
  EXPECT_EQ(joy.State().lX, -32767);  // numeric pad 7: up-left
  EXPECT_EQ(joy.State().lY, -32767);
  EXPECT_TRUE(joy.Button(0));

  ASSERT_EQ(std::system("xdotool keyup KP_Home keyup z"), 0);
  ASSERT_TRUE(pump([&] { return machine->KeyboardState()[DIK_Z] == 0; }));
  ASSERT_TRUE(joy.Poll(0, false));
  EXPECT_EQ(joy.State().lX, 0);
  EXPECT_FALSE(joy.Button(0));
}

}  // namespace
