// The devices against the documented behaviour of Direct3D 7, on the fast and the reference
// device and into 16- and 32-bit targets: where a pixel is sampled, pretransformed vertices
// and their z, clearing without rectangles, stages that read a texture that is not there, and
// the depth-buffer layouts a device can be given. Expected pixels are worked out by hand.
#include <array>
#include <string>

#include "D3DTestUtil.h"
#include "platform/ddraw/DDrawTestUtil.h"

namespace d3dtest {
namespace {

struct DeviceSetup {
  const char* name;
  const GUID* device;
  bool wide;  // X8R8G8B8 target with a 24-bit z-buffer, else RGB565 with a 16-bit one
};

class Conformance : public DeviceFixture, public ::testing::WithParamInterface<DeviceSetup> {
 protected:
  void SetUp() override {
    D3DFixture::SetUp();
    const DeviceSetup& s = GetParam();
    target = MakeTarget(s.wide ? Xrgb8888() : Rgb565(), kSize, kSize);
    zbuffer = AttachZBuffer(target.Get(), s.wide ? 1 : 0);
    device = MakeDevice(*s.device, target.Get());
    ASSERT_TRUE(device);
    ASSERT_EQ(device->SetRenderState(D3DRENDERSTATE_LIGHTING, FALSE), D3D_OK);
    ASSERT_EQ(device->SetRenderState(D3DRENDERSTATE_CULLMODE, D3DCULL_NONE), D3D_OK);
    ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0), D3D_OK);
  }
  HRESULT Draw(const std::vector<ScreenVertex>& v, const std::vector<WORD>& idx = QuadIndices()) {
    return DrawList(device.Get(), kScreenFvf, v, idx);
  }
  bool Is(int x, int y, Rgb want) {
    const Rgb c = PixelAt(target.Get(), x, y);
    return c.r == want.r && c.g == want.g && c.b == want.b;
  }
  // The depth stored at a pixel, as the fraction of the z-buffer's full scale it stands for.
  uint32_t StoredDepth(int x, int y) {
    DDSURFACEDESC2 d{};
    d.dwSize = sizeof(d);
    if (zbuffer->Lock(nullptr, &d, DDLOCK_WAIT, nullptr) != DD_OK) return 0xFFFFFFFF;
    const uint8_t* row = static_cast<const uint8_t*>(d.lpSurface) + static_cast<std::size_t>(y) * d.lPitch;
    uint32_t v = 0;
    if (GetParam().wide) {
      std::memcpy(&v, row + 4 * x, 4);
      v >>= 8;  // depth in the top 24 bits
    } else {
      uint16_t s = 0;
      std::memcpy(&s, row + 2 * x, 2);
      v = s;
    }
    zbuffer->Unlock(nullptr);
    return v;
  }
  double DepthScale() const { return GetParam().wide ? 16777215.0 : 65535.0; }

  static constexpr int kSize = 80;
};

// ---- Pixel centres -----------------------------------------------------------------------

TEST_P(Conformance, PretransformedTrianglesCoverThePixelCentresInsideThem) {
  // Corners on whole pixels (4, 4), (20, 4), (4, 20): centres on the top and left edges are
  // in, those on the long edge x + y = 24 are out.
  ASSERT_EQ(
      Draw({{4, 4, 0.5f, 1, 0xFFFFFFFF, 0, 0}, {20, 4, 0.5f, 1, 0xFFFFFFFF, 0, 0}, {4, 20, 0.5f, 1, 0xFFFFFFFF, 0, 0}},
           {0, 1, 2}),
      D3D_OK);
  // Corners on half pixels (40.5, 40.5)-(50.5, 46.5): columns 41..50, rows 41..46.
  ASSERT_EQ(Draw(ScreenQuad(40.5f, 40.5f, 50.5f, 46.5f, 0.5f, 0xFFFFFFFF)), D3D_OK);
  for (int y = 0; y < kSize; ++y)
    for (int x = 0; x < kSize; ++x) {
      const bool inside = (x >= 4 && y >= 4 && x + y < 24) || (x >= 41 && x <= 50 && y >= 41 && y <= 46);
      ASSERT_EQ(Is(x, y, {255, 255, 255}), inside) << x << "," << y;
    }
}

