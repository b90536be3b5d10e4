// The display component's start-up on described machines: the provisional and the
// automatic set-ups, the form's own creation handler, OnInit, drivers and modes.
#include <gtest/gtest.h>

#include <algorithm>

#include "kiln/KilnMachine.h"
#include "platform/rtl/SysUtils.h"

using namespace kilntest;

namespace {

struct InitCall {
  bool fNeedChange;
  int backWidth;
  bool fullScreen;
};

class StartupTest : public KilnMachineTest {
 protected:
  // Makes the component on a form whose own creation handler records the order of
  // things, and watches OnInit.
  TKiln& MakeWatched() {
    owner.onCreate = [this](forms::TObject* sender) {
      EXPECT_EQ(sender, &owner.form);
      order.push_back("FormCreate " + std::to_string(kiln->BackBuffer ? kiln->BackBuffer->Width : -1));
      EXPECT_FALSE(kiln->Started());
    };
    TKiln& k = Make();
    k.OnInit = [this](forms::TObject* sender, bool fNeedChange) {
      EXPECT_EQ(sender, &owner.form);
      EXPECT_TRUE(kiln->Started());
      init.push_back({fNeedChange, kiln->BackBuffer ? kiln->BackBuffer->Width : -1, kiln->FullScreen});
      order.push_back(owner.Called("SetWindowProc") ? "OnInit after subclassing" : "OnInit");
    };
    return k;
  }
  std::vector<std::string> order;
  std::vector<InitCall> init;
};

TEST_F(StartupTest, DefaultsOnA16BitDesktopMakeTwoWindowedSetUpsBeforeOnInit) {
  auto m = ddtest::TestMachine(16);
  Machine(m);
  TKiln& k = MakeWatched();
  EXPECT_EQ(k.InitialScreenWidth, 640);
  EXPECT_EQ(k.D3DOptions, static_cast<TD3DOptions>(MakeZBuffer));
  EXPECT_TRUE(k.AutoDisplayModeInitialize);
  owner.Create();

  EXPECT_TRUE(Logged("スクリーンモード128 x 128 x 16 として初期化を開始します"));
  EXPECT_TRUE(Logged("スクリーンモード640 x 480 x 0 として初期化を開始します"));
  EXPECT_EQ(CountLogged("ウィンドウモードで初期化を開始します"), 2);
  EXPECT_EQ(CountLogged("フルスクリーン"), 0);
  EXPECT_EQ(order, (std::vector<std::string>{"FormCreate 640", "OnInit"}));
  ASSERT_EQ(init.size(), 1u);
  EXPECT_FALSE(init[0].fNeedChange);
  EXPECT_EQ(init[0].backWidth, 640);
  EXPECT_EQ(k.ScreenWidth, 640);
  EXPECT_EQ(k.ScreenHeight, 480);
  EXPECT_EQ(k.BitDepth, 16);
  EXPECT_FALSE(k.FullScreen);
  EXPECT_EQ(k.WindowHandle, owner.handle);
  // The window procedure goes in last, after OnInit.
  EXPECT_EQ(owner.calls.back(), "SetWindowProc");
  EXPECT_FALSE(k.Busy());
  // Without Use3D there is no device; the primary shows the desktop in its mode.
  EXPECT_EQ(k.D3DDevice, nullptr);
  EXPECT_EQ(k.PrimarySurface->Desc.ddpfPixelFormat.dwRGBBitCount, 16u);
}

TEST_F(StartupTest, WithoutTheAutomaticModeOnlyTheProvisionalSetUpIsMade) {
  TKiln& k = MakeWatched();
  k.AutoDisplayModeInitialize = false;
  owner.Create();
  EXPECT_EQ(CountLogged("スクリーンモード"), 1);
  ASSERT_EQ(init.size(), 1u);
  EXPECT_TRUE(init[0].fNeedChange);
  EXPECT_EQ(init[0].backWidth, 128);
  EXPECT_EQ(k.ScreenWidth, 128);
}

TEST_F(StartupTest, AFullScreenModeThatIsNotOfferedKeepsTheProvisionalWindow) {
  auto m = ddtest::TestMachine(32);
  m.modes = {{800, 600, 16, 0}, {640, 480, 32, 0}};
  Machine(m);
  TKiln& k = MakeWatched();
  k.InitializeFullScreen = true;
  k.InitialBitDepth = 16;
  owner.Create();
  ASSERT_EQ(init.size(), 1u);
  EXPECT_TRUE(init[0].fNeedChange);
  EXPECT_EQ(init[0].backWidth, 128);
  EXPECT_FALSE(owner.Called("Show"));
  EXPECT_EQ(CountLogged("フルスクリーンで初期化を開始します"), 0);
  EXPECT_EQ(ddraw::CurrentDisplayMode().bitsPerPixel, 32u);  // no mode change happened
  EXPECT_FALSE(window.fullscreen);
}

TEST_F(StartupTest, AnOfferedFullScreenModeIsSwitchedToBeforeTheFormsOwnHandler) {
  TKiln& k = MakeWatched();
  k.InitializeFullScreen = true;
  k.InitialBitDepth = 16;
  owner.Create();
  ASSERT_EQ(init.size(), 1u);
  EXPECT_FALSE(init[0].fNeedChange);
  EXPECT_TRUE(init[0].fullScreen);
  EXPECT_EQ(order.front(), "FormCreate 640");
  EXPECT_TRUE(owner.Called("Show"));
  EXPECT_TRUE(owner.Called("SetBounds 0 0 640 480"));
  EXPECT_TRUE(owner.Called("BringWindowToTop"));
  EXPECT_EQ(ddraw::CurrentDisplayMode().bitsPerPixel, 16u);
  EXPECT_EQ(k.BitDepth, 16);
  EXPECT_TRUE(window.fullscreen);
  DDSCAPS2 caps{};
  ASSERT_EQ(k.BackBuffer->Surface->GetCaps(&caps), DD_OK);
  EXPECT_TRUE(caps.dwCaps & DDSCAPS_BACKBUFFER);
  // Destruction gives the desktop its mode and the window back.
  kiln.reset();
  EXPECT_EQ(ddraw::CurrentDisplayMode().bitsPerPixel, 32u);
  EXPECT_FALSE(window.fullscreen);
}

TEST_F(StartupTest, AColourDepthOtherThanTheWantedOneEndsTheProgramAfterTheWarning) {
  TKiln& k = MakeWatched();
  k.InitialBitDepth = 16;  // on a 32-bit desktop, windowed
  owner.Create();
  ASSERT_EQ(host.messageBoxes.size(), 1u);
  EXPECT_EQ(host.messageBoxes[0], "画面モードが不適切です。色数を 16 ビットに設定して、起動しなおしてください。");
  EXPECT_TRUE(owner.terminated);
  EXPECT_EQ(k.DirectDraw, nullptr);
  EXPECT_TRUE(order.empty());
  EXPECT_EQ(CountLogged("スクリーンモード"), 0);  // no set-up was begun
}

TEST_F(StartupTest, FindDisplayModeTreatsZeroAsAnyAndReadsAtMost256Modes) {
  auto m = ddtest::TestMachine(32);
  m.modes.clear();
  for (DWORD i = 0; i < 300; ++i) m.modes.push_back({320 + i, 240, 16, 60});
  Machine(m);
  TKiln& k = Make();
  owner.Create();
  EXPECT_TRUE(k.FindDisplayMode(0, 0, 0, 0));
  EXPECT_TRUE(k.FindDisplayMode(320 + 255, 240, 16, 60));
  EXPECT_FALSE(k.FindDisplayMode(320 + 256, 240, 16, 0));  // beyond the table
  EXPECT_FALSE(k.FindDisplayMode(320, 240, 16, 75));
  EXPECT_FALSE(k.FindDisplayMode(320, 240, 32, 0));

  m.modes.clear();
  Machine(m);
  EXPECT_FALSE(k.FindDisplayMode(0, 0, 0, 0));
}

TEST_F(StartupTest, DriversAreListedAndLookedUpByTheirListedText) {
  auto m = ddtest::TestMachine(32);
  const GUID second = {0x1234, 1, 2, {3, 4, 5, 6, 7, 8, 9, 10}};
  const GUID broken = {0x4321, 1, 2, {3, 4, 5, 6, 7, 8, 9, 10}};
  ddraw::DriverConfig dead = Driver3D(broken, "Dead Board", "dead");
  dead.creatable = false;
  m.drivers.push_back(dead);
  m.drivers.push_back(Driver3D(second, "Voodoo Board", "voodoo"));
  Machine(m);
  TKiln& k = Make();
  ASSERT_EQ(k.DriverList->Count(), 3);
  EXPECT_EQ(k.DriverList->Strings(0), "Primary Display Driver (display)");
  EXPECT_EQ(k.DriverList->Strings(2), "Voodoo Board (voodoo)");
  EXPECT_TRUE(Logged("Enumerated DDraw Driver ... Voodoo Board (voodoo)"));
  owner.Create();

  k.SetFullScreenMode(640, 480, 16, 0, "Voodoo Board (voodoo)");
  DDCAPS caps{};
  caps.dwSize = sizeof caps;
  ASSERT_EQ(k.DirectDraw->GetCaps(&caps, nullptr), DD_OK);
  EXPECT_TRUE(caps.dwCaps & DDCAPS_3D);
  EXPECT_TRUE(Logged("指定されたドライバ Voodoo Board (voodoo) を使用します"));
  EXPECT_EQ(CountLogged("Created DDraw Driver ... Voodoo Board (voodoo) "), 1);

  // A driver whose object cannot be made, and a name nobody has, fall back to the default.
  k.SetFullScreenMode(640, 480, 16, 0, "Dead Board (dead)");
  EXPECT_EQ(CountLogged("指定されたドライバが見つからなかったので、デフォルトのドライバを使用します"), 1);
  k.SetFullScreenMode(640, 480, 16, 0, "voodoo board (voodoo)");  // the comparison is exact
  EXPECT_EQ(CountLogged("指定されたドライバが見つからなかったので、デフォルトのドライバを使用します"), 2);
  ASSERT_EQ(k.DirectDraw->GetCaps(&caps, nullptr), DD_OK);
  EXPECT_FALSE(caps.dwCaps & DDCAPS_3D);
}

TEST_F(StartupTest, ASecondaryDriverWith3DIsAdoptedInFullScreen) {
  auto m = ddtest::TestMachine(32);
  const GUID plain = {0x1111, 1, 2, {3, 4, 5, 6, 7, 8, 9, 10}};
  const GUID board = {0x2222, 1, 2, {3, 4, 5, 6, 7, 8, 9, 10}};
  ddraw::DriverConfig noTexture = Driver3D(plain, "Flat Board", "flat");
  noTexture.surfaceCaps &= ~DDSCAPS_TEXTURE;
  m.drivers.push_back(noTexture);
  m.drivers.push_back(Driver3D(board, "Voodoo Board", "voodoo"));
  Machine(m);
  TKiln& k = Make();
  k.Use3D = true;
  k.D3DOptions = MakeZBuffer;
  owner.Create();
  EXPECT_EQ(k.DeviceKind, TKilnDeviceKind::dkMMX);  // the primary driver has no 3-D hardware

  k.SetFullScreenMode(640, 480, 16, 0, "");
  EXPECT_TRUE(Logged("Enumerated DDraw Driver ... Flat Board"));
  EXPECT_TRUE(Logged("テスト用DirectDrawオブジェクトを解放しました"));
  EXPECT_TRUE(Logged("Enumerated DDraw Driver ... Voodoo Board"));
  EXPECT_TRUE(Logged("テスト作成されたDirectDrawオブジェクトを採用します"));
  EXPECT_TRUE(k.Hardware3DCapable);
  EXPECT_EQ(k.DeviceKind, TKilnDeviceKind::dkTnLHAL);
  EXPECT_TRUE(k.HardwareAccelerated);
  EXPECT_EQ(k.RMDevice, nullptr);  // full screen: no retained-mode device

  // Windowed set-ups never look at the secondary drivers.
  k.Initialize(false, 640, 480, 0, 0, "");
  EXPECT_EQ(k.DeviceKind, TKilnDeviceKind::dkMMX);
}

TEST_F(StartupTest, OneComponentPerFormDestructionPutsEverythingBack) {
  host.screenSaver = true;
  forms::TNotifyEvent formPaint = [](forms::TObject*) {};
  owner.onPaint = formPaint;
  TKiln& k = Make();
  try {
    TKiln second(owner);
    FAIL() << "a second component was accepted";
  } catch (const rtl::Exception& e) {
    EXPECT_EQ(std::string(e.what()), kKilnTwiceOnForm);
  }
  EXPECT_EQ(owner.Kilns.size(), 1u);

  k.Loaded();  // DisableScreenSaver defaults to true
  EXPECT_FALSE(host.screenSaver);
  owner.Create();
  bool objectsAtOnDestroy = false;
  k.OnDestroy = [&](forms::TObject* sender) {
    EXPECT_EQ(sender, &k);
    objectsAtOnDestroy = k.DirectDraw != nullptr;
  };
  kiln.reset();
  EXPECT_TRUE(objectsAtOnDestroy);
  EXPECT_TRUE(host.screenSaver);
  // The form's own procedure is back in charge of the window.
  EXPECT_EQ(std::count(owner.calls.begin(), owner.calls.end(), "SetWindowProc"), 2);
  EXPECT_EQ(owner.Send(WM_EXITMENULOOP), 7);
  EXPECT_EQ(owner.passedOn, (std::vector<UINT>{WM_EXITMENULOOP}));
  EXPECT_TRUE(owner.Kilns.empty());
  // The form's handlers no longer lead into the destroyed component.
  owner.Paint();
  owner.Create();
  TKiln again(owner);  // the form takes a component again
}

TEST_F(StartupTest, AScreenSaverThatWasOffStaysOff) {
  host.screenSaver = false;
  TKiln& k = Make();
  k.SetDisableScreenSaver(false);
  EXPECT_TRUE(host.screenSaver);
  kiln.reset();
  EXPECT_FALSE(host.screenSaver);
}

}  // namespace
