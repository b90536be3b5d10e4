// The whole program at a render scale: the same game, its frames k times denser.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "Form1Fixture.h"
#include "ProgramRun.h"
#include "app/Settings.h"
#include "platform/host/services/ImageCodecs.h"

namespace {

using namespace programrun;

TEST(RenderScaleOption, IsReadFromTheCommandLineAndTheSettingsFile) {
  EXPECT_EQ(ParseCommandLine({}).RenderScale, 1);
  EXPECT_EQ(ParseCommandLine({"--render-scale=3"}).RenderScale, 3);
  EXPECT_EQ(ParseCommandLine({"--render-scale=auto"}).RenderScale, 0);
  for (const char* bad : {"--render-scale=0", "--render-scale=5", "--render-scale=2x", "--render-scale"})
    EXPECT_THROW(ParseCommandLine({bad}), ECommandLine) << bad;
  EXPECT_EQ(ParseSettings("render_scale = auto\n").Comforts.renderScale, 0);
  EXPECT_EQ(ParseSettings("render_scale = 4\n").Comforts.renderScale, 4);
  EXPECT_THROW(ParseSettings("render_scale = 8\n"), ESettings);
  TSettings s;
  s.Comforts.renderScale = 2;
  EXPECT_EQ(ParseSettings(FormatSettings(s)).Comforts.renderScale, 2);
  EXPECT_EQ(host::ResolveRenderScale(0, 1920, 1080), 2);
  EXPECT_EQ(host::ResolveRenderScale(0, 3840, 2160), 4);
  EXPECT_EQ(host::ResolveRenderScale(0, 1024, 768), 1);
  EXPECT_EQ(host::ResolveRenderScale(3, 1024, 768), 3);
}

struct Frame {
  int width = 0, height = 0;
  std::vector<uint8_t> rgb;
  const uint8_t* At(int x, int y) const { return &rgb[(std::size_t(y) * width + x) * 3]; }
};

Frame Read(const std::string& path) {
  host::services::Image img;
  EXPECT_TRUE(host::services::ReadPng(path, img)) << path;
  Frame f{img.width, img.height, {}};
  for (std::size_t i = 0; i < img.pixels.size(); i += img.channels)
    f.rgb.insert(f.rgb.end(), img.pixels.begin() + i, img.pixels.begin() + i + 3);
  return f;
}

// Each k x k block's mean.
Frame BoxDown(const Frame& fine, int k) {
  Frame f{fine.width / k, fine.height / k, {}};
  for (int y = 0; y < f.height; ++y)
    for (int x = 0; x < f.width; ++x)
      for (int c = 0; c < 3; ++c) {
        int sum = 0;
        for (int j = 0; j < k; ++j)
          for (int i = 0; i < k; ++i) sum += fine.At(x * k + i, y * k + j)[c];
        f.rgb.push_back(uint8_t((sum + k * k / 2) / (k * k)));
      }
  return f;
}

// PSNR over the three channels of the rectangle.
double Psnr(const Frame& a, const Frame& b, RECT r) {
  double sq = 0;
  long n = 0;
  for (int y = r.top; y < r.bottom; ++y)
    for (int x = r.left; x < r.right; ++x)
      for (int c = 0; c < 3; ++c) {
        const double d = double(a.At(x, y)[c]) - double(b.At(x, y)[c]);
        sq += d * d;
        ++n;
      }
  return sq == 0 ? INFINITY : 10.0 * std::log10(255.0 * 255.0 * double(n) / sq);
}

// Near-white pixels of the rectangle (the status line's white text).
std::vector<bool> WhiteMask(const Frame& f, RECT r) {
  std::vector<bool> m;
  for (int y = r.top; y < r.bottom; ++y)
    for (int x = r.left; x < r.right; ++x) {
      const uint8_t* p = f.At(x, y);
      m.push_back(p[0] > 170 && p[1] > 170 && p[2] > 170);
    }
  return m;
}

int EnvInt(const char* name, int fallback) {
  const char* v = std::getenv(name);
  return v && *v ? std::atoi(v) : fallback;
}

// A short autopilot game, headless, at scale 1 and 2. The measure, on every tenth frame of play
// once the stage caption is gone (GameState 1, ReadyTime 0): the scaled frame box-filtered to
// 640 x 480 against the scale-1 frame, PSNR >= 30 dB over the 3-D scene (the band between the
// status lines and the radar, y 50..330, all columns); and the status line's text (its
// near-white pixels, y 8..30) in the same place: at least 95 % of the white pixels of each frame
// have a white pixel of the other within one pixel.
// scripts/render-scale-psnr.sh runs the same measure over a 2,000-tick game at scales 2 and 3
// (TAVVY_RENDER_SCALE_TICKS, TAVVY_RENDER_SCALE_EVERY, TAVVY_RENDER_SCALE_MAX).
TEST(RenderScaleRun, FramesAtScaleKAreTheFramesAtScaleOneDrawnDenser) {
  const int ticks = EnvInt("TAVVY_RENDER_SCALE_TICKS", 300), every = EnvInt("TAVVY_RENDER_SCALE_EVERY", 10);
  const int maxScale = EnvInt("TAVVY_RENDER_SCALE_MAX", 2);
  testsupport::TempDir dir;
  WriteProgramData(dir);
  auto run = [&](int k) {
    return RunProgram({"--headless", "--seed=11", "--autopilot", "--ticks=" + std::to_string(ticks),
                       "--frame-every=" + std::to_string(every), "--data=" + dir.Dir() + "Data",
                       "--frames=" + dir.File("k" + std::to_string(k)),
                       "--stats=" + dir.File("stats" + std::to_string(k)), "--render-scale=" + std::to_string(k)});
  };
  RunResult one = run(1);
  ASSERT_EQ(one.code, 0) << one.err;
  const auto stats1 = ReadStats(dir.File("stats1"));
  for (int k = 2; k <= maxScale; ++k) {
    RunResult dense = run(k);
    ASSERT_EQ(dense.code, 0) << dense.err;
    // The game itself does not see the scale: every tick's statistics are the same.
    ASSERT_EQ(ReadStats(dir.File("stats" + std::to_string(k))), stats1);
    int compared = 0, below = 0;
    std::vector<double> all;
    for (std::size_t t = 0; t < stats1.size(); t += std::size_t(every)) {
      char name[32];
      std::snprintf(name, sizeof name, "/frame-%06zu.png", t);
      const Frame a = Read(dir.File("k1") + name), fine = Read(dir.File("k" + std::to_string(k)) + name);
      ASSERT_EQ(a.width, 640);
      ASSERT_EQ(fine.width, 640 * k);
      ASSERT_EQ(fine.height, 480 * k);
      // The title and game-over screens are pictures, not scenes; the stage caption covers the scene.
      if (stats1[t][1] != 1 || stats1[t][8] != 0) continue;
      const Frame b = BoxDown(fine, k);
      const double psnr = Psnr(a, b, RECT{0, 50, 640, 330});
      EXPECT_GE(psnr, 30.0) << "k " << k << ", tick " << t;
      all.push_back(psnr);
      below += psnr < 30.0;
      const RECT status{0, 8, 640, 30};
      const std::vector<bool> ma = WhiteMask(a, status), mb = WhiteMask(b, status);
      const int w = status.right - status.left, h = status.bottom - status.top;
      // White pixels of `m` without a white pixel of `other` within one pixel.
      auto away = [w, h](const std::vector<bool>& m, const std::vector<bool>& other, int& count) {
        int n = 0;
        count = 0;
        for (int y = 0; y < h; ++y)
          for (int x = 0; x < w; ++x) {
            if (!m[std::size_t(y) * w + x]) continue;
            ++count;
            bool near = false;
            for (int j = std::max(0, y - 1); j <= std::min(h - 1, y + 1) && !near; ++j)
              for (int i = std::max(0, x - 1); i <= std::min(w - 1, x + 1) && !near; ++i)
                near = other[std::size_t(j) * w + i];
            n += !near;
          }
        return n;
      };
      int whiteA = 0, whiteB = 0;
      const int awayA = away(ma, mb, whiteA), awayB = away(mb, ma, whiteB);
      EXPECT_GT(whiteA, 200) << "k " << k << ", tick " << t;
      EXPECT_LE(awayA * 20, whiteA) << "k " << k << ", tick " << t << ": " << awayA << " of " << whiteA;
      EXPECT_LE(awayB * 20, whiteB) << "k " << k << ", tick " << t << ": " << awayB << " of " << whiteB;
      ++compared;
    }
    EXPECT_GE(compared, 10);
    std::sort(all.begin(), all.end());
    std::printf(
        "render scale %d: %d frames of play compared, PSNR of the 3-D scene median %.2f dB, worst %.2f dB, "
        "%d below 30 dB\n",
        k, compared, all.empty() ? 0.0 : all[all.size() / 2], all.empty() ? 0.0 : all.front(), below);
  }
}

}  // namespace
