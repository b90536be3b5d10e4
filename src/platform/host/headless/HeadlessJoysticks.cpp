// The headless machine has no joysticks plugged in: its input is the keyboard and the
// mouse of the input script.
#include "platform/host/Backends.h"

namespace host {
namespace {

class HeadlessJoysticks final : public IJoysticks {
 public:
  int Count() override { return 0; }
  JoystickInfo Info(int) override { return {}; }
  bool State(int, JoystickState&) override { return false; }
};

}  // namespace

std::unique_ptr<IJoysticks> CreateHeadlessJoysticks() { return std::make_unique<HeadlessJoysticks>(); }

}  // namespace host
