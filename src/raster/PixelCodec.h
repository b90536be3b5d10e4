// Reading and writing texels, pixels and depth values in every format the devices support.
// Both rasterizers go through these, so a colour leaves either of them as the same bits.
#pragma once

#include <cstdint>
#include <cstring>

#include "raster/Raster.h"

namespace raster {

struct Rgba8 {
  uint8_t r = 0, g = 0, b = 0, a = 0;
};

inline uint32_t LoadRaw(PixelFormat f, const uint8_t* p) {
  switch (f) {
    case PixelFormat::P8:
      return p[0];
    case PixelFormat::RGB565:
    case PixelFormat::X1R5G5B5:
    case PixelFormat::A1R5G5B5:
    case PixelFormat::A4R4G4B4: {
      uint16_t v;
      std::memcpy(&v, p, 2);
      return v;
    }
    case PixelFormat::R8G8B8:
      return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16;
    case PixelFormat::X8R8G8B8:
    case PixelFormat::A8R8G8B8: {
      uint32_t v;
      std::memcpy(&v, p, 4);
      return v;
    }
    case PixelFormat::Unknown:
      break;
  }
  return 0;
}

inline void StoreRaw(PixelFormat f, uint8_t* p, uint32_t v) {
  switch (f) {
    case PixelFormat::P8:
      p[0] = uint8_t(v);
      break;
    case PixelFormat::RGB565:
    case PixelFormat::X1R5G5B5:
    case PixelFormat::A1R5G5B5:
    case PixelFormat::A4R4G4B4: {
      const uint16_t s = uint16_t(v);
      std::memcpy(p, &s, 2);
      break;
    }
    case PixelFormat::R8G8B8:
      p[0] = uint8_t(v);
      p[1] = uint8_t(v >> 8);
      p[2] = uint8_t(v >> 16);
      break;
    case PixelFormat::X8R8G8B8:
    case PixelFormat::A8R8G8B8:
      std::memcpy(p, &v, 4);
      break;
    case PixelFormat::Unknown:
      break;
  }
}

// Widening an n-bit channel repeats its top bits, so full scale stays full scale.
inline uint8_t Expand5(uint32_t v) { return uint8_t((v << 3) | (v >> 2)); }
inline uint8_t Expand6(uint32_t v) { return uint8_t((v << 2) | (v >> 4)); }
inline uint8_t Expand4(uint32_t v) { return uint8_t(v * 17); }

// Formats without alpha read as opaque.
inline Rgba8 DecodeRaw(PixelFormat f, uint32_t v) {
  switch (f) {
    case PixelFormat::RGB565:
      return {Expand5(v >> 11 & 31), Expand6(v >> 5 & 63), Expand5(v & 31), 255};
    case PixelFormat::X1R5G5B5:
      return {Expand5(v >> 10 & 31), Expand5(v >> 5 & 31), Expand5(v & 31), 255};
    case PixelFormat::A1R5G5B5:
      return {Expand5(v >> 10 & 31), Expand5(v >> 5 & 31), Expand5(v & 31), uint8_t((v & 0x8000) ? 255 : 0)};
    case PixelFormat::A4R4G4B4:
      return {Expand4(v >> 8 & 15), Expand4(v >> 4 & 15), Expand4(v & 15), Expand4(v >> 12 & 15)};
    case PixelFormat::R8G8B8:
    case PixelFormat::X8R8G8B8:
      return {uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v), 255};
    case PixelFormat::A8R8G8B8:
      return {uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v), uint8_t(v >> 24)};
    case PixelFormat::P8:
    case PixelFormat::Unknown:
      break;
  }
  return {0, 0, 0, 255};
}

// The bits of a texel that hold colour (what a colour key is compared on).
inline uint32_t ColorBitsMask(PixelFormat f) {
  switch (f) {
    case PixelFormat::RGB565:
      return 0xFFFF;
    case PixelFormat::X1R5G5B5:
    case PixelFormat::A1R5G5B5:
      return 0x7FFF;
    case PixelFormat::A4R4G4B4:
      return 0x0FFF;
    case PixelFormat::R8G8B8:
    case PixelFormat::X8R8G8B8:
    case PixelFormat::A8R8G8B8:
      return 0xFFFFFF;
    case PixelFormat::P8:
      return 0xFF;
    case PixelFormat::Unknown:
      break;
  }
  return 0;
}

// 4x4 ordered-dither thresholds (Bayer), as fractions of 255 of one output step:
// (2k + 1) * 255 / 32 for the matrix entry k. Without dithering the threshold is 127 (rounding).
inline constexpr uint8_t kBayer4[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};
inline uint32_t DitherThreshold(int x, int y) { return (2u * kBayer4[y & 3][x & 3] + 1u) * 255u / 32u; }
inline constexpr uint32_t kRoundThreshold = 127;

// An 8-bit channel to `max` (2^n - 1) levels: floor((c * max + t) / 255), t in [0, 255).
inline uint32_t Quantize(uint32_t c, uint32_t max, uint32_t t) { return (c * max + t) / 255u; }

