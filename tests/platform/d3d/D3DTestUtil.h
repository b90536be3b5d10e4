// Scaffolding for the Direct3D tests: a DirectDraw object on the default emulated machine,
// render targets, z-buffers and textures made through it, vertex buffers, pixel reads and
// a PNG of a target for looking at (when TAVVY_D3D_DUMP names a folder).
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/d3d/D3D7.h"
#include "platform/d3d/Direct3D.h"
#include "platform/ddraw/DDraw.h"
#include "platform/ddraw/DDrawMachine.h"
#include "platform/host/services/ImageCodecs.h"
#include "support/PixelFormats.h"

namespace d3dtest {

// One reference to a COM-style object, released at the end of the scope.
template <class T>
class Ref {
 public:
  Ref() = default;
  explicit Ref(T* p) : p_(p) {}
  Ref(const Ref&) = delete;
  Ref& operator=(const Ref&) = delete;
  Ref(Ref&& o) noexcept : p_(o.p_) { o.p_ = nullptr; }
  Ref& operator=(Ref&& o) noexcept {
    if (this != &o) {
      Reset();
      p_ = o.p_;
      o.p_ = nullptr;
    }
    return *this;
  }
  ~Ref() { Reset(); }
  void Reset() {
    if (p_) p_->Release();
    p_ = nullptr;
  }
  // Gives the reference up, returning what Release reports.
  ULONG Drop() {
    T* p = p_;
    p_ = nullptr;
    return p ? p->Release() : 0;
  }
  T* Get() const { return p_; }
  T* operator->() const { return p_; }
  T** Out() {
    Reset();
    return &p_;
  }
  explicit operator bool() const { return p_ != nullptr; }

 private:
  T* p_ = nullptr;
};

template <class T>
ULONG RefCount(T* p) {
  p->AddRef();
  return p->Release();
}

using pixfmt::Rgb565;
using pixfmt::Xrgb8888;

struct Rgb {
  int r, g, b;
};

// The emulated machine with a DirectDraw object in normal cooperative level and its Direct3D.
class D3DFixture : public ::testing::Test {
 public:
  void SetUp() override {
    ddraw::ResetMachine();
    d3d::InstallDirect3D();
    ASSERT_EQ(DirectDrawCreateEx(nullptr, reinterpret_cast<void**>(dd.Out()), IID_IDirectDraw7, nullptr), DD_OK);
    ASSERT_EQ(dd->SetCooperativeLevel(nullptr, DDSCL_NORMAL), DD_OK);
    ASSERT_EQ(dd->QueryInterface(IID_IDirect3D7, reinterpret_cast<void**>(d3d.Out())), S_OK);
  }
  void TearDown() override {
    d3d.Reset();
    dd.Reset();
    ddraw::ResetMachine();
  }

  Ref<IDirectDrawSurface7> MakeSurface(DWORD caps, DWORD width, DWORD height, const DDPIXELFORMAT* format) {
    DDSURFACEDESC2 d{};
    d.dwSize = sizeof(d);
    d.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | (format ? DDSD_PIXELFORMAT : 0);
    d.dwWidth = width;
    d.dwHeight = height;
    d.ddsCaps.dwCaps = caps;
    if (format) d.ddpfPixelFormat = *format;
    Ref<IDirectDrawSurface7> s;
    EXPECT_EQ(dd->CreateSurface(&d, s.Out(), nullptr), DD_OK);
    return s;
  }
  Ref<IDirectDrawSurface7> MakeTarget(const DDPIXELFORMAT& format, DWORD width = 64, DWORD height = 64) {
    return MakeSurface(DDSCAPS_OFFSCREENPLAIN | DDSCAPS_3DDEVICE | DDSCAPS_SYSTEMMEMORY, width, height, &format);
  }
  // Makes a z-buffer of the index-th enumerated format and attaches it to `target`.
  Ref<IDirectDrawSurface7> AttachZBuffer(IDirectDrawSurface7* target, int formatIndex = 0) {
    DDSURFACEDESC2 t{};
    t.dwSize = sizeof(t);
    target->GetSurfaceDesc(&t);
    const DDPIXELFORMAT f = d3d::ZBufferFormat(formatIndex);
    Ref<IDirectDrawSurface7> z = MakeSurface(DDSCAPS_ZBUFFER | DDSCAPS_SYSTEMMEMORY, t.dwWidth, t.dwHeight, &f);
    if (z) {
      EXPECT_EQ(target->AddAttachedSurface(z.Get()), DD_OK);
    }
    return z;
  }
  Ref<IDirect3DDevice7> MakeDevice(const GUID& kind, IDirectDrawSurface7* target) {
    Ref<IDirect3DDevice7> device;
    EXPECT_EQ(d3d->CreateDevice(kind, target, device.Out()), D3D_OK);
    return device;
  }
  // A vertex buffer holding `vertices` (plain structs of the layout of `fvf`).
  template <class V>
  Ref<IDirect3DVertexBuffer7> MakeBuffer(DWORD fvf, const std::vector<V>& vertices) {
    D3DVERTEXBUFFERDESC desc{sizeof(D3DVERTEXBUFFERDESC), D3DVBCAPS_SYSTEMMEMORY, fvf,
                             static_cast<DWORD>(vertices.size())};
    Ref<IDirect3DVertexBuffer7> vb;
    EXPECT_EQ(d3d->CreateVertexBuffer(&desc, vb.Out(), 0), D3D_OK);
    if (!vb) return vb;
    void* p = nullptr;
    DWORD size = 0;
    EXPECT_EQ(vb->Lock(DDLOCK_WAIT, &p, &size), D3D_OK);
    EXPECT_EQ(size, vertices.size() * sizeof(V));
    if (p && size == vertices.size() * sizeof(V)) std::memcpy(p, vertices.data(), size);
    vb->Unlock();
    return vb;
  }

