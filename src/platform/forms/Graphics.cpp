#include "platform/forms/Graphics.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/gdi/BmpFile.h"
#include "platform/host/services/ImageCodecs.h"

namespace forms {

COLORREF ColorToRGB(TColor color) {
  if (color & clSystemColor) return GetSysColor(static_cast<int>(color & 0xFF));
  return color & 0x00FFFFFF;
}

namespace {

// MulDiv: the product over the divisor, rounded half away from zero.
int MulDiv(int a, int b, int c) {
  int64_t p = int64_t(a) * b;
  int64_t q = (std::llabs(p) + c / 2) / c;
  return static_cast<int>(p < 0 ? -q : q);
}

}  // namespace

// ---- TFont ---------------------------------------------------------------------

int TFont::Size() const { return -MulDiv(height_, 72, 96); }

void TFont::SetSize(int points) { SetHeight(-MulDiv(points, 96, 72)); }

void TFont::Assign(const TFont& other) {
  Name = other.Name;
  Charset = other.Charset;
  Color = other.Color;
  Style = other.Style;
  height_ = other.height_;
  Changed();
}

LOGFONTA TFont::ToLogFont() const {
  LOGFONTA lf{};
  lf.lfHeight = height_;
  lf.lfWeight = (Style & fsBold) ? FW_BOLD : FW_NORMAL;
  lf.lfItalic = (Style & fsItalic) ? 1 : 0;
  lf.lfUnderline = (Style & fsUnderline) ? 1 : 0;
  lf.lfStrikeOut = (Style & fsStrikeOut) ? 1 : 0;
  lf.lfCharSet = Charset;
  lf.lfQuality = DEFAULT_QUALITY;
  size_t n = std::min(Name.size(), static_cast<size_t>(LF_FACESIZE - 1));
  // Never cut a UTF-8 character in two.
  while (n > 0 && n < Name.size() && (static_cast<unsigned char>(Name[n]) & 0xC0) == 0x80) --n;
  std::memcpy(lf.lfFaceName, Name.data(), n);
  lf.lfFaceName[n] = '\0';
  return lf;
}

// ---- TCanvas -------------------------------------------------------------------

TCanvas::TCanvas(HDC dc) : dc_(dc) {}

TCanvas::~TCanvas() { FreeObjects(); }

void TCanvas::SetHandle(HDC dc) {
  if (dc == dc_) return;
  FreeObjects();
  dc_ = dc;
}

void TCanvas::FreeObjects() {
  if (dc_) {
    if (oldPen_) SelectObject(dc_, oldPen_);
    if (oldBrush_) SelectObject(dc_, oldBrush_);
    if (oldFont_) SelectObject(dc_, oldFont_);
  }
  oldPen_ = oldBrush_ = oldFont_ = nullptr;
  if (pen_) DeleteObject(pen_);
  if (brush_) DeleteObject(brush_);
  if (font_) DeleteObject(font_);
  pen_ = nullptr;
  brush_ = nullptr;
  font_ = nullptr;
  fontMade_ = 0;
}

namespace {

bool SamePen(const TPen& a, const TPen& b) { return a.Color == b.Color && a.Style == b.Style && a.Width == b.Width; }

int Rop2Of(TPenMode mode) {
  switch (mode) {
    case TPenMode::pmXor:
      return R2_XORPEN;
    case TPenMode::pmMerge:
      return R2_MERGEPEN;
    case TPenMode::pmNot:
      return R2_NOT;
    case TPenMode::pmNop:
      return R2_NOP;
    case TPenMode::pmCopy:
      break;
  }
  return R2_COPYPEN;
}

}  // namespace

void TCanvas::Select(bool pen, bool brush, bool font) {
  if (!dc_) return;
  if (pen) {
    if (!pen_ || !SamePen(Pen, penMade_)) {
      int style = Pen.Style == TPenStyle::psClear         ? PS_NULL
                  : Pen.Style == TPenStyle::psInsideFrame ? PS_INSIDEFRAME
                                                          : PS_SOLID;
      HPEN made = CreatePen(style, Pen.Width, ColorToRGB(Pen.Color));
      HGDIOBJ old = SelectObject(dc_, made);
      if (!oldPen_) oldPen_ = old;
      if (pen_) DeleteObject(pen_);
      pen_ = made;
      penMade_ = Pen;
    }
    SetROP2(dc_, Rop2Of(Pen.Mode));
  }
  if (brush) {
    if (!brush_ || Brush.Color != brushMade_.Color || Brush.Style != brushMade_.Style) {
      LOGBRUSH lb{Brush.Style == TBrushStyle::bsClear ? BS_NULL : BS_SOLID, ColorToRGB(Brush.Color), 0};
      HBRUSH made = CreateBrushIndirect(&lb);
      HGDIOBJ old = SelectObject(dc_, made);
      if (!oldBrush_) oldBrush_ = old;
      if (brush_) DeleteObject(brush_);
      brush_ = made;
      brushMade_ = Brush;
    }
  }
  if (font) {
    if (!font_ || fontMade_ != Font.Version()) {
      LOGFONTA lf = Font.ToLogFont();
      HFONT made = CreateFontIndirectA(&lf);
      HGDIOBJ old = SelectObject(dc_, made);
      if (!oldFont_) oldFont_ = old;
      if (font_) DeleteObject(font_);
      font_ = made;
      fontMade_ = Font.Version();
    }
    SetTextColor(dc_, ColorToRGB(Font.Color));
    // A clear brush makes text transparent, as the framework's canvas does.
    if (Brush.Style == TBrushStyle::bsClear) {
      SetBkMode(dc_, TRANSPARENT);
    } else {
      SetBkMode(dc_, OPAQUE);
      SetBkColor(dc_, ColorToRGB(Brush.Color));
    }
  }
}

void TCanvas::Changed() {
  if (OnChange) OnChange();
}

void TCanvas::TextOut(int x, int y, const std::string& utf8) {
  Select(false, true, true);
  if (dc_ && !utf8.empty()) TextOutA(dc_, x, y, utf8.data(), static_cast<int>(utf8.size()));
  Changed();
}

int TCanvas::TextWidth(const std::string& utf8) {
  Select(false, false, true);
  SIZE s{0, 0};
  if (dc_) GetTextExtentPoint32A(dc_, utf8.data(), static_cast<int>(utf8.size()), &s);
  return s.cx;
}

int TCanvas::TextHeight(const std::string& utf8) {
  Select(false, false, true);
  SIZE s{0, 0};
  if (dc_) GetTextExtentPoint32A(dc_, utf8.data(), static_cast<int>(utf8.size()), &s);
  return s.cy;
}

void TCanvas::Rectangle(int left, int top, int right, int bottom) {
  Select(true, true, false);
  if (dc_) ::Rectangle(dc_, left, top, right, bottom);
  Changed();
}

void TCanvas::Ellipse(int left, int top, int right, int bottom) {
  Select(true, true, false);
  if (dc_) ::Ellipse(dc_, left, top, right, bottom);
  Changed();
}

void TCanvas::MoveTo(int x, int y) {
  if (dc_) MoveToEx(dc_, x, y, nullptr);
}

void TCanvas::LineTo(int x, int y) {
  Select(true, false, false);
  if (dc_) ::LineTo(dc_, x, y);
  Changed();
}

void TCanvas::FillRect(const RECT& rect) {
  Select(false, true, false);
  if (dc_ && brush_) ::FillRect(dc_, &rect, brush_);
  Changed();
}

void TCanvas::FrameRect(const RECT& rect) {
  Select(false, true, false);
  if (dc_ && brush_) ::FrameRect(dc_, &rect, brush_);
  Changed();
}

void TCanvas::Polyline(const std::vector<POINT>& points) {
  Select(true, false, false);
  if (dc_ && !points.empty()) ::Polyline(dc_, points.data(), static_cast<int>(points.size()));
  Changed();
}

void TCanvas::Draw(int x, int y, const TGraphic& graphic) {
  graphic.Draw(*this, x, y);
  Changed();
}

COLORREF TCanvas::Pixel(int x, int y) { return dc_ ? GetPixel(dc_, x, y) : CLR_INVALID; }

void TCanvas::SetPixel(int x, int y, TColor color) {
  if (dc_) ::SetPixel(dc_, x, y, ColorToRGB(color));
  Changed();
}

// ---- TGraphic ------------------------------------------------------------------

void TGraphic::LoadFromFile(const std::string& fileName) {
  rtl::TFileStream stream(fileName, rtl::fmOpenRead | rtl::fmShareDenyWrite);
  LoadFromStream(stream);
}

// ---- TBitmap -------------------------------------------------------------------

namespace {

// A BITMAPINFO with room for a full colour table (or the three masks).
struct InfoBuffer {
  std::vector<uint32_t> words = std::vector<uint32_t>((sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD)) / 4, 0u);
  BITMAPINFO* Info() { return reinterpret_cast<BITMAPINFO*>(words.data()); }
  uint32_t* Masks() { return reinterpret_cast<uint32_t*>(Info()->bmiColors); }
};

[[noreturn]] void Invalid(const std::string& why) { throw EInvalidGraphic("Bitmap image is not valid (" + why + ")"); }

}  // namespace

