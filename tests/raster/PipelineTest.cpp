// Vertex formats, pixel formats, and the per-pixel states (culling, depth, stage operations,
// colour key, clearing), each checked on both rasterizers; and bad input, which must give an
// error or draw nothing without touching memory it does not own.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>

#include "RasterTestUtil.h"

namespace {

using namespace rastertest;

TEST(VertexFormat, DocumentedLayoutsAndSizes) {
  VertexLayout l = DecodeFvf(0x1D2);  // the meshes' format
  ASSERT_TRUE(l.valid);
  EXPECT_EQ(l.size, 40);
  EXPECT_EQ(l.normal, 12);
  EXPECT_EQ(l.diffuse, 24);
  EXPECT_EQ(l.specular, 28);
  EXPECT_EQ(l.texOffset[0], 32);

  l = DecodeFvf(0x1C4);  // screen vertex
  ASSERT_TRUE(l.valid);
  EXPECT_TRUE(l.pretransformed);
  EXPECT_EQ(l.size, 32);
  EXPECT_EQ(l.diffuse, 16);

  l = DecodeFvf(0x1E2);  // the old lit vertex with its reserved dword
  ASSERT_TRUE(l.valid);
  EXPECT_EQ(l.diffuse, 16);
  EXPECT_EQ(l.size, 32);

  // Texture sets of 3, 2 and 1 floats; blend weights after the position.
  l = DecodeFvf(0x002 | 0x300 | (1u << 16) | (3u << 20));
  ASSERT_TRUE(l.valid);
  EXPECT_EQ(l.texSize[0], 3);
  EXPECT_EQ(l.texSize[1], 2);
  EXPECT_EQ(l.texSize[2], 1);
  EXPECT_EQ(l.texOffset[2], 12 + 12 + 8);
  EXPECT_EQ(l.size, 12 + 12 + 8 + 4);
  EXPECT_EQ(DecodeFvf(0x008 | 0x040).diffuse, 20);  // XYZB2
  EXPECT_EQ(DecodeFvf(0x802).size, 12 + 8 * 8);     // TEX8

  EXPECT_FALSE(DecodeFvf(0x040).valid);               // no position
  EXPECT_FALSE(DecodeFvf(0x003).valid);               // reserved bit
  EXPECT_FALSE(DecodeFvf(0x902).valid);               // nine texture sets
  EXPECT_FALSE(DecodeFvf(0x102 | (1u << 18)).valid);  // size bits for a set that is not there
}

TEST(PixelCodec, EncodesAndDecodesEveryFormat) {
  EXPECT_EQ(EncodeRaw(PixelFormat::RGB565, {255, 0, 0, 255}, kRoundThreshold), 0xF800u);
  EXPECT_EQ(EncodeRaw(PixelFormat::RGB565, {0, 255, 0, 255}, kRoundThreshold), 0x07E0u);
  EXPECT_EQ(EncodeRaw(PixelFormat::X1R5G5B5, {255, 255, 255, 0}, kRoundThreshold), 0x7FFFu);
  EXPECT_EQ(EncodeRaw(PixelFormat::A1R5G5B5, {0, 0, 255, 200}, kRoundThreshold), 0x801Fu);
  EXPECT_EQ(EncodeRaw(PixelFormat::A4R4G4B4, {0x11, 0x22, 0x33, 0x88}, kRoundThreshold), 0x8123u);
  EXPECT_EQ(EncodeRaw(PixelFormat::A8R8G8B8, {1, 2, 3, 4}, kRoundThreshold), 0x04010203u);
  const Rgba8 w = DecodeRaw(PixelFormat::RGB565, 0xFFFF);
  EXPECT_EQ(w.r, 255);
  EXPECT_EQ(w.g, 255);
  EXPECT_EQ(w.b, 255);
  EXPECT_EQ(DecodeRaw(PixelFormat::X1R5G5B5, 0x8000).a, 255);  // no alpha: opaque
  EXPECT_EQ(DecodeRaw(PixelFormat::A1R5G5B5, 0x0000).a, 0);
  EXPECT_EQ(DecodeRaw(PixelFormat::A4R4G4B4, 0xF000).a, 255);
  uint8_t b[3];
  StoreRaw(PixelFormat::R8G8B8, b, 0x112233);
  EXPECT_EQ(b[0], 0x33);  // blue first in memory
  EXPECT_EQ(LoadRaw(PixelFormat::R8G8B8, b), 0x112233u);
  // Every 8-bit level survives a round trip through a 16-bit format within one step.
  for (int v = 0; v < 256; ++v) {
    const Rgba8 c{uint8_t(v), uint8_t(v), uint8_t(v), 255};
    const Rgba8 r = DecodeRaw(PixelFormat::RGB565, EncodeRaw(PixelFormat::RGB565, c, kRoundThreshold));
    EXPECT_LE(std::abs(r.r - v), 4);
    EXPECT_LE(std::abs(r.g - v), 2);
  }
}

TEST(PixelCodec, OrderedDitherAveragesToTheExactLevel) {
  for (int v : {0, 3, 77, 128, 200, 254, 255}) {
    double sum = 0;
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 4; ++x)
        sum += EncodeRaw(PixelFormat::RGB565, {uint8_t(v), 0, 0, 255}, DitherThreshold(x, y)) >> 11;
    EXPECT_NEAR(sum / 16, v * 31 / 255.0, 1.0 / 16 + 1e-9) << v;
  }
  // Full scale and black never dither away from themselves.
  for (int i = 0; i < 16; ++i) {
    EXPECT_EQ(EncodeRaw(PixelFormat::RGB565, {255, 255, 255, 255}, DitherThreshold(i % 4, i / 4)), 0xFFFFu);
    EXPECT_EQ(EncodeRaw(PixelFormat::RGB565, {0, 0, 0, 255}, DitherThreshold(i % 4, i / 4)), 0u);
  }
}

