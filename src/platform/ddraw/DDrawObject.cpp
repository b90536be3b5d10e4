#include <algorithm>
#include <cstring>
#include <limits>
#include <string>

#include "platform/ddraw/DDrawInternal.h"
#include "platform/win/WinTime.h"

using namespace ddraw;
using namespace ddraw::detail;

namespace {

// Special GUID pointers of DirectDrawCreateEx: both mean the primary display driver here.
bool IsSpecialGuid(const GUID* guid) {
  const auto v = reinterpret_cast<std::uintptr_t>(guid);
  return v == 1 || v == 2;
}

constexpr int kMaxSurfaceSide = 16384;
constexpr uint64_t kMaxSurfaceBytes = 256ull << 20;
constexpr uint64_t kMaxFineSurfaceBytes = 1ull << 30;

}  // namespace

HRESULT DirectDrawEnumerateA(LPDDENUMCALLBACKA callback, LPVOID context) {
  if (!callback) return DDERR_INVALIDPARAMS;
  const MachineConfig machine = Machine();
  for (const DriverConfig& d : machine.drivers) {
    GUID guid = d.guid;
    std::string description = d.description, name = d.name;
    const bool primary = d.guid == GUID_NULL;
    if (!callback(primary ? nullptr : &guid, description.data(), name.data(), context)) break;
  }
  return DD_OK;
}

HRESULT DirectDrawCreateEx(GUID* guid, LPVOID* directDraw, REFIID iid, IUnknown* outer) {
  if (!directDraw) return DDERR_INVALIDPARAMS;
  *directDraw = nullptr;
  if (outer) return CLASS_E_NOAGGREGATION;
  if (iid != IID_IDirectDraw7) return DDERR_INVALIDPARAMS;
  const GUID wanted = (!guid || IsSpecialGuid(guid)) ? GUID_NULL : *guid;
  const MachineConfig machine = Machine();
  for (const DriverConfig& d : machine.drivers) {
    if (d.guid != wanted) continue;
    if (!d.creatable) return DDERR_NODIRECTDRAWHW;
    *directDraw = static_cast<IDirectDraw7*>(new DirectDraw(d));
    return DD_OK;
  }
  return DDERR_INVALIDDIRECTDRAWGUID;
}

namespace ddraw::detail {

// ---- Clipper ---------------------------------------------------------------------

HRESULT Clipper::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (riid == IID_ClipperImpl) {
    AddRef();
    *ppv = this;
    return S_OK;
  }
  if (riid != IID_IUnknown) return E_NOINTERFACE;
  AddRef();
  *ppv = static_cast<IUnknown*>(this);
  return S_OK;
}

HRESULT Clipper::SetHWnd(DWORD flags, HWND window) {
  if (flags != 0) return DDERR_INVALIDPARAMS;
  window_ = window;
  return DD_OK;
}

HRESULT Clipper::GetHWnd(HWND* window) {
  if (!window) return DDERR_INVALIDPARAMS;
  *window = window_;
  return DD_OK;
}

// ---- Palette ---------------------------------------------------------------------

Palette::Palette(const PALETTEENTRY* entries) { std::memcpy(entries_, entries, sizeof(entries_)); }

HRESULT Palette::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (riid == IID_PaletteImpl) {
    AddRef();
    *ppv = this;
    return S_OK;
  }
  if (riid != IID_IUnknown) return E_NOINTERFACE;
  AddRef();
  *ppv = static_cast<IUnknown*>(this);
  return S_OK;
}

HRESULT Palette::SetEntries(DWORD flags, DWORD start, DWORD count, const PALETTEENTRY* entries) {
  if (flags != 0 || !entries || start > 256 || count > 256 - start) return DDERR_INVALIDPARAMS;
  std::memcpy(entries_ + start, entries, count * sizeof(PALETTEENTRY));
  return DD_OK;
}

HRESULT Palette::GetEntries(DWORD flags, DWORD start, DWORD count, PALETTEENTRY* entries) {
  if (flags != 0 || !entries || start > 256 || count > 256 - start) return DDERR_INVALIDPARAMS;
  std::memcpy(entries, entries_ + start, count * sizeof(PALETTEENTRY));
  return DD_OK;
}

// ---- DirectDraw ------------------------------------------------------------------

DirectDraw::DirectDraw(const DriverConfig& driver) : state_(std::make_shared<DeviceState>()) {
  state_->driver = driver;
}

