// Contacts, damage and score: shots against enemies, the ship and the stage target; rams;
// the blade; and what the stage clock decides about enemies that fall late.
#include "SXView1/game/GameplayFixture.h"

namespace {

using HitsTest = GameplayTest;

// Puts shot `slot` in flight 6 units behind `at` (world), flying along -Z onto it.
void AimShot(TForm1& f, int slot, const TVector3& at, int32_t owner) {
  TSXFrame* carrier = f.ShotFrames[static_cast<size_t>(slot)];
  carrier->SetOrientation(f.RootFrame.get(), TVector3{0, 0, 1}, TVector3{0, 1, 0});
  carrier->SetPosition(f.RootFrame.get(), TVector3{at.x, at.y, at.z + 6});
  carrier->Tag = owner;
  f.Play.ShotAge[static_cast<size_t>(slot)] = 3;
  f.ShotSprites[static_cast<size_t>(slot)]->Mesh = f.MeshBeam.get();
}

TEST_F(HitsTest, AnEnemyShotDownByTheShipScoresByAnEnemyDoesNot) {
  TForm1& f = QuietStage();
  TSXFrame* enemy = PlaceEnemy(2, TVector3{100, 0, 0});
  AimShot(f, 7, TVector3{100, 0, 0}, 0);
  const int explosion = f.Play.NextExplosion;
  f.ShotStep();
  EXPECT_EQ(f.Score, 10);
  EXPECT_EQ(f.MessageIndex, 1);
  EXPECT_EQ(f.MessageTime, 50);
  EXPECT_EQ(f.ShotSprites[7]->Mesh, nullptr);
  EXPECT_FALSE(LightOn(12));
  // A big explosion where the enemy was, and the enemy back somewhere in the cube.
  EXPECT_EQ(f.ExplosionFrames[static_cast<size_t>(explosion)]->Mesh, f.MeshBomb.get());
  EXPECT_NEAR(Dist(World(f.ExplosionFrames[static_cast<size_t>(explosion)]), TVector3{100, 0, 0}), 0, 1e-4f);
  ASSERT_NE(enemy->Mesh, nullptr);
  EXPECT_GT(Dist(World(enemy), TVector3{100, 0, 0}), 0.5f);

  PlaceEnemy(2, TVector3{100, 0, 0});
  AimShot(f, 8, TVector3{100, 0, 0}, 1);
  f.MessageTime = 0;
  f.ShotStep();
  EXPECT_EQ(f.Score, 10);
  EXPECT_EQ(f.MessageIndex, 3);
  EXPECT_EQ(f.MessageTime, 50);
  EXPECT_EQ(f.ShotSprites[8]->Mesh, nullptr);

  // While the ship is going down, kills still happen but are neither scored nor told.
  PlaceEnemy(2, TVector3{100, 0, 0});
  AimShot(f, 9, TVector3{100, 0, 0}, 0);
  f.DeathTime = 50;
  f.MessageTime = 0;
  f.ShotStep();
  EXPECT_EQ(f.Score, 10);
  EXPECT_EQ(f.MessageTime, 0);
  EXPECT_EQ(f.ShotSprites[9]->Mesh, nullptr);
}

TEST_F(HitsTest, FiveHitsDestroyTheShipFromFullEnergy) {
  TForm1& f = QuietStage();
  const int expected[] = {15, 10, 5, 0, -5};
  for (int i = 0; i < 5; ++i) {
    f.ShotSprites[static_cast<size_t>(i)]->Mesh = f.MeshBeam.get();
    f.ProjectileHits(TForm1::TProjectile::Shot, i, World(f.PlayerFrame));
    EXPECT_EQ(f.Energy, expected[i]);
    EXPECT_EQ(f.ShotSprites[static_cast<size_t>(i)]->Mesh, nullptr);
    EXPECT_EQ(f.MessageIndex, 2);
    EXPECT_EQ(f.DeathTime, i < 4 ? 0 : 200) << "hit " << i + 1;
  }
  // Small explosions for the first four hits, a big one for the last.
  EXPECT_EQ(f.ExplosionFrames[3]->Mesh, f.MeshBombSmall.get());
  EXPECT_EQ(f.ExplosionFrames[4]->Mesh, f.MeshBomb.get());
  EXPECT_EQ(f.PlayerFrame->Mesh, nullptr);
  EXPECT_EQ(f.BladeFrame->Mesh, nullptr);
  for (const TSXFrame* part : f.PlayerPartFrames) EXPECT_EQ(part->Mesh, nullptr);
  EXPECT_FALSE(LightOn(2));
  EXPECT_FALSE(LightOn(3));
  EXPECT_FALSE(LightOn(4));
  // A dead ship is not hit again.
  f.ShotSprites[5]->Mesh = f.MeshBeam.get();
  f.ProjectileHits(TForm1::TProjectile::Shot, 5, World(f.PlayerFrame));
  EXPECT_EQ(f.Energy, -5);
  EXPECT_NE(f.ShotSprites[5]->Mesh, nullptr);
}

TEST_F(HitsTest, ThreeRamsByAKindTwoEnemyDestroyTheShip) {
  TForm1& f = QuietStage();
  const int expected[] = {10, 0, -10};
  for (int i = 0; i < 3; ++i) {
    TSXFrame* enemy = PlaceEnemy(0, TVector3{0, 0, -5}, 2);
    f.EnemyStep();
    EXPECT_EQ(f.Energy, expected[i]);
    // The rammer is gone from the ship: placed anew, far from where it struck.
    EXPECT_GT(Dist(World(enemy), TVector3{0, 0, -5}), 6.0f);
    if (i < 2) {
      EXPECT_EQ(f.MessageTime, 0) << "a ram that leaves the ship alive says nothing";
      EXPECT_EQ(f.DeathTime, 0);
    }
  }
  EXPECT_EQ(f.DeathTime, 200);
  EXPECT_EQ(f.MessageIndex, 9);
  EXPECT_EQ(f.MessageTime, 50);
  EXPECT_EQ(f.PlayerFrame->Mesh, nullptr);
  // Kinds 0 and 1 never ram.
  f.Energy = 20;
  f.DeathTime = 0;
  f.PlayerFrame->Mesh = f.MeshBody.get();
  PlaceEnemy(0, TVector3{0, 0, -5}, 1);
  f.EnemyStep();
  EXPECT_EQ(f.Energy, 20);
}

TEST_F(HitsTest, TheTargetComesWhenTheClockRunsOutAndFallsOnThe56thHit) {
  TForm1& f = QuietStage();
  f.StageTime = 5;
  RunTicks(5);
  EXPECT_EQ(f.StageTime, 0);
  EXPECT_EQ(f.TargetFrame->Mesh, nullptr);
  RunTicks(1);
  EXPECT_EQ(f.StageTime, -1);
  ASSERT_EQ(f.TargetFrame->Mesh, f.MeshTarget.get());
  EXPECT_EQ(f.TargetEnergy, 55);
  EXPECT_EQ(f.MessageIndex, 10);
  // Brought in within 50 units of the ship on each axis.
  TVector3 rel = f.TargetFrame->GetPosition(f.PlayerFrame);
  EXPECT_LE(std::fabs(rel.x), 50.0f);
  EXPECT_LE(std::fabs(rel.y), 50.0f);
  EXPECT_LE(std::fabs(rel.z), 50.0f);

  // Far from the ship, so the ship is not hit too.
  f.TargetFrame->SetPosition(f.RootFrame.get(), TVector3{0, 300, 0});
  const TVector3 at{0, 300, 5};
  for (int hit = 1; hit <= 55; ++hit) {
    f.ShotSprites[0]->Mesh = f.MeshBeam.get();
    f.ProjectileHits(TForm1::TProjectile::Shot, 0, at);
    ASSERT_EQ(f.TargetEnergy, 55 - hit);
    ASSERT_EQ(f.ShotSprites[0]->Mesh, nullptr);
  }
  EXPECT_EQ(f.MessageIndex, 11);
  EXPECT_EQ(f.MessageTime, 25);
  ASSERT_NE(f.TargetFrame->Mesh, nullptr);
  EXPECT_EQ(f.ClearCountdown, 0);
  const int e = f.Play.NextExplosion;
  f.ProjectileHits(TForm1::TProjectile::Missile, 3, at);
  EXPECT_EQ(f.TargetEnergy, -1);
  EXPECT_EQ(f.TargetFrame->Mesh, nullptr);
  EXPECT_EQ(f.ClearCountdown, 149);
  EXPECT_EQ(f.MessageIndex, 12);
  EXPECT_EQ(f.MessageTime, 120);
  const size_t small = static_cast<size_t>(e), big = static_cast<size_t>((e + 1) % 11);
  EXPECT_EQ(f.ExplosionFrames[small]->Mesh, f.MeshBombSmall.get());
  EXPECT_EQ(f.ExplosionFrames[big]->Mesh, f.MeshBomb.get());
  EXPECT_EQ(f.Play.ExplosionAge[small], 1);
  EXPECT_EQ(f.Play.ExplosionAge[big], 1);
  EXPECT_EQ(f.Play.NextExplosion, (e + 2) % 11);
  EXPECT_NEAR(Dist(World(f.ExplosionFrames[big]), at), 0, 1e-4f);
}

TEST_F(HitsTest, LateKillsStayAwayButBladeKillsReturnAtOnce) {
  TForm1& f = QuietStage();
  f.StageTime = 999;
  TSXFrame* shotDown = PlaceEnemy(1, TVector3{100, 0, 0});
  AimShot(f, 0, TVector3{100, 0, 0}, 0);
  f.ShotStep();
  EXPECT_EQ(f.Score, 10);
  EXPECT_EQ(shotDown->Mesh, nullptr);

  // Beside and ahead of the ship, where the swinging blade reaches.
  TSXFrame* bladed = PlaceEnemy(2, TVector3{6, 0, -8}, 1);
  f.Play.BladeTimer = 2;
  f.PlayerStep();
  EXPECT_EQ(f.Score, 30);
  EXPECT_EQ(f.MessageIndex, 1);
  ASSERT_EQ(bladed->Mesh, f.MeshEnemy[1].get());
  EXPECT_EQ(bladed->Tag, 1);
  TVector3 p = World(bladed);
  EXPECT_GT(Dist(p, TVector3{6, 0, -8}), 1.0f);
  EXPECT_LE(std::fabs(p.x), 250.0f);
  EXPECT_LE(std::fabs(p.y), 250.0f);
  EXPECT_LE(std::fabs(p.z), 250.0f);

  // At rest the blade cuts nothing, and an enemy right on the ship bumps instead.
  f.Play.BladeTimer = 0;
  f.Play.EnemyVelocity[3] = TVector3{0, 0, 1};
  TSXFrame* bumped = PlaceEnemy(3, TVector3{1, 0, -1}, 1);
  f.PlayerStep();
  EXPECT_EQ(f.Score, 30);
  EXPECT_NE(bumped->Mesh, nullptr);
  // Velocities swapped: the enemy's +Z push went to the ship, the ship's rest to the enemy.
  EXPECT_NEAR(f.Play.PlayerVelocity.z, 1.0f, 1e-5f);
  EXPECT_NEAR(f.Play.EnemyVelocity[3].z, 0.0f, 1e-6f);
  // The ship moved twice in that tick: with the bump, and again in its own flight.
  EXPECT_NEAR(World(f.PlayerFrame).z, 2.0f, 1e-4f);
}

}  // namespace
