// One tick of play on the real form: which steps run under the stage caption, during
// the death and stage-clear sequences, the stage clock with its music fade, lives, the
// camera, the colony, and what a lost back buffer costs.
#include <gtest/gtest.h>

#include "GameFixture.h"
#include "SceneForm.h"
#include "platform/ddraw/DDrawMachine.h"
#include "platform/dsound/DSound.h"

namespace {

class PlayFrameTest : public GameTest {
 protected:
  // A game on its first stage, stopped between ticks.
  SceneForm& Playing(bool fullScreen = false) {
    SceneForm& f = Start<SceneForm>("", 1, {}, fullScreen);
    StartGame();
    EXPECT_EQ(f.GameState, 1);
    f.Controls = TForm1::TShipControls{};  // the ship only does what a test tells it
    return f;
  }

  // Ticks with a ship that nothing can destroy, so that a test's count-down runs undisturbed.
  static void Tick(SceneForm& f, int ticks = 1) {
    for (int i = 0; i < ticks; ++i) {
      if (f.DeathTime == 0) f.Energy = 1000;
      f.PlayFrame();
    }
  }

  static TDDSDChannel& Music(SceneForm& f) { return *f.DDSD1->GetChannel(5); }

  // Puts a shot in flight far away from everything.
  static TVector3 LaunchShot(SceneForm& f, int slot) {
    const auto s = static_cast<size_t>(slot);
    f.ShotFrames[s]->SetPosition(f.RootFrame.get(), VecMake(0, 4000, 0));
    f.ShotSprites[s]->Mesh = f.MeshBeam.get();
    f.Play.ShotAge[s] = 1;
    return f.ShotFrames[s]->GetPosition(f.RootFrame.get());
  }

  // The stage clock has run out: the next tick brings the target with its message.
  static void ExpectTheTargetToComeNextTick(SceneForm& f) {
    EXPECT_EQ(f.StageTime, 0);
    EXPECT_EQ(f.TargetFrame->Mesh, nullptr);
    Tick(f);
    EXPECT_EQ(f.StageTime, -1);
    EXPECT_EQ(f.TargetFrame->Mesh, f.MeshTarget.get());
    EXPECT_EQ(f.MessageIndex, 10);
    EXPECT_GE(f.MessageTime, 49);  // 50, less what the message box counted
    EXPECT_LE(f.MessageTime, 50);
  }

