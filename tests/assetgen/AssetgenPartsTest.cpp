// The generator's own building blocks: the maths that replaces the C library's (so the
// output does not depend on it), the tiling noise, the envelopes and the two encoders.
#include <gtest/gtest.h>

#include <algorithm>
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

// The effects sweep their filters from the top of the band down; the filter must stay
// bounded at every cut-off and every resonance, fall silent when its input does, and
// still be the filter it claims to be (unity below the cut-off, gain q at it, a cut above).
TEST(AssetgenSynth, FilterIsStableAndTrueAtEveryCutoff) {
  const double rate = 22050;
  for (double q : {0.5, 0.5412, 0.6, 0.8, 1.3066, 3.0, 10.0}) {
    for (double cut = 20; cut < rate / 2; cut *= 1.37) {
      synth::Svf f;
      Rng rng(3);
      double worst = 0;
      for (int i = 0; i < 22050; ++i) {
        const double low = f.Low(rng.Bipolar(), cut, rate, q);
        for (double v : {low, f.Band(), f.High()}) {
          ASSERT_TRUE(std::isfinite(v)) << "cut " << cut << " q " << q;
          worst = std::max(worst, std::abs(v));
        }
      }
      EXPECT_LT(worst, 4.0 + 4.0 * q) << "bounded with noise in, cut " << cut << " q " << q;
      // A resonant filter rings with the time constant 2q / (2 pi cut); give it twenty.
      const int ring = std::max(22050, static_cast<int>(20 * 2 * q / (2 * 3.14159265 * cut) * rate));
      double tail = 0;
      for (int i = 0; i < ring; ++i) tail = std::abs(f.Low(0.0, cut, rate, q));
      EXPECT_LT(tail, 1e-6) << "rings down in silence, cut " << cut << " q " << q;
    }
  }
  // Steady-state gain of a sine through the low-pass output.
  auto gain = [&](double hz, double cut, double q) {
    synth::Svf f;
    double peak = 0;
    for (int i = 0; i < 44100; ++i) {
      const double v = f.Low(std::sin(2 * 3.14159265358979 * hz * i / rate), cut, rate, q);
      if (i > 22050) peak = std::max(peak, std::abs(v));
    }
    return peak;
  };
  for (double cut : {200.0, 2000.0, 5000.0, 9000.0}) {
    EXPECT_NEAR(gain(cut / 8, cut, 0.7071), 1.0, 0.02) << cut;
    EXPECT_NEAR(gain(cut, cut, 2.0), 2.0, 0.1) << "resonance at the cut-off, " << cut;
    if (cut * 2 < rate / 2) {
      EXPECT_LT(gain(cut * 2, cut, 0.7071), 0.3) << cut;
    }
  }
}

// The mastering limiter: nothing above the ceiling, the gain falls ahead of a peak (not
// after it), and a sound below the ceiling goes through untouched.
TEST(AssetgenSynth, LimiterHoldsTheCeilingAndLeavesQuietSoundsAlone) {
  const double rate = 1000;
  std::vector<double> s(400, 0.0);
  for (size_t i = 0; i < s.size(); ++i) s[i] = 0.3 * std::sin(0.3 * static_cast<double>(i));
  const std::vector<double> quiet = s;
  synth::LimitPeaks(s, 1, 0.5, 0.01, 0.05, rate);
  EXPECT_EQ(s, quiet);
  std::vector<double> stereo(800, 0.2);
  stereo[401] = -1.0;  // frame 200, right channel
  synth::LimitPeaks(stereo, 2, 0.5, 0.01, 0.05, rate);
  EXPECT_NEAR(stereo[401], -0.5, 1e-12);
  EXPECT_NEAR(stereo[400], 0.1, 1e-12) << "one gain for both channels of a frame";
  EXPECT_LT(stereo[2 * 195], 0.2) << "the gain is already falling before the peak";
  EXPECT_DOUBLE_EQ(stereo[2 * 180], 0.2) << "but not long before it";
  EXPECT_LT(stereo[2 * 220], 0.2) << "and recovers afterwards";
  EXPECT_GT(stereo[2 * 380], 0.19);
  for (double v : stereo) EXPECT_LE(std::abs(v), 0.5 + 1e-12);
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
  img.At(0, 0) = {1, 0, 0};  // top-left red
  img.At(2, 1) = {0, 0, 1};  // bottom-right blue
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
