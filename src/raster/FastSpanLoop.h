// The common-case span loop of the fast rasterizer and the row walk around it, as templates: the
// baseline copy is instantiated in FastSpans.cpp, the AVX2 copy in FastSpansAvx2.cpp (two files,
// so the two compile side by side).
#pragma once

#include <algorithm>
#include <cmath>
#include <cstring>

#include "raster/FastDevice.h"

namespace raster::fast {
TAVVY_FAST_NAMESPACE_BEGIN
namespace spans {

// Four attributes from k on at barycentric weights b: in double, rounded to float once (each lane
// the same operations in the same order as one attribute alone).
TAVVY_FAST_ALWAYS_INLINE void StartValues4(const TriangleJob& j, int k, double b0, double b1, double b2, float* out) {
  using D4 = double __attribute__((vector_size(32)));
  using S4 = float __attribute__((vector_size(16)));
  D4 v0, v1, v2;
  std::memcpy(&v0, &j.vals[0][k], sizeof v0);
  std::memcpy(&v1, &j.vals[1][k], sizeof v1);
  std::memcpy(&v2, &j.vals[2][k], sizeof v2);
  const S4 a = __builtin_convertvector((v0 * b0 + v1 * b1) + v2 * b2, S4);
  std::memcpy(out + k, &a, sizeof a);
}
// Every attribute at barycentric weights b.
TAVVY_FAST_ALWAYS_INLINE void StartValues(const TriangleJob& j, const double b[3], float* out) {
  static_assert(kAttrLanes == 12);
  StartValues4(j, 0, b[0], b[1], b[2], out);
  StartValues4(j, 4, b[0], b[1], b[2], out);
  StartValues4(j, 8, b[0], b[1], b[2], out);
}

// Rows [top, bottom] of a triangle, each span handed to Span::Draw (inlined: the row walk, the
// start values and the span loop are one function, so what stays fixed for the triangle stays
// in registers).
template <typename Span>
TAVVY_FAST_ALWAYS_INLINE void WalkRows(const PixelContext& pc, const TriangleJob& j, int top, int bottom) {
  SpanSetup ss{};
  std::copy(j.d, j.d + kAttrs, ss.d);
  ss.dzdx = j.dzdx;
  ss.specular = j.specular;
  const Span span(pc, ss);
  RowWalker rows(j.tri, top);
  for (int y = top; y <= bottom; ++y, rows.Next()) {
    int64_t lo, hi;
    rows.Span(lo, hi);
    lo = std::max<int64_t>(lo, pc.clipX0);
    hi = std::min<int64_t>(hi, pc.clipX1);
    if (lo > hi) continue;
    // Start values in double at the span's first pixel; only the steps along the span round.
    double b[3];
    j.tri.Barycentrics(double(lo), double(y), b);
    StartValues(j, b, ss.a);
    ss.z0 = j.sz[0] * b[0] + j.sz[1] * b[1] + j.sz[2] * b[2];
    span.Draw(pc, y, int(lo), int(hi), ss);
  }
}

// PointTexel of a group of coordinates (in texels), the same bits as one at a time.
template <typename F>
TAVVY_FAST_ALWAYS_INLINE auto PointTexels(F v) {
  const F limit = F::Set(float(kMaxTexelCoordinate)), low = F::Set(float(-kMaxTexelCoordinate));
  v = And(LessEqual(v, v), v);  // NaN counts as 0
  v = Min(Max(v, low), limit);
  return Sar(simd::Truncate(Floor(v * F::Set(float(1 << kSubTexelBits)) + F::Set(0.5f))), kSubTexelBits);
}

// The largest depth a format stores.
constexpr double DepthMax(DepthFormat f) {
  return f == DepthFormat::D16 ? 65535.0 : (f == DepthFormat::D32 ? 4294967295.0 : 16777215.0);
}

// The byte offsets in the texture of the texels at columns x and rows y (wrapped already): in
// lanes when the pitch is a power of two, else one at a time.
template <int TXBPP, typename I>
TAVVY_FAST_ALWAYS_INLINE void TexelOffsets(const PixelContext& pc, I x, I y, int32_t* off) {
  if (pc.texPitchShift >= 0) {
    ((y << pc.texPitchShift) + (x << (TXBPP == 4 ? 2 : 1))).Store(off);
    return;
  }
  alignas(32) int32_t tx[I::kLanes], ty[I::kLanes];
  x.Store(tx);
  y.Store(ty);
  for (int k = 0; k < I::kLanes; ++k) off[k] = ty[k] * pc.texPitch + tx[k] * TXBPP;
}

// 5, 6 and 4 bits to 8, as the decoder widens them.
template <typename I>
TAVVY_FAST_ALWAYS_INLINE I Expand5(I x) {
  return x << 3 | x >> 2;
}
template <typename I>
TAVVY_FAST_ALWAYS_INLINE I Expand6(I x) {
  return x << 2 | x >> 4;
}
template <typename I>
TAVVY_FAST_ALWAYS_INLINE I Expand4(I x) {
  return MulSmall(x, I::Set(17));
}

// DecodeRaw of raw values in lanes, the same bits as one at a time.
template <PixelFormat F, typename I>
TAVVY_FAST_ALWAYS_INLINE void DecodeLanes(I v, I& r, I& g, I& b, I& a) {
  const I m4 = I::Set(15), m5 = I::Set(31), m6 = I::Set(63), m8 = I::Set(255);
  if constexpr (F == PixelFormat::RGB565) {
    r = Expand5(v >> 11 & m5);
    g = Expand6(v >> 5 & m6);
    b = Expand5(v & m5);
    a = m8;
  } else if constexpr (F == PixelFormat::X1R5G5B5 || F == PixelFormat::A1R5G5B5) {
    r = Expand5(v >> 10 & m5);
    g = Expand5(v >> 5 & m5);
    b = Expand5(v & m5);
    a = F == PixelFormat::A1R5G5B5 ? MulSmall(v >> 15 & I::Set(1), m8) : m8;
  } else if constexpr (F == PixelFormat::A4R4G4B4) {
    r = Expand4(v >> 8 & m4);
    g = Expand4(v >> 4 & m4);
    b = Expand4(v & m4);
    a = Expand4(v >> 12 & m4);
  } else {
    static_assert(F == PixelFormat::X8R8G8B8 || F == PixelFormat::A8R8G8B8, "no lane decoder for this format");
    r = v >> 16 & m8;
    g = v >> 8 & m8;
    b = v & m8;
    a = F == PixelFormat::A8R8G8B8 ? v >> 24 : m8;
  }
}

// Lanes filled one value at a time from fn(0), fn(1), ... (from registers: lanes built this way
// never wait on narrow stores).
template <typename I, typename Fn>
requires(I::kLanes == 4) TAVVY_FAST_ALWAYS_INLINE I LanesOf(Fn fn) { return I::Make(fn(0), fn(1), fn(2), fn(3)); }
#if defined(TAVVY_FAST_AVX2)
template <typename I, typename Fn>
requires(I::kLanes == 8) TAVVY_FAST_TARGET_AVX2 inline I LanesOf(Fn fn) {
  return {_mm256_setr_epi32(int32_t(fn(0)), int32_t(fn(1)), int32_t(fn(2)), int32_t(fn(3)), int32_t(fn(4)),
                            int32_t(fn(5)), int32_t(fn(6)), int32_t(fn(7)))};
}
#endif

#if defined(TAVVY_FAST_AVX2)
// The depth test of eight pixels in lanes, for a group inside the buffers' rows (lanes past the
// span's end are tested too; the caller masks them off). Z is the depth of the group's first
// pixel and dZ its step, in 16.16 fixed point of the stored integer (as the one-pixel test has
// them); the same clamping and comparison, the same bits.
struct DepthLanes8 {
  __m256i zq;      // the incoming depths, quantised
  __m256i stored;  // the buffer's raw values under the group
};
// What stays fixed along a span: the steps of lanes 0-3 and 4-7 from the group's first pixel
// (and all eight in 32 bits, for groups whose depths all lie inside the range), and the compare
// function as masks of where less, equal and greater pass.
struct DepthSpan8 {
  __m256i steps0, steps4, steps32, cmp[3];
  int64_t lastStep;  // the step from the first lane to the last
};
TAVVY_FAST_TARGET_AVX2 inline void PrepareDepth8(int64_t dZ, CmpFunc f, DepthSpan8& out) {
  out.steps0 = _mm256_setr_epi64x(0, dZ, 2 * dZ, 3 * dZ);
  out.steps4 = _mm256_setr_epi64x(4 * dZ, 5 * dZ, 6 * dZ, 7 * dZ);
  // The steps modulo 2^32: a sum that is in [0, 2^32) in 64 bits has these low bits.
  const auto low = [dZ](int k) { return int32_t(uint32_t(uint64_t(k * dZ))); };
  out.steps32 = _mm256_setr_epi32(low(0), low(1), low(2), low(3), low(4), low(5), low(6), low(7));
  out.lastStep = 7 * dZ;
  const bool passes[3] = {DepthPasses(f, 0, 1), DepthPasses(f, 1, 1), DepthPasses(f, 1, 0)};
  for (int k = 0; k < 3; ++k) out.cmp[k] = _mm256_set1_epi32(passes[k] ? -1 : 0);
}
// clamp(Z >> 16, 0, zTop) in 64-bit lanes: Z clamped to [0, zTop.FFFF] and then shifted.
TAVVY_FAST_TARGET_AVX2 inline __m256i ClampShift(__m256i v, __m256i top) {
  v = _mm256_andnot_si256(_mm256_cmpgt_epi64(_mm256_setzero_si256(), v), v);
  v = _mm256_blendv_epi8(v, top, _mm256_cmpgt_epi64(v, top));
  return _mm256_srli_epi64(v, 16);
}
template <DepthFormat DF>
TAVVY_FAST_TARGET_AVX2 inline unsigned DepthTest8(const uint8_t* zp, int64_t Z, int64_t zTop, const DepthSpan8& span,
                                                  DepthLanes8& out) {
  const int64_t top = zTop << 16 | 0xFFFF;
  const int64_t last = Z + span.lastStep;
  if (DF == DepthFormat::D16 && Z >= 0 && Z <= top && last >= 0 && last <= top) {
    // No lane needs clamping (the ends are in range, and the lanes lie between them), and 16-bit
    // depths in 16.16 fit 32 bits: the sums and the shift in 32-bit lanes.
    out.zq = _mm256_srli_epi32(_mm256_add_epi32(_mm256_set1_epi32(int32_t(uint32_t(uint64_t(Z)))), span.steps32), 16);
  } else {
    const __m256i base = _mm256_set1_epi64x(Z), top4 = _mm256_set1_epi64x(top);
    const __m256i a = ClampShift(_mm256_add_epi64(base, span.steps0), top4),
                  b = ClampShift(_mm256_add_epi64(base, span.steps4), top4);
    // The low halves of the eight 64-bit lanes, in order.
    const __m256i pick = _mm256_setr_epi32(0, 2, 4, 6, 0, 2, 4, 6);
    out.zq =
        _mm256_permute2x128_si256(_mm256_permutevar8x32_epi32(a, pick), _mm256_permutevar8x32_epi32(b, pick), 0x20);
  }
  __m256i in, st;
  if constexpr (DF == DepthFormat::D16) {
    // Both sides below 2^16: signed comparisons are the unsigned ones.
    out.stored = _mm256_cvtepu16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(zp)));
    in = out.zq;
    st = out.stored;
  } else {
    out.stored = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(zp));
    const __m256i stored = DF == DepthFormat::D32 ? out.stored : _mm256_srli_epi32(out.stored, 8);
    // Unsigned comparisons as signed ones of the values with their top bits flipped.
    const __m256i flip = _mm256_set1_epi32(int32_t(0x80000000u));
    in = _mm256_xor_si256(out.zq, flip);
    st = _mm256_xor_si256(stored, flip);
  }
  const __m256i pass = _mm256_or_si256(_mm256_or_si256(_mm256_and_si256(_mm256_cmpgt_epi32(st, in), span.cmp[0]),
                                                       _mm256_and_si256(_mm256_cmpeq_epi32(in, st), span.cmp[1])),
                                       _mm256_and_si256(_mm256_cmpgt_epi32(in, st), span.cmp[2]));
  return unsigned(_mm256_movemask_ps(_mm256_castsi256_ps(pass)));
}

