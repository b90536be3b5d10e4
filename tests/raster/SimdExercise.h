// A run of the four-lane helpers over awkward inputs (NaN, infinities, signed zeros, huge and
// tiny numbers), compiled once with SIMD and once without: the two must give the same bits.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "raster/Simd.h"

namespace {

std::vector<float> SimdInputs() {
  const float inf = std::numeric_limits<float>::infinity(), nan = std::numeric_limits<float>::quiet_NaN();
  std::vector<float> v = {0.0f,       -0.0f,       1.0f,       -1.0f, 0.5f,   inf,           -inf,
                          nan,        1e-38f,      1e-45f,     3e38f, -3e38f, 1073741824.0f, -1073741825.0f,
                          4194305.0f, 0.99999994f, 255.49998f, 127.5f};
  uint32_t seed = 5;
  for (int i = 0; i < 4000; ++i) {
    seed = seed * 1664525u + 1013904223u;
    const float unit = float(seed >> 8) / float(1 << 24);
    v.push_back(i % 3 == 0 ? unit : (i % 3 == 1 ? (unit - 0.5f) * 600.0f : std::ldexp(unit, int(seed % 60) - 40)));
  }
  while (v.size() % 4) v.push_back(0.25f);
  return v;
}

// Every helper the rasterizer uses, lane by lane; the results' bits in order.
std::vector<uint32_t> ExerciseSimd() {
  using raster::simd::F4;
  const std::vector<float> in = SimdInputs();
  std::vector<uint32_t> out;
  auto put = [&out](F4 r) {
    float f[4];
    r.Store(f);
    for (float x : f) {
      uint32_t u;
      std::memcpy(&u, &x, 4);
      out.push_back(u);
    }
  };
  for (size_t i = 0; i + 4 <= in.size(); i += 4) {
    const F4 a = F4::Load(&in[i]), b = F4::Load(&in[(i + 4) % in.size()]);
    put(a + b);
    put(a - b);
    put(a * b);
    put(a / b);
    put(Sqrt(a));
    put(Min(a, b));
    put(Max(a, b));
    put(Less(a, b));
    put(LessEqual(a, b));
    put(And(Greater(a, b), a));
    put(Or(Less(a, b), And(b, F4::FromBits(0x00FF00FF))));
    put(Select(LessEqual(a, b), a * b, a - b));
    put(Abs(a));
    put(raster::simd::Saturate(a));
    put(raster::simd::Ramp(in[i], in[i + 1]));
    const F4 pinned = Min(F4::Set(1e9f), Max(F4::Set(-1e9f), a));
    put(Floor(pinned));
    int32_t ints[4];
    pinned.StoreInt(ints);
    for (int32_t k : ints) out.push_back(uint32_t(k));
    const F4 base = And(Less(F4::Set(0.0f), a), Min(a, F4::Set(1.0f)));
    put(raster::simd::Pow(base, Abs(Min(b, F4::Set(300.0f)))));
  }
  // The integer lanes of the pixel arithmetic, over the whole domain each is used on: every
  // product of two channel values, every quotient by 255 of a 16-bit value, the rounded
  // quotient of a blend's sum, and the clamps.
  using raster::simd::I4;
  auto puti = [&out](I4 r) {
    int32_t v[4];
    r.Store(v);
    for (int32_t x : v) out.push_back(uint32_t(x));
  };
  for (int32_t a = 0; a < 256; ++a) {
    for (int32_t b = 0; b < 256; b += 4) {
      const int32_t bs[4] = {b, b + 1, b + 2, b + 3};
      const I4 va = I4::Set(a), vb = I4::Load(bs);
      puti(MulSmall(va, vb));
      puti(raster::simd::Div255(MulSmall(va, vb) + MulSmall(vb, I4::Set(255) - va)));
      puti(MinSmall(I4::Set(255), va + vb));
      puti((va << 11 | vb << 5 | (va >> 3)) - vb);
    }
  }
  for (int32_t v = 0; v < 65536; v += 4) {
    const int32_t vs[4] = {v, v + 1, v + 2, v + 3};
    puti(raster::simd::Div255Floor(I4::Load(vs)));
    puti(MinSmall(I4::Load(vs) >> 1, I4::Set(16384)));
  }
  return out;
}

}  // namespace
