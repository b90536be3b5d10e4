// The inside of the DirectDraw stand-in. Only its own sources include this.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/ddraw/DDraw.h"
#include "platform/ddraw/DDrawMachine.h"
#include "platform/gdi/PixelTarget.h"
#include "platform/win/ComRef.h"

namespace ddraw::detail {

// ---- Pixel formats -------------------------------------------------------------

// Bytes per pixel of a format the stand-in can hold (8-bit indexed, 16/24/32-bit RGB
// with or without alpha, 16/24/32-bit depth with or without stencil); 0 otherwise.
int BytesPerPixel(const DDPIXELFORMAT& format);
// The depth-buffer layouts the emulated driver can draw into: 16-bit, 24-bit depth in the top of
// a 32-bit word (with or without an 8-bit stencil below it) and 32-bit. The 3-D devices offer
// exactly these; a z-buffer of any other layout is refused when it is created.
bool DriverDepthFormat(const DDPIXELFORMAT& format);
// The format of a display of the given depth (8: indexed, 16: RGB565, 24: R8G8B8, 32: X8R8G8B8).
DDPIXELFORMAT DisplayFormat(int bitsPerPixel);
bool SameFormat(const DDPIXELFORMAT& a, const DDPIXELFORMAT& b);
// The format as GDI draws on it; false for a format GDI cannot draw on (depth buffers).
bool GdiFormat(const DDPIXELFORMAT& format, gdi::PixelFormat& out);
// Converts `count` pixels of a row to 0x00RRGGBB.
void RowToXrgb(const uint8_t* row, int count, const DDPIXELFORMAT& format, const PALETTEENTRY* palette, uint32_t* out);

// ---- Machine state ---------------------------------------------------------------

uint32_t LossEpoch();
bool RestoreBlocked();
// Takes `bytes` of video memory; false when there is not enough left.
bool ReserveVideoMemory(uint64_t bytes);
void FreeVideoMemory(uint64_t bytes);
DisplayMode DesktopMode();
void SetDisplayMode(const DisplayMode& mode);
Direct3DFactory CurrentDirect3DFactory();
// Runs `action` with the target bound to the window (under the binding lock); false when none is bound.
bool WithTargetImpl(HWND window, void (*call)(IPresentTarget&, void*), void* context);
template <class F>
bool WithTarget(HWND window, F&& action) {
  return WithTargetImpl(
      window, [](IPresentTarget& t, void* c) { (*static_cast<F*>(c))(t); }, &action);
}
// Writes "ddraw: <what> is not supported" to stderr the first time only.
void ReportGap(const std::string& what);

// ---- Objects -------------------------------------------------------------------

// Private interface ids that answer with the stand-in's own object, so that an interface
// made elsewhere (a test's wrapper, a stray pointer's vtable) is never taken for one of ours.
inline constexpr GUID IID_SurfaceImpl = {0x7a11e0d1, 0x5e6f, 0x4b2a, {0x9c, 0x01, 0x44, 0x44, 0x72, 0x61, 0x77, 0x31}};
inline constexpr GUID IID_ClipperImpl = {0x7a11e0d1, 0x5e6f, 0x4b2a, {0x9c, 0x01, 0x44, 0x44, 0x72, 0x61, 0x77, 0x32}};
inline constexpr GUID IID_PaletteImpl = {0x7a11e0d1, 0x5e6f, 0x4b2a, {0x9c, 0x01, 0x44, 0x44, 0x72, 0x61, 0x77, 0x33}};

// The stand-in's object behind an interface, or nullptr for one it did not make.
template <class Impl>
Impl* ImplOf(IUnknown* object, const GUID& iid) {
  void* p = nullptr;
  if (!object || FAILED(object->QueryInterface(iid, &p)) || !p) return nullptr;
  auto* impl = static_cast<Impl*>(p);
  impl->Release();  // the caller holds its own reference
  return impl;
}

using win::RefCounted;

class Surface;

// What a DirectDraw object shares with the surfaces it made: they may outlive it.
struct DeviceState {
  DriverConfig driver;
  HWND window = nullptr;
  DWORD cooperativeFlags = 0;
  bool exclusive = false;
  bool changedMode = false;
  Surface* primary = nullptr;  // not a reference: the primary clears it when it dies
};

class Clipper final : public RefCounted<IDirectDrawClipper> {
 public:
  HRESULT QueryInterface(REFIID riid, void** ppv) override;
  HRESULT SetHWnd(DWORD flags, HWND window) override;
  HRESULT GetHWnd(HWND* window) override;
  HWND Window() const { return window_; }

