// DirectInput 5: the interfaces, records, flags, key codes and result codes that the
// input component uses. The devices read the machine through the current host: the
// keyboard as 256 key codes, the mouse as relative motion, joysticks as raw axes.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/win/WinTypes.h"

using HINSTANCE = struct HINSTANCE__*;
using LPUNKNOWN = IUnknown*;

inline constexpr DWORD DIRECTINPUT_VERSION = 0x0500;

// ---- result codes ----------------------------------------------------------------
inline constexpr HRESULT DI_OK = S_OK;
inline constexpr HRESULT DI_NOTATTACHED = S_FALSE;
inline constexpr HRESULT DI_BUFFEROVERFLOW = S_FALSE;
inline constexpr HRESULT DI_PROPNOEFFECT = S_FALSE;
inline constexpr HRESULT DI_NOEFFECT = S_FALSE;
inline constexpr HRESULT DI_POLLEDDEVICE = 2;
inline constexpr HRESULT DIERR_OLDDIRECTINPUTVERSION = MakeHResult(0x8007047E);
inline constexpr HRESULT DIERR_BETADIRECTINPUTVERSION = MakeHResult(0x80070481);
inline constexpr HRESULT DIERR_DEVICENOTREG = MakeHResult(0x80040154);
inline constexpr HRESULT DIERR_NOTFOUND = MakeHResult(0x80070002);
inline constexpr HRESULT DIERR_OBJECTNOTFOUND = MakeHResult(0x80070002);
inline constexpr HRESULT DIERR_INVALIDPARAM = E_INVALIDARG;
inline constexpr HRESULT DIERR_NOINTERFACE = E_NOINTERFACE;
inline constexpr HRESULT DIERR_GENERIC = E_FAIL;
inline constexpr HRESULT DIERR_OUTOFMEMORY = E_OUTOFMEMORY;
inline constexpr HRESULT DIERR_UNSUPPORTED = E_NOTIMPL;
inline constexpr HRESULT DIERR_NOTINITIALIZED = MakeHResult(0x80070015);
inline constexpr HRESULT DIERR_NOAGGREGATION = MakeHResult(0x80040110);
inline constexpr HRESULT DIERR_OTHERAPPHASPRIO = MakeHResult(0x80070005);
inline constexpr HRESULT DIERR_INPUTLOST = MakeHResult(0x8007001E);
inline constexpr HRESULT DIERR_ACQUIRED = MakeHResult(0x800700AA);
inline constexpr HRESULT DIERR_NOTACQUIRED = MakeHResult(0x8007000C);

// ---- flags -------------------------------------------------------------------------
inline constexpr DWORD DISCL_EXCLUSIVE = 0x01;
inline constexpr DWORD DISCL_NONEXCLUSIVE = 0x02;
inline constexpr DWORD DISCL_FOREGROUND = 0x04;
inline constexpr DWORD DISCL_BACKGROUND = 0x08;

inline constexpr DWORD DIDEVTYPE_DEVICE = 1;
inline constexpr DWORD DIDEVTYPE_MOUSE = 2;
inline constexpr DWORD DIDEVTYPE_KEYBOARD = 3;
inline constexpr DWORD DIDEVTYPE_JOYSTICK = 4;
inline constexpr DWORD DIDEVTYPEMOUSE_TRADITIONAL = 2;
inline constexpr DWORD DIDEVTYPEKEYBOARD_PCENH = 4;
inline constexpr DWORD DIDEVTYPEJOYSTICK_GAMEPAD = 6;
constexpr DWORD GET_DIDEVICE_TYPE(DWORD devType) { return devType & 0xFF; }
constexpr DWORD GET_DIDEVICE_SUBTYPE(DWORD devType) { return (devType >> 8) & 0xFF; }

inline constexpr DWORD DIEDFL_ALLDEVICES = 0x000;
inline constexpr DWORD DIEDFL_ATTACHEDONLY = 0x001;
inline constexpr DWORD DIEDFL_FORCEFEEDBACK = 0x100;

