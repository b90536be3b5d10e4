// The fast rasterizer's clipping and triangle set-up: triangles outside the guard band are
// clipped in homogeneous space, then snapped and turned into attribute planes for the rows.
#include <algorithm>
#include <array>
#include <cmath>

#include "raster/FastDevice.h"

namespace raster::fast {
TAVVY_FAST_NAMESPACE_BEGIN
namespace {

FVert LerpVert(const FVert& a, const FVert& b, float t) {
  FVert r;
  r.x = a.x + (b.x - a.x) * t;
  r.y = a.y + (b.y - a.y) * t;
  r.z = a.z + (b.z - a.z) * t;
  r.w = a.w + (b.w - a.w) * t;
  for (int k = 0; k < 8; ++k) r.c[k] = a.c[k] + (b.c[k] - a.c[k]) * t;
  r.u = a.u + (b.u - a.u) * t;
  r.v = a.v + (b.v - a.v) * t;
  return r;
}

}  // namespace

void FastRasterizer::DrawClipped(const FVert* tri, uint32_t orCode, int facing, int list) {
  // Each plane adds at most one vertex: 3 + 7 fits comfortably.
  std::array<FVert, 16> bufA, bufB;
  FVert* in = bufA.data();
  FVert* out = bufB.data();
  int n = 3;
  std::copy(tri, tri + 3, in);
  const float gx = guardX_, gy = guardY_;
  auto clip = [&](uint32_t bit, auto dist) {
    if (!(orCode & bit)) return;
    int m = 0;
    for (int i = 0; i < n; ++i) {
      const FVert& a = in[i];
      const FVert& b = in[(i + 1) % n];
      const float da = dist(a), db = dist(b);
      if (da >= 0) out[m++] = a;
      if ((da >= 0) != (db >= 0)) out[m++] = LerpVert(a, b, da / (da - db));
    }
    std::swap(in, out);
    n = m;
  };
  clip(kOutW, [](const FVert& c) { return c.w - float(kMinClipW); });
  clip(kOutNear, [](const FVert& c) { return c.z; });
  clip(kOutFar, [](const FVert& c) { return c.w - c.z; });
  clip(kOutLeft, [gx](const FVert& c) { return gx * c.w + c.x; });
  clip(kOutRight, [gx](const FVert& c) { return gx * c.w - c.x; });
  clip(kOutBottom, [gy](const FVert& c) { return gy * c.w + c.y; });
  clip(kOutTop, [gy](const FVert& c) { return gy * c.w - c.y; });
  for (int k = 1; k + 1 < n; ++k) Rasterize(&in[0], &in[k], &in[k + 1], facing, list);
}

void FastRasterizer::Rasterize(const FVert* v0, const FVert* v1, const FVert* v2, int facing, int list) {
  const State& s = *state_;
  const Viewport& vp = s.viewport;
  const FVert* v[3] = {v0, v1, v2};
  double sx[3], sy[3], sz[3], rhw[3];
  const double hw = vp.width * 0.5, hh = vp.height * 0.5, dz = double(vp.maxZ) - vp.minZ;
  for (int k = 0; k < 3; ++k) {
    rhw[k] = 1.0 / v[k]->w;
    sx[k] = (vp.x + vp.CentreShift()) + (1.0 + v[k]->x * rhw[k]) * hw;
    sy[k] = (vp.y + vp.CentreShift()) + (1.0 - v[k]->y * rhw[k]) * hh;
    sz[k] = vp.minZ + v[k]->z * rhw[k] * dz;
  }
  // Set up in its place in the job list (a triangle is a few hundred bytes), and taken off
  // again when it covers nothing.
  JobList& jobs = jobLists_[size_t(list)];
  TriangleJob& j = jobs.jobs.emplace_back();
  const SnappedTriangle& tri = j.tri;
  if (!j.tri.Setup(sx[0], sy[0], sx[1], sy[1], sx[2], sy[2], facing)) {
    jobs.jobs.pop_back();
    return;
  }
  if (tri.swapped) {
    std::swap(v[1], v[2]);
    std::swap(rhw[1], rhw[2]);
    std::swap(sz[1], sz[2]);
  }
  const int y0 = std::max(rect_.y0, tri.minY), y1 = std::min(rect_.y1 - 1, tri.maxY);
  if (y0 > y1 || std::max(rect_.x0, tri.minX) > std::min(rect_.x1 - 1, tri.maxX)) {
    jobs.jobs.pop_back();
    return;
  }

  // Plane of each attribute: value(px, py) = c + dx * px + dy * py at pixel centres.
  j.y0 = y0;
  j.y1 = y1;
  double ex[3], ey[3];
  tri.BarycentricSteps(ex, ey);
  const uint32_t attrs = pc_.attrs;
  for (int i = 0; i < 3; ++i) {
    for (int k = 0; k < 8; ++k) j.vals[i][k] = v[i]->c[k] * rhw[i];
    j.vals[i][aUQ] = v[i]->u * rhw[i];
    j.vals[i][aVQ] = v[i]->v * rhw[i];
    j.vals[i][aQ] = rhw[i];
    for (int k = kAttrs; k < kAttrLanes; ++k) j.vals[i][k] = 0;
    j.sz[i] = sz[i];
  }
  // Steps along x of the attributes the span loop reads (the others stay 0).
  double cx[kAttrs] = {};
  for (int k = 0; k < kAttrs; ++k) {
    if (attrs >> k & 1) cx[k] = j.vals[0][k] * ex[0] + j.vals[1][k] * ex[1] + j.vals[2][k] * ex[2];
    j.d[k] = float(cx[k]);
  }
  j.dzdx = sz[0] * ex[0] + sz[1] * ex[1] + sz[2] * ex[2];
  j.linear = pc_.linear;
  // A specular colour black at every corner (0 divided by w) is black all over and adds nothing.
  bool black = true;
  for (int i = 0; i < 3; ++i)
    for (int k = aSR; k <= aSB; ++k) black = black && j.vals[i][k] == 0;
  j.specular = pc_.specular && !black;
  if (pc_.tex && s.stage0.magFilter != s.stage0.minFilter) {
    // Minification or magnification, decided once per triangle at its centre.
    double e0[3];
    tri.Barycentrics(0, 0, e0);
    double c0[kAttrs], cy[kAttrs];
    for (int k = 0; k < kAttrs; ++k) {
      c0[k] = j.vals[0][k] * e0[0] + j.vals[1][k] * e0[1] + j.vals[2][k] * e0[2];
      cy[k] = j.vals[0][k] * ey[0] + j.vals[1][k] * ey[1] + j.vals[2][k] * ey[2];
    }
    const double mx = (sx[0] + sx[1] + sx[2]) / 3.0, my = (sy[0] + sy[1] + sy[2]) / 3.0;
    const double q = c0[aQ] + cx[aQ] * mx + cy[aQ] * my;
    const double u = (c0[aUQ] + cx[aUQ] * mx + cy[aUQ] * my) / q, vv = (c0[aVQ] + cx[aVQ] * mx + cy[aVQ] * my) / q;
    const double dudx = (cx[aUQ] - u * cx[aQ]) / q * pc_.texW, dvdx = (cx[aVQ] - vv * cx[aQ]) / q * pc_.texH;
    const double dudy = (cy[aUQ] - u * cy[aQ]) / q * pc_.texW, dvdy = (cy[aVQ] - vv * cy[aQ]) / q * pc_.texH;
    const bool minify = std::max(std::hypot(dudx, dvdx), std::hypot(dudy, dvdy)) > 1.0;
    j.linear = (minify ? s.stage0.minFilter : s.stage0.magFilter) != TextureFilter::Point;
  }
  const int x0 = std::max(rect_.x0, tri.minX), x1 = std::min(rect_.x1 - 1, tri.maxX);
  jobs.pixels += int64_t(y1 - y0 + 1) * (x1 - x0 + 1) / 2;
}

TAVVY_FAST_NAMESPACE_END
}  // namespace raster::fast