 private:
  HWND window_ = nullptr;
};

class Palette final : public RefCounted<IDirectDrawPalette> {
 public:
  explicit Palette(const PALETTEENTRY* entries);
  HRESULT QueryInterface(REFIID riid, void** ppv) override;
  HRESULT SetEntries(DWORD flags, DWORD start, DWORD count, const PALETTEENTRY* entries) override;
  HRESULT GetEntries(DWORD flags, DWORD start, DWORD count, PALETTEENTRY* entries) override;
  const PALETTEENTRY* Entries() const { return entries_; }

 private:
  PALETTEENTRY entries_[256];
};

class Surface final : public RefCounted<IDirectDrawSurface7>, public gdi::IPixelTarget {
 public:
  // `desc` is complete (caps with the memory placement, size, pitch and format). A surface of
  // render scale `scale` holds scale x scale pixels for each pixel of its description.
  Surface(std::shared_ptr<DeviceState> device, const DDSURFACEDESC2& desc, uint64_t videoBytes, int scale = 1);
  ~Surface() override;

  HRESULT QueryInterface(REFIID riid, void** ppv) override;
  HRESULT AddAttachedSurface(LPDIRECTDRAWSURFACE7 surface) override;
  HRESULT Blt(LPRECT destRect, LPDIRECTDRAWSURFACE7 source, LPRECT sourceRect, DWORD flags, LPDDBLTFX fx) override;
  HRESULT DeleteAttachedSurface(DWORD flags, LPDIRECTDRAWSURFACE7 surface) override;
  HRESULT Flip(LPDIRECTDRAWSURFACE7 target, DWORD flags) override;
  HRESULT GetAttachedSurface(DDSCAPS2* caps, LPDIRECTDRAWSURFACE7* surface) override;
  HRESULT GetCaps(DDSCAPS2* caps) override;
  HRESULT GetDC(HDC* dc) override;
  HRESULT GetSurfaceDesc(LPDDSURFACEDESC2 desc) override;
  HRESULT IsLost() override;
  HRESULT Lock(LPRECT rect, LPDDSURFACEDESC2 desc, DWORD flags, HANDLE event) override;
  HRESULT ReleaseDC(HDC dc) override;
  HRESULT Restore() override;
  HRESULT SetClipper(LPDIRECTDRAWCLIPPER clipper) override;
  HRESULT SetColorKey(DWORD flags, DDCOLORKEY* key) override;
  HRESULT SetPalette(LPDIRECTDRAWPALETTE palette) override;
  HRESULT Unlock(LPRECT rect) override;
  HRESULT GetColorKey(DWORD flags, DDCOLORKEY* key) override;
  HRESULT GetPalette(LPDIRECTDRAWPALETTE* palette) override;

  // gdi::IPixelTarget: a DC from GetDC draws on these pixels (in the coordinates of the
  // description; the access reaches the real pixels of the fine grid).
  int Width() const override { return static_cast<int>(desc_.dwWidth); }
  int Height() const override { return static_cast<int>(desc_.dwHeight); }
  int Scale() const override { return scale_; }
  gdi::PixelFormat Format() const override;
  const PALETTEENTRY* Palette() const override;
  bool BeginAccess(gdi::PixelAccess& access) override;
  void EndAccess() override {}

  // The front buffer of a full-screen chain (or the windowed primary) shows itself.
  void AttachBackBuffer(Surface* back);
  // The primary surface's client-area picture goes to the window.
  void PresentPrimary();
  // The stand-in's surface behind an interface; nullptr for a foreign one.
  static Surface* From(IDirectDrawSurface7* surface);
  // Locks the real pixels (see LockRenderPixels).
  HRESULT LockFine(DDSURFACEDESC2& desc);
  void AddPending(PendingPixels* pending);
  void RemovePending(PendingPixels* pending);
  // Finishes what devices have pending on the pixels, before they are read or written.
  void SettlePending();

