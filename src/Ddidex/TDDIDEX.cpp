#include "Ddidex/TDDIDEX.h"

#include <algorithm>
#include <cstring>

#include "platform/rtl/SysUtils.h"

namespace {

// Key map entries past the 32 buttons.
enum : int { kmUp = 32, kmDown, kmLeft, kmRight, kmUpLeft, kmUpRight, kmDownLeft, kmDownRight };

constexpr LONG kFullDeflection = 32767;

const char* const kMsgCreate = "DirectInputの作成に失敗しました";
const char* const kMsgKeyboardDevice = "DirectInputDevice(キーボード)の作成に失敗しました";
const char* const kMsgKeyboardFormat = "DirectInputDeviceのデータフォーマット(キーボード)の指定に失敗しました";
const char* const kMsgMouseDevice = "DirectInputDevice(マウス)の作成に失敗しました";
const char* const kMsgMouseFormat = "DirectInputDeviceのデータフォーマット(マウス)の指定に失敗しました";
const char* const kMsgJoystickFormat = "DirectInputDeviceのデータフォーマット(ジョイスティック)の指定に失敗しました";
const char* const kMsgCooperation = "DirectInputDeviceの協調レベルの設定に失敗しました";

LONG Sign(LONG v) { return v < 0 ? -1 : (v > 0 ? 1 : 0); }

}  // namespace

TDDIDEX::TDDIDEX(HWND owner) : owner_(owner) {
  SetDebugOption(dioHaltOnError);
  ResetKeyMap();
}

TDDIDEX::~TDDIDEX() { ReleaseDevices(); }

void TDDIDEX::SetDebugOption(TDDIDDebugOption option) {
  debugOption_ = option;
  DDIDDebugUnit().SetSwitches(option);
}

void TDDIDEX::Loaded() {
  SetDebugOption(debugOption_);
  if (AutoInitialize) Initialize();
}

void TDDIDEX::ReleaseDevices() {
  if (keyboard_) keyboard_->Unacquire();
  keyboard_.Reset();
  if (mouse_) mouse_->Unacquire();
  mouse_.Reset();
  for (auto& joystick : joysticks_) {
    if (joystick) joystick->Unacquire();
    joystick.Reset();
  }
  joystickNames_.clear();
  joystickCount_ = 0;
  directInput_.Reset();
}

void TDDIDEX::ResetKeyMap() {
  std::memset(keyMap_, 0, sizeof keyMap_);
  const DWORD row0Buttons[16] = {DIK_Z, DIK_X, DIK_C, DIK_A, DIK_S, DIK_D, DIK_1, DIK_2,
                                 DIK_3, DIK_4, DIK_5, DIK_6, DIK_7, DIK_8, DIK_9, DIK_0};
  std::copy(std::begin(row0Buttons), std::end(row0Buttons), keyMap_[0]);
  keyMap_[1][0] = DIK_SPACE;
  keyMap_[1][1] = DIK_ESCAPE;
  keyMap_[0][kmUp] = DIK_UP;
  keyMap_[0][kmDown] = DIK_DOWN;
  keyMap_[0][kmLeft] = DIK_LEFT;
  keyMap_[0][kmRight] = DIK_RIGHT;
  keyMap_[1][kmUp] = DIK_NUMPAD8;
  keyMap_[1][kmDown] = DIK_NUMPAD2;
  keyMap_[1][kmLeft] = DIK_NUMPAD4;
  keyMap_[1][kmRight] = DIK_NUMPAD6;
  keyMap_[1][kmUpLeft] = DIK_NUMPAD7;
  keyMap_[1][kmUpRight] = DIK_NUMPAD9;
  keyMap_[1][kmDownLeft] = DIK_NUMPAD1;
  keyMap_[1][kmDownRight] = DIK_NUMPAD3;
}

