#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/ddraw/DDrawInternal.h"
#include "platform/ddraw/DDrawMachine.h"
#include "platform/ddraw/DDrawTestUtil.h"
#include "platform/gdi/Gdi.h"
#include "platform/gdi/PixelTarget.h"
#include "platform/win/WinTime.h"

using namespace ddtest;

namespace {

class DDraw : public ::testing::Test {
 protected:
  void SetUp() override {
    ddraw::ResetMachine();
    ddraw::SetMachine(TestMachine());
  }
  void TearDown() override {
    ddraw::SetDirect3DFactory(nullptr);
    ddraw::ResetMachine();
  }
  // A DirectDraw object at the normal cooperative level.
  IDirectDraw7* Windowed(HWND window = FakeHwnd()) {
    IDirectDraw7* dd = CreateDD();
    EXPECT_EQ(dd->SetCooperativeLevel(window, DDSCL_NORMAL), DD_OK);
    return dd;
  }
  IDirectDrawSurface7* Make(IDirectDraw7* dd, DDSURFACEDESC2 desc, HRESULT expected = DD_OK) {
    IDirectDrawSurface7* s = nullptr;
    EXPECT_EQ(dd->CreateSurface(&desc, &s, nullptr), expected);
    return s;
  }
};

struct Driver {
  bool primaryNull = false;
  std::string description, name;
};

BOOL Collect(GUID* guid, LPSTR description, LPSTR name, LPVOID context) {
  static_cast<std::vector<Driver>*>(context)->push_back({guid == nullptr, description, name});
  return TRUE;
}

TEST_F(DDraw, DefaultMachineHasOneDisplayDriverWithoutThreeDAndNineModes) {
  ddraw::ResetMachine();  // the honest default, not the test machine
  std::vector<Driver> drivers;
  ASSERT_EQ(DirectDrawEnumerateA(Collect, &drivers), DD_OK);
  ASSERT_EQ(drivers.size(), 1u);
  EXPECT_TRUE(drivers[0].primaryNull);
  EXPECT_EQ(drivers[0].name, "display");

  IDirectDraw7* dd = CreateDD();
  ASSERT_NE(dd, nullptr);
  DDCAPS caps{};
  caps.dwSize = sizeof caps;
  ASSERT_EQ(dd->GetCaps(&caps, nullptr), DD_OK);
  EXPECT_EQ(caps.dwCaps & DDCAPS_3D, 0u);
  std::vector<DDSURFACEDESC2> modes;
  dd->EnumDisplayModes(0, nullptr, &modes, [](LPDDSURFACEDESC2 d, LPVOID c) -> HRESULT {
    static_cast<std::vector<DDSURFACEDESC2>*>(c)->push_back(*d);
    return DDENUMRET_OK;
  });
  ASSERT_EQ(modes.size(), 9u);
  int found = 0;
  for (const auto& m : modes)
    if (m.dwWidth == 800 && m.dwHeight == 600 && m.ddpfPixelFormat.dwRGBBitCount == 16) {
      ++found;
      EXPECT_EQ(m.ddpfPixelFormat.dwRBitMask, 0xF800u);
    }
  EXPECT_EQ(found, 1);
  EXPECT_EQ(dd->Release(), 0u);
}

TEST_F(DDraw, SecondaryDriversAreEnumeratedAndCreatedByGuid) {
  auto m = TestMachine();
  ddraw::DriverConfig card;
  card.guid = {0x12345678, 1, 2, {1, 2, 3, 4, 5, 6, 7, 8}};
  card.description = "3-D card";
  card.name = "card";
  card.caps |= DDCAPS_3D;
  ddraw::DriverConfig broken = card;
  broken.guid.Data1 = 0x99;
  broken.creatable = false;
  m.drivers.push_back(card);
  m.drivers.push_back(broken);
  ddraw::SetMachine(m);

  std::vector<Driver> drivers;
  DirectDrawEnumerateA(Collect, &drivers);
  ASSERT_EQ(drivers.size(), 3u);
  EXPECT_FALSE(drivers[1].primaryNull);
  EXPECT_EQ(drivers[1].description, "3-D card");

  IDirectDraw7* dd = CreateDD(&card.guid);
  ASSERT_NE(dd, nullptr);
  DDCAPS caps{}, hel{};
  caps.dwSize = hel.dwSize = sizeof caps;
  ASSERT_EQ(dd->GetCaps(&caps, &hel), DD_OK);
  EXPECT_NE(caps.dwCaps & DDCAPS_3D, 0u);
  EXPECT_NE(caps.ddsCaps.dwCaps & DDSCAPS_TEXTURE, 0u);
  EXPECT_EQ(hel.dwCaps & DDCAPS_3D, 0u);
  DDCAPS small{};
  small.dwSize = 100;
  EXPECT_EQ(dd->GetCaps(&small, nullptr), DDERR_INVALIDPARAMS);
  dd->Release();

  void* out = nullptr;
  EXPECT_EQ(DirectDrawCreateEx(&broken.guid, &out, IID_IDirectDraw7, nullptr), DDERR_NODIRECTDRAWHW);
  GUID unknown = card.guid;
  unknown.Data1 = 7;
  EXPECT_EQ(DirectDrawCreateEx(&unknown, &out, IID_IDirectDraw7, nullptr), DDERR_INVALIDDIRECTDRAWGUID);
  EXPECT_EQ(DirectDrawCreateEx(nullptr, &out, IID_IDirect3D7, nullptr), DDERR_INVALIDPARAMS);
  EXPECT_EQ(out, nullptr);
}

IDirectDraw7* g_seenBy = nullptr;
HRESULT FakeDirect3D(IDirectDraw7* dd, void** out) {
  g_seenBy = dd;
  *out = nullptr;
  return DDERR_GENERIC;
}

TEST_F(DDraw, ReferenceCountsAndTheDirect3DHook) {
  IDirectDraw7* dd = CreateDD();
  void* same = nullptr;
  ASSERT_EQ(dd->QueryInterface(IID_IDirectDraw7, &same), S_OK);
  EXPECT_EQ(same, dd);
  void* d3d = reinterpret_cast<void*>(1);
  EXPECT_EQ(dd->QueryInterface(IID_IDirect3D7, &d3d), E_NOINTERFACE);
  EXPECT_EQ(d3d, nullptr);
  ddraw::SetDirect3DFactory(FakeDirect3D);
  EXPECT_EQ(dd->QueryInterface(IID_IDirect3D7, &d3d), DDERR_GENERIC);
  EXPECT_EQ(g_seenBy, dd);
  EXPECT_EQ(dd->Release(), 1u);
  EXPECT_EQ(dd->Release(), 0u);
}

TEST_F(DDraw, DisplayModesAreFilteredAndEnumerationStopsOnCancel) {
  IDirectDraw7* dd = CreateDD();
  DDSURFACEDESC2 filter{};
  filter.dwSize = sizeof filter;
  filter.dwFlags = DDSD_PIXELFORMAT;
  filter.ddpfPixelFormat.dwRGBBitCount = 32;
  int count = 0;
  dd->EnumDisplayModes(0, &filter, &count, [](LPDDSURFACEDESC2 d, LPVOID c) -> HRESULT {
    EXPECT_EQ(d->ddpfPixelFormat.dwRGBBitCount, 32u);
    ++*static_cast<int*>(c);
    return DDENUMRET_OK;
  });
  EXPECT_EQ(count, 3);
  count = 0;
  dd->EnumDisplayModes(0, nullptr, &count, [](LPDDSURFACEDESC2, LPVOID c) -> HRESULT {
    return ++*static_cast<int*>(c) == 2 ? DDENUMRET_CANCEL : DDENUMRET_OK;
  });
  EXPECT_EQ(count, 2);
  dd->Release();
}

TEST_F(DDraw, EveryColourFormatLocksAndDrawsThroughGdi) {
  IDirectDraw7* dd = Windowed();
  for (const auto& [name, format] : ColourFormats()) {
    SCOPED_TRACE(name);
    IDirectDrawSurface7* s = Make(dd, OffscreenDesc(5, 3, &format));
    ASSERT_NE(s, nullptr);
    DDSURFACEDESC2 d{};
    d.dwSize = sizeof d;
    ASSERT_EQ(s->GetSurfaceDesc(&d), DD_OK);
    EXPECT_EQ(d.dwWidth, 5u);
    EXPECT_EQ(d.ddpfPixelFormat.dwRGBAlphaBitMask, format.dwRGBAlphaBitMask);
    EXPECT_GE(d.lPitch, static_cast<LONG>(5 * format.dwRGBBitCount / 8));

    // GDI writes pure green where a lock reads it back in the surface's own layout.
    HDC dc = nullptr;
    ASSERT_EQ(s->GetDC(&dc), DD_OK);
    SetPixel(dc, 4, 2, RGB(0, 255, 0));
    EXPECT_EQ(GetPixel(dc, 4, 2), RGB(0, 255, 0));
    EXPECT_EQ(s->Lock(nullptr, &d, DDLOCK_WAIT, nullptr), DDERR_SURFACEBUSY);
    HDC second = nullptr;
    EXPECT_EQ(s->GetDC(&second), DDERR_DCALREADYCREATED);
    ASSERT_EQ(s->ReleaseDC(dc), DD_OK);
    const uint32_t value = ReadPixel(s, 4, 2);
    if (format.dwFlags & DDPF_PALETTEINDEXED8) {
      const PALETTEENTRY& e = gdi::DefaultPalette()[value & 0xFF];  // an entry that is pure green
      EXPECT_EQ(RGB(e.peRed, e.peGreen, e.peBlue), RGB(0, 255, 0));
    } else
      EXPECT_EQ(value, format.dwGBitMask);

    // And the other way round: a value written through a lock reads back through GDI.
    ASSERT_EQ(WritePixel(s, 1, 1, format.dwRBitMask ? format.dwRBitMask : 249u), DD_OK);
    ASSERT_EQ(s->Lock(nullptr, &d, DDLOCK_WAIT, nullptr), DD_OK);
    EXPECT_EQ(s->GetDC(&dc), DDERR_SURFACEBUSY);
    ASSERT_EQ(s->Unlock(nullptr), DD_OK);
    EXPECT_EQ(s->Unlock(nullptr), DDERR_NOTLOCKED);
    ASSERT_EQ(s->GetDC(&dc), DD_OK);
    EXPECT_EQ(GetPixel(dc, 1, 1), RGB(255, 0, 0));
    s->ReleaseDC(dc);
    EXPECT_EQ(s->ReleaseDC(dc), DDERR_NODC);
    EXPECT_EQ(s->Release(), 0u);
  }
  dd->Release();
}

TEST_F(DDraw, LockOfARectanglePointsAtItsFirstPixel) {
  IDirectDraw7* dd = Windowed();
  auto f = Rgb(32, 0xFF0000, 0xFF00, 0xFF);
  IDirectDrawSurface7* s = Make(dd, OffscreenDesc(8, 8, &f));
  RECT r{2, 3, 5, 6};
  DDSURFACEDESC2 d{};
  d.dwSize = sizeof d;
  ASSERT_EQ(s->Lock(&r, &d, DDLOCK_WAIT, nullptr), DD_OK);
  *static_cast<uint32_t*>(d.lpSurface) = 0x123456;
  s->Unlock(&r);
  EXPECT_EQ(ReadPixel(s, 2, 3), 0x123456u);
  RECT outside{4, 4, 9, 5};
  EXPECT_EQ(s->Lock(&outside, &d, DDLOCK_WAIT, nullptr), DDERR_INVALIDRECT);
  d.dwSize = 12;
  EXPECT_EQ(s->Lock(nullptr, &d, DDLOCK_WAIT, nullptr), DDERR_INVALIDPARAMS);
  s->Release();
  dd->Release();
}

TEST_F(DDraw, BadSurfaceRequestsAreRefused) {
  IDirectDraw7* dd = CreateDD();
  EXPECT_EQ(Make(dd, OffscreenDesc(4, 4), DDERR_NOCOOPERATIVELEVELSET), nullptr);
  dd->SetCooperativeLevel(FakeHwnd(), DDSCL_NORMAL);
  Make(dd, OffscreenDesc(0, 4), DDERR_INVALIDPARAMS);
  Make(dd, OffscreenDesc(100000, 4), DDERR_TOOBIGSIZE);
  auto overlapping = Rgb(16, 0xFF00, 0x0FF0, 0x000F);
  Make(dd, OffscreenDesc(4, 4, &overlapping), DDERR_INVALIDPIXELFORMAT);
  auto tooWide = Rgb(16, 0xF8000, 0x07E0, 0x001F);
  Make(dd, OffscreenDesc(4, 4, &tooWide), DDERR_INVALIDPIXELFORMAT);
  Make(dd, OffscreenDesc(4, 4, nullptr, DDSCAPS_ZBUFFER), DDERR_INVALIDPIXELFORMAT);
  Make(dd, OffscreenDesc(4, 4, nullptr, DDSCAPS_SYSTEMMEMORY | DDSCAPS_VIDEOMEMORY), DDERR_INVALIDCAPS);
  DDSURFACEDESC2 wrongSize = OffscreenDesc(4, 4);
  wrongSize.dwSize = 100;
  Make(dd, wrongSize, DDERR_INVALIDPARAMS);
  // A flip chain needs exclusive full screen.
  DDSURFACEDESC2 chain{};
  chain.dwSize = sizeof chain;
  chain.dwFlags = DDSD_CAPS | DDSD_BACKBUFFERCOUNT;
  chain.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX;
  chain.dwBackBufferCount = 1;
  Make(dd, chain, DDERR_NOEXCLUSIVEMODE);
  DDSURFACEDESC2 primary{};
  primary.dwSize = sizeof primary;
  primary.dwFlags = DDSD_CAPS;
  primary.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE;
  IDirectDrawSurface7* p = Make(dd, primary);
  Make(dd, primary, DDERR_PRIMARYSURFACEALREADYEXISTS);
  p->Release();
  p = Make(dd, primary);  // the first one is gone
  p->Release();
  EXPECT_EQ(dd->SetDisplayMode(640, 480, 16, 0, 0), DDERR_NOEXCLUSIVEMODE);
  EXPECT_EQ(dd->SetCooperativeLevel(nullptr, DDSCL_FULLSCREEN | DDSCL_EXCLUSIVE), DDERR_INVALIDPARAMS);
  EXPECT_EQ(dd->SetCooperativeLevel(FakeHwnd(), DDSCL_FULLSCREEN), DDERR_INVALIDPARAMS);
  EXPECT_EQ(dd->Release(), 0u);
}

// A clipper some other code made: the surfaces must not take it for one of theirs.
struct ForeignClipper final : IDirectDrawClipper {
  HRESULT QueryInterface(REFIID, void** ppv) override {
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return 2; }
  ULONG Release() override { return 1; }
  HRESULT SetHWnd(DWORD, HWND) override { return DD_OK; }
  HRESULT GetHWnd(HWND* w) override {
    *w = nullptr;
    return DD_OK;
  }
};

TEST_F(DDraw, ObjectsMadeElsewhereAreRefused) {
  IDirectDraw7* dd = Windowed();
  IDirectDrawSurface7* s = Make(dd, OffscreenDesc(4, 4));
  ForeignClipper foreign;
  EXPECT_EQ(s->SetClipper(&foreign), DDERR_INVALIDOBJECT);
  IDirectDrawClipper* mine = nullptr;
  dd->CreateClipper(0, &mine, nullptr);
  EXPECT_EQ(s->SetClipper(mine), DD_OK);
  EXPECT_EQ(s->SetClipper(nullptr), DD_OK);
  EXPECT_EQ(mine->Release(), 0u);
  s->Release();
  dd->Release();
}

TEST_F(DDraw, DepthBuffersAttachToASurfaceOfTheirSize) {
  IDirectDraw7* dd = Windowed();
  IDirectDrawSurface7* target = Make(dd, OffscreenDesc(16, 8, nullptr, DDSCAPS_OFFSCREENPLAIN | DDSCAPS_3DDEVICE));
  // The layouts the emulated driver draws into (the other ones are refused: see
  // DepthFormatTest.cpp).
  const DDPIXELFORMAT depths[] = {Depth(16, 0xFFFF), Depth(32, 0xFFFFFF00), Depth(32, 0xFFFFFF00, 8, 0xFF),
                                  Depth(32, 0xFFFFFFFF)};
  for (const DDPIXELFORMAT& f : depths) {
    IDirectDrawSurface7* z = Make(dd, OffscreenDesc(16, 8, &f, DDSCAPS_ZBUFFER | DDSCAPS_SYSTEMMEMORY));
    ASSERT_NE(z, nullptr);
    ASSERT_EQ(WritePixel(z, 15, 7, f.dwZBitMask), DD_OK);
    EXPECT_EQ(ReadPixel(z, 15, 7), f.dwZBitMask);
    HDC dc = nullptr;
    EXPECT_EQ(z->GetDC(&dc), DDERR_CANTCREATEDC);
    ASSERT_EQ(target->AddAttachedSurface(z), DD_OK);
    EXPECT_EQ(target->AddAttachedSurface(z), DDERR_SURFACEALREADYATTACHED);
    DDSCAPS2 caps{DDSCAPS_ZBUFFER, 0, 0, {0}};
    IDirectDrawSurface7* found = nullptr;
    ASSERT_EQ(target->GetAttachedSurface(&caps, &found), DD_OK);
    EXPECT_EQ(found, z);
    found->Release();
    ASSERT_EQ(target->DeleteAttachedSurface(0, z), DD_OK);
    EXPECT_EQ(target->DeleteAttachedSurface(0, z), DDERR_SURFACENOTATTACHED);
    EXPECT_EQ(z->Release(), 0u);
  }
  auto f = Depth(16, 0xFFFF);
  IDirectDrawSurface7* small = Make(dd, OffscreenDesc(8, 8, &f, DDSCAPS_ZBUFFER));
  EXPECT_EQ(target->AddAttachedSurface(small), DDERR_CANNOTATTACHSURFACE);
  auto wrongKind = Rgb(16, 0xF800, 0x07E0, 0x001F);
  Make(dd, OffscreenDesc(8, 8, &wrongKind, DDSCAPS_ZBUFFER), DDERR_INVALIDPIXELFORMAT);
  small->Release();
  target->Release();
  dd->Release();
}

TEST_F(DDraw, FullScreenFlipShowsTheBackBufferScaledByTheHost) {
  FakeWindow window;
  ddraw::ScopedWindowBinding bind(FakeHwnd(), &window);
  IDirectDraw7* dd = CreateDD();
  ASSERT_EQ(dd->SetCooperativeLevel(FakeHwnd(), DDSCL_FULLSCREEN | DDSCL_EXCLUSIVE | DDSCL_ALLOWREBOOT), DD_OK);
  EXPECT_TRUE(window.fullscreen);
  EXPECT_EQ(dd->SetDisplayMode(640, 480, 24, 0, 0), DDERR_INVALIDMODE);
  ASSERT_EQ(dd->SetDisplayMode(640, 480, 16, 0, 0), DD_OK);
  EXPECT_EQ(ddraw::CurrentDisplayMode().bitsPerPixel, 16u);

  DDSURFACEDESC2 chain{};
  chain.dwSize = sizeof chain;
  chain.dwFlags = DDSD_CAPS | DDSD_BACKBUFFERCOUNT;
  chain.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX | DDSCAPS_3DDEVICE;
  chain.dwBackBufferCount = 1;
  IDirectDrawSurface7* front = Make(dd, chain);
  ASSERT_NE(front, nullptr);
  DDSCAPS2 caps{DDSCAPS_BACKBUFFER, 0, 0, {0}};
  IDirectDrawSurface7* back = nullptr;
  ASSERT_EQ(front->GetAttachedSurface(&caps, &back), DD_OK);
  DDSURFACEDESC2 d{};
  d.dwSize = sizeof d;
  back->GetSurfaceDesc(&d);
  EXPECT_EQ(d.dwWidth, 640u);
  EXPECT_EQ(d.ddpfPixelFormat.dwRBitMask, 0xF800u);
  EXPECT_NE(d.ddsCaps.dwCaps & DDSCAPS_3DDEVICE, 0u);

  ASSERT_EQ(WritePixel(back, 10, 20, 0xF800), DD_OK);  // red in RGB565
  ASSERT_EQ(front->Flip(nullptr, DDFLIP_WAIT), DD_OK);
  EXPECT_EQ(window.width, 640);
  EXPECT_EQ(window.height, 480);
  EXPECT_EQ(window.At(10, 20), 0xFF0000u);
  EXPECT_EQ(window.At(11, 20), 0u);
  // The front now holds what was drawn; the back holds the old front.
  EXPECT_EQ(ReadPixel(front, 10, 20), 0xF800u);
  EXPECT_EQ(ReadPixel(back, 10, 20), 0u);
  EXPECT_EQ(back->Flip(nullptr, 0), DDERR_NOTFLIPPABLE);

  EXPECT_EQ(back->Release(), 1u);  // the chain keeps it
  EXPECT_EQ(front->Release(), 0u);
  EXPECT_EQ(ddraw::VideoMemoryUsed(), 0u);
  ASSERT_EQ(dd->RestoreDisplayMode(), DD_OK);
  EXPECT_EQ(ddraw::CurrentDisplayMode().bitsPerPixel, 32u);
  EXPECT_EQ(dd->Release(), 0u);
  EXPECT_FALSE(window.fullscreen);
}

TEST_F(DDraw, WindowedBltCopiesTheBackBufferIntoTheClientArea) {
  FakeWindow window;
  ddraw::ScopedWindowBinding bind(FakeHwnd(), &window);
  IDirectDraw7* dd = Windowed();
  DDSURFACEDESC2 pd{};
  pd.dwSize = sizeof pd;
  pd.dwFlags = DDSD_CAPS;
  pd.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE;
  IDirectDrawSurface7* primary = Make(dd, pd);
  DDSURFACEDESC2 d{};
  d.dwSize = sizeof d;
  primary->GetSurfaceDesc(&d);
  EXPECT_EQ(d.dwWidth, 1024u);  // the whole desktop
  EXPECT_EQ(d.ddpfPixelFormat.dwRGBBitCount, 32u);
  IDirectDrawClipper* clipper = nullptr;
  ASSERT_EQ(dd->CreateClipper(0, &clipper, nullptr), DD_OK);
  ASSERT_EQ(clipper->SetHWnd(0, FakeHwnd()), DD_OK);
  ASSERT_EQ(primary->SetClipper(clipper), DD_OK);
  EXPECT_EQ(clipper->Release(), 1u);  // the primary holds it

  IDirectDrawSurface7* back = Make(dd, OffscreenDesc(640, 480, nullptr, DDSCAPS_OFFSCREENPLAIN | DDSCAPS_VIDEOMEMORY));
  WritePixel(back, 0, 0, 0x00123456);
  WritePixel(back, 639, 479, 0x00ABCDEF);
  RECT src{0, 0, 640, 480};
  RECT dst = window.client;
  DDBLTFX fx{};
  fx.dwSize = sizeof fx;
  ASSERT_EQ(primary->Blt(&dst, back, &src, DDBLT_WAIT, &fx), DD_OK);
  EXPECT_EQ(window.width, 640);
  EXPECT_EQ(window.At(0, 0), 0x123456u);
  EXPECT_EQ(window.At(639, 479), 0xABCDEFu);
  EXPECT_EQ(ReadPixel(primary, 100, 50), 0x123456u);

  // A window partly off the desktop shows black where the desktop ends, and nothing is written outside.
  window.client = {700, 500, 1340, 980};
  dst = window.client;
  ASSERT_EQ(primary->Blt(&dst, back, &src, DDBLT_WAIT, &fx), DD_OK);
  EXPECT_EQ(window.At(0, 0), 0x123456u);
  EXPECT_EQ(window.At(639, 479), 0u);
  fx.dwSize = 4;
  EXPECT_EQ(primary->Blt(&dst, back, &src, DDBLT_WAIT, &fx), DDERR_INVALIDPARAMS);
  primary->Release();
  back->Release();
  dd->Release();
}

TEST_F(DDraw, BltScalesFillsAndChecksItsRectangles) {
  IDirectDraw7* dd = Windowed();
  auto f = Rgb(16, 0xF800, 0x07E0, 0x001F);
  IDirectDrawSurface7* src = Make(dd, OffscreenDesc(2, 2, &f));
  IDirectDrawSurface7* dst = Make(dd, OffscreenDesc(8, 8, &f));
  WritePixel(src, 0, 0, 1);
  WritePixel(src, 1, 0, 2);
  WritePixel(src, 0, 1, 3);
  WritePixel(src, 1, 1, 4);
  RECT big{2, 2, 6, 6};
  ASSERT_EQ(dst->Blt(&big, src, nullptr, DDBLT_WAIT, nullptr), DD_OK);
  EXPECT_EQ(ReadPixel(dst, 2, 2), 1u);
  EXPECT_EQ(ReadPixel(dst, 3, 3), 1u);
  EXPECT_EQ(ReadPixel(dst, 4, 3), 2u);
  EXPECT_EQ(ReadPixel(dst, 5, 5), 4u);
  EXPECT_EQ(ReadPixel(dst, 6, 6), 0u);
  EXPECT_EQ(ReadPixel(dst, 1, 2), 0u);

  DDBLTFX fx{};
  fx.dwSize = sizeof fx;
  fx.dwFillColor = 0x7E0;
  RECT corner{0, 0, 2, 1};
  ASSERT_EQ(dst->Blt(&corner, nullptr, nullptr, DDBLT_COLORFILL | DDBLT_WAIT, &fx), DD_OK);
  EXPECT_EQ(ReadPixel(dst, 1, 0), 0x7E0u);
  EXPECT_EQ(ReadPixel(dst, 0, 1), 0u);
  EXPECT_EQ(dst->Blt(&corner, nullptr, nullptr, DDBLT_COLORFILL, nullptr), DDERR_INVALIDPARAMS);

  RECT outside{6, 6, 10, 10};
  EXPECT_EQ(dst->Blt(&outside, src, nullptr, DDBLT_WAIT, nullptr), DDERR_INVALIDRECT);
  RECT badSource{0, 0, 3, 3};
  EXPECT_EQ(dst->Blt(nullptr, src, &badSource, DDBLT_WAIT, nullptr), DDERR_INVALIDRECT);
  RECT backwards{4, 4, 2, 2};
  EXPECT_EQ(dst->Blt(&backwards, src, nullptr, DDBLT_WAIT, nullptr), DDERR_INVALIDRECT);
  auto other = Rgb(32, 0xFF0000, 0xFF00, 0xFF);
  IDirectDrawSurface7* wide = Make(dd, OffscreenDesc(2, 2, &other));
  EXPECT_EQ(dst->Blt(nullptr, wide, nullptr, DDBLT_WAIT, nullptr), DDERR_INVALIDPIXELFORMAT);

  // Overlapping blits within one surface read the pixels as they were before.
  RECT from{2, 2, 6, 6}, to{3, 2, 7, 6};
  ASSERT_EQ(dst->Blt(&to, dst, &from, DDBLT_WAIT, nullptr), DD_OK);
  EXPECT_EQ(ReadPixel(dst, 3, 2), 1u);
  EXPECT_EQ(ReadPixel(dst, 4, 2), 1u);
  EXPECT_EQ(ReadPixel(dst, 6, 2), 2u);
  wide->Release();
  src->Release();
  dst->Release();
  dd->Release();
}

TEST_F(DDraw, LostSurfacesRefuseWorkUntilRestored) {
  IDirectDraw7* dd = Windowed();
  IDirectDrawSurface7* video = Make(dd, OffscreenDesc(4, 4, nullptr, DDSCAPS_OFFSCREENPLAIN | DDSCAPS_VIDEOMEMORY));
  IDirectDrawSurface7* system = Make(dd, OffscreenDesc(4, 4, nullptr, DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY));
  EXPECT_EQ(video->IsLost(), DD_OK);
  ddraw::LoseSurfaces();
  EXPECT_EQ(video->IsLost(), DDERR_SURFACELOST);
  EXPECT_EQ(system->IsLost(), DD_OK);
  DDSURFACEDESC2 d{};
  d.dwSize = sizeof d;
  EXPECT_EQ(video->Lock(nullptr, &d, DDLOCK_WAIT, nullptr), DDERR_SURFACELOST);
  HDC dc = nullptr;
  EXPECT_EQ(video->GetDC(&dc), DDERR_SURFACELOST);
  EXPECT_EQ(system->Blt(nullptr, video, nullptr, DDBLT_WAIT, nullptr), DDERR_SURFACELOST);

  auto m = TestMachine();
  m.restoreFails = true;
  ddraw::SetMachine(m);
  EXPECT_EQ(video->Restore(), DDERR_WRONGMODE);
  ddraw::SetMachine(TestMachine());
  EXPECT_EQ(video->Restore(), DD_OK);
  EXPECT_EQ(video->IsLost(), DD_OK);
#ifndef NDEBUG
  EXPECT_NE(ReadPixel(video, 0, 0), 0u);  // restored memory shows a pattern
#endif
  EXPECT_EQ(system->Restore(), DD_OK);
  video->Release();
  system->Release();
  dd->Release();
}

TEST_F(DDraw, AModeChangeLosesSurfacesMadeBeforeIt) {
  IDirectDraw7* dd = CreateDD();
  dd->SetCooperativeLevel(FakeHwnd(), DDSCL_FULLSCREEN | DDSCL_EXCLUSIVE);
  IDirectDrawSurface7* before = Make(dd, OffscreenDesc(4, 4));
  ASSERT_EQ(dd->SetDisplayMode(800, 600, 8, 0, 0), DD_OK);
  EXPECT_EQ(before->IsLost(), DDERR_SURFACELOST);
  EXPECT_EQ(before->Restore(), DDERR_WRONGMODE);  // made for another mode
  IDirectDrawSurface7* after = Make(dd, OffscreenDesc(4, 4));
  DDSURFACEDESC2 d{};
  d.dwSize = sizeof d;
  after->GetSurfaceDesc(&d);
  EXPECT_NE(d.ddpfPixelFormat.dwFlags & DDPF_PALETTEINDEXED8, 0u);
  EXPECT_EQ(after->IsLost(), DD_OK);
  before->Release();
  after->Release();
  EXPECT_EQ(dd->Release(), 0u);  // gives the desktop its mode back
  EXPECT_EQ(ddraw::CurrentDisplayMode().bitsPerPixel, 32u);
}

TEST_F(DDraw, VideoMemoryRunsOutAndTheDefaultPlacementFallsBack) {
  auto m = TestMachine();
  m.videoMemoryBytes = 64 * 64 * 4 + 100;
  ddraw::SetMachine(m);
  IDirectDraw7* dd = Windowed();
  IDirectDrawSurface7* first = Make(dd, OffscreenDesc(64, 64, nullptr, DDSCAPS_OFFSCREENPLAIN | DDSCAPS_VIDEOMEMORY));
  ASSERT_NE(first, nullptr);
  Make(dd, OffscreenDesc(64, 64, nullptr, DDSCAPS_OFFSCREENPLAIN | DDSCAPS_VIDEOMEMORY), DDERR_OUTOFVIDEOMEMORY);
  IDirectDrawSurface7* fallback = Make(dd, OffscreenDesc(64, 64));
  DDSCAPS2 caps{};
  fallback->GetCaps(&caps);
  EXPECT_NE(caps.dwCaps & DDSCAPS_SYSTEMMEMORY, 0u);
  first->Release();
  EXPECT_EQ(ddraw::VideoMemoryUsed(), 0u);
  fallback->Release();
  dd->Release();
}

TEST_F(DDraw, EightBitSurfacesShowThroughTheirPalette) {
  ddraw::SetMachine(TestMachine(8));
  FakeWindow window;
  window.client = {0, 0, 4, 2};
  ddraw::ScopedWindowBinding bind(FakeHwnd(), &window);
  IDirectDraw7* dd = Windowed();
  DDSURFACEDESC2 pd{};
  pd.dwSize = sizeof pd;
  pd.dwFlags = DDSD_CAPS;
  pd.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE;
  IDirectDrawSurface7* primary = Make(dd, pd);
  PALETTEENTRY entries[256] = {};
  entries[7] = {10, 20, 30, 0};
  IDirectDrawPalette* palette = nullptr;
  ASSERT_EQ(dd->CreatePalette(DDPCAPS_8BIT, entries, &palette, nullptr), DD_OK);
  ASSERT_EQ(primary->SetPalette(palette), DD_OK);
  PALETTEENTRY changed{200, 100, 50, 0};
  ASSERT_EQ(palette->SetEntries(0, 9, 1, &changed), DD_OK);
  EXPECT_EQ(palette->SetEntries(0, 255, 2, &changed), DDERR_INVALIDPARAMS);
  DDBLTFX fx{};
  fx.dwSize = sizeof fx;
  fx.dwFillColor = 7;
  ASSERT_EQ(primary->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL, &fx), DD_OK);
  EXPECT_EQ(window.At(3, 1), 0x0A141Eu);
  HDC dc = nullptr;
  ASSERT_EQ(primary->GetDC(&dc), DD_OK);
  SetPixel(dc, 0, 0, RGB(200, 100, 50));  // the nearest entry of the attached palette
  primary->ReleaseDC(dc);
  EXPECT_EQ(ReadPixel(primary, 0, 0), 9u);
  EXPECT_EQ(window.At(0, 0), 0xC86432u);
  auto f = Rgb(16, 0xF800, 0x07E0, 0x001F);
  IDirectDrawSurface7* rgb = Make(dd, OffscreenDesc(2, 2, &f));
  EXPECT_EQ(rgb->SetPalette(palette), DDERR_NOTPALETTIZED);
  rgb->Release();
  primary->Release();
  EXPECT_EQ(palette->Release(), 0u);
  dd->Release();
}

