// The pause of the port, on the headless machine with the real application loop: the focus
// leaves (a scripted blur) and the game's clock stands still, so the stage-clear interval,
// which the game measures in milliseconds, still lasts 8.7 seconds of unpaused time.
#include <algorithm>

#include "Form1Fixture.h"

namespace {

class PauseTest : public Form1Test {
 protected:
  struct TickRecord {
    uint64_t tick;
    int32_t state;
    DWORD machineMs;  // the machine's own clock, which runs on while the game is paused
    DWORD gameMs;     // the clock the game reads
  };

  RecordingForm1& Start(const std::string& script, const host::ComfortSettings& comforts = {}) {
    WriteData(dir_);
    testsupport::WriteFileText(dir_.File("s.txt"), script);
    host::HeadlessOptions options;
    options.scriptPath = dir_.File("s.txt");
    host_ = host::CreateHeadlessHost(options, comforts);
    host::SetCurrent(host_.get());
    TCommandLine answer;
    answer.Headless = true;
    app_ = CreateAnsweringApplication(*host_, answer);
    TForm1Options formOptions;
    formOptions.Seed = 1;
    formOptions.DataDirOverride = dir_.Dir() + "Data";
    RecordingForm1& f = app_->CreateForm<RecordingForm1>(formOptions);
    auto& clock = static_cast<host::PausableClock&>(host_->Clock());
    f.OnTickDone = [this, &f, &clock] {
      // A stage is being played from the second tick; the target falls at tick 10.
      if (f.TicksRun() == 2) f.GameState = 1;
      if (f.TicksRun() == 10) {
        f.BeginStageClear();
        f.GameState = 3;
        clearMachineMs_ = clock.Base().Milliseconds();
      }
      ticks_.push_back({f.TicksRun(), f.GameState, clock.Base().Milliseconds(), timeGetTime()});
      host_->TickDone(f.TicksRun());
    };
    app_->MainForm->Show();
    return f;
  }

  // Runs the application's loop until the next stage has begun (or a generous limit).
  void RunUntilNextStage(RecordingForm1& f) {
    host::Comforts& comforts = *host_->GetComforts();
    for (int guard = 0; guard < 200000; ++guard) {
      app_->HandleMessage();
      if (comforts.Paused()) {
        ++pausedPolls_;
        notice_ = f.Window().Notice();
      }
      if (f.TicksRun() > 10 && f.GameState == 1) return;
    }
    FAIL() << "the next stage never began";
  }

  const TickRecord& FirstTickOfNextStage() const {
    return *std::find_if(ticks_.begin(), ticks_.end(), [](const TickRecord& r) { return r.tick > 10 && r.state == 1; });
  }

  std::vector<TickRecord> ticks_;
  DWORD clearMachineMs_ = 0;
  int pausedPolls_ = 0;
  std::string notice_;
};

TEST_F(PauseTest, FocusAwayForThreeSecondsDuringTheClearStillGivesEightPointSevenSecondsOfPlay) {
  RecordingForm1& f = Start("# the focus leaves 100 ticks into the stage-clear interval\n110 blur 3000\n");
  RunUntilNextStage(f);
  const TickRecord& next = FirstTickOfNextStage();
  // 8.7 s of the game's time, and 3 s more of the machine's.
  EXPECT_GE(next.gameMs - f.ClearTime, 8700u);
  EXPECT_LT(next.gameMs - f.ClearTime, 8700u + 30);
  EXPECT_GE(next.machineMs - clearMachineMs_, 8700u + 3000);
  EXPECT_LT(next.machineMs - clearMachineMs_, 8700u + 3000 + 30);
  // The caption shows the game's milliseconds, which never saw the pause.
  EXPECT_LE(std::stoi(f.Caption()), 8725);
  // No tick ran while the focus was away: one gap of three seconds between ticks.
  int longGaps = 0;
  for (size_t i = 1; i < ticks_.size(); ++i) {
    const DWORD gap = ticks_[i].machineMs - ticks_[i - 1].machineMs;
    if (gap > 100) {
      ++longGaps;
      EXPECT_GE(gap, 3000u);
      EXPECT_LT(gap, 3000u + 30);
      EXPECT_EQ(ticks_[i].gameMs - ticks_[i - 1].gameMs, 25u);  // the game saw one ordinary tick
    }
  }
  EXPECT_EQ(longGaps, 1);
  EXPECT_GT(pausedPolls_, 0);
  EXPECT_EQ(notice_, "PAUSED");
  EXPECT_EQ(f.Window().Notice(), "");
  EXPECT_FALSE(host_->GetComforts()->Paused());
}

TEST_F(PauseTest, WithTheFocusPauseOffTheIntervalRunsOnThroughTheBlur) {
  host::ComfortSettings comforts;
  comforts.pauseOnFocusLoss = false;
  RecordingForm1& f = Start("110 blur 3000\n", comforts);
  RunUntilNextStage(f);
  const TickRecord& next = FirstTickOfNextStage();
  EXPECT_LT(next.machineMs - clearMachineMs_, 8700u + 30);
  EXPECT_EQ(pausedPolls_, 0);
}

}  // namespace
