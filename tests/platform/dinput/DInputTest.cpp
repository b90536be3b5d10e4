#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/dinput/DInput.h"
#include "platform/dinput/FakeInputHost.h"
#include "platform/win/WinWindows.h"

namespace {

using testinput::FakeInputHost;
using testinput::ScopedHost;

// Releases a COM-style object at the end of a test and checks nothing else holds it.
template <class T>
struct Held {
  T* p = nullptr;
  ~Held() {
    if (p) {
      EXPECT_EQ(p->Release(), 0u);
    }
  }
  T* operator->() const { return p; }
};

class DInput : public ::testing::Test {
 protected:
  win::WindowRegistration window{reinterpret_cast<HWND>(0x3000)};
  FakeInputHost machine;
  ScopedHost scoped{&machine};
  Held<IDirectInputA> di;

  void SetUp() override { ASSERT_EQ(DirectInputCreateA(nullptr, DIRECTINPUT_VERSION, &di.p, nullptr), DI_OK); }

  IDirectInputDeviceA* Create(REFGUID guid, const DIDATAFORMAT* format, DWORD cooperation) {
    IDirectInputDeviceA* device = nullptr;
    EXPECT_EQ(di->CreateDevice(guid, &device, nullptr), DI_OK);
    if (!device) return nullptr;
    EXPECT_EQ(device->SetDataFormat(format), DI_OK);
    EXPECT_EQ(device->SetCooperativeLevel(window.Handle(), cooperation), DI_OK);
    return device;
  }

  std::vector<DIDEVICEINSTANCEA> Enumerate(DWORD type, DWORD flags) {
    std::vector<DIDEVICEINSTANCEA> found;
    EXPECT_EQ(di->EnumDevices(
                  type,
                  [](LPCDIDEVICEINSTANCEA d, LPVOID ref) {
                    static_cast<std::vector<DIDEVICEINSTANCEA>*>(ref)->push_back(*d);
                    return DIENUM_CONTINUE;
                  },
                  &found, flags),
              DI_OK);
    return found;
  }

