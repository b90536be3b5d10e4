// Faults of the machine while the whole game runs on the headless host: the sound device goes
// away and comes back, another program takes the screen. The game plays the same game through
// them; only what cannot be heard or seen is missing.
#include <algorithm>
#include <array>

#include "ProgramRun.h"
#include "kiln/TKiln.h"
#include "platform/ddraw/DDraw.h"
#include "platform/host/headless/HeadlessAudio.h"
#include "platform/host/services/ImageCodecs.h"

namespace {

// What one run leaves after each tick.
struct Played {
  std::vector<uint32_t> checksums;                // the demos' checksum of the game state
  std::vector<std::array<int32_t, 12>> counters;  // the statistics' counters
  std::vector<uint64_t> pictures;                 // a hash of the picture on the screen
  std::vector<std::string> notices;               // the game window's notice
  std::vector<bool> lostAtTickEnd;                // the back buffer, as the tick left it
  std::vector<bool> lostAfterEvents;              // the back buffer, once the next tick's events are in
  std::vector<bool> explosions;                   // an explosion shows
  std::vector<uint64_t> notifications;            // the music stream's notifications so far
  std::vector<uint64_t> soundFrames;              // frames the sink has played so far
  std::vector<int16_t> sound;                     // everything the sink played
  std::string errors;                             // the standard error stream
};

uint64_t Hash(const std::vector<uint32_t>& pixels) {
  uint64_t h = 0xcbf29ce484222325ull;
  for (uint32_t p : pixels) h = (h ^ p) * 0x100000001b3ull;
  return h;
}

class Faults : public ::testing::Test {
 protected:
  void SetUp() override { programrun::WriteWholeDataSet(dir_); }

  // Starts a game at tick 10 (or lets the autopilot start it) and plays `ticks` ticks with `script` besides.
  Played Play(const std::string& script, uint64_t ticks, bool pauseOnFocusLoss = true, bool autopilot = false) {
    testsupport::WriteFileText(dir_.File("s.txt"), "10 down Enter\n11 up Enter\n" + script);
    host::HeadlessOptions options;
    options.scriptPath = dir_.File("s.txt");
    host::ComfortSettings comforts;
    comforts.pauseOnFocusLoss = pauseOnFocusLoss;
    Played run;
    testing::internal::CaptureStderr();
    {
      std::unique_ptr<host::IHost> machine = host::CreateHeadlessHost(options, comforts);
      host::SetCurrent(machine.get());
      auto& sink = static_cast<host::HeadlessAudio&>(machine->Audio());
      sink.StartCapture();
      TCommandLine answer;
      answer.Headless = true;
      auto app = CreateAnsweringApplication(*machine, answer);
      TForm1Options formOptions;
      formOptions.Seed = 1;
      formOptions.DataDirOverride = dir_.Dir() + "Data";
      formOptions.Autopilot = autopilot;
      TForm1& f = app->CreateForm<TForm1>(formOptions);
      f.OnTickDone = [&] {
        // The notification thread has done what this tick asked of it, so the sound of
        // two runs can be compared sample by sample.
        TDDSDGenWave* music = f.Sounds.MusicBuffer.get();
        if (music) {
          EXPECT_TRUE(music->WaitForNotifications());
        }
        run.checksums.push_back(GameStateChecksum(f));
        run.counters.push_back({f.GameState, f.Score, f.Stage, f.Stock, f.Energy, f.TargetEnergy, f.StageTime,
                                f.ReadyTime, f.DeathTime, f.ClearCountdown, f.MessageIndex, f.MessageTime});
        int w = 0, h = 0;
        run.pictures.push_back(Hash(f.Window().LastPresented(w, h)));
        run.explosions.push_back(std::any_of(f.ExplosionFrames.begin(), f.ExplosionFrames.end(),
                                             [](const TSXFrame* e) { return e && e->Mesh; }));
        run.notifications.push_back(music ? music->NotificationsStarted() : 0);
        auto lost = [&f] { return f.KN->BackBuffer && f.KN->BackBuffer->Surface->IsLost() != DD_OK; };
        run.lostAtTickEnd.push_back(lost());
        machine->TickDone(f.TicksRun());
        run.lostAfterEvents.push_back(lost());
        run.notices.push_back(f.Window().Notice());
        run.soundFrames.push_back(sink.FramesConsumed());
        if (f.TicksRun() >= ticks) app->Terminate();
      };
      app->Run();
      run.sound = sink.TakeCaptured();
      app.reset();
      host::SetCurrent(nullptr);
    }
    run.errors = testing::internal::GetCapturedStderr();
    return run;
  }

  static size_t Count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
  }

  testsupport::TempDir dir_;
};

