// One frame of a game-like scene drawn through the Direct3D devices at 640 x 480, the way the
// scene library drives them (per draw: world transform, material, texture when it changes),
// on DirectDraw surfaces. The scene is the one bench_raster draws straight into the
// rasterizers (same meshes, places, lights, textures and states), so the difference between the
// two is what the device front costs: argument checks, surface locks, the state record and the
// light list. The per-draw cost is also measured on its own with a one-triangle draw.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "common/BenchMeshes.h"
#include "platform/d3d/D3D7.h"
#include "platform/d3d/Direct3D.h"
#include "platform/ddraw/DDraw.h"
#include "platform/ddraw/DDrawMachine.h"
#include "platform/host/services/ImageCodecs.h"
#include "raster/PixelCodec.h"
#include "raster/Raster.h"
#include "support/PixelFormats.h"

namespace {

using benchscene::Cylinder;
using benchscene::kFvf;
using benchscene::Mesh;
using benchscene::Quad;
using benchscene::Sphere;
using benchscene::Star;
using benchscene::Vertex;

D3DMATRIX At(float x, float y, float z) {
  D3DMATRIX m{};
  for (int k = 0; k < 4; ++k) m.m[k][k] = 1;
  m.m[3][0] = x;
  m.m[3][1] = y;
  m.m[3][2] = z;
  return m;
}

D3DMATRIX Projection() {
  const float c = std::cos(0.3926991f) / std::sin(0.3926991f), q = 5000.0f / 4999.0f;
  D3DMATRIX m{};
  m.m[0][0] = 0.75f * c;
  m.m[1][1] = c;
  m.m[2][2] = q;
  m.m[2][3] = 1;
  m.m[3][2] = -q;
  return m;
}

using pixfmt::Rgb;

D3DLIGHT7 Directional(D3DVECTOR dir, D3DCOLORVALUE diffuse, D3DCOLORVALUE specular, D3DCOLORVALUE ambient) {
  D3DLIGHT7 l{};
  l.dltType = D3DLIGHT_DIRECTIONAL;
  l.dvDirection = dir;
  l.dcvDiffuse = diffuse;
  l.dcvSpecular = specular;
  l.dcvAmbient = ambient;
  return l;
}

D3DLIGHT7 Point(D3DVECTOR at, D3DCOLORVALUE diffuse, D3DCOLORVALUE specular, D3DCOLORVALUE ambient, float range) {
  D3DLIGHT7 l{};
  l.dltType = D3DLIGHT_POINT;
  l.dvPosition = at;
  l.dcvDiffuse = diffuse;
  l.dcvSpecular = specular;
  l.dcvAmbient = ambient;
  l.dvRange = range;
  l.dvAttenuation1 = 1;
  return l;
}

// The scene on a DirectDraw machine: a 640 x 480 render target with a 16-bit z-buffer,
// textures as DirectDraw texture surfaces and optimised vertex buffers.
class FrontScene {
 public:
  FrontScene(const GUID& kind, bool x8r8g8b8, bool bilinear = false) {
    ddraw::ResetMachine();
    d3d::InstallDirect3D();
    DirectDrawCreateEx(nullptr, reinterpret_cast<void**>(&dd_), IID_IDirectDraw7, nullptr);
    dd_->SetCooperativeLevel(nullptr, DDSCL_NORMAL);
    dd_->QueryInterface(IID_IDirect3D7, reinterpret_cast<void**>(&d3d_));
    const DDPIXELFORMAT tf = x8r8g8b8 ? Rgb(32, 0xFF0000, 0xFF00, 0xFF) : Rgb(16, 0xF800, 0x07E0, 0x001F);
    target_ = Surface(DDSCAPS_OFFSCREENPLAIN | DDSCAPS_3DDEVICE | DDSCAPS_SYSTEMMEMORY, 640, 480, tf);
    const DDPIXELFORMAT zf = d3d::ZBufferFormat(0);
    zbuffer_ = Surface(DDSCAPS_ZBUFFER | DDSCAPS_SYSTEMMEMORY, 640, 480, zf);
    target_->AddAttachedSurface(zbuffer_);
    d3d_->CreateDevice(kind, target_, &device_);
    ok_ = device_ != nullptr;
    if (!ok_) return;

    earth_ = Texture(raster::PixelFormat::RGB565, 256, false, 1);
    metal_ = Texture(raster::PixelFormat::RGB565, 128, false, 2);
    fire_ = Texture(raster::PixelFormat::A1R5G5B5, 128, true, 3);
    boom_ = Texture(raster::PixelFormat::A1R5G5B5, 128, true, 4);
    planet_ = Buffer(Sphere(60, 40, 16));  // 1,280 triangles
    colony_ = Buffer(Cylinder(20, 300, 48, 6));
    craft_ = Buffer(Sphere(2, 15, 10));  // 300 triangles
    star_ = Buffer(Star());
    sprite_ = Buffer(Quad(0.6f));
    blast_ = Buffer(Quad(5));

    // The same places as bench_raster, from the same generator.
    const benchscene::Places places = benchscene::ScenePlaces();
    DWORD light = 0;
    auto add = [&](const D3DLIGHT7& l) {
      device_->SetLight(light, &l);
      device_->LightEnable(light++, TRUE);
    };
    add(Directional({-1, -1, 0}, {1, 1, 1, 0}, {0.8f, 0.8f, 0.8f, 0}, {5, 5, 5, 0}));
    add(Directional({0, 0, 1}, {0.5f, 0.5f, 3.5f, 0}, {}, {}));
    for (int k = 0; k < 3; ++k) add(Point({0, 2, 18}, {15, 3, 3, 0}, {}, {}, 5));
    for (const auto& p : places.craft) craftAt_.push_back(At(p[0], p[1], p[2]));
    for (const auto& p : places.stars) starAt_.push_back(At(p[0], p[1], p[2]));
    for (const auto& p : places.sprites) {
      spriteAt_.push_back(At(p[0], p[1], p[2]));
      const D3DMATRIX& m = spriteAt_.back();
      add(Point({m.m[3][0], m.m[3][1], m.m[3][2]}, {300, 300, 300, 0}, {300, 300, 300, 0}, {100, 100, 100, 0}, 50));
    }
    for (int k = 0; k < 11; ++k) {
      const auto& p = places.blasts[size_t(k)];
      blastAt_.push_back(At(p[0], p[1], p[2]));
      const D3DMATRIX& m = blastAt_.back();
      const float c = float(10 + 3 * k);
      add(Point({m.m[3][0], m.m[3][1], m.m[3][2]}, {100, 100 - 5 * c, 100 - 5 * c, 0}, {}, {}, 300 - 6 * c));
    }
    // The rest of the game's 147 lights exist, switched off.
    for (; light < 147; ++light) {
      const D3DLIGHT7 l = Point({0, 0, 0}, {15, 0, 0, 0}, {}, {}, 20);
      device_->SetLight(light, &l);
    }

    const D3DMATRIX proj = Projection();
    device_->SetTransform(D3DTRANSFORMSTATE_PROJECTION, &proj);
    const D3DVIEWPORT7 vp{0, 0, 640, 480, 0, 1};
    device_->SetViewport(&vp);
    device_->SetRenderState(D3DRENDERSTATE_LIGHTING, TRUE);
    device_->SetRenderState(D3DRENDERSTATE_AMBIENT, 0xFF808080);
    device_->SetRenderState(D3DRENDERSTATE_ZENABLE, TRUE);
    device_->SetRenderState(D3DRENDERSTATE_COLORVERTEX, TRUE);
    device_->SetRenderState(D3DRENDERSTATE_SPECULARENABLE, TRUE);
    device_->SetRenderState(D3DRENDERSTATE_SPECULARMATERIALSOURCE, D3DMCS_MATERIAL);
    device_->SetRenderState(D3DRENDERSTATE_DITHERENABLE, TRUE);
    device_->SetRenderState(D3DRENDERSTATE_COLORKEYENABLE, TRUE);  // as bench_raster draws it
    if (bilinear) {
      device_->SetTextureStageState(0, D3DTSS_MAGFILTER, D3DTFG_LINEAR);
      device_->SetTextureStageState(0, D3DTSS_MINFILTER, D3DTFN_LINEAR);
    }
  }

