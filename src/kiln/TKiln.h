// The display component: owns DirectDraw, the surfaces, Direct3D and the device.
// The scene library and the game read its public objects and call the platform directly.
//
// It sits on a form (TKilnOwner): it takes over the form's creation and paint
// handlers and puts its own window procedure in front of the form's, so that the
// whole set-up is made while the form is being created and lost surfaces come back
// when the form is painted.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "kiln/KilnLog.h"
#include "kiln/TKilnDeviceKind.h"
#include "kiln/TKilnGenSurface.h"
#include "kiln/TKilnOwner.h"
#include "kiln/TKilnTexture.h"
#include "platform/d3d/D3D7.h"
#include "platform/d3d/D3DRM.h"
#include "platform/ddraw/DDraw.h"
#include "platform/forms/Forms.h"
#include "platform/rtl/StringList.h"

// The device preferences of D3DOptions.
enum TD3DOption : uint32_t {
  DontUseTnLHAL = 1u << 0,
  DontUseHAL = 1u << 1,
  DontUseMMX = 1u << 2,
  DontUseRGBEmulation = 1u << 3,
  MakeZBuffer = 1u << 4,
  MakeStencilBuffer = 1u << 5,
};
using TD3DOptions = uint32_t;

enum TKilnSurfaceMemoryType { smtDefault, smtCompatible, smtSystemMemory, smtVideoMemory, smtNonLocalVideoMemory };
enum TKilnBackBufferMemoryType { bmtDefault, bmtCompatible, bmtSystemMemory, bmtVideoMemory };

using TKilnInitEvent = std::function<void(forms::TObject* Sender, bool fNeedChange)>;

// Raised when a second display component is placed on a form.
inline constexpr char kKilnTwiceOnForm[] = "KILNコンポーネントを、同一フォームに2つ以上貼る事はできません";

class TKiln : public forms::TComponent {
 public:
  // A component on no form: nothing is hooked, nothing is created, and its destruction
  // releases nothing. Whoever uses it fills in the public objects (the scene library's
  // tests put recording devices there).
  TKiln();
  // The component on a form: reads the drivers and the screen saver's state and takes
  // over the form's creation and paint handlers. A second component on the same form
  // raises rtl::Exception with kKilnTwiceOnForm.
  explicit TKiln(TKilnOwner& owner);
  ~TKiln() override;
  TKiln(const TKiln&) = delete;
  TKiln& operator=(const TKiln&) = delete;

  // ---- Published properties ----
  TKilnDebugOption DebugOption() const { return debugOption_; }
  // Takes effect at once: sets the display unit's log switches.
  void SetDebugOption(TKilnDebugOption option);
  int InitialScreenWidth = 640;
  int InitialScreenHeight = 480;
  int InitialBitDepth = 0;
  bool InitializeFullScreen = false;
  DWORD BackColor = 0;
  bool AutoDisplayModeInitialize = true;
  bool DisableScreenSaver() const { return disableScreenSaver_; }
  // Switches the system screen saver off (true) or on (false) at once.
  void SetDisableScreenSaver(bool value);
  bool Use3D = false;
  TD3DOptions D3DOptions = MakeZBuffer;
  bool VsyncAtWindowed = true;
  TKilnSurfaceMemoryType SurfaceLocation = smtDefault;
  TKilnBackBufferMemoryType BackBufferLocationAtWindowed = bmtDefault;

  // ---- Published events ----
  TKilnInitEvent OnInit;
  forms::TNotifyEvent OnRestore;
  forms::TNotifyEvent OnChangeDisplayMode;
  forms::TNotifyEvent OnCleanUp;
  forms::TNotifyEvent OnEnterMenuLoop;
  forms::TNotifyEvent OnExitMenuLoop;
  forms::TNotifyEvent OnDestroy;