DirectDraw::~DirectDraw() {
  // Letting go of the object gives the desktop its mode and window back, as the platform does.
  if (state_->changedMode) RestoreDisplayMode();
  if (state_->exclusive)
    WithTargetImpl(
        state_->window, [](IPresentTarget& t, void*) { t.SetFullscreen(false); }, nullptr);
}

HRESULT DirectDraw::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (riid == IID_IUnknown || riid == IID_IDirectDraw7) {
    AddRef();
    *ppv = static_cast<IDirectDraw7*>(this);
    return S_OK;
  }
  if (riid == IID_IDirect3D7) {
    if (Direct3DFactory factory = CurrentDirect3DFactory()) return factory(this, ppv);
    return E_NOINTERFACE;
  }
  return E_NOINTERFACE;
}

HRESULT DirectDraw::CreateClipper(DWORD flags, LPDIRECTDRAWCLIPPER* clipper, IUnknown* outer) {
  if (!clipper || flags != 0) return DDERR_INVALIDPARAMS;
  *clipper = nullptr;
  if (outer) return CLASS_E_NOAGGREGATION;
  *clipper = new Clipper();
  return DD_OK;
}

HRESULT DirectDraw::CreatePalette(DWORD flags, PALETTEENTRY* entries, LPDIRECTDRAWPALETTE* palette, IUnknown* outer) {
  if (!palette || !entries) return DDERR_INVALIDPARAMS;
  *palette = nullptr;
  if (outer) return CLASS_E_NOAGGREGATION;
  if (!(flags & DDPCAPS_8BIT)) {
    ReportGap("palettes other than 8-bit");
    return DDERR_UNSUPPORTED;
  }
  *palette = new Palette(entries);
  return DD_OK;
}

