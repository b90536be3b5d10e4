#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <thread>
#include <vector>

#include "platform/gdi/Gdi.h"

using gdi::MemoryTarget;
using gdi::PixelFormat;

namespace {

// A DC on a memory target, released with everything selected into it.
struct Canvas {
  MemoryTarget target;
  HDC dc;
  std::vector<HGDIOBJ> owned;

  Canvas(int w, int h, PixelFormat f = PixelFormat::Xrgb8888()) : target(w, h, f), dc(gdi::CreateTargetDC(&target)) {}
  ~Canvas() {
    SelectObject(dc, GetStockObject(BLACK_PEN));
    SelectObject(dc, GetStockObject(WHITE_BRUSH));
    DeleteDC(dc);
    for (HGDIOBJ o : owned) DeleteObject(o);
  }
  void Pen(int style, int width, COLORREF c) {
    HPEN p = CreatePen(style, width, c);
    owned.push_back(p);
    SelectObject(dc, p);
  }
  void Brush(COLORREF c) {
    HBRUSH b = CreateSolidBrush(c);
    owned.push_back(b);
    SelectObject(dc, b);
  }
  void NoBrush() { SelectObject(dc, GetStockObject(NULL_BRUSH)); }
  void Fill(uint32_t v) {
    for (int y = 0; y < target.Height(); ++y)
      for (int x = 0; x < target.Width(); ++x) target.SetValue(x, y, v);
  }
  void Noise(unsigned seed) {
    std::mt19937 rng(seed);
    for (int y = 0; y < target.Height(); ++y)
      for (int x = 0; x < target.Width(); ++x) target.SetValue(x, y, rng() & target.Format().ValueMask());
  }
  std::vector<uint8_t> Bytes() const { return {target.Memory(), target.Memory() + target.MemorySize()}; }
  // The pixels whose value is not `background`, as (x, y) pairs.
  std::vector<std::pair<int, int>> Painted(uint32_t background) const {
    std::vector<std::pair<int, int>> p;
    for (int y = 0; y < target.Height(); ++y)
      for (int x = 0; x < target.Width(); ++x)
        if (target.Value(x, y) != background) p.emplace_back(x, y);
    return p;
  }
};

TEST(GdiGeometry, RectangleLeavesRightAndBottomEdgesOutAndFillsInside) {
  Canvas c(40, 30);
  c.Pen(PS_SOLID, 1, RGB(255, 255, 255));
  c.Brush(RGB(0, 0, 255));
  ASSERT_TRUE(Rectangle(c.dc, 10, 10, 20, 15));
  for (int y = 0; y < 30; ++y) {
    for (int x = 0; x < 40; ++x) {
      const bool inBox = x >= 10 && x <= 19 && y >= 10 && y <= 14;
      const bool edge = inBox && (x == 10 || x == 19 || y == 10 || y == 14);
      const uint32_t expect = !inBox ? 0 : edge ? 0xFFFFFF : 0x0000FF;
      ASSERT_EQ(c.target.Value(x, y), expect) << x << "," << y;
    }
  }
}

TEST(GdiGeometry, NullPenFillsOnePixelLessAndWidePensStraddleTheEdge) {
  Canvas c(40, 30);
  SelectObject(c.dc, GetStockObject(NULL_PEN));
  c.Brush(RGB(255, 0, 0));
  Rectangle(c.dc, 10, 10, 20, 15);
  auto painted = c.Painted(0);
  EXPECT_EQ(painted.size(), 9u * 4u);  // x 10..18, y 10..13
  EXPECT_EQ(c.target.Value(18, 13), 0xFF0000u);
  EXPECT_EQ(c.target.Value(19, 13), 0u);

  Canvas w(40, 30);
  w.Pen(PS_SOLID, 3, RGB(255, 255, 255));
  w.NoBrush();
  Rectangle(w.dc, 10, 10, 20, 15);
  EXPECT_EQ(w.target.Value(9, 12), 0xFFFFFFu);   // one pixel outside the left edge
  EXPECT_EQ(w.target.Value(11, 12), 0xFFFFFFu);  // one pixel inside it
  EXPECT_EQ(w.target.Value(12, 12), 0u);
  EXPECT_EQ(w.target.Value(8, 12), 0u);

  Canvas f(40, 30);
  f.Pen(PS_INSIDEFRAME, 3, RGB(255, 255, 255));
  f.NoBrush();
  Rectangle(f.dc, 10, 10, 20, 20);
  EXPECT_EQ(f.target.Value(9, 15), 0u);
  EXPECT_EQ(f.target.Value(10, 15), 0xFFFFFFu);
  EXPECT_EQ(f.target.Value(12, 15), 0xFFFFFFu);
  EXPECT_EQ(f.target.Value(13, 15), 0u);
  EXPECT_EQ(f.target.Value(19, 15), 0xFFFFFFu);
  EXPECT_EQ(f.target.Value(20, 15), 0u);
}

TEST(GdiGeometry, EllipseTouchesItsBoxAndNothingOutsideIsSymmetricAndConnected) {
  // The radar circle of the head-up display, and a few awkward boxes.
  const RECT boxes[] = {{490, 330, 639, 479}, {2, 3, 12, 7}, {5, 5, 6, 9}, {1, 1, 30, 4}, {0, 0, 8, 8}};
  for (const RECT& b : boxes) {
    Canvas c(640, 480);
    c.Pen(PS_SOLID, 1, RGB(0, 255, 0));
    c.NoBrush();
    Ellipse(c.dc, b.left, b.top, b.right, b.bottom);
    auto painted = c.Painted(0);
    ASSERT_FALSE(painted.empty());
    int minX = 9999, maxX = -1, minY = 9999, maxY = -1;
    for (auto [x, y] : painted) {
      minX = std::min(minX, x), maxX = std::max(maxX, x), minY = std::min(minY, y), maxY = std::max(maxY, y);
      // Mirror images are painted too.
      EXPECT_NE(c.target.Value(b.left + b.right - 1 - x, y), 0u) << x << "," << y;
      EXPECT_NE(c.target.Value(x, b.top + b.bottom - 1 - y), 0u) << x << "," << y;
      // Each outline pixel has at least two outline neighbours (a closed curve, no stray dots).
      int neighbours = 0;
      for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx)
          if ((dx || dy) && c.target.Value(x + dx, y + dy) != 0) ++neighbours;
      // (The two ends of a very flat ellipse are tips with one neighbour.)
      EXPECT_GE(neighbours, (b.right - b.left > 3 && b.bottom - b.top > 3) ? 2 : 1) << x << "," << y;
    }
    EXPECT_EQ(minX, b.left);
    EXPECT_EQ(maxX, b.right - 1);
    EXPECT_EQ(minY, b.top);
    EXPECT_EQ(maxY, b.bottom - 1);
  }
}

