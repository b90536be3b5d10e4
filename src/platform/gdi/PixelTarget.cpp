#include "platform/gdi/PixelTarget.h"

#include <algorithm>
#include <bit>
#include <stdexcept>

namespace gdi {

uint32_t PixelFormat::ValueMask() const {
  const int bits = BytesPerPixel() * 8;
  return bits >= 32 ? 0xFFFFFFFFu : ((1u << bits) - 1u);
}

bool PixelFormat::Valid() const {
  switch (bitsPerPixel) {
    case 8:
      return true;
    case 15:
    case 16:
    case 24:
    case 32:
      return rMask && gMask && bMask && !(rMask & gMask) && !(rMask & bMask) && !(gMask & bMask) &&
             ((rMask | gMask | bMask) & ~ValueMask()) == 0;
    default:
      return false;
  }
}

MemoryTarget::MemoryTarget(int width, int height, const PixelFormat& format, bool bottomUp)
    : width_(std::max(0, width)), height_(std::max(0, height)), format_(format), bottomUp_(bottomUp) {
  if (!format_.Valid()) throw std::invalid_argument("unsupported pixel format");
  stride_ = ((width_ * format_.BytesPerPixel()) + 3) & ~3;
  memory_.assign(static_cast<std::size_t>(stride_) * height_, 0);
  if (format_.Indexed()) palette_.assign(DefaultPalette(), DefaultPalette() + 256);
}

bool MemoryTarget::BeginAccess(PixelAccess& access) {
  if (height_ == 0 || width_ == 0) {
    access.bits = memory_.data();
    access.pitch = stride_;
    return true;
  }
  if (bottomUp_) {
    access.bits = memory_.data() + static_cast<std::size_t>(stride_) * (height_ - 1);
    access.pitch = -static_cast<std::ptrdiff_t>(stride_);
  } else {
    access.bits = memory_.data();
    access.pitch = stride_;
  }
  return true;
}

uint8_t* MemoryTarget::Row(int y) {
  const int stored = bottomUp_ ? height_ - 1 - y : y;
  return memory_.data() + static_cast<std::size_t>(stride_) * stored;
}

const uint8_t* MemoryTarget::Row(int y) const { return const_cast<MemoryTarget*>(this)->Row(y); }

uint32_t MemoryTarget::Value(int x, int y) const {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return 0;
  const uint8_t* p = Row(y) + static_cast<std::size_t>(x) * format_.BytesPerPixel();
  uint32_t v = 0;
  for (int i = 0; i < format_.BytesPerPixel(); ++i) v |= uint32_t(p[i]) << (8 * i);
  return v;
}

void MemoryTarget::SetValue(int x, int y, uint32_t value) {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
  uint8_t* p = Row(y) + static_cast<std::size_t>(x) * format_.BytesPerPixel();
  for (int i = 0; i < format_.BytesPerPixel(); ++i) p[i] = uint8_t(value >> (8 * i));
}

ScaledTarget::ScaledTarget(int width, int height, int scale)
    : width_(std::max(0, width)), height_(std::max(0, height)), scale_(std::max(1, scale)) {
  pixels_.assign(static_cast<std::size_t>(width_) * scale_ * static_cast<std::size_t>(height_) * scale_, 0);
}

bool ScaledTarget::BeginAccess(PixelAccess& access) {
  access.bits = reinterpret_cast<uint8_t*>(pixels_.data());
  access.pitch = static_cast<std::ptrdiff_t>(width_) * scale_ * 4;
  return true;
}

uint32_t ScaledTarget::At(int fineX, int fineY) const {
  const int w = width_ * scale_, h = height_ * scale_;
  if (fineX < 0 || fineY < 0 || fineX >= w || fineY >= h) return 0;
  return pixels_[static_cast<std::size_t>(fineY) * w + fineX] & 0xFFFFFF;
}

void ScaledTarget::Fill(uint32_t value) { std::fill(pixels_.begin(), pixels_.end(), value); }

void MemoryTarget::SetPalette(const PALETTEENTRY* entries, int first, int count) {
  if (!format_.Indexed() || !entries || first < 0 || count <= 0) return;
  for (int i = 0; i < count && first + i < 256; ++i) palette_[first + i] = entries[i];
}

Channel ChannelOf(uint32_t mask) {
  if (!mask) return {0, 0};
  const int shift = std::countr_zero(mask);
  return {shift, std::countr_one(mask >> shift)};
}

uint32_t PackChannel(uint32_t value8, Channel c) {
  if (c.bits == 0) return 0;
  const uint32_t v = c.bits >= 8 ? (value8 << (c.bits - 8)) : (value8 >> (8 - c.bits));
  return v << c.shift;
}

uint32_t UnpackChannel(uint32_t pixel, Channel c) {
  if (c.bits == 0) return 0;
  const uint32_t max = c.bits >= 32 ? 0xFFFFFFFFu : ((1u << c.bits) - 1u);
  uint32_t v = (pixel >> c.shift) & max;
  if (c.bits >= 8) return v >> (c.bits - 8);
  // Repeat the high bits into the low ones: 31 in five bits becomes 255.
  uint32_t r = 0;
  int filled = 0;
  while (filled < 8) {
    r = (r << c.bits) | v;
    filled += c.bits;
  }
  return r >> (filled - 8);
}

namespace {}  // namespace

uint32_t ColorToPixel(COLORREF color, const PixelFormat& format, const PALETTEENTRY* palette) {
  if (format.Indexed()) {
    if ((color & 0xFF000000u) == 0x01000000u) return color & 0xFF;  // PALETTEINDEX
    if (!palette) palette = DefaultPalette();
    const int r = GetRValue(color), g = GetGValue(color), b = GetBValue(color);
    int best = 0;
    int bestDist = 1 << 30;
    for (int i = 0; i < 256; ++i) {
      const int dr = r - palette[i].peRed, dg = g - palette[i].peGreen, db = b - palette[i].peBlue;
      const int d = dr * dr + dg * dg + db * db;
      if (d < bestDist) {
        bestDist = d;
        best = i;
        if (d == 0) break;
      }
    }
    return static_cast<uint32_t>(best);
  }
  return PackChannel(GetRValue(color), ChannelOf(format.rMask)) |
         PackChannel(GetGValue(color), ChannelOf(format.gMask)) |
         PackChannel(GetBValue(color), ChannelOf(format.bMask));
}

COLORREF PixelToColor(uint32_t value, const PixelFormat& format, const PALETTEENTRY* palette) {
  if (format.Indexed()) {
    if (!palette) palette = DefaultPalette();
    const PALETTEENTRY& e = palette[value & 0xFF];
    return RGB(e.peRed, e.peGreen, e.peBlue);
  }
  return RGB(static_cast<BYTE>(UnpackChannel(value, ChannelOf(format.rMask))),
             static_cast<BYTE>(UnpackChannel(value, ChannelOf(format.gMask))),
             static_cast<BYTE>(UnpackChannel(value, ChannelOf(format.bMask))));
}

PixelConverter::PixelConverter(const PixelFormat& from, const PALETTEENTRY* fromPalette, const PixelFormat& to,
                               const PALETTEENTRY* toPalette)
    : from_(from), to_(to), fromPalette_(fromPalette), toPalette_(toPalette) {
  if (from.Indexed()) {
    mode_ = Mode::Table;
    table_.resize(256);
    for (uint32_t v = 0; v < 256; ++v) table_[v] = ColorToPixel(PixelToColor(v, from, fromPalette), to, toPalette);
    return;
  }
  if (to.Indexed()) {
    // Palette matching is slow; such copies are rare (8-bit displays) and remember their last colour.
    mode_ = Mode::Slow;
    return;
  }
  mode_ = Mode::Channels;
  const uint32_t sm[3] = {from.rMask, from.gMask, from.bMask}, dm[3] = {to.rMask, to.gMask, to.bMask};
  for (int c = 0; c < 3; ++c) {
    const Channel s = ChannelOf(sm[c]), d = ChannelOf(dm[c]);
    Lane& l = lanes_[c];
    l.srcShift = s.shift, l.srcBits = s.bits, l.dstShift = d.shift, l.dstBits = d.bits;
    if (s.bits > 0 && s.bits <= 8)
      for (uint32_t v = 0; v < (1u << s.bits); ++v) l.widen[v] = static_cast<uint8_t>(UnpackChannel(v << s.shift, s));
  }
}

uint32_t PixelConverter::operator()(uint32_t v) const {
  switch (mode_) {
    case Mode::Table:
      return table_[v & 0xFF];
    case Mode::Channels: {
      uint32_t out = 0;
      for (const Lane& l : lanes_) {
        if (l.srcBits == 0 || l.dstBits == 0) continue;
        const uint32_t max = l.srcBits >= 32 ? 0xFFFFFFFFu : ((1u << l.srcBits) - 1u);
        const uint32_t x = (v >> l.srcShift) & max;
        const uint32_t x8 = l.srcBits <= 8 ? l.widen[x] : x >> (l.srcBits - 8);
        out |= (l.dstBits >= 8 ? x8 << (l.dstBits - 8) : x8 >> (8 - l.dstBits)) << l.dstShift;
      }
      return out;
    }
    case Mode::Slow:
    default:
      if (!hasLast_ || v != lastIn_) {
        lastIn_ = v;
        lastOut_ = ColorToPixel(PixelToColor(v, from_, fromPalette_), to_, toPalette_);
        hasLast_ = true;
      }
      return lastOut_;
  }
}

namespace {

struct DefaultPaletteTable {
  PALETTEENTRY entries[256];
  DefaultPaletteTable() {
    // The twenty static colours of the Windows system palette.
    static constexpr BYTE kLow[10][3] = {{0, 0, 0},       {128, 0, 0},    {0, 128, 0},   {128, 128, 0},
                                         {0, 0, 128},     {128, 0, 128},  {0, 128, 128}, {192, 192, 192},
                                         {192, 220, 192}, {166, 202, 240}};
    static constexpr BYTE kHigh[10][3] = {{255, 251, 240}, {160, 160, 164}, {128, 128, 128}, {255, 0, 0},
                                          {0, 255, 0},     {255, 255, 0},   {0, 0, 255},     {255, 0, 255},
                                          {0, 255, 255},   {255, 255, 255}};
    // Between them a 6 x 6 x 6 colour cube and a grey ramp, so that any colour finds a near match.
    for (int i = 0; i < 256; ++i) entries[i] = {0, 0, 0, 0};
    int n = 10;
    for (int r = 0; r < 6; ++r)
      for (int g = 0; g < 6; ++g)
        for (int b = 0; b < 6; ++b) entries[n++] = {BYTE(r * 51), BYTE(g * 51), BYTE(b * 51), 0};
    for (int i = 0; n < 246; ++i, ++n) {
      const BYTE v = static_cast<BYTE>(8 + i * 8);
      entries[n] = {v, v, v, 0};
    }
    for (int i = 0; i < 10; ++i) {
      entries[i] = {kLow[i][0], kLow[i][1], kLow[i][2], 0};
      entries[246 + i] = {kHigh[i][0], kHigh[i][1], kHigh[i][2], 0};
    }
  }
};

}  // namespace

const PALETTEENTRY* DefaultPalette() {
  static const DefaultPaletteTable table;  // constant after construction
  return table.entries;
}

}  // namespace gdi
