// Coverage: triangles that share an edge cover every pixel once (no gaps, no double hits), and
// pixel centres on an edge belong to the triangle whose top or left edge it is. Each triangle
// adds 1 to the blue channel (ONE/ONE blending), so a pixel's blue value counts its hits.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <vector>

#include "RasterTestUtil.h"
#include "raster/TriangleSetup.h"

namespace {

using namespace rastertest;

struct Factory {
  const char* name;
  std::function<std::unique_ptr<Rasterizer>()> make;
};

class FillRule : public ::testing::TestWithParam<Factory> {
 protected:
  FillRule() : canvas_(PixelFormat::X8R8G8B8, 48, 40, DepthFormat::None) {
    state_ = canvas_.MakeState();
    state_.rs.cullMode = CullMode::None;
    state_.rs.alphaBlendEnable = true;
    state_.rs.srcBlend = Blend::One;
    state_.rs.destBlend = Blend::One;
    raster_ = GetParam().make();
  }

  // Draws triangles given as screen points (in pixels).
  void Draw(const std::vector<std::array<double, 2>>& pts, const std::vector<uint16_t>& indices) {
    std::vector<ScreenVertex> v;
    for (const auto& p : pts) v.push_back({float(p[0]), float(p[1]), 0.5f, 1.0f, 0x00000001, 0, 0, 0});
    const VertexData vd{v.data(), sizeof(ScreenVertex), kScreenFvf, uint32_t(v.size())};
    ASSERT_EQ(raster_->DrawIndexedTriangleList(state_, vd, indices), Result::Ok);
  }

  int Hits(int x, int y) const { return canvas_.Pixel(x, y).b; }

