// The right-drag camera turn of the mouse handler: how much one mouse event turns
// the camera, in 1/4096 of a turn about the y and x axes.
#pragma once

#include "s_MathPack/s_MathPack.h"

struct TMouseTurn {
  TAngle ax = 0;  // about y, from the horizontal motion
  TAngle ay = 0;  // about x, from the vertical motion
};

// dx, dy: this event's motion against the last position; lastX, lastY: the last
// position, already moved to this event's place. Without Shift the turn follows the
// motion (4 units a pixel). With Shift it comes in 341-unit steps (about 30 degrees)
// once a motion passes 10 pixels; a smaller motion is not used up: the last position
// is moved back, so it adds up over the following events.
TMouseTurn MouseTurnStep(int dx, int dy, bool shift, int& lastX, int& lastY);
