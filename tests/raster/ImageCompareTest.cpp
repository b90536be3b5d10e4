// The fast rasterizer against the reference one on scenes that exercise lighting, texturing,
// blending, depth and clipping, in the two target formats the game renders to.
//
// Tolerance: PSNR >= 40 dB and at most 0.1 % of the pixels with a channel off by more than one
// step of the target format (8/255 for 8-bit channels; 9/255 for 5- and 6-bit channels, where
// adjacent levels widen to 8 or 9 apart). The two differ by design in small ways: the fast one
// lights in single precision, carries colours in 8 bits per channel through the stage and the
// blend, and steps its interpolants incrementally along a span. Each of these moves a colour by
// at most about one 8-bit level; with dithering into 16 bits such a level can flip a pixel to
// the neighbouring 5- or 6-bit level, which is still one step. Anything beyond that (a wrong
// light, texel, blend factor, depth decision or clip) shows up as much larger differences over
// many pixels.
#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <limits>

#include "RasterTestUtil.h"

#if defined(TAVVY_TEST_PORTABLE_DEVICE)
// The fast device built a second time with the portable four-lane helpers, next to the SSE2
// build the program uses (see tests/raster/CMakeLists.txt). The SSE2 build also has its hot loops
// compiled for AVX2, which it picks where the CPU has it unless told not to.
namespace raster::fast {
namespace portable {
std::unique_ptr<Rasterizer> MakeDevice(int threads, int64_t minParallelPixels, bool allowAvx2);
const char* SimdFlavour();
}  // namespace portable
namespace sse2 {
std::unique_ptr<Rasterizer> MakeDevice(int threads, int64_t minParallelPixels, bool allowAvx2);
const char* SimdFlavour();
bool CpuHasAvx2();
}  // namespace sse2
}  // namespace raster::fast
#endif

namespace {

using namespace rastertest;

constexpr int kW = 256, kH = 192;

// A texture owned by the test: pixels from a function of (x, y).
struct OwnedTexture {
  // pad: bytes after each row, filled with noise.
  OwnedTexture(PixelFormat f, int w, int h, const std::function<Rgba8(int, int)>& fn, int pad = 0) {
    tex.format = f;
    tex.width = w;
    tex.height = h;
    tex.pitch = w * BytesPerPixel(f) + pad;
    bytes.resize(size_t(tex.pitch) * h);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = uint8_t(i * 2654435761u >> 24);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        StoreRaw(f, bytes.data() + size_t(y) * tex.pitch + size_t(x) * BytesPerPixel(f),
                 EncodeRaw(f, fn(x, y), kRoundThreshold));
    tex.pixels = bytes.data();
  }
  std::vector<uint8_t> bytes;
  Texture tex;
};

Rgba8 Checker(int x, int y) {
  const bool on = ((x / 4) + (y / 4)) % 2;
  return on ? Rgba8{uint8_t(255 - x * 8), uint8_t(y * 8), 200, 255}
            : Rgba8{40, uint8_t(x * 12), uint8_t(255 - y * 10), 255};
}

raster::Mat4 RotationX(float a) {
  raster::Mat4 m = raster::Mat4::Identity();
  m.m[1][1] = std::cos(a);
  m.m[1][2] = std::sin(a);
  m.m[2][1] = -std::sin(a);
  m.m[2][2] = std::cos(a);
  return m;
}
raster::Mat4 RotationY(float a) {
  raster::Mat4 m = raster::Mat4::Identity();
  m.m[0][0] = std::cos(a);
  m.m[0][2] = -std::sin(a);
  m.m[2][0] = std::sin(a);
  m.m[2][2] = std::cos(a);
  return m;
}
raster::Mat4 Mul(const raster::Mat4& a, const raster::Mat4& b) {
  raster::Mat4 r;
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j)
      r.m[i][j] = float(double(a.m[i][0]) * b.m[0][j] + double(a.m[i][1]) * b.m[1][j] + double(a.m[i][2]) * b.m[2][j] +
                        double(a.m[i][3]) * b.m[3][j]);
  return r;
}

State BaseState(const Canvas& c, bool dither) {
  State s = c.MakeState();
  s.projection = Perspective(0.7853982f, float(kH) / float(kW), 1.0f, 5000.0f);
  s.rs.ambient = 0xFF303030;
  s.rs.ditherEnable = dither;
  s.material.diffuse = {1, 1, 1, 1};
  s.material.ambient = {0.4f, 0.4f, 0.4f, 1};
  return s;
}

void Draw(Rasterizer& r, const State& s, const Mesh& m) {
  ASSERT_EQ(r.DrawIndexedTriangleList(s, m.Data(), m.indices), Result::Ok);
}

void Background(Rasterizer& r, const State& s) {
  ASSERT_EQ(r.Clear(s, {}, clear::Target | clear::ZBuffer, 0xFF102040, 1.0f, 0), Result::Ok);
}

std::vector<Light> SceneLights() {
  Light sun;
  sun.type = LightType::Directional;
  sun.direction = {-1, -1, 1};
  sun.diffuse = {0.9f, 0.85f, 0.8f, 1};
  sun.specular = {0.8f, 0.8f, 0.8f, 1};
  sun.ambient = {0.1f, 0.1f, 0.1f, 1};
  Light lamp = PointLight({4, 2, 6}, {3.0f, 0.6f, 0.6f, 1}, 12, 0.2f, 0.3f, 0.01f);
  lamp.specular = {1.0f, 0.3f, 0.3f, 1};
  lamp.ambient = {0.2f, 0.0f, 0.0f, 1};
  const Light dark = PointLight({-4, -3, 8}, {0.5f, -2.0f, -2.0f, 1}, 6, 0, 1, 0);  // an explosion light gone negative
  return {sun, lamp, dark};
}

