#include "Ddidex/DDIDLog.h"

dbg::TDebugUnit& DDIDDebugUnit() {
  static dbg::TDebugUnit unit("ddid.debug", [](const std::string& m) { throw EDDID(m); });
  return unit;
}

void DDIDLog(const std::string& message) { DDIDDebugUnit().Log(message); }

HRESULT DDIDCheck(HRESULT result, const std::string& message) { return DDIDDebugUnit().Check(result, message); }
