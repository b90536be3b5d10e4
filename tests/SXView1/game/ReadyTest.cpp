// Under the STAGE n READY? caption the enemies, the shots and the explosions stand still
// while the ship can already fly; all of them go on once it is gone.
#include "SXView1/game/GameplayFixture.h"

namespace {

using ReadyTest = GameplayTest;

TEST_F(ReadyTest, TheCaptionFreezesEverythingButTheShip) {
  TForm1& f = QuietStage("0 down C\n");
  f.ReadyTime = 20;
  TSXFrame* enemy = PlaceEnemy(0, TVector3{50, 50, 50}, 1);
  f.Play.EnemyVelocity[0] = TVector3{0, 0, 1};
  f.ShotFrames[3]->SetPosition(f.RootFrame.get(), TVector3{0, 100, 0});
  f.Play.ShotAge[3] = 10;
  f.ShotSprites[3]->Mesh = f.MeshBeam.get();
  f.SpawnExplosion(TVector3{0, -100, 0}, TForm1::TExplosionSize::Small);
  const TVector3 enemyAt = World(enemy);

  RunTicks(20);
  EXPECT_EQ(f.ReadyTime, 0);
  EXPECT_LT(World(f.PlayerFrame).z, -1.0f) << "the ship flies under the caption";
  EXPECT_NEAR(Dist(World(enemy), enemyAt), 0, 1e-5f);
  EXPECT_EQ(f.Play.ShotAge[3], 10);
  EXPECT_NEAR(World(f.ShotFrames[3]).y, 100.0f, 1e-5f);
  EXPECT_EQ(f.Play.ExplosionAge[0], 1);

  RunTicks(1);
  EXPECT_GT(Dist(World(enemy), enemyAt), 0.1f);
  EXPECT_EQ(f.Play.ShotAge[3], 11);
  EXPECT_EQ(f.Play.ExplosionAge[0], 2);
}

}  // namespace
