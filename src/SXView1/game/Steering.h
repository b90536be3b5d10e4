// Small pieces of arithmetic that the ship, the enemies, the stage target and the
// missiles share: turning a craft in its own space, turning its drift, damping it.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

#include "SXlib/TSXFrame.h"
#include "s_MathPack/s_MathPack.h"

namespace game {

// Turns `frame` in its own coordinates by yaw a and pitch b: the new local transform is
// MatRotationY(a) * MatRotationX(-b) * the old one.
inline void TurnInOwnSpace(TSXFrame& frame, TAngle a, TAngle b) {
  TMatrix4 ry, rx, m;
  MatRotationY(a, ry);
  MatRotationX(-b, rx);
  MatMultiply(ry, rx, m);
  frame.SetMatrix(&frame, m);
}

// Turns a drift vector about Z by z, then about Y by y (the vector rotations, not the
// frame's axes: every craft of the game turns its velocity this way).
inline TVector3 TurnVelocity(const TVector3& v, TAngle z, TAngle y) {
  TVector3 t, out;
  VecRotateZ(v, z, t);
  VecRotateY(t, y, out);
  return out;
}

// Every component times k, rounded to single precision.
inline TVector3 Scaled(const TVector3& v, double k) {
  return {static_cast<float>(v.x * k), static_cast<float>(v.y * k), static_cast<float>(v.z * k)};
}

// Round to nearest, ties to even (the default rounding mode), as a 32-bit value; a value
// outside the 32-bit range (a craft impossibly far away) is pinned to its end.
inline int32_t RoundToInt(double x) {
  double r = std::nearbyint(x);
  if (!(r >= std::numeric_limits<int32_t>::min())) return std::numeric_limits<int32_t>::min();
  if (r > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  return static_cast<int32_t>(r);
}

// The signs of a direction's x and y: +1, -1, or 0 when the component is exactly 0.
struct TSigns {
  int sx, sy;
};
inline TSigns SignXY(const TVector3& dir) {
  auto sign = [](float c) { return c > 0 ? 1 : (c < 0 ? -1 : 0); };
  return {sign(dir.x), sign(dir.y)};
}

inline float Distance(const TVector3& a, const TVector3& b) {
  float d;
  VecDistance(d, a, b);
  return d;
}

inline float Length(const TVector3& v) {
  float d;
  VecLength(d, v);
  return d;
}

inline TVector3 Normalized(const TVector3& v) {
  TVector3 out;
  VecNormalize(v, out);
  return out;
}

}  // namespace game