TEST(PixelCodec, DepthWithStencilKeepsTheStencil) {
  uint8_t p[4] = {0x5A, 0, 0, 0};
  StoreDepth(DepthFormat::D24S8, p, 0xABCDEF);
  EXPECT_EQ(p[0], 0x5A);
  EXPECT_EQ(LoadDepth(DepthFormat::D24S8, p), 0xABCDEFu);
  EXPECT_EQ(QuantizeDepth(DepthFormat::D16, 1.0), 65535u);
  EXPECT_EQ(QuantizeDepth(DepthFormat::D16, std::nan("")), 0u);
}

struct Factory {
  const char* name;
  std::function<std::unique_ptr<Rasterizer>()> make;
};

class Pipeline : public ::testing::TestWithParam<Factory> {
 protected:
  Pipeline() : canvas_(PixelFormat::X8R8G8B8, 32, 32, DepthFormat::D24S8) {
    state_ = canvas_.MakeState();
    r_ = GetParam().make();
    EXPECT_EQ(r_->Clear(state_, {}, clear::Target | clear::ZBuffer, 0xFF000000, 1.0f, 0), Result::Ok);
  }

  // A screen-space rectangle [x0, x1) x [y0, y1), clockwise, at depth z.
  Result Rect(float x0, float y0, float x1, float y1, float z, uint32_t diffuse, uint32_t specular = 0,
              bool counterClockwise = false) {
    verts_ = {{x0, y0, z, 1, diffuse, specular, 0.25f, 0.25f},
              {x1, y0, z, 1, diffuse, specular, 0.75f, 0.25f},
              {x1, y1, z, 1, diffuse, specular, 0.75f, 0.75f},
              {x0, y1, z, 1, diffuse, specular, 0.25f, 0.75f}};
    indices_ = counterClockwise ? std::vector<uint16_t>{0, 2, 1, 0, 3, 2} : std::vector<uint16_t>{0, 1, 2, 0, 2, 3};
    return r_->DrawIndexedTriangleList(state_, Data(), indices_);
  }
  VertexData Data() const { return {verts_.data(), sizeof(ScreenVertex), kScreenFvf, uint32_t(verts_.size())}; }
  uint32_t At(int x, int y) const { return canvas_.Raw(x, y) & 0xFFFFFF; }

