#include "kiln/TKiln.h"

#include <cinttypes>
#include <cstddef>
#include <vector>

#include "platform/ddraw/DDrawMachine.h"
#include "platform/gdi/Gdi.h"
#include "platform/rtl/SysUtils.h"
#include "platform/win/WinUser.h"

using forms::TObject;

namespace {

// Palette entry flag of Direct3D: an entry the device may not change.
constexpr BYTE D3DPAL_READONLY = 0x40;

// A missing object stands for a call that could not be made.
constexpr HRESULT kNoObject = DDERR_INVALIDOBJECT;

struct DriverEntry {
  bool primary = false;
  GUID guid = GUID_NULL;
  std::string description;
  std::string name;
  std::string Text() const { return rtl::Format("%s (%s)", description.c_str(), name.c_str()); }
};

BOOL CollectDriver(GUID* guid, LPSTR description, LPSTR name, LPVOID context) {
  auto* list = static_cast<std::vector<DriverEntry>*>(context);
  DriverEntry e;
  e.primary = guid == nullptr;
  if (guid) e.guid = *guid;
  e.description = description ? description : "";
  e.name = name ? name : "";
  list->push_back(std::move(e));
  return TRUE;
}

std::vector<DriverEntry> EnumerateDrivers() {
  std::vector<DriverEntry> drivers;
  DirectDrawEnumerateA(CollectDriver, &drivers);
  return drivers;
}

IDirectDraw7* CreateDirectDraw(const DriverEntry* driver, HRESULT& hr) {
  void* object = nullptr;
  GUID guid = driver ? driver->guid : GUID_NULL;
  hr = DirectDrawCreateEx(driver && !driver->primary ? &guid : nullptr, &object, IID_IDirectDraw7, nullptr);
  return SUCCEEDED(hr) ? static_cast<IDirectDraw7*>(object) : nullptr;
}

// A release whose remaining reference count is reported like a failed call.
template <class T>
void ReleaseChecked(T*& object, const char* failure, const char* done) {
  const ULONG remaining = object->Release();
  object = nullptr;
  KilnCheck(static_cast<HRESULT>(remaining), failure);
  KilnDetailLog(done);
}

template <class T>
void ReleasePlain(T*& object, const char* done) {
  object->Release();
  object = nullptr;
  KilnDetailLog(done);
}

std::string Hex16(uint32_t value) { return rtl::Format("%.16X", static_cast<unsigned>(value)); }

struct DepthChoice {
  DWORD wanted = 0;
  bool found = false;
  DDPIXELFORMAT format{};
  const char* line = nullptr;
};

HRESULT ChooseDepthFormat(DDPIXELFORMAT* f, void* context) {
  auto* choice = static_cast<DepthChoice*>(context);
  if (f->dwFlags != choice->wanted) return D3DENUMRET_OK;
  choice->format = *f;
  choice->found = true;
  KilnDetailLog(rtl::Format(choice->line, static_cast<int>(f->dwZBufferBitDepth),
                            static_cast<int>(f->dwStencilBitDepth), static_cast<unsigned>(f->dwZBitMask),
                            static_cast<unsigned>(f->dwStencilBitMask), static_cast<unsigned>(f->dwRGBZBitMask)));
  return D3DENUMRET_CANCEL;
}

struct ModeTable {
  static constexpr std::size_t kSize = 256;
  std::vector<DDSURFACEDESC2> modes;
};

HRESULT StoreMode(LPDDSURFACEDESC2 mode, LPVOID context) {
  auto* table = static_cast<ModeTable*>(context);
  table->modes.push_back(*mode);
  return table->modes.size() >= ModeTable::kSize ? DDENUMRET_CANCEL : DDENUMRET_OK;
}

struct CascadeStep {
  const GUID* guid;
  TKilnDeviceKind kind;
  bool hardware;
  TD3DOptions skippedBy;  // 0: always tried
  const char* chosen;
  const char* noDepthBuffer;  // nullptr: the step fails silently
  const char* noDevice;
};

const CascadeStep kCascade[] = {
    {&IID_IDirect3DTnLHalDevice, TKilnDeviceKind::dkTnLHAL, true, DontUseTnLHAL, "T&L HALデバイスを使用します",
     "T&L HALデバイス用Zバッファが作れません", "T&L HALデバイスが作れません"},
    {&IID_IDirect3DHALDevice, TKilnDeviceKind::dkHAL, true, DontUseHAL, "HALデバイスを使用します",
     "HALデバイス用Zバッファが作れません", "HALデバイスが作れません"},
    {&IID_IDirect3DMMXDevice, TKilnDeviceKind::dkMMX, false, DontUseMMX, "MMXエミュレーションデバイスを使用します",
     nullptr, nullptr},
    {&IID_IDirect3DRGBDevice, TKilnDeviceKind::dkRGB, false, DontUseRGBEmulation,
     "RGBエミュレーションデバイスを使用します", nullptr, nullptr},
    {&IID_IDirect3DRampDevice, TKilnDeviceKind::dkRamp, false, 0, "Rampエミュレーションデバイスを使用します", nullptr,
     nullptr},
    {&IID_IDirect3DRefDevice, TKilnDeviceKind::dkReference, false, 0, "リファレンスラスタライザを使用します", nullptr,
     nullptr},
};

}  // namespace

