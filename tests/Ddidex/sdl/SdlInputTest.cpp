// The input component on the real SDL backend.
#include <SDL.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#define TAVVY_LSAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#include <sanitizer/lsan_interface.h>
#define TAVVY_LSAN 1
#endif
#endif

#include "Ddidex/TDDIDEX.h"
#include "platform/dinput/FakeInputHost.h"
#include "platform/host/Backends.h"
#include "platform/host/Hosts.h"
#include "platform/win/WinWindows.h"
#include "support/TestSupport.h"

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

// A game pad that SDL's game-controller layer knows (virtual: its mapping follows the masks).
std::unique_ptr<VirtualPad> AttachGamePad(const char* name) {
  SDL_VirtualJoystickDesc desc{};
  desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
  desc.type = SDL_JOYSTICK_TYPE_GAMECONTROLLER;
  desc.naxes = SDL_CONTROLLER_AXIS_MAX;
  desc.nbuttons = SDL_CONTROLLER_BUTTON_MAX;
  desc.axis_mask = (1u << SDL_CONTROLLER_AXIS_MAX) - 1;
  desc.button_mask = (1u << SDL_CONTROLLER_BUTTON_MAX) - 1;
  desc.name = name;
  auto pad = std::make_unique<VirtualPad>();
  pad->deviceIndex = SDL_JoystickAttachVirtualEx(&desc);
  if (pad->deviceIndex >= 0) pad->handle = SDL_JoystickOpen(pad->deviceIndex);
  return pad;
}

TEST_F(SdlJoystick, KnownPadsUseTheFixedLayoutAndComeAndGoWithoutACrash) {
  ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER), 0) << SDL_GetError();
  auto pad = AttachGamePad("Tavvy Game Pad");
  ASSERT_NE(pad->handle, nullptr) << SDL_GetError();
  ASSERT_TRUE(SDL_IsGameController(pad->deviceIndex));
  // Fire on B instead of A, as the settings file may say.
  auto sticks = host::CreateSdlJoysticks({"b", "a", "x", "y", "rightshoulder", "leftshoulder"});
  machine.sticks = sticks.get();
  TDDIDEX joy(FakeWindow());
  joy.Loaded();
  ASSERT_EQ(joy.JoystickNames(), (std::vector<std::string>{"Tavvy Game Pad"}));

  SDL_JoystickSetVirtualButton(pad->handle, SDL_CONTROLLER_BUTTON_B, SDL_PRESSED);
  SDL_JoystickSetVirtualButton(pad->handle, SDL_CONTROLLER_BUTTON_LEFTSHOULDER, SDL_PRESSED);
  SDL_JoystickSetVirtualButton(pad->handle, SDL_CONTROLLER_BUTTON_DPAD_LEFT, SDL_PRESSED);
  SDL_JoystickSetVirtualAxis(pad->handle, SDL_CONTROLLER_AXIS_LEFTY, 30000);
  ASSERT_TRUE(joy.Poll(2, false));
  EXPECT_TRUE(joy.Button(0));             // fire: B
  EXPECT_FALSE(joy.Button(1));            // afterburner: A, not held
  EXPECT_TRUE(joy.Button(5));             // view: left shoulder
  EXPECT_EQ(joy.GetDirections().lX, -1);  // the d-pad steers
  EXPECT_EQ(joy.GetDirections().lY, 1);   // and so does the stick
  EXPECT_EQ(joy.GetDirections().rgdwPOV[0], 27000u);
  SDL_JoystickSetVirtualButton(pad->handle, SDL_CONTROLLER_BUTTON_DPAD_LEFT, SDL_RELEASED);
  SDL_JoystickSetVirtualAxis(pad->handle, SDL_CONTROLLER_AXIS_LEFTX, 32767);
  ASSERT_TRUE(joy.Poll(2, false));
  EXPECT_EQ(joy.GetDirections().lX, 1);

  // A second pad plugged in mid-game: the game's enumeration still sees what it saw at start.
  auto second = AttachGamePad("Tavvy Second Pad");
  ASSERT_NE(second->handle, nullptr);
  EXPECT_TRUE(joy.Poll(2, false));
  EXPECT_EQ(joy.JoystickNames(), (std::vector<std::string>{"Tavvy Game Pad"}));
  // The first pulled out: its slot stops delivering, nothing breaks.
  SDL_JoystickClose(pad->handle);
  pad->handle = nullptr;
  ASSERT_EQ(SDL_JoystickDetachVirtual(pad->deviceIndex), 0);
  pad->deviceIndex = -1;
  EXPECT_FALSE(joy.Poll(2, false));
  EXPECT_FALSE(joy.Poll(3, false));
  ASSERT_TRUE(joy.PollDevices({0, 2}));  // the keyboard still answers
  sticks.reset();
  SDL_QuitSubSystem(SDL_INIT_GAMECONTROLLER);
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
      // Room for a game window at render scale 2 (1280 x 960).
      const std::string screen = "1600x1200x24";
      int devnull = open("/dev/null", O_WRONLY);
      if (devnull >= 0) dup2(devnull, 2);
      execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen.c_str(), "-nolisten", "tcp",
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