  Canvas canvas_;
  State state_;
  std::unique_ptr<Rasterizer> r_;
  std::vector<ScreenVertex> verts_;
  std::vector<uint16_t> indices_;
};

TEST_P(Pipeline, CullModesAndScreenPositions) {
  // Default CCW culling keeps clockwise triangles, drawn exactly where the vertices say.
  ASSERT_EQ(Rect(4, 4, 12, 10, 0.5f, 0xFFFF0000), Result::Ok);
  EXPECT_EQ(At(4, 4), 0xFF0000u);
  EXPECT_EQ(At(11, 9), 0xFF0000u);
  EXPECT_EQ(At(12, 9), 0u);
  EXPECT_EQ(At(11, 10), 0u);
  ASSERT_EQ(Rect(14, 4, 20, 10, 0.5f, 0xFF00FF00, 0, true), Result::Ok);
  EXPECT_EQ(At(16, 6), 0u);
  state_.rs.cullMode = CullMode::None;
  ASSERT_EQ(Rect(14, 4, 20, 10, 0.5f, 0xFF00FF00, 0, true), Result::Ok);
  EXPECT_EQ(At(16, 6), 0x00FF00u);
  state_.rs.cullMode = CullMode::CW;
  ASSERT_EQ(Rect(22, 4, 28, 10, 0.5f, 0xFF0000FF), Result::Ok);
  EXPECT_EQ(At(24, 6), 0u);
}

TEST_P(Pipeline, DepthFunctionsAndWriteMask) {
  ASSERT_EQ(Rect(0, 0, 16, 16, 0.5f, 0xFF0000FF), Result::Ok);
  const uint32_t z = canvas_.Depth(3, 3);
  EXPECT_EQ(z, QuantizeDepth(DepthFormat::D24S8, 0.5));
  // LESSEQUAL (the default): the same depth passes.
  ASSERT_EQ(Rect(0, 0, 16, 16, 0.5f, 0xFF00FF00), Result::Ok);
  EXPECT_EQ(At(3, 3), 0x00FF00u);
  state_.rs.zFunc = CmpFunc::Less;
  ASSERT_EQ(Rect(0, 0, 16, 16, 0.5f, 0xFFFF0000), Result::Ok);
  EXPECT_EQ(At(3, 3), 0x00FF00u);
  // Nearer, but without z writes: drawn, depth unchanged.
  state_.rs.zWriteEnable = false;
  ASSERT_EQ(Rect(0, 0, 16, 16, 0.25f, 0xFFFFFFFF), Result::Ok);
  EXPECT_EQ(At(3, 3), 0xFFFFFFu);
  EXPECT_EQ(canvas_.Depth(3, 3), z);
  // Farther, with z off: drawn regardless, nothing written to depth.
  state_.rs.zWriteEnable = true;
  state_.rs.zEnable = false;
  ASSERT_EQ(Rect(0, 0, 16, 16, 0.9f, 0xFF123456), Result::Ok);
  EXPECT_EQ(At(3, 3), 0x123456u);
  EXPECT_EQ(canvas_.Depth(3, 3), z);
}