HRESULT DirectDraw::CreateSurface(LPDDSURFACEDESC2 desc, LPDIRECTDRAWSURFACE7* surface, IUnknown* outer) {
  if (!desc || !surface || desc->dwSize != sizeof(DDSURFACEDESC2)) return DDERR_INVALIDPARAMS;
  *surface = nullptr;
  if (outer) return CLASS_E_NOAGGREGATION;
  if (!state_->cooperativeFlags) return DDERR_NOCOOPERATIVELEVELSET;

  DDSURFACEDESC2 d{};
  d.dwSize = sizeof(DDSURFACEDESC2);
  DWORD caps = (desc->dwFlags & DDSD_CAPS) ? desc->ddsCaps.dwCaps : 0;
  if ((caps & DDSCAPS_SYSTEMMEMORY) && (caps & DDSCAPS_VIDEOMEMORY)) return DDERR_INVALIDCAPS;
  if (caps & ~state_->driver.surfaceCaps & ~(DDSCAPS_ALPHA | DDSCAPS_VISIBLE | DDSCAPS_MIPMAP))
    return DDERR_INVALIDCAPS;
  const DisplayMode mode = CurrentDisplayMode();

  if (caps & DDSCAPS_PRIMARYSURFACE) {
    if (desc->dwFlags & (DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT)) return DDERR_INVALIDPARAMS;
    if (state_->primary) return DDERR_PRIMARYSURFACEALREADYEXISTS;
    const bool flip = (caps & DDSCAPS_FLIP) != 0;
    if (flip) {
      if (!(caps & DDSCAPS_COMPLEX) || !(desc->dwFlags & DDSD_BACKBUFFERCOUNT) || desc->dwBackBufferCount == 0)
        return DDERR_INVALIDCAPS;
      if (!state_->exclusive) return DDERR_NOEXCLUSIVEMODE;
      if (desc->dwBackBufferCount != 1) {
        ReportGap("flip chains with more than one back buffer");
        return DDERR_UNSUPPORTED;
      }
    }
    d.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PITCH | DDSD_PIXELFORMAT;
    d.dwWidth = mode.width;
    d.dwHeight = mode.height;
    d.ddpfPixelFormat = DisplayFormat(static_cast<int>(mode.bitsPerPixel));
    const DWORD shared = caps & (DDSCAPS_3DDEVICE | DDSCAPS_FLIP | DDSCAPS_COMPLEX);
    d.ddsCaps.dwCaps = shared | DDSCAPS_PRIMARYSURFACE | DDSCAPS_VISIBLE | DDSCAPS_VIDEOMEMORY | DDSCAPS_LOCALVIDMEM |
                       (flip ? DDSCAPS_FRONTBUFFER : 0);
    if (flip) {
      d.dwFlags |= DDSD_BACKBUFFERCOUNT;
      d.dwBackBufferCount = 1;
    }
    Surface* front = nullptr;
    if (HRESULT hr = MakeSurface(d, &front); FAILED(hr)) return hr;
    if (flip) {
      DDSURFACEDESC2 b = d;
      b.dwFlags &= ~DDSD_BACKBUFFERCOUNT;
      b.dwBackBufferCount = 0;
      b.ddsCaps.dwCaps = shared | DDSCAPS_BACKBUFFER | DDSCAPS_VIDEOMEMORY | DDSCAPS_LOCALVIDMEM;
      Surface* back = nullptr;
      if (HRESULT hr = MakeSurface(b, &back); FAILED(hr)) {
        front->Release();
        return hr;
      }
      front->AttachBackBuffer(back);  // the front keeps the only reference
    }
    state_->primary = front;
    *surface = front;
    return DD_OK;
  }

  if ((desc->dwFlags & (DDSD_WIDTH | DDSD_HEIGHT)) != (DDSD_WIDTH | DDSD_HEIGHT)) return DDERR_INVALIDPARAMS;
  if (caps & (DDSCAPS_FLIP | DDSCAPS_BACKBUFFER | DDSCAPS_FRONTBUFFER)) return DDERR_INVALIDCAPS;
  if (desc->dwWidth == 0 || desc->dwHeight == 0) return DDERR_INVALIDPARAMS;
  if (desc->dwWidth > kMaxSurfaceSide || desc->dwHeight > kMaxSurfaceSide) return DDERR_TOOBIGSIZE;
  d.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PITCH | DDSD_PIXELFORMAT;
  d.dwWidth = desc->dwWidth;
  d.dwHeight = desc->dwHeight;
  if (desc->dwFlags & DDSD_PIXELFORMAT) {
    d.ddpfPixelFormat = desc->ddpfPixelFormat;
    if (BytesPerPixel(d.ddpfPixelFormat) == 0) return DDERR_INVALIDPIXELFORMAT;
  } else if (caps & DDSCAPS_ZBUFFER) {
    return DDERR_INVALIDPIXELFORMAT;
  } else {
    d.ddpfPixelFormat = DisplayFormat(static_cast<int>(mode.bitsPerPixel));
  }
  const bool isDepth = (d.ddpfPixelFormat.dwFlags & DDPF_ZBUFFER) != 0;
  if (isDepth != ((caps & DDSCAPS_ZBUFFER) != 0)) return DDERR_INVALIDPIXELFORMAT;
  if (isDepth && !DriverDepthFormat(d.ddpfPixelFormat)) return DDERR_INVALIDPIXELFORMAT;
  if (desc->dwFlags & DDSD_TEXTURESTAGE) {
    d.dwFlags |= DDSD_TEXTURESTAGE;
    d.dwTextureStage = desc->dwTextureStage;
  }
  if (!(caps & (DDSCAPS_TEXTURE | DDSCAPS_ZBUFFER | DDSCAPS_3DDEVICE | DDSCAPS_OFFSCREENPLAIN)))
    caps |= DDSCAPS_OFFSCREENPLAIN;
  d.ddsCaps.dwCaps = caps;
  if (desc->dwFlags & DDSD_CKSRCBLT) {
    d.dwFlags |= DDSD_CKSRCBLT;
    d.ddckCKSrcBlt = desc->ddckCKSrcBlt;
  }
  Surface* made = nullptr;
  if (HRESULT hr = MakeSurface(d, &made); FAILED(hr)) return hr;
  *surface = made;
  return DD_OK;
}

