// The opponents' own rules: when an enemy fires and turns, the phases of the ball, and the
// stage target's fan of shots.
#include "SXView1/game/GameplayFixture.h"
#include "SXView1/game/SceneForm.h"

namespace {

using OpponentsTest = GameplayTest;

// The z axis of `frame` in world coordinates: where its nose points.
TVector3 Nose(const TForm1& f, const TSXFrame* frame) {
  TVector3 dir{}, up{};
  frame->GetOrientation(f.RootFrame.get(), dir, up);
  return dir;
}

int ShotsFired(const TForm1& f, int before) {
  return (f.Play.NextShot - before + TForm1::kShotSlots) % TForm1::kShotSlots;
}

TEST_F(OpponentsTest, AnEnemyFiresOnlyReloadedAndWithTheShipAheadAndDoesNotTurnOnAZeroAxis) {
  TForm1& f = QuietStage();
  // A kind-1 enemy 50 units in front of the ship's origin, its nose on the ship.
  TSXFrame* e = PlaceEnemy(0, TVector3{0, 0, -50}, 1);
  e->SetOrientation(f.RootFrame.get(), TVector3{0, 0, 1}, TVector3{0, 1, 0});
  f.Play.EnemyVelocity[0] = TVector3{0, 0, 0};
  f.Play.EnemyPhase[0] = 30;  // a kind 1 turns only past phase 20
  f.Play.EnemyReload[0] = 99;

  int before = f.Play.NextShot;
  f.EnemyStep();
  EXPECT_EQ(ShotsFired(f, before), 0) << "not reloaded yet";
  EXPECT_EQ(f.Play.EnemyReload[0], 100);
  // The ship is exactly ahead: both signs are 0, so the enemy keeps its heading.
  ExpectVectorNear(TVector3{0, 0, 1}, Nose(f, e));

  before = f.Play.NextShot;
  f.EnemyStep();
  ASSERT_EQ(ShotsFired(f, before), 1);
  EXPECT_EQ(f.Play.EnemyReload[0], 1) << "emptied, then one tick of reloading";
  const auto s = static_cast<size_t>(before);
  EXPECT_EQ(f.ShotFrames[s]->Tag, 1) << "an enemy's shot";
  EXPECT_EQ(f.ShotSprites[s]->Mesh, f.MeshBeam.get());
  EXPECT_TRUE(LightOn(before + 5));
  // Fired from the nose, half a unit up and one ahead.
  const TVector3 muzzle = World(f.ShotFrames[s]);
  const TVector3 enemy = World(e);
  ExpectVectorNear(TVector3{enemy.x, enemy.y + 0.5f, enemy.z + 1}, muzzle);
  // The louder the nearer: -5 hundredths of a decibel a unit, to the nearest whole.
  const float dist = Dist(enemy, World(f.PlayerFrame));
  EXPECT_EQ(f.DDSD1->GetChannel(3)->Volume(), static_cast<LONG>(std::nearbyint(-5 * dist)));
  // The shot flies along the enemy's nose, towards the ship.
  const TVector3 p0 = World(f.ShotFrames[s]);
  f.ShotStep();
  ExpectVectorNear(TVector3{p0.x, p0.y, p0.z + 6}, World(f.ShotFrames[s]));

  // Reloaded again but the ship is behind: no shot.
  e->SetOrientation(f.RootFrame.get(), TVector3{0, 0, -1}, TVector3{0, 1, 0});
  f.Play.EnemyReload[0] = 100;
  before = f.Play.NextShot;
  f.EnemyStep();
  EXPECT_EQ(ShotsFired(f, before), 0);
}

TEST_F(OpponentsTest, TheBallTurnsInTheFirst41PhasesAndChangesSpeedOnlyAfter) {
  TForm1& f = QuietStage();
  // A ball 100 away, the ship off to its left and below: it has something to turn towards.
  TSXFrame* e = PlaceEnemy(0, TVector3{30, 20, -100}, 0);
  auto reset = [&](int phase) {
    e->SetPosition(f.RootFrame.get(), TVector3{30, 20, -100});
    e->SetOrientation(f.RootFrame.get(), TVector3{0, 0, 1}, TVector3{0, 1, 0});
    f.Play.EnemyVelocity[0] = TVector3{0, 0, 0};
    f.Play.EnemyPhase[0] = phase;
  };

  reset(41);
  f.EnemyStep();
  ExpectVectorNear(TVector3{0, 0, 1}, Nose(f, e));
  EXPECT_FLOAT_EQ(f.Play.EnemyVelocity[0].z, 0.5f) << "far away and slow: it speeds up";
  EXPECT_EQ(f.Play.EnemyPhase[0], 42);

  reset(40);
  f.EnemyStep();
  const TVector3 nose = Nose(f, e);
  EXPECT_LT(nose.x, 0) << "turned towards the ship on its left";
  EXPECT_LT(nose.y, 0) << "and below";
  EXPECT_FLOAT_EQ(f.Play.EnemyVelocity[0].z, 0.0f) << "no speed rule in the turning phases";

  reset(101);
  f.EnemyStep();
  EXPECT_EQ(f.Play.EnemyPhase[0], 0) << "the phase wraps after 101";
}

TEST_F(OpponentsTest, TheTargetSweeps21ShotsAcrossItsFrontEvery201Ticks) {
  TForm1& f = QuietStage();
  f.TargetSpawn();
  ASSERT_NE(f.TargetFrame->Mesh, nullptr);
  EXPECT_EQ(f.TargetEnergy, 55);
  int fired = 0;
  for (int tick = 0; tick < 201; ++tick) {
    const int before = f.Play.NextShot;
    f.TargetStep();
    const int n = ShotsFired(f, before);
    ASSERT_LE(n, 1);
    fired += n;
    if (n == 0) continue;
    const int c = f.Play.TargetFireClock;
    EXPECT_EQ(c % 10, 0) << "fires on the tens only";
    const auto s = static_cast<size_t>(before);
    EXPECT_EQ(f.ShotFrames[s]->Tag, 1);
    // Each shot leaves from its place along the front: (c div 25 - 4, -0.2, c div 25 + 5).
    const int q = c / 25;
    ExpectVectorNear(TVector3{static_cast<float>(q - 4), -0.2f, static_cast<float>(q + 5)},
                     f.ShotFrames[s]->GetPosition(f.TargetFrame), 1e-3f);
    if (c == 100) {
      // Half way through the sweep the shot flies straight along the target's nose.
      TVector3 dir{}, up{};
      f.ShotFrames[s]->GetOrientation(f.TargetFrame, dir, up);
      ExpectVectorNear(TVector3{0, 0, -1}, dir, 1e-3f);
    }
  }
  EXPECT_EQ(fired, 21);
  EXPECT_EQ(f.Play.TargetFireClock, 0);
}

// The z axis of R = RY(a) . RX(-b): where a nose that pointed along world +z points after a
// turn by yaw a and pitch b in its own coordinates.
TVector3 TurnedNose(TAngle a, TAngle b) {
  TMatrix4 ry, rx, r;
  MatRotationY(a, ry);
  MatRotationX(-b, rx);
  MatMultiply(ry, rx, r);
  return TVector3{r.m[2][0], r.m[2][1], r.m[2][2]};
}

TEST_F(OpponentsTest, TheGmKeepsBetween20And40AndTurnsOnlyPastPhase20) {
  TForm1& f = QuietStage();
  TSXFrame* e = PlaceEnemy(0, TVector3{0, 0, -100}, 1);
  auto stepAt = [&](const TVector3& at, int phase) {
    e->SetPosition(f.RootFrame.get(), at);
    e->SetOrientation(f.RootFrame.get(), TVector3{0, 0, 1}, TVector3{0, 1, 0});
    f.Play.EnemyVelocity[0] = TVector3{0, 0, 0};
    f.Play.EnemyPhase[0] = phase;
    f.EnemyStep();
  };
  // The ship dead ahead, so nothing turns the drift: far closes in, near backs off.
  stepAt(TVector3{0, 0, -100}, 50);
  EXPECT_FLOAT_EQ(f.Play.EnemyVelocity[0].z, 0.25f);
  stepAt(TVector3{0, 0, -10}, 50);
  EXPECT_FLOAT_EQ(f.Play.EnemyVelocity[0].z, -0.25f);
  stepAt(TVector3{0, 0, -30}, 50);
  EXPECT_FLOAT_EQ(f.Play.EnemyVelocity[0].z, 0.0f) << "20 to 40 away it holds";
  // Off axis: no turn up to phase 20, yaw 5 and pitch 2 towards the ship after.
  stepAt(TVector3{30, 20, -100}, 20);
  ExpectVectorNear(TVector3{0, 0, 1}, Nose(f, e));
  stepAt(TVector3{30, 20, -100}, 21);
  ExpectVectorNear(TurnedNose(-5, -2), Nose(f, e));
}

TEST_F(OpponentsTest, TheCoreTurnsHarderFarAwayAndItsDriftTakesTheSum) {
  TForm1& f = QuietStage();
  TSXFrame* e = PlaceEnemy(0, TVector3{30, 20, -100}, 2);
  auto stepAt = [&](const TVector3& at) {
    e->SetPosition(f.RootFrame.get(), at);
    e->SetOrientation(f.RootFrame.get(), TVector3{0, 0, 1}, TVector3{0, 1, 0});
    f.Play.EnemyVelocity[0] = TVector3{0, 0, 0};
    f.EnemyStep();
  };
  // Beyond 60: yaw doubled, pitch four times; the drift turns by 5 * sx, then 5 * sy + 4.
  stepAt(TVector3{30, 20, -100});
  ExpectVectorNear(TurnedNose(-10, -20), Nose(f, e));
  TVector3 v{0, 0, 0.25f}, w{};
  VecRotateZ(v, -5, w);
  VecRotateY(w, -5 + 4, v);
  ExpectVectorNear(v, f.Play.EnemyVelocity[0], 1e-6f);
  // Nearer than 30: plain yaw, pitch doubled, and the drift's second turn 5 * sy + 2.
  stepAt(TVector3{10, 5, -20});
  ExpectVectorNear(TurnedNose(-5, -10), Nose(f, e));
  v = TVector3{0, 0, 0.25f};
  VecRotateZ(v, -5, w);
  VecRotateY(w, -5 + 2, v);
  ExpectVectorNear(v, f.Play.EnemyVelocity[0], 1e-6f);
}

TEST_F(OpponentsTest, TheTargetClosesInWeavesAndBacksOffByDistance) {
  TForm1& f = QuietStage();
  f.TargetSpawn();
  auto stepAt = [&](float z, int phase) {
    f.TargetFrame->SetPosition(f.RootFrame.get(), TVector3{0, 0, z});
    f.TargetFrame->SetOrientation(f.RootFrame.get(), TVector3{0, 0, 1}, TVector3{0, 1, 0});
    f.Play.TargetVelocity = TVector3{0, 0, 0};
    f.Play.TargetPhase = phase;
    f.TargetStep();
  };
  // The ship dead ahead throughout, so the turn of step 4 leaves the velocity alone.
  stepAt(-100, 0);
  ExpectVectorNear(TVector3{0, 0.1f, 0.25f}, f.Play.TargetVelocity, 1e-6f);
  // 40 to 80 away it weaves by its phase alone.
  stepAt(-60, 0);
  ExpectVectorNear(TVector3{-1, 1, 0}, f.Play.TargetVelocity, 1e-6f);
  stepAt(-60, 25);
  ExpectVectorNear(TVector3{-0.5f, 0, 0}, f.Play.TargetVelocity, 1e-6f);
  stepAt(-60, 75);
  ExpectVectorNear(TVector3{0.5f, 0, 0}, f.Play.TargetVelocity, 1e-6f);
  EXPECT_EQ(f.Play.TargetPhase, 76);
  stepAt(-60, 101);
  EXPECT_EQ(f.Play.TargetPhase, 0) << "the phase wraps after 101";
  // Nearer than 40 it backs off.
  stepAt(-30, 10);
  ExpectVectorNear(TVector3{0, 0, -0.25f}, f.Play.TargetVelocity, 1e-6f);
}

}  // namespace
