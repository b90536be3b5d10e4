// The inside of the GDI: the object table and the records behind the handles.
// Only the GDI's own sources include this.
#pragma once

#include <array>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <type_traits>
#include <unordered_map>
#include <vector>

#include "platform/gdi/Gdi.h"
#include "platform/host/services/FontRaster.h"
#include "platform/win/Gaps.h"

namespace gdi::detail {

enum class Kind { Pen, Brush, Font, Bitmap, Palette, Region, DC };

struct Object {
  explicit Object(Kind k) : kind(k) {}
  virtual ~Object() = default;
  Kind kind;
  bool stock = false;
  int selected = 0;  // how many DC states (current or saved) hold it
};

struct PenObj final : Object {
  PenObj() : Object(Kind::Pen) {}
  int style = PS_SOLID;
  int width = 1;
  COLORREF color = 0;
};

struct BrushObj final : Object {
  BrushObj() : Object(Kind::Brush) {}
  UINT style = BS_SOLID;
  COLORREF color = 0;
};

struct FontObj final : Object {
  FontObj() : Object(Kind::Font) {}
  LOGFONTA log{};
  std::shared_ptr<host::services::Font> face;  // opened on first use
  bool openFailed = false;
  // The same font at a render scale's size (for text on a scaled surface), once asked for.
  std::shared_ptr<host::services::Font> fineFace;
  int fineScale = 0;
};

struct BitmapObj final : Object {
  BitmapObj() : Object(Kind::Bitmap) {}
  std::unique_ptr<MemoryTarget> target;
  HDC selectedInto = nullptr;
};

struct PaletteObj final : Object {
  PaletteObj() : Object(Kind::Palette) {}
  std::vector<PALETTEENTRY> entries;
};

struct RegionObj final : Object {
  RegionObj() : Object(Kind::Region) {}
  RECT rect{};
};

struct DCState {
  HPEN pen = nullptr;
  HBRUSH brush = nullptr;
  HFONT font = nullptr;
  HBITMAP bitmap = nullptr;  // memory DCs only
  HPALETTE palette = nullptr;
  int rop2 = R2_COPYPEN;
  COLORREF textColor = 0x000000;
  COLORREF bkColor = 0xFFFFFF;
  int bkMode = OPAQUE;
  UINT textAlign = TA_LEFT | TA_TOP;
  POINT position{0, 0};
  POINT viewportOrg{0, 0};
  bool hasClip = false;
  RECT clip{};  // device coordinates
};

struct DCObj final : Object {
  DCObj() : Object(Kind::DC) {}
  IPixelTarget* external = nullptr;  // a surface's pixels (not owned)
  bool memory = false;               // draws on its selected bitmap
  bool information = false;          // a screen information context: no pixels
  PixelFormat format;                // format of compatible bitmaps made from this DC
  DCState state;
  std::vector<DCState> saved;
};

// The process-wide table of GDI objects; every public call holds its mutex.
class Table {
 public:
  Table();
  std::recursive_mutex mutex;

  template <class T>
  T* Get(const void* handle) {
    Object* o = Find(handle);
    if (!o) return nullptr;
    return o->kind == KindOf<T>() ? static_cast<T*>(o) : nullptr;
  }
  Object* Find(const void* handle);
  void* Add(std::unique_ptr<Object> object);
  void Remove(const void* handle);
  std::size_t LiveCount() const;

  void* Stock(int index) const;
  HBITMAP DefaultBitmap() const { return defaultBitmap_; }
  void* SysBrush(int index) const { return sysBrushes_[static_cast<std::size_t>(index)]; }
  host::services::FontLibrary& Fonts();
  // Writes "gdi: <what> is not supported" to stderr the first time only.
  void ReportGap(const std::string& what);

  // Moves one selection count from `from` to `to` (either may be nullptr).
  void Reselect(const void* from, const void* to);

 private:
  template <class T>
  static constexpr Kind KindOf() {
    if constexpr (std::is_same_v<T, PenObj>)
      return Kind::Pen;
    else if constexpr (std::is_same_v<T, BrushObj>)
      return Kind::Brush;
    else if constexpr (std::is_same_v<T, FontObj>)
      return Kind::Font;
    else if constexpr (std::is_same_v<T, BitmapObj>)
      return Kind::Bitmap;
    else if constexpr (std::is_same_v<T, PaletteObj>)
      return Kind::Palette;
    else if constexpr (std::is_same_v<T, RegionObj>)
      return Kind::Region;
    else
      return Kind::DC;
  }