// ---- Construction and destruction ------------------------------------------------

TKiln::TKiln() = default;

TKiln::TKiln(TKilnOwner& owner) : owner_(&owner) {
  // There is no design time here: the one-component-per-form rule is kept when the
  // component is made.
  for (TKiln* k : owner.Kilns)
    if (k) throw rtl::Exception(kKilnTwiceOnForm);
  BOOL active = FALSE;
  screenSaverWasActive_ = SystemParametersInfoA(SPI_GETSCREENSAVEACTIVE, 0, &active, 0) && active;
  DriverList = std::make_unique<rtl::TStringList>();
  FillDriverList();
  // Hooked last, so that a failure above leaves the form as it was.
  owner.Kilns.push_back(this);
  savedOnPaint_ = owner.OnPaint();
  owner.OnPaint() = [this](TObject* sender) { PaintHook(sender); };
  savedOnCreate_ = owner.OnCreate();
  owner.OnCreate() = [this](TObject* sender) { StartupHook(sender); };
}

TKiln::~TKiln() {
  destroying_ = true;
  if (!owner_) {
    Textures.DetachAll();
    return;
  }
  // A failed check (or a halt) while tearing down ends the tear-down; the program is
  // on its way out anyway.
  try {
    DriverList.reset();
    SetDisableScreenSaver(!screenSaverWasActive_);
    if (OnDestroy) OnDestroy(this);
    ReleaseAll();
  } catch (...) {
  }
  if (subclassed_) owner_->SetWindowProc(WindowHandle, previousWndProc_);
  UnhookOwner();
  Textures.DetachAll();
}

void TKiln::UnhookOwner() {
  // The form may outlive the component: its handlers must not lead here any more.
  owner_->OnPaint() = savedOnPaint_;
  owner_->OnCreate() = savedOnCreate_;
  for (auto it = owner_->Kilns.begin(); it != owner_->Kilns.end(); ++it) {
    if (*it == this) {
      owner_->Kilns.erase(it);
      break;
    }
  }
}

void TKiln::FillDriverList() {
  for (const DriverEntry& d : EnumerateDrivers()) {
    const std::string text = d.Text();
    DriverList->Add(text);
    KilnDetailLog("Enumerated DDraw Driver ... " + text);
  }
}

void TKiln::Loaded() {
  if (owner_) SetDisableScreenSaver(disableScreenSaver_);
  SetDebugOption(debugOption_);
}

void TKiln::SetDebugOption(TKilnDebugOption option) {
  debugOption_ = option;
  KilnDebugUnit().SetSwitches(option);
}

void TKiln::SetDisableScreenSaver(bool value) {
  disableScreenSaver_ = value;
  SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, value ? FALSE : TRUE, nullptr, 0);
}

// ---- Start-up ------------------------------------------------------------------------

void TKiln::StartupHook(TObject* Sender) {
  WindowHandle = owner_->Handle();
  if (AutoDisplayModeInitialize && !InitializeFullScreen && InitialBitDepth != 0 &&
      DesktopBitDepth() != InitialBitDepth) {
    const std::string text =
        rtl::Format("画面モードが不適切です。色数を %d ビットに設定して、起動しなおしてください。", InitialBitDepth);
    MessageBoxA(WindowHandle, text.c_str(), owner_->Caption().c_str(), MB_OK | MB_ICONEXCLAMATION);
    owner_->Terminate();
    return;
  }
  Initialize(false, 128, 128, DesktopBitDepth(), 0, "");
  if (AutoDisplayModeInitialize) {
    ScreenWidth = InitialScreenWidth;
    ScreenHeight = InitialScreenHeight;
    FullScreen = InitializeFullScreen;
    BitDepth = InitialBitDepth;
  }
  if (!notStarted_) return;
  notStarted_ = false;
  bool fNeedChange = true;
  if (AutoDisplayModeInitialize) {
    fNeedChange = false;
    if (FullScreen) fNeedChange = !FindDisplayMode(ScreenWidth, ScreenHeight, BitDepth, 0);
    if (!fNeedChange) Initialize(FullScreen, ScreenWidth, ScreenHeight, BitDepth, 0, "");
  }
  if (savedOnCreate_) savedOnCreate_(Sender);
  started_ = true;
  if (OnInit) OnInit(Sender, fNeedChange);
  if (!subclassed_) {
    previousWndProc_ = owner_->SetWindowProc(
        WindowHandle, [this](HWND w, UINT m, WPARAM wp, LPARAM lp) { return WindowProc(w, m, wp, lp); });
    subclassed_ = true;
  }
}

