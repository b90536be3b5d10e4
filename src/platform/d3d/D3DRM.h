// Direct3D Retained Mode, as much of it as the display component touches: the retained-mode
// object (reached as IDirect3DRM3 by QueryInterface) and a device made from a clipper.
// Nothing is drawn through retained mode; the device is created and released like the
// platform's so that reference counts and results come out the same.
#pragma once

#include "platform/win/WinTypes.h"

struct IDirectDrawClipper;

// Result codes: MAKE_DDHRESULT(code).
inline constexpr HRESULT D3DRM_OK = 0;
inline constexpr HRESULT D3DRMERR_BADOBJECT = MakeHResult(0x8876030D);  // 781
inline constexpr HRESULT D3DRMERR_BADTYPE = MakeHResult(0x8876030E);    // 782
inline constexpr HRESULT D3DRMERR_BADDEVICE = MakeHResult(0x88760315);  // 789
inline constexpr HRESULT D3DRMERR_BADVALUE = MakeHResult(0x88760316);   // 790

inline constexpr GUID IID_IDirect3DRM = {0x2BC49361, 0x8327, 0x11CF, {0xAC, 0x4A, 0x00, 0x00, 0xC0, 0x38, 0x25, 0xA1}};
inline constexpr GUID IID_IDirect3DRM2 = {0x4516ECC8, 0x8F20, 0x11D0, {0x9B, 0x6D, 0x00, 0x00, 0xC0, 0x78, 0x1B, 0xC3}};
inline constexpr GUID IID_IDirect3DRM3 = {0x4516EC83, 0x8F20, 0x11D0, {0x9B, 0x6D, 0x00, 0x00, 0xC0, 0x78, 0x1B, 0xC3}};
inline constexpr GUID IID_IDirect3DRMDevice3 = {
    0x549F498B, 0xBFEB, 0x11D1, {0x8E, 0xD8, 0x00, 0xA0, 0xC9, 0x67, 0xA4, 0x82}};

struct IDirect3DRMDevice3 : IUnknown {
  virtual DWORD GetWidth() = 0;
  virtual DWORD GetHeight() = 0;
};

// The first interface of the retained-mode object; the display component only asks it for IDirect3DRM3.
struct IDirect3DRM : IUnknown {};

struct IDirect3DRM3 : IUnknown {
  // guid: the immediate-mode device kind to build on, or nullptr for the best one available.
  virtual HRESULT CreateDeviceFromClipper(IDirectDrawClipper* clipper, GUID* guid, int width, int height,
                                          IDirect3DRMDevice3** device) = 0;
};

HRESULT Direct3DRMCreate(IDirect3DRM** d3drm);
