// The component on a real form of the headless host: the start-up runs in the form's
// creation, frames reach the host window in a window and in full screen, and host
// window events arrive as the messages they stand for.
#include <gtest/gtest.h>

#include <cstdlib>

#include "kiln/GameKilnSetup.h"
#include "kiln/KilnLog.h"
#include "kiln/TKilnFormOwner.h"
#include "platform/host/Hosts.h"
#include "support/TestSupport.h"

namespace {

// Runs on the headless host and on the SDL one (its dummy video driver when there is no
// display; skipped where SDL cannot start at all).
class KilnOnAForm : public ::testing::TestWithParam<std::string> {
 protected:
  static std::unique_ptr<host::IHost> MakeHost(const std::string& kind) {
    if (kind == "headless") return host::CreateHeadlessHost({});
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY")) setenv("SDL_VIDEODRIVER", "dummy", 0);
    try {
      return host::CreateSdlHost();
    } catch (const host::HostStartError&) {
      return nullptr;
    }
  }
  void SetUp() override {
    if (!host) GTEST_SKIP() << "SDL cannot start here";
    previous_ = host::HasCurrent() ? &host::Current() : nullptr;
    host::SetCurrent(host.get());
    ddraw::ResetMachine();  // the host's own desktop
    KilnDebugUnit().ResetForTest(0);
  }
  void TearDown() override {
    if (!host) return;
    ddraw::ResetMachine();
    KilnDebugUnit().ResetForTest(ddoHaltOnError | ddoDebugMessage);
    host::SetCurrent(previous_);
  }
  uint32_t Presented(int x, int y, int& w, int& h) {
    const auto& pixels = form->Window().LastPresented(w, h);
    return pixels.empty() ? 0xDEADBEEF : pixels[static_cast<size_t>(y) * static_cast<size_t>(w) + x];
  }

  testsupport::TempDir dir;
  testsupport::ScopedModuleDir module{dir.Path().string()};
  std::unique_ptr<host::IHost> host = MakeHost(GetParam());
  host::IHost* previous_ = nullptr;
  std::unique_ptr<forms::TApplication> app = host ? std::make_unique<forms::TApplication>(*host) : nullptr;
  std::unique_ptr<forms::TForm> form = app ? std::make_unique<forms::TForm>(*app) : nullptr;
};

TEST_P(KilnOnAForm, StartsInTheFormsCreationAndPresentsInBothModes) {
  form->SetClientSize(640, 480);
  int formCreates = 0;
  form->OnCreate = [&](forms::TObject* sender) {
    EXPECT_EQ(sender, form.get());
    ++formCreates;
  };
  TKilnFormOwner owner(*form);
  const bool saverAtStart = host->ScreenSaverEnabled();  // SDL switches it off by itself
  {
    TKiln KN(owner);
    ConfigureGameKiln(KN);
    bool initialised = false;
    KN.OnInit = [&](forms::TObject*, bool) { initialised = true; };
    form->Show();
    form->DoCreate();
    EXPECT_EQ(formCreates, 1);
    EXPECT_TRUE(initialised);
    ASSERT_NE(KN.D3DDevice, nullptr);
    EXPECT_EQ(KN.DeviceKind, TKilnDeviceKind::dkMMX);
    EXPECT_FALSE(host->ScreenSaverEnabled());

    int w = 0, h = 0;
    ASSERT_EQ(KN.D3DDevice->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0x0000FF00, 1.0f, 0), D3D_OK);
    KN.Flip();
    EXPECT_EQ(Presented(320, 240, w, h), 0x00FF00u);
    EXPECT_EQ(w, 640);
    EXPECT_EQ(h, 480);

    KN.SetFullScreenMode(640, 480, 16, 0, "");
    EXPECT_TRUE(form->Window().Fullscreen());
    ASSERT_NE(KN.D3DDevice, nullptr);
    ASSERT_EQ(KN.D3DDevice->Clear(0, nullptr, D3DCLEAR_TARGET, 0x000000FF, 1.0f, 0), D3D_OK);
    KN.Flip();
    EXPECT_EQ(Presented(639, 479, w, h), 0x0000FFu);
    EXPECT_EQ(w, 640);

    // A lost screen comes back when the form paints, if the window is the active one.
    int restores = 0;
    KN.OnRestore = [&](forms::TObject*) { ++restores; };
    ddraw::LoseSurfaces();
    form->PaintNow();
    const bool active = form->Window().Active();
    EXPECT_EQ(restores, active ? 1 : 0);
    EXPECT_EQ(KN.PrimarySurface->IsLost(), !active);
    KN.OnRestore = nullptr;
  }
  EXPECT_FALSE(form->Window().Fullscreen());
  EXPECT_EQ(host->ScreenSaverEnabled(), saverAtStart);
  // The form's handlers are its own again.
  form->PaintNow();
}