TEST_P(Conformance, TexturedQuadCopiesATextureTexelForTexel) {
  // 64 x 64 texels, each its own colour; the quad's corners half a pixel before the first
  // and after the last pixel centre: pixel (8 + i, 8 + j) is texel (i, j), point sampled.
  const bool wide = GetParam().wide;
  const DDPIXELFORMAT tf = d3d::TextureFormat(wide ? 4 : 0);
  Ref<IDirectDrawSurface7> tex = MakeSurface(DDSCAPS_TEXTURE | DDSCAPS_SYSTEMMEMORY, 64, 64, &tf);
  ASSERT_TRUE(tex);
  // Levels that survive both targets: red and green step by 8 and 4, so every 5- and 6-bit
  // value is hit exactly.
  auto colour = [](int i, int j) { return Rgb{(i * 8) & 0xF8, (j * 4) & 0xFC, ((i * 7 + j * 13) & 31) * 8}; };
  DDSURFACEDESC2 d{};
  d.dwSize = sizeof(d);
  ASSERT_EQ(tex->Lock(nullptr, &d, DDLOCK_WAIT, nullptr), DD_OK);
  for (int j = 0; j < 64; ++j)
    for (int i = 0; i < 64; ++i) {
      const Rgb c = colour(i, j);
      uint8_t* p = static_cast<uint8_t*>(d.lpSurface) + j * d.lPitch;
      if (wide) {
        const uint32_t v = uint32_t(c.r) << 16 | uint32_t(c.g) << 8 | uint32_t(c.b);
        std::memcpy(p + 4 * i, &v, 4);
      } else {
        const uint16_t v = uint16_t((c.r >> 3) << 11 | (c.g >> 2) << 5 | (c.b >> 3));
        std::memcpy(p + 2 * i, &v, 2);
      }
    }
  ASSERT_EQ(tex->Unlock(nullptr), DD_OK);
  ASSERT_EQ(device->SetTexture(0, tex.Get()), D3D_OK);
  // ReadPixels widens 5- and 6-bit channels by repeating their top bits.
  auto widen = [wide](const Rgb& c) {
    if (wide) return c;
    return Rgb{c.r | (c.r >> 5), c.g | (c.g >> 6), c.b | (c.b >> 5)};
  };
  ASSERT_EQ(Draw(ScreenQuad(7.5f, 7.5f, 71.5f, 71.5f, 0.5f, 0xFFFFFFFF)), D3D_OK);
  for (int y = 0; y < kSize; ++y)
    for (int x = 0; x < kSize; ++x) {
      const int i = x - 8, j = y - 8;
      const bool inside = i >= 0 && i < 64 && j >= 0 && j < 64;
      ASSERT_TRUE(Is(x, y, inside ? widen(colour(i, j)) : Rgb{0, 0, 0})) << x << "," << y;
    }
}

TEST_P(Conformance, DepthReadBackIsThePlaneAtThePixelsIntegerCentre) {
  // A quad over the whole target on the plane z = x / 160 + y / 320.
  const float e = float(kSize);
  ASSERT_EQ(Draw({{0, 0, 0.0f, 1, 0xFFFFFFFF, 0, 0},
                  {e, 0, 0.5f, 1, 0xFFFFFFFF, 0, 0},
                  {e, e, 0.75f, 1, 0xFFFFFFFF, 0, 0},
                  {0, e, 0.25f, 1, 0xFFFFFFFF, 0, 0}}),
            D3D_OK);
  const std::array<std::array<int, 2>, 5> probes = {{{0, 0}, {40, 12}, {60, 5}, {3, 50}, {79, 79}}};
  for (const auto& p : probes) {
    const double z = p[0] / 160.0 + p[1] / 320.0;
    EXPECT_EQ(StoredDepth(p[0], p[1]), uint32_t(z * DepthScale() + 0.5)) << p[0] << "," << p[1];
  }
}

// ---- Pretransformed vertices and z -------------------------------------------------------

