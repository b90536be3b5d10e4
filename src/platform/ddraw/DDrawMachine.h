// The machine behind the DirectDraw stand-in: its display drivers, display modes,
// desktop and video memory, described by a plain configuration that tests change,
// and the windows the primary surface is shown in.
//
// The configuration and the display state are process-wide, like the machine itself;
// every access takes the machine's lock.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/ddraw/DDraw.h"

namespace host {
class IWindow;
}

namespace ddraw {

struct DriverConfig {
  GUID guid = GUID_NULL;  // GUID_NULL: the primary display driver (enumerated with a null GUID)
  std::string description = "Primary Display Driver";
  std::string name = "display";
  DWORD caps = DDCAPS_BLT | DDCAPS_BLTSTRETCH | DDCAPS_GDI | DDCAPS_PALETTE | DDCAPS_COLORKEY | DDCAPS_BLTCOLORFILL |
               DDCAPS_CANBLTSYSMEM;
  // Surface kinds the driver can make (DDCAPS::ddsCaps.dwCaps).
  DWORD surfaceCaps = DDSCAPS_BACKBUFFER | DDSCAPS_COMPLEX | DDSCAPS_FLIP | DDSCAPS_FRONTBUFFER |
                      DDSCAPS_OFFSCREENPLAIN | DDSCAPS_PALETTE | DDSCAPS_PRIMARYSURFACE | DDSCAPS_SYSTEMMEMORY |
                      DDSCAPS_TEXTURE | DDSCAPS_3DDEVICE | DDSCAPS_VIDEOMEMORY | DDSCAPS_ZBUFFER | DDSCAPS_LOCALVIDMEM;
  DWORD zBufferBitDepths = DDBD_16 | DDBD_24 | DDBD_32;
  // False: DirectDrawCreateEx fails for this driver with DDERR_NODIRECTDRAWHW.
  bool creatable = true;
};

struct DisplayMode {
  DWORD width = 0;
  DWORD height = 0;
  DWORD bitsPerPixel = 0;
  DWORD refreshRate = 0;  // 0: the driver's default
};

struct MachineConfig {
  std::vector<DriverConfig> drivers{DriverConfig{}};
  // 0: the host's desktop (32 bits and 1024 x 768 without a host).
  int desktopBitDepth = 0;
  int desktopWidth = 0;
  int desktopHeight = 0;
  int desktopRefreshRate = 60;
  std::vector<DisplayMode> modes{{640, 480, 8, 0},  {640, 480, 16, 0},  {640, 480, 32, 0},
                                 {800, 600, 8, 0},  {800, 600, 16, 0},  {800, 600, 32, 0},
                                 {1024, 768, 8, 0}, {1024, 768, 16, 0}, {1024, 768, 32, 0}};
  // Local video memory shared by all surfaces that live in it.
  uint64_t videoMemoryBytes = 64ull << 20;
  // While set, Restore of a lost surface fails with DDERR_WRONGMODE (another program
  // holds the screen).
  bool restoreFails = false;
  // False: WaitForVerticalBlank returns at once instead of waiting for the next refresh.
  bool waitForVerticalBlank = true;
  // The render scale k (1..4; 0: the host's, 1 without a host). The program still sees a
  // 640 x 480 display, but the primary surface, its back buffer, z-buffers and 3-D render
  // targets hold k x k pixels for each pixel of their description, and the desktop it sees
  // is the real one divided by k (at least 640 x 480).
  int renderScale = 0;
};

MachineConfig Machine();
void SetMachine(const MachineConfig& config);
// Back to the default machine, the desktop mode and no lost surfaces.
void ResetMachine();

// Every surface in video memory is lost from now on, until it is restored.
void LoseSurfaces();

// The display as it is now: the desktop's mode, or the mode a full-screen program set.
DisplayMode CurrentDisplayMode();
// Video memory in use by live surfaces.
uint64_t VideoMemoryUsed();
// The render scale surfaces made now get (see MachineConfig::renderScale).
int RenderScale();

// Surfaces drawn at the render scale, as the 3-D devices see them. A Lock of such a surface
// through its interface shows the program a picture of the size in its description (see
// Surface::Lock); the devices draw on the real pixels instead:
// Pixels of the surface per pixel of its description, in each direction (1 for a surface
// that is not scaled or not one of ours).
int RenderScaleOf(IDirectDrawSurface7* surface);
// Locks the whole surface's real pixels: width, height and pitch in the description are those
// of the fine grid. Released with Unlock, which then writes nothing back.
HRESULT LockRenderPixels(IDirectDrawSurface7* surface, DDSURFACEDESC2* desc);

// Pixels a device has still to write into a surface or to read from it (draws whose pixels its
// render threads finish later). Every access to the surface's pixels through its interface, and
// every GDI drawing on it, settles them first.
class PendingPixels {
 public:
  // Finishes the pending pixels and removes this from every surface it was added to.
  virtual void Settle() = 0;

 protected:
  ~PendingPixels() = default;
};
// Both do nothing for a surface that is not one of ours.
void AddPendingPixels(IDirectDrawSurface7* surface, PendingPixels* pending);
void RemovePendingPixels(IDirectDrawSurface7* surface, PendingPixels* pending);

// Where the primary surface is shown: the client area of the game window.
class IPresentTarget {
 public:
  virtual ~IPresentTarget() = default;
  // Screen position of the client area and its size.
  virtual void ClientRect(RECT& rect) = 0;
  // Exclusive full screen on or off (the host scales the picture to fit).
  virtual void SetFullscreen(bool fullscreen) = 0;
  // Rows of 0x00RRGGBB pixels, `pitch` pixels apart.
  virtual void Present(const uint32_t* pixels, int width, int height, int pitch) = 0;
  // A tightly packed picture the target may keep instead of copying; `pixels` may come back
  // holding anything.
  virtual void PresentOwned(std::vector<uint32_t>& pixels, int width, int height) {
    Present(pixels.data(), width, height, width);
  }
};

// Presents to a window of the host.
class HostWindowTarget final : public IPresentTarget {
 public:
  explicit HostWindowTarget(host::IWindow& window) : window_(window) {}
  void ClientRect(RECT& rect) override;
  void SetFullscreen(bool fullscreen) override;
  void Present(const uint32_t* pixels, int width, int height, int pitch) override;
  void PresentOwned(std::vector<uint32_t>& pixels, int width, int height) override;

 private:
  host::IWindow& window_;
};

// Ties a window handle to what shows it; the binding ends with Unbind (or a new Bind).
void BindWindow(HWND window, IPresentTarget* target);
void UnbindWindow(HWND window);

// Binds a window for the lifetime of this object.
class ScopedWindowBinding {
 public:
  ScopedWindowBinding(HWND window, IPresentTarget* target) : window_(window) { BindWindow(window, target); }
  ~ScopedWindowBinding() { UnbindWindow(window_); }
  ScopedWindowBinding(const ScopedWindowBinding&) = delete;
  ScopedWindowBinding& operator=(const ScopedWindowBinding&) = delete;

 private:
  HWND window_;
};

// QueryInterface(IID_IDirect3D7) on a DirectDraw object asks this factory (installed
// by the Direct3D stand-in); without one the answer is E_NOINTERFACE.
using Direct3DFactory = HRESULT (*)(IDirectDraw7* directDraw, void** direct3D);
void SetDirect3DFactory(Direct3DFactory factory);

}  // namespace ddraw
