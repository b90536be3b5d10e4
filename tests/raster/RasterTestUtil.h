// Shared scaffolding for the rasterizer tests: owned surfaces, a vertex of the meshes' usual
// layout, simple meshes and image comparison.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "raster/PixelCodec.h"
#include "raster/Raster.h"

namespace rastertest {

using namespace raster;

// Position, normal, diffuse, specular, one texture set: FVF 0x1D2, 40 bytes.
struct MeshVertex {
  float x, y, z;
  float nx, ny, nz;
  uint32_t diffuse, specular;
  float u, v;
};
inline constexpr uint32_t kMeshFvf = 0x1D2;
static_assert(sizeof(MeshVertex) == 40);

// Screen position with 1/w, diffuse, specular, one texture set: FVF 0x1C4, 32 bytes.
struct ScreenVertex {
  float x, y, z, rhw;
  uint32_t diffuse, specular;
  float u, v;
};
inline constexpr uint32_t kScreenFvf = 0x1C4;

struct Mesh {
  std::vector<MeshVertex> vertices;
  std::vector<uint16_t> indices;
  VertexData Data() const { return {vertices.data(), sizeof(MeshVertex), kMeshFvf, uint32_t(vertices.size())}; }
};

// A render target with a depth buffer, both owned.
class Canvas {
 public:
  Canvas(PixelFormat f, int w, int h, DepthFormat df = DepthFormat::D16, int pad = 0) : width_(w), height_(h) {
    target.format = f;
    target.width = w;
    target.height = h;
    target.pitch = w * BytesPerPixel(f) + pad;
    pixels_.assign(size_t(target.pitch) * h, 0);
    target.pixels = pixels_.data();
    if (df != DepthFormat::None) {
      depth.format = df;
      depth.width = w;
      depth.height = h;
      depth.pitch = w * DepthBytes(df);
      depth_.assign(size_t(depth.pitch) * h, 0);
      depth.pixels = depth_.data();
    }
  }
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;

  // A state drawing into this canvas: full viewport, identity transforms.
  State MakeState() const {
    State s;
    s.target = target;
    s.depth = depth;
    s.viewport = {0, 0, uint32_t(width_), uint32_t(height_), 0.0f, 1.0f};
    return s;
  }
  Rgba8 Pixel(int x, int y) const {
    const uint8_t* p = pixels_.data() + size_t(y) * target.pitch + size_t(x) * BytesPerPixel(target.format);
    return DecodeRaw(target.format, LoadRaw(target.format, p));
  }
  uint32_t Raw(int x, int y) const {
    return LoadRaw(target.format, pixels_.data() + size_t(y) * target.pitch + size_t(x) * BytesPerPixel(target.format));
  }
  uint32_t Depth(int x, int y) const {
    return LoadDepth(depth.format, depth_.data() + size_t(y) * depth.pitch + size_t(x) * DepthBytes(depth.format));
  }
  int Width() const { return width_; }
  int Height() const { return height_; }
  const std::vector<uint8_t>& Bytes() const { return pixels_; }
  std::vector<uint8_t>& Bytes() { return pixels_; }
  // The depth buffer's bytes as stored (a 24-bit format's unused or stencil byte included).
  std::vector<uint8_t>& DepthBuffer() { return depth_; }

  // Writes a PPM beside the test when TAVVY_RASTER_DUMP names a folder (for looking at renders).
  void Dump(const std::string& name) const {
    const char* dir = std::getenv("TAVVY_RASTER_DUMP");
    if (!dir) return;
    std::ofstream f(std::string(dir) + "/" + name + ".ppm", std::ios::binary);
    f << "P6\n" << width_ << " " << height_ << "\n255\n";
    for (int y = 0; y < height_; ++y)
      for (int x = 0; x < width_; ++x) {
        const Rgba8 c = Pixel(x, y);
        f.put(char(c.r)).put(char(c.g)).put(char(c.b));
      }
  }

  Surface target;
  DepthSurface depth;