TEST_P(Pipeline, StageOperationsAndSpecular) {
  std::vector<uint16_t> texels = {0x001F, 0x001F, 0x001F, 0x001F};  // blue 2x2, RGB565
  Texture t{PixelFormat::RGB565, 2, 2, 4, texels.data()};
  state_.rs.zEnable = false;
  auto draw = [&](uint32_t diffuse, uint32_t specular = 0) {
    EXPECT_EQ(Rect(0, 0, 8, 8, 0.5f, diffuse, specular), Result::Ok);
    return At(4, 4);
  };
  // Untextured MODULATE acts as white: the diffuse colour.
  EXPECT_EQ(draw(0xFF804020), 0x804020u);
  state_.texture = &t;
  EXPECT_EQ(draw(0xFF8080FF), 0x0000FFu);  // texture * diffuse: blue * (0.5, 0.5, 1)
  state_.stage0.colorOp = TextureOp::SelectArg2;
  EXPECT_EQ(draw(0xFF804020), 0x804020u);
  state_.stage0.colorOp = TextureOp::Add;
  EXPECT_EQ(draw(0xFF804020), 0x8040FFu);
  state_.stage0.colorOp = TextureOp::SelectArg1;
  EXPECT_EQ(draw(0xFF804020), 0x0000FFu);
  state_.stage0.colorArg1 = ta::Texture | ta::Complement;
  EXPECT_EQ(draw(0xFF804020), 0xFFFF00u);
  state_.stage0.colorArg1 = ta::Texture;
  state_.stage0.colorOp = TextureOp::Disable;
  EXPECT_EQ(draw(0xFF804020), 0x804020u);
  // Specular is added after the stage, only when enabled.
  state_.stage0.colorOp = TextureOp::SelectArg1;
  EXPECT_EQ(draw(0xFF000000, 0xFF400000), 0x0000FFu);
  state_.rs.specularEnable = true;
  EXPECT_EQ(draw(0xFF000000, 0xFF400000), 0x4000FFu);
}

TEST_P(Pipeline, ColorKeyRemovesTexelsAndTheirDepth) {
  std::vector<uint16_t> texels(16, 0x7C00);            // red, X1R5G5B5
  for (int i = 0; i < 16; i += 2) texels[i] = 0x8000;  // black with the (ignored) top bit set
  Texture t{PixelFormat::A1R5G5B5, 4, 4, 8, texels.data(), true, 0, 0};
  state_.texture = &t;
  state_.stage0.colorOp = TextureOp::SelectArg1;
  verts_ = {{0, 0, 0.5f, 1, 0xFFFFFFFF, 0, 0, 0},
            {16, 0, 0.5f, 1, 0xFFFFFFFF, 0, 1, 0},
            {16, 16, 0.5f, 1, 0xFFFFFFFF, 0, 1, 1},
            {0, 16, 0.5f, 1, 0xFFFFFFFF, 0, 0, 1}};
  indices_ = {0, 1, 2, 0, 2, 3};
  state_.rs.colorKeyEnable = true;
  ASSERT_EQ(r_->DrawIndexedTriangleList(state_, Data(), indices_), Result::Ok);
  EXPECT_EQ(At(1, 1), 0u);  // texel 0: keyed
  EXPECT_EQ(canvas_.Depth(1, 1), QuantizeDepth(DepthFormat::D24S8, 1.0));
  EXPECT_EQ(At(5, 1), 0xFF0000u);  // texel 1
  EXPECT_EQ(canvas_.Depth(5, 1), QuantizeDepth(DepthFormat::D24S8, 0.5));
  state_.rs.colorKeyEnable = false;
  state_.rs.zFunc = CmpFunc::Always;
  ASSERT_EQ(r_->DrawIndexedTriangleList(state_, Data(), indices_), Result::Ok);
  EXPECT_EQ(canvas_.Depth(1, 1), QuantizeDepth(DepthFormat::D24S8, 0.5));
}

