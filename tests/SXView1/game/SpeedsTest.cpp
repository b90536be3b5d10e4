// Speeds pinned tick by tick: the ship's thrusters and afterburner, each enemy kind closing
// in and backing off, and the stage target doing the same. Every step is drag first
// (times 0.95), then the kind's push while the speed is still short of its limit; the
// expected values below were worked out by hand (to float precision) from that rule, so
// a push, a limit or the drag changed by one step shows in the first few ticks.
#include <vector>

#include "SXView1/game/GameplayFixture.h"
#include "SXView1/game/SceneForm.h"

namespace {

class SpeedsTest : public GameplayTest {
 protected:
  // A stage with the ship at rest at the origin, steered by the test.
  SceneForm& Stage() {
    SceneForm& f = QuietStage<SceneForm>();
    f.Controls = TForm1::TShipControls{};
    f.Play.PlayerVelocity = TVector3{0, 0, 0};
    return f;
  }

  // Puts an enemy at `at` with its nose along world +z, the ship dead ahead of it when `at`
  // lies on the negative z axis (so neither sign of the direction is set and nothing turns).
  void Hold(SceneForm& f, TSXFrame* frame, const TVector3& at) {
    frame->SetPosition(f.RootFrame.get(), at);
    frame->SetOrientation(f.RootFrame.get(), TVector3{0, 0, 1}, TVector3{0, 1, 0});
  }

  // Runs `expected.size()` enemy steps of slot 0 held at `at`, checking the velocity's z (or,
  // for a kind whose drift turns every tick, its length) after each one.
  void ExpectEnemyZ(SceneForm& f, const TVector3& at, int phase, const std::vector<float>& expected,
                    bool length = false) {
    f.Play.EnemyVelocity[0] = TVector3{0, 0, 0};
    f.Play.EnemyPhase[0] = phase;
    for (size_t tick = 0; tick < expected.size(); ++tick) {
      Hold(f, f.EnemyFrames[0], at);
      f.Play.EnemyPhase[0] = phase;
      f.EnemyStep();
      const TVector3 v = f.Play.EnemyVelocity[0];
      const float got = length ? std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z) : v.z;
      EXPECT_NEAR(got, expected[tick], length ? 5e-4f : 1e-5f) << "tick " << tick + 1;
      if (!length) {
        EXPECT_FLOAT_EQ(v.x, 0.0f) << "tick " << tick + 1;
        EXPECT_FLOAT_EQ(v.y, 0.0f) << "tick " << tick + 1;
      }
    }
  }

  // One enemy step of slot 0 from speed `z`, `distance` away with the ship dead ahead.
  float OneStepAt(SceneForm& f, float distance, float z, int phase) {
    Hold(f, f.EnemyFrames[0], TVector3{0, 0, -distance});
    f.Play.EnemyVelocity[0] = TVector3{0, 0, z};
    f.Play.EnemyPhase[0] = phase;
    f.EnemyStep();
    return f.Play.EnemyVelocity[0].z;
  }
};

// ---- the ship ----

TEST_F(SpeedsTest, ThrustersFromRestAddPointTwoUntilTheDriftAfterDragReachesPointSix) {
  SceneForm& f = Stage();
  f.Controls->Buttons[2] = true;
  // z' = 0.95 z - 0.2 while 0.95 z > -0.6: -0.2, -0.39, -0.5705, -0.741975; then drag alone
  // (0.95 * -0.741975 = -0.70487625 ...) until 0.95 z is above -0.6 again at tick 9.
  const std::vector<float> expected = {-0.2f,        -0.39f,       -0.5705f,     -0.741975f,  -0.70487625f,
                                       -0.66963244f, -0.63615082f, -0.60434328f, -0.77412611f};
  for (size_t tick = 0; tick < expected.size(); ++tick) {
    f.PlayerStep();
    EXPECT_NEAR(f.Play.PlayerVelocity.z, expected[tick], 1e-6f) << "tick " << tick + 1;
    EXPECT_EQ(f.Play.PlayerVelocity.x, 0.0f);
    EXPECT_EQ(f.Play.PlayerVelocity.y, 0.0f);
  }
  EXPECT_EQ(f.PlayerPartFrames[2]->Mesh, f.MeshFireSmall.get());
  EXPECT_TRUE(LightOn(3));
}