// Writes the depths of the lanes in drawMask, the others as they were.
template <DepthFormat DF>
TAVVY_FAST_TARGET_AVX2 inline void DepthWrite8(uint8_t* zp, const DepthLanes8& d, unsigned drawMask) {
  const __m256i bit = _mm256_setr_epi32(1, 2, 4, 8, 16, 32, 64, 128);
  const __m256i drawn = _mm256_cmpeq_epi32(_mm256_and_si256(_mm256_set1_epi32(int32_t(drawMask)), bit), bit);
  if constexpr (DF == DepthFormat::D16) {
    const __m256i v = _mm256_blendv_epi8(d.stored, d.zq, drawn);
    const __m256i packed = _mm256_permute4x64_epi64(_mm256_packus_epi32(v, v), 0x08);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(zp), _mm256_castsi256_si128(packed));
  } else {
    __m256i z = d.zq;
    // A 24-bit format keeps its low (stencil or unused) byte.
    if constexpr (DF != DepthFormat::D32)
      z = _mm256_or_si256(_mm256_slli_epi32(z, 8), _mm256_and_si256(d.stored, _mm256_set1_epi32(0xFF)));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(zp), _mm256_blendv_epi8(d.stored, z, drawn));
  }
}
#endif

// An attribute of the group's lanes: lane k starts from the value at the group's pixel
// first + (k & ~3) and steps k & 3 from there, as a group of four starting there would.
template <typename F>
TAVVY_FAST_ALWAYS_INLINE F LaneValues(const SpanSetup& ss, int attr, F first, F step) {
  const F d = F::Set(ss.d[attr]);
  return (F::Set(ss.a[attr]) + first * d) + step * d;
}
// All ones in the lanes whose bit is set.
template <typename I>
TAVVY_FAST_ALWAYS_INLINE I LaneMask(unsigned bits) {
  static constexpr int32_t kBit[8] = {1, 2, 4, 8, 16, 32, 64, 128};
  return Greater(I::Set(int32_t(bits)) & I::Load(kBit), I::Set(0));
}
// A colour channel to 0..255 as To8 rounds it.
template <typename F>
TAVVY_FAST_ALWAYS_INLINE auto To8Lanes(F v) {
  return simd::Truncate(Min(Max(v + F::Set(0.5f), F::Set(0.0f)), F::Set(255.0f)));
}
// Texel coordinates pinned to +-2^30 as FastFloor has them.
template <typename F>
TAVVY_FAST_ALWAYS_INLINE F PinCoordinate(F v) {
  return Min(F::Set(1073741824.0f), Max(F::Set(-1073741824.0f), v));
}
// All ones where the colour bits lie outside [low, high] (all below 2^31: signed compares).
template <typename I>
TAVVY_FAST_ALWAYS_INLINE I KeptByKey(I raw, I keyMask, I keyLow, I keyHigh) {
  const I bits = raw & keyMask;
  return Greater(keyLow, bits) | Greater(bits, keyHigh);
}

