// Reaching Direct3D, creating devices of each kind, the format lists, reference counts and
// retained mode.
#include "D3DTestUtil.h"
#include "platform/d3d/D3DRM.h"

namespace d3dtest {
namespace {

using DeviceCreation = D3DFixture;

TEST_F(DeviceCreation, Direct3DKeepsTheDirectDrawObjectAliveAndLeadsBackToIt) {
  // Two references now: ours and the Direct3D object's.
  EXPECT_EQ(RefCount(dd.Get()), 2u);
  Ref<IDirectDraw7> back;
  ASSERT_EQ(d3d->QueryInterface(IID_IDirectDraw7, reinterpret_cast<void**>(back.Out())), S_OK);
  EXPECT_EQ(back.Get(), dd.Get());
  back.Reset();
  void* none = nullptr;
  EXPECT_EQ(d3d->QueryInterface(IID_IDirect3DDevice7, &none), E_NOINTERFACE);
  EXPECT_EQ(none, nullptr);
  // The display component releases Direct3D first and expects DirectDraw's count to reach 0 after.
  EXPECT_EQ(d3d.Drop(), 0u);
  EXPECT_EQ(dd.Drop(), 0u);
}

TEST_F(DeviceCreation, EachKindOfDeviceOnAMachineWithout3DHardware) {
  Ref<IDirectDrawSurface7> target = MakeTarget(Rgb565());
  Ref<IDirectDrawSurface7> z = AttachZBuffer(target.Get());
  struct Case {
    const GUID* guid;
    HRESULT expected;
  };
  const Case cases[] = {
      {&IID_IDirect3DTnLHalDevice, D3DERR_INVALID_DEVICE},
      {&IID_IDirect3DHALDevice, D3DERR_INVALID_DEVICE},
      {&IID_IDirect3DMMXDevice, D3D_OK},
      {&IID_IDirect3DRGBDevice, D3D_OK},
      {&IID_IDirect3DRampDevice, D3DERR_INVALID_DEVICE},
      {&IID_IDirect3DRefDevice, D3D_OK},
      {&IID_IDirect3D7, DDERR_INVALIDPARAMS},
  };
  for (const Case& c : cases) {
    IDirect3DDevice7* device = reinterpret_cast<IDirect3DDevice7*>(1);
    EXPECT_EQ(d3d->CreateDevice(*c.guid, target.Get(), &device), c.expected) << c.guid->Data1;
    if (c.expected == D3D_OK) {
      ASSERT_NE(device, nullptr);
      EXPECT_EQ(device->Release(), 0u);
    } else {
      EXPECT_EQ(device, nullptr);
    }
  }
}

TEST_F(DeviceCreation, HardwareKindsExistWhenTheDriverReports3DHardware) {
  d3d.Reset();
  dd.Reset();
  ddraw::MachineConfig machine;
  machine.drivers.front().caps |= DDCAPS_3D;
  ddraw::SetMachine(machine);
  ASSERT_EQ(DirectDrawCreateEx(nullptr, reinterpret_cast<void**>(dd.Out()), IID_IDirectDraw7, nullptr), DD_OK);
  ASSERT_EQ(dd->SetCooperativeLevel(nullptr, DDSCL_NORMAL), DD_OK);
  ASSERT_EQ(dd->QueryInterface(IID_IDirect3D7, reinterpret_cast<void**>(d3d.Out())), S_OK);
  Ref<IDirectDrawSurface7> target = MakeTarget(Xrgb8888());
  for (const GUID* g : {&IID_IDirect3DTnLHalDevice, &IID_IDirect3DHALDevice}) {
    Ref<IDirect3DDevice7> device;
    EXPECT_EQ(d3d->CreateDevice(*g, target.Get(), device.Out()), D3D_OK);
  }
  // Ramp stays gone.
  Ref<IDirect3DDevice7> ramp;
  EXPECT_EQ(d3d->CreateDevice(IID_IDirect3DRampDevice, target.Get(), ramp.Out()), D3DERR_INVALID_DEVICE);
}

TEST_F(DeviceCreation, RenderTargetMustBeA3DSurfaceInADrawableFormat) {
  Ref<IDirect3DDevice7> device;
  EXPECT_EQ(d3d->CreateDevice(IID_IDirect3DRGBDevice, nullptr, device.Out()), DDERR_INVALIDPARAMS);
  EXPECT_EQ(d3d->CreateDevice(IID_IDirect3DRGBDevice, nullptr, nullptr), DDERR_INVALIDPARAMS);

  const DDPIXELFORMAT rgb = Rgb565();
  Ref<IDirectDrawSurface7> plain = MakeSurface(DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY, 32, 32, &rgb);
  EXPECT_EQ(d3d->CreateDevice(IID_IDirect3DRGBDevice, plain.Get(), device.Out()), DDERR_INVALIDCAPS);

  Ref<IDirectDrawSurface7> indexed = MakeTarget(pixfmt::Pal8(), 32, 32);
  EXPECT_EQ(d3d->CreateDevice(IID_IDirect3DRGBDevice, indexed.Get(), device.Out()), DDERR_INVALIDPIXELFORMAT);

  Ref<IDirectDrawSurface7> good = MakeTarget(Rgb565(), 32, 32);
  EXPECT_EQ(d3d->CreateDevice(IID_IDirect3DRGBDevice, good.Get(), device.Out()), D3D_OK);
}

TEST_F(DeviceCreation, ReferenceCountsOfDeviceTargetAndTextures) {
  Ref<IDirectDrawSurface7> target = MakeTarget(Rgb565());
  const DDPIXELFORMAT texFormat = d3d::TextureFormat(2);
  Ref<IDirectDrawSurface7> texture = MakeSurface(DDSCAPS_TEXTURE | DDSCAPS_SYSTEMMEMORY, 8, 8, &texFormat);
  {
    Ref<IDirect3DDevice7> device = MakeDevice(IID_IDirect3DRGBDevice, target.Get());
    ASSERT_TRUE(device);
    EXPECT_EQ(RefCount(target.Get()), 2u);  // the device holds its render target
    EXPECT_EQ(RefCount(d3d.Get()), 2u);     // and its Direct3D object
    ASSERT_EQ(device->SetTexture(0, texture.Get()), D3D_OK);
    EXPECT_EQ(RefCount(texture.Get()), 2u);
    IDirectDrawSurface7* got = nullptr;
    ASSERT_EQ(device->GetTexture(0, &got), D3D_OK);
    EXPECT_EQ(got, texture.Get());
    EXPECT_EQ(got->Release(), 2u);
    ASSERT_EQ(device->SetTexture(0, nullptr), D3D_OK);
    EXPECT_EQ(RefCount(texture.Get()), 1u);
    ASSERT_EQ(device->SetTexture(0, texture.Get()), D3D_OK);
    // The display component checks that releasing the device leaves nothing behind.
    EXPECT_EQ(device.Drop(), 0u);
  }
  EXPECT_EQ(RefCount(target.Get()), 1u);
  EXPECT_EQ(RefCount(texture.Get()), 1u);
  EXPECT_EQ(RefCount(d3d.Get()), 1u);
}

TEST_F(DeviceCreation, ZBufferFormatsInTheirFixedOrderAndEachOneWorks) {
  std::vector<DDPIXELFORMAT> formats;
  auto collect = [](DDPIXELFORMAT* f, void* c) -> HRESULT {
    static_cast<std::vector<DDPIXELFORMAT>*>(c)->push_back(*f);
    return D3DENUMRET_OK;
  };
  ASSERT_EQ(d3d->EnumZBufferFormats(IID_IDirect3DRGBDevice, collect, &formats), D3D_OK);
  ASSERT_EQ(formats.size(), 4u);
  struct Expected {
    DWORD flags, depth, zMask, stencilDepth, stencilMask;
  };
  const Expected expected[] = {
      {DDPF_ZBUFFER, 16, 0xFFFF, 0, 0},
      {DDPF_ZBUFFER, 32, 0xFFFFFF00, 0, 0},
      {DDPF_ZBUFFER, 32, 0xFFFFFFFF, 0, 0},
      {DDPF_ZBUFFER | DDPF_STENCILBUFFER, 32, 0xFFFFFF00, 8, 0xFF},
  };
  for (std::size_t i = 0; i < formats.size(); ++i) {
    EXPECT_EQ(formats[i].dwSize, sizeof(DDPIXELFORMAT));
    EXPECT_EQ(formats[i].dwFlags, expected[i].flags) << i;
    EXPECT_EQ(formats[i].dwZBufferBitDepth, expected[i].depth) << i;
    EXPECT_EQ(formats[i].dwZBitMask, expected[i].zMask) << i;
    EXPECT_EQ(formats[i].dwStencilBitDepth, expected[i].stencilDepth) << i;
    EXPECT_EQ(formats[i].dwStencilBitMask, expected[i].stencilMask) << i;
  }
  // Cancelling stops the list.
  int seen = 0;
  auto first = [](DDPIXELFORMAT*, void* c) -> HRESULT {
    ++*static_cast<int*>(c);
    return D3DENUMRET_CANCEL;
  };
  EXPECT_EQ(d3d->EnumZBufferFormats(IID_IDirect3DRefDevice, first, &seen), D3D_OK);
  EXPECT_EQ(seen, 1);
  // Devices that cannot exist have no formats.
  EXPECT_EQ(d3d->EnumZBufferFormats(IID_IDirect3DHALDevice, collect, &formats), D3DERR_INVALID_DEVICE);
  EXPECT_EQ(d3d->EnumZBufferFormats(IID_IDirect3DRampDevice, collect, &formats), D3DERR_INVALID_DEVICE);
  EXPECT_EQ(d3d->EnumZBufferFormats(IID_IDirect3DRGBDevice, nullptr, nullptr), DDERR_INVALIDPARAMS);

  // Every listed format makes a z-buffer DirectDraw accepts and the devices test against.
  for (int i = 0; i < d3d::kZBufferFormatCount; ++i) {
    Ref<IDirectDrawSurface7> target = MakeTarget(Xrgb8888(), 16, 16);
    Ref<IDirectDrawSurface7> z = AttachZBuffer(target.Get(), i);
    ASSERT_TRUE(z) << i;
    Ref<IDirect3DDevice7> device = MakeDevice(IID_IDirect3DRGBDevice, target.Get());
    ASSERT_TRUE(device) << i;
    DWORD zenable = 0;
    ASSERT_EQ(device->GetRenderState(D3DRENDERSTATE_ZENABLE, &zenable), D3D_OK);
    EXPECT_EQ(zenable, DWORD(D3DZB_TRUE)) << i;
    ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 0.5f, 0), D3D_OK) << i;
    // Behind the cleared depth: hidden. In front of it: drawn.
    ExpectDepthDecides(device.Get(), target.Get(), "format " + std::to_string(i));
  }
}

