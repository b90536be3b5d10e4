// GDI objects and device contexts: creation, selection, deletion and DC state.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>

#include "platform/gdi/GdiInternal.h"
#include "platform/host/Host.h"

namespace gdi::detail {

Table::Table() {
  auto pen = [this](int style, COLORREF c) {
    auto p = std::make_unique<PenObj>();
    p->style = style;
    p->color = c;
    p->stock = true;
    return Add(std::move(p));
  };
  auto brush = [this](UINT style, COLORREF c) {
    auto b = std::make_unique<BrushObj>();
    b->style = style;
    b->color = c;
    b->stock = true;
    return Add(std::move(b));
  };
  auto font = [this](const char* face, LONG height, LONG weight) {
    auto f = std::make_unique<FontObj>();
    std::snprintf(f->log.lfFaceName, sizeof f->log.lfFaceName, "%s", face);
    f->log.lfHeight = height;
    f->log.lfWeight = weight;
    f->stock = true;
    return Add(std::move(f));
  };
  stock_[WHITE_BRUSH] = brush(BS_SOLID, 0xFFFFFF);
  stock_[LTGRAY_BRUSH] = brush(BS_SOLID, 0xC0C0C0);
  stock_[GRAY_BRUSH] = brush(BS_SOLID, 0x808080);
  stock_[DKGRAY_BRUSH] = brush(BS_SOLID, 0x404040);
  stock_[BLACK_BRUSH] = brush(BS_SOLID, 0x000000);
  stock_[NULL_BRUSH] = brush(BS_NULL, 0);
  stock_[WHITE_PEN] = pen(PS_SOLID, 0xFFFFFF);
  stock_[BLACK_PEN] = pen(PS_SOLID, 0x000000);
  stock_[NULL_PEN] = pen(PS_NULL, 0);
  stock_[OEM_FIXED_FONT] = font("Terminal", 12, FW_NORMAL);
  stock_[ANSI_FIXED_FONT] = font("Courier", 13, FW_NORMAL);
  stock_[ANSI_VAR_FONT] = font("MS Sans Serif", 13, FW_NORMAL);
  stock_[SYSTEM_FONT] = font("System", 16, FW_BOLD);
  stock_[DEVICE_DEFAULT_FONT] = font("System", 16, FW_BOLD);
  stock_[SYSTEM_FIXED_FONT] = font("Fixedsys", 15, FW_NORMAL);
  stock_[DEFAULT_GUI_FONT] = font("MS UI Gothic", -12, FW_NORMAL);
  {
    auto p = std::make_unique<PaletteObj>();
    p->entries.assign(DefaultPalette(), DefaultPalette() + 256);
    p->stock = true;
    stock_[DEFAULT_PALETTE] = Add(std::move(p));
  }
  {
    // What a fresh memory DC holds until the program selects its own bitmap.
    auto b = std::make_unique<BitmapObj>();
    b->target = std::make_unique<MemoryTarget>(1, 1, PixelFormat::Xrgb8888());
    b->stock = true;
    defaultBitmap_ = static_cast<HBITMAP>(Add(std::move(b)));
  }
  for (int i = 0; i <= COLOR_INFOBK; ++i) sysBrushes_[static_cast<std::size_t>(i)] = brush(BS_SOLID, GetSysColor(i));
  stockCount_ = objects_.size();
}

Object* Table::Find(const void* handle) {
  auto it = objects_.find(reinterpret_cast<std::uintptr_t>(handle));
  return it == objects_.end() ? nullptr : it->second.get();
}

void* Table::Add(std::unique_ptr<Object> object) {
  // Handles are never reused, so a stale handle can never reach a newer object.
  next_ += 4;
  objects_.emplace(next_, std::move(object));
  return reinterpret_cast<void*>(next_);
}

void Table::Remove(const void* handle) { objects_.erase(reinterpret_cast<std::uintptr_t>(handle)); }

std::size_t Table::LiveCount() const { return objects_.size() - stockCount_; }

void* Table::Stock(int index) const {
  if (index < 0 || index >= static_cast<int>(stock_.size())) return nullptr;
  return stock_[static_cast<std::size_t>(index)];
}

host::services::FontLibrary& Table::Fonts() {
  if (!fonts_) fonts_ = std::make_unique<host::services::FontLibrary>();
  return *fonts_;
}

void Table::ReportGap(const std::string& what) { gaps_.Report(what); }

void Table::Reselect(const void* from, const void* to) {
  if (from == to) return;
  if (Object* o = Find(from)) --o->selected;
  if (Object* o = Find(to)) ++o->selected;
}

Table& TheTable() {
  // GDI objects belong to the process, as they do on Windows.
  static Table table;
  return table;
}

IPixelTarget* TargetOfDC(DCObj* dc) {
  if (!dc) return nullptr;
  if (dc->external) return dc->external;
  if (dc->memory) {
    if (auto* b = TheTable().Get<BitmapObj>(dc->state.bitmap)) return b->target.get();
  }
  return nullptr;
}

uint32_t ApplyRop2(int rop2, uint32_t p, uint32_t d, uint32_t bits) {
  uint32_t r;
  switch (rop2) {
    case R2_BLACK:
      r = 0;
      break;
    case R2_NOTMERGEPEN:
      r = ~(d | p);
      break;
    case R2_MASKNOTPEN:
      r = d & ~p;
      break;
    case R2_NOTCOPYPEN:
      r = ~p;
      break;
    case R2_MASKPENNOT:
      r = p & ~d;
      break;
    case R2_NOT:
      r = ~d;
      break;
    case R2_XORPEN:
      r = d ^ p;
      break;
    case R2_NOTMASKPEN:
      r = ~(d & p);
      break;
    case R2_MASKPEN:
      r = d & p;
      break;
    case R2_NOTXORPEN:
      r = ~(d ^ p);
      break;
    case R2_NOP:
      r = d;
      break;
    case R2_MERGENOTPEN:
      r = d | ~p;
      break;
    case R2_MERGEPENNOT:
      r = p | ~d;
      break;
    case R2_MERGEPEN:
      r = d | p;
      break;
    case R2_WHITE:
      r = 0xFFFFFFFFu;
      break;
    case R2_COPYPEN:
    default:
      r = p;
      break;
  }
  // Bits outside the colour channels (the unused byte of a 32-bit pixel) keep their value.
  return (r & bits) | (d & ~bits);
}

bool BrushColour(HBRUSH brush, COLORREF& colour) {
  const auto v = reinterpret_cast<std::uintptr_t>(brush);
  if (v >= 1 && v <= COLOR_INFOBK + 1) {
    colour = GetSysColor(static_cast<int>(v) - 1);
    return true;
  }
  auto* b = TheTable().Get<BrushObj>(brush);
  if (!b || b->style == BS_NULL) return false;
  colour = b->color;
  return true;
}

std::shared_ptr<host::services::Font> RealizeFont(DCObj* dc) {
  auto* f = TheTable().Get<FontObj>(dc->state.font);
  if (!f) return nullptr;
  if (!f->face && !f->openFailed) {
    host::services::FontRequest r;
    const auto& lf = f->log;
    r.face.assign(lf.lfFaceName, strnlen(lf.lfFaceName, sizeof lf.lfFaceName));
    r.charset = lf.lfCharSet;
    r.height = lf.lfHeight;
    r.weight = lf.lfWeight == FW_DONTCARE ? FW_NORMAL : lf.lfWeight;
    r.italic = lf.lfItalic != 0;
    r.antialiased = lf.lfQuality == ANTIALIASED_QUALITY || lf.lfQuality == CLEARTYPE_QUALITY;
    f->face = TheTable().Fonts().Open(r);
    f->openFailed = !f->face;
  }
  return f->face;
}

std::shared_ptr<host::services::Font> RealizeFineFont(DCObj* dc, int scale) {
  std::shared_ptr<host::services::Font> face = RealizeFont(dc);
  if (!face || scale <= 1) return face;
  auto* f = TheTable().Get<FontObj>(dc->state.font);
  if (f->fineScale != scale) {
    host::services::FontRequest r;
    const auto& lf = f->log;
    r.face.assign(lf.lfFaceName, strnlen(lf.lfFaceName, sizeof lf.lfFaceName));
    r.charset = lf.lfCharSet;
    // Heights of either sign scale with the picture; the default height is the font's em height.
    r.height = (lf.lfHeight != 0 ? lf.lfHeight : -face->Metrics().emHeight) * scale;
    r.weight = lf.lfWeight == FW_DONTCARE ? FW_NORMAL : lf.lfWeight;
    r.italic = lf.lfItalic != 0;
    r.antialiased = lf.lfQuality == ANTIALIASED_QUALITY || lf.lfQuality == CLEARTYPE_QUALITY;
    f->fineFace = TheTable().Fonts().Open(r);
    f->fineScale = scale;
  }
  return f->fineFace ? f->fineFace : face;
}

Surface::Surface(DCObj* dc) {
  target_ = TargetOfDC(dc);
  if (!target_) return;
  format_ = target_->Format();
  if (!format_.Valid() || target_->Width() <= 0 || target_->Height() <= 0) return;
  if (!target_->BeginAccess(access_) || !access_.bits) {
    target_ = nullptr;
    return;
  }
  palette_ = format_.Indexed() ? (target_->Palette() ? target_->Palette() : DefaultPalette()) : nullptr;
  bpp_ = format_.BytesPerPixel();
  colourBits_ = format_.Indexed() ? 0xFFu : (format_.rMask | format_.gMask | format_.bMask);
  clip_ = {0, 0, target_->Width(), target_->Height()};
  if (dc->state.hasClip) {
    clip_.left = std::max(clip_.left, dc->state.clip.left);
    clip_.top = std::max(clip_.top, dc->state.clip.top);
    clip_.right = std::min(clip_.right, dc->state.clip.right);
    clip_.bottom = std::min(clip_.bottom, dc->state.clip.bottom);
    if (clip_.right < clip_.left) clip_.right = clip_.left;
    if (clip_.bottom < clip_.top) clip_.bottom = clip_.top;
  }
  scale_ = std::clamp(target_->Scale(), 1, 16);
  fineClip_ = {clip_.left * scale_, clip_.top * scale_, clip_.right * scale_, clip_.bottom * scale_};
  ok_ = true;
}

void Surface::IntersectClip(long long left, long long top, long long right, long long bottom) {
  clip_.left = static_cast<LONG>(std::clamp<long long>(left, clip_.left, clip_.right));
  clip_.right = static_cast<LONG>(std::clamp<long long>(right, clip_.left, clip_.right));
  clip_.top = static_cast<LONG>(std::clamp<long long>(top, clip_.top, clip_.bottom));
  clip_.bottom = static_cast<LONG>(std::clamp<long long>(bottom, clip_.top, clip_.bottom));
  fineClip_ = {clip_.left * scale_, clip_.top * scale_, clip_.right * scale_, clip_.bottom * scale_};
}

void Surface::BlockSpan(long long y, long long x0, long long x1, uint32_t value, int rop2) const {
  if (scale_ == 1) return Span(y, x0, x1, value, rop2);
  if (y < clip_.top || y >= clip_.bottom) return;
  const long long k = scale_;
  x0 = std::max<long long>(x0, clip_.left);
  x1 = std::min<long long>(x1, clip_.right);
  for (long long j = 0; j < k; ++j) Span(y * k + j, x0 * k, x1 * k, value, rop2);
}

namespace {

// A run of n pixels of type T under a mix mode, as Read, ApplyRop2 and Write would do them
// one at a time. The modes the game draws with get a loop of their own.
template <typename T, typename Mix>
void MixRun(uint8_t* p, long long n, uint32_t bits, Mix mix) {
  for (long long i = 0; i < n; ++i, p += sizeof(T)) {
    T d;
    std::memcpy(&d, p, sizeof(T));
    const T r = static_cast<T>((mix(uint32_t(d)) & bits) | (d & ~bits));
    std::memcpy(p, &r, sizeof(T));
  }
}

template <typename T>
void RopRun(uint8_t* p, long long n, uint32_t value, int rop2, uint32_t bits) {
  switch (rop2) {
    case R2_MERGEPEN:
      return MixRun<T>(p, n, bits, [value](uint32_t d) { return d | value; });
    case R2_XORPEN:
      return MixRun<T>(p, n, bits, [value](uint32_t d) { return d ^ value; });
    case R2_MASKPEN:
      return MixRun<T>(p, n, bits, [value](uint32_t d) { return d & value; });
    case R2_COPYPEN:
      // A copy writes the value whole, its unused bits included.
      return MixRun<T>(p, n, ~0u, [value](uint32_t) { return value; });
    default:
      return MixRun<T>(p, n, ~0u, [value, rop2, bits](uint32_t d) { return ApplyRop2(rop2, value, d, bits); });
  }
}

}  // namespace

Surface::~Surface() {
  if (target_) target_->EndAccess();
}

uint32_t Surface::Read(int x, int y) const {
  const uint8_t* p = Address(x, y);
  switch (bpp_) {
    case 1:
      return p[0];
    case 2:
      return uint32_t(p[0]) | uint32_t(p[1]) << 8;
    case 3:
      return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16;
    default:
      return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
  }
}

void Surface::Write(int x, int y, uint32_t v) const {
  uint8_t* p = Address(x, y);
  for (int i = 0; i < bpp_; ++i) p[i] = uint8_t(v >> (8 * i));
}

void Surface::Span(long long y, long long x0, long long x1, uint32_t value, int rop2) const {
  if (y < fineClip_.top || y >= fineClip_.bottom) return;
  x0 = std::max<long long>(x0, fineClip_.left);
  x1 = std::min<long long>(x1, fineClip_.right);
  if (x0 >= x1) return;
  const int yy = static_cast<int>(y);
  if (rop2 == R2_NOP) return;
  if (rop2 == R2_COPYPEN && (bpp_ == 4 || bpp_ == 2 || bpp_ == 1) && ((value & ~colourBits_) == 0 || bpp_ == 1)) {
    // The common case: a solid run of one value; the bits outside the colour channels are cleared,
    // as GDI writes them.
    uint8_t* p = Address(static_cast<int>(x0), yy);
    const long long n = x1 - x0;
    if (bpp_ == 1) {
      std::memset(p, static_cast<int>(value & 0xFF), static_cast<std::size_t>(n));
    } else if (bpp_ == 2) {
      const uint16_t v = static_cast<uint16_t>(value);
      for (long long i = 0; i < n; ++i) std::memcpy(p + 2 * i, &v, 2);
    } else {
      for (long long i = 0; i < n; ++i) std::memcpy(p + 4 * i, &value, 4);
    }
    return;
  }
  if (bpp_ == 2 || bpp_ == 4) {
    // A mix mode over 16- or 32-bit pixels (the HUD's merged message box): whole pixels at a time.
    uint8_t* p = Address(static_cast<int>(x0), yy);
    const long long n = x1 - x0;
    if (bpp_ == 2) {
      RopRun<uint16_t>(p, n, value, rop2, colourBits_);
    } else {
      RopRun<uint32_t>(p, n, value, rop2, colourBits_);
    }
    return;
  }
  for (long long x = x0; x < x1; ++x) {
    const int xx = static_cast<int>(x);
    const uint32_t d = Read(xx, yy);
    uint32_t r = ApplyRop2(rop2, value, d, colourBits_);
    if (rop2 == R2_COPYPEN) r = value;
    Write(xx, yy, r);
  }
}

}  // namespace gdi::detail

