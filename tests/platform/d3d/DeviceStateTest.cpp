// Render and texture-stage states with their documented defaults, transforms, viewport,
// material, lights, scenes and vertex buffers.
#include <algorithm>

#include "D3DTestUtil.h"

namespace d3dtest {
namespace {

class DeviceState : public D3DFixture {
 protected:
  void SetUp() override {
    D3DFixture::SetUp();
    target = MakeTarget(Rgb565(), 64, 48);
    zbuffer = AttachZBuffer(target.Get());
    device = MakeDevice(IID_IDirect3DRGBDevice, target.Get());
    ASSERT_TRUE(device);
  }
  void TearDown() override {
    device.Reset();
    zbuffer.Reset();
    target.Reset();
    D3DFixture::TearDown();
  }
  DWORD State(D3DRENDERSTATETYPE s) {
    DWORD v = 0xDEADBEEF;
    EXPECT_EQ(device->GetRenderState(s, &v), D3D_OK) << s;
    return v;
  }
  DWORD Stage(DWORD stage, D3DTEXTURESTAGESTATETYPE s) {
    DWORD v = 0xDEADBEEF;
    EXPECT_EQ(device->GetTextureStageState(stage, s, &v), D3D_OK) << s;
    return v;
  }

  Ref<IDirectDrawSurface7> target, zbuffer;
  Ref<IDirect3DDevice7> device;
};

TEST_F(DeviceState, RenderStatesStartAtTheirDocumentedDefaults) {
  // The states the game and the scene library set or rely on, and a few neighbours.
  struct Case {
    D3DRENDERSTATETYPE state;
    DWORD value;
  };
  const Case cases[] = {
      {D3DRENDERSTATE_ZENABLE, D3DZB_TRUE},  // a z-buffer was attached
      {D3DRENDERSTATE_FILLMODE, D3DFILL_SOLID},
      {D3DRENDERSTATE_SHADEMODE, D3DSHADE_GOURAUD},
      {D3DRENDERSTATE_ZWRITEENABLE, TRUE},
      {D3DRENDERSTATE_ALPHATESTENABLE, FALSE},
      {D3DRENDERSTATE_SRCBLEND, D3DBLEND_ONE},
      {D3DRENDERSTATE_DESTBLEND, D3DBLEND_ZERO},
      {D3DRENDERSTATE_CULLMODE, D3DCULL_CCW},
      {D3DRENDERSTATE_ZFUNC, D3DCMP_LESSEQUAL},
      {D3DRENDERSTATE_ALPHAFUNC, D3DCMP_ALWAYS},
      {D3DRENDERSTATE_DITHERENABLE, FALSE},
      {D3DRENDERSTATE_ALPHABLENDENABLE, FALSE},
      {D3DRENDERSTATE_FOGENABLE, FALSE},
      {D3DRENDERSTATE_SPECULARENABLE, FALSE},
      {D3DRENDERSTATE_COLORKEYENABLE, FALSE},
      {D3DRENDERSTATE_STENCILENABLE, FALSE},
      {D3DRENDERSTATE_STENCILFUNC, D3DCMP_ALWAYS},
      {D3DRENDERSTATE_STENCILMASK, 0xFFFFFFFF},
      {D3DRENDERSTATE_TEXTUREFACTOR, 0xFFFFFFFF},
      {D3DRENDERSTATE_TEXTUREPERSPECTIVE, TRUE},
      {D3DRENDERSTATE_CLIPPING, TRUE},
      {D3DRENDERSTATE_LIGHTING, TRUE},
      {D3DRENDERSTATE_AMBIENT, 0},
      {D3DRENDERSTATE_COLORVERTEX, TRUE},
      {D3DRENDERSTATE_LOCALVIEWER, TRUE},
      {D3DRENDERSTATE_NORMALIZENORMALS, FALSE},
      {D3DRENDERSTATE_DIFFUSEMATERIALSOURCE, D3DMCS_COLOR1},
      {D3DRENDERSTATE_SPECULARMATERIALSOURCE, D3DMCS_COLOR2},
      {D3DRENDERSTATE_AMBIENTMATERIALSOURCE, D3DMCS_MATERIAL},
      {D3DRENDERSTATE_EMISSIVEMATERIALSOURCE, D3DMCS_MATERIAL},
      {D3DRENDERSTATE_FOGEND, 0x3F800000},
      {D3DRENDERSTATE_WRAP0, 0},
      {D3DRENDERSTATE_VERTEXBLEND, 0},
  };
  for (const Case& c : cases) EXPECT_EQ(State(c.state), c.value) << c.state;
}

TEST_F(DeviceState, TextureStagesStartAtTheirDocumentedDefaults) {
  EXPECT_EQ(Stage(0, D3DTSS_COLOROP), DWORD(D3DTOP_MODULATE));
  EXPECT_EQ(Stage(0, D3DTSS_ALPHAOP), DWORD(D3DTOP_SELECTARG1));
  for (DWORD s = 0; s < 8; ++s) {
    if (s > 0) {
      EXPECT_EQ(Stage(s, D3DTSS_COLOROP), DWORD(D3DTOP_DISABLE));
      EXPECT_EQ(Stage(s, D3DTSS_ALPHAOP), DWORD(D3DTOP_DISABLE));
    }
    EXPECT_EQ(Stage(s, D3DTSS_COLORARG1), D3DTA_TEXTURE);
    EXPECT_EQ(Stage(s, D3DTSS_COLORARG2), D3DTA_CURRENT);
    EXPECT_EQ(Stage(s, D3DTSS_ALPHAARG1), D3DTA_TEXTURE);
    EXPECT_EQ(Stage(s, D3DTSS_ALPHAARG2), D3DTA_CURRENT);
    EXPECT_EQ(Stage(s, D3DTSS_TEXCOORDINDEX), s);
    EXPECT_EQ(Stage(s, D3DTSS_ADDRESSU), DWORD(D3DTADDRESS_WRAP));
    EXPECT_EQ(Stage(s, D3DTSS_ADDRESSV), DWORD(D3DTADDRESS_WRAP));
    EXPECT_EQ(Stage(s, D3DTSS_MAGFILTER), DWORD(D3DTFG_POINT));
    EXPECT_EQ(Stage(s, D3DTSS_MINFILTER), DWORD(D3DTFN_POINT));
    EXPECT_EQ(Stage(s, D3DTSS_MIPFILTER), DWORD(D3DTFP_NONE));
  }
  DWORD v;
  EXPECT_EQ(device->GetTextureStageState(8, D3DTSS_COLOROP, &v), DDERR_INVALIDPARAMS);
}

TEST_F(DeviceState, StatesKeepWhatIsSetAndRefuseWhatIsOutOfRange) {
  // The values the game sets.
  EXPECT_EQ(device->SetRenderState(D3DRENDERSTATE_AMBIENT, 0xFF808080), D3D_OK);
  EXPECT_EQ(device->SetRenderState(D3DRENDERSTATE_SPECULARMATERIALSOURCE, D3DMCS_MATERIAL), D3D_OK);
  EXPECT_EQ(device->SetRenderState(D3DRENDERSTATE_SHADEMODE, D3DSHADE_FLAT), D3D_OK);
  EXPECT_EQ(device->SetRenderState(D3DRENDERSTATE_DESTBLEND, D3DBLEND_INVSRCCOLOR), D3D_OK);
  EXPECT_EQ(State(D3DRENDERSTATE_AMBIENT), 0xFF808080u);
  EXPECT_EQ(State(D3DRENDERSTATE_SPECULARMATERIALSOURCE), DWORD(D3DMCS_MATERIAL));
  EXPECT_EQ(State(D3DRENDERSTATE_SHADEMODE), DWORD(D3DSHADE_FLAT));
  EXPECT_EQ(State(D3DRENDERSTATE_DESTBLEND), DWORD(D3DBLEND_INVSRCCOLOR));
  // Out of range values and unknown states change nothing.
  EXPECT_EQ(device->SetRenderState(D3DRENDERSTATE_SRCBLEND, 0), DDERR_INVALIDPARAMS);
  EXPECT_EQ(device->SetRenderState(D3DRENDERSTATE_SRCBLEND, 14), DDERR_INVALIDPARAMS);
  EXPECT_EQ(device->SetRenderState(D3DRENDERSTATE_CULLMODE, 4), DDERR_INVALIDPARAMS);
  EXPECT_EQ(device->SetRenderState(D3DRENDERSTATE_ZFUNC, 9), DDERR_INVALIDPARAMS);
  EXPECT_EQ(device->SetRenderState(D3DRENDERSTATE_SPECULARMATERIALSOURCE, 3), DDERR_INVALIDPARAMS);
  EXPECT_EQ(device->SetRenderState(static_cast<D3DRENDERSTATETYPE>(1), 0), DDERR_INVALIDPARAMS);
  EXPECT_EQ(device->SetRenderState(static_cast<D3DRENDERSTATETYPE>(255), 0), DDERR_INVALIDPARAMS);
  EXPECT_EQ(device->SetRenderState(static_cast<D3DRENDERSTATETYPE>(0xFFFFFFFF), 0), DDERR_INVALIDPARAMS);
  EXPECT_EQ(State(D3DRENDERSTATE_SRCBLEND), DWORD(D3DBLEND_ONE));
  DWORD v;
  EXPECT_EQ(device->GetRenderState(static_cast<D3DRENDERSTATETYPE>(3), &v), DDERR_INVALIDPARAMS);
  EXPECT_EQ(device->GetRenderState(D3DRENDERSTATE_LIGHTING, nullptr), DDERR_INVALIDPARAMS);
  // What the software devices cannot draw is said so, not pretended: refused, and told once
  // on the error stream however often it is asked for.
  testing::internal::CaptureStderr();
  EXPECT_EQ(device->SetRenderState(D3DRENDERSTATE_FOGENABLE, TRUE), DDERR_UNSUPPORTED);
  EXPECT_EQ(device->SetRenderState(D3DRENDERSTATE_FOGENABLE, TRUE), DDERR_UNSUPPORTED);
  const std::string told = testing::internal::GetCapturedStderr();
  EXPECT_EQ(told.rfind("d3d: ", 0), 0u) << told;
  EXPECT_NE(told.find(" is not supported\n"), std::string::npos) << told;
  EXPECT_EQ(std::count(told.begin(), told.end(), '\n'), 1) << told;
  EXPECT_EQ(State(D3DRENDERSTATE_FOGENABLE), DWORD(FALSE));
  EXPECT_EQ(device->SetRenderState(D3DRENDERSTATE_FOGENABLE, FALSE), D3D_OK);

  EXPECT_EQ(device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_ADD), D3D_OK);
  EXPECT_EQ(device->SetTextureStageState(0, D3DTSS_COLOROP, 25), DDERR_INVALIDPARAMS);
  EXPECT_EQ(device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_ADDSIGNED), DDERR_UNSUPPORTED);
  EXPECT_EQ(device->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_MODULATE), DDERR_UNSUPPORTED);
  EXPECT_EQ(device->SetTextureStageState(0, D3DTSS_COLORARG1, 5), DDERR_INVALIDPARAMS);
  EXPECT_EQ(device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE | 0x10), D3D_OK);
  EXPECT_EQ(device->SetTextureStageState(0, D3DTSS_ADDRESS, D3DTADDRESS_CLAMP), D3D_OK);
  EXPECT_EQ(Stage(0, D3DTSS_ADDRESSU), DWORD(D3DTADDRESS_CLAMP));
  EXPECT_EQ(Stage(0, D3DTSS_ADDRESSV), DWORD(D3DTADDRESS_CLAMP));
  EXPECT_EQ(Stage(0, D3DTSS_COLOROP), DWORD(D3DTOP_ADD));
  EXPECT_EQ(device->SetTextureStageState(8, D3DTSS_COLOROP, D3DTOP_DISABLE), DDERR_INVALIDPARAMS);
  EXPECT_EQ(device->SetTextureStageState(0, static_cast<D3DTEXTURESTAGESTATETYPE>(99), 0), DDERR_INVALIDPARAMS);
}