inline constexpr BOOL DIENUM_STOP = 0;
inline constexpr BOOL DIENUM_CONTINUE = 1;

inline constexpr DWORD DIPH_DEVICE = 0;
inline constexpr DWORD DIPH_BYOFFSET = 1;
inline constexpr DWORD DIPH_BYID = 2;

inline constexpr DWORD DIDF_ABSAXIS = 0x1;
inline constexpr DWORD DIDF_RELAXIS = 0x2;

inline constexpr DWORD DIDFT_ALL = 0x00000000;
inline constexpr DWORD DIDFT_RELAXIS = 0x00000001;
inline constexpr DWORD DIDFT_ABSAXIS = 0x00000002;
inline constexpr DWORD DIDFT_AXIS = 0x00000003;
inline constexpr DWORD DIDFT_PSHBUTTON = 0x00000004;
inline constexpr DWORD DIDFT_TGLBUTTON = 0x00000008;
inline constexpr DWORD DIDFT_BUTTON = 0x0000000C;
inline constexpr DWORD DIDFT_POV = 0x00000010;
inline constexpr DWORD DIDFT_ANYINSTANCE = 0x00FFFF00;
inline constexpr DWORD DIDFT_OPTIONAL = 0x80000000;
constexpr DWORD DIDFT_MAKEINSTANCE(DWORD n) { return n << 8; }

// ---- GUIDs -------------------------------------------------------------------------
inline constexpr GUID IID_IDirectInputA = {0x89521360, 0xAA8A, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0, 0}};
inline constexpr GUID IID_IDirectInputDeviceA = {
    0x5944E680, 0xC92E, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0, 0}};
inline constexpr GUID IID_IDirectInputDevice2A = {
    0x5944E682, 0xC92E, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0, 0}};
inline constexpr GUID GUID_SysMouse = {0x6F1D2B60, 0xD5A0, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0, 0}};
inline constexpr GUID GUID_SysKeyboard = {0x6F1D2B61, 0xD5A0, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0, 0}};
inline constexpr GUID GUID_Joystick = {0x6F1D2B70, 0xD5A0, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0, 0}};
inline constexpr GUID GUID_XAxis = {0xA36D02E0, 0xC9F3, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0, 0}};
inline constexpr GUID GUID_YAxis = {0xA36D02E1, 0xC9F3, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0, 0}};
inline constexpr GUID GUID_ZAxis = {0xA36D02E2, 0xC9F3, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0, 0}};
inline constexpr GUID GUID_RxAxis = {0xA36D02F4, 0xC9F3, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0, 0}};
inline constexpr GUID GUID_RyAxis = {0xA36D02F5, 0xC9F3, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0, 0}};
inline constexpr GUID GUID_RzAxis = {0xA36D02E3, 0xC9F3, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0, 0}};
inline constexpr GUID GUID_Slider = {0xA36D02E4, 0xC9F3, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0, 0}};
inline constexpr GUID GUID_Button = {0xA36D02F0, 0xC9F3, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0, 0}};
inline constexpr GUID GUID_Key = {0x55728220, 0xD33C, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0, 0}};
inline constexpr GUID GUID_POV = {0xA36D02F2, 0xC9F3, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0, 0}};

// The property identifiers are small integers cast to GUID pointers on the platform; here
// they are GUIDs of their own whose first field carries that number.
inline constexpr GUID DIPROP_BUFFERSIZE = {1, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};
inline constexpr GUID DIPROP_AXISMODE = {2, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};
inline constexpr GUID DIPROP_GRANULARITY = {3, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};
inline constexpr GUID DIPROP_RANGE = {4, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};
inline constexpr GUID DIPROP_DEADZONE = {5, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};
inline constexpr GUID DIPROP_SATURATION = {6, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};

// ---- records -----------------------------------------------------------------------
struct DIOBJECTDATAFORMAT {
  const GUID* pguid;
  DWORD dwOfs;
  DWORD dwType;
  DWORD dwFlags;
};