TEST(GdiGeometry, FilledEllipseHasItsInteriorInTheBrushAndTheOutlineAround) {
  Canvas c(40, 40);
  c.Pen(PS_SOLID, 1, RGB(255, 255, 255));
  c.Brush(RGB(0, 0, 255));
  Ellipse(c.dc, 5, 5, 35, 25);
  EXPECT_EQ(c.target.Value(20, 15), 0x0000FFu);  // the centre
  EXPECT_EQ(c.target.Value(5, 15), 0xFFFFFFu);   // left and right extremes are outline
  EXPECT_EQ(c.target.Value(34, 15), 0xFFFFFFu);
  EXPECT_EQ(c.target.Value(5, 5), 0u);  // the box corners are outside the shape
  EXPECT_EQ(c.target.Value(34, 24), 0u);
  // Every row: outline, then brush, then outline, nothing else.
  for (int y = 6; y < 24; ++y) {
    int x = 0;
    while (x < 40 && c.target.Value(x, y) == 0) ++x;
    ASSERT_EQ(c.target.Value(x, y), 0xFFFFFFu) << y;
    while (x < 40 && c.target.Value(x, y) == 0xFFFFFF) ++x;
    while (x < 40 && c.target.Value(x, y) == 0x0000FF) ++x;
    while (x < 40 && c.target.Value(x, y) == 0xFFFFFF) ++x;
    while (x < 40 && c.target.Value(x, y) == 0) ++x;
    EXPECT_EQ(x, 40) << "row " << y;
  }
}