  ~FrontScene() {
    for (IDirect3DVertexBuffer7* b : {planet_, colony_, craft_, star_, sprite_, blast_})
      if (b) b->Release();
    for (IDirectDrawSurface7* t : {earth_, metal_, fire_, boom_})
      if (t) t->Release();
    if (device_) device_->Release();
    if (zbuffer_) zbuffer_->Release();
    if (target_) target_->Release();
    if (d3d_) d3d_->Release();
    if (dd_) dd_->Release();
  }
  FrontScene(const FrontScene&) = delete;
  FrontScene& operator=(const FrontScene&) = delete;

  bool Ok() const { return ok_; }
  IDirect3DDevice7* Device() const { return device_; }
  IDirect3DVertexBuffer7* StarBuffer() const { return star_; }
  const std::vector<WORD>& StarIndices() const { return starIndices_; }

  void Frame() {
    IDirect3DDevice7* d = device_;
    d->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    d->BeginScene();
    // Opaque pass.
    d->SetRenderState(D3DRENDERSTATE_ZWRITEENABLE, TRUE);
    d->SetRenderState(D3DRENDERSTATE_ALPHABLENDENABLE, FALSE);
    d->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    d->SetRenderState(D3DRENDERSTATE_LIGHTING, TRUE);
    D3DMATERIAL7 m{};
    m.diffuse = {1, 1, 1, 1};
    m.ambient = {0.1f, 0.1f, 0.1f, 1};
    const D3DMATRIX planetAt = At(-70, -50, 200), colonyAt = At(60, 30, 100);
    Draw(planetAt, m, earth_, planet_);
    Draw(colonyAt, m, metal_, colony_);
    for (const D3DMATRIX& w : craftAt_) Draw(w, m, nullptr, craft_);
    m.ambient = {2, 2, 2, 1};
    for (const D3DMATRIX& w : starAt_) Draw(w, m, nullptr, star_);
    // Additive pass.
    d->SetRenderState(D3DRENDERSTATE_ZWRITEENABLE, FALSE);
    d->SetRenderState(D3DRENDERSTATE_ALPHABLENDENABLE, TRUE);
    d->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
    d->SetRenderState(D3DRENDERSTATE_SRCBLEND, D3DBLEND_ONE);
    d->SetRenderState(D3DRENDERSTATE_DESTBLEND, D3DBLEND_ONE);
    m.ambient = {0.1f, 0.1f, 0.1f, 1};
    for (const D3DMATRIX& w : spriteAt_) Draw(w, m, fire_, sprite_);
    d->SetRenderState(D3DRENDERSTATE_LIGHTING, FALSE);
    for (const D3DMATRIX& w : blastAt_) Draw(w, m, boom_, blast_);
    d->SetTexture(0, nullptr);
    current_ = nullptr;
    d->EndScene();
  }

