// Absolute pixel values in every texture and render-target format: pure red, green and blue
// and one mixed colour, decoded from texels and encoded into targets, against values worked
// out by hand from the channel layouts. The image tests compare the two rasterizers with each
// other, and both share the codec, so a channel swapped in the codec shows only here.
//
// The draws cover their whole target with one screen-space quad, so no result depends on
// where a pixel's centre lies.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "RasterTestUtil.h"

namespace {

using namespace rastertest;

struct Rgba {
  int r, g, b, a;
  bool operator==(const Rgba&) const = default;
};
std::ostream& operator<<(std::ostream& os, const Rgba& c) {
  return os << "(" << c.r << ", " << c.g << ", " << c.b << ", " << c.a << ")";
}
Rgba Of(const Rgba8& c) { return {c.r, c.g, c.b, c.a}; }

// One texel as it lies in memory (little-endian), and the colour it stands for.
struct Texel {
  const char* what;
  std::vector<uint8_t> bytes;
  Rgba colour;
};
struct FormatTexels {
  PixelFormat format;
  const char* name;
  std::vector<Texel> texels;
};

// Widening, as worked out here: a 5-bit v becomes v << 3 | v >> 2, a 6-bit v << 2 | v >> 4,
// a 4-bit v becomes v * 17 (0xF -> 0xFF).
//   5-bit 10 -> 80 | 2 = 82, 20 -> 160 | 5 = 165, 30 -> 240 | 7 = 247; 6-bit 40 -> 160 | 2 = 162;
//   4-bit 3 -> 51, 6 -> 102, 8 -> 136, 12 -> 204.
std::vector<FormatTexels> DecodingCases() {
  return {
      {PixelFormat::RGB565,
       "RGB565",
       {{"red", {0x00, 0xF8}, {255, 0, 0, 255}},
        {"green", {0xE0, 0x07}, {0, 255, 0, 255}},
        {"blue", {0x1F, 0x00}, {0, 0, 255, 255}},
        // r 10, g 40, b 20: 10 << 11 | 40 << 5 | 20 = 0x5514
        {"mixed", {0x14, 0x55}, {82, 162, 165, 255}}}},
      {PixelFormat::X1R5G5B5,
       "X1R5G5B5",
       {{"red", {0x00, 0x7C}, {255, 0, 0, 255}},
        {"green", {0xE0, 0x03}, {0, 255, 0, 255}},
        {"blue", {0x1F, 0x00}, {0, 0, 255, 255}},
        // r 10, g 20, b 30: 10 << 10 | 20 << 5 | 30 = 0x2A9E, with the unused top bit set
        {"mixed", {0x9E, 0xAA}, {82, 165, 247, 255}}}},
      {PixelFormat::A1R5G5B5,
       "A1R5G5B5",
       {{"red", {0x00, 0xFC}, {255, 0, 0, 255}},
        {"green", {0xE0, 0x83}, {0, 255, 0, 255}},
        {"blue", {0x1F, 0x80}, {0, 0, 255, 255}},
        {"mixed", {0x9E, 0xAA}, {82, 165, 247, 255}},
        {"mixed, transparent", {0x9E, 0x2A}, {82, 165, 247, 0}}}},
      {PixelFormat::A4R4G4B4,
       "A4R4G4B4",
       {{"red", {0x00, 0xFF}, {255, 0, 0, 255}},
        {"green", {0xF0, 0xF0}, {0, 255, 0, 255}},
        {"blue", {0x0F, 0xF0}, {0, 0, 255, 255}},
        // a 8, r 3, g 6, b 12: 0x836C
        {"mixed", {0x6C, 0x83}, {51, 102, 204, 136}}}},
      {PixelFormat::R8G8B8,
       "R8G8B8",  // blue, green, red in memory
       {{"red", {0x00, 0x00, 0xFF}, {255, 0, 0, 255}},
        {"green", {0x00, 0xFF, 0x00}, {0, 255, 0, 255}},
        {"blue", {0xFF, 0x00, 0x00}, {0, 0, 255, 255}},
        {"mixed", {0x56, 0x34, 0x12}, {0x12, 0x34, 0x56, 255}}}},
      {PixelFormat::X8R8G8B8,
       "X8R8G8B8",  // the unused byte is ignored
       {{"red", {0x00, 0x00, 0xFF, 0x00}, {255, 0, 0, 255}},
        {"green", {0x00, 0xFF, 0x00, 0x00}, {0, 255, 0, 255}},
        {"blue", {0xFF, 0x00, 0x00, 0x00}, {0, 0, 255, 255}},
        {"mixed", {0x56, 0x34, 0x12, 0x80}, {0x12, 0x34, 0x56, 255}}}},
      {PixelFormat::A8R8G8B8,
       "A8R8G8B8",
       {{"red", {0x00, 0x00, 0xFF, 0xFF}, {255, 0, 0, 255}},
        {"green", {0x00, 0xFF, 0x00, 0xFF}, {0, 255, 0, 255}},
        {"blue", {0xFF, 0x00, 0x00, 0xFF}, {0, 0, 255, 255}},
        {"mixed", {0x56, 0x34, 0x12, 0x80}, {0x12, 0x34, 0x56, 0x80}}}},
  };
}

// A colour and the bytes a target of each format holds for it, rounded to the nearest level:
// an 8-bit c on a channel of `max` levels is floor((c * max + 127) / 255).
//   The mixed colour (a 0x80, r 0x12, g 0x34, b 0x56) = (128, 18, 52, 86):
//   5 bits: r 18 * 31 / 255 = 2.19 -> 2, g 52 * 31 / 255 = 6.32 -> 6, b 86 * 31 / 255 = 10.45 -> 10;
//   6 bits: g 52 * 63 / 255 = 12.85 -> 13;
//   4 bits: a 128 * 15 / 255 = 7.53 -> 8, r 1.06 -> 1, g 3.06 -> 3, b 5.06 -> 5;
//   1-bit alpha: set from 128 up.
struct Target {
  const char* what;
  uint32_t argb;
  std::vector<uint8_t> bytes;
};
struct FormatTargets {
  PixelFormat format;
  const char* name;
  std::vector<Target> targets;
};
std::vector<FormatTargets> EncodingCases() {
  return {
      {PixelFormat::RGB565,
       "RGB565",
       {{"red", 0xFFFF0000, {0x00, 0xF8}},
        {"green", 0xFF00FF00, {0xE0, 0x07}},
        {"blue", 0xFF0000FF, {0x1F, 0x00}},
        {"mixed", 0x80123456, {0xAA, 0x11}}}},  // 2 << 11 | 13 << 5 | 10 = 0x11AA
      {PixelFormat::X1R5G5B5,
       "X1R5G5B5",
       {{"red", 0xFFFF0000, {0x00, 0x7C}},
        {"green", 0xFF00FF00, {0xE0, 0x03}},
        {"blue", 0xFF0000FF, {0x1F, 0x00}},
        {"mixed", 0x80123456, {0xCA, 0x08}}}},  // 2 << 10 | 6 << 5 | 10 = 0x08CA
      {PixelFormat::A1R5G5B5,
       "A1R5G5B5",
       {{"red", 0xFFFF0000, {0x00, 0xFC}},
        {"green", 0xFF00FF00, {0xE0, 0x83}},
        {"blue", 0xFF0000FF, {0x1F, 0x80}},
        {"mixed", 0x80123456, {0xCA, 0x88}},  // 0x8000 | 0x08CA
        {"mixed, alpha 127", 0x7F123456, {0xCA, 0x08}}}},
      {PixelFormat::A4R4G4B4,
       "A4R4G4B4",
       {{"red", 0xFFFF0000, {0x00, 0xFF}},
        {"green", 0xFF00FF00, {0xF0, 0xF0}},
        {"blue", 0xFF0000FF, {0x0F, 0xF0}},
        {"mixed", 0x80123456, {0x35, 0x81}}}},  // 8 << 12 | 1 << 8 | 3 << 4 | 5 = 0x8135
      {PixelFormat::R8G8B8,
       "R8G8B8",
       {{"red", 0xFFFF0000, {0x00, 0x00, 0xFF}},
        {"green", 0xFF00FF00, {0x00, 0xFF, 0x00}},
        {"blue", 0xFF0000FF, {0xFF, 0x00, 0x00}},
        {"mixed", 0x80123456, {0x56, 0x34, 0x12}}}},
      {PixelFormat::X8R8G8B8,
       "X8R8G8B8",
       {{"red", 0xFFFF0000, {0x00, 0x00, 0xFF, 0x00}},
        {"green", 0xFF00FF00, {0x00, 0xFF, 0x00, 0x00}},
        {"blue", 0xFF0000FF, {0xFF, 0x00, 0x00, 0x00}},
        {"mixed", 0x80123456, {0x56, 0x34, 0x12, 0x00}}}},
      {PixelFormat::A8R8G8B8,
       "A8R8G8B8",
       {{"red", 0xFFFF0000, {0x00, 0x00, 0xFF, 0xFF}},
        {"green", 0xFF00FF00, {0x00, 0xFF, 0x00, 0xFF}},
        {"blue", 0xFF0000FF, {0xFF, 0x00, 0x00, 0xFF}},
        {"mixed", 0x80123456, {0x56, 0x34, 0x12, 0x80}}}},
  };
}

Rgba8 Rgba8Of(uint32_t argb) { return {uint8_t(argb >> 16), uint8_t(argb >> 8), uint8_t(argb), uint8_t(argb >> 24)}; }

// The bytes of a target pixel, with the bits a format leaves unused cleared (what lands there
// is nobody's business).
std::vector<uint8_t> BytesAt(const Canvas& c, int x, int y) {
  const int n = BytesPerPixel(c.target.format);
  const uint8_t* p = c.Bytes().data() + size_t(y) * c.target.pitch + size_t(x) * n;
  std::vector<uint8_t> bytes(p, p + n);
  if (c.target.format == PixelFormat::X1R5G5B5) bytes[1] &= 0x7F;
  if (c.target.format == PixelFormat::X8R8G8B8) bytes[3] = 0;
  return bytes;
}

std::string Hex(const std::vector<uint8_t>& bytes) {
  std::string s;
  char b[4];
  for (uint8_t v : bytes) {
    std::snprintf(b, sizeof b, "%02X ", v);
    s += b;
  }
  return s;
}

TEST(PixelCodecValues, TexelsOfEveryFormatDecodeToTheirColours) {
  for (const FormatTexels& f : DecodingCases()) {
    ASSERT_EQ(size_t(BytesPerPixel(f.format)), f.texels[0].bytes.size()) << f.name;
    for (const Texel& t : f.texels) {
      EXPECT_EQ(Of(DecodeRaw(f.format, LoadRaw(f.format, t.bytes.data()))), t.colour) << f.name << " " << t.what;
    }
  }
}

TEST(PixelCodecValues, ColoursEncodeToTheBitsOfEveryTargetFormat) {
  for (const FormatTargets& f : EncodingCases()) {
    for (const Target& t : f.targets) {
      std::vector<uint8_t> bytes(size_t(BytesPerPixel(f.format)), 0);
      StoreRaw(f.format, bytes.data(), EncodeRaw(f.format, Rgba8Of(t.argb), kRoundThreshold));
      EXPECT_EQ(Hex(bytes), Hex(t.bytes)) << f.name << " " << t.what;
    }
  }
}

struct Factory {
  const char* name;
  std::function<std::unique_ptr<Rasterizer>()> make;
};
void PrintTo(const Factory& f, std::ostream* os) { *os << f.name; }

class PixelValues : public ::testing::TestWithParam<Factory> {
 protected:
  // One quad over the whole of a w x h target (and a little beyond), lighting off, no depth test.
  static Result CoverAll(Rasterizer& r, State& s, int w, int h, uint32_t diffuse) {
    const float x1 = float(w) + 1, y1 = float(h) + 1;
    const std::vector<ScreenVertex> v = {{-1, -1, 0.5f, 1, diffuse, 0, 0, 0},
                                         {x1, -1, 0.5f, 1, diffuse, 0, 1, 0},
                                         {x1, y1, 0.5f, 1, diffuse, 0, 1, 1},
                                         {-1, y1, 0.5f, 1, diffuse, 0, 0, 1}};
    const std::vector<uint16_t> indices = {0, 1, 2, 0, 2, 3};
    s.rs.lighting = false;
    s.rs.zEnable = false;
    return r.DrawIndexedTriangleList(s, {v.data(), sizeof(ScreenVertex), kScreenFvf, uint32_t(v.size())}, indices);
  }
};

// A texture of each format, every texel the same, drawn through stage 0 as it is onto a
// 32-bit target with alpha: the target holds the texel's colour and alpha unchanged.
TEST_P(PixelValues, EveryTextureFormatIsSampledAsItsColour) {
  for (const FormatTexels& f : DecodingCases()) {
    for (const Texel& t : f.texels) {
      std::vector<uint8_t> texels;
      for (int i = 0; i < 4; ++i) texels.insert(texels.end(), t.bytes.begin(), t.bytes.end());
      const Texture texture{f.format, 2, 2, int32_t(2 * t.bytes.size()), texels.data()};
      for (TextureFilter filter : {TextureFilter::Point, TextureFilter::Linear}) {
        Canvas c(PixelFormat::A8R8G8B8, 4, 4, DepthFormat::None);
        State s = c.MakeState();
        s.texture = &texture;
        s.stage0.colorOp = TextureOp::SelectArg1;
        s.stage0.alphaOp = TextureOp::SelectArg1;
        s.stage0.magFilter = s.stage0.minFilter = filter;
        auto r = GetParam().make();
        ASSERT_EQ(CoverAll(*r, s, 4, 4, 0xFF808080), Result::Ok);
        EXPECT_EQ(Of(c.Pixel(1, 2)), t.colour)
            << f.name << " " << t.what << (filter == TextureFilter::Point ? ", point" : ", linear");
        EXPECT_EQ(c.Raw(3, 0), c.Raw(1, 2)) << f.name << " " << t.what;
      }
    }
  }
}

// A flat colour drawn into, and cleared onto, a target of each format leaves the bits
// worked out by hand (rounded, not dithered).
TEST_P(PixelValues, EveryTargetFormatStoresTheBitsOfItsColour) {
  for (const FormatTargets& f : EncodingCases()) {
    for (const Target& t : f.targets) {
      Canvas drawn(f.format, 4, 4, DepthFormat::None), cleared(f.format, 4, 4, DepthFormat::None);
      auto r = GetParam().make();
      State s = drawn.MakeState();
      s.stage0.alphaOp = TextureOp::SelectArg2;  // no texture: the diffuse alpha
      s.stage0.alphaArg2 = ta::Diffuse;
      ASSERT_EQ(CoverAll(*r, s, 4, 4, t.argb), Result::Ok);
      EXPECT_EQ(Hex(BytesAt(drawn, 2, 1)), Hex(t.bytes)) << f.name << " " << t.what << ", drawn";
      EXPECT_EQ(Hex(BytesAt(drawn, 0, 3)), Hex(t.bytes)) << f.name << " " << t.what << ", drawn";

      State cs = cleared.MakeState();
      ASSERT_EQ(r->Clear(cs, {}, clear::Target, t.argb, 1.0f, 0), Result::Ok);
      EXPECT_EQ(Hex(BytesAt(cleared, 2, 1)), Hex(t.bytes)) << f.name << " " << t.what << ", cleared";
    }
  }
}

// Blending reads the target back through the codec: adding black (ONE, ONE) leaves every
// format's bits as they were only if reading and writing agree on where each channel lies.
TEST_P(PixelValues, BlendingReadsEveryTargetFormatBackUnchanged) {
  for (const FormatTargets& f : EncodingCases()) {
    for (const Target& t : f.targets) {
      Canvas c(f.format, 4, 4, DepthFormat::None);
      auto r = GetParam().make();
      State s = c.MakeState();
      ASSERT_EQ(r->Clear(s, {}, clear::Target, t.argb, 1.0f, 0), Result::Ok);
      s.rs.alphaBlendEnable = true;
      s.rs.srcBlend = Blend::One;
      s.rs.destBlend = Blend::One;
      s.stage0.alphaOp = TextureOp::SelectArg2;
      s.stage0.alphaArg2 = ta::Diffuse;
      ASSERT_EQ(CoverAll(*r, s, 4, 4, 0x00000000), Result::Ok);
      EXPECT_EQ(Hex(BytesAt(c, 1, 1)), Hex(t.bytes)) << f.name << " " << t.what;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Both, PixelValues,
                         ::testing::Values(Factory{"Reference", MakeReferenceRasterizer},
                                           Factory{"Fast", MakeFastRasterizer}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