// The ordered-dither thresholds of a row (y & 3) for lanes starting at a column (x & 3).
struct DitherLanes {
  int32_t v[4][4][8];
};
constexpr DitherLanes MakeDitherLanes() {
  DitherLanes t{};
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x)
      for (int k = 0; k < 8; ++k) t.v[y][x][k] = int32_t((2u * kBayer4[y][(x + k) & 3] + 1u) * 255u / 32u);
  return t;
}
inline constexpr DitherLanes kDitherLanes = MakeDitherLanes();

// What the span loop keeps for a whole triangle: the depth step along a row (16.16 of the stored
// integer, pinned so the sums cannot overflow: a slope beyond one whole depth range per pixel
// only occurs on slivers a pixel wide) and, for eight lanes, the depth steps and compare masks.
struct QuickTriangle {
  int64_t dZ = 0;
#if defined(TAVVY_FAST_AVX2)
  DepthSpan8 depth8;
#endif
};

// Four lanes of the baseline build, or eight of the AVX2 copy. The lane code has no lambdas: a
// lambda inside a function compiled for AVX2 is compiled for the baseline, and the eight-lane
// helpers it called would not be inlined.
struct Lanes4 {
  using F = simd::F4;
  using I = simd::I4;
};
#if defined(TAVVY_FAST_AVX2)
struct Lanes8 {
  using F = simd::F8;
  using I = simd::I8;
};
#endif