using namespace gdi::detail;
using gdi::IPixelTarget;
using gdi::MemoryTarget;
using gdi::PixelFormat;

namespace {

void ClearSelections(Table& t, const DCState& s) {
  t.Reselect(s.pen, nullptr);
  t.Reselect(s.brush, nullptr);
  t.Reselect(s.font, nullptr);
  t.Reselect(s.bitmap, nullptr);
  t.Reselect(s.palette, nullptr);
}

void AddSelections(Table& t, const DCState& s) {
  t.Reselect(nullptr, s.pen);
  t.Reselect(nullptr, s.brush);
  t.Reselect(nullptr, s.font);
  t.Reselect(nullptr, s.bitmap);
  t.Reselect(nullptr, s.palette);
}

HDC NewDC(Table& t, std::unique_ptr<DCObj> dc) {
  dc->state.pen = static_cast<HPEN>(t.Stock(BLACK_PEN));
  dc->state.brush = static_cast<HBRUSH>(t.Stock(WHITE_BRUSH));
  dc->state.font = static_cast<HFONT>(t.Stock(SYSTEM_FONT));
  dc->state.palette = static_cast<HPALETTE>(t.Stock(DEFAULT_PALETTE));
  if (dc->memory) dc->state.bitmap = t.DefaultBitmap();
  AddSelections(t, dc->state);
  return static_cast<HDC>(t.Add(std::move(dc)));
}

int DisplayBits() {
  if (host::HasCurrent()) {
    const int bits = host::Current().DesktopBitDepth();
    if (bits == 8 || bits == 15 || bits == 16 || bits == 24 || bits == 32) return bits;
  }
  return 32;
}

gdi::PixelFormat FormatForBits(int bits) {
  switch (bits) {
    case 8:
      return gdi::PixelFormat::Indexed8();
    case 15:
      return gdi::PixelFormat::Rgb555();
    case 16:
      return gdi::PixelFormat::Rgb565();
    case 24:
      return gdi::PixelFormat::Rgb888();
    default:
      return gdi::PixelFormat::Xrgb8888();
  }
}

// A pen or brush colour given as PALETTEINDEX keeps its flag; other high bytes are dropped.
COLORREF CleanColour(COLORREF c) { return (c & 0xFF000000u) == 0x01000000u ? (c & 0x010000FFu) : (c & 0x00FFFFFFu); }

}  // namespace

