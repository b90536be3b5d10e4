#include "common/DebugLog.h"

#include <cerrno>
#include <cstdio>

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
}

std::string TDebugUnit::Path() const { return win::ModuleDirectory() + fileName_; }

void TDebugUnit::Log(const std::string& message) {
  bool raise;
  {
    std::lock_guard lock(mutex_);
    if (write_) {
      const std::string path = Path();
      // Opened and closed for every line, so that the log survives a sudden end.
      std::FILE* f = std::fopen(path.c_str(), counter_ == 0 ? "wb" : "ab");
      if (!f) {
        int err = errno;
        throw rtl::EInOutError("I/O error " + std::to_string(err) + ": " + path, err);
      }
      ++counter_;
      std::string line = rtl::Format("debug#%.5d ... %s", counter_, win::Utf8ToAnsi(message).c_str());
      line += "\r\n";
      bool ok = std::fwrite(line.data(), 1, line.size(), f) == line.size();
      ok = (std::fclose(f) == 0) && ok;
      if (!ok) throw rtl::EInOutError("I/O error writing " + path, EIO);
    }
    raise = raise_ && third_;
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