// Packs a colour for a render target; `t` is the rounding threshold (kRoundThreshold, or a
// DitherThreshold for 16-bit targets under dithering). 24/32-bit formats store the bytes as-is.
inline uint32_t EncodeRaw(PixelFormat f, Rgba8 c, uint32_t t) {
  switch (f) {
    case PixelFormat::RGB565:
      return Quantize(c.r, 31, t) << 11 | Quantize(c.g, 63, t) << 5 | Quantize(c.b, 31, t);
    case PixelFormat::X1R5G5B5:
      return Quantize(c.r, 31, t) << 10 | Quantize(c.g, 31, t) << 5 | Quantize(c.b, 31, t);
    case PixelFormat::A1R5G5B5:
      return (c.a >= 128 ? 0x8000u : 0u) | Quantize(c.r, 31, t) << 10 | Quantize(c.g, 31, t) << 5 |
             Quantize(c.b, 31, t);
    case PixelFormat::A4R4G4B4:
      return Quantize(c.a, 15, t) << 12 | Quantize(c.r, 15, t) << 8 | Quantize(c.g, 15, t) << 4 | Quantize(c.b, 15, t);
    case PixelFormat::R8G8B8:
    case PixelFormat::X8R8G8B8:
      return uint32_t(c.r) << 16 | uint32_t(c.g) << 8 | c.b;
    case PixelFormat::A8R8G8B8:
      return uint32_t(c.a) << 24 | uint32_t(c.r) << 16 | uint32_t(c.g) << 8 | c.b;
    case PixelFormat::P8:
    case PixelFormat::Unknown:
      break;
  }
  return 0;
}

inline bool Is16Bit(PixelFormat f) { return BytesPerPixel(f) == 2; }

// ---- depth ----

inline int DepthBytes(DepthFormat f) {
  switch (f) {
    case DepthFormat::D16:
      return 2;
    case DepthFormat::D24X8:
    case DepthFormat::D24S8:
    case DepthFormat::D32:
      return 4;
    case DepthFormat::None:
      break;
  }
  return 0;
}

// z in [0, 1] (clamped) to the stored integer depth, rounded to nearest.
inline uint32_t QuantizeDepth(DepthFormat f, double z) {
  if (!(z > 0.0)) z = 0.0;  // NaN lands here too
  if (z > 1.0) z = 1.0;
  switch (f) {
    case DepthFormat::D16:
      return uint32_t(z * 65535.0 + 0.5);
    case DepthFormat::D24X8:
    case DepthFormat::D24S8:
      return uint32_t(z * 16777215.0 + 0.5);
    case DepthFormat::D32:
      return uint32_t(z * 4294967295.0 + 0.5);
    case DepthFormat::None:
      break;
  }
  return 0;
}

inline uint32_t LoadDepth(DepthFormat f, const uint8_t* p) {
  if (f == DepthFormat::D16) {
    uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
  }
  uint32_t v;
  std::memcpy(&v, p, 4);
  return (f == DepthFormat::D32) ? v : v >> 8;
}

// Stores depth and keeps the stencil (or unused) byte of a 24-bit format.
inline void StoreDepth(DepthFormat f, uint8_t* p, uint32_t z) {
  if (f == DepthFormat::D16) {
    const uint16_t v = uint16_t(z);
    std::memcpy(p, &v, 2);
    return;
  }
  uint32_t v;
  if (f == DepthFormat::D32) {
    v = z;
  } else {
    std::memcpy(&v, p, 4);
    v = (z << 8) | (v & 0xFF);
  }
  std::memcpy(p, &v, 4);
}

inline bool DepthPasses(CmpFunc f, uint32_t incoming, uint32_t stored) {
  switch (f) {
    case CmpFunc::Never:
      return false;
    case CmpFunc::Less:
      return incoming < stored;
    case CmpFunc::Equal:
      return incoming == stored;
    case CmpFunc::LessEqual:
      return incoming <= stored;
    case CmpFunc::Greater:
      return incoming > stored;
    case CmpFunc::NotEqual:
      return incoming != stored;
    case CmpFunc::GreaterEqual:
      return incoming >= stored;
    case CmpFunc::Always:
      return true;
  }
  return true;  // unknown functions behave as ALWAYS, as with z testing off
}

// ---- checks both rasterizers share ----

// A surface that can be written within its bounds.
bool UsableTarget(const Surface& s);
bool UsableDepth(const DepthSurface& d);
bool UsableTexture(const Texture& t);

// Viewport clipped to the target (and depth buffer when present): [x0, x1) x [y0, y1).
struct PixelRect {
  int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
  bool Empty() const { return x0 >= x1 || y0 >= y1; }
};
PixelRect DrawableRect(const State& s);

// Texel coordinate under an addressing mode, for a texture `size` texels long.
inline int AddressTexel(TextureAddress mode, int i, int size) {
  switch (mode) {
    case TextureAddress::Clamp:
    case TextureAddress::Border:
      return i < 0 ? 0 : (i >= size ? size - 1 : i);
    case TextureAddress::Mirror: {
      const int period = 2 * size;
      int m = i % period;
      if (m < 0) m += period;
      return m < size ? m : period - 1 - m;
    }
    case TextureAddress::Wrap:
    default: {
      int m = i % size;
      return m < 0 ? m + size : m;
    }
  }
}

}  // namespace raster
