// The timed input of headless runs. One event a line:
//   TICK down KEY
//   TICK up KEY
//   TICK mouse X Y [left] [right] [shift]
//   TICK blur MS      (the window loses the focus for MS milliseconds of the machine's time)
//   TICK audio lost   (the sound device goes away: the game plays on unheard)
//   TICK audio back   (a sound device is there again)
//   TICK surfaces lost MS   (another program takes the screen for MS milliseconds, as a
//                     mode switch or Ctrl+Alt+Del does: the window loses the focus, video
//                     memory is lost, and the window is painted when the focus comes back)
// TICK counts game ticks from the first tick of the idle loop; the events of tick T
// arrive just before tick T runs. KEY is a key name of KeyMap.h. '#' starts a comment.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/host/KeyMap.h"

namespace host {

struct ScriptEvent {
  enum class Kind { Down, Up, Mouse, Blur, AudioLost, AudioBack, SurfacesLost };
  uint64_t tick = 0;
  Kind kind = Kind::Down;
  KeyInfo key{};     // Down and Up
  int x = 0, y = 0;  // Mouse: client position; Blur, SurfacesLost: x is the time away in milliseconds
  bool left = false, right = false, shift = false;
};

// Parses a whole script; the events come back ordered by tick (file order within a tick).
// Throws ScriptError naming `fileName` and the line of the first mistake.
std::vector<ScriptEvent> ParseScript(std::string_view text, const std::string& fileName);

}  // namespace host