TEST_F(DeviceCreation, ZEnableDefaultsToWhetherAZBufferWasAttached) {
  Ref<IDirectDrawSurface7> bare = MakeTarget(Rgb565(), 16, 16);
  Ref<IDirect3DDevice7> device = MakeDevice(IID_IDirect3DRGBDevice, bare.Get());
  DWORD v = 99;
  ASSERT_EQ(device->GetRenderState(D3DRENDERSTATE_ZENABLE, &v), D3D_OK);
  EXPECT_EQ(v, DWORD(D3DZB_FALSE));
  // Asking for z without a z-buffer is refused rather than drawn wrongly.
  EXPECT_EQ(device->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.0f, 0), D3DERR_ZBUFFER_NOTPRESENT);
  ASSERT_EQ(device->SetRenderState(D3DRENDERSTATE_ZENABLE, D3DZB_TRUE), D3D_OK);
  Ref<IDirect3DVertexBuffer7> vb = MakeBuffer(kScreenFvf, ScreenQuad(0, 0, 16, 16, 0.5f, 0xFFFFFFFF));
  const std::vector<WORD> idx = QuadIndices();
  ASSERT_EQ(device->BeginScene(), D3D_OK);
  EXPECT_EQ(device->DrawIndexedPrimitiveVB(D3DPT_TRIANGLELIST, vb.Get(), 0, 4, idx.data(), 6, 0),
            D3DERR_ZBUFFER_NOTPRESENT);
  EXPECT_EQ(device->EndScene(), D3D_OK);
}