TBitmap::TBitmap() : canvas_(std::make_unique<TCanvas>()) {}

TBitmap::TBitmap(int width, int height, TPixelFormat format) : TBitmap() {
  format_ = format;
  SetSize(width, height);
}

TBitmap::~TBitmap() { Release(); }

void TBitmap::Release() {
  canvas_->SetHandle(nullptr);
  if (dc_) {
    if (oldBitmap_) SelectObject(dc_, oldBitmap_);
    DeleteDC(dc_);
  }
  if (bitmap_) DeleteObject(bitmap_);
  dc_ = nullptr;
  bitmap_ = nullptr;
  oldBitmap_ = nullptr;
  width_ = height_ = 0;
}

void TBitmap::Make(const BITMAPINFO* info, int width, int height) {
  Release();
  if (width <= 0 || height <= 0) return;
  void* bits = nullptr;
  HBITMAP bm = CreateDIBSection(nullptr, info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!bm) Invalid("the picture cannot be held in memory");
  HDC dc = CreateCompatibleDC(nullptr);
  if (!dc) {
    DeleteObject(bm);
    Invalid("no device context for the picture");
  }
  oldBitmap_ = SelectObject(dc, bm);
  dc_ = dc;
  bitmap_ = bm;
  width_ = width;
  height_ = height;
  canvas_->SetHandle(dc_);
}

