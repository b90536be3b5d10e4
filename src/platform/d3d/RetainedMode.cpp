// Retained mode: the object and a device made from a clipper. Nothing in the program draws
// through it, so the device only keeps its size and its clipper.
#include "platform/d3d/D3DInternal.h"
#include "platform/ddraw/DDrawMachine.h"

namespace {
// The display component always creates the retained-mode object, so whatever links it gets
// a DirectDraw that can hand out Direct3D.
const bool kDirect3DInstalled = (d3d::InstallDirect3D(), true);
}  // namespace

HRESULT Direct3DRMCreate(IDirect3DRM** d3drm) {
  (void)kDirect3DInstalled;
  if (!d3drm) return D3DRMERR_BADVALUE;
  *d3drm = new d3d::detail::RetainedMode();
  return D3DRM_OK;
}

namespace d3d::detail {

HRESULT RetainedMode::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (riid == IID_IUnknown || riid == IID_IDirect3DRM) {
    *ppv = static_cast<IDirect3DRM*>(this);
  } else if (riid == IID_IDirect3DRM3) {
    *ppv = static_cast<IDirect3DRM3*>(this);
  } else {
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

HRESULT RetainedMode::CreateDeviceFromClipper(IDirectDrawClipper* clipper, GUID* guid, int width, int height,
                                              IDirect3DRMDevice3** device) {
  if (!device) return D3DRMERR_BADVALUE;
  *device = nullptr;
  if (!clipper || width <= 0 || height <= 0) return D3DRMERR_BADVALUE;
  if (guid) {
    switch (KindOf(*guid)) {
      case DeviceKind::Mmx:
      case DeviceKind::Rgb:
      case DeviceKind::Ramp:
      case DeviceKind::Reference:
        break;
      case DeviceKind::Hal: {
        // As in immediate mode: only a display with 3-D hardware has a HAL device.
        const ddraw::MachineConfig machine = ddraw::Machine();
        if (machine.drivers.empty() || !(machine.drivers.front().caps & DDCAPS_3D)) return D3DRMERR_BADDEVICE;
        break;
      }
      case DeviceKind::TnLHal:  // retained mode cannot drive a transform-and-lighting device
      case DeviceKind::Unknown:
        return D3DRMERR_BADDEVICE;
    }
  }
  *device = new RetainedDevice(clipper, static_cast<DWORD>(width), static_cast<DWORD>(height));
  return D3DRM_OK;
}

RetainedDevice::RetainedDevice(IDirectDrawClipper* clipper, DWORD width, DWORD height)
    : clipper_(clipper), width_(width), height_(height) {
  clipper_->AddRef();
}

RetainedDevice::~RetainedDevice() { clipper_->Release(); }

HRESULT RetainedDevice::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (riid != IID_IUnknown && riid != IID_IDirect3DRMDevice3) return E_NOINTERFACE;
  AddRef();
  *ppv = static_cast<IDirect3DRMDevice3*>(this);
  return S_OK;
}

}  // namespace d3d::detail