TEST(GdiGeometry, LineToLeavesItsLastPixelOutAndMovesThePosition) {
  Canvas c(20, 20);
  c.Pen(PS_SOLID, 1, RGB(255, 255, 255));
  MoveToEx(c.dc, 2, 3, nullptr);
  LineTo(c.dc, 10, 3);
  EXPECT_EQ(c.Painted(0).size(), 8u);
  EXPECT_EQ(c.target.Value(9, 3), 0xFFFFFFu);
  EXPECT_EQ(c.target.Value(10, 3), 0u);
  LineTo(c.dc, 10, 9);  // continues from where the last line ended
  EXPECT_EQ(c.target.Value(10, 3), 0xFFFFFFu);
  EXPECT_EQ(c.target.Value(10, 8), 0xFFFFFFu);
  EXPECT_EQ(c.target.Value(10, 9), 0u);
  POINT p{};
  MoveToEx(c.dc, 0, 0, &p);
  EXPECT_EQ(p.x, 10);
  EXPECT_EQ(p.y, 9);
  // A diagonal steps one pixel per row and column.
  Canvas d(20, 20);
  d.Pen(PS_SOLID, 1, RGB(255, 255, 255));
  MoveToEx(d.dc, 0, 0, nullptr);
  LineTo(d.dc, 10, 10);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(d.target.Value(i, i), 0xFFFFFFu);
  EXPECT_EQ(d.Painted(0).size(), 10u);
}

// The drawings of the head-up display, made with the XOR pen twice, give back the
// picture bit for bit; on 16 and 32 bits.
class GdiRop : public ::testing::TestWithParam<PixelFormat> {};

TEST_P(GdiRop, XorDrawnTwiceRestoresTheBuffer) {
  Canvas c(640, 480, GetParam());
  c.Noise(7);
  const auto before = c.Bytes();
  SetROP2(c.dc, R2_XORPEN);
  auto draw = [&] {
    c.Pen(PS_SOLID, 1, RGB(0, 255, 0));
    c.NoBrush();
    Ellipse(c.dc, 490, 330, 639, 479);
    MoveToEx(c.dc, 565, 400, nullptr);
    LineTo(c.dc, 560, 410);
    LineTo(c.dc, 570, 410);
    LineTo(c.dc, 565, 400);
    c.Pen(PS_SOLID, 1, RGB(120, 0, 0));
    c.Brush(0x33337F + 7);
    Ellipse(c.dc, 556, 391, 564, 399);
    Rectangle(c.dc, 100, 100, 140, 120);
    c.Pen(PS_SOLID, 3, RGB(255, 255, 255));
    Rectangle(c.dc, 8, 418, 474, 500);
    Ellipse(c.dc, 200, 200, 260, 240);
    MoveToEx(c.dc, 10, 10, nullptr);
    LineTo(c.dc, 300, 77);
    c.Pen(PS_INSIDEFRAME, 4, RGB(9, 200, 30));
    Ellipse(c.dc, 300, 50, 330, 90);
  };
  draw();
  EXPECT_NE(c.Bytes(), before);
  draw();
  EXPECT_EQ(c.Bytes(), before);
}