 private:
  int width_, height_;
  std::vector<uint8_t> pixels_;
  std::vector<uint8_t> depth_;
};

inline uint32_t Argb(int a, int r, int g, int b) {
  return uint32_t(a) << 24 | uint32_t(r) << 16 | uint32_t(g) << 8 | uint32_t(b);
}

// Left-handed perspective as the scene sets it up (aspect = height / width).
inline raster::Mat4 Perspective(float fov, float aspect, float zn, float zf) {
  raster::Mat4 m{};
  const float c = std::cos(fov / 2) / std::sin(fov / 2);
  const float q = zf / (zf - zn);
  m.m[0][0] = aspect * c;
  m.m[1][1] = c;
  m.m[2][2] = q;
  m.m[2][3] = 1;
  m.m[3][2] = -zn * q;
  return m;
}

// A point light with its diffuse colour, range and attenuation (no specular or ambient).
inline Light PointLight(Vec3 position, Color diffuse, float range, float a0, float a1, float a2) {
  return {.type = LightType::Point,
          .diffuse = diffuse,
          .specular = {},
          .ambient = {},
          .position = position,
          .direction = {0, 0, 1},
          .range = range,
          .falloff = 0,
          .attenuation0 = a0,
          .attenuation1 = a1,
          .attenuation2 = a2};
}

inline raster::Mat4 Translation(float x, float y, float z) {
  raster::Mat4 m = raster::Mat4::Identity();
  m.m[3][0] = x;
  m.m[3][1] = y;
  m.m[3][2] = z;
  return m;
}

// A UV sphere, outward normals, triangles clockwise as seen from outside.
inline Mesh Sphere(float radius, int slices, int stacks, uint32_t diffuse = 0xFFFFFFFF) {
  Mesh m;
  const float pi = 3.14159265f;
  for (int i = 0; i <= stacks; ++i) {
    const float th = pi * float(i) / float(stacks);
    for (int j = 0; j <= slices; ++j) {
      const float ph = 2 * pi * float(j) / float(slices);
      const float nx = std::sin(th) * std::cos(ph), ny = std::cos(th), nz = std::sin(th) * std::sin(ph);
      m.vertices.push_back({radius * nx, radius * ny, radius * nz, nx, ny, nz, diffuse, 0, float(j) / float(slices),
                            float(i) / float(stacks)});
    }
  }
  for (int i = 0; i < stacks; ++i)
    for (int j = 0; j < slices; ++j) {
      const uint16_t a = uint16_t(i * (slices + 1) + j), b = uint16_t(a + 1), c = uint16_t(a + slices + 1),
                     d = uint16_t(c + 1);
      m.indices.insert(m.indices.end(), {a, b, c, b, d, c});
    }
  return m;
}

// A quad in the plane z = const facing -z (towards the default camera), clockwise on screen.
inline Mesh Quad(float x0, float y0, float x1, float y1, float z, uint32_t diffuse = 0xFFFFFFFF, float uMax = 1,
                 float vMax = 1) {
  Mesh m;
  m.vertices = {{x0, y1, z, 0, 0, -1, diffuse, 0, 0, 0},
                {x1, y1, z, 0, 0, -1, diffuse, 0, uMax, 0},
                {x1, y0, z, 0, 0, -1, diffuse, 0, uMax, vMax},
                {x0, y0, z, 0, 0, -1, diffuse, 0, 0, vMax}};
  m.indices = {0, 1, 2, 0, 2, 3};
  return m;
}

struct Difference {
  double psnr = 0;         // over the colour channels, 8-bit scale
  double fractionOff = 0;  // share of pixels with a channel off by more than 8/255
  int maxDelta = 0;
};

inline Difference Compare(const Canvas& a, const Canvas& b) {
  Difference d;
  double se = 0;
  long off = 0;
  const long n = long(a.Width()) * a.Height();
  for (int y = 0; y < a.Height(); ++y)
    for (int x = 0; x < a.Width(); ++x) {
      const Rgba8 p = a.Pixel(x, y), q = b.Pixel(x, y);
      const int dr = std::abs(p.r - q.r), dg = std::abs(p.g - q.g), db = std::abs(p.b - q.b);
      se += double(dr * dr + dg * dg + db * db);
      const int m = std::max({dr, dg, db});
      d.maxDelta = std::max(d.maxDelta, m);
      if (m > 8) ++off;
    }
  const double mse = se / (3.0 * double(n));
  d.psnr = mse == 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
  d.fractionOff = double(off) / double(n);
  return d;
}

// Pixels that differ from the given raw value.
inline long CountNot(const Canvas& c, uint32_t raw) {
  long n = 0;
  for (int y = 0; y < c.Height(); ++y)
    for (int x = 0; x < c.Width(); ++x) n += c.Raw(x, y) != raw;
  return n;
}

}  // namespace rastertest