void TDDIDEX::Initialize() {
  ReleaseDevices();
  ResetKeyMap();

  // Without the DirectInput object (or a device) there is nothing further to set up;
  // the report above already went out as the debug options say.
  if (DDIDCheck(DirectInputCreateA(nullptr, DIRECTINPUT_VERSION, directInput_.Put(), nullptr), kMsgCreate) != 0) {
    directInput_.Reset();
    return;
  }

  const DWORD ground = BackGround ? DISCL_BACKGROUND : DISCL_FOREGROUND;
  if (DDIDCheck(directInput_->CreateDevice(GUID_SysKeyboard, keyboard_.Put(), nullptr), kMsgKeyboardDevice) == 0) {
    DDIDCheck(keyboard_->SetDataFormat(&c_dfDIKeyboard), kMsgKeyboardFormat);
    DDIDCheck(keyboard_->SetCooperativeLevel(owner_, DISCL_NONEXCLUSIVE | ground), kMsgCooperation);
  } else {
    keyboard_.Reset();
  }

  // The mouse is read in the foreground only, whatever BackGround says.
  if (DDIDCheck(directInput_->CreateDevice(GUID_SysMouse, mouse_.Put(), nullptr), kMsgMouseDevice) == 0) {
    DDIDCheck(mouse_->SetDataFormat(&c_dfDIMouse), kMsgMouseFormat);
    DDIDCheck(mouse_->SetCooperativeLevel(owner_, DISCL_FOREGROUND | DISCL_NONEXCLUSIVE), kMsgCooperation);
  } else {
    mouse_.Reset();
  }

  forceFeedback_.fill(0);
  joystickNames_.clear();
  joystickCount_ = 0;

  // Force-feedback pads first, so that they take the lowest slots.
  enumPass_ = 1;
  directInput_->EnumDevices(DIDEVTYPE_JOYSTICK, &TDDIDEX::EnumJoystick, this,
                            DIEDFL_ATTACHEDONLY | DIEDFL_FORCEFEEDBACK);
  enumPass_ = 0;
  directInput_->EnumDevices(DIDEVTYPE_JOYSTICK, &TDDIDEX::EnumJoystick, this, DIEDFL_ATTACHEDONLY);

  if (keyboard_) keyboard_->Acquire();
  if (mouse_) mouse_->Acquire();
}

BOOL TDDIDEX::EnumJoystick(LPCDIDEVICEINSTANCEA instance, LPVOID self) {
  if (instance) static_cast<TDDIDEX*>(self)->AddJoystick(*instance);
  return DIENUM_CONTINUE;
}

void TDDIDEX::AddJoystick(const DIDEVICEINSTANCEA& instance) {
  // Every slot is taken: further sticks are not used.
  if (joystickCount_ >= MaxJoysticks) return;
  const std::string product(instance.tszProductName, strnlen(instance.tszProductName, sizeof instance.tszProductName));
  if (enumPass_ == 0) {
    // A force-feedback pad was already added in the first pass.
    for (int i = 0; i < joystickCount_; ++i) {
      if (forceFeedback_[i] && joystickNames_[i] == product) return;
    }
  }

  TDIRef<IDirectInputDeviceA> first;
  if (directInput_->CreateDevice(instance.guidInstance, first.Put(), nullptr) != DI_OK) return;
  TDIRef<IDirectInputDevice2A>& slot = joysticks_[joystickCount_];
  if (first->QueryInterface(IID_IDirectInputDevice2A, reinterpret_cast<void**>(slot.Put())) != S_OK) {
    slot.Reset();
    return;
  }
  first.Reset();

  DDIDCheck(slot->SetDataFormat(&c_dfDIJoystick), kMsgJoystickFormat);
  const DWORD ground = BackGround ? DISCL_BACKGROUND : DISCL_FOREGROUND;
  if (slot->SetCooperativeLevel(owner_, DISCL_EXCLUSIVE | ground) != DI_OK) {
    DDIDCheck(slot->SetCooperativeLevel(owner_, DISCL_NONEXCLUSIVE | ground), kMsgCooperation);
  }
  for (DWORD offset = 0; offset < 32; offset += 4) {
    DIPROPRANGE range{};
    range.diph.dwSize = sizeof(DIPROPRANGE);
    range.diph.dwHeaderSize = sizeof(DIPROPHEADER);
    range.diph.dwObj = offset;
    range.diph.dwHow = DIPH_BYOFFSET;
    range.lMin = -32768;
    range.lMax = 32767;
    slot->SetProperty(DIPROP_RANGE, &range.diph);  // axes the stick lacks just say so
  }
  slot->Acquire();
  joystickNames_.push_back(product);
  forceFeedback_[joystickCount_] = enumPass_;
  ++joystickCount_;
}

bool TDDIDEX::Poll(int device, bool merge) {
  if (device < DeviceKeyboard || device > DeviceLast) throw rtl::ERangeError();
  if (!merge) std::memset(&state_, 0, sizeof state_);
  switch (device) {
    case DeviceKeyboard:
      return PollKeyboard();
    case DeviceMouse:
      return PollMouse();
    default:
      return PollJoystick(device - DeviceFirstJoystick, merge);
  }
}

bool TDDIDEX::PollKeyboard() {
  if (!keyboard_) return false;
  BYTE keys[256];
  if (keyboard_->GetDeviceState(sizeof keys, keys) != DI_OK) {
    keyboard_->Acquire();
    if (keyboard_->GetDeviceState(sizeof keys, keys) != DI_OK) return false;
  }
  // A code outside the 256 keys (set through SetKeyMap) is never down.
  auto key = [&](DWORD code) -> BYTE { return code < 256 ? keys[code] : 0; };
  for (int i = 0; i < 32; ++i) state_.rgbButtons[i] |= key(keyMap_[0][i]) | key(keyMap_[1][i]);
  auto down = [&](int entry) { return ((key(keyMap_[0][entry]) | key(keyMap_[1][entry])) & 0x80) != 0; };

  LONG x = 0, y = 0;
  if (down(kmUp) || down(kmUpLeft) || down(kmUpRight)) y -= kFullDeflection;
  if (down(kmDown) || down(kmDownLeft) || down(kmDownRight)) y += kFullDeflection;
  if (down(kmLeft) || down(kmUpLeft) || down(kmDownLeft)) x -= kFullDeflection;
  if (down(kmRight) || down(kmUpRight) || down(kmDownRight)) x += kFullDeflection;
  state_.lX |= x;
  state_.lY |= y;
  return true;
}