TEST_P(GdiRop, MergePenOrsTheStoredPixelValues) {
  const PixelFormat f = GetParam();
  Canvas c(30, 30, f);
  const uint32_t base = 0x1234 & f.ValueMask();
  c.Fill(base);
  SetROP2(c.dc, R2_MERGEPEN);
  c.Pen(PS_SOLID, 1, RGB(255, 255, 255));
  c.Brush(RGB(255, 0, 0));
  Rectangle(c.dc, 5, 5, 15, 15);
  const uint32_t red = gdi::ColorToPixel(RGB(255, 0, 0), f, nullptr);
  const uint32_t white = gdi::ColorToPixel(RGB(255, 255, 255), f, nullptr);
  EXPECT_EQ(c.target.Value(10, 10), base | red);
  EXPECT_EQ(c.target.Value(5, 10), base | white);
  EXPECT_EQ(c.target.Value(20, 20), base);
}

INSTANTIATE_TEST_SUITE_P(Formats, GdiRop, ::testing::Values(PixelFormat::Rgb565(), PixelFormat::Xrgb8888()),
                         [](const auto& info) { return info.param.bitsPerPixel == 16 ? "Rgb565" : "Xrgb8888"; });

TEST(GdiRopModes, ColoursAreStoredInTheTargetFormatAndSpareBitsAreKept) {
  Canvas c(4, 4, PixelFormat::Rgb565());
  c.Pen(PS_SOLID, 1, RGB(255, 0, 0));
  MoveToEx(c.dc, 0, 0, nullptr);
  LineTo(c.dc, 1, 0);
  EXPECT_EQ(c.target.Value(0, 0), 0xF800u);
  EXPECT_EQ(SetPixel(c.dc, 1, 1, RGB(255, 255, 255)), RGB(255, 255, 255));
  EXPECT_EQ(c.target.Value(1, 1), 0xFFFFu);

  // XOR on 32 bits changes the colour bytes only.
  Canvas x(4, 4);
  x.Fill(0xAB000000);
  SetROP2(x.dc, R2_XORPEN);
  x.Pen(PS_SOLID, 1, RGB(0, 255, 0));
  MoveToEx(x.dc, 0, 0, nullptr);
  LineTo(x.dc, 1, 0);
  EXPECT_EQ(x.target.Value(0, 0), 0xAB00FF00u);
}

TEST(GdiPixels, GetPixelThenSetPixelPutsBackEvery16BitValue) {
  // The display unit matches colours this way: save a pixel, draw, put it back.
  Canvas c(1, 1, PixelFormat::Rgb565());
  for (uint32_t v = 0; v < 0x10000; v += 7) {
    c.target.SetValue(0, 0, v);
    const COLORREF saved = GetPixel(c.dc, 0, 0);
    SetPixel(c.dc, 0, 0, RGB(1, 2, 3));
    SetPixel(c.dc, 0, 0, saved);
    ASSERT_EQ(c.target.Value(0, 0), v);
  }
  EXPECT_EQ(GetPixel(c.dc, 1, 0), CLR_INVALID);
  EXPECT_EQ(SetPixel(c.dc, -1, 0, 0), CLR_INVALID);
}

// A target with guard bytes around the pixels: a write outside shows up in the guards.
class GuardedTarget final : public gdi::IPixelTarget {
 public:
  GuardedTarget(int w, int h)
      : w_(w), h_(h), pitch_(w * 2 + 64), mem_(static_cast<std::size_t>(pitch_) * (h + 64), 0xEE) {
    for (int y = 0; y < h; ++y) std::memset(Pixels() + y * pitch_, 0, static_cast<std::size_t>(w) * 2);
  }
  int Width() const override { return w_; }
  int Height() const override { return h_; }
  PixelFormat Format() const override { return PixelFormat::Rgb565(); }
  bool BeginAccess(gdi::PixelAccess& a) override {
    a.bits = Pixels();
    a.pitch = pitch_;
    ++begun;
    return true;
  }
  void EndAccess() override { ++ended; }
  bool GuardsIntact() const {
    for (std::size_t i = 0; i < mem_.size(); ++i) {
      const std::ptrdiff_t off = static_cast<std::ptrdiff_t>(i) - 32 * pitch_;
      const bool inside = off >= 0 && off / pitch_ < h_ && off % pitch_ < w_ * 2;
      if (!inside && mem_[i] != 0xEE) return false;
    }
    return true;
  }
  int begun = 0, ended = 0;