  // Draws `vertices` as an indexed triangle list in a scene of its own; the draw's result.
  template <class V>
  HRESULT DrawList(IDirect3DDevice7* device, DWORD fvf, const std::vector<V>& vertices,
                   const std::vector<WORD>& indices) {
    Ref<IDirect3DVertexBuffer7> vb = MakeBuffer(fvf, vertices);
    if (!vb) return E_FAIL;
    EXPECT_EQ(device->BeginScene(), D3D_OK);
    const HRESULT hr = device->DrawIndexedPrimitiveVB(D3DPT_TRIANGLELIST, vb.Get(), 0, DWORD(vertices.size()),
                                                      indices.data(), DWORD(indices.size()), 0);
    EXPECT_EQ(device->EndScene(), D3D_OK);
    return hr;
  }
  // On a 16 x 16 target whose depth was cleared to 0.5, unlit: a red quad behind that depth
  // (left half) stays hidden and a green one in front of it (right half) is drawn.
  void ExpectDepthDecides(IDirect3DDevice7* device, IDirectDrawSurface7* target, const std::string& what);

  Ref<IDirectDraw7> dd;
  Ref<IDirect3D7> d3d;
};

// Draws into one target, with its z-buffer, through one device; all three let go at the end.
class DeviceFixture : public D3DFixture {
 protected:
  void TearDown() override {
    device.Reset();
    zbuffer.Reset();
    target.Reset();
    D3DFixture::TearDown();
  }

  Ref<IDirectDrawSurface7> target, zbuffer;
  Ref<IDirect3DDevice7> device;
};

// Reads a whole target as 8-bit RGB (RGB565 or X8R8G8B8 only).
inline std::vector<Rgb> ReadPixels(IDirectDrawSurface7* s, int& width, int& height) {
  DDSURFACEDESC2 d{};
  d.dwSize = sizeof(d);
  std::vector<Rgb> out;
  if (s->Lock(nullptr, &d, DDLOCK_WAIT, nullptr) != DD_OK) return out;
  width = static_cast<int>(d.dwWidth);
  height = static_cast<int>(d.dwHeight);
  for (int y = 0; y < height; ++y) {
    const uint8_t* row = static_cast<const uint8_t*>(d.lpSurface) + static_cast<std::size_t>(y) * d.lPitch;
    for (int x = 0; x < width; ++x) {
      if (d.ddpfPixelFormat.dwRGBBitCount == 16) {
        uint16_t v;
        std::memcpy(&v, row + 2 * x, 2);
        const int r = v >> 11, g = (v >> 5) & 63, b = v & 31;
        out.push_back({(r << 3) | (r >> 2), (g << 2) | (g >> 4), (b << 3) | (b >> 2)});
      } else {
        uint32_t v;
        std::memcpy(&v, row + 4 * x, 4);
        out.push_back({int((v >> 16) & 255), int((v >> 8) & 255), int(v & 255)});
      }
    }
  }
  s->Unlock(nullptr);
  return out;
}

inline Rgb PixelAt(IDirectDrawSurface7* s, int x, int y) {
  int w = 0, h = 0;
  const std::vector<Rgb> all = ReadPixels(s, w, h);
  if (x < 0 || y < 0 || x >= w || y >= h) return {-1, -1, -1};
  return all[static_cast<std::size_t>(y) * w + x];
}

// Writes the target as a PNG into $TAVVY_D3D_DUMP, if set.
inline void DumpPng(IDirectDrawSurface7* s, const std::string& name) {
  const char* dir = std::getenv("TAVVY_D3D_DUMP");
  if (!dir) return;
  int w = 0, h = 0;
  const std::vector<Rgb> px = ReadPixels(s, w, h);
  std::vector<uint32_t> xrgb;
  for (const Rgb& c : px) xrgb.push_back(uint32_t(c.r) << 16 | uint32_t(c.g) << 8 | uint32_t(c.b));
  host::services::WritePngXrgb(std::string(dir) + "/" + name + ".png", xrgb.data(), w, h, w);
}

// How far two pictures of the same size are apart.
struct ImageDiff {
  double psnr = 0;         // over all three channels, 8-bit scale; infinity when equal
  double fractionOff = 0;  // pixels with a channel off by more than `threshold`
  int maxChannelDiff = 0;
};

inline ImageDiff Compare(const std::vector<Rgb>& a, const std::vector<Rgb>& b, int threshold = 8) {
  ImageDiff d;
  if (a.size() != b.size() || a.empty()) {
    d.fractionOff = 1;
    d.maxChannelDiff = 255;
    return d;
  }
  double sq = 0;
  std::size_t off = 0;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const int dr = std::abs(a[i].r - b[i].r), dg = std::abs(a[i].g - b[i].g), db = std::abs(a[i].b - b[i].b);
    sq += double(dr * dr + dg * dg + db * db);
    const int m = std::max({dr, dg, db});
    d.maxChannelDiff = std::max(d.maxChannelDiff, m);
    if (m > threshold) ++off;
  }
  const double mse = sq / (3.0 * double(a.size()));
  d.psnr = mse == 0 ? INFINITY : 10.0 * std::log10(255.0 * 255.0 / mse);
  d.fractionOff = double(off) / double(a.size());
  return d;
}

