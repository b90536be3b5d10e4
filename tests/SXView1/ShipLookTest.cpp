// The player's ship as the generated data set shows it: from each of the views the player
// can choose, under the game's own lights, its pixels are neither washed out nor black.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "ProgramRun.h"
#include "platform/host/services/ImageCodecs.h"

namespace {

using namespace programrun;

// A mesh file with one triangle of no area: the game loads it and draws nothing.
std::vector<uint8_t> EmptyMesh() {
  std::vector<uint8_t> b = {'S', 'i', 'm', 'p', 'l', 'i', 'f', 'i', 'e', 'd', '_', 'X', '0', '0', ' ', ' ', 3, 0, 3, 0};
  b.resize(256, 0);
  for (int v = 0; v < 3; ++v) {
    const float fields[6] = {0, 0, 0, 0, 1, 0};  // position, normal
    const auto* p = reinterpret_cast<const uint8_t*>(fields);
    b.insert(b.end(), p, p + sizeof fields);
    for (int colour = 0; colour < 2; ++colour) b.insert(b.end(), {0, 0, 0, 0xFF});
    b.insert(b.end(), 8, 0);  // texture coordinates
  }
  b.insert(b.end(), {0, 0, 1, 0, 2, 0});
  return b;
}

host::services::Image Frame(const testsupport::TempDir& dir, const std::string& run, int tick) {
  char name[64];
  std::snprintf(name, sizeof name, "/frame-%06d.png", tick);
  host::services::Image img;
  EXPECT_TRUE(host::services::ReadPng(dir.File(run) + name, img)) << run << name;
  return img;
}

TEST(ShipLook, FromEveryViewTheShipIsNeitherWashedOutNorBlack) {
  // One game with the ship and the same game with an empty ship mesh: the pixels that differ
  // are the ship's. The view key (Q) is pressed during the ready count-down, before any shot
  // or explosion lights the scene.
  testsupport::TempDir with, without;
  WriteWholeDataSet(with);
  WriteWholeDataSet(without);
  testsupport::WriteFileBytes(without.File("Data/dotai.sx"), EmptyMesh());
  const std::string script = "50 down Q\n51 up Q\n60 down Q\n61 up Q\n70 down Q\n71 up Q\n";
  for (const testsupport::TempDir* dir : {&with, &without}) {
    testsupport::WriteFileText(dir->File("script.txt"), script);
    const RunResult r =
        RunProgram({"--headless", "--autopilot", "--seed=1", "--ticks=80", "--data=" + dir->File("Data"),
                    "--script=" + dir->File("script.txt"), "--frames=" + dir->File("frames"), "--frame-every=1"});
    ASSERT_EQ(r.code, 0) << r.err;
  }
  // One frame in each view: the first, and one after each press.
  for (const int tick : {45, 58, 68, 78}) {
    const host::services::Image a = Frame(with, "frames", tick);
    const host::services::Image b = Frame(without, "frames", tick);
    ASSERT_EQ(a.pixels.size(), b.pixels.size());
    std::vector<double> luminance;
    int white = 0, black = 0;
    for (size_t i = 0; i + 2 < a.pixels.size(); i += static_cast<size_t>(a.channels)) {
      if (std::equal(&a.pixels[i], &a.pixels[i] + 3, &b.pixels[i])) continue;
      const int r = a.pixels[i], g = a.pixels[i + 1], bl = a.pixels[i + 2];
      luminance.push_back((0.2126 * r + 0.7152 * g + 0.0722 * bl) / 255.0);
      white += r >= 250 && g >= 250 && bl >= 250;
      black += r <= 5 && g <= 5 && bl <= 5;
    }
    ASSERT_GT(luminance.size(), 1000u) << "tick " << tick << ": the ship is hardly in the picture";
    std::nth_element(luminance.begin(), luminance.begin() + luminance.size() / 2, luminance.end());
    const double median = luminance[luminance.size() / 2];
    const double n = static_cast<double>(luminance.size());
    EXPECT_GE(median, 0.25) << "tick " << tick;
    EXPECT_LE(median, 0.75) << "tick " << tick;
    EXPECT_LT(white / n, 0.10) << "tick " << tick << ": pure white";
    EXPECT_LT(black / n, 0.10) << "tick " << tick << ": pure black";
  }
}

}  // namespace