HRESULT DirectDraw::MakeSurface(const DDSURFACEDESC2& wanted, Surface** out) {
  DDSURFACEDESC2 d = wanted;
  const int bytes = BytesPerPixel(d.ddpfPixelFormat);
  // Rows start on 8-byte boundaries, as display memory of the time laid them out.
  const uint64_t pitch = (uint64_t(d.dwWidth) * bytes + 7) & ~uint64_t(7);
  const uint64_t size = pitch * d.dwHeight;
  if (size > kMaxSurfaceBytes) return DDERR_TOOBIGSIZE;
  d.lPitch = static_cast<LONG>(pitch);
  DWORD& caps = d.ddsCaps.dwCaps;
  uint64_t video = 0;
  if (caps & DDSCAPS_SYSTEMMEMORY) {
    // nothing to reserve
  } else if (caps & DDSCAPS_VIDEOMEMORY) {
    if (!ReserveVideoMemory(size)) return DDERR_OUTOFVIDEOMEMORY;
    video = size;
    caps |= DDSCAPS_LOCALVIDMEM;
  } else if (ReserveVideoMemory(size)) {
    // The driver's choice: video memory while there is room, system memory after that.
    video = size;
    caps |= DDSCAPS_VIDEOMEMORY | DDSCAPS_LOCALVIDMEM;
  } else {
    caps |= DDSCAPS_SYSTEMMEMORY;
  }
  // What the program draws its picture on is held at the render scale (textures and plain
  // off-screen pictures are not).
  constexpr DWORD kScaled = DDSCAPS_PRIMARYSURFACE | DDSCAPS_BACKBUFFER | DDSCAPS_ZBUFFER | DDSCAPS_3DDEVICE;
  const int scale = (caps & kScaled) && !(caps & DDSCAPS_TEXTURE) ? RenderScale() : 1;
  // The fine grid's memory has a limit of its own (the machine's memory, not the program's).
  if (size * uint64_t(scale) * uint64_t(scale) > kMaxFineSurfaceBytes) {
    if (video) FreeVideoMemory(video);
    return DDERR_OUTOFMEMORY;
  }
  *out = new Surface(state_, d, video, scale);
  return DD_OK;
}

HRESULT DirectDraw::EnumDisplayModes(DWORD flags, LPDDSURFACEDESC2 filter, LPVOID context,
                                     LPDDENUMMODESCALLBACK2 callback) {
  (void)flags;  // refresh rates are always reported as configured
  if (!callback) return DDERR_INVALIDPARAMS;
  if (filter && filter->dwSize != sizeof(DDSURFACEDESC2)) return DDERR_INVALIDPARAMS;
  const MachineConfig machine = Machine();
  for (const DisplayMode& m : machine.modes) {
    if (filter) {
      if ((filter->dwFlags & DDSD_WIDTH) && filter->dwWidth != m.width) continue;
      if ((filter->dwFlags & DDSD_HEIGHT) && filter->dwHeight != m.height) continue;
      if ((filter->dwFlags & DDSD_PIXELFORMAT) && filter->ddpfPixelFormat.dwRGBBitCount != m.bitsPerPixel) continue;
      if ((filter->dwFlags & DDSD_REFRESHRATE) && filter->dwRefreshRate != m.refreshRate) continue;
    }
    DDSURFACEDESC2 d{};
    d.dwSize = sizeof(DDSURFACEDESC2);
    d.dwFlags = DDSD_WIDTH | DDSD_HEIGHT | DDSD_PITCH | DDSD_PIXELFORMAT | DDSD_REFRESHRATE;
    d.dwWidth = m.width;
    d.dwHeight = m.height;
    d.lPitch = static_cast<LONG>(m.width * (m.bitsPerPixel / 8));
    d.dwRefreshRate = m.refreshRate;
    d.ddpfPixelFormat = DisplayFormat(static_cast<int>(m.bitsPerPixel));
    if (callback(&d, context) == DDENUMRET_CANCEL) break;
  }
  return DD_OK;
}

HRESULT DirectDraw::FlipToGDISurface() {
  Surface* primary = state_->primary;
  if (!primary) return DDERR_NOTFOUND;
  if (primary->flipped_) return primary->Flip(nullptr, DDFLIP_WAIT);
  return DD_OK;
}

HRESULT DirectDraw::GetCaps(LPDDCAPS driverCaps, LPDDCAPS helCaps) {
  if (!driverCaps && !helCaps) return DDERR_INVALIDPARAMS;
  if ((driverCaps && driverCaps->dwSize != sizeof(DDCAPS)) || (helCaps && helCaps->dwSize != sizeof(DDCAPS)))
    return DDERR_INVALIDPARAMS;
  const MachineConfig machine = Machine();
  const uint64_t total = std::min<uint64_t>(machine.videoMemoryBytes, std::numeric_limits<DWORD>::max());
  const uint64_t used = std::min(VideoMemoryUsed(), total);
  const DriverConfig& drv = state_->driver;
  if (driverCaps) {
    *driverCaps = DDCAPS{};
    driverCaps->dwSize = sizeof(DDCAPS);
    driverCaps->dwCaps = drv.caps;
    driverCaps->dwPalCaps = DDPCAPS_8BIT | DDPCAPS_PRIMARYSURFACE | DDPCAPS_ALLOW256;
    driverCaps->dwZBufferBitDepths = drv.zBufferBitDepths;
    driverCaps->dwVidMemTotal = static_cast<DWORD>(total);
    driverCaps->dwVidMemFree = static_cast<DWORD>(total - used);
    driverCaps->ddsCaps.dwCaps = drv.surfaceCaps;
    driverCaps->ddsOldCaps.dwCaps = drv.surfaceCaps;
  }
  if (helCaps) {
    // The emulation layer: no 3-D hardware and no video memory of its own.
    *helCaps = DDCAPS{};
    helCaps->dwSize = sizeof(DDCAPS);
    helCaps->dwCaps = (drv.caps & ~DDCAPS_3D) | DDCAPS_NOHARDWARE;
    helCaps->dwPalCaps = DDPCAPS_8BIT | DDPCAPS_PRIMARYSURFACE | DDPCAPS_ALLOW256;
    helCaps->dwZBufferBitDepths = DDBD_16 | DDBD_24 | DDBD_32;
    helCaps->ddsCaps.dwCaps = drv.surfaceCaps & ~(DDSCAPS_VIDEOMEMORY | DDSCAPS_LOCALVIDMEM);
    helCaps->ddsOldCaps.dwCaps = helCaps->ddsCaps.dwCaps;
  }
  return DD_OK;
}