TEST_P(Pipeline, ClearRectanglesStayInsideTheViewport) {
  state_.viewport = {4, 4, 20, 20, 0, 1};
  const raster::Rect rects[] = {{0, 0, 8, 8}, {20, 20, 100, 100}};
  ASSERT_EQ(r_->Clear(state_, rects, clear::Target | clear::Stencil, 0xFFFFFFFF, 0, 7), Result::Ok);
  EXPECT_EQ(At(3, 3), 0u);
  EXPECT_EQ(At(4, 4), 0xFFFFFFu);
  EXPECT_EQ(At(7, 7), 0xFFFFFFu);
  EXPECT_EQ(At(8, 8), 0u);
  EXPECT_EQ(At(23, 23), 0xFFFFFFu);
  EXPECT_EQ(At(24, 24), 0u);
  EXPECT_EQ(canvas_.Depth(5, 5), QuantizeDepth(DepthFormat::D24S8, 1.0));  // stencil only
  EXPECT_EQ(r_->Clear(state_, {}, 8, 0, 0, 0), Result::InvalidParams);
}

TEST_P(Pipeline, BadInputDrawsNothing) {
  const std::vector<uint8_t> before = canvas_.Bytes();
  ASSERT_EQ(Rect(0, 0, 8, 8, 0.5f, 0xFFFFFFFF), Result::Ok);
  const std::vector<uint8_t> drawn = canvas_.Bytes();
  ASSERT_NE(drawn, before);

  // An index past the vertex count rejects the whole draw.
  indices_ = {0, 1, 2, 0, 2, 4};
  state_.rs.zFunc = CmpFunc::Always;
  verts_[0].diffuse = verts_[1].diffuse = verts_[2].diffuse = 0xFF00FF00;
  EXPECT_EQ(r_->DrawIndexedTriangleList(state_, Data(), indices_), Result::InvalidParams);
  EXPECT_EQ(canvas_.Bytes(), drawn);
  EXPECT_EQ(r_->DrawIndexedTriangleList(state_, Data(), {}), Result::InvalidParams);
  indices_ = {0, 1};
  EXPECT_EQ(r_->DrawIndexedTriangleList(state_, Data(), indices_), Result::InvalidParams);
  indices_ = {0, 1, 2};
  VertexData shortStride = Data();
  shortStride.stride = 16;
  EXPECT_EQ(r_->DrawIndexedTriangleList(state_, shortStride, indices_), Result::InvalidParams);
  VertexData badFvf = Data();
  badFvf.fvf = 0x1C5;
  EXPECT_EQ(r_->DrawIndexedTriangleList(state_, badFvf, indices_), Result::InvalidVertexFormat);
  Texture noPixels{PixelFormat::RGB565, 3, 5, 6, nullptr};
  state_.texture = &noPixels;
  EXPECT_EQ(r_->DrawIndexedTriangleList(state_, Data(), indices_), Result::InvalidParams);
  state_.texture = nullptr;
  State tooNarrow = state_;
  tooNarrow.target.pitch = 8;
  EXPECT_EQ(r_->DrawIndexedTriangleList(tooNarrow, Data(), indices_), Result::InvalidParams);
  EXPECT_EQ(canvas_.Bytes(), drawn);

  // Not-a-number and infinite positions: that triangle is dropped, the call succeeds.
  for (float bad : {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity()}) {
    verts_[1].x = bad;
    EXPECT_EQ(r_->DrawIndexedTriangleList(state_, Data(), indices_), Result::Ok);
    EXPECT_EQ(canvas_.Bytes(), drawn);
    verts_[1].rhw = bad;
    verts_[1].x = 8;
    EXPECT_EQ(r_->DrawIndexedTriangleList(state_, Data(), indices_), Result::Ok);
    verts_[1].rhw = 1;
  }
}

