// Lines, rectangles, ellipses, pixels and block copies.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <vector>

#include "platform/gdi/GdiInternal.h"
#include "platform/host/Comforts.h"

using namespace gdi::detail;

namespace {

using i64 = long long;

// The pixels a line covers, row by row. A line, even a wide one, is convex, so each row
// holds one run of pixels; collecting the run per row paints every pixel exactly once and
// keeps the memory to one entry per row of the clip rectangle.
class RowRuns {
 public:
  explicit RowRuns(const RECT& clip)
      : top_(clip.top), runs_(static_cast<std::size_t>(std::max<LONG>(0, clip.bottom - clip.top)), {1, 0}) {}
  void Add(i64 y, i64 x0, i64 x1) {
    if (y < top_ || y >= top_ + static_cast<i64>(runs_.size()) || x0 >= x1) return;
    auto& r = runs_[static_cast<std::size_t>(y - top_)];
    if (r.first >= r.second) {
      r = {x0, x1};
    } else {
      r.first = std::min(r.first, x0);
      r.second = std::max(r.second, x1);
    }
  }
  void Paint(const Surface& s, uint32_t value, int rop2) const {
    for (std::size_t i = 0; i < runs_.size(); ++i)
      if (runs_[i].first < runs_[i].second)
        s.Span(top_ + static_cast<i64>(i), runs_[i].first, runs_[i].second, value, rop2);
  }