  double Coverage() {
    DDSURFACEDESC2 desc{};
    desc.dwSize = sizeof(desc);
    if (target_->Lock(nullptr, &desc, DDLOCK_WAIT, nullptr) != DD_OK) return 0;
    const int bpp = int(desc.ddpfPixelFormat.dwRGBBitCount / 8);
    long covered = 0;
    for (DWORD y = 0; y < desc.dwHeight; ++y) {
      const uint8_t* row = static_cast<const uint8_t*>(desc.lpSurface) + y * desc.lPitch;
      for (DWORD x = 0; x < desc.dwWidth; ++x) covered += row[x * bpp] != 0 || row[x * bpp + 1] != 0;
    }
    target_->Unlock(nullptr);
    return 100.0 * double(covered) / (640.0 * 480.0);
  }

  // Writes the target as a PNG, to look at.
  void Save(const std::string& path) {
    DDSURFACEDESC2 desc{};
    desc.dwSize = sizeof(desc);
    if (target_->Lock(nullptr, &desc, DDLOCK_WAIT, nullptr) != DD_OK) return;
    const bool wide = desc.ddpfPixelFormat.dwRGBBitCount == 32;
    const raster::PixelFormat f = wide ? raster::PixelFormat::X8R8G8B8 : raster::PixelFormat::RGB565;
    std::vector<uint32_t> xrgb;
    for (DWORD y = 0; y < desc.dwHeight; ++y)
      for (DWORD x = 0; x < desc.dwWidth; ++x) {
        const uint8_t* p = static_cast<const uint8_t*>(desc.lpSurface) + y * desc.lPitch + x * (wide ? 4 : 2);
        const raster::Rgba8 c = raster::DecodeRaw(f, raster::LoadRaw(f, p));
        xrgb.push_back(uint32_t(c.r) << 16 | uint32_t(c.g) << 8 | c.b);
      }
    target_->Unlock(nullptr);
    host::services::WritePngXrgb(path, xrgb.data(), 640, 480, 640);
  }

 private:
  IDirectDrawSurface7* Surface(DWORD caps, DWORD w, DWORD h, const DDPIXELFORMAT& f) {
    DDSURFACEDESC2 d{};
    d.dwSize = sizeof(d);
    d.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT;
    d.dwWidth = w;
    d.dwHeight = h;
    d.ddsCaps.dwCaps = caps;
    d.ddpfPixelFormat = f;
    IDirectDrawSurface7* s = nullptr;
    dd_->CreateSurface(&d, &s, nullptr);
    return s;
  }