// ---- Objects -----------------------------------------------------------------

HGDIOBJ GetStockObject(int index) {
  Call c;
  return c.t.Stock(index);
}

HPEN CreatePen(int style, int width, COLORREF color) {
  style &= PS_STYLE_MASK;
  if (style > PS_INSIDEFRAME) return nullptr;
  Call c;
  if (style >= PS_DASH && style <= PS_DASHDOTDOT) c.t.ReportGap("dashed pens (drawn solid)");
  auto p = std::make_unique<PenObj>();
  p->style = style;
  p->width = std::max(1, width);
  // Nothing on a 640 x 480 screen needs a wider pen; this keeps a bad width from costing time.
  p->width = std::min(p->width, 4096);
  p->color = CleanColour(color);
  return static_cast<HPEN>(c.t.Add(std::move(p)));
}

HPEN CreatePenIndirect(const LOGPEN* pen) {
  if (!pen) return nullptr;
  return CreatePen(static_cast<int>(pen->lopnStyle), pen->lopnWidth.x, pen->lopnColor);
}

HBRUSH CreateSolidBrush(COLORREF color) {
  Call c;
  auto b = std::make_unique<BrushObj>();
  b->style = BS_SOLID;
  b->color = CleanColour(color);
  return static_cast<HBRUSH>(c.t.Add(std::move(b)));
}

