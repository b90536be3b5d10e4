// The pieces each backend is built from. Audio and joysticks live in files of their
// own so that they can grow independently of the window and event code.
#pragma once

#include <memory>
#include <string>

#include "platform/host/Host.h"

namespace host {

std::unique_ptr<IAudioDevice> CreateSdlAudio(const AudioOutputOptions& options = {});
// Throws HostStartError when `outPath` is given and cannot be created.
std::unique_ptr<IAudioDevice> CreateHeadlessAudio(win::VirtualClock& clock, const AudioOutputOptions& options = {},
                                                  const std::string& outPath = {});
// A machine without a sound card.
std::unique_ptr<IAudioDevice> CreateNoAudio();

std::unique_ptr<IJoysticks> CreateSdlJoysticks();
std::unique_ptr<IJoysticks> CreateHeadlessJoysticks();

}  // namespace host
