#include <algorithm>
#include <bit>
#include <cstring>
#include <utility>

#include "platform/ddraw/DDrawInternal.h"
#include "platform/gdi/Gdi.h"
#include "platform/host/Comforts.h"

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

uint32_t LoadValue(const uint8_t* p, int bytes) {
  uint32_t v = 0;
  for (int i = 0; i < bytes; ++i) v |= uint32_t(p[i]) << (8 * i);
  return v;
}

RECT Scaled(const RECT& r, int k) { return {r.left * k, r.top * k, r.right * k, r.bottom * k}; }

}  // namespace

Surface::Surface(std::shared_ptr<DeviceState> device, const DDSURFACEDESC2& desc, uint64_t videoBytes, int scale)
    : device_(std::move(device)), desc_(desc), scale_(std::max(1, scale)), videoBytes_(videoBytes) {
  bytesPerPixel_ = BytesPerPixel(desc_.ddpfPixelFormat);
  // Rows of the fine grid start on 8-byte boundaries too; at scale 1 this is the described pitch.
  pitch_ = scale_ == 1 ? static_cast<std::size_t>(desc_.lPitch)
                       : (static_cast<std::size_t>(FineWidth()) * bytesPerPixel_ + 7) & ~std::size_t(7);
  memory_.assign(Pitch() * static_cast<std::size_t>(FineHeight()), 0);
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
  SettlePending();
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
  for (int y = 0; y < FineHeight(); ++y) {
    uint8_t* row = Row(y);
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

uint32_t Surface::BlockValue(int x, int y) {
  const uint8_t* first = Row(y * scale_) + static_cast<std::size_t>(x) * scale_ * bytesPerPixel_;
  const DDPIXELFORMAT& f = desc_.ddpfPixelFormat;
  const uint32_t v0 = LoadValue(first, bytesPerPixel_);
  if (f.dwFlags & (DDPF_PALETTEINDEXED8 | DDPF_ZBUFFER)) return v0;
  const DWORD alpha = (f.dwFlags & DDPF_ALPHAPIXELS) ? f.dwRGBAlphaBitMask : 0;
  uint32_t out = v0 & ~(f.dwRBitMask | f.dwGBitMask | f.dwBBitMask | alpha);
  const uint32_t n = static_cast<uint32_t>(scale_ * scale_);
  for (const DWORD mask : {f.dwRBitMask, f.dwGBitMask, f.dwBBitMask, alpha}) {
    if (!mask) continue;
    const int shift = std::countr_zero(mask);
    uint64_t sum = 0;
    for (int j = 0; j < scale_; ++j) {
      const uint8_t* p = Row(y * scale_ + j) + static_cast<std::size_t>(x) * scale_ * bytesPerPixel_;
      for (int i = 0; i < scale_; ++i, p += bytesPerPixel_) sum += (LoadValue(p, bytesPerPixel_) & mask) >> shift;
    }
    out |= (static_cast<uint32_t>((sum + n / 2) / n) << shift) & mask;
  }
  return out;
}

void Surface::FillBlock(int x, int y, uint32_t value) {
  for (int j = 0; j < scale_; ++j) {
    uint8_t* p = Row(y * scale_ + j) + static_cast<std::size_t>(x) * scale_ * bytesPerPixel_;
    for (int i = 0; i < scale_; ++i, p += bytesPerPixel_) StoreValue(p, bytesPerPixel_, value);
  }
}

// A Lock of a scaled surface: the program gets a picture of the size its description gives,
// each pixel standing for its block of real pixels (the mean colour). At Unlock every pixel
// the program changed fills its whole block, so pixels written through the lock land where
// they would at scale 1 (and reading back what was written gives it back); blocks the
// program did not touch keep their fine detail.
void Surface::FillView(const RECT& r) {
  view_.resize(static_cast<std::size_t>(desc_.lPitch) * desc_.dwHeight);
  for (int y = r.top; y < r.bottom; ++y) {
    uint8_t* row = view_.data() + static_cast<std::size_t>(y) * desc_.lPitch;
    for (int x = r.left; x < r.right; ++x)
      StoreValue(row + static_cast<std::size_t>(x) * bytesPerPixel_, bytesPerPixel_, BlockValue(x, y));
  }
  viewSeen_ = view_;
  viewRect_ = r;
}

void Surface::WriteBackView() {
  const RECT& r = viewRect_;
  for (int y = r.top; y < r.bottom; ++y) {
    const std::size_t start = static_cast<std::size_t>(y) * desc_.lPitch;
    for (int x = r.left; x < r.right; ++x) {
      const std::size_t at = start + static_cast<std::size_t>(x) * bytesPerPixel_;
      if (std::memcmp(view_.data() + at, viewSeen_.data() + at, bytesPerPixel_) != 0)
        FillBlock(x, y, LoadValue(view_.data() + at, bytesPerPixel_));
    }
  }
}

bool Surface::BeginAccess(gdi::PixelAccess& access) {
  SettlePending();
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
      s->desc_.dwWidth != desc_.dwWidth || s->desc_.dwHeight != desc_.dwHeight || s->scale_ != scale_)
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
  SettlePending();
  RECT r{0, 0, Width(), Height()};
  if (rect) {
    if (!Inside(*rect, Width(), Height())) return DDERR_INVALIDRECT;
    r = *rect;
  }
  *desc = desc_;
  if (hasSrcKey_) desc->dwFlags |= DDSD_CKSRCBLT;
  desc->dwFlags |= DDSD_LPSURFACE;
  if (scale_ > 1) {
    FillView(r);
    viewLocked_ = true;
    desc->lpSurface = view_.data() + static_cast<std::size_t>(r.top) * desc_.lPitch +
                      static_cast<std::size_t>(r.left) * bytesPerPixel_;
  } else {
    desc->lpSurface = Row(r.top) + static_cast<std::size_t>(r.left) * bytesPerPixel_;
  }
  locked_ = true;
  return DD_OK;
}

HRESULT Surface::LockFine(DDSURFACEDESC2& desc) {
  if (desc.dwSize != sizeof(DDSURFACEDESC2)) return DDERR_INVALIDPARAMS;
  if (Lost()) return DDERR_SURFACELOST;
  if (Busy()) return DDERR_SURFACEBUSY;
  desc = desc_;
  if (hasSrcKey_) desc.dwFlags |= DDSD_CKSRCBLT;
  desc.dwFlags |= DDSD_LPSURFACE;
  desc.dwWidth = static_cast<DWORD>(FineWidth());
  desc.dwHeight = static_cast<DWORD>(FineHeight());
  desc.lPitch = static_cast<LONG>(Pitch());
  desc.lpSurface = memory_.data();
  locked_ = true;
  return DD_OK;
}

HRESULT Surface::Unlock(LPRECT rect) {
  (void)rect;
  if (!locked_) return DDERR_NOTLOCKED;
  locked_ = false;
  if (viewLocked_) {
    viewLocked_ = false;
    WriteBackView();
  }
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
  SettlePending();
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

HRESULT Surface::ColorFill(const RECT& described, DWORD value) {
  const RECT dest = Scaled(described, scale_);
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
  SettlePending();
  if (Surface* src = source ? From(source) : nullptr) src->SettlePending();
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

  if (!Empty(visible)) CopyPixels(*src, from, dest, visible);
  if (IsPrimary()) PresentPrimary();
  return DD_OK;
}

void Surface::CopyPixels(Surface& src, const RECT& fromDescribed, const RECT& toDescribed,
                         const RECT& visibleDescribed) {
  const int bpp = bytesPerPixel_;
  const bool indexed = (desc_.ddpfPixelFormat.dwFlags & DDPF_PALETTEINDEXED8) != 0;
  if (src.scale_ != scale_ && !indexed &&
      fromDescribed.right - fromDescribed.left == toDescribed.right - toDescribed.left &&
      fromDescribed.bottom - fromDescribed.top == toDescribed.bottom - toDescribed.top) {
    const RECT& v = visibleDescribed;
    const int dx = fromDescribed.left - toDescribed.left, dy = fromDescribed.top - toDescribed.top;
    if (src.scale_ < scale_ && scale_ % src.scale_ == 0) {
      // A picture of the described size onto a surface at a finer scale (the title, a portrait):
      // filtered up once, so it looks as it would scaled up to the screen.
      const RECT sv = Scaled(RECT{v.left + dx, v.top + dy, v.right + dx, v.bottom + dy}, src.scale_);
      const int w = sv.right - sv.left, h = sv.bottom - sv.top;
      std::vector<uint32_t> xrgb(static_cast<std::size_t>(w) * h), up;
      for (int y = 0; y < h; ++y)
        RowToXrgb(src.Row(sv.top + y) + static_cast<std::size_t>(sv.left) * bpp, w, src.desc_.ddpfPixelFormat,
                  src.Palette(), xrgb.data() + static_cast<std::size_t>(y) * w);
      const int f = scale_ / src.scale_;
      host::ScalePictureUp(xrgb.data(), w, h, w, f, up);
      gdi::PixelFormat format;
      GdiFormat(desc_.ddpfPixelFormat, format);
      const RECT dv = Scaled(v, scale_);
      for (int y = dv.top; y < dv.bottom; ++y) {
        const uint32_t* in = up.data() + static_cast<std::size_t>(y - dv.top) * (w * f);
        uint8_t* out = Row(y) + static_cast<std::size_t>(dv.left) * bpp;
        for (int x = 0; x < w * f; ++x, out += bpp) {
          const uint32_t c = in[x];
          StoreValue(out, bpp, gdi::ColorToPixel(RGB(c >> 16, (c >> 8) & 0xFF, c & 0xFF), format, nullptr));
        }
      }
      return;
    }
    if (src.scale_ > scale_ && src.scale_ % scale_ == 0 && scale_ == 1) {
      // A scaled picture onto a surface of described size: each pixel the mean of its block.
      for (int y = v.top; y < v.bottom; ++y)
        for (int x = v.left; x < v.right; ++x)
          StoreValue(Row(y) + static_cast<std::size_t>(x) * bpp, bpp, src.BlockValue(x + dx, y + dy));
      return;
    }
  }
  // Nearest pixels on the fine grids of both surfaces (at equal scales: the stretch the program asked for).
  const RECT dest = Scaled(toDescribed, scale_), visible = Scaled(visibleDescribed, scale_);
  const RECT from = Scaled(fromDescribed, src.scale_);
  const int dw = dest.right - dest.left, dh = dest.bottom - dest.top;
  const int sw = from.right - from.left, sh = from.bottom - from.top;
  // A blit within one surface reads from a copy, so overlapping rectangles come out right.
  std::vector<uint8_t> copy;
  const uint8_t* srcBase = src.memory_.data();
  if (&src == this) {
    copy = memory_;
    srcBase = copy.data();
  }
  const std::size_t srcPitch = src.Pitch();
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
  SettlePending();
  back->SettlePending();
  // The surfaces keep their identity; the memory behind them changes places.
  memory_.swap(back->memory_);
  flipped_ = !flipped_;
  PresentPrimary();
  return DD_OK;
}

void Surface::AddPending(PendingPixels* pending) {
  if (std::find(pending_.begin(), pending_.end(), pending) == pending_.end()) pending_.push_back(pending);
}

void Surface::RemovePending(PendingPixels* pending) { std::erase(pending_, pending); }

void Surface::SettlePending() {
  // Each settles and takes itself off every surface it waits on, this one included.
  for (const std::vector<PendingPixels*> waiting = std::exchange(pending_, {}); PendingPixels * p : waiting)
    p->Settle();
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
    // At a render scale the window gets the fine picture of its area.
    const int k = scale_, fw = w * k, fh = h * k;
    const RECT inside = Scaled(Intersect(area, RECT{0, 0, Width(), Height()}), k);
    const RECT fine = Scaled(area, k);
    // Black where the area reaches past the surface; the rows below overwrite the rest.
    presentBuffer_.resize(static_cast<std::size_t>(fw) * fh);
    if (inside.left != fine.left || inside.top != fine.top || inside.right != fine.right ||
        inside.bottom != fine.bottom)
      std::fill(presentBuffer_.begin(), presentBuffer_.end(), 0u);
    for (int y = inside.top; y < inside.bottom; ++y) {
      if (inside.left >= inside.right) break;
      RowToXrgb(Row(y) + static_cast<std::size_t>(inside.left) * bytesPerPixel_, inside.right - inside.left, format,
                palette,
                presentBuffer_.data() + static_cast<std::size_t>(y - fine.top) * fw + (inside.left - fine.left));
    }
    target.PresentOwned(presentBuffer_, fw, fh);
  });
}

}  // namespace ddraw::detail

namespace ddraw {

int RenderScaleOf(IDirectDrawSurface7* surface) {
  const detail::Surface* s = surface ? detail::Surface::From(surface) : nullptr;
  return s ? s->Scale() : 1;
}

void AddPendingPixels(IDirectDrawSurface7* surface, PendingPixels* pending) {
  if (detail::Surface* s = surface ? detail::Surface::From(surface) : nullptr) s->AddPending(pending);
}

void RemovePendingPixels(IDirectDrawSurface7* surface, PendingPixels* pending) {
  if (detail::Surface* s = surface ? detail::Surface::From(surface) : nullptr) s->RemovePending(pending);
}

HRESULT LockRenderPixels(IDirectDrawSurface7* surface, DDSURFACEDESC2* desc) {
  detail::Surface* s = surface ? detail::Surface::From(surface) : nullptr;
  if (!desc) return DDERR_INVALIDPARAMS;
  if (!s) return surface ? surface->Lock(nullptr, desc, DDLOCK_WAIT, nullptr) : DDERR_INVALIDPARAMS;
  return s->LockFine(*desc);
}

}  // namespace ddraw
