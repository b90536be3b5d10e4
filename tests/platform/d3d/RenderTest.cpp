// Drawing through the devices end to end: DirectDraw surfaces in, pixels read back.
// Lighting values are worked out by hand from the fixed-function equations; the fast device
// is compared with the reference device on whole scenes.
#include "D3DTestUtil.h"

namespace d3dtest {
namespace {

constexpr float kPi = 3.14159265f;

// A 64 x 64 target with a 16-bit z-buffer and a camera at the origin looking along +z.
class Render : public DeviceFixture {
 protected:
  void Make(const GUID& kind, const DDPIXELFORMAT& format, DWORD size = 64) {
    target = MakeTarget(format, size, size);
    zbuffer = AttachZBuffer(target.Get());
    device = MakeDevice(kind, target.Get());
    ASSERT_TRUE(device);
    const D3DMATRIX proj = Perspective(kPi / 2, 1.0f, 1.0f, 100.0f);
    ASSERT_EQ(device->SetTransform(D3DTRANSFORMSTATE_PROJECTION, &proj), D3D_OK);
    ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0), D3D_OK);
  }
  template <class V>
  HRESULT Draw(DWORD fvf, const std::vector<V>& vertices, const std::vector<WORD>& indices) {
    return DrawList(device.Get(), fvf, vertices, indices);
  }
  // A wall filling the view at depth 10, facing the camera.
  HRESULT DrawWall() { return Draw(kPosNormalFvf, Quad(-20, -20, 20, 20, 10), QuadIndices()); }
  Rgb Center() { return PixelAt(target.Get(), 32, 32); }

  void SetMaterial(D3DCOLORVALUE diffuse, D3DCOLORVALUE ambient, D3DCOLORVALUE emissive,
                   D3DCOLORVALUE specular = {0, 0, 0, 0}, float power = 0) {
    D3DMATERIAL7 m{};
    m.diffuse = diffuse;
    m.ambient = ambient;
    m.emissive = emissive;
    m.specular = specular;
    m.power = power;
    ASSERT_EQ(device->SetMaterial(&m), D3D_OK);
  }
  void SetLight(DWORD index, const D3DLIGHT7& l) {
    ASSERT_EQ(device->SetLight(index, &l), D3D_OK);
    ASSERT_EQ(device->LightEnable(index, TRUE), D3D_OK);
  }
  void DirectionalLightAmbientAndEmissive(const GUID& kind);
  void AttenuatedPointLightAndItsRange(const GUID& kind);
};

void ExpectNear(const Rgb& got, const Rgb& want, int tolerance, const char* what) {
  EXPECT_NEAR(got.r, want.r, tolerance) << what;
  EXPECT_NEAR(got.g, want.g, tolerance) << what;
  EXPECT_NEAR(got.b, want.b, tolerance) << what;
}

int To255(double v) { return int(std::lround(std::clamp(v, 0.0, 1.0) * 255.0)); }

// Both devices, so that the fast device's cache of the lights is seen to follow every change.
TEST_F(Render, DirectionalLightAmbientAndEmissiveByHand) {
  for (const GUID* kind : {&IID_IDirect3DRefDevice, &IID_IDirect3DRGBDevice}) {
    SCOPED_TRACE(kind == &IID_IDirect3DRefDevice ? "reference" : "fast");
    DirectionalLightAmbientAndEmissive(*kind);
  }
}

void Render::DirectionalLightAmbientAndEmissive(const GUID& kind) {
  Make(kind, Xrgb8888());
  // emissive + ambient_m * (global ambient + light ambient) + diffuse_m * (N.L) * light diffuse
  ASSERT_EQ(device->SetRenderState(D3DRENDERSTATE_AMBIENT, 0xFF404040), D3D_OK);
  SetMaterial({0.5f, 0.25f, 1.0f, 1}, {0.2f, 0.2f, 0.2f, 1}, {0.1f, 0, 0, 1});
  D3DLIGHT7 l{};
  l.dltType = D3DLIGHT_DIRECTIONAL;
  l.dcvDiffuse = {0.8f, 0.8f, 0.8f, 0};
  l.dcvAmbient = {0.1f, 0.1f, 0.1f, 0};
  l.dvDirection = {0, 0.6f, 0.8f};  // N.L = 0.8 for a wall facing the camera
  SetLight(3, l);
  ASSERT_EQ(DrawWall(), D3D_OK);
  const double amb = 0.2 * (64.0 / 255.0 + 0.1);
  ExpectNear(Center(),
             {To255(0.1 + amb + 0.5 * 0.8 * 0.8), To255(amb + 0.25 * 0.8 * 0.8), To255(amb + 1.0 * 0.8 * 0.8)}, 1,
             "directional");
  DumpPng(target.Get(), "directional");

  // Switched off, only the emissive and the global ambient remain.
  ASSERT_EQ(device->LightEnable(3, FALSE), D3D_OK);
  ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0), D3D_OK);
  ASSERT_EQ(DrawWall(), D3D_OK);
  const double amb2 = 0.2 * 64.0 / 255.0;
  ExpectNear(Center(), {To255(0.1 + amb2), To255(amb2), To255(amb2)}, 1, "light off");
}

TEST_F(Render, AttenuatedPointLightAndItsRangeByHand) {
  for (const GUID* kind : {&IID_IDirect3DRefDevice, &IID_IDirect3DRGBDevice}) {
    SCOPED_TRACE(kind == &IID_IDirect3DRefDevice ? "reference" : "fast");
    AttenuatedPointLightAndItsRange(*kind);
  }
}

