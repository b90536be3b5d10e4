// Presenting frames, mode changes with registered textures, lost surfaces brought back
// on a paint, and the window messages.
#include <gtest/gtest.h>

#include <filesystem>

#include "KNArc/KNArcTestUtil.h"
#include "kiln/KilnMachine.h"
#include "kiln/KilnTestUtil.h"
#include "platform/win/WinTime.h"

using namespace kilntest;
using ddtest::ReadPixel;
using ddtest::WritePixel;

namespace {

class PresentTest : public KilnMachineTest {
 protected:
  TKiln& Start(bool use3D = false) {
    TKiln& k = Make();
    k.Use3D = use3D;
    k.D3DOptions = DontUseTnLHAL | MakeZBuffer;
    owner.Create();
    return k;
  }
  static void Fill(IDirectDrawSurface7* s, DWORD value) {
    DDBLTFX fx{};
    fx.dwSize = sizeof fx;
    fx.dwFillColor = value;
    ASSERT_EQ(s->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL | DDBLT_WAIT, &fx), DD_OK);
  }
  // An 8 x 8 24-bit BMP of one colour.
  std::string WriteBmp(const std::string& name, uint32_t rgb) {
    const std::string path = dir.File(name);
    testsupport::WriteFileBytes(path, MakeBmp(8, 8, 24, std::vector<uint32_t>(64, rgb)));
    return path;
  }
};

TEST_F(PresentTest, WindowedFlipCopiesTheBackBufferIntoTheClientArea) {
  TKiln& k = Start();
  Fill(k.BackBuffer->Surface, 0x00336699);
  window.presents = 0;
  k.Flip();
  ASSERT_GT(window.presents, 0);
  ASSERT_EQ(window.width, 640);
  ASSERT_EQ(window.height, 480);
  EXPECT_EQ(window.At(0, 0), 0x336699u);
  EXPECT_EQ(window.At(639, 479), 0x336699u);
  // The picture lands on the desktop under the client area, wherever the form is.
  EXPECT_EQ(ReadPixel(k.PrimarySurface->Surface, 100, 50), 0x336699u);
  EXPECT_EQ(ReadPixel(k.PrimarySurface->Surface, 739, 529), 0x336699u);
  EXPECT_NE(ReadPixel(k.PrimarySurface->Surface, 99, 50), 0x336699u);
  owner.bounds = {200, 100, 840, 580};
  Fill(k.BackBuffer->Surface, 0x00112233);
  k.Flip();
  EXPECT_EQ(ReadPixel(k.PrimarySurface->Surface, 200, 100), 0x112233u);
}

TEST_F(PresentTest, OnlyTheWindowedCopyWaitsForTheVerticalBlank) {
  auto m = ddtest::TestMachine(32);
  m.waitForVerticalBlank = true;  // a 60 Hz display on the process clock
  Machine(m);
  win::VirtualClock clock(5);
  win::ScopedClock scoped(clock);
  TKiln& k = Start();
  k.Flip();
  EXPECT_EQ(timeGetTime(), 17u);  // the next refresh after 5 ms
  k.VsyncAtWindowed = false;
  k.Flip();
  EXPECT_EQ(timeGetTime(), 17u);
  k.VsyncAtWindowed = true;
  k.SetFullScreenMode(640, 480, 16, 0, "");
  k.Flip();
  EXPECT_EQ(timeGetTime(), 17u);  // a flip in full screen does not wait here
}

TEST_F(PresentTest, FullScreenFlipShowsTheWholeModeInTheScaledWindow) {
  TKiln& k = Start(true);
  k.SetFullScreenMode(640, 480, 16, 0, "");
  EXPECT_TRUE(window.fullscreen);
  ASSERT_NE(k.D3DDevice, nullptr);
  ASSERT_EQ(k.D3DDevice->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0x00FF0000, 1.0f, 0), D3D_OK);
  k.Flip();
  ASSERT_EQ(window.width, 640);
  EXPECT_EQ(window.At(320, 240), 0xFF0000u);
  // The next frame goes to the other buffer of the chain.
  ASSERT_EQ(k.D3DDevice->Clear(0, nullptr, D3DCLEAR_TARGET, 0x000000FF, 1.0f, 0), D3D_OK);
  k.Flip();
  EXPECT_EQ(window.At(0, 0), 0x0000FFu);
}