  IDirectDrawSurface7* Texture(raster::PixelFormat format, int size, bool keyed, uint32_t seed) {
    const DDPIXELFORMAT f = format == raster::PixelFormat::RGB565 ? Rgb(16, 0xF800, 0x07E0, 0x001F)
                                                                  : Rgb(16, 0x7C00, 0x03E0, 0x001F, 0x8000);
    IDirectDrawSurface7* s = Surface(DDSCAPS_TEXTURE | DDSCAPS_SYSTEMMEMORY, DWORD(size), DWORD(size), f);
    DDSURFACEDESC2 d{};
    d.dwSize = sizeof(d);
    s->Lock(nullptr, &d, DDLOCK_WAIT, nullptr);
    for (int y = 0; y < size; ++y)
      for (int x = 0; x < size; ++x) {
        seed = seed * 1664525u + 1013904223u;
        const uint8_t n = uint8_t(seed >> 24);
        const bool hole = keyed && ((x / 8 + y / 8) % 3 == 0);
        const raster::Rgba8 c = hole ? raster::Rgba8{0, 0, 0, 255}
                                     : raster::Rgba8{uint8_t(x * 255 / size), n, uint8_t(y * 255 / size), 255};
        const uint16_t v = uint16_t(raster::EncodeRaw(format, c, raster::kRoundThreshold));
        std::memcpy(static_cast<uint8_t*>(d.lpSurface) + y * d.lPitch + 2 * x, &v, 2);
      }
    s->Unlock(nullptr);
    if (keyed) {
      DDCOLORKEY key{0, 0};
      s->SetColorKey(DDCKEY_SRCBLT, &key);
    }
    return s;
  }

  IDirect3DVertexBuffer7* Buffer(const Mesh& mesh) {
    D3DVERTEXBUFFERDESC desc{sizeof(desc), D3DVBCAPS_SYSTEMMEMORY, kFvf, DWORD(mesh.v.size())};
    IDirect3DVertexBuffer7* vb = nullptr;
    d3d_->CreateVertexBuffer(&desc, &vb, 0);
    void* p = nullptr;
    vb->Lock(DDLOCK_WAIT, &p, nullptr);
    std::memcpy(p, mesh.v.data(), mesh.v.size() * sizeof(Vertex));
    vb->Unlock();
    vb->Optimize(device_, 0);
    indices_.push_back(mesh.i);
    vertexCounts_.push_back(DWORD(mesh.v.size()));
    buffers_.push_back(vb);
    if (mesh.i.size() == 3) starIndices_ = mesh.i;
    return vb;
  }

  // What the rendering queue sends for one item.
  void Draw(const D3DMATRIX& world, const D3DMATERIAL7& material, IDirectDrawSurface7* texture,
            IDirect3DVertexBuffer7* vb) {
    device_->SetTransform(D3DTRANSFORMSTATE_WORLD, &world);
    device_->SetMaterial(&material);
    if (texture != current_) {
      device_->SetTexture(0, texture);
      current_ = texture;
    }
    std::size_t k = 0;
    while (buffers_[k] != vb) ++k;
    device_->DrawIndexedPrimitiveVB(D3DPT_TRIANGLELIST, vb, 0, vertexCounts_[k], indices_[k].data(),
                                    DWORD(indices_[k].size()), 0);
  }

