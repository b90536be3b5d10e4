#include "platform/dinput/DInput.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>

#include "platform/host/Host.h"
#include "platform/win/ComRef.h"
#include "platform/win/Gaps.h"
#include "platform/win/WinWindows.h"

// ---- the three predefined data formats ------------------------------------------------

namespace {

// IUnknown's interface id (kept private: the other stand-ins' headers publish it too).

constexpr DWORD kAnyAxis = DIDFT_AXIS | DIDFT_ANYINSTANCE;
constexpr DWORD kAnyButton = DIDFT_BUTTON | DIDFT_ANYINSTANCE;
constexpr DWORD kAnyPov = DIDFT_POV | DIDFT_ANYINSTANCE;

constexpr std::array<DIOBJECTDATAFORMAT, 256> MakeKeyboardObjects() {
  std::array<DIOBJECTDATAFORMAT, 256> objects{};
  for (DWORD i = 0; i < 256; ++i) {
    objects[i] = {&GUID_Key, i, DIDFT_BUTTON | DIDFT_OPTIONAL | DIDFT_MAKEINSTANCE(i), 0};
  }
  return objects;
}

constexpr std::array<DIOBJECTDATAFORMAT, 7> kMouseObjects = {{
    {&GUID_XAxis, 0, kAnyAxis, 0},
    {&GUID_YAxis, 4, kAnyAxis, 0},
    {&GUID_ZAxis, 8, kAnyAxis | DIDFT_OPTIONAL, 0},
    {nullptr, 12, kAnyButton, 0},
    {nullptr, 13, kAnyButton, 0},
    {nullptr, 14, kAnyButton | DIDFT_OPTIONAL, 0},
    {nullptr, 15, kAnyButton | DIDFT_OPTIONAL, 0},
}};

constexpr std::array<DIOBJECTDATAFORMAT, 44> MakeJoystickObjects() {
  std::array<DIOBJECTDATAFORMAT, 44> objects{};
  const GUID* axes[8] = {&GUID_XAxis,  &GUID_YAxis,  &GUID_ZAxis,  &GUID_RxAxis,
                         &GUID_RyAxis, &GUID_RzAxis, &GUID_Slider, &GUID_Slider};
  for (DWORD i = 0; i < 8; ++i) objects[i] = {axes[i], i * 4, kAnyAxis | DIDFT_OPTIONAL, 0};
  for (DWORD i = 0; i < 4; ++i) objects[8 + i] = {&GUID_POV, 32 + i * 4, kAnyPov | DIDFT_OPTIONAL, 0};
  for (DWORD i = 0; i < 32; ++i) objects[12 + i] = {nullptr, 48 + i, kAnyButton | DIDFT_OPTIONAL, 0};
  return objects;
}

constexpr auto kKeyboardObjects = MakeKeyboardObjects();
constexpr auto kJoystickObjects = MakeJoystickObjects();

}  // namespace

const DIDATAFORMAT c_dfDIKeyboard = {
    sizeof(DIDATAFORMAT),   sizeof(DIOBJECTDATAFORMAT), DIDF_RELAXIS, 256, static_cast<DWORD>(kKeyboardObjects.size()),
    kKeyboardObjects.data()};
const DIDATAFORMAT c_dfDIMouse = {sizeof(DIDATAFORMAT),
                                  sizeof(DIOBJECTDATAFORMAT),
                                  DIDF_RELAXIS,
                                  sizeof(DIMOUSESTATE),
                                  static_cast<DWORD>(kMouseObjects.size()),
                                  kMouseObjects.data()};
const DIDATAFORMAT c_dfDIJoystick = {sizeof(DIDATAFORMAT),
                                     sizeof(DIOBJECTDATAFORMAT),
                                     DIDF_ABSAXIS,
                                     sizeof(DIJOYSTATE),
                                     static_cast<DWORD>(kJoystickObjects.size()),
                                     kJoystickObjects.data()};

