#include "platform/win/WinWindows.h"

#include <map>
#include <mutex>

namespace win {

namespace {

// Process-wide by nature: the set of a process's windows. Sound and input may ask from
// other threads than the one that makes windows, hence the lock.
struct Registry {
  std::mutex mutex;
  std::map<HWND, int> count;
};

Registry& Windows() {
  static Registry registry;
  return registry;
}

}  // namespace

bool IsWindow(HWND window) {
  if (!window) return false;
  Registry& r = Windows();
  std::lock_guard lock(r.mutex);
  return r.count.count(window) != 0;
}

WindowRegistration::WindowRegistration(HWND window) : window_(window) {
  if (!window_) return;
  Registry& r = Windows();
  std::lock_guard lock(r.mutex);
  ++r.count[window_];
}

WindowRegistration::~WindowRegistration() {
  if (!window_) return;
  Registry& r = Windows();
  std::lock_guard lock(r.mutex);
  auto it = r.count.find(window_);
  if (it != r.count.end() && --it->second == 0) r.count.erase(it);
}

}  // namespace win
