// The game's meshes, built from a few solid shapes and written as version-0 .sx files.
//
// Conventions of the game: left-handed coordinates, y up; the ship and its missiles
// point their nose along local -Z, enemies and the stage target along +Z; sprite quads
// face +Z (the side that LookAt turns towards the camera). Front faces are wound
// clockwise as seen from outside, which is what Direct3D's default CULL_CCW keeps:
// for a front triangle (a, b, c) the cross product (b - a) x (c - a) points outwards.
// Vertices carry position, normal, diffuse colour (the lit colour under COLORVERTEX),
// a black specular colour and texture coordinates.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "Common.h"

namespace assetgen {

namespace {

struct V3 {
  double x = 0, y = 0, z = 0;
};
V3 operator+(V3 a, V3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
V3 operator-(V3 a, V3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
V3 operator*(V3 a, double s) { return {a.x * s, a.y * s, a.z * s}; }
double Dot(V3 a, V3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
V3 Cross(V3 a, V3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
V3 Normalize(V3 v) {
  const double l = Sqrt(Dot(v, v));
  return l > 0 ? v * (1.0 / l) : V3{0, 1, 0};
}

// A rigid placement: rotation rows (row vectors, as the game's matrices) and an offset.
struct Xf {
  V3 r0{1, 0, 0}, r1{0, 1, 0}, r2{0, 0, 1};
  V3 t{};
  V3 Dir(V3 v) const { return r0 * v.x + r1 * v.y + r2 * v.z; }
  V3 Point(V3 v) const { return Dir(v) + t; }
};
Xf At(double x, double y, double z) {
  Xf f;
  f.t = {x, y, z};
  return f;
}
// Turn by angle a (radians) about an axis, then place at t.
Xf RotX(double a, V3 t = {}) {
  Xf f;
  const double c = Cos(a), s = Sin(a);
  f.r1 = {0, c, s};
  f.r2 = {0, -s, c};
  f.t = t;
  return f;
}
Xf RotY(double a, V3 t = {}) {
  Xf f;
  const double c = Cos(a), s = Sin(a);
  f.r0 = {c, 0, -s};
  f.r2 = {s, 0, c};
  f.t = t;
  return f;
}
Xf RotZ(double a, V3 t = {}) {
  Xf f;
  const double c = Cos(a), s = Sin(a);
  f.r0 = {c, s, 0};
  f.r1 = {-s, c, 0};
  f.t = t;
  return f;
}
// Maps local +Z onto the world axis: X (lathes along x) or Y.
Xf AxisX(V3 t = {}) {
  Xf f;
  f.r0 = {0, 0, -1};
  f.r1 = {0, 1, 0};
  f.r2 = {1, 0, 0};
  f.t = t;
  return f;
}
Xf AxisY(V3 t = {}) {
  Xf f;
  f.r0 = {1, 0, 0};
  f.r1 = {0, 0, -1};
  f.r2 = {0, 1, 0};
  f.t = t;
  return f;
}

uint32_t Argb(double r, double g, double b) {
  return 0xFF000000u | (static_cast<uint32_t>(Image::ToByte(r)) << 16) |
         (static_cast<uint32_t>(Image::ToByte(g)) << 8) | Image::ToByte(b);
}

struct Vertex {
  V3 p, n;
  uint32_t diffuse = 0xFFFFFFFF;
  double u = 0, v = 0;
};

class Mesh {
 public:
  // One triangle; the order is corrected so that its front faces away from `inside`.
  void Tri(Vertex a, Vertex b, Vertex c, V3 inside) {
    const V3 g = Cross(b.p - a.p, c.p - a.p);
    const V3 mid = (a.p + b.p + c.p) * (1.0 / 3.0);
    if (Dot(g, mid - inside) < 0) std::swap(b, c);
    Push(a, b, c);
  }
  // A triangle whose order is already right.
  void Push(const Vertex& a, const Vertex& b, const Vertex& c) {
    for (const Vertex* v : {&a, &b, &c}) {
      idx_.push_back(static_cast<uint16_t>(verts_.size()));
      verts_.push_back(*v);
    }
  }
  // Indexed triangles sharing vertices (smooth surfaces).
  uint16_t Add(const Vertex& v) {
    verts_.push_back(v);
    return static_cast<uint16_t>(verts_.size() - 1);
  }
  void Index(uint16_t a, uint16_t b, uint16_t c) {
    idx_.push_back(a);
    idx_.push_back(b);
    idx_.push_back(c);
  }
  const std::vector<Vertex>& Vertices() const { return verts_; }
  const std::vector<uint16_t>& Indices() const { return idx_; }

  std::vector<uint8_t> Encode() const {
    const char magic[] = "Simplified_X00  ";
    std::vector<uint8_t> out(magic, magic + 16);
    PutU16(out, static_cast<uint32_t>(verts_.size()));
    PutU16(out, static_cast<uint32_t>(idx_.size()));
    out.resize(256, 0);
    for (const Vertex& v : verts_) {
      PutF32(out, static_cast<float>(v.p.x));
      PutF32(out, static_cast<float>(v.p.y));
      PutF32(out, static_cast<float>(v.p.z));
      PutF32(out, static_cast<float>(v.n.x));
      PutF32(out, static_cast<float>(v.n.y));
      PutF32(out, static_cast<float>(v.n.z));
      PutU32(out, v.diffuse);
      PutU32(out, 0xFF000000u);  // black specular: highlights come from the material
      PutF32(out, static_cast<float>(v.u));
      PutF32(out, static_cast<float>(v.v));
    }
    for (uint16_t i : idx_) PutU16(out, i);
    return out;
  }

 private:
  std::vector<Vertex> verts_;
  std::vector<uint16_t> idx_;
};

Vertex Vx(V3 p, V3 n, uint32_t c, double u = 0, double v = 0) { return Vertex{p, n, c, u, v}; }

// A flat-shaded convex solid between two rings of points (same count, same order):
// the two caps and the side quads. Boxes, wedges, fins and blades are all lofts.
void Loft(Mesh& m, const std::vector<V3>& a, const std::vector<V3>& b, uint32_t col, const Xf& xf, double uvScale = 0) {
  const size_t n = a.size();
  V3 centre{};
  for (size_t i = 0; i < n; ++i) centre = centre + a[i] + b[i];
  centre = centre * (1.0 / (2.0 * n));
  auto face = [&](V3 p0, V3 p1, V3 p2) {
    V3 g = Normalize(Cross(p1 - p0, p2 - p0));
    if (Dot(g, (p0 + p1 + p2) * (1.0 / 3.0) - centre) < 0) {
      std::swap(p1, p2);
      g = g * -1.0;
    }
    // Planar texture coordinates along the face's two dominant axes.
    auto uv = [&](V3 p, double& u, double& v) {
      const double ax = g.x < 0 ? -g.x : g.x, ay = g.y < 0 ? -g.y : g.y;
      const double az = g.z < 0 ? -g.z : g.z;
      if (ax >= ay && ax >= az)
        u = p.z, v = p.y;
      else if (ay >= az)
        u = p.x, v = p.z;
      else
        u = p.x, v = p.y;
      u *= uvScale;
      v *= uvScale;
    };
    Vertex v0 = Vx(xf.Point(p0), xf.Dir(g), col), v1 = Vx(xf.Point(p1), xf.Dir(g), col),
           v2 = Vx(xf.Point(p2), xf.Dir(g), col);
    uv(p0, v0.u, v0.v);
    uv(p1, v1.u, v1.v);
    uv(p2, v2.u, v2.v);
    m.Push(v0, v1, v2);
  };
  for (size_t i = 1; i + 1 < n; ++i) {
    face(a[0], a[i], a[i + 1]);
    face(b[0], b[i], b[i + 1]);
  }
  for (size_t i = 0; i < n; ++i) {
    const size_t j = (i + 1) % n;
    face(a[i], a[j], b[j]);
    face(a[i], b[j], b[i]);
  }
}

void Box(Mesh& m, V3 lo, V3 hi, uint32_t col, const Xf& xf = {}, double uvScale = 0) {
  Loft(m, {{lo.x, lo.y, lo.z}, {hi.x, lo.y, lo.z}, {hi.x, hi.y, lo.z}, {lo.x, hi.y, lo.z}},
       {{lo.x, lo.y, hi.z}, {hi.x, lo.y, hi.z}, {hi.x, hi.y, hi.z}, {lo.x, hi.y, hi.z}}, col, xf, uvScale);
}

// A flat outline in the x-z plane, given thickness in y (wings).
void PlateXZ(Mesh& m, const std::vector<std::array<double, 2>>& outline, double y, double thick, uint32_t col,
             const Xf& xf = {}) {
  std::vector<V3> a, b;
  for (const auto& p : outline) {
    a.push_back({p[0], y - thick / 2, p[1]});
    b.push_back({p[0], y + thick / 2, p[1]});
  }
  Loft(m, a, b, col, xf);
}
// A flat outline in the y-z plane, thickness in x (fins).
void PlateYZ(Mesh& m, const std::vector<std::array<double, 2>>& outline, double x, double thick, uint32_t col,
             const Xf& xf = {}) {
  std::vector<V3> a, b;
  for (const auto& p : outline) {
    a.push_back({x - thick / 2, p[0], p[1]});
    b.push_back({x + thick / 2, p[0], p[1]});
  }
  Loft(m, a, b, col, xf);
}
// A flat outline in the x-y plane, thickness in z (blades).
void PlateXY(Mesh& m, const std::vector<std::array<double, 2>>& outline, double z, double thick, uint32_t col,
             const Xf& xf = {}) {
  std::vector<V3> a, b;
  for (const auto& p : outline) {
    a.push_back({p[0], p[1], z - thick / 2});
    b.push_back({p[0], p[1], z + thick / 2});
  }
  Loft(m, a, b, col, xf);
}

struct LatheOpts {
  int segments = 16;
  double uScale = 1, vScale = 1;  // texture repeats round and along
  double sx = 1, sy = 1;          // squash of the cross-section
  double angle0 = 0, angle1 = kTwoPi;
  bool flat = false;  // faceted instead of smooth normals
};

// A surface of revolution about local z: profile points (z, r) from one end to the other.
// Ends with r = 0 close the solid. Normals point away from the axis.
void Lathe(Mesh& m, const std::vector<std::array<double, 2>>& prof, uint32_t col, const Xf& xf,
           const LatheOpts& o = {}) {
  const int seg = o.segments;
  const int rows = static_cast<int>(prof.size());
  // Smooth normals from the profile's slope: perpendicular to the profile in the (z, r) plane.
  std::vector<std::array<double, 2>> pn(rows);
  for (int i = 0; i < rows; ++i) {
    const auto& p0 = prof[i > 0 ? i - 1 : i];
    const auto& p1 = prof[i + 1 < rows ? i + 1 : i];
    double dz = p1[0] - p0[0], dr = p1[1] - p0[1];
    // Outward normal in (z, r): (-dr, dz) when z grows along the profile.
    double nz = -dr, nr = dz;
    const double l = Sqrt(nz * nz + nr * nr);
    if (l > 0) nz /= l, nr /= l;
    pn[i] = {nz, nr};
  }
  double total = 0;
  std::vector<double> along(rows, 0.0);
  for (int i = 1; i < rows; ++i) {
    const double dz = prof[i][0] - prof[i - 1][0], dr = prof[i][1] - prof[i - 1][1];
    total += Sqrt(dz * dz + dr * dr);
    along[i] = total;
  }
  auto local = [&](int i, int s, V3& p, V3& n) {
    const double a = o.angle0 + (o.angle1 - o.angle0) * s / seg;
    const double c = Cos(a), sn = Sin(a);
    p = {prof[i][1] * c * o.sx, prof[i][1] * sn * o.sy, prof[i][0]};
    n = Normalize({pn[i][1] * c / o.sx, pn[i][1] * sn / o.sy, pn[i][0]});
  };
  if (o.flat) {
    for (int i = 0; i + 1 < rows; ++i) {
      for (int s = 0; s < seg; ++s) {
        V3 p[4], n[4];
        local(i, s, p[0], n[0]);
        local(i, s + 1, p[1], n[1]);
        local(i + 1, s + 1, p[2], n[2]);
        local(i + 1, s, p[3], n[3]);
        const V3 axisPt{0, 0, (p[0].z + p[2].z) / 2};
        auto tri = [&](V3 a, V3 b, V3 c) {
          V3 g = Normalize(Cross(b - a, c - a));
          const V3 mid = (a + b + c) * (1.0 / 3.0);
          V3 out = mid - axisPt;
          if (Dot(g, g) < 0.5) return;
          if (Dot(g, out) < 0) std::swap(b, c), g = g * -1.0;
          m.Push(Vx(xf.Point(a), xf.Dir(g), col), Vx(xf.Point(b), xf.Dir(g), col), Vx(xf.Point(c), xf.Dir(g), col));
        };
        if (Dot(Cross(p[1] - p[0], p[2] - p[0]), Cross(p[1] - p[0], p[2] - p[0])) > 1e-18) tri(p[0], p[1], p[2]);
        if (Dot(Cross(p[2] - p[0], p[3] - p[0]), Cross(p[2] - p[0], p[3] - p[0])) > 1e-18) tri(p[0], p[2], p[3]);
      }
    }
    return;
  }
  std::vector<uint16_t> id(static_cast<size_t>(rows) * (seg + 1));
  for (int i = 0; i < rows; ++i) {
    for (int s = 0; s <= seg; ++s) {
      V3 p, n;
      local(i, s, p, n);
      const double u = static_cast<double>(s) / seg * o.uScale;
      const double v = total > 0 ? along[i] / total * o.vScale : 0;
      id[static_cast<size_t>(i) * (seg + 1) + s] = m.Add(Vx(xf.Point(p), xf.Dir(n), col, u, v));
    }
  }
  const auto& verts = m.Vertices();
  for (int i = 0; i + 1 < rows; ++i) {
    for (int s = 0; s < seg; ++s) {
      const uint16_t a = id[i * (seg + 1) + s], b = id[i * (seg + 1) + s + 1];
      const uint16_t c = id[(i + 1) * (seg + 1) + s + 1], d = id[(i + 1) * (seg + 1) + s];
      // Skip the degenerate halves of quads that touch the axis.
      for (auto t : {std::array<uint16_t, 3>{a, b, c}, std::array<uint16_t, 3>{a, c, d}}) {
        const V3 g = Cross(verts[t[1]].p - verts[t[0]].p, verts[t[2]].p - verts[t[0]].p);
        if (Dot(g, g) < 1e-18) continue;
        const V3 nsum = verts[t[0]].n + verts[t[1]].n + verts[t[2]].n;
        if (Dot(g, nsum) < 0)
          m.Index(t[0], t[2], t[1]);
        else
          m.Index(t[0], t[1], t[2]);
      }
    }
  }
}

// An ellipsoid of radii (rx, ry, rz) as a lathe about local z.
void Ellipsoid(Mesh& m, double rx, double ry, double rz, uint32_t col, const Xf& xf, int seg = 16, int rings = 10) {
  std::vector<std::array<double, 2>> prof;
  for (int i = 0; i <= rings; ++i) {
    const double a = kPi * i / rings;
    prof.push_back({-rz * Cos(a), Sin(a)});
  }
  LatheOpts o;
  o.segments = seg;
  o.sx = rx;
  o.sy = ry;
  Lathe(m, prof, col, xf, o);
}

// A camera-facing sprite: a square in the x-y plane whose front is +Z. Texture u runs
// along -x so that the picture reads the right way round from the viewer's side.
Mesh SpriteQuad(double half) {
  Mesh m;
  const V3 n{0, 0, 1};
  const Vertex a = Vx({-half, -half, 0}, n, 0xFFFFFFFF, 1, 1), b = Vx({half, -half, 0}, n, 0xFFFFFFFF, 0, 1);
  const Vertex c = Vx({half, half, 0}, n, 0xFFFFFFFF, 0, 0), d = Vx({-half, half, 0}, n, 0xFFFFFFFF, 1, 0);
  const uint16_t ia = m.Add(a), ib = m.Add(b), ic = m.Add(c), id = m.Add(d);
  m.Index(ia, ib, ic);
  m.Index(ia, ic, id);
  return m;
}

// ---------------------------------------------------------------------------------------
// The player's ship: a slim fuselage with a canopy, delta wings, a fin and an engine
// block with four nozzles (the thruster flames sit at z 6.5, y -1.6 behind them).
Mesh Ship() {
  Mesh m;
  const uint32_t hull = Argb(0.46, 0.48, 0.54), trim = Argb(0.20, 0.35, 0.85), red = Argb(0.90, 0.15, 0.12);
  const uint32_t dark = Argb(0.30, 0.30, 0.34), glass = Argb(0.25, 0.75, 0.95);
  Lathe(m, {{-4.2, 0}, {-3.6, 0.28}, {-2.6, 0.55}, {-1.0, 0.80}, {1.0, 0.85}, {2.6, 0.75}, {3.4, 0.55}, {3.6, 0}}, hull,
        {}, {.segments = 14, .sx = 1.0, .sy = 0.85});
  Lathe(m, {{-4.45, 0}, {-4.15, 0.12}, {-3.9, 0.2}, {-3.7, 0}}, red, {}, {.segments = 10});
  Ellipsoid(m, 0.42, 0.34, 1.15, glass, At(0, 0.58, -1.3), 12, 8);
  for (double s : {-1.0, 1.0}) {
    PlateXZ(m, {{s * 0.6, -0.9}, {s * 4.1, 2.4}, {s * 4.1, 3.3}, {s * 0.6, 3.1}}, -0.15, 0.16, hull);
    PlateXZ(m, {{s * 3.3, 1.65}, {s * 4.15, 2.45}, {s * 4.15, 3.3}, {s * 3.3, 3.25}}, -0.15, 0.2, trim);
    // Afterburner pods under the wings.
    Lathe(m, {{0.4, 0}, {0.8, 0.32}, {3.6, 0.36}, {4.2, 0.28}, {4.25, 0}}, dark, At(s * 2.5, -0.45, 0),
          {.segments = 10});
    Lathe(m, {{4.0, 0}, {4.05, 0.22}, {4.3, 0.24}, {4.3, 0}}, red, At(s * 2.5, -0.45, 0), {.segments = 10});
  }
  PlateYZ(m, {{0.5, 1.2}, {2.1, 3.1}, {2.1, 3.7}, {0.5, 3.55}}, 0, 0.14, hull);
  PlateYZ(m, {{1.7, 2.7}, {2.12, 3.12}, {2.12, 3.72}, {1.7, 3.67}}, 0, 0.18, trim);
  // Engine block and its pylon.
  Box(m, {-0.45, -1.1, 0.2}, {0.45, -0.5, 3.6}, dark);
  Loft(m, {{-1.6, -2.05, 1.2}, {1.6, -2.05, 1.2}, {1.6, -1.15, 0.8}, {-1.6, -1.15, 0.8}},
       {{-1.65, -2.1, 4.2}, {1.65, -2.1, 4.2}, {1.65, -1.1, 4.2}, {-1.65, -1.1, 4.2}}, trim, {});
  for (double x : {-1.2, -0.4, 0.4, 1.2}) {
    Lathe(m, {{4.2, 0}, {4.2, 0.36}, {4.75, 0.4}, {4.75, 0}}, dark, At(x, -1.6, 0), {.segments = 10});
    Lathe(m, {{4.74, 0}, {4.74, 0.3}, {4.78, 0.3}, {4.78, 0}}, Argb(1.0, 0.55, 0.1), At(x, -1.6, 0), {.segments = 10});
  }
  return m;
}

// The blade: two slim curved blades on arms beside the ship, in the mesh's x-y plane. The
// game turns the mesh a quarter turn about x at rest, so mesh +y points along the nose.
// Each blade runs from its arm at |x| 4 out to a tip at |x| 8.6, 13 units from the axis of
// the swing, through the slab the game hits with (3 < |x| < 10, 5 < y < 12), but is
// little more than a unit wide, so at rest it frames the view instead of filling it.
// Brushed steel, not white: under the game's bright lights a white plate burns out.
Mesh Blade() {
  Mesh m;
  const uint32_t steel = Argb(0.55, 0.60, 0.70), edge = Argb(0.45, 0.85, 1.0), hub = Argb(0.30, 0.30, 0.36);
  for (double s : {-1.0, 1.0}) {
    Box(m, {s < 0 ? -4.0 : 1.0, -0.3, -0.2}, {s < 0 ? -1.0 : 4.0, 0.3, 0.2}, hub);
    Box(m, {s < 0 ? -4.6 : 3.6, -0.4, -0.3}, {s < 0 ? -3.6 : 4.6, 1.8, 0.3}, hub);
    PlateXY(m, {{s * 4.0, 1.5}, {s * 5.0, 1.5}, {s * 8.6, 9.5}, {s * 8.6, 13.0}, {s * 7.2, 10.5}}, 0, 0.2, steel);
    PlateXY(m, {{s * 5.0, 1.5}, {s * 5.35, 1.5}, {s * 8.95, 9.5}, {s * 8.6, 9.5}}, 0, 0.12, edge);
  }
  return m;
}

// The planet: a UV sphere whose seam column is doubled (u 0 and 1), texture v from north.
Mesh Planet() {
  Mesh m;
  const double radius = 900;
  const int lon = 48, lat = 32;
  for (int j = 0; j <= lat; ++j) {
    const double th = kPi * j / lat;
    for (int i = 0; i <= lon; ++i) {
      const double ph = kTwoPi * i / lon;
      const V3 n{Sin(th) * Cos(ph), Cos(th), Sin(th) * Sin(ph)};
      m.Add(Vx(n * radius, n, 0xFFFFFFFF, static_cast<double>(i) / lon, static_cast<double>(j) / lat));
    }
  }
  const auto& v = m.Vertices();
  for (int j = 0; j < lat; ++j) {
    for (int i = 0; i < lon; ++i) {
      const uint16_t a = static_cast<uint16_t>(j * (lon + 1) + i), b = static_cast<uint16_t>(a + 1);
      const uint16_t c = static_cast<uint16_t>(a + lon + 2), d = static_cast<uint16_t>(a + lon + 1);
      for (auto t : {std::array<uint16_t, 3>{a, b, c}, std::array<uint16_t, 3>{a, c, d}}) {
        const V3 g = Cross(v[t[1]].p - v[t[0]].p, v[t[2]].p - v[t[0]].p);
        if (Dot(g, g) < 1e-9) continue;  // the pole rows' degenerate halves
        if (Dot(g, v[t[0]].p + v[t[1]].p + v[t[2]].p) < 0)
          m.Index(t[0], t[2], t[1]);
        else
          m.Index(t[0], t[1], t[2]);
      }
    }
  }
  return m;
}

// The colony: a long cylinder along x (it turns about that axis), three land strips
// and three window strips, three mirrors opened at its sunward end, a ring of farm
// modules and a docking spindle. Every part is textured with the metal panels.
Mesh Colony() {
  Mesh m;
  const double r = 36, half = 150;
  const uint32_t land = Argb(0.85, 0.85, 0.82), window = Argb(0.45, 0.60, 0.95), mirror = Argb(0.75, 0.85, 1.0);
  for (int k = 0; k < 6; ++k) {
    LatheOpts o;
    o.segments = 4;
    o.angle0 = kTwoPi * k / 6;
    o.angle1 = kTwoPi * (k + 1) / 6;
    o.uScale = 1;
    o.vScale = 10;
    Lathe(m, {{-half, r}, {half, r}}, k % 2 ? window : land, AxisX(), o);
  }
  Lathe(m, {{half - 0.01, r}, {half + 14, r * 0.8}, {half + 24, r * 0.35}, {half + 27, 0}}, land, AxisX(),
        {.segments = 24, .uScale = 4, .vScale = 1});
  Lathe(m, {{-half - 27, 0}, {-half - 24, r * 0.35}, {-half - 14, r * 0.8}, {-half + 0.01, r}}, land, AxisX(),
        {.segments = 24, .uScale = 4, .vScale = 1});
  // Docking spindle at the +x end.
  Lathe(m, {{half + 26, 0}, {half + 26, 5}, {half + 60, 5}, {half + 62, 8}, {half + 66, 8}, {half + 66, 0}}, land,
        AxisX(), {.segments = 12, .uScale = 2, .vScale = 2});
  // Mirrors hinged at the -x end, opened 25 degrees, one beside each window strip.
  for (int k = 0; k < 3; ++k) {
    const double a = kTwoPi * (2 * k + 1.5) / 6;
    // In the x-y plane of a mirror: x along the colony, y outwards from the hinge.
    const double open = 25.0 / 180.0 * kPi;
    // Mirror frame: local x across the strip, local y from the hinge along the colony and
    // leaning out by `open`, local z the mirror's face.
    Xf f;
    const V3 radial{0, Cos(a), Sin(a)};
    const V3 tangent{0, -Sin(a), Cos(a)};
    const V3 along{1, 0, 0};
    const double co = Cos(open), so = Sin(open);
    const V3 ly = Normalize(along * co + radial * so);
    f.r0 = tangent;
    f.r1 = ly;
    f.r2 = Cross(tangent, ly);
    f.t = V3{-half, 0, 0} + radial * (r + 1);
    Box(m, {-18, 0, -0.6}, {18, 2 * half, 0.6}, mirror, f, 1.0 / 24);
  }
  // Farm ring round the -x end cap: twenty modules on spokes.
  for (int k = 0; k < 20; ++k) {
    const double a = kTwoPi * k / 20;
    const Xf f = RotX(a, {-half - 8, 0, 0});
    Box(m, {-6, 70, -12}, {6, 80, 12}, land, f, 1.0 / 12);
    if (k % 5 == 0) Box(m, {-2, r * 0.5, -2}, {2, 70, 2}, land, f, 1.0 / 12);
  }
  return m;
}

// A star marker: a small triangular pyramid, so that some face catches a light from anywhere.
Mesh Star() {
  Mesh m;
  const uint32_t c = Argb(1.0, 0.95, 0.7);
  const V3 p[4] = {{0, 1.0, 0}, {0.94, -0.33, 0.0}, {-0.47, -0.33, 0.82}, {-0.47, -0.33, -0.82}};
  const V3 centre{};
  const int f[4][3] = {{0, 1, 2}, {0, 2, 3}, {0, 3, 1}, {1, 3, 2}};
  for (const auto& t : f) {
    V3 a = p[t[0]], b = p[t[1]], cc = p[t[2]];
    V3 g = Normalize(Cross(b - a, cc - a));
    if (Dot(g, a + b + cc - centre * 3) < 0) std::swap(b, cc), g = g * -1.0;
    m.Push(Vx(a, g, c), Vx(b, g, c), Vx(cc, g, c));
  }
  return m;
}

// A missile: nose along -Z, white body, red nose and four tail fins.
Mesh Missile() {
  Mesh m;
  const uint32_t body = Argb(0.9, 0.9, 0.9), nose = Argb(0.95, 0.2, 0.1), fin = Argb(0.5, 0.5, 0.55);
  Lathe(m, {{-1.3, 0}, {-1.0, 0.14}, {-0.7, 0.2}}, nose, {}, {.segments = 8});
  Lathe(m, {{-0.7, 0.2}, {1.0, 0.2}, {1.1, 0.14}, {1.1, 0}}, body, {}, {.segments = 8});
  for (int k = 0; k < 4; ++k) {
    const Xf f = RotZ(kPi / 4 + k * kPi / 2);
    PlateYZ(m, {{0.15, 0.4}, {0.55, 0.85}, {0.55, 1.1}, {0.15, 1.1}}, 0, 0.05, fin, f);
  }
  return m;
}

// Enemy kind 0: a round pod with a band, three stubby thrusters and a red eye at +Z.
Mesh Ball() {
  Mesh m;
  const uint32_t shell = Argb(1.0, 0.62, 0.18), band = Argb(0.62, 0.58, 0.5), eye = Argb(1.0, 0.1, 0.1);
  Ellipsoid(m, 1.8, 1.8, 1.8, shell, {}, 16, 12);
  Lathe(m, {{-0.35, 0}, {-0.35, 1.95}, {0.35, 1.95}, {0.35, 0}}, band, AxisY(), {.segments = 20});
  Ellipsoid(m, 0.55, 0.55, 0.3, eye, At(0, 0.3, 1.7), 10, 6);
  for (int k = 0; k < 3; ++k) {
    const double a = kTwoPi * k / 3 + kPi / 2;
    Xf f;
    f.t = {Cos(a) * 1.2, Sin(a) * 1.2, -1.2};
    Lathe(m, {{-1.4, 0}, {-1.4, 0.45}, {-0.2, 0.35}, {0.0, 0}}, band, f, {.segments = 8});
  }
  return m;
}

// Enemy kind 1: a walking machine, about 5 units tall, facing +Z with a mono-eye.
Mesh Walker() {
  Mesh m;
  const uint32_t armour = Argb(0.85, 0.9, 0.2), joint = Argb(0.55, 0.5, 0.3), eye = Argb(1.0, 0.2, 0.6);
  Box(m, {-1.1, 0.0, -0.7}, {1.1, 1.8, 0.8}, armour);  // torso
  Loft(m, {{-0.9, -0.6, -0.5}, {0.9, -0.6, -0.5}, {0.9, -0.6, 0.5}, {-0.9, -0.6, 0.5}},
       {{-1.0, 0.0, -0.6}, {1.0, 0.0, -0.6}, {1.0, 0.0, 0.6}, {-1.0, 0.0, 0.6}}, joint, {});  // hips
  Ellipsoid(m, 0.6, 0.55, 0.6, armour, At(0, 2.3, 0.05), 12, 8);                              // head
  Box(m, {-0.5, 2.15, 0.45}, {0.5, 2.4, 0.62}, joint);                                        // visor slit
  Ellipsoid(m, 0.16, 0.16, 0.08, eye, At(0.15, 2.28, 0.64), 8, 4);                            // eye
  for (double s : {-1.0, 1.0}) {
    Box(m, {s * 1.1, 1.2, -0.5}, {s * 1.8, 1.9, 0.5}, armour);        // shoulder
    Box(m, {s * 1.25, -0.2, -0.3}, {s * 1.7, 1.2, 0.3}, joint);       // arm
    Box(m, {s * 1.15, -0.9, -0.4}, {s * 1.8, -0.2, 0.5}, armour);     // forearm
    Box(m, {s * 0.25, -2.0, -0.35}, {s * 0.85, -0.5, 0.35}, armour);  // thigh
    Box(m, {s * 0.2, -3.3, -0.4}, {s * 0.9, -2.0, 0.4}, joint);       // shin
    Box(m, {s * 0.15, -3.6, -0.6}, {s * 0.95, -3.3, 0.9}, armour);    // foot
  }
  Box(m, {-0.6, 0.2, -1.3}, {0.6, 1.5, -0.7}, joint);  // back pack
  return m;
}

// Enemy kind 2: a small fighter with forward-swept wings and twin fins, nose along +Z.
Mesh Fighter() {
  Mesh m;
  const uint32_t hull = Argb(0.95, 0.4, 0.85), wing = Argb(0.8, 0.3, 0.7), glow = Argb(1.0, 0.85, 0.2);
  Lathe(m, {{-1.9, 0}, {-1.8, 0.4}, {-0.5, 0.6}, {0.8, 0.5}, {1.9, 0.15}, {2.2, 0}}, hull, {},
        {.segments = 10, .sy = 0.7});
  Ellipsoid(m, 0.3, 0.25, 0.6, glow, At(0, 0.35, 0.7), 8, 6);
  for (double s : {-1.0, 1.0}) {
    PlateXZ(m, {{s * 0.4, -1.2}, {s * 2.2, 0.6}, {s * 2.3, 1.1}, {s * 0.4, 0.2}}, 0, 0.12, wing);
    PlateYZ(m, {{0.2, -1.8}, {1.2, -1.5}, {1.2, -1.1}, {0.2, -0.7}}, s * 0.45, 0.1, hull);
    Lathe(m, {{-2.0, 0}, {-2.0, 0.18}, {-1.2, 0.2}, {-1.0, 0}}, glow, At(s * 0.3, 0, 0), {.segments = 6});
  }
  return m;
}

// The stage target: a wide armoured saucer about 26 units across with a crown, six
// claws hanging below and a glaring eye at +Z.
Mesh Target() {
  Mesh m;
  const uint32_t armour = Argb(0.45, 0.25, 0.5), plate = Argb(0.25, 0.22, 0.28), red = Argb(1.0, 0.12, 0.1);
  const uint32_t spike = Argb(0.75, 0.72, 0.7);
  // Saucer about the y axis: profile (height, radius) from bottom to top.
  Lathe(m, {{-3.2, 0}, {-3.0, 5}, {-1.6, 11}, {0, 13}, {0.8, 12.5}, {2.2, 8}, {3.0, 4}, {3.2, 0}}, armour, AxisY(),
        {.segments = 24, .flat = true});
  Lathe(m, {{2.9, 0}, {3.0, 4.5}, {4.8, 3.6}, {5.6, 1.5}, {5.8, 0}}, plate, AxisY(), {.segments = 16});
  // The eye, set into the front rim.
  Ellipsoid(m, 1.8, 0.9, 0.6, red, At(0, 0.2, 12.6), 12, 6);
  Ellipsoid(m, 0.9, 0.5, 0.5, red, At(-4.2, 0.0, 11.8), 8, 4);
  Ellipsoid(m, 0.9, 0.5, 0.5, red, At(4.2, 0.0, 11.8), 8, 4);
  for (int k = 0; k < 6; ++k) {
    const double a = kTwoPi * k / 6 + kPi / 6;
    const Xf f = RotY(a);
    // Spikes around the rim, pointing outwards.
    Loft(m, {{-0.7, -0.5, 12.5}, {0.7, -0.5, 12.5}, {0.7, 0.5, 12.5}, {-0.7, 0.5, 12.5}},
         {{-0.05, -0.05, 15.0}, {0.05, -0.05, 15.0}, {0.05, 0.05, 15.0}, {-0.05, 0.05, 15.0}}, spike, f);
    // Claws below: an upper arm and a hooked lower arm.
    Box(m, {-0.6, -6.5, 6.0}, {0.6, -2.0, 7.2}, plate, f);
    Loft(m, {{-0.6, -6.5, 6.0}, {0.6, -6.5, 6.0}, {0.6, -6.5, 7.2}, {-0.6, -6.5, 7.2}},
         {{-0.1, -9.0, 9.5}, {0.1, -9.0, 9.5}, {0.1, -9.0, 9.7}, {-0.1, -9.0, 9.7}}, spike, f);
  }
  // Crown fins on top.
  for (int k = 0; k < 3; ++k) {
    const Xf f = RotY(kTwoPi * k / 3);
    PlateYZ(m, {{5.0, -2.0}, {9.0, -4.5}, {9.0, -3.5}, {5.0, 2.0}}, 0, 0.4, red, f);
  }
  return m;
}

}  // namespace

void WriteMeshes(const std::filesystem::path& dir) {
  WriteFile(dir / "dotai.sx", Ship().Encode());
  WriteFile(dir / "nata.sx", Blade().Encode());
  WriteFile(dir / "kyu.sx", Planet().Encode());
  WriteFile(dir / "colony.sx", Colony().Encode());
  WriteFile(dir / "sankaku.sx", Star().Encode());
  WriteFile(dir / "beam.sx", SpriteQuad(2.0).Encode());
  WriteFile(dir / "fire_s.sx", SpriteQuad(0.7).Encode());
  WriteFile(dir / "missile.sx", Missile().Encode());
  WriteFile(dir / "ball.sx", Ball().Encode());
  WriteFile(dir / "gm.sx", Walker().Encode());
  WriteFile(dir / "core.sx", Fighter().Encode());
  WriteFile(dir / "Bomb.sx", SpriteQuad(8.0).Encode());
  WriteFile(dir / "Bomb_s.sx", SpriteQuad(3.0).Encode());
  WriteFile(dir / "pigzam.sx", Target().Encode());
}

}  // namespace assetgen
