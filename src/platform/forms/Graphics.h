// The form framework's graphics: colours, fonts, pens, brushes, the canvas that
// draws with them through the GDI, and the pictures (bitmaps and JPEG images).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/gdi/Gdi.h"
#include "platform/rtl/Classes.h"
#include "platform/rtl/SysUtils.h"

namespace forms {

// A GDI colour (0x00BBGGRR) or, with the top bit set, a system colour index.
using TColor = uint32_t;
inline constexpr TColor clBlack = 0x000000;
inline constexpr TColor clWhite = 0xFFFFFF;
inline constexpr TColor clRed = 0x0000FF;
inline constexpr TColor clNone = 0x1FFFFFFF;
inline constexpr TColor clSystemColor = 0x80000000;
inline constexpr TColor clBtnFace = clSystemColor | COLOR_BTNFACE;
inline constexpr TColor clBtnShadow = clSystemColor | COLOR_BTNSHADOW;
inline constexpr TColor clBtnHighlight = clSystemColor | COLOR_BTNHIGHLIGHT;
inline constexpr TColor clBtnText = clSystemColor | COLOR_BTNTEXT;
inline constexpr TColor cl3DDkShadow = clSystemColor | COLOR_3DDKSHADOW;
inline constexpr TColor cl3DLight = clSystemColor | COLOR_3DLIGHT;
inline constexpr TColor clWindow = clSystemColor | COLOR_WINDOW;
inline constexpr TColor clWindowText = clSystemColor | COLOR_WINDOWTEXT;
inline constexpr TColor clHighlight = clSystemColor | COLOR_HIGHLIGHT;
inline constexpr TColor clHighlightText = clSystemColor | COLOR_HIGHLIGHTTEXT;
inline constexpr TColor clGrayText = clSystemColor | COLOR_GRAYTEXT;

// The GDI colour of a TColor (system colours looked up).
COLORREF ColorToRGB(TColor color);

// The run-time library's error for a picture it cannot read.
class EInvalidGraphic : public rtl::Exception {
  using rtl::Exception::Exception;
};

enum TFontStyle : uint32_t { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };

// Fonts are sized as GDI sizes them: points at 96 dots per inch, or a pixel height
// (negative: the character height, as LOGFONT's lfHeight).
class TFont {
 public:
  std::string Name = "MS UI Gothic";
  BYTE Charset = DEFAULT_CHARSET;
  TColor Color = clWindowText;
  uint32_t Style = 0;

  int Height() const { return height_; }
  void SetHeight(int height) {
    height_ = height;
    Changed();
  }
  // Points: the pixel height is -MulDiv(size, 96, 72).
  int Size() const;
  void SetSize(int points);

  void Assign(const TFont& other);
  // Bumped on every change, so a canvas knows when to make a new GDI font.
  uint64_t Version() const { return version_; }
  void Changed() { ++version_; }
  LOGFONTA ToLogFont() const;

 private:
  int height_ = -12;
  uint64_t version_ = 1;
};

enum class TPenStyle { psSolid, psClear, psInsideFrame };
enum class TPenMode { pmCopy, pmXor, pmMerge, pmNot, pmNop };

struct TPen {
  TColor Color = clBlack;
  TPenStyle Style = TPenStyle::psSolid;
  TPenMode Mode = TPenMode::pmCopy;
  int Width = 1;
};

enum class TBrushStyle { bsSolid, bsClear };

struct TBrush {
  TColor Color = clWhite;
  TBrushStyle Style = TBrushStyle::bsSolid;
};

class TGraphic;

// Draws on a device context with the framework's font, pen and brush. The canvas
// makes the GDI objects as the drawing calls need them and gives them back when it dies.
class TCanvas {
 public:
  // dc is not owned.
  explicit TCanvas(HDC dc = nullptr);
  ~TCanvas();
  TCanvas(const TCanvas&) = delete;
  TCanvas& operator=(const TCanvas&) = delete;

  HDC Handle() const { return dc_; }
  void SetHandle(HDC dc);

  TFont Font;
  TPen Pen;
  TBrush Brush;
  // Called after every drawing call (a form shows what was drawn on its canvas).
  std::function<void()> OnChange;

  void TextOut(int x, int y, const std::string& utf8);
  int TextWidth(const std::string& utf8);
  int TextHeight(const std::string& utf8);
  void Rectangle(int left, int top, int right, int bottom);
  void Ellipse(int left, int top, int right, int bottom);
  void MoveTo(int x, int y);
  void LineTo(int x, int y);
  void FillRect(const RECT& rect);
  void FrameRect(const RECT& rect);
  void Polyline(const std::vector<POINT>& points);
  // Draws a picture with its top-left corner at (x, y).
  void Draw(int x, int y, const TGraphic& graphic);
  COLORREF Pixel(int x, int y);
  void SetPixel(int x, int y, TColor color);