int TKiln::DesktopBitDepth() { return static_cast<int>(ddraw::CurrentDisplayMode().bitsPerPixel); }

void TKiln::SetFullScreenMode(int width, int height, int bitDepth, int refreshRate, const std::string& driverName) {
  Initialize(true, width, height, bitDepth, refreshRate, driverName);
}

// ---- Initialize ----------------------------------------------------------------------

void TKiln::Initialize(bool fullScreen, int width, int height, int bitDepth, int refreshRate,
                       const std::string& driverName) {
  KilnDetailLog(rtl::Format("スクリーンモード%d x %d x %d として初期化を開始します", width, height, bitDepth));
  if (fullScreen && owner_) owner_->Show();
  busy_ = true;
  ReleaseAll();

  if (owner_) {
    const HWND window = owner_->Handle();
    if (window != WindowHandle) {
      // The window was made anew: the component's procedure goes in front of it again.
      WindowHandle = window;
      if (subclassed_)
        previousWndProc_ = owner_->SetWindowProc(
            window, [this](HWND w, UINT m, WPARAM wp, LPARAM lp) { return WindowProc(w, m, wp, lp); });
    }
  }

  if (fullScreen) {
    KilnDetailLog("フルスクリーンで初期化を開始します");
    if (!driverName.empty()) {
      KilnDetailLog("指定されたドライバ " + driverName + " を使用します");
      if (!CreateDriverByName(driverName)) {
        KilnDetailLog("指定されたドライバが見つからなかったので、デフォルトのドライバを使用します");
        CreateDefaultDriver();
      }
    } else {
      KilnDetailLog("デフォルトのドライバを使用します");
      if (!(Use3D && TestSecondaryDrivers())) CreateDefaultDriver();
    }
  } else {
    KilnDetailLog("ウィンドウモードで初期化を開始します");
    CreateDefaultDriver();
  }

  DDCAPS caps{};
  caps.dwSize = sizeof caps;
  DDCAPS emulation{};
  emulation.dwSize = sizeof emulation;
  if (DirectDraw) DirectDraw->GetCaps(&caps, &emulation);
  KilnDetailLog("Caps:" + Hex16(caps.dwCaps));

  IDirectDrawSurface7* primary = nullptr;
  IDirectDrawSurface7* back = nullptr;
  if (fullScreen)
    CreateFullScreenSurfaces(width, height, bitDepth, refreshRate, caps, primary, back);
  else
    CreateWindowedSurfaces(width, height, caps, primary, back);

  BitDepth = DesktopBitDepth();
  FullScreen = fullScreen;
  RefreshRate = refreshRate;
  ScreenWidth = width;
  ScreenHeight = height;
  PrimarySurface = std::make_unique<TKilnGenSurface>(this, width, height, primary);
  BackBuffer = std::make_unique<TKilnGenSurface>(this, width, height, back);

  if (Palette) Palette->Release();
  Palette = nullptr;
  FillPalette();
  if (BitDepth == 8) {
    IDirectDrawPalette* palette = nullptr;
    HRESULT hr =
        DirectDraw ? DirectDraw->CreatePalette(DDPCAPS_8BIT, PaletteEntries.data(), &palette, nullptr) : kNoObject;
    KilnCheck(hr, "DirectDrawPaletteの作成に失敗しました");
    Palette = SUCCEEDED(hr) ? palette : nullptr;
    KilnCheck(primary && Palette ? primary->SetPalette(Palette) : kNoObject,
              "DirectDrawPaletteのFrontBufferへの割り当てに失敗しました");
    KilnCheck(back && Palette ? back->SetPalette(Palette) : kNoObject,
              "DirectDrawPaletteのBackBufferへの割り当てに失敗しました");
  }

  if (Use3D) Create3DObjects(width, height);

  busy_ = false;
  if (!notStarted_ && started_) {
    Textures.RebuildAll();
    if (OnChangeDisplayMode) OnChangeDisplayMode(this);
  }
}

bool TKiln::CreateDefaultDriver() {
  HRESULT hr;
  DirectDraw = CreateDirectDraw(nullptr, hr);
  KilnCheck(hr, "DirectDrawオブジェクトが作成できません");
  if (!DirectDraw) return false;
  KilnDetailLog("DirectDrawオブジェクトを作成しました");
  return true;
}