struct DIDATAFORMAT {
  DWORD dwSize;
  DWORD dwObjSize;
  DWORD dwFlags;
  DWORD dwDataSize;
  DWORD dwNumObjs;
  const DIOBJECTDATAFORMAT* rgodf;
};
using LPCDIDATAFORMAT = const DIDATAFORMAT*;

extern const DIDATAFORMAT c_dfDIKeyboard;
extern const DIDATAFORMAT c_dfDIMouse;
extern const DIDATAFORMAT c_dfDIJoystick;

struct DIPROPHEADER {
  DWORD dwSize;
  DWORD dwHeaderSize;
  DWORD dwObj;
  DWORD dwHow;
};
using LPCDIPROPHEADER = const DIPROPHEADER*;

struct DIPROPRANGE {
  DIPROPHEADER diph;
  LONG lMin;
  LONG lMax;
};

struct DIPROPDWORD {
  DIPROPHEADER diph;
  DWORD dwData;
};

struct DIMOUSESTATE {
  LONG lX;
  LONG lY;
  LONG lZ;
  BYTE rgbButtons[4];
};

struct DIJOYSTATE {
  LONG lX;
  LONG lY;
  LONG lZ;
  LONG lRx;
  LONG lRy;
  LONG lRz;
  LONG rglSlider[2];
  DWORD rgdwPOV[4];
  BYTE rgbButtons[32];
};

static_assert(sizeof(DIPROPHEADER) == 16 && sizeof(DIPROPRANGE) == 24);
static_assert(sizeof(DIMOUSESTATE) == 16 && sizeof(DIJOYSTATE) == 80);
static_assert(offsetof(DIJOYSTATE, rglSlider) == 24 && offsetof(DIJOYSTATE, rgbButtons) == 48);

struct DIDEVICEINSTANCEA {
  DWORD dwSize;
  GUID guidInstance;
  GUID guidProduct;
  DWORD dwDevType;
  char tszInstanceName[260];  // MAX_PATH
  char tszProductName[260];
  GUID guidFFDriver;
  WORD wUsagePage;
  WORD wUsage;
};
using LPCDIDEVICEINSTANCEA = const DIDEVICEINSTANCEA*;
using LPDIENUMDEVICESCALLBACKA = BOOL (*)(LPCDIDEVICEINSTANCEA, LPVOID);

// ---- interfaces --------------------------------------------------------------------
struct IDirectInputDeviceA : IUnknown {
  virtual HRESULT SetProperty(REFGUID rguidProp, LPCDIPROPHEADER pdiph) = 0;
  virtual HRESULT Acquire() = 0;
  virtual HRESULT Unacquire() = 0;
  virtual HRESULT GetDeviceState(DWORD cbData, LPVOID lpvData) = 0;
  virtual HRESULT SetDataFormat(LPCDIDATAFORMAT lpdf) = 0;
  virtual HRESULT SetCooperativeLevel(HWND hwnd, DWORD dwFlags) = 0;
};
using LPDIRECTINPUTDEVICEA = IDirectInputDeviceA*;

struct IDirectInputDevice2A : IDirectInputDeviceA {
  virtual HRESULT Poll() = 0;
};
using LPDIRECTINPUTDEVICE2A = IDirectInputDevice2A*;

struct IDirectInputA : IUnknown {
  virtual HRESULT CreateDevice(REFGUID rguid, LPDIRECTINPUTDEVICEA* lplpDirectInputDevice, LPUNKNOWN pUnkOuter) = 0;
  virtual HRESULT EnumDevices(DWORD dwDevType, LPDIENUMDEVICESCALLBACKA lpCallback, LPVOID pvRef, DWORD dwFlags) = 0;
};
using LPDIRECTINPUTA = IDirectInputA*;

HRESULT DirectInputCreateA(HINSTANCE hinst, DWORD dwVersion, LPDIRECTINPUTA* lplpDirectInput, LPUNKNOWN punkOuter);

