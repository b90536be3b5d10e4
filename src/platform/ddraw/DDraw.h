// DirectDraw 7 as the display component calls it: driver enumeration, the DirectDraw
// object, surfaces (primary with its flip chain, off-screen, z-buffers, textures),
// clippers and palettes, with the names, records, flags and result codes of the
// platform. COM-style objects keep real reference counts.
//
// The machine behind it is emulated (see DDrawMachine.h): its drivers, display modes
// and desktop depth are a plain configuration, and the primary surface is the game
// window's client area, shown through an IPresentTarget bound to the window.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/win/WinTypes.h"

// ---- Result codes ------------------------------------------------------------

constexpr HRESULT MAKE_DDHRESULT(std::uint32_t code) { return MakeHResult(0x88760000u + code); }

inline constexpr HRESULT DD_OK = 0;
inline constexpr HRESULT DD_FALSE = S_FALSE;
inline constexpr HRESULT DDERR_GENERIC = E_FAIL;
inline constexpr HRESULT DDERR_INVALIDPARAMS = E_INVALIDARG;
inline constexpr HRESULT DDERR_OUTOFMEMORY = E_OUTOFMEMORY;
inline constexpr HRESULT DDERR_UNSUPPORTED = E_NOTIMPL;
inline constexpr HRESULT DDERR_CANNOTATTACHSURFACE = MAKE_DDHRESULT(10);
inline constexpr HRESULT DDERR_CANNOTDETACHSURFACE = MAKE_DDHRESULT(20);
inline constexpr HRESULT DDERR_INVALIDCAPS = MAKE_DDHRESULT(100);
inline constexpr HRESULT DDERR_INVALIDMODE = MAKE_DDHRESULT(120);
inline constexpr HRESULT DDERR_INVALIDOBJECT = MAKE_DDHRESULT(130);
inline constexpr HRESULT DDERR_INVALIDPIXELFORMAT = MAKE_DDHRESULT(145);
inline constexpr HRESULT DDERR_INVALIDRECT = MAKE_DDHRESULT(150);
inline constexpr HRESULT DDERR_NOCOOPERATIVELEVELSET = MAKE_DDHRESULT(212);
inline constexpr HRESULT DDERR_NOEXCLUSIVEMODE = MAKE_DDHRESULT(225);
inline constexpr HRESULT DDERR_NOTFOUND = MAKE_DDHRESULT(255);
inline constexpr HRESULT DDERR_OUTOFVIDEOMEMORY = MAKE_DDHRESULT(380);
inline constexpr HRESULT DDERR_SURFACEALREADYATTACHED = MAKE_DDHRESULT(410);
inline constexpr HRESULT DDERR_SURFACEBUSY = MAKE_DDHRESULT(430);
inline constexpr HRESULT DDERR_SURFACELOST = MAKE_DDHRESULT(450);
inline constexpr HRESULT DDERR_SURFACENOTATTACHED = MAKE_DDHRESULT(460);
inline constexpr HRESULT DDERR_TOOBIGSIZE = MAKE_DDHRESULT(480);
inline constexpr HRESULT DDERR_INVALIDDIRECTDRAWGUID = MAKE_DDHRESULT(561);
inline constexpr HRESULT DDERR_NODIRECTDRAWHW = MAKE_DDHRESULT(563);
inline constexpr HRESULT DDERR_PRIMARYSURFACEALREADYEXISTS = MAKE_DDHRESULT(564);
inline constexpr HRESULT DDERR_NOTFLIPPABLE = MAKE_DDHRESULT(582);
inline constexpr HRESULT DDERR_NOTLOCKED = MAKE_DDHRESULT(584);
inline constexpr HRESULT DDERR_CANTCREATEDC = MAKE_DDHRESULT(585);
inline constexpr HRESULT DDERR_NODC = MAKE_DDHRESULT(586);
inline constexpr HRESULT DDERR_WRONGMODE = MAKE_DDHRESULT(587);
inline constexpr HRESULT DDERR_NOTPALETTIZED = MAKE_DDHRESULT(589);
inline constexpr HRESULT DDERR_DCALREADYCREATED = MAKE_DDHRESULT(620);
inline constexpr HRESULT CLASS_E_NOAGGREGATION = MakeHResult(0x80040110);

