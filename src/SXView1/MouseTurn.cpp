#include "SXView1/MouseTurn.h"

namespace {

TAngle Stepped(int d, int& last) {
  if (d < -10) return -341;
  if (d > 10) return 341;
  last -= d;
  return 0;
}

}  // namespace

TMouseTurn MouseTurnStep(int dx, int dy, bool shift, int& lastX, int& lastY) {
  TMouseTurn t;
  if (shift) {
    t.ax = Stepped(dx, lastX);
    t.ay = Stepped(dy, lastY);
  } else {
    t.ax = 4 * dx;
    t.ay = 4 * dy;
  }
  return t;
}
