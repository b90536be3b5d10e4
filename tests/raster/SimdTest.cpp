// The four-lane helpers of the fast rasterizer: the specular power without the library call.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>
#include <vector>

#include "raster/RasterCommon.h"
#include "raster/Simd.h"

namespace {

using raster::simd::F4;

#if defined(TAVVY_RASTER_F8)
// The eight-lane floor over a buffer (compiled for AVX2, called only where the CPU has it).
__attribute__((target("avx2"))) void FloorEight(const float* in, float* out, size_t n) {
  for (size_t i = 0; i + 8 <= n; i += 8) Floor(raster::simd::F8::Load(in + i)).Store(out + i);
}

// The eight-lane floor is the four-lane one, bit for bit, over the range its callers pin their
// values to: whole numbers, halves and the floats beside them, both signs and zeros, up to 2^30.
TEST(SimdFloor, EightLanesGiveTheFourLanesBits) {
  if (!__builtin_cpu_supports("avx2")) GTEST_SKIP() << "this CPU has no AVX2";
  std::vector<float> in;
  for (const float m : {0.0f, 0.5f, 1.0f, 2.5f, 3.0f, 1023.5f, 65536.0f, 8388607.5f, 8388608.0f, 1e9f, 1073741824.0f})
    for (const float sign : {1.0f, -1.0f}) {
      const float x = sign * m;
      in.insert(in.end(), {x, std::nextafter(x, -2e9f), std::nextafter(x, 2e9f)});
    }
  while (in.size() % 8) in.push_back(0.25f);
  std::vector<float> four(in.size()), eight(in.size());
  for (size_t i = 0; i < in.size(); i += 4) Floor(F4::Load(&in[i])).Store(&four[i]);
  FloorEight(in.data(), eight.data(), in.size());
  for (size_t i = 0; i < in.size(); ++i) {
    EXPECT_EQ(std::bit_cast<uint32_t>(eight[i]), std::bit_cast<uint32_t>(four[i])) << in[i];
    EXPECT_EQ(four[i], std::floor(in[i])) << in[i];
  }
}
#endif

// x^p against the library, over the bases a lit vertex can have (0, 1] and the powers materials
// use: relative error below 2e-5 (a 200th of an 8-bit level at full scale) wherever the result is a normal float, 0
// where it underflows.
TEST(SimdPow, MatchesTheLibraryWithinItsBound) {
  double worst = 0;
  for (float p : {0.0f, 0.5f, 1.0f, 2.0f, 5.0f, 12.0f, 20.0f, 40.0f, 64.0f, 127.5f, 1000.0f}) {
    for (int i = 1; i <= 4000; ++i) {
      const float x[4] = {float(i) / 4000.0f, float(i) / 4000.0f * 1e-3f, 1.0f - float(i) * 1e-7f,
                          std::nextafter(float(i) / 4000.0f, 0.0f)};
      float out[4];
      raster::simd::Pow(F4::Load(x), F4::Set(p)).Store(out);
      for (int k = 0; k < 4; ++k) {
        const double want = std::pow(double(x[k]), double(p));
        if (want < 1.2e-38) {
          EXPECT_LE(out[k], 1.2e-38f) << x[k] << "^" << p;
          continue;
        }
        const double rel = std::fabs(out[k] - want) / want;
        worst = std::max(worst, rel);
        ASSERT_LT(rel, 2e-5) << x[k] << "^" << p << " = " << want << ", got " << out[k];
      }
    }
  }
  RecordProperty("worst_relative_error", std::to_string(worst));
}

TEST(SimdPow, EdgeValues) {
  const float x[4] = {1.0f, 0.0f, 1e-38f, 0.5f};
  float out[4];
  raster::simd::Pow(F4::Load(x), F4::Set(0.0f)).Store(out);
  EXPECT_EQ(out[0], 1.0f);  // anything to the power 0 is 1 (0 itself never reaches here)
  EXPECT_EQ(out[3], 1.0f);
  raster::simd::Pow(F4::Load(x), F4::Set(1.0f)).Store(out);
  EXPECT_EQ(out[0], 1.0f);
  EXPECT_NEAR(out[3], 0.5f, 1e-6f);
  EXPECT_EQ(out[1], 0.0f);  // below the smallest normal: 0
}

}  // namespace

namespace simdtest {
std::vector<uint32_t> PortableRun();
}

#include "SimdExercise.h"

namespace {

// The SIMD build of the helpers (when the machine has one) against the portable build, bit for
// bit, so frames come out the same with TAVVY_SIMD on and off.
TEST(SimdLanes, SameBitsWithAndWithoutSimd) {
  const std::vector<uint32_t> simd = ExerciseSimd(), portable = simdtest::PortableRun();
  ASSERT_EQ(simd.size(), portable.size());
  size_t differ = 0, first = simd.size();
  for (size_t i = 0; i < simd.size(); ++i)
    if (simd[i] != portable[i]) {
      ++differ;
      first = std::min(first, i);
    }
  EXPECT_EQ(differ, 0u) << "first difference at " << first;
}

}  // namespace

// A light's reach is tested on squares with a margin, and with a square root only when close: the
// answer must be the square root's everywhere, at the margins, for tiny and huge values, for NaN.
TEST(LightReach, TheSquaresGiveTheSquareRootsAnswer) {
  std::vector<float> reaches = {0.0f,
                                1e-30f,
                                1e-20f,
                                1e-15f,
                                1e-10f,
                                0.5f,
                                1.0f,
                                3.0f,
                                1e10f,
                                1e19f,
                                2e19f,
                                1e30f,
                                std::numeric_limits<float>::max(),
                                std::numeric_limits<float>::infinity()};
  uint64_t seed = 99;
  for (int i = 0; i < 2000; ++i) {
    seed = seed * 6364136223846793005ull + 1442695040888963407ull;
    reaches.push_back(std::ldexp(float(seed >> 40) / float(1 << 24), int(seed >> 8 & 127) - 64));
  }
  long checked = 0;
  for (const float reach : reaches) {
    const float r2 = reach * reach;
    std::vector<float> d2s = {0.0f,
                              r2,
                              r2 * 0.999f,
                              r2 * 1.001f,
                              std::numeric_limits<float>::quiet_NaN(),
                              std::numeric_limits<float>::infinity(),
                              std::numeric_limits<float>::denorm_min()};
    // Every float near the square and near the margins.
    for (const float centre : {r2, r2 * 0.999f, r2 * 1.001f}) {
      float below = centre, above = centre;
      for (int k = 0; k < 40; ++k) {
        below = std::nextafter(below, 0.0f);
        above = std::nextafter(above, std::numeric_limits<float>::infinity());
        d2s.push_back(below);
        d2s.push_back(above);
      }
    }
    for (const float d2 : d2s) {
      ASSERT_EQ(raster::BeyondReach(d2, reach), std::sqrt(d2) > reach)
          << std::hexfloat << "d2 " << d2 << " reach " << reach;
      ++checked;
    }
  }
  EXPECT_GT(checked, 400000);
}