TEST_F(SpeedsTest, TheAfterburnerAddsPointThreeUntilTheDriftAfterDragReachesTwo) {
  SceneForm& f = Stage();
  f.Controls->Buttons[1] = true;
  // z' = 0.95 z - 0.3 while 0.95 z > -2: -0.3, -0.585, -0.85575, ... -2.0194774 at tick 8,
  // -2.2185035 at tick 9; then 0.95 z = -2.1075783 and -2.0021994 are past -2 (drag alone),
  // and at tick 12 0.95 z = -1.9020894 gets the push again.
  const std::vector<float> expected = {-0.3f,       -0.585f,     -0.85575f,   -1.1129625f, -1.3573143f,
                                       -1.5894486f, -1.8099761f, -2.0194774f, -2.2185035f, -2.1075783f,
                                       -2.0021994f, -2.2020895f, -2.091985f};
  for (size_t tick = 0; tick < expected.size(); ++tick) {
    f.PlayerStep();
    EXPECT_NEAR(f.Play.PlayerVelocity.z, expected[tick], 1e-5f) << "tick " << tick + 1;
  }
}

TEST_F(SpeedsTest, AfterburnerAndThrustersTogetherPushTheAfterburnerFirst) {
  SceneForm& f = Stage();
  f.Controls->Buttons[1] = true;
  f.Controls->Buttons[2] = true;
  // Tick 1: 0 - 0.3 = -0.3, still above -0.6, so the thrusters add -0.2: -0.5.
  // Tick 2: 0.95 * -0.5 - 0.3 = -0.775, past -0.6: the thrusters do nothing. Tick 3: -1.03625.
  const std::vector<float> expected = {-0.5f, -0.775f, -1.03625f, -1.2844374f};
  for (size_t tick = 0; tick < expected.size(); ++tick) {
    f.PlayerStep();
    EXPECT_NEAR(f.Play.PlayerVelocity.z, expected[tick], 1e-6f) << "tick " << tick + 1;
  }
}

TEST_F(SpeedsTest, DragSlowsEveryComponentOfTheDriftAndTheShipMovesByIt) {
  SceneForm& f = Stage();
  f.Play.PlayerVelocity = TVector3{1, -2, 0.5f};
  const TVector3 start = World(f.PlayerFrame);
  f.PlayerStep();
  ExpectVectorNear(TVector3{0.95f, -1.9f, 0.475f}, f.Play.PlayerVelocity, 1e-6f);
  // The drift is in the ship's own coordinates, so the step it moved is as long as the drift.
  EXPECT_NEAR(Dist(World(f.PlayerFrame), start), std::sqrt(0.95f * 0.95f + 1.9f * 1.9f + 0.475f * 0.475f), 1e-4f);
  f.PlayerStep();
  ExpectVectorNear(TVector3{0.9025f, -1.805f, 0.45125f}, f.Play.PlayerVelocity, 1e-6f);
}

// ---- the enemies ----

TEST_F(SpeedsTest, TheBallClosesInByHalfAUnitUpToHalfAUnitPerTick) {
  SceneForm& f = Stage();
  PlaceEnemy(0, TVector3{0, 0, -200}, 0);
  // Past phase 40, farther than 80: z' = 0.95 z + 0.5 while 0.95 z < 0.5; 0.95 * 0.975 =
  // 0.92625 is past it, and drag alone brings it down to 0.5005085 at tick 15, still not below
  // 0.5; tick 16 pushes again (0.4754831 + 0.5).
  ExpectEnemyZ(f, TVector3{0, 0, -200}, 50,
               {0.5f, 0.975f, 0.92625f, 0.8799375f, 0.8359407f, 0.7941436f, 0.7544364f, 0.7167146f, 0.6808789f,
                0.6468349f, 0.6144932f, 0.5837685f, 0.5545801f, 0.5268511f, 0.5005085f, 0.9754831f});
}