TEST_P(Pipeline, HugeTrianglesAndViewportsOutsideTheTarget) {
  // A triangle far larger than any screen: clipped first, so the work stays that of the viewport.
  state_.rs.cullMode = CullMode::None;
  state_.rs.zFunc = CmpFunc::Always;
  verts_ = {{-3e7f, -3e7f, 0.5f, 1, 0xFF00FF00, 0, 0, 0},
            {3e7f, -3e7f, 0.5f, 1, 0xFF00FF00, 0, 0, 0},
            {0, 3e7f, 0.5f, 1, 0xFF00FF00, 0, 0, 0}};
  indices_ = {0, 1, 2};
  ASSERT_EQ(r_->DrawIndexedTriangleList(state_, Data(), indices_), Result::Ok);
  EXPECT_EQ(CountNot(canvas_, 0x0000FF00), 0);
  // And with a 3-D transform into the far distance on both sides of the eye.
  Mesh m;
  m.vertices = {{-1e30f, 0, 1e30f, 0, 0, -1, 0xFFFF0000, 0, 0, 0},
                {1e30f, 0, -1e30f, 0, 0, -1, 0xFFFF0000, 0, 0, 0},
                {0, 1e30f, 5, 0, 0, -1, 0xFFFF0000, 0, 0, 0}};
  m.indices = {0, 1, 2};
  state_.projection = Perspective(0.7853982f, 1, 1, 100);
  EXPECT_EQ(r_->DrawIndexedTriangleList(state_, m.Data(), m.indices), Result::Ok);

  // Viewport hanging off the target: only the part inside is drawn.
  state_.viewport = {24, 24, 64, 64, 0, 1};
  verts_ = {{0, 0, 0.5f, 1, 0xFF0000FF, 0, 0, 0},
            {100, 0, 0.5f, 1, 0xFF0000FF, 0, 0, 0},
            {0, 100, 0.5f, 1, 0xFF0000FF, 0, 0, 0}};
  ASSERT_EQ(r_->DrawIndexedTriangleList(state_, Data(), indices_), Result::Ok);
  EXPECT_EQ(At(25, 25), 0x0000FFu);
  EXPECT_EQ(At(23, 23), 0x00FF00u);
  // Entirely outside: nothing.
  state_.viewport = {100, 100, 64, 64, 0, 1};
  const std::vector<uint8_t> before = canvas_.Bytes();
  EXPECT_EQ(r_->DrawIndexedTriangleList(state_, Data(), indices_), Result::Ok);
  EXPECT_EQ(canvas_.Bytes(), before);
  state_.viewport = {0, 0, 0, 0, 0, 1};
  EXPECT_EQ(r_->DrawIndexedTriangleList(state_, Data(), indices_), Result::InvalidParams);
}

