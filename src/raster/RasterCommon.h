// Pieces both rasterizers share: clearing, argument checks and reading vertex elements.
#pragma once

#include <cstdint>
#include <cstring>
#include <span>

#include "raster/Raster.h"

namespace raster {

// Attenuation 1 / (a0 + a1 d + a2 d^2) with the denominator held at or above this, so a light
// sitting on a vertex (or all-zero factors) saturates instead of dividing by zero.
inline constexpr double kMinAttenuationDenominator = 1e-6;
// Geometry is clipped to w >= this besides the near plane, so no vertex reaches the eye plane.
inline constexpr double kMinClipW = 1e-6;

Result ClearSurfaces(const State& s, std::span<const Rect> rects, uint32_t flags, uint32_t argb,
                     float z, uint32_t stencil);

// Checks a draw before anything is touched: vertex format, stride, index range, surfaces and
// viewport. Fills `layout` with the decoded vertex format.
Result ValidateDraw(const State& s, const VertexData& v, std::span<const uint16_t> indices,
                    VertexLayout& layout);

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
