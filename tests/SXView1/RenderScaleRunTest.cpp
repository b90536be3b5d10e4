// The whole program at a render scale: the same game, its frames k times denser.
#include <cmath>
#include <string>
#include <vector>

#include "Form1Fixture.h"
#include "ProgramRun.h"
#include "SXView1/Settings.h"
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

// A short autopilot game, headless, at scale 1 and 2. The measure, on every tenth frame of play
// once the stage caption is gone (GameState 1, ReadyTime 0):
// the scale-2 frame box-filtered to 640 x 480 against the scale-1 frame, PSNR >= 30 dB over the
// 3-D scene (the band between the status lines and the radar, y 50..330, all columns); and the
// near-white pixels of the status line (y 8..30) of the two differ in at most a quarter of the
// pixels white in either. The 2,000-tick run at scales 2 and 3 is scripts/render-scale-psnr.sh.
TEST(RenderScaleRun, FramesAtScaleTwoAreTheFramesAtScaleOneDrawnDenser) {
  testsupport::TempDir dir;
  WriteProgramData(dir);
  const std::vector<std::string> common = {"--headless",   "--seed=11",         "--autopilot", "--ticks=300",
                                           "--frame-every=10", "--data=" + dir.Dir() + "Data"};
  auto run = [&](int k) {
    std::vector<std::string> args = common;
    args.push_back("--frames=" + dir.File("k" + std::to_string(k)));
    args.push_back("--stats=" + dir.File("stats" + std::to_string(k)));
    args.push_back("--render-scale=" + std::to_string(k));
    return RunProgram(args);
  };
  RunResult one = run(1);
  ASSERT_EQ(one.code, 0) << one.err;
  RunResult two = run(2);
  ASSERT_EQ(two.code, 0) << two.err;
  // The game itself does not see the scale: every tick's statistics are the same.
  const auto stats1 = ReadStats(dir.File("stats1")), stats2 = ReadStats(dir.File("stats2"));
  ASSERT_EQ(stats1, stats2);
  int compared = 0;
  for (std::size_t t = 0; t < stats1.size(); t += 10) {
    char name[32];
    std::snprintf(name, sizeof name, "/frame-%06zu.png", t);
    const Frame a = Read(dir.File("k1") + name), fine = Read(dir.File("k2") + name);
    ASSERT_EQ(a.width, 640);
    ASSERT_EQ(fine.width, 1280);
    ASSERT_EQ(fine.height, 960);
    // The title and game-over screens are pictures, not scenes; the stage caption covers the scene.
    if (stats1[t][1] != 1 || stats1[t][8] != 0) continue;
    const Frame b = BoxDown(fine, 2);
    EXPECT_GE(Psnr(a, b, RECT{0, 50, 640, 330}), 30.0) << "tick " << t;
    const RECT status{0, 8, 640, 30};
    const std::vector<bool> ma = WhiteMask(a, status), mb = WhiteMask(b, status);
    int either = 0, differ = 0;
    for (std::size_t i = 0; i < ma.size(); ++i) {
      either += ma[i] || mb[i];
      differ += ma[i] != mb[i];
    }
    EXPECT_GT(either, 200) << "tick " << t;
    EXPECT_LE(differ * 4, either) << "tick " << t << ": " << differ << " of " << either;
    ++compared;
  }
  EXPECT_GE(compared, 10);
}

}  // namespace