void Render::AttenuatedPointLightAndItsRange(const GUID& kind) {
  Make(kind, Xrgb8888());
  SetMaterial({1, 1, 1, 1}, {0, 0, 0, 1}, {0, 0, 0, 1});
  D3DLIGHT7 l{};
  l.dltType = D3DLIGHT_POINT;
  l.dcvDiffuse = {1.0f, 0.5f, 0.25f, 0};
  l.dvPosition = {0, 0, 5};  // on the axis through the wall's centre
  l.dvRange = 100;
  l.dvAttenuation0 = 1;
  l.dvAttenuation1 = 0.1f;
  l.dvAttenuation2 = 0.01f;
  SetLight(0, l);
  // Lighting is per vertex: the four corners of a small square wall at depth 10 lie at the same
  // distance from the light and see it at the same angle, so every pixel gets their colour.
  const auto wall = Quad(-2, -2, 2, 2, 10);
  ASSERT_EQ(Draw(kPosNormalFvf, wall, QuadIndices()), D3D_OK);
  const double d = std::sqrt(2 * 2 + 2 * 2 + 5 * 5.0);
  const double lit = (5 / d) / (1.0 + 0.1 * d + 0.01 * d * d);
  ExpectNear(Center(), {To255(lit), To255(0.5 * lit), To255(0.25 * lit)}, 1, "point");

  // Out of range: no light at all.
  l.dvRange = float(d) - 0.1f;
  ASSERT_EQ(device->SetLight(0, &l), D3D_OK);
  ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0), D3D_OK);
  ASSERT_EQ(Draw(kPosNormalFvf, wall, QuadIndices()), D3D_OK);
  ExpectNear(Center(), {0, 0, 0}, 0, "out of range");

  // A negative light darkens what the others lit (the game's explosion lights do this).
  l.dvRange = 100;
  ASSERT_EQ(device->SetLight(0, &l), D3D_OK);
  D3DLIGHT7 dark = l;
  dark.dcvDiffuse = {-0.5f, -0.5f, -0.5f, 0};
  SetLight(1, dark);
  ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0), D3D_OK);
  ASSERT_EQ(Draw(kPosNormalFvf, wall, QuadIndices()), D3D_OK);
  ExpectNear(Center(), {To255(0.5 * lit), 0, 0}, 1, "negative light");
}

TEST_F(Render, MaterialSourcesAndSpecularByHand) {
  Make(IID_IDirect3DRefDevice, Xrgb8888());
  // A small wall of vertices with a red diffuse and a green specular colour.
  std::vector<MeshVertex> wall;
  for (const PosNormal& p : Quad(-0.5f, -0.5f, 0.5f, 0.5f, 10))
    wall.push_back({p.x, p.y, p.z, p.nx, p.ny, p.nz, 0xFFFF0000, 0xFF00FF00, 0, 0});
  const float power = 10;
  SetMaterial({0, 0, 1, 1}, {0, 0, 0, 1}, {0, 0, 0, 1}, {1, 1, 1, 1}, power);
  D3DLIGHT7 l{};
  l.dltType = D3DLIGHT_DIRECTIONAL;
  l.dcvDiffuse = {0.5f, 0.5f, 0.5f, 0};
  l.dcvSpecular = {0.5f, 0.25f, 0.75f, 0};
  l.dvDirection = {0, 0, 1};
  SetLight(0, l);
  // With the local viewer each corner (0.5, 0.5, 10) sees the eye along its own direction:
  // H = normalize(L + E), and the highlight is (N.H)^power.
  const double e = std::sqrt(0.25 + 0.25 + 100.0);
  const double hx = -0.5 / e, hz = -1.0 - 10.0 / e;
  const double highlight = std::pow(-hz / std::sqrt(2 * hx * hx + hz * hz), power);

  // COLORVERTEX with the default sources: diffuse from the vertex, no specular yet.
  ASSERT_EQ(Draw(kMeshFvf, wall, QuadIndices()), D3D_OK);
  ExpectNear(Center(), {128, 0, 0}, 1, "vertex diffuse");

  // Diffuse from the material instead.
  ASSERT_EQ(device->SetRenderState(D3DRENDERSTATE_DIFFUSEMATERIALSOURCE, D3DMCS_MATERIAL), D3D_OK);
  ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0), D3D_OK);
  ASSERT_EQ(Draw(kMeshFvf, wall, QuadIndices()), D3D_OK);
  ExpectNear(Center(), {0, 0, 128}, 1, "material diffuse");

  // Specular on: the light's specular times the vertex specular colour (green), added on top.
  ASSERT_EQ(device->SetRenderState(D3DRENDERSTATE_SPECULARENABLE, TRUE), D3D_OK);
  ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0), D3D_OK);
  ASSERT_EQ(Draw(kMeshFvf, wall, QuadIndices()), D3D_OK);
  ExpectNear(Center(), {0, To255(0.25 * highlight), 128}, 1, "vertex specular");

  // ...and, with the source the game sets, times the material's white specular.
  ASSERT_EQ(device->SetRenderState(D3DRENDERSTATE_SPECULARMATERIALSOURCE, D3DMCS_MATERIAL), D3D_OK);
  ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0), D3D_OK);
  ASSERT_EQ(Draw(kMeshFvf, wall, QuadIndices()), D3D_OK);
  ExpectNear(Center(), {To255(0.5 * highlight), To255(0.25 * highlight), To255(0.5 + 0.75 * highlight)}, 1,
             "material specular");

  // Lighting off: the vertex colours as they are.
  ASSERT_EQ(device->SetRenderState(D3DRENDERSTATE_LIGHTING, FALSE), D3D_OK);
  ASSERT_EQ(device->SetRenderState(D3DRENDERSTATE_SPECULARENABLE, FALSE), D3D_OK);
  ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0), D3D_OK);
  ASSERT_EQ(Draw(kMeshFvf, wall, QuadIndices()), D3D_OK);
  ExpectNear(Center(), {255, 0, 0}, 0, "unlit");
}

