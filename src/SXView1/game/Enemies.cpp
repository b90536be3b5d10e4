// The opponents: up to twelve enemy craft of three kinds that steer towards the ship and
// fire when it is ahead of them, and the stage target that comes when the stage clock
// runs out, weaves about the ship and sweeps it with fans of shots.
#include <cmath>
#include <cstddef>
#include <cstdlib>

#include "SXView1/TForm1.h"
#include "SXView1/game/Effects.h"
#include "SXView1/game/Steering.h"
#include "platform/rtl/Random.h"

using game::Scaled;
using game::SignXY;
using game::TurnInOwnSpace;
using game::TurnVelocity;

namespace {

constexpr double kDrag = 0.95;
constexpr int kStageTimeForRespawn = 1000;  // in the last 1000 ticks the fallen stay away
constexpr int kPhasePeriodEnd = 101;        // phases run 0..101
constexpr int kReloaded = 100;
const TVector3 kEnemyShotColour{60, 100, 200};

size_t At(int i) { return static_cast<size_t>(i); }

float Plus(float v, double d) { return static_cast<float>(v + d); }

// Every craft that fires this way: the volume of its shot falls 5 hundredths of a decibel
// per unit of distance from the ship.
double ShotVolume(float distance) { return -5.0 * static_cast<double>(distance); }

}  // namespace

void TForm1::RespawnEnemy(int slot) {
  if (!WorldReady() || slot < 0 || slot >= kEnemySlots) return;
  TSXFrame* enemy = EnemyFrames[At(slot)];
  if (StageTime >= kStageTimeForRespawn) {
    const float x = static_cast<float>(rtl::Random(500) - 250);
    const float y = static_cast<float>(rtl::Random(500) - 250);
    const float z = static_cast<float>(rtl::Random(500) - 250);
    enemy->SetPosition(RootFrame.get(), TVector3{x, y, z});
    const int kind = rtl::Random(3);
    enemy->Mesh = MeshEnemy[At(kind)].get();
    enemy->Tag = kind;
  } else {
    enemy->Mesh = nullptr;
  }
}

void TForm1::EnemyStep() {
  if (!WorldReady()) return;
  TSXFrame* root = RootFrame.get();
  for (int j = 0; j <= EnemyTop && j < kEnemySlots; ++j) {
    TSXFrame* enemy = EnemyFrames[At(j)];
    if (!enemy->Mesh) continue;
    TVector3& vel = Play.EnemyVelocity[At(j)];
    int32_t& phase = Play.EnemyPhase[At(j)];

    // 1.-2. Drag, and where the ship is in the enemy's coordinates.
    vel = Scaled(vel, kDrag);
    const TVector3 d = PlayerFrame->GetPosition(enemy);
    const float dist = game::Length(d);
    const TVector3 dir = game::Normalized(d);
    const auto [sx, sy] = SignXY(dir);

    // 3. The kind's speed and turning.
    switch (enemy->Tag) {
      case 0:
        if (phase > 40) {
          if (dist > 80 && vel.z < 0.5f) {
            vel.z = Plus(vel.z, 0.5);
          } else if (dist < 60 && vel.z > -1) {
            vel.z = Plus(vel.z, -0.5);
          }
        } else {
          TurnInOwnSpace(*enemy, 8 * sx, 8 * sy);
          vel = TurnVelocity(vel, 8 * sx, 8 * sy);
        }
        break;
      case 1:
        if (dist > 40 && vel.z < 0.5f) {
          vel.z = Plus(vel.z, 0.25);
        } else if (dist < 20 && vel.z > -0.5f) {
          vel.z = Plus(vel.z, -0.25);
        }
        if (phase > 20) {
          TurnInOwnSpace(*enemy, 5 * sx, 2 * sy);
          vel = TurnVelocity(vel, 5 * sx, 2 * sy);
        }
        break;
      case 2: {
        if (vel.z < 1) vel.z = Plus(vel.z, 0.25);
        if (dist < 6 && PlayerFrame->Mesh) EnemyRam(j);
        int kp = dist < 30 ? 2 : 1;
        int ky = 1;
        if (dist > 60) {
          kp = 4;
          ky = 2;
        }
        // The frame's pitch takes the product, the drift's second turn the sum.
        TurnInOwnSpace(*enemy, 5 * sx * ky, 5 * sy * kp);
        vel = TurnVelocity(vel, 5 * sx, 5 * sy + kp);
        break;
      }
      default:
        break;
    }

    // 4. Flight.
    enemy->SetPosition(enemy, vel);

    // 5. Firing, when the ship is ahead of the nose and the gun has reloaded.
    if (std::fabs(dir.x) < 0.3f && std::fabs(dir.y) < 0.3f && dir.z > 0.7f && Play.EnemyReload[At(j)] == kReloaded) {
      Play.EnemyReload[At(j)] = 0;
      TVector3 muzzle;
      enemy->LocalToWorld(TVector3{0, 0.5f, 1}, muzzle);
      const int s = TakeShotSlot(muzzle);
      // The carrier faces backwards, so its flight along its own -Z follows the enemy's nose.
      TVector3 back;
      VecRotateX(TVector3{0, 0, 1}, 2048, back);
      ShotFrames[At(s)]->SetOrientation(enemy, back, TVector3{0, 1, 0});
      ArmShot(s, 1, TexBeam.get(), kEnemyShotColour);
      const float toShip = game::Distance(enemy->GetPosition(root), PlayerFrame->GetPosition(root));
      SetChannelVolume(game::channel::EnemyShot, ShotVolume(toShip));
      RestartChannel(game::channel::EnemyShot);
    }

    // 6.-7. Phase and reload.
    phase = phase < kPhasePeriodEnd ? phase + 1 : 0;
    if (Play.EnemyReload[At(j)] < kReloaded) ++Play.EnemyReload[At(j)];
  }
}