void LitSpheres(Rasterizer& r, Canvas& c, bool dither, ShadeMode shade) {
  State s = BaseState(c, dither);
  s.rs.shadeMode = shade;
  const auto lights = SceneLights();
  s.lights = lights;
  s.rs.specularEnable = true;
  s.rs.specularMaterialSource = MaterialSource::Material;
  s.material.specular = {1, 1, 1, 1};
  s.material.power = 12;
  s.material.emissive = {0.05f, 0.0f, 0.1f, 1};
  Background(r, s);
  const Mesh big = Sphere(3.0f, 32, 20, 0xFFC0C0C0);
  s.world = Translation(-1.5f, 0, 12);
  Draw(r, s, big);
  s.rs.localViewer = false;
  s.material.power = 40;
  const Mesh small = Sphere(1.5f, 16, 10, 0xFF60A0FF);
  s.world = Translation(3.5f, 1.0f, 9);
  Draw(r, s, small);
  s.world = Translation(-4.0f, -2.5f, 9);
  Draw(r, s, small);
}

void TexturedQuads(Rasterizer& r, Canvas& c, bool dither) {
  State s = BaseState(c, dither);
  s.rs.lighting = false;
  Background(r, s);
  const OwnedTexture checker(PixelFormat::RGB565, 32, 32, Checker);
  // Tilted away so perspective correction matters; corner colours make the Gouraud ramp visible.
  Mesh floor = Quad(-4, -3, 4, 3, 0, 0xFFFFFFFF, 3, 3);
  floor.vertices[1].diffuse = 0xFFFF4040;
  floor.vertices[2].diffuse = 0xFF40FF40;
  floor.vertices[3].diffuse = 0xFF4040FF;
  s.texture = &checker.tex;
  s.world = Mul(RotationX(1.1f), Translation(-2, 0, 10));
  Draw(r, s, floor);
  // Colour-keyed: black texels drop out (and do not write depth).
  const OwnedTexture keyed(PixelFormat::A1R5G5B5, 16, 16, [](int x, int y) {
    return ((x + y) % 5 == 0) ? Rgba8{0, 0, 0, 255} : Rgba8{255, uint8_t(x * 16), uint8_t(y * 16), 255};
  });
  Texture k = keyed.tex;
  k.hasColorKey = true;
  k.colorKeyLow = k.colorKeyHigh = 0;
  s.texture = &k;
  s.rs.colorKeyEnable = true;
  s.world = Mul(RotationY(0.5f), Translation(3, 1, 9));
  Draw(r, s, Quad(-2, -2, 2, 2, 0, 0xFFFFFFFF, 1, 1));
  // Bilinear, 4-4-4-4 alpha blended over the rest, odd texture size.
  const OwnedTexture glass(PixelFormat::A4R4G4B4, 7, 5, [](int x, int y) {
    return Rgba8{uint8_t(x * 36), 255, uint8_t(y * 50), uint8_t(60 + x * 25)};
  });
  s.texture = &glass.tex;
  s.rs.colorKeyEnable = false;
  s.stage0.magFilter = s.stage0.minFilter = TextureFilter::Linear;
  s.stage0.alphaOp = TextureOp::Modulate;
  s.rs.alphaBlendEnable = true;
  s.rs.srcBlend = Blend::SrcAlpha;
  s.rs.destBlend = Blend::InvSrcAlpha;
  s.world = Translation(0, -1.5f, 7);
  Draw(r, s, Quad(-2.5f, -1, 2.5f, 1, 0, 0xFFFFFFFF, 1.5f, 1.5f));
}

void BlendPasses(Rasterizer& r, Canvas& c, bool dither) {
  State s = BaseState(c, dither);
  s.rs.lighting = false;
  Background(r, s);
  const OwnedTexture checker(PixelFormat::X8R8G8B8, 16, 16, Checker);
  s.texture = &checker.tex;
  s.world = Translation(0, 0, 12);
  Draw(r, s, Quad(-6, -4.5f, 6, 4.5f, 0, 0xFFFFFFFF, 2, 2));  // opaque background, writes z
  s.rs.zWriteEnable = false;
  s.rs.alphaBlendEnable = true;
  s.stage0.alphaOp = TextureOp::Modulate;
  const OwnedTexture glow(PixelFormat::A8R8G8B8, 16, 16, [](int x, int y) {
    const int d = (x - 8) * (x - 8) + (y - 8) * (y - 8);
    const int v = std::max(0, 255 - d * 4);
    return Rgba8{uint8_t(v), uint8_t(v * 3 / 4), uint8_t(v / 2), uint8_t(v)};
  });
  s.texture = &glow.tex;
  // Additive, alpha and subtractive, as the scene's three blended passes set them.
  s.rs.srcBlend = Blend::One;
  s.rs.destBlend = Blend::One;
  for (int i = 0; i < 3; ++i) {
    s.world = Translation(-3.0f + 1.2f * float(i), 1.5f, 10);
    Draw(r, s, Quad(-1.5f, -1.5f, 1.5f, 1.5f, 0, 0xFFFFC080));
  }
  s.rs.srcBlend = Blend::SrcAlpha;
  s.rs.destBlend = Blend::InvSrcAlpha;
  s.world = Translation(2.5f, 1.5f, 10);
  Draw(r, s, Quad(-1.5f, -1.5f, 1.5f, 1.5f, 0, 0x8040FF40));
  s.rs.srcBlend = Blend::Zero;
  s.rs.destBlend = Blend::InvSrcColor;
  s.world = Translation(0, -2.0f, 10);
  Draw(r, s, Quad(-2.5f, -1.5f, 2.5f, 1.5f, 0, 0xFFFFFFFF));
  // DESTCOLOR / SRCCOLOR on the untextured stage (acts as white).
  s.texture = nullptr;
  s.rs.srcBlend = Blend::DestColor;
  s.rs.destBlend = Blend::SrcColor;
  s.world = Translation(-4, -2.5f, 10);
  Draw(r, s, Quad(-1, -1, 1, 1, 0, 0xFF8080FF));
}

