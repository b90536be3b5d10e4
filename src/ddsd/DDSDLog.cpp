#include "ddsd/DDSDLog.h"

dbg::TDebugUnit& DDSDDebugUnit() {
  static dbg::TDebugUnit unit("ddsd.debug", [](const std::string& m) { throw EDDSD(m); });
  return unit;
}

void DDSDLog(const std::string& message) { DDSDDebugUnit().Log(message); }

HRESULT DDSDCheck(HRESULT result, const std::string& message) { return DDSDDebugUnit().Check(result, message); }

void DDSDCheckInDestructor(HRESULT result, const std::string& message) noexcept {
  try {
    DDSDCheck(result, message);
  } catch (...) {
  }
}
