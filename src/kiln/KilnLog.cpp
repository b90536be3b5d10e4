#include "kiln/KilnLog.h"

dbg::TDebugUnit& KilnDebugUnit() {
  // Until a component applies its DebugOption: halt on, write on, detail off.
  static dbg::TDebugUnit unit("kiln.debug", nullptr);
  return unit;
}

void KilnLog(const std::string& message) { KilnDebugUnit().Log(message); }

void KilnDetailLog(const std::string& message) {
  if (KilnDebugUnit().ThirdSwitch()) KilnLog(message);
}

HRESULT KilnCheck(HRESULT result, const std::string& message) { return KilnDebugUnit().Check(result, message); }
