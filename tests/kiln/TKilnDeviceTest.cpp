// The device cascade, depth buffers, back-buffer placement, the 8-bit palette and
// set-ups that fail part of the way.
#include <gtest/gtest.h>

#include "kiln/KilnMachine.h"
#include "platform/gdi/Gdi.h"
#include "platform/gdi/PixelTarget.h"
#include "platform/rtl/SysUtils.h"

using namespace kilntest;

namespace {

class DeviceTest : public KilnMachineTest {
 protected:
  TKiln& Start3D(TD3DOptions options, bool fullScreen = false) {
    TKiln& k = Make();
    k.Use3D = true;
    k.D3DOptions = options;
    k.InitializeFullScreen = fullScreen;
    owner.Create();
    return k;
  }
  static ddraw::MachineConfig Machine3D(int depth = 32) {
    auto m = ddtest::TestMachine(depth);
    m.drivers[0].caps |= DDCAPS_3D;
    return m;
  }
};

TEST_F(DeviceTest, SoftwareOptionsChooseMMXThenRGB) {
  Machine(Machine3D());
  TKiln& k = Start3D(DontUseTnLHAL | DontUseHAL | MakeZBuffer);
  EXPECT_EQ(k.DeviceKind, TKilnDeviceKind::dkMMX);
  EXPECT_FALSE(k.HardwareAccelerated);
  EXPECT_TRUE(k.Hardware3DCapable);
  EXPECT_EQ(CountLogged("T&L HAL"), 0);
  EXPECT_EQ(CountLogged("HAL"), 0);
  // Both hardware kinds ruled out: the windowed back buffer goes to system memory.
  EXPECT_TRUE(Logged("バックバッファをシステムメモリに配置します"));
  ASSERT_TRUE(k.ZBuffer);
  DDSCAPS2 caps{};
  caps.dwCaps = DDSCAPS_ZBUFFER;
  IDirectDrawSurface7* attached = nullptr;
  ASSERT_EQ(k.BackBuffer->Surface->GetAttachedSurface(&caps, &attached), DD_OK);
  EXPECT_EQ(attached, k.ZBuffer->Surface);
  attached->Release();
  EXPECT_NE(k.RMDevice, nullptr);  // windowed, not T&L
  EXPECT_EQ(k.RMDevice->GetWidth(), 640u);

  k.D3DOptions |= DontUseMMX;
  EXPECT_EQ(k.DeviceKind, TKilnDeviceKind::dkMMX);  // an existing device is not changed
  k.Initialize(false, 640, 480, 0, 0, "");
  EXPECT_EQ(k.DeviceKind, TKilnDeviceKind::dkRGB);
  EXPECT_TRUE(Logged("RGBエミュレーションデバイスを使用します"));

  // Without RGB the ramp device is asked for (version 7 has none), then the reference one.
  k.D3DOptions |= DontUseRGBEmulation;
  k.Initialize(false, 640, 480, 0, 0, "");
  EXPECT_EQ(k.DeviceKind, TKilnDeviceKind::dkReference);
  EXPECT_TRUE(Logged("リファレンスラスタライザを使用します"));
}

TEST_F(DeviceTest, HardwareDevicesComeFirstOnADriverWith3D) {
  Machine(Machine3D());
  TKiln& k = Start3D(MakeZBuffer);
  EXPECT_EQ(k.DeviceKind, TKilnDeviceKind::dkTnLHAL);
  EXPECT_TRUE(k.HardwareAccelerated);
  EXPECT_TRUE(Logged("T&L HALデバイスを使用します"));
  EXPECT_TRUE(Logged("ハードウェアアクセラレーション可"));
  EXPECT_TRUE(Logged("バックバッファをビデオメモリに配置します"));
  EXPECT_EQ(k.RMDevice, nullptr);  // retained mode cannot drive a T&L device

  k.D3DOptions = DontUseTnLHAL | MakeZBuffer;
  k.Initialize(false, 640, 480, 0, 0, "");
  EXPECT_EQ(k.DeviceKind, TKilnDeviceKind::dkHAL);
  EXPECT_NE(k.RMDevice, nullptr);
  // Hardware depth buffers are left to the driver: here it has room in video memory.
  DDSCAPS2 caps{};
  ASSERT_EQ(k.ZBuffer->Surface->GetCaps(&caps), DD_OK);
  EXPECT_TRUE(caps.dwCaps & DDSCAPS_VIDEOMEMORY);

  // Textures go to video memory only with a hardware device.
  TKilnTexture hw(&k, 16, 16, 0, "ARGB1555");
  EXPECT_TRUE(hw.Desc.ddsCaps.dwCaps & DDSCAPS_VIDEOMEMORY);
  k.D3DOptions = DontUseTnLHAL | DontUseHAL | MakeZBuffer;
  k.Initialize(false, 640, 480, 0, 0, "");
  EXPECT_TRUE(hw.Desc.ddsCaps.dwCaps & DDSCAPS_SYSTEMMEMORY);
  EXPECT_EQ(hw.AMask, 0x8000u);
}

TEST_F(DeviceTest, TheDefaultDriverHasNoHardwareSoTheGameGetsMMX) {
  TKiln& k = Start3D(DontUseTnLHAL | MakeZBuffer);
  EXPECT_FALSE(k.Hardware3DCapable);
  EXPECT_EQ(k.DeviceKind, TKilnDeviceKind::dkMMX);
  EXPECT_EQ(CountLogged("HALデバイス"), 0);  // not even tried
}

TEST_F(DeviceTest, StencilAndNoDepthBuffer) {
  TKiln& k = Start3D(MakeZBuffer | MakeStencilBuffer);
  EXPECT_TRUE(Logged(
      "列挙されたステンシルバッファのフォーマット...ZDepth=32 SDepth=8 Mask=(Z:ffffff00 S:000000ff L:00000000)"));
  EXPECT_TRUE(Logged("ステンシルバッファを作成しました"));
  ASSERT_TRUE(k.ZBuffer);
  EXPECT_EQ(k.ZBuffer->Desc.ddpfPixelFormat.dwFlags, DDPF_ZBUFFER | DDPF_STENCILBUFFER);
  EXPECT_EQ(k.DeviceKind, TKilnDeviceKind::dkMMX);

  k.D3DOptions = 0;
  k.Initialize(false, 320, 240, 0, 0, "");
  EXPECT_FALSE(k.ZBuffer);
  EXPECT_NE(k.D3DDevice, nullptr);
}

TEST_F(DeviceTest, AnEightBitDisplayGetsAPaletteAndNoHardwareDevice) {
  Machine(Machine3D());
  TKiln& k = Start3D(MakeZBuffer);
  k.SetFullScreenMode(640, 480, 8, 0, "");
  EXPECT_EQ(k.BitDepth, 8);
  EXPECT_FALSE(k.Hardware3DCapable);
  EXPECT_EQ(CountLogged("T&L HALデバイスを使用します"), 2);  // only the two set-ups of the 32-bit start-up
  ASSERT_NE(k.Palette, nullptr);
  IDirectDrawPalette* attached = nullptr;
  ASSERT_EQ(k.PrimarySurface->Surface->GetPalette(&attached), DD_OK);
  EXPECT_EQ(attached, k.Palette);
  attached->Release();
  ASSERT_EQ(k.BackBuffer->Surface->GetPalette(&attached), DD_OK);
  EXPECT_EQ(attached, k.Palette);
  attached->Release();
  // The 3-3-2 colour cube, read-only for the device.
  PALETTEENTRY e[256];
  ASSERT_EQ(k.Palette->GetEntries(0, 0, 256, e), DD_OK);
  EXPECT_EQ(e[0xFF].peRed, 255);
  EXPECT_EQ(e[0xFF].peBlue, 255);
  EXPECT_EQ(e[0x1C].peGreen, 255);
  EXPECT_EQ(e[0x1C].peRed, 0);
  EXPECT_EQ(e[0x20].peRed, 36);
  EXPECT_EQ(e[0x01].peBlue, 85);
  EXPECT_EQ(e[5].peFlags, 0x40);
  // No device draws on 8 bits: none exists, and nothing breaks for it.
  EXPECT_EQ(k.D3DDevice, nullptr);
  k.Flip();

  // The palette follows PaletteEntries when the active form is painted.
  k.PaletteEntries[7] = PALETTEENTRY{1, 2, 3, 0};
  owner.Paint();
  ASSERT_EQ(k.Palette->GetEntries(0, 7, 1, e), DD_OK);
  EXPECT_EQ(e[0].peGreen, 2);
}

TEST_F(DeviceTest, AnEightBitDesktopWindowedTakesTheSystemPalette) {
  Machine(ddtest::TestMachine(8));
  const size_t gdiObjects = gdi::LiveObjectCount();
  TKiln& k = Start3D(MakeZBuffer);
  ASSERT_NE(k.Palette, nullptr);
  EXPECT_EQ(k.PaletteEntries[0].peFlags, 0x40);
  EXPECT_EQ(k.PaletteEntries[100].peFlags, PC_RESERVED);
  EXPECT_EQ(k.PaletteEntries[255].peRed, gdi::DefaultPalette()[255].peRed);
  owner.Send(WM_QUERYNEWPALETTE);  // the windowed palette path
  owner.Paint();
  EXPECT_EQ(gdi::LiveObjectCount(), gdiObjects);  // the GDI palettes and contexts are freed
}

TEST_F(DeviceTest, WindowedBackBufferPlacementAndItsRetry) {
  TKiln& k = Make();
  k.BackBufferLocationAtWindowed = bmtCompatible;
  owner.Create();
  EXPECT_TRUE(Logged("バックバッファをシステムメモリに配置します"));
  k.BackBufferLocationAtWindowed = bmtDefault;
  k.Initialize(false, 640, 480, 0, 0, "");
  EXPECT_TRUE(Logged("バックバッファをビデオメモリに配置します"));

  // Video memory holds the desktop's primary and little more: the retry drops the request.
  auto m = ddtest::TestMachine(32);
  m.videoMemoryBytes = 1024ull * 768 * 4 + 4096;
  Machine(m);
  k.Initialize(false, 640, 480, 0, 0, "");
  EXPECT_TRUE(Logged("バックバッファをドライバのデフォルトの位置(おそらくビデオメモリ)に配置します"));
  ASSERT_NE(k.BackBuffer->Surface, nullptr);
  EXPECT_TRUE(k.BackBuffer->Desc.ddsCaps.dwCaps & DDSCAPS_SYSTEMMEMORY);
}

TEST_F(DeviceTest, WithTheGamesSettingsAFailedSetUpGoesOnWithWhatThereIs) {
  auto m = ddtest::TestMachine(32);
  m.drivers[0].creatable = false;
  Machine(m);
  TKiln& k = Make();
  k.Use3D = true;
  k.SetDebugOption(0);
  owner.Create();
  EXPECT_EQ(k.DirectDraw, nullptr);
  EXPECT_EQ(k.D3DDevice, nullptr);
  EXPECT_EQ(k.BackBuffer->Surface, nullptr);
  k.Flip();
  owner.Paint();
  owner.Send(WM_ENTERMENULOOP);
  TKilnTexture t(&k, 8, 8, 0, "RGB565");
  EXPECT_EQ(t.Surface, nullptr);
  k.SetFullScreenMode(640, 480, 16, 0, "");
  EXPECT_FALSE(k.FindDisplayMode(0, 0, 0, 0));

  // A mode the machine does not have: the set-up goes on in the desktop's mode.
  Machine(ddtest::TestMachine(32));
  k.SetFullScreenMode(1234, 567, 16, 0, "");
  EXPECT_NE(k.DirectDraw, nullptr);
  EXPECT_NE(k.PrimarySurface->Surface, nullptr);
}

TEST_F(DeviceTest, AFailedCheckHaltsWithItsMessageAsTheLastLine) {
  TKiln& k = Make();
  k.SetDebugOption(ddoHaltOnError | ddoDebugMessage);
  owner.Create();
  EXPECT_THROW(k.SetFullScreenMode(1234, 567, 16, 0, ""), rtl::EHalt);
  ASSERT_FALSE(LogLines().empty());
  EXPECT_EQ(LogLines().back(), "画面モード1234x567x16の初期化に失敗しました(Error Code(88760078))");
}

}  // namespace
