// Creating the host the program runs on: the SDL backend (a real window) or the
// headless one (no window, a virtual clock, scripted input).
#pragma once

#include <memory>
#include <stdexcept>
#include <string>

#include "platform/host/Host.h"

namespace host {

// A malformed input script: the message names the file and the line.
class ScriptError : public std::runtime_error {
  using std::runtime_error::runtime_error;
};

// The SDL backend could not start (no display, no video driver).
class HostStartError : public std::runtime_error {
  using std::runtime_error::runtime_error;
};

struct HeadlessOptions {
  std::string scriptPath;   // timed input, one event a line; empty: no input
  uint32_t clockStart = 0;  // the virtual clock's first reading
  int desktopWidth = 1024;
  int desktopHeight = 768;
  int desktopBitDepth = 32;
  AudioOutputOptions audio{};
  std::string audioOutPath{};  // not empty: everything the audio sink plays is written there as a WAV file
};

struct SdlOptions {
  AudioOutputOptions audio{};
};

// Installs its virtual clock as the process clock for its lifetime. Throws ScriptError, and
// HostStartError when the audio output file cannot be created.
std::unique_ptr<IHost> CreateHeadlessHost(const HeadlessOptions& options);

// Throws HostStartError when SDL's video cannot start.
std::unique_ptr<IHost> CreateSdlHost(const SdlOptions& options = {});

}  // namespace host
