// Where a pixel is sampled: the centre of pixel (x, y) is the point (x, y) itself, as in
// Direct3D 7. Coverage, depth and texture coordinates are all taken there. Every expected
// value below is worked out from the vertices by hand, for both rasterizers, into 16- and
// 32-bit targets with each depth format the game can meet.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "RasterTestUtil.h"

namespace {

using namespace rastertest;

struct Case {
  const char* name;
  std::function<std::unique_ptr<Rasterizer>()> make;
  PixelFormat target;
  DepthFormat depth;
};

class PixelCentre : public ::testing::TestWithParam<Case> {
 protected:
  PixelCentre() : canvas_(GetParam().target, 80, 72, GetParam().depth) {
    state_ = canvas_.MakeState();
    state_.rs.cullMode = CullMode::None;
    state_.rs.lighting = false;
    raster_ = GetParam().make();
    EXPECT_EQ(raster_->Clear(state_, {}, clear::Target | clear::ZBuffer, 0xFF000000, 1.0f, 0), Result::Ok);
  }

  // Screen-space polygon (a fan) in white at depth 0.5.
  void Fill(const std::vector<std::array<float, 2>>& corners) {
    std::vector<ScreenVertex> v;
    for (const auto& c : corners) v.push_back({c[0], c[1], 0.5f, 1.0f, 0xFFFFFFFF, 0, 0, 0});
    std::vector<uint16_t> idx;
    for (size_t k = 1; k + 1 < v.size(); ++k) idx.insert(idx.end(), {0, uint16_t(k), uint16_t(k + 1)});
    const VertexData vd{v.data(), sizeof(ScreenVertex), kScreenFvf, uint32_t(v.size())};
    ASSERT_EQ(raster_->DrawIndexedTriangleList(state_, vd, idx), Result::Ok);
  }
  bool Lit(int x, int y) const { return canvas_.Pixel(x, y).r == 255; }
  // Every pixel of the canvas against the expected coverage.
  void ExpectCoverage(const std::function<bool(int, int)>& inside, const char* what) {
    for (int y = 0; y < canvas_.Height(); ++y)
      for (int x = 0; x < canvas_.Width(); ++x) ASSERT_EQ(Lit(x, y), inside(x, y)) << what << " at " << x << "," << y;
  }

