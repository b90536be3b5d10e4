// The software Direct3D 7: how a DirectDraw object hands out its IDirect3D7, and the
// fixed lists of formats the devices offer.
//
// Devices: the T&L HAL and HAL kinds exist only on a driver that reports 3-D hardware
// (DDCAPS_3D), which the emulated machine does not by default; the MMX and RGB kinds are the
// fast software rasterizer; Ramp is gone, as in version 7; Reference is the plain, exact
// rasterizer that the fast one is checked against.
#pragma once

#include "platform/d3d/D3D7.h"
#include "platform/ddraw/DDraw.h"

namespace d3d {

// Makes QueryInterface(IID_IDirect3D7) on every DirectDraw object answer with a Direct3D
// object of this stand-in. Linking the retained-mode entry point (Direct3DRMCreate, which the
// display component always calls) installs it too; calling it again does no harm.
void InstallDirect3D();

// The factory InstallDirect3D registers: a new IDirect3D7 that holds a reference to `directDraw`.
HRESULT CreateDirect3D(IDirectDraw7* directDraw, void** direct3D);

// Depth-buffer formats in the order EnumZBufferFormats reports them: 16-bit, 24-bit (in a
// 32-bit word, low byte unused), 32-bit, then 24-bit depth with 8-bit stencil.
inline constexpr int kZBufferFormatCount = 4;
DDPIXELFORMAT ZBufferFormat(int index);

// Texture formats in the order EnumTextureFormats reports them: RGB565, X1R5G5B5, A1R5G5B5,
// A4R4G4B4, X8R8G8B8, A8R8G8B8, then an 8-bit luminance format (which no surface of ours
// can hold; it is there because the platform lists such formats and callers must skip them).
inline constexpr int kTextureFormatCount = 7;
DDPIXELFORMAT TextureFormat(int index);

// Threads the software devices created from now on rasterize with: 1 to 4 (outside clamped);
// by default the cores available, at most 4. The pictures are the same for any number.
void SetRenderThreads(int threads);
int RenderThreads();

}  // namespace d3d
