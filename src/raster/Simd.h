// Four floats at a time, for the fast rasterizer's vertex work.
//
// On x86-64 the operations are SSE2 instructions; with TAVVY_SIMD off (or on another CPU) they
// are plain loops over four lanes. Every operation is one IEEE single-precision operation per
// lane (no fused multiply-add, no approximate reciprocal), and min/max return their second
// operand when either is NaN as the SSE instructions do, so both builds give the same bits.
#pragma once

#include <cstdint>
#include <cstring>

#if defined(__SSE2__) && !defined(TAVVY_NO_SIMD)
#include <emmintrin.h>
#define TAVVY_RASTER_SSE2 1
#if defined(__GNUC__)
#include <immintrin.h>
// Eight lanes for code compiled for AVX2 (a function attribute: the rest of the program stays
// baseline). The operations are not inlined into baseline functions: call them only from
// functions with the same attribute that flatten them in.
#define TAVVY_RASTER_F8 1
#define TAVVY_SIMD_AVX2 inline __attribute__((target("avx2")))
#endif
#endif

namespace raster::simd {

// The two kinds live in differently named inline namespaces, so a test can build both into one
// program and compare their bits.
#if defined(TAVVY_RASTER_SSE2)
inline namespace sse2 {
#else
inline namespace portable {
#endif

#if defined(TAVVY_RASTER_SSE2)

struct F4 {
  static constexpr int kLanes = 4;
  __m128 v;
  static F4 Set(float x) { return {_mm_set1_ps(x)}; }
  static F4 Load(const float* p) { return {_mm_loadu_ps(p)}; }
  static F4 FromBits(uint32_t u) { return {_mm_castsi128_ps(_mm_set1_epi32(int(u)))}; }
  void Store(float* p) const { _mm_storeu_ps(p, v); }
  // Truncated towards zero; the lanes must lie inside the int range.
  void StoreInt(int32_t* p) const { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), _mm_cvttps_epi32(v)); }
};
inline F4 operator+(F4 a, F4 b) { return {_mm_add_ps(a.v, b.v)}; }
inline F4 operator-(F4 a, F4 b) { return {_mm_sub_ps(a.v, b.v)}; }
inline F4 operator*(F4 a, F4 b) { return {_mm_mul_ps(a.v, b.v)}; }
inline F4 operator/(F4 a, F4 b) { return {_mm_div_ps(a.v, b.v)}; }
inline F4 Sqrt(F4 a) { return {_mm_sqrt_ps(a.v)}; }
inline F4 Min(F4 a, F4 b) { return {_mm_min_ps(a.v, b.v)}; }
inline F4 Max(F4 a, F4 b) { return {_mm_max_ps(a.v, b.v)}; }
// Comparisons give all-ones lanes where true (false for NaN).
inline F4 Less(F4 a, F4 b) { return {_mm_cmplt_ps(a.v, b.v)}; }
inline F4 LessEqual(F4 a, F4 b) { return {_mm_cmple_ps(a.v, b.v)}; }
inline F4 And(F4 a, F4 b) { return {_mm_and_ps(a.v, b.v)}; }
inline F4 Or(F4 a, F4 b) { return {_mm_or_ps(a.v, b.v)}; }
// a where the mask's lanes are all ones, b where they are 0.
inline F4 Select(F4 mask, F4 a, F4 b) { return {_mm_or_ps(_mm_and_ps(mask.v, a.v), _mm_andnot_ps(mask.v, b.v))}; }
inline bool Any(F4 mask) { return _mm_movemask_ps(mask.v) != 0; }
// Bit k set where lane k of the mask is set.
inline unsigned LaneBits(F4 mask) { return unsigned(_mm_movemask_ps(mask.v)); }
// 2^e for whole numbers e in [-126, 127], given as floats.
inline F4 Pow2i(F4 e) {
  const __m128i i = _mm_cvttps_epi32(e.v);
  return {_mm_castsi128_ps(_mm_slli_epi32(_mm_add_epi32(i, _mm_set1_epi32(127)), 23))};
}
inline F4 Floor(F4 a) {  // for |a| < 2^31
  const __m128 t = _mm_cvtepi32_ps(_mm_cvttps_epi32(a.v));
  return {_mm_sub_ps(t, _mm_and_ps(_mm_cmpgt_ps(t, a.v), _mm_set1_ps(1.0f)))};
}
// The exponent and the mantissa (in [1, 2)) of positive normal numbers.
inline void Split(F4 a, F4& exponent, F4& mantissa) {
  const __m128i bits = _mm_castps_si128(a.v);
  exponent.v = _mm_cvtepi32_ps(_mm_sub_epi32(_mm_srli_epi32(bits, 23), _mm_set1_epi32(127)));
  mantissa.v =
      _mm_castsi128_ps(_mm_or_si128(_mm_and_si128(bits, _mm_set1_epi32(0x007FFFFF)), _mm_set1_epi32(0x3F800000)));
}

// Four 32-bit integers, for the pixel arithmetic. The products and minima take small operands
// (see each), where the 16-bit instructions SSE2 has give the exact 32-bit results.
struct I4 {
  static constexpr int kLanes = 4;
  __m128i v;
  static I4 Set(int32_t x) { return {_mm_set1_epi32(x)}; }
  // Four values from registers: lanes built this way never wait on four narrow stores.
  static I4 Make(uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
    return {_mm_setr_epi32(int32_t(a), int32_t(b), int32_t(c), int32_t(d))};
  }
  static I4 Load(const int32_t* p) { return {_mm_loadu_si128(reinterpret_cast<const __m128i*>(p))}; }
  // Four unsigned 16-bit values (eight bytes, any alignment), widened.
  static I4 LoadU16(const void* p) {
    return {_mm_unpacklo_epi16(_mm_loadl_epi64(static_cast<const __m128i*>(p)), _mm_setzero_si128())};
  }
  // Four 32-bit values (sixteen bytes, any alignment).
  static I4 LoadU32(const void* p) { return {_mm_loadu_si128(static_cast<const __m128i*>(p))}; }
  void Store(int32_t* p) const { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
  // The low 16 bits of each lane, as four 16-bit values (eight bytes, any alignment).
  void StoreU16(void* p) const {
    const __m128i low = _mm_srai_epi32(_mm_slli_epi32(v, 16), 16);  // packs keeps these bits as they are
    _mm_storel_epi64(static_cast<__m128i*>(p), _mm_packs_epi32(low, low));
  }
  void StoreU32(void* p) const { _mm_storeu_si128(static_cast<__m128i*>(p), v); }
};
// Each lane truncated towards zero, as int32_t(float) does (the lanes must be in range).
inline I4 Truncate(F4 a) { return {_mm_cvttps_epi32(a.v)}; }
// Each lane as a float (exact below 2^24).
inline F4 ToFloat(I4 a) { return {_mm_cvtepi32_ps(a.v)}; }
// All ones where a > b (signed), else zero.
inline I4 Greater(I4 a, I4 b) { return {_mm_cmpgt_epi32(a.v, b.v)}; }
// The lanes of f where the integer mask m is all ones, else zero.
inline F4 And(I4 m, F4 f) { return {_mm_and_ps(_mm_castsi128_ps(m.v), f.v)}; }
inline I4 operator+(I4 a, I4 b) { return {_mm_add_epi32(a.v, b.v)}; }
inline I4 operator-(I4 a, I4 b) { return {_mm_sub_epi32(a.v, b.v)}; }
inline I4 operator&(I4 a, I4 b) { return {_mm_and_si128(a.v, b.v)}; }
inline I4 operator|(I4 a, I4 b) { return {_mm_or_si128(a.v, b.v)}; }
inline I4 operator<<(I4 a, int n) { return {_mm_slli_epi32(a.v, n)}; }
inline I4 operator>>(I4 a, int n) { return {_mm_srli_epi32(a.v, n)}; }  // logical
inline I4 Sar(I4 a, int n) { return {_mm_srai_epi32(a.v, n)}; }         // arithmetic
// Bit k set where lane k of the integer mask is set.
inline unsigned MaskBits(I4 m) { return unsigned(_mm_movemask_ps(_mm_castsi128_ps(m.v))); }
// a * b for a, b in [0, 65535] with a product below 65536.
inline I4 MulSmall(I4 a, I4 b) { return {_mm_mullo_epi16(a.v, b.v)}; }
// The smaller of a and b, both in [0, 32767].
inline I4 MinSmall(I4 a, I4 b) { return {_mm_min_epi16(a.v, b.v)}; }
// floor(a / 255) for a in [0, 65535]: a * 0x8081 >> 23.
inline I4 Div255Floor(I4 a) { return {_mm_srli_epi32(_mm_mulhi_epu16(a.v, _mm_set1_epi32(0x8081)), 7)}; }

#else

struct F4 {
  static constexpr int kLanes = 4;
  float v[4];
  static F4 Set(float x) { return {{x, x, x, x}}; }
  static F4 Load(const float* p) { return {{p[0], p[1], p[2], p[3]}}; }
  static F4 FromBits(uint32_t u) {
    float f;
    std::memcpy(&f, &u, 4);
    return Set(f);
  }
  void Store(float* p) const { std::memcpy(p, v, sizeof v); }
  void StoreInt(int32_t* p) const {
    for (int k = 0; k < 4; ++k) p[k] = int32_t(v[k]);
  }
};
template <typename Fn>
inline F4 Each(F4 a, F4 b, Fn fn) {
  return {{fn(a.v[0], b.v[0]), fn(a.v[1], b.v[1]), fn(a.v[2], b.v[2]), fn(a.v[3], b.v[3])}};
}
inline float Bits(uint32_t u) {
  float f;
  std::memcpy(&f, &u, 4);
  return f;
}
inline uint32_t Bits(float f) {
  uint32_t u;
  std::memcpy(&u, &f, 4);
  return u;
}
inline F4 operator+(F4 a, F4 b) {
  return Each(a, b, [](float x, float y) { return x + y; });
}
inline F4 operator-(F4 a, F4 b) {
  return Each(a, b, [](float x, float y) { return x - y; });
}
inline F4 operator*(F4 a, F4 b) {
  return Each(a, b, [](float x, float y) { return x * y; });
}
inline F4 operator/(F4 a, F4 b) {
  return Each(a, b, [](float x, float y) { return x / y; });
}
inline F4 Sqrt(F4 a) {
  return Each(a, a, [](float x, float) { return __builtin_sqrtf(x); });
}
inline F4 Min(F4 a, F4 b) {
  return Each(a, b, [](float x, float y) { return x < y ? x : y; });
}
inline F4 Max(F4 a, F4 b) {
  return Each(a, b, [](float x, float y) { return x > y ? x : y; });
}
inline F4 Less(F4 a, F4 b) {
  return Each(a, b, [](float x, float y) { return Bits(x < y ? ~0u : 0u); });
}
inline F4 LessEqual(F4 a, F4 b) {
  return Each(a, b, [](float x, float y) { return Bits(x <= y ? ~0u : 0u); });
}
inline F4 And(F4 a, F4 b) {
  return Each(a, b, [](float x, float y) { return Bits(Bits(x) & Bits(y)); });
}
inline F4 Or(F4 a, F4 b) {
  return Each(a, b, [](float x, float y) { return Bits(Bits(x) | Bits(y)); });
}
inline F4 Select(F4 mask, F4 a, F4 b) {
  F4 r;
  for (int k = 0; k < 4; ++k) r.v[k] = Bits((Bits(mask.v[k]) & Bits(a.v[k])) | (~Bits(mask.v[k]) & Bits(b.v[k])));
  return r;
}
inline bool Any(F4 mask) { return (Bits(mask.v[0]) | Bits(mask.v[1]) | Bits(mask.v[2]) | Bits(mask.v[3])) >> 31; }
inline unsigned LaneBits(F4 mask) {
  unsigned bits = 0;
  for (int k = 0; k < 4; ++k) bits |= (Bits(mask.v[k]) >> 31) << k;
  return bits;
}
inline F4 Pow2i(F4 e) {
  return Each(e, e, [](float x, float) { return Bits(uint32_t(int32_t(x) + 127) << 23); });
}
inline F4 Floor(F4 a) {
  return Each(a, a, [](float x, float) {
    const float t = float(int32_t(x));
    return t - (t > x ? 1.0f : 0.0f);
  });
}
inline void Split(F4 a, F4& exponent, F4& mantissa) {
  for (int k = 0; k < 4; ++k) {
    const uint32_t bits = Bits(a.v[k]);
    exponent.v[k] = float(int32_t(bits >> 23) - 127);
    mantissa.v[k] = Bits((bits & 0x007FFFFFu) | 0x3F800000u);
  }
}

struct I4 {
  static constexpr int kLanes = 4;
  int32_t v[4];
  static I4 Set(int32_t x) { return {{x, x, x, x}}; }
  static I4 Make(uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
    return {{int32_t(a), int32_t(b), int32_t(c), int32_t(d)}};
  }
  static I4 Load(const int32_t* p) { return {{p[0], p[1], p[2], p[3]}}; }
  static I4 LoadU16(const void* p) {
    uint16_t u[4];
    std::memcpy(u, p, sizeof u);
    return {{u[0], u[1], u[2], u[3]}};
  }
  static I4 LoadU32(const void* p) {
    I4 r;
    std::memcpy(r.v, p, sizeof r.v);
    return r;
  }
  void Store(int32_t* p) const { std::memcpy(p, v, sizeof v); }
  void StoreU16(void* p) const {
    const uint16_t u[4] = {uint16_t(v[0]), uint16_t(v[1]), uint16_t(v[2]), uint16_t(v[3])};
    std::memcpy(p, u, sizeof u);
  }
  void StoreU32(void* p) const { std::memcpy(p, v, sizeof v); }
};
inline I4 Truncate(F4 a) { return {{int32_t(a.v[0]), int32_t(a.v[1]), int32_t(a.v[2]), int32_t(a.v[3])}}; }
inline F4 ToFloat(I4 a) { return {{float(a.v[0]), float(a.v[1]), float(a.v[2]), float(a.v[3])}}; }
inline I4 Greater(I4 a, I4 b) {
  return {{-int32_t(a.v[0] > b.v[0]), -int32_t(a.v[1] > b.v[1]), -int32_t(a.v[2] > b.v[2]), -int32_t(a.v[3] > b.v[3])}};
}
inline F4 And(I4 m, F4 f) {
  F4 r;
  for (int k = 0; k < 4; ++k) r.v[k] = m.v[k] ? f.v[k] : 0.0f;
  return r;
}
template <typename Fn>
inline I4 EachInt(I4 a, I4 b, Fn fn) {
  return {{fn(a.v[0], b.v[0]), fn(a.v[1], b.v[1]), fn(a.v[2], b.v[2]), fn(a.v[3], b.v[3])}};
}
inline I4 operator+(I4 a, I4 b) {
  return EachInt(a, b, [](int32_t x, int32_t y) { return int32_t(uint32_t(x) + uint32_t(y)); });
}
inline I4 operator-(I4 a, I4 b) {
  return EachInt(a, b, [](int32_t x, int32_t y) { return int32_t(uint32_t(x) - uint32_t(y)); });
}
inline I4 operator&(I4 a, I4 b) {
  return EachInt(a, b, [](int32_t x, int32_t y) { return x & y; });
}
inline I4 operator|(I4 a, I4 b) {
  return EachInt(a, b, [](int32_t x, int32_t y) { return x | y; });
}
inline I4 operator<<(I4 a, int n) {
  return EachInt(a, a, [n](int32_t x, int32_t) { return int32_t(uint32_t(x) << n); });
}
inline I4 operator>>(I4 a, int n) {
  return EachInt(a, a, [n](int32_t x, int32_t) { return int32_t(uint32_t(x) >> n); });
}
inline I4 Sar(I4 a, int n) {
  return EachInt(a, a, [n](int32_t x, int32_t) { return x >> n; });
}
inline unsigned MaskBits(I4 m) {
  unsigned bits = 0;
  for (int k = 0; k < 4; ++k) bits |= (uint32_t(m.v[k]) >> 31) << k;
  return bits;
}
inline I4 MulSmall(I4 a, I4 b) {
  return EachInt(a, b, [](int32_t x, int32_t y) { return x * y; });
}
inline I4 MinSmall(I4 a, I4 b) {
  return EachInt(a, b, [](int32_t x, int32_t y) { return x < y ? x : y; });
}
inline I4 Div255Floor(I4 a) {
  return EachInt(a, a, [](int32_t x, int32_t) { return x / 255; });
}

#endif

#if defined(TAVVY_RASTER_F8)
// The same operations on eight lanes, lane for lane the same bits as F4.
struct F8 {
  static constexpr int kLanes = 8;
  __m256 v;
  TAVVY_SIMD_AVX2 static F8 Set(float x) { return {_mm256_set1_ps(x)}; }
  TAVVY_SIMD_AVX2 static F8 Load(const float* p) { return {_mm256_loadu_ps(p)}; }
  TAVVY_SIMD_AVX2 static F8 FromBits(uint32_t u) { return {_mm256_castsi256_ps(_mm256_set1_epi32(int(u)))}; }
  TAVVY_SIMD_AVX2 void Store(float* p) const { _mm256_storeu_ps(p, v); }
  TAVVY_SIMD_AVX2 void StoreInt(int32_t* p) const {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), _mm256_cvttps_epi32(v));
  }
};
TAVVY_SIMD_AVX2 F8 operator+(F8 a, F8 b) { return {_mm256_add_ps(a.v, b.v)}; }
TAVVY_SIMD_AVX2 F8 operator-(F8 a, F8 b) { return {_mm256_sub_ps(a.v, b.v)}; }
TAVVY_SIMD_AVX2 F8 operator*(F8 a, F8 b) { return {_mm256_mul_ps(a.v, b.v)}; }
TAVVY_SIMD_AVX2 F8 operator/(F8 a, F8 b) { return {_mm256_div_ps(a.v, b.v)}; }
TAVVY_SIMD_AVX2 F8 Sqrt(F8 a) { return {_mm256_sqrt_ps(a.v)}; }
TAVVY_SIMD_AVX2 F8 Min(F8 a, F8 b) { return {_mm256_min_ps(a.v, b.v)}; }
TAVVY_SIMD_AVX2 F8 Max(F8 a, F8 b) { return {_mm256_max_ps(a.v, b.v)}; }
TAVVY_SIMD_AVX2 F8 Less(F8 a, F8 b) { return {_mm256_cmp_ps(a.v, b.v, _CMP_LT_OS)}; }
TAVVY_SIMD_AVX2 F8 LessEqual(F8 a, F8 b) { return {_mm256_cmp_ps(a.v, b.v, _CMP_LE_OS)}; }
TAVVY_SIMD_AVX2 F8 And(F8 a, F8 b) { return {_mm256_and_ps(a.v, b.v)}; }
TAVVY_SIMD_AVX2 F8 Or(F8 a, F8 b) { return {_mm256_or_ps(a.v, b.v)}; }
TAVVY_SIMD_AVX2 F8 Select(F8 mask, F8 a, F8 b) {
  return {_mm256_or_ps(_mm256_and_ps(mask.v, a.v), _mm256_andnot_ps(mask.v, b.v))};
}
TAVVY_SIMD_AVX2 bool Any(F8 mask) { return _mm256_movemask_ps(mask.v) != 0; }
TAVVY_SIMD_AVX2 F8 Pow2i(F8 e) {
  const __m256i i = _mm256_cvttps_epi32(e.v);
  return {_mm256_castsi256_ps(_mm256_slli_epi32(_mm256_add_epi32(i, _mm256_set1_epi32(127)), 23))};
}
// For |a| < 2^31, F4's bits: the exact floor, with +0 for -0 (the sum with +0 sees to that).
TAVVY_SIMD_AVX2 F8 Floor(F8 a) {
  return {_mm256_add_ps(_mm256_round_ps(a.v, _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC), _mm256_setzero_ps())};
}
TAVVY_SIMD_AVX2 void Split(F8 a, F8& exponent, F8& mantissa) {
  const __m256i bits = _mm256_castps_si256(a.v);
  exponent.v = _mm256_cvtepi32_ps(_mm256_sub_epi32(_mm256_srli_epi32(bits, 23), _mm256_set1_epi32(127)));
  mantissa.v = _mm256_castsi256_ps(
      _mm256_or_si256(_mm256_and_si256(bits, _mm256_set1_epi32(0x007FFFFF)), _mm256_set1_epi32(0x3F800000)));
}
TAVVY_SIMD_AVX2 unsigned LaneBits(F8 mask) { return unsigned(_mm256_movemask_ps(mask.v)); }
TAVVY_SIMD_AVX2 F8 operator-(F8 a) { return F8::Set(0.0f) - a; }
TAVVY_SIMD_AVX2 F8 Abs(F8 a) { return And(a, F8::FromBits(0x7FFFFFFF)); }