void DepthOverlap(Rasterizer& r, Canvas& c, bool dither) {
  State s = BaseState(c, dither);
  const auto lights = SceneLights();
  s.lights = lights;
  Background(r, s);
  // Two planes cutting through each other, and a sphere poking through both.
  s.world = Mul(RotationY(0.6f), Translation(0, 0, 10));
  Draw(r, s, Quad(-4, -3, 4, 3, 0, 0xFFFF8040));
  s.world = Mul(RotationY(-0.6f), Translation(0, 0, 10));
  Draw(r, s, Quad(-4, -2, 4, 2, 0, 0xFF4080FF));
  s.world = Translation(1, 0.5f, 10);
  Draw(r, s, Sphere(1.8f, 20, 12, 0xFF80FF80));
}

void NearPlane(Rasterizer& r, Canvas& c, bool dither) {
  State s = BaseState(c, dither);
  s.rs.lighting = false;
  s.rs.cullMode = CullMode::None;
  Background(r, s);
  const OwnedTexture checker(PixelFormat::RGB565, 32, 32, Checker);
  s.texture = &checker.tex;
  // A floor running from behind the eye to far away: clipped at the near plane, perspective
  // texturing all the way, colours interpolated through the clip.
  Mesh m;
  // (The texture coordinates are offset a little from round values: on a floor every pixel of a
  // row shares one v, and a row whose v lands exactly on a texel boundary would flip as a whole
  // on the last bit of rounding.)
  m.vertices = {{-6, -2, -3, 0, 1, 0, 0xFFFF0000, 0, 0.0137f, 0.0213f},
                {6, -2, -3, 0, 1, 0, 0xFF00FF00, 0, 4.0137f, 0.0213f},
                {0, -2, 60, 0, 1, 0, 0xFF0000FF, 0, 2.0137f, 12.0213f}};
  m.indices = {0, 1, 2};
  Draw(r, s, m);
  // And one crossing the far plane.
  s.projection = Perspective(0.7853982f, float(kH) / float(kW), 1.0f, 40.0f);
  m.vertices = {{-8, 1, 20, 0, 0, -1, 0xFFFFFFFF, 0, 0, 0},
                {8, 1, 20, 0, 0, -1, 0xFFFFFF00, 0, 4, 0},
                {0, 6, 80, 0, 0, -1, 0xFFFF00FF, 0, 2, 8}};
  Draw(r, s, m);
  // One reaching far beyond the guard band on three sides (clipped there, not only cut to the
  // viewport), and one with a corner that is not a number (dropped whole).
  m.vertices = {{-4000, -3, 12, 0, 0, -1, 0xFF40FFFF, 0, 0, 0},
                {4000, -3, 12, 0, 0, -1, 0xFFFF4040, 0, 4, 0},
                {0, 4000, 12, 0, 0, -1, 0xFF4040FF, 0, 2, 8}};
  Draw(r, s, m);
  m.vertices = {{-3, 2, 9, 0, 0, -1, 0xFFFFFFFF, 0, 0, 0},
                {std::numeric_limits<float>::quiet_NaN(), 3, 9, 0, 0, -1, 0xFFFFFFFF, 0, 1, 0},
                {3, 2, 9, 0, 0, -1, 0xFFFFFFFF, 0, 1, 1}};
  Draw(r, s, m);
}

// What the game draws, under either filter: a lit, textured, specular sphere (specular from the
// vertex colour, as with the default material sources), then colour-keyed sprites in the
// additive, alpha and subtractive passes with power-of-two textures.
void GameSprites(Rasterizer& r, Canvas& c, bool dither, TextureFilter filter) {
  State s = BaseState(c, dither);
  const auto lights = SceneLights();
  s.lights = lights;
  s.stage0.magFilter = s.stage0.minFilter = filter;
  s.rs.specularEnable = true;
  s.material.power = 20;
  Background(r, s);
  const OwnedTexture checker(PixelFormat::RGB565, 32, 32, Checker);
  s.texture = &checker.tex;
  Mesh ball = Sphere(3.0f, 24, 16, 0xFFE0E0E0);
  for (MeshVertex& v : ball.vertices) {
    v.specular = 0xFF9090FF;
    v.u *= 3;
    v.v *= 2;
  }
  s.world = Mul(RotationY(0.4f), Translation(-1.0f, 0, 11));
  Draw(r, s, ball);
  s.rs.localViewer = false;
  s.world = Translation(3.5f, -1.5f, 9);
  Draw(r, s, Sphere(1.5f, 12, 8, 0xFF80FF80));

  const OwnedTexture fire(PixelFormat::A1R5G5B5, 16, 16, [](int x, int y) {
    const int d = (x - 8) * (x - 8) + (y - 8) * (y - 8);
    return d > 40 ? Rgba8{0, 0, 0, 255} : Rgba8{255, uint8_t(255 - d * 5), uint8_t(d * 6), 255};
  });
  Texture keyed = fire.tex;
  keyed.hasColorKey = true;
  s.texture = &keyed;
  s.rs.colorKeyEnable = true;
  s.rs.zWriteEnable = false;
  s.rs.alphaBlendEnable = true;
  s.stage0.alphaOp = TextureOp::Modulate;
  const Blend passes[3][2] = {
      {Blend::One, Blend::One}, {Blend::SrcAlpha, Blend::InvSrcAlpha}, {Blend::Zero, Blend::InvSrcColor}};
  for (int pass = 0; pass < 3; ++pass) {
    s.rs.srcBlend = passes[pass][0];
    s.rs.destBlend = passes[pass][1];
    s.rs.lighting = pass != 0;
    for (int i = 0; i < 4; ++i) {
      s.world = Mul(RotationY(0.3f * float(i)), Translation(-4.0f + 2.6f * float(i), 2.5f - 2.2f * float(pass), 8.5f));
      Draw(r, s, Quad(-1.3f, -1.3f, 1.3f, 1.3f, 0, pass == 1 ? 0xA0FFFFFF : 0xFFFFC080, 1.0f + 0.5f * float(i), 1.0f));
    }
  }
  // Untextured, the stage as the device leaves it then: colour and alpha are the diffuse ones.
  s.texture = nullptr;
  s.stage0.colorOp = s.stage0.alphaOp = TextureOp::SelectArg1;
  s.stage0.colorArg1 = s.stage0.alphaArg1 = ta::Current;
  s.rs.srcBlend = Blend::SrcAlpha;
  s.rs.destBlend = Blend::InvSrcAlpha;
  s.world = Translation(0, -3.0f, 8);
  Draw(r, s, Sphere(1.2f, 12, 8, 0x80FFFF40));
}