TEST_F(SpeedsTest, TheBallBacksOffByHalfAUnitUpToOneUnitPerTick) {
  SceneForm& f = Stage();
  PlaceEnemy(0, TVector3{0, 0, -30}, 0);
  // Nearer than 60: z' = 0.95 z - 0.5 while 0.95 z > -1: -0.5, -0.975, -1.42625; then drag
  // alone until 0.95 z = -0.9960036 at tick 10.
  ExpectEnemyZ(f, TVector3{0, 0, -30}, 50,
               {-0.5f, -0.975f, -1.42625f, -1.3549374f, -1.2871906f, -1.222831f, -1.1616895f, -1.103605f, -1.0484247f,
                -1.4960035f, -1.4212034f});
}

TEST_F(SpeedsTest, TheBallHoldsItsSpeedBetween60And80AndOnlyAfterPhase40) {
  SceneForm& f = Stage();
  PlaceEnemy(0, TVector3{0, 0, -100}, 0);
  EXPECT_NEAR(OneStepAt(f, 82, 0, 41), 0.5f, 1e-6f);
  EXPECT_NEAR(OneStepAt(f, 78, 0, 41), 0.0f, 1e-6f);
  EXPECT_NEAR(OneStepAt(f, 78, 0.4f, 41), 0.38f, 1e-6f);
  EXPECT_NEAR(OneStepAt(f, 62, -0.4f, 41), -0.38f, 1e-6f);
  EXPECT_NEAR(OneStepAt(f, 58, 0, 41), -0.5f, 1e-6f);
  EXPECT_NEAR(OneStepAt(f, 200, 0, 40), 0.0f, 1e-6f) << "no speed rule while it turns";
  EXPECT_NEAR(OneStepAt(f, 30, 0.4f, 40), 0.38f, 1e-6f) << "no speed rule while it turns";
}

TEST_F(SpeedsTest, TheBallTurnsEightUnitsTowardsTheShipAndItsDriftWithIt) {
  SceneForm& f = Stage();
  TSXFrame* e = PlaceEnemy(0, TVector3{30, 20, -100}, 0);
  Hold(f, e, TVector3{30, 20, -100});
  f.Play.EnemyVelocity[0] = TVector3{0, 0, 1};
  f.Play.EnemyPhase[0] = 10;
  f.EnemyStep();
  // The ship lies towards -x and -y of the ball: sx = sy = -1, so yaw -8 and pitch -8; the
  // nose is the z row of RY(-8) . RX(8).
  TMatrix4 ry, rx, r;
  MatRotationY(-8, ry);
  MatRotationX(8, rx);
  MatMultiply(ry, rx, r);
  TVector3 nose{}, up{};
  e->GetOrientation(f.RootFrame.get(), nose, up);
  ExpectVectorNear(TVector3{r.m[2][0], r.m[2][1], r.m[2][2]}, nose, 1e-5f);
  // The drift: 0.95 along z, turned about Z by -8 (no change to a vector along z), then about Y by -8.
  TVector3 v{0, 0, 0.95f}, w{};
  VecRotateZ(v, -8, w);
  VecRotateY(w, -8, v);
  ExpectVectorNear(v, f.Play.EnemyVelocity[0], 1e-6f);
}

TEST_F(SpeedsTest, TheGmClosesInByAQuarterUpToHalfAUnitPerTick) {
  SceneForm& f = Stage();
  PlaceEnemy(0, TVector3{0, 0, -200}, 1);
  // Farther than 40: z' = 0.95 z + 0.25 while 0.95 z < 0.5 (0.2375 + 0.25 = 0.4875,
  // 0.463125 + 0.25 = 0.713125), then drag alone until 0.95 z = 0.4980018 at tick 10.
  // Phase 20: no turning, so the drift stays along z.
  ExpectEnemyZ(f, TVector3{0, 0, -200}, 20,
               {0.25f, 0.4875f, 0.713125f, 0.6774687f, 0.6435953f, 0.6114155f, 0.5808448f, 0.5518025f, 0.5242124f,
                0.7480018f, 0.7106017f});
}

