// Helpers for the tests of the DirectDraw stand-in and of the surfaces built on it.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/ddraw/DDraw.h"
#include "platform/ddraw/DDrawMachine.h"
#include "support/PixelFormats.h"

namespace ddtest {

// A window that records what it was shown.
class FakeWindow final : public ddraw::IPresentTarget {
 public:
  RECT client{100, 50, 740, 530};
  bool fullscreen = false;
  int presents = 0;
  int width = 0, height = 0;
  std::vector<uint32_t> pixels;

  void ClientRect(RECT& rect) override { rect = client; }
  void SetFullscreen(bool on) override { fullscreen = on; }
  void Present(const uint32_t* p, int w, int h, int pitch) override {
    ++presents;
    width = w;
    height = h;
    pixels.assign(static_cast<size_t>(w) * h, 0);
    for (int y = 0; y < h; ++y)
      std::memcpy(&pixels[static_cast<size_t>(y) * w], p + static_cast<size_t>(y) * pitch, 4u * w);
  }
  uint32_t At(int x, int y) const { return pixels.at(static_cast<size_t>(y) * width + x); }
};

inline HWND FakeHwnd(int n = 1) { return reinterpret_cast<HWND>(static_cast<uintptr_t>(0x1000 + n)); }

// A machine with a fixed desktop, so tests do not depend on the host.
inline ddraw::MachineConfig TestMachine(int desktopDepth = 32) {
  ddraw::MachineConfig m;
  m.desktopBitDepth = desktopDepth;
  m.desktopWidth = 1024;
  m.desktopHeight = 768;
  m.waitForVerticalBlank = false;
  return m;
}

using pixfmt::Depth;
using pixfmt::Pal8;
using pixfmt::Rgb;

struct NamedFormat {
  const char* name;
  DDPIXELFORMAT format;
};

// The colour formats surfaces come in.
inline std::vector<NamedFormat> ColourFormats() {
  return {{"PAL8", Pal8()},
          {"RGB565", Rgb(16, 0xF800, 0x07E0, 0x001F)},
          {"X1R5G5B5", Rgb(16, 0x7C00, 0x03E0, 0x001F)},
          {"A1R5G5B5", Rgb(16, 0x7C00, 0x03E0, 0x001F, 0x8000)},
          {"A4R4G4B4", Rgb(16, 0x0F00, 0x00F0, 0x000F, 0xF000)},
          {"R8G8B8", Rgb(24, 0xFF0000, 0x00FF00, 0x0000FF)},
          {"X8R8G8B8", Rgb(32, 0xFF0000, 0x00FF00, 0x0000FF)},
          {"A8R8G8B8", Rgb(32, 0xFF0000, 0x00FF00, 0x0000FF, 0xFF000000)}};
}

inline DDSURFACEDESC2 OffscreenDesc(DWORD w, DWORD h, const DDPIXELFORMAT* format = nullptr,
                                    DWORD caps = DDSCAPS_OFFSCREENPLAIN) {
  DDSURFACEDESC2 d{};
  d.dwSize = sizeof d;
  d.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | (format ? DDSD_PIXELFORMAT : 0);
  d.dwWidth = w;
  d.dwHeight = h;
  d.ddsCaps.dwCaps = caps;
  if (format) d.ddpfPixelFormat = *format;
  return d;
}

inline IDirectDraw7* CreateDD(GUID* guid = nullptr) {
  void* dd = nullptr;
  if (DirectDrawCreateEx(guid, &dd, IID_IDirectDraw7, nullptr) != DD_OK) return nullptr;
  return static_cast<IDirectDraw7*>(dd);
}

// Raw pixel value at (x, y) read through Lock.
inline uint32_t ReadPixel(IDirectDrawSurface7* s, int x, int y) {
  DDSURFACEDESC2 d{};
  d.dwSize = sizeof d;
  if (s->Lock(nullptr, &d, DDLOCK_WAIT, nullptr) != DD_OK) return 0xDEADBEEF;
  const int bytes = (d.ddpfPixelFormat.dwFlags & DDPF_ZBUFFER) ? d.ddpfPixelFormat.dwZBufferBitDepth / 8
                                                               : d.ddpfPixelFormat.dwRGBBitCount / 8;
  const auto* p = static_cast<const uint8_t*>(d.lpSurface) + static_cast<ptrdiff_t>(y) * d.lPitch + x * bytes;
  uint32_t v = 0;
  for (int i = 0; i < bytes; ++i) v |= uint32_t(p[i]) << (8 * i);
  s->Unlock(nullptr);
  return v;
}

inline HRESULT WritePixel(IDirectDrawSurface7* s, int x, int y, uint32_t v) {
  DDSURFACEDESC2 d{};
  d.dwSize = sizeof d;
  if (HRESULT hr = s->Lock(nullptr, &d, DDLOCK_WAIT, nullptr); hr != DD_OK) return hr;
  const int bytes = (d.ddpfPixelFormat.dwFlags & DDPF_ZBUFFER) ? d.ddpfPixelFormat.dwZBufferBitDepth / 8
                                                               : d.ddpfPixelFormat.dwRGBBitCount / 8;
  auto* p = static_cast<uint8_t*>(d.lpSurface) + static_cast<ptrdiff_t>(y) * d.lPitch + x * bytes;
  for (int i = 0; i < bytes; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
  return s->Unlock(nullptr);
}

// A DirectDraw object on a test machine in normal cooperative level, and the surfaces a test
// makes through it, all let go at the end.
template <class Base>
class SurfaceFixtureOf : public Base {
 protected:
  void Start(const ddraw::MachineConfig& machine) {
    ddraw::ResetMachine();
    ddraw::SetMachine(machine);
    dd = CreateDD();
    ASSERT_NE(dd, nullptr);
    ASSERT_EQ(dd->SetCooperativeLevel(FakeHwnd(), DDSCL_NORMAL), DD_OK);
  }
  void TearDown() override {
    for (IDirectDrawSurface7* s : made)
      if (s) s->Release();
    if (dd) dd->Release();
    ddraw::ResetMachine();
  }
  IDirectDrawSurface7* Make(DWORD w, DWORD h, const DDPIXELFORMAT& format, DWORD caps) {
    DDSURFACEDESC2 d = OffscreenDesc(w, h, &format, caps);
    IDirectDrawSurface7* s = nullptr;
    EXPECT_EQ(dd->CreateSurface(&d, &s, nullptr), DD_OK);
    made.push_back(s);
    return s;
  }

  IDirectDraw7* dd = nullptr;
  std::vector<IDirectDrawSurface7*> made;
};

}  // namespace ddtest