TEST_F(DeviceState, TransformsViewportAndMaterial) {
  D3DMATRIX m{};
  ASSERT_EQ(device->GetTransform(D3DTRANSFORMSTATE_PROJECTION, &m), D3D_OK);
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) EXPECT_EQ(m.m[r][c], r == c ? 1.0f : 0.0f);
  const D3DMATRIX t = Translation(1, 2, 3);
  ASSERT_EQ(device->SetTransform(D3DTRANSFORMSTATE_VIEW, &t), D3D_OK);
  ASSERT_EQ(device->GetTransform(D3DTRANSFORMSTATE_VIEW, &m), D3D_OK);
  EXPECT_EQ(m.m[3][2], 3.0f);
  EXPECT_EQ(device->SetTransform(static_cast<D3DTRANSFORMSTATETYPE>(0), &t), DDERR_INVALIDPARAMS);
  EXPECT_EQ(device->SetTransform(D3DTRANSFORMSTATE_WORLD, nullptr), DDERR_INVALIDPARAMS);

  // The viewport starts as the whole target and must stay on it.
  D3DVIEWPORT7 vp{};
  ASSERT_EQ(device->GetViewport(&vp), D3D_OK);
  EXPECT_EQ(vp.dwWidth, 64u);
  EXPECT_EQ(vp.dwHeight, 48u);
  EXPECT_EQ(vp.dvMaxZ, 1.0f);
  D3DVIEWPORT7 part{8, 8, 56, 40, 0, 1};
  EXPECT_EQ(device->SetViewport(&part), D3D_OK);
  const D3DVIEWPORT7 bad[] = {
      {8, 8, 57, 40, 0, 1},           {0, 0, 64, 49, 0, 1},     {0, 0, 0, 48, 0, 1},
      {0xFFFFFFF0u, 0, 32, 48, 0, 1}, {0, 0, 64, 48, -0.5f, 1}, {0, 0, 64, 48, 0, NAN},
  };
  for (const D3DVIEWPORT7& b : bad) EXPECT_EQ(device->SetViewport(&b), DDERR_INVALIDPARAMS) << b.dwX;
  ASSERT_EQ(device->GetViewport(&vp), D3D_OK);
  EXPECT_EQ(vp.dwX, 8u);
  EXPECT_EQ(vp.dwWidth, 56u);

  D3DMATERIAL7 mat{};
  ASSERT_EQ(device->GetMaterial(&mat), D3D_OK);
  EXPECT_EQ(mat.diffuse.r, 0.0f);
  EXPECT_EQ(mat.power, 0.0f);
  mat.emissive = {8, 8, 8, 0};
  ASSERT_EQ(device->SetMaterial(&mat), D3D_OK);
  D3DMATERIAL7 back{};
  ASSERT_EQ(device->GetMaterial(&back), D3D_OK);
  EXPECT_EQ(back.emissive.g, 8.0f);
  mat.diffuse.r = INFINITY;
  EXPECT_EQ(device->SetMaterial(&mat), DDERR_INVALIDPARAMS);
}