 private:
  void Select(bool pen, bool brush, bool font);
  void Changed();
  void FreeObjects();

  HDC dc_ = nullptr;
  HGDIOBJ oldPen_ = nullptr, oldBrush_ = nullptr, oldFont_ = nullptr;
  HPEN pen_ = nullptr;
  HBRUSH brush_ = nullptr;
  HFONT font_ = nullptr;
  TPen penMade_{};
  TBrush brushMade_{};
  uint64_t fontMade_ = 0;
};

class TGraphic {
 public:
  virtual ~TGraphic() = default;
  virtual int Width() const = 0;
  virtual int Height() const = 0;
  virtual bool Empty() const { return Width() == 0 || Height() == 0; }
  // Copies the picture onto the canvas with its top-left corner at (x, y).
  virtual void Draw(TCanvas& canvas, int x, int y) const = 0;
  virtual void LoadFromStream(rtl::TStream& stream) = 0;
  void LoadFromFile(const std::string& fileName);
};

enum class TPixelFormat { pf8bit, pf15bit, pf16bit, pf24bit, pf32bit };

// A device-independent bitmap with its own memory device context and canvas.
class TBitmap final : public TGraphic {
 public:
  TBitmap();
  TBitmap(int width, int height, TPixelFormat format = TPixelFormat::pf32bit);
  ~TBitmap() override;
  TBitmap(const TBitmap&) = delete;
  TBitmap& operator=(const TBitmap&) = delete;

  int Width() const override { return width_; }
  int Height() const override { return height_; }
  void SetSize(int width, int height);
  TPixelFormat PixelFormat() const { return format_; }

  // BMP files of 8, 16, 24 and 32 bits per pixel (uncompressed, or 16/32 with bit masks).
  // A file that is not such a picture raises EInvalidGraphic; a short one EReadError.
  void LoadFromStream(rtl::TStream& stream) override;
  void SaveToStream(rtl::TStream& stream) const;
  void Draw(TCanvas& canvas, int x, int y) const override;

  TCanvas& Canvas() { return *canvas_; }
  HDC DC() const { return dc_; }
  HBITMAP Handle() const { return bitmap_; }
  gdi::MemoryTarget* Target() const;
  // The picture as 0x00RRGGBB pixels, row by row from the top (for presenting and PNG files).
  std::vector<uint32_t> ToXrgb() const;

 private:
  void Make(const BITMAPINFO* info, int width, int height);
  void Release();

  int width_ = 0;
  int height_ = 0;
  TPixelFormat format_ = TPixelFormat::pf32bit;
  HDC dc_ = nullptr;
  HBITMAP bitmap_ = nullptr;
  HGDIOBJ oldBitmap_ = nullptr;
  std::unique_ptr<TCanvas> canvas_;
};

// A JPEG picture, decoded when loaded (baseline or progressive, through libjpeg).
class TJPEGImage final : public TGraphic {
 public:
  int Width() const override { return width_; }
  int Height() const override { return height_; }
  // Raises EInvalidGraphic with the decoder's reason for data that is not a JPEG picture.
  void LoadFromStream(rtl::TStream& stream) override;
  void LoadFromMemory(const uint8_t* data, size_t size);
  void Draw(TCanvas& canvas, int x, int y) const override;
  // The decoded picture as a bitmap of its own (made on first use).
  const TBitmap& Bitmap() const;

 private:
  int width_ = 0, height_ = 0;
  std::vector<uint8_t> rgb_;
  mutable std::unique_ptr<TBitmap> bitmap_;
};

// Holds one picture of any kind.
class TPicture {
 public:
  TGraphic* Graphic() const { return graphic_.get(); }
  void SetGraphic(std::unique_ptr<TGraphic> graphic) {
    graphic_ = std::move(graphic);
    if (OnChange) OnChange();
  }
  // The picture as a bitmap, made empty when the picture holds something else.
  TBitmap& Bitmap();
  int Width() const { return graphic_ ? graphic_->Width() : 0; }
  int Height() const { return graphic_ ? graphic_->Height() : 0; }
  std::function<void()> OnChange;

 private:
  std::unique_ptr<TGraphic> graphic_;
};

}  // namespace forms
