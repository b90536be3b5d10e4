#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/gdi/Gdi.h"

using gdi::MemoryTarget;
using gdi::PixelFormat;

namespace {

// 13 points at 96 dpi, as the head-up display asks for its status line.
constexpr LONG kPoints13 = -17;

HFONT MakeFont(const char* face, LONG height, BYTE charset = ANSI_CHARSET, BYTE quality = DEFAULT_QUALITY) {
  LOGFONTA lf{};
  lf.lfHeight = height;
  lf.lfWeight = FW_NORMAL;
  lf.lfCharSet = charset;
  lf.lfQuality = quality;
  std::snprintf(lf.lfFaceName, sizeof lf.lfFaceName, "%s", face);
  return CreateFontIndirectA(&lf);
}

struct TextCanvas {
  MemoryTarget target;
  HDC dc;
  HFONT font = nullptr;
  TextCanvas(int w, int h, PixelFormat f = PixelFormat::Xrgb8888())
      : target(w, h, f), dc(gdi::CreateTargetDC(&target)) {}
  ~TextCanvas() {
    SelectObject(dc, GetStockObject(SYSTEM_FONT));
    DeleteDC(dc);
    if (font) DeleteObject(font);
  }
  void Use(HFONT f) {
    SelectObject(dc, f);
    if (font) DeleteObject(font);
    font = f;
  }
  int CountNot(uint32_t v, int x0, int y0, int x1, int y1) const {
    int n = 0;
    for (int y = y0; y < y1; ++y)
      for (int x = x0; x < x1; ++x)
        if (target.Value(x, y) != v) ++n;
    return n;
  }
};

TEST(GdiText, InkStaysInsideTheTextExtentBox) {
  TextCanvas c(300, 60);
  c.Use(MakeFont("Tahoma", kPoints13));
  SetBkMode(c.dc, TRANSPARENT);
  SetTextColor(c.dc, RGB(255, 255, 255));
  const char* text = "SCORE : 00012340";
  SIZE sz{};
  ASSERT_TRUE(GetTextExtentPoint32A(c.dc, text, static_cast<int>(std::strlen(text)), &sz));
  EXPECT_GT(sz.cx, 60);
  EXPECT_GE(sz.cy, 17);
  ASSERT_TRUE(TextOutA(c.dc, 10, 10, text, static_cast<int>(std::strlen(text))));
  const int inside = c.CountNot(0, 10, 10, 10 + sz.cx, 10 + sz.cy);
  EXPECT_GT(inside, 100);
  EXPECT_EQ(c.CountNot(0, 0, 0, 300, 60), inside) << "ink outside the extent box";
  // Monochrome text: only the text colour, never a blend.
  for (int y = 0; y < 60; ++y)
    for (int x = 0; x < 300; ++x) {
      const uint32_t v = c.target.Value(x, y);
      ASSERT_TRUE(v == 0 || v == 0xFFFFFF) << std::hex << v;
    }
}

TEST(GdiText, OpaqueModeFillsTheBoxAndTransparentModeLeavesTheBackground) {
  TextCanvas c(200, 40);
  c.Use(MakeFont("Tahoma", kPoints13));
  SetTextColor(c.dc, RGB(255, 255, 255));
  SetBkColor(c.dc, RGB(0, 0, 255));
  SIZE sz{};
  GetTextExtentPoint32A(c.dc, "STOCK", 5, &sz);
  TextOutA(c.dc, 5, 5, "STOCK", 5);  // OPAQUE is the default
  EXPECT_EQ(c.target.Value(5, 5), 0x0000FFu);
  EXPECT_EQ(c.target.Value(5 + sz.cx - 1, 5 + sz.cy - 1), 0x0000FFu);
  EXPECT_EQ(c.target.Value(5 + sz.cx, 5), 0u);
  EXPECT_EQ(c.CountNot(0, 0, 0, 200, 40), sz.cx * sz.cy);

  TextCanvas t(200, 40);
  t.Use(MakeFont("Tahoma", kPoints13));
  SetTextColor(t.dc, RGB(255, 255, 255));
  SetBkMode(t.dc, TRANSPARENT);
  // The raster mode does not apply to text: an XOR pen mode still writes the text colour.
  SetROP2(t.dc, R2_XORPEN);
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 200; ++x) t.target.SetValue(x, y, 0x00FF00);
  TextOutA(t.dc, 5, 5, "STOCK", 5);
  int white = 0;
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 200; ++x) {
      const uint32_t v = t.target.Value(x, y);
      ASSERT_TRUE(v == 0x00FF00 || v == 0xFFFFFF);
      white += v == 0xFFFFFF;
    }
  EXPECT_GT(white, 30);
}

