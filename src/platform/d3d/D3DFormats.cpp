// Device kinds, the pixel formats the devices offer and understand, and surface locking.
#include "platform/d3d/D3DInternal.h"

namespace d3d {

namespace {

DDPIXELFORMAT Rgb(DWORD flags, DWORD bits, DWORD r, DWORD g, DWORD b, DWORD a) {
  DDPIXELFORMAT f{};
  f.dwSize = sizeof(DDPIXELFORMAT);
  f.dwFlags = flags;
  f.dwRGBBitCount = bits;
  f.dwRBitMask = r;
  f.dwGBitMask = g;
  f.dwBBitMask = b;
  f.dwRGBAlphaBitMask = a;
  return f;
}

DDPIXELFORMAT Depth(DWORD bits, DWORD zMask, DWORD stencilBits, DWORD stencilMask) {
  DDPIXELFORMAT f{};
  f.dwSize = sizeof(DDPIXELFORMAT);
  f.dwFlags = DDPF_ZBUFFER | (stencilBits ? DDPF_STENCILBUFFER : 0);
  f.dwZBufferBitDepth = bits;  // the whole word, stencil bits included
  f.dwStencilBitDepth = stencilBits;
  f.dwZBitMask = zMask;
  f.dwStencilBitMask = stencilMask;
  return f;
}

}  // namespace

DDPIXELFORMAT ZBufferFormat(int index) {
  switch (index) {
    case 0:
      return Depth(16, 0x0000FFFF, 0, 0);
    case 1:
      return Depth(32, 0xFFFFFF00, 0, 0);
    case 2:
      return Depth(32, 0xFFFFFFFF, 0, 0);
    case 3:
      return Depth(32, 0xFFFFFF00, 8, 0x000000FF);
    default:
      return DDPIXELFORMAT{};
  }
}

DDPIXELFORMAT TextureFormat(int index) {
  switch (index) {
    case 0:
      return Rgb(DDPF_RGB, 16, 0xF800, 0x07E0, 0x001F, 0);
    case 1:
      return Rgb(DDPF_RGB, 16, 0x7C00, 0x03E0, 0x001F, 0);
    case 2:
      return Rgb(DDPF_RGB | DDPF_ALPHAPIXELS, 16, 0x7C00, 0x03E0, 0x001F, 0x8000);
    case 3:
      return Rgb(DDPF_RGB | DDPF_ALPHAPIXELS, 16, 0x0F00, 0x00F0, 0x000F, 0xF000);
    case 4:
      return Rgb(DDPF_RGB, 32, 0x00FF0000, 0x0000FF00, 0x000000FF, 0);
    case 5:
      return Rgb(DDPF_RGB | DDPF_ALPHAPIXELS, 32, 0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000);
    case 6: {
      DDPIXELFORMAT f{};
      f.dwSize = sizeof(DDPIXELFORMAT);
      f.dwFlags = DDPF_LUMINANCE;
      f.dwLuminanceBitCount = 8;
      f.dwLuminanceBitMask = 0xFF;
      return f;
    }
    default:
      return DDPIXELFORMAT{};
  }
}

namespace detail {

DeviceKind KindOf(REFGUID guid) {
  if (guid == IID_IDirect3DTnLHalDevice) return DeviceKind::TnLHal;
  if (guid == IID_IDirect3DHALDevice) return DeviceKind::Hal;
  if (guid == IID_IDirect3DMMXDevice) return DeviceKind::Mmx;
  if (guid == IID_IDirect3DRGBDevice) return DeviceKind::Rgb;
  if (guid == IID_IDirect3DRampDevice) return DeviceKind::Ramp;
  if (guid == IID_IDirect3DRefDevice) return DeviceKind::Reference;
  return DeviceKind::Unknown;
}

raster::PixelFormat ColorFormatOf(const DDPIXELFORMAT& f) {
  using raster::PixelFormat;
  if (f.dwFlags & (DDPF_FOURCC | DDPF_LUMINANCE | DDPF_BUMPLUMINANCE | DDPF_BUMPDUDV | DDPF_ZBUFFER |
                   DDPF_PALETTEINDEXED4 | DDPF_PALETTEINDEXED8))
    return PixelFormat::Unknown;
  if (!(f.dwFlags & DDPF_RGB)) return PixelFormat::Unknown;
  const DWORD a = (f.dwFlags & DDPF_ALPHAPIXELS) ? f.dwRGBAlphaBitMask : 0;
  const DWORD r = f.dwRBitMask, g = f.dwGBitMask, b = f.dwBBitMask;
  switch (f.dwRGBBitCount) {
    case 16:
      if (r == 0xF800 && g == 0x07E0 && b == 0x001F && a == 0) return PixelFormat::RGB565;
      if (r == 0x7C00 && g == 0x03E0 && b == 0x001F) {
        if (a == 0) return PixelFormat::X1R5G5B5;
        if (a == 0x8000) return PixelFormat::A1R5G5B5;
      }
      if (r == 0x0F00 && g == 0x00F0 && b == 0x000F && a == 0xF000) return PixelFormat::A4R4G4B4;
      break;
    case 24:
      if (r == 0xFF0000 && g == 0x00FF00 && b == 0x0000FF && a == 0) return PixelFormat::R8G8B8;
      break;
    case 32:
      if (r == 0x00FF0000 && g == 0x0000FF00 && b == 0x000000FF) {
        if (a == 0) return PixelFormat::X8R8G8B8;
        if (a == 0xFF000000) return PixelFormat::A8R8G8B8;
      }
      break;
    default:
      break;
  }
  return PixelFormat::Unknown;
}

raster::DepthFormat DepthFormatOf(const DDPIXELFORMAT& f) {
  using raster::DepthFormat;
  if (!(f.dwFlags & DDPF_ZBUFFER)) return DepthFormat::None;
  const bool stencil = (f.dwFlags & DDPF_STENCILBUFFER) != 0;
  if (f.dwZBufferBitDepth == 16 && !stencil && f.dwZBitMask == 0xFFFF) return DepthFormat::D16;
  if (f.dwZBufferBitDepth == 32) {
    if (!stencil && f.dwZBitMask == 0xFFFFFF00) return DepthFormat::D24X8;
    if (!stencil && f.dwZBitMask == 0xFFFFFFFF) return DepthFormat::D32;
    if (stencil && f.dwZBitMask == 0xFFFFFF00 && f.dwStencilBitMask == 0xFF) return DepthFormat::D24S8;
  }
  return DepthFormat::None;
}

HRESULT ToHResult(raster::Result result) {
  switch (result) {
    case raster::Result::Ok:
      return D3D_OK;
    case raster::Result::InvalidVertexFormat:
      return D3DERR_INVALIDVERTEXTYPE;
    case raster::Result::InvalidParams:
      break;
  }
  return DDERR_INVALIDPARAMS;
}

SurfaceLock::SurfaceLock(IDirectDrawSurface7* surface, DWORD flags) : surface_(surface) {
  desc_.dwSize = sizeof(DDSURFACEDESC2);
  // The real pixels: a surface at a render scale is drawn on its fine grid.
  (void)flags;
  result_ = ddraw::LockRenderPixels(surface_, &desc_);
  if (SUCCEEDED(result_) && !desc_.lpSurface) {
    // A lock that hands out no memory is of no use to a rasterizer.
    surface_->Unlock(nullptr);
    result_ = DDERR_GENERIC;
  }
}

SurfaceLock::~SurfaceLock() {
  if (SUCCEEDED(result_)) surface_->Unlock(nullptr);
}

}  // namespace detail
}  // namespace d3d