struct Scene {
  const char* name;
  std::function<void(Rasterizer&, Canvas&, bool)> draw;
};

struct Case {
  Scene scene;
  PixelFormat format;
};

class ImageCompare : public ::testing::TestWithParam<Case> {};

TEST_P(ImageCompare, FastMatchesReference) {
  const Case& k = GetParam();
  const bool dither = k.format == PixelFormat::RGB565;
  Canvas ref(k.format, kW, kH), fast(k.format, kW, kH);
  auto rr = MakeReferenceRasterizer();
  auto fr = MakeFastRasterizer();
  k.scene.draw(*rr, ref, dither);
  k.scene.draw(*fr, fast, dither);
  const std::string name = std::string(k.scene.name) + (dither ? "_565" : "_8888");
  ref.Dump(name + "_ref");
  fast.Dump(name + "_fast");

  // Something must have been drawn over a good part of the picture.
  const uint32_t background = EncodeRaw(k.format, {0x10, 0x20, 0x40, 0xFF}, kRoundThreshold);
  EXPECT_GT(CountNot(ref, background), kW * kH / 10);

  const Difference d = Compare(ref, fast);
  const int step = k.format == PixelFormat::RGB565 ? 9 : 8;
  long off = 0;
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x) {
      const Rgba8 a = ref.Pixel(x, y), b = fast.Pixel(x, y);
      off += std::max({std::abs(a.r - b.r), std::abs(a.g - b.g), std::abs(a.b - b.b)}) > step;
    }
  RecordProperty("psnr", std::to_string(d.psnr));
  RecordProperty("pixels_off", std::to_string(off));
  EXPECT_GE(d.psnr, 40.0) << name;
  EXPECT_LE(double(off) / (kW * kH), 0.001) << name << ": " << off << " pixels off, max delta " << d.maxDelta;

  // The same bits with the rows shared between 2 and 4 threads (every draw shared, however small).
  for (int threads : {2, 4}) {
    Canvas shared(k.format, kW, kH);
    auto tr = MakeFastRasterizerWithThreads(threads, 0);
    k.scene.draw(*tr, shared, dither);
    EXPECT_TRUE(shared.Bytes() == fast.Bytes()) << name << " differs with " << threads << " threads";
  }
}

// A device whose draws' textures outlive them, as a batch needs (a scene's textures end with
// it): each draw samples a copy of its texture's pixels, kept until the device goes.
class TexturesKept final : public Rasterizer {
 public:
  explicit TexturesKept(std::unique_ptr<Rasterizer> device) : device_(std::move(device)) {}
  Result Clear(const State& s, std::span<const Rect> rects, uint32_t flags, uint32_t argb, float z,
               uint32_t stencil) override {
    return device_->Clear(s, rects, flags, argb, z, stencil);
  }
  Result DrawIndexedTriangleList(const State& s, const VertexData& vd, std::span<const uint16_t> indices) override {
    if (!s.texture) return device_->DrawIndexedTriangleList(s, vd, indices);
    const auto* bytes = static_cast<const uint8_t*>(s.texture->pixels);
    pixels_.emplace_back(bytes, bytes + size_t(s.texture->pitch) * s.texture->height);
    Texture t = *s.texture;
    t.pixels = pixels_.back().data();
    State copy = s;
    copy.texture = &t;
    return device_->DrawIndexedTriangleList(copy, vd, indices);
  }
  void BeginBatch() override { device_->BeginBatch(); }
  void Flush() override { device_->Flush(); }
  void EndBatch() override { device_->EndBatch(); }

 private:
  std::unique_ptr<Rasterizer> device_;
  std::deque<std::vector<uint8_t>> pixels_;
};

// Whole frames, bit for bit, against the device on one thread: on 1, 2 and 4 threads (every draw
// shared, however small), kept to the SSE2 loops where it would pick AVX2, and built with the
// portable four-lane helpers instead of SSE2.
TEST_P(ImageCompare, SameFramesOnEveryThreadCountAndSimdPath) {
  const Case& k = GetParam();
  const bool dither = k.format == PixelFormat::RGB565;
  Canvas one(k.format, kW, kH);
  k.scene.draw(*MakeFastRasterizerWithThreads(1, 0), one, dither);
  struct Device {
    const char* name;
    std::function<std::unique_ptr<Rasterizer>(int)> make;
  };
  std::vector<Device> devices = {{"program's", [](int n) { return MakeFastRasterizerWithThreads(n, 0); }}};
#if defined(TAVVY_TEST_PORTABLE_DEVICE)
  // The two builds really are different code.
  ASSERT_STREQ(raster::fast::portable::SimdFlavour(), "portable");
  ASSERT_STREQ(raster::fast::sse2::SimdFlavour(), "sse2");
  devices.push_back({"SSE2 (no AVX2)", [](int n) { return raster::fast::sse2::MakeDevice(n, 0, false); }});
  devices.push_back({"portable", [](int n) { return raster::fast::portable::MakeDevice(n, 0, false); }});
  RecordProperty("program_uses_avx2", raster::fast::sse2::CpuHasAvx2() ? "yes" : "no (this CPU has no AVX2)");
#else
  RecordProperty("simd_paths", "one (this build has no SIMD path besides the portable one)");
#endif
  // Batched, the pixels of every draw are left to the bands until the batch ends.
  for (const Device& d : devices)
    for (int threads : {1, 2, 4})
      for (const bool batched : {false, true}) {
        Canvas other(k.format, kW, kH);
        TexturesKept r(d.make(threads));
        if (batched) r.BeginBatch();
        k.scene.draw(r, other, dither);
        r.EndBatch();
        size_t differ = 0;
        for (int y = 0; y < kH; ++y)
          for (int x = 0; x < kW; ++x)
            differ += other.Raw(x, y) != one.Raw(x, y) || other.Depth(x, y) != one.Depth(x, y);
        EXPECT_EQ(differ, 0u) << k.scene.name << ": the " << d.name << " device on " << threads << " threads"
                              << (batched ? ", batched," : "") << " differs in colour or depth";
      }
}

