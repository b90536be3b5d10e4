#include "common/DataFiles.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/win/ModulePath.h"

namespace data {

int64_t MaxBytes(TDataKind kind) {
  constexpr int64_t MiB = 1024 * 1024;
  switch (kind) {
    case TDataKind::Mesh:
      return 16 * MiB;  // 65535 vertices of the widest vertex format and 65535 indices fit in 12 MiB
    case TDataKind::Bitmap:
      return 64 * MiB;  // the largest picture of the game is 640 x 480
    case TDataKind::Wave:
      return 64 * MiB;  // six minutes of 16-bit stereo at 44100 Hz; effects last a second or two
    case TDataKind::Music:
      return 1024 * MiB;  // an hour and a half of 16-bit stereo at 44100 Hz
    case TDataKind::Text:
      return 1 * MiB;  // four camera lines, a few dozen message lines
    case TDataKind::Archive:
      return 256 * MiB;
  }
  return 0;
}

std::string DescribeBytes(int64_t bytes) {
  char text[64];
  if (bytes >= 1024 * 1024 * 1024) {
    std::snprintf(text, sizeof text, "%lld bytes (%.1f GiB)", static_cast<long long>(bytes),
                  static_cast<double>(bytes) / (1024.0 * 1024 * 1024));
  } else if (bytes >= 1024 * 1024) {
    std::snprintf(text, sizeof text, "%lld bytes (%.1f MiB)", static_cast<long long>(bytes),
                  static_cast<double>(bytes) / (1024.0 * 1024));
  } else {
    std::snprintf(text, sizeof text, "%lld bytes", static_cast<long long>(bytes));
  }
  return text;
}

std::string ProbeProblem(const std::string& path, TDataKind kind) {
  const std::string resolved = win::ResolvePathCaseInsensitive(path);
  struct stat st {};
  if (::stat(resolved.c_str(), &st) != 0) {
    if (errno == ENOENT || errno == ENOTDIR) return "is missing";
    return std::string("cannot be examined (") + std::strerror(errno) + ")";
  }
  if (S_ISDIR(st.st_mode)) return "is a folder, not a file";
  // A pipe would keep the game waiting for a writer, a device would never end.
  if (!S_ISREG(st.st_mode)) return "is not a plain file (a device, pipe or socket)";
  if (st.st_size > MaxBytes(kind)) {
    return "is " + DescribeBytes(st.st_size) + ", more than the " + DescribeBytes(MaxBytes(kind)) +
           " such a file may have";
  }
  if (::access(resolved.c_str(), R_OK) != 0) return "cannot be read (no permission)";
  return {};
}

}  // namespace data