TEST_F(PresentTest, ASecondInitializeCleansUpThenRebuildsTexturesBeforeTheModeChangeEvent) {
  TKiln& k = Start(true);
  auto texture = std::make_unique<TKilnTexture>(&k, 8, 8, 0, "RGB565");
  texture->LoadFromFile(WriteBmp("red.bmp", 0xFF0000));
  ASSERT_EQ(ReadPixel(texture->Surface, 3, 3), 0xF800u);
  std::vector<std::string> events;
  k.OnCleanUp = [&](forms::TObject* sender) {
    EXPECT_EQ(sender, &k);
    EXPECT_EQ(texture->Surface, nullptr);  // already released
    EXPECT_NE(k.D3DDevice, nullptr);       // the 3-D objects go afterwards
    events.push_back("OnCleanUp");
  };
  k.OnChangeDisplayMode = [&](forms::TObject*) {
    ASSERT_NE(texture->Surface, nullptr);
    EXPECT_EQ(ReadPixel(texture->Surface, 3, 3), 0xF800u);  // the image is back too
    EXPECT_EQ(k.ScreenWidth, 800);
    EXPECT_FALSE(k.Busy());
    events.push_back("OnChangeDisplayMode");
  };
  k.Initialize(false, 800, 600, 0, 0, "");
  EXPECT_EQ(events, (std::vector<std::string>{"OnCleanUp", "OnChangeDisplayMode"}));
  EXPECT_TRUE(Logged("DirectDrawオブジェクトの解放に伴い、0番のテクスチャを解放します"));
  EXPECT_TRUE(Logged("0番のテクスチャを再構築します"));

  // A texture whose file went away keeps a surface and says so.
  k.OnCleanUp = nullptr;
  k.OnChangeDisplayMode = nullptr;
  std::filesystem::remove(dir.File("red.bmp"));
  k.Initialize(false, 640, 480, 0, 0, "");
  EXPECT_NE(texture->Surface, nullptr);
  EXPECT_TRUE(Logged(dir.File("red.bmp") + "が、見つかりません"));
}

TEST_F(PresentTest, RemovingATextureRenumbersTheLaterOnes) {
  TKiln& k = Start(true);
  auto a = std::make_unique<TKilnTexture>(&k, 8, 8, 0, "RGB565");
  auto b = std::make_unique<TKilnTexture>(&k, 8, 8, 0, "RGB565");
  auto c = std::make_unique<TKilnTexture>(&k, 8, 8, 0, "RGB565");
  EXPECT_TRUE(Logged("テクスチャリストの2番に追加しました"));
  b.reset();
  EXPECT_TRUE(Logged("テクスチャリストの1番が解放されました"));
  k.Initialize(false, 640, 480, 0, 0, "");
  EXPECT_TRUE(Logged("1番のテクスチャを再構築します"));
  EXPECT_EQ(CountLogged("2番のテクスチャを再構築します"), 0);
  EXPECT_EQ(k.Textures.Texture(1), c.get());
  // Textures that outlive the component keep no surface and no way back to it.
  kiln.reset();
  EXPECT_EQ(a->Surface, nullptr);
  EXPECT_EQ(a->Device, nullptr);
}

TEST_F(PresentTest, ALostScreenIsRestoredOnTheNextPaintOfTheActiveForm) {
  int ownPaints = 0;
  owner.onPaint = [&](forms::TObject* sender) {
    EXPECT_EQ(sender, &owner.form);
    ++ownPaints;
  };
  TKiln& k = Start(true);
  int restores = 0;
  k.OnRestore = [&](forms::TObject*) { ++restores; };
  TKilnTexture texture(&k, 8, 8, 0, "RGB565");
  texture.LoadFromFile(WriteBmp("green.bmp", 0x00FF00));
  ASSERT_EQ(WritePixel(texture.Surface, 2, 2, 0x001F), DD_OK);

  ddraw::LoseSurfaces();  // another program took the screen
  EXPECT_TRUE(k.PrimarySurface->IsLost());
  owner.active = false;
  owner.Paint();
  EXPECT_EQ(ownPaints, 0);  // an inactive form is not painted at all
  EXPECT_EQ(restores, 0);
  EXPECT_TRUE(k.PrimarySurface->IsLost());

  owner.active = true;
  owner.Paint();
  EXPECT_EQ(ownPaints, 1);
  EXPECT_EQ(restores, 1);
  EXPECT_FALSE(k.PrimarySurface->IsLost());
  EXPECT_EQ(ReadPixel(texture.Surface, 2, 2), 0x07E0u);  // the image was loaded again
  Fill(k.BackBuffer->Surface, 0x00ABCDEF);
  k.Flip();
  EXPECT_EQ(window.At(10, 10), 0xABCDEFu);
}