// A checker texture with colour-keyed holes.
struct KeyedChecker : OwnedTexture {
  KeyedChecker()
      : OwnedTexture(PixelFormat::A1R5G5B5, 32, 32, [](int x, int y) {
          return (x / 4 + y / 4) % 3 == 0 ? Rgba8{0, 0, 0, 255} : Checker(x, y);
        }) {
    tex.hasColorKey = true;
  }
};

// The program's device on one thread and, where the build has them, its SSE2 and portable copies.
using NamedDevice = std::pair<std::string, std::function<std::unique_ptr<Rasterizer>()>>;
std::vector<NamedDevice> SimdPathDevices() {
  std::vector<NamedDevice> devices = {{"program's", [] { return MakeFastRasterizerWithThreads(1, 0); }}};
#if defined(TAVVY_TEST_PORTABLE_DEVICE)
  devices.push_back({"SSE2 (no AVX2)", [] { return raster::fast::sse2::MakeDevice(1, 0, false); }});
  devices.push_back({"portable", [] { return raster::fast::portable::MakeDevice(1, 0, false); }});
#endif
  return devices;
}

// The common-case span loops over every depth format and compare function they take, both
// filters, a colour key and the blends, drawn over colour and depth buffers of noise (so every
// comparison goes both ways, and a 24-bit format's low byte must come through untouched): the
// colour and depth bytes are the same on every SIMD path.
TEST(ImageCompareDepth, EveryDepthFormatAndFunctionGivesTheSameBytesOnEverySimdPath) {
  const KeyedChecker keyed;
  const std::vector<NamedDevice> devices = SimdPathDevices();
  const Mesh ball = Sphere(1.6f, 23, 15, 0xFFC0A080), slab = Quad(-3.1f, -1.3f, 2.7f, 1.9f, 9.5f, 0xC080FFC0, 3, 2);
  for (const DepthFormat df : {DepthFormat::D16, DepthFormat::D24X8, DepthFormat::D32})
    for (const PixelFormat pf : {PixelFormat::RGB565, PixelFormat::X8R8G8B8})
      for (uint32_t f = uint32_t(CmpFunc::Never); f <= uint32_t(CmpFunc::Always); ++f)
        for (const bool linear : {false, true}) {
          std::vector<std::vector<uint8_t>> colours, depths;
          std::vector<uint8_t> noisyDepth;
          for (const auto& [name, make] : devices) {
            Canvas c(pf, kW, kH, df);
            uint32_t seed = 11 + f;
            auto noise = [&seed](std::vector<uint8_t>& bytes) {
              for (uint8_t& b : bytes) {
                seed = seed * 1664525u + 1013904223u;
                b = uint8_t(seed >> 24);
              }
            };
            noise(c.Bytes());
            noise(c.DepthBuffer());
            noisyDepth = c.DepthBuffer();
            const auto r = make();
            State s = BaseState(c, pf == PixelFormat::RGB565);
            s.rs.zFunc = CmpFunc(f);
            s.rs.colorKeyEnable = true;
            s.texture = &keyed.tex;
            s.stage0.magFilter = s.stage0.minFilter = linear ? TextureFilter::Linear : TextureFilter::Point;
            const std::vector<Light> lights = SceneLights();
            s.lights = lights;
            // Depth written, then added and alpha-blended over it without writing.
            s.world = Mul(RotationY(0.4f), Translation(-0.9f, 0.2f, 6.0f));
            Draw(*r, s, ball);
            s.world = Mat4::Identity();
            s.rs.alphaBlendEnable = true;
            s.rs.srcBlend = s.rs.destBlend = Blend::One;
            Draw(*r, s, slab);
            s.rs.zWriteEnable = false;
            s.rs.srcBlend = Blend::SrcAlpha;
            s.rs.destBlend = Blend::InvSrcAlpha;
            s.world = Mul(RotationX(0.7f), Translation(1.2f, -0.4f, 7.0f));
            Draw(*r, s, ball);
            colours.push_back(c.Bytes());
            depths.push_back(c.DepthBuffer());
          }
          for (size_t d = 1; d < devices.size(); ++d) {
            EXPECT_TRUE(colours[d] == colours[0]) << devices[d].first << " device, depth format " << int(df)
                                                  << ", function " << f << (linear ? ", bilinear" : "") << ": colours";
            EXPECT_TRUE(depths[d] == depths[0]) << devices[d].first << " device, depth format " << int(df)
                                                << ", function " << f << (linear ? ", bilinear" : "") << ": depths";
          }
          // Over the noise, Never leaves every byte as it was; Less writes some depths and keeps others.
          if (f == uint32_t(CmpFunc::Never)) {
            EXPECT_TRUE(depths[0] == noisyDepth);
          }
          if (f == uint32_t(CmpFunc::Less)) {
            size_t changed = 0;
            for (size_t i = 0; i < noisyDepth.size(); ++i) changed += depths[0][i] != noisyDepth[i];
            EXPECT_GT(changed, noisyDepth.size() / 50) << "depth format " << int(df);
            EXPECT_LT(changed, noisyDepth.size() / 2) << "depth format " << int(df);
          }
        }
}