// The real SDL host on an X server of its own, driven by xdotool.
class SdlInX : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!HaveXdotool()) GTEST_SKIP() << "xdotool is not installed";
    if (const char* d = std::getenv("DISPLAY")) display_ = d;
    server_ = std::make_unique<XServer>();
    if (server_->Display().empty()) GTEST_SKIP() << "no DISPLAY and no Xvfb";
    setenv("DISPLAY", server_->Display().c_str(), 1);
    setenv("SDL_VIDEODRIVER", "x11", 1);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
#ifdef TAVVY_LSAN
    // The X libraries that SDL loads and unloads keep memory the leak checker then cannot
    // name (nor suppress by library); what the host and the component allocate is checked
    // by the tests without a window.
    __lsan_disable();
    lsanDisabled_ = true;
#endif
    module_.emplace(dir_.Path().string());
    machine = host::CreateSdlHost({}, comforts);
    scoped_.emplace(machine.get());
  }
  void TearDown() override {
    scoped_.reset();
    machine.reset();
    server_.reset();
    // The next test starts a server of its own where this one did.
    if (display_)
      setenv("DISPLAY", display_->c_str(), 1);
    else
      unsetenv("DISPLAY");
#ifdef TAVVY_LSAN
    if (lsanDisabled_) __lsan_enable();
#endif
  }
  std::unique_ptr<host::IHost> machine;
  host::ComfortSettings comforts;  // set before SetUp: the host is made with these

 private:
  std::optional<std::string> display_;
  bool lsanDisabled_ = false;
  std::unique_ptr<XServer> server_;
  testsupport::TempDir dir_;
  std::optional<testsupport::ScopedModuleDir> module_;
  std::optional<ScopedHost> scoped_;
};

