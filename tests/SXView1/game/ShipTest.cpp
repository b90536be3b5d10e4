// The ship step driven by scripted keys: volleys and the shot pool, the press latches,
// the afterburner's drift and the blade's swing.
#include <string>

#include "SXView1/game/GameplayFixture.h"

namespace {

using ShipTest = GameplayTest;

TEST_F(ShipTest, AVolleyTakesFiveSlotsAndItsShotsFlySixUnitsPerTick) {
  TForm1& f = QuietStage("12 down Z\n");
  RunTicks(12);
  EXPECT_EQ(ShotsInFlight(), 0);
  RunTicks(1);
  EXPECT_EQ(f.Play.NextShot, 5);
  ASSERT_EQ(ShotsInFlight(), 5);
  TVector3 before[5];
  for (size_t s = 0; s < 5; ++s) {
    EXPECT_EQ(f.ShotFrames[s]->Tag, 0);
    EXPECT_EQ(f.Play.ShotAge[s], 1);
    EXPECT_EQ(f.ShotSprites[s]->Texture, f.TexBeam2.get());
    before[s] = World(f.ShotFrames[s]);
    // Launched at the muzzle (0, -2, -1) of the ship at the origin, then one step flown.
    EXPECT_NEAR(Dist(before[s], TVector3{0, -2, -1}), 6.0f, 1e-3f) << "shot " << s;
  }
  // The first shot flies straight ahead, the other four spread out.
  EXPECT_NEAR(before[0].z, -7.0f, 1e-4f);
  EXPECT_NEAR(before[0].x, 0.0f, 1e-4f);
  RunTicks(1);
  for (size_t s = 0; s < 5; ++s) {
    TVector3 now = World(f.ShotFrames[s]);
    EXPECT_NEAR(Dist(now, before[s]), 6.0f, 1e-3f) << "shot " << s;
    // The sprite and the light go with the carrier.
    EXPECT_NEAR(Dist(World(f.ShotSprites[s]), now), 0.0f, 1e-4f);
    EXPECT_NEAR(Light(static_cast<int>(s) + 5).dvPosition.z, now.z, 1e-4f);
    EXPECT_TRUE(LightOn(static_cast<int>(s) + 5));
  }
}

TEST_F(ShipTest, The102ndShotTakesOverTheOldestMidFlight) {
  // 21 volleys, two ticks apart: 105 shots launched while the first are still flying.
  std::string script;
  for (int v = 0; v < 21; ++v) {
    script += std::to_string(12 + 2 * v) + " down Z\n" + std::to_string(13 + 2 * v) + " up Z\n";
  }
  TForm1& f = QuietStage(script);
  RunTicks(12 + 2 * 20 + 1);
  EXPECT_EQ(ShotsInFlight(), 101);
  EXPECT_EQ(f.Play.NextShot, 4);
  // Slots 0..3 hold the last volley's shots 2..5; slot 4 still has the first volley's last
  // shot, 40 ticks and 246 units out.
  for (size_t s = 0; s < 4; ++s) EXPECT_EQ(f.Play.ShotAge[s], 1) << "slot " << s;
  EXPECT_EQ(f.Play.ShotAge[4], 41);
  EXPECT_EQ(f.Play.ShotAge[100], 1);
  EXPECT_LT(Dist(World(f.ShotFrames[0]), TVector3{0, -2, -1}), 6.1f);
  EXPECT_GT(Dist(World(f.ShotFrames[4]), TVector3{0, -2, -1}), 240.0f);
}

TEST_F(ShipTest, HoldingAButtonActsOncePerPress) {
  TForm1& f = QuietStage(
      "12 down Z\n12 down A\n12 down Q\n"
      "40 up Z\n40 up A\n40 up Q\n"
      "42 down Z\n42 down A\n42 down Q\n");
  const int view = f.ViewIndex;
  RunTicks(40);
  EXPECT_EQ(f.Play.NextShot, 5);
  EXPECT_EQ(f.Play.NextMissile, 2);
  EXPECT_EQ(f.ViewIndex, (view + 1) % 4);
  RunTicks(3);
  EXPECT_EQ(f.Play.NextShot, 10);
  EXPECT_EQ(f.Play.NextMissile, 4);
  EXPECT_EQ(f.ViewIndex, (view + 2) % 4);
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) EXPECT_EQ(f.CameraMatrix(r, c), f.ViewMatrices[static_cast<size_t>(f.ViewIndex)](r, c));
  }
}

