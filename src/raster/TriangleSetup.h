// Triangle facing, culling and pixel coverage with the top-left fill rule on a 1/16-pixel grid.
// Both rasterizers decide coverage with this one definition; the fast one solves it a row at a
// time, the reference one asks pixel by pixel.
//
// As in Direct3D up to version 9, the centre of pixel (x, y) is the point (x, y) itself: coverage,
// depth, colours and texture coordinates are all taken there. A pretransformed quad meant to copy
// a texture texel for texel therefore has its corners at -0.5.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "raster/Raster.h"

namespace raster {

inline constexpr int kSubPixelBits = 4;
inline constexpr int kSubPixels = 1 << kSubPixelBits;
// Snapped coordinates beyond this many pixels are refused (keeps every product in 64 bits).
inline constexpr double kMaxScreenCoordinate = 1 << 20;

// +1 when the triangle appears clockwise on the screen (y down), -1 counter-clockwise, 0 when
// degenerate, from clip-space x, y, w: the sign of the determinant is the facing as seen from
// the eye, valid before any clipping and whatever the signs of w.
template <typename T>
int HomogeneousFacing(T x0, T y0, T w0, T x1, T y1, T w1, T x2, T y2, T w2) {
  const double det = double(x0) * (double(y1) * w2 - double(w1) * y2) -
                     double(y0) * (double(x1) * w2 - double(w1) * x2) +
                     double(w0) * (double(x1) * y2 - double(y1) * x2);
  return det < 0 ? 1 : (det > 0 ? -1 : 0);
}

inline bool Culled(CullMode mode, int facing) {
  return (mode == CullMode::CW && facing > 0) || (mode == CullMode::CCW && facing < 0);
}

// Nearest whole number, halves away from zero: std::llround without the library call, for
// |x| < 2^62. The fraction x - trunc(x) of a double is exact, so the result is too.
inline int64_t RoundHalfAway(double x) {
  const int64_t t = int64_t(x);
  const double f = x - double(t);
  return t + int64_t(f >= 0.5) - int64_t(f <= -0.5);
}

inline int64_t FloorDiv(int64_t a, int64_t b) {  // b > 0
  const int64_t q = a / b;
  return (a % b != 0 && a < 0) ? q - 1 : q;
}
inline int64_t CeilDiv(int64_t a, int64_t b) { return -FloorDiv(-a, b); }  // b > 0

struct SnappedTriangle {
  int64_t X[3] = {}, Y[3] = {};
  int64_t A[3] = {}, B[3] = {}, C[3] = {};       // edge i (opposite vertex i): A x + B y + C
  int64_t bias[3] = {};                          // 0 on top and left edges, -1 elsewhere
  int64_t area = 0;                              // twice the area, in 1/256 pixel^2, > 0
  bool swapped = false;                          // vertices 1 and 2 were exchanged to make area > 0
  int minX = 0, minY = 0, maxX = -1, maxY = -1;  // pixel bounds of possible coverage
  // The positions before snapping: attributes are interpolated on these, so their planes do not
  // depend on where clipping put the vertices.
  double fx[3] = {}, fy[3] = {}, farea = 0;

  // Snaps screen positions; false when the triangle covers nothing or disagrees with the
  // facing decided before clipping (a sliver that snapping turned over).
  bool Setup(double x0, double y0, double x1, double y1, double x2, double y2, int facing) {
    const double xs[3] = {x0, x1, x2}, ys[3] = {y0, y1, y2};
    for (int i = 0; i < 3; ++i) {
      if (!(std::fabs(xs[i]) < kMaxScreenCoordinate) || !(std::fabs(ys[i]) < kMaxScreenCoordinate)) return false;
      X[i] = RoundHalfAway(xs[i] * kSubPixels);
      Y[i] = RoundHalfAway(ys[i] * kSubPixels);
    }
    area = (X[1] - X[0]) * (Y[2] - Y[0]) - (X[2] - X[0]) * (Y[1] - Y[0]);
    if (area == 0 || (area > 0) != (facing > 0)) return false;
    swapped = area < 0;
    for (int i = 0; i < 3; ++i) {
      fx[i] = xs[i];
      fy[i] = ys[i];
    }
    if (swapped) {
      std::swap(X[1], X[2]);
      std::swap(Y[1], Y[2]);
      std::swap(fx[1], fx[2]);
      std::swap(fy[1], fy[2]);
      area = -area;
    }
    farea = (fx[1] - fx[0]) * (fy[2] - fy[0]) - (fx[2] - fx[0]) * (fy[1] - fy[0]);
    if (!(farea > 0)) {
      // Snapping made a triangle out of (almost) nothing: interpolate on the snapped corners.
      for (int i = 0; i < 3; ++i) {
        fx[i] = double(X[i]) / kSubPixels;
        fy[i] = double(Y[i]) / kSubPixels;
      }
      farea = double(area) / (kSubPixels * kSubPixels);
    }
    for (int i = 0; i < 3; ++i) {
      const int a = (i + 1) % 3, b = (i + 2) % 3;
      const int64_t dx = X[b] - X[a], dy = Y[b] - Y[a];
      A[i] = -dy;
      B[i] = dx;
      C[i] = dy * X[a] - dx * Y[a];
      const bool topLeft = dy < 0 || (dy == 0 && dx > 0);
      bias[i] = topLeft ? 0 : -1;
    }
    minX = int(CeilDiv(std::min({X[0], X[1], X[2]}), kSubPixels));
    maxX = int(FloorDiv(std::max({X[0], X[1], X[2]}), kSubPixels));
    minY = int(CeilDiv(std::min({Y[0], Y[1], Y[2]}), kSubPixels));
    maxY = int(FloorDiv(std::max({Y[0], Y[1], Y[2]}), kSubPixels));
    return true;
  }

