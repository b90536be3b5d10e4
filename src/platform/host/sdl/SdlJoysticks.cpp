// Joysticks of the real machine through SDL's joystick layer (raw axes, hats, buttons).
#include <SDL.h>

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <vector>

#include "platform/host/Backends.h"

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
  SdlJoysticks() {
    ready_ = SDL_InitSubSystem(SDL_INIT_JOYSTICK) == 0;
    if (!ready_) {
      std::fprintf(stderr, "host: no joysticks (SDL joystick subsystem: %s)\n", SDL_GetError());
      return;
    }
    std::lock_guard lock(mutex_);
    Refresh();
  }

  ~SdlJoysticks() override {
    for (Slot& slot : slots_) SDL_JoystickClose(slot.joystick);
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
  };

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
      SDL_Joystick* js = SDL_JoystickOpen(i);
      if (!js) continue;
      JoystickInfo info;
      const char* name = SDL_JoystickName(js);
      info.productName = name && *name ? name : "Joystick";
      info.instanceName = info.productName;
      info.axes = std::max(SDL_JoystickNumAxes(js), 0);
      info.buttons = std::max(SDL_JoystickNumButtons(js), 0);
      info.hats = std::max(SDL_JoystickNumHats(js), 0);
      info.forceFeedback = SDL_JoystickIsHaptic(js) == SDL_TRUE || SDL_JoystickHasRumble(js) == SDL_TRUE;
      slots_.push_back({id, js, std::move(info)});
    }
  }

  std::mutex mutex_;
  bool ready_ = false;
  std::vector<Slot> slots_;
};

}  // namespace

std::unique_ptr<IJoysticks> CreateSdlJoysticks() { return std::make_unique<SdlJoysticks>(); }

}  // namespace host
