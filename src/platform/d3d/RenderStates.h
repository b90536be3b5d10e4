// The render and texture-stage states a device knows, their documented defaults, and which
// values it accepts and can draw.
#pragma once

#include "platform/d3d/D3D7.h"

namespace d3d::detail {

// What a device makes of a state value.
enum class StateCheck {
  Ok,           // accepted and drawn as asked
  Invalid,      // not a state of this interface, or a value outside the state's range
  Unsupported,  // a valid request the software devices cannot draw (a loud gap)
};

// The default of a render state; false for a state the device does not know.
// ZENABLE is on by default only when the render target had a z-buffer at creation.
bool RenderStateDefault(DWORD state, bool hasZBuffer, DWORD& value);
StateCheck CheckRenderState(DWORD state, DWORD value);
// The name used in gap reports.
const char* RenderStateName(DWORD state);

// The same for the texture-stage states of stage `stage` (0..7).
bool StageStateDefault(DWORD stage, DWORD state, DWORD& value);
StateCheck CheckStageState(DWORD stage, DWORD state, DWORD value);
const char* StageStateName(DWORD state);

}  // namespace d3d::detail