 private:
  i64 top_;
  std::vector<std::pair<i64, i64>> runs_;
};

// The pixels of the line (x0, y0) -> (x1, y1) without its last pixel, each widened to a
// width x width square, restricted to what can touch `clip`. Only the steps that can reach
// the clip rectangle are walked, so far-away endpoints cost nothing.
void LineSpans(i64 x0, i64 y0, i64 x1, i64 y1, int width, const RECT& clip, RowRuns& out) {
  const i64 dx = x1 - x0, dy = y1 - y0;
  const i64 adx = dx < 0 ? -dx : dx, ady = dy < 0 ? -dy : dy;
  if (adx == 0 && ady == 0) return;
  const i64 a = (width - 1) / 2, b = width / 2;  // the square spans [p - a, p + b]
  const bool xMajor = adx >= ady;
  const i64 n = xMajor ? adx : ady;  // steps; step n is the end point, not painted
  const i64 major0 = xMajor ? x0 : y0, minor0 = xMajor ? y0 : x0;
  const i64 sMajor = (xMajor ? dx : dy) < 0 ? -1 : 1, sMinor = (xMajor ? dy : dx) < 0 ? -1 : 1;
  const i64 dMajor = xMajor ? adx : ady, dMinor = xMajor ? ady : adx;
  const i64 lo = (xMajor ? clip.left : clip.top) - b, hi = (xMajor ? clip.right : clip.bottom) - 1 + a;
  const i64 mlo = (xMajor ? clip.top : clip.left) - b, mhi = (xMajor ? clip.bottom : clip.right) - 1 + a;
  i64 iLo, iHi;
  if (sMajor > 0) {
    iLo = std::max<i64>(0, lo - major0), iHi = std::min<i64>(n - 1, hi - major0);
  } else {
    iLo = std::max<i64>(0, major0 - hi), iHi = std::min<i64>(n - 1, major0 - lo);
  }
  for (i64 i = iLo; i <= iHi; ++i) {
    // Bresenham's minor coordinate for step i, computed directly (128-bit: the
    // coordinates may be anything an int holds).
    const __int128 num = static_cast<__int128>(2) * i * dMinor + dMajor;
    const i64 q = static_cast<i64>(num / (static_cast<__int128>(2) * dMajor));
    const i64 major = major0 + sMajor * i, minor = minor0 + sMinor * q;
    if (minor < mlo || minor > mhi) continue;
    const i64 x = xMajor ? major : minor, y = xMajor ? minor : major;
    if (width == 1) {
      out.Add(y, x, x + 1);
    } else {
      const i64 y0c = std::max<i64>(y - a, clip.top), y1c = std::min<i64>(y + b, clip.bottom - 1);
      for (i64 yy = y0c; yy <= y1c; ++yy) out.Add(yy, x - a, x + b + 1);
    }
  }
}

// Rows of a filled ellipse inscribed in the inclusive box [x0, x1] x [y0, y1]. The shape is
// symmetric left to right and top to bottom, and every row inside the box is non-empty, so
// the ellipse touches all four sides of its box.
struct EllipseRows {
  i64 x0, y0, x1, y1;
  double cy, rb, ra;
  EllipseRows(i64 l, i64 t, i64 r, i64 b) : x0(l), y0(t), x1(r), y1(b) {
    cy = (double(y0) + double(y1)) / 2.0;
    rb = (double(y1) - double(y0) + 1.0) / 2.0;
    ra = (double(x1) - double(x0) + 1.0) / 2.0;
  }
  bool Empty() const { return x1 < x0 || y1 < y0; }
  bool Row(i64 y, i64& L, i64& R) const {
    if (Empty() || y < y0 || y > y1) return false;
    const double d = (double(y) - cy) / rb;
    const double half = ra * std::sqrt(std::max(0.0, 1.0 - d * d));
    const double halfBox = (double(x1) - double(x0)) / 2.0;
    i64 k = static_cast<i64>(std::ceil(halfBox - half - 1e-9));
    k = std::clamp<i64>(k, 0, (x1 - x0) / 2);
    L = x0 + k;
    R = x1 - k;
    return true;
  }
};

struct DrawTools {
  bool pen = false;
  uint32_t penValue = 0;
  int penWidth = 1;
  bool insideFrame = false;
  bool brush = false;
  uint32_t brushValue = 0;
  int rop2 = R2_COPYPEN;
};

DrawTools ToolsOf(Table& t, DCObj* d, const Surface& s) {
  DrawTools k;
  k.rop2 = d->state.rop2;
  if (auto* p = t.Get<PenObj>(d->state.pen); p && p->style != PS_NULL) {
    k.pen = true;
    k.penValue = s.ToPixel(p->color);
    k.penWidth = std::max(1, p->width);
    k.insideFrame = p->style == PS_INSIDEFRAME;
  }
  COLORREF bc = 0;
  if (BrushColour(d->state.brush, bc)) {
    k.brush = true;
    k.brushValue = s.ToPixel(bc);
  }
  return k;
}

struct Box {
  i64 l, t, r, b;  // right and bottom exclusive, normalised
};

Box Normalised(DCObj* d, int left, int top, int right, int bottom) {
  const i64 ox = d->state.viewportOrg.x, oy = d->state.viewportOrg.y;
  i64 l = left + ox, r = right + ox, t = top + oy, b = bottom + oy;
  if (r < l) std::swap(l, r);
  if (b < t) std::swap(t, b);
  return {l, t, r, b};
}

// The boxes of a pen's outline around `bx`: the ellipse or rectangle drawn lies between them.
void PenBoxes(const Box& bx, const DrawTools& k, Box& outer, Box& inner) {
  const i64 w = k.penWidth;
  if (k.insideFrame) {
    outer = bx;
    inner = {bx.l + w, bx.t + w, bx.r - w, bx.b - w};
  } else {
    const i64 a = (w - 1) / 2, b = w / 2;
    outer = {bx.l - a, bx.t - a, bx.r + b, bx.b + b};
    inner = {bx.l + b + 1, bx.t + b + 1, bx.r - 1 - a, bx.b - 1 - a};
  }
}

}  // namespace

BOOL MoveToEx(HDC dc, int x, int y, POINT* old) {
  Call c;
  auto* d = c.t.Get<DCObj>(dc);
  if (!d) return FALSE;
  if (old) *old = d->state.position;
  d->state.position = {x, y};
  return TRUE;
}

