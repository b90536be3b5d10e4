// The sound channels and the lights of the light group that the gameplay uses, by number.
#pragma once

namespace game {

// Each effect has its own channel, given its wave at start-up.
namespace channel {
inline constexpr int Gunshot = 0;         // gunshot.wav: the ship's volley
inline constexpr int Thruster = 1;        // rocket.wav, looped
inline constexpr int Afterburner = 2;     // rocket.wav, looped
inline constexpr int EnemyShot = 3;       // gunshot2.wav: enemy and target shots
inline constexpr int Explosion = 4;       // exprosion.wav: big explosions, blade kills
inline constexpr int Info = 6;            // info.wav: warnings
inline constexpr int Crash = 7;           // crash.wav: bumps
inline constexpr int Blade = 8;           // nata.wav
inline constexpr int ExplosionSmall = 9;  // exprosion_s.wav
inline constexpr int Missile = 10;        // missile.wav
}  // namespace channel

namespace light {
inline constexpr int AfterburnerA = 2;  // the two afterburner glows
inline constexpr int Thruster = 3;      // the thruster glow
inline constexpr int AfterburnerB = 4;
inline constexpr int ShotBase = 5;         // shot s uses light s + 5
inline constexpr int ExplosionBase = 106;  // explosion e uses light e + 106
inline constexpr int MissileBase = 115;    // missile m uses light m + 115 (shared with explosions 9, 10)
}  // namespace light

}  // namespace game