// ---- Flags -------------------------------------------------------------------

// DDSURFACEDESC2::dwFlags
inline constexpr DWORD DDSD_CAPS = 0x00000001;
inline constexpr DWORD DDSD_HEIGHT = 0x00000002;
inline constexpr DWORD DDSD_WIDTH = 0x00000004;
inline constexpr DWORD DDSD_PITCH = 0x00000008;
inline constexpr DWORD DDSD_BACKBUFFERCOUNT = 0x00000020;
inline constexpr DWORD DDSD_LPSURFACE = 0x00000800;
inline constexpr DWORD DDSD_PIXELFORMAT = 0x00001000;
inline constexpr DWORD DDSD_CKSRCBLT = 0x00010000;
inline constexpr DWORD DDSD_REFRESHRATE = 0x00040000;
inline constexpr DWORD DDSD_TEXTURESTAGE = 0x00100000;

// DDSCAPS2::dwCaps
inline constexpr DWORD DDSCAPS_ALPHA = 0x00000002;
inline constexpr DWORD DDSCAPS_BACKBUFFER = 0x00000004;
inline constexpr DWORD DDSCAPS_COMPLEX = 0x00000008;
inline constexpr DWORD DDSCAPS_FLIP = 0x00000010;
inline constexpr DWORD DDSCAPS_FRONTBUFFER = 0x00000020;
inline constexpr DWORD DDSCAPS_OFFSCREENPLAIN = 0x00000040;
inline constexpr DWORD DDSCAPS_PALETTE = 0x00000100;
inline constexpr DWORD DDSCAPS_PRIMARYSURFACE = 0x00000200;
inline constexpr DWORD DDSCAPS_SYSTEMMEMORY = 0x00000800;
inline constexpr DWORD DDSCAPS_TEXTURE = 0x00001000;
inline constexpr DWORD DDSCAPS_3DDEVICE = 0x00002000;
inline constexpr DWORD DDSCAPS_VIDEOMEMORY = 0x00004000;
inline constexpr DWORD DDSCAPS_VISIBLE = 0x00008000;
inline constexpr DWORD DDSCAPS_ZBUFFER = 0x00020000;
inline constexpr DWORD DDSCAPS_MIPMAP = 0x00400000;
inline constexpr DWORD DDSCAPS_LOCALVIDMEM = 0x10000000;
inline constexpr DWORD DDSCAPS_NONLOCALVIDMEM = 0x20000000;

// DDPIXELFORMAT::dwFlags
inline constexpr DWORD DDPF_ALPHAPIXELS = 0x00000001;
inline constexpr DWORD DDPF_ALPHA = 0x00000002;
inline constexpr DWORD DDPF_FOURCC = 0x00000004;
inline constexpr DWORD DDPF_PALETTEINDEXED4 = 0x00000008;
inline constexpr DWORD DDPF_PALETTEINDEXED8 = 0x00000020;
inline constexpr DWORD DDPF_RGB = 0x00000040;
inline constexpr DWORD DDPF_ZBUFFER = 0x00000400;
inline constexpr DWORD DDPF_STENCILBUFFER = 0x00004000;
inline constexpr DWORD DDPF_LUMINANCE = 0x00020000;
inline constexpr DWORD DDPF_BUMPLUMINANCE = 0x00040000;
inline constexpr DWORD DDPF_BUMPDUDV = 0x00080000;

// DDCAPS::dwCaps
inline constexpr DWORD DDCAPS_3D = 0x00000001;
inline constexpr DWORD DDCAPS_BLT = 0x00000040;
inline constexpr DWORD DDCAPS_BLTSTRETCH = 0x00000200;
inline constexpr DWORD DDCAPS_GDI = 0x00000400;
inline constexpr DWORD DDCAPS_PALETTE = 0x00008000;
inline constexpr DWORD DDCAPS_COLORKEY = 0x00400000;
inline constexpr DWORD DDCAPS_NOHARDWARE = 0x02000000;
inline constexpr DWORD DDCAPS_BLTCOLORFILL = 0x04000000;
inline constexpr DWORD DDCAPS_CANBLTSYSMEM = 0x80000000;

