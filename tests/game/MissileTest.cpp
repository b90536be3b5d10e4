// Missiles: their flight and life without a quarry, which quarry they take at launch,
// and that they close in on it.
#include <algorithm>

#include "game/GameplayFixture.h"

namespace {

using MissileTest = GameplayTest;

TEST_F(MissileTest, AMissileWithNoQuarryFlies899Point75UnitsStraightAhead) {
  TForm1& f = QuietStage("12 down A\n");
  RunTicks(13);
  ASSERT_NE(f.MissileFrames[0]->Mesh, nullptr);
  ASSERT_NE(f.MissileFrames[1]->Mesh, nullptr);
  EXPECT_EQ(f.MissileTarget[0], nullptr);
  // Launched at (-2, -1, -1.5) and (2, -1, -1.5) of the ship at the origin; 2.75 on the first tick.
  EXPECT_NEAR(World(f.MissileFrames[0]).z, -4.25f, 1e-4f);
  EXPECT_NEAR(World(f.MissileFrames[1]).x, 2.0f, 1e-4f);
  RunTicks(299);
  ASSERT_NE(f.MissileFrames[0]->Mesh, nullptr);
  EXPECT_EQ(f.MissileAge[0], 300);
  TVector3 end = World(f.MissileFrames[0]);
  EXPECT_NEAR(end.z, -1.5f - 899.75f, 0.02f);
  EXPECT_NEAR(end.x, -2.0f, 1e-3f);
  EXPECT_NEAR(end.y, -1.0f, 1e-3f);
  EXPECT_TRUE(LightOn(115));
  RunTicks(1);
  EXPECT_EQ(f.MissileFrames[0]->Mesh, nullptr);
  EXPECT_FALSE(LightOn(115));
  EXPECT_NEAR(World(f.MissileFrames[0]).z, end.z, 1e-4f);
}

TEST_F(MissileTest, TheQuarryIsWhatIsNearestTheShipTheTargetOnlyWhenStrictlyNearer) {
  TForm1& f = QuietStage();
  EXPECT_EQ(f.AcquireMissileTarget(), nullptr);
  PlaceEnemy(0, TVector3{0, 0, -50});
  TSXFrame* nearer = PlaceEnemy(4, TVector3{30, 0, 0});
  // A hidden enemy, however near, is no quarry; nor are slots above EnemyTop.
  PlaceEnemy(1, TVector3{0, 5, 0})->Mesh = nullptr;
  PlaceEnemy(8, TVector3{0, 6, 0});
  EXPECT_EQ(f.AcquireMissileTarget(), nearer);
  f.TargetFrame->Mesh = f.MeshTarget.get();
  f.TargetFrame->SetPosition(f.RootFrame.get(), TVector3{0, -30, 0});
  EXPECT_EQ(f.AcquireMissileTarget(), nearer);
  f.TargetFrame->SetPosition(f.RootFrame.get(), TVector3{0, -29.5f, 0});
  EXPECT_EQ(f.AcquireMissileTarget(), f.TargetFrame);
}

TEST_F(MissileTest, ALaunchedMissileTurnsTowardsItsQuarry) {
  TForm1& f = QuietStage("12 down A\n");
  // Off to the side and above, far enough out that a missile flying straight misses it.
  TSXFrame* quarry = PlaceEnemy(0, TVector3{40, 25, -120});
  f.EnemyTop = 0;
  RunTicks(13);
  ASSERT_EQ(f.MissileTarget[0], quarry);
  ASSERT_EQ(f.MissileTarget[1], quarry);
  float closest = 1e9f;
  int32_t score = f.Score;
  for (int t = 0; t < 120 && f.Score == score; ++t) {
    closest = std::min(closest, Dist(World(f.MissileFrames[0]), World(quarry)));
    RunTicks(1);
  }
  EXPECT_GT(f.Score, score) << "closest approach " << closest;
}

}  // namespace
