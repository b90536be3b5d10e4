#include "platform/win/FileOpenHook.h"

#include <mutex>

namespace win {
namespace {

// Process-wide, like the file system it watches.
std::mutex g_mutex;
FileOpenObserver g_observer;

}  // namespace

FileOpenObserver SetFileOpenObserver(FileOpenObserver observer) {
  std::lock_guard lock(g_mutex);
  std::swap(g_observer, observer);
  return observer;
}

void NoteFileOpenedForReading(const std::string& path) {
  FileOpenObserver observer;
  {
    std::lock_guard lock(g_mutex);
    if (!g_observer) return;
    observer = g_observer;
  }
  observer(path);
}

}  // namespace win
