// One frame of a game-like scene through each rasterizer at 640 x 480: the planet (a 1,280
// triangle textured sphere), the colony cylinder, a dozen 300-triangle craft, 101 star
// triangles, then the additive pass with 100 shot sprites (100 point lights switched on) and 11
// colour-keyed explosion quads. Render states follow the game's: lighting on, grey global
// ambient, dithering, Gouraud, specular on from a black material.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "common/BenchMeshes.h"
#include "raster/PixelCodec.h"
#include "raster/Raster.h"

namespace {

using namespace raster;

using benchscene::Cylinder;
using benchscene::kFvf;
using benchscene::Mesh;
using benchscene::Quad;
using benchscene::Sphere;
using benchscene::Star;
using benchscene::Vertex;

VertexData DataOf(const Mesh& m) { return {m.v.data(), sizeof(Vertex), kFvf, uint32_t(m.v.size())}; }

raster::Mat4 At(float x, float y, float z) {
  raster::Mat4 m = raster::Mat4::Identity();
  m.m[3][0] = x;
  m.m[3][1] = y;
  m.m[3][2] = z;
  return m;
}

struct OwnedTexture {
  OwnedTexture(PixelFormat f, int size, bool keyed, uint32_t seed) {
    t.format = f;
    t.width = t.height = uint32_t(size);
    t.pitch = size * 2;
    bytes.resize(size_t(size) * size);
    for (int y = 0; y < size; ++y)
      for (int x = 0; x < size; ++x) {
        seed = seed * 1664525u + 1013904223u;
        const uint8_t n = uint8_t(seed >> 24);
        const bool hole = keyed && ((x / 8 + y / 8) % 3 == 0);
        const Rgba8 c = hole ? Rgba8{0, 0, 0, 255} : Rgba8{uint8_t(x * 255 / size), n, uint8_t(y * 255 / size), 255};
        bytes[size_t(y) * size + x] = uint16_t(EncodeRaw(f, c, kRoundThreshold));
      }
    t.pixels = bytes.data();
    t.hasColorKey = keyed;
  }
  std::vector<uint16_t> bytes;
  Texture t;
};

struct Scene {
  Mesh planet = Sphere(60, 40, 16);  // 1,280 triangles
  Mesh colony = Cylinder(20, 300, 48, 6);
  Mesh craft = Sphere(2, 15, 10);  // 300 triangles
  Mesh star = Star();
  Mesh sprite = Quad(0.6f);
  Mesh blast = Quad(5);
  OwnedTexture earth{PixelFormat::RGB565, 256, false, 1};
  OwnedTexture metal{PixelFormat::RGB565, 128, false, 2};
  OwnedTexture fire{PixelFormat::A1R5G5B5, 128, true, 3};
  OwnedTexture boom{PixelFormat::A1R5G5B5, 128, true, 4};
  std::vector<Light> lights;
  std::vector<raster::Mat4> craftAt, starAt, spriteAt, blastAt;

  Scene() {
    const benchscene::Places places = benchscene::ScenePlaces();
    Light sun;
    sun.direction = {-1, -1, 0};
    sun.diffuse = {1, 1, 1, 0};
    sun.specular = {0.8f, 0.8f, 0.8f, 0};
    sun.ambient = {5, 5, 5, 0};
    Light blue;
    blue.direction = {0, 0, 1};
    blue.diffuse = {0.5f, 0.5f, 3.5f, 0};
    lights = {sun, blue};
    for (int k = 0; k < 3; ++k) {
      Light glow;
      glow.type = LightType::Point;
      glow.position = {0, 2, 18};
      glow.diffuse = {15, 3, 3, 0};
      glow.range = 5;
      glow.attenuation1 = 1;
      lights.push_back(glow);
    }
    for (const auto& p : places.craft) craftAt.push_back(At(p[0], p[1], p[2]));
    for (const auto& p : places.stars) starAt.push_back(At(p[0], p[1], p[2]));
    for (const auto& p : places.sprites) {
      spriteAt.push_back(At(p[0], p[1], p[2]));
      Light shot;
      shot.type = LightType::Point;
      shot.position = {spriteAt.back().m[3][0], spriteAt.back().m[3][1], spriteAt.back().m[3][2]};
      shot.diffuse = shot.specular = shot.ambient = {300, 300, 300, 0};
      shot.ambient = {100, 100, 100, 0};
      shot.range = 50;
      shot.attenuation1 = 1;
      lights.push_back(shot);
    }
    for (int k = 0; k < 11; ++k) {
      const auto& p = places.blasts[size_t(k)];
      blastAt.push_back(At(p[0], p[1], p[2]));
      Light l;
      l.type = LightType::Point;
      l.position = {blastAt.back().m[3][0], blastAt.back().m[3][1], blastAt.back().m[3][2]};
      const float c = float(10 + 3 * k);
      l.diffuse = {100, 100 - 5 * c, 100 - 5 * c, 0};  // goes negative like the game's
      l.range = 300 - 6 * c;
      l.attenuation1 = 1;
      lights.push_back(l);
    }
  }

  // The frame's parts, each setting the states it draws with.
  enum Part { kPlanet, kColony, kCraft, kStars, kSprites, kBlasts, kParts };
  static constexpr const char* kPartNames[kParts] = {"planet", "colony", "craft", "stars", "sprites", "blasts"};