bool TKiln::CreateDriverByName(const std::string& driverName) {
  for (const DriverEntry& d : EnumerateDrivers()) {
    const std::string text = d.Text();
    if (text != driverName) continue;
    HRESULT hr;
    IDirectDraw7* object = CreateDirectDraw(&d, hr);
    if (!object) continue;
    DirectDraw = object;
    KilnDetailLog("DirectDrawオブジェクトを作成しました");
    KilnDetailLog(rtl::Format("Created DDraw Driver ... %s %.16" PRIXPTR, text.c_str(),
                              reinterpret_cast<std::uintptr_t>(object)));
    return true;
  }
  return false;
}

bool TKiln::TestSecondaryDrivers() {
  for (const DriverEntry& d : EnumerateDrivers()) {
    if (d.primary) continue;
    KilnDetailLog("Enumerated DDraw Driver ... " + d.description);
    HRESULT hr;
    IDirectDraw7* object = CreateDirectDraw(&d, hr);
    KilnCheck(hr, "DirectDrawオブジェクトの作成に失敗しました");
    if (!object) continue;
    KilnDetailLog("DirectDrawオブジェクトをテスト作成しました");
    DDCAPS caps{};
    caps.dwSize = sizeof caps;
    object->GetCaps(&caps, nullptr);
    if ((caps.dwCaps & DDCAPS_3D) && (caps.ddsCaps.dwCaps & DDSCAPS_TEXTURE)) {
      KilnDetailLog("テスト作成されたDirectDrawオブジェクトを採用します");
      DirectDraw = object;
      return true;
    }
    object->Release();
    KilnDetailLog("テスト用DirectDrawオブジェクトを解放しました");
  }
  return false;
}

void TKiln::CreateFullScreenSurfaces(int width, int height, int bitDepth, int refreshRate, const DDCAPS& caps,
                                     IDirectDrawSurface7*& primary, IDirectDrawSurface7*& back) {
  if (owner_) owner_->SetBounds(0, 0, width, height);
  KilnCheck(DirectDraw ? DirectDraw->SetCooperativeLevel(
                             WindowHandle, DDSCL_FULLSCREEN | DDSCL_ALLOWREBOOT | DDSCL_EXCLUSIVE | DDSCL_ALLOWMODEX)
                       : kNoObject,
            "協調レベルの設定に失敗しました");
  KilnCheck(DirectDraw ? DirectDraw->SetDisplayMode(static_cast<DWORD>(width), static_cast<DWORD>(height),
                                                    static_cast<DWORD>(bitDepth), static_cast<DWORD>(refreshRate), 0)
                       : kNoObject,
            rtl::Format("画面モード%dx%dx%dの初期化に失敗しました", width, height, bitDepth));
  Hardware3DCapable = (caps.dwCaps & DDCAPS_3D) != 0 && DesktopBitDepth() >= 9;

  DDSURFACEDESC2 desc{};
  desc.dwSize = sizeof desc;
  desc.dwFlags = DDSD_CAPS | DDSD_BACKBUFFERCOUNT;
  desc.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX | (Use3D ? DDSCAPS_3DDEVICE : 0);
  desc.dwBackBufferCount = 1;
  HRESULT hr = DirectDraw ? DirectDraw->CreateSurface(&desc, &primary, nullptr) : kNoObject;
  KilnCheck(hr, "プライマリ・サーフェスの作成に失敗しました");
  if (FAILED(hr)) primary = nullptr;
  DDSCAPS2 backCaps{};
  backCaps.dwCaps = DDSCAPS_BACKBUFFER;
  hr = primary ? primary->GetAttachedSurface(&backCaps, &back) : kNoObject;
  KilnCheck(hr, "バックバッファの作成に失敗しました");
  if (FAILED(hr)) back = nullptr;

  if (owner_) {
    owner_->SetBounds(owner_->Left(), owner_->Top(), owner_->ScreenWidth(), owner_->ScreenHeight());
    owner_->BringWindowToTop(WindowHandle);
  }
  CreateClipper(primary);
}

DWORD TKiln::WindowedBackBufferCaps() const {
  DWORD caps = DDSCAPS_OFFSCREENPLAIN;
  if (!Use3D) {
    const bool system =
        BackBufferLocationAtWindowed == bmtCompatible || BackBufferLocationAtWindowed == bmtSystemMemory;
    return caps | (system ? DDSCAPS_SYSTEMMEMORY : DDSCAPS_VIDEOMEMORY);
  }
  caps |= DDSCAPS_3DDEVICE;
  switch (BackBufferLocationAtWindowed) {
    case bmtSystemMemory:
      return caps | DDSCAPS_SYSTEMMEMORY;
    case bmtVideoMemory:
      return caps | DDSCAPS_VIDEOMEMORY;
    case bmtDefault:
    case bmtCompatible:
      break;
  }
  const bool softwareOnly = ((D3DOptions & DontUseTnLHAL) && (D3DOptions & DontUseHAL)) || !Hardware3DCapable;
  return caps | (softwareOnly ? DDSCAPS_SYSTEMMEMORY : DDSCAPS_VIDEOMEMORY);
}

