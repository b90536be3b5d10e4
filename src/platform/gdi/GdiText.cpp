// Text output and text measurement.
#include <algorithm>
#include <cstring>
#include <string>

#include "platform/gdi/GdiInternal.h"

using namespace gdi::detail;

namespace {

using i64 = long long;

std::string EncodeUtf8(char32_t c) {
  std::string s;
  if (c < 0x80) {
    s += static_cast<char>(c);
  } else if (c < 0x800) {
    s += static_cast<char>(0xC0 | (c >> 6));
    s += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    s += static_cast<char>(0xE0 | (c >> 12));
    s += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    s += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    s += static_cast<char>(0xF0 | (c >> 18));
    s += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    s += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    s += static_cast<char>(0x80 | (c & 0x3F));
  }
  return s;
}

// Puts the ink of a rasterized string at (x, y) (the cell's top-left corner on the pixels the
// surface writes: its fine grid at a render scale) in the text colour. Partial coverage (anti-aliased fonts) is blended
// with what is there; on a palette target it is rounded to ink or no ink.
void PaintInk(const Surface& s, const host::services::TextBitmap& tb, i64 x, i64 y, COLORREF colour) {
  const uint32_t ink = s.ToPixel(colour);
  const RECT& cl = s.FineClip();
  const i64 bx = x + tb.left, by = y + tb.top;
  const i64 j0 = std::max<i64>(0, cl.top - by), j1 = std::min<i64>(tb.height, cl.bottom - by);
  const i64 i0 = std::max<i64>(0, cl.left - bx), i1 = std::min<i64>(tb.width, cl.right - bx);
  for (i64 j = j0; j < j1; ++j) {
    const uint8_t* cov = tb.coverage.data() + j * tb.width;
    const int py = static_cast<int>(by + j);
    for (i64 i = i0; i < i1; ++i) {
      const uint8_t a = cov[i];
      if (a == 0) continue;
      const int px = static_cast<int>(bx + i);
      if (a == 255 || s.Format().Indexed()) {
        if (a >= 128) s.Write(px, py, ink);
        continue;
      }
      const COLORREF under = s.ToColor(s.Read(px, py));
      auto mix = [a](int fg, int bg) { return static_cast<BYTE>((fg * a + bg * (255 - a) + 127) / 255); };
      s.Write(px, py,
              s.ToPixel(RGB(mix(GetRValue(colour), GetRValue(under)), mix(GetGValue(colour), GetGValue(under)),
                            mix(GetBValue(colour), GetBValue(under)))));
    }
  }
}

void FillBox(const Surface& s, i64 l, i64 t, i64 r, i64 b, COLORREF colour) {
  const uint32_t v = s.ToPixel(colour);
  for (i64 y = std::max<i64>(t, s.Clip().top); y < std::min<i64>(b, s.Clip().bottom); ++y)
    s.BlockSpan(y, l, r, v, R2_COPYPEN);
}

}  // namespace