 private:
  uint8_t* Pixels() { return mem_.data() + 32 * pitch_; }
  int w_, h_, pitch_;
  std::vector<uint8_t> mem_;
};

TEST(GdiClipping, HugeAndNegativeCoordinatesStayInsideTheTarget) {
  GuardedTarget t(64, 48);
  HDC dc = gdi::CreateTargetDC(&t);
  HPEN pen = CreatePen(PS_SOLID, 5, RGB(255, 255, 255));
  HBRUSH brush = CreateSolidBrush(RGB(0, 255, 0));
  SelectObject(dc, pen);
  SelectObject(dc, brush);
  const int big = 2'000'000'000;
  EXPECT_TRUE(Rectangle(dc, -big, -big, big, big));
  EXPECT_TRUE(Ellipse(dc, -big, -big, big, big));
  EXPECT_TRUE(Ellipse(dc, -100, -100, 20, 20));
  MoveToEx(dc, -big, -big, nullptr);
  EXPECT_TRUE(LineTo(dc, big, big));
  MoveToEx(dc, big, -big, nullptr);
  EXPECT_TRUE(LineTo(dc, -big, 17));
  RECT r{-big, 40, big, big};
  EXPECT_TRUE(FillRect(dc, &r, brush));
  EXPECT_TRUE(TextOutA(dc, -20, 40, "CLIPPED TEXT", 12));
  EXPECT_TRUE(TextOutA(dc, big, -big, "FAR", 3));
  HPEN fat = CreatePen(PS_SOLID, 1'000'000, RGB(9, 9, 9));
  SelectObject(dc, fat);
  MoveToEx(dc, -big, 3, nullptr);
  EXPECT_TRUE(LineTo(dc, big, 40));
  EXPECT_TRUE(Ellipse(dc, 0, 0, 10, 10));
  SelectObject(dc, pen);
  DeleteObject(fat);
  EXPECT_TRUE(SetViewportOrgEx(dc, big, big, nullptr));
  EXPECT_TRUE(Rectangle(dc, big, big, -big, -big));
  EXPECT_TRUE(t.GuardsIntact());
  EXPECT_EQ(t.begun, t.ended);
  SelectObject(dc, GetStockObject(BLACK_PEN));
  SelectObject(dc, GetStockObject(WHITE_BRUSH));
  DeleteObject(pen);
  DeleteObject(brush);
  DeleteDC(dc);
}

TEST(GdiClipping, ClipRectangleAndViewportOriginApply) {
  Canvas c(20, 20);
  IntersectClipRect(c.dc, 5, 5, 10, 10);
  RECT all{0, 0, 20, 20};
  HBRUSH b = CreateSolidBrush(RGB(255, 255, 255));
  FillRect(c.dc, &all, b);
  EXPECT_EQ(c.Painted(0).size(), 25u);
  RECT box{};
  EXPECT_EQ(GetClipBox(c.dc, &box), SIMPLEREGION);
  EXPECT_EQ(box.left, 5);
  EXPECT_EQ(box.right, 10);
  SelectClipRgn(c.dc, nullptr);
  c.Fill(0);
  SetViewportOrgEx(c.dc, 3, 4, nullptr);
  RECT one{0, 0, 1, 1};
  FillRect(c.dc, &one, b);
  EXPECT_EQ(c.target.Value(3, 4), 0xFFFFFFu);
  EXPECT_EQ(GetPixel(c.dc, 0, 0), RGB(255, 255, 255));
  DeleteObject(b);
}

