// The meshes of the game-like benchmark scene, shared by the rasterizer and the Direct3D
// benchmarks so that both draw exactly the same geometry.
#pragma once

#include <array>
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

// Where the scene's objects stand (x, y, z), from one generator, so that every bench draws the
// same scene with any compiler.
struct Places {
  std::vector<std::array<float, 3>> craft, stars, sprites, blasts;
};
inline Places ScenePlaces() {
  uint32_t seed = 7;
  auto rnd = [&seed](float lo, float hi) {
    seed = seed * 1664525u + 1013904223u;
    return lo + (hi - lo) * float(seed >> 8) / float(1 << 24);
  };
  // Three draws a place, z first: the order GCC evaluated the three calls in when they were the
  // arguments of one call (the places every measurement so far was made with).
  auto place = [&rnd](float x, float y, float z0, float z1) {
    const float z = rnd(z0, z1), py = rnd(-y, y), px = rnd(-x, x);
    return std::array<float, 3>{px, py, z};
  };
  Places p;
  for (int k = 0; k < 12; ++k) p.craft.push_back(place(25, 15, 30, 70));
  for (int k = 0; k < 101; ++k) p.stars.push_back(place(400, 300, 450, 900));
  for (int k = 0; k < 100; ++k) p.sprites.push_back(place(20, 15, 20, 80));
  for (int k = 0; k < 11; ++k) p.blasts.push_back(place(25, 15, 40, 70));
  return p;
}

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