HBRUSH CreateBrushIndirect(const LOGBRUSH* brush) {
  if (!brush) return nullptr;
  Call c;
  if (brush->lbStyle != BS_SOLID && brush->lbStyle != BS_NULL) {
    c.t.ReportGap("brush style " + std::to_string(brush->lbStyle));
    return nullptr;
  }
  auto b = std::make_unique<BrushObj>();
  b->style = brush->lbStyle;
  b->color = CleanColour(brush->lbColor);
  return static_cast<HBRUSH>(c.t.Add(std::move(b)));
}

HFONT CreateFontIndirectA(const LOGFONTA* font) {
  if (!font) return nullptr;
  Call c;
  if (font->lfEscapement || font->lfOrientation) c.t.ReportGap("rotated fonts (drawn upright)");
  if (font->lfWidth) c.t.ReportGap("fonts with a set character width (drawn at their own width)");
  auto f = std::make_unique<FontObj>();
  f->log = *font;
  f->log.lfFaceName[LF_FACESIZE - 1] = '\0';  // a name that fills the field is cut, never overrun
  return static_cast<HFONT>(c.t.Add(std::move(f)));
}

HRGN CreateRectRgn(int left, int top, int right, int bottom) {
  Call c;
  auto r = std::make_unique<RegionObj>();
  r->rect = {std::min(left, right), std::min(top, bottom), std::max(left, right), std::max(top, bottom)};
  return static_cast<HRGN>(c.t.Add(std::move(r)));
}

HPALETTE CreatePalette(const LOGPALETTE* palette) {
  if (!palette || palette->palNumEntries == 0 || palette->palNumEntries > 256) return nullptr;
  Call c;
  auto p = std::make_unique<PaletteObj>();
  const PALETTEENTRY* e = palette->palPalEntry;
  p->entries.assign(e, e + palette->palNumEntries);
  return static_cast<HPALETTE>(c.t.Add(std::move(p)));
}

BOOL DeleteObject(HGDIOBJ object) {
  Call c;
  Object* o = c.t.Find(object);
  if (!o || o->kind == Kind::DC) return FALSE;
  if (o->stock) return TRUE;
  if (o->selected > 0) return FALSE;  // still selected into a DC: deleting it would leave the DC dangling
  c.t.Remove(object);
  return TRUE;
}

DWORD GetObjectType(HGDIOBJ object) {
  Call c;
  Object* o = c.t.Find(object);
  if (!o) return 0;
  switch (o->kind) {
    case Kind::Pen:
      return OBJ_PEN;
    case Kind::Brush:
      return OBJ_BRUSH;
    case Kind::Font:
      return OBJ_FONT;
    case Kind::Bitmap:
      return OBJ_BITMAP;
    case Kind::Palette:
      return OBJ_PAL;
    case Kind::Region:
      return OBJ_REGION;
    case Kind::DC:
      return static_cast<DCObj*>(o)->memory ? OBJ_MEMDC : OBJ_DC;
  }
  return 0;
}

