// The command line of the port. Without options the program behaves as the Windows
// program did: a real window and the options dialog.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

// The options dialog's choices (the defaults are the dialog's own).
struct TDialogChoices {
  bool FullScreen = true;
  bool NoHal = false;
  bool NoMmx = false;
  bool NoTnlHal = false;
  bool Flat = false;
  bool Specular = true;
  int Lives = 3;
};

struct TCommandLine : TDialogChoices {
  bool Headless = false;
  std::optional<bool> Ok;  // --ok (true) or --cancel (false); headless runs answer OK by default
  std::optional<uint32_t> Seed;
  std::string Script;
  std::optional<uint64_t> Ticks;
  std::string Frames;
  int FrameEvery = 1;
  std::string FrameHashes;  // --frame-hashes=FILE: a hash of the picture every FrameEvery ticks
  std::string Stats;
  std::string Data;
  bool Autopilot = false;
  bool TimeDemo = false;
  std::string Record;        // --record=FILE: write a demo of this run
  std::string PlayDemo;      // --playdemo=FILE: play a demo back
  std::string TimeDemoFile;  // --timedemo=FILE: play a demo back headless, as fast as possible
  bool AudioLimiter = true;
  int AudioRunAheadMs = 0;  // --audio-run-ahead=MS (a real sound output only)
  std::string AudioOut;
  std::optional<int> RenderThreads;  // --render-threads=N, 1..4
  int RenderScale = 1;               // --render-scale=1..4, 0 for auto
  bool Help = false;
  // The port's conveniences of a real window.
  bool NoDialog = false;     // start with the saved choices, without the dialog
  std::string Language;      // "ja" or "en"; empty: the settings, then the locale
  std::string SettingsFile;  // instead of the user's settings file
  bool Version = false;
};

class ECommandLine : public std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Throws ECommandLine naming the option that is wrong. Options not given keep the values of `base`.
TCommandLine ParseCommandLine(const std::vector<std::string>& args, const TCommandLine& base = {});
std::string HelpText();