TEST_P(Pipeline, GarbageVerticesStayInsideTheTarget) {
  // Random bit patterns for every float (NaN, infinities, huge and tiny values included), under
  // varying states, into a target whose rows carry padding that must stay untouched.
  Canvas padded(PixelFormat::RGB565, 40, 30, DepthFormat::D16, 6);
  State s = padded.MakeState();
  s.projection = Perspective(0.7853982f, 0.75f, 1, 100);
  s.rs.cullMode = CullMode::None;
  std::vector<uint16_t> texels(7 * 3, 0x1234);
  Texture odd{PixelFormat::RGB565, 7, 3, 14, texels.data(), true, 0x1234, 0x1234};
  uint32_t seed = 99;
  auto next = [&seed]() {
    seed ^= seed << 13;
    seed ^= seed >> 17;
    seed ^= seed << 5;
    return seed;
  };
  auto value = [&]() {
    const uint32_t kind = next() % 4;
    if (kind == 0) {
      const uint32_t bits = next();
      float f;
      std::memcpy(&f, &bits, 4);
      return f;
    }
    return (float(next() % 20001) - 10000.0f) / (kind == 1 ? 1.0f : 100.0f);
  };
  std::vector<MeshVertex> mesh(9);
  std::vector<ScreenVertex> screen(9);
  std::vector<uint16_t> idx(27);
  for (int round = 0; round < 300; ++round) {
    for (auto& v : mesh) v = {value(), value(), value(), value(), value(), value(), next(), next(), value(), value()};
    for (auto& v : screen) v = {value(), value(), value(), value(), next(), next(), value(), value()};
    for (auto& i : idx) i = uint16_t(next() % 9);
    s.rs.shadeMode = round % 2 ? ShadeMode::Flat : ShadeMode::Gouraud;
    s.rs.alphaBlendEnable = round % 3 == 0;
    s.rs.ditherEnable = round % 5 == 0;
    s.rs.colorKeyEnable = true;
    s.texture = round % 4 ? &odd : nullptr;
    s.stage0.addressU = TextureAddress(1 + round % 4);
    s.stage0.magFilter = s.stage0.minFilter = round % 7 ? TextureFilter::Point : TextureFilter::Linear;
    Light l;
    l.type = round % 2 ? LightType::Point : LightType::Spot;
    l.position = {value(), value(), value()};
    l.direction = {value(), value(), value()};
    l.range = value();
    l.attenuation0 = value();
    l.attenuation1 = value();
    l.theta = value();
    l.phi = value();
    l.falloff = value();
    l.diffuse = {value(), value(), value(), 1};
    s.lights = std::span<const Light>(&l, 1);
    const VertexData md{mesh.data(), sizeof(MeshVertex), kMeshFvf, uint32_t(mesh.size())};
    const VertexData sd{screen.data(), sizeof(ScreenVertex), kScreenFvf, uint32_t(screen.size())};
    EXPECT_EQ(r_->DrawIndexedTriangleList(s, md, idx), Result::Ok);
    EXPECT_EQ(r_->DrawIndexedTriangleList(s, sd, idx), Result::Ok);
  }
  const std::vector<uint8_t>& bytes = padded.Bytes();
  for (int y = 0; y < 30; ++y)
    for (int k = 80; k < 86; ++k) ASSERT_EQ(bytes[size_t(y) * 86 + k], 0) << "row " << y;
}

INSTANTIATE_TEST_SUITE_P(Both, Pipeline,
                         ::testing::Values(Factory{"Reference", MakeReferenceRasterizer},
                                           Factory{"Fast", MakeFastRasterizer}),
                         [](const auto& info) { return std::string(info.param.name); });

// Every render-target format, with and without dithering, through both rasterizers.
TEST(TargetFormats, FastMatchesReferenceInEveryFormat) {
  for (PixelFormat f : {PixelFormat::RGB565, PixelFormat::X1R5G5B5, PixelFormat::A1R5G5B5, PixelFormat::A4R4G4B4,
                        PixelFormat::R8G8B8, PixelFormat::X8R8G8B8, PixelFormat::A8R8G8B8}) {
    Canvas a(f, 64, 48, DepthFormat::D16, 6), b(f, 64, 48, DepthFormat::D16, 6);
    for (Canvas* c : {&a, &b}) {
      auto r = c == &a ? MakeReferenceRasterizer() : MakeFastRasterizer();
      State s = c->MakeState();
      s.projection = Perspective(0.7853982f, 0.75f, 1, 100);
      s.rs.ditherEnable = true;
      s.rs.lighting = false;
      s.rs.alphaBlendEnable = true;
      s.rs.srcBlend = Blend::SrcAlpha;
      s.rs.destBlend = Blend::InvSrcAlpha;
      ASSERT_EQ(r->Clear(s, {}, clear::Target | clear::ZBuffer, 0xFF336699, 1, 0), Result::Ok);
      Mesh m = Quad(-2, -2, 2, 2, 6, 0xC0FF8000);
      m.vertices[2].diffuse = 0x4000FF80;
      ASSERT_EQ(r->DrawIndexedTriangleList(s, m.Data(), m.indices), Result::Ok);
    }
    const Difference d = Compare(a, b);
    EXPECT_GE(d.psnr, 40.0) << int(f);
    EXPECT_LE(d.maxDelta, 18) << int(f);  // one step of a 4-bit channel
    EXPECT_GT(CountNot(a, a.Raw(0, 0)), 200) << int(f);
  }
}

}  // namespace