void TKiln::CreateWindowedSurfaces(int width, int height, const DDCAPS& caps, IDirectDrawSurface7*& primary,
                                   IDirectDrawSurface7*& back) {
  KilnCheck(DirectDraw ? DirectDraw->SetCooperativeLevel(WindowHandle, DDSCL_NORMAL) : kNoObject,
            "協調レベルの設定に失敗しました");
  Hardware3DCapable = (caps.dwCaps & DDCAPS_3D) != 0 && DesktopBitDepth() >= 9;

  DDSURFACEDESC2 desc{};
  desc.dwSize = sizeof desc;
  desc.dwFlags = DDSD_CAPS;
  desc.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE;
  HRESULT hr = DirectDraw ? DirectDraw->CreateSurface(&desc, &primary, nullptr) : kNoObject;
  KilnCheck(hr, "プライマリ・サーフェスの作成に失敗しました");
  if (FAILED(hr)) primary = nullptr;

  DDSURFACEDESC2 backDesc{};
  backDesc.dwSize = sizeof backDesc;
  backDesc.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT;
  backDesc.dwWidth = static_cast<DWORD>(width);
  backDesc.dwHeight = static_cast<DWORD>(height);
  backDesc.ddsCaps.dwCaps = WindowedBackBufferCaps();
  hr = DirectDraw ? DirectDraw->CreateSurface(&backDesc, &back, nullptr) : kNoObject;
  if (FAILED(hr)) {
    backDesc.ddsCaps.dwCaps &= ~DDSCAPS_VIDEOMEMORY;
    hr = DirectDraw ? DirectDraw->CreateSurface(&backDesc, &back, nullptr) : kNoObject;
  }
  KilnCheck(hr, "バックバッファの作成に失敗しました");
  if (FAILED(hr)) back = nullptr;
  if (backDesc.ddsCaps.dwCaps & DDSCAPS_VIDEOMEMORY)
    KilnDetailLog("バックバッファをビデオメモリに配置します");
  else if (backDesc.ddsCaps.dwCaps & DDSCAPS_SYSTEMMEMORY)
    KilnDetailLog("バックバッファをシステムメモリに配置します");
  else
    KilnDetailLog("バックバッファをドライバのデフォルトの位置(おそらくビデオメモリ)に配置します");

  CreateClipper(primary);
}

void TKiln::CreateClipper(IDirectDrawSurface7* primary) {
  IDirectDrawClipper* clipper = nullptr;
  const HRESULT hr = DirectDraw ? DirectDraw->CreateClipper(0, &clipper, nullptr) : kNoObject;
  KilnCheck(hr, "Clipperオブジェクトの作成に失敗しました");
  Clipper = SUCCEEDED(hr) ? clipper : nullptr;
  KilnCheck(Clipper ? Clipper->SetHWnd(0, WindowHandle) : kNoObject, "Clipperのフォームへの割り当てに失敗しました");
  KilnCheck(primary && Clipper ? primary->SetClipper(Clipper) : kNoObject,
            "Clipperのプライマリサーフェスへの割り当てに失敗しました");
}

void TKiln::FillPalette() {
  if (!Use3D) {
    for (PALETTEENTRY& e : PaletteEntries) e.peFlags = PC_NOCOLLAPSE;
    return;
  }
  if (FullScreen) {
    // A 3-3-2 colour cube the device may not touch.
    for (int i = 0; i < 256; ++i) {
      PALETTEENTRY& e = PaletteEntries[static_cast<std::size_t>(i)];
      e.peRed = static_cast<BYTE>(((i >> 5) & 7) * 255 / 7);
      e.peGreen = static_cast<BYTE>(((i >> 2) & 7) * 255 / 7);
      e.peBlue = static_cast<BYTE>((i & 3) * 255 / 3);
      e.peFlags = D3DPAL_READONLY;
    }
    return;
  }
  // Windowed: the system palette, its twenty static colours kept as they are.
  HDC screen = CreateDCA("DISPLAY", nullptr, nullptr, nullptr);
  if (screen) {
    GetSystemPaletteEntries(screen, 0, 256, PaletteEntries.data());
    DeleteDC(screen);
  }
  for (int i = 0; i < 256; ++i)
    PaletteEntries[static_cast<std::size_t>(i)].peFlags = (i < 10 || i > 245) ? D3DPAL_READONLY : PC_RESERVED;
}