TEST_F(SdlInX, RealKeysOfTheWindowReachTheComponent) {
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

// The pointer over the game's window: hidden once it has been still for two seconds, shown
// again as soon as it moves; over a dialog it always shows.
TEST_F(SdlInX, PointerHidesOverTheGameAfterTwoStillSecondsShowsWhenMovedAndOverADialog) {
  auto game = machine->CreateWindow({.caption = "Tavvyhop pointer game"});
  using Clock = std::chrono::steady_clock;
  auto shown = [] { return SDL_ShowCursor(SDL_QUERY) == SDL_ENABLE; };
  // Pumps the host's events until `until` holds; how long that took, or nothing after 10 s.
  auto pump = [&](auto until) -> std::optional<Clock::duration> {
    const auto start = Clock::now();
    host::Event e;
    while (Clock::now() - start < std::chrono::seconds(10)) {
      while (machine->PollEvent(e)) {
      }
      if (until()) return Clock::now() - start;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return std::nullopt;
  };
  ASSERT_EQ(std::system("xdotool search --sync --name '^Tavvyhop pointer game$' windowfocus --sync "
                        "mousemove --window %1 100 100 >/dev/null 2>&1"),
            0);
  ASSERT_TRUE(pump([] { return SDL_GetMouseFocus() != nullptr; })) << "the pointer never came over the window";
  EXPECT_TRUE(shown());
  const auto hidden = pump([&] { return !shown(); });
  ASSERT_TRUE(hidden) << "the pointer stayed over the still game";
  EXPECT_GE(*hidden, std::chrono::milliseconds(1500));  // not at once (it moved just before)

  ASSERT_EQ(std::system("xdotool mousemove_relative 5 5"), 0);
  ASSERT_TRUE(pump(shown)) << "a moved pointer stayed hidden";

  // A dialog over the game: the pointer over it shows, and stays.
  auto dialog = machine->CreateWindow(
      {.caption = "Tavvyhop pointer dialog", .clientWidth = 300, .clientHeight = 150, .border = true});
  ASSERT_EQ(std::system("xdotool search --sync --name '^Tavvyhop pointer dialog$' windowfocus --sync "
                        "mousemove --window %1 50 50 >/dev/null 2>&1"),
            0);
  uint32_t dialogId = 0;
  for (uint32_t id = 1; id < 100 && !dialogId; ++id) {
    SDL_Window* w = SDL_GetWindowFromID(id);
    if (w && std::string(SDL_GetWindowTitle(w)) == "Tavvyhop pointer dialog") dialogId = id;
  }
  ASSERT_NE(dialogId, 0u);
  ASSERT_TRUE(pump([&] { return SDL_GetMouseFocus() && SDL_GetWindowID(SDL_GetMouseFocus()) == dialogId; }))
      << "the pointer never came over the dialog";
  // Still for longer than the game's two seconds.
  const auto start = Clock::now();
  bool hid = false;
  host::Event e;
  while (!hid && Clock::now() - start < std::chrono::milliseconds(2600)) {
    while (machine->PollEvent(e)) {
    }
    hid = !shown();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_FALSE(hid) << "the pointer hid over the dialog";
}

// The game window at render scale 2: 1280 x 960 on the desktop, 640 x 480 to the game.
class SdlInXScaled : public SdlInX {
 protected:
  SdlInXScaled() { comforts.renderScale = 2; }
};

TEST_F(SdlInXScaled, ClicksLandInGameCoordinatesAndDialogsCentreOnTheWholeWindow) {
  host::WindowDesc desc;
  desc.caption = "Tavvyhop scaled game";
  auto game = machine->CreateWindow(desc);
  ASSERT_EQ(game->PixelScale(), 2);
  ASSERT_EQ(game->ClientWidth(), 640);
  std::vector<host::Event> got;
  auto pump = [&](auto until) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    host::Event e;
    while (std::chrono::steady_clock::now() < end) {
      while (machine->PollEvent(e)) got.push_back(e);
      if (until()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  };
  auto clicked = [&] {
    for (const auto& e : got)
      if (e.type == host::EventType::MouseDown) return true;
    return false;
  };
  // The game has shown a picture (as it does before any click can come): 1280 x 960.
  std::vector<uint32_t> picture(1280 * 960, 0x203040);
  game->Present(picture.data(), 1280, 960, 1280);
  // A click on the desktop pixel (301, 201) of the window is the game's pixel (150, 100).
  ASSERT_EQ(std::system("xdotool search --sync --name '^Tavvyhop scaled game$' windowfocus --sync "
                        "mousemove --window %1 301 201 >/dev/null 2>&1"),
            0);
  // SDL drops a click it reads together with the focus that came just before it (a click
  // that only focused the window), so the focus is read first, as a running game does.
  ASSERT_TRUE(pump([&] {
    return std::any_of(got.begin(), got.end(),
                       [](const host::Event& e) { return e.type == host::EventType::Activate; });
  }));
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  ASSERT_EQ(std::system("xdotool click 1"), 0);
  ASSERT_TRUE(pump(clicked)) << "no click reached the host (" << got.size() << " events: " << [&] {
    std::string t;
    for (const auto& e : got)
      t += std::to_string(int(e.type)) + "@" + std::to_string(e.x) + "," + std::to_string(e.y) + " ";
    return t;
  }() << ")";
  for (const auto& e : got) {
    if (e.type != host::EventType::MouseDown) continue;
    EXPECT_EQ(e.button, host::mbLeft);
    EXPECT_EQ(e.x, 150);
    EXPECT_EQ(e.y, 100);
  }

  // A dialog over the game sits over the middle of the 1280 x 960 window, not of 640 x 480.
  int gx = 0, gy = 0;
  game->ClientOrigin(gx, gy);
  auto dialog = machine->CreateWindow({.caption = "Tavvyhop scaled dialog",
                                       .clientWidth = 300,
                                       .clientHeight = 150,
                                       .border = true,
                                       .centreOn = game.get()});
  EXPECT_EQ(dialog->PixelScale(), 1);
  int dx = 0, dy = 0;
  dialog->ClientOrigin(dx, dy);
  EXPECT_NEAR(dx + 150, gx + 640, 2);
  EXPECT_NEAR(dy + 75, gy + 480, 2);
}

}  // namespace