  static void SetRange(IDirectInputDeviceA* device, DWORD offset, LONG lo, LONG hi, HRESULT expected = DI_OK) {
    DIPROPRANGE range{{sizeof(DIPROPRANGE), sizeof(DIPROPHEADER), offset, DIPH_BYOFFSET}, lo, hi};
    EXPECT_EQ(device->SetProperty(DIPROP_RANGE, &range.diph), expected) << "offset " << offset;
  }
};

TEST_F(DInput, CreationChecksVersionAggregationAndTheHost) {
  IDirectInputA* other = nullptr;
  EXPECT_EQ(DirectInputCreateA(nullptr, 0x0700, &other, nullptr), DIERR_OLDDIRECTINPUTVERSION);
  EXPECT_EQ(other, nullptr);
  EXPECT_EQ(DirectInputCreateA(nullptr, DIRECTINPUT_VERSION, nullptr, nullptr), DIERR_INVALIDPARAM);
  EXPECT_EQ(DirectInputCreateA(nullptr, DIRECTINPUT_VERSION, &other, di.p), DIERR_NOAGGREGATION);
  {
    ScopedHost none(nullptr);
    EXPECT_EQ(DirectInputCreateA(nullptr, DIRECTINPUT_VERSION, &other, nullptr), DIERR_NOTINITIALIZED);
  }
  IDirectInputDeviceA* device = nullptr;
  EXPECT_EQ(di->CreateDevice(GUID_Key, &device, nullptr), DIERR_DEVICENOTREG);
  EXPECT_EQ(device, nullptr);
}

TEST_F(DInput, DevicesKeepRealReferenceCountsAndOfferTheSecondInterface) {
  IDirectInputDeviceA* first = nullptr;
  ASSERT_EQ(di->CreateDevice(GUID_SysKeyboard, &first, nullptr), DI_OK);
  IDirectInputDevice2A* second = nullptr;
  ASSERT_EQ(first->QueryInterface(IID_IDirectInputDevice2A, reinterpret_cast<void**>(&second)), S_OK);
  void* none = reinterpret_cast<void*>(1);
  EXPECT_EQ(first->QueryInterface(IID_IDirectInputA, &none), E_NOINTERFACE);
  EXPECT_EQ(none, nullptr);
  EXPECT_EQ(first->Release(), 1u);
  // The device outlives the DirectInput object that made it.
  EXPECT_EQ(di.p->Release(), 0u);
  di.p = nullptr;
  EXPECT_EQ(second->SetDataFormat(&c_dfDIKeyboard), DI_OK);
  EXPECT_EQ(second->Release(), 0u);
}

TEST_F(DInput, KeyboardDeliversBitSevenOfTheHostKeysOnceAcquired) {
  Held<IDirectInputDeviceA> kb;
  ASSERT_EQ(di->CreateDevice(GUID_SysKeyboard, &kb.p, nullptr), DI_OK);
  BYTE keys[256];
  EXPECT_EQ(kb->Acquire(), DIERR_INVALIDPARAM);  // no data format yet
  EXPECT_EQ(kb->SetDataFormat(&c_dfDIMouse), DIERR_UNSUPPORTED);
  ASSERT_EQ(kb->SetDataFormat(&c_dfDIKeyboard), DI_OK);
  ASSERT_EQ(kb->SetCooperativeLevel(window.Handle(), DISCL_NONEXCLUSIVE | DISCL_FOREGROUND), DI_OK);
  EXPECT_EQ(kb->GetDeviceState(sizeof keys, keys), DIERR_NOTACQUIRED);
  ASSERT_EQ(kb->Acquire(), DI_OK);
  EXPECT_EQ(kb->Acquire(), DI_NOEFFECT);
  EXPECT_EQ(kb->SetDataFormat(&c_dfDIKeyboard), DIERR_ACQUIRED);
  EXPECT_EQ(kb->GetDeviceState(255, keys), DIERR_INVALIDPARAM);

  machine.Press(DIK_UP);
  machine.Press(DIK_NUMPAD8);
  machine.keys[DIK_Z] = 0x7F;  // only bit 7 means "down"
  machine.keys[0] = 0x80;      // no key has code 0
  ASSERT_EQ(kb->GetDeviceState(sizeof keys, keys), DI_OK);
  for (int i = 0; i < 256; ++i) {
    const bool down = i == static_cast<int>(DIK_UP) || i == static_cast<int>(DIK_NUMPAD8);
    EXPECT_EQ(keys[i], down ? 0x80 : 0) << "key " << i;
  }
  EXPECT_EQ(kb->Unacquire(), DI_OK);
  EXPECT_EQ(kb->Unacquire(), DI_NOEFFECT);
}

TEST_F(DInput, ForegroundDeviceLosesAcquisitionWithTheFocus) {
  Held<IDirectInputDeviceA> kb{Create(GUID_SysKeyboard, &c_dfDIKeyboard, DISCL_NONEXCLUSIVE | DISCL_FOREGROUND)};
  Held<IDirectInputDeviceA> bg{Create(GUID_SysKeyboard, &c_dfDIKeyboard, DISCL_NONEXCLUSIVE | DISCL_BACKGROUND)};
  ASSERT_EQ(kb->Acquire(), DI_OK);
  ASSERT_EQ(bg->Acquire(), DI_OK);
  BYTE keys[256];

  machine.focus = false;
  EXPECT_EQ(kb->GetDeviceState(sizeof keys, keys), DIERR_INPUTLOST);
  EXPECT_EQ(kb->GetDeviceState(sizeof keys, keys), DIERR_NOTACQUIRED);
  EXPECT_EQ(kb->Acquire(), DIERR_OTHERAPPHASPRIO);
  // A background device goes on delivering.
  machine.Press(DIK_X);
  EXPECT_EQ(bg->GetDeviceState(sizeof keys, keys), DI_OK);
  EXPECT_EQ(keys[DIK_X], 0x80);

  machine.focus = true;
  // Getting the focus back does not acquire the device again by itself.
  EXPECT_EQ(kb->GetDeviceState(sizeof keys, keys), DIERR_NOTACQUIRED);
  ASSERT_EQ(kb->Acquire(), DI_OK);
  EXPECT_EQ(kb->GetDeviceState(sizeof keys, keys), DI_OK);
  EXPECT_EQ(keys[DIK_X], 0x80);
}

TEST_F(DInput, MouseReportsMotionSinceAcquisitionAndItsButtons) {
  Held<IDirectInputDeviceA> mouse{Create(GUID_SysMouse, &c_dfDIMouse, DISCL_NONEXCLUSIVE | DISCL_FOREGROUND)};
  machine.mouseDx = 500;  // before acquisition: not reported
  ASSERT_EQ(mouse->Acquire(), DI_OK);
  machine.mouseDx = -3;
  machine.mouseDy = 7;
  machine.mouseDz = 120;
  machine.mouseButtons[1] = 0x80;
  machine.mouseButtons[3] = 0x01;
  DIMOUSESTATE state;
  ASSERT_EQ(mouse->GetDeviceState(sizeof state, &state), DI_OK);
  EXPECT_EQ(state.lX, -3);
  EXPECT_EQ(state.lY, 7);
  EXPECT_EQ(state.lZ, 120);
  EXPECT_EQ(state.rgbButtons[0], 0);
  EXPECT_EQ(state.rgbButtons[1], 0x80);
  EXPECT_EQ(state.rgbButtons[3], 0);
  ASSERT_EQ(mouse->GetDeviceState(sizeof state, &state), DI_OK);
  EXPECT_EQ(state.lX, 0);  // relative: consumed by the previous read
  DIPROPRANGE range{{sizeof(DIPROPRANGE), sizeof(DIPROPHEADER), 0, DIPH_BYOFFSET}, -1, 1};
  EXPECT_EQ(mouse->SetProperty(DIPROP_RANGE, &range.diph), DIERR_UNSUPPORTED);
}

TEST_F(DInput, EnumerationFiltersAttachedAndForceFeedbackAndCanStop) {
  machine.fakeSticks.Add("Plain Pad");
  machine.fakeSticks.Add("Rumble Pad", true);
  machine.fakeSticks.Add("Unplugged Pad").attached = false;

  auto all = Enumerate(DIDEVTYPE_JOYSTICK, DIEDFL_ALLDEVICES);
  ASSERT_EQ(all.size(), 3u);
  auto attached = Enumerate(DIDEVTYPE_JOYSTICK, DIEDFL_ATTACHEDONLY);
  ASSERT_EQ(attached.size(), 2u);
  EXPECT_STREQ(attached[0].tszProductName, "Plain Pad");
  EXPECT_STREQ(attached[1].tszProductName, "Rumble Pad");
  EXPECT_EQ(GET_DIDEVICE_TYPE(attached[0].dwDevType), DIDEVTYPE_JOYSTICK);
  EXPECT_NE(attached[0].guidInstance, attached[1].guidInstance);
  auto ff = Enumerate(DIDEVTYPE_JOYSTICK, DIEDFL_ATTACHEDONLY | DIEDFL_FORCEFEEDBACK);
  ASSERT_EQ(ff.size(), 1u);
  EXPECT_STREQ(ff[0].tszProductName, "Rumble Pad");

  auto everything = Enumerate(0, DIEDFL_ATTACHEDONLY);
  EXPECT_EQ(everything.size(), 4u);  // mouse, keyboard and the two pads

  int calls = 0;
  EXPECT_EQ(di->EnumDevices(
                DIDEVTYPE_JOYSTICK,
                [](LPCDIDEVICEINSTANCEA, LPVOID ref) {
                  ++*static_cast<int*>(ref);
                  return DIENUM_STOP;
                },
                &calls, DIEDFL_ALLDEVICES),
            DI_OK);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(di->EnumDevices(DIDEVTYPE_JOYSTICK, nullptr, nullptr, 0), DIERR_INVALIDPARAM);
  EXPECT_EQ(di->EnumDevices(
                DIDEVTYPE_JOYSTICK, [](LPCDIDEVICEINSTANCEA, LPVOID) { return DIENUM_CONTINUE; }, nullptr, 0x2),
            DIERR_INVALIDPARAM);
}

TEST_F(DInput, JoystickAxesAreScaledIntoTheirRange) {
  auto& pad = machine.fakeSticks.Add("Pad", false, 3, 4, 1);
  auto found = Enumerate(DIDEVTYPE_JOYSTICK, DIEDFL_ATTACHEDONLY);
  ASSERT_EQ(found.size(), 1u);
  Held<IDirectInputDeviceA> js{Create(found[0].guidInstance, &c_dfDIJoystick, DISCL_EXCLUSIVE | DISCL_FOREGROUND)};
  ASSERT_TRUE(js.p);

  SetRange(js.p, 0, -32768, 32767);
  SetRange(js.p, 4, -1000, 1000);
  SetRange(js.p, 12, -32768, 32767, DIERR_OBJECTNOTFOUND);  // the pad has no Rx axis
  SetRange(js.p, 2, -1, 1, DIERR_OBJECTNOTFOUND);           // not an axis offset
  SetRange(js.p, 4, 10, 10, DIERR_INVALIDPARAM);
  DIPROPRANGE wrongSize{{sizeof(DIPROPHEADER), sizeof(DIPROPHEADER), 0, DIPH_BYOFFSET}, -1, 1};
  EXPECT_EQ(js->SetProperty(DIPROP_RANGE, &wrongSize.diph), DIERR_INVALIDPARAM);
  ASSERT_EQ(js->Acquire(), DI_OK);
  SetRange(js.p, 0, -5, 5, DIERR_ACQUIRED);

  IDirectInputDevice2A* js2 = nullptr;
  ASSERT_EQ(js->QueryInterface(IID_IDirectInputDevice2A, reinterpret_cast<void**>(&js2)), S_OK);
  EXPECT_EQ(js2->Poll(), DI_OK);
  DIJOYSTATE state;
  struct Case {
    int32_t raw;
    LONG x, y, z;
  };
  // X keeps raw values, Y maps onto -1000..1000, Z has the default 0..65535.
  for (const Case& c : {Case{-32768, -32768, -1000, 0}, Case{32767, 32767, 1000, 65535}, Case{0, 0, 0, 32768},
                        Case{-1, -1, -1, 32767}}) {
    for (int a = 0; a < 3; ++a) pad.state.axes[a] = c.raw;
    ASSERT_EQ(js2->GetDeviceState(sizeof state, &state), DI_OK);
    EXPECT_EQ(state.lX, c.x) << c.raw;
    EXPECT_EQ(state.lY, c.y) << c.raw;
    EXPECT_EQ(state.lZ, c.z) << c.raw;
  }
  pad.state.axes[3] = 1234;  // beyond the pad's axes: never reported
  pad.state.hats[0] = 9000;
  pad.state.hats[1] = 0;  // beyond the pad's one hat: centred
  pad.state.buttons[3] = 0x80;
  pad.state.buttons[4] = 0x80;  // beyond its four buttons
  pad.state.buttons[0] = 0x01;
  ASSERT_EQ(js2->GetDeviceState(sizeof state, &state), DI_OK);
  EXPECT_EQ(state.lRx, 0);
  EXPECT_EQ(state.rgdwPOV[0], 9000u);
  EXPECT_EQ(state.rgdwPOV[1], 0xFFFFFFFFu);
  EXPECT_EQ(state.rgbButtons[0], 0);
  EXPECT_EQ(state.rgbButtons[3], 0x80);
  EXPECT_EQ(state.rgbButtons[4], 0);

  // Unplugged: the loss is reported, and it cannot be acquired again until it is back.
  machine.fakeSticks.sticks[0].attached = false;
  EXPECT_EQ(js2->GetDeviceState(sizeof state, &state), DIERR_INPUTLOST);
  EXPECT_EQ(js2->Poll(), DIERR_NOTACQUIRED);
  EXPECT_NE(js2->Acquire(), DI_OK);
  machine.fakeSticks.sticks[0].attached = true;
  EXPECT_EQ(js2->Acquire(), DI_OK);
  EXPECT_EQ(js2->Release(), 1u);
}

TEST_F(DInput, RangeForTheWholeDeviceAndTheKeyboardIsNotPolled) {
  auto& pad = machine.fakeSticks.Add("Pad");
  Held<IDirectInputDeviceA> js{
      Create(Enumerate(DIDEVTYPE_JOYSTICK, 1)[0].guidInstance, &c_dfDIJoystick, DISCL_NONEXCLUSIVE | DISCL_BACKGROUND)};
  DIPROPRANGE range{{sizeof(DIPROPRANGE), sizeof(DIPROPHEADER), 0, DIPH_DEVICE}, -100, 100};
  ASSERT_EQ(js->SetProperty(DIPROP_RANGE, &range.diph), DI_OK);
  ASSERT_EQ(js->Acquire(), DI_OK);
  for (auto& a : pad.state.axes) a = 32767;
  DIJOYSTATE state;
  ASSERT_EQ(js->GetDeviceState(sizeof state, &state), DI_OK);
  EXPECT_EQ(state.lX, 100);
  EXPECT_EQ(state.rglSlider[1], 100);

  IDirectInputDevice2A* kb = nullptr;
  Held<IDirectInputDeviceA> kb1{Create(GUID_SysKeyboard, &c_dfDIKeyboard, DISCL_NONEXCLUSIVE | DISCL_FOREGROUND)};
  ASSERT_EQ(kb1->QueryInterface(IID_IDirectInputDevice2A, reinterpret_cast<void**>(&kb)), S_OK);
  EXPECT_EQ(kb->Poll(), DIERR_NOTACQUIRED);
  ASSERT_EQ(kb->Acquire(), DI_OK);
  EXPECT_EQ(kb->Poll(), DI_NOEFFECT);
  kb->Release();
}

TEST_F(DInput, CooperativeLevelTakesOnlyAWindowOfThisProcess) {
  const HWND unknown = reinterpret_cast<HWND>(0x4321);
  for (REFGUID guid : {GUID_SysKeyboard, GUID_SysMouse}) {
    Held<IDirectInputDeviceA> device;
    ASSERT_EQ(di->CreateDevice(guid, &device.p, nullptr), DI_OK);
    EXPECT_EQ(device->SetCooperativeLevel(nullptr, DISCL_NONEXCLUSIVE | DISCL_FOREGROUND), E_HANDLE);
    EXPECT_EQ(device->SetCooperativeLevel(nullptr, DISCL_NONEXCLUSIVE | DISCL_BACKGROUND), E_HANDLE);
    EXPECT_EQ(device->SetCooperativeLevel(unknown, DISCL_NONEXCLUSIVE | DISCL_FOREGROUND), E_HANDLE);
    EXPECT_EQ(device->SetCooperativeLevel(window.Handle(), DISCL_NONEXCLUSIVE | DISCL_FOREGROUND), DI_OK);
  }
}

}  // namespace