TEST_F(Render, ClearWritesColourAndDepthInsideItsRectanglesAndViewport) {
  Make(IID_IDirect3DRGBDevice, Rgb565());
  const D3DRECT rects[] = {{0, 0, 16, 16}, {48, 48, 200, 200}};
  ASSERT_EQ(device->Clear(2, rects, D3DCLEAR_TARGET, 0xFFFF0000, 0, 0), D3D_OK);
  EXPECT_EQ(PixelAt(target.Get(), 15, 15).r, 255);
  EXPECT_EQ(PixelAt(target.Get(), 16, 16).r, 0);
  EXPECT_EQ(PixelAt(target.Get(), 63, 63).r, 255);  // clipped to the target, not refused
  // Only the viewport is cleared.
  const D3DVIEWPORT7 vp{32, 0, 32, 64, 0, 1};
  ASSERT_EQ(device->SetViewport(&vp), D3D_OK);
  ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF0000FF, 0, 0), D3D_OK);
  EXPECT_EQ(PixelAt(target.Get(), 31, 40).b, 0);
  EXPECT_EQ(PixelAt(target.Get(), 32, 40).b, 255);

  // A count without rectangles clears the whole viewport (see ConformanceTest.cpp).
  EXPECT_EQ(device->Clear(1, nullptr, D3DCLEAR_TARGET, 0, 0, 0), D3D_OK);
  EXPECT_EQ(device->Clear(0, nullptr, 0, 0, 0, 0), DDERR_INVALIDPARAMS);
  EXPECT_EQ(device->Clear(0, nullptr, 0x10, 0, 0, 0), DDERR_INVALIDPARAMS);
  EXPECT_EQ(device->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.5f, 0), DDERR_INVALIDPARAMS);
  EXPECT_EQ(device->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, NAN, 0), DDERR_INVALIDPARAMS);
  // A 16-bit z-buffer has no stencil.
  EXPECT_EQ(device->Clear(0, nullptr, D3DCLEAR_STENCIL, 0, 1, 0), D3DERR_STENCILBUFFER_NOTPRESENT);
}

TEST_F(Render, DepthDecidesOverlapUnlessSwitchedOff) {
  Make(IID_IDirect3DRGBDevice, Xrgb8888());
  ASSERT_EQ(device->SetRenderState(D3DRENDERSTATE_LIGHTING, FALSE), D3D_OK);
  const std::vector<WORD> idx = QuadIndices();
  const auto near = ScreenQuad(0, 0, 64, 64, 0.3f, 0xFF00FF00);
  const auto far = ScreenQuad(0, 0, 64, 64, 0.6f, 0xFFFF0000);
  ASSERT_EQ(Draw(kScreenFvf, near, idx), D3D_OK);
  ASSERT_EQ(Draw(kScreenFvf, far, idx), D3D_OK);
  ExpectNear(Center(), {0, 255, 0}, 0, "near first");
  ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0), D3D_OK);
  ASSERT_EQ(Draw(kScreenFvf, far, idx), D3D_OK);
  ASSERT_EQ(Draw(kScreenFvf, near, idx), D3D_OK);
  ExpectNear(Center(), {0, 255, 0}, 0, "far first");
  ASSERT_EQ(device->SetRenderState(D3DRENDERSTATE_ZENABLE, D3DZB_FALSE), D3D_OK);
  ASSERT_EQ(Draw(kScreenFvf, far, idx), D3D_OK);
  ExpectNear(Center(), {255, 0, 0}, 0, "z off");
  // ZWRITEENABLE off: drawn, but leaves the depth as it was.
  ASSERT_EQ(device->SetRenderState(D3DRENDERSTATE_ZENABLE, D3DZB_TRUE), D3D_OK);
  ASSERT_EQ(device->SetRenderState(D3DRENDERSTATE_ZWRITEENABLE, FALSE), D3D_OK);
  ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0), D3D_OK);
  ASSERT_EQ(Draw(kScreenFvf, near, idx), D3D_OK);
  ASSERT_EQ(Draw(kScreenFvf, far, idx), D3D_OK);
  ExpectNear(Center(), {255, 0, 0}, 0, "no z write");
}