// The game's common case, instantiated per target, depth and texture format and the filter:
// power-of-two wrap, colour = texture x diffuse, and one of the scene's four blend set-ups.
// Pixels go in groups of four, or eight in the AVX2 copy: the depth test first, then the
// interpolants of the group in lanes (only when some pixel passed), the texels one at a time,
// and colour, blend and packing of the group in integer lanes. Eight lanes compute each half
// exactly as a group of four starting there would, so both copies give the same bits.
template <typename L, PixelFormat TF, DepthFormat DF, PixelFormat TXF, bool LINEAR>
TAVVY_FAST_ALWAYS_INLINE void QuickSpan(const PixelContext& pc, int y, int x0, int x1, const SpanSetup& ss,
                                        const QuickTriangle& tri) {
  using F = typename L::F;
  using I = typename L::I;
  constexpr int W = F::kLanes;
  constexpr unsigned kAll = (1u << W) - 1;
  constexpr bool TEX = TXF != PixelFormat::Unknown;
  constexpr int bpp = TF == PixelFormat::RGB565 ? 2 : 4;
  constexpr int zbpp = DF == DepthFormat::D16 ? 2 : 4;
  constexpr int txbpp = (TXF == PixelFormat::X8R8G8B8 || TXF == PixelFormat::A8R8G8B8) ? 4 : 2;
  constexpr double zmax = DepthMax(DF);
  uint8_t* const row = pc.target + size_t(y) * pc.pitch + size_t(x0) * bpp;
  uint8_t* zrow = nullptr;
  // Depth as a 16.16 fixed-point count of the stored integer, rounded: no per-pixel double.
  int64_t Z = 0;
  const int64_t dZ = tri.dZ;
  if constexpr (DF != DepthFormat::None) {
    zrow = pc.depth + size_t(y) * pc.depthPitch + size_t(x0) * zbpp;
    // Pinned so the sums cannot overflow; every pixel is clamped to [0, 1] anyway.
    const double z0 = std::isfinite(ss.z0) ? std::clamp(ss.z0, -2.0, 3.0) : 0.0;
    Z = RoundHalfAway((z0 * zmax + 0.5) * 65536.0);
  }
  const int64_t zTop = int64_t(zmax);
  // Groups start at x0 + a multiple of W, so lane k always has the threshold of column x0 + k.
  const I thresholds = (pc.dither && TF == PixelFormat::RGB565) ? I::Load(kDitherLanes.v[y & 3][x0 & 3])
                                                                : I::Set(int32_t(kRoundThreshold));
  // Lane k starts from the value at the group's pixel k & ~3 and steps k & 3 from there.
  static constexpr float kQuadStart[8] = {0, 0, 0, 0, 4, 4, 4, 4}, kQuadStep[8] = {0, 1, 2, 3, 0, 1, 2, 3};
  const F laneStart = F::Load(kQuadStart), laneStep = F::Load(kQuadStep);
  const F fw = F::Set(float(pc.texW)), fh = F::Set(float(pc.texH));
  const int mw = pc.texW - 1, mh = pc.texH - 1;
  const QuickBlend blend = pc.quickBlend;
  const bool alphaFromTexture = pc.alphaFromTexture, specular = ss.specular;
  const bool depthTest = DF != DepthFormat::None && pc.depthTest;
  const F zero = F::Set(0.0f), one = F::Set(1.0f), half = F::Set(0.5f);

  const int n = x1 - x0 + 1;
  for (int i0 = 0; i0 < n; i0 += W) {
    const int lanes = std::min(W, n - i0);
    // A group inside the buffers' rows is loaded and stored whole, also past the span's end
    // (those pixels as they were).
    const bool whole = lanes == W || x0 + i0 + W <= pc.rowWidth;
    // Bit k of a mask stands for lane k.
    alignas(32) uint32_t zq[W] = {};
    unsigned passMask = (1u << lanes) - 1;
#if defined(TAVVY_FAST_AVX2)
    DepthLanes8 depth8{};
#endif
    if constexpr (DF != DepthFormat::None) {
      if (depthTest) {
        bool done = false;
#if defined(TAVVY_FAST_AVX2)
        if constexpr (W == 8) {
          if (whole) {
            passMask = DepthTest8<DF>(zrow + i0 * zbpp, Z + dZ * i0, zTop, tri.depth8, depth8) & passMask;
            done = true;
          }
        }
#endif
        if (!done) {
          passMask = 0;
          for (int k = 0; k < lanes; ++k) {
            const int64_t zi = (Z + dZ * (i0 + k)) >> 16;
            zq[k] = uint32_t(zi < 0 ? 0 : (zi > zTop ? zTop : zi));
            passMask |= unsigned(DepthPasses(pc.zFunc, zq[k], LoadDepth(DF, zrow + (i0 + k) * zbpp))) << k;
          }
        }
      }
    }
    if (!passMask) continue;

    // Perspective is solved at every pixel: stepping it linearly over even a few pixels moves
    // texels visibly on steep surfaces.
    const F fi = F::Set(float(i0)) + laneStart;
    const F q = one / LaneValues(ss, aQ, fi, laneStep);
    const I i255 = I::Set(255);
    const I cr = To8Lanes(LaneValues(ss, aR, fi, laneStep) * q), cg = To8Lanes(LaneValues(ss, aG, fi, laneStep) * q),
            cb = To8Lanes(LaneValues(ss, aB, fi, laneStep) * q);

    // The texels: fetched lane by lane (every lane: the wrap keeps each address inside the
    // texture), colour-keyed and decoded in lanes.
    unsigned keyedMask = 0;
    I tr = i255, tg = i255, tb = i255, ta = i255;
    if constexpr (TEX) {
      const I keyMask = I::Set(int32_t(pc.keyMask)), keyLow = I::Set(int32_t(pc.keyLow)),
              keyHigh = I::Set(int32_t(pc.keyHigh));
      F u = LaneValues(ss, aUQ, fi, laneStep) * q, v = LaneValues(ss, aVQ, fi, laneStep) * q;
      if constexpr (LINEAR) {
        // The four texels around each pixel; their weights, colour key and weighted sums in
        // lanes. Every product and sum is a whole number below 2^24, so the float lanes hold
        // them exactly and the result is the integer one.
        const F sane = F::Set(1e6f);  // NaN, infinite or absurd: no meaningful filter weights
        u = And(Less(Abs(u), sane), u);
        v = And(Less(Abs(v), sane), v);
        const F tu = u * fw - half, tv = v * fh - half;
        const F fu = Floor(PinCoordinate(tu)), fv = Floor(PinCoordinate(tv));
        const F c256 = F::Set(256.0f);
        // The byte offsets of the four texels around each pixel, wrapped.
        const I left = simd::Truncate(fu), top = simd::Truncate(fv), i1 = I::Set(1);
        const I cx[2] = {left & I::Set(mw), (left + i1) & I::Set(mw)},
                cy[2] = {top & I::Set(mh), (top + i1) & I::Set(mh)};
        alignas(32) int32_t offsets[4][W];
        for (int c = 0; c < 4; ++c) TexelOffsets<txbpp>(pc, cx[c & 1], cy[c >> 1], offsets[c]);
        const F wu = simd::ToFloat(simd::Truncate(Min(Max((tu - fu) * c256, zero), c256)));
        const F wv = simd::ToFloat(simd::Truncate(Min(Max((tv - fv) * c256, zero), c256)));
        const F weight[4] = {(c256 - wu) * (c256 - wv), wu * (c256 - wv), (c256 - wu) * wv, wu * wv};
        F sum[4] = {zero, zero, zero, zero}, keyedWeight = zero;
        for (int c = 0; c < 4; ++c) {
          const int32_t* const off = offsets[c];
          const I raw = LanesOf<I>([&](int k) -> uint32_t { return LoadRaw(TXF, pc.tex + off[k]); });
          F w = weight[c];
          if (pc.colorKey) {
            const F k = And(KeptByKey(raw, keyMask, keyLow, keyHigh), w);
            keyedWeight = keyedWeight + (w - k);
            w = k;
          }
          I ch[4];
          DecodeLanes<TXF>(raw, ch[0], ch[1], ch[2], ch[3]);
          for (int k = 0; k < 4; ++k) sum[k] = sum[k] + simd::ToFloat(ch[k]) * w;
        }
        if (pc.colorKey) keyedMask = simd::LaneBits(LessEqual(F::Set(32768.0f), keyedWeight)) & passMask;
        const F round = F::Set(32768.0f), unit = F::Set(1.0f / 65536.0f);
        tr = simd::Truncate((sum[0] + round) * unit);
        tg = simd::Truncate((sum[1] + round) * unit);
        tb = simd::Truncate((sum[2] + round) * unit);
        ta = simd::Truncate((sum[3] + round) * unit);
      } else {
        alignas(32) int32_t off[W];
        TexelOffsets<txbpp>(pc, PointTexels(u * fw) & I::Set(mw), PointTexels(v * fh) & I::Set(mh), off);
        const I raw = LanesOf<I>([&](int k) -> uint32_t { return LoadRaw(TXF, pc.tex + off[k]); });
        if (pc.colorKey) keyedMask = ~simd::MaskBits(KeptByKey(raw, keyMask, keyLow, keyHigh)) & passMask;
        DecodeLanes<TXF>(raw, tr, tg, tb, ta);
      }
    }
    const unsigned drawMask = passMask & ~keyedMask;
    if (!drawMask) continue;

    // Untextured, the texel is white and 255 c / 255 rounds to c.
    I r = cr, g = cg, b = cb;
    if constexpr (TEX) {
      r = simd::Div255(MulSmall(tr, cr));
      g = simd::Div255(MulSmall(tg, cg));
      b = simd::Div255(MulSmall(tb, cb));
    }
    if (specular) {
      r = MinSmall(i255, r + To8Lanes(LaneValues(ss, aSR, fi, laneStep) * q));
      g = MinSmall(i255, g + To8Lanes(LaneValues(ss, aSG, fi, laneStep) * q));
      b = MinSmall(i255, b + To8Lanes(LaneValues(ss, aSB, fi, laneStep) * q));
    }
    uint8_t* const group = row + i0 * bpp;
    // The pixels under the group: one load for a whole group, else lane by lane.
    const bool merge = whole && drawMask != kAll;
    I under = i255;
    if (blend != QuickBlend::None || merge) {
      if (whole) {
        under = TF == PixelFormat::RGB565 ? I::LoadU16(group) : I::LoadU32(group);
      } else {
        under = LanesOf<I>([&](int k) -> uint32_t { return k < lanes ? LoadRaw(TF, group + k * bpp) : 0; });
      }
    }
    if (blend != QuickBlend::None) {
      I vr, vg, vb, va;
      DecodeLanes<TF>(under, vr, vg, vb, va);
      switch (blend) {
        case QuickBlend::Add:
          r = MinSmall(i255, r + vr);
          g = MinSmall(i255, g + vg);
          b = MinSmall(i255, b + vb);
          break;
        case QuickBlend::Alpha: {
          // Only this blend reads the alpha.
          const I ca = To8Lanes(LaneValues(ss, aA, fi, laneStep) * q);
          const I al = alphaFromTexture ? ta : (TEX ? simd::Div255(MulSmall(ta, ca)) : ca);
          const I inv = i255 - al;
          r = simd::Div255(MulSmall(r, al) + MulSmall(vr, inv));
          g = simd::Div255(MulSmall(g, al) + MulSmall(vg, inv));
          b = simd::Div255(MulSmall(b, al) + MulSmall(vb, inv));
          break;
        }
        case QuickBlend::Subtract:
          r = simd::Div255(MulSmall(vr, i255 - r));
          g = simd::Div255(MulSmall(vg, i255 - g));
          b = simd::Div255(MulSmall(vb, i255 - b));
          break;
        case QuickBlend::None:
          break;
      }
    }
    I packed;
    if constexpr (TF == PixelFormat::RGB565) {
      // floor((c * max + t) / 255) per channel, t the rounding or dither threshold of the lane.
      const I t = thresholds;
      const I q5 = I::Set(31), q6 = I::Set(63);
      packed = simd::Div255Floor(MulSmall(r, q5) + t) << 11 | simd::Div255Floor(MulSmall(g, q6) + t) << 5 |
               simd::Div255Floor(MulSmall(b, q5) + t);
    } else {
      packed = r << 16 | g << 8 | b;
    }
    if (whole) {
      // Lanes not drawn keep the pixels under them.
      if (merge) packed = under + ((packed - under) & LaneMask<I>(drawMask));
      if constexpr (TF == PixelFormat::RGB565) {
        packed.StoreU16(group);
      } else {
        packed.StoreU32(group);
      }
    } else {
      alignas(32) int32_t out[W];
      packed.Store(out);
      for (int k = 0; k < lanes; ++k)
        if (drawMask >> k & 1) StoreRaw(TF, group + k * bpp, uint32_t(out[k]));
    }
    if constexpr (DF != DepthFormat::None) {
      if (pc.depthWrite) {
#if defined(TAVVY_FAST_AVX2)
        if constexpr (W == 8) {
          if (whole) {
            DepthWrite8<DF>(zrow + i0 * zbpp, depth8, drawMask);
            continue;
          }
        }
#endif
        for (int k = 0; k < lanes; ++k)
          if (drawMask >> k & 1) StoreDepth(DF, zrow + (i0 + k) * zbpp, zq[k]);
      }
    }
  }
}

