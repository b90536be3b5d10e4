// One TSXScene::Render of a frame tree shaped like the game's: 370 frames (root, camera,
// ship with blade and six flames, 12 enemies, the target, planet, colony, 101 stars,
// 31 missiles, 101 shots with 101 sprites, 11 explosions), about 250 of them showing a
// mesh, in all four blend modes.
//
// BM_RenderNullDevice hands the draws to a device that does nothing, so it measures the
// scene library alone: traversal, world matrices, queueing and the flush loops.
// BM_RenderRGBDevice draws the same tree through the software RGB device at 640 x 480
// (Clear, BeginScene, Render, EndScene), i.e. a whole 3-D frame of the game.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "SXlib/TSXFrame.h"
#include "SXlib/TSXLight.h"
#include "SXlib/TSXMaterial.h"
#include "SXlib/TSXMesh.h"
#include "SXlib/TSXScene.h"
#include "kiln/TKiln.h"
#include "platform/d3d/D3D7.h"
#include "platform/d3d/Direct3D.h"
#include "platform/ddraw/DDraw.h"
#include "platform/host/services/ImageCodecs.h"
#include "support/NullD3DDevice.h"
#include "support/PixelFormats.h"

namespace {

// ---- A device that accepts every call and draws nothing, counting the draws -------------

class NullDevice final : public d3dtest::NullDevice {
 public:
  long draws = 0;
  HRESULT DrawIndexedPrimitiveVB(D3DPRIMITIVETYPE, IDirect3DVertexBuffer7*, DWORD, DWORD, const WORD*, DWORD,
                                 DWORD) override {
    ++draws;
    return D3D_OK;
  }
};

// ---- Meshes of roughly the game's sizes --------------------------------------------------

struct Vertex {
  float x, y, z, nx, ny, nz;
  uint32_t diffuse, specular;
  float u, v;
};
static_assert(sizeof(Vertex) == 40);

std::unique_ptr<TSXMesh> MakeMesh(TKiln* kiln, const std::vector<Vertex>& v, const std::vector<uint16_t>& idx) {
  auto mesh = std::make_unique<TSXMesh>(kiln);
  mesh->SetSize(static_cast<uint16_t>(v.size()), static_cast<uint16_t>(idx.size()));
  std::memcpy(mesh->Lock(), v.data(), v.size() * sizeof(Vertex));
  mesh->Unlock();
  mesh->Indices = idx;
  mesh->Optimize();
  return mesh;
}

std::unique_ptr<TSXMesh> Sphere(TKiln* kiln, float r, int slices, int stacks, uint32_t colour) {
  std::vector<Vertex> v;
  std::vector<uint16_t> idx;
  const float pi = 3.14159265f;
  for (int a = 0; a <= stacks; ++a)
    for (int b = 0; b <= slices; ++b) {
      const float th = pi * a / stacks, ph = 2 * pi * b / slices;
      const float nx = std::sin(th) * std::cos(ph), ny = std::cos(th), nz = std::sin(th) * std::sin(ph);
      v.push_back({r * nx, r * ny, r * nz, nx, ny, nz, colour, 0, float(b) / slices, float(a) / stacks});
    }
  for (int a = 0; a < stacks; ++a)
    for (int b = 0; b < slices; ++b) {
      const auto p = uint16_t(a * (slices + 1) + b), q = uint16_t(p + 1), s = uint16_t(p + slices + 1),
                 t = uint16_t(s + 1);
      idx.insert(idx.end(), {p, q, s, q, t, s});
    }
  return MakeMesh(kiln, v, idx);
}

std::unique_ptr<TSXMesh> Quad(TKiln* kiln, float h) {
  return MakeMesh(kiln,
                  {{-h, -h, 0, 0, 0, -1, 0xFFFFFFFF, 0, 0, 1},
                   {-h, h, 0, 0, 0, -1, 0xFFFFFFFF, 0, 0, 0},
                   {h, h, 0, 0, 0, -1, 0xFFFFFFFF, 0, 1, 0},
                   {h, -h, 0, 0, 0, -1, 0xFFFFFFFF, 0, 1, 1}},
                  {0, 1, 2, 0, 2, 3});
}

std::unique_ptr<TSXMesh> Triangle(TKiln* kiln) {
  return MakeMesh(kiln,
                  {{0, 0.3f, 0, 0, 0, -1, 0xFFFFFFFF, 0, 0, 0},
                   {0.3f, -0.3f, 0, 0, 0, -1, 0xFFFFFFFF, 0, 0, 0},
                   {-0.3f, -0.3f, 0, 0, 0, -1, 0xFFFFFFFF, 0, 0, 0}},
                  {0, 1, 2});
}

// ---- The game's tree ---------------------------------------------------------------------

class GameTree {
 public:
  // Textures need a DirectDraw object; with none (the null device) they are surfaceless
  // stand-ins that still differ by identity, which is all the queue compares.
  explicit GameTree(TKiln* kiln) {
    InitTrigTables();
    scene = std::make_unique<TSXScene>(kiln);
    scene->SetViewport(0, 0, 640, 480);
    scene->SetProjection(0.7853982f, 0.75f, 1, 5000);
    lights = std::make_unique<TSXLightGroup>(kiln, 147);
    lights->GetLight(0)->SetDirectional(VecMake(-2500, -2500, 0));
    lights->GetLight(0)->SetEnabled(1);
    lights->GetLight(1)->SetDirectional(VecMake(0, 0, 3000));
    lights->GetLight(1)->SetDiffuse(0.5f, 0.5f, 3.5f);
    lights->GetLight(1)->SetEnabled(1);

    TSXMaterial glow(kiln), star(kiln), earth(kiln);
    glow.SetEmissive(8, 8, 8);
    star.SetAmbient(2, 2, 2);
    earth.SetDiffuse(0.08f, 0.08f, 0.08f);

    body = Sphere(kiln, 2, 15, 10, 0xFFC8CCDC);
    blade = Sphere(kiln, 1, 10, 6, 0xFFD8E6FF);
    planet = Sphere(kiln, 60, 40, 16, 0xFFFFFFFF);
    colony = Sphere(kiln, 20, 24, 12, 0xFFB0B0B0);
    enemyMesh = Sphere(kiln, 2, 15, 10, 0xFF8090FF);
    target = Sphere(kiln, 10, 20, 12, 0xFF909090);
    missile = Sphere(kiln, 0.6f, 8, 4, 0xFFFFFFFF);
    star3 = Triangle(kiln);
    beam = Quad(kiln, 2);
    fire = Quad(kiln, 0.7f);
    bomb = Quad(kiln, 8);
    for (auto& t : textures) t = std::make_unique<TKilnTexture>(kiln->DirectDraw ? kiln : nullptr, 64, 64, 0, "RGB565");

    root = TSXFrame::CreateRoot();
    camera = TSXFrame::CreateRoot();
    scene->Camera = camera.get();
    camera->SetPosition(nullptr, VecMake(0, 4, -18));

    uint32_t seed = 7;
    auto rnd = [&seed](float lo, float hi) {
      seed = seed * 1664525u + 1013904223u;
      return lo + (hi - lo) * float(seed >> 8) / float(1 << 24);
    };
    auto child = [](TSXFrame* parent, TSXMesh* mesh, float x, float y, float z) {
      TSXFrame* f = TSXFrame::Create(parent);
      f->Mesh = mesh;
      f->SetPosition(parent, VecMake(x, y, z));
      return f;
    };

    TSXFrame* player = child(root.get(), body.get(), 0, 0, 0);
    child(player, blade.get(), 0, 0, 4)->SetRotation(player, RotX(-1024));
    for (int k = 0; k < 6; ++k) {
      TSXFrame* flame = child(player, fire.get(), float(k % 3) - 1, -1.6f, -6.5f);
      flame->BlendMode = 1;
      flame->Texture = textures[2].get();
      flame->Material = glow.MaterialData;
      if (k < 2) flame->Mesh = nullptr;  // the afterburners are off
    }
    for (int k = 0; k < 12; ++k) {
      TSXFrame* e = child(root.get(), enemyMesh.get(), rnd(-25, 25), rnd(-15, 15), rnd(30, 70));
      e->Tag = k % 3;
    }
    child(root.get(), target.get(), 0, 10, 120);
    TSXFrame* earthFrame = child(root.get(), planet.get(), -70, -50, 200);
    earthFrame->Texture = textures[0].get();
    earthFrame->Material = earth.MaterialData;
    child(root.get(), colony.get(), 60, 30, 100)->Texture = textures[1].get();
    for (int k = 0; k < 101; ++k)
      child(root.get(), star3.get(), rnd(-400, 400), rnd(-300, 300), rnd(450, 900))->Material = star.MaterialData;
    for (int k = 0; k < 31; ++k)
      child(root.get(), k < 6 ? missile.get() : nullptr, rnd(-20, 20), rnd(-15, 15), rnd(10, 60));
    for (int k = 0; k < 101; ++k) {
      const bool live = k < 60;
      const float x = rnd(-20, 20), y = rnd(-15, 15), z = rnd(20, 80);
      child(root.get(), live ? beam.get() : nullptr, x, y, z)->Texture = textures[3].get();
      TSXFrame* sprite = child(root.get(), live ? fire.get() : nullptr, x, y, z);
      // Mostly additive glows, with a few of the other blend passes among them.
      sprite->BlendMode = k % 10 == 3 ? 3 : (k % 10 == 7 ? 2 : 1);
      sprite->Specular = 0;
      sprite->Texture = textures[4].get();
      sprite->Material = glow.MaterialData;
    }
    for (int k = 0; k < 11; ++k) {
      TSXFrame* e = child(root.get(), k < 5 ? bomb.get() : nullptr, rnd(-25, 25), rnd(-15, 15), rnd(40, 70));
      e->BlendMode = k % 2 ? 1 : 2;
      e->Lighting = 0;
      e->Texture = textures[5 + k % 3].get();
      e->Material = glow.MaterialData;
    }
    CountFrames(root.get());
    frames += 1;  // the camera
  }