namespace {

BOOL DrawLine(Table& t, DCObj* d, i64 fx, i64 fy, i64 tx, i64 ty) {
  Surface s(d);
  if (!s.Ok()) return FALSE;
  const DrawTools k = ToolsOf(t, d, s);
  if (!k.pen) return TRUE;
  const i64 ox = d->state.viewportOrg.x, oy = d->state.viewportOrg.y;
  // At a render scale the line runs between the centres of its end pixels' blocks on the fine
  // grid, with a pen as many fine pixels wide as the scale says.
  const i64 sc = s.Scale(), shift = (sc - 1) / 2;
  const auto fine = [sc, shift](i64 v) { return v * sc + shift; };
  RowRuns spans(s.FineClip());
  LineSpans(fine(fx + ox), fine(fy + oy), fine(tx + ox), fine(ty + oy), k.penWidth * static_cast<int>(sc), s.FineClip(),
            spans);
  spans.Paint(s, k.penValue, k.rop2);
  return TRUE;
}

}  // namespace

BOOL LineTo(HDC dc, int x, int y) {
  Call c;
  auto* d = c.t.Get<DCObj>(dc);
  if (!d) return FALSE;
  const POINT from = d->state.position;
  d->state.position = {x, y};  // the position moves even where nothing can be drawn
  return DrawLine(c.t, d, from.x, from.y, x, y);
}

BOOL Polyline(HDC dc, const POINT* points, int count) {
  if (!points || count < 2) return FALSE;
  Call c;
  auto* d = c.t.Get<DCObj>(dc);
  if (!d) return FALSE;
  BOOL ok = TRUE;
  for (int i = 1; i < count; ++i)
    ok = DrawLine(c.t, d, points[i - 1].x, points[i - 1].y, points[i].x, points[i].y) && ok;
  return ok;
}

BOOL Rectangle(HDC dc, int left, int top, int right, int bottom) {
  Call c;
  auto* d = c.t.Get<DCObj>(dc);
  if (!d) return FALSE;
  Surface s(d);
  if (!s.Ok()) return FALSE;
  const DrawTools k = ToolsOf(c.t, d, s);
  const Box bx = Normalised(d, left, top, right, bottom);
  const RECT& cl = s.Clip();
  if (!k.pen) {
    // Without an outline GDI fills one pixel less to the right and bottom.
    if (!k.brush) return TRUE;
    for (i64 y = std::max<i64>(bx.t, cl.top); y < std::min<i64>(bx.b - 1, cl.bottom); ++y)
      s.BlockSpan(y, bx.l, bx.r - 1, k.brushValue, k.rop2);
    return TRUE;
  }
  Box outer, inner;
  PenBoxes(bx, k, outer, inner);
  if (bx.r == bx.l || bx.b == bx.t) return TRUE;  // an empty box draws nothing
  const bool hasInner = inner.l < inner.r && inner.t < inner.b;
  for (i64 y = std::max<i64>(outer.t, cl.top); y < std::min<i64>(outer.b, cl.bottom); ++y) {
    if (hasInner && y >= inner.t && y < inner.b) {
      s.BlockSpan(y, outer.l, inner.l, k.penValue, k.rop2);
      s.BlockSpan(y, inner.r, outer.r, k.penValue, k.rop2);
      if (k.brush) s.BlockSpan(y, inner.l, inner.r, k.brushValue, k.rop2);
    } else {
      s.BlockSpan(y, outer.l, outer.r, k.penValue, k.rop2);
    }
  }
  return TRUE;
}