BOOL ExtTextOutA(HDC dc, int x, int y, UINT options, const RECT* rect, LPCSTR text, UINT length, const int* dx) {
  if (length > 0 && !text) return FALSE;
  Call c;
  auto* d = c.t.Get<DCObj>(dc);
  if (!d) return FALSE;
  const std::string_view str(text ? text : "", text ? length : 0);
  auto font = RealizeFont(d);
  Surface s(d);
  if (!s.Ok()) return FALSE;
  const i64 ox = d->state.viewportOrg.x, oy = d->state.viewportOrg.y;
  if (rect && (options & ETO_OPAQUE))
    FillBox(s, rect->left + ox, rect->top + oy, rect->right + ox, rect->bottom + oy, d->state.bkColor);
  if (rect && (options & ETO_CLIPPED))
    s.IntersectClip(rect->left + ox, rect->top + oy, rect->right + ox, rect->bottom + oy);
  if (!font) return str.empty() ? TRUE : FALSE;
  const auto& m = font->Metrics();

  // With dx the caller spaces the characters (one entry per character of the UTF-8 text).
  const std::u32string chars = dx ? host::services::DecodeUtf8(str) : std::u32string();
  i64 width = 0;
  if (dx) {
    for (std::size_t i = 0; i < chars.size(); ++i) width += dx[i];
  } else {
    width = font->TextWidth(str);
  }

  const UINT align = d->state.textAlign;
  i64 X = x, Y = y;
  if (align & TA_UPDATECP) X = d->state.position.x, Y = d->state.position.y;
  if ((align & TA_CENTER) == TA_CENTER) {
    X -= width / 2;
  } else if (align & TA_RIGHT) {
    X -= width;
  }
  if ((align & TA_BASELINE) == TA_BASELINE) {
    Y -= m.ascent;
  } else if (align & TA_BOTTOM) {
    Y -= m.height;
  }
  if (align & TA_UPDATECP) {
    if ((align & TA_CENTER) == TA_LEFT)
      d->state.position.x = static_cast<LONG>(std::clamp<i64>(d->state.position.x + width, INT32_MIN, INT32_MAX));
    if ((align & TA_CENTER) == TA_RIGHT)
      d->state.position.x = static_cast<LONG>(std::clamp<i64>(d->state.position.x - width, INT32_MIN, INT32_MAX));
  }
  X += ox, Y += oy;

  if (d->state.bkMode == OPAQUE) FillBox(s, X, Y, X + width, Y + m.height, d->state.bkColor);
  host::services::TextBitmap tb;
  // Underline and strike-out run across the whole cell width in the text colour.
  if (auto* f = c.t.Get<FontObj>(d->state.font); f && (f->log.lfUnderline || f->log.lfStrikeOut)) {
    const i64 thick = std::max(1, m.emHeight / 14);
    if (f->log.lfUnderline) {
      const i64 uy = Y + m.ascent + std::max<i64>(1, m.descent / 3);
      FillBox(s, X, uy, X + width, uy + thick, d->state.textColor);
    }
    if (f->log.lfStrikeOut) {
      const i64 sy = Y + m.ascent - m.emHeight * 3 / 10;
      FillBox(s, X, sy, X + width, sy + thick, d->state.textColor);
    }
  }
  // At a render scale the glyphs come from the font at the scale's size (hinted and drawn at
  // that size, not magnified), placed on the fine grid with their baseline where the font's is.
  const i64 sc = s.Scale();
  auto ink = sc > 1 ? RealizeFineFont(d, static_cast<int>(sc)) : font;
  const i64 fineY = sc > 1 ? (Y + m.ascent) * sc - ink->Metrics().ascent : Y;
  if (!dx && sc == 1) {
    ink->Rasterize(str, tb);
    PaintInk(s, tb, X, Y, d->state.textColor);
  } else if (!dx) {
    // Each character where the font at its own size puts it, so the text keeps its layout.
    const std::u32string each = host::services::DecodeUtf8(str);
    const std::vector<int> advances = font->Advances(str);
    i64 pen = X;
    for (std::size_t i = 0; i < each.size(); ++i) {
      ink->Rasterize(EncodeUtf8(each[i]), tb);
      PaintInk(s, tb, pen * sc, fineY, d->state.textColor);
      pen += i < advances.size() ? advances[i] : 0;
    }
  } else {
    i64 pen = X;
    for (std::size_t i = 0; i < chars.size(); ++i) {
      ink->Rasterize(EncodeUtf8(chars[i]), tb);
      PaintInk(s, tb, pen * sc, fineY, d->state.textColor);
      pen += dx[i];
    }
  }
  return TRUE;
}

BOOL TextOutA(HDC dc, int x, int y, LPCSTR text, int length) {
  if (length < 0) return FALSE;
  return ExtTextOutA(dc, x, y, 0, nullptr, text, static_cast<UINT>(length), nullptr);
}

BOOL GetTextExtentPoint32A(HDC dc, LPCSTR text, int length, SIZE* size) {
  if (!size || length < 0 || (length > 0 && !text)) return FALSE;
  Call c;
  auto* d = c.t.Get<DCObj>(dc);
  if (!d) return FALSE;
  auto font = RealizeFont(d);
  if (!font) return FALSE;
  size->cx = length ? font->TextWidth(std::string_view(text, static_cast<std::size_t>(length))) : 0;
  size->cy = font->Metrics().height;
  return TRUE;
}

BOOL GetTextMetricsA(HDC dc, TEXTMETRICA* tm) {
  if (!tm) return FALSE;
  Call c;
  auto* d = c.t.Get<DCObj>(dc);
  if (!d) return FALSE;
  auto font = RealizeFont(d);
  auto* f = c.t.Get<FontObj>(d->state.font);
  if (!font || !f) return FALSE;
  const auto& m = font->Metrics();
  std::memset(tm, 0, sizeof *tm);
  tm->tmHeight = m.height;
  tm->tmAscent = m.ascent;
  tm->tmDescent = m.descent;
  tm->tmInternalLeading = m.internalLeading;
  tm->tmAveCharWidth = m.averageCharWidth;
  tm->tmMaxCharWidth = m.maxCharWidth;
  tm->tmWeight = f->log.lfWeight == FW_DONTCARE ? FW_NORMAL : f->log.lfWeight;
  tm->tmDigitizedAspectX = 96;
  tm->tmDigitizedAspectY = 96;
  tm->tmFirstChar = 0x20;
  tm->tmLastChar = 0xFF;
  tm->tmDefaultChar = 0x1F;
  tm->tmBreakChar = 0x20;
  tm->tmItalic = f->log.lfItalic ? 1 : 0;
  tm->tmUnderlined = f->log.lfUnderline ? 1 : 0;
  tm->tmStruckOut = f->log.lfStrikeOut ? 1 : 0;
  tm->tmPitchAndFamily = 0x07;  // variable pitch, vector, TrueType
  tm->tmCharSet = f->log.lfCharSet;
  return TRUE;
}
