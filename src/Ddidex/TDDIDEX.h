// The input component: the keyboard (through a remappable key table), the mouse and up to
// 16 joysticks, read through DirectInput and presented as one joystick state.
#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "Ddidex/DDIDLog.h"
#include "platform/dinput/DInput.h"
#include "platform/win/ComRef.h"

// Owns one reference to a DirectInput object and releases it when dropped.
template <class T>
using TDIRef = win::ComRef<T>;

// The signs of the six axes and two sliders, then the four point-of-view values as read.
struct TDDIDDirections {
  LONG lX, lY, lZ, lRx, lRy, lRz;
  LONG rglSlider[2];
  DWORD rgdwPOV[4];
};

class TDDIDEX {
 public:
  static constexpr int MaxJoysticks = 16;
  static constexpr int KeyMapRows = 2;
  static constexpr int KeyMapEntries = 40;
  // Device numbers of Poll: 0 keyboard, 1 mouse, 2..17 joystick slots 0..15.
  static constexpr int DeviceKeyboard = 0;
  static constexpr int DeviceMouse = 1;
  static constexpr int DeviceFirstJoystick = 2;
  static constexpr int DeviceLast = DeviceFirstJoystick + MaxJoysticks - 1;

  // `owner` is the window the devices cooperate with (the main form's).
  explicit TDDIDEX(HWND owner = nullptr);
  virtual ~TDDIDEX();
  TDDIDEX(const TDDIDEX&) = delete;
  TDDIDEX& operator=(const TDDIDEX&) = delete;

  // Called once the owner has finished loading its stored properties.
  virtual void Loaded();
  // Releases every device and creates them afresh with the default key map.
  void Initialize();

  // Reads one device into State; true when it delivered data. Raises rtl::ERangeError
  // for a device number outside 0..17.
  bool Poll(int device, bool merge);
  // Polls the first device without merging and every further one merged into it.
  bool PollDevices(std::initializer_list<int> devices) {
    return PollDevices(std::span(devices.begin(), devices.size()));
  }
  bool PollDevices(std::span<const int> devices);
  TDDIDDirections GetDirections() const;
  // Bit 7 of button byte `index` (0..31); rtl::ERangeError outside.
  bool Button(int index) const;
  // Row 0..1, entry 0..39; rtl::ERangeError outside.
  void SetKeyMap(int row, int entry, DWORD scanCode);

  // Published properties.
  TDDIDDebugOption DebugOption() const { return debugOption_; }
  void SetDebugOption(TDDIDDebugOption option);
  int32_t DeadZone = 5;
  bool AutoInitialize = true;
  bool BackGround = false;

  HWND OwnerWindow() const { return owner_; }
  void SetOwnerWindow(HWND owner) { owner_ = owner; }

  const DIJOYSTATE& State() const { return state_; }
  const std::vector<std::string>& JoystickNames() const { return joystickNames_; }
  int32_t JoystickCount() const { return joystickCount_; }
  DWORD KeyMap(int row, int entry) const;
  bool ForceFeedback(int slot) const;

  // The dead zone applied to one joystick axis value.
  LONG ApplyDeadZone(LONG value) const;

 private:
  static BOOL EnumJoystick(LPCDIDEVICEINSTANCEA instance, LPVOID self);
  void AddJoystick(const DIDEVICEINSTANCEA& instance);
  void ReleaseDevices();
  void ResetKeyMap();
  bool PollKeyboard();
  bool PollMouse();
  bool PollJoystick(int slot, bool merge);

  HWND owner_ = nullptr;
  TDDIDDebugOption debugOption_ = dioHaltOnError;

  TDIRef<IDirectInputA> directInput_;
  TDIRef<IDirectInputDeviceA> keyboard_;
  TDIRef<IDirectInputDeviceA> mouse_;
  std::vector<std::string> joystickNames_;
  std::array<TDIRef<IDirectInputDevice2A>, MaxJoysticks> joysticks_;
  DWORD keyMap_[KeyMapRows][KeyMapEntries] = {};
  DIJOYSTATE state_{};
  int32_t joystickCount_ = 0;
  std::array<uint8_t, MaxJoysticks> forceFeedback_{};
  uint8_t enumPass_ = 0;
};
