#include "common/DebugLog.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "common/DataReport.h"
#include "platform/rtl/SysUtils.h"
#include "platform/win/CodePage.h"
#include "platform/win/ModulePath.h"

namespace dbg {

TDebugUnit::TDebugUnit(std::string fileName, std::function<void(const std::string&)> raise)
    : fileName_(std::move(fileName)), raise_(std::move(raise)) {}

void TDebugUnit::SetSwitches(uint32_t bits) {
  std::lock_guard lock(mutex_);
  halt_ = (bits & 1) != 0;
  write_ = (bits & 2) != 0;
  third_ = (bits & 4) != 0;
}

void TDebugUnit::ResetForTest(uint32_t bits) {
  SetSwitches(bits);
  std::lock_guard lock(mutex_);
  counter_ = 0;
  started_ = false;
}

std::string TDebugUnit::Path() const { return win::ModuleDirectory() + fileName_; }

namespace {

// Writes `line` to the log at `path`: the first line of a run replaces the file through a
// new file renamed over it, a later one is appended. On a full or read-only disk nothing
// of the old file is lost (a half-written line is cut off again); the reason is returned.
std::string WriteLogLine(const std::string& path, const std::string& line, bool first) {
  const std::string target = first ? path + ".new" : path;
  std::FILE* f = std::fopen(target.c_str(), first ? "wb" : "ab");
  if (!f) return std::strerror(errno);
  const long before = first ? 0 : std::ftell(f);
  bool ok = std::fwrite(line.data(), 1, line.size(), f) == line.size();
  ok = (std::fflush(f) == 0) && ok;
  int err = ok ? 0 : errno;
  if (!ok && !first && before >= 0) (void)::ftruncate(fileno(f), before);
  if (std::fclose(f) != 0 && ok) {
    ok = false;
    err = errno;
  }
  if (ok && first && std::rename(target.c_str(), path.c_str()) != 0) {
    ok = false;
    err = errno;
  }
  if (!ok && first) std::remove(target.c_str());
  return ok ? std::string() : std::strerror(err != 0 ? err : EIO);
}

}  // namespace

void TDebugUnit::Log(const std::string& message) {
  bool raise;
  std::string failure;
  std::string path;
  {
    std::lock_guard lock(mutex_);
    if (write_) {
      path = Path();
      ++counter_;
      std::string line = rtl::Format("debug#%.5d ... %s", counter_, win::Utf8ToAnsi(message).c_str());
      line += "\r\n";
      failure = WriteLogLine(path, line, !started_);
      if (failure.empty()) started_ = true;
    }
    raise = raise_ && third_;
  }
  // A log that cannot be written is no reason to stop the game: it is said once, and the
  // game goes on without the line.
  if (!failure.empty()) {
    data::Report(path, "cannot be written (" + failure + ")", data::TDataEffect::GoesOn,
                 "the game goes on without writing this log; what the file held is kept");
  }
  if (raise) raise_(message);
}

std::string ErrorCodeSuffix(HRESULT result) {
  return rtl::Format("(Error Code(%X))", static_cast<unsigned>(static_cast<uint32_t>(result)));
}

HRESULT TDebugUnit::Check(HRESULT result, const std::string& message) {
  if (result == 0) return 0;
  Log(message + ErrorCodeSuffix(result));
  if (HaltOnError()) rtl::Halt(1);
  return result;
}

}  // namespace dbg
