#include <algorithm>
#include <cstring>

#include "platform/ddraw/DDrawInternal.h"
#include "platform/gdi/Gdi.h"

namespace ddraw::detail {

namespace {

bool Inside(const RECT& r, int width, int height) {
  return r.left >= 0 && r.top >= 0 && r.right <= width && r.bottom <= height && r.left < r.right && r.top < r.bottom;
}

RECT Intersect(const RECT& a, const RECT& b) {
  return {std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right), std::min(a.bottom, b.bottom)};
}

bool Empty(const RECT& r) { return r.left >= r.right || r.top >= r.bottom; }

void StoreValue(uint8_t* p, int bytes, uint32_t value) {
  for (int i = 0; i < bytes; ++i) p[i] = static_cast<uint8_t>(value >> (8 * i));
}

}  // namespace

Surface::Surface(std::shared_ptr<DeviceState> device, const DDSURFACEDESC2& desc, uint64_t videoBytes)
    : device_(std::move(device)), desc_(desc), videoBytes_(videoBytes) {
  bytesPerPixel_ = BytesPerPixel(desc_.ddpfPixelFormat);
  memory_.assign(Pitch() * desc_.dwHeight, 0);
  epoch_ = LossEpoch();
  createdMode_ = CurrentDisplayMode();
  desc_.lpSurface = nullptr;
  hasSrcKey_ = (desc_.dwFlags & DDSD_CKSRCBLT) != 0;
}

Surface::~Surface() {
  if (dc_) DeleteDC(dc_);
  for (Surface* s : attached_) s->Release();
  if (clipper_) clipper_->Release();
  if (palette_) palette_->Release();
  if (videoBytes_) FreeVideoMemory(videoBytes_);
  if (device_->primary == this) device_->primary = nullptr;
}

Surface* Surface::From(IDirectDrawSurface7* surface) { return ImplOf<Surface>(surface, IID_SurfaceImpl); }

HRESULT Surface::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (riid == IID_SurfaceImpl) {
    AddRef();
    *ppv = this;
    return S_OK;
  }
  if (riid != IID_IUnknown && riid != IID_IDirectDrawSurface7) return E_NOINTERFACE;
  AddRef();
  *ppv = static_cast<IDirectDrawSurface7*>(this);
  return S_OK;
}

bool Surface::Lost() const {
  // System memory is never taken away.
  return !(desc_.ddsCaps.dwCaps & DDSCAPS_SYSTEMMEMORY) && epoch_ != LossEpoch();
}

HRESULT Surface::IsLost() { return Lost() ? DDERR_SURFACELOST : DD_OK; }

HRESULT Surface::Restore() {
  if (!Lost()) return DD_OK;
  const DisplayMode now = CurrentDisplayMode();
  if (RestoreBlocked() || now.width != createdMode_.width || now.height != createdMode_.height ||
      now.bitsPerPixel != createdMode_.bitsPerPixel)
    return DDERR_WRONGMODE;
  epoch_ = LossEpoch();
  FillPattern();
  // A complex surface comes back whole.
  if (desc_.ddsCaps.dwCaps & DDSCAPS_COMPLEX)
    for (Surface* s : attached_)
      if (s->desc_.ddsCaps.dwCaps & DDSCAPS_BACKBUFFER) s->Restore();
  return DD_OK;
}

void Surface::FillPattern() {
#ifndef NDEBUG
  // Restored memory holds nothing meaningful; a loud checker shows anything that forgets to redraw.
  for (DWORD y = 0; y < desc_.dwHeight; ++y) {
    uint8_t* row = Row(static_cast<int>(y));
    for (std::size_t x = 0; x < Pitch(); ++x) row[x] = (((x / bytesPerPixel_) / 8 + y / 8) & 1) ? 0xF0 : 0x1F;
  }
#endif
}

gdi::PixelFormat Surface::Format() const {
  gdi::PixelFormat f;
  GdiFormat(desc_.ddpfPixelFormat, f);
  return f;
}

