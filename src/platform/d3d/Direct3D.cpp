// The Direct3D object a DirectDraw object hands out: device creation, vertex buffers and
// the depth formats.
#include "platform/d3d/D3DInternal.h"
#include "platform/ddraw/DDrawMachine.h"

namespace d3d {

using namespace detail;

void InstallDirect3D() { ddraw::SetDirect3DFactory(&CreateDirect3D); }

HRESULT CreateDirect3D(IDirectDraw7* directDraw, void** direct3D) {
  if (!direct3D) return E_POINTER;
  *direct3D = nullptr;
  if (!directDraw) return DDERR_INVALIDPARAMS;
  *direct3D = static_cast<IDirect3D7*>(new Direct3D(directDraw));
  return D3D_OK;
}

namespace detail {

Direct3D::Direct3D(IDirectDraw7* directDraw) : directDraw_(directDraw) {
  // The platform's Direct3D object is part of the DirectDraw object: while it lives, so does that.
  directDraw_->AddRef();
}

Direct3D::~Direct3D() { directDraw_->Release(); }

HRESULT Direct3D::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (riid == IID_IUnknown || riid == IID_IDirect3D7) {
    AddRef();
    *ppv = static_cast<IDirect3D7*>(this);
    return S_OK;
  }
  if (riid == IID_IDirectDraw7) return directDraw_->QueryInterface(riid, ppv);
  return E_NOINTERFACE;
}

HRESULT Direct3D::KindAvailable(DeviceKind kind) {
  switch (kind) {
    case DeviceKind::TnLHal:
    case DeviceKind::Hal: {
      // Hardware devices need a driver with 3-D hardware; the emulated display has none
      // unless a test describes one (then the fast rasterizer plays the hardware).
      DDCAPS caps{};
      caps.dwSize = sizeof(DDCAPS);
      if (FAILED(directDraw_->GetCaps(&caps, nullptr)) || !(caps.dwCaps & DDCAPS_3D)) return D3DERR_INVALID_DEVICE;
      return D3D_OK;
    }
    case DeviceKind::Mmx:
    case DeviceKind::Rgb:
    case DeviceKind::Reference:
      return D3D_OK;
    case DeviceKind::Ramp:
      // The ramp (monochrome) device went away with version 7.
      return D3DERR_INVALID_DEVICE;
    case DeviceKind::Unknown:
      break;
  }
  return DDERR_INVALIDPARAMS;
}

HRESULT Direct3D::CreateDevice(REFGUID deviceGuid, IDirectDrawSurface7* renderTarget, IDirect3DDevice7** device) {
  if (!device) return DDERR_INVALIDPARAMS;
  *device = nullptr;
  if (!renderTarget) return DDERR_INVALIDPARAMS;
  const DeviceKind kind = KindOf(deviceGuid);
  if (HRESULT hr = KindAvailable(kind); FAILED(hr)) return hr;

  DDSURFACEDESC2 desc{};
  desc.dwSize = sizeof(DDSURFACEDESC2);
  if (HRESULT hr = renderTarget->GetSurfaceDesc(&desc); FAILED(hr)) return hr;
  if (!(desc.ddsCaps.dwCaps & DDSCAPS_3DDEVICE) || (desc.ddsCaps.dwCaps & DDSCAPS_ZBUFFER)) return DDERR_INVALIDCAPS;
  if (!raster::IsRenderTargetFormat(ColorFormatOf(desc.ddpfPixelFormat))) return DDERR_INVALIDPIXELFORMAT;
  if (renderTarget->IsLost() != DD_OK) return DDERR_SURFACELOST;

  // The z-buffer attached now decides the default of ZENABLE; it must be one we can read.
  bool hasZBuffer = false;
  {
    DDSCAPS2 caps{};
    caps.dwCaps = DDSCAPS_ZBUFFER;
    ComRef<IDirectDrawSurface7> z;
    if (SUCCEEDED(renderTarget->GetAttachedSurface(&caps, z.Put())) && z) {
      DDSURFACEDESC2 zdesc{};
      zdesc.dwSize = sizeof(DDSURFACEDESC2);
      if (FAILED(z->GetSurfaceDesc(&zdesc)) || DepthFormatOf(zdesc.ddpfPixelFormat) == raster::DepthFormat::None)
        return DDERR_INVALIDPIXELFORMAT;
      hasZBuffer = true;
    }
  }
  *device = new Device(this, kind, renderTarget, desc, hasZBuffer);
  return D3D_OK;
}

HRESULT Direct3D::CreateVertexBuffer(const D3DVERTEXBUFFERDESC* desc, IDirect3DVertexBuffer7** buffer, DWORD flags) {
  (void)flags;  // no creation flags change how a software buffer is kept
  if (!buffer) return DDERR_INVALIDPARAMS;
  *buffer = nullptr;
  if (!desc || desc->dwSize != sizeof(D3DVERTEXBUFFERDESC)) return DDERR_INVALIDPARAMS;
  constexpr DWORD kCreationCaps = D3DVBCAPS_SYSTEMMEMORY | D3DVBCAPS_WRITEONLY | D3DVBCAPS_DONOTCLIP;
  if (desc->dwCaps & ~kCreationCaps) return DDERR_INVALIDPARAMS;
  if (desc->dwNumVertices == 0 || desc->dwNumVertices > D3DMAXNUMVERTICES) return DDERR_INVALIDPARAMS;
  const raster::VertexLayout layout = raster::DecodeFvf(desc->dwFVF);
  if (!layout.valid) return D3DERR_INVALIDVERTEXTYPE;
  D3DVERTEXBUFFERDESC kept = *desc;
  // Every buffer of a software device lives in system memory.
  kept.dwCaps |= D3DVBCAPS_SYSTEMMEMORY;
  *buffer = new VertexBuffer(kept, layout.size);
  return D3D_OK;
}

HRESULT Direct3D::EnumZBufferFormats(REFGUID deviceGuid, LPD3DENUMPIXELFORMATSCALLBACK callback, void* context) {
  if (!callback) return DDERR_INVALIDPARAMS;
  if (HRESULT hr = KindAvailable(KindOf(deviceGuid)); FAILED(hr)) return hr;
  for (int i = 0; i < kZBufferFormatCount; ++i) {
    DDPIXELFORMAT f = ZBufferFormat(i);
    if (callback(&f, context) == D3DENUMRET_CANCEL) break;
  }
  return D3D_OK;
}

}  // namespace detail
void SetRenderThreads(int threads) { raster::SetRenderThreads(threads); }
int RenderThreads() { return raster::RenderThreads(); }

}  // namespace d3d