template <typename L, PixelFormat TF, DepthFormat DF, PixelFormat TXF, bool LINEAR>
class QuickSpanOf {
 public:
  TAVVY_FAST_ALWAYS_INLINE QuickSpanOf(const PixelContext& pc, const SpanSetup& ss) {
    if constexpr (DF != DepthFormat::None) {
      constexpr double zmax = DepthMax(DF);
      const double dz = std::isfinite(ss.dzdx) ? std::clamp(ss.dzdx, -1.0, 1.0) : 0.0;
      tri_.dZ = RoundHalfAway(dz * zmax * 65536.0);
#if defined(TAVVY_FAST_AVX2)
      if constexpr (L::F::kLanes == 8) PrepareDepth8(tri_.dZ, pc.zFunc, tri_.depth8);
#endif
    }
    (void)pc;
  }
  TAVVY_FAST_ALWAYS_INLINE void Draw(const PixelContext& pc, int y, int x0, int x1, const SpanSetup& ss) const {
    QuickSpan<L, TF, DF, TXF, LINEAR>(pc, y, x0, x1, ss, tri_);
  }

 private:
  QuickTriangle tri_;
};

template <template <PixelFormat, DepthFormat, PixelFormat, bool> class Rows, PixelFormat TF, DepthFormat DF,
          bool LINEAR>
