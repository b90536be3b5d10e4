#include "platform/host/KeyMap.h"

#include <array>
#include <cctype>

namespace host {
namespace {

// name, USB usage (SDL scancode), virtual key, DirectInput code.
constexpr KeyInfo kKeys[] = {
    {"A", 4, 'A', 0x1E},
    {"B", 5, 'B', 0x30},
    {"C", 6, 'C', 0x2E},
    {"D", 7, 'D', 0x20},
    {"E", 8, 'E', 0x12},
    {"F", 9, 'F', 0x21},
    {"G", 10, 'G', 0x22},
    {"H", 11, 'H', 0x23},
    {"I", 12, 'I', 0x17},
    {"J", 13, 'J', 0x24},
    {"K", 14, 'K', 0x25},
    {"L", 15, 'L', 0x26},
    {"M", 16, 'M', 0x32},
    {"N", 17, 'N', 0x31},
    {"O", 18, 'O', 0x18},
    {"P", 19, 'P', 0x19},
    {"Q", 20, 'Q', 0x10},
    {"R", 21, 'R', 0x13},
    {"S", 22, 'S', 0x1F},
    {"T", 23, 'T', 0x14},
    {"U", 24, 'U', 0x16},
    {"V", 25, 'V', 0x2F},
    {"W", 26, 'W', 0x11},
    {"X", 27, 'X', 0x2D},
    {"Y", 28, 'Y', 0x15},
    {"Z", 29, 'Z', 0x2C},
    {"1", 30, '1', 0x02},
    {"2", 31, '2', 0x03},
    {"3", 32, '3', 0x04},
    {"4", 33, '4', 0x05},
    {"5", 34, '5', 0x06},
    {"6", 35, '6', 0x07},
    {"7", 36, '7', 0x08},
    {"8", 37, '8', 0x09},
    {"9", 38, '9', 0x0A},
    {"0", 39, '0', 0x0B},
    {"Enter", 40, 0x0D, 0x1C},
    {"Escape", 41, 0x1B, 0x01},
    {"Backspace", 42, 0x08, 0x0E},
    {"Tab", 43, 0x09, 0x0F},
    {"Space", 44, 0x20, 0x39},
    {"Minus", 45, 0xBD, 0x0C},
    {"Equals", 46, 0xBB, 0x0D},
    {"LeftBracket", 47, 0xDB, 0x1A},
    {"RightBracket", 48, 0xDD, 0x1B},
    {"Backslash", 49, 0xDC, 0x2B},
    {"Semicolon", 51, 0xBA, 0x27},
    {"Apostrophe", 52, 0xDE, 0x28},
    {"Grave", 53, 0xC0, 0x29},
    {"Comma", 54, 0xBC, 0x33},
    {"Period", 55, 0xBE, 0x34},
    {"Slash", 56, 0xBF, 0x35},
    {"CapsLock", 57, 0x14, 0x3A},
    {"F1", 58, 0x70, 0x3B},
    {"F2", 59, 0x71, 0x3C},
    {"F3", 60, 0x72, 0x3D},
    {"F4", 61, 0x73, 0x3E},
    {"F5", 62, 0x74, 0x3F},
    {"F6", 63, 0x75, 0x40},
    {"F7", 64, 0x76, 0x41},
    {"F8", 65, 0x77, 0x42},
    {"F9", 66, 0x78, 0x43},
    {"F10", 67, 0x79, 0x44},
    {"F11", 68, 0x7A, 0x57},
    {"F12", 69, 0x7B, 0x58},
    {"PrintScreen", 70, 0x2C, 0xB7},
    {"ScrollLock", 71, 0x91, 0x46},
    {"Pause", 72, 0x13, 0xC5},
    {"Insert", 73, 0x2D, 0xD2},
    {"Home", 74, 0x24, 0xC7},
    {"PageUp", 75, 0x21, 0xC9},
    {"Delete", 76, 0x2E, 0xD3},
    {"End", 77, 0x23, 0xCF},
    {"PageDown", 78, 0x22, 0xD1},
    {"Right", 79, 0x27, 0xCD},
    {"Left", 80, 0x25, 0xCB},
    {"Down", 81, 0x28, 0xD0},
    {"Up", 82, 0x26, 0xC8},
    {"NumLock", 83, 0x90, 0x45},
    {"KPDivide", 84, 0x6F, 0xB5},
    {"KPMultiply", 85, 0x6A, 0x37},
    {"KPMinus", 86, 0x6D, 0x4A},
    {"KPPlus", 87, 0x6B, 0x4E},
    {"KPEnter", 88, 0x0D, 0x9C},
    {"KP1", 89, 0x61, 0x4F},
    {"KP2", 90, 0x62, 0x50},
    {"KP3", 91, 0x63, 0x51},
    {"KP4", 92, 0x64, 0x4B},
    {"KP5", 93, 0x65, 0x4C},
    {"KP6", 94, 0x66, 0x4D},
    {"KP7", 95, 0x67, 0x47},
    {"KP8", 96, 0x68, 0x48},
    {"KP9", 97, 0x69, 0x49},
    {"KP0", 98, 0x60, 0x52},
    {"KPPeriod", 99, 0x6E, 0x53},
    {"NonUSBackslash", 100, 0xE2, 0x56},
    {"Menu", 101, 0x5D, 0xDD},
    // The keys of a Japanese keyboard.
    {"Ro", 135, 0xE2, 0x73},
    {"Kana", 136, 0x15, 0x70},
    {"Yen", 137, 0xDC, 0x7D},
    {"Henkan", 138, 0x1C, 0x79},
    {"Muhenkan", 139, 0x1D, 0x7B},
    {"LCtrl", 224, 0x11, 0x1D},
    {"LShift", 225, 0x10, 0x2A},
    {"LAlt", 226, 0x12, 0x38},
    {"LWin", 227, 0x5B, 0xDB},
    {"RCtrl", 228, 0x11, 0x9D},
    {"RShift", 229, 0x10, 0x36},
    {"RAlt", 230, 0x12, 0xB8},
    {"RWin", 231, 0x5C, 0xDC},
};

struct Alias {
  std::string_view alias;
  std::string_view name;
};
constexpr Alias kAliases[] = {
    {"Return", "Enter"},  {"Esc", "Escape"},    {"Shift", "LShift"}, {"Ctrl", "LCtrl"},
    {"Control", "LCtrl"}, {"Alt", "LAlt"},      {"KPAdd", "KPPlus"}, {"KPSubtract", "KPMinus"},
    {"PgUp", "PageUp"},   {"PgDn", "PageDown"}, {"Del", "Delete"},   {"Ins", "Insert"},
};

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  }
  return true;
}

}  // namespace

std::optional<KeyInfo> KeyByName(std::string_view name) {
  for (const Alias& a : kAliases) {
    if (SameName(a.alias, name)) {
      name = a.name;
      break;
    }
  }
  for (const KeyInfo& k : kKeys) {
    if (SameName(k.name, name)) return k;
  }
  return std::nullopt;
}

std::optional<KeyInfo> KeyByUsage(int usage) {
  for (const KeyInfo& k : kKeys) {
    if (k.usage == usage) return k;
  }
  return std::nullopt;
}

std::optional<KeyInfo> KeyByVk(int vk) {
  for (const KeyInfo& k : kKeys) {
    if (k.vk == vk) return k;
  }
  return std::nullopt;
}

}  // namespace host
