// BMP files made by hand and a surface that counts the calls made on it.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/ddraw/DDraw.h"

namespace kilntest {

using Bytes = std::vector<uint8_t>;

inline void Put(Bytes& b, size_t at, uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

// A BMP file: `pixels` are listed top row first, in the file's own encoding (an index,
// a 1-5-5-5 word, 0xRRGGBB or 0xAARRGGBB); a negative height stores the rows top-down.
inline Bytes MakeBmp(int width, int height, int bits, const std::vector<uint32_t>& pixels,
                     const std::vector<uint32_t>& palette = {}, uint32_t compression = 0) {
  const int rows = height < 0 ? -height : height;
  const int bytes = bits / 8;
  const int rowSize = (width * bytes + 3) & ~3;
  const size_t offBits = 54 + palette.size() * 4;
  Bytes b(offBits + static_cast<size_t>(rowSize) * rows, 0);
  b[0] = 'B';
  b[1] = 'M';
  Put(b, 2, static_cast<uint32_t>(b.size()), 4);
  Put(b, 10, static_cast<uint32_t>(offBits), 4);
  Put(b, 14, 40, 4);
  Put(b, 18, static_cast<uint32_t>(width), 4);
  Put(b, 22, static_cast<uint32_t>(height), 4);
  Put(b, 26, 1, 2);
  Put(b, 28, static_cast<uint32_t>(bits), 2);
  Put(b, 30, compression, 4);
  Put(b, 46, static_cast<uint32_t>(palette.size()), 4);
  for (size_t i = 0; i < palette.size(); ++i) Put(b, 54 + 4 * i, palette[i], 4);  // 0x00RRGGBB = B, G, R, 0
  for (int y = 0; y < rows; ++y) {
    const int fileRow = height < 0 ? y : rows - 1 - y;
    for (int x = 0; x < width; ++x) {
      const size_t i = static_cast<size_t>(y) * width + x;
      Put(b, offBits + static_cast<size_t>(fileRow) * rowSize + static_cast<size_t>(x) * bytes,
          i < pixels.size() ? pixels[i] : 0, bytes);
    }
  }
  return b;
}

// Passes every call on to a real surface and counts them by name.
class CountingSurface final : public IDirectDrawSurface7 {
 public:
  explicit CountingSurface(IDirectDrawSurface7* real) : real_(real) {}
  std::map<std::string, int> calls;
  int Total() const {
    int n = 0;
    for (const auto& [name, count] : calls) n += count;
    return n;
  }

  HRESULT QueryInterface(REFIID riid, void** ppv) override { return real_->QueryInterface(riid, ppv); }
  ULONG AddRef() override { return ++calls["AddRef"]; }
  ULONG Release() override { return ++calls["Release"], 1; }
  HRESULT AddAttachedSurface(LPDIRECTDRAWSURFACE7 s) override {
    return ++calls["AddAttachedSurface"], real_->AddAttachedSurface(s);
  }
  HRESULT Blt(LPRECT d, LPDIRECTDRAWSURFACE7 s, LPRECT r, DWORD f, LPDDBLTFX fx) override {
    return ++calls["Blt"], real_->Blt(d, s, r, f, fx);
  }
  HRESULT DeleteAttachedSurface(DWORD f, LPDIRECTDRAWSURFACE7 s) override {
    return ++calls["DeleteAttachedSurface"], real_->DeleteAttachedSurface(f, s);
  }
  HRESULT Flip(LPDIRECTDRAWSURFACE7 t, DWORD f) override { return ++calls["Flip"], real_->Flip(t, f); }
  HRESULT GetAttachedSurface(DDSCAPS2* c, LPDIRECTDRAWSURFACE7* s) override {
    return ++calls["GetAttachedSurface"], real_->GetAttachedSurface(c, s);
  }
  HRESULT GetCaps(DDSCAPS2* c) override { return ++calls["GetCaps"], real_->GetCaps(c); }
  HRESULT GetDC(HDC* dc) override { return ++calls["GetDC"], real_->GetDC(dc); }
  HRESULT GetSurfaceDesc(LPDDSURFACEDESC2 d) override { return ++calls["GetSurfaceDesc"], real_->GetSurfaceDesc(d); }
  HRESULT IsLost() override { return ++calls["IsLost"], real_->IsLost(); }
  HRESULT Lock(LPRECT r, LPDDSURFACEDESC2 d, DWORD f, HANDLE e) override {
    return ++calls["Lock"], real_->Lock(r, d, f, e);
  }
  HRESULT ReleaseDC(HDC dc) override { return ++calls["ReleaseDC"], real_->ReleaseDC(dc); }
  HRESULT Restore() override { return ++calls["Restore"], real_->Restore(); }
  HRESULT SetClipper(LPDIRECTDRAWCLIPPER c) override { return ++calls["SetClipper"], real_->SetClipper(c); }
  HRESULT SetColorKey(DWORD f, DDCOLORKEY* k) override { return ++calls["SetColorKey"], real_->SetColorKey(f, k); }
  HRESULT SetPalette(LPDIRECTDRAWPALETTE p) override { return ++calls["SetPalette"], real_->SetPalette(p); }
  HRESULT Unlock(LPRECT r) override { return ++calls["Unlock"], real_->Unlock(r); }
  HRESULT GetColorKey(DWORD f, DDCOLORKEY* k) override { return ++calls["GetColorKey"], real_->GetColorKey(f, k); }
  HRESULT GetPalette(LPDIRECTDRAWPALETTE* p) override { return ++calls["GetPalette"], real_->GetPalette(p); }

 private:
  IDirectDrawSurface7* real_;
};

}  // namespace kilntest