  IDirectDraw7* dd_ = nullptr;
  IDirect3D7* d3d_ = nullptr;
  IDirectDrawSurface7* target_ = nullptr;
  IDirectDrawSurface7* zbuffer_ = nullptr;
  IDirect3DDevice7* device_ = nullptr;
  bool ok_ = false;
  IDirectDrawSurface7 *earth_ = nullptr, *metal_ = nullptr, *fire_ = nullptr, *boom_ = nullptr;
  IDirectDrawSurface7* current_ = nullptr;
  IDirect3DVertexBuffer7 *planet_ = nullptr, *colony_ = nullptr, *craft_ = nullptr, *star_ = nullptr,
                         *sprite_ = nullptr, *blast_ = nullptr;
  std::vector<IDirect3DVertexBuffer7*> buffers_;
  std::vector<std::vector<WORD>> indices_;
  std::vector<DWORD> vertexCounts_;
  std::vector<WORD> starIndices_;
  std::vector<D3DMATRIX> craftAt_, starAt_, spriteAt_, blastAt_;
};

// Point sampling is what the game sets; bilinear filtering is measured too, as a player may
// choose it.
void GameFrame(benchmark::State& st, const GUID& kind, bool x8r8g8b8, bool bilinear = false) {
  const std::string name = std::string(kind == IID_IDirect3DRefDevice ? "reference" : "fast") +
                           (x8r8g8b8 ? "-x8r8g8b8" : "-rgb565") + (bilinear ? "-bilinear" : "");
  FrontScene scene(kind, x8r8g8b8, bilinear);
  if (!scene.Ok()) {
    st.SkipWithError("no device");
    return;
  }
  for (auto _ : st) scene.Frame();
  st.counters["coverage%"] = scene.Coverage();
  // TAVVY_D3D_DUMP=folder writes the last frame as a PNG.
  if (const char* dir = std::getenv("TAVVY_D3D_DUMP")) scene.Save(std::string(dir) + "/frame-" + name + ".png");
}

// The fast device's benchmarks take the number of render threads as their argument (/1, /2).
void FastFrame(benchmark::State& st, bool x8r8g8b8, bool bilinear) {
  const int before = d3d::RenderThreads();
  d3d::SetRenderThreads(int(st.range(0)));
  GameFrame(st, IID_IDirect3DRGBDevice, x8r8g8b8, bilinear);
  d3d::SetRenderThreads(before);
}
void BM_FastRGB565(benchmark::State& st) { FastFrame(st, false, false); }
void BM_FastX8R8G8B8(benchmark::State& st) { FastFrame(st, true, false); }
void BM_FastRGB565Bilinear(benchmark::State& st) { FastFrame(st, false, true); }
void BM_FastX8R8G8B8Bilinear(benchmark::State& st) { FastFrame(st, true, true); }
void BM_ReferenceRGB565(benchmark::State& st) { GameFrame(st, IID_IDirect3DRefDevice, false); }
void BM_ReferenceX8R8G8B8(benchmark::State& st) { GameFrame(st, IID_IDirect3DRefDevice, true); }

// One star draw as the rendering queue sends it (transform, material, draw) with the scene's
// 116 lights on: the front's per-draw cost plus the rasterizer's for three vertices far away.
void BM_FrontStarDraw(benchmark::State& st) {
  FrontScene scene(IID_IDirect3DRGBDevice, false);
  IDirect3DDevice7* d = scene.Device();
  const D3DMATRIX w = At(10, 10, 600);
  D3DMATERIAL7 m{};
  m.ambient = {2, 2, 2, 1};
  d->BeginScene();
  for (auto _ : st) {
    d->SetTransform(D3DTRANSFORMSTATE_WORLD, &w);
    d->SetMaterial(&m);
    d->DrawIndexedPrimitiveVB(D3DPT_TRIANGLELIST, scene.StarBuffer(), 0, 3, scene.StarIndices().data(), 3, 0);
  }
  d->EndScene();
}

// The same draw handed to the fast rasterizer directly, with the same lights and surfaces.
void BM_RasterStarDraw(benchmark::State& st) {
  std::vector<uint8_t> pixels(size_t(640) * 480 * 2);
  std::vector<uint16_t> depth(size_t(640) * 480, 0xFFFF);
  raster::State s;
  s.target = {raster::PixelFormat::RGB565, 640, 480, 640 * 2, pixels.data()};
  s.depth = {raster::DepthFormat::D16, 640, 480, 640 * 2, depth.data()};
  s.viewport = {0, 0, 640, 480, 0, 1};
  const D3DMATRIX p = Projection();
  std::memcpy(s.projection.m, p.m, sizeof(p.m));
  s.rs.ambient = 0xFF808080;
  s.rs.specularEnable = true;
  s.rs.specularMaterialSource = raster::MaterialSource::Material;
  s.rs.ditherEnable = true;
  std::vector<raster::Light> lights(116);
  for (std::size_t k = 0; k < lights.size(); ++k) {
    lights[k].type = k < 2 ? raster::LightType::Directional : raster::LightType::Point;
    lights[k].diffuse = {1, 1, 1, 0};
    lights[k].position = {float(k % 40) - 20, 0, 50};
    lights[k].range = 50;
    lights[k].attenuation1 = 1;
  }
  s.lights = lights;
  s.material.ambient = {2, 2, 2, 1};
  const D3DMATRIX w = At(10, 10, 600);
  std::memcpy(s.world.m, w.m, sizeof(w.m));
  const Mesh star = Star();
  const raster::VertexData data{star.v.data(), sizeof(Vertex), kFvf, 3};
  auto r = raster::MakeFastRasterizer();
  for (auto _ : st) r->DrawIndexedTriangleList(s, data, star.i);
}

BENCHMARK(BM_FastRGB565)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FastX8R8G8B8)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FastRGB565Bilinear)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FastX8R8G8B8Bilinear)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReferenceRGB565)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReferenceX8R8G8B8)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FrontStarDraw);
BENCHMARK(BM_RasterStarDraw);

}  // namespace

BENCHMARK_MAIN();