void TForm1::TargetSpawn() {
  if (!WorldReady() || !MeshTarget) return;
  // The mesh is read again at every spawn.
  MeshTarget->LoadFromFile(DataDir + "pigzam.sx");
  MeshTarget->Optimize();
  const float x = static_cast<float>(rtl::Random(100) - 50);
  const float y = static_cast<float>(rtl::Random(100) - 50);
  const float z = static_cast<float>(rtl::Random(100) - 50);
  TargetFrame->SetPosition(PlayerFrame, TVector3{x, y, z});
  TargetFrame->Mesh = MeshTarget.get();
  Play.TargetVelocity = TVector3{0, 0, 0};
  Play.TargetPhase = 0;
  Play.TargetFireClock = 0;
  TargetEnergy = 55;
  StartTargetMusic();
}

void TForm1::TargetStep() {
  if (!WorldReady() || !TargetFrame->Mesh) return;
  TVector3& vel = Play.TargetVelocity;

  // 1.-2. Drag, and where the ship is in the target's coordinates.
  vel = Scaled(vel, kDrag);
  const TVector3 d = PlayerFrame->GetPosition(TargetFrame);
  const float dist = game::Length(d);
  const TVector3 dir = game::Normalized(d);
  const auto [sx, sy] = SignXY(dir);

  // 3. Speed: close in from afar when the ship is ahead, weave at middle range, back off
  // when close.
  if (dist > 80) {
    if (std::fabs(dir.x) < 0.3f && std::fabs(dir.y) < 0.3f && dir.z > 0.5f) {
      if (vel.y < 0.2f) vel.y = Plus(vel.y, 0.1);
      if (vel.z < 2.5f) vel.z = Plus(vel.z, 0.25);
    }
  } else if (dist >= 40) {
    vel.x = static_cast<float>(Play.TargetPhase / 50.0 - 1);
    vel.y = static_cast<float>(std::abs(Play.TargetPhase - 50) / 25.0 - 1);
  } else if (vel.z > -1.8f) {
    vel.z = Plus(vel.z, -0.25);
  }

  // 4.-5. Turn and fly.
  TurnInOwnSpace(*TargetFrame, 15 * sx, 15 * sy);
  vel = TurnVelocity(vel, 15 * sx, 15 * sy);
  TargetFrame->SetPosition(TargetFrame, vel);

  // 6.-7. Phase and the fan's clock.
  Play.TargetPhase = Play.TargetPhase < kPhasePeriodEnd ? Play.TargetPhase + 1 : 0;
  if (++Play.TargetFireClock > 200) Play.TargetFireClock = 0;
  if (Play.TargetFireClock % 10 != 0) return;

  // 8. One shot of the fan, swept from one side of the nose to the other over the cycle.
  const int c = Play.TargetFireClock;
  const int q = c / 25;
  TVector3 muzzle;
  TargetFrame->LocalToWorld(TVector3{static_cast<float>(q - 4), -0.2f, static_cast<float>(q + 5)}, muzzle);
  const int s = TakeShotSlot(muzzle);
  TVector3 heading;
  VecRotateY(TVector3{0, 0, 1}, 2048 - (10 * c - 1000), heading);
  ShotFrames[At(s)]->SetOrientation(TargetFrame, heading, TVector3{0, 1, 0});
  ArmShot(s, 1, TexBeam.get(), kEnemyShotColour);
  SetChannelVolume(game::channel::EnemyShot, ShotVolume(dist));
  RestartChannel(game::channel::EnemyShot);
}