TEST_F(DeviceCreation, TextureFormatsInTheirFixedOrder) {
  Ref<IDirectDrawSurface7> target = MakeTarget(Rgb565(), 16, 16);
  Ref<IDirect3DDevice7> device = MakeDevice(IID_IDirect3DRGBDevice, target.Get());
  std::vector<DDPIXELFORMAT> formats;
  auto collect = [](DDPIXELFORMAT* f, void* c) -> HRESULT {
    static_cast<std::vector<DDPIXELFORMAT>*>(c)->push_back(*f);
    return D3DENUMRET_OK;
  };
  ASSERT_EQ(device->EnumTextureFormats(collect, &formats), D3D_OK);
  ASSERT_EQ(formats.size(), 7u);
  struct Expected {
    DWORD flags, bits, a, r, g, b;
  };
  const Expected expected[] = {
      {DDPF_RGB, 16, 0, 0xF800, 0x07E0, 0x001F},
      {DDPF_RGB, 16, 0, 0x7C00, 0x03E0, 0x001F},
      {DDPF_RGB | DDPF_ALPHAPIXELS, 16, 0x8000, 0x7C00, 0x03E0, 0x001F},
      {DDPF_RGB | DDPF_ALPHAPIXELS, 16, 0xF000, 0x0F00, 0x00F0, 0x000F},
      {DDPF_RGB, 32, 0, 0xFF0000, 0xFF00, 0xFF},
      {DDPF_RGB | DDPF_ALPHAPIXELS, 32, 0xFF000000, 0xFF0000, 0xFF00, 0xFF},
  };
  for (std::size_t i = 0; i < 6; ++i) {
    EXPECT_EQ(formats[i].dwFlags, expected[i].flags) << i;
    EXPECT_EQ(formats[i].dwRGBBitCount, expected[i].bits) << i;
    EXPECT_EQ(formats[i].dwRGBAlphaBitMask, expected[i].a) << i;
    EXPECT_EQ(formats[i].dwRBitMask, expected[i].r) << i;
    EXPECT_EQ(formats[i].dwGBitMask, expected[i].g) << i;
    EXPECT_EQ(formats[i].dwBBitMask, expected[i].b) << i;
  }
  EXPECT_TRUE(formats[6].dwFlags & DDPF_LUMINANCE);
  // Every RGB format is one DirectDraw can make a texture of and the device can sample.
  for (std::size_t i = 0; i < 6; ++i) {
    Ref<IDirectDrawSurface7> t = MakeSurface(DDSCAPS_TEXTURE | DDSCAPS_SYSTEMMEMORY, 4, 4, &formats[i]);
    ASSERT_TRUE(t) << i;
    EXPECT_EQ(device->SetTexture(0, t.Get()), D3D_OK) << i;
  }
  // A surface that is not a texture is accepted and binds nothing (see ConformanceTest.cpp).
  EXPECT_EQ(device->SetTexture(0, target.Get()), D3D_OK);
  EXPECT_EQ(device->SetTexture(8, nullptr), DDERR_INVALIDPARAMS);
}

