// One run of the program: the host, the application, the main form and the loop,
// with the additions of the port (answered dialog, scripted input, statistics, frames).
#pragma once

#include <cstdint>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/CommandLine.h"

class TForm1;
class TOptionForm;
namespace forms {
class TForm;
class TApplication;
}  // namespace forms
namespace host {
class IHost;
}

// Runs the program with the given arguments (without the program name); returns the
// exit code. Errors are reported on `err` (and, with a window, in a message box).
int RunTavvyhop(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// Sets the options dialog's controls from the command line and gives the answer the
// command line asks for (nullopt: show the dialog). Any other form: nullopt.
struct DialogAnswer {
  static std::optional<int> Apply(forms::TForm& dialog, const TCommandLine& commandLine);
};

struct TSettings;
// The options dialog of a real window: preselected from the settings, skipped when the player
// said not to ask again (or --no-dialog), and its confirmed choices saved to `path`.
void KeepChoices(forms::TApplication& application, const TCommandLine& commandLine, TSettings& settings,
                 const std::string& path, std::ostream& err);
// A demo keeps a checksum of the game state every this many ticks.
inline constexpr uint64_t kStateChecksumEvery = 35;
// The checksum: the counters, the score, the ship's, enemies' and target's matrices, the pool
// cursors and the random generator's state.
uint32_t GameStateChecksum(const TForm1& form);
// The options dialog's answers as the command-line options that give them (a demo's settings).
std::vector<std::string> DialogSettings(const TOptionForm& dialog, bool ok, bool autopilot);

// The report of a time demo: ticks run back to back in `seconds`.
std::string TimeDemoLine(uint64_t ticks, double seconds);

// An application on `machine` whose options dialog is answered as the command line `answer`
// says: how the program, and tests and benchmarks that start a game of their own, begin.
std::unique_ptr<forms::TApplication> CreateAnsweringApplication(host::IHost& machine, const TCommandLine& answer);