TEST(GdiBlit, CopiesBetweenFormatsConvertingColours) {
  // A 24-bit bottom-up DIB, as a BMP file is laid out, copied onto a 16-bit surface.
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  bi.bmiHeader.biWidth = 4;
  bi.bmiHeader.biHeight = 2;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 24;
  void* bits = nullptr;
  HBITMAP bmp = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  ASSERT_NE(bmp, nullptr);
  ASSERT_NE(bits, nullptr);
  auto* mem = static_cast<uint8_t*>(bits);
  // First stored row is the bottom one: blue, green, red bytes; stride 12.
  const uint8_t bottom[12] = {0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255};
  const uint8_t top[12] = {8, 16, 24, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  std::memcpy(mem, bottom, 12);
  std::memcpy(mem + 12, top, 12);
  HDC src = CreateCompatibleDC(nullptr);
  ASSERT_NE(SelectObject(src, bmp), nullptr);
  EXPECT_EQ(GetPixel(src, 0, 1), RGB(255, 0, 0));

  Canvas c(8, 8, PixelFormat::Rgb565());
  ASSERT_TRUE(BitBlt(c.dc, 2, 3, 4, 2, src, 0, 0, SRCCOPY));
  EXPECT_EQ(c.target.Value(2, 4), 0xF800u);  // red
  EXPECT_EQ(c.target.Value(3, 4), 0x07E0u);  // green
  EXPECT_EQ(c.target.Value(4, 4), 0x001Fu);  // blue
  EXPECT_EQ(c.target.Value(5, 4), 0xFFFFu);  // white
  EXPECT_EQ(c.target.Value(2, 3), (24u >> 3) << 11 | (16u >> 2) << 5 | (8u >> 3));
  EXPECT_EQ(c.target.Value(1, 4), 0u);

  // Back from 16 to 32 bits: full channels read back as 0xFF.
  Canvas wide(8, 8);
  ASSERT_TRUE(BitBlt(wide.dc, 0, 0, 8, 8, c.dc, 0, 0, SRCCOPY));
  EXPECT_EQ(wide.target.Value(5, 4), 0xFFFFFFu);
  EXPECT_EQ(wide.target.Value(2, 4), 0xFF0000u);

  // A source rectangle partly outside the source copies only what exists.
  Canvas part(8, 8);
  part.Fill(0x123456);
  ASSERT_TRUE(BitBlt(part.dc, 0, 0, 8, 8, src, -2, 0, SRCCOPY));
  EXPECT_EQ(part.target.Value(0, 1), 0x123456u);
  EXPECT_EQ(part.target.Value(2, 1), 0xFF0000u);
  EXPECT_EQ(part.target.Value(6, 1), 0x123456u);

  DeleteDC(src);
  DeleteObject(bmp);
}

TEST(GdiBlit, FastConverterAgreesWithTheColourFunctions) {
  const PixelFormat formats[] = {
      PixelFormat::Rgb565(),   PixelFormat::Rgb555(),
      PixelFormat::Rgb888(),   PixelFormat::Xrgb8888(),
      PixelFormat::Indexed8(), PixelFormat{32, 0x000000FF, 0x0000FF00, 0x00FF0000, 0xFF000000}};
  for (const PixelFormat& from : formats)
    for (const PixelFormat& to : formats) {
      const gdi::PixelConverter convert(from, nullptr, to, nullptr);
      const uint32_t step = from.BytesPerPixel() <= 2 ? 1 : 40503;
      const uint64_t end = uint64_t(from.ValueMask()) + 1;
      for (uint64_t v = 0; v < end; v += step) {
        const uint32_t value = static_cast<uint32_t>(v);
        ASSERT_EQ(convert(value), gdi::ColorToPixel(gdi::PixelToColor(value, from, nullptr), to, nullptr))
            << from.bitsPerPixel << " -> " << to.bitsPerPixel << " value " << value;
      }
    }
}

TEST(GdiBlit, OverlappingCopyWithinOneTargetMovesThePicture) {
  Canvas c(10, 10);
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 10; ++x) c.target.SetValue(x, y, static_cast<uint32_t>(y * 10 + x));
  ASSERT_TRUE(BitBlt(c.dc, 1, 1, 8, 8, c.dc, 0, 0, SRCCOPY));
  for (int y = 1; y < 9; ++y)
    for (int x = 1; x < 9; ++x) ASSERT_EQ(c.target.Value(x, y), static_cast<uint32_t>((y - 1) * 10 + (x - 1)));
}