// DDCAPS::dwZBufferBitDepths
inline constexpr DWORD DDBD_8 = 0x00000800;
inline constexpr DWORD DDBD_16 = 0x00000400;
inline constexpr DWORD DDBD_24 = 0x00000200;
inline constexpr DWORD DDBD_32 = 0x00000100;

// SetCooperativeLevel
inline constexpr DWORD DDSCL_FULLSCREEN = 0x00000001;
inline constexpr DWORD DDSCL_ALLOWREBOOT = 0x00000002;
inline constexpr DWORD DDSCL_NOWINDOWCHANGES = 0x00000004;
inline constexpr DWORD DDSCL_NORMAL = 0x00000008;
inline constexpr DWORD DDSCL_EXCLUSIVE = 0x00000010;
inline constexpr DWORD DDSCL_ALLOWMODEX = 0x00000040;
inline constexpr DWORD DDSCL_MULTITHREADED = 0x00000400;
inline constexpr DWORD DDSCL_FPUSETUP = 0x00000800;
inline constexpr DWORD DDSCL_FPUPRESERVE = 0x00001000;

// Lock
inline constexpr DWORD DDLOCK_SURFACEMEMORYPTR = 0x00000000;
inline constexpr DWORD DDLOCK_WAIT = 0x00000001;
inline constexpr DWORD DDLOCK_READONLY = 0x00000010;
inline constexpr DWORD DDLOCK_WRITEONLY = 0x00000020;
inline constexpr DWORD DDLOCK_NOSYSLOCK = 0x00000800;

// Blt
inline constexpr DWORD DDBLT_COLORFILL = 0x00000400;
inline constexpr DWORD DDBLT_KEYSRC = 0x00008000;
inline constexpr DWORD DDBLT_WAIT = 0x01000000;

// SetColorKey
inline constexpr DWORD DDCKEY_COLORSPACE = 0x00000001;
inline constexpr DWORD DDCKEY_DESTBLT = 0x00000002;
inline constexpr DWORD DDCKEY_DESTOVERLAY = 0x00000004;
inline constexpr DWORD DDCKEY_SRCBLT = 0x00000008;
inline constexpr DWORD DDCKEY_SRCOVERLAY = 0x00000010;

// Flip
inline constexpr DWORD DDFLIP_WAIT = 0x00000001;
inline constexpr DWORD DDFLIP_NOVSYNC = 0x00000008;

// WaitForVerticalBlank
inline constexpr DWORD DDWAITVB_BLOCKBEGIN = 0x00000001;
inline constexpr DWORD DDWAITVB_BLOCKBEGINEVENT = 0x00000002;
inline constexpr DWORD DDWAITVB_BLOCKEND = 0x00000004;

// CreatePalette
inline constexpr DWORD DDPCAPS_4BIT = 0x00000001;
inline constexpr DWORD DDPCAPS_8BIT = 0x00000004;
inline constexpr DWORD DDPCAPS_PRIMARYSURFACE = 0x00000010;
inline constexpr DWORD DDPCAPS_ALLOW256 = 0x00000040;

// Enumeration callbacks
inline constexpr HRESULT DDENUMRET_CANCEL = 0;
inline constexpr HRESULT DDENUMRET_OK = 1;

// ---- Records -----------------------------------------------------------------

struct DDCOLORKEY {
  DWORD dwColorSpaceLowValue;
  DWORD dwColorSpaceHighValue;
};