namespace {

// A call the port does not implement says so on the error stream, once for each kind of call.
void LoudGap(const std::string& what) {
  static win::GapReporter gaps{"dinput"};
  gaps.Report(what);
}

bool SameFormat(LPCDIDATAFORMAT a, const DIDATAFORMAT& b) {
  if (a == &b) return true;
  if (a->dwSize != b.dwSize || a->dwObjSize != b.dwObjSize || a->dwFlags != b.dwFlags ||
      a->dwDataSize != b.dwDataSize || a->dwNumObjs != b.dwNumObjs || a->rgodf == nullptr)
    return false;
  for (DWORD i = 0; i < b.dwNumObjs; ++i) {
    const DIOBJECTDATAFORMAT& x = a->rgodf[i];
    const DIOBJECTDATAFORMAT& y = b.rgodf[i];
    const bool sameGuid = (x.pguid == nullptr) == (y.pguid == nullptr) && (!x.pguid || *x.pguid == *y.pguid);
    if (!sameGuid || x.dwOfs != y.dwOfs || x.dwType != y.dwType || x.dwFlags != y.dwFlags) return false;
  }
  return true;
}

// Joystick instance GUIDs carry the host's joystick slot, so that a device created from
// an enumerated instance keeps reading the same stick.
constexpr GUID kJoystickInstanceBase = {0x7A5D0000, 0x1D0E, 0x4A11, {0x9C, 0x51, 'T', 'A', 'V', 'V', 'Y', 'J'}};
constexpr GUID kJoystickProductBase = {0, 0, 0, {'P', 'I', 'D', 'V', 'I', 'D', 'T', 'V'}};

GUID JoystickInstanceGuid(int slot) {
  GUID g = kJoystickInstanceBase;
  g.Data1 |= static_cast<DWORD>(slot) & 0xFFFF;
  return g;
}

// Slot encoded in a joystick instance GUID, or -1.
int JoystickSlotOf(REFGUID g) {
  GUID base = g;
  base.Data1 &= 0xFFFF0000u;
  if (base != kJoystickInstanceBase) return -1;
  return static_cast<int>(g.Data1 & 0xFFFF);
}

GUID JoystickProductGuid(const std::string& productName) {
  // The same product gives the same GUID (FNV-1a over the name).
  uint32_t hash = 2166136261u;
  for (unsigned char c : productName) hash = (hash ^ c) * 16777619u;
  GUID g = kJoystickProductBase;
  g.Data1 = hash;
  return g;
}

void CopyName(char (&dest)[260], const std::string& name) {
  const size_t n = std::min(name.size(), sizeof(dest) - 1);
  std::memcpy(dest, name.data(), n);
  dest[n] = '\0';
}

bool JoystickAttached(int slot) {
  if (!host::HasCurrent()) return false;
  host::IJoysticks& sticks = host::Current().Joysticks();
  if (slot < 0 || slot >= sticks.Count()) return false;
  host::JoystickState unused;
  return sticks.State(slot, unused);
}

// ---- devices -------------------------------------------------------------------------

class Device final : public win::RefCounted<IDirectInputDevice2A> {
 public:
  enum class Kind { Keyboard, Mouse, Joystick };

  Device(Kind kind, int slot, const host::JoystickInfo& info) : kind_(kind), slot_(slot), info_(info) {}

  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDirectInputDeviceA || riid == IID_IDirectInputDevice2A) {
      AddRef();
      *ppv = static_cast<IDirectInputDevice2A*>(this);
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }

  HRESULT SetDataFormat(LPCDIDATAFORMAT format) override {
    if (!format) return DIERR_INVALIDPARAM;
    std::lock_guard lock(mutex_);
    if (acquired_) return DIERR_ACQUIRED;
    const DIDATAFORMAT& own = OwnFormat();
    if (!SameFormat(format, own)) {
      LoudGap("SetDataFormat with a data format other than the device's predefined one (size " +
              std::to_string(format->dwDataSize) + ")");
      return DIERR_UNSUPPORTED;
    }
    format_ = &own;
    return DI_OK;
  }

  HRESULT SetCooperativeLevel(HWND window, DWORD flags) override {
    // The device is tied to a top-level window of this process: a null or unknown one is
    // refused with the handle error.
    if (!win::IsWindow(window)) return E_HANDLE;
    const DWORD exclusive = flags & (DISCL_EXCLUSIVE | DISCL_NONEXCLUSIVE);
    const DWORD ground = flags & (DISCL_FOREGROUND | DISCL_BACKGROUND);
    if ((flags & ~DWORD{0x0F}) != 0 || exclusive == 0 || exclusive == (DISCL_EXCLUSIVE | DISCL_NONEXCLUSIVE) ||
        ground == 0 || ground == (DISCL_FOREGROUND | DISCL_BACKGROUND))
      return DIERR_INVALIDPARAM;
    // The system keyboard cannot be held exclusively in the background.
    if (kind_ == Kind::Keyboard && flags == (DISCL_EXCLUSIVE | DISCL_BACKGROUND)) return DIERR_UNSUPPORTED;
    std::lock_guard lock(mutex_);
    cooperation_ = flags;
    return DI_OK;
  }

