// The display unit's diagnostic log ("kiln.debug") and result check.
#pragma once

#include <string>

#include "common/DebugLog.h"

// The switch set of the display component's DebugOption.
enum TKilnDebugOptionBit : uint32_t {
  ddoHaltOnError = 1u << 0,
  ddoDebugMessage = 1u << 1,
  ddoDetailedLog = 1u << 2,
};
using TKilnDebugOption = uint32_t;

dbg::TDebugUnit& KilnDebugUnit();

void KilnLog(const std::string& message);
// Written only when both ddoDetailedLog and ddoDebugMessage are set.
void KilnDetailLog(const std::string& message);
HRESULT KilnCheck(HRESULT result, const std::string& message);