INSTANTIATE_TEST_SUITE_P(Hosts, KilnOnAForm, ::testing::Values("headless", "sdl"));

TEST_P(KilnOnAForm, TheWindowsMessagesReachTheComponentsProcedureAndTheFormStillHandlesTheEvent) {
  TKilnFormOwner owner(*form);
  std::vector<std::string> got;
  const HWND window = reinterpret_cast<HWND>(std::uintptr_t{0x77});
  TKilnWndProc record = [&](HWND w, UINT m, WPARAM wp, LPARAM lp) -> LRESULT {
    EXPECT_EQ(w, window);
    got.push_back(std::to_string(m) + " " + std::to_string(wp) + " " + std::to_string(GET_X_LPARAM(lp)) + " " +
                  std::to_string(GET_Y_LPARAM(lp)));
    return 0;
  };
  EXPECT_FALSE(owner.SetWindowProc(window, record));  // nothing was in front of the window before
  int keyDowns = 0;
  form->OnKeyDown = [&](forms::TObject*, WORD&, forms::TShiftState) { ++keyDowns; };
  host::Event e;
  e.type = host::EventType::KeyDown;
  e.vk = 'Z';
  form->HandleEvent(e);
  EXPECT_EQ(keyDowns, 1);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].substr(0, 4), "256 ");  // WM_KEYDOWN
  // A second procedure takes the first one's place; the hook is not added twice.
  std::vector<UINT> second;
  EXPECT_TRUE(owner.SetWindowProc(window, [&](HWND, UINT m, WPARAM, LPARAM) -> LRESULT {
    second.push_back(m);
    return 0;
  }));
  e.type = host::EventType::Move;
  form->HandleEvent(e);
  EXPECT_EQ(got.size(), 1u);
  EXPECT_EQ(second, (std::vector<UINT>{WM_MOVE}));
}

TEST_P(KilnOnAForm, MovesSizesAndActivationReachTheProcedureAsTheirMessages) {
  TKilnFormOwner owner(*form);
  std::vector<std::string> got;
  owner.SetWindowProc(nullptr, [&](HWND, UINT m, WPARAM wp, LPARAM lp) -> LRESULT {
    if (m == WM_MOVE || m == WM_SIZE || m == WM_QUERYNEWPALETTE)
      got.push_back(std::to_string(m) + " " + std::to_string(wp) + " " + std::to_string(GET_X_LPARAM(lp)) + " " +
                    std::to_string(GET_Y_LPARAM(lp)));
    return 0;
  });
  host::Event e;
  e.type = host::EventType::Move;
  e.x = -5;
  e.y = 300;
  form->HandleEvent(e);
  e.type = host::EventType::Size;
  e.x = 640;
  e.y = 480;
  form->HandleEvent(e);
  e.type = host::EventType::Activate;
  form->HandleEvent(e);
  EXPECT_EQ(got, (std::vector<std::string>{"3 0 -5 300", "5 0 640 480", "783 0 0 0"}));
}

}  // namespace
