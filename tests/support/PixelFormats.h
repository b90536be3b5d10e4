// DirectDraw pixel formats for the tests, built one way: Rgb(bits, red, green, blue masks
// [, alpha mask [, extra flags]]), the palettized and depth formats, and the two the game
// renders to.
#pragma once

#include "platform/ddraw/DDraw.h"

namespace pixfmt {

inline DDPIXELFORMAT Rgb(DWORD bits, DWORD r, DWORD g, DWORD b, DWORD a = 0, DWORD extraFlags = 0) {
  DDPIXELFORMAT f{};
  f.dwSize = sizeof f;
  f.dwFlags = DDPF_RGB | (a ? DDPF_ALPHAPIXELS : 0) | extraFlags;
  f.dwRGBBitCount = bits;
  f.dwRBitMask = r;
  f.dwGBitMask = g;
  f.dwBBitMask = b;
  f.dwRGBAlphaBitMask = a;
  return f;
}

inline DDPIXELFORMAT Pal8() { return Rgb(8, 0, 0, 0, 0, DDPF_PALETTEINDEXED8); }

inline DDPIXELFORMAT Depth(DWORD bits, DWORD zMask, DWORD stencilBits = 0, DWORD stencilMask = 0) {
  DDPIXELFORMAT f{};
  f.dwSize = sizeof f;
  f.dwFlags = DDPF_ZBUFFER | (stencilBits ? DDPF_STENCILBUFFER : 0);
  f.dwZBufferBitDepth = bits;
  f.dwStencilBitDepth = stencilBits;
  f.dwZBitMask = zMask;
  f.dwStencilBitMask = stencilMask;
  return f;
}

inline DDPIXELFORMAT Rgb565() { return Rgb(16, 0xF800, 0x07E0, 0x001F); }
inline DDPIXELFORMAT Xrgb8888() { return Rgb(32, 0xFF0000, 0xFF00, 0xFF); }

}  // namespace pixfmt