void TKiln::Create3DObjects(int width, int height) {
  void* direct3D = nullptr;
  HRESULT hr = DirectDraw ? DirectDraw->QueryInterface(IID_IDirect3D7, &direct3D) : kNoObject;
  KilnCheck(hr, "Direct3Dオブジェクトの作成に失敗しました");
  Direct3D = SUCCEEDED(hr) ? static_cast<IDirect3D7*>(direct3D) : nullptr;

  if (!D3DRM) {
    IDirect3DRM* first = nullptr;
    hr = Direct3DRMCreate(&first);
    KilnCheck(hr, "Direct3DRMオブジェクトの作成に失敗しました");
    if (SUCCEEDED(hr) && first) {
      void* third = nullptr;
      hr = first->QueryInterface(IID_IDirect3DRM3, &third);
      KilnCheck(hr, "Direct3DRM3オブジェクトの作成に失敗しました");
      D3DRM = SUCCEEDED(hr) ? static_cast<IDirect3DRM3*>(third) : nullptr;
      first->Release();
    }
  }

  HardwareAccelerated = false;
  const GUID* chosen = ChooseDevice();
  // Without any device there is no device kind to build the retained-mode device on.
  if (!FullScreen && DeviceKind != TKilnDeviceKind::dkTnLHAL && chosen && D3DRM) {
    GUID guid = *chosen;
    IDirect3DRMDevice3* device = nullptr;
    hr = D3DRM->CreateDeviceFromClipper(Clipper, &guid, width, height, &device);
    KilnCheck(hr, "Diret3DRMデバイスの作成に失敗しました");
    RMDevice = SUCCEEDED(hr) ? device : nullptr;
  }
  KilnDetailLog(HardwareAccelerated ? "ハードウェアアクセラレーション可" : "ハードウェアアクセラレーション不可");
}

const GUID* TKiln::ChooseDevice() {
  for (const CascadeStep& step : kCascade) {
    if (step.skippedBy & D3DOptions) continue;
    if (step.hardware && !Hardware3DCapable) continue;
    if (!BuildDepthBuffer(*step.guid, step.hardware)) {
      if (step.noDepthBuffer) KilnDetailLog(step.noDepthBuffer);
      continue;
    }
    IDirect3DDevice7* device = nullptr;
    const HRESULT hr = Direct3D && BackBuffer && BackBuffer->Surface
                           ? Direct3D->CreateDevice(*step.guid, BackBuffer->Surface, &device)
                           : kNoObject;
    if (SUCCEEDED(hr) && device) {
      D3DDevice = device;
      DeviceKind = step.kind;
      if (step.hardware) HardwareAccelerated = true;
      KilnDetailLog(step.chosen);
      return step.guid;
    }
    if (step.noDevice) KilnDetailLog(step.noDevice + Hex16(static_cast<uint32_t>(hr)));
  }
  // Every kind failed: no device exists; the kind reads as the last one tried, a
  // software one, so that nothing asks the missing device for hardware placement.
  DeviceKind = TKilnDeviceKind::dkReference;
  return nullptr;
}

bool TKiln::BuildDepthBuffer(const GUID& deviceGuid, bool hardware) {
  IDirectDrawSurface7* backSurface = BackBuffer ? BackBuffer->Surface : nullptr;
  if (ZBuffer) {
    IDirectDrawSurface7* old = ZBuffer->Surface;
    ZBuffer.reset();
    if (old) {
      if (backSurface) backSurface->DeleteAttachedSurface(0, old);
      old->Release();
    }
  }
  DDSCAPS2 backCaps{};
  if (backSurface) backSurface->GetCaps(&backCaps);

  DDSURFACEDESC2 desc{};
  desc.dwSize = sizeof desc;
  desc.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT;
  desc.dwWidth = static_cast<DWORD>(ScreenWidth);
  desc.dwHeight = static_cast<DWORD>(ScreenHeight);
  desc.ddsCaps.dwCaps = hardware ? DDSCAPS_ZBUFFER : DDSCAPS_ZBUFFER | DDSCAPS_SYSTEMMEMORY;

  const bool stencil = (D3DOptions & MakeStencilBuffer) != 0;
  if (!stencil && !(D3DOptions & MakeZBuffer)) return true;
  DepthChoice choice;
  choice.wanted = stencil ? DDPF_ZBUFFER | DDPF_STENCILBUFFER : DDPF_ZBUFFER;
  choice.line = stencil ? "列挙されたステンシルバッファのフォーマット...ZDepth=%d SDepth=%d Mask=(Z:%.8x S:%.8x L:%.8x)"
                        : "列挙されたZバッファのフォーマット...ZDepth=%d SDepth=%d Mask=(Z:%.8x S:%.8x L:%.8x)";
  if (Direct3D) Direct3D->EnumZBufferFormats(deviceGuid, ChooseDepthFormat, &choice);
  desc.ddpfPixelFormat = choice.format;

  IDirectDrawSurface7* depth = nullptr;
  HRESULT hr = DirectDraw ? DirectDraw->CreateSurface(&desc, &depth, nullptr) : kNoObject;
  if (FAILED(hr) || !depth) {
    KilnDetailLog(stencil ? "ステンシルバッファの作成に失敗しました" : "Zバッファの作成に失敗しました");
    return false;
  }
  hr = backSurface ? backSurface->AddAttachedSurface(depth) : kNoObject;
  if (FAILED(hr)) {
    depth->Release();  // nothing holds it
    KilnDetailLog(stencil ? "ステンシルバッファのアタッチに失敗しました" : "Zバッファのアタッチに失敗しました");
    return false;
  }
  ZBuffer = std::make_unique<TKilnGenSurface>(this, ScreenWidth, ScreenHeight, depth);
  KilnDetailLog(stencil ? "ステンシルバッファを作成しました" : "Zバッファを作成しました");
  return true;
}