TEST_F(SpeedsTest, TheGmBacksOffByAQuarterUpToHalfAUnitPerTick) {
  SceneForm& f = Stage();
  PlaceEnemy(0, TVector3{0, 0, -10}, 1);
  // Nearer than 20: the mirror image, z' = 0.95 z - 0.25 while 0.95 z > -0.5.
  ExpectEnemyZ(f, TVector3{0, 0, -10}, 20,
               {-0.25f, -0.4875f, -0.713125f, -0.6774687f, -0.6435953f, -0.6114155f, -0.5808448f, -0.5518025f,
                -0.5242124f, -0.7480018f, -0.7106017f});
}

TEST_F(SpeedsTest, TheGmHoldsItsSpeedBetween20And40) {
  SceneForm& f = Stage();
  PlaceEnemy(0, TVector3{0, 0, -100}, 1);
  EXPECT_NEAR(OneStepAt(f, 42, 0, 0), 0.25f, 1e-6f);
  EXPECT_NEAR(OneStepAt(f, 38, 0, 0), 0.0f, 1e-6f);
  EXPECT_NEAR(OneStepAt(f, 38, 0.4f, 0), 0.38f, 1e-6f);
  EXPECT_NEAR(OneStepAt(f, 22, -0.4f, 0), -0.38f, 1e-6f);
  EXPECT_NEAR(OneStepAt(f, 18, 0, 0), -0.25f, 1e-6f);
  EXPECT_NEAR(OneStepAt(f, 18, -0.6f, 0), -0.57f, 1e-6f) << "already past -0.5 after drag";
}

TEST_F(SpeedsTest, TheCoreSpeedsUpByAQuarterUpToOneUnitPerTick) {
  SceneForm& f = Stage();
  PlaceEnemy(0, TVector3{0, 0, -200}, 2);
  // Every tick z' = 0.95 z + 0.25 while 0.95 z < 1: 0.25, 0.4875, 0.713125, 0.9274687,
  // 1.1310953; drag alone to 1.0208135; 0.95 * that = 0.9697728 gets the push again.
  // Its drift turns about Y by 5 * sy + 4 every tick even with the ship dead ahead, which
  // keeps the speed but not the z component: the speed is what is compared. (The push goes
  // to z alone while a little of the speed lies along x, sin(4 units) = 0.006 of it, which
  // leaves the length within 2e-4 of the sums above; a step changed by one is 0.01 or more.)
  ExpectEnemyZ(f, TVector3{0, 0, -200}, 0,
               {0.25f, 0.4875f, 0.713125f, 0.9274687f, 1.1310953f, 1.0745405f, 1.0208135f, 1.2197728f, 1.1587842f},
               true);
}

// ---- the stage target ----

class TargetSpeedsTest : public SpeedsTest {
 protected:
  SceneForm& Spawned() {
    SceneForm& f = Stage();
    f.TargetSpawn();
    EXPECT_NE(f.TargetFrame->Mesh, nullptr);
    return f;
  }
  // Target steps held `distance` away with the ship dead ahead, from rest.
  std::vector<TVector3> Steps(SceneForm& f, float distance, size_t ticks) {
    std::vector<TVector3> out;
    f.Play.TargetVelocity = TVector3{0, 0, 0};
    for (size_t i = 0; i < ticks; ++i) {
      Hold(f, f.TargetFrame, TVector3{0, 0, -distance});
      f.Play.TargetPhase = 0;
      f.TargetStep();
      out.push_back(f.Play.TargetVelocity);
    }
    return out;
  }
};