TEST_F(Faults, TheSoundDeviceGoesMidGameTheGamePlaysOnSilentAndTheSoundComesBackInStep) {
  const Played plain = Play("", 220);
  const Played lost = Play("60 audio lost\n160 audio back\n", 220);

  // The same game, tick for tick.
  ASSERT_EQ(lost.checksums.size(), 220u);
  EXPECT_EQ(lost.checksums, plain.checksums);
  EXPECT_EQ(lost.counters, plain.counters);
  EXPECT_EQ(lost.pictures, plain.pictures);

  // Said once, on the error stream and over the picture; and once when it is back.
  EXPECT_EQ(Count(lost.errors, "tavvyhop: Sound device lost: the game goes on without sound\n"), 1u) << lost.errors;
  EXPECT_EQ(Count(lost.errors, "tavvyhop: Sound is back\n"), 1u) << lost.errors;
  EXPECT_EQ(Count(plain.errors, "Sound"), 0u) << plain.errors;
  EXPECT_EQ(lost.notices[59], "");
  EXPECT_EQ(lost.notices[60], "Sound device lost: the game goes on without sound");

  // The music's notification thread went on through the loss (a half is 50 ticks long).
  EXPECT_GE(lost.notifications[159] - lost.notifications[60], 1u);
  EXPECT_EQ(lost.notifications, plain.notifications);

  // Nothing reached the sink while the device was away: the played sound is the plain run's
  // without the lost stretch, and what came after it is the plain run's to the sample.
  const size_t lostSamples = plain.sound.size() - lost.sound.size();
  const double lostSeconds = double(lostSamples) / 2 / 44100;
  EXPECT_NEAR(lostSeconds, 100 * 0.025, 0.03);
  const auto firstDifference =
      std::mismatch(lost.sound.begin(), lost.sound.end(), plain.sound.begin()).first - lost.sound.begin();
  const auto sameTail =
      std::mismatch(lost.sound.rbegin(), lost.sound.rend(), plain.sound.rbegin()).first - lost.sound.rbegin();
  EXPECT_NEAR(double(firstDifference) / 2 / 44100, 60 * 0.025, 0.1);
  EXPECT_GE(size_t(firstDifference + sameTail), lost.sound.size());
  // The music plays in that tail (it is not two silences agreeing).
  const auto loudest = *std::max_element(lost.sound.end() - sameTail, lost.sound.end(),
                                         [](int16_t a, int16_t b) { return std::abs(a) < std::abs(b); });
  EXPECT_GT(std::abs(loudest), 1000);
  // The sink's own count of frames went on all the time: the virtual clock's pace.
  EXPECT_EQ(lost.soundFrames, plain.soundFrames);
}

TEST_F(Faults, ScreenTakenAwayWhilePausedComesBackThroughThePaintWithTheSamePictures) {
  const Played plain = Play("", 160);
  const Played taken = Play("60 surfaces lost 1500\n", 160);
  ASSERT_EQ(taken.checksums.size(), 160u);
  EXPECT_FALSE(taken.lostAfterEvents[58]);
  EXPECT_TRUE(taken.lostAfterEvents[59]) << "the screen was taken before tick 60";
  // Paused while away, so no tick ran on lost surfaces; the paint of the returning window
  // restored them before tick 60, and every picture is the plain run's.
  EXPECT_EQ(std::count(taken.lostAtTickEnd.begin(), taken.lostAtTickEnd.end(), true), 0);
  EXPECT_FALSE(taken.lostAfterEvents[60]);
  EXPECT_EQ(taken.checksums, plain.checksums);
  EXPECT_EQ(taken.counters, plain.counters);
  EXPECT_EQ(taken.pictures, plain.pictures);
}

TEST_F(Faults, ScreenTakenAwayWithoutThePauseSkipsTheHudTicksAndDrawsAgainAfterThePaint) {
  // The ship flies by itself (keys would not reach it while another program has the focus),
  // so every tick has a picture of its own.
  const Played plain = Play("", 260, false, true);
  const Played taken = Play("120 surfaces lost 1000\n", 260, false, true);
  ASSERT_EQ(taken.checksums.size(), 260u);
  // The game's own rules: a tick on a lost back buffer draws nothing and skips the head-up
  // display (so the message box does not count it); everything else plays on as before.
  EXPECT_EQ(taken.checksums, plain.checksums);
  EXPECT_FALSE(taken.lostAtTickEnd[119]);
  EXPECT_TRUE(taken.lostAfterEvents[119]);
  size_t lostTicks = 0, movedMeanwhile = 0;
  for (size_t t = 120; t < taken.lostAtTickEnd.size() && taken.lostAtTickEnd[t]; ++t) {
    ++lostTicks;
    EXPECT_EQ(taken.pictures[t], taken.pictures[119]) << "tick " << t << " presented on a lost screen";
    EXPECT_GE(taken.counters[t][11], taken.counters[t - 1][11]) << "tick " << t << ": the message box counted";
    movedMeanwhile += plain.pictures[t] != plain.pictures[119];
  }
  EXPECT_NEAR(double(lostTicks), 40, 2);  // a second of the machine's time
  EXPECT_GT(movedMeanwhile, 0u);
  const size_t back = 120 + lostTicks;
  EXPECT_FALSE(taken.lostAtTickEnd[back]);
  EXPECT_NE(taken.pictures[back], taken.pictures[119]) << "drawing again";
  // Where a tick starts and ends in the plain run's state, it draws the plain run's picture.
  // The explosion tiles have no file to come back from: they keep what the restored memory
  // holds, which in a debug build is the stand-in's checker.
#ifdef NDEBUG
  constexpr bool kCheckerAfterRestore = false;
#else
  constexpr bool kCheckerAfterRestore = true;
#endif
  size_t compared = 0;
  for (size_t t = back; t < 260; ++t) {
    if (taken.counters[t - 1] != plain.counters[t - 1] || taken.counters[t] != plain.counters[t]) continue;
    if (kCheckerAfterRestore && taken.explosions[t]) continue;
    EXPECT_EQ(taken.pictures[t], plain.pictures[t]) << "tick " << t;
    ++compared;
  }
  EXPECT_GE(compared, kCheckerAfterRestore ? 1u : 40u);
}

}  // namespace