bool TKiln::FindDisplayMode(int width, int height, int bitDepth, int refreshRate) {
  if (!DirectDraw) return false;
  ModeTable table;
  table.modes.reserve(ModeTable::kSize);
  DDSURFACEDESC2 filter{};
  filter.dwSize = sizeof filter;
  DirectDraw->EnumDisplayModes(0, &filter, &table, StoreMode);
  auto fits = [](int wanted, DWORD value) { return wanted == 0 || static_cast<DWORD>(wanted) == value; };
  for (const DDSURFACEDESC2& m : table.modes) {
    if (fits(width, m.dwWidth) && fits(height, m.dwHeight) && fits(bitDepth, m.ddpfPixelFormat.dwRGBBitCount) &&
        fits(refreshRate, m.dwRefreshRate))
      return true;
  }
  return false;
}

// ---- ReleaseAll --------------------------------------------------------------------

void TKiln::ReleaseSurfaceWrapper(std::unique_ptr<TKilnGenSurface>& wrapper, const char* line) {
  IDirectDrawSurface7* surface = wrapper->Surface;
  wrapper.reset();
  if (surface) surface->Release();
  KilnDetailLog(line);
}

void TKiln::ReleaseAll() {
  busy_ = true;
  // Before the start-up has run there is nothing to release; a set-up made by hand before
  // the start-up (or one a halt interrupted) is still let go of rather than lost.
  if (notStarted_ && !DirectDraw && !D3DRM) return;
  KilnDetailLog("…DirectDraw/3D関連オブジェクトを全て解放します…");
  if (started_) {
    Textures.ReleaseAll();
    KilnDetailLog("オフスクリーンサーフェスを全て解放しました");
    if (OnCleanUp) OnCleanUp(this);
  }
  if (RMDevice) ReleaseChecked(RMDevice, "Direct3DRMDeviceの解放に失敗しました", "Direct3DRMDeviceを解放しました");
  if (D3DDevice) ReleaseChecked(D3DDevice, "Direct3DDeviceの解放に失敗しました", "Direct3DDeviceを解放しました");
  if (Palette) ReleasePlain(Palette, "パレットを解放しました");
  if (destroying_ && D3DRM) ReleaseChecked(D3DRM, "Direct3DRM3の解放に失敗しました", "Direct3DRM3を解放しました");
  if (ZBuffer) ReleaseSurfaceWrapper(ZBuffer, "Zバッファを解放しました");
  if (Direct3D) ReleasePlain(Direct3D, "Direct3Dを解放しました");
  if (Clipper) ReleasePlain(Clipper, "クリッパーを解放しました");
  if (BackBuffer) ReleaseSurfaceWrapper(BackBuffer, "バックバッファを解放しました");
  if (PrimarySurface) ReleaseSurfaceWrapper(PrimarySurface, "プライマリサーフェスを解放しました");
  if (DirectDraw && FullScreen) DirectDraw->RestoreDisplayMode();
  if (DirectDraw) ReleaseChecked(DirectDraw, "DirectDrawの解放に失敗しました", "DirectDrawを解放しました");
  KilnDetailLog("…DirectDraw/3D関連オブジェクト、解放終了しました…");
}

// ---- Presentation, restore and window messages ----------------------------------

void TKiln::Flip() {
  IDirectDrawSurface7* front = PrimarySurface ? PrimarySurface->Surface : nullptr;
  IDirectDrawSurface7* back = BackBuffer ? BackBuffer->Surface : nullptr;
  if (FullScreen && front && SUCCEEDED(front->Flip(nullptr, DDFLIP_WAIT))) return;
  if (!front || !back) return;
  RECT source{0, 0, static_cast<LONG>(BackBuffer->Desc.dwWidth), static_cast<LONG>(BackBuffer->Desc.dwHeight)};
  RECT dest = source;
  if (owner_) {
    dest = owner_->ClientRect();
    const POINT origin = owner_->ClientToScreen(POINT{0, 0});
    dest.left += origin.x;
    dest.right += origin.x;
    dest.top += origin.y;
    dest.bottom += origin.y;
  }
  if (VsyncAtWindowed && DirectDraw) DirectDraw->WaitForVerticalBlank(DDWAITVB_BLOCKBEGIN, nullptr);
  DDBLTFX fx{};
  fx.dwSize = sizeof fx;
  front->Blt(&dest, back, &source, DDBLT_WAIT, &fx);
}