// Eight 32-bit integers: I4's operations on eight lanes, lane for lane the same bits.
struct I8 {
  static constexpr int kLanes = 8;
  __m256i v;
  TAVVY_SIMD_AVX2 static I8 Set(int32_t x) { return {_mm256_set1_epi32(x)}; }
  TAVVY_SIMD_AVX2 static I8 Load(const int32_t* p) { return {_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p))}; }
  TAVVY_SIMD_AVX2 static I8 LoadU16(const void* p) {
    return {_mm256_cvtepu16_epi32(_mm_loadu_si128(static_cast<const __m128i*>(p)))};
  }
  TAVVY_SIMD_AVX2 static I8 LoadU32(const void* p) { return {_mm256_loadu_si256(static_cast<const __m256i*>(p))}; }
  TAVVY_SIMD_AVX2 void Store(int32_t* p) const { _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v); }
  TAVVY_SIMD_AVX2 void StoreU16(void* p) const {
    const __m256i low = _mm256_and_si256(v, _mm256_set1_epi32(0xFFFF));  // packus keeps these as they are
    const __m256i packed = _mm256_permute4x64_epi64(_mm256_packus_epi32(low, low), 0x08);
    _mm_storeu_si128(static_cast<__m128i*>(p), _mm256_castsi256_si128(packed));
  }
  TAVVY_SIMD_AVX2 void StoreU32(void* p) const { _mm256_storeu_si256(static_cast<__m256i*>(p), v); }
};
TAVVY_SIMD_AVX2 I8 Truncate(F8 a) { return {_mm256_cvttps_epi32(a.v)}; }
TAVVY_SIMD_AVX2 F8 ToFloat(I8 a) { return {_mm256_cvtepi32_ps(a.v)}; }
TAVVY_SIMD_AVX2 I8 Greater(I8 a, I8 b) { return {_mm256_cmpgt_epi32(a.v, b.v)}; }
TAVVY_SIMD_AVX2 F8 And(I8 m, F8 f) { return {_mm256_and_ps(_mm256_castsi256_ps(m.v), f.v)}; }
TAVVY_SIMD_AVX2 I8 operator+(I8 a, I8 b) { return {_mm256_add_epi32(a.v, b.v)}; }
TAVVY_SIMD_AVX2 I8 operator-(I8 a, I8 b) { return {_mm256_sub_epi32(a.v, b.v)}; }
TAVVY_SIMD_AVX2 I8 operator&(I8 a, I8 b) { return {_mm256_and_si256(a.v, b.v)}; }
TAVVY_SIMD_AVX2 I8 operator|(I8 a, I8 b) { return {_mm256_or_si256(a.v, b.v)}; }
TAVVY_SIMD_AVX2 I8 operator<<(I8 a, int n) { return {_mm256_slli_epi32(a.v, n)}; }
TAVVY_SIMD_AVX2 I8 operator>>(I8 a, int n) { return {_mm256_srli_epi32(a.v, n)}; }
TAVVY_SIMD_AVX2 I8 Sar(I8 a, int n) { return {_mm256_srai_epi32(a.v, n)}; }
TAVVY_SIMD_AVX2 unsigned MaskBits(I8 m) { return unsigned(_mm256_movemask_ps(_mm256_castsi256_ps(m.v))); }
TAVVY_SIMD_AVX2 I8 MulSmall(I8 a, I8 b) { return {_mm256_mullo_epi16(a.v, b.v)}; }
TAVVY_SIMD_AVX2 I8 MinSmall(I8 a, I8 b) { return {_mm256_min_epi16(a.v, b.v)}; }
TAVVY_SIMD_AVX2 I8 Div255Floor(I8 a) {
  return {_mm256_srli_epi32(_mm256_mulhi_epu16(a.v, _mm256_set1_epi32(0x8081)), 7)};
}
TAVVY_SIMD_AVX2 I8 Div255(I8 v) {
  const I8 t = v + I8::Set(128);
  return (t + (t >> 8)) >> 8;
}
TAVVY_SIMD_AVX2 F8 Greater(F8 a, F8 b) { return Less(b, a); }
TAVVY_SIMD_AVX2 F8 Saturate(F8 a) { return Min(Max(a, F8::Set(0.0f)), F8::Set(1.0f)); }
#endif