  void TearDown() override {
    GameTest::TearDown();
    ddraw::ResetMachine();
  }
};

bool SamePlace(const TVector3& a, const TVector3& b) { return a.x == b.x && a.y == b.y && a.z == b.z; }

TEST_F(PlayFrameTest, LosingTheLastShipEndsTheGameAndDrawsNothingThatTick) {
  SceneForm& f = Playing();
  Tick(f, 3);
  ASSERT_GT(f.Flips, 0);
  TDDSDChannel* gun = f.DDSD1->GetChannel(0);
  ASSERT_NE(gun, nullptr);
  gun->PlayLooped();
  ASSERT_TRUE(gun->GetStatus() & DSBSTATUS_PLAYING);

  f.Stock = 0;
  f.DeathTime = 2;
  f.ReadyTime = 50;
  f.StageTime = 3000;
  f.PlayFrame();  // the count-down goes on, the rest of the tick too
  EXPECT_EQ(f.DeathTime, 1);
  EXPECT_EQ(f.GameState, 1);
  EXPECT_EQ(f.ReadyTime, 49);
  EXPECT_EQ(f.StageTime, 2999);
  const int flips = f.Flips;

  f.PlayFrame();
  EXPECT_EQ(f.Stock, -1);
  EXPECT_EQ(f.GameState, 2);
  EXPECT_EQ(f.DeathTime, 400);  // now the game-over screen's time
  EXPECT_EQ(f.Flips, flips);    // nothing drawn or presented
  EXPECT_EQ(f.ReadyTime, 49);   // the tick ended at once
  EXPECT_EQ(f.StageTime, 2999);
  EXPECT_FALSE(gun->GetStatus() & DSBSTATUS_PLAYING);
}

TEST_F(PlayFrameTest, ALostShipRestartsTheStageWithAtLeast300TicksOfStageTime) {
  struct Case {
    int32_t stageTime, restartsWith;
  };
  // -1 (the target is out) is below 300 too: the target comes again 300 ticks later.
  for (const Case c : {Case{120, 300}, Case{2000, 2000}, Case{-1, 300}, Case{300, 300}}) {
    SCOPED_TRACE(c.stageTime);
    SceneForm& f = Playing();
    Tick(f, 2);
    f.Stock = 2;
    f.Score = 1234;
    f.Stage = 3;
    f.DeathTime = 1;
    f.Energy = 0;
    f.StageTime = c.stageTime;
    f.ReadyTime = 0;
    f.ShotSprites[7]->Mesh = f.MeshBeam.get();
    f.ExplosionFrames[2]->Mesh = f.MeshBomb.get();
    f.MissileFrames[1]->Mesh = f.MeshMissile.get();
    if (c.stageTime == -1) f.TargetFrame->Mesh = f.MeshTarget.get();
    const int flips = f.Flips;

    f.PlayFrame();
    EXPECT_EQ(f.GameState, 1);
    EXPECT_EQ(f.Stock, 1);
    EXPECT_EQ(f.Score, 1234);
    EXPECT_EQ(f.Stage, 3);
    EXPECT_EQ(f.Energy, 20);
    EXPECT_EQ(f.DeathTime, 0);
    EXPECT_EQ(f.MessageIndex, 0);
    // The stage clock and the caption already counted this tick.
    EXPECT_EQ(f.StageTime, c.restartsWith - 1);
    EXPECT_EQ(f.ReadyTime, 99);
    EXPECT_EQ(f.ShotSprites[7]->Mesh, nullptr);
    EXPECT_EQ(f.ExplosionFrames[2]->Mesh, nullptr);
    EXPECT_EQ(f.MissileFrames[1]->Mesh, nullptr);
    EXPECT_EQ(f.TargetFrame->Mesh, nullptr);
    EXPECT_EQ(f.PlayerFrame->Mesh, f.MeshBody.get());
    EXPECT_EQ(f.Flips, flips + 1);

    if (c.stageTime == -1) {
      f.TargetEnergy = 3;
      Tick(f, 299);
      ExpectTheTargetToComeNextTick(f);
      EXPECT_EQ(f.TargetEnergy, 55);
    }
    TearDown();
  }
}

TEST_F(PlayFrameTest, LosingTheLastButOneShipShowsTheLastShipMessage) {
  SceneForm& f = Playing();
  f.Stock = 1;
  f.DeathTime = 1;
  f.PlayFrame();
  EXPECT_EQ(f.Stock, 0);
  EXPECT_EQ(f.MessageIndex, 4);
  EXPECT_GE(f.MessageTime, 99);  // the stage start's 100, less what the message box counted
  EXPECT_LE(f.MessageTime, 100);
}

TEST_F(PlayFrameTest, UnderTheStageCaptionOnlyTheShipMoves) {
  SceneForm& f = Playing();
  ASSERT_EQ(f.ReadyTime, 100);
  const TVector3 shot = LaunchShot(f, 0);
  f.SpawnExplosion(VecMake(0, -4000, 0), TForm1::TExplosionSize::Small);
  const int32_t blastAge = f.Play.ExplosionAge[0];
  ASSERT_GT(blastAge, 0);
  const TVector3 enemy = f.EnemyFrames[0]->GetPosition(f.RootFrame.get());
  const TVector3 ship = f.PlayerFrame->GetPosition(f.RootFrame.get());

  f.Controls->Buttons[2] = true;  // thrust
  for (int t = 1; t <= 99; ++t) {
    Tick(f);
    ASSERT_EQ(f.ReadyTime, 100 - t);
  }
  EXPECT_TRUE(SamePlace(shot, f.ShotFrames[0]->GetPosition(f.RootFrame.get())));
  EXPECT_EQ(f.Play.ShotAge[0], 1);
  EXPECT_EQ(f.Play.ExplosionAge[0], blastAge);
  EXPECT_TRUE(SamePlace(enemy, f.EnemyFrames[0]->GetPosition(f.RootFrame.get())));
  EXPECT_FALSE(SamePlace(ship, f.PlayerFrame->GetPosition(f.RootFrame.get())));

  Tick(f);  // the caption's last tick: 1 -> 0, still frozen
  EXPECT_EQ(f.ReadyTime, 0);
  EXPECT_EQ(f.Play.ShotAge[0], 1);
  EXPECT_TRUE(SamePlace(enemy, f.EnemyFrames[0]->GetPosition(f.RootFrame.get())));

  Tick(f);  // now everything moves
  EXPECT_EQ(f.Play.ShotAge[0], 2);
  TVector3 moved = f.ShotFrames[0]->GetPosition(f.RootFrame.get());
  float d = 0;
  VecDistance(d, shot, moved);
  EXPECT_NEAR(d, 6.0f, 1e-3f);
  EXPECT_EQ(f.Play.ExplosionAge[0], blastAge + 1);
  EXPECT_FALSE(SamePlace(enemy, f.EnemyFrames[0]->GetPosition(f.RootFrame.get())));
}

TEST_F(PlayFrameTest, TheStageClockFadesTheMusicOverItsLast200TicksThenBringsTheTarget) {
  SceneForm& f = Playing();
  Music(f).SetVolume(-500);
  f.StageTime = 250;
  Tick(f, 50);
  EXPECT_EQ(f.StageTime, 200);
  EXPECT_EQ(Music(f).Volume(), -500);
  Tick(f);
  EXPECT_EQ(f.StageTime, 199);
  EXPECT_EQ(Music(f).Volume(), -505);
  Tick(f, 199);
  EXPECT_EQ(Music(f).Volume(), -1500);
  ExpectTheTargetToComeNextTick(f);

  // With the target out the clock stands and fades nothing.
  Music(f).SetVolume(-700);
  Tick(f, 5);
  EXPECT_EQ(f.StageTime, -1);
  EXPECT_EQ(Music(f).Volume(), -700);
}

TEST_F(PlayFrameTest, AfterTheTargetTheCameraCirclesTheShipThenBacksAway) {
  SceneForm& f = Playing();
  Tick(f, 101);  // past the caption
  ASSERT_EQ(f.ReadyTime, 0);
  Music(f).SetVolume(-500);
  const TVector3 shot = LaunchShot(f, 3);
  f.ClearCountdown = 149;
  const TMatrix4 before = *f.CameraMatrixInPlayer();
  const TVector3 enemy = f.EnemyFrames[1]->GetPosition(f.RootFrame.get());
  const TVector3 ship = f.PlayerFrame->GetPosition(f.RootFrame.get());
  f.Controls->Buttons[2] = true;  // the ship would move, but its step is skipped

  Tick(f);
  EXPECT_EQ(f.ClearCountdown, 148);
  TMatrix4 turn, expected;
  MatRotationY(-40, turn);
  MatMultiply(before, turn, expected);
  ExpectMatrixNear(expected, *f.CameraMatrixInPlayer());
  EXPECT_EQ(Music(f).Volume(), -510);
  // The enemies and the ship stop; shots fly on.
  EXPECT_TRUE(SamePlace(enemy, f.EnemyFrames[1]->GetPosition(f.RootFrame.get())));
  EXPECT_TRUE(SamePlace(ship, f.PlayerFrame->GetPosition(f.RootFrame.get())));
  EXPECT_FALSE(SamePlace(shot, f.ShotFrames[3]->GetPosition(f.RootFrame.get())));

  Tick(f, 147);
  EXPECT_EQ(f.ClearCountdown, 1);
  EXPECT_EQ(f.GameState, 1);
  EXPECT_EQ(Music(f).Volume(), -500 - 148 * 10);
  ASSERT_TRUE(static_cast<bool>(f.OnMouseMove));

  Tick(f);
  EXPECT_EQ(f.ClearCountdown, -1);
  EXPECT_EQ(f.GameState, 3);
  EXPECT_FALSE(static_cast<bool>(f.OnMouseMove));  // the stage-clear interval began

  // The interval: the camera backs away along its own line of sight.
  const TMatrix4 m0 = *f.CameraMatrixInPlayer();
  Tick(f);
  const TMatrix4 m1 = *f.CameraMatrixInPlayer();
  for (int c = 0; c < 3; ++c) EXPECT_NEAR(m1.m[3][c], m0.m[3][c] - 3 * m0.m[2][c], 1e-3f) << c;
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) EXPECT_NEAR(m1.m[r][c], m0.m[r][c], 1e-5f);
  EXPECT_EQ(f.ClearCountdown, -1);
}