TEST_F(Render, TexturesComeFromDirectDrawTextureSurfaces) {
  Make(IID_IDirect3DRGBDevice, Xrgb8888());
  ASSERT_EQ(device->SetRenderState(D3DRENDERSTATE_LIGHTING, FALSE), D3D_OK);
  // An 8 x 8 A1R5G5B5 texture: left half opaque white, right half black with its colour key.
  const DDPIXELFORMAT f = d3d::TextureFormat(2);
  Ref<IDirectDrawSurface7> tex = MakeSurface(DDSCAPS_TEXTURE | DDSCAPS_SYSTEMMEMORY, 8, 8, &f);
  ASSERT_TRUE(tex);
  DDSURFACEDESC2 d{};
  d.dwSize = sizeof(d);
  ASSERT_EQ(tex->Lock(nullptr, &d, DDLOCK_WAIT, nullptr), DD_OK);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) {
      const uint16_t v = x < 4 ? 0xFFFF : 0x8000;
      std::memcpy(static_cast<uint8_t*>(d.lpSurface) + y * d.lPitch + 2 * x, &v, 2);
    }
  ASSERT_EQ(tex->Unlock(nullptr), DD_OK);
  DDCOLORKEY key{0x8000, 0x8000};
  ASSERT_EQ(tex->SetColorKey(DDCKEY_SRCBLT, &key), DD_OK);
  ASSERT_EQ(device->SetTexture(0, tex.Get()), D3D_OK);
  ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF0000FF, 1.0f, 0), D3D_OK);

  // MODULATE with a yellow diffuse.
  ASSERT_EQ(Draw(kScreenFvf, ScreenQuad(0, 0, 64, 64, 0.5f, 0xFFFFFF00), QuadIndices()), D3D_OK);
  ExpectNear(PixelAt(target.Get(), 10, 10), {255, 255, 0}, 0, "white texel");
  ExpectNear(PixelAt(target.Get(), 50, 10), {0, 0, 0}, 0, "black texel");
  DumpPng(target.Get(), "textured");

  // With colour keying on, the keyed texels leave the target alone.
  ASSERT_EQ(device->SetRenderState(D3DRENDERSTATE_COLORKEYENABLE, TRUE), D3D_OK);
  ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF0000FF, 1.0f, 0), D3D_OK);
  ASSERT_EQ(Draw(kScreenFvf, ScreenQuad(0, 0, 64, 64, 0.5f, 0xFFFFFF00), QuadIndices()), D3D_OK);
  ExpectNear(PixelAt(target.Get(), 10, 10), {255, 255, 0}, 0, "white texel keyed");
  ExpectNear(PixelAt(target.Get(), 50, 10), {0, 0, 255}, 0, "keyed texel");

  // SELECTARG2 ignores the texture.
  ASSERT_EQ(device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2), D3D_OK);
  ASSERT_EQ(device->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE), D3D_OK);
  ASSERT_EQ(device->SetRenderState(D3DRENDERSTATE_COLORKEYENABLE, FALSE), D3D_OK);
  ASSERT_EQ(Draw(kScreenFvf, ScreenQuad(0, 0, 64, 64, 0.5f, 0xFF00FFFF), QuadIndices()), D3D_OK);
  ExpectNear(PixelAt(target.Get(), 50, 10), {0, 255, 255}, 0, "select diffuse");

  // A texture that is locked elsewhere cannot be sampled: the draw says so.
  ASSERT_EQ(tex->Lock(nullptr, &d, DDLOCK_WAIT, nullptr), DD_OK);
  EXPECT_EQ(Draw(kScreenFvf, ScreenQuad(0, 0, 64, 64, 0.5f, 0xFFFFFFFF), QuadIndices()), DDERR_SURFACEBUSY);
  tex->Unlock(nullptr);
}

TEST_F(Render, AdditiveAndSubtractivePassesAsTheSceneSetsThem) {
  Make(IID_IDirect3DRGBDevice, Xrgb8888());
  ASSERT_EQ(device->SetRenderState(D3DRENDERSTATE_LIGHTING, FALSE), D3D_OK);
  ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF404040, 1.0f, 0), D3D_OK);
  ASSERT_EQ(device->SetRenderState(D3DRENDERSTATE_ALPHABLENDENABLE, TRUE), D3D_OK);
  ASSERT_EQ(device->SetRenderState(D3DRENDERSTATE_ZWRITEENABLE, FALSE), D3D_OK);
  ASSERT_EQ(device->SetRenderState(D3DRENDERSTATE_SRCBLEND, D3DBLEND_ONE), D3D_OK);
  ASSERT_EQ(device->SetRenderState(D3DRENDERSTATE_DESTBLEND, D3DBLEND_ONE), D3D_OK);
  ASSERT_EQ(Draw(kScreenFvf, ScreenQuad(0, 0, 32, 64, 0.5f, 0xFF202080), QuadIndices()), D3D_OK);
  ExpectNear(PixelAt(target.Get(), 16, 32), {0x60, 0x60, 0xC0}, 0, "additive");
  ASSERT_EQ(device->SetRenderState(D3DRENDERSTATE_SRCBLEND, D3DBLEND_ZERO), D3D_OK);
  ASSERT_EQ(device->SetRenderState(D3DRENDERSTATE_DESTBLEND, D3DBLEND_INVSRCCOLOR), D3D_OK);
  ASSERT_EQ(Draw(kScreenFvf, ScreenQuad(32, 0, 64, 64, 0.5f, 0xFF000080), QuadIndices()), D3D_OK);
  // dest * (1 - src): 0x40 * (1 - 128/255) = 31.9 in blue, red and green untouched.
  ExpectNear(PixelAt(target.Get(), 48, 32), {0x40, 0x40, 32}, 1, "subtractive");
  ASSERT_EQ(device->SetRenderState(D3DRENDERSTATE_SRCBLEND, D3DBLEND_SRCALPHA), D3D_OK);
  ASSERT_EQ(device->SetRenderState(D3DRENDERSTATE_DESTBLEND, D3DBLEND_INVSRCALPHA), D3D_OK);
  ASSERT_EQ(device->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_DIFFUSE), D3D_OK);
  ASSERT_EQ(Draw(kScreenFvf, ScreenQuad(0, 0, 32, 64, 0.5f, 0x80FFFFFF), QuadIndices()), D3D_OK);
  // 0x60 + (255 - 0x60) * 128/255 = 176.2 in red.
  ExpectNear(PixelAt(target.Get(), 16, 32), {176, 176, 224}, 1, "alpha");
}