TEST(GdiBlit, PalettedDibCopiesThroughItsColourTable) {
  std::vector<uint8_t> info(sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD), 0);
  auto* bi = reinterpret_cast<BITMAPINFO*>(info.data());
  bi->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  bi->bmiHeader.biWidth = 2;
  bi->bmiHeader.biHeight = -1;  // top-down
  bi->bmiHeader.biPlanes = 1;
  bi->bmiHeader.biBitCount = 8;
  auto* table = reinterpret_cast<RGBQUAD*>(info.data() + sizeof(BITMAPINFOHEADER));
  table[3] = {10, 20, 30, 0};
  void* bits = nullptr;
  HBITMAP bmp = CreateDIBSection(nullptr, bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  ASSERT_NE(bmp, nullptr);
  static_cast<uint8_t*>(bits)[1] = 3;
  HDC src = CreateCompatibleDC(nullptr);
  SelectObject(src, bmp);
  Canvas c(2, 1);
  BitBlt(c.dc, 0, 0, 2, 1, src, 0, 0, SRCCOPY);
  EXPECT_EQ(c.target.Value(1, 0), 0x1E140Au);  // R 30, G 20, B 10
  DeleteDC(src);
  DeleteObject(bmp);
}

TEST(GdiObjects, HandlesAreCheckedAndSelectedObjectsCannotBeDeleted) {
  const std::size_t live = gdi::LiveObjectCount();
  {
    Canvas c(4, 4);
    HPEN pen = CreatePen(PS_SOLID, 1, 0);
    EXPECT_EQ(GetObjectType(pen), OBJ_PEN);
    HGDIOBJ old = SelectObject(c.dc, pen);
    EXPECT_EQ(old, GetStockObject(BLACK_PEN));
    EXPECT_FALSE(DeleteObject(pen));  // still in use
    SelectObject(c.dc, old);
    EXPECT_TRUE(DeleteObject(pen));
    // A deleted handle is refused everywhere, never followed.
    EXPECT_EQ(SelectObject(c.dc, pen), nullptr);
    EXPECT_FALSE(DeleteObject(pen));
    EXPECT_EQ(GetObjectType(pen), 0u);
    EXPECT_FALSE(Rectangle(reinterpret_cast<HDC>(pen), 0, 0, 1, 1));
    EXPECT_FALSE(TextOutA(nullptr, 0, 0, "x", 1));
    EXPECT_EQ(GetPixel(reinterpret_cast<HDC>(0x1234), 0, 0), CLR_INVALID);
    EXPECT_TRUE(DeleteObject(GetStockObject(WHITE_BRUSH)));  // harmless, and it stays usable
    EXPECT_EQ(GetObjectType(GetStockObject(WHITE_BRUSH)), OBJ_BRUSH);

    // A bitmap can be in one memory DC at a time.
    HBITMAP bmp = CreateCompatibleBitmap(c.dc, 3, 3);
    HDC a = CreateCompatibleDC(c.dc), b = CreateCompatibleDC(c.dc);
    EXPECT_NE(SelectObject(a, bmp), nullptr);
    EXPECT_EQ(SelectObject(b, bmp), nullptr);
    BITMAP info{};
    EXPECT_EQ(GetObjectA(bmp, sizeof info, &info), static_cast<int>(sizeof info));
    EXPECT_EQ(info.bmWidth, 3);
    EXPECT_EQ(info.bmBitsPixel, 32);
    DeleteDC(a);
    EXPECT_NE(SelectObject(b, bmp), nullptr);
    DeleteDC(b);
    EXPECT_TRUE(DeleteObject(bmp));
  }
  EXPECT_EQ(gdi::LiveObjectCount(), live);
}

