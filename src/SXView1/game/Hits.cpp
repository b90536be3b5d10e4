// Every contact of the game and what follows from it: projectiles against the enemies,
// the ship and the stage target; the blade and bumps in the ship step; rams by kind 2
// enemies; damage, the ship's and the target's end, score and messages.
#include <cmath>
#include <cstddef>

#include "SXView1/TForm1.h"
#include "SXView1/game/Effects.h"
#include "SXView1/game/Steering.h"
#include "platform/rtl/Random.h"

namespace {

constexpr float kEnemyRadius = 4;
constexpr float kShipRadius = 4;
constexpr float kTargetRadius = 10;
constexpr int kShotDamage = 5;
constexpr int kRamDamage = 10;
constexpr int kShotScore = 10;
constexpr int kBladeScore = 20;
constexpr int kDeathTicks = 200;
constexpr int kClearTicks = 149;

size_t At(int i) { return static_cast<size_t>(i); }

// A direction of frame `from` as a direction of frame `to`, carried through world space.
TVector3 CarryDirection(const TSXFrame& from, const TSXFrame& to, const TVector3& v) {
  TVector3 tip, origin, w, toOrigin, point, out;
  from.LocalToWorld(v, tip);
  from.LocalToWorld(TVector3{0, 0, 0}, origin);
  VecSub(tip, origin, w);
  to.LocalToWorld(TVector3{0, 0, 0}, toOrigin);
  VecAdd(toOrigin, w, point);
  to.WorldToLocal(point, out);
  return out;
}

}  // namespace

void TForm1::ProjectileHits(TProjectile kind, int slot, const TVector3& position) {
  if (!WorldReady()) return;
  const bool shot = kind == TProjectile::Shot;
  if (slot < 0 || slot >= (shot ? kShotSlots : kMissileSlots)) return;
  TSXFrame* root = RootFrame.get();
  const int32_t owner = shot ? ShotFrames[At(slot)]->Tag : MissileFrames[At(slot)]->Tag;
  // The projectile keeps its position for all three tests, even once it is gone.
  auto remove = [&] {
    if (shot) {
      ShotSprites[At(slot)]->Mesh = nullptr;
      SwitchLight(slot + game::light::ShotBase, false);
    } else {
      MissileFrames[At(slot)]->Mesh = nullptr;
      SwitchLight(slot + game::light::MissileBase, false);
    }
  };

  // 1. Enemies: one projectile may take several in the same tick.
  for (int j = 0; j <= EnemyTop && j < kEnemySlots; ++j) {
    TSXFrame* enemy = EnemyFrames[At(j)];
    if (!enemy->Mesh) continue;
    const TVector3 at = enemy->GetPosition(root);
    if (game::Distance(position, at) >= kEnemyRadius) continue;
    SpawnExplosion(at, TExplosionSize::Big);
    remove();
    RespawnEnemy(j);
    if (DeathTime == 0) {
      MessageTime = 50;
      if (owner == 1) {
        MessageIndex = 3;  // friendly fire among the enemies scores nothing
      } else {
        MessageIndex = 1;
        Score += kShotScore;
      }
    }
  }

  // 2. The ship: any projectile, its own included.
  if (PlayerFrame->Mesh && game::Distance(position, PlayerFrame->GetPosition(root)) < kShipRadius) {
    MessageTime = 25;
    MessageIndex = 2;
    remove();
    Energy -= kShotDamage;
    if (Energy < 0) {
      DestroyShip(position);
    } else {
      SpawnExplosion(position, TExplosionSize::Small);
    }
  }

  // 3. The stage target.
  if (TargetFrame->Mesh && game::Distance(position, TargetFrame->GetPosition(root)) < kTargetRadius) {
    SpawnExplosion(position, TExplosionSize::Small);
    TargetEnergy -= 1;
    MessageTime = 25;
    MessageIndex = 11;
    remove();
    if (TargetEnergy < 0) {
      SpawnExplosion(position, TExplosionSize::Big);
      DDSDStopChannel(game::channel::Thruster);
      DDSDStopChannel(game::channel::Afterburner);
      TargetFrame->Mesh = nullptr;
      ClearCountdown = kClearTicks;
      MessageTime = 120;
      MessageIndex = 12;
    }
  }
}

void TForm1::BladeAndBump(int slot) {
  if (!WorldReady() || slot < 0 || slot >= kEnemySlots) return;
  TSXFrame* enemy = EnemyFrames[At(slot)];
  TSXFrame* root = RootFrame.get();
  const TVector3 r = enemy->GetPosition(PlayerFrame);

  // The blade sweeps a slab beside and ahead of the ship.
  if (Play.BladeTimer >= 2 && std::fabs(r.y) < 10 && r.z > -12 && r.z < -5 && std::fabs(r.x) > 3 &&
      std::fabs(r.x) < 10) {
    SpawnExplosion(enemy->GetPosition(root), TExplosionSize::Big);
    // Back at once, even in the last stretch of the stage.
    const float x = static_cast<float>(rtl::Random(500) - 250);
    const float y = static_cast<float>(rtl::Random(500) - 250);
    const float z = static_cast<float>(rtl::Random(500) - 250);
    enemy->SetPosition(root, TVector3{x, y, z});
    RestartChannel(game::channel::Explosion);
    MessageTime = 50;
    MessageIndex = 1;
    Score += kBladeScore;
    return;
  }

  // A bump: ship and enemy swap velocities, each carried into the other's coordinates.
  if (std::fabs(r.x) < 3 && std::fabs(r.y) < 3 && std::fabs(r.z) < 3) {
    TVector3& enemyVelocity = Play.EnemyVelocity[At(slot)];
    const TVector3 toShip = CarryDirection(*enemy, *PlayerFrame, enemyVelocity);
    const TVector3 toEnemy = CarryDirection(*PlayerFrame, *enemy, Play.PlayerVelocity);
    Play.PlayerVelocity = toShip;
    enemyVelocity = toEnemy;
    enemy->SetPosition(enemy, enemyVelocity);
    PlayerFrame->SetPosition(PlayerFrame, Play.PlayerVelocity);
    RestartChannel(game::channel::Crash);
  }
}

void TForm1::EnemyRam(int slot) {
  if (!WorldReady() || slot < 0 || slot >= kEnemySlots) return;
  TSXFrame* root = RootFrame.get();
  SpawnExplosion(EnemyFrames[At(slot)]->GetPosition(root), TExplosionSize::Big);
  RespawnEnemy(slot);
  Energy -= kRamDamage;
  if (Energy < 0) {
    DestroyShip(PlayerFrame->GetPosition(root));
    MessageTime = 50;
    MessageIndex = 9;
  }
}

void TForm1::DestroyShip(const TVector3& position) {
  if (!WorldReady()) return;
  SpawnExplosion(position, TExplosionSize::Big);
  DDSDStopChannel(game::channel::Thruster);
  DDSDStopChannel(game::channel::Afterburner);
  PlayerFrame->Mesh = nullptr;
  BladeFrame->Mesh = nullptr;
  for (TSXFrame* f : PlayerPartFrames) f->Mesh = nullptr;
  SwitchLight(game::light::AfterburnerA, false);
  SwitchLight(game::light::Thruster, false);
  SwitchLight(game::light::AfterburnerB, false);
  DeathTime = kDeathTicks;
}