// Position and normal (FVF XYZ | NORMAL).
struct PosNormal {
  float x, y, z, nx, ny, nz;
};
inline constexpr DWORD kPosNormalFvf = D3DFVF_XYZ | D3DFVF_NORMAL;

// The meshes' usual layout (FVF 0x1D2).
struct MeshVertex {
  float x, y, z, nx, ny, nz;
  DWORD diffuse, specular;
  float u, v;
};
inline constexpr DWORD kMeshFvf = 0x1D2;

// Screen position with 1/w, diffuse, one texture set.
struct ScreenVertex {
  float x, y, z, rhw;
  DWORD diffuse;
  float u, v;
};
inline constexpr DWORD kScreenFvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1;

inline D3DMATRIX Perspective(float fov, float aspect, float zn, float zf) {
  D3DMATRIX m{};
  const float c = std::cos(fov / 2) / std::sin(fov / 2);
  const float q = zf / (zf - zn);
  m.m[0][0] = aspect * c;
  m.m[1][1] = c;
  m.m[2][2] = q;
  m.m[2][3] = 1;
  m.m[3][2] = -zn * q;
  return m;
}

inline D3DMATRIX Translation(float x, float y, float z) {
  D3DMATRIX m{};
  for (int i = 0; i < 4; ++i) m.m[i][i] = 1;
  m.m[3][0] = x;
  m.m[3][1] = y;
  m.m[3][2] = z;
  return m;
}

// Two clockwise triangles covering the square (x0, y0)-(x1, y1) at depth z, facing the camera.
inline std::vector<WORD> QuadIndices() { return {0, 1, 2, 0, 2, 3}; }
inline std::vector<PosNormal> Quad(float x0, float y0, float x1, float y1, float z) {
  return {{x0, y1, z, 0, 0, -1}, {x1, y1, z, 0, 0, -1}, {x1, y0, z, 0, 0, -1}, {x0, y0, z, 0, 0, -1}};
}
inline std::vector<ScreenVertex> ScreenQuad(float x0, float y0, float x1, float y1, float z, DWORD diffuse) {
  return {{x0, y0, z, 1, diffuse, 0, 0},
          {x1, y0, z, 1, diffuse, 1, 0},
          {x1, y1, z, 1, diffuse, 1, 1},
          {x0, y1, z, 1, diffuse, 0, 1}};
}

inline void D3DFixture::ExpectDepthDecides(IDirect3DDevice7* device, IDirectDrawSurface7* target,
                                           const std::string& what) {
  ASSERT_EQ(device->SetRenderState(D3DRENDERSTATE_LIGHTING, FALSE), D3D_OK);
  EXPECT_EQ(DrawList(device, kScreenFvf, ScreenQuad(0, 0, 8, 16, 0.75f, 0xFFFF0000), QuadIndices()), D3D_OK) << what;
  EXPECT_EQ(DrawList(device, kScreenFvf, ScreenQuad(8, 0, 16, 16, 0.25f, 0xFF00FF00), QuadIndices()), D3D_OK) << what;
  EXPECT_EQ(PixelAt(target, 4, 8).r, 0) << what;
  EXPECT_EQ(PixelAt(target, 12, 8).g, 255) << what;
}

}  // namespace d3dtest