TEST_F(DDraw, VerticalBlankWaitsForTheNextRefreshOfTheDisplay) {
  auto m = TestMachine();
  m.waitForVerticalBlank = true;
  ddraw::SetMachine(m);
  win::VirtualClock clock(5);
  win::ScopedClock use(clock);
  IDirectDraw7* dd = Windowed();
  ASSERT_EQ(dd->WaitForVerticalBlank(DDWAITVB_BLOCKBEGIN, nullptr), DD_OK);
  EXPECT_EQ(clock.Milliseconds(), 17u);  // 60 Hz: refreshes at 0, 16.7, 33.3 ... ms
  ASSERT_EQ(dd->WaitForVerticalBlank(DDWAITVB_BLOCKBEGIN, nullptr), DD_OK);
  EXPECT_EQ(clock.Milliseconds(), 34u);
  EXPECT_EQ(dd->WaitForVerticalBlank(DDWAITVB_BLOCKBEGINEVENT, nullptr), DDERR_UNSUPPORTED);
  EXPECT_EQ(dd->WaitForVerticalBlank(0, nullptr), DDERR_INVALIDPARAMS);
  dd->Release();
}

}  // namespace

// The game's 16-bit screen is converted for the window eight pixels at a time: every value, at
// an odd byte address and with a tail shorter than a group, gives the colour the channel
// helpers give.
TEST(DDrawPresent, EveryRgb565ValueConvertsAsTheChannelHelpersSay) {
  std::vector<uint8_t> bytes(1 + 2 * 65536);
  for (uint32_t v = 0; v < 65536; ++v) {
    bytes[1 + 2 * v] = uint8_t(v);
    bytes[2 + 2 * v] = uint8_t(v >> 8);
  }
  const DDPIXELFORMAT f = Rgb(16, 0xF800, 0x07E0, 0x001F);
  const gdi::Channel r = gdi::ChannelOf(0xF800), g = gdi::ChannelOf(0x07E0), b = gdi::ChannelOf(0x001F);
  for (const int count : {65536, 13, 7}) {
    std::vector<uint32_t> out(size_t(count) + 1, 0xDEADBEEF);
    ddraw::detail::RowToXrgb(bytes.data() + 1, count, f, nullptr, out.data());
    for (int v = 0; v < count; ++v)
      ASSERT_EQ(out[size_t(v)], (gdi::UnpackChannel(uint32_t(v), r) << 16) | (gdi::UnpackChannel(uint32_t(v), g) << 8) |
                                    gdi::UnpackChannel(uint32_t(v), b))
          << "value " << v << " of " << count;
    EXPECT_EQ(out[size_t(count)], 0xDEADBEEFu) << "written past the row";
  }
}
