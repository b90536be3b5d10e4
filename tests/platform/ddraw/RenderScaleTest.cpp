// Surfaces at a render scale: the program sees the sizes it asked for, the pixels behind them
// are k times denser, and what the program writes or copies lands where it would at scale 1.
#include <gtest/gtest.h>

#include <vector>

#include "platform/ddraw/DDrawMachine.h"
#include "platform/ddraw/DDrawTestUtil.h"
#include "platform/gdi/Gdi.h"

using namespace ddtest;

namespace {

const DDPIXELFORMAT kXrgb = Rgb(32, 0xFF0000, 0x00FF00, 0x0000FF);

class RenderScale : public SurfaceFixtureOf<::testing::Test> {
 protected:
  void Start(int k) {
    ddraw::MachineConfig m = TestMachine();
    m.renderScale = k;
    SurfaceFixtureOf::Start(m);
  }
  // The real pixels of a surface.
  static std::vector<uint32_t> Fine(IDirectDrawSurface7* s, int& w, int& h) {
    DDSURFACEDESC2 d{};
    d.dwSize = sizeof d;
    EXPECT_EQ(ddraw::LockRenderPixels(s, &d), DD_OK);
    w = static_cast<int>(d.dwWidth);
    h = static_cast<int>(d.dwHeight);
    std::vector<uint32_t> px(static_cast<size_t>(w) * h);
    for (int y = 0; y < h; ++y)
      std::memcpy(&px[static_cast<size_t>(y) * w], static_cast<const uint8_t*>(d.lpSurface) + ptrdiff_t(y) * d.lPitch,
                  4u * w);
    s->Unlock(nullptr);
    return px;
  }
  static void SetFine(IDirectDrawSurface7* s, int x, int y, uint32_t v) {
    DDSURFACEDESC2 d{};
    d.dwSize = sizeof d;
    ASSERT_EQ(ddraw::LockRenderPixels(s, &d), DD_OK);
    std::memcpy(static_cast<uint8_t*>(d.lpSurface) + ptrdiff_t(y) * d.lPitch + 4 * x, &v, 4);
    s->Unlock(nullptr);
  }
};

TEST_F(RenderScale, RenderTargetsAreDenseWhileTheProgramSeesTheSizeItAskedFor) {
  Start(3);
  IDirectDrawSurface7* back = Make(640, 480, kXrgb, DDSCAPS_OFFSCREENPLAIN | DDSCAPS_3DDEVICE | DDSCAPS_SYSTEMMEMORY);
  IDirectDrawSurface7* z = Make(640, 480, Depth(16, 0xFFFF), DDSCAPS_ZBUFFER | DDSCAPS_SYSTEMMEMORY);
  IDirectDrawSurface7* texture = Make(64, 64, kXrgb, DDSCAPS_TEXTURE | DDSCAPS_SYSTEMMEMORY);
  IDirectDrawSurface7* picture = Make(640, 480, kXrgb, DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY);
  EXPECT_EQ(ddraw::RenderScaleOf(back), 3);
  EXPECT_EQ(ddraw::RenderScaleOf(z), 3);
  EXPECT_EQ(ddraw::RenderScaleOf(texture), 1);
  EXPECT_EQ(ddraw::RenderScaleOf(picture), 1);
  DDSURFACEDESC2 d{};
  d.dwSize = sizeof d;
  ASSERT_EQ(back->GetSurfaceDesc(&d), DD_OK);
  EXPECT_EQ(d.dwWidth, 640u);
  EXPECT_EQ(d.dwHeight, 480u);
  ASSERT_EQ(back->Lock(nullptr, &d, DDLOCK_WAIT, nullptr), DD_OK);
  EXPECT_EQ(d.dwWidth, 640u);
  EXPECT_GE(d.lPitch, 640 * 4);
  back->Unlock(nullptr);
  int w = 0, h = 0;
  Fine(back, w, h);
  EXPECT_EQ(w, 1920);
  EXPECT_EQ(h, 1440);
  EXPECT_EQ(back->AddAttachedSurface(z), DD_OK);
  // A depth buffer of another scale cannot serve the target.
  IDirectDrawSurface7* other = Make(640, 480, kXrgb, DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY);
  EXPECT_EQ(other->AddAttachedSurface(Make(640, 480, Depth(16, 0xFFFF), DDSCAPS_ZBUFFER | DDSCAPS_SYSTEMMEMORY)),
            DDERR_CANNOTATTACHSURFACE);
}

TEST_F(RenderScale, PixelsWrittenThroughALockFillTheirBlocksAndUntouchedBlocksKeepTheirDetail) {
  Start(2);
  IDirectDrawSurface7* back = Make(16, 8, kXrgb, DDSCAPS_OFFSCREENPLAIN | DDSCAPS_3DDEVICE | DDSCAPS_SYSTEMMEMORY);
  // Block (1, 1) holds two black and two white pixels; the lock shows their mean.
  SetFine(back, 2, 2, 0xFFFFFF);
  SetFine(back, 3, 3, 0xFFFFFF);
  EXPECT_EQ(ReadPixel(back, 1, 1), 0x808080u);
  ASSERT_EQ(WritePixel(back, 5, 3, 0x123456), DD_OK);
  int w = 0, h = 0;
  const std::vector<uint32_t> px = Fine(back, w, h);
  for (int y = 6; y < 8; ++y)
    for (int x = 10; x < 12; ++x) EXPECT_EQ(px[size_t(y) * w + x] & 0xFFFFFF, 0x123456u) << x << "," << y;
  EXPECT_EQ(px[size_t(6) * w + 9], 0u);
  // The lock of the other pixel wrote nothing back to block (1, 1).
  EXPECT_EQ(px[size_t(2) * w + 2] & 0xFFFFFF, 0xFFFFFFu);
  EXPECT_EQ(px[size_t(2) * w + 3] & 0xFFFFFF, 0u);
  EXPECT_EQ(ReadPixel(back, 5, 3), 0x123456u);
}

TEST_F(RenderScale, BlitsWorkInTheProgramsCoordinatesAndPicturesAreFilteredUpOnce) {
  Start(2);
  IDirectDrawSurface7* back = Make(8, 4, kXrgb, DDSCAPS_OFFSCREENPLAIN | DDSCAPS_3DDEVICE | DDSCAPS_SYSTEMMEMORY);
  DDBLTFX fx{};
  fx.dwSize = sizeof fx;
  fx.dwFillColor = 0x00FF00;
  RECT r{1, 1, 3, 2};
  ASSERT_EQ(back->Blt(&r, nullptr, nullptr, DDBLT_COLORFILL, &fx), DD_OK);
  int w = 0, h = 0;
  std::vector<uint32_t> px = Fine(back, w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const bool inside = x >= 2 && x < 6 && y >= 2 && y < 4;
      EXPECT_EQ(px[size_t(y) * w + x] & 0xFFFFFF, inside ? 0x00FF00u : 0u) << x << "," << y;
    }

  // A picture of the described size: left half black, right half white.
  IDirectDrawSurface7* picture = Make(8, 4, kXrgb, DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY);
  for (int y = 0; y < 4; ++y)
    for (int x = 4; x < 8; ++x) ASSERT_EQ(WritePixel(picture, x, y, 0xFFFFFF), DD_OK);
  ASSERT_EQ(back->Blt(nullptr, picture, nullptr, DDBLT_WAIT, nullptr), DD_OK);
  px = Fine(back, w, h);
  // Flat areas stay flat; the edge between pixels 3 and 4 gets the filter's steps on the fine
  // grid (a quarter and three quarters of the way), where a magnified copy would jump.
  EXPECT_EQ(px[size_t(3) * w + 2] & 0xFF, 0u);
  EXPECT_EQ(px[size_t(3) * w + 13] & 0xFF, 0xFFu);
  EXPECT_EQ(px[size_t(3) * w + 7] & 0xFF, 0x40u);
  EXPECT_EQ(px[size_t(3) * w + 8] & 0xFF, 0xBFu);
  // And back down: the scaled picture onto a plain one gives each pixel its block's mean.
  IDirectDrawSurface7* copy = Make(8, 4, kXrgb, DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY);
  ASSERT_EQ(copy->Blt(nullptr, back, nullptr, DDBLT_WAIT, nullptr), DD_OK);
  EXPECT_EQ(ReadPixel(copy, 3, 1) & 0xFF, (0x00 + 0x40 + 0x00 + 0x40 + 2) / 4u);
  EXPECT_EQ(ReadPixel(copy, 6, 1) & 0xFF, 0xFFu);
}

TEST_F(RenderScale, TheWindowGetsTheDensePictureOfItsClientArea) {
  Start(2);
  FakeWindow window;
  window.client = {100, 50, 740, 530};
  ddraw::ScopedWindowBinding bind(FakeHwnd(), &window);
  DDSURFACEDESC2 d{};
  d.dwSize = sizeof d;
  d.dwFlags = DDSD_CAPS;
  d.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE;
  IDirectDrawSurface7* primary = nullptr;
  ASSERT_EQ(dd->CreateSurface(&d, &primary, nullptr), DD_OK);
  made.push_back(primary);
  // The desktop the program sees is the real one at half the pixels, but never below 640 x 480.
  ASSERT_EQ(primary->GetSurfaceDesc(&d), DD_OK);
  EXPECT_EQ(d.dwWidth, 640u);
  EXPECT_EQ(d.dwHeight, 480u);
  window.client = {0, 0, 640, 480};
  IDirectDrawSurface7* back = Make(640, 480, kXrgb, DDSCAPS_OFFSCREENPLAIN | DDSCAPS_3DDEVICE | DDSCAPS_SYSTEMMEMORY);
  SetFine(back, 1, 0, 0xFF0000);  // the right half of pixel (0, 0)
  RECT whole{0, 0, 640, 480};
  ASSERT_EQ(primary->Blt(&whole, back, &whole, DDBLT_WAIT, nullptr), DD_OK);
  EXPECT_EQ(window.width, 1280);
  EXPECT_EQ(window.height, 960);
  EXPECT_EQ(window.At(1, 0), 0xFF0000u);
  EXPECT_EQ(window.At(0, 0), 0u);
}

TEST_F(RenderScale, GdiOnAScaledSurfaceDrawsOnTheFineGrid) {
  Start(2);
  IDirectDrawSurface7* back = Make(32, 32, kXrgb, DDSCAPS_OFFSCREENPLAIN | DDSCAPS_3DDEVICE | DDSCAPS_SYSTEMMEMORY);
  HDC dc = nullptr;
  ASSERT_EQ(back->GetDC(&dc), DD_OK);
  // A pixel set through GDI fills its block, so reading it back through a lock finds it.
  SetPixel(dc, 3, 4, RGB(0x10, 0x20, 0x30));
  HPEN pen = CreatePen(PS_SOLID, 1, RGB(255, 255, 255));
  HGDIOBJ oldPen = SelectObject(dc, pen);
  HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(NULL_BRUSH));
  // A diagonal line: on the fine grid it is a band two pixels wide, stepping one pixel at a time.
  MoveToEx(dc, 10, 10, nullptr);
  LineTo(dc, 20, 20);
  SelectObject(dc, oldPen);
  SelectObject(dc, oldBrush);
  DeleteObject(pen);
  back->ReleaseDC(dc);
  EXPECT_EQ(ReadPixel(back, 3, 4), 0x102030u);
  int w = 0, h = 0;
  const std::vector<uint32_t> px = Fine(back, w, h);
  auto on = [&](int x, int y) { return (px[size_t(y) * w + x] & 0xFFFFFF) == 0xFFFFFF; };
  EXPECT_TRUE(on(20, 20));
  EXPECT_TRUE(on(21, 21));
  EXPECT_TRUE(on(30, 30));
  // Pixels a magnified line would cover (whole 2 x 2 blocks) but the fine line does not.
  EXPECT_FALSE(on(22, 20));
  int blocksMixed = 0;
  for (int by = 10; by < 20; ++by)
    for (int bx = 10; bx < 20; ++bx) {
      const int n = on(2 * bx, 2 * by) + on(2 * bx + 1, 2 * by) + on(2 * bx, 2 * by + 1) + on(2 * bx + 1, 2 * by + 1);
      blocksMixed += n > 0 && n < 4;
    }
  EXPECT_GT(blocksMixed, 5);
}

}  // namespace