// Pretransformed triangles are not clipped in depth: a ramp from below 0 to above 1 crosses both
// ends of every depth format inside groups of pixels, and each pixel's depth is clamped to the
// range on its own. The bytes are the same on every SIMD path, and the ends are 0 and the
// format's largest value.
TEST(ImageCompareDepth, DepthsBeyondTheRangeAreClampedPixelByPixelOnEverySimdPath) {
  const std::vector<NamedDevice> devices = SimdPathDevices();
  constexpr uint32_t kMax[] = {0, 0xFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFFFF};  // by DepthFormat
  for (const DepthFormat df : {DepthFormat::D16, DepthFormat::D24X8, DepthFormat::D32})
    for (const PixelFormat pf : {PixelFormat::RGB565, PixelFormat::X8R8G8B8}) {
      std::vector<std::vector<uint8_t>> depths;
      for (const auto& [name, make] : devices) {
        Canvas c(pf, kW, kH, df);
        const auto r = make();
        State s = c.MakeState();
        s.rs.zFunc = CmpFunc::Always;
        // Steep and shallow ramps, rows at a slant so each row's crossings fall elsewhere in a group.
        const std::vector<ScreenVertex> v = {{-0.5f, -0.5f, -0.75f, 1, 0xFFFFFFFF, 0, 0, 0},
                                             {kW - 0.5f, 7.0f, 1.6f, 1, 0xFFFFFFFF, 0, 0, 0},
                                             {kW - 0.5f, kH - 0.5f, 1.9f, 1, 0xFFFFFFFF, 0, 0, 0},
                                             {-0.5f, kH - 0.5f, -2.5f, 1, 0xFFFFFFFF, 0, 0, 0}};
        const std::vector<uint16_t> indices = {0, 1, 2, 0, 2, 3};
        ASSERT_EQ(
            r->DrawIndexedTriangleList(s, {v.data(), sizeof(ScreenVertex), kScreenFvf, uint32_t(v.size())}, indices),
            Result::Ok);
        for (int y = 9; y < kH; y += 9) {  // row 0 ends short of the right edge
          EXPECT_EQ(c.Depth(0, y), 0u) << name << ", depth format " << int(df) << ", row " << y;
          EXPECT_EQ(c.Depth(kW - 1, y), kMax[int(df)]) << name << ", depth format " << int(df) << ", row " << y;
        }
        depths.push_back(c.DepthBuffer());
      }
      for (size_t d = 1; d < devices.size(); ++d)
        EXPECT_TRUE(depths[d] == depths[0]) << devices[d].first << " device, depth format " << int(df);
    }
}

// A triangle whose specular colour is black at two corners and green at the third adds a green
// that fades from that corner, whichever corner it is, on the reference device and every SIMD
// path of the fast one (which leaves out the specular sum of a triangle black at every corner).
TEST(ImageCompareSpecular, AColourAtOneCornerAloneIsAddedOnEveryPath) {
  std::vector<NamedDevice> devices = SimdPathDevices();
  devices.push_back({"reference", [] { return MakeReferenceRasterizer(); }});
  const float corners[3][2] = {{10, 10}, {200, 20}, {60, 170}};  // clockwise
  for (int lit = 0; lit < 3; ++lit)
    for (const auto& [name, make] : devices) {
      Canvas c(PixelFormat::X8R8G8B8, kW, kH, DepthFormat::D16);
      const auto r = make();
      State s = c.MakeState();
      s.rs.specularEnable = true;
      s.rs.zFunc = CmpFunc::Always;
      std::vector<ScreenVertex> v;
      for (int k = 0; k < 3; ++k)
        v.push_back({corners[k][0], corners[k][1], 0.5f, 1, 0xFF200000, k == lit ? 0xFF00FF00u : 0xFF000000u, 0, 0});
      const std::vector<uint16_t> indices = {0, 1, 2};
      ASSERT_EQ(r->DrawIndexedTriangleList(s, {v.data(), sizeof(ScreenVertex), kScreenFvf, 3}, indices), Result::Ok);
      const float cx = (corners[0][0] + corners[1][0] + corners[2][0]) / 3,
                  cy = (corners[0][1] + corners[1][1] + corners[2][1]) / 3;
      const Rgba8 centre = c.Pixel(int(cx), int(cy));
      // A tenth of the way from the lit corner to the centre.
      const Rgba8 near = c.Pixel(int(corners[lit][0] + (cx - corners[lit][0]) / 10),
                                 int(corners[lit][1] + (cy - corners[lit][1]) / 10));
      EXPECT_NEAR(centre.g, 85, 3) << name << ", corner " << lit;
      EXPECT_GT(near.g, 220) << name << ", corner " << lit;
      EXPECT_EQ(centre.r, 0x20) << name << ", corner " << lit;
      EXPECT_EQ(near.b, 0) << name << ", corner " << lit;
    }
}