TEST_F(DeviceState, AnyNumberOfLights) {
  D3DLIGHT7 l{};
  l.dltType = D3DLIGHT_POINT;
  l.dcvDiffuse = {300, 300, 300, 0};
  l.dvRange = 50;
  l.dvAttenuation1 = 1;
  // The game's 147, and some far beyond.
  for (DWORD i = 0; i < 147; ++i) {
    l.dvPosition = {float(i), 0, 0};
    ASSERT_EQ(device->SetLight(i, &l), D3D_OK) << i;
    ASSERT_EQ(device->LightEnable(i, i % 2 ? 0xFFFFFFFF : FALSE), D3D_OK);
  }
  ASSERT_EQ(device->SetLight(100000, &l), D3D_OK);
  D3DLIGHT7 back{};
  ASSERT_EQ(device->GetLight(146, &back), D3D_OK);
  EXPECT_EQ(back.dvPosition.x, 146.0f);
  BOOL on = -1;
  ASSERT_EQ(device->GetLightEnable(145, &on), D3D_OK);
  EXPECT_NE(on, FALSE);
  ASSERT_EQ(device->GetLightEnable(100000, &on), D3D_OK);
  EXPECT_EQ(on, FALSE);
  // A light never set does not exist until it is switched on; then it is the default light.
  EXPECT_EQ(device->GetLight(500, &back), DDERR_INVALIDPARAMS);
  EXPECT_EQ(device->GetLightEnable(500, &on), DDERR_INVALIDPARAMS);
  ASSERT_EQ(device->LightEnable(500, TRUE), D3D_OK);
  ASSERT_EQ(device->GetLight(500, &back), D3D_OK);
  EXPECT_EQ(back.dltType, D3DLIGHT_DIRECTIONAL);
  EXPECT_EQ(back.dcvDiffuse.r, 1.0f);
  EXPECT_EQ(back.dvDirection.z, 1.0f);

  // Lights the pipeline could not use are refused; negative colours are allowed (they darken).
  D3DLIGHT7 bad = l;
  bad.dvRange = -1;
  EXPECT_EQ(device->SetLight(0, &bad), DDERR_INVALIDPARAMS);
  bad = l;
  bad.dltType = static_cast<D3DLIGHTTYPE>(4);
  EXPECT_EQ(device->SetLight(0, &bad), DDERR_INVALIDPARAMS);
  bad = l;
  bad.dvPosition.y = NAN;
  EXPECT_EQ(device->SetLight(0, &bad), DDERR_INVALIDPARAMS);
  bad = l;
  bad.dltType = D3DLIGHT_DIRECTIONAL;
  bad.dvDirection = {0, 0, 0};
  EXPECT_EQ(device->SetLight(0, &bad), DDERR_INVALIDPARAMS);
  EXPECT_EQ(device->SetLight(0, nullptr), DDERR_INVALIDPARAMS);
  D3DLIGHT7 dark = l;
  dark.dcvDiffuse = {-50, -50, -50, 0};
  EXPECT_EQ(device->SetLight(0, &dark), D3D_OK);
}