HRESULT DirectDraw::RestoreDisplayMode() {
  if (!state_->changedMode) return DD_OK;
  detail::SetDisplayMode(DesktopMode());
  state_->changedMode = false;
  return DD_OK;
}

HRESULT DirectDraw::SetCooperativeLevel(HWND window, DWORD flags) {
  const bool fullscreen = (flags & DDSCL_FULLSCREEN) != 0;
  const bool exclusive = (flags & DDSCL_EXCLUSIVE) != 0;
  const bool normal = (flags & DDSCL_NORMAL) != 0;
  if (fullscreen != exclusive || normal == exclusive) return DDERR_INVALIDPARAMS;
  if (exclusive && !window) return DDERR_INVALIDPARAMS;
  if (state_->exclusive && !exclusive) {
    RestoreDisplayMode();
    WithTargetImpl(
        state_->window, [](IPresentTarget& t, void*) { t.SetFullscreen(false); }, nullptr);
  }
  state_->window = window;
  state_->cooperativeFlags = flags;
  state_->exclusive = exclusive;
  if (exclusive)
    WithTargetImpl(
        window, [](IPresentTarget& t, void*) { t.SetFullscreen(true); }, nullptr);
  return DD_OK;
}

HRESULT DirectDraw::SetDisplayMode(DWORD width, DWORD height, DWORD bpp, DWORD refreshRate, DWORD flags) {
  (void)flags;  // DDSDM_STANDARDVGAMODE makes no difference here
  if (!state_->cooperativeFlags) return DDERR_NOCOOPERATIVELEVELSET;
  if (!state_->exclusive) return DDERR_NOEXCLUSIVEMODE;
  const MachineConfig machine = Machine();
  for (const DisplayMode& m : machine.modes) {
    if (m.width != width || m.height != height || m.bitsPerPixel != bpp) continue;
    if (refreshRate != 0 && m.refreshRate != 0 && m.refreshRate != refreshRate) continue;
    DisplayMode chosen = m;
    if (chosen.refreshRate == 0)
      chosen.refreshRate = static_cast<DWORD>(machine.desktopRefreshRate > 0 ? machine.desktopRefreshRate : 60);
    detail::SetDisplayMode(chosen);
    state_->changedMode = true;
    return DD_OK;
  }
  return DDERR_INVALIDMODE;
}

HRESULT DirectDraw::WaitForVerticalBlank(DWORD flags, HANDLE event) {
  (void)event;
  if (flags == DDWAITVB_BLOCKBEGINEVENT) {
    ReportGap("WaitForVerticalBlank with an event");
    return DDERR_UNSUPPORTED;
  }
  if (flags != DDWAITVB_BLOCKBEGIN && flags != DDWAITVB_BLOCKEND) return DDERR_INVALIDPARAMS;
  if (!Machine().waitForVerticalBlank) return DD_OK;
  // The emulated display refreshes on the process clock; wait for its next refresh.
  const DWORD rate = std::max<DWORD>(1, CurrentDisplayMode().refreshRate);
  const DWORD now = timeGetTime();
  const uint64_t next = (uint64_t(now) * rate / 1000 + 1) * 1000;
  const DWORD target = static_cast<DWORD>((next + rate - 1) / rate);
  if (target > now) Sleep(target - now);
  return DD_OK;
}

}  // namespace ddraw::detail