namespace {

// The ring between two ellipses inscribed in the boxes (right and bottom exclusive) on the
// pixels `s` writes (fine or not), the inside filled with the brush.
void Ring(const Surface& s, const DrawTools& k, const Box& outer, const Box& inner, const RECT& cl) {
  const EllipseRows eo(outer.l, outer.t, outer.r - 1, outer.b - 1);
  const EllipseRows ei(inner.l, inner.t, inner.r - 1, inner.b - 1);
  for (i64 y = std::max<i64>(outer.t, cl.top); y < std::min<i64>(outer.b, cl.bottom); ++y) {
    i64 oL, oR, iL = 0, iR = -1;
    if (!eo.Row(y, oL, oR)) continue;
    bool hasInner = ei.Row(y, iL, iR);
    if (hasInner) {
      iL = std::max(iL, oL + 1);
      iR = std::min(iR, oR - 1);
      hasInner = iL <= iR;
    }
    if (!hasInner) {
      s.Span(y, oL, oR + 1, k.penValue, k.rop2);
      continue;
    }
    s.Span(y, oL, iL, k.penValue, k.rop2);
    s.Span(y, iR + 1, oR + 1, k.penValue, k.rop2);
    if (k.brush) s.Span(y, iL, iR + 1, k.brushValue, k.rop2);
  }
}

Box Times(const Box& b, i64 k) { return {b.l * k, b.t * k, b.r * k, b.b * k}; }

// An ellipse at a render scale: the shape of the DC's coordinates, its curve drawn on the fine
// grid (the outline as the ring between the pen's outer and inner boxes, scaled).
void FineEllipse(const Surface& s, const DrawTools& k, const Box& bx) {
  const i64 sc = s.Scale();
  const RECT& cl = s.FineClip();
  if (!k.pen) {
    if (!k.brush) return;
    // Without an outline the fill keeps to one pixel less to the right and bottom.
    const Box fill = Times({bx.l, bx.t, bx.r - 1, bx.b - 1}, sc);
    const EllipseRows e(fill.l, fill.t, fill.r - 1, fill.b - 1);
    for (i64 y = std::max<i64>(fill.t, cl.top); y < std::min<i64>(fill.b, cl.bottom); ++y) {
      i64 L, R;
      if (e.Row(y, L, R)) s.Span(y, L, R + 1, k.brushValue, k.rop2);
    }
    return;
  }
  Box outer, inner;
  if (k.penWidth == 1) {
    outer = bx;
    inner = {bx.l + 1, bx.t + 1, bx.r - 1, bx.b - 1};
  } else {
    PenBoxes(bx, k, outer, inner);
  }
  Ring(s, k, Times(outer, sc), Times(inner, sc), cl);
}

}  // namespace

BOOL Ellipse(HDC dc, int left, int top, int right, int bottom) {
  Call c;
  auto* d = c.t.Get<DCObj>(dc);
  if (!d) return FALSE;
  Surface s(d);
  if (!s.Ok()) return FALSE;
  const DrawTools k = ToolsOf(c.t, d, s);
  const Box bx = Normalised(d, left, top, right, bottom);
  if (bx.r == bx.l || bx.b == bx.t) return TRUE;
  if (s.Scale() > 1) {
    FineEllipse(s, k, bx);
    return TRUE;
  }
  const RECT& cl = s.Clip();
  if (!k.pen) {
    if (!k.brush) return TRUE;
    const EllipseRows e(bx.l, bx.t, bx.r - 2, bx.b - 2);
    for (i64 y = std::max<i64>(bx.t, cl.top); y < std::min<i64>(bx.b - 1, cl.bottom); ++y) {
      i64 L, R;
      if (e.Row(y, L, R)) s.Span(y, L, R + 1, k.brushValue, k.rop2);
    }
    return TRUE;
  }
  const i64 w = k.penWidth;
  if (w == 1) {
    // A one-pixel outline: on each row, from the edge of the shape to where the next row
    // further from the centre begins, so the outline is connected and never doubled.
    const EllipseRows e(bx.l, bx.t, bx.r - 1, bx.b - 1);
    for (i64 y = std::max<i64>(bx.t, cl.top); y < std::min<i64>(bx.b, cl.bottom); ++y) {
      i64 L, R, Lf, Rf;
      if (!e.Row(y, L, R)) continue;
      const i64 far = double(y) < e.cy ? y - 1 : y + 1;
      if (!e.Row(far, Lf, Rf)) {
        s.Span(y, L, R + 1, k.penValue, k.rop2);
        continue;
      }
      const i64 leftEnd = std::max(L, Lf - 1), rightStart = std::min(R, Rf + 1);
      if (leftEnd + 1 >= rightStart) {
        s.Span(y, L, R + 1, k.penValue, k.rop2);
        continue;
      }
      s.Span(y, L, leftEnd + 1, k.penValue, k.rop2);
      s.Span(y, rightStart, R + 1, k.penValue, k.rop2);
      if (k.brush) s.Span(y, leftEnd + 1, rightStart, k.brushValue, k.rop2);
    }
    return TRUE;
  }
  // A wide pen: the ring between an outer and an inner ellipse.
  Box outer, inner;
  PenBoxes(bx, k, outer, inner);
  Ring(s, k, outer, inner, cl);
  return TRUE;
}

