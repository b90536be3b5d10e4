// What a device context draws on: a rectangle of pixels in some pixel format.
//
// Memory bitmaps (CreateDIBSection, CreateCompatibleBitmap) and DirectDraw surfaces
// (IDirectDrawSurface7::GetDC) are both targets. A device context never keeps the
// pixel pointer between calls: every drawing call brackets its work with BeginAccess
// and EndAccess, so a surface can map its memory only while GDI actually touches it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/win/WinTypes.h"

namespace gdi {

// One colour channel of a pixel: where it sits and how wide its lowest run of mask bits is.
struct Channel {
  int shift = 0;
  int bits = 0;  // 0: the pixel has no such channel
};
Channel ChannelOf(uint32_t mask);
// An 8-bit value into the channel (its high bits kept).
uint32_t PackChannel(uint32_t value8, Channel c);
// The channel of `pixel` as an 8-bit value; a narrow one has its bits repeated into the low
// ones, so that its largest value is 255 (31 in five bits is 255, 1 in one bit is 255).
uint32_t UnpackChannel(uint32_t pixel, Channel c);

// Layout of one pixel. 8 bits per pixel is palette-indexed (the masks are unused);
// 15 and 16 are two bytes, 24 three bytes, 32 four bytes, little-endian, with the
// colour channels where the masks say. 15 means a 16-bit pixel with 5-5-5 masks.
struct PixelFormat {
  int bitsPerPixel = 32;
  uint32_t rMask = 0x00FF0000;
  uint32_t gMask = 0x0000FF00;
  uint32_t bMask = 0x000000FF;
  uint32_t aMask = 0;  // informational: GDI leaves the alpha bits at 0 when it writes

  bool Indexed() const { return bitsPerPixel == 8; }
  int BytesPerPixel() const { return (bitsPerPixel + 7) / 8; }
  // All bits a pixel value may carry (the low bitsPerPixel bits; 15 counts as 16).
  uint32_t ValueMask() const;
  // True for the formats a device context can draw on.
  bool Valid() const;

  static PixelFormat Rgb565() { return {16, 0xF800, 0x07E0, 0x001F, 0}; }
  static PixelFormat Rgb555() { return {16, 0x7C00, 0x03E0, 0x001F, 0}; }
  static PixelFormat Rgb888() { return {24, 0xFF0000, 0x00FF00, 0x0000FF, 0}; }
  static PixelFormat Xrgb8888() { return {32, 0xFF0000, 0x00FF00, 0x0000FF, 0}; }
  static PixelFormat Indexed8() { return {8, 0, 0, 0, 0}; }

  friend bool operator==(const PixelFormat&, const PixelFormat&) = default;
};

// Pixel memory while a target is being accessed. `bits` points at the first byte of
// the TOP row; `pitch` is the distance in bytes from one row to the next one down
// (negative for a bottom-up DIB).
struct PixelAccess {
  uint8_t* bits = nullptr;
  std::ptrdiff_t pitch = 0;
};

class IPixelTarget {
 public:
  virtual ~IPixelTarget() = default;
  virtual int Width() const = 0;
  virtual int Height() const = 0;
  // Pixels per pixel of the target's coordinates, in each direction: a target drawn at a
  // render scale holds Width() * Scale() x Height() * Scale() pixels, and BeginAccess reaches
  // those. Drawing calls keep their coordinates and draw on the fine grid.
  virtual int Scale() const { return 1; }
  virtual PixelFormat Format() const = 0;
  // 256 entries for an 8-bit target, nullptr for the others (an 8-bit target without
  // a palette draws with the default system palette).
  virtual const PALETTEENTRY* Palette() const { return nullptr; }
  // Makes the pixels reachable until EndAccess. False when they cannot be reached now
  // (a lost surface): the drawing call then fails and touches nothing.
  virtual bool BeginAccess(PixelAccess& access) = 0;
  virtual void EndAccess() = 0;
};

// A target that owns its pixels (memory bitmaps, tests). Rows are top-down, each
// aligned to 4 bytes as in a DIB, unless bottomUp is set (then the memory holds the
// bottom row first, as a DIB with a positive height does).
class MemoryTarget final : public IPixelTarget {
 public:
  MemoryTarget(int width, int height, const PixelFormat& format, bool bottomUp = false);