  HRESULT SetProperty(REFGUID property, LPCDIPROPHEADER header) override {
    if (!header) return DIERR_INVALIDPARAM;
    if (property != DIPROP_RANGE) {
      LoudGap("SetProperty of property " + std::to_string(property.Data1));
      return DIERR_UNSUPPORTED;
    }
    if (header->dwSize != sizeof(DIPROPRANGE) || header->dwHeaderSize != sizeof(DIPROPHEADER))
      return DIERR_INVALIDPARAM;
    // Relative axes of the keyboard and mouse have no range.
    if (kind_ != Kind::Joystick) return DIERR_UNSUPPORTED;
    const auto& range = *reinterpret_cast<const DIPROPRANGE*>(header);
    if (range.lMin >= range.lMax) return DIERR_INVALIDPARAM;
    std::lock_guard lock(mutex_);
    if (acquired_) return DIERR_ACQUIRED;
    switch (header->dwHow) {
      case DIPH_DEVICE:
        if (header->dwObj != 0) return DIERR_INVALIDPARAM;
        for (auto& r : ranges_) r = {range.lMin, range.lMax};
        return DI_OK;
      case DIPH_BYOFFSET: {
        if (!format_) return DIERR_NOTINITIALIZED;
        const DWORD ofs = header->dwObj;
        if (ofs % 4 != 0 || ofs / 4 >= 8 || static_cast<int>(ofs / 4) >= info_.axes) return DIERR_OBJECTNOTFOUND;
        ranges_[ofs / 4] = {range.lMin, range.lMax};
        return DI_OK;
      }
      default: {
        LoudGap("SetProperty(DIPROP_RANGE) by object id");
        return DIERR_UNSUPPORTED;
      }
    }
  }

  HRESULT Acquire() override {
    std::lock_guard lock(mutex_);
    if (!format_) return DIERR_INVALIDPARAM;
    if (acquired_) return DI_NOEFFECT;
    if (!host::HasCurrent()) return DIERR_INPUTLOST;
    if (Foreground() && !host::Current().HasFocus()) return DIERR_OTHERAPPHASPRIO;
    if (kind_ == Kind::Joystick && !JoystickAttached(slot_)) return DIERR_INPUTLOST;
    if (kind_ == Kind::Mouse) {
      // Motion is reported from the moment of acquisition: drop what came before.
      int32_t dx, dy, dz;
      uint8_t buttons[4];
      host::Current().MouseState(dx, dy, dz, buttons);
    }
    acquired_ = true;
    return DI_OK;
  }

  HRESULT Unacquire() override {
    std::lock_guard lock(mutex_);
    if (!acquired_) return DI_NOEFFECT;
    acquired_ = false;
    return DI_OK;
  }

  HRESULT Poll() override {
    std::lock_guard lock(mutex_);
    if (const HRESULT hr = CheckAcquired(); hr != DI_OK) return hr;
    // Only joysticks are polled devices; the keyboard and mouse deliver by themselves.
    return kind_ == Kind::Joystick ? DI_OK : DI_NOEFFECT;
  }

