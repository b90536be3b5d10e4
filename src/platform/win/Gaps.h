// The stand-ins' one way of saying that a call the port does not implement was made: a line
// "<unit>: <what> is not supported" on the standard error stream, once per reporter and gap.
// The call itself then returns the platform's "not supported" result; it never pretends to
// succeed.
#pragma once

#include <mutex>
#include <set>
#include <string>

namespace win {

class GapReporter {
 public:
  explicit GapReporter(std::string unit) : unit_(std::move(unit)) {}
  // Writes the line the first time `what` is reported; true then.
  bool Report(const std::string& what);

 private:
  std::string unit_;
  std::mutex mutex_;
  std::set<std::string> told_;
};

}  // namespace win