// Spans that end inside a group of pixels, also against the right edge of a target whose width
// is no multiple of four or eight and whose rows are padded: every pixel, depth and padding byte
// the draw does not cover keeps its bytes, and the covered ones do not depend on what was under
// them, on every SIMD path.
TEST(ImageCompareEdges, PixelsPastASpansEndKeepTheirBytes) {
  const KeyedChecker keyed;
  const std::vector<NamedDevice> devices = SimdPathDevices();
  // Unlit, so every covered pixel gets a colour that is not black.
  const Mesh ball = Sphere(1.6f, 23, 15, 0xFFC0A080), slab = Quad(-1.0f, -2.0f, 9.0f, 0.5f, 9.5f, 0xC080FFC0, 3, 2);
  constexpr int w = 61, h = 37, pad = 6;
  for (const DepthFormat df : {DepthFormat::D16, DepthFormat::D24X8, DepthFormat::D32})
    for (const PixelFormat pf : {PixelFormat::RGB565, PixelFormat::X8R8G8B8})
      for (const bool linear : {false, true})
        for (const auto& [name, make] : devices) {
          Canvas blank(pf, w, h, df, pad), noisy(pf, w, h, df, pad);
          uint32_t seed = 5;
          for (std::vector<uint8_t>* bytes : {&noisy.Bytes(), &noisy.DepthBuffer()})
            for (uint8_t& b : *bytes) {
              seed = seed * 1664525u + 1013904223u;
              b = uint8_t(seed >> 24);
            }
          const std::vector<uint8_t> under = noisy.Bytes(), underDepth = noisy.DepthBuffer();
          for (Canvas* c : {&blank, &noisy}) {
            const auto r = make();
            State s = BaseState(*c, pf == PixelFormat::RGB565);
            s.rs.lighting = false;
            s.rs.zFunc = CmpFunc::Always;
            s.rs.colorKeyEnable = true;
            s.texture = &keyed.tex;
            s.stage0.magFilter = s.stage0.minFilter = linear ? TextureFilter::Linear : TextureFilter::Point;
            s.world = Mul(RotationY(0.4f), Translation(2.6f, 0.3f, 6.0f));
            Draw(*r, s, ball);
            s.world = Mat4::Identity();
            Draw(*r, s, slab);
          }
          const int bpp = BytesPerPixel(pf), zbpp = DepthBytes(df), pitch = w * bpp + pad;
          size_t drawn = 0, kept = 0, wrong = 0;
          for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
              const uint8_t* was = under.data() + size_t(y) * pitch + size_t(x) * bpp;
              const uint8_t* wasZ = underDepth.data() + (size_t(y) * w + x) * zbpp;
              if (blank.Raw(x, y) != 0) {
                ++drawn;
                wrong += noisy.Raw(x, y) != blank.Raw(x, y) || noisy.Depth(x, y) != blank.Depth(x, y);
              } else {
                ++kept;
                wrong += noisy.Raw(x, y) != LoadRaw(pf, was) || noisy.Depth(x, y) != LoadDepth(df, wasZ);
              }
            }
            for (int b = w * bpp; b < pitch; ++b)
              wrong += noisy.Bytes()[size_t(y) * pitch + b] != under[size_t(y) * pitch + b];
          }
          // A 24-bit format's low byte is never the draw's.
          if (df == DepthFormat::D24X8)
            for (size_t i = 0; i < underDepth.size(); i += 4) wrong += noisy.DepthBuffer()[i] != underDepth[i];
          EXPECT_EQ(wrong, 0u) << name << " device, target " << int(pf) << ", depth format " << int(df)
                               << (linear ? ", bilinear" : "");
          EXPECT_GT(drawn, size_t(w * h / 5)) << name;
          EXPECT_GT(kept, size_t(w * h / 5)) << name;
          // The draw reaches the right edge.
          int rightmost = 0;
          for (int y = 0; y < h; ++y) rightmost += blank.Raw(w - 1, y) != 0;
          EXPECT_GT(rightmost, 3) << name;
        }
}

// A texture whose rows are padded (a pitch that is no power of two) draws as the same texture
// packed, with either filter, in every format the common-case loop decodes.
TEST(ImageCompareTextures, PaddedRowsDrawAsTheSameTexture) {
  const Mesh slab = Quad(-3.1f, -1.3f, 2.7f, 1.9f, 9.5f, 0xFFC0FFA0, 3, 2);
  for (const PixelFormat tf : {PixelFormat::RGB565, PixelFormat::A1R5G5B5, PixelFormat::A4R4G4B4, PixelFormat::X8R8G8B8,
                               PixelFormat::A8R8G8B8})
    for (const bool linear : {false, true}) {
      std::vector<uint8_t> frames[2];
      for (const int pad : {0, 12}) {
        const OwnedTexture t(tf, 32, 32, Checker, pad);
        Canvas c(PixelFormat::X8R8G8B8, kW, kH);
        State s = BaseState(c, false);
        s.texture = &t.tex;
        s.stage0.magFilter = s.stage0.minFilter = linear ? TextureFilter::Linear : TextureFilter::Point;
        const auto r = MakeFastRasterizerWithThreads(1, 0);
        Background(*r, s);
        Draw(*r, s, slab);
        frames[pad != 0] = c.Bytes();
      }
      EXPECT_TRUE(frames[0] == frames[1]) << "texture format " << int(tf) << (linear ? ", bilinear" : "");
      size_t textured = 0;
      for (size_t i = 0; i + 4 <= frames[0].size(); i += 4) textured += frames[0][i + 2] != 0x10;
      EXPECT_GT(textured, frames[0].size() / 4 / 8) << "texture format " << int(tf);
    }
}

