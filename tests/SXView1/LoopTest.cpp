#include "Form1Fixture.h"

namespace {

class LoopTest : public Form1Test {
 protected:
  RecordingForm1& Title() {
    WriteData(dir_);
    RecordingForm1& f = Start();
    f.Clear();
    return f;
  }
};

TEST_F(LoopTest, EnterStartsOneGameOnlyFromTheTitle) {
  RecordingForm1& f = Title();
  f.StockSetting = 4;
  f.Score = 77;
  EXPECT_EQ(Press(f, 13), 13);
  EXPECT_EQ(f.GameState, 1);
  EXPECT_EQ(f.ReadyTime, 100);
  EXPECT_EQ(f.Stock, 4);
  EXPECT_EQ(f.Score, 0);
  EXPECT_EQ(f.EnemyTop, 5);
  EXPECT_EQ(f.Stage, 1);
  EXPECT_EQ(f.StageTime, 6000);
  EXPECT_EQ(f.Calls, (std::vector<std::string>{"StartStageScene"}));
  EXPECT_FALSE(f.Image2->Visible());
  EXPECT_TRUE(f.OnMouseMove);  // the mouse moves the camera while a stage is played
  // Held Enter repeats: nothing more happens, in any state but the title.
  for (int state : {1, 2, 3}) {
    f.GameState = state;
    f.Clear();
    f.ReadyTime = 5;
    Press(f, 13);
    EXPECT_EQ(f.GameState, state);
    EXPECT_EQ(f.ReadyTime, 5);
    EXPECT_TRUE(f.Calls.empty());
  }
}

TEST_F(LoopTest, EscapeReturnsToTheTitleAndOnTheTitleEndsTheProgram) {
  RecordingForm1& f = Title();
  for (int state : {1, 2, 3}) {
    f.GameState = state;
    f.Clear();
    f.OnMouseMove = [](forms::TObject*, forms::TShiftState, int, int) {};
    f.Image2->SetVisible(false);
    Press(f, 27);
    EXPECT_EQ(f.GameState, 0);
    EXPECT_EQ(f.Calls, (std::vector<std::string>{"EnterTitleScene", "ComposeTitle"}));
    EXPECT_FALSE(f.OnMouseMove);
    EXPECT_TRUE(f.Image2->Visible());
    EXPECT_FALSE(app_->Terminated());
  }
  testsupport::WriteFileText(dir_.File("music.wav"), "RIFF");
  f.MusicStream = std::make_unique<rtl::TFileStream>(dir_.File("music.wav"), rtl::fmOpenRead);
  Press(f, 27);
  EXPECT_FALSE(f.MusicStream);
  EXPECT_TRUE(app_->Terminated());
}

TEST_F(LoopTest, F1KeepsTheCameraPlacementOnlyDuringPlay) {
  RecordingForm1& f = Title();
  TMatrix4 placed = MatIdentity();
  placed.m[3][2] = -42.0f;
  f.Camera = placed;
  f.ViewIndex = 3;
  for (int state : {0, 2, 3}) {
    f.GameState = state;
    Press(f, 112);
    EXPECT_EQ(f.ViewMatrices[3].m[3][2], 0.0f) << state;
  }
  f.GameState = 1;
  Press(f, 112);
  EXPECT_EQ(f.ViewMatrices[3].m[3][2], -42.0f);
  // Other keys do nothing at all.
  f.Clear();
  for (WORD key : {WORD('Z'), WORD(32), WORD(113), WORD(0)}) Press(f, key);
  EXPECT_TRUE(f.Calls.empty());
  EXPECT_EQ(f.GameState, 1);
}

TEST_F(LoopTest, TicksDispatchByStateAndUnknownStatesDoNothing) {
  RecordingForm1& f = Title();
  const std::pair<int, const char*> states[] = {{0, "TitleFrame"}, {1, "PlayFrame"}, {2, "GameOverFrame"}};
  for (auto [state, frame] : states) {
    f.GameState = state;
    f.Clear();
    RunTicks(f, 1);
    EXPECT_EQ(f.Calls, (std::vector<std::string>{frame}));
  }
  f.GameState = 7;
  f.Clear();
  uint64_t before = f.TicksRun();
  RunTicks(f, 3);
  EXPECT_EQ(f.TicksRun(), before + 3);
  EXPECT_TRUE(f.Calls.empty());
}

TEST_F(LoopTest, StageClearRunsPlayFramesForTheIntervalThenTheNextStage) {
  RecordingForm1& f = Title();
  f.GameState = 1;
  f.OnMouseMove = [](forms::TObject*, forms::TShiftState, int, int) {};
  f.BeginStageClear();
  EXPECT_EQ(f.ClearTime, timeGetTime());
  EXPECT_FALSE(f.OnMouseMove);
  EXPECT_TRUE(f.Called("BeginStageClearMusic"));
  f.GameState = 3;
  f.Stage = 2;
  f.Score = 500;
  f.EnemyTop = 6;
  f.Clear();
  Sleep(8699);
  f.StageClearFrame();
  EXPECT_EQ(f.Calls, (std::vector<std::string>{"PlayFrame"}));
  EXPECT_EQ(f.Caption(), "8699");
  EXPECT_EQ(f.GameState, 3);
  Sleep(1);
  f.Clear();
  f.StageClearFrame();
  EXPECT_EQ(f.Caption(), "8700");  // the caption keeps the last value
  EXPECT_EQ(f.Calls, (std::vector<std::string>{"DDSDStopChannel 5", "StartStageScene"}));
  EXPECT_EQ(f.GameState, 1);
  EXPECT_EQ(f.ReadyTime, 100);
  EXPECT_EQ(f.EnemyTop, 7);
  EXPECT_EQ(f.Score, 2500);  // 2 x 1000 for clearing stage 2
  EXPECT_EQ(f.Stage, 3);
  EXPECT_EQ(f.StageTime, 6000);
  EXPECT_TRUE(f.OnMouseMove);
  // From the seventh stage on all twelve enemy slots are used, and no more.
  f.EnemyTop = 11;
  f.ClearTime = timeGetTime() - 9000;
  f.GameState = 3;
  f.StageClearFrame();
  EXPECT_EQ(f.EnemyTop, 11);
}

TEST_F(LoopTest, IdleTickRunsEvery25MillisecondsSleeps4AndNeverCatchesUp) {
  RecordingForm1& f = Title();
  f.GameState = 1;
  DWORD start = timeGetTime();
  f.LastTick = start;
  std::vector<DWORD> tickTimes;
  f.OnTickDone = [&] { tickTimes.push_back(f.LastTick); };
  for (int i = 0; i < 6; ++i) {
    bool done = true;
    f.IdleTick(&f, done);
    EXPECT_FALSE(done);
    EXPECT_EQ(timeGetTime(), start + 4 * DWORD(i + 1));  // each call slept 4 ms
  }
  EXPECT_TRUE(tickTimes.empty());  // 24 ms: still waiting
  bool done = true;
  f.IdleTick(&f, done);
  EXPECT_EQ(timeGetTime(), start + 28);
  f.IdleTick(&f, done);
  ASSERT_EQ(tickTimes.size(), 1u);
  EXPECT_EQ(tickTimes[0], start + 28);

  // A tick that takes 100 ms: the next call runs one tick, not four.
  f.TickCost = 100;
  DWORD slowStart = timeGetTime();
  f.LastTick = slowStart - 25;
  f.IdleTick(&f, done);  // the slow tick
  EXPECT_EQ(timeGetTime(), slowStart + 100);
  f.TickCost = 0;
  size_t before = tickTimes.size();
  f.IdleTick(&f, done);
  f.IdleTick(&f, done);
  EXPECT_EQ(tickTimes.size(), before + 1);
  EXPECT_EQ(timeGetTime(), slowStart + 104);

  // Across the wrap of the millisecond counter the difference stays right.
  f.LastTick = 0xFFFFFFF0u;
  f.Clear();
  // The game reads the headless machine's virtual clock through the pause of the port.
  auto* pausable = dynamic_cast<host::PausableClock*>(&win::CurrentClock());
  ASSERT_TRUE(pausable);
  auto* clock = dynamic_cast<win::VirtualClock*>(&pausable->Base());
  ASSERT_TRUE(clock);
  clock->Advance(0u - timeGetTime() + 5);  // now = 5, 21 ms after the last tick
  f.IdleTick(&f, done);
  EXPECT_TRUE(f.Calls.empty());
  Sleep(4);
  f.IdleTick(&f, done);
  EXPECT_EQ(f.Calls, (std::vector<std::string>{"PlayFrame"}));
}

TEST(MouseTurn, ShiftTurnsInStepsOnceTheMotionAddsUpPast10Pixels) {
  int lastX = 0, lastY = 0;
  int x = 0;
  std::vector<TAngle> turns;
  for (int i = 0; i < 3; ++i) {
    x += 5;
    int dx = x - lastX;
    lastX = x;
    turns.push_back(MouseTurnStep(dx, 0, true, lastX, lastY).ax);
  }
  EXPECT_EQ(turns, (std::vector<TAngle>{0, 0, 341}));
  EXPECT_EQ(lastX, 15);
  // Leftwards and upwards turn the other way; exactly 10 pixels is not enough.
  int lx = 0, ly = 0;
  TMouseTurn t = MouseTurnStep(-11, 10, true, lx, ly);
  EXPECT_EQ(t.ax, -341);
  EXPECT_EQ(t.ay, 0);
  EXPECT_EQ(lx, 0);
  EXPECT_EQ(ly, -10);
  t = MouseTurnStep(0, -12, true, lx, ly);
  EXPECT_EQ(t.ay, -341);
  // Without Shift the turn follows the motion.
  t = MouseTurnStep(3, -2, false, lx, ly);
  EXPECT_EQ(t.ax, 12);
  EXPECT_EQ(t.ay, -8);
}

TEST_F(LoopTest, RightDragWithShiftTurnsTheCameraOnceAtTheThirdEvent) {
  RecordingForm1& f = Title();
  Press(f, 13);
  f.MeshesReady = true;
  f.Camera = MatIdentity();
  f.Clear();
  const auto shiftRight = forms::ssShift | forms::ssRight;
  f.OnMouseMove(&f, 0, 100, 100);  // the first event only sets the last position
  f.OnMouseMove(&f, shiftRight, 105, 100);
  f.OnMouseMove(&f, shiftRight, 110, 100);
  const TMatrix4 identity = MatIdentity();
  EXPECT_EQ(std::memcmp(&*f.Camera, &identity, sizeof(TMatrix4)), 0);
  f.OnMouseMove(&f, shiftRight, 115, 100);
  TMatrix4 expected;
  MatRotationY(-341, expected);
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) EXPECT_NEAR(f.Camera->m[r][c], expected.m[r][c], 1e-6) << r << c;
  }
  EXPECT_EQ(std::memcmp(&f.CameraMatrix, &*f.Camera, sizeof(TMatrix4)), 0);
  // The left button moves the camera along its own axis: 0.1 per pixel of vertical motion.
  f.Clear();
  f.OnMouseMove(&f, forms::ssLeft, 115, 130);
  EXPECT_EQ(f.Calls, (std::vector<std::string>{"MoveCameraInOwnSpace 3.000000"}));
}

TEST_F(LoopTest, TheMouseDoesNothingWithoutTheSceneOrOutsideAStage) {
  RecordingForm1& f = Title();
  EXPECT_FALSE(f.OnMouseMove);  // not on the title
  Press(f, 13);
  f.Camera = MatIdentity();
  f.Clear();
  f.OnMouseMove(&f, forms::ssRight, 50, 50);  // no meshes yet
  EXPECT_TRUE(f.Calls.empty());
  EXPECT_EQ(f.LastMouseX, 0);
  f.MeshesReady = true;
  auto idle = app_->OnIdle;
  app_->OnIdle = nullptr;  // nor before the loop is installed
  f.OnMouseMove(&f, forms::ssRight, 50, 50);
  EXPECT_TRUE(f.Calls.empty());
  app_->OnIdle = idle;
  f.BeginStageClear();
  EXPECT_FALSE(f.OnMouseMove);
}

}  // namespace