TEST(GdiText, JapaneseTextRendersWithAJapaneseGothic) {
  TextCanvas c(300, 40, PixelFormat::Rgb565());
  c.Use(MakeFont("ＭＳ ゴシック", -15, SHIFTJIS_CHARSET));
  SetBkMode(c.dc, TRANSPARENT);
  SetTextColor(c.dc, RGB(255, 255, 255));
  const std::string text = "原作脚本　-";
  SIZE sz{};
  ASSERT_TRUE(GetTextExtentPoint32A(c.dc, text.data(), static_cast<int>(text.size()), &sz));
  // Six characters of a fixed-pitch gothic: four kanji and a full-width space of 15 pixels,
  // and a half-width hyphen.
  EXPECT_GE(sz.cx, 5 * 14 + 6);
  EXPECT_LE(sz.cx, 5 * 16 + 9);
  ASSERT_TRUE(TextOutA(c.dc, 0, 0, text.data(), static_cast<int>(text.size())));
  // Each kanji cell carries ink, and the cells differ from each other (real glyphs, not boxes).
  std::vector<std::vector<uint32_t>> cells;
  const int cell = sz.cx > 0 ? 15 : 0;
  for (int k = 0; k < 4; ++k) {
    std::vector<uint32_t> px;
    for (int y = 0; y < sz.cy; ++y)
      for (int x = k * cell; x < (k + 1) * cell; ++x) px.push_back(c.target.Value(x, y));
    EXPECT_GT(c.CountNot(0, k * cell, 0, (k + 1) * cell, sz.cy), 20) << "character " << k;
    cells.push_back(px);
  }
  EXPECT_NE(cells[0], cells[1]);
  EXPECT_NE(cells[1], cells[2]);
  EXPECT_NE(cells[2], cells[3]);
  // The full-width space is blank.
  EXPECT_EQ(c.CountNot(0, 4 * cell + 1, 0, 5 * cell - 1, sz.cy), 0);
}

TEST(GdiText, JapaneseInALatinFaceFallsBackToRealGlyphs) {
  // The message box uses "MS UI Gothic"; a latin face asked for kanji must not draw boxes.
  TextCanvas a(100, 40), b(100, 40);
  a.Use(MakeFont("Tahoma", -16));
  b.Use(MakeFont("Tahoma", -16));
  SetBkMode(a.dc, TRANSPARENT);
  SetBkMode(b.dc, TRANSPARENT);
  SetTextColor(a.dc, RGB(255, 255, 255));
  SetTextColor(b.dc, RGB(255, 255, 255));
  const std::string kanji = "敵", missing = "\xF3\xBF\xBF\xBD";  // U+FFFFD: no font has it
  TextOutA(a.dc, 0, 0, kanji.data(), static_cast<int>(kanji.size()));
  TextOutA(b.dc, 0, 0, missing.data(), static_cast<int>(missing.size()));
  EXPECT_GT(a.CountNot(0, 0, 0, 100, 40), 20);
  bool differ = false;
  for (int y = 0; y < 40 && !differ; ++y)
    for (int x = 0; x < 100 && !differ; ++x) differ = a.target.Value(x, y) != b.target.Value(x, y);
  EXPECT_TRUE(differ);
}