// ---- Bad input -------------------------------------------------------------------------------

TEST_F(Render, BadDrawsAreRefusedOrDrawNothing) {
  Make(IID_IDirect3DRGBDevice, Rgb565());
  ASSERT_EQ(device->SetRenderState(D3DRENDERSTATE_LIGHTING, FALSE), D3D_OK);
  Ref<IDirect3DVertexBuffer7> vb = MakeBuffer(kScreenFvf, ScreenQuad(0, 0, 64, 64, 0.5f, 0xFFFFFFFF));
  const std::vector<WORD> idx = QuadIndices();
  const std::vector<WORD> past = {0, 1, 4};
  auto untouched = [&] {
    int w = 0, h = 0;
    for (const Rgb& c : ReadPixels(target.Get(), w, h))
      if (c.r || c.g || c.b) return false;
    return true;
  };
  ASSERT_EQ(device->BeginScene(), D3D_OK);
  IDirect3DVertexBuffer7* v = vb.Get();
  EXPECT_EQ(device->DrawIndexedPrimitiveVB(D3DPT_TRIANGLELIST, v, 0, 4, past.data(), 3, 0), DDERR_INVALIDPARAMS);
  // Indices count from the start vertex, and the range must lie inside the buffer.
  EXPECT_EQ(device->DrawIndexedPrimitiveVB(D3DPT_TRIANGLELIST, v, 1, 3, idx.data(), 6, 0), DDERR_INVALIDPARAMS);
  EXPECT_EQ(device->DrawIndexedPrimitiveVB(D3DPT_TRIANGLELIST, v, 2, 4, idx.data(), 6, 0), DDERR_INVALIDPARAMS);
  EXPECT_EQ(device->DrawIndexedPrimitiveVB(D3DPT_TRIANGLELIST, v, 0xFFFFFFFF, 4, idx.data(), 6, 0),
            DDERR_INVALIDPARAMS);
  EXPECT_EQ(device->DrawIndexedPrimitiveVB(D3DPT_TRIANGLELIST, v, 0, 4, idx.data(), 0, 0), DDERR_INVALIDPARAMS);
  EXPECT_EQ(device->DrawIndexedPrimitiveVB(D3DPT_TRIANGLELIST, v, 0, 4, nullptr, 6, 0), DDERR_INVALIDPARAMS);
  EXPECT_EQ(device->DrawIndexedPrimitiveVB(D3DPT_TRIANGLELIST, v, 0, 0, idx.data(), 6, 0), DDERR_INVALIDPARAMS);
  EXPECT_EQ(device->DrawIndexedPrimitiveVB(D3DPT_TRIANGLELIST, nullptr, 0, 4, idx.data(), 6, 0), DDERR_INVALIDPARAMS);
  EXPECT_EQ(device->DrawIndexedPrimitiveVB(static_cast<D3DPRIMITIVETYPE>(0), v, 0, 4, idx.data(), 6, 0),
            D3DERR_INVALIDPRIMITIVETYPE);
  EXPECT_EQ(device->DrawIndexedPrimitiveVB(D3DPT_TRIANGLESTRIP, v, 0, 4, idx.data(), 4, 0), DDERR_UNSUPPORTED);
  EXPECT_EQ(device->EndScene(), D3D_OK);
  EXPECT_TRUE(untouched());

  // Coordinates that are not numbers, or far too large, draw nothing and end.
  std::vector<ScreenVertex> nan = ScreenQuad(0, 0, 64, 64, 0.5f, 0xFFFFFFFF);
  nan[1].x = NAN;
  nan[2].rhw = INFINITY;
  EXPECT_EQ(Draw(kScreenFvf, nan, idx), D3D_OK);
  std::vector<PosNormal> world = Quad(-1, -1, 1, 1, 10);
  world[0].x = NAN;
  world[2].z = -INFINITY;
  EXPECT_EQ(Draw(kPosNormalFvf, world, idx), D3D_OK);
  std::vector<ScreenVertex> degenerate = ScreenQuad(5, 5, 5, 5, 0.5f, 0xFFFFFFFF);
  EXPECT_EQ(Draw(kScreenFvf, degenerate, idx), D3D_OK);
  EXPECT_TRUE(untouched());
  std::vector<PosNormal> huge = Quad(-3e37f, -3e37f, 3e37f, 3e37f, 10);
  EXPECT_EQ(Draw(kPosNormalFvf, huge, idx), D3D_OK);

  // A texture of odd size, sampled far outside [0, 1] with both filters.
  const DDPIXELFORMAT tf = d3d::TextureFormat(5);
  Ref<IDirectDrawSurface7> odd = MakeSurface(DDSCAPS_TEXTURE | DDSCAPS_SYSTEMMEMORY, 3, 5, &tf);
  ASSERT_TRUE(odd);
  ASSERT_EQ(device->SetTexture(0, odd.Get()), D3D_OK);
  std::vector<ScreenVertex> wide = ScreenQuad(0, 0, 64, 64, 0.5f, 0xFFFFFFFF);
  for (ScreenVertex& v : wide) {
    v.u = v.u * 1e6f - 3.7f;
    v.v = v.v * -9.25f + 0.5f;
  }
  for (DWORD filter : {DWORD(D3DTFG_POINT), DWORD(D3DTFG_LINEAR)}) {
    ASSERT_EQ(device->SetTextureStageState(0, D3DTSS_MAGFILTER, filter), D3D_OK);
    ASSERT_EQ(device->SetTextureStageState(0, D3DTSS_MINFILTER, filter), D3D_OK);
    EXPECT_EQ(Draw(kScreenFvf, wide, idx), D3D_OK);
  }
}

