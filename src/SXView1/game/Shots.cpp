// The two projectile pools: shots (the ship's volleys, the enemies' single shots and the
// target's fans share one pool of 101) and the ship's 31 missiles. A launch always takes
// the slot at the cursor, whatever is flying there.
#include <cstddef>
#include <limits>

#include "SXView1/TForm1.h"
#include "SXView1/game/Effects.h"
#include "SXView1/game/Steering.h"

namespace {

constexpr int kShotLife = 50;      // ticks
constexpr int kMissileLife = 300;  // ticks
constexpr float kShotStep = 6;     // units per tick along the carrier's -Z
constexpr float kMissileTopSpeed = -3;
constexpr double kMissileThrust = 0.25;
constexpr int kMissileTurn = 6;  // TAngle units at most, each axis

size_t At(int i) { return static_cast<size_t>(i); }

}  // namespace

int TForm1::TakeShotSlot(const TVector3& position) {
  if (Play.NextShot < 0 || Play.NextShot >= kShotSlots) Play.NextShot = 0;
  const int s = Play.NextShot;
  Play.ShotAge[At(s)] = 0;
  ShotFrames[At(s)]->SetPosition(RootFrame.get(), position);
  MoveLight(s + game::light::ShotBase, position);
  return s;
}

void TForm1::ArmShot(int slot, int32_t owner, TKilnTexture* texture, const TVector3& colour) {
  TSXFrame* carrier = ShotFrames[At(slot)];
  TSXFrame* sprite = ShotSprites[At(slot)];
  carrier->Tag = owner;
  sprite->SetPosition(RootFrame.get(), carrier->GetPosition(RootFrame.get()));
  sprite->LookAt(CameraFrame.get(), TVector3{0, 0, 0}, 0, RootFrame.get());
  sprite->Texture = texture;
  sprite->Mesh = MeshBeam.get();
  if (TSXLight* l = GameLight(slot + game::light::ShotBase)) l->SetDiffuse(colour.x, colour.y, colour.z);
  SwitchLight(slot + game::light::ShotBase, true);
  Play.NextShot = slot >= kShotSlots - 1 ? 0 : slot + 1;
}

void TForm1::ShotStep() {
  if (!WorldReady()) return;
  TSXFrame* root = RootFrame.get();
  for (int s = 0; s < kShotSlots; ++s) {
    TSXFrame* sprite = ShotSprites[At(s)];
    if (!sprite->Mesh) continue;
    // An old shot just goes out where it is; its sprite and light stay put.
    if (++Play.ShotAge[At(s)] > kShotLife) {
      sprite->Mesh = nullptr;
      SwitchLight(s + game::light::ShotBase, false);
      continue;
    }
    TSXFrame* carrier = ShotFrames[At(s)];
    TVector3 p;
    carrier->LocalToWorld(TVector3{0, 0, -kShotStep}, p);
    MoveLight(s + game::light::ShotBase, p);
    carrier->SetPosition(root, p);
    sprite->SetPosition(root, p);
    sprite->LookAt(CameraFrame.get(), TVector3{0, 0, 0}, 0, root);
    ProjectileHits(TProjectile::Shot, s, p);
  }
}

TSXFrame* TForm1::AcquireMissileTarget() const {
  if (!WorldReady()) return nullptr;
  const TSXFrame* root = RootFrame.get();
  const TVector3 ship = PlayerFrame->GetPosition(root);
  TSXFrame* best = nullptr;
  float bestDistance = std::numeric_limits<float>::infinity();
  for (int j = 0; j <= EnemyTop && j < kEnemySlots; ++j) {
    TSXFrame* enemy = EnemyFrames[At(j)];
    if (!enemy->Mesh) continue;
    const float d = game::Distance(enemy->GetPosition(root), ship);
    if (d < bestDistance) {
      best = enemy;
      bestDistance = d;
    }
  }
  if (TargetFrame->Mesh && game::Distance(TargetFrame->GetPosition(root), ship) < bestDistance) best = TargetFrame;
  return best;
}

void TForm1::MissileStep() {
  if (!WorldReady()) return;
  TSXFrame* root = RootFrame.get();
  for (int m = 0; m < kMissileSlots; ++m) {
    TSXFrame* missile = MissileFrames[At(m)];
    if (!missile->Mesh) continue;
    if (++Play.MissileAge[At(m)] > kMissileLife) {
      missile->Mesh = nullptr;
      SwitchLight(m + game::light::MissileBase, false);
      continue;
    }
    TVector3& vel = Play.MissileVelocity[At(m)];
    if (vel.z > kMissileTopSpeed) vel.z = static_cast<float>(vel.z - kMissileThrust);

    // Guidance: a quarry that has gone (hidden) is no longer followed; the missile flies on.
    TSXFrame*& quarry = Play.MissileTarget[At(m)];
    if (quarry && !quarry->Mesh) quarry = nullptr;
    if (quarry) {
      // The nose is the missile's -Z, so a quarry off to +x or +y needs a negative yaw or
      // pitch to be turned towards (the enemies, whose nose is +Z, take the plain signs).
      const TVector3 dir = game::Normalized(quarry->GetPosition(missile));
      const TAngle a = game::RoundToInt(-kMissileTurn * static_cast<double>(dir.x));
      const TAngle b = game::RoundToInt(-kMissileTurn * static_cast<double>(dir.y));
      game::TurnInOwnSpace(*missile, a, b);
      vel = game::TurnVelocity(vel, a, b);
    }

    TVector3 p;
    missile->LocalToWorld(vel, p);
    MoveLight(m + game::light::MissileBase, p);
    missile->SetPosition(root, p);
    ProjectileHits(TProjectile::Missile, m, p);
  }
}