struct DDPIXELFORMAT {
  DWORD dwSize;
  DWORD dwFlags;
  DWORD dwFourCC;
  union {
    DWORD dwRGBBitCount;
    DWORD dwYUVBitCount;
    DWORD dwZBufferBitDepth;
    DWORD dwAlphaBitDepth;
    DWORD dwLuminanceBitCount;
    DWORD dwBumpBitCount;
  };
  union {
    DWORD dwRBitMask;
    DWORD dwYBitMask;
    DWORD dwStencilBitDepth;
    DWORD dwLuminanceBitMask;
    DWORD dwBumpDuBitMask;
  };
  union {
    DWORD dwGBitMask;
    DWORD dwUBitMask;
    DWORD dwZBitMask;
    DWORD dwBumpDvBitMask;
  };
  union {
    DWORD dwBBitMask;
    DWORD dwVBitMask;
    DWORD dwStencilBitMask;
    DWORD dwBumpLuminanceBitMask;
  };
  union {
    DWORD dwRGBAlphaBitMask;
    DWORD dwYUVAlphaBitMask;
    DWORD dwLuminanceAlphaBitMask;
    DWORD dwRGBZBitMask;
    DWORD dwYUVZBitMask;
  };
};
static_assert(sizeof(DDPIXELFORMAT) == 32);

struct DDSCAPS2 {
  DWORD dwCaps;
  DWORD dwCaps2;
  DWORD dwCaps3;
  union {
    DWORD dwCaps4;
    DWORD dwVolumeDepth;
  };
};
static_assert(sizeof(DDSCAPS2) == 16);

struct DDSCAPS {
  DWORD dwCaps;
};

// The layout of the platform's record; lpSurface is a native pointer, so the record
// is 124 bytes on a 32-bit machine and a little larger here. dwSize must be sizeof.
struct DDSURFACEDESC2 {
  DWORD dwSize;
  DWORD dwFlags;
  DWORD dwHeight;
  DWORD dwWidth;
  union {
    LONG lPitch;
    DWORD dwLinearSize;
  };
  union {
    DWORD dwBackBufferCount;
    DWORD dwDepth;
  };
  union {
    DWORD dwMipMapCount;
    DWORD dwRefreshRate;
    DWORD dwSrcVBHandle;
  };
  DWORD dwAlphaBitDepth;
  DWORD dwReserved;
  LPVOID lpSurface;
  union {
    DDCOLORKEY ddckCKDestOverlay;
    DWORD dwEmptyFaceColor;
  };
  DDCOLORKEY ddckCKDestBlt;
  DDCOLORKEY ddckCKSrcOverlay;
  DDCOLORKEY ddckCKSrcBlt;
  union {
    DDPIXELFORMAT ddpfPixelFormat;
    DWORD dwFVF;
  };
  DDSCAPS2 ddsCaps;
  DWORD dwTextureStage;
};
using LPDDSURFACEDESC2 = DDSURFACEDESC2*;

// The DirectX 7 capability record (380 bytes); the emulated drivers fill dwCaps,
// dwCaps2, dwCKeyCaps, dwPalCaps, dwZBufferBitDepths, the video memory counts and ddsCaps.
struct DDCAPS {
  DWORD dwSize;
  DWORD dwCaps;
  DWORD dwCaps2;
  DWORD dwCKeyCaps;
  DWORD dwFXCaps;
  DWORD dwFXAlphaCaps;
  DWORD dwPalCaps;
  DWORD dwSVCaps;
  DWORD dwAlphaBltConstBitDepths;
  DWORD dwAlphaBltPixelBitDepths;
  DWORD dwAlphaBltSurfaceBitDepths;
  DWORD dwAlphaOverlayConstBitDepths;
  DWORD dwAlphaOverlayPixelBitDepths;
  DWORD dwAlphaOverlaySurfaceBitDepths;
  DWORD dwZBufferBitDepths;
  DWORD dwVidMemTotal;
  DWORD dwVidMemFree;
  DWORD dwMaxVisibleOverlays;
  DWORD dwCurrVisibleOverlays;
  DWORD dwNumFourCCCodes;
  DWORD dwAlignBoundarySrc;
  DWORD dwAlignSizeSrc;
  DWORD dwAlignBoundaryDest;
  DWORD dwAlignSizeDest;
  DWORD dwAlignStrideAlign;
  DWORD dwRops[8];
  DDSCAPS ddsOldCaps;
  DWORD dwMinOverlayStretch;
  DWORD dwMaxOverlayStretch;
  DWORD dwMinLiveVideoStretch;
  DWORD dwMaxLiveVideoStretch;
  DWORD dwMinHwCodecStretch;
  DWORD dwMaxHwCodecStretch;
  DWORD dwReserved1;
  DWORD dwReserved2;
  DWORD dwReserved3;
  DWORD dwSVBCaps;
  DWORD dwSVBCKeyCaps;
  DWORD dwSVBFXCaps;
  DWORD dwSVBRops[8];
  DWORD dwVSBCaps;
  DWORD dwVSBCKeyCaps;
  DWORD dwVSBFXCaps;
  DWORD dwVSBRops[8];
  DWORD dwSSBCaps;
  DWORD dwSSBCKeyCaps;
  DWORD dwSSBFXCaps;
  DWORD dwSSBRops[8];
  DWORD dwMaxVideoPorts;
  DWORD dwCurrVideoPorts;
  DWORD dwSVBCaps2;
  DWORD dwNLVBCaps;
  DWORD dwNLVBCaps2;
  DWORD dwNLVBCKeyCaps;
  DWORD dwNLVBFXCaps;
  DWORD dwNLVBRops[8];
  DDSCAPS2 ddsCaps;
};
static_assert(sizeof(DDCAPS) == 380);
using LPDDCAPS = DDCAPS*;