TEST_F(ShipTest, NothingIsFiredUnderTheCaptionButAHeldButtonFiresWhenItEnds) {
  TForm1& f = QuietStage("12 down Z\n");
  f.ReadyTime = 30;
  RunTicks(40);
  EXPECT_EQ(f.ReadyTime, 0);
  EXPECT_EQ(f.Play.NextShot, 5);
  EXPECT_EQ(f.Play.ShotAge[0], 40 - 30);  // the volley left on the first tick after the caption
}

TEST_F(ShipTest, AfterburnerDriftSettlesInItsBandAndTheFlamesShow) {
  TForm1& f = QuietStage("12 down X\n");
  RunTicks(12 + 80);
  EXPECT_LE(f.Play.PlayerVelocity.z, -2.0f);
  EXPECT_GE(f.Play.PlayerVelocity.z, -2.3f);
  EXPECT_EQ(f.PlayerPartFrames[0]->Mesh, f.MeshBeam.get());
  EXPECT_EQ(f.PlayerPartFrames[2]->Mesh, nullptr);
  EXPECT_TRUE(LightOn(2));
  EXPECT_TRUE(LightOn(4));
  EXPECT_FALSE(LightOn(3));
  // The ship went forward (along -Z) and the flames trail behind it.
  TVector3 ship = World(f.PlayerFrame);
  EXPECT_LT(ship.z, -100.0f);
  EXPECT_GT(World(f.PlayerPartFrames[0]).z, ship.z + 11);
}

TEST_F(ShipTest, ABladeSwingIsOneTurnInEightSteps) {
  TForm1& f = QuietStage("12 down S\n13 up S\n15 down S\n");
  const TMatrix4 rest = f.BladeFrame->GetMatrix(f.PlayerFrame);
  RunTicks(13);
  EXPECT_EQ(f.Play.BladeTimer, 2);
  // Pressing again mid-swing does nothing; the swing ends after its eighth step.
  RunTicks(7);
  EXPECT_EQ(f.Play.BladeTimer, 0);
  const TMatrix4 after = f.BladeFrame->GetMatrix(f.PlayerFrame);
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c) EXPECT_NEAR(after(r, c), rest(r, c), 1e-4f);
  }
  // S still held: the next swing starts once the blade is at rest.
  RunTicks(1);
  EXPECT_EQ(f.Play.BladeTimer, 2);
}

TEST_F(ShipTest, WarningsNeedAMovingShipAndAQuietMessageBoxAndTheLastOneChoosesTheLine) {
  TForm1& f = QuietStage();
  TSXFrame* root = f.RootFrame.get();
  const TVector3 colony = f.ColonyFrame->GetPosition(root);
  const TVector3 earth = f.EarthFrame->GetPosition(root);
  ASSERT_GT(Dist(colony, earth), 1800 + 400) << "the two warnings must be told apart";
  auto stepAt = [&](const TVector3& at, const TVector3& velocity) {
    f.PlayerFrame->SetPosition(root, at);
    f.Play.PlayerVelocity = velocity;
    f.MessageTime = 0;
    f.MessageIndex = 0;
    f.PlayerStep();
  };
  const TVector3 drift{0, 0, -0.01f};

  // A ship exactly at rest raises nothing, even beside the colony.
  stepAt(TVector3{colony.x, colony.y + 100, colony.z}, TVector3{0, 0, 0});
  EXPECT_EQ(f.MessageTime, 0);
  stepAt(TVector3{colony.x, colony.y + 100, colony.z}, drift);
  EXPECT_EQ(f.MessageIndex, 6);
  EXPECT_EQ(f.MessageTime, 50);
  // Near the planet and far from the origin at once: the planet's line comes last and wins.
  const TVector3 nearEarth{earth.x, earth.y + 1000, earth.z};
  ASSERT_GT(Dist(nearEarth, TVector3{0, 0, 0}), 2500.0f);
  stepAt(nearEarth, drift);
  EXPECT_EQ(f.MessageIndex, 5);
  stepAt(TVector3{4000, 0, 0}, drift);
  EXPECT_EQ(f.MessageIndex, 7);
  // A message already showing, or a ship going down, keeps the box as it is.
  f.PlayerFrame->SetPosition(root, TVector3{4000, 0, 0});
  f.MessageTime = 3;
  f.MessageIndex = 1;
  f.PlayerStep();
  EXPECT_EQ(f.MessageIndex, 1);
  EXPECT_EQ(f.MessageTime, 3);
  f.MessageTime = 0;
  f.DeathTime = 5;
  f.PlayerStep();
  EXPECT_EQ(f.MessageIndex, 1);
  EXPECT_EQ(f.MessageTime, 0);
}

}  // namespace