void TBitmap::SetSize(int width, int height) {
  if (width == width_ && height == height_ && bitmap_) return;
  InfoBuffer buf;
  BITMAPINFOHEADER& h = buf.Info()->bmiHeader;
  h.biSize = sizeof(BITMAPINFOHEADER);
  h.biWidth = width;
  h.biHeight = -height;  // top-down rows
  h.biPlanes = 1;
  h.biCompression = BI_RGB;
  switch (format_) {
    case TPixelFormat::pf8bit: {
      h.biBitCount = 8;
      const PALETTEENTRY* pal = gdi::DefaultPalette();
      for (int i = 0; i < 256; ++i) {
        buf.Info()->bmiColors[i] = RGBQUAD{pal[i].peBlue, pal[i].peGreen, pal[i].peRed, 0};
      }
      break;
    }
    case TPixelFormat::pf15bit:
      h.biBitCount = 16;
      break;
    case TPixelFormat::pf16bit:
      h.biBitCount = 16;
      h.biCompression = BI_BITFIELDS;
      buf.Masks()[0] = 0xF800;
      buf.Masks()[1] = 0x07E0;
      buf.Masks()[2] = 0x001F;
      break;
    case TPixelFormat::pf24bit:
      h.biBitCount = 24;
      break;
    case TPixelFormat::pf32bit:
      h.biBitCount = 32;
      break;
  }
  Make(buf.Info(), width, height);
  if (dc_) {
    // A new bitmap starts white, as the framework's bitmaps do.
    RECT r{0, 0, width, height};
    ::FillRect(dc_, &r, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  }
}

gdi::MemoryTarget* TBitmap::Target() const { return bitmap_ ? gdi::BitmapTarget(bitmap_) : nullptr; }

void TBitmap::LoadFromStream(rtl::TStream& stream) {
  const int64_t start = stream.Position();
  const int64_t available = stream.Size() - start;
  const gdi::BmpHead head = gdi::ReadBmpHead({[&](int64_t at, void* into, int64_t count) -> int64_t {
                                                stream.SetPosition(start + at);
                                                return stream.Read(into, count);
                                              },
                                              available},
                                             gdi::BmpTableRule::AsDeclared);
  const uint32_t headerSize = head.headerSize;
  const int32_t width = head.width;
  const int32_t height = head.rawHeight;
  const uint16_t bitCount = head.bitCount;
  const uint32_t compression = head.compression;
  switch (head.fault) {
    case gdi::BmpFault::None:
      break;
    case gdi::BmpFault::NotBmp:
      Invalid("no BM signature");
    case gdi::BmpFault::BitCount:
      Invalid(std::to_string(bitCount) + " bits per pixel is not supported");
    case gdi::BmpFault::Unsupported:
      if (headerSize < 40) Invalid("unsupported header of " + std::to_string(headerSize) + " bytes");
      if (compression != BI_RGB && !head.bitFields)
        Invalid("compression " + std::to_string(compression) + " is not supported");
      Invalid("size " + std::to_string(width) + " x " + std::to_string(height));
    case gdi::BmpFault::TooManyColours:
      Invalid(std::to_string(head.colorsUsed) + " colours in the colour table");
    case gdi::BmpFault::CutInFileHeader:
    case gdi::BmpFault::CutInInfoHeader:
    case gdi::BmpFault::CutInColourTable:
    case gdi::BmpFault::CutInMasks:
      throw rtl::EReadError("Stream read error");
  }
  // Header versions the bitmap reads whole: 40, 52, 56, 108 and 124 bytes.
  if (headerSize != 40 && headerSize != 52 && headerSize != 56 && headerSize != 108 && headerSize != 124) {
    Invalid("unsupported header of " + std::to_string(headerSize) + " bytes");
  }
  if (available < 14 + int64_t(headerSize)) throw rtl::EReadError("Stream read error");
  constexpr int32_t kMaxSide = 32768;
  if (width > kMaxSide || height < -kMaxSide || height > kMaxSide) {
    Invalid("size " + std::to_string(width) + " x " + std::to_string(height));
  }

  InfoBuffer buf;
  BITMAPINFOHEADER& h = buf.Info()->bmiHeader;
  h.biSize = sizeof(BITMAPINFOHEADER);
  h.biWidth = width;
  h.biHeight = height;
  h.biPlanes = 1;
  h.biBitCount = bitCount;
  h.biCompression = compression;
  if (bitCount == 8) {
    std::memcpy(buf.Info()->bmiColors, head.colours.data(), size_t(head.colourEntries) * sizeof(RGBQUAD));
    h.biClrUsed = 256;  // unused entries stay black
  } else if (head.bitFields) {
    for (int i = 0; i < 3; ++i) buf.Masks()[i] = head.masks[static_cast<size_t>(i)];
    // The plain layouts need no masks; anything else must be one GDI can hold.
    const uint32_t* m = buf.Masks();
    if (bitCount == 32 && m[0] == 0xFF0000 && m[1] == 0xFF00 && m[2] == 0xFF) h.biCompression = BI_RGB;
    if (bitCount == 16 && m[0] == 0x7C00 && m[1] == 0x03E0 && m[2] == 0x001F) h.biCompression = BI_RGB;
  }

  const int64_t rows = height < 0 ? -int64_t(height) : int64_t(height);
  const int64_t dataSize = head.RowBytes() * rows;
  const int64_t dataStart = head.dataStart;
  if (head.offBits != 0 && head.offBits < 14 + int64_t(headerSize)) Invalid("the pixel data overlaps the header");
  if (dataStart + dataSize > available) Invalid("the pixel data is cut short");
  std::vector<uint8_t> pixels(static_cast<size_t>(dataSize));
  stream.SetPosition(start + dataStart);
  stream.ReadBuffer(pixels.data(), dataSize);

  format_ = bitCount == 8    ? TPixelFormat::pf8bit
            : bitCount == 16 ? (h.biCompression == BI_RGB ? TPixelFormat::pf15bit : TPixelFormat::pf16bit)
            : bitCount == 24 ? TPixelFormat::pf24bit
                             : TPixelFormat::pf32bit;
  // The DIB keeps the file's row order, so the file's rows are its memory as they are.
  Make(buf.Info(), width, static_cast<int>(rows));
  gdi::MemoryTarget* t = Target();
  if (!t || t->MemorySize() < pixels.size()) {
    Release();
    Invalid("bit masks that cannot be drawn");
  }
  std::memcpy(t->Memory(), pixels.data(), pixels.size());
}

void TBitmap::SaveToStream(rtl::TStream& stream) const {
  // Written as a 32-bit top-down file, whatever the bitmap's own format.
  std::vector<uint32_t> px = ToXrgb();
  const uint32_t dataSize = static_cast<uint32_t>(px.size() * 4);
  uint8_t head[54] = {};
  auto put32 = [&](int at, uint32_t v) {
    for (int i = 0; i < 4; ++i) head[at + i] = static_cast<uint8_t>(v >> (8 * i));
  };
  head[0] = 'B';
  head[1] = 'M';
  put32(2, 54 + dataSize);
  put32(10, 54);
  put32(14, 40);
  put32(18, static_cast<uint32_t>(width_));
  put32(22, static_cast<uint32_t>(-height_));
  head[26] = 1;
  head[28] = 32;
  put32(34, dataSize);
  stream.WriteBuffer(head, sizeof head);
  std::vector<uint8_t> bytes(dataSize);
  for (size_t i = 0; i < px.size(); ++i) {
    bytes[i * 4 + 0] = static_cast<uint8_t>(px[i]);
    bytes[i * 4 + 1] = static_cast<uint8_t>(px[i] >> 8);
    bytes[i * 4 + 2] = static_cast<uint8_t>(px[i] >> 16);
  }
  stream.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
}

void TBitmap::Draw(TCanvas& canvas, int x, int y) const {
  if (dc_ && canvas.Handle()) BitBlt(canvas.Handle(), x, y, width_, height_, dc_, 0, 0, SRCCOPY);
}

std::vector<uint32_t> TBitmap::ToXrgb() const {
  std::vector<uint32_t> out(static_cast<size_t>(width_) * static_cast<size_t>(height_));
  gdi::MemoryTarget* t = Target();
  if (!t) return out;
  const gdi::PixelFormat f = t->Format();
  const bool plain32 = f == gdi::PixelFormat::Xrgb8888();
  for (int y = 0; y < height_; ++y) {
    uint32_t* dst = out.data() + static_cast<size_t>(y) * static_cast<size_t>(width_);
    if (plain32) {
      std::memcpy(dst, t->Row(y), static_cast<size_t>(width_) * 4);
      for (int x = 0; x < width_; ++x) dst[x] &= 0x00FFFFFF;
      continue;
    }
    for (int x = 0; x < width_; ++x) {
      COLORREF c = gdi::PixelToColor(t->Value(x, y), f, t->Palette());
      dst[x] = (uint32_t(GetRValue(c)) << 16) | (uint32_t(GetGValue(c)) << 8) | GetBValue(c);
    }
  }
  return out;
}

// ---- TJPEGImage ----------------------------------------------------------------

void TJPEGImage::LoadFromStream(rtl::TStream& stream) {
  int64_t size = stream.Size() - stream.Position();
  std::vector<uint8_t> data(static_cast<size_t>(std::max<int64_t>(size, 0)));
  stream.ReadBuffer(data.data(), static_cast<int64_t>(data.size()));
  LoadFromMemory(data.data(), data.size());
}

void TJPEGImage::LoadFromMemory(const uint8_t* data, size_t size) {
  host::services::Image image;
  auto result = host::services::DecodeJpeg(data, size, image);
  if (!result) throw EInvalidGraphic("JPEG image is not valid (" + result.error + ")");
  if (image.channels != 3) throw EInvalidGraphic("JPEG image is not valid (not an RGB picture)");
  width_ = image.width;
  height_ = image.height;
  rgb_ = std::move(image.pixels);
  bitmap_.reset();
}

const TBitmap& TJPEGImage::Bitmap() const {
  if (!bitmap_) {
    bitmap_ = std::make_unique<TBitmap>(width_, height_, TPixelFormat::pf32bit);
    gdi::MemoryTarget* t = bitmap_->Target();
    if (t) {
      for (int y = 0; y < height_; ++y) {
        const uint8_t* src = rgb_.data() + static_cast<size_t>(y) * static_cast<size_t>(width_) * 3;
        for (int x = 0; x < width_; ++x) {
          t->SetValue(x, y, (uint32_t(src[x * 3]) << 16) | (uint32_t(src[x * 3 + 1]) << 8) | src[x * 3 + 2]);
        }
      }
    }
  }
  return *bitmap_;
}

void TJPEGImage::Draw(TCanvas& canvas, int x, int y) const {
  if (width_ > 0 && height_ > 0) Bitmap().Draw(canvas, x, y);
}

// ---- TPicture ------------------------------------------------------------------

TBitmap& TPicture::Bitmap() {
  auto* bm = dynamic_cast<TBitmap*>(graphic_.get());
  if (!bm) {
    auto made = std::make_unique<TBitmap>();
    bm = made.get();
    graphic_ = std::move(made);
    if (OnChange) OnChange();
  }
  return *bm;
}

}  // namespace forms