TEST(GdiObjects, SaveAndRestoreBringBackTheState) {
  Canvas c(4, 4);
  const int level = SaveDC(c.dc);
  ASSERT_GT(level, 0);
  HPEN pen = CreatePen(PS_SOLID, 1, RGB(1, 2, 3));
  SelectObject(c.dc, pen);
  SetROP2(c.dc, R2_XORPEN);
  SetBkMode(c.dc, TRANSPARENT);
  EXPECT_TRUE(RestoreDC(c.dc, -1));
  EXPECT_EQ(GetROP2(c.dc), R2_COPYPEN);
  EXPECT_EQ(GetBkMode(c.dc), OPAQUE);
  EXPECT_EQ(GetCurrentObject(c.dc, OBJ_PEN), GetStockObject(BLACK_PEN));
  EXPECT_TRUE(DeleteObject(pen));
  EXPECT_FALSE(RestoreDC(c.dc, 1));
}

TEST(GdiObjects, DisplayInformationContextAndTargetCaps) {
  HDC ic = CreateICA("DISPLAY", nullptr, nullptr, nullptr);
  ASSERT_NE(ic, nullptr);
  const int bits = GetDeviceCaps(ic, BITSPIXEL);
  EXPECT_TRUE(bits == 8 || bits == 16 || bits == 24 || bits == 32);
  EXPECT_FALSE(Rectangle(ic, 0, 0, 2, 2));  // nothing to draw on
  DeleteDC(ic);
  EXPECT_EQ(CreateDCA("PRINTER", nullptr, nullptr, nullptr), nullptr);
  Canvas c(5, 6, PixelFormat::Rgb565());
  EXPECT_EQ(GetDeviceCaps(c.dc, BITSPIXEL), 16);
  EXPECT_EQ(GetDeviceCaps(c.dc, HORZRES), 5);
  EXPECT_EQ(GetDeviceCaps(c.dc, LOGPIXELSY), 96);
}

}  // namespace

namespace {

TEST(GdiThreads, ObjectsAndDrawingFromSeveralThreadsStayConsistent) {
  // The sound thread never draws, but the form and a loader may make objects while the
  // main thread draws; the object table must hold up.
  const std::size_t live = gdi::LiveObjectCount();
  std::vector<std::thread> threads;
  std::vector<int> ok(4, 0);
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&, t] {
      MemoryTarget target(64, 64, PixelFormat::Rgb565());
      HDC dc = gdi::CreateTargetDC(&target);
      for (int k = 0; k < 200; ++k) {
        HPEN pen = CreatePen(PS_SOLID, 1 + k % 3, RGB(k, t * 40, 255 - k));
        HBRUSH brush = CreateSolidBrush(RGB(t, k, 7));
        SelectObject(dc, pen);
        SelectObject(dc, brush);
        SetROP2(dc, R2_XORPEN);
        Ellipse(dc, k % 50, 3, k % 50 + 14, 40);
        Ellipse(dc, k % 50, 3, k % 50 + 14, 40);
        SelectObject(dc, GetStockObject(BLACK_PEN));
        SelectObject(dc, GetStockObject(WHITE_BRUSH));
        ok[t] += DeleteObject(pen) && DeleteObject(brush);
      }
      bool clean = true;
      for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) clean = clean && target.Value(x, y) == 0;
      ok[t] += clean ? 1 : 0;
      DeleteDC(dc);
    });
  for (auto& th : threads) th.join();
  for (int n : ok) EXPECT_EQ(n, 201);
  EXPECT_EQ(gdi::LiveObjectCount(), live);
}

}  // namespace