  int64_t Edge(int i, int px, int py) const {
    return A[i] * (int64_t(px) * kSubPixels) + B[i] * (int64_t(py) * kSubPixels) + C[i];
  }

  // Is the centre of pixel (px, py) inside?
  bool Covers(int px, int py) const {
    for (int i = 0; i < 3; ++i)
      if (Edge(i, px, py) + bias[i] < 0) return false;
    return true;
  }

  // The pixels of row py that are covered: [lo, hi] (empty when lo > hi).
  void RowSpan(int py, int64_t& lo, int64_t& hi) const {
    lo = minX;
    hi = maxX;
    const int64_t PY = int64_t(py) * kSubPixels;
    for (int i = 0; i < 3; ++i) {
      const int64_t K = B[i] * PY + C[i] + bias[i];
      const int64_t a = A[i] * kSubPixels;  // condition: a * px + K >= 0
      if (a > 0) {
        lo = std::max(lo, CeilDiv(-K, a));
      } else if (a < 0) {
        hi = std::min(hi, FloorDiv(K, -a));
      } else if (K < 0) {
        hi = lo - 1;
        return;
      }
    }
  }

  // Barycentric weights of vertices 0..2 at a point given in pixels.
  void Barycentrics(double px, double py, double b[3]) const {
    for (int i = 0; i < 3; ++i) {
      const int a = (i + 1) % 3, c = (i + 2) % 3;
      b[i] = ((fx[c] - fx[a]) * (py - fy[a]) - (fy[c] - fy[a]) * (px - fx[a])) / farea;
    }
  }
  // How the weights change per pixel step in x and in y.
  void BarycentricSteps(double dx[3], double dy[3]) const {
    for (int i = 0; i < 3; ++i) {
      const int a = (i + 1) % 3, c = (i + 2) % 3;
      dx[i] = -(fy[c] - fy[a]) / farea;
      dy[i] = (fx[c] - fx[a]) / farea;
    }
  }
};

// RowSpan of one row after another without a division per row: each edge's bound is kept as a
// quotient and a remainder, stepped by the edge's change from one row to the next. The spans
// are RowSpan's, value for value.
class RowWalker {
 public:
  RowWalker(const SnappedTriangle& t, int py) : t_(t) {
    const int64_t PY = int64_t(py) * kSubPixels;
    for (int i = 0; i < 3; ++i) {
      const int64_t a = t.A[i] * kSubPixels, step = t.B[i] * kSubPixels;
      sign_[i] = (a > 0) - (a < 0);
      k_[i] = t.B[i] * PY + t.C[i] + t.bias[i];
      dk_[i] = step;
      if (a == 0) continue;
      m_[i] = a > 0 ? a : -a;
      q_[i] = FloorDiv(k_[i], m_[i]);
      r_[i] = k_[i] - q_[i] * m_[i];
      dq_[i] = FloorDiv(step, m_[i]);
      dr_[i] = step - dq_[i] * m_[i];
    }
  }

  void Span(int64_t& lo, int64_t& hi) const {
    lo = t_.minX;
    hi = t_.maxX;
    for (int i = 0; i < 3; ++i) {
      if (sign_[i] > 0) {
        lo = std::max(lo, -q_[i]);  // CeilDiv(-K, a)
      } else if (sign_[i] < 0) {
        hi = std::min(hi, q_[i]);  // FloorDiv(K, -a)
      } else if (k_[i] < 0) {
        hi = lo - 1;
        return;
      }
    }
  }

  void Next() {
    for (int i = 0; i < 3; ++i) {
      if (sign_[i] == 0) {
        k_[i] += dk_[i];
        continue;
      }
      // Without a branch: whether the remainder carries is not predictable.
      r_[i] += dr_[i];
      const int64_t carry = r_[i] >= m_[i];
      r_[i] -= m_[i] & -carry;
      q_[i] += dq_[i] + carry;
    }
  }

 private:
  const SnappedTriangle& t_;
  int sign_[3] = {};
  // Per edge: K of the row (edges parallel to the rows), or K = q m + r with 0 <= r < m.
  int64_t k_[3] = {}, dk_[3] = {}, m_[3] = {}, q_[3] = {}, r_[3] = {}, dq_[3] = {}, dr_[3] = {};
};

}  // namespace raster