  std::unordered_map<std::uintptr_t, std::unique_ptr<Object>> objects_;
  std::uintptr_t next_ = 0x10000;
  std::size_t stockCount_ = 0;
  std::array<void*, 20> stock_{};
  HBITMAP defaultBitmap_ = nullptr;
  std::array<void*, COLOR_INFOBK + 1> sysBrushes_{};
  std::unique_ptr<host::services::FontLibrary> fonts_;
  win::GapReporter gaps_{"gdi"};
};

Table& TheTable();

// Holds the table's lock for one public call.
struct Call {
  std::lock_guard<std::recursive_mutex> lock{TheTable().mutex};
  Table& t = TheTable();
};

// What one drawing call works on: the target's pixels for the duration of the call,
// and the rectangle it may touch (target bounds and clip, device coordinates).
class Surface {
 public:
  explicit Surface(DCObj* dc);
  ~Surface();
  Surface(const Surface&) = delete;
  Surface& operator=(const Surface&) = delete;

  bool Ok() const { return ok_; }
  IPixelTarget* Target() const { return target_; }
  const PixelFormat& Format() const { return format_; }
  const PALETTEENTRY* Palette() const { return palette_; }
  // Clip rectangle, right and bottom exclusive, in device coordinates (at a render scale: the
  // pixels of the DC's coordinates that the clip reaches at all); may be empty.
  const RECT& Clip() const { return clip_; }
  // Narrows the clip rectangle for the rest of this call (device coordinates).
  void IntersectClip(long long left, long long top, long long right, long long bottom);
  int Bpp() const { return bpp_; }
  // The target's render scale: Address, Read, Write and Span work on its fine grid, whose clip
  // rectangle is FineClip (the same as Clip at scale 1).
  int Scale() const { return scale_; }
  const RECT& FineClip() const { return fineClip_; }
  // Span over the pixels of the DC's coordinates (row y, x0 <= x < x1): at a render scale, the
  // blocks of fine pixels that stand for them.
  void BlockSpan(long long y, long long x0, long long x1, uint32_t value, int rop2) const;

  uint8_t* Address(int x, int y) const {
    return access_.bits + access_.pitch * y + static_cast<std::ptrdiff_t>(x) * bpp_;
  }
  uint32_t Read(int x, int y) const;
  void Write(int x, int y, uint32_t v) const;
  // Combines pixels x0 <= x < x1 of row y (device coordinates) with `value` by the
  // binary raster operation; clipped.
  void Span(long long y, long long x0, long long x1, uint32_t value, int rop2) const;
  uint32_t ToPixel(COLORREF c) const { return ColorToPixel(c, format_, palette_); }
  COLORREF ToColor(uint32_t v) const { return PixelToColor(v, format_, palette_); }
  // The bits of a pixel value that raster operations may change.
  uint32_t ColourBits() const { return colourBits_; }

 private:
  IPixelTarget* target_ = nullptr;
  PixelAccess access_{};
  PixelFormat format_;
  const PALETTEENTRY* palette_ = nullptr;
  RECT clip_{0, 0, 0, 0};
  RECT fineClip_{0, 0, 0, 0};
  int scale_ = 1;
  int bpp_ = 4;
  uint32_t colourBits_ = 0;
  bool ok_ = false;
};

IPixelTarget* TargetOfDC(DCObj* dc);
uint32_t ApplyRop2(int rop2, uint32_t pen, uint32_t dst, uint32_t colourBits);
// A brush handle or a system colour given as (HBRUSH)(COLOR_xxx + 1); false for a null brush.
bool BrushColour(HBRUSH brush, COLORREF& colour);
// The DC's font opened through the font library (nullptr if no font could be opened).
std::shared_ptr<host::services::Font> RealizeFont(DCObj* dc);
// The DC's font at `scale` times its size, rasterised at that size (the font itself at 1).
std::shared_ptr<host::services::Font> RealizeFineFont(DCObj* dc, int scale);

}  // namespace gdi::detail