TEST_F(Render, ABusyOrLostTargetIsReportedNotDrawnInto) {
  Make(IID_IDirect3DRGBDevice, Rgb565());
  Ref<IDirect3DVertexBuffer7> vb = MakeBuffer(kScreenFvf, ScreenQuad(0, 0, 64, 64, 0.5f, 0xFFFFFFFF));
  const std::vector<WORD> idx = QuadIndices();
  // The head-up display draws with GDI on the back buffer; while its DC is out, the device waits its turn.
  HDC dc = nullptr;
  ASSERT_EQ(target->GetDC(&dc), DD_OK);
  EXPECT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 0, 0), DDERR_SURFACEBUSY);
  ASSERT_EQ(device->BeginScene(), D3D_OK);
  EXPECT_EQ(device->DrawIndexedPrimitiveVB(D3DPT_TRIANGLELIST, vb.Get(), 0, 4, idx.data(), 6, 0), DDERR_SURFACEBUSY);
  ASSERT_EQ(device->EndScene(), D3D_OK);
  ASSERT_EQ(target->ReleaseDC(dc), DD_OK);

  // A render target in video memory is lost with the display mode; no scene begins on it.
  Ref<IDirectDrawSurface7> video =
      MakeSurface(DDSCAPS_OFFSCREENPLAIN | DDSCAPS_3DDEVICE | DDSCAPS_VIDEOMEMORY, 32, 32, nullptr);
  ASSERT_TRUE(video);
  Ref<IDirect3DDevice7> other = MakeDevice(IID_IDirect3DRGBDevice, video.Get());
  ASSERT_TRUE(other);
  ddraw::LoseSurfaces();
  EXPECT_EQ(other->BeginScene(), DDERR_SURFACELOST);
  EXPECT_EQ(other->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 0, 0), DDERR_SURFACELOST);
  ASSERT_EQ(video->Restore(), DD_OK);
  EXPECT_EQ(other->BeginScene(), D3D_OK);
  EXPECT_EQ(other->EndScene(), D3D_OK);
}

TEST_F(Render, FullScreenBackBufferIsDrawnAcrossFlips) {
  // The full-screen set-up: a flip chain made for 3-D, the device on its back buffer.
  const HWND window = reinterpret_cast<HWND>(0x5150);
  ASSERT_EQ(dd->SetCooperativeLevel(window, DDSCL_FULLSCREEN | DDSCL_EXCLUSIVE | DDSCL_ALLOWREBOOT), DD_OK);
  ASSERT_EQ(dd->SetDisplayMode(640, 480, 16, 0, 0), DD_OK);
  DDSURFACEDESC2 d{};
  d.dwSize = sizeof(d);
  d.dwFlags = DDSD_CAPS | DDSD_BACKBUFFERCOUNT;
  d.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX | DDSCAPS_3DDEVICE;
  d.dwBackBufferCount = 1;
  Ref<IDirectDrawSurface7> primary;
  ASSERT_EQ(dd->CreateSurface(&d, primary.Out(), nullptr), DD_OK);
  DDSCAPS2 caps{};
  caps.dwCaps = DDSCAPS_BACKBUFFER;
  Ref<IDirectDrawSurface7> back;
  ASSERT_EQ(primary->GetAttachedSurface(&caps, back.Out()), DD_OK);
  Ref<IDirectDrawSurface7> z = AttachZBuffer(back.Get());
  device = MakeDevice(IID_IDirect3DRGBDevice, back.Get());
  ASSERT_TRUE(device);
  ASSERT_EQ(device->SetRenderState(D3DRENDERSTATE_LIGHTING, FALSE), D3D_OK);
  for (DWORD colour : {0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu}) {
    ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0), D3D_OK);
    ASSERT_EQ(Draw(kScreenFvf, ScreenQuad(100, 100, 540, 380, 0.5f, colour), QuadIndices()), D3D_OK);
    const Rgb drawn = PixelAt(back.Get(), 320, 240), edge = PixelAt(back.Get(), 10, 10);
    EXPECT_EQ(drawn.r, (colour >> 16) & 0xFF ? 255 : 0);
    EXPECT_EQ(drawn.g, (colour >> 8) & 0xFF ? 255 : 0);
    EXPECT_EQ(drawn.b, colour & 0xFF ? 255 : 0);
    EXPECT_EQ(edge.r + edge.g + edge.b, 0);
    ASSERT_EQ(primary->Flip(nullptr, DDFLIP_WAIT), DD_OK);
    // What was drawn is now on the front.
    EXPECT_EQ(PixelAt(primary.Get(), 320, 240).r, drawn.r);
  }
  device.Reset();
  z.Reset();
  back.Reset();
  primary.Reset();
}

// ---- The fast device against the reference ---------------------------------------------------

