// The game's start-up as the display log writes it, byte for byte in Shift-JIS, and the
// device every choice of the start-up dialog leads to on this machine.
#include <gtest/gtest.h>

#include "kiln/GameKilnSetup.h"
#include "kiln/KilnMachine.h"
#include "platform/rtl/SysUtils.h"

using namespace kilntest;

namespace {

class GameStartupTest : public KilnMachineTest {
 protected:
  // The form's settings of KN, its creation handler applying `choice`, then the start-up.
  TKiln& StartGame(const TKilnStartupChoice& choice, TKilnDebugOption debug) {
    owner.onCreate = [this, choice](forms::TObject*) { ApplyStartupChoice(*kiln, choice); };
    TKiln& k = Make();
    ConfigureGameKiln(k);
    k.SetDebugOption(debug);
    k.OnInit = [this](forms::TObject*, bool fNeedChange) {
      EXPECT_FALSE(fNeedChange);
      initDevice = kiln->DeviceKind;
    };
    owner.Create();
    return k;
  }
  TKilnDeviceKind initDevice = TKilnDeviceKind::dkRamp;
};

std::vector<std::string> WindowedSetUp(int w, int h, int d) {
  const std::string mode = rtl::Format("%d x %d x %d", w, h, d);
  return {"スクリーンモード" + mode + " として初期化を開始します", "ウィンドウモードで初期化を開始します",
          "DirectDrawオブジェクトを作成しました", "Caps:0000000084408640", "バックバッファをシステムメモリに配置します",
          "PixelFormat: AMask=00000000 RMask=00ff0000 GMask=0000ff00 BMask=000000ff",
          "PixelFormat: AMask=00000000 RMask=00ff0000 GMask=0000ff00 BMask=000000ff",
          "列挙されたZバッファのフォーマット...ZDepth=16 SDepth=0 Mask=(Z:0000ffff S:00000000 L:00000000)",
          // A depth format read through the colour masks: the z mask sits where green does.
          "PixelFormat: AMask=00000000 RMask=00000000 GMask=0000ffff BMask=00000000", "Zバッファを作成しました",
          "MMXエミュレーションデバイスを使用します", "ハードウェアアクセラレーション不可"};
}

std::vector<std::string> Release(bool started, bool retained, bool destroying) {
  std::vector<std::string> lines = {"…DirectDraw/3D関連オブジェクトを全て解放します…"};
  if (started) lines.push_back("オフスクリーンサーフェスを全て解放しました");
  if (retained) lines.push_back("Direct3DRMDeviceを解放しました");
  lines.push_back("Direct3DDeviceを解放しました");
  if (destroying) lines.push_back("Direct3DRM3を解放しました");
  for (const char* l : {"Zバッファを解放しました", "Direct3Dを解放しました", "クリッパーを解放しました",
                        "バックバッファを解放しました", "プライマリサーフェスを解放しました",
                        "DirectDrawを解放しました", "…DirectDraw/3D関連オブジェクト、解放終了しました…"})
    lines.push_back(l);
  return lines;
}

void Append(std::vector<std::string>& to, const std::vector<std::string>& lines) {
  to.insert(to.end(), lines.begin(), lines.end());
}

TEST_F(GameStartupTest, TheLogOfAFullScreenStartUpLineByLine) {
  StartGame(TKilnStartupChoice{}, ddoDebugMessage | ddoDetailedLog);
  kiln.reset();

  std::vector<std::string> expected = {"Enumerated DDraw Driver ... Primary Display Driver (display)"};
  Append(expected, WindowedSetUp(128, 128, 32));
  Append(expected, {"スクリーンモード640 x 480 x 0 として初期化を開始します"});
  Append(expected, Release(false, true, false));
  auto windowed = WindowedSetUp(640, 480, 0);
  Append(expected, {windowed.begin() + 1, windowed.end()});
  // The dialog asked for full screen: the form's handler switches.
  Append(expected, {"スクリーンモード640 x 480 x 16 として初期化を開始します"});
  Append(expected, Release(false, true, false));
  Append(
      expected,
      {"フルスクリーンで初期化を開始します", "デフォルトのドライバを使用します", "DirectDrawオブジェクトを作成しました",
       "Caps:0000000084408640", "PixelFormat: AMask=00000000 RMask=0000f800 GMask=000007e0 BMask=0000001f",
       "PixelFormat: AMask=00000000 RMask=0000f800 GMask=000007e0 BMask=0000001f",
       "列挙されたZバッファのフォーマット...ZDepth=16 SDepth=0 Mask=(Z:0000ffff S:00000000 L:00000000)",
       "PixelFormat: AMask=00000000 RMask=00000000 GMask=0000ffff BMask=00000000", "Zバッファを作成しました",
       "MMXエミュレーションデバイスを使用します", "ハードウェアアクセラレーション不可"});
  // Destruction: no retained-mode device in full screen; the retained-mode object goes now.
  Append(expected, Release(true, false, true));

  const std::string log = testsupport::ReadFileText(dir.File("kiln.debug"));
  std::string want;
  for (size_t i = 0; i < expected.size(); ++i)
    want += rtl::Format("debug#%.5d ... ", static_cast<int>(i + 1)) + win::Utf8ToAnsi(expected[i]) + "\r\n";
  // Line by line first, so that a difference names its line.
  const auto got = LogLines();
  for (size_t i = 0; i < std::min(got.size(), expected.size()); ++i) EXPECT_EQ(got[i], expected[i]) << "line " << i + 1;
  EXPECT_EQ(got.size(), expected.size());
  EXPECT_EQ(log, want);
  EXPECT_NE(log.find("\x83\x6f\x83\x62\x83\x4e"), std::string::npos);  // "バック" in Shift-JIS
}

TEST_F(GameStartupTest, TheGamesOwnSettingsWriteNothing) {
  KilnDebugUnit().ResetForTest(ddoHaltOnError | ddoDebugMessage);  // as at the start of the program
  StartGame(TKilnStartupChoice{}, 0);
  EXPECT_FALSE(std::filesystem::exists(dir.File("kiln.debug")));
  EXPECT_FALSE(host.screenSaver);
  EXPECT_TRUE(kiln->FullScreen);
  EXPECT_EQ(kiln->BitDepth, 16);
  DWORD shade = 0, specular = 0;
  ASSERT_EQ(kiln->D3DDevice->GetRenderState(D3DRENDERSTATE_SHADEMODE, &shade), D3D_OK);
  ASSERT_EQ(kiln->D3DDevice->GetRenderState(D3DRENDERSTATE_SPECULARENABLE, &specular), D3D_OK);
  EXPECT_EQ(shade, static_cast<DWORD>(D3DSHADE_GOURAUD));
  EXPECT_EQ(specular, 1u);
}

// What each dialog choice leads to on this machine (one display driver, no 3-D hardware):
// the device choices are added after the full-screen switch, as the original form does,
// so the device is always the MMX one, full screen or not.
TEST_F(GameStartupTest, EveryDialogChoiceLeadsToTheMMXDeviceHere) {
  for (int bits = 0; bits < 16; ++bits) {
    TKilnStartupChoice c;
    c.FullScreen = bits & 1;
    c.NoMMX = bits & 2;
    c.NoHAL = bits & 4;
    c.NoTnLHAL = bits & 8;
    c.Flat = bits & 1;
    c.Specular = !(bits & 2);
    StartGame(c, 0);
    SCOPED_TRACE(bits);
    EXPECT_EQ(initDevice, TKilnDeviceKind::dkMMX);
    EXPECT_EQ(kiln->FullScreen, c.FullScreen);
    TD3DOptions want = MakeZBuffer;
    if (c.NoMMX) want |= DontUseMMX;
    if (c.NoHAL) want |= DontUseHAL;
    if (c.NoTnLHAL) want |= DontUseTnLHAL;
    EXPECT_EQ(kiln->D3DOptions, want);
    DWORD shade = 0;
    kiln->D3DDevice->GetRenderState(D3DRENDERSTATE_SHADEMODE, &shade);
    EXPECT_EQ(shade, static_cast<DWORD>(c.Flat ? D3DSHADE_FLAT : D3DSHADE_GOURAUD));
    // The choices count from the next set-up on: without MMX that is the RGB device.
    kiln->Initialize(kiln->FullScreen, 640, 480, 16, 0, "");
    EXPECT_EQ(kiln->DeviceKind, c.NoMMX ? TKilnDeviceKind::dkRGB : TKilnDeviceKind::dkMMX);
    kiln.reset();
  }
}

}  // namespace
