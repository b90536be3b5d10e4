#include "platform/win/Gaps.h"

#include <cstdio>

namespace win {

bool GapReporter::Report(const std::string& what) {
  {
    std::lock_guard lock(mutex_);
    if (!told_.insert(what).second) return false;
  }
  std::fprintf(stderr, "%s: %s is not supported\n", unit_.c_str(), what.c_str());
  return true;
}

}  // namespace win