TEST_F(DeviceState, ScenesDoNotNestAndDrawingNeedsOne) {
  Ref<IDirect3DVertexBuffer7> vb = MakeBuffer(kScreenFvf, ScreenQuad(0, 0, 8, 8, 0.5f, 0xFFFFFFFF));
  const std::vector<WORD> idx = QuadIndices();
  EXPECT_EQ(device->EndScene(), D3DERR_SCENE_NOT_IN_SCENE);
  EXPECT_EQ(device->DrawIndexedPrimitiveVB(D3DPT_TRIANGLELIST, vb.Get(), 0, 4, idx.data(), 6, 0),
            D3DERR_SCENE_NOT_IN_SCENE);
  ASSERT_EQ(device->BeginScene(), D3D_OK);
  EXPECT_EQ(device->BeginScene(), D3DERR_SCENE_IN_SCENE);
  EXPECT_EQ(device->EndScene(), D3D_OK);
  EXPECT_EQ(device->EndScene(), D3DERR_SCENE_NOT_IN_SCENE);
}

// ---- Vertex buffers ------------------------------------------------------------------------

using VertexBuffers = D3DFixture;

TEST_F(VertexBuffers, SizesFollowTheVertexFormat) {
  struct Case {
    DWORD fvf;
    DWORD size;
  };
  const Case cases[] = {
      {0x1D2, 40},  // the meshes' layout
      {0x152, 36},  // without specular
      {D3DFVF_XYZ, 12},
      {D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_SPECULAR | D3DFVF_TEX1, 32},
      {D3DFVF_LVERTEX, 32},  // with the reserved word
      {D3DFVF_XYZ | D3DFVF_TEX8, 12 + 8 * 8},
      {D3DFVF_XYZ | D3DFVF_TEX2 | (1u << 16), 12 + 12 + 8},  // first set has three coordinates
  };
  for (const Case& c : cases) {
    D3DVERTEXBUFFERDESC desc{sizeof(desc), D3DVBCAPS_SYSTEMMEMORY, c.fvf, 10};
    Ref<IDirect3DVertexBuffer7> vb;
    ASSERT_EQ(d3d->CreateVertexBuffer(&desc, vb.Out(), 0), D3D_OK) << std::hex << c.fvf;
    void* p = nullptr;
    DWORD size = 0;
    ASSERT_EQ(vb->Lock(DDLOCK_WAIT, &p, &size), D3D_OK);
    EXPECT_EQ(size, 10 * c.size) << std::hex << c.fvf;
    EXPECT_EQ(vb->Unlock(), D3D_OK);
  }
  // Formats without a position, with reserved bits or more than eight sets are refused.
  for (DWORD fvf : {DWORD(D3DFVF_NORMAL), DWORD(D3DFVF_XYZ | D3DFVF_RESERVED0), DWORD(D3DFVF_XYZ | 0x900)}) {
    D3DVERTEXBUFFERDESC desc{sizeof(desc), 0, fvf, 10};
    IDirect3DVertexBuffer7* vb = reinterpret_cast<IDirect3DVertexBuffer7*>(1);
    EXPECT_EQ(d3d->CreateVertexBuffer(&desc, &vb, 0), D3DERR_INVALIDVERTEXTYPE) << std::hex << fvf;
    EXPECT_EQ(vb, nullptr);
  }
  D3DVERTEXBUFFERDESC empty{sizeof(empty), 0, 0x1D2, 0};
  D3DVERTEXBUFFERDESC huge{sizeof(huge), 0, 0x1D2, 0x10000};
  D3DVERTEXBUFFERDESC badSize{8, 0, 0x1D2, 10};
  D3DVERTEXBUFFERDESC optimizedCaps{sizeof(optimizedCaps), D3DVBCAPS_OPTIMIZED, 0x1D2, 10};
  IDirect3DVertexBuffer7* vb = nullptr;
  for (const D3DVERTEXBUFFERDESC* d : {&empty, &huge, &badSize, &optimizedCaps})
    EXPECT_EQ(d3d->CreateVertexBuffer(d, &vb, 0), DDERR_INVALIDPARAMS);
  EXPECT_EQ(d3d->CreateVertexBuffer(nullptr, &vb, 0), DDERR_INVALIDPARAMS);
}

