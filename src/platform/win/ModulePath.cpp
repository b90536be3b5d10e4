#include "platform/win/ModulePath.h"

#include <dirent.h>
#include <strings.h>
#include <unistd.h>

#include <mutex>
#include <vector>

namespace win {
namespace {

std::mutex g_overrideMutex;
std::string g_override;

std::string RealModuleDirectory() {
  std::vector<char> buf(4096);
  ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size() - 1);
  if (n <= 0) return "./";
  std::string path(buf.data(), static_cast<size_t>(n));
  auto slash = path.find_last_of('/');
  return slash == std::string::npos ? "./" : path.substr(0, slash + 1);
}

bool Exists(const std::string& p) { return access(p.c_str(), F_OK) == 0; }

}  // namespace

std::string ModuleDirectory() {
  {
    std::lock_guard lock(g_overrideMutex);
    if (!g_override.empty()) return g_override;
  }
  static const std::string real = RealModuleDirectory();
  return real;
}

void SetModuleDirectoryOverride(const std::string& dir) {
  std::lock_guard lock(g_overrideMutex);
  g_override = dir;
  if (!g_override.empty() && g_override.back() != '/') g_override += '/';
}

std::string ResolvePathCaseInsensitive(const std::string& path) {
  if (path.empty() || Exists(path)) return path;
  // Resolve component by component, so "Data/EARTH.BMP" finds "data/earth.bmp".
  std::string resolved = path[0] == '/' ? "/" : "";
  size_t pos = path[0] == '/' ? 1 : 0;
  while (pos <= path.size()) {
    size_t next = path.find('/', pos);
    if (next == std::string::npos) next = path.size();
    std::string part = path.substr(pos, next - pos);
    pos = next + 1;
    if (part.empty()) continue;
    std::string candidate = resolved + part;
    if (!Exists(candidate)) {
      DIR* d = opendir(resolved.empty() ? "." : resolved.c_str());
      if (!d) return path;
      bool found = false;
      while (dirent* ent = readdir(d)) {
        if (strcasecmp(ent->d_name, part.c_str()) == 0) {
          candidate = resolved + ent->d_name;
          found = true;
          break;
        }
      }
      closedir(d);
      if (!found) return path;
    }
    resolved = candidate;
    if (pos <= path.size()) resolved += '/';
  }
  return resolved;
}

}  // namespace win
