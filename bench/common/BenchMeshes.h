// The meshes of the game-like benchmark scene, shared by the rasterizer and the Direct3D
// benchmarks so that both draw exactly the same geometry.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

namespace benchscene {

struct Vertex {
  float x, y, z, nx, ny, nz;
  uint32_t diffuse, specular;
  float u, v;
};
constexpr uint32_t kFvf = 0x1D2;  // XYZ | NORMAL | DIFFUSE | SPECULAR | TEX1

struct Mesh {
  std::vector<Vertex> v;
  std::vector<uint16_t> i;
};

inline Mesh Sphere(float r, int slices, int stacks) {
  Mesh m;
  const float pi = 3.14159265f;
  for (int a = 0; a <= stacks; ++a)
    for (int b = 0; b <= slices; ++b) {
      const float th = pi * a / stacks, ph = 2 * pi * b / slices;
      const float nx = std::sin(th) * std::cos(ph), ny = std::cos(th), nz = std::sin(th) * std::sin(ph);
      m.v.push_back({r * nx, r * ny, r * nz, nx, ny, nz, 0xFFFFFFFF, 0, float(b) / slices, float(a) / stacks});
    }
  for (int a = 0; a < stacks; ++a)
    for (int b = 0; b < slices; ++b) {
      const uint16_t p = uint16_t(a * (slices + 1) + b), q = uint16_t(p + 1), s = uint16_t(p + slices + 1),
                     t = uint16_t(s + 1);
      m.i.insert(m.i.end(), {p, q, s, q, t, s});
    }
  return m;
}

// Open cylinder along z, seen from outside.
inline Mesh Cylinder(float r, float length, int segments, int rings) {
  Mesh m;
  const float pi = 3.14159265f;
  for (int a = 0; a <= rings; ++a)
    for (int b = 0; b <= segments; ++b) {
      const float ph = 2 * pi * b / segments, z = length * a / rings;
      const float nx = std::cos(ph), ny = std::sin(ph);
      m.v.push_back({r * nx, r * ny, z, nx, ny, 0, 0xFFFFFFFF, 0, 4.0f * b / segments, 8.0f * a / rings});
    }
  for (int a = 0; a < rings; ++a)
    for (int b = 0; b < segments; ++b) {
      const uint16_t p = uint16_t(a * (segments + 1) + b), q = uint16_t(p + 1), s = uint16_t(p + segments + 1),
                     t = uint16_t(s + 1);
      m.i.insert(m.i.end(), {p, s, q, q, s, t});
    }
  return m;
}

inline Mesh Quad(float h) {
  Mesh m;
  m.v = {{-h, h, 0, 0, 0, -1, 0xFFFFFFFF, 0, 0, 0},
         {h, h, 0, 0, 0, -1, 0xFFFFFFFF, 0, 1, 0},
         {h, -h, 0, 0, 0, -1, 0xFFFFFFFF, 0, 1, 1},
         {-h, -h, 0, 0, 0, -1, 0xFFFFFFFF, 0, 0, 1}};
  m.i = {0, 1, 2, 0, 2, 3};
  return m;
}

// The star marker: one small triangle.
inline Mesh Star() {
  Mesh m;
  m.v = {{0, 0.3f, 0, 0, 0, -1, 0xFFFFFFFF, 0, 0, 0},
         {0.3f, -0.3f, 0, 0, 0, -1, 0xFFFFFFFF, 0, 0, 0},
         {-0.3f, -0.3f, 0, 0, 0, -1, 0xFFFFFFFF, 0, 0, 0}};
  m.i = {0, 1, 2};
  return m;
}

}  // namespace benchscene