TEST_P(Conformance, PretransformedQuadWithZOutsideTheDepthRangeIsDrawnWholeWithZOff) {
  ASSERT_EQ(device->SetRenderState(D3DRENDERSTATE_ZENABLE, D3DZB_FALSE), D3D_OK);
  // z runs from -1 at the left edge to 2 at the right: two thirds of it lie outside [0, 1].
  std::vector<ScreenVertex> quad = ScreenQuad(10, 10, 70, 30, 0.0f, 0xFF00FF00);
  quad[0].z = quad[3].z = -1.0f;
  quad[1].z = quad[2].z = 2.0f;
  ASSERT_EQ(Draw(quad), D3D_OK);
  // Wholly beyond the far plane and wholly before the near one.
  ASSERT_EQ(Draw(ScreenQuad(10, 40, 70, 50, 7.0f, 0xFFFF0000)), D3D_OK);
  ASSERT_EQ(Draw(ScreenQuad(10, 55, 70, 65, -3.0f, 0xFF0000FF)), D3D_OK);
  for (int y = 0; y < kSize; ++y)
    for (int x = 0; x < kSize; ++x) {
      Rgb want{0, 0, 0};
      if (x >= 10 && x < 70 && y >= 10 && y < 30) want = {0, 255, 0};
      if (x >= 10 && x < 70 && y >= 40 && y < 50) want = {255, 0, 0};
      if (x >= 10 && x < 70 && y >= 55 && y < 65) want = {0, 0, 255};
      ASSERT_TRUE(Is(x, y, want)) << x << "," << y;
    }
}

// ---- Clear ---------------------------------------------------------------------------------

TEST_P(Conformance, ClearWithACountAndNoRectanglesClearsTheViewport) {
  const D3DVIEWPORT7 vp{16, 8, 40, 30, 0, 1};
  ASSERT_EQ(device->SetViewport(&vp), D3D_OK);
  ASSERT_EQ(device->Clear(1, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFFFFFFFF, 0.5f, 0), D3D_OK);
  ASSERT_EQ(device->Clear(3, nullptr, D3DCLEAR_TARGET, 0xFFFFFFFF, 0, 0), D3D_OK);
  for (int y = 0; y < kSize; ++y)
    for (int x = 0; x < kSize; ++x) {
      const bool inside = x >= 16 && x < 56 && y >= 8 && y < 38;
      ASSERT_TRUE(Is(x, y, inside ? Rgb{255, 255, 255} : Rgb{0, 0, 0})) << x << "," << y;
      ASSERT_EQ(StoredDepth(x, y), inside ? uint32_t(0.5 * DepthScale() + 0.5) : uint32_t(DepthScale()))
          << x << "," << y;
    }
}

// ---- Textures ------------------------------------------------------------------------------

TEST_P(Conformance, SetTextureWithANonTextureSurfaceBindsNothing) {
  const DDPIXELFORMAT tf = d3d::TextureFormat(GetParam().wide ? 4 : 0);
  Ref<IDirectDrawSurface7> tex = MakeSurface(DDSCAPS_TEXTURE | DDSCAPS_SYSTEMMEMORY, 8, 8, &tf);
  Ref<IDirectDrawSurface7> plain = MakeSurface(DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY, 8, 8, nullptr);
  ASSERT_TRUE(tex);
  ASSERT_TRUE(plain);
  ASSERT_EQ(device->SetTexture(0, tex.Get()), D3D_OK);
  const ULONG plainRefs = RefCount(plain.Get()), texRefs = RefCount(tex.Get());
  EXPECT_EQ(device->SetTexture(0, plain.Get()), D3D_OK);
  IDirectDrawSurface7* bound = reinterpret_cast<IDirectDrawSurface7*>(0x1);
  ASSERT_EQ(device->GetTexture(0, &bound), D3D_OK);
  EXPECT_EQ(bound, nullptr);
  EXPECT_EQ(RefCount(plain.Get()), plainRefs);  // not held
  EXPECT_EQ(RefCount(tex.Get()), texRefs - 1);  // the earlier texture was let go
  // The render target itself is no texture either.
  EXPECT_EQ(device->SetTexture(0, target.Get()), D3D_OK);
  ASSERT_EQ(device->GetTexture(0, &bound), D3D_OK);
  EXPECT_EQ(bound, nullptr);
  // The texture (black, as made) is not drawn with: the stage reads as having none.
  ASSERT_EQ(Draw(ScreenQuad(0, 0, 80, 80, 0.5f, 0xFF00FFFF)), D3D_OK);
  EXPECT_TRUE(Is(40, 40, {0, 255, 255}));
}

