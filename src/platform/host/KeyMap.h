// The physical keys of a PC keyboard and the three codes each one has: the USB usage
// number (which is also SDL's scancode), the Windows virtual-key code that the form's
// key events carry, and the DirectInput key code (DIK_*) of the keyboard state.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace host {

struct KeyInfo {
  std::string_view name;  // the name scripts use ("Enter", "KP8", "Up", ...)
  int usage;              // USB HID usage = SDL_Scancode
  int vk;                 // Windows virtual-key code
  int dik;                // DirectInput key code
};

// Looks a key up by its script name (case-insensitive; a few aliases such as "Return",
// "Esc", "Shift" are accepted).
std::optional<KeyInfo> KeyByName(std::string_view name);
std::optional<KeyInfo> KeyByUsage(int usage);
std::optional<KeyInfo> KeyByVk(int vk);

// DirectInput codes of the keys the game and its components name.
enum : uint8_t {
  DIK_ESCAPE = 0x01,
  DIK_RETURN = 0x1C,
  DIK_LCONTROL = 0x1D,
  DIK_A = 0x1E,
  DIK_S = 0x1F,
  DIK_D = 0x20,
  DIK_LSHIFT = 0x2A,
  DIK_Z = 0x2C,
  DIK_X = 0x2D,
  DIK_C = 0x2E,
  DIK_Q = 0x10,
  DIK_RSHIFT = 0x36,
  DIK_LMENU = 0x38,
  DIK_SPACE = 0x39,
  DIK_F1 = 0x3B,
  DIK_NUMPAD7 = 0x47,
  DIK_NUMPAD8 = 0x48,
  DIK_NUMPAD9 = 0x49,
  DIK_NUMPAD4 = 0x4B,
  DIK_NUMPAD5 = 0x4C,
  DIK_NUMPAD6 = 0x4D,
  DIK_NUMPAD1 = 0x4F,
  DIK_NUMPAD2 = 0x50,
  DIK_NUMPAD3 = 0x51,
  DIK_NUMPAD0 = 0x52,
  DIK_NUMPADENTER = 0x9C,
  DIK_RCONTROL = 0x9D,
  DIK_RMENU = 0xB8,
  DIK_UP = 0xC8,
  DIK_LEFT = 0xCB,
  DIK_RIGHT = 0xCD,
  DIK_DOWN = 0xD0,
};

// Windows virtual-key codes the forms and the game name.
enum : int {
  VK_BACK = 0x08,
  VK_TAB = 0x09,
  VK_RETURN = 0x0D,
  VK_SHIFT = 0x10,
  VK_CONTROL = 0x11,
  VK_MENU = 0x12,
  VK_ESCAPE = 0x1B,
  VK_SPACE = 0x20,
  VK_PRIOR = 0x21,
  VK_NEXT = 0x22,
  VK_END = 0x23,
  VK_HOME = 0x24,
  VK_LEFT = 0x25,
  VK_UP = 0x26,
  VK_RIGHT = 0x27,
  VK_DOWN = 0x28,
  VK_F1 = 0x70,
  VK_F4 = 0x73,
};

}  // namespace host