  // ---- Run-time state ----
  IDirectDraw7* DirectDraw = nullptr;
  IDirect3D7* Direct3D = nullptr;
  IDirect3DDevice7* D3DDevice = nullptr;
  IDirect3DRM3* D3DRM = nullptr;
  IDirect3DRMDevice3* RMDevice = nullptr;
  IDirectDrawClipper* Clipper = nullptr;
  IDirectDrawPalette* Palette = nullptr;
  std::unique_ptr<TKilnGenSurface> PrimarySurface;
  std::unique_ptr<TKilnGenSurface> BackBuffer;
  std::unique_ptr<TKilnGenSurface> ZBuffer;
  // "description (name)" of every display driver, read at construction.
  std::unique_ptr<rtl::TStringList> DriverList;
  TKilnDeviceKind DeviceKind = TKilnDeviceKind::dkRGB;
  bool HardwareAccelerated = false;
  bool Hardware3DCapable = false;
  bool FullScreen = false;
  int ScreenWidth = 0;
  int ScreenHeight = 0;
  int BitDepth = 0;
  int RefreshRate = 0;
  std::array<PALETTEENTRY, 256> PaletteEntries{};
  HWND WindowHandle = nullptr;
  // Every texture of this component, in creation order.
  TKilnTextureRegistry Textures;

  // After the form's settings were made: applies DisableScreenSaver and DebugOption.
  void Loaded();

  // Tears down and rebuilds the whole set-up. BitDepth, RefreshRate and DriverName
  // (an entry of DriverList, empty for the default driver) count in full screen only.
  void Initialize(bool fullScreen, int width, int height, int bitDepth, int refreshRate, const std::string& driverName);
  void SetFullScreenMode(int width, int height, int bitDepth, int refreshRate, const std::string& driverName);
  void ReleaseAll();
  bool FindDisplayMode(int width, int height, int bitDepth, int refreshRate);
  // Bits per pixel of the display as it is now.
  int DesktopBitDepth();
  bool BuildDepthBuffer(const GUID& deviceGuid, bool hardware);

  // Presents the back buffer: a flip in full screen, else (or when the flip fails)
  // a copy into the form's client area.
  void Flip();
  void RestoreSurfaces();
  void UpdatePalette();

  // The hooks on the form (installed at construction and at the end of the start-up).
  void StartupHook(forms::TObject* Sender);
  void PaintHook(forms::TObject* Sender);
  LRESULT WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  bool NotStarted() const { return notStarted_; }
  bool Started() const { return started_; }
  bool Busy() const { return busy_; }
  bool Destroying() const { return destroying_; }

 private:
  void FillDriverList();
  // DirectDrawCreateEx on the default driver; true when an object was made.
  bool CreateDefaultDriver();
  bool CreateDriverByName(const std::string& driverName);
  bool TestSecondaryDrivers();
  void CreateFullScreenSurfaces(int width, int height, int bitDepth, int refreshRate, const DDCAPS& caps,
                                IDirectDrawSurface7*& primary, IDirectDrawSurface7*& back);
  void CreateWindowedSurfaces(int width, int height, const DDCAPS& caps, IDirectDrawSurface7*& primary,
                              IDirectDrawSurface7*& back);
  void CreateClipper(IDirectDrawSurface7* primary);
  DWORD WindowedBackBufferCaps() const;
  void FillPalette();
  void Create3DObjects(int width, int height);
  // The device cascade; the GUID of the device that was made, or nullptr.
  const GUID* ChooseDevice();
  void ReleaseSurfaceWrapper(std::unique_ptr<TKilnGenSurface>& wrapper, const char* line);
  void UnhookOwner();

  TKilnOwner* owner_ = nullptr;
  forms::TNotifyEvent savedOnCreate_;
  forms::TNotifyEvent savedOnPaint_;
  TKilnWndProc previousWndProc_;
  bool subclassed_ = false;
  bool screenSaverWasActive_ = false;

  TKilnDebugOption debugOption_ = ddoHaltOnError;
  bool disableScreenSaver_ = true;
  bool notStarted_ = true;
  bool destroying_ = false;
  bool started_ = false;
  bool busy_ = false;
};