  HRESULT GetDeviceState(DWORD size, LPVOID data) override {
    if (!data) return DIERR_INVALIDPARAM;
    std::lock_guard lock(mutex_);
    if (!format_) return DIERR_NOTINITIALIZED;
    if (size != format_->dwDataSize) return DIERR_INVALIDPARAM;
    if (const HRESULT hr = CheckAcquired(); hr != DI_OK) return hr;
    host::IHost& machine = host::Current();
    switch (kind_) {
      case Kind::Keyboard: {
        auto* keys = static_cast<uint8_t*>(data);
        const uint8_t* state = machine.KeyboardState();
        for (int i = 0; i < 256; ++i) keys[i] = state ? (state[i] & 0x80) : 0;
        keys[0] = 0;  // no key has scan code 0
        return DI_OK;
      }
      case Kind::Mouse: {
        DIMOUSESTATE state{};
        machine.MouseState(state.lX, state.lY, state.lZ, state.rgbButtons);
        for (auto& b : state.rgbButtons) b &= 0x80;
        std::memcpy(data, &state, sizeof state);
        return DI_OK;
      }
      case Kind::Joystick: {
        host::JoystickState raw;
        if (!machine.Joysticks().State(slot_, raw)) {
          acquired_ = false;  // unplugged
          return DIERR_INPUTLOST;
        }
        DIJOYSTATE state{};
        LONG* axes[8] = {&state.lX,  &state.lY,  &state.lZ,           &state.lRx,
                         &state.lRy, &state.lRz, &state.rglSlider[0], &state.rglSlider[1]};
        for (int i = 0; i < 8; ++i) *axes[i] = i < info_.axes ? Scale(raw.axes[i], ranges_[i]) : 0;
        for (int i = 0; i < 4; ++i) state.rgdwPOV[i] = i < info_.hats ? static_cast<DWORD>(raw.hats[i]) : 0xFFFFFFFFu;
        for (int i = 0; i < 32; ++i) state.rgbButtons[i] = i < info_.buttons ? (raw.buttons[i] & 0x80) : 0;
        std::memcpy(data, &state, sizeof state);
        return DI_OK;
      }
    }
    return DIERR_GENERIC;
  }

 private:
  struct Range {
    LONG min;
    LONG max;
  };

  ~Device() override = default;

  const DIDATAFORMAT& OwnFormat() const {
    switch (kind_) {
      case Kind::Keyboard:
        return c_dfDIKeyboard;
      case Kind::Mouse:
        return c_dfDIMouse;
      case Kind::Joystick:
        break;
    }
    return c_dfDIJoystick;
  }

  bool Foreground() const { return (cooperation_ & DISCL_FOREGROUND) != 0; }

  // A foreground device loses its acquisition when the program's window loses the focus;
  // the first call after that reports the loss, later ones that it is not acquired.
  HRESULT CheckAcquired() {
    if (!acquired_) return DIERR_NOTACQUIRED;
    if (!host::HasCurrent() || (Foreground() && !host::Current().HasFocus())) {
      acquired_ = false;
      return DIERR_INPUTLOST;
    }
    return DI_OK;
  }

  // The host reports -32768..32767; the range property maps that span onto [min, max].
  static LONG Scale(int32_t raw, Range r) {
    const int64_t clamped = std::clamp<int64_t>(raw, -32768, 32767);
    const int64_t span = int64_t{r.max} - r.min;
    return static_cast<LONG>(r.min + (clamped + 32768) * span / 65535);
  }

  const Kind kind_;
  const int slot_;
  const host::JoystickInfo info_;
  std::mutex mutex_;
  const DIDATAFORMAT* format_ = nullptr;
  DWORD cooperation_ = DISCL_NONEXCLUSIVE | DISCL_BACKGROUND;
  bool acquired_ = false;
  // The platform's default joystick range.
  Range ranges_[8] = {{0, 65535}, {0, 65535}, {0, 65535}, {0, 65535}, {0, 65535}, {0, 65535}, {0, 65535}, {0, 65535}};
};

// ---- the DirectInput object ------------------------------------------------------------

