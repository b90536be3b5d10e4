// The generator's own building blocks: the maths that replaces the C library's (so the
// output does not depend on it), the tiling noise, the envelopes and the two encoders.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "Common.h"
#include "Synth.h"

namespace {

using namespace assetgen;

TEST(AssetgenMaths, OwnFunctionsAgreeWithTheCLibrary) {
  for (double x = -1000.0; x <= 1000.0; x += 0.37) {
    ASSERT_NEAR(Sin(x), std::sin(x), 1e-9) << x;
    ASSERT_NEAR(Cos(x), std::cos(x), 1e-9) << x;
    ASSERT_NEAR(synth::TableSin(x / kTwoPi), std::sin(x), 2e-6) << x;
  }
  for (double x = -40.0; x <= 40.0; x += 0.13) ASSERT_NEAR(Exp(x) / std::exp(x), 1.0, 1e-12) << x;
  for (double x = 1e-6; x < 1e6; x *= 1.7) ASSERT_NEAR(Log(x), std::log(x), 1e-10) << x;
  EXPECT_DOUBLE_EQ(Exp2(10.0), 1024.0);
  EXPECT_NEAR(synth::NoteHz(69), 440.0, 1e-9);
  EXPECT_NEAR(synth::NoteHz(81), 880.0, 1e-9);
  EXPECT_NEAR(synth::NoteHz(60), 261.6255653, 1e-6);
}

TEST(AssetgenMaths, RandomNumbersAreRepeatableAndInRange) {
  Rng a(42), b(42), c(43);
  bool differs = false;
  for (int i = 0; i < 10000; ++i) {
    const double u = a.Uniform();
    ASSERT_EQ(u, b.Uniform());
    ASSERT_GE(u, 0.0);
    ASSERT_LT(u, 1.0);
    const int k = a.Int(7);
    b.Int(7);
    ASSERT_GE(k, 0);
    ASSERT_LT(k, 7);
    if (c.Uniform() != u) differs = true;
  }
  EXPECT_TRUE(differs);
}

// The metal panels and the planet map tile because the noise repeats with its period.
TEST(AssetgenNoise, PeriodicNoiseRepeatsAcrossItsPeriod) {
  const Noise2 n(7);
  for (double x = 0.1; x < 8; x += 0.77)
    for (double y = 0.3; y < 8; y += 0.91) {
      ASSERT_NEAR(n.At(x, y, 8, 8), n.At(x + 8, y, 8, 8), 1e-12);
      ASSERT_NEAR(n.At(x, y, 8, 8), n.At(x, y - 8, 8, 8), 1e-12);
      ASSERT_NEAR(n.Fbm(x, y, 4, 0.5, 8, 8), n.Fbm(x + 8, y + 16, 4, 0.5, 8, 8), 1e-12);
    }
  double lo = 1, hi = -1;
  for (double x = 0; x < 50; x += 0.1) {
    const double v = n.At(x, x * 0.7);
    lo = std::min(lo, v), hi = std::max(hi, v);
  }
  EXPECT_GE(lo, -1.0);
  EXPECT_LE(hi, 1.0);
  EXPECT_GT(hi - lo, 0.8) << "the noise actually varies";
}

TEST(AssetgenSynth, EnvelopeRisesHoldsAndReleases) {
  const double rate = 1000;
  synth::Envelope e(0.01, 0.05, 0.5, 0.02, 0.2, rate);
  std::vector<double> v;
  while (!e.Done() && v.size() < 10000) v.push_back(e.Next());
  ASSERT_LT(v.size(), 10000u) << "the envelope ends";
  EXPECT_EQ(v[0], 0.0);
  EXPECT_NEAR(v[10], 1.0, 1e-9) << "top of the attack";
  EXPECT_NEAR(v[199], 0.5 + 0.5 * std::exp(-3.8), 1e-3) << "falling towards the sustain level while held";
  for (size_t i = 201; i < v.size(); ++i) ASSERT_LT(v[i], v[i - 1]) << "falls after the gate";
  synth::Decay d(0.1, rate);
  EXPECT_EQ(d.Next(), 1.0);
  for (int i = 1; i < 100; ++i) d.Next();
  EXPECT_NEAR(d.Next(), std::exp(-1.0), 1e-6) << "one time constant later";
}

TEST(AssetgenSynth, NormalizePutsThePeakWhereAsked) {
  std::vector<double> s = {0.1, -0.4, 0.2};
  synth::Normalize(s, 0.8);
  EXPECT_DOUBLE_EQ(s[1], -0.8);
  EXPECT_DOUBLE_EQ(s[0], 0.2);
  std::vector<double> silent(5, 0.0);
  synth::Normalize(silent, 0.8);
  EXPECT_EQ(silent, std::vector<double>(5, 0.0));
}

TEST(AssetgenEncoders, BmpRowsArePaddedAndStoredBottomUp) {
  Image img(3, 2);
  img.At(0, 0) = {1, 0, 0};      // top-left red
  img.At(2, 1) = {0, 0, 1};      // bottom-right blue
  img.At(1, 0) = {0.5, 0.5, 0.5};
  const auto b = EncodeBmp24(img);
  const size_t row = 12;  // 3 pixels * 3 bytes, padded to 4
  ASSERT_EQ(b.size(), 54 + 2 * row);
  EXPECT_EQ(b[10], 54);
  // The file's first row is the picture's bottom row: blue at its right end (B, G, R).
  EXPECT_EQ(b[54 + 6], 255);
  EXPECT_EQ(b[54 + 8], 0);
  EXPECT_EQ(b[54 + 9], 0) << "padding";
  // The second file row is the top: red first, then mid grey rounded to 128.
  EXPECT_EQ(b[54 + row + 2], 255);
  EXPECT_EQ(b[54 + row + 0], 0);
  EXPECT_EQ(b[54 + row + 3], 128);
}

TEST(AssetgenEncoders, WavSamplesAreRoundedAndClamped) {
  const auto pcm = ToPcm16({0.0, 1.0, -1.0, 2.5, -3.0, 0.5, -0.5});
  EXPECT_EQ(pcm, (std::vector<int16_t>{0, 32767, -32767, 32767, -32767, 16384, -16383}));
  const auto w = EncodeWav16(pcm, 1, 22050);
  ASSERT_EQ(w.size(), 44 + pcm.size() * 2);
  EXPECT_EQ(w[40] | (w[41] << 8), static_cast<int>(pcm.size() * 2));
  EXPECT_EQ(static_cast<int16_t>(w[46] | (w[47] << 8)), 32767);
}

}  // namespace