TEST_F(VertexBuffers, AnOptimisedBufferCannotBeLockedAgain) {
  Ref<IDirectDrawSurface7> target = MakeTarget(Rgb565(), 16, 16);
  Ref<IDirect3DDevice7> device = MakeDevice(IID_IDirect3DRGBDevice, target.Get());
  D3DVERTEXBUFFERDESC desc{sizeof(desc), D3DVBCAPS_SYSTEMMEMORY, 0x1D2, 3};
  Ref<IDirect3DVertexBuffer7> vb;
  ASSERT_EQ(d3d->CreateVertexBuffer(&desc, vb.Out(), 0), D3D_OK);
  void* p = nullptr;
  ASSERT_EQ(vb->Lock(DDLOCK_WAIT, &p, nullptr), D3D_OK);
  ASSERT_NE(p, nullptr);
  // Not while it is locked.
  EXPECT_EQ(vb->Optimize(device.Get(), 0), D3DERR_VERTEXBUFFERLOCKED);
  EXPECT_EQ(vb->Unlock(), D3D_OK);
  EXPECT_EQ(vb->Unlock(), DDERR_NOTLOCKED);
  EXPECT_EQ(vb->Optimize(nullptr, 0), DDERR_INVALIDPARAMS);
  ASSERT_EQ(vb->Optimize(device.Get(), 0), D3D_OK);
  EXPECT_EQ(vb->Optimize(device.Get(), 0), D3DERR_VERTEXBUFFEROPTIMIZED);
  p = reinterpret_cast<void*>(1);
  EXPECT_EQ(vb->Lock(DDLOCK_WAIT, &p, nullptr), D3DERR_VERTEXBUFFEROPTIMIZED);
  EXPECT_EQ(p, nullptr);
  D3DVERTEXBUFFERDESC back{};
  back.dwSize = sizeof(back);
  ASSERT_EQ(vb->GetVertexBufferDesc(&back), D3D_OK);
  EXPECT_EQ(back.dwCaps, D3DVBCAPS_SYSTEMMEMORY | D3DVBCAPS_OPTIMIZED);
  EXPECT_EQ(back.dwFVF, 0x1D2u);
  EXPECT_EQ(back.dwNumVertices, 3u);
  // The buffer does not keep the device alive.
  EXPECT_EQ(device.Drop(), 0u);
  EXPECT_EQ(vb.Drop(), 0u);
}