int GetObjectA(HGDIOBJ object, int size, void* out) {
  Call c;
  Object* o = c.t.Find(object);
  if (!o || size < 0) return 0;
  auto give = [&](const auto& record) -> int {
    const int need = static_cast<int>(sizeof record);
    if (!out) return need;
    if (size < need) return 0;
    std::memcpy(out, &record, sizeof record);
    return need;
  };
  switch (o->kind) {
    case Kind::Pen: {
      auto* p = static_cast<PenObj*>(o);
      return give(LOGPEN{static_cast<UINT>(p->style), POINT{p->width, 0}, p->color});
    }
    case Kind::Brush: {
      auto* b = static_cast<BrushObj*>(o);
      return give(LOGBRUSH{b->style, b->color, 0});
    }
    case Kind::Font:
      return give(static_cast<FontObj*>(o)->log);
    case Kind::Bitmap: {
      auto* b = static_cast<BitmapObj*>(o);
      const auto& t = *b->target;
      const int bits = t.Format().bitsPerPixel;
      return give(BITMAP{0, t.Width(), t.Height(), t.Stride(), 1, static_cast<WORD>(bits == 15 ? 16 : bits),
                         b->stock ? nullptr : b->target->Memory()});
    }
    case Kind::Palette: {
      if (!out) return static_cast<int>(sizeof(WORD));
      if (size < static_cast<int>(sizeof(WORD))) return 0;
      const WORD n = static_cast<WORD>(static_cast<PaletteObj*>(o)->entries.size());
      std::memcpy(out, &n, sizeof n);
      return static_cast<int>(sizeof n);
    }
    default:
      return 0;
  }
}

HBITMAP CreateCompatibleBitmap(HDC dc, int width, int height) {
  Call c;
  auto* d = c.t.Get<DCObj>(dc);
  if (!d || width <= 0 || height <= 0 || width > 16384 || height > 16384) return nullptr;
  PixelFormat f = d->format;
  if (IPixelTarget* t = TargetOfDC(d); t && !d->memory) f = t->Format();
  if (d->memory) {
    if (auto* b = c.t.Get<BitmapObj>(d->state.bitmap); b && !b->stock) f = b->target->Format();
  }
  auto b = std::make_unique<BitmapObj>();
  b->target = std::make_unique<MemoryTarget>(width, height, f);
  if (f.Indexed()) {
    if (IPixelTarget* t = TargetOfDC(d); t && t->Palette()) b->target->SetPalette(t->Palette(), 0, 256);
  }
  return static_cast<HBITMAP>(c.t.Add(std::move(b)));
}

HBITMAP CreateDIBSection(HDC, const BITMAPINFO* info, UINT usage, void** bits, HANDLE section, DWORD) {
  if (bits) *bits = nullptr;
  if (!info) return nullptr;
  Call c;
  const BITMAPINFOHEADER& h = info->bmiHeader;
  if (section) {
    c.t.ReportGap("CreateDIBSection on a file mapping");
    return nullptr;
  }
  if (h.biSize < sizeof(BITMAPINFOHEADER) || h.biWidth <= 0 || h.biHeight == 0 || h.biWidth > 16384 ||
      h.biHeight > 16384 || h.biHeight < -16384 || usage != DIB_RGB_COLORS)
    return nullptr;
  // The colour table or the masks start right after the header (its own size counts).
  const auto* extra = reinterpret_cast<const uint8_t*>(info) + h.biSize;
  PixelFormat f;
  switch (h.biBitCount) {
    case 8:
      if (h.biCompression != BI_RGB) return nullptr;
      f = PixelFormat::Indexed8();
      break;
    case 16:
      f = PixelFormat::Rgb555();
      break;
    case 24:
      if (h.biCompression != BI_RGB) return nullptr;
      f = PixelFormat::Rgb888();
      break;
    case 32:
      f = PixelFormat::Xrgb8888();
      break;
    default:
      c.t.ReportGap("DIB sections of " + std::to_string(h.biBitCount) + " bits");
      return nullptr;
  }
  if (h.biCompression == BI_BITFIELDS && (h.biBitCount == 16 || h.biBitCount == 32)) {
    DWORD masks[3];
    std::memcpy(masks, extra, sizeof masks);
    f.rMask = masks[0], f.gMask = masks[1], f.bMask = masks[2];
    if (!f.Valid()) return nullptr;
  } else if (h.biCompression != BI_RGB) {
    return nullptr;
  }
  auto b = std::make_unique<BitmapObj>();
  const int height = h.biHeight > 0 ? h.biHeight : -h.biHeight;
  b->target = std::make_unique<MemoryTarget>(h.biWidth, height, f, h.biHeight > 0);
  if (f.Indexed()) {
    const DWORD used = h.biClrUsed == 0 || h.biClrUsed > 256 ? 256 : h.biClrUsed;
    std::vector<PALETTEENTRY> pal(used);
    for (DWORD i = 0; i < used; ++i) {
      RGBQUAD q;
      std::memcpy(&q, extra + i * sizeof(RGBQUAD), sizeof q);
      pal[i] = {q.rgbRed, q.rgbGreen, q.rgbBlue, 0};
    }
    b->target->SetPalette(pal.data(), 0, static_cast<int>(used));
  }
  if (bits) *bits = b->target->Memory();
  return static_cast<HBITMAP>(c.t.Add(std::move(b)));
}