const PALETTEENTRY* Surface::Palette() const {
  if (!(desc_.ddpfPixelFormat.dwFlags & DDPF_PALETTEINDEXED8)) return nullptr;
  return palette_ ? palette_->Entries() : nullptr;
}

bool Surface::BeginAccess(gdi::PixelAccess& access) {
  if (Lost()) return false;
  access.bits = memory_.data();
  access.pitch = static_cast<std::ptrdiff_t>(Pitch());
  return true;
}

void Surface::AttachBackBuffer(Surface* back) { attached_.push_back(back); }

HRESULT Surface::AddAttachedSurface(LPDIRECTDRAWSURFACE7 surface) {
  Surface* s = From(surface);
  if (!s || s == this) return DDERR_INVALIDPARAMS;
  if (std::find(attached_.begin(), attached_.end(), s) != attached_.end()) return DDERR_SURFACEALREADYATTACHED;
  // Only a depth buffer of the same size can be attached to a surface that is drawn on.
  if (!(s->desc_.ddsCaps.dwCaps & DDSCAPS_ZBUFFER) || (desc_.ddsCaps.dwCaps & DDSCAPS_ZBUFFER) ||
      s->desc_.dwWidth != desc_.dwWidth || s->desc_.dwHeight != desc_.dwHeight)
    return DDERR_CANNOTATTACHSURFACE;
  for (Surface* a : attached_)
    if (a->desc_.ddsCaps.dwCaps & DDSCAPS_ZBUFFER) return DDERR_CANNOTATTACHSURFACE;
  s->AddRef();
  attached_.push_back(s);
  return DD_OK;
}

HRESULT Surface::DeleteAttachedSurface(DWORD flags, LPDIRECTDRAWSURFACE7 surface) {
  if (flags != 0) return DDERR_INVALIDPARAMS;
  if (!surface) {
    // nullptr detaches everything that was attached explicitly.
    std::vector<Surface*> keep;
    for (Surface* a : attached_) {
      if (a->desc_.ddsCaps.dwCaps & DDSCAPS_BACKBUFFER)
        keep.push_back(a);
      else
        a->Release();
    }
    attached_ = std::move(keep);
    return DD_OK;
  }
  Surface* s = From(surface);
  if (!s) return DDERR_INVALIDOBJECT;
  auto it = std::find(attached_.begin(), attached_.end(), s);
  if (it == attached_.end()) return DDERR_SURFACENOTATTACHED;
  if (s->desc_.ddsCaps.dwCaps & DDSCAPS_BACKBUFFER) return DDERR_CANNOTDETACHSURFACE;
  attached_.erase(it);
  s->Release();
  return DD_OK;
}

HRESULT Surface::GetAttachedSurface(DDSCAPS2* caps, LPDIRECTDRAWSURFACE7* surface) {
  if (!caps || !surface) return DDERR_INVALIDPARAMS;
  *surface = nullptr;
  for (Surface* a : attached_) {
    if ((a->desc_.ddsCaps.dwCaps & caps->dwCaps) == caps->dwCaps) {
      a->AddRef();
      *surface = a;
      return DD_OK;
    }
  }
  return DDERR_NOTFOUND;
}

HRESULT Surface::GetCaps(DDSCAPS2* caps) {
  if (!caps) return DDERR_INVALIDPARAMS;
  *caps = desc_.ddsCaps;
  return DD_OK;
}

HRESULT Surface::GetSurfaceDesc(LPDDSURFACEDESC2 desc) {
  if (!desc || desc->dwSize != sizeof(DDSURFACEDESC2)) return DDERR_INVALIDPARAMS;
  *desc = desc_;
  desc->lpSurface = nullptr;
  if (hasSrcKey_) desc->dwFlags |= DDSD_CKSRCBLT;
  return DD_OK;
}

