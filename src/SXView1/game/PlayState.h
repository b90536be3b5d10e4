// What the gameplay steps carry from one tick to the next: the ship's velocity and latches, the
// enemies' and the stage target's motion, and the ages and cursors of the shot, missile and
// explosion slots. The main form holds one as TForm1::Play; the counters the screens show
// (score, stage, stock, energy, timers) stay with the form.
#pragma once

#include <array>
#include <cstdint>

#include "s_MathPack/s_MathPack.h"

class TSXFrame;

struct TPlayState {
  static constexpr int kEnemySlots = 12;
  static constexpr int kShotSlots = 101;
  static constexpr int kMissileSlots = 31;
  static constexpr int kExplosionSlots = 11;

  // The ship.
  TVector3 PlayerVelocity{};  // ship coordinates
  int32_t BladeTimer = 0;
  bool FireLatch = true, MissileLatch = true, ViewLatch = true;
  // The enemies and the stage target.
  std::array<TVector3, kEnemySlots> EnemyVelocity{};
  std::array<int32_t, kEnemySlots> EnemyPhase{};
  std::array<int32_t, kEnemySlots> EnemyReload{};
  TVector3 TargetVelocity{};
  int32_t TargetPhase = 0;
  int32_t TargetFireClock = 0;
  // Shots, missiles and explosions: each slot's age and the cursor of the next slot to take.
  std::array<int32_t, kShotSlots> ShotAge{};
  int32_t NextShot = 0;
  std::array<int32_t, kMissileSlots> MissileAge{};
  std::array<TVector3, kMissileSlots> MissileVelocity{};
  std::array<TSXFrame*, kMissileSlots> MissileTarget{};
  int32_t NextMissile = 0;
  std::array<int32_t, 16> ExplosionAge{};  // only 0..10 are used
  int32_t NextExplosion = 0;
};