// A lit draw large enough to share its vertices and triangles out among the render threads,
// with counts that do not divide evenly among 2, 3 or 4 threads (in groups of eight vertices):
// no vertex and no triangle may be left out, and the frames are the one thread's.
TEST(ImageCompareThreads, ALargeDrawSharedOutLosesNoVertexAndNoTriangle) {
  for (const int count : {257, 259, 265, 1023}) {
    // A zigzag strip across the screen: vertex i sits in column i / 2, on the upper or lower row.
    Mesh strip;
    const int columns = (count + 1) / 2;
    for (int i = 0; i < count; ++i) {
      const float x = -3.0f + 6.0f * float(i / 2) / float(columns - 1), y = (i % 2) ? -2.0f : 2.0f;
      const float tilt = 0.8f * std::sin(float(i) * 0.7f);
      strip.vertices.push_back({x, y, 10.0f + tilt, tilt, 0.3f, -1.0f, 0xFFC0C0C0u, 0, 0, 0});
    }
    for (int i = 0; i + 2 < count; ++i)
      strip.indices.insert(strip.indices.end(), {uint16_t(i), uint16_t(i + 1), uint16_t(i + 2)});
    auto draw = [&](int threads, Canvas& c) {
      State s = BaseState(c, false);
      s.rs.cullMode = CullMode::None;
      const auto lights = SceneLights();
      s.lights = lights;
      s.rs.specularEnable = true;
      s.material.specular = {1, 1, 1, 1};
      s.material.power = 10;
      const auto r = MakeFastRasterizerWithThreads(threads, 0);
      // The strip's end elsewhere first (a draw too small to share out), so a vertex left out
      // keeps a place where it shows.
      Mesh end = strip;
      end.indices.erase(end.indices.begin(), end.indices.end() - 3 * 16);
      s.world = Translation(0.5f, 1.5f, 2.0f);
      Draw(*r, s, end);
      s.world = Mat4::Identity();
      Background(*r, s);
      Draw(*r, s, strip);
    };
    Canvas one(PixelFormat::X8R8G8B8, kW, kH);
    draw(1, one);
    for (const int threads : {2, 3, 4}) {
      Canvas other(PixelFormat::X8R8G8B8, kW, kH);
      draw(threads, other);
      size_t differ = 0;
      for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) differ += other.Raw(x, y) != one.Raw(x, y) || other.Depth(x, y) != one.Depth(x, y);
      EXPECT_EQ(differ, 0u) << count << " vertices on " << threads << " threads";
    }
  }
}

// A batch that outgrows its draws, switches between two targets, is flushed and cleared in the
// middle and ends only when its device does: every pixel is where the draws finished one by one
// put it.
TEST(ImageCompareThreads, ABatchGivesTheFramesOfDrawsFinishedOneByOne) {
  // (The clears are shared by the threads too.)
  auto draw = [](Rasterizer& r, Canvas& a, Canvas& b) {
    for (Canvas* c : {&a, &b}) Background(r, BaseState(*c, true));
    // More small draws than a batch holds, alternating between the targets now and then.
    for (int k = 0; k < 4500; ++k) {
      Canvas& c = (k / 700) % 2 ? b : a;
      State s = BaseState(c, true);
      s.rs.zFunc = CmpFunc::LessEqual;
      const float x = -3.0f + 6.0f * float(k % 61) / 61.0f, y = -2.2f + 4.4f * float(k % 47) / 47.0f;
      s.rs.alphaBlendEnable = k % 3 == 0;
      s.rs.srcBlend = s.rs.destBlend = Blend::One;
      s.rs.lighting = false;
      Draw(r, s, Quad(x, y, x + 0.4f, y + 0.3f, 9.0f + float(k % 5), 0xFF000000u | (uint32_t(k) * 2654435761u >> 8)));
      if (k == 2000) r.Flush();
      if (k == 3000) Background(r, s);
      if (k == 3500) {
        // Rectangles that overlap and cross the edges: the threads share their rows.
        const Rect rects[] = {{3, 5, 40, 37}, {20, 1, kW, 30}, {-5, 20, 10, kH + 9}};
        ASSERT_EQ(r.Clear(s, rects, clear::Target | clear::ZBuffer, 0xFF336699, 0.5f, 0), Result::Ok);
      }
    }
  };
  Canvas oneA(PixelFormat::RGB565, kW, kH), oneB(PixelFormat::RGB565, kW, kH);
  draw(*MakeFastRasterizerWithThreads(1, 0), oneA, oneB);
  for (const int threads : {2, 4}) {
    Canvas a(PixelFormat::RGB565, kW, kH), b(PixelFormat::RGB565, kW, kH);
    {
      const auto r = MakeFastRasterizerWithThreads(threads, 0);
      r->BeginBatch();
      draw(*r, a, b);
    }  // the device ends with the batch open
    EXPECT_TRUE(a.Bytes() == oneA.Bytes() && a.DepthBuffer() == oneA.DepthBuffer())
        << threads << " threads, first target";
    EXPECT_TRUE(b.Bytes() == oneB.Bytes() && b.DepthBuffer() == oneB.DepthBuffer())
        << threads << " threads, second target";
  }
}

const Scene kScenes[] = {
    {"LitSpheres", [](Rasterizer& r, Canvas& c, bool d) { LitSpheres(r, c, d, ShadeMode::Gouraud); }},
    {"LitSpheresFlat", [](Rasterizer& r, Canvas& c, bool d) { LitSpheres(r, c, d, ShadeMode::Flat); }},
    {"TexturedQuads", TexturedQuads},
    {"BlendPasses", BlendPasses},
    {"DepthOverlap", DepthOverlap},
    {"NearPlane", NearPlane},
    {"GameSpritesPoint", [](Rasterizer& r, Canvas& c, bool d) { GameSprites(r, c, d, TextureFilter::Point); }},
    {"GameSpritesBilinear", [](Rasterizer& r, Canvas& c, bool d) { GameSprites(r, c, d, TextureFilter::Linear); }},
};

std::vector<Case> AllCases() {
  std::vector<Case> v;
  for (const Scene& s : kScenes)
    for (PixelFormat f : {PixelFormat::RGB565, PixelFormat::X8R8G8B8}) v.push_back({s, f});
  return v;
}

INSTANTIATE_TEST_SUITE_P(Scenes, ImageCompare, ::testing::ValuesIn(AllCases()), [](const auto& info) {
  return std::string(info.param.scene.name) + (info.param.format == PixelFormat::RGB565 ? "_RGB565" : "_X8R8G8B8");
});

// Flat and Gouraud shading of the same lit sphere must differ visibly (the flat one shows facets).
TEST(ImageCompareSanity, FlatDiffersFromGouraud) {
  Canvas flat(PixelFormat::X8R8G8B8, kW, kH), smooth(PixelFormat::X8R8G8B8, kW, kH);
  auto r = MakeReferenceRasterizer();
  LitSpheres(*r, flat, false, ShadeMode::Flat);
  LitSpheres(*r, smooth, false, ShadeMode::Gouraud);
  EXPECT_LT(Compare(flat, smooth).psnr, 35.0);
}

}  // namespace