// ---- Device contexts ---------------------------------------------------------

HDC CreateCompatibleDC(HDC dc) {
  Call c;
  auto m = std::make_unique<DCObj>();
  m->memory = true;
  if (dc) {
    auto* d = c.t.Get<DCObj>(dc);
    if (!d) return nullptr;
    m->format = d->format;
    if (IPixelTarget* t = TargetOfDC(d)) m->format = t->Format();
  } else {
    m->format = FormatForBits(DisplayBits());
  }
  return NewDC(c.t, std::move(m));
}

HDC CreateDCA(LPCSTR driver, LPCSTR device, LPCSTR, const void*) {
  const char* name = driver ? driver : device;
  if (!name) return nullptr;
  std::string n(name);
  for (char& ch : n) ch = static_cast<char>(ch >= 'a' && ch <= 'z' ? ch - 'a' + 'A' : ch);
  if (n != "DISPLAY") return nullptr;
  Call c;
  auto d = std::make_unique<DCObj>();
  d->information = true;
  d->format = FormatForBits(DisplayBits());
  return NewDC(c.t, std::move(d));
}

HDC CreateICA(LPCSTR driver, LPCSTR device, LPCSTR port, const void* devmode) {
  return CreateDCA(driver, device, port, devmode);
}

BOOL DeleteDC(HDC dc) {
  Call c;
  auto* d = c.t.Get<DCObj>(dc);
  if (!d) return FALSE;
  ClearSelections(c.t, d->state);
  for (const DCState& s : d->saved) ClearSelections(c.t, s);
  if (auto* b = c.t.Get<BitmapObj>(d->state.bitmap); b && b->selectedInto == dc) b->selectedInto = nullptr;
  c.t.Remove(dc);
  return TRUE;
}

int GetDeviceCaps(HDC dc, int index) {
  Call c;
  auto* d = c.t.Get<DCObj>(dc);
  if (!d) return 0;
  IPixelTarget* t = TargetOfDC(d);
  int bits = t ? t->Format().bitsPerPixel : d->format.bitsPerPixel;
  if (bits == 15) bits = 16;
  int w = 0, h = 0;
  if (t) {
    w = t->Width(), h = t->Height();
  } else if (host::HasCurrent()) {
    host::Current().DesktopSize(w, h);
  } else {
    w = 640, h = 480;
  }
  switch (index) {
    case HORZRES:
      return w;
    case VERTRES:
      return h;
    case BITSPIXEL:
      return bits;
    case PLANES:
      return 1;
    case NUMCOLORS:
      return bits == 8 ? 20 : -1;
    case RASTERCAPS:
      return RC_BITBLT | (bits == 8 ? RC_PALETTE : 0);
    case LOGPIXELSX:
    case LOGPIXELSY:
      return 96;
    case SIZEPALETTE:
      return bits == 8 ? 256 : 0;
    case NUMRESERVED:
      return bits == 8 ? 20 : 0;
    default:
      c.t.ReportGap("GetDeviceCaps index " + std::to_string(index));
      return 0;
  }
}

HGDIOBJ SelectObject(HDC dc, HGDIOBJ object) {
  Call c;
  auto* d = c.t.Get<DCObj>(dc);
  Object* o = c.t.Find(object);
  if (!d || !o) return nullptr;
  DCState& s = d->state;
  auto swap = [&](auto& slot) -> HGDIOBJ {
    using H = std::remove_reference_t<decltype(slot)>;
    HGDIOBJ old = slot;
    c.t.Reselect(old, object);
    slot = static_cast<H>(object);
    return old;
  };
  switch (o->kind) {
    case Kind::Pen:
      return swap(s.pen);
    case Kind::Brush:
      return swap(s.brush);
    case Kind::Font:
      return swap(s.font);
    case Kind::Bitmap: {
      if (!d->memory) return nullptr;
      auto* b = static_cast<BitmapObj*>(o);
      // A bitmap can be selected into one memory DC at a time.
      if (!b->stock && b->selectedInto && b->selectedInto != dc) return nullptr;
      if (auto* old = c.t.Get<BitmapObj>(s.bitmap); old && old->selectedInto == dc) old->selectedInto = nullptr;
      if (!b->stock) b->selectedInto = dc;
      return swap(s.bitmap);
    }
    case Kind::Region: {
      // Selecting a region sets the clip and answers with the clip result, as on Windows.
      const int result = SelectClipRgn(dc, static_cast<HRGN>(object));
      return reinterpret_cast<HGDIOBJ>(static_cast<std::uintptr_t>(result));
    }
    default:
      return nullptr;
  }
}

HGDIOBJ GetCurrentObject(HDC dc, UINT type) {
  Call c;
  auto* d = c.t.Get<DCObj>(dc);
  if (!d) return nullptr;
  switch (type) {
    case OBJ_PEN:
      return d->state.pen;
    case OBJ_BRUSH:
      return d->state.brush;
    case OBJ_FONT:
      return d->state.font;
    case OBJ_BITMAP:
      return d->state.bitmap;
    case OBJ_PAL:
      return d->state.palette;
    default:
      return nullptr;
  }
}

int SaveDC(HDC dc) {
  Call c;
  auto* d = c.t.Get<DCObj>(dc);
  if (!d || d->saved.size() >= 1024) return 0;
  d->saved.push_back(d->state);
  AddSelections(c.t, d->state);
  return static_cast<int>(d->saved.size());
}