HRESULT Surface::Lock(LPRECT rect, LPDDSURFACEDESC2 desc, DWORD flags, HANDLE event) {
  (void)flags;  // every lock waits; read-only and write-only make no difference to memory
  (void)event;
  if (!desc || desc->dwSize != sizeof(DDSURFACEDESC2)) return DDERR_INVALIDPARAMS;
  if (Lost()) return DDERR_SURFACELOST;
  if (Busy()) return DDERR_SURFACEBUSY;
  RECT r{0, 0, Width(), Height()};
  if (rect) {
    if (!Inside(*rect, Width(), Height())) return DDERR_INVALIDRECT;
    r = *rect;
  }
  *desc = desc_;
  if (hasSrcKey_) desc->dwFlags |= DDSD_CKSRCBLT;
  desc->dwFlags |= DDSD_LPSURFACE;
  desc->lpSurface = Row(r.top) + static_cast<std::size_t>(r.left) * bytesPerPixel_;
  locked_ = true;
  return DD_OK;
}

HRESULT Surface::Unlock(LPRECT rect) {
  (void)rect;
  if (!locked_) return DDERR_NOTLOCKED;
  locked_ = false;
  if (IsPrimary()) PresentPrimary();
  return DD_OK;
}

HRESULT Surface::GetDC(HDC* dc) {
  if (!dc) return DDERR_INVALIDPARAMS;
  *dc = nullptr;
  if (Lost()) return DDERR_SURFACELOST;
  if (dc_) return DDERR_DCALREADYCREATED;
  if (locked_) return DDERR_SURFACEBUSY;
  gdi::PixelFormat f;
  if (!GdiFormat(desc_.ddpfPixelFormat, f)) return DDERR_CANTCREATEDC;
  dc_ = gdi::CreateTargetDC(this);
  if (!dc_) return DDERR_CANTCREATEDC;
  *dc = dc_;
  return DD_OK;
}

HRESULT Surface::ReleaseDC(HDC dc) {
  if (!dc_) return DDERR_NODC;
  if (dc != dc_) return DDERR_INVALIDPARAMS;
  DeleteDC(dc_);
  dc_ = nullptr;
  if (IsPrimary()) PresentPrimary();
  return DD_OK;
}

HRESULT Surface::SetClipper(LPDIRECTDRAWCLIPPER clipper) {
  auto* c = ImplOf<Clipper>(clipper, IID_ClipperImpl);
  if (clipper && !c) return DDERR_INVALIDOBJECT;
  if (c) c->AddRef();
  if (clipper_) clipper_->Release();
  clipper_ = c;
  return DD_OK;
}

HRESULT Surface::SetPalette(LPDIRECTDRAWPALETTE palette) {
  if (!(desc_.ddpfPixelFormat.dwFlags & DDPF_PALETTEINDEXED8)) return DDERR_NOTPALETTIZED;
  auto* p = ImplOf<class Palette>(palette, IID_PaletteImpl);
  if (palette && !p) return DDERR_INVALIDOBJECT;
  if (p) p->AddRef();
  if (palette_) palette_->Release();
  palette_ = p;
  return DD_OK;
}

HRESULT Surface::GetPalette(LPDIRECTDRAWPALETTE* palette) {
  if (!palette) return DDERR_INVALIDPARAMS;
  *palette = palette_;
  if (!palette_) return DDERR_NOTFOUND;
  palette_->AddRef();
  return DD_OK;
}

HRESULT Surface::SetColorKey(DWORD flags, DDCOLORKEY* key) {
  if (flags & DDCKEY_COLORSPACE) {
    ReportGap("colour-space colour keys");
    return DDERR_UNSUPPORTED;
  }
  if (flags == DDCKEY_SRCBLT) {
    hasSrcKey_ = key != nullptr;
    if (key) desc_.ddckCKSrcBlt = *key;
    return DD_OK;
  }
  if (flags == DDCKEY_DESTBLT) {
    hasDestKey_ = key != nullptr;
    if (key) destKey_ = *key;
    return DD_OK;
  }
  return DDERR_INVALIDPARAMS;
}