bool TDDIDEX::PollMouse() {
  if (!mouse_) return false;
  DIMOUSESTATE mouse{};
  if (mouse_->GetDeviceState(sizeof mouse, &mouse) != DI_OK) {
    mouse_->Acquire();
    return false;
  }
  state_.lX = mouse.lX;
  state_.lY = mouse.lY;
  state_.lZ = mouse.lZ;
  for (int i = 0; i < 4; ++i) state_.rgbButtons[i] |= mouse.rgbButtons[i];
  return true;
}

bool TDDIDEX::PollJoystick(int slot, bool merge) {
  IDirectInputDevice2A* joystick = joysticks_[slot].Get();
  if (!joystick || slot >= joystickCount_) return false;
  joystick->Poll();
  DIJOYSTATE js{};
  if (joystick->GetDeviceState(sizeof js, &js) != DI_OK) {
    joystick->Acquire();
    return false;
  }
  LONG* axes[8] = {&js.lX, &js.lY, &js.lZ, &js.lRx, &js.lRy, &js.lRz, &js.rglSlider[0], &js.rglSlider[1]};
  for (LONG* axis : axes) *axis = ApplyDeadZone(*axis);
  if (!merge) {
    state_ = js;
    return true;
  }
  state_.lX |= js.lX;
  state_.lY |= js.lY;
  state_.lZ |= js.lZ;
  state_.lRx |= js.lRx;
  state_.lRy |= js.lRy;
  state_.lRz |= js.lRz;
  for (int i = 0; i < 2; ++i) state_.rglSlider[i] |= js.rglSlider[i];
  for (int i = 0; i < 4; ++i) state_.rgdwPOV[i] |= js.rgdwPOV[i];
  for (int i = 0; i < 32; ++i) state_.rgbButtons[i] |= js.rgbButtons[i];
  return true;
}

LONG TDDIDEX::ApplyDeadZone(LONG value) const {
  const int64_t z = DeadZone;
  if (z == 0) return value;
  const int64_t lo = z * -32768 / 100;
  const int64_t hi = z * 32767 / 100;
  const int64_t v = value;
  if ((lo <= v && v <= hi) || z >= 100) return 0;
  const int64_t scaled = v < 0 ? (v - lo) * 100 / (100 - z) : (v - hi) * 100 / (100 - z);
  return static_cast<LONG>(std::clamp<int64_t>(scaled, INT32_MIN, INT32_MAX));
}

bool TDDIDEX::PollDevices(std::span<const int> devices) {
  bool any = false;
  bool first = true;
  for (int device : devices) {
    any = Poll(device, !first) || any;
    first = false;
  }
  return any;
}

TDDIDDirections TDDIDEX::GetDirections() const {
  TDDIDDirections d{};
  d.lX = Sign(state_.lX);
  d.lY = Sign(state_.lY);
  d.lZ = Sign(state_.lZ);
  d.lRx = Sign(state_.lRx);
  d.lRy = Sign(state_.lRy);
  d.lRz = Sign(state_.lRz);
  for (int i = 0; i < 2; ++i) d.rglSlider[i] = Sign(state_.rglSlider[i]);
  for (int i = 0; i < 4; ++i) d.rgdwPOV[i] = state_.rgdwPOV[i];
  return d;
}

bool TDDIDEX::Button(int index) const {
  if (index < 0 || index >= 32) throw rtl::ERangeError();
  return (state_.rgbButtons[index] & 0x80) != 0;
}

void TDDIDEX::SetKeyMap(int row, int entry, DWORD scanCode) {
  if (row < 0 || row >= KeyMapRows || entry < 0 || entry >= KeyMapEntries) throw rtl::ERangeError();
  keyMap_[row][entry] = scanCode;
}

DWORD TDDIDEX::KeyMap(int row, int entry) const {
  if (row < 0 || row >= KeyMapRows || entry < 0 || entry >= KeyMapEntries) throw rtl::ERangeError();
  return keyMap_[row][entry];
}

bool TDDIDEX::ForceFeedback(int slot) const {
  if (slot < 0 || slot >= MaxJoysticks) throw rtl::ERangeError();
  return forceFeedback_[slot] != 0;
}