// ---- keyboard scan codes -----------------------------------------------------------
inline constexpr DWORD DIK_ESCAPE = 0x01;
inline constexpr DWORD DIK_1 = 0x02;
inline constexpr DWORD DIK_2 = 0x03;
inline constexpr DWORD DIK_3 = 0x04;
inline constexpr DWORD DIK_4 = 0x05;
inline constexpr DWORD DIK_5 = 0x06;
inline constexpr DWORD DIK_6 = 0x07;
inline constexpr DWORD DIK_7 = 0x08;
inline constexpr DWORD DIK_8 = 0x09;
inline constexpr DWORD DIK_9 = 0x0A;
inline constexpr DWORD DIK_0 = 0x0B;
inline constexpr DWORD DIK_MINUS = 0x0C;
inline constexpr DWORD DIK_EQUALS = 0x0D;
inline constexpr DWORD DIK_BACK = 0x0E;
inline constexpr DWORD DIK_TAB = 0x0F;
inline constexpr DWORD DIK_Q = 0x10;
inline constexpr DWORD DIK_W = 0x11;
inline constexpr DWORD DIK_E = 0x12;
inline constexpr DWORD DIK_R = 0x13;
inline constexpr DWORD DIK_T = 0x14;
inline constexpr DWORD DIK_Y = 0x15;
inline constexpr DWORD DIK_U = 0x16;
inline constexpr DWORD DIK_I = 0x17;
inline constexpr DWORD DIK_O = 0x18;
inline constexpr DWORD DIK_P = 0x19;
inline constexpr DWORD DIK_LBRACKET = 0x1A;
inline constexpr DWORD DIK_RBRACKET = 0x1B;
inline constexpr DWORD DIK_RETURN = 0x1C;
inline constexpr DWORD DIK_LCONTROL = 0x1D;
inline constexpr DWORD DIK_A = 0x1E;
inline constexpr DWORD DIK_S = 0x1F;
inline constexpr DWORD DIK_D = 0x20;
inline constexpr DWORD DIK_F = 0x21;
inline constexpr DWORD DIK_G = 0x22;
inline constexpr DWORD DIK_H = 0x23;
inline constexpr DWORD DIK_J = 0x24;
inline constexpr DWORD DIK_K = 0x25;
inline constexpr DWORD DIK_L = 0x26;
inline constexpr DWORD DIK_SEMICOLON = 0x27;
inline constexpr DWORD DIK_APOSTROPHE = 0x28;
inline constexpr DWORD DIK_GRAVE = 0x29;
inline constexpr DWORD DIK_LSHIFT = 0x2A;
inline constexpr DWORD DIK_BACKSLASH = 0x2B;
inline constexpr DWORD DIK_Z = 0x2C;
inline constexpr DWORD DIK_X = 0x2D;
inline constexpr DWORD DIK_C = 0x2E;
inline constexpr DWORD DIK_V = 0x2F;
inline constexpr DWORD DIK_B = 0x30;
inline constexpr DWORD DIK_N = 0x31;
inline constexpr DWORD DIK_M = 0x32;
inline constexpr DWORD DIK_COMMA = 0x33;
inline constexpr DWORD DIK_PERIOD = 0x34;
inline constexpr DWORD DIK_SLASH = 0x35;
inline constexpr DWORD DIK_RSHIFT = 0x36;
inline constexpr DWORD DIK_MULTIPLY = 0x37;
inline constexpr DWORD DIK_LMENU = 0x38;
inline constexpr DWORD DIK_SPACE = 0x39;
inline constexpr DWORD DIK_CAPITAL = 0x3A;
inline constexpr DWORD DIK_F1 = 0x3B;
inline constexpr DWORD DIK_F2 = 0x3C;
inline constexpr DWORD DIK_F3 = 0x3D;
inline constexpr DWORD DIK_F4 = 0x3E;
inline constexpr DWORD DIK_F5 = 0x3F;
inline constexpr DWORD DIK_F6 = 0x40;
inline constexpr DWORD DIK_F7 = 0x41;
inline constexpr DWORD DIK_F8 = 0x42;
inline constexpr DWORD DIK_F9 = 0x43;
inline constexpr DWORD DIK_F10 = 0x44;
inline constexpr DWORD DIK_NUMLOCK = 0x45;
inline constexpr DWORD DIK_SCROLL = 0x46;
inline constexpr DWORD DIK_NUMPAD7 = 0x47;
inline constexpr DWORD DIK_NUMPAD8 = 0x48;
inline constexpr DWORD DIK_NUMPAD9 = 0x49;
inline constexpr DWORD DIK_SUBTRACT = 0x4A;
inline constexpr DWORD DIK_NUMPAD4 = 0x4B;
inline constexpr DWORD DIK_NUMPAD5 = 0x4C;
inline constexpr DWORD DIK_NUMPAD6 = 0x4D;
inline constexpr DWORD DIK_ADD = 0x4E;
inline constexpr DWORD DIK_NUMPAD1 = 0x4F;
inline constexpr DWORD DIK_NUMPAD2 = 0x50;
inline constexpr DWORD DIK_NUMPAD3 = 0x51;
inline constexpr DWORD DIK_NUMPAD0 = 0x52;
inline constexpr DWORD DIK_DECIMAL = 0x53;
inline constexpr DWORD DIK_OEM_102 = 0x56;
inline constexpr DWORD DIK_F11 = 0x57;
inline constexpr DWORD DIK_F12 = 0x58;
inline constexpr DWORD DIK_F13 = 0x64;
inline constexpr DWORD DIK_F14 = 0x65;
inline constexpr DWORD DIK_F15 = 0x66;
inline constexpr DWORD DIK_KANA = 0x70;
inline constexpr DWORD DIK_ABNT_C1 = 0x73;
inline constexpr DWORD DIK_CONVERT = 0x79;
inline constexpr DWORD DIK_NOCONVERT = 0x7B;
inline constexpr DWORD DIK_YEN = 0x7D;
inline constexpr DWORD DIK_ABNT_C2 = 0x7E;
inline constexpr DWORD DIK_NUMPADEQUALS = 0x8D;
inline constexpr DWORD DIK_CIRCUMFLEX = 0x90;
inline constexpr DWORD DIK_AT = 0x91;
inline constexpr DWORD DIK_COLON = 0x92;
inline constexpr DWORD DIK_UNDERLINE = 0x93;
inline constexpr DWORD DIK_KANJI = 0x94;
inline constexpr DWORD DIK_STOP = 0x95;
inline constexpr DWORD DIK_AX = 0x96;
inline constexpr DWORD DIK_UNLABELED = 0x97;
inline constexpr DWORD DIK_NUMPADENTER = 0x9C;
inline constexpr DWORD DIK_RCONTROL = 0x9D;
inline constexpr DWORD DIK_NUMPADCOMMA = 0xB3;
inline constexpr DWORD DIK_DIVIDE = 0xB5;
inline constexpr DWORD DIK_SYSRQ = 0xB7;
inline constexpr DWORD DIK_RMENU = 0xB8;
inline constexpr DWORD DIK_PAUSE = 0xC5;
inline constexpr DWORD DIK_HOME = 0xC7;
inline constexpr DWORD DIK_UP = 0xC8;
inline constexpr DWORD DIK_PRIOR = 0xC9;
inline constexpr DWORD DIK_LEFT = 0xCB;
inline constexpr DWORD DIK_RIGHT = 0xCD;
inline constexpr DWORD DIK_END = 0xCF;
inline constexpr DWORD DIK_DOWN = 0xD0;
inline constexpr DWORD DIK_NEXT = 0xD1;
inline constexpr DWORD DIK_INSERT = 0xD2;
inline constexpr DWORD DIK_DELETE = 0xD3;
inline constexpr DWORD DIK_LWIN = 0xDB;
inline constexpr DWORD DIK_RWIN = 0xDC;
inline constexpr DWORD DIK_APPS = 0xDD;
inline constexpr DWORD DIK_POWER = 0xDE;
inline constexpr DWORD DIK_SLEEP = 0xDF;
