// Missiles: their flight and life without a quarry, which quarry they take at launch,
// and that they close in on it.
#include <algorithm>

#include "SXView1/game/GameplayFixture.h"

namespace {

class MissileTest : public GameplayTest {
 protected:
  // Closest approach of missile 0 to a stage target held still at `at` (the stage clock is
  // still running, so the target does not move), homing or with its quarry taken away.
  float ClosestApproach(const TVector3& at, bool homing) {
    TForm1& f = QuietStage("12 down A\n");
    f.TargetFrame->Mesh = f.MeshTarget.get();
    f.TargetEnergy = 55;
    f.TargetFrame->SetPosition(f.RootFrame.get(), at);
    RunTicks(13);
    EXPECT_EQ(f.Play.MissileTarget[0], f.TargetFrame);
    if (!homing) f.Play.MissileTarget[0] = nullptr;
    float closest = 1e9f;
    for (int t = 0; t < 300; ++t) {
      closest = std::min(closest, Dist(World(f.MissileFrames[0]), at));
      RunTicks(1);
    }
    return closest;
  }
};

TEST_F(MissileTest, AMissileWithNoQuarryFlies899Point75UnitsStraightAhead) {
  TForm1& f = QuietStage("12 down A\n");
  RunTicks(13);
  ASSERT_NE(f.MissileFrames[0]->Mesh, nullptr);
  ASSERT_NE(f.MissileFrames[1]->Mesh, nullptr);
  EXPECT_EQ(f.Play.MissileTarget[0], nullptr);
  // Launched at (-2, -1, -1.5) and (2, -1, -1.5) of the ship at the origin; 2.75 on the first tick.
  EXPECT_NEAR(World(f.MissileFrames[0]).z, -4.25f, 1e-4f);
  EXPECT_NEAR(World(f.MissileFrames[1]).x, 2.0f, 1e-4f);
  RunTicks(299);
  ASSERT_NE(f.MissileFrames[0]->Mesh, nullptr);
  EXPECT_EQ(f.Play.MissileAge[0], 300);
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
  // A quarry that has gone is let go of, and the missile flies on straight.
  f.MissileFrames[0]->Mesh = f.MeshMissile.get();
  f.Play.MissileTarget[0] = f.TargetFrame;
  f.TargetFrame->Mesh = nullptr;
  f.MissileStep();
  EXPECT_EQ(f.Play.MissileTarget[0], nullptr);
}

TEST_F(MissileTest, ALaunchedMissileTurnsTowardsItsQuarry) {
  // Off to the side, far enough that a missile flying straight passes 40 units away. The
  // turn is small (at most 6 angle units a tick, none within about 5 degrees), so the
  // missile closes in without necessarily striking.
  const TVector3 at{40, 0, -300};
  const float homing = ClosestApproach(at, true);
  const float straight = ClosestApproach(at, false);
  EXPECT_GT(straight, 40.0f);
  EXPECT_LT(homing, straight / 2) << "homing " << homing << ", straight " << straight;
  // Above the flight path, the missile climbs towards it.
  const TVector3 above{0, 30, -300};
  EXPECT_LT(ClosestApproach(above, true), ClosestApproach(above, false) - 5);
}

}  // namespace