// Only the size and the fill colour are read.
struct DDBLTFX {
  DWORD dwSize;
  DWORD dwDDFX;
  DWORD dwROP;
  DWORD dwDDROP;
  DWORD dwRotationAngle;
  DWORD dwZBufferOpCode;
  DWORD dwZBufferLow;
  DWORD dwZBufferHigh;
  DWORD dwZBufferBaseDest;
  DWORD dwZDestConstBitDepth;
  DWORD dwZDestConst;  // a union with a surface pointer on the platform
  DWORD dwZSrcConstBitDepth;
  DWORD dwZSrcConst;
  DWORD dwAlphaEdgeBlendBitDepth;
  DWORD dwAlphaEdgeBlend;
  DWORD dwReserved;
  DWORD dwAlphaDestConstBitDepth;
  DWORD dwAlphaDestConst;
  DWORD dwAlphaSrcConstBitDepth;
  DWORD dwAlphaSrcConst;
  DWORD dwFillColor;  // a union with dwFillDepth, dwFillPixel and a pattern surface
  DDCOLORKEY ddckDestColorkey;
  DDCOLORKEY ddckSrcColorkey;
};
static_assert(sizeof(DDBLTFX) == 100);
using LPDDBLTFX = DDBLTFX*;

// ---- GUIDs -------------------------------------------------------------------

inline constexpr GUID IID_IDirectDraw7 = {0x15e65ec0, 0x3b9c, 0x11d2, {0xb9, 0x2f, 0x00, 0x60, 0x97, 0x97, 0xea, 0x5b}};
inline constexpr GUID IID_IDirectDrawSurface7 = {
    0x06675a80, 0x3b9b, 0x11d2, {0xb9, 0x2f, 0x00, 0x60, 0x97, 0x97, 0xea, 0x5b}};
inline constexpr GUID IID_IDirect3D7 = {0xf5049e77, 0x4861, 0x11d2, {0xa4, 0x07, 0x00, 0xa0, 0xc9, 0x06, 0x29, 0xa8}};

// ---- Interfaces --------------------------------------------------------------

struct IDirectDrawSurface7;
struct IDirectDrawClipper;
struct IDirectDrawPalette;
using LPDIRECTDRAWSURFACE7 = IDirectDrawSurface7*;
using LPDIRECTDRAWCLIPPER = IDirectDrawClipper*;
using LPDIRECTDRAWPALETTE = IDirectDrawPalette*;

using LPDDENUMCALLBACKA = BOOL (*)(GUID* guid, LPSTR description, LPSTR name, LPVOID context);
using LPDDENUMMODESCALLBACK2 = HRESULT (*)(LPDDSURFACEDESC2 mode, LPVOID context);

struct IDirectDrawClipper : IUnknown {
  virtual HRESULT SetHWnd(DWORD flags, HWND window) = 0;
  virtual HRESULT GetHWnd(HWND* window) = 0;
};