  static TMatrix4 RotX(TAngle a) {
    TMatrix4 m;
    MatRotationX(a, m);
    return m;
  }

  void CountFrames(const TSXFrame* f) {
    ++frames;
    if (f->Mesh) ++meshes;
    for (const TSXFrame* c : f->Children()) CountFrames(c);
  }

  int frames = 0;
  int meshes = 0;
  std::unique_ptr<TSXScene> scene;
  std::unique_ptr<TSXLightGroup> lights;
  std::unique_ptr<TSXMesh> body, blade, planet, colony, enemyMesh, target, missile, star3, beam, fire, bomb;
  std::unique_ptr<TKilnTexture> textures[8];
  std::unique_ptr<TSXFrame> root, camera;
};

void BM_RenderNullDevice(benchmark::State& st) {
  NullDevice device;
  TKiln kiln;
  kiln.Direct3D = &device;
  kiln.D3DDevice = &device;
  GameTree tree(&kiln);
  for (auto _ : st) tree.scene->Render(tree.root.get());
  st.counters["frames"] = tree.frames;
  st.counters["meshes"] = tree.meshes;
  st.counters["draws/render"] = double(device.draws) / double(st.iterations());
}
BENCHMARK(BM_RenderNullDevice)->Unit(benchmark::kMicrosecond);

// ---- The same tree through the software RGB device ---------------------------------------

template <class T>
void ReleaseRef(T*& p) {
  if (p) p->Release();
  p = nullptr;
}

void SaveRgb565(IDirectDrawSurface7* surface, const std::string& path) {
  DDSURFACEDESC2 d{};
  d.dwSize = sizeof d;
  if (FAILED(surface->Lock(nullptr, &d, DDLOCK_WAIT, nullptr))) return;
  std::vector<uint32_t> xrgb(size_t(d.dwWidth) * d.dwHeight);
  for (DWORD y = 0; y < d.dwHeight; ++y)
    for (DWORD x = 0; x < d.dwWidth; ++x) {
      uint16_t p;
      std::memcpy(&p, static_cast<const uint8_t*>(d.lpSurface) + y * d.lPitch + 2 * x, 2);
      const uint32_t r = (p >> 11) & 31, g = (p >> 5) & 63, b = p & 31;
      xrgb[y * d.dwWidth + x] = (r * 255 / 31) << 16 | (g * 255 / 63) << 8 | (b * 255 / 31);
    }
  surface->Unlock(nullptr);
  host::services::WritePngXrgb(path, xrgb.data(), int(d.dwWidth), int(d.dwHeight), int(d.dwWidth));
}

void BM_RenderRGBDevice(benchmark::State& st) {
  d3d::InstallDirect3D();
  IDirectDraw7* dd = nullptr;
  IDirect3D7* d3d = nullptr;
  IDirectDrawSurface7 *target = nullptr, *zbuffer = nullptr;
  IDirect3DDevice7* device = nullptr;
  auto surface = [&](DWORD caps, const DDPIXELFORMAT& f) {
    DDSURFACEDESC2 d{};
    d.dwSize = sizeof d;
    d.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT;
    d.dwWidth = 640;
    d.dwHeight = 480;
    d.ddsCaps.dwCaps = caps;
    d.ddpfPixelFormat = f;
    IDirectDrawSurface7* s = nullptr;
    dd->CreateSurface(&d, &s, nullptr);
    return s;
  };
  if (SUCCEEDED(DirectDrawCreateEx(nullptr, reinterpret_cast<void**>(&dd), IID_IDirectDraw7, nullptr)) && dd) {
    dd->SetCooperativeLevel(nullptr, DDSCL_NORMAL);
    const DDPIXELFORMAT rgb565 = pixfmt::Rgb565();
    // The game's full-screen set-up: a 16-bit target with a 16-bit z-buffer.
    target = surface(DDSCAPS_OFFSCREENPLAIN | DDSCAPS_3DDEVICE | DDSCAPS_SYSTEMMEMORY, rgb565);
    zbuffer = surface(DDSCAPS_ZBUFFER | DDSCAPS_SYSTEMMEMORY, d3d::ZBufferFormat(0));
    if (target && zbuffer && SUCCEEDED(target->AddAttachedSurface(zbuffer)) &&
        SUCCEEDED(dd->QueryInterface(IID_IDirect3D7, reinterpret_cast<void**>(&d3d))) && d3d)
      d3d->CreateDevice(IID_IDirect3DRGBDevice, target, &device);
  }
  if (!device) {
    st.SkipWithError("no RGB device");
  } else {
    TKiln kiln;
    kiln.DirectDraw = dd;
    kiln.Direct3D = d3d;
    kiln.D3DDevice = device;
    device->SetRenderState(D3DRENDERSTATE_LIGHTING, 1);
    device->SetRenderState(D3DRENDERSTATE_AMBIENT, 0xFF808080);
    device->SetRenderState(D3DRENDERSTATE_ZENABLE, 1);
    device->SetRenderState(D3DRENDERSTATE_COLORVERTEX, 1);
    device->SetRenderState(D3DRENDERSTATE_SPECULARENABLE, 1);
    device->SetRenderState(D3DRENDERSTATE_SPECULARMATERIALSOURCE, D3DMCS_MATERIAL);
    device->SetRenderState(D3DRENDERSTATE_DITHERENABLE, 1);
    {
      GameTree tree(&kiln);
      for (auto _ : st) {
        tree.scene->Clear(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
        device->BeginScene();
        tree.scene->Render(tree.root.get());
        device->EndScene();
      }
      st.counters["meshes"] = tree.meshes;
    }
    // TAVVY_SXLIB_DUMP=folder writes the last frame as a PNG, to look at.
    if (const char* dir = std::getenv("TAVVY_SXLIB_DUMP")) SaveRgb565(target, std::string(dir) + "/scene-rgb565.png");
  }
  ReleaseRef(device);
  ReleaseRef(d3d);
  ReleaseRef(zbuffer);
  ReleaseRef(target);
  ReleaseRef(dd);
}
BENCHMARK(BM_RenderRGBDevice)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