  void Draw(Rasterizer& r, State& s, int part) const {
    s.lights = lights;
    const bool opaque = part < kSprites;
    s.rs.zWriteEnable = opaque;
    s.rs.alphaBlendEnable = !opaque;
    s.rs.lighting = part != kBlasts;
    s.stage0.alphaOp = opaque ? TextureOp::SelectArg1 : TextureOp::Modulate;
    s.rs.srcBlend = Blend::One;
    s.rs.destBlend = Blend::One;
    s.material = {};
    s.material.diffuse = {1, 1, 1, 1};
    s.material.ambient = part == kStars ? Color{2, 2, 2, 1} : Color{0.1f, 0.1f, 0.1f, 1};
    auto each = [&](const std::vector<raster::Mat4>& places, const Mesh& m) {
      for (const raster::Mat4& at : places) {
        s.world = at;
        r.DrawIndexedTriangleList(s, DataOf(m), m.i);
      }
    };
    switch (part) {
      case kPlanet:
        s.texture = &earth.t;
        each({At(-70, -50, 200)}, planet);
        break;
      case kColony:
        s.texture = &metal.t;
        each({At(60, 30, 100)}, colony);
        break;
      case kCraft:
        s.texture = nullptr;
        each(craftAt, craft);
        break;
      case kStars:
        s.texture = nullptr;
        each(starAt, star);
        break;
      case kSprites:
        s.texture = &fire.t;
        each(spriteAt, sprite);
        break;
      case kBlasts:
        s.texture = &boom.t;
        each(blastAt, blast);
        break;
      default:
        break;
    }
    s.stage0.alphaOp = TextureOp::SelectArg1;
  }

  void Frame(Rasterizer& r, State& s) const {
    r.Clear(s, {}, clear::Target | clear::ZBuffer, 0xFF000000, 1.0f, 0);
    for (int part = 0; part < kParts; ++part) Draw(r, s, part);
  }
};

// The rasterizer's state for the scene: a 640 x 480 target with a 16-bit depth buffer.
struct Target {
  explicit Target(PixelFormat format)
      : bpp(BytesPerPixel(format)), pixels(size_t(640) * 480 * bpp), depth(size_t(640) * 480) {
    s.target = {format, 640, 480, 640 * bpp, pixels.data()};
    s.depth = {DepthFormat::D16, 640, 480, 640 * 2, depth.data()};
    s.viewport = {0, 0, 640, 480, 0, 1};
    const float c = std::cos(0.3926991f) / std::sin(0.3926991f), q = 5000.0f / 4999.0f;
    s.projection = raster::Mat4{};
    s.projection.m[0][0] = 0.75f * c;
    s.projection.m[1][1] = c;
    s.projection.m[2][2] = q;
    s.projection.m[2][3] = 1;
    s.projection.m[3][2] = -q;
    s.rs.ambient = 0xFF808080;
    s.rs.specularEnable = true;
    s.rs.specularMaterialSource = MaterialSource::Material;
    s.rs.ditherEnable = true;
    s.rs.colorKeyEnable = true;
  }
  int bpp;
  std::vector<uint8_t> pixels;
  std::vector<uint16_t> depth;
  State s;
};

void RenderFrame(benchmark::State& st, bool fast, PixelFormat format) {
  const Scene scene;
  Target t(format);
  const int bpp = t.bpp;
  std::vector<uint8_t>& pixels = t.pixels;
  State& s = t.s;
  auto r = fast ? MakeFastRasterizer() : MakeReferenceRasterizer();
  for (auto _ : st) {
    scene.Frame(*r, s);
    benchmark::DoNotOptimize(pixels.data());
  }
  long covered = 0;
  for (size_t i = 0; i < pixels.size(); i += bpp) covered += pixels[i] != 0 || pixels[i + 1] != 0;
  st.counters["coverage%"] = 100.0 * double(covered) / (640.0 * 480.0);
  // TAVVY_RASTER_DUMP=folder writes the last frame as a PPM, to look at.
  if (const char* dir = std::getenv("TAVVY_RASTER_DUMP")) {
    std::ofstream f(std::string(dir) + (fast ? "/fast_" : "/reference_") + std::to_string(int(format)) + ".ppm",
                    std::ios::binary);
    f << "P6\n640 480\n255\n";
    for (size_t i = 0; i < pixels.size(); i += bpp) {
      const Rgba8 c = DecodeRaw(format, LoadRaw(format, pixels.data() + i));
      f.put(char(c.r)).put(char(c.g)).put(char(c.b));
    }
  }
}

// Each part of the frame alone on the fast device (RGB565, one thread), after a clear: where the
// frame's time goes, and the pixels each part draws (as the depth test lets them through).
void BM_FastPart(benchmark::State& st) {
  const Scene scene;
  Target t(PixelFormat::RGB565);
  const int part = int(st.range(0));
  st.SetLabel(Scene::kPartNames[part]);
  auto r = MakeFastRasterizerWithThreads(1);
  for (auto _ : st) {
    r->Clear(t.s, {}, clear::Target | clear::ZBuffer, 0xFF000000, 1.0f, 0);
    scene.Draw(*r, t.s, part);
    benchmark::DoNotOptimize(t.pixels.data());
  }
  long covered = 0;
  for (size_t i = 0; i < t.pixels.size(); i += 2) covered += t.pixels[i] != 0 || t.pixels[i + 1] != 0;
  st.counters["pixels"] = double(covered);
}

void BM_FastRGB565(benchmark::State& st) { RenderFrame(st, true, PixelFormat::RGB565); }
void BM_FastX8R8G8B8(benchmark::State& st) { RenderFrame(st, true, PixelFormat::X8R8G8B8); }
void BM_ReferenceRGB565(benchmark::State& st) { RenderFrame(st, false, PixelFormat::RGB565); }
void BM_ReferenceX8R8G8B8(benchmark::State& st) { RenderFrame(st, false, PixelFormat::X8R8G8B8); }

BENCHMARK(BM_FastRGB565)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FastPart)->DenseRange(0, Scene::kParts - 1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FastX8R8G8B8)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReferenceRGB565)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReferenceX8R8G8B8)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