TEST(GdiText, HeightsFollowGdiRules) {
  TextCanvas c(10, 10);
  TEXTMETRICA tm{};
  c.Use(MakeFont("Tahoma", -12));
  ASSERT_TRUE(GetTextMetricsA(c.dc, &tm));
  EXPECT_EQ(tm.tmHeight - tm.tmInternalLeading, 12);  // negative: the em height
  EXPECT_EQ(tm.tmAscent + tm.tmDescent, tm.tmHeight);
  c.Use(MakeFont("Tahoma", 20));
  ASSERT_TRUE(GetTextMetricsA(c.dc, &tm));
  EXPECT_EQ(tm.tmHeight, 20);  // positive: the cell height
  c.Use(MakeFont("MS UI Gothic", -19, SHIFTJIS_CHARSET));
  ASSERT_TRUE(GetTextMetricsA(c.dc, &tm));
  EXPECT_EQ(tm.tmHeight - tm.tmInternalLeading, 19);
  EXPECT_EQ(tm.tmCharSet, SHIFTJIS_CHARSET);
  // Point sizes of the program's fonts at 96 dpi.
  EXPECT_EQ(gdi::HeightFromPoints(11), -15);
  EXPECT_EQ(gdi::HeightFromPoints(13), -17);
  EXPECT_EQ(gdi::HeightFromPoints(14), -19);
  EXPECT_EQ(gdi::HeightFromPoints(30), -40);
}

TEST(GdiText, AntialiasedFontsBlendAndAlignmentMovesTheText) {
  TextCanvas c(200, 60);
  c.Use(MakeFont("Tahoma", -24, ANSI_CHARSET, ANTIALIASED_QUALITY));
  SetBkMode(c.dc, TRANSPARENT);
  SetTextColor(c.dc, RGB(255, 255, 255));
  TextOutA(c.dc, 5, 5, "GAME OVER", 9);
  bool partial = false;
  for (int y = 0; y < 60; ++y)
    for (int x = 0; x < 200; ++x) {
      const uint32_t v = c.target.Value(x, y);
      partial = partial || (v != 0 && v != 0xFFFFFF);
    }
  EXPECT_TRUE(partial);

  TextCanvas r(200, 40);
  r.Use(MakeFont("Tahoma", -16));
  SetBkMode(r.dc, TRANSPARENT);
  SetTextColor(r.dc, RGB(255, 255, 255));
  SetTextAlign(r.dc, TA_RIGHT | TA_TOP);
  SIZE sz{};
  GetTextExtentPoint32A(r.dc, "READY", 5, &sz);
  TextOutA(r.dc, 150, 5, "READY", 5);
  EXPECT_GT(r.CountNot(0, 150 - sz.cx, 5, 150, 5 + sz.cy), 20);
  EXPECT_EQ(r.CountNot(0, 150, 0, 200, 40), 0);
}

TEST(GdiText, BadTextIsRefusedOrDrawnSafely) {
  TextCanvas c(50, 30);
  c.Use(MakeFont("Tahoma", -12));
  const char broken[] = {'\xff', '\xfe', '\xe3', '\x81'};  // not UTF-8, and cut in the middle
  EXPECT_TRUE(TextOutA(c.dc, 0, 0, broken, 4));
  EXPECT_FALSE(TextOutA(c.dc, 0, 0, "abc", -1));
  EXPECT_FALSE(TextOutA(c.dc, 0, 0, nullptr, 3));
  EXPECT_TRUE(TextOutA(c.dc, 0, 0, "", 0));
  SIZE sz{1, 1};
  EXPECT_TRUE(GetTextExtentPoint32A(c.dc, "", 0, &sz));
  EXPECT_EQ(sz.cx, 0);
  // A face name that fills its whole field is cut, not read past.
  LOGFONTA lf{};
  lf.lfHeight = -12;
  std::memset(lf.lfFaceName, 'A', sizeof lf.lfFaceName);
  c.Use(CreateFontIndirectA(&lf));
  EXPECT_TRUE(TextOutA(c.dc, 0, 0, "x", 1));
}

}  // namespace
