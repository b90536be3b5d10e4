// The game's sound set-up at start-up: the music stream and the nine effects on
// the eleven channels, with their rate factors and volumes, and their release.
#pragma once

#include <memory>
#include <string>

#include "ddsd/TDDSD.h"
#include "ddsd/TDDSDWaveData.h"

struct TGameSounds {
  std::unique_ptr<TDDSDWaveData> MusicBuffer;
  std::unique_ptr<TDDSDWaveData> GunShot;     // "gunshot.wav"
  std::unique_ptr<TDDSDWaveData> Rocket;      // "rocket.wav"
  std::unique_ptr<TDDSDWaveData> Exprosion;   // "exprosion.wav"
  std::unique_ptr<TDDSDWaveData> Info;        // "info.wav"
  std::unique_ptr<TDDSDWaveData> Crash;       // "crash.wav"
  std::unique_ptr<TDDSDWaveData> GunShot2;    // "gunshot2.wav"
  std::unique_ptr<TDDSDWaveData> Nata;        // "nata.wav"
  std::unique_ptr<TDDSDWaveData> ExprosionS;  // "exprosion_s.wav"
  std::unique_ptr<TDDSDWaveData> Missile;     // "missile.wav"
};

// Creates the music stream on the music channel, loads the nine effect files from `dataDir`
// (with its trailing separator) and gives every channel its wave, rate and volume.
void SetUpGameSounds(TDDSD& sound, const std::string& dataDir, TGameSounds& sounds);

// The two halves of SetUpGameSounds, for the form's start-up that runs them as separate steps.
void CreateGameMusicBuffer(TDDSD& sound, TGameSounds& sounds);
void LoadGameSoundEffects(TDDSD& sound, const std::string& dataDir, TGameSounds& sounds);

// Frees the nine effect waves in the order they were loaded (the form's destruction).
void FreeGameSoundEffects(TGameSounds& sounds);
