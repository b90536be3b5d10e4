// GDI on a target at a render scale: coordinates stay the program's, the drawing lands on the
// fine grid. Text comes from the font at the scaled size (sharp, not a magnified glyph),
// exclusive-or works on the real pixels, pictures of coarse pixels are filtered up once.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/gdi/Gdi.h"

using gdi::MemoryTarget;
using gdi::PixelFormat;
using gdi::ScaledTarget;

namespace {

HFONT Tahoma(LONG height) {
  LOGFONTA lf{};
  lf.lfHeight = height;
  lf.lfWeight = FW_NORMAL;
  lf.lfCharSet = ANSI_CHARSET;
  std::snprintf(lf.lfFaceName, sizeof lf.lfFaceName, "%s", "Tahoma");
  return CreateFontIndirectA(&lf);
}

void WriteText(HDC dc, int x, int y, const char* text) {
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, RGB(255, 255, 255));
  ASSERT_TRUE(TextOutA(dc, x, y, text, static_cast<int>(std::strlen(text))));
}

// The status line of the head-up display at scale 1 and 2. Measure of "the same text in the
// same place": nearly every real pixel inked at scale 2 lies in a pixel of the program's grid
// that is inked at scale 1 or touches one, and nearly every pixel inked at scale 1 has ink in
// its block or a neighbouring one. Sharpness: a glyph magnified from the 1x one fills or leaves
// whole 2 x 2 blocks; one rasterised at twice the size cuts through many blocks.
TEST(GdiScale, TextIsRasterisedAtTheScaledSizeWithTheSameLayout) {
  const char* text = "ENERGY : STOCK : 03";
  constexpr int W = 200, H = 30;
  MemoryTarget one(W, H, PixelFormat::Xrgb8888());
  ScaledTarget two(W, H, 2);
  HDC dc1 = gdi::CreateTargetDC(&one), dc2 = gdi::CreateTargetDC(&two);
  HFONT f1 = Tahoma(-17), f2 = Tahoma(-17);
  SelectObject(dc1, f1);
  SelectObject(dc2, f2);
  WriteText(dc1, 10, 5, text);
  WriteText(dc2, 10, 5, text);
  // The layout the program measures is the same at any scale.
  SIZE s1{}, s2{};
  ASSERT_TRUE(GetTextExtentPoint32A(dc1, text, int(std::strlen(text)), &s1));
  ASSERT_TRUE(GetTextExtentPoint32A(dc2, text, int(std::strlen(text)), &s2));
  EXPECT_EQ(s1.cx, s2.cx);
  EXPECT_EQ(s1.cy, s2.cy);
  auto ink1 = [&](int x, int y) { return x >= 0 && y >= 0 && x < W && y < H && one.Value(x, y) != 0; };
  auto blockInk = [&](int x, int y) {
    if (x < 0 || y < 0 || x >= W || y >= H) return 0;
    return (two.At(2 * x, 2 * y) != 0) + (two.At(2 * x + 1, 2 * y) != 0) + (two.At(2 * x, 2 * y + 1) != 0) +
           (two.At(2 * x + 1, 2 * y + 1) != 0);
  };
  auto near = [](auto&& f, int x, int y) {
    for (int j = -1; j <= 1; ++j)
      for (int i = -1; i <= 1; ++i)
        if (f(x + i, y + j)) return true;
    return false;
  };
  int fineInk = 0, fineAway = 0, coarseInk = 0, coarseAway = 0, mixed = 0;
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      const int n = blockInk(x, y);
      mixed += n > 0 && n < 4;
      fineInk += n;
      if (n && !near(ink1, x, y)) fineAway += n;
      if (ink1(x, y)) {
        ++coarseInk;
        coarseAway += !near(blockInk, x, y);
      }
    }
  ASSERT_GT(coarseInk, 100);
  EXPECT_LE(fineAway * 50, fineInk) << fineAway << " of " << fineInk;
  EXPECT_LE(coarseAway * 50, coarseInk) << coarseAway << " of " << coarseInk;
  EXPECT_GT(mixed * 3, coarseInk) << mixed << " blocks cut by an edge, for " << coarseInk << " inked pixels";
  SelectObject(dc1, GetStockObject(SYSTEM_FONT));
  SelectObject(dc2, GetStockObject(SYSTEM_FONT));
  DeleteDC(dc1);
  DeleteDC(dc2);
  DeleteObject(f1);
  DeleteObject(f2);
}

TEST(GdiScale, ExclusiveOrShapesWorkOnTheRealPixelsAndUndoThemselves) {
  ScaledTarget t(40, 40, 3);
  t.Fill(0x204060);
  HDC dc = gdi::CreateTargetDC(&t);
  HPEN pen = CreatePen(PS_SOLID, 1, RGB(0, 255, 0));
  SelectObject(dc, pen);
  SelectObject(dc, GetStockObject(NULL_BRUSH));
  SetROP2(dc, R2_XORPEN);
  ASSERT_TRUE(Ellipse(dc, 5, 5, 35, 35));
  // The outline is a ring as wide as one pixel of the program's grid, drawn on the fine grid:
  // along the middle row it is three real pixels wide on each side.
  int row = 20 * 3 + 1, run = 0;
  for (int x = 0; x < 120; ++x) run += t.At(x, row) != 0x204060;
  EXPECT_EQ(run, 6);
  // Somewhere along the curve the fine outline leaves blocks partly covered.
  int mixed = 0;
  for (int by = 5; by < 35; ++by)
    for (int bx = 5; bx < 35; ++bx) {
      int n = 0;
      for (int j = 0; j < 3; ++j)
        for (int i = 0; i < 3; ++i) n += t.At(bx * 3 + i, by * 3 + j) != 0x204060;
      mixed += n > 0 && n < 9;
    }
  EXPECT_GT(mixed, 8);
  ASSERT_TRUE(Ellipse(dc, 5, 5, 35, 35));
  for (int y = 0; y < 120; ++y)
    for (int x = 0; x < 120; ++x) ASSERT_EQ(t.At(x, y), 0x204060u) << x << "," << y;
  SelectObject(dc, GetStockObject(BLACK_PEN));
  DeleteObject(pen);
  DeleteDC(dc);
}

TEST(GdiScale, APictureOfCoarsePixelsIsFilteredUpOnceAndMergedOnTheRealPixels) {
  MemoryTarget picture(8, 2, PixelFormat::Xrgb8888());
  for (int x = 4; x < 8; ++x)
    for (int y = 0; y < 2; ++y) picture.SetValue(x, y, 0xFFFFFF);
  HDC src = gdi::CreateTargetDC(&picture);
  ScaledTarget t(8, 2, 2);
  HDC dc = gdi::CreateTargetDC(&t);
  ASSERT_TRUE(BitBlt(dc, 0, 0, 8, 2, src, 0, 0, SRCCOPY));
  EXPECT_EQ(t.At(2, 1), 0u);
  EXPECT_EQ(t.At(7, 1), 0x404040u);
  EXPECT_EQ(t.At(8, 1), 0xBFBFBFu);
  EXPECT_EQ(t.At(13, 1), 0xFFFFFFu);
  // Merging (OR) a picture combines with each real pixel.
  t.Fill(0x0000FF);
  ASSERT_TRUE(BitBlt(dc, 0, 0, 8, 2, src, 0, 0, SRCPAINT));
  EXPECT_EQ(t.At(7, 1), 0x0000FFu);
  EXPECT_EQ(t.At(8, 1), 0xFFFFFFu);
  DeleteDC(dc);
  DeleteDC(src);
}

}  // namespace
