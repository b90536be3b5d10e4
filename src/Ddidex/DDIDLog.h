// The input unit's diagnostic log ("ddid.debug"), result check and exception.
#pragma once

#include <string>

#include "common/DebugLog.h"
#include "platform/rtl/SysUtils.h"

class EDDID : public rtl::Exception {
 public:
  using rtl::Exception::Exception;
};

enum TDDIDDebugOptionBit : uint32_t {
  dioHaltOnError = 1u << 0,
  dioDebugMessage = 1u << 1,
  dioExceptOnError = 1u << 2,
};
using TDDIDDebugOption = uint32_t;

dbg::TDebugUnit& DDIDDebugUnit();

// Writes a line when dioDebugMessage is set; raises EDDID afterwards when dioExceptOnError is set.
void DDIDLog(const std::string& message);
HRESULT DDIDCheck(HRESULT result, const std::string& message);
