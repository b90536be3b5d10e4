#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>

#include "Form1Fixture.h"
#include "ProgramRun.h"
#include "platform/host/services/ImageCodecs.h"

namespace {

using namespace programrun;

TEST(Program, HeadlessRunGoesTitlePlayTitleAndWritesFramesAndStatistics) {
  testsupport::TempDir dir;
  WriteProgramData(dir);
  testsupport::WriteFileText(dir.File("s.txt"),
                             "# start a game, then back to the title\n10 down Enter\n11 up Enter\n"
                             "100 down Escape\n101 up Escape\n");
  RunResult r = RunProgram({"--headless", "--seed=1", "--script=" + dir.File("s.txt"), "--ticks=300",
                            "--frames=" + dir.File("frames"), "--frame-every=100", "--stats=" + dir.File("stats.txt"),
                            "--data=" + dir.Dir() + "Data"});
  ASSERT_EQ(r.code, 0) << r.err;
  auto rows = ReadStats(dir.File("stats.txt"));
  ASSERT_EQ(rows.size(), 300u);
  for (size_t t = 0; t < rows.size(); ++t) {
    ASSERT_EQ(rows[t].size(), 13u);
    EXPECT_EQ(rows[t][0], long(t));
    long state = (t >= 10 && t < 100) ? 1 : 0;
    EXPECT_EQ(rows[t][1], state) << "tick " << t;
  }
  // Tick 10 started a game: stage 1, stock 2 (3 lives), energy 20, and its first play tick
  // already counted the stage clock (6000), the caption (100) and message 0's time (100).
  EXPECT_EQ(rows[10], (std::vector<long>{10, 1, 0, 1, 2, 20, 0, 5999, 99, 0, 0, 0, 99}));
  for (int t : {0, 100, 200}) {
    host::services::Image img;
    char name[32];
    std::snprintf(name, sizeof name, "frames/frame-%06d.png", t);
    ASSERT_TRUE(host::services::ReadPng(dir.File(name), img)) << name;
    EXPECT_EQ(img.width, 640);
    EXPECT_EQ(img.height, 480);
  }
  EXPECT_FALSE(std::filesystem::exists(dir.File("frames/frame-000050.png")));
}

TEST(Program, HOnTheTitleShowsTheControlsOverThePictureAndHAgainTakesThemAway) {
  testsupport::TempDir dir;
  WriteProgramData(dir);
  testsupport::WriteFileText(dir.File("s.txt"), "20 down H\n21 up H\n40 down H\n41 up H\n");
  for (const char* lang : {"en", "ja"}) {
    RunResult r =
        RunProgram({"--headless", "--seed=1", "--lang=" + std::string(lang), "--script=" + dir.File("s.txt"),
                    "--ticks=51", "--frames=" + dir.File(lang), "--frame-every=10", "--data=" + dir.Dir() + "Data"});
    ASSERT_EQ(r.code, 0) << r.err;
    host::services::Image before, help, after;
    ASSERT_TRUE(host::services::ReadPng(dir.File(std::string(lang) + "/frame-000010.png"), before));
    ASSERT_TRUE(host::services::ReadPng(dir.File(std::string(lang) + "/frame-000030.png"), help));
    ASSERT_TRUE(host::services::ReadPng(dir.File(std::string(lang) + "/frame-000050.png"), after));
    // The panel covers the middle of the picture (above the pulsing prompt); then it is gone.
    int changed = 0, restored = 0, total = 0;
    for (int y = 160; y < 370; ++y) {
      for (int x = 70; x < 570; ++x) {
        const size_t i = (size_t(y) * 640 + size_t(x)) * 3;
        const bool same = std::equal(before.pixels.begin() + long(i), before.pixels.begin() + long(i) + 3,
                                     help.pixels.begin() + long(i));
        changed += same ? 0 : 1;
        restored += std::equal(before.pixels.begin() + long(i), before.pixels.begin() + long(i) + 3,
                               after.pixels.begin() + long(i));
        ++total;
      }
    }
    EXPECT_GT(changed, total / 2) << lang;
    EXPECT_EQ(restored, total) << lang;
  }
}

TEST(Program, TwentyThousandHeadlessTicksRunOnTheVirtualClock) {
  testsupport::TempDir dir;
  WriteProgramData(dir);
  RunResult r =
      RunProgram({"--headless", "--ticks=20000", "--stats=" + dir.File("stats.txt"), "--data=" + dir.Dir() + "Data"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(ReadStats(dir.File("stats.txt")).size(), 20000u);
}

TEST(Program, ReportsBadInputClearly) {
  testsupport::TempDir dir;
  RunResult r = RunProgram({"--bogus"});
  EXPECT_EQ(r.code, 2);
  EXPECT_NE(r.err.find("unknown option '--bogus'"), std::string::npos);
  r = RunProgram({"--help"});
  EXPECT_EQ(r.code, 0);
  EXPECT_NE(r.out.find("--frame-every=N"), std::string::npos);
  testsupport::WriteFileText(dir.File("bad.txt"), "1 down Enter\n2 jump\n");
  r = RunProgram({"--headless", "--script=" + dir.File("bad.txt")});
  EXPECT_EQ(r.code, 2);
  EXPECT_NE(r.err.find("bad.txt line 2: unknown event 'jump'"), std::string::npos) << r.err;
  // A missing data folder: every file named, the data-problem exit code, and no game.
  r = RunProgram({"--headless", "--ticks=5", "--data=" + dir.Dir() + "nothing"});
  EXPECT_EQ(r.code, 3);
  EXPECT_NE(r.err.find(dir.Dir() + "nothing/View.dat: is missing; the game cannot do without it and stops."),
            std::string::npos)
      << r.err;
  EXPECT_NE(r.err.find(dir.Dir() + "nothing/pigzam.sx: is missing"), std::string::npos) << r.err;
  // Cancel ends the program without a tick.
  WriteProgramData(dir);
  r = RunProgram({"--headless", "--cancel", "--stats=" + dir.File("st.txt"), "--data=" + dir.Dir() + "Data"});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_TRUE(ReadStats(dir.File("st.txt")).empty());
}

TEST(Program, TimeDemoPlaysTheTicksBackToBackAndReportsThem) {
  testsupport::TempDir dir;
  WriteProgramData(dir);
  RunResult r = RunProgram({"--headless", "--autopilot", "--seed=3", "--ticks=120", "--timedemo",
                            "--stats=" + dir.File("st.txt"), "--data=" + dir.Dir() + "Data"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(ReadStats(dir.File("st.txt")).size(), 120u);
  EXPECT_EQ(r.out.rfind("timedemo: 120 ticks in ", 0), 0u) << r.out;
  EXPECT_NE(r.out.find(" ticks per second, "), std::string::npos) << r.out;
  // Without a machine of its own or an end, a time demo would be a real-time game or endless.
  for (auto args :
       {std::vector<std::string>{"--timedemo", "--ticks=5"}, std::vector<std::string>{"--headless", "--timedemo"},
        std::vector<std::string>{"--headless", "--timedemo", "--ticks=0"}}) {
    r = RunProgram(args);
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find("--timedemo needs --headless and --ticks=N"), std::string::npos) << r.err;
  }
  EXPECT_EQ(TimeDemoLine(400, 2.0), "timedemo: 400 ticks in 2.000 s: 200.0 ticks per second, 5.000 ms a tick");
}

// --audio-out writes what the headless sink played; the limiter keeps the game's loudest
// moments below full scale, and --audio-limiter=0 gives back plain clipping.
TEST(Program, AudioOutWritesWhatTheSinkPlayedAndStatsReportTheAudioCounts) {
  testsupport::TempDir dir;
  WriteProgramData(dir);
  RunResult r = RunProgram({"--headless", "--autopilot", "--seed=3", "--ticks=200", "--stats=" + dir.File("st.txt"),
                            "--audio-out=" + dir.File("out.wav"), "--data=" + dir.Dir() + "Data"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.err.find("audio: "), std::string::npos) << r.err;
  EXPECT_NE(r.err.find(" late"), std::string::npos) << r.err;
  const auto bytes = testsupport::ReadFileBytes(dir.File("out.wav"));
  ASSERT_GT(bytes.size(), 44u);
  uint32_t data = 0;
  std::memcpy(&data, bytes.data() + 40, 4);
  EXPECT_EQ(data, bytes.size() - 44);
  // 200 ticks of 25 ms: five seconds of stereo at 44100 Hz, give or take a period.
  EXPECT_NEAR(double(data) / 4 / 44100, 5.0, 0.1);

  EXPECT_TRUE(ParseCommandLine({}).AudioLimiter);
  EXPECT_FALSE(ParseCommandLine({"--audio-limiter=0"}).AudioLimiter);
  EXPECT_EQ(ParseCommandLine({}).AudioRunAheadMs, 0);
  EXPECT_EQ(ParseCommandLine({"--audio-run-ahead=150"}).AudioRunAheadMs, 150);
  EXPECT_THROW(ParseCommandLine({"--audio-run-ahead=501"}), ECommandLine);
  EXPECT_THROW(ParseCommandLine({"--audio-limiter=2"}), ECommandLine);
  EXPECT_THROW(ParseCommandLine({"--audio-out"}), ECommandLine);
  r = RunProgram({"--audio-out=" + dir.File("x.wav")});
  EXPECT_EQ(r.code, 2);
  EXPECT_NE(r.err.find("--audio-out needs --headless"), std::string::npos) << r.err;
  r = RunProgram({"--headless", "--ticks=1", "--audio-out=" + dir.File("no/such/dir/x.wav")});
  EXPECT_EQ(r.code, 2);
  EXPECT_NE(r.err.find("Cannot create the audio output file"), std::string::npos) << r.err;
}

TEST(CommandLine, ParsesTheContractAndRefusesTheRest) {
  TCommandLine c = ParseCommandLine({"--headless", "--fullscreen=0", "--no-hal", "--no-mmx", "--no-tnlhal", "--flat",
                                     "--specular=0", "--lives=100", "--seed=4294967295", "--ticks=20000", "--frames=f",
                                     "--frame-every=25", "--stats=s", "--data=d", "--autopilot", "--script=x", "--ok"});
  EXPECT_TRUE(c.Headless);
  EXPECT_FALSE(c.FullScreen);
  EXPECT_TRUE(c.NoHal && c.NoMmx && c.NoTnlHal && c.Flat && c.Autopilot);
  EXPECT_FALSE(c.Specular);
  EXPECT_EQ(c.Lives, 100);
  EXPECT_EQ(c.Seed, 4294967295u);
  EXPECT_EQ(c.Ticks, 20000u);
  EXPECT_EQ(c.FrameEvery, 25);
  EXPECT_EQ(c.Frames, "f");
  EXPECT_EQ(c.Stats, "s");
  EXPECT_EQ(c.Data, "d");
  EXPECT_EQ(c.Script, "x");
  EXPECT_EQ(c.Ok, true);
  TCommandLine d = ParseCommandLine({});
  EXPECT_FALSE(d.Headless);
  EXPECT_FALSE(d.Ok);
  EXPECT_TRUE(d.FullScreen && d.Specular);
  EXPECT_EQ(d.Lives, 3);
  EXPECT_EQ(ParseCommandLine({"--cancel"}).Ok, false);
  EXPECT_FALSE(d.RenderThreads);
  EXPECT_EQ(ParseCommandLine({"--render-threads=4"}).RenderThreads, 4);
  for (const char* bad : {"--lives=4", "--lives=", "--lives", "--seed=-1", "--seed=x", "--frame-every=0",
                          "--fullscreen=2", "--ticks=1e3", "--ok=1", "--headless=yes", "extra", "--stats",
                          "--render-threads=0", "--render-threads=5", "--render-threads"}) {
    EXPECT_THROW(ParseCommandLine({bad}), ECommandLine) << bad;
  }
}

class DialogPictureTest : public ::testing::Test {
 protected:
  std::unique_ptr<host::IHost> host_ = host::CreateHeadlessHost({});
  forms::TApplication app_{*host_};
};

int DarkPixels(const std::vector<uint32_t>& px, int width, RECT r) {
  int n = 0;
  for (int y = r.top; y < r.bottom; ++y) {
    for (int x = r.left; x < r.right; ++x) {
      uint32_t p = px[size_t(y) * size_t(width) + size_t(x)];
      if (((p >> 16) & 0xFF) < 80 && ((p >> 8) & 0xFF) < 80 && (p & 0xFF) < 80) ++n;
    }
  }
  return n;
}

TEST_F(DialogPictureTest, OptionsDialogIsDrawnAsAUsableDialog) {
  auto dlg = forms::MakeForm<TOptionForm>(app_);
  EXPECT_EQ(dlg->Caption(), "Tavhop起動オプション（記憶はされんので）");
  EXPECT_EQ(dlg->ClientWidth(), 333);
  EXPECT_EQ(dlg->ClientHeight(), 161);
  EXPECT_EQ(dlg->ComboBox1->Text(), "3");
  dlg->SelectNext(true);
  dlg->PaintNow();
  auto px = dlg->Surface().ToXrgb();
  ASSERT_TRUE(host::services::WritePngXrgb("options-dialog.png", px.data(), 333, 161, 333));
  // Check marks inside the boxes of CheckBox1 and CheckBox5, none in CheckBox2..4.
  auto box = [](int l, int t) { return RECT{8 + l + 3, 4 + t + 5, 8 + l + 10, 4 + t + 12}; };
  EXPECT_GE(DarkPixels(px, 333, box(12, 20)), 15);
  EXPECT_GE(DarkPixels(px, 333, box(152, 24)), 15);
  for (int t : {40, 60, 80}) EXPECT_EQ(DarkPixels(px, 333, box(12, t)), 0) << t;
  // The radio dot of RadioButton2, none in RadioButton1.
  auto dot = [](int t) { return RECT{8 + 152 + 4, 4 + t + 2 + 4, 8 + 152 + 8, 4 + t + 2 + 8}; };
  EXPECT_GE(DarkPixels(px, 333, dot(76)), 8);
  EXPECT_EQ(DarkPixels(px, 333, dot(56)), 0);
  // Japanese captions are drawn: ink beside each box and on the buttons.
  EXPECT_GT(DarkPixels(px, 333, RECT{8 + 12 + 17, 4 + 20, 8 + 12 + 117, 4 + 37}), 40);
  EXPECT_GT(DarkPixels(px, 333, RECT{8 + 152 + 17, 4 + 56, 8 + 152 + 141, 4 + 73}), 40);
  EXPECT_GT(DarkPixels(px, 333, RECT{164 + 2, 128 + 2, 164 + 73, 128 + 23}), 20);
  EXPECT_GT(DarkPixels(px, 333, RECT{16, 126, 60, 142}), 20);

  // The open list shows all six choices over the dialog.
  dlg->ComboBox1->SetDroppedDown(true);
  dlg->PaintNow();
  auto open = dlg->Surface().ToXrgb();
  ASSERT_TRUE(host::services::WritePngXrgb("options-dialog-list.png", open.data(), 333, 161, 333));
  RECT list = dlg->ComboBox1->ListRect();
  EXPECT_GE(list.top, 0);
  EXPECT_LE(list.bottom, 161);
  EXPECT_EQ(list.bottom - list.top, 6 * dlg->ComboBox1->ItemHeight() + 2);
  EXPECT_NE(open, px);
}

TEST_F(DialogPictureTest, OptionsDialogAnswersFromTheKeyboard) {
  auto dlg = forms::MakeForm<TOptionForm>(app_);
  dlg->Show();
  auto key = [&](int vk, uint32_t shift = 0) {
    host::Event e;
    e.type = host::EventType::KeyDown;
    e.window = &dlg->Window();
    e.vk = vk;
    e.shift = shift;
    dlg->HandleEvent(e);
  };
  dlg->SelectNext(true);
  EXPECT_EQ(dlg->ActiveControl(), dlg->CheckBox1);
  key(host::VK_SPACE);  // full screen off
  key(host::VK_TAB);
  key(host::VK_SPACE);                            // no MMX
  for (int i = 0; i < 4; ++i) key(host::VK_TAB);  // HAL, TnL, specular, Gouraud radio
  EXPECT_EQ(dlg->ActiveControl(), dlg->RadioButton2);
  key(host::VK_UP);  // flat
  key(host::VK_TAB);
  EXPECT_EQ(dlg->ActiveControl(), dlg->ComboBox1);
  key(host::VK_DOWN);
  key(host::VK_DOWN);
  key(host::VK_RETURN);
  EXPECT_EQ(dlg->ModalResult, forms::mrOk);
  EXPECT_FALSE(dlg->CheckBox1->Checked);
  EXPECT_TRUE(dlg->CheckBox2->Checked);
  EXPECT_FALSE(dlg->CheckBox3->Checked);
  EXPECT_TRUE(dlg->RadioButton1->Checked());
  EXPECT_EQ(dlg->ComboBox1->Text(), "7");
  dlg->ModalResult = forms::mrNone;
  key(host::VK_ESCAPE);
  EXPECT_EQ(dlg->ModalResult, forms::mrCancel);
}

// ---- The real program in a real window (Xvfb) ----------------------------------

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!Have("xvfb-run") || !Have("Xvfb")) GTEST_SKIP() << "no Xvfb on this machine";
    if (!Have("xdotool")) GTEST_SKIP() << "no xdotool to click with";
    WriteWholeDataSet(dir_);
  }
  // The script: start the program, wait for the dialog to show and take the keyboard, then
  // the given steps. Steps wait for windows (xdotool --sync) and for the program's state in
  // its statistics file (one line per tick: tick, GameState, ...), never for a fixed time:
  // `tick=$(await_state S FROM)` waits for the first line after line FROM whose game state
  // is S and gives its line number.
  std::string Script(const std::string& steps) {
    // The desktop bus library under SDL keeps buffers to the end of the process, which
    // a sanitizer build would report as leaks of the program; the program's own
    // memory is leak-checked by the in-process headless runs.
    return "set -u\n"
           "export ASAN_OPTIONS=detect_leaks=0\n"
           "export XDG_CONFIG_HOME='" +
           dir_.Dir() +
           "config'\n"
           "stats='" +
           dir_.File("stats.txt") +
           "'\n"
           "exe='" TAVVYHOP_EXE
           "'\n"
           "\"$exe\" --lang=ja --data='" +
           dir_.Dir() +
           "Data' --fullscreen=0 --stats=\"$stats\" & pid=$!\n"
           "await_state() {\n"
           "  for i in $(seq 1200); do\n"
           "    n=$(awk -v s=\"$1\" -v from=\"$2\" 'NR > from && $2 == s { print NR; exit }' \"$stats\" 2>/dev/null)\n"
           "    if [ -n \"$n\" ]; then echo \"$n\"; return 0; fi\n"
           "    kill -0 $pid 2>/dev/null || break\n"
           "    sleep 0.05\n"
           "  done\n"
           "  echo \"no game state $1 after line $2\" >&2; kill $pid 2>/dev/null; exit 4\n"
           "}\n"
           "focus() { timeout 20 xdotool windowfocus --sync \"$1\" || { echo \"no focus for $1\"; kill $pid; exit 5; "
           "}; }\n"
           "dlg=$(timeout 60 xdotool search --sync --onlyvisible --name 'Tavhop' | head -1)\n"
           "[ -n \"$dlg\" ] || { echo 'no dialog'; kill $pid; exit 5; }\n"
           "focus $dlg\n" +
           steps +
           "for i in $(seq 300); do kill -0 $pid 2>/dev/null || break; sleep 0.1; done\n"
           "if kill -0 $pid 2>/dev/null; then kill $pid; echo 'still running'; exit 3; fi\n"
           "wait $pid; echo \"exit $?\"\n";
  }
  std::string Log() { return testsupport::ReadFileText(dir_.File("log.txt")); }
  testsupport::TempDir dir_;
};

TEST_F(WindowTest, TheDialogIsClickedThroughAndTheGameRunsUntilEscape) {
  // Choose 5 lives in the list (it opens upwards), press OK, start a game with Enter once
  // the title runs, back to the title with Escape once the game runs, and out with Escape.
  // The clicks need no pauses: the dialog takes its events in the order they were sent.
  std::string steps =
      "xdotool mousemove --window $dlg 100 134 click 1\n"
      "xdotool mousemove --window $dlg 100 $((124 - 92 + 1 + 2 * 15 + 7)) click 1\n"
      "xdotool mousemove --window $dlg 201 140 click 1\n"
      "main=$(timeout 60 xdotool search --sync --onlyvisible --name '^Tavvyhop$' | head -1)\n"
      "[ -n \"$main\" ] || { echo 'no main window'; kill $pid; exit 5; }\n"
      "focus $main\n"
      "title=$(await_state 0 0) || exit 4\n"
      "xdotool key Return\n"
      "play=$(await_state 1 $title) || exit 4\n"
      "xdotool key Escape\n"
      "await_state 0 $play >/dev/null || exit 4\n"
      "xdotool key Escape\n";
  ASSERT_EQ(InXvfb(Script(steps), dir_), 0) << Log();
  EXPECT_NE(Log().find("exit 0"), std::string::npos) << Log();
  auto rows = ReadStats(dir_.File("stats.txt"));
  ASSERT_FALSE(rows.empty()) << Log();
  bool played = false;
  for (auto& row : rows) {
    if (row.size() == 13 && row[1] == 1) {
      played = true;
      EXPECT_EQ(row[4], 4);  // 5 lives chosen in the dialog
    }
  }
  EXPECT_TRUE(played) << Log();
  EXPECT_EQ(rows.back()[1], 0);
}

TEST_F(WindowTest, CancelEndsTheProgramWithoutAGame) {
  ASSERT_EQ(InXvfb(Script("xdotool key Escape\n"), dir_), 0) << Log();
  EXPECT_NE(Log().find("exit 0"), std::string::npos) << Log();
  EXPECT_TRUE(ReadStats(dir_.File("stats.txt")).empty());
}

// ---- The port's comforts in a real window, driven with real X events -------------

// Shell helpers of the comfort scripts: they wait on the program's state (its statistics
// lines, its windows and files), never for a fixed time.
const char* const kWaitHelpers =
    "lines() { if [ -f \"$stats\" ]; then wc -l < \"$stats\"; else echo 0; fi; }\n"
    // The state of the last whole line (the program may be half-way through writing one).
    "state() { tail -n 3 \"$stats\" | grep -E '^(-?[0-9]+ ){12}-?[0-9]+$' | tail -n 1 | cut -d' ' -f2; }\n"
    "waitfor() { for i in $(seq 600); do if eval \"$1\"; then return 0; fi; sleep 0.05; done;"
    " echo \"timed out waiting for: $1\"; kill $pid 2>/dev/null; exit 4; }\n"
    // No tick for 0.7 s: the game stands still. A running game ticks 40 times a second.
    "still() { a=$(lines); sleep 0.7; [ \"$a\" = \"$(lines)\" ]; }\n"
    "ticking() { a=$(lines); waitfor \"[ \\$(lines) -gt $((a + 10)) ]\"; }\n"
    // Up to 30 s, as waitfor: on a loaded machine the program's shutdown (threads joined, files
    // written) can take more than a few seconds.
    "ends() { for i in $(seq 600); do kill -0 $pid 2>/dev/null || break; sleep 0.05; done;"
    " if kill -0 $pid 2>/dev/null; then kill $pid; echo 'still running'; exit 3; fi; wait $pid; }\n";

TEST_F(WindowTest, PauseFullScreenScreenshotsAndSettingsThatStay) {
  const std::string d = dir_.Dir();
  std::string script =
      "set -u\n"
      "export ASAN_OPTIONS=detect_leaks=0\n"
      "export XDG_CONFIG_HOME='" +
      d + "config' XDG_PICTURES_DIR='" + d +
      "pics'\n"
      "exe='" TAVVYHOP_EXE
      "'\n"
      "stats='" +
      d + "stats.txt'\n" + kWaitHelpers +
      // First run: the dialog in English, confirmed with Enter; the choices are saved.
      "\"$exe\" --lang=en --data='" + d +
      "Data' --fullscreen=0 --lives=5 --stats=\"$stats\" & pid=$!\n"
      "dlg=$(xdotool search --sync --onlyvisible --name '^Tavvyhop start-up options$' | head -1)\n"
      "xdotool windowfocus --sync $dlg\n"
      "xdotool key Return\n"
      "waitfor '[ -f \"$XDG_CONFIG_HOME/tavvyhop/settings.conf\" ]'\n"
      "main=$(xdotool search --sync --onlyvisible --name '^Tavvyhop$' | head -1)\n"
      "xdotool windowfocus --sync $main\n"
      "waitfor '[ $(lines) -gt 5 ]'\n"
      "echo \"window $(xdotool getwindowgeometry $main | sed -n 's/.*Geometry: //p')\"\n"
      // A screenshot of the title.
      "xdotool key F12\n"
      "waitfor 'ls \"$XDG_PICTURES_DIR\"/tavvyhop/tavvyhop-*.png >/dev/null 2>&1'\n"
      "xdotool key Return\n"
      "waitfor '[ \"$(state)\" = 1 ]'\n"
      // P pauses and resumes.
      "xdotool key p\n"
      "waitfor still\n"
      "echo 'paused by P'\n"
      "xdotool key p\n"
      "ticking\n"
      // The focus goes to another window: the game stands still until it comes back.
      "xmessage -title sink 'another program' & sink=$!\n"
      "other=$(xdotool search --sync --onlyvisible --name '^sink$' | head -1)\n"
      "xdotool windowfocus --sync $other\n"
      "waitfor still\n"
      "echo 'paused by the focus'\n"
      "xdotool windowfocus --sync $main\n"
      "ticking\n"
      "kill $sink\n"
      // Full screen and back, with F11 and Alt+Enter, while the game goes on. (Without a window
      // manager the X server shows no change of size; the switch itself is tested headless.)
      "xdotool key F11\n"
      "ticking\n"
      "xdotool key alt+Return\n"
      "ticking\n"
      "echo \"switched twice, state $(state)\"\n"
      "xdotool key Escape\n"
      "waitfor '[ \"$(state)\" = 0 ]'\n"
      // On the title, Alt+Enter is the switch, not Enter: no game starts.
      "xdotool key alt+Return\n"
      "ticking\n"
      "echo \"title after Alt+Enter, state $(state)\"\n"
      "xdotool key alt+Return\n"
      "ticking\n"
      "xdotool key Escape\n"
      "ends; echo \"exit $?\"\n"
      // Second run: "don't ask again" in the file; no dialog, the saved five lives.
      "sed -i 's/^ask_at_start = 1/ask_at_start = 0/' \"$XDG_CONFIG_HOME/tavvyhop/settings.conf\"\n"
      "rm -f \"$stats\"\n"
      "\"$exe\" --data='" +
      d +
      "Data' --stats=\"$stats\" & pid=$!\n"
      "main=$(xdotool search --sync --onlyvisible --name '^Tavvyhop' | head -1)\n"
      "echo \"first window $(xdotool getwindowname $main)\"\n"
      "xdotool windowfocus --sync $main\n"
      "waitfor '[ $(lines) -gt 5 ]'\n"
      "xdotool key Return\n"
      "waitfor '[ \"$(state)\" = 1 ]'\n"
      "echo \"stock $(tail -n 1 \"$stats\" | cut -d' ' -f5)\"\n"
      "xdotool key Escape\n"
      "waitfor '[ \"$(state)\" = 0 ]'\n"
      "xdotool key Escape\n"
      "ends; echo \"second exit $?\"\n";
  ASSERT_EQ(InXvfb(script, dir_), 0) << Log();
  const std::string log = Log();
  EXPECT_NE(log.find("window 640x480"), std::string::npos) << log;
  EXPECT_NE(log.find("paused by P"), std::string::npos) << log;
  EXPECT_NE(log.find("paused by the focus"), std::string::npos) << log;
  EXPECT_NE(log.find("switched twice, state 1"), std::string::npos) << log;
  EXPECT_NE(log.find("title after Alt+Enter, state 0"), std::string::npos) << log;
  EXPECT_NE(log.find("exit 0"), std::string::npos) << log;
  EXPECT_NE(log.find("first window Tavvyhop\n"), std::string::npos) << log;  // not the dialog
  EXPECT_NE(log.find("stock 4"), std::string::npos) << log;
  EXPECT_NE(log.find("second exit 0"), std::string::npos) << log;
  // The screenshot is the presented 640 x 480 frame.
  std::vector<std::filesystem::path> shots;
  for (auto& e : std::filesystem::directory_iterator(d + "pics/tavvyhop")) shots.push_back(e.path());
  ASSERT_EQ(shots.size(), 1u);
  host::services::Image img;
  ASSERT_TRUE(host::services::ReadPng(shots[0].string(), img));
  EXPECT_EQ(img.width, 640);
  EXPECT_EQ(img.height, 480);
  const std::string conf = testsupport::ReadFileText(d + "config/tavvyhop/settings.conf");
  EXPECT_NE(conf.find("\nfullscreen = 0\n"), std::string::npos) << conf;
  EXPECT_NE(conf.find("\nlives = 5\n"), std::string::npos) << conf;
}

// A window's picture as xwd wrote it (a 24-bit TrueColor X server, 32 bits a pixel): 0xRRGGBB
// a pixel, row by row; empty when the file is not such a picture.
struct XwdPicture {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> pixels;
  uint32_t At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

XwdPicture ReadXwd(const std::string& path) {
  const std::string bytes = testsupport::ReadFileText(path);
  auto field = [&](size_t i) -> uint32_t {
    if (bytes.size() < (i + 1) * 4) return 0;
    uint32_t v = 0;
    for (int b = 0; b < 4; ++b) v = (v << 8) | static_cast<uint8_t>(bytes[i * 4 + b]);
    return v;
  };
  // Header fields: 0 size, 4 width, 5 height, 7 byte order, 11 bits a pixel, 12 bytes a row,
  // 19 colours in the map (12 bytes each, after the header).
  const uint32_t headerSize = field(0), width = field(4), height = field(5), lsbFirst = field(7) == 0;
  const uint32_t bitsPerPixel = field(11), rowBytes = field(12), colours = field(19);
  XwdPicture pic;
  const size_t start = size_t{headerSize} + size_t{colours} * 12;
  if (bitsPerPixel != 32 || width == 0 || width > 8192 || height > 8192 || rowBytes < width * 4 ||
      bytes.size() < start + size_t{rowBytes} * height)
    return pic;
  pic.width = static_cast<int>(width);
  pic.height = static_cast<int>(height);
  for (uint32_t y = 0; y < height; ++y) {
    for (uint32_t x = 0; x < width; ++x) {
      const auto* p = reinterpret_cast<const uint8_t*>(bytes.data() + start + size_t{y} * rowBytes + x * 4);
      const uint32_t v = lsbFirst ? p[0] | p[1] << 8 | p[2] << 16 : p[3] | p[2] << 8 | p[1] << 16;
      pic.pixels.push_back(v & 0xFFFFFF);
    }
  }
  return pic;
}

// Whether the columns [x0, x1) of every row are black.
bool BlackColumns(const XwdPicture& pic, int x0, int x1) {
  for (int y = 0; y < pic.height; ++y)
    for (int x = x0; x < x1; ++x)
      if (pic.At(x, y) != 0) return false;
  return true;
}

// With a window manager (openbox): the game's window has a frame; resized to 1000 x 500 it
// shows the picture with the aspect kept between black bars, pixel for pixel at whole
// multiples and sharp, blended when smooth; F11 fills the screen and Alt+Enter brings the
// window back at its size; closing the window (Alt+F4, the manager's close) in the middle of
// a game ends the program in order.
TEST_F(WindowTest, WithAWindowManagerTheWindowScalesFillsTheScreenAndClosesInOrder) {
  if (!Have("openbox") || !Have("xwd") || !Have("xprop")) GTEST_SKIP() << "no openbox, xwd or xprop";
  const std::string d = dir_.Dir();
  auto run = [&](const std::string& name, const std::string& scaling) {
    return "printf 'ask_at_start = 0\\nfullscreen = 0\\n" + scaling +
           "' > \"$XDG_CONFIG_HOME/tavvyhop/settings.conf\"\n"
           "rm -f \"$stats\"\n"
           "\"$exe\" --lang=en --data='" +
           d +
           "Data' --stats=\"$stats\" & pid=$!\n"
           "main=$(xdotool search --sync --onlyvisible --name '^Tavvyhop$' | head -1)\n"
           "xdotool windowfocus --sync $main\n"
           "waitfor '[ $(lines) -gt 5 ]'\n"
           "xprop -id $main _NET_FRAME_EXTENTS | grep -q '=' && echo '" +
           name +
           " framed'\n"
           "xdotool windowsize $main 1000 500\n"
           "waitfor '[ \"$(size)\" = 1000x500 ]'\n"
           "ticking; ticking\n"
           "xwd -id $main -silent > '" +
           d + name +
           ".xwd'\n"
           "xdotool key F12\n"
           "waitfor 'ls \"$XDG_PICTURES_DIR\"/tavvyhop/tavvyhop-*.png >/dev/null 2>&1'\n"
           "mv \"$XDG_PICTURES_DIR\"/tavvyhop/tavvyhop-*.png '" +
           d + name + ".png'\n";
  };
  std::string script =
      "set -u\n"
      "export ASAN_OPTIONS=detect_leaks=0\n"
      "export XDG_CONFIG_HOME='" +
      d + "config' XDG_PICTURES_DIR='" + d +
      "pics'\n"
      "mkdir -p \"$XDG_CONFIG_HOME/tavvyhop\"\n"
      "exe='" TAVVYHOP_EXE
      "'\n"
      "stats='" +
      d + "stats.txt'\n" + kWaitHelpers +
      "size() { xdotool getwindowgeometry $main | sed -n 's/.*Geometry: //p'; }\n"
      "openbox --sm-disable >/dev/null 2>&1 & pid=$!\n"
      "waitfor 'xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q \"window id\"'\n"
      "wm=$pid\n" +
      run("sharp", "integer_scaling = 1\\nsmooth_scaling = 0\\n") +
      // Full screen and back: the window keeps the size it had.
      "xdotool key F11\n"
      "waitfor '[ \"$(size)\" = 1024x768 ]'\n"
      "echo 'full screen'\n"
      "xdotool key alt+Return\n"
      "waitfor '[ \"$(size)\" = 1000x500 ]'\n"
      "echo 'window again'\n"
      "xdotool key Escape\n"
      "ends; echo \"sharp exit $?\"\n" +
      run("smooth", "integer_scaling = 0\\nsmooth_scaling = 1\\n") +
      // The window manager closes the window in the middle of a game.
      "xdotool key Return\n"
      "waitfor '[ \"$(state)\" = 1 ]'\n"
      "xdotool key alt+F4\n"
      "ends; echo \"closed exit $?\"\n"
      "kill $wm\n";
  ASSERT_EQ(InXvfb(script, dir_), 0) << Log();
  const std::string log = Log();
  for (const char* line :
       {"sharp framed", "smooth framed", "full screen", "window again", "sharp exit 0", "closed exit 0"})
    EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;

  // The frame the game presented at each picture (its screenshot), as 0xRRGGBB.
  struct Frame {
    std::vector<uint32_t> pixels;
    uint32_t At(int x, int y) const { return pixels[static_cast<size_t>(y) * 640 + x]; }
  };
  auto frame = [&](const std::string& name) {
    host::services::Image shot;
    Frame f;
    if (!host::services::ReadPng(d + name + ".png", shot) || shot.width != 640 || shot.height != 480) return f;
    for (size_t i = 0; i < size_t{640} * 480; ++i) {
      const uint8_t* p = &shot.pixels[i * shot.channels];
      f.pixels.push_back(uint32_t{p[0]} << 16 | uint32_t{p[1]} << 8 | p[2]);
    }
    return f;
  };
  const Frame sharpShot = frame("sharp");
  const Frame smoothShot = frame("smooth");
  ASSERT_FALSE(sharpShot.pixels.empty());
  ASSERT_FALSE(smoothShot.pixels.empty());
  const std::set<uint32_t> shotColours(smoothShot.pixels.begin(), smoothShot.pixels.end());

  // Whole multiples: 1000 x 500 holds the picture once, in the middle, pixel for pixel.
  const XwdPicture sharp = ReadXwd(d + "sharp.xwd");
  ASSERT_EQ(sharp.width, 1000);
  ASSERT_EQ(sharp.height, 500);
  EXPECT_TRUE(BlackColumns(sharp, 0, 180));
  EXPECT_TRUE(BlackColumns(sharp, 820, 1000));
  int same = 0;
  for (int y = 0; y < 480; ++y)
    for (int x = 0; x < 640; ++x) same += sharp.At(180 + x, 10 + y) == sharpShot.At(x, y);
  EXPECT_GT(same, 640 * 480 * 99 / 100);

  // Smooth: the picture fills the height (500 / 480 of its size), bars left and right, and
  // the scaling blends neighbouring pixels into colours the frame does not have.
  const XwdPicture smooth = ReadXwd(d + "smooth.xwd");
  ASSERT_EQ(smooth.width, 1000);
  ASSERT_EQ(smooth.height, 500);
  EXPECT_TRUE(BlackColumns(smooth, 0, 165));
  EXPECT_TRUE(BlackColumns(smooth, 835, 1000));
  EXPECT_FALSE(BlackColumns(smooth, 168, 170));
  EXPECT_FALSE(BlackColumns(smooth, 830, 832));
  int blended = 0;
  for (int y = 0; y < 500; ++y)
    for (int x = 170; x < 830; ++x) blended += shotColours.count(smooth.At(x, y)) == 0;
  EXPECT_GT(blended, 660 * 500 / 10);
}

}  // namespace