class DirectInput final : public win::RefCounted<IDirectInputA> {
 public:
  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDirectInputA) {
      AddRef();
      *ppv = static_cast<IDirectInputA*>(this);
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }

  HRESULT CreateDevice(REFGUID guid, LPDIRECTINPUTDEVICEA* device, LPUNKNOWN outer) override {
    if (!device) return DIERR_INVALIDPARAM;
    *device = nullptr;
    if (outer) return DIERR_NOAGGREGATION;
    if (!host::HasCurrent()) return DIERR_NOTINITIALIZED;
    if (guid == GUID_SysKeyboard) {
      *device = new Device(Device::Kind::Keyboard, -1, KeyboardInfo());
      return DI_OK;
    }
    if (guid == GUID_SysMouse) {
      *device = new Device(Device::Kind::Mouse, -1, MouseInfo());
      return DI_OK;
    }
    const int slot = JoystickSlotOf(guid);
    host::IJoysticks& sticks = host::Current().Joysticks();
    if (slot < 0 || slot >= sticks.Count()) return DIERR_DEVICENOTREG;
    host::JoystickInfo info = sticks.Info(slot);
    info.axes = std::clamp(info.axes, 0, 8);
    info.hats = std::clamp(info.hats, 0, 4);
    info.buttons = std::clamp(info.buttons, 0, 32);
    *device = new Device(Device::Kind::Joystick, slot, info);
    return DI_OK;
  }

  HRESULT EnumDevices(DWORD type, LPDIENUMDEVICESCALLBACKA callback, LPVOID ref, DWORD flags) override {
    if (!callback || (flags & ~(DIEDFL_ATTACHEDONLY | DIEDFL_FORCEFEEDBACK)) != 0) return DIERR_INVALIDPARAM;
    if (type > DIDEVTYPE_JOYSTICK) return DIERR_INVALIDPARAM;
    const bool ffOnly = (flags & DIEDFL_FORCEFEEDBACK) != 0;
    const bool attachedOnly = (flags & DIEDFL_ATTACHEDONLY) != 0;
    if (!host::HasCurrent()) return DIERR_NOTINITIALIZED;

    DIDEVICEINSTANCEA instance{};
    instance.dwSize = sizeof instance;
    auto offer = [&](const GUID& guid, const GUID& product, DWORD devType, const std::string& instanceName,
                     const std::string& productName) {
      instance.guidInstance = guid;
      instance.guidProduct = product;
      instance.dwDevType = devType;
      CopyName(instance.tszInstanceName, instanceName);
      CopyName(instance.tszProductName, productName);
      return callback(&instance, ref) != DIENUM_STOP;
    };

    // The keyboard and the mouse have no force feedback and are always attached.
    if (!ffOnly) {
      if ((type == 0 || type == DIDEVTYPE_MOUSE) &&
          !offer(GUID_SysMouse, GUID_SysMouse, DIDEVTYPE_MOUSE | (DIDEVTYPEMOUSE_TRADITIONAL << 8), "Mouse", "Mouse"))
        return DI_OK;
      if ((type == 0 || type == DIDEVTYPE_KEYBOARD) &&
          !offer(GUID_SysKeyboard, GUID_SysKeyboard, DIDEVTYPE_KEYBOARD | (DIDEVTYPEKEYBOARD_PCENH << 8), "Keyboard",
                 "Keyboard"))
        return DI_OK;
    }
    if (type != 0 && type != DIDEVTYPE_JOYSTICK) return DI_OK;
    host::IJoysticks& sticks = host::Current().Joysticks();
    for (int slot = 0; slot < sticks.Count(); ++slot) {
      const host::JoystickInfo info = sticks.Info(slot);
      if (ffOnly && !info.forceFeedback) continue;
      if (attachedOnly && !JoystickAttached(slot)) continue;
      const std::string instanceName = info.instanceName.empty() ? info.productName : info.instanceName;
      if (!offer(JoystickInstanceGuid(slot), JoystickProductGuid(info.productName),
                 DIDEVTYPE_JOYSTICK | (DIDEVTYPEJOYSTICK_GAMEPAD << 8), instanceName, info.productName))
        break;
    }
    return DI_OK;
  }

 private:
  ~DirectInput() override = default;

  static host::JoystickInfo KeyboardInfo() {
    host::JoystickInfo info;
    info.productName = "Keyboard";
    info.buttons = 256;
    return info;
  }
  static host::JoystickInfo MouseInfo() {
    host::JoystickInfo info;
    info.productName = "Mouse";
    info.axes = 3;
    info.buttons = 4;
    return info;
  }
};

}  // namespace

HRESULT DirectInputCreateA(HINSTANCE, DWORD version, LPDIRECTINPUTA* directInput, LPUNKNOWN outer) {
  if (!directInput) return DIERR_INVALIDPARAM;
  *directInput = nullptr;
  if (outer) return DIERR_NOAGGREGATION;
  if (version > DIRECTINPUT_VERSION) return DIERR_OLDDIRECTINPUTVERSION;
  if (version < 0x0300) return DIERR_BETADIRECTINPUTVERSION;
  if (!host::HasCurrent()) return DIERR_NOTINITIALIZED;
  *directInput = new DirectInput();
  return DI_OK;
}