BOOL RestoreDC(HDC dc, int saved) {
  Call c;
  auto* d = c.t.Get<DCObj>(dc);
  if (!d) return FALSE;
  const int n = static_cast<int>(d->saved.size());
  const int level = saved < 0 ? n + 1 + saved : saved;
  if (level < 1 || level > n) return FALSE;
  // States newer than the one restored are dropped.
  while (static_cast<int>(d->saved.size()) > level) {
    ClearSelections(c.t, d->saved.back());
    d->saved.pop_back();
  }
  DCState restored = d->saved.back();
  d->saved.pop_back();
  if (d->memory && restored.bitmap != d->state.bitmap) {
    auto* b = c.t.Get<BitmapObj>(restored.bitmap);
    if (b && !b->stock && b->selectedInto && b->selectedInto != dc) {
      // Taken by another DC meanwhile: this DC gets its default bitmap back instead.
      c.t.Reselect(restored.bitmap, c.t.DefaultBitmap());
      restored.bitmap = c.t.DefaultBitmap();
    }
    if (auto* old = c.t.Get<BitmapObj>(d->state.bitmap); old && old->selectedInto == dc) old->selectedInto = nullptr;
    if (auto* nb = c.t.Get<BitmapObj>(restored.bitmap); nb && !nb->stock) nb->selectedInto = dc;
  }
  // The restored state's objects were counted when it was saved; the current ones are let go.
  ClearSelections(c.t, d->state);
  d->state = restored;
  return TRUE;
}

int SetROP2(HDC dc, int mode) {
  if (mode < R2_BLACK || mode > R2_WHITE) return 0;
  Call c;
  auto* d = c.t.Get<DCObj>(dc);
  if (!d) return 0;
  return std::exchange(d->state.rop2, mode);
}
int GetROP2(HDC dc) {
  Call c;
  auto* d = c.t.Get<DCObj>(dc);
  return d ? d->state.rop2 : 0;
}
COLORREF SetTextColor(HDC dc, COLORREF color) {
  Call c;
  auto* d = c.t.Get<DCObj>(dc);
  if (!d) return CLR_INVALID;
  return std::exchange(d->state.textColor, CleanColour(color));
}
COLORREF GetTextColor(HDC dc) {
  Call c;
  auto* d = c.t.Get<DCObj>(dc);
  return d ? d->state.textColor : CLR_INVALID;
}
COLORREF SetBkColor(HDC dc, COLORREF color) {
  Call c;
  auto* d = c.t.Get<DCObj>(dc);
  if (!d) return CLR_INVALID;
  return std::exchange(d->state.bkColor, CleanColour(color));
}
COLORREF GetBkColor(HDC dc) {
  Call c;
  auto* d = c.t.Get<DCObj>(dc);
  return d ? d->state.bkColor : CLR_INVALID;
}
int SetBkMode(HDC dc, int mode) {
  if (mode != TRANSPARENT && mode != OPAQUE) return 0;
  Call c;
  auto* d = c.t.Get<DCObj>(dc);
  if (!d) return 0;
  return std::exchange(d->state.bkMode, mode);
}
int GetBkMode(HDC dc) {
  Call c;
  auto* d = c.t.Get<DCObj>(dc);
  return d ? d->state.bkMode : 0;
}
UINT SetTextAlign(HDC dc, UINT align) {
  Call c;
  auto* d = c.t.Get<DCObj>(dc);
  if (!d) return 0xFFFFFFFFu;  // GDI_ERROR
  return std::exchange(d->state.textAlign, align);
}
UINT GetTextAlign(HDC dc) {
  Call c;
  auto* d = c.t.Get<DCObj>(dc);
  return d ? d->state.textAlign : 0xFFFFFFFFu;
}

BOOL SetViewportOrgEx(HDC dc, int x, int y, POINT* old) {
  Call c;
  auto* d = c.t.Get<DCObj>(dc);
  if (!d) return FALSE;
  if (old) *old = d->state.viewportOrg;
  d->state.viewportOrg = {x, y};
  return TRUE;
}

BOOL GetViewportOrgEx(HDC dc, POINT* origin) {
  Call c;
  auto* d = c.t.Get<DCObj>(dc);
  if (!d || !origin) return FALSE;
  *origin = d->state.viewportOrg;
  return TRUE;
}

int IntersectClipRect(HDC dc, int left, int top, int right, int bottom) {
  Call c;
  auto* d = c.t.Get<DCObj>(dc);
  if (!d) return RGN_ERROR;
  auto& s = d->state;
  const auto ox = static_cast<long long>(s.viewportOrg.x), oy = static_cast<long long>(s.viewportOrg.y);
  auto clampL = [](long long v) { return static_cast<LONG>(std::clamp<long long>(v, -(1LL << 30), 1LL << 30)); };
  RECT r{clampL(left + ox), clampL(top + oy), clampL(right + ox), clampL(bottom + oy)};
  if (s.hasClip) {
    r.left = std::max(r.left, s.clip.left);
    r.top = std::max(r.top, s.clip.top);
    r.right = std::min(r.right, s.clip.right);
    r.bottom = std::min(r.bottom, s.clip.bottom);
  }
  if (r.right < r.left) r.right = r.left;
  if (r.bottom < r.top) r.bottom = r.top;
  s.clip = r;
  s.hasClip = true;
  return r.right > r.left && r.bottom > r.top ? SIMPLEREGION : NULLREGION;
}

