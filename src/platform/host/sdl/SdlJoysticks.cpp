// Joysticks of the real machine through SDL's joystick layer (raw axes, hats, buttons).
// A pad that SDL's game-controller layer knows (its built-in mapping database: Xbox,
// PlayStation, Switch-style and many generic pads) is read in one fixed layout instead:
//   X, Y       left stick, or the d-pad (the d-pad wins while held)
//   Rx, Ry     right stick; sliders 0 and 1: left and right trigger; POV 0: the d-pad
//   buttons 0..5  fire, afterburner, thrust, missiles, blade, view: by default A, B, X, Y,
//              right shoulder, left shoulder (the settings can name others)
//   buttons 6, 7  start, back
#include <SDL.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "platform/host/Backends.h"
#include "platform/host/Comforts.h"

namespace host {
namespace {

int32_t PovFromHat(Uint8 hat) {
  switch (hat) {
    case SDL_HAT_UP:
      return 0;
    case SDL_HAT_RIGHTUP:
      return 4500;
    case SDL_HAT_RIGHT:
      return 9000;
    case SDL_HAT_RIGHTDOWN:
      return 13500;
    case SDL_HAT_DOWN:
      return 18000;
    case SDL_HAT_LEFTDOWN:
      return 22500;
    case SDL_HAT_LEFT:
      return 27000;
    case SDL_HAT_LEFTUP:
      return 31500;
    default:
      return -1;  // centred (or an impossible combination)
  }
}

class SdlJoysticks final : public IJoysticks {
 public:
  explicit SdlJoysticks(const std::array<std::string, 6>& padButtons) {
    for (size_t i = 0; i < padButtons.size(); ++i) {
      padButtons_[i] = SDL_GameControllerGetButtonFromString(padButtons[i].c_str());
    }
    SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER);
    ready_ = SDL_InitSubSystem(SDL_INIT_JOYSTICK) == 0;
    if (!ready_) {
      std::fprintf(stderr, "host: no joysticks (SDL joystick subsystem: %s)\n", SDL_GetError());
      return;
    }
    std::lock_guard lock(mutex_);
    Refresh();
  }

  ~SdlJoysticks() override {
    for (Slot& slot : slots_) {
      if (slot.pad) {
        SDL_GameControllerClose(slot.pad);
      } else {
        SDL_JoystickClose(slot.joystick);
      }
    }
    SDL_QuitSubSystem(SDL_INIT_GAMECONTROLLER);
    if (ready_) SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
  }

  SdlJoysticks(const SdlJoysticks&) = delete;
  SdlJoysticks& operator=(const SdlJoysticks&) = delete;

  int Count() override {
    std::lock_guard lock(mutex_);
    Refresh();
    return static_cast<int>(slots_.size());
  }

  JoystickInfo Info(int index) override {
    std::lock_guard lock(mutex_);
    if (index < 0 || index >= static_cast<int>(slots_.size())) return {};
    return slots_[index].info;
  }

  bool State(int index, JoystickState& state) override {
    std::lock_guard lock(mutex_);
    if (index < 0 || index >= static_cast<int>(slots_.size())) return false;
    SDL_Joystick* js = slots_[index].joystick;
    SDL_JoystickUpdate();
    if (!SDL_JoystickGetAttached(js)) return false;
    state = JoystickState{};
    if (SDL_GameController* pad = slots_[index].pad) {
      PadState(pad, state);
      return true;
    }
    const int axes = std::min(SDL_JoystickNumAxes(js), 8);
    for (int i = 0; i < axes; ++i) state.axes[i] = SDL_JoystickGetAxis(js, i);
    const int hats = std::min(SDL_JoystickNumHats(js), 4);
    for (int i = 0; i < hats; ++i) state.hats[i] = PovFromHat(SDL_JoystickGetHat(js, i));
    const int buttons = std::min(SDL_JoystickNumButtons(js), 32);
    for (int i = 0; i < buttons; ++i) state.buttons[i] = SDL_JoystickGetButton(js, i) ? 0x80 : 0;
    return true;
  }

 private:
  struct Slot {
    SDL_JoystickID id;
    SDL_Joystick* joystick;
    JoystickInfo info;
    SDL_GameController* pad = nullptr;  // a known pad: read in the fixed layout
  };

