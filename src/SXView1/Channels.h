// The sound channels of the game, in one table: the effects, the music stream, and the
// ones the title and a stage's end stop together.
#pragma once

namespace game {

// Each effect has its own channel, given its wave at start-up.
namespace channel {
inline constexpr int Gunshot = 0;         // gunshot.wav: the ship's volley
inline constexpr int Thruster = 1;        // rocket.wav, looped
inline constexpr int Afterburner = 2;     // rocket.wav, looped
inline constexpr int EnemyShot = 3;       // gunshot2.wav: enemy and target shots
inline constexpr int Explosion = 4;       // exprosion.wav: big explosions, blade kills
inline constexpr int Music = 5;           // the music stream
inline constexpr int Info = 6;            // info.wav: warnings
inline constexpr int Crash = 7;           // crash.wav: bumps
inline constexpr int Blade = 8;           // nata.wav
inline constexpr int ExplosionSmall = 9;  // exprosion_s.wav
inline constexpr int Missile = 10;        // missile.wav
// The title and a stage's end stop channels 0 to this one together (not 9 and 10).
inline constexpr int LastStoppedTogether = 8;
}  // namespace channel

}  // namespace game