int SelectClipRgn(HDC dc, HRGN region) {
  Call c;
  auto* d = c.t.Get<DCObj>(dc);
  if (!d) return RGN_ERROR;
  if (!region) {
    d->state.hasClip = false;
    return SIMPLEREGION;
  }
  auto* r = c.t.Get<RegionObj>(region);
  if (!r) return RGN_ERROR;
  // Region coordinates are device coordinates.
  d->state.clip = r->rect;
  d->state.hasClip = true;
  return r->rect.right > r->rect.left && r->rect.bottom > r->rect.top ? SIMPLEREGION : NULLREGION;
}

int GetClipBox(HDC dc, RECT* rect) {
  Call c;
  auto* d = c.t.Get<DCObj>(dc);
  if (!d || !rect) return RGN_ERROR;
  IPixelTarget* t = TargetOfDC(d);
  RECT r{0, 0, t ? t->Width() : 0, t ? t->Height() : 0};
  if (d->state.hasClip) {
    r.left = std::max(r.left, d->state.clip.left);
    r.top = std::max(r.top, d->state.clip.top);
    r.right = std::min(r.right, d->state.clip.right);
    r.bottom = std::min(r.bottom, d->state.clip.bottom);
  }
  if (r.right < r.left) r.right = r.left;
  if (r.bottom < r.top) r.bottom = r.top;
  // Reported in logical coordinates.
  r.left -= d->state.viewportOrg.x, r.right -= d->state.viewportOrg.x;
  r.top -= d->state.viewportOrg.y, r.bottom -= d->state.viewportOrg.y;
  *rect = r;
  return r.right > r.left && r.bottom > r.top ? SIMPLEREGION : NULLREGION;
}

// ---- Palettes ----------------------------------------------------------------

HPALETTE SelectPalette(HDC dc, HPALETTE palette, BOOL) {
  Call c;
  auto* d = c.t.Get<DCObj>(dc);
  if (!d || !c.t.Get<PaletteObj>(palette)) return nullptr;
  HPALETTE old = d->state.palette;
  c.t.Reselect(old, palette);
  d->state.palette = palette;
  return old;
}

UINT RealizePalette(HDC dc) {
  Call c;
  auto* d = c.t.Get<DCObj>(dc);
  if (!d) return 0xFFFFFFFFu;  // GDI_ERROR
  auto* p = c.t.Get<PaletteObj>(d->state.palette);
  return p ? static_cast<UINT>(p->entries.size()) : 0;
}

UINT GetSystemPaletteEntries(HDC dc, UINT start, UINT count, PALETTEENTRY* entries) {
  Call c;
  if (!c.t.Get<DCObj>(dc)) return 0;
  if (!entries) return 256;
  const PALETTEENTRY* pal = gdi::DefaultPalette();
  UINT n = 0;
  for (; n < count && start + n < 256; ++n) entries[n] = pal[start + n];
  return n;
}

UINT GetPaletteEntries(HPALETTE palette, UINT start, UINT count, PALETTEENTRY* entries) {
  Call c;
  auto* p = c.t.Get<PaletteObj>(palette);
  if (!p) return 0;
  const auto size = static_cast<UINT>(p->entries.size());
  if (!entries) return size;
  UINT n = 0;
  for (; n < count && start + n < size; ++n) entries[n] = p->entries[start + n];
  return n;
}

// ---- System colours ------------------------------------------------------------

DWORD GetSysColor(int index) {
  // The colours of the standard Windows 2000 scheme.
  static constexpr COLORREF kColours[] = {
      RGB(212, 208, 200), RGB(58, 110, 165),  RGB(10, 36, 106),   RGB(128, 128, 128), RGB(212, 208, 200),
      RGB(255, 255, 255), RGB(0, 0, 0),       RGB(0, 0, 0),       RGB(0, 0, 0),       RGB(255, 255, 255),
      RGB(212, 208, 200), RGB(212, 208, 200), RGB(128, 128, 128), RGB(10, 36, 106),   RGB(255, 255, 255),
      RGB(212, 208, 200), RGB(128, 128, 128), RGB(128, 128, 128), RGB(0, 0, 0),       RGB(212, 208, 200),
      RGB(255, 255, 255), RGB(64, 64, 64),    RGB(212, 208, 200), RGB(0, 0, 0),       RGB(255, 255, 225)};
  if (index < 0 || index >= static_cast<int>(std::size(kColours))) return 0;
  return kColours[index];
}

HBRUSH GetSysColorBrush(int index) {
  if (index < 0 || index > COLOR_INFOBK) return nullptr;
  // Like stock objects: made once, never deleted.
  Call c;
  return static_cast<HBRUSH>(c.t.SysBrush(index));
}

// ---- Additions of the port ---------------------------------------------------

namespace gdi {

HDC CreateTargetDC(IPixelTarget* target) {
  if (!target) return nullptr;
  Call c;
  auto d = std::make_unique<DCObj>();
  d->external = target;
  d->format = target->Format();
  return NewDC(c.t, std::move(d));
}

IPixelTarget* TargetOf(HDC dc) {
  Call c;
  return TargetOfDC(c.t.Get<DCObj>(dc));
}

MemoryTarget* BitmapTarget(HBITMAP bitmap) {
  Call c;
  auto* b = c.t.Get<BitmapObj>(bitmap);
  return b && !b->stock ? b->target.get() : nullptr;
}

LONG HeightFromPoints(int points) {
  // MulDiv rounds half away from zero.
  const long long n = static_cast<long long>(points) * 96;
  const long long q = n >= 0 ? (n + 36) / 72 : -((-n + 36) / 72);
  return static_cast<LONG>(-q);
}

std::size_t LiveObjectCount() {
  Call c;
  return c.t.LiveCount();
}

}  // namespace gdi
