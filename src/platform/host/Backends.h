// The pieces each backend is built from. Audio and joysticks live in files of their
// own so that they can grow independently of the window and event code.
#pragma once

#include <array>
#include <memory>
#include <string>

#include "platform/host/Comforts.h"
#include "platform/host/Host.h"

namespace host {

std::unique_ptr<IAudioDevice> CreateSdlAudio(const AudioOutputOptions& options = {});
// Throws HostStartError when `outPath` is given and cannot be created.
std::unique_ptr<IAudioDevice> CreateHeadlessAudio(win::VirtualClock& clock, const AudioOutputOptions& options = {},
                                                  const std::string& outPath = {});
// A machine without a sound card.
std::unique_ptr<IAudioDevice> CreateNoAudio();

// Known game pads are read in a fixed layout; `padButtons` name (in SDL's words: "a", "b",
// "x", "y", "leftshoulder", ...) the pad buttons of joystick buttons 0..5.
std::unique_ptr<IJoysticks> CreateSdlJoysticks(
    const std::array<std::string, 6>& padButtons = ComfortSettings{}.padButtons);
std::unique_ptr<IJoysticks> CreateHeadlessJoysticks();

}  // namespace host