HRESULT Surface::GetColorKey(DWORD flags, DDCOLORKEY* key) {
  if (!key) return DDERR_INVALIDPARAMS;
  if (flags == DDCKEY_SRCBLT && hasSrcKey_) {
    *key = desc_.ddckCKSrcBlt;
    return DD_OK;
  }
  if (flags == DDCKEY_DESTBLT && hasDestKey_) {
    *key = destKey_;
    return DD_OK;
  }
  return DDERR_NOTFOUND;
}

HRESULT Surface::ColorFill(const RECT& dest, DWORD value) {
  const uint32_t mask = bytesPerPixel_ >= 4 ? 0xFFFFFFFFu : ((1u << (8 * bytesPerPixel_)) - 1u);
  value &= mask;
  const int w = dest.right - dest.left;
  uint8_t* first = Row(dest.top) + static_cast<std::size_t>(dest.left) * bytesPerPixel_;
  for (int x = 0; x < w; ++x) StoreValue(first + x * bytesPerPixel_, bytesPerPixel_, value);
  const std::size_t rowBytes = static_cast<std::size_t>(w) * bytesPerPixel_;
  for (int y = dest.top + 1; y < dest.bottom; ++y)
    std::memcpy(Row(y) + static_cast<std::size_t>(dest.left) * bytesPerPixel_, first, rowBytes);
  return DD_OK;
}

HRESULT Surface::Blt(LPRECT destRect, LPDIRECTDRAWSURFACE7 source, LPRECT sourceRect, DWORD flags, LPDDBLTFX fx) {
  constexpr DWORD kKnown = DDBLT_COLORFILL | DDBLT_WAIT;
  if (flags & ~kKnown) {
    ReportGap("Blt flags other than DDBLT_COLORFILL and DDBLT_WAIT");
    return DDERR_UNSUPPORTED;
  }
  if (fx && fx->dwSize != sizeof(DDBLTFX)) return DDERR_INVALIDPARAMS;
  // A colour fill takes its colour from the effects record and nothing from a source; a depth
  // buffer is filled with a depth fill, never a colour. These are checked before the rectangle.
  if ((flags & DDBLT_COLORFILL) && (!fx || source || (desc_.ddsCaps.dwCaps & DDSCAPS_ZBUFFER)))
    return DDERR_INVALIDPARAMS;
  if (Lost()) return DDERR_SURFACELOST;
  if (Busy()) return DDERR_SURFACEBUSY;

  const RECT whole{0, 0, Width(), Height()};
  RECT dest = destRect ? *destRect : whole;
  if (dest.left >= dest.right || dest.top >= dest.bottom) return DDERR_INVALIDRECT;
  // With a clipper the picture is cut to the surface (and to the window); without one
  // a rectangle that does not fit is refused.
  RECT clip = whole;
  if (clipper_) {
    const HWND window = clipper_->Window();
    RECT client{};
    if (window && IsPrimary() && WithTarget(window, [&](IPresentTarget& t) { t.ClientRect(client); }))
      clip = Intersect(clip, client);
  } else if (!Inside(dest, Width(), Height())) {
    return DDERR_INVALIDRECT;
  }
  const RECT visible = Intersect(dest, clip);

  if (flags & DDBLT_COLORFILL) {
    if (!Empty(visible)) ColorFill(visible, fx->dwFillColor);
    if (IsPrimary()) PresentPrimary();
    return DD_OK;
  }

  if (!source) return DDERR_INVALIDPARAMS;
  Surface* src = From(source);
  if (!src) return DDERR_INVALIDOBJECT;
  if (src->Lost()) return DDERR_SURFACELOST;
  if (src != this && src->Busy()) return DDERR_SURFACEBUSY;
  if (!SameFormat(src->desc_.ddpfPixelFormat, desc_.ddpfPixelFormat)) return DDERR_INVALIDPIXELFORMAT;
  RECT from = sourceRect ? *sourceRect : RECT{0, 0, src->Width(), src->Height()};
  if (!Inside(from, src->Width(), src->Height())) return DDERR_INVALIDRECT;

  if (!Empty(visible)) {
    const int bpp = bytesPerPixel_;
    const int dw = dest.right - dest.left, dh = dest.bottom - dest.top;
    const int sw = from.right - from.left, sh = from.bottom - from.top;
    // A blit within one surface reads from a copy, so overlapping rectangles come out right.
    std::vector<uint8_t> copy;
    const uint8_t* srcBase = src->memory_.data();
    if (src == this) {
      copy = memory_;
      srcBase = copy.data();
    }
    const std::size_t srcPitch = src->Pitch();
    const int vw = visible.right - visible.left;
    for (int y = visible.top; y < visible.bottom; ++y) {
      // Nearest source row for this destination row, measured from the unclipped rectangle.
      const int sy = from.top + static_cast<int>((int64_t(y - dest.top) * sh) / dh);
      const uint8_t* srow = srcBase + static_cast<std::size_t>(sy) * srcPitch;
      uint8_t* drow = Row(y) + static_cast<std::size_t>(visible.left) * bpp;
      if (sw == dw) {
        std::memcpy(drow, srow + static_cast<std::size_t>(from.left + (visible.left - dest.left)) * bpp,
                    static_cast<std::size_t>(vw) * bpp);
        continue;
      }
      for (int x = 0; x < vw; ++x) {
        const int sx = from.left + static_cast<int>((int64_t(visible.left + x - dest.left) * sw) / dw);
        std::memcpy(drow + static_cast<std::size_t>(x) * bpp, srow + static_cast<std::size_t>(sx) * bpp, bpp);
      }
    }
  }
  if (IsPrimary()) PresentPrimary();
  return DD_OK;
}