int FillRect(HDC dc, const RECT* rect, HBRUSH brush) {
  if (!rect) return 0;
  Call c;
  auto* d = c.t.Get<DCObj>(dc);
  if (!d) return 0;
  COLORREF colour;
  if (!BrushColour(brush, colour)) return reinterpret_cast<std::uintptr_t>(brush) ? TRUE : FALSE;
  Surface s(d);
  if (!s.Ok()) return 0;
  const i64 ox = d->state.viewportOrg.x, oy = d->state.viewportOrg.y;
  const uint32_t v = s.ToPixel(colour);
  const i64 top = std::max<i64>(rect->top + oy, s.Clip().top),
            bottom = std::min<i64>(rect->bottom + oy, s.Clip().bottom);
  for (i64 y = top; y < bottom; ++y) s.BlockSpan(y, rect->left + ox, rect->right + ox, v, R2_COPYPEN);
  return TRUE;
}

int FrameRect(HDC dc, const RECT* rect, HBRUSH brush) {
  if (!rect) return 0;
  Call c;
  auto* d = c.t.Get<DCObj>(dc);
  if (!d) return 0;
  COLORREF colour;
  if (!BrushColour(brush, colour)) return 0;
  Surface s(d);
  if (!s.Ok()) return 0;
  const i64 ox = d->state.viewportOrg.x, oy = d->state.viewportOrg.y;
  const i64 l = rect->left + ox, r = rect->right + ox, t = rect->top + oy, b = rect->bottom + oy;
  if (r <= l || b <= t) return TRUE;
  const uint32_t v = s.ToPixel(colour);
  const i64 top = std::max<i64>(t, s.Clip().top), bottom = std::min<i64>(b, s.Clip().bottom);
  for (i64 y = top; y < bottom; ++y) {
    if (y == t || y == b - 1) {
      s.BlockSpan(y, l, r, v, R2_COPYPEN);
    } else {
      s.BlockSpan(y, l, l + 1, v, R2_COPYPEN);
      if (r - 1 > l) s.BlockSpan(y, r - 1, r, v, R2_COPYPEN);
    }
  }
  return TRUE;
}

COLORREF GetPixel(HDC dc, int x, int y) {
  Call c;
  auto* d = c.t.Get<DCObj>(dc);
  if (!d) return CLR_INVALID;
  Surface s(d);
  if (!s.Ok()) return CLR_INVALID;
  const i64 px = i64(x) + d->state.viewportOrg.x, py = i64(y) + d->state.viewportOrg.y;
  const RECT& cl = s.Clip();
  if (px < cl.left || px >= cl.right || py < cl.top || py >= cl.bottom) return CLR_INVALID;
  // At a render scale: the first pixel of the block.
  return s.ToColor(s.Read(static_cast<int>(px * s.Scale()), static_cast<int>(py * s.Scale())));
}

COLORREF SetPixel(HDC dc, int x, int y, COLORREF color) {
  Call c;
  auto* d = c.t.Get<DCObj>(dc);
  if (!d) return CLR_INVALID;
  Surface s(d);
  if (!s.Ok()) return CLR_INVALID;
  const i64 px = i64(x) + d->state.viewportOrg.x, py = i64(y) + d->state.viewportOrg.y;
  const RECT& cl = s.Clip();
  if (px < cl.left || px >= cl.right || py < cl.top || py >= cl.bottom) return CLR_INVALID;
  const uint32_t v = s.ToPixel(color & 0x01FFFFFFu);
  if (s.Scale() == 1)
    s.Write(static_cast<int>(px), static_cast<int>(py), v);
  else
    s.BlockSpan(py, px, px + 1, v, R2_COPYPEN);  // the whole block
  return s.ToColor(v);
}