TEST_P(Conformance, StageReadingAMissingTextureTakesTheCurrentColour) {
  // No texture bound: every operation that reads D3DTA_TEXTURE passes the diffuse colour
  // through (it is the current colour at stage 0).
  struct Stage {
    DWORD op, arg1, arg2;
    const char* what;
  };
  const Stage stages[] = {
      {D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE, "select texture"},
      {D3DTOP_SELECTARG2, D3DTA_DIFFUSE, D3DTA_TEXTURE, "select texture as second"},
      {D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE, "modulate"},
      {D3DTOP_ADD, D3DTA_TEXTURE, D3DTA_DIFFUSE, "add"},
      {D3DTOP_MODULATE2X, D3DTA_TEXTURE, D3DTA_CURRENT, "modulate 2x"},
  };
  // A colour both targets hold exactly (5- and 6-bit levels widened to 8 bits).
  const DWORD diffuse = 0xFF4282C6;
  const Rgb want{0x42, 0x82, 0xC6};
  for (const Stage& s : stages) {
    ASSERT_EQ(device->SetTextureStageState(0, D3DTSS_COLOROP, s.op), D3D_OK);
    ASSERT_EQ(device->SetTextureStageState(0, D3DTSS_COLORARG1, s.arg1), D3D_OK);
    ASSERT_EQ(device->SetTextureStageState(0, D3DTSS_COLORARG2, s.arg2), D3D_OK);
    ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0), D3D_OK);
    ASSERT_EQ(Draw(ScreenQuad(0, 0, 80, 80, 0.5f, diffuse)), D3D_OK);
    const Rgb got = PixelAt(target.Get(), 40, 40);
    EXPECT_TRUE(got.r == want.r && got.g == want.g && got.b == want.b)
        << s.what << ": " << got.r << " " << got.g << " " << got.b;
  }
  // An operation that does not read the texture is left alone: diffuse x texture factor.
  ASSERT_EQ(device->SetRenderState(D3DRENDERSTATE_TEXTUREFACTOR, 0xFF848284), D3D_OK);
  ASSERT_EQ(device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1), D3D_OK);
  ASSERT_EQ(device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TFACTOR), D3D_OK);
  ASSERT_EQ(Draw(ScreenQuad(0, 0, 80, 80, 0.5f, diffuse)), D3D_OK);
  EXPECT_TRUE(Is(40, 40, {0x84, 0x82, 0x84}));

  // The alpha stage alike: SELECTARG1 of the texture takes the diffuse alpha, which the
  // blend then uses. 0x40 of white over black: 64 / 255 of 255 = 64, which a 16-bit target
  // holds as 8 / 31 (66 widened) in red and blue and 16 / 63 (65) in green.
  ASSERT_EQ(device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE), D3D_OK);
  ASSERT_EQ(device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE), D3D_OK);
  ASSERT_EQ(device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1), D3D_OK);
  ASSERT_EQ(device->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE), D3D_OK);
  ASSERT_EQ(device->SetRenderState(D3DRENDERSTATE_ALPHABLENDENABLE, TRUE), D3D_OK);
  ASSERT_EQ(device->SetRenderState(D3DRENDERSTATE_SRCBLEND, D3DBLEND_SRCALPHA), D3D_OK);
  ASSERT_EQ(device->SetRenderState(D3DRENDERSTATE_DESTBLEND, D3DBLEND_INVSRCALPHA), D3D_OK);
  ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0), D3D_OK);
  ASSERT_EQ(Draw(ScreenQuad(0, 0, 80, 80, 0.5f, 0x40FFFFFF)), D3D_OK);
  const Rgb blended = PixelAt(target.Get(), 40, 40);
  const bool wide = GetParam().wide;
  EXPECT_EQ(blended.r, wide ? 64 : 66);
  EXPECT_EQ(blended.g, wide ? 64 : 65);
  EXPECT_EQ(blended.b, wide ? 64 : 66);
}

