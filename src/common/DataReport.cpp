#include "common/DataReport.h"

#include <iostream>
#include <mutex>
#include <set>

#include "platform/rtl/SysUtils.h"

namespace data {
namespace {

// The reports of the run: process-wide like the diagnostic log switches. The sound
// thread never reports; the lock only keeps a stray caller from tearing the set.
struct Reports {
  std::mutex mutex;
  std::set<std::string> said;
  TDataSink sink;
};

Reports& State() {
  static Reports reports;
  return reports;
}

}  // namespace

std::string Describe(const TDataProblem& p) {
  std::string consequence = p.consequence;
  if (consequence.empty()) {
    consequence =
        p.effect == TDataEffect::Stops ? "the game cannot do without it and stops" : "the game goes on without it";
  }
  return p.path + ": " + p.what + "; " + consequence + ".";
}

void SetDataSink(TDataSink sink) {
  std::lock_guard lock(State().mutex);
  State().sink = std::move(sink);
}

std::vector<TDataProblem> Report(std::vector<TDataProblem> problems) {
  std::vector<TDataProblem> fresh;
  TDataSink sink;
  {
    std::lock_guard lock(State().mutex);
    for (TDataProblem& p : problems) {
      if (State().said.insert(p.path).second) fresh.push_back(std::move(p));
    }
    sink = State().sink;
  }
  if (fresh.empty()) return fresh;
  if (sink) {
    sink(fresh);
  } else {
    for (const TDataProblem& p : fresh) std::cerr << "tavvyhop: " << Describe(p) << '\n';
  }
  return fresh;
}

void Report(const std::string& path, const std::string& what, TDataEffect effect, const std::string& consequence) {
  Report(std::vector<TDataProblem>{{path, what, effect, consequence}});
}

void Stop(const std::string& path, const std::string& what) {
  Report(path, what, TDataEffect::Stops);
  rtl::Halt(kDataProblemExitCode);
}

bool Reported(const std::string& path) {
  std::lock_guard lock(State().mutex);
  return State().said.count(path) != 0;
}

void ForgetReports() {
  std::lock_guard lock(State().mutex);
  State().said.clear();
}

}  // namespace data
