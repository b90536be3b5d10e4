// The autopilot's steering: for a quarry to either side, above or below the ship's nose, it
// picks the stick direction that turns the nose towards it, and one tick of the ship step
// with that stick brings the quarry nearer the nose.
#include <cmath>

#include "SXView1/game/GameplayFixture.h"
#include "SXView1/game/SceneForm.h"

namespace {

class AutopilotTest : public GameplayTest {
 protected:
  // Puts the only enemy at `local` in the ship's own coordinates (the nose is along -z).
  void QuarryAt(SceneForm& f, const TVector3& local) {
    TVector3 world{};
    f.PlayerFrame->LocalToWorld(local, world);
    PlaceEnemy(0, world, 1);
  }
  TVector3 SeenFromShip(SceneForm& f) { return f.EnemyFrames[0]->GetPosition(f.PlayerFrame); }
  // The angle between the nose (-z) and the quarry, in radians.
  float OffNose(SceneForm& f) {
    const TVector3 p = SeenFromShip(f);
    return std::acos(-p.z / std::sqrt(p.x * p.x + p.y * p.y + p.z * p.z));
  }
  // Flies one ship step with the autopilot's stick (its buttons left out, so that nothing is
  // fired and the ship does not move) and returns that stick.
  TForm1::TShipControls SteerOnce(SceneForm& f) {
    TForm1::TShipControls c = f.AutopilotControls();
    TForm1::TShipControls stick;
    stick.h = c.h;
    stick.v = c.v;
    f.Controls = stick;
    f.PlayerStep();
    return c;
  }
};

// A positive yaw turns the ship about its own y axis by MatRotationY, which swings a nose
// along -z towards -x; so a quarry on the +x side needs h = -1 and one on the -x side h = +1.
// Likewise a positive pitch (MatRotationX(-20 v)) swings the nose towards -y: a quarry above
// (+y) needs v = -1, one below v = +1.
TEST_F(AutopilotTest, ItSteersTowardsAQuarryOnEitherSideAboveOrBelow) {
  struct Case {
    const char* where;
    TVector3 local;
    int h, v;
  };
  const Case cases[] = {{"right", {60, 0, -100}, -1, 0},
                        {"left", {-60, 0, -100}, 1, 0},
                        {"above", {0, 60, -100}, 0, -1},
                        {"below", {0, -60, -100}, 0, 1}};
  for (const Case& c : cases) {
    SceneForm& f = QuietStage<SceneForm>();
    QuarryAt(f, c.local);
    const float before = OffNose(f);
    const TForm1::TShipControls stick = SteerOnce(f);
    EXPECT_EQ(stick.h, c.h) << c.where;
    EXPECT_EQ(stick.v, c.v) << c.where;
    // One tick of 20 angle units (360 / 4096 * 20 = 1.76 degrees) nearer the nose.
    EXPECT_NEAR(before - OffNose(f), 20 * 2 * 3.14159265f / 4096, 1e-3f) << c.where;
    const TVector3 seen = SeenFromShip(f);
    if (c.h != 0) {
      EXPECT_LT(std::fabs(seen.x), std::fabs(c.local.x)) << c.where;
    }
    if (c.v != 0) {
      EXPECT_LT(std::fabs(seen.y), std::fabs(c.local.y)) << c.where;
    }
  }
}

TEST_F(AutopilotTest, ItBringsAQuarryOffToOneCornerOntoTheNoseAndHoldsItThere) {
  SceneForm& f = QuietStage<SceneForm>();
  QuarryAt(f, TVector3{-40, 30, -100});
  float off = OffNose(f);
  for (int tick = 0; tick < 40; ++tick) {
    SteerOnce(f);
    const float now = OffNose(f);
    EXPECT_LE(now, off + 1e-4f) << "tick " << tick + 1 << ": it never turns away";
    off = now;
  }
  // Within its aiming cone (an off-axis share of 0.04 of the direction) it leaves the stick alone.
  const TVector3 p = SeenFromShip(f);
  const float length = std::sqrt(p.x * p.x + p.y * p.y + p.z * p.z);
  EXPECT_LE(std::fabs(p.x) / length, 0.04f + 0.02f);
  EXPECT_LE(std::fabs(p.y) / length, 0.04f + 0.02f);
  EXPECT_LT(p.z, 0.0f) << "ahead";
}

TEST_F(AutopilotTest, AQuarryBehindIsTurnedTowardsTheNearerSide) {
  SceneForm& f = QuietStage<SceneForm>();
  QuarryAt(f, TVector3{10, 0, 100});
  EXPECT_EQ(SteerOnce(f).h, -1) << "behind and to the right: keep turning right";
  SceneForm& g = QuietStage<SceneForm>();
  QuarryAt(g, TVector3{-10, 0, 100});
  EXPECT_EQ(SteerOnce(g).h, 1) << "behind and to the left: keep turning left";
  SceneForm& k = QuietStage<SceneForm>();
  QuarryAt(k, TVector3{0, 0, -100});
  const TForm1::TShipControls dead = SteerOnce(k);
  EXPECT_EQ(dead.h, 0) << "dead ahead: no turn";
  EXPECT_EQ(dead.v, 0) << "dead ahead: no turn";
}

}  // namespace