TEST_F(PresentTest, ATextureLoadedFromAnArchiveIsReloadedFromTheArchive) {
  TKiln& k = Start(true);
  TKilnTexture texture(&k, 8, 8, 0, "RGB565");
  // A file first, then an archive entry: the entry is where the image last came from.
  texture.LoadFromFile(WriteBmp("red.bmp", 0xFF0000));
  const Bytes blue = MakeBmp(8, 8, 24, std::vector<uint32_t>(64, 0x0000FF));
  const std::string archive = dir.File("pictures.kna");
  testsupport::WriteFileBytes(archive,
                              knarctest::MakeArchive(0, {{"sky.bmp", blue, static_cast<uint32_t>(blue.size())}}));
  texture.LoadFromArchive(archive, "SKY.BMP");
  ASSERT_EQ(ReadPixel(texture.Surface, 3, 3), 0x001Fu);

  // Lost, then restored on a paint: blue again, not the red of the earlier file.
  ASSERT_EQ(WritePixel(texture.Surface, 3, 3, 0x07E0), DD_OK);
  ddraw::LoseSurfaces();
  owner.Paint();
  EXPECT_EQ(ReadPixel(texture.Surface, 3, 3), 0x001Fu);
  EXPECT_EQ(ReadPixel(texture.Surface, 0, 7), 0x001Fu);

  // A mode change rebuilds the surface and reads the entry again.
  k.Initialize(false, 800, 600, 0, 0, "");
  ASSERT_NE(texture.Surface, nullptr);
  EXPECT_EQ(ReadPixel(texture.Surface, 3, 3), 0x001Fu);

  // With the archive gone the reload fails as an archive read and leaves the surface as it
  // is; the earlier file is not read instead.
  std::filesystem::remove(archive);
  ASSERT_EQ(WritePixel(texture.Surface, 3, 3, 0x07E0), DD_OK);
  owner.Paint();
  EXPECT_EQ(ReadPixel(texture.Surface, 3, 3), 0x07E0u);
  EXPECT_TRUE(Logged("アーカイブからのビットマップの読み取りに失敗しました"));
}

TEST_F(PresentTest, APaintDuringASetUpRestoresNothing) {
  TKiln& k = Start();
  int restores = 0;
  k.OnRestore = [&](forms::TObject*) { ++restores; };
  k.OnCleanUp = [&](forms::TObject*) {
    EXPECT_TRUE(k.Busy());
    owner.Paint();
  };
  k.Initialize(false, 640, 480, 0, 0, "");
  EXPECT_EQ(restores, 0);
  owner.Paint();
  EXPECT_EQ(restores, 1);
}

TEST_F(PresentTest, FullScreenKeepsTheWindowInPlaceAndEveryMessageReachesTheForm) {
  TKiln& k = Start();
  int entered = 0, left = 0;
  k.OnEnterMenuLoop = [&](forms::TObject*) { ++entered; };
  k.OnExitMenuLoop = [&](forms::TObject*) { ++left; };

  // Windowed: the form may move and the menu loop only flips to GDI.
  owner.calls.clear();
  EXPECT_EQ(owner.Send(WM_MOVE, 0, MAKELPARAM(30, 40)), 7);
  EXPECT_TRUE(owner.calls.empty());
  owner.Send(WM_ENTERMENULOOP);
  EXPECT_EQ(owner.calls, (std::vector<std::string>{"DrawMenuBar", "RedrawWindow 1024"}));
  owner.Send(WM_EXITMENULOOP);
  EXPECT_EQ(entered, 1);
  EXPECT_EQ(left, 1);

  k.SetFullScreenMode(640, 480, 16, 0, "");
  owner.calls.clear();
  owner.Send(WM_MOVE, 0, MAKELPARAM(30, 40));
  EXPECT_EQ(owner.calls, (std::vector<std::string>{"SetBounds 0 0 640 480"}));
  owner.calls.clear();
  owner.Send(WM_MOVE, 0, MAKELPARAM(0, 0));
  EXPECT_TRUE(owner.calls.empty());

  owner.state = TWindowState::wsMaximized;
  owner.Send(WM_SIZE, SIZE_MAXIMIZED, MAKELPARAM(1024, 768));
  EXPECT_EQ(owner.state, TWindowState::wsNormal);
  EXPECT_EQ(owner.calls.back(), "SetBounds 0 0 640 480");

  MINMAXINFO info{};
  owner.Send(WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
  EXPECT_EQ(info.ptMaxSize.x, 640);
  EXPECT_EQ(info.ptMaxTrackSize.y, 480);
  EXPECT_EQ(info.ptMinTrackSize.x, 640);
  EXPECT_EQ(info.ptMaxPosition.x, 0);

  owner.bounds = {5, 5, 645, 485};
  owner.calls.clear();
  owner.Send(WM_ENTERMENULOOP);
  EXPECT_EQ(owner.calls.front(), "SetBounds 0 0 640 480");
  EXPECT_EQ(entered, 2);

  const std::vector<UINT> sent = {WM_MOVE, WM_ENTERMENULOOP, WM_EXITMENULOOP,  WM_MOVE,
                                  WM_MOVE, WM_SIZE,          WM_GETMINMAXINFO, WM_ENTERMENULOOP};
  EXPECT_EQ(owner.passedOn, sent);
}

}  // namespace