  int Width() const override { return width_; }
  int Height() const override { return height_; }
  PixelFormat Format() const override { return format_; }
  const PALETTEENTRY* Palette() const override { return format_.Indexed() ? palette_.data() : nullptr; }
  bool BeginAccess(PixelAccess& access) override;
  void EndAccess() override {}

  // The memory block as a DIB sees it (first stored row first) and its row stride.
  uint8_t* Memory() { return memory_.data(); }
  const uint8_t* Memory() const { return memory_.data(); }
  std::size_t MemorySize() const { return memory_.size(); }
  int Stride() const { return stride_; }
  bool BottomUp() const { return bottomUp_; }
  // Start of row y counted from the top (0 <= y < Height()).
  uint8_t* Row(int y);
  const uint8_t* Row(int y) const;
  // Raw pixel value at (x, y); 0 outside.
  uint32_t Value(int x, int y) const;
  void SetValue(int x, int y, uint32_t value);
  void SetPalette(const PALETTEENTRY* entries, int first, int count);

 private:
  int width_;
  int height_;
  PixelFormat format_;
  bool bottomUp_;
  int stride_;
  std::vector<uint8_t> memory_;
  std::vector<PALETTEENTRY> palette_;
};

// A 32-bit (X8R8G8B8) top-down target at a render scale: Width() x Height() in the
// coordinates drawn with, `scale` times as many pixels each way behind them.
class ScaledTarget final : public IPixelTarget {
 public:
  ScaledTarget(int width, int height, int scale);
  int Width() const override { return width_; }
  int Height() const override { return height_; }
  int Scale() const override { return scale_; }
  PixelFormat Format() const override { return PixelFormat::Xrgb8888(); }
  bool BeginAccess(PixelAccess& access) override;
  void EndAccess() override {}
  // The real pixels, (Width() * Scale()) per row, rows top-down; 0x00RRGGBB (the top byte unused).
  const std::vector<uint32_t>& Pixels() const { return pixels_; }
  uint32_t At(int fineX, int fineY) const;
  void Fill(uint32_t value);

 private:
  int width_, height_, scale_;
  std::vector<uint32_t> pixels_;
};

// Colour conversions as GDI makes them on a target of the given format.
// COLORREF -> pixel value: each channel keeps its high bits (a 5-bit channel of 0xFF
// gives 31); on an 8-bit target the nearest palette entry (or the index itself for a
// PALETTEINDEX colour, 0x01000000 | index).
uint32_t ColorToPixel(COLORREF color, const PixelFormat& format, const PALETTEENTRY* palette);
// Pixel value -> COLORREF: each channel widened to 8 bits by repeating its high bits,
// so a full channel reads back as 0xFF.
COLORREF PixelToColor(uint32_t value, const PixelFormat& format, const PALETTEENTRY* palette);
// Converts pixel values from one format to another with the same result as
// ColorToPixel(PixelToColor(v)), but quickly: for copying whole pictures between
// formats (a 16-bit back buffer onto a 32-bit window, a 24-bit bitmap onto a surface).
class PixelConverter {
 public:
  PixelConverter(const PixelFormat& from, const PALETTEENTRY* fromPalette, const PixelFormat& to,
                 const PALETTEENTRY* toPalette);
  uint32_t operator()(uint32_t value) const;

 private:
  struct Lane {
    int srcShift = 0, srcBits = 0, dstShift = 0, dstBits = 0;
    uint8_t widen[256] = {};  // a source channel of up to 8 bits widened to 8 bits
  };
  PixelFormat from_, to_;
  const PALETTEENTRY* fromPalette_;
  const PALETTEENTRY* toPalette_;
  enum class Mode { Table, Channels, Slow } mode_;
  std::vector<uint32_t> table_;  // every value of an 8-bit source
  Lane lanes_[3];
  mutable uint32_t lastIn_ = 0, lastOut_ = 0;
  mutable bool hasLast_ = false;
};

// The palette an 8-bit target without one of its own draws with: the 20 static
// colours of the system at 0..9 and 246..255, a colour cube in between.
const PALETTEENTRY* DefaultPalette();

}  // namespace gdi