void TKiln::PaintHook(TObject* Sender) {
  if (!owner_ || !owner_->Active()) return;
  if (savedOnPaint_) savedOnPaint_(Sender);
  if (busy_) return;
  RestoreSurfaces();
  UpdatePalette();
  if (OnRestore) OnRestore(this);
}

void TKiln::RestoreSurfaces() {
  auto restore = [](TKilnGenSurface* s) {
    if (s && s->Surface && s->Surface->IsLost() != DD_OK) s->Surface->Restore();
  };
  restore(PrimarySurface.get());
  // In full screen the back buffer belongs to the primary's flip chain and comes back with it.
  if (!FullScreen) restore(BackBuffer.get());
  if (Use3D) restore(ZBuffer.get());
  Textures.RestoreAll();
}

void TKiln::UpdatePalette() {
  if (BitDepth != 8) return;
  if (FullScreen) {
    if (Palette) KilnCheck(Palette->SetEntries(0, 0, 256, PaletteEntries.data()), "パレットが更新できませんでした");
    return;
  }
  // Windowed: reset the system palette with an all-black one, then realise ours over
  // the 236 entries that are not the static colours.
  std::vector<std::byte> storage(offsetof(LOGPALETTE, palPalEntry) + 256 * sizeof(PALETTEENTRY));
  auto* logical = reinterpret_cast<LOGPALETTE*>(storage.data());
  auto* entries = reinterpret_cast<PALETTEENTRY*>(storage.data() + offsetof(LOGPALETTE, palPalEntry));
  logical->palVersion = 0x300;
  logical->palNumEntries = 256;
  for (int i = 0; i < 256; ++i) entries[i] = PALETTEENTRY{0, 0, 0, PC_NOCOLLAPSE};
  HDC screen = CreateDCA("DISPLAY", nullptr, nullptr, nullptr);
  if (!screen) return;
  if (HPALETTE black = CreatePalette(logical)) {
    HPALETTE previous = SelectPalette(screen, black, FALSE);
    RealizePalette(screen);
    if (previous) SelectPalette(screen, previous, FALSE);
    GetSystemPaletteEntries(screen, 0, 256, entries);
    DeleteDC(screen);
    DeleteObject(black);
  } else {
    DeleteDC(screen);
    return;
  }
  for (int i = 10; i <= 245; ++i) entries[i] = PaletteEntries[static_cast<std::size_t>(i)];
  // The window's device context: on this host the window draws on the display context.
  HDC windowDC = CreateDCA("DISPLAY", nullptr, nullptr, nullptr);
  if (!windowDC) return;
  if (HPALETTE ours = CreatePalette(logical)) {
    SelectPalette(windowDC, ours, FALSE);
    RealizePalette(windowDC);
    DeleteDC(windowDC);
    DeleteObject(ours);
  } else {
    DeleteDC(windowDC);
  }
}

LRESULT TKiln::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_MOVE:
      if (FullScreen && owner_ && (GET_X_LPARAM(lParam) != 0 || GET_Y_LPARAM(lParam) != 0))
        owner_->SetBounds(0, 0, owner_->Width(), owner_->Height());
      break;
    case WM_SIZE:
      if (FullScreen && owner_ && owner_->WindowState() == TWindowState::wsMaximized) {
        owner_->SetWindowState(TWindowState::wsNormal);
        owner_->SetBounds(owner_->Left(), owner_->Top(), owner_->ScreenWidth(), owner_->ScreenHeight());
      }
      break;
    case WM_GETMINMAXINFO:
      if (FullScreen && owner_ && lParam) {
        auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
        const POINT screen{owner_->ScreenWidth(), owner_->ScreenHeight()};
        info->ptMaxSize = screen;
        info->ptMinTrackSize = screen;
        info->ptMaxTrackSize = screen;
        info->ptMaxPosition = POINT{0, 0};
      }
      break;
    case WM_ENTERMENULOOP:
      if (FullScreen && owner_) owner_->SetBounds(0, 0, owner_->ScreenWidth(), owner_->ScreenHeight());
      if (DirectDraw) DirectDraw->FlipToGDISurface();
      if (owner_) {
        owner_->DrawMenuBar(window);
        owner_->RedrawWindow(window, RDW_FRAME);
      }
      if (OnEnterMenuLoop) OnEnterMenuLoop(this);
      break;
    case WM_EXITMENULOOP:
      if (OnExitMenuLoop) OnExitMenuLoop(this);
      break;
    case WM_QUERYNEWPALETTE:
      UpdatePalette();
      break;
    default:
      break;
  }
  return previousWndProc_ ? previousWndProc_(window, message, wParam, lParam) : 0;
}