// A lit, specular sphere under a directional and a point light, a textured wall behind it,
// additive, subtractive and alpha-blended quads over them and a triangle crossing the near plane.
void DrawScene(D3DFixture& f, IDirect3DDevice7* device, IDirectDrawSurface7* texture, bool flat) {
  const D3DMATRIX proj = Perspective(kPi / 4, 0.75f, 1.0f, 100.0f);
  device->SetTransform(D3DTRANSFORMSTATE_PROJECTION, &proj);
  device->SetRenderState(D3DRENDERSTATE_AMBIENT, 0xFF202020);
  device->SetRenderState(D3DRENDERSTATE_SPECULARENABLE, TRUE);
  device->SetRenderState(D3DRENDERSTATE_SPECULARMATERIALSOURCE, D3DMCS_MATERIAL);
  device->SetRenderState(D3DRENDERSTATE_DITHERENABLE, TRUE);
  device->SetRenderState(D3DRENDERSTATE_SHADEMODE, flat ? D3DSHADE_FLAT : D3DSHADE_GOURAUD);
  D3DLIGHT7 sun{};
  sun.dltType = D3DLIGHT_DIRECTIONAL;
  sun.dcvDiffuse = {0.9f, 0.8f, 0.7f, 0};
  sun.dcvSpecular = {0.8f, 0.8f, 0.8f, 0};
  sun.dcvAmbient = {0.1f, 0.1f, 0.2f, 0};
  sun.dvDirection = {-1, -1, 1};
  device->SetLight(0, &sun);
  device->LightEnable(0, TRUE);
  D3DLIGHT7 lamp{};
  lamp.dltType = D3DLIGHT_POINT;
  lamp.dcvDiffuse = {2, 0.5f, 0.5f, 0};
  lamp.dcvSpecular = {1, 0.3f, 0.3f, 0};
  lamp.dvPosition = {3, 2, 4};
  lamp.dvRange = 12;
  lamp.dvAttenuation1 = 0.3f;
  device->SetLight(7, &lamp);
  device->LightEnable(7, TRUE);
  device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000010, 1.0f, 0);
  device->BeginScene();

  // The sphere.
  std::vector<MeshVertex> sphere;
  std::vector<WORD> sidx;
  const int slices = 24, stacks = 16;
  for (int i = 0; i <= stacks; ++i)
    for (int j = 0; j <= slices; ++j) {
      const float th = kPi * float(i) / stacks, ph = 2 * kPi * float(j) / slices;
      const float nx = std::sin(th) * std::cos(ph), ny = std::cos(th), nz = std::sin(th) * std::sin(ph);
      sphere.push_back({2 * nx, 2 * ny, 2 * nz + 8, nx, ny, nz, 0xFFFFFFFF, 0, float(j) / slices, float(i) / stacks});
    }
  for (int i = 0; i < stacks; ++i)
    for (int j = 0; j < slices; ++j) {
      const WORD a = WORD(i * (slices + 1) + j), b = WORD(a + 1), c = WORD(a + slices + 1), d = WORD(c + 1);
      sidx.insert(sidx.end(), {a, b, c, b, d, c});
    }
  D3DMATERIAL7 m{};
  m.diffuse = {0.8f, 0.8f, 0.8f, 1};
  m.ambient = {1, 1, 1, 1};
  m.specular = {1, 1, 1, 1};
  m.emissive = {0.05f, 0, 0.1f, 1};
  m.power = 12;
  device->SetMaterial(&m);
  Ref<IDirect3DVertexBuffer7> vb = f.MakeBuffer(kMeshFvf, sphere);
  device->SetTexture(0, texture);
  device->DrawIndexedPrimitiveVB(D3DPT_TRIANGLELIST, vb.Get(), 0, DWORD(sphere.size()), sidx.data(), DWORD(sidx.size()),
                                 0);

  // A textured wall behind, and a triangle crossing the near plane.
  std::vector<MeshVertex> wall = {
      {-9, 7, 14, 0, 0, -1, 0xFFFFFFFF, 0, 0, 0}, {9, 7, 14, 0, 0, -1, 0xFFFFFFFF, 0, 3, 0},
      {9, -7, 14, 0, 0, -1, 0xFFFFFFFF, 0, 3, 2}, {-9, -7, 14, 0, 0, -1, 0xFFFFFFFF, 0, 0, 2},
      {-3, -3, -2, 0, 1, 0, 0xFFFFFFFF, 0, 0, 0}, {-1, -3, 6, 0, 1, 0, 0xFFFFFFFF, 0, 1, 1},
      {-4, -1, 4, 0, 1, 0, 0xFFFFFFFF, 0, 0, 1}};
  const std::vector<WORD> widx = {0, 1, 2, 0, 2, 3, 4, 6, 5};
  Ref<IDirect3DVertexBuffer7> wb = f.MakeBuffer(kMeshFvf, wall);
  device->SetRenderState(D3DRENDERSTATE_CULLMODE, D3DCULL_NONE);
  device->DrawIndexedPrimitiveVB(D3DPT_TRIANGLELIST, wb.Get(), 0, DWORD(wall.size()), widx.data(), DWORD(widx.size()),
                                 0);
  device->SetRenderState(D3DRENDERSTATE_CULLMODE, D3DCULL_CCW);

  // Additive and subtractive passes, unlit, as the scene draws them.
  device->SetTexture(0, nullptr);
  device->SetRenderState(D3DRENDERSTATE_LIGHTING, FALSE);
  device->SetRenderState(D3DRENDERSTATE_ALPHABLENDENABLE, TRUE);
  device->SetRenderState(D3DRENDERSTATE_ZWRITEENABLE, FALSE);
  std::vector<MeshVertex> glow = {{-1, 1, 5, 0, 0, -1, 0xFF603000, 0, 0, 0},
                                  {2, 1, 5, 0, 0, -1, 0xFF006030, 0, 0, 0},
                                  {2, -2, 5, 0, 0, -1, 0xFF300060, 0, 0, 0},
                                  {-1, -2, 5, 0, 0, -1, 0xFF606060, 0, 0, 0}};
  Ref<IDirect3DVertexBuffer7> gb = f.MakeBuffer(kMeshFvf, glow);
  const std::vector<WORD> q = {0, 1, 2, 0, 2, 3};
  device->SetRenderState(D3DRENDERSTATE_SRCBLEND, D3DBLEND_ONE);
  device->SetRenderState(D3DRENDERSTATE_DESTBLEND, D3DBLEND_ONE);
  device->DrawIndexedPrimitiveVB(D3DPT_TRIANGLELIST, gb.Get(), 0, 4, q.data(), 6, 0);
  const D3DMATRIX shift = Translation(-2, 1, 1);
  device->SetTransform(D3DTRANSFORMSTATE_WORLD, &shift);
  device->SetRenderState(D3DRENDERSTATE_SRCBLEND, D3DBLEND_ZERO);
  device->SetRenderState(D3DRENDERSTATE_DESTBLEND, D3DBLEND_INVSRCCOLOR);
  device->DrawIndexedPrimitiveVB(D3DPT_TRIANGLELIST, gb.Get(), 0, 4, q.data(), 6, 0);
  // And an alpha-blended one, its alpha from the vertex colour.
  std::vector<MeshVertex> veil = glow;
  for (MeshVertex& v : veil) v.diffuse = (v.diffuse & 0x00FFFFFF) | 0x90000000 | 0x00202020;
  Ref<IDirect3DVertexBuffer7> vl = f.MakeBuffer(kMeshFvf, veil);
  const D3DMATRIX across = Translation(0.5f, -1.5f, 2);
  device->SetTransform(D3DTRANSFORMSTATE_WORLD, &across);
  device->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_DIFFUSE);
  device->SetRenderState(D3DRENDERSTATE_SRCBLEND, D3DBLEND_SRCALPHA);
  device->SetRenderState(D3DRENDERSTATE_DESTBLEND, D3DBLEND_INVSRCALPHA);
  device->DrawIndexedPrimitiveVB(D3DPT_TRIANGLELIST, vl.Get(), 0, 4, q.data(), 6, 0);
  device->EndScene();
}