const DeviceSetup kSetups[] = {
    {"Fast16", &IID_IDirect3DRGBDevice, false},
    {"Fast32", &IID_IDirect3DRGBDevice, true},
    {"Reference16", &IID_IDirect3DRefDevice, false},
    {"Reference32", &IID_IDirect3DRefDevice, true},
};

INSTANTIATE_TEST_SUITE_P(Devices, Conformance, ::testing::ValuesIn(kSetups),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- Depth-buffer layouts --------------------------------------------------------------------

class DepthLayouts : public D3DFixture {
 protected:
  // A 16 x 16 z-buffer of `format` in system memory, or the reason there is none.
  HRESULT MakeDepth(const DDPIXELFORMAT& format, Ref<IDirectDrawSurface7>& out) {
    DDSURFACEDESC2 d{};
    d.dwSize = sizeof(d);
    d.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT;
    d.dwWidth = d.dwHeight = 16;
    d.ddsCaps.dwCaps = DDSCAPS_ZBUFFER | DDSCAPS_SYSTEMMEMORY;
    d.ddpfPixelFormat = format;
    return dd->CreateSurface(&d, out.Out(), nullptr);
  }
};

using ddtest::Depth;

TEST_F(DepthLayouts, DepthInTheLowBitsIsRefusedWhenTheSurfaceIsMade) {
  for (const DDPIXELFORMAT& f : {Depth(32, 0x00FFFFFF), Depth(32, 0x00FFFFFF, 8, 0xFF000000)}) {
    Ref<IDirectDrawSurface7> z;
    EXPECT_EQ(MakeDepth(f, z), DDERR_INVALIDPIXELFORMAT) << std::hex << f.dwZBitMask;
    EXPECT_FALSE(z);
  }
}

TEST_F(DepthLayouts, EveryLayoutThatCanBeMadeAndAttachedIsClearedAndDrawnInto) {
  const DDPIXELFORMAT layouts[] = {
      Depth(16, 0xFFFF),
      Depth(16, 0x7FFF, 1, 0x8000),
      Depth(16, 0xFFFE, 1, 0x1),
      Depth(16, 0x0FFF),
      Depth(24, 0xFFFFFF),
      Depth(32, 0x00FFFFFF),
      Depth(32, 0x00FFFFFF, 8, 0xFF000000),
      Depth(32, 0xFFFFFF00),
      Depth(32, 0xFFFFFF00, 8, 0xFF),
      Depth(32, 0xFFFFFFFF),
      Depth(32, 0x0000FFFF),
      Depth(32, 0xFFFF0000),
      Depth(32, 0x00FFFFFF, 4, 0x0F000000),
  };
  int usable = 0;
  for (const DDPIXELFORMAT& f : layouts) {
    for (const GUID* kind : {&IID_IDirect3DRGBDevice, &IID_IDirect3DRefDevice}) {
      Ref<IDirectDrawSurface7> target = MakeTarget(Xrgb8888(), 16, 16);
      Ref<IDirectDrawSurface7> z;
      if (MakeDepth(f, z) != DD_OK || target->AddAttachedSurface(z.Get()) != DD_OK) continue;
      ++usable;
      Ref<IDirect3DDevice7> device = MakeDevice(*kind, target.Get());
      ASSERT_TRUE(device);
      const std::string what =
          "z mask " + std::to_string(f.dwZBitMask) + " bits " + std::to_string(f.dwZBufferBitDepth);
      ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 0.5f, 0), D3D_OK) << what;
      ExpectDepthDecides(device.Get(), target.Get(), what);
    }
  }
  // The layouts the devices enumerate are among them, on both devices.
  EXPECT_EQ(usable, 2 * d3d::kZBufferFormatCount);
}

}  // namespace
}  // namespace d3dtest