namespace {

bool NeedsSource(DWORD rop) {
  return rop == SRCCOPY || rop == SRCPAINT || rop == SRCAND || rop == SRCINVERT || rop == NOTSRCCOPY;
}

bool Supported(DWORD rop) {
  return NeedsSource(rop) || rop == DSTINVERT || rop == BLACKNESS || rop == WHITENESS || rop == PATCOPY;
}

uint32_t LoadPixel(const uint8_t* p, int bytes) {
  uint32_t v = 0;
  for (int q = 0; q < bytes; ++q) v |= uint32_t(p[q]) << (8 * q);
  return v;
}

void StorePixel(uint8_t* p, uint32_t v, int bytes) {
  for (int q = 0; q < bytes; ++q) p[q] = uint8_t(v >> (8 * q));
}

template <int SB, int DB>
void ConvertRowT(const uint8_t* src, uint8_t* dst, int n, const gdi::PixelConverter& convert) {
  for (int i = 0; i < n; ++i, src += SB, dst += DB) StorePixel(dst, convert(LoadPixel(src, SB)), DB);
}

// One row of pixels from one format to another; the byte sizes are fixed per instance so
// that the loads and stores compile to single moves.
void ConvertRow(const uint8_t* src, uint8_t* dst, int n, int sb, int db, const gdi::PixelConverter& convert) {
  switch (sb * 8 + db) {
    case 1 * 8 + 1:
      return ConvertRowT<1, 1>(src, dst, n, convert);
    case 1 * 8 + 2:
      return ConvertRowT<1, 2>(src, dst, n, convert);
    case 1 * 8 + 3:
      return ConvertRowT<1, 3>(src, dst, n, convert);
    case 1 * 8 + 4:
      return ConvertRowT<1, 4>(src, dst, n, convert);
    case 2 * 8 + 1:
      return ConvertRowT<2, 1>(src, dst, n, convert);
    case 2 * 8 + 2:
      return ConvertRowT<2, 2>(src, dst, n, convert);
    case 2 * 8 + 3:
      return ConvertRowT<2, 3>(src, dst, n, convert);
    case 2 * 8 + 4:
      return ConvertRowT<2, 4>(src, dst, n, convert);
    case 3 * 8 + 1:
      return ConvertRowT<3, 1>(src, dst, n, convert);
    case 3 * 8 + 2:
      return ConvertRowT<3, 2>(src, dst, n, convert);
    case 3 * 8 + 3:
      return ConvertRowT<3, 3>(src, dst, n, convert);
    case 3 * 8 + 4:
      return ConvertRowT<3, 4>(src, dst, n, convert);
    case 4 * 8 + 1:
      return ConvertRowT<4, 1>(src, dst, n, convert);
    case 4 * 8 + 2:
      return ConvertRowT<4, 2>(src, dst, n, convert);
    case 4 * 8 + 3:
      return ConvertRowT<4, 3>(src, dst, n, convert);
    default:
      return ConvertRowT<4, 4>(src, dst, n, convert);
  }
}

bool SamePalette(const Surface& a, const Surface& b) {
  if (!a.Format().Indexed()) return true;
  return a.Palette() == b.Palette() || std::memcmp(a.Palette(), b.Palette(), 256 * sizeof(PALETTEENTRY)) == 0;
}

uint32_t CombineRop(DWORD rop, uint32_t s, uint32_t dv, uint32_t bits) {
  uint32_t r = 0;
  switch (rop) {
    case SRCCOPY:
      r = s;
      break;
    case SRCPAINT:
      r = s | dv;
      break;
    case SRCAND:
      r = s & dv;
      break;
    case SRCINVERT:
      r = s ^ dv;
      break;
    default:
      r = ~s;
      break;  // NOTSRCCOPY
  }
  return (r & bits) | (dv & ~bits);
}

// A block copy where either side is at a render scale. `to` is the destination rectangle in the
// DC's coordinates (already inside the clip and the source), (sx, sy) the source's corner. The
// operation works on the destination's real pixels: a picture of coarser pixels is filtered up
// once for a plain copy, and otherwise each real pixel is combined with its source pixel.
void ScaledBlt(const Surface& ds, const Surface& ss, const RECT& to, int sx, int sy, DWORD rop) {
  const int kd = ds.Scale(), ks = ss.Scale();
  const int w = to.right - to.left, h = to.bottom - to.top;
  const RECT& fc = ds.FineClip();
  // The source's pixels of the rectangle on its own grid, as destination values (read first,
  // so that a copy within one surface never reads what it has written).
  const int sw = w * ks, sh = h * ks;
  std::vector<uint32_t> src(static_cast<std::size_t>(sw) * sh);
  const bool sameFormat = ss.Format() == ds.Format() && SamePalette(ss, ds);
  const gdi::PixelConverter convert(ss.Format(), ss.Palette(), ds.Format(), ds.Palette());
  for (int j = 0; j < sh; ++j)
    for (int i = 0; i < sw; ++i) {
      const uint32_t v = ss.Read(sx * ks + i, sy * ks + j);
      src[static_cast<std::size_t>(j) * sw + i] = sameFormat ? v : convert(v);
    }
  const int fx0 = to.left * kd, fy0 = to.top * kd, fw = w * kd, fh = h * kd;
  std::vector<uint32_t> up;
  if (rop == SRCCOPY && ks < kd && kd % ks == 0 && !ds.Format().Indexed()) {
    std::vector<uint32_t> xrgb(src.size());
    for (std::size_t i = 0; i < src.size(); ++i) {
      const COLORREF c = ds.ToColor(src[i]);
      xrgb[i] = (uint32_t(GetRValue(c)) << 16) | (uint32_t(GetGValue(c)) << 8) | GetBValue(c);
    }
    host::ScalePictureUp(xrgb.data(), sw, sh, sw, kd / ks, up);
    for (uint32_t& v : up) v = ds.ToPixel(RGB(v >> 16, (v >> 8) & 0xFF, v & 0xFF));
  }
  const uint32_t bits = ds.ColourBits();
  for (int j = 0; j < fh; ++j) {
    const int y = fy0 + j;
    if (y < fc.top || y >= fc.bottom) continue;
    // The source row: the same fine row at equal scales, else the one of the pixel's block.
    const int srow = ks == kd ? j : (j / kd) * ks;
    for (int i = 0; i < fw; ++i) {
      const int x = fx0 + i;
      if (x < fc.left || x >= fc.right) continue;
      uint32_t v;
      if (!up.empty()) {
        v = up[static_cast<std::size_t>(j) * fw + i];
      } else {
        const int scol = ks == kd ? i : (i / kd) * ks;
        v = src[static_cast<std::size_t>(srow) * sw + scol];
      }
      ds.Write(x, y, rop == SRCCOPY ? v : CombineRop(rop, v, ds.Read(x, y), bits));
    }
  }
}

}  // namespace