  void PadState(SDL_GameController* pad, JoystickState& state) const {
    auto axis = [pad](SDL_GameControllerAxis a) { return int32_t{SDL_GameControllerGetAxis(pad, a)}; };
    auto held = [pad](SDL_GameControllerButton b) {
      return b != SDL_CONTROLLER_BUTTON_INVALID && SDL_GameControllerGetButton(pad, b) != 0;
    };
    const bool up = held(SDL_CONTROLLER_BUTTON_DPAD_UP), down = held(SDL_CONTROLLER_BUTTON_DPAD_DOWN);
    const bool left = held(SDL_CONTROLLER_BUTTON_DPAD_LEFT), right = held(SDL_CONTROLLER_BUTTON_DPAD_RIGHT);
    state.axes[0] = left != right ? (left ? -32767 : 32767) : axis(SDL_CONTROLLER_AXIS_LEFTX);
    state.axes[1] = up != down ? (up ? -32767 : 32767) : axis(SDL_CONTROLLER_AXIS_LEFTY);
    state.axes[3] = axis(SDL_CONTROLLER_AXIS_RIGHTX);
    state.axes[4] = axis(SDL_CONTROLLER_AXIS_RIGHTY);
    state.axes[6] = axis(SDL_CONTROLLER_AXIS_TRIGGERLEFT);
    state.axes[7] = axis(SDL_CONTROLLER_AXIS_TRIGGERRIGHT);
    Uint8 hat = SDL_HAT_CENTERED;
    if (up) hat |= SDL_HAT_UP;
    if (down) hat |= SDL_HAT_DOWN;
    if (left) hat |= SDL_HAT_LEFT;
    if (right) hat |= SDL_HAT_RIGHT;
    state.hats[0] = PovFromHat(hat);
    for (size_t i = 0; i < padButtons_.size(); ++i) state.buttons[i] = held(padButtons_[i]) ? 0x80 : 0;
    state.buttons[6] = held(SDL_CONTROLLER_BUTTON_START) ? 0x80 : 0;
    state.buttons[7] = held(SDL_CONTROLLER_BUTTON_BACK) ? 0x80 : 0;
  }

  // Opens the sticks that were plugged in since the last look. Slots are never reused, so
  // a slot number keeps naming the same stick; an unplugged one just stops delivering.
  void Refresh() {
    if (!ready_) return;
    SDL_JoystickUpdate();
    const int n = SDL_NumJoysticks();
    for (int i = 0; i < n; ++i) {
      const SDL_JoystickID id = SDL_JoystickGetDeviceInstanceID(i);
      bool known = false;
      for (const Slot& slot : slots_) known = known || slot.id == id;
      if (known) continue;
      SDL_GameController* pad = SDL_IsGameController(i) ? SDL_GameControllerOpen(i) : nullptr;
      SDL_Joystick* js = pad ? SDL_GameControllerGetJoystick(pad) : SDL_JoystickOpen(i);
      if (!js) continue;
      JoystickInfo info;
      const char* name = pad ? SDL_GameControllerName(pad) : SDL_JoystickName(js);
      info.productName = name && *name ? name : "Joystick";
      info.instanceName = info.productName;
      info.axes = std::max(SDL_JoystickNumAxes(js), 0);
      info.buttons = std::max(SDL_JoystickNumButtons(js), 0);
      info.hats = std::max(SDL_JoystickNumHats(js), 0);
      info.forceFeedback = SDL_JoystickIsHaptic(js) == SDL_TRUE || SDL_JoystickHasRumble(js) == SDL_TRUE;
      if (pad) {
        info.axes = 8;
        info.buttons = 8;
        info.hats = 1;
      }
      slots_.push_back({id, js, std::move(info), pad});
    }
  }

  std::mutex mutex_;
  bool ready_ = false;
  std::array<SDL_GameControllerButton, 6> padButtons_{};
  std::vector<Slot> slots_;
};

}  // namespace

std::unique_ptr<IJoysticks> CreateSdlJoysticks(const std::array<std::string, 6>& padButtons) {
  return std::make_unique<SdlJoysticks>(padButtons);
}

}  // namespace host