TEST_F(PlayFrameTest, InPlayTheCameraFollowsTheShipAtTheChosenPlacement) {
  SceneForm& f = Playing();
  f.CameraMatrix = f.ViewMatrices[0];
  f.SetCameraMatrixInPlayer(f.ViewMatrices[3]);
  f.Controls->Buttons[2] = true;
  Tick(f, 10);
  ExpectMatrixNear(f.ViewMatrices[0], *f.CameraMatrixInPlayer());
}

TEST_F(PlayFrameTest, TheColonyTurnsAboutItsOwnXAxisEveryTick) {
  SceneForm& f = Playing();
  const TMatrix4 before = f.ColonyFrame->LocalMatrix;
  Tick(f);
  TMatrix4 turn, expected;
  MatRotationX(1, turn);
  MatMultiply(turn, before, expected);
  ExpectMatrixNear(expected, f.ColonyFrame->LocalMatrix, 1e-6f);
  ExpectVectorNear({0, 0, 500}, f.ColonyFrame->GetPosition(f.RootFrame.get()), 1e-3f);
}

TEST_F(PlayFrameTest, ALostBackBufferSkipsTheHudAndThePresent) {
  SceneForm& f = Playing(true);
  ASSERT_TRUE(f.KN->FullScreen);
  Tick(f);
  f.MessageTime = 50;
  const int flips = f.Flips;

  ddraw::LoseSurfaces();
  ASSERT_TRUE(f.KN->BackBuffer->IsLost());
  Tick(f);
  EXPECT_EQ(f.Flips, flips);
  EXPECT_EQ(f.MessageTime, 50);  // the message box did not count this tick
  EXPECT_EQ(f.ReadyTime, 98);    // the rest of the tick ran

  f.KN->RestoreSurfaces();
  ASSERT_FALSE(f.KN->BackBuffer->IsLost());
  Tick(f);
  EXPECT_EQ(f.Flips, flips + 1);
  EXPECT_EQ(f.MessageTime, 49);
}

}  // namespace