TEST(RetainedMode, ObjectAndClipperDeviceAreCountedLikeThePlatforms) {
  ddraw::ResetMachine();
  IDirect3DRM* first = nullptr;
  ASSERT_EQ(Direct3DRMCreate(&first), D3DRM_OK);
  IDirect3DRM3* rm = nullptr;
  ASSERT_EQ(first->QueryInterface(IID_IDirect3DRM3, reinterpret_cast<void**>(&rm)), S_OK);
  EXPECT_EQ(first->Release(), 1u);  // the display component lets go of the first interface at once
  void* none = nullptr;
  EXPECT_EQ(rm->QueryInterface(IID_IDirect3D7, &none), E_NOINTERFACE);

  Ref<IDirectDraw7> dd;
  ASSERT_EQ(DirectDrawCreateEx(nullptr, reinterpret_cast<void**>(dd.Out()), IID_IDirectDraw7, nullptr), DD_OK);
  Ref<IDirectDrawClipper> clipper;
  ASSERT_EQ(dd->CreateClipper(0, clipper.Out(), nullptr), DD_OK);

  IDirect3DRMDevice3* device = nullptr;
  GUID rgb = IID_IDirect3DRGBDevice;
  ASSERT_EQ(rm->CreateDeviceFromClipper(clipper.Get(), &rgb, 640, 480, &device), D3DRM_OK);
  EXPECT_EQ(device->GetWidth(), 640u);
  EXPECT_EQ(device->GetHeight(), 480u);
  EXPECT_EQ(RefCount(clipper.Get()), 2u);
  EXPECT_EQ(device->Release(), 0u);
  EXPECT_EQ(RefCount(clipper.Get()), 1u);

  // A null GUID takes the default device; bad arguments and impossible devices are refused.
  ASSERT_EQ(rm->CreateDeviceFromClipper(clipper.Get(), nullptr, 128, 128, &device), D3DRM_OK);
  EXPECT_EQ(device->Release(), 0u);
  EXPECT_EQ(rm->CreateDeviceFromClipper(nullptr, nullptr, 128, 128, &device), D3DRMERR_BADVALUE);
  EXPECT_EQ(device, nullptr);
  EXPECT_EQ(rm->CreateDeviceFromClipper(clipper.Get(), nullptr, 0, 128, &device), D3DRMERR_BADVALUE);
  GUID hal = IID_IDirect3DHALDevice;
  EXPECT_EQ(rm->CreateDeviceFromClipper(clipper.Get(), &hal, 128, 128, &device), D3DRMERR_BADDEVICE);
  GUID tnl = IID_IDirect3DTnLHalDevice;
  EXPECT_EQ(rm->CreateDeviceFromClipper(clipper.Get(), &tnl, 128, 128, &device), D3DRMERR_BADDEVICE);
  EXPECT_EQ(rm->Release(), 0u);
}

TEST(RetainedMode, LinkingItInstallsDirect3DOnDirectDraw) {
  // No explicit InstallDirect3D here: the display component never calls one.
  ddraw::ResetMachine();
  Ref<IDirectDraw7> dd;
  ASSERT_EQ(DirectDrawCreateEx(nullptr, reinterpret_cast<void**>(dd.Out()), IID_IDirectDraw7, nullptr), DD_OK);
  Ref<IDirect3D7> d3d;
  EXPECT_EQ(dd->QueryInterface(IID_IDirect3D7, reinterpret_cast<void**>(d3d.Out())), S_OK);
  EXPECT_TRUE(d3d);
}

}  // namespace
}  // namespace d3dtest
