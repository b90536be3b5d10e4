// The lights of the light group that the gameplay uses, by number (and the sound channels).
#pragma once

#include "SXView1/Channels.h"

namespace game {

namespace light {
inline constexpr int AfterburnerA = 2;  // the two afterburner glows
inline constexpr int Thruster = 3;      // the thruster glow
inline constexpr int AfterburnerB = 4;
inline constexpr int ShotBase = 5;         // shot s uses light s + 5
inline constexpr int ExplosionBase = 106;  // explosion e uses light e + 106
inline constexpr int MissileBase = 115;    // missile m uses light m + 115 (shared with explosions 9, 10)
}  // namespace light

}  // namespace game