struct CompareCase {
  const char* name;
  bool x8r8g8b8;
  bool flat;
};

class DeviceComparison : public D3DFixture, public ::testing::WithParamInterface<CompareCase> {};

TEST_P(DeviceComparison, FastDeviceMatchesTheReference) {
  const CompareCase c = GetParam();
  const DDPIXELFORMAT format = c.x8r8g8b8 ? Xrgb8888() : Rgb565();
  // A checker texture in X1R5G5B5, the format the game asks for as "RGB555".
  const DDPIXELFORMAT tf = d3d::TextureFormat(1);
  Ref<IDirectDrawSurface7> tex = MakeSurface(DDSCAPS_TEXTURE | DDSCAPS_SYSTEMMEMORY, 16, 16, &tf);
  DDSURFACEDESC2 d{};
  d.dwSize = sizeof(d);
  ASSERT_EQ(tex->Lock(nullptr, &d, DDLOCK_WAIT, nullptr), DD_OK);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) {
      const uint16_t v = ((x / 4 + y / 4) & 1) ? 0x7FFF : uint16_t(0x1084 + x * 0x20);
      std::memcpy(static_cast<uint8_t*>(d.lpSurface) + y * d.lPitch + 2 * x, &v, 2);
    }
  tex->Unlock(nullptr);

  std::vector<Rgb> images[2];
  int w = 0, h = 0;
  const GUID* kinds[2] = {&IID_IDirect3DRefDevice, &IID_IDirect3DRGBDevice};
  for (int k = 0; k < 2; ++k) {
    Ref<IDirectDrawSurface7> target = MakeTarget(format, 160, 120);
    Ref<IDirectDrawSurface7> z = AttachZBuffer(target.Get());
    Ref<IDirect3DDevice7> device = MakeDevice(*kinds[k], target.Get());
    ASSERT_TRUE(device);
    DrawScene(*this, device.Get(), tex.Get(), c.flat);
    images[k] = ReadPixels(target.Get(), w, h);
    DumpPng(target.Get(), std::string(c.name) + (k == 0 ? "-reference" : "-fast"));
  }
  // Something was drawn at all.
  std::size_t lit = 0;
  for (const Rgb& p : images[0]) lit += (p.r + p.g + p.b) > 60;
  EXPECT_GT(lit, images[0].size() / 3);
  // The two rasterizers light per vertex alike but interpolate in different precision, so a
  // colour may land on the other side of a rounding or dither threshold. Held to: PSNR of at
  // least 40 dB, and at most 0.1 % of pixels off by more than 8 of 255. In RGB565 one step of a
  // 5-bit channel is already 8.2 of 255 and ordered dithering turns a tiny difference into a
  // whole step, so there "off" means more than one step plus 8 (17 of 255).
  const ImageDiff diff = Compare(images[0], images[1], c.x8r8g8b8 ? 8 : 17);
  EXPECT_GE(diff.psnr, 40.0) << c.name;
  EXPECT_LE(diff.fractionOff, 0.001) << c.name << " max " << diff.maxChannelDiff;
  RecordProperty("psnr", std::to_string(diff.psnr));
}

INSTANTIATE_TEST_SUITE_P(Scenes, DeviceComparison,
                         ::testing::Values(CompareCase{"rgb565-gouraud", false, false},
                                           CompareCase{"rgb565-flat", false, true},
                                           CompareCase{"x8r8g8b8-gouraud", true, false},
                                           CompareCase{"x8r8g8b8-flat", true, true}),
                         [](const auto& info) {
                           std::string n = info.param.name;
                           for (char& ch : n)
                             if (ch == '-') ch = '_';
                           return n;
                         });

}  // namespace
}  // namespace d3dtest