  Canvas canvas_;
  State state_;
  std::unique_ptr<Rasterizer> raster_;
};

TEST_P(PixelCentre, TriangleWithCornersOnWholePixels) {
  // Corners (2, 2), (10, 2), (2, 10): the centres on the top edge (y = 2) and the left edge
  // (x = 2) are in, those on the long edge x + y = 12 (bottom right) are out.
  Fill({{2, 2}, {10, 2}, {2, 10}});
  ExpectCoverage([](int x, int y) { return x >= 2 && y >= 2 && x + y < 12; }, "whole-pixel triangle");
  EXPECT_TRUE(Lit(9, 2));   // on the top edge, just short of the corner
  EXPECT_TRUE(Lit(2, 9));   // on the left edge
  EXPECT_FALSE(Lit(6, 6));  // on the long edge
}

TEST_P(PixelCentre, QuadsAtWholeAndHalfPixelPositions) {
  // (20, 4)-(28, 9): columns 20..27, rows 4..8 (left and top edges in, right and bottom out).
  Fill({{20, 4}, {28, 4}, {28, 9}, {20, 9}});
  // (40.5, 4.5)-(48.5, 9.5): no centre lies on an edge; columns 41..48, rows 5..9.
  Fill({{40.5f, 4.5f}, {48.5f, 4.5f}, {48.5f, 9.5f}, {40.5f, 9.5f}});
  // (60.25, 20.75)-(64.75, 24.25): columns 61..64, rows 21..24.
  Fill({{60.25f, 20.75f}, {64.75f, 20.75f}, {64.75f, 24.25f}, {60.25f, 24.25f}});
  ExpectCoverage(
      [](int x, int y) {
        return (x >= 20 && x <= 27 && y >= 4 && y <= 8) || (x >= 41 && x <= 48 && y >= 5 && y <= 9) ||
               (x >= 61 && x <= 64 && y >= 21 && y <= 24);
      },
      "quads");
}

TEST_P(PixelCentre, ThinTrianglesOwnExactlyTheCentresTheyContain) {
  // A sliver along the column x = 30 from y = 40 to y = 50, half a pixel wide: (29.75, 40),
  // (30.25, 40), (30.25, 50). Only centres (30, y) lie in it: x = 30 is inside for every y
  // where the left edge x = 29.75 + 0.05 (y - 40) is at or left of 30, that is y <= 45.
  Fill({{29.75f, 40}, {30.25f, 40}, {30.25f, 50}});
  ExpectCoverage([](int x, int y) { return x == 30 && y >= 40 && y <= 45; }, "sliver");
}

TEST_P(PixelCentre, TexturedQuadCopiesTheTextureTexelForTexel) {
  // A 64 x 64 texture with a different colour in every texel, drawn on a quad whose corners
  // sit half a pixel before the first and after the last pixel centre: pixel (8 + i, 4 + j)
  // shows texel (i, j) exactly, with the stage set as the game sets it (texture x white
  // diffuse) and with the texture selected alone.
  const bool wide = BytesPerPixel(GetParam().target) == 4;
  const PixelFormat tf = wide ? PixelFormat::X8R8G8B8 : PixelFormat::RGB565;
  const int bpp = BytesPerPixel(tf);
  std::vector<uint8_t> texels(64 * 64 * size_t(bpp));
  auto texel = [&](int i, int j) {
    const uint32_t r = uint32_t(i) * 4, g = uint32_t(j) * 4, b = uint32_t((i * 7 + j * 13) & 63) * 4;
    return wide ? (r << 16 | g << 8 | b) : ((r >> 3) << 11 | (g >> 2) << 5 | (b >> 3));
  };
  for (int j = 0; j < 64; ++j)
    for (int i = 0; i < 64; ++i) StoreRaw(tf, texels.data() + (size_t(j) * 64 + i) * bpp, texel(i, j));
  const Texture tex{tf, 64, 64, 64 * bpp, texels.data()};
  state_.texture = &tex;
  const float x0 = 7.5f, y0 = 3.5f, x1 = x0 + 64, y1 = y0 + 64;
  std::vector<ScreenVertex> v = {{x0, y0, 0.5f, 1, 0xFFFFFFFF, 0, 0, 0},
                                 {x1, y0, 0.5f, 1, 0xFFFFFFFF, 0, 1, 0},
                                 {x1, y1, 0.5f, 1, 0xFFFFFFFF, 0, 1, 1},
                                 {x0, y1, 0.5f, 1, 0xFFFFFFFF, 0, 0, 1}};
  const std::vector<uint16_t> idx = {0, 1, 2, 0, 2, 3};
  const VertexData vd{v.data(), sizeof(ScreenVertex), kScreenFvf, uint32_t(v.size())};
  for (int pass = 0; pass < 2; ++pass) {
    if (pass == 1) {
      state_.stage0.colorOp = TextureOp::SelectArg1;
      state_.stage0.colorArg1 = ta::Texture;
    }
    ASSERT_EQ(raster_->Clear(state_, {}, clear::Target | clear::ZBuffer, 0xFF000000, 1.0f, 0), Result::Ok);
    ASSERT_EQ(raster_->DrawIndexedTriangleList(state_, vd, idx), Result::Ok);
    for (int y = 0; y < canvas_.Height(); ++y)
      for (int x = 0; x < canvas_.Width(); ++x) {
        const int i = x - 8, j = y - 4;
        const bool inside = i >= 0 && i < 64 && j >= 0 && j < 64;
        const uint32_t want = inside ? texel(i, j) : 0;
        ASSERT_EQ(canvas_.Raw(x, y) & (wide ? 0xFFFFFFu : 0xFFFFu), want) << "pass " << pass << " at " << x << "," << y;
      }
  }
}

TEST_P(PixelCentre, DepthIsThePlanesDepthAtTheIntegerCentre) {
  // A quad over the whole canvas whose depth is the plane z = x / 160 + y / 288: corners
  // (0, 0) 0, (80, 0) 0.5, (80, 72) 0.75, (0, 72) 0.25.
  std::vector<ScreenVertex> v = {{0, 0, 0.0f, 1, 0xFFFFFFFF, 0, 0, 0},
                                 {80, 0, 0.5f, 1, 0xFFFFFFFF, 0, 0, 0},
                                 {80, 72, 0.75f, 1, 0xFFFFFFFF, 0, 0, 0},
                                 {0, 72, 0.25f, 1, 0xFFFFFFFF, 0, 0, 0}};
  const std::vector<uint16_t> idx = {0, 1, 2, 0, 2, 3};
  const VertexData vd{v.data(), sizeof(ScreenVertex), kScreenFvf, uint32_t(v.size())};
  ASSERT_EQ(raster_->DrawIndexedTriangleList(state_, vd, idx), Result::Ok);
  const double full = GetParam().depth == DepthFormat::D16   ? 65535.0
                      : GetParam().depth == DepthFormat::D32 ? 4294967295.0
                                                             : 16777215.0;
  // Pixels away from the diagonal and where z * full is well clear of a rounding boundary.
  const int probes[][2] = {{0, 0}, {16, 9}, {40, 12}, {60, 5}, {3, 50}, {70, 70}, {79, 71}};
  for (const auto& p : probes) {
    const double z = p[0] / 160.0 + p[1] / 288.0;
    const auto want = uint32_t(z * full + 0.5);
    EXPECT_EQ(canvas_.Depth(p[0], p[1]), want) << p[0] << "," << p[1] << " z " << z;
  }
}

const Case kCases[] = {
    {"Reference16", MakeReferenceRasterizer, PixelFormat::RGB565, DepthFormat::D16},
    {"Fast16", MakeFastRasterizer, PixelFormat::RGB565, DepthFormat::D16},
    {"Reference32", MakeReferenceRasterizer, PixelFormat::X8R8G8B8, DepthFormat::D24X8},
    {"Fast32", MakeFastRasterizer, PixelFormat::X8R8G8B8, DepthFormat::D24X8},
    {"Reference32Z32", MakeReferenceRasterizer, PixelFormat::X8R8G8B8, DepthFormat::D32},
    {"Fast32Z32", MakeFastRasterizer, PixelFormat::X8R8G8B8, DepthFormat::D32},
    {"Reference32Stencil", MakeReferenceRasterizer, PixelFormat::A8R8G8B8, DepthFormat::D24S8},
    {"Fast32Stencil", MakeFastRasterizer, PixelFormat::A8R8G8B8, DepthFormat::D24S8},
};

INSTANTIATE_TEST_SUITE_P(Both, PixelCentre, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