TEST_F(TargetSpeedsTest, FromAfarItRisesByATenthAndClosesInByAQuarterUpToTheirLimits) {
  SceneForm& f = Spawned();
  // Farther than 80, the ship in its cone: y' = 0.95 y + 0.1 while 0.95 y < 0.2 (0.1, 0.195,
  // 0.18525 + 0.1 = 0.28525, then drag alone); z' = 0.95 z + 0.25 while 0.95 z < 2.5 (up to
  // 2.5616250 at tick 14, drag alone at 15 and 16 (0.95 * 2.6835437 = 2.5493665), push at 17).
  const std::vector<float> y = {0.1f, 0.195f, 0.28525f, 0.2709875f, 0.2574381f, 0.2445662f};
  const std::vector<float> z = {0.25f,      0.4875f,    0.713125f,  0.9274687f, 1.1310953f, 1.3245405f,
                                1.5083134f, 1.6828978f, 1.848753f,  2.0063152f, 2.1559994f, 2.2981994f,
                                2.4332895f, 2.561625f,  2.6835437f, 2.5493665f, 2.6718981f, 2.5383031f};
  const std::vector<TVector3> v = Steps(f, 200, z.size());
  for (size_t i = 0; i < z.size(); ++i) {
    EXPECT_NEAR(v[i].z, z[i], 1e-5f) << "tick " << i + 1;
    if (i < y.size()) {
      EXPECT_NEAR(v[i].y, y[i], 1e-6f) << "tick " << i + 1;
    }
    EXPECT_EQ(v[i].x, 0.0f);
  }
}

TEST_F(TargetSpeedsTest, CloseByItBacksOffByAQuarterUpToOnePointEight) {
  SceneForm& f = Spawned();
  // Nearer than 40: z' = 0.95 z - 0.25 while 0.95 z > -1.8; 0.95 * -1.848753 = -1.7563153
  // still gets the push (-2.0063152), then drag alone twice, then the push at tick 13.
  const std::vector<float> z = {-0.25f,      -0.4875f,    -0.713125f,  -0.9274687f, -1.1310953f,
                                -1.3245405f, -1.5083134f, -1.6828978f, -1.848753f,  -2.0063152f,
                                -1.9059994f, -1.8106995f, -1.9701645f, -1.8716563f};
  const std::vector<TVector3> v = Steps(f, 30, z.size());
  for (size_t i = 0; i < z.size(); ++i) {
    EXPECT_NEAR(v[i].z, z[i], 1e-5f) << "tick " << i + 1;
    EXPECT_EQ(v[i].x, 0.0f);
    EXPECT_EQ(v[i].y, 0.0f);
  }
}

TEST_F(TargetSpeedsTest, BetweenTheBandsItWeavesAndOnlyTheDragActsOnZ) {
  SceneForm& f = Spawned();
  Hold(f, f.TargetFrame, TVector3{0, 0, -60});
  f.Play.TargetVelocity = TVector3{0, 0, 2};
  f.Play.TargetPhase = 10;
  f.TargetStep();
  // x = 10 / 50 - 1, y = |10 - 50| / 25 - 1, z = 0.95 * 2.
  ExpectVectorNear(TVector3{-0.8f, 0.6f, 1.9f}, f.Play.TargetVelocity, 1e-6f);
  // Just outside the band on either side the weave does not apply.
  Hold(f, f.TargetFrame, TVector3{0, 0, -82});
  f.Play.TargetVelocity = TVector3{0, 0, 0};
  f.TargetStep();
  ExpectVectorNear(TVector3{0, 0.1f, 0.25f}, f.Play.TargetVelocity, 1e-6f);
  Hold(f, f.TargetFrame, TVector3{0, 0, -38});
  f.Play.TargetVelocity = TVector3{0, 0, 0};
  f.TargetStep();
  ExpectVectorNear(TVector3{0, 0, -0.25f}, f.Play.TargetVelocity, 1e-6f);
}

}  // namespace