TEST_F(VertexBuffers, ALockedBufferIsNotDrawn) {
  Ref<IDirectDrawSurface7> target = MakeTarget(Rgb565(), 16, 16);
  Ref<IDirect3DDevice7> device = MakeDevice(IID_IDirect3DRGBDevice, target.Get());
  Ref<IDirect3DVertexBuffer7> vb = MakeBuffer(kScreenFvf, ScreenQuad(0, 0, 16, 16, 0.5f, 0xFFFFFFFF));
  const std::vector<WORD> idx = QuadIndices();
  void* p = nullptr;
  ASSERT_EQ(vb->Lock(DDLOCK_WAIT, &p, nullptr), D3D_OK);
  ASSERT_EQ(device->BeginScene(), D3D_OK);
  EXPECT_EQ(device->DrawIndexedPrimitiveVB(D3DPT_TRIANGLELIST, vb.Get(), 0, 4, idx.data(), 6, 0),
            D3DERR_VERTEXBUFFERLOCKED);
  vb->Unlock();
  EXPECT_EQ(device->DrawIndexedPrimitiveVB(D3DPT_TRIANGLELIST, vb.Get(), 0, 4, idx.data(), 6, 0), D3D_OK);
  device->EndScene();
}

}  // namespace
}  // namespace d3dtest