  Canvas canvas_;
  State state_;
  std::unique_ptr<Rasterizer> raster_;
};

TEST_P(FillRule, SquareOnPixelCentresTakesTopAndLeftEdgesOnly) {
  // Corners on pixel centres: the centres on the top and left edges are in, bottom and right out,
  // whichever diagonal splits the square.
  for (int diagonal = 0; diagonal < 2; ++diagonal) {
    ASSERT_EQ(raster_->Clear(state_, {}, clear::Target, 0, 1, 0), Result::Ok);
    const std::vector<std::array<double, 2>> pts = {{2, 2}, {6, 2}, {6, 6}, {2, 6}};
    if (diagonal == 0)
      Draw(pts, {0, 1, 2, 0, 2, 3});
    else
      Draw(pts, {0, 1, 3, 1, 2, 3});
    for (int y = 0; y < 10; ++y)
      for (int x = 0; x < 10; ++x) {
        const bool inside = x >= 2 && x < 6 && y >= 2 && y < 6;
        EXPECT_EQ(Hits(x, y), inside ? 1 : 0) << "diagonal " << diagonal << " at " << x << "," << y;
      }
  }
}

TEST_P(FillRule, JitteredMeshCoversEveryPixelExactlyOnce) {
  // A grid whose inner vertices are moved by random sub-pixel amounts, split into triangles
  // with alternating diagonals; the outer border is the rectangle [4.25, 43.75) x [3.5, 35.5),
  // which holds the pixel centres (x, y) for x = 5..43 and y = 4..35.
  uint32_t seed = 12345;
  auto rnd = [&seed]() {
    seed = seed * 1103515245u + 12345u;
    return int((seed >> 16) % 49) - 24;  // -24 .. 24 sixteenths: no cell folds over
  };
  const int nx = 7, ny = 6;
  const double x0 = 4.25, x1 = 43.75, y0 = 3.5, y1 = 35.5;
  std::vector<std::array<double, 2>> pts;
  for (int j = 0; j <= ny; ++j)
    for (int i = 0; i <= nx; ++i) {
      double x = x0 + (x1 - x0) * i / nx, y = y0 + (y1 - y0) * j / ny;
      x = std::round(x * 16) / 16;
      y = std::round(y * 16) / 16;
      if (i > 0 && i < nx) x += rnd() / 16.0;
      if (j > 0 && j < ny) y += rnd() / 16.0;
      pts.push_back({x, y});
    }
  std::vector<uint16_t> idx;
  for (int j = 0; j < ny; ++j)
    for (int i = 0; i < nx; ++i) {
      const uint16_t a = uint16_t(j * (nx + 1) + i), b = uint16_t(a + 1), c = uint16_t(a + nx + 1), d = uint16_t(c + 1);
      if ((i + j) % 2)
        idx.insert(idx.end(), {a, b, d, a, d, c});
      else
        idx.insert(idx.end(), {a, b, c, b, d, c});
    }
  Draw(pts, idx);
  long covered = 0;
  for (int y = 0; y < canvas_.Height(); ++y)
    for (int x = 0; x < canvas_.Width(); ++x) {
      const bool inside = x >= x0 && x < x1 && y >= y0 && y < y1;
      ASSERT_EQ(Hits(x, y), inside ? 1 : 0) << "at " << x << "," << y;
      covered += inside;
    }
  EXPECT_EQ(covered, 39L * 32L);
}

TEST_P(FillRule, FanAroundACentreSharesEveryEdge) {
  // Sixteen thin triangles around a point on a pixel centre: the centre pixel once, no gaps
  // along the spokes.
  std::vector<std::array<double, 2>> pts = {{24, 20}};
  const int n = 16;
  for (int k = 0; k < n; ++k) {
    const double a = 2 * 3.14159265358979 * k / n;
    pts.push_back({std::round((24 + 15 * std::cos(a)) * 16) / 16, std::round((20 + 15 * std::sin(a)) * 16) / 16});
  }
  std::vector<uint16_t> idx;
  for (int k = 0; k < n; ++k) idx.insert(idx.end(), {0, uint16_t(1 + k), uint16_t(1 + (k + 1) % n)});
  Draw(pts, idx);
  EXPECT_EQ(Hits(24, 20), 1);
  for (int y = 0; y < canvas_.Height(); ++y)
    for (int x = 0; x < canvas_.Width(); ++x) {
      EXPECT_LE(Hits(x, y), 1) << x << "," << y;
      const double dx = x - 24, dy = y - 20;
      if (dx * dx + dy * dy < 13.5 * 13.5) {
        EXPECT_EQ(Hits(x, y), 1) << x << "," << y;
      }
    }
}

INSTANTIATE_TEST_SUITE_P(Both, FillRule,
                         ::testing::Values(Factory{"Reference", MakeReferenceRasterizer},
                                           Factory{"Fast", MakeFastRasterizer}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace

// Vertices are snapped and depth is stepped with a rounding of our own: it must agree with the
// library's everywhere the rasterizers use it, halves and their neighbours above all.
TEST(Snapping, RoundHalfAwayAgreesWithTheLibrary) {
  std::vector<double> values = {0.0,
                                -0.0,
                                0.5,
                                -0.5,
                                1.5,
                                -1.5,
                                2.5,
                                -2.5,
                                1e-300,
                                -1e-300,
                                4503599627370495.5,
                                -4503599627370495.5,
                                4503599627370497.0,
                                2305843009213693951.0};
  for (double k = 0; k < 5e15; k = k * 3 + 1)
    for (const double base : {k + 0.5, -k - 0.5, k, -k})
      for (const double v : {base, std::nextafter(base, 1e300), std::nextafter(base, -1e300)}) values.push_back(v);
  uint64_t seed = 12345;
  for (int i = 0; i < 100000; ++i) {
    seed = seed * 6364136223846793005ull + 1442695040888963407ull;
    const double mantissa = double(seed >> 11) / double(1ull << 53);
    values.push_back((seed & 1 ? -1 : 1) * std::ldexp(mantissa, int(seed >> 3 & 63) - 2));
  }
  for (const double v : values) ASSERT_EQ(raster::RoundHalfAway(v), std::llround(v)) << std::hexfloat << v;
}

// The rows of a triangle are walked without a division per row: every row's span must be the one
// RowSpan solves on its own, for small, sliver, huge and axis-parallel triangles, from any row.
TEST(Snapping, WalkedRowsAreTheSpansSolvedRowByRow) {
  uint64_t seed = 777;
  auto next = [&seed](double scale) {
    seed = seed * 6364136223846793005ull + 1442695040888963407ull;
    return (double(seed >> 11) / double(1ull << 53) - 0.5) * scale;
  };
  int triangles = 0;
  long rows = 0;
  for (int i = 0; i < 4000; ++i) {
    const double scale = i % 4 == 0 ? 40.0 : (i % 4 == 1 ? 700.0 : (i % 4 == 2 ? 16000.0 : 3.0));
    double x[3], y[3];
    for (int k = 0; k < 3; ++k) {
      x[k] = next(scale);
      y[k] = next(scale);
    }
    if (i % 7 == 0) y[1] = y[0];   // an edge along a row
    if (i % 11 == 0) x[2] = x[0];  // an edge along a column
    raster::SnappedTriangle t;
    if (!t.Setup(x[0], y[0], x[1], y[1], x[2], y[2], 1) && !t.Setup(x[0], y[0], x[1], y[1], x[2], y[2], -1)) continue;
    ++triangles;
    // From the top row, and from a row in the middle (where a band of rows starts).
    const int mid = t.minY + (t.maxY - t.minY) / 2;
    for (const int first : {t.minY, mid}) {
      raster::RowWalker walker(t, first);
      for (int py = first; py <= std::min(t.maxY, first + 300); ++py, walker.Next(), ++rows) {
        int64_t lo, hi, wlo, whi;
        t.RowSpan(py, lo, hi);
        walker.Span(wlo, whi);
        ASSERT_EQ(lo > hi, wlo > whi) << "triangle " << i << " row " << py;
        if (lo <= hi) {
          ASSERT_EQ(wlo, lo) << "triangle " << i << " row " << py;
          ASSERT_EQ(whi, hi) << "triangle " << i << " row " << py;
        }
      }
    }
  }
  EXPECT_GT(triangles, 3000);
  EXPECT_GT(rows, 200000);
}