BOOL BitBlt(HDC dst, int x, int y, int width, int height, HDC src, int srcX, int srcY, DWORD rop) {
  Call c;
  auto* dd = c.t.Get<DCObj>(dst);
  if (!dd) return FALSE;
  if (!Supported(rop)) {
    c.t.ReportGap("BitBlt raster operation " + std::to_string(rop));
    return FALSE;
  }
  DCObj* sd = nullptr;
  if (NeedsSource(rop)) {
    sd = c.t.Get<DCObj>(src);
    if (!sd) return FALSE;
  }
  if (width <= 0 || height <= 0) return TRUE;
  Surface ds(dd);
  if (!ds.Ok()) return FALSE;
  const i64 X = i64(x) + dd->state.viewportOrg.x, Y = i64(y) + dd->state.viewportOrg.y;
  const RECT& cl = ds.Clip();
  if (!sd) {
    uint32_t v = 0;
    if (rop == BLACKNESS) v = ds.ToPixel(0);
    if (rop == WHITENESS) v = ds.ToPixel(0xFFFFFF);
    int r2 = rop == DSTINVERT ? R2_NOT : R2_COPYPEN;
    if (rop == PATCOPY) {
      COLORREF bc;
      if (!BrushColour(dd->state.brush, bc)) return TRUE;
      v = ds.ToPixel(bc);
    }
    for (i64 yy = std::max<i64>(Y, cl.top); yy < std::min<i64>(Y + height, cl.bottom); ++yy)
      ds.BlockSpan(yy, X, X + width, v, r2);
    return TRUE;
  }
  // The same pixels on both sides: use one access and copy through a buffer.
  const bool same = TargetOfDC(sd) == ds.Target();
  std::unique_ptr<Surface> ownSrc;
  if (!same) {
    ownSrc = std::make_unique<Surface>(sd);
    if (!ownSrc->Ok()) return FALSE;
  }
  const Surface& ss = same ? ds : *ownSrc;
  const i64 SX = i64(srcX) + sd->state.viewportOrg.x, SY = i64(srcY) + sd->state.viewportOrg.y;
  const gdi::IPixelTarget* st = ss.Target();
  // The part of the rectangle that lies inside the destination clip and the source bitmap.
  const i64 lo = std::max<i64>({0, cl.left - X, -SX});
  const i64 hi = std::min<i64>({width, cl.right - X, st->Width() - SX});
  const i64 top = std::max<i64>({0, cl.top - Y, -SY});
  const i64 bottom = std::min<i64>({height, cl.bottom - Y, st->Height() - SY});
  if (lo >= hi || top >= bottom) return TRUE;
  if (ds.Scale() > 1 || ss.Scale() > 1) {
    ScaledBlt(ds, ss,
              RECT{static_cast<LONG>(X + lo), static_cast<LONG>(Y + top), static_cast<LONG>(X + hi),
                   static_cast<LONG>(Y + bottom)},
              static_cast<int>(SX + lo), static_cast<int>(SY + top), rop);
    return TRUE;
  }
  const int n = static_cast<int>(hi - lo), rows = static_cast<int>(bottom - top);
  const bool sameFormat = ss.Format() == ds.Format() && SamePalette(ss, ds);
  const int sb = ss.Bpp(), db = ds.Bpp();
  // Copy rows in an order that never reads a row already overwritten.
  const bool upward = same && Y + top > SY + top;
  std::vector<uint8_t> row(static_cast<std::size_t>(n) * sb);
  const gdi::PixelConverter convert(ss.Format(), ss.Palette(), ds.Format(), ds.Palette());
  const uint32_t bits = ds.ColourBits();
  for (int k = 0; k < rows; ++k) {
    const int j = upward ? rows - 1 - k : k;
    const int sy = static_cast<int>(SY + top + j), dy = static_cast<int>(Y + top + j);
    const int sx = static_cast<int>(SX + lo), dx = static_cast<int>(X + lo);
    std::memcpy(row.data(), ss.Address(sx, sy), row.size());
    if (rop == SRCCOPY && sameFormat) {
      std::memcpy(ds.Address(dx, dy), row.data(), row.size());
      continue;
    }
    if (rop == SRCCOPY) {
      ConvertRow(row.data(), ds.Address(dx, dy), n, sb, db, convert);
      continue;
    }
    for (int i = 0; i < n; ++i) {
      const uint32_t sv = LoadPixel(row.data() + static_cast<std::size_t>(i) * sb, sb);
      const uint32_t s = sameFormat ? sv : convert(sv);
      uint8_t* q = ds.Address(dx + i, dy);
      StorePixel(q, CombineRop(rop, s, LoadPixel(q, db), bits), db);
    }
  }
  return TRUE;
}