HRESULT Surface::Flip(LPDIRECTDRAWSURFACE7 target, DWORD flags) {
  (void)flags;  // the swap is immediate: there is no display hardware to wait for
  if (!(desc_.ddsCaps.dwCaps & DDSCAPS_FLIP) || !(desc_.ddsCaps.dwCaps & DDSCAPS_FRONTBUFFER))
    return DDERR_NOTFLIPPABLE;
  Surface* back = nullptr;
  for (Surface* a : attached_)
    if (a->desc_.ddsCaps.dwCaps & DDSCAPS_BACKBUFFER) back = a;
  if (!back || (target && From(target) != back)) return DDERR_INVALIDPARAMS;
  if (Lost() || back->Lost()) return DDERR_SURFACELOST;
  if (Busy() || back->Busy()) return DDERR_SURFACEBUSY;
  // The surfaces keep their identity; the memory behind them changes places.
  memory_.swap(back->memory_);
  flipped_ = !flipped_;
  PresentPrimary();
  return DD_OK;
}

HWND Surface::PresentWindow() const {
  if (clipper_ && clipper_->Window()) return clipper_->Window();
  return device_->window;
}

void Surface::PresentPrimary() {
  const HWND window = PresentWindow();
  if (!window || Lost()) return;
  const bool fullscreen = device_->exclusive;
  const DDPIXELFORMAT format = desc_.ddpfPixelFormat;
  const PALETTEENTRY* palette = Palette();
  WithTarget(window, [&](IPresentTarget& target) {
    // Full screen shows the whole mode; a window shows the part of the desktop under its client area.
    RECT area{0, 0, Width(), Height()};
    if (!fullscreen) target.ClientRect(area);
    const int w = area.right - area.left, h = area.bottom - area.top;
    if (w <= 0 || h <= 0) return;
    presentBuffer_.assign(static_cast<std::size_t>(w) * h, 0);
    const RECT inside = Intersect(area, RECT{0, 0, Width(), Height()});
    for (int y = inside.top; y < inside.bottom; ++y) {
      if (inside.left >= inside.right) break;
      RowToXrgb(Row(y) + static_cast<std::size_t>(inside.left) * bytesPerPixel_, inside.right - inside.left, format,
                palette,
                presentBuffer_.data() + static_cast<std::size_t>(y - area.top) * w + (inside.left - area.left));
    }
    target.Present(presentBuffer_.data(), w, h, w);
  });
}

}  // namespace ddraw::detail