struct IDirectDrawPalette : IUnknown {
  virtual HRESULT SetEntries(DWORD flags, DWORD start, DWORD count, const PALETTEENTRY* entries) = 0;
  virtual HRESULT GetEntries(DWORD flags, DWORD start, DWORD count, PALETTEENTRY* entries) = 0;
};

struct IDirectDrawSurface7 : IUnknown {
  virtual HRESULT AddAttachedSurface(LPDIRECTDRAWSURFACE7 surface) = 0;
  virtual HRESULT Blt(LPRECT destRect, LPDIRECTDRAWSURFACE7 source, LPRECT sourceRect, DWORD flags, LPDDBLTFX fx) = 0;
  virtual HRESULT DeleteAttachedSurface(DWORD flags, LPDIRECTDRAWSURFACE7 surface) = 0;
  virtual HRESULT Flip(LPDIRECTDRAWSURFACE7 target, DWORD flags) = 0;
  virtual HRESULT GetAttachedSurface(DDSCAPS2* caps, LPDIRECTDRAWSURFACE7* surface) = 0;
  virtual HRESULT GetCaps(DDSCAPS2* caps) = 0;
  virtual HRESULT GetDC(HDC* dc) = 0;
  virtual HRESULT GetSurfaceDesc(LPDDSURFACEDESC2 desc) = 0;
  virtual HRESULT IsLost() = 0;
  virtual HRESULT Lock(LPRECT rect, LPDDSURFACEDESC2 desc, DWORD flags, HANDLE event) = 0;
  virtual HRESULT ReleaseDC(HDC dc) = 0;
  virtual HRESULT Restore() = 0;
  virtual HRESULT SetClipper(LPDIRECTDRAWCLIPPER clipper) = 0;
  virtual HRESULT SetColorKey(DWORD flags, DDCOLORKEY* key) = 0;
  virtual HRESULT SetPalette(LPDIRECTDRAWPALETTE palette) = 0;
  virtual HRESULT Unlock(LPRECT rect) = 0;
  virtual HRESULT GetColorKey(DWORD flags, DDCOLORKEY* key) = 0;
  virtual HRESULT GetPalette(LPDIRECTDRAWPALETTE* palette) = 0;
};

struct IDirectDraw7 : IUnknown {
  virtual HRESULT CreateClipper(DWORD flags, LPDIRECTDRAWCLIPPER* clipper, IUnknown* outer) = 0;
  virtual HRESULT CreatePalette(DWORD flags, PALETTEENTRY* entries, LPDIRECTDRAWPALETTE* palette, IUnknown* outer) = 0;
  virtual HRESULT CreateSurface(LPDDSURFACEDESC2 desc, LPDIRECTDRAWSURFACE7* surface, IUnknown* outer) = 0;
  virtual HRESULT EnumDisplayModes(DWORD flags, LPDDSURFACEDESC2 filter, LPVOID context,
                                   LPDDENUMMODESCALLBACK2 callback) = 0;
  virtual HRESULT FlipToGDISurface() = 0;
  virtual HRESULT GetCaps(LPDDCAPS driverCaps, LPDDCAPS helCaps) = 0;
  virtual HRESULT RestoreDisplayMode() = 0;
  virtual HRESULT SetCooperativeLevel(HWND window, DWORD flags) = 0;
  virtual HRESULT SetDisplayMode(DWORD width, DWORD height, DWORD bpp, DWORD refreshRate, DWORD flags) = 0;
  virtual HRESULT WaitForVerticalBlank(DWORD flags, HANDLE event) = 0;
};
using LPDIRECTDRAW7 = IDirectDraw7*;

// Calls back once per display driver; the primary display driver comes first with a
// null GUID. The callback returns DDENUMRET_CANCEL to stop.
HRESULT DirectDrawEnumerateA(LPDDENUMCALLBACKA callback, LPVOID context);
// guid: nullptr (or the two special values 1 and 2) for the primary display driver.
HRESULT DirectDrawCreateEx(GUID* guid, LPVOID* directDraw, REFIID iid, IUnknown* outer);
