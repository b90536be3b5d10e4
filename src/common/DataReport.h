// Telling the player about a broken data folder.
//
// A data problem is said on the standard error stream and, when the program has a
// window, in a message box: which file, what is wrong with it and what the game does
// about it. Each file is spoken of once a run, however often it is read. The lines of
// the diagnostic logs are written as before, beside this.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace data {

// The exit code of a run that stopped over a missing or broken data file.
constexpr int kDataProblemExitCode = 3;

enum class TDataEffect {
  Stops,   // the game cannot do without the file: it stops
  GoesOn,  // the game goes on without it (or with what it could read)
};

struct TDataProblem {
  std::string path;
  std::string what;  // "is missing", "is not an SX mesh", ...
  TDataEffect effect = TDataEffect::Stops;
  std::string consequence;  // what the game does; a default by effect when empty
};

// "PATH: WHAT; CONSEQUENCE."
std::string Describe(const TDataProblem& problem);

// Where reports go: every batch of new problems at once (a message box shows one batch).
// Without a sink they are written to the standard error stream.
using TDataSink = std::function<void(const std::vector<TDataProblem>&)>;
void SetDataSink(TDataSink sink);

// Says the problems of files not spoken of yet this run; returns those that were new.
std::vector<TDataProblem> Report(std::vector<TDataProblem> problems);
void Report(const std::string& path, const std::string& what, TDataEffect effect, const std::string& consequence = {});

// Says the problem (if not said yet) and ends the program with kDataProblemExitCode.
[[noreturn]] void Stop(const std::string& path, const std::string& what);

// True when `path` has been spoken of this run.
bool Reported(const std::string& path);

// A new run: nothing said yet (the program starts one for each session).
void ForgetReports();

}  // namespace data