RowsFn PickQuickTexture(PixelFormat txf) {
  switch (txf) {
    case PixelFormat::RGB565:
      return Rows<TF, DF, PixelFormat::RGB565, LINEAR>::kFn;
    case PixelFormat::X1R5G5B5:
      return Rows<TF, DF, PixelFormat::X1R5G5B5, LINEAR>::kFn;
    case PixelFormat::A1R5G5B5:
      return Rows<TF, DF, PixelFormat::A1R5G5B5, LINEAR>::kFn;
    case PixelFormat::A4R4G4B4:
      return Rows<TF, DF, PixelFormat::A4R4G4B4, LINEAR>::kFn;
    case PixelFormat::X8R8G8B8:
      return Rows<TF, DF, PixelFormat::X8R8G8B8, LINEAR>::kFn;
    case PixelFormat::A8R8G8B8:
      return Rows<TF, DF, PixelFormat::A8R8G8B8, LINEAR>::kFn;
    case PixelFormat::Unknown:
      return LINEAR ? nullptr : Rows<TF, DF, PixelFormat::Unknown, false>::kFn;
    default:
      return nullptr;
  }
}
template <template <PixelFormat, DepthFormat, PixelFormat, bool> class Rows, PixelFormat TF, DepthFormat DF>
RowsFn PickQuickFilter(PixelFormat txf, bool linear) {
  return linear ? PickQuickTexture<Rows, TF, DF, true>(txf) : PickQuickTexture<Rows, TF, DF, false>(txf);
}
template <template <PixelFormat, DepthFormat, PixelFormat, bool> class Rows, PixelFormat TF>
RowsFn PickQuickDepth(DepthFormat df, PixelFormat txf, bool linear) {
  switch (df) {
    case DepthFormat::None:
      return PickQuickFilter<Rows, TF, DepthFormat::None>(txf, linear);
    case DepthFormat::D16:
      return PickQuickFilter<Rows, TF, DepthFormat::D16>(txf, linear);
    case DepthFormat::D24X8:
      return PickQuickFilter<Rows, TF, DepthFormat::D24X8>(txf, linear);
    case DepthFormat::D32:
      return PickQuickFilter<Rows, TF, DepthFormat::D32>(txf, linear);
    default:
      return nullptr;
  }
}
// The common-case loop for the game's two target formats, or none, from Rows<...>::kFn.
template <template <PixelFormat, DepthFormat, PixelFormat, bool> class Rows>
RowsFn PickQuickWith(PixelFormat tf, DepthFormat df, PixelFormat txf, bool linear) {
  switch (tf) {
    case PixelFormat::RGB565:
      return PickQuickDepth<Rows, PixelFormat::RGB565>(df, txf, linear);
    case PixelFormat::X8R8G8B8:
      return PickQuickDepth<Rows, PixelFormat::X8R8G8B8>(df, txf, linear);
    default:
      return nullptr;
  }
}

}  // namespace spans
TAVVY_FAST_NAMESPACE_END
}  // namespace raster::fast
