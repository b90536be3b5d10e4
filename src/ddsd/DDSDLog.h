// The sound unit's diagnostic log ("ddsd.debug"), result check and exception.
#pragma once

#include <string>

#include "common/DebugLog.h"
#include "platform/rtl/SysUtils.h"

class EDDSD : public rtl::Exception {
 public:
  using rtl::Exception::Exception;
};

enum TDDSDDebugOptionBit : uint32_t {
  dsoHaltOnError = 1u << 0,
  dsoDebugMessage = 1u << 1,
  dsoExceptOnError = 1u << 2,
};
using TDDSDDebugOption = uint32_t;

dbg::TDebugUnit& DDSDDebugUnit();

// Writes a line when dsoDebugMessage is set; raises EDDSD afterwards when dsoExceptOnError is set.
void DDSDLog(const std::string& message);
HRESULT DDSDCheck(HRESULT result, const std::string& message);

// The check for releases made while an object is being destroyed: the line is
// written as by DDSDCheck, but neither the halt nor EDDSD can leave a destructor,
// so they end here; the log keeps the failure.
void DDSDCheckInDestructor(HRESULT result, const std::string& message) noexcept;
