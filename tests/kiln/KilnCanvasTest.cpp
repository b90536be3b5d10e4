#include <gtest/gtest.h>

#include <memory>

#include "kiln/KilnLog.h"
#include "kiln/KilnTestUtil.h"
#include "kiln/TKilnCanvas.h"
#include "platform/ddraw/DDrawTestUtil.h"

using namespace ddtest;
using namespace kilntest;

namespace {

class KilnCanvas : public ::testing::Test {
 protected:
  IDirectDraw7* dd = nullptr;
  std::vector<IDirectDrawSurface7*> made;
  void SetUp() override {
    ddraw::ResetMachine();
    ddraw::SetMachine(TestMachine());
    KilnDebugUnit().ResetForTest(0);
    dd = CreateDD();
    dd->SetCooperativeLevel(FakeHwnd(), DDSCL_NORMAL);
  }
  void TearDown() override {
    for (auto* s : made) s->Release();
    dd->Release();
    ddraw::ResetMachine();
    KilnDebugUnit().ResetForTest(ddoHaltOnError | ddoDebugMessage);
  }
  IDirectDrawSurface7* Raw(int w, int h, const DDPIXELFORMAT& f, DWORD caps = DDSCAPS_OFFSCREENPLAIN) {
    DDSURFACEDESC2 d = OffscreenDesc(w, h, &f, caps);
    IDirectDrawSurface7* s = nullptr;
    EXPECT_EQ(dd->CreateSurface(&d, &s, nullptr), DD_OK);
    made.push_back(s);
    return s;
  }
};

TEST_F(KilnCanvas, DrawsTextShapesAndPenModesOnSixteenAndThirtyTwoBits) {
  for (const DDPIXELFORMAT& format : {Rgb(16, 0xF800, 0x07E0, 0x001F), Rgb(32, 0xFF0000, 0xFF00, 0xFF)}) {
    SCOPED_TRACE(format.dwRGBBitCount);
    TKilnGenSurface surface(nullptr, 80, 40, Raw(80, 40, format));
    const DWORD blue = surface.PackColor(0, 0, 0, 255);
    DDBLTFX fx{};
    fx.dwSize = sizeof fx;
    fx.dwFillColor = blue;
    ASSERT_EQ(surface.Surface->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL | DDBLT_WAIT, &fx), DD_OK);
    {
      TKilnCanvas canvas(surface);
      ASSERT_TRUE(canvas.Ready);
      canvas.Brush.Style = forms::TBrushStyle::bsClear;
      canvas.Pen.Mode = forms::TPenMode::pmMerge;
      canvas.Pen.Color = forms::clRed;
      canvas.Rectangle(2, 2, 10, 10);
      canvas.Pen.Mode = forms::TPenMode::pmXor;
      canvas.Pen.Color = forms::clWhite;
      canvas.Ellipse(20, 2, 30, 12);
      canvas.Ellipse(20, 2, 30, 12);
      canvas.Rectangle(52, 2, 60, 10);
      canvas.Pen.Mode = forms::TPenMode::pmCopy;
      canvas.Brush.Style = forms::TBrushStyle::bsSolid;
      canvas.Brush.Color = 0x00FF00;
      canvas.Ellipse(40, 2, 50, 12);
      canvas.Brush.Style = forms::TBrushStyle::bsClear;
      canvas.Font.Color = forms::clWhite;
      canvas.Font.SetHeight(-12);
      canvas.TextOut(2, 16, "SCORE 120");
      canvas.MoveTo(0, 39);
      canvas.LineTo(79, 39);
    }
    IDirectDrawSurface7* s = surface.Surface;
    EXPECT_EQ(ReadPixel(s, 2, 5), surface.PackColor(0, 255, 0, 255));  // red merged into blue
    EXPECT_EQ(ReadPixel(s, 5, 5), blue);                               // the clear brush left the inside
    for (int y = 2; y < 12; ++y)
      for (int x = 20; x < 30; ++x) ASSERT_EQ(ReadPixel(s, x, y), blue) << x << "," << y;  // XOR twice
    EXPECT_EQ(ReadPixel(s, 52, 5), blue ^ surface.PackColor(0, 255, 255, 255));
    EXPECT_EQ(ReadPixel(s, 45, 7), surface.PackColor(0, 0, 255, 0));
    EXPECT_EQ(ReadPixel(s, 40, 39), surface.PackColor(0, 255, 255, 255));  // the white pen copied
    int text = 0;
    for (int y = 14; y < 34; ++y)
      for (int x = 2; x < 78; ++x) text += ReadPixel(s, x, y) == surface.PackColor(0, 255, 255, 255);
    EXPECT_GT(text, 20);
  }
}

TEST_F(KilnCanvas, TheDeviceContextIsTakenOnceAndOnlyWhenDrawing) {
  CountingSurface counting(Raw(16, 16, Rgb(32, 0xFF0000, 0xFF00, 0xFF)));
  TKilnGenSurface surface(nullptr, 16, 16, &counting);
  counting.calls.clear();
  {
    TKilnCanvas unused(surface);
    EXPECT_TRUE(unused.Ready);
    counting.calls.clear();
  }
  EXPECT_EQ(counting.Total(), 0);  // freeing an unused canvas calls nothing
  {
    TKilnCanvas canvas(surface);
    canvas.Rectangle(0, 0, 4, 4);
    canvas.LineTo(8, 8);
    EXPECT_EQ(counting.calls["GetDC"], 1);
    EXPECT_EQ(counting.calls["ReleaseDC"], 0);
  }
  EXPECT_EQ(counting.calls["ReleaseDC"], 1);
  DDSURFACEDESC2 d{};
  d.dwSize = sizeof d;
  EXPECT_EQ(counting.Lock(nullptr, &d, DDLOCK_WAIT, nullptr), DD_OK);  // given back
  counting.Unlock(nullptr);
}

TEST_F(KilnCanvas, ALostSurfaceGivesACanvasThatIsNotReady) {
  CountingSurface counting(Raw(16, 16, Rgb(16, 0xF800, 0x07E0, 0x001F), DDSCAPS_OFFSCREENPLAIN | DDSCAPS_VIDEOMEMORY));
  TKilnGenSurface surface(nullptr, 16, 16, &counting);
  ddraw::LoseSurfaces();
  {
    TKilnCanvas canvas(surface);
    EXPECT_FALSE(canvas.Ready);
    canvas.Rectangle(0, 0, 8, 8);
    EXPECT_FALSE(canvas.Ready);
  }
  EXPECT_EQ(counting.calls["ReleaseDC"], 0);
  ASSERT_EQ(surface.Restore(), DD_OK);
  TKilnCanvas after(surface);
  EXPECT_TRUE(after.Ready);
}

}  // namespace