 private:
  bool Lost() const;
  bool Busy() const { return locked_ || dc_ != nullptr; }
  bool IsPrimary() const { return (desc_.ddsCaps.dwCaps & DDSCAPS_PRIMARYSURFACE) != 0; }
  // Rows of the real pixels (of the fine grid at a render scale above 1).
  uint8_t* Row(int y) { return memory_.data() + static_cast<std::size_t>(y) * Pitch(); }
  std::size_t Pitch() const { return pitch_; }
  int FineWidth() const { return Width() * scale_; }
  int FineHeight() const { return Height() * scale_; }
  // One pixel value standing for the scale x scale block of pixel (x, y) of the description:
  // the channels' mean for colour formats, the block's first pixel for indices and depths.
  uint32_t BlockValue(int x, int y);
  void FillBlock(int x, int y, uint32_t value);
  void FillView(const RECT& r);
  void WriteBackView();
  // Copies (or resamples) `from` of `src` onto `to` of this surface, clipped to `visible`,
  // all in the coordinates of the two descriptions.
  void CopyPixels(Surface& src, const RECT& from, const RECT& to, const RECT& visible);
  HWND PresentWindow() const;
  void FillPattern();
  HRESULT ColorFill(const RECT& dest, DWORD value);

  std::shared_ptr<DeviceState> device_;
  DDSURFACEDESC2 desc_{};
  int bytesPerPixel_ = 0;
  std::vector<uint8_t> memory_;
  int scale_ = 1;
  std::size_t pitch_ = 0;
  // A Lock of a scaled surface hands out this picture of the described size; what the
  // program changed in it goes back to the real pixels at Unlock.
  std::vector<uint8_t> view_, viewSeen_;
  RECT viewRect_{};
  bool viewLocked_ = false;
  uint64_t videoBytes_ = 0;
  uint32_t epoch_ = 0;
  DisplayMode createdMode_{};
  bool locked_ = false;
  HDC dc_ = nullptr;
  bool hasSrcKey_ = false;
  bool hasDestKey_ = false;
  DDCOLORKEY destKey_{};
  std::vector<Surface*> attached_;       // each holds a reference
  std::vector<PendingPixels*> pending_;  // each holds a reference to this surface
  Clipper* clipper_ = nullptr;           // holds a reference
  class Palette* palette_ = nullptr;     // holds a reference
  bool flipped_ = false;                 // the front shows the other buffer than GDI's
  std::vector<uint32_t> presentBuffer_;
  friend class DirectDraw;
};

class DirectDraw final : public RefCounted<IDirectDraw7> {
 public:
  explicit DirectDraw(const DriverConfig& driver);
  ~DirectDraw() override;

  HRESULT QueryInterface(REFIID riid, void** ppv) override;
  HRESULT CreateClipper(DWORD flags, LPDIRECTDRAWCLIPPER* clipper, IUnknown* outer) override;
  HRESULT CreatePalette(DWORD flags, PALETTEENTRY* entries, LPDIRECTDRAWPALETTE* palette, IUnknown* outer) override;
  HRESULT CreateSurface(LPDDSURFACEDESC2 desc, LPDIRECTDRAWSURFACE7* surface, IUnknown* outer) override;
  HRESULT EnumDisplayModes(DWORD flags, LPDDSURFACEDESC2 filter, LPVOID context,
                           LPDDENUMMODESCALLBACK2 callback) override;
  HRESULT FlipToGDISurface() override;
  HRESULT GetCaps(LPDDCAPS driverCaps, LPDDCAPS helCaps) override;
  HRESULT RestoreDisplayMode() override;
  HRESULT SetCooperativeLevel(HWND window, DWORD flags) override;
  HRESULT SetDisplayMode(DWORD width, DWORD height, DWORD bpp, DWORD refreshRate, DWORD flags) override;
  HRESULT WaitForVerticalBlank(DWORD flags, HANDLE event) override;

 private:
  HRESULT MakeSurface(const DDSURFACEDESC2& desc, Surface** out);

  std::shared_ptr<DeviceState> state_;
};

}  // namespace ddraw::detail
