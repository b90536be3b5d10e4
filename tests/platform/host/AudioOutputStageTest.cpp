// The audio output stage: the look-ahead limiter that keeps a crowded mix below full
// scale without clicks, and the plain clipping of the platform it replaces by default.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/host/AudioOutputStage.h"
#include "platform/host/headless/HeadlessAudio.h"
#include "support/TestSupport.h"

namespace {

constexpr int kRate = 44100;

// A quiet bed with two loud bursts on top, as when two explosions land on the music:
// at the bursts the sum is about twice full scale.
std::vector<int32_t> CrowdedMix(int frames) {
  std::vector<int32_t> mix(size_t(frames) * 2);
  for (int i = 0; i < frames; ++i) {
    const double t = double(i) / kRate;
    double v = 6000 * std::sin(2 * 3.14159265358979 * 220 * t);
    for (double start : {0.30, 0.45}) {
      if (t >= start) v += 40000 * std::exp(-(t - start) / 0.08) * std::sin(2 * 3.14159265358979 * 90 * (t - start));
    }
    mix[2 * size_t(i)] = int32_t(std::lround(v));
    mix[2 * size_t(i) + 1] = int32_t(std::lround(-0.8 * v));
  }
  return mix;
}

std::vector<int16_t> Through(host::AudioOutputStage& stage, const std::vector<int32_t>& mix, int chunk) {
  const int frames = int(mix.size() / 2);
  std::vector<int16_t> out(mix.size());
  for (int at = 0; at < frames; at += chunk) {
    const int n = std::min(chunk, frames - at);
    stage.Process(mix.data() + 2 * at, out.data() + 2 * at, n);
  }
  return out;
}

TEST(AudioOutputStage, LimiterKeepsACrowdedMixBelowFullScaleWithoutClicks) {
  const std::vector<int32_t> mix = CrowdedMix(kRate);
  host::AudioOutputStage stage(kRate, {});
  const int delay = stage.LatencyFrames();
  ASSERT_GT(delay, 0);
  ASSERT_LT(delay, kRate / 200) << "looks ahead a few milliseconds at most";
  const std::vector<int16_t> out = Through(stage, mix, 1024);

  int loudest = 0;
  for (int16_t v : out) loudest = std::max(loudest, std::abs(int(v)));
  EXPECT_LE(loudest, host::AudioOutputStage::kCeiling) << "no sample at full scale";
  EXPECT_GT(loudest, host::AudioOutputStage::kCeiling - 1500) << "the loud moment stays loud";

  // Before the first burst the sound passes unchanged, only later by the look-ahead.
  const int quietEnd = int(0.30 * kRate) - 2 * delay;
  for (int i = delay; i < quietEnd; ++i) {
    ASSERT_EQ(out[2 * size_t(i)], mix[2 * size_t(i - delay)]) << i;
    ASSERT_EQ(out[2 * size_t(i) + 1], mix[2 * size_t(i - delay) + 1]) << i;
  }
  // The gain moves smoothly: against the input, no output frame's gain differs from the
  // one before it by more than a few percent (a jump would be a click).
  double worstStep = 0, previous = 1;
  for (int i = delay; i < kRate; ++i) {
    const int32_t in = mix[2 * size_t(i - delay)];
    if (std::abs(in) < 2000) continue;
    const double gain = double(out[2 * size_t(i)]) / in;
    worstStep = std::max(worstStep, std::abs(gain - previous));
    previous = gain;
  }
  EXPECT_LT(worstStep, 0.05);
  // And it lets up again once the bursts have died away.
  const int late = int(0.95 * kRate);
  EXPECT_NEAR(out[2 * size_t(late)], mix[2 * size_t(late - delay)], 60);
}

TEST(AudioOutputStage, LimiterGivesTheSameSoundWhateverTheDevicesPeriod) {
  const std::vector<int32_t> mix = CrowdedMix(kRate / 2);
  host::AudioOutputStage a(kRate, {}), b(kRate, {}), c(kRate, {});
  const auto whole = Through(a, mix, kRate);
  EXPECT_EQ(Through(b, mix, 1), whole);
  EXPECT_EQ(Through(c, mix, 441), whole);
}

TEST(AudioOutputStage, WithoutTheLimiterEachSampleIsClippedOnItsOwn) {
  host::AudioOutputStage stage(kRate, {.limiter = false});
  EXPECT_EQ(stage.LatencyFrames(), 0);
  const std::vector<int32_t> mix = {40000, -40000, 32767, -32768, 12345, -2, 32768, -32769};
  std::vector<int16_t> out(mix.size());
  stage.Process(mix.data(), out.data(), 4);
  EXPECT_EQ(out, (std::vector<int16_t>{32767, -32768, 32767, -32768, 12345, -2, 32767, -32768}));
}

// --audio-out: the headless sink streams what it plays, after the output stage, into a WAV file.
TEST(AudioOutputStage, HeadlessSinkStreamsWhatItPlaysIntoAWavFile) {
  testsupport::TempDir dir;
  win::VirtualClock clock;
  host::HeadlessAudio audio(clock);
  ASSERT_TRUE(audio.StreamTo(dir.File("out.wav")));
  ASSERT_TRUE(audio.Open(kRate, [](int32_t* out, int frames) {
    for (int i = 0; i < frames; ++i) out[2 * i] = out[2 * i + 1] = 70000;  // twice full scale
  }));
  audio.StartCapture();
  clock.Advance(200);
  audio.Close();
  ASSERT_TRUE(audio.FinishStream());
  const std::vector<int16_t> captured = audio.TakeCaptured();
  const auto bytes = testsupport::ReadFileBytes(dir.File("out.wav"));
  ASSERT_EQ(bytes.size(), 44u + 8820 * 4);
  uint32_t riff, data;
  std::memcpy(&riff, bytes.data() + 4, 4);
  std::memcpy(&data, bytes.data() + 40, 4);
  EXPECT_EQ(riff, 36u + 8820 * 4);
  EXPECT_EQ(data, 8820u * 4);
  ASSERT_EQ(captured.size(), 8820u * 2);
  EXPECT_EQ(std::memcmp(bytes.data() + 44, captured.data(), captured.size() * 2), 0)
      << "the file holds what was played";
  EXPECT_EQ(captured[0], 0) << "the look-ahead comes first";
  EXPECT_EQ(captured.back(), host::AudioOutputStage::kCeiling) << "limited, not clipped";

  host::HeadlessAudio nowhere(clock);
  EXPECT_FALSE(nowhere.StreamTo(dir.File("no/such/folder/out.wav")));
}

}  // namespace
