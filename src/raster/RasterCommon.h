// Pieces both rasterizers share: clearing, argument checks and reading vertex elements.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>
#include <span>

#include "raster/Raster.h"

namespace raster {

// Attenuation 1 / (a0 + a1 d + a2 d^2) with the denominator held at or above this, so a light
// sitting on a vertex (or all-zero factors) saturates instead of dividing by zero.
inline constexpr double kMinAttenuationDenominator = 1e-6;
// sqrt(d2) > reach, with the square root taken only where comparing the squares with a margin
// of a tenth of a percent (far beyond the roundings) cannot tell: the same answer, cheaper.
// For reach >= 0.
inline bool BeyondReach(float d2, float reach) {
  const float reach2 = reach * reach;
  const bool clear = reach2 > 1e-30f;  // squares this small have too few bits for a margin
  if (clear && d2 > reach2 * 1.001f) return true;
  if (clear && d2 < reach2 * 0.999f) return false;
  return std::sqrt(d2) > reach;
}
// Geometry is clipped to w >= this besides the near plane, so no vertex reaches the eye plane.
inline constexpr double kMinClipW = 1e-6;

// Point sampling holds texel coordinates to 1/256 of a texel, as texture units keep them in
// fixed point. A coordinate that lands exactly on a texel edge (a texture drawn pixel for pixel,
// a quad centred on the screen) then picks the same texel in both rasterizers, whatever
// rounding their arithmetic did on the way. Coordinates come from files: NaN counts as 0 and
// anything beyond +-2^22 texels is pinned first.
inline constexpr int kSubTexelBits = 8;
inline constexpr double kMaxTexelCoordinate = 4194304.0;
template <typename T>
int PointTexel(T v) {
  if (!(v > T(-kMaxTexelCoordinate))) v = (v == v) ? T(-kMaxTexelCoordinate) : T(0);
  if (v > T(kMaxTexelCoordinate)) v = T(kMaxTexelCoordinate);
  const T y = v * T(1 << kSubTexelBits) + T(0.5);
  int i = int(y);
  i -= y < T(i);              // floor
  return i >> kSubTexelBits;  // floor division
}

// Clears as Rasterizer::Clear does. With parts > 1, only the rows that are share `part` of
// `parts`: runs of 8 rows taken in turn, the same rows of every rectangle, so threads clearing
// the shares side by side never write the same pixel.
Result ClearSurfaces(const State& s, std::span<const Rect> rects, uint32_t flags, uint32_t argb, float z,
                     uint32_t stencil, int part = 0, int parts = 1);

// Checks a draw before anything is touched: vertex format, stride, index range, surfaces and
// viewport. Fills `layout` with the decoded vertex format.
Result ValidateDraw(const State& s, const VertexData& v, std::span<const uint16_t> indices, VertexLayout& layout);

// Vertex elements are read with memcpy: vertex data comes from files and need not be aligned.
inline float ReadFloat(const uint8_t* p) {
  float f;
  std::memcpy(&f, p, 4);
  return f;
}
inline uint32_t ReadU32(const uint8_t* p) {
  uint32_t u;
  std::memcpy(&u, p, 4);
  return u;
}

}  // namespace raster