// round(v / 255) for v in [0, 2^31 - 384), as the scalar pixel code has it.
inline I4 Div255(I4 v) {
  const I4 t = v + I4::Set(128);
  return (t + (t >> 8)) >> 8;
}

inline F4 operator-(F4 a) { return F4::Set(0.0f) - a; }
inline F4 Greater(F4 a, F4 b) { return Less(b, a); }
inline F4 Abs(F4 a) { return And(a, F4::FromBits(0x7FFFFFFF)); }
// The lanes 0, 1, 2, 3 of a + i d.
inline F4 Ramp(float a, float d) {
  static constexpr float kLane[4] = {0, 1, 2, 3};
  return F4::Set(a) + F4::Load(kLane) * F4::Set(d);
}
// Clamped to [0, 1]; NaN gives 0.
inline F4 Saturate(F4 a) { return Min(Max(a, F4::Set(0.0f)), F4::Set(1.0f)); }

// x^p for x > 0, from 2^(p log2 x) with polynomials in place of the library calls. Relative
// error below 2e-5 where the result is a normal float (tested against std::pow; most of it is
// the rounding of p log2 x near -126); results below 2^-126 are 0, arguments below count as it.
template <typename V>
inline V Pow(V x, V p) {
  // log2 x = e + log2 m, m in [sqrt(1/2), sqrt(2)): log2 m = 2/ln2 (t + t^3/3 + ... + t^9/9) with
  // t = (m - 1) / (m + 1), |t| <= 0.172, so the first term left out is below 2e-9.
  V e, m;
  Split(Max(x, V::Set(1.17549435e-38f)), e, m);
  const V big = Less(V::Set(1.41421356f), m);
  m = m * (V::Set(1.0f) + And(big, V::Set(-0.5f)));
  e = e + And(big, V::Set(1.0f));
  const V t = (m - V::Set(1.0f)) / (m + V::Set(1.0f));
  const V t2 = t * t;
  const V series = (((V::Set(1.0f / 9) * t2 + V::Set(1.0f / 7)) * t2 + V::Set(1.0f / 5)) * t2 + V::Set(1.0f / 3)) * t2 +
                   V::Set(1.0f);
  const V log2x = e + t * series * V::Set(2.88539008f);
  // 2^y = 2^i 2^f, i = round(y), f in [-1/2, 1/2]: Taylor to f^6 (error below 2e-7).
  const V y = Min(Max(log2x * p, V::Set(-126.0f)), V::Set(127.0f));
  const V i = Floor(y + V::Set(0.5f));
  const V f = y - i;
  const V poly = (((((V::Set(1.540353039e-04f) * f + V::Set(1.333355815e-03f)) * f + V::Set(9.618129108e-03f)) * f +
                    V::Set(5.550410866e-02f)) *
                       f +
                   V::Set(2.402265070e-01f)) *
                      f +
                  V::Set(6.931471806e-01f)) *
                     f +
                 V::Set(1.0f);
  return And(Less(V::Set(-126.0f), y), poly * Pow2i(i));
}

}  // namespace sse2 or portable
}  // namespace raster::simd
