// Demos of whole games: recorded headless or in the real window, played back headless with
// the same statistics at every tick, bad demo files refused, and the golden demos of
// tests/demos/ played against their expected results.
#include <algorithm>
#include <cctype>
#include <fstream>
#include <map>

#include "ProgramRun.h"
#include "platform/host/demo/DemoFormat.h"

namespace {

using namespace programrun;
namespace demo = host::demo;

std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// Whether one line of `text` reads `pattern`, where each '#' stands for a number (digits and
// points).
bool HasLineWithNumbers(const std::string& text, const std::string& pattern) {
  auto matches = [&](const std::string& line) {
    size_t i = 0;
    for (const char c : pattern) {
      if (c != '#') {
        if (i >= line.size() || line[i] != c) return false;
        ++i;
        continue;
      }
      const size_t start = i;
      while (i < line.size() && (std::isdigit(static_cast<unsigned char>(line[i])) || line[i] == '.')) ++i;
      if (i == start) return false;
    }
    return i == line.size();
  };
  size_t begin = 0;
  while (begin <= text.size()) {
    size_t end = text.find('\n', begin);
    if (end == std::string::npos) end = text.size();
    if (matches(text.substr(begin, end - begin))) return true;
    begin = end + 1;
  }
  return false;
}

// A demo written anew from its parts (one chunk holding `records`).
std::vector<uint8_t> Rebuild(const demo::Header& header, const std::vector<uint8_t>& records, uint32_t ticks) {
  std::vector<uint8_t> bytes = demo::EncodeHeader(header);
  const std::vector<uint8_t> chunk = demo::EncodeChunk(records, ticks);
  bytes.insert(bytes.end(), chunk.begin(), chunk.end());
  return bytes;
}

// The records of a demo up to (and with) the mark that ends tick `ticks - 1`.
std::vector<uint8_t> RecordsOfFirstTicks(const demo::Demo& d, uint64_t ticks) {
  demo::ByteReader in(d.records);
  uint64_t seen = 0;
  while (!in.AtEnd() && seen < ticks) {
    const uint8_t tag = in.U8();
    if (tag == demo::kTick) ++seen;
    EXPECT_TRUE(demo::SkipRecord(in, tag));
  }
  return {d.records.begin(), d.records.begin() + static_cast<std::ptrdiff_t>(in.Position())};
}

class DemoTest : public ::testing::Test {
 protected:
  void SetUp() override { WriteProgramData(dir_); }
  std::string Data() const { return "--data=" + dir_.Dir() + "Data"; }
  std::string File(const std::string& name) const { return dir_.File(name); }

  // A short game with keys and mouse, recorded headless with its statistics.
  void RecordShortGame() {
    testsupport::WriteFileText(File("s.txt"),
                               "10 down Enter\n11 up Enter\n"
                               "60 down Up\n90 up Up\n95 down Z\n99 up Z\n100 down Left\n130 up Left\n"
                               "140 mouse 300 200\n143 mouse 320 210 right\n146 mouse 350 215 right\n"
                               "150 mouse 350 215 left\n153 mouse 350 190 left\n156 mouse 350 190\n"
                               "250 down Escape\n251 up Escape\n");
    RunResult r = RunProgram({"--headless", "--seed=9", "--script=" + File("s.txt"), "--ticks=300",
                              "--record=" + File("a.dem"), "--stats=" + File("rec.txt"), Data()});
    ASSERT_EQ(r.code, 0) << r.err;
  }

  RunResult Play(const std::string& demoFile, const std::string& statsName = "play.txt") {
    return RunProgram({"--headless", "--playdemo=" + demoFile, "--stats=" + File(statsName), Data()});
  }

  testsupport::TempDir dir_;
};

TEST_F(DemoTest, RecordedGamePlaysBackWithTheSameStatisticsAtEveryTick) {
  RecordShortGame();
  const demo::Demo d = demo::ReadDemoFile(File("a.dem"));
  EXPECT_TRUE(d.complete);
  EXPECT_EQ(d.ticks, 300u);
  EXPECT_EQ(d.header.ticks, 300u);
  EXPECT_EQ(d.header.seed, 9u);
  for (const char* s : {"--ok", "--fullscreen=1", "--lives=3", "--ticks=300"}) {
    EXPECT_NE(std::find(d.header.settings.begin(), d.header.settings.end(), s), d.header.settings.end()) << s;
  }
  std::vector<std::string> names;
  for (const auto& f : d.header.files) names.push_back(f.name);
  for (const char* f : {"View.dat", "words.dat", "tavvy.bmp"}) {
    EXPECT_NE(std::find(names.begin(), names.end(), f), names.end()) << f;
  }

  RunResult r = Play(File("a.dem"));
  ASSERT_EQ(r.code, 0) << r.err;
  const auto recorded = ReadStats(File("rec.txt"));
  const auto played = ReadStats(File("play.txt"));
  ASSERT_EQ(recorded.size(), 300u);
  ASSERT_EQ(played.size(), recorded.size());
  for (size_t t = 0; t < recorded.size(); ++t) ASSERT_EQ(played[t], recorded[t]) << "tick " << t;
  // The game was played: a stage ran, and Escape brought the title back.
  EXPECT_EQ(recorded[100][1], 1);
  EXPECT_EQ(recorded[299][1], 0);

  // The time demo plays the same game as fast as it can and reports it.
  r = RunProgram({"--timedemo=" + File("a.dem"), Data()});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_TRUE(HasLineWithNumbers(r.out, "timedemo: 300 ticks in # s: # ticks per second, # ms a tick")) << r.out;
  EXPECT_TRUE(HasLineWithNumbers(
      r.out, "timedemo: frame time median # ms, 99th percentile # ms, worst # ms, # over 25 ms (a tick)"))
      << r.out;
}

TEST_F(DemoTest, AnotherGameThanTheRecordedOneIsOutOfSync) {
  RecordShortGame();
  demo::Demo d = demo::ReadDemoFile(File("a.dem"));
  // Another seed: the random generator's state is part of the game state, so the very first
  // checksum (tick 0) differs.
  demo::Header h = d.header;
  h.seed = 10;
  WriteBytes(File("seed.dem"), Rebuild(h, d.records, static_cast<uint32_t>(d.ticks)));
  RunResult r = Play(File("seed.dem"));
  EXPECT_EQ(r.code, 4);
  EXPECT_NE(r.err.find("demo out of sync at tick 0\n"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("the game state differs"), std::string::npos) << r.err;
  // Playback stops there: no statistics beyond the tick that differed.
  EXPECT_EQ(ReadStats(File("play.txt")).size(), 1u);

  // Input the game does not read where the demo has it: one key record turned into a mouse
  // reading is caught at once, in the tick where it happens.
  std::vector<uint8_t> records = d.records;
  demo::ByteReader in(records);
  uint64_t tick = 0;
  size_t keysAt = 0;
  while (!in.AtEnd()) {
    const size_t at = in.Position();
    const uint8_t tag = in.U8();
    if (tag == demo::kTick) ++tick;
    if (tag == demo::kKeys && tick >= 50 && records[at + 1] == 0) {
      keysAt = at;
      break;
    }
    ASSERT_TRUE(demo::SkipRecord(in, tag));
  }
  ASSERT_GT(keysAt, 0u);
  records[keysAt] = demo::kFocus;  // the next byte (no keys changed: 0) reads as a flag
  WriteBytes(File("keys.dem"), Rebuild(d.header, records, static_cast<uint32_t>(d.ticks)));
  r = Play(File("keys.dem"));
  EXPECT_EQ(r.code, 4) << r.err;
  EXPECT_NE(r.err.find("demo out of sync at tick " + std::to_string(tick) + "\n"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("the program read the keyboard where the demo holds the input focus"), std::string::npos)
      << r.err;
}

TEST_F(DemoTest, ADemoCutShortPlaysUpToWhereItEndsAndSaysSo) {
  RecordShortGame();
  const demo::Demo d = demo::ReadDemoFile(File("a.dem"));
  // A recording killed after 120 ticks: its header has no tick count, its last chunk is torn.
  demo::Header h = d.header;
  h.ticks = 0;
  std::vector<uint8_t> bytes = Rebuild(h, RecordsOfFirstTicks(d, 120), 120);
  const std::vector<uint8_t> torn = demo::EncodeChunk(RecordsOfFirstTicks(d, 130), 130);
  bytes.insert(bytes.end(), torn.begin(), torn.begin() + 40);
  WriteBytes(File("cut.dem"), bytes);
  RunResult r = Play(File("cut.dem"));
  EXPECT_EQ(r.code, 5);
  EXPECT_NE(r.err.find("ends at tick 120 without its end: the recording was cut short"), std::string::npos) << r.err;
  const auto recorded = ReadStats(File("rec.txt"));
  const auto played = ReadStats(File("play.txt"));
  ASSERT_GE(played.size(), 120u);
  for (size_t t = 0; t < 120; ++t) ASSERT_EQ(played[t], recorded[t]) << "tick " << t;
}

TEST_F(DemoTest, AKilledRecordingPlaysUpToItsLastSecond) {
  // The program killed outright after eight seconds of a long recording.
  const std::string cmd = "ASAN_OPTIONS=detect_leaks=0 timeout -s KILL 8 '" TAVVYHOP_EXE
                          "' --headless --autopilot --seed=1 --ticks=100000 '" +
                          Data() + "' --record='" + File("k.dem") + "' > '" + File("k.log") + "' 2>&1";
  const int status = std::system(cmd.c_str());
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 128 + 9) << status;
  const demo::Demo d = demo::ReadDemoFile(File("k.dem"));
  EXPECT_FALSE(d.complete);
  EXPECT_EQ(d.header.ticks, 0u);
  ASSERT_GT(d.ticks, 0u) << "nothing was flushed in eight seconds";
  RunResult r = Play(File("k.dem"));
  EXPECT_EQ(r.code, 5) << r.err;
  EXPECT_NE(r.err.find("ends at tick " + std::to_string(d.ticks) + " without its end"), std::string::npos) << r.err;
  EXPECT_GE(ReadStats(File("play.txt")).size(), d.ticks);
}

TEST_F(DemoTest, BadDemoFilesAreRefusedWithAClearMessage) {
  RecordShortGame();
  const std::vector<uint8_t> good = ReadBytes(File("a.dem"));
  const demo::Demo d = demo::ParseDemo(good, "a.dem");
  auto refused = [&](const std::vector<uint8_t>& bytes, const std::string& message) {
    WriteBytes(File("bad.dem"), bytes);
    RunResult r = Play(File("bad.dem"));
    EXPECT_EQ(r.code, 2) << message;
    EXPECT_NE(r.err.find(message), std::string::npos) << r.err;
    EXPECT_TRUE(ReadStats(File("play.txt")).empty()) << message;
  };
  std::vector<uint8_t> bytes = good;
  bytes[0] = 'X';
  refused(bytes, "bad.dem: not a Tavvyhop demo file");
  std::vector<uint8_t> garbage(5000);
  for (size_t i = 0; i < garbage.size(); ++i) garbage[i] = static_cast<uint8_t>(i * 2654435761u >> 13);
  refused(garbage, "not a Tavvyhop demo file");
  bytes = good;
  bytes[8] = 2;  // the format version
  refused(bytes, "made by a newer program (demo format 2; this program plays format 1 and older)");
  refused({good.begin(), good.begin() + 30}, "the file is cut short inside its header");
  demo::Header h = d.header;
  h.ticks = uint64_t(1) << 40;
  refused(Rebuild(h, d.records, static_cast<uint32_t>(d.ticks)),
          "its header promises 1099511627776 ticks, its records hold 300");
  bytes = good;
  bytes[demo::EncodeHeader(d.header).size() + 12 + 5] ^= 0x55;
  refused(bytes, "a chunk's checksum does not match");
  bytes = good;
  bytes[demo::EncodeHeader(d.header).size() + 3] = 0x7F;  // the first chunk's length
  refused(bytes, "a chunk claims");
  std::vector<uint8_t> records = d.records;
  records[0] = 0xEE;  // no such record
  refused(Rebuild(d.header, records, static_cast<uint32_t>(d.ticks)), "damaged (a bad record at byte 0 ");

  RunResult r = Play(File("none.dem"));
  EXPECT_EQ(r.code, 2);
  EXPECT_NE(r.err.find("none.dem: cannot open the file"), std::string::npos) << r.err;
  r = RunProgram({"--headless", "--playdemo=" + File("a.dem"), "--seed=3", Data()});
  EXPECT_EQ(r.code, 2);
  EXPECT_NE(r.err.find("a demo brings its own input, seed and answers"), std::string::npos) << r.err;

  // Other data: the file that differs is named, and nothing is played.
  const std::string words = testsupport::ReadFileText(dir_.Dir() + "Data/words.dat");
  testsupport::WriteFileText(dir_.Dir() + "Data/words.dat", words + "one more line\n");
  r = Play(File("a.dem"));
  EXPECT_EQ(r.code, 2);
  EXPECT_NE(r.err.find("the data file words.dat in "), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("differs from the one the demo was recorded with"), std::string::npos) << r.err;
  testsupport::WriteFileText(dir_.Dir() + "Data/words.dat", words);
  std::filesystem::remove(dir_.Dir() + "Data/tavvy.bmp");
  r = Play(File("a.dem"));
  EXPECT_EQ(r.code, 2);
  EXPECT_NE(r.err.find("tavvy.bmp, which is missing"), std::string::npos) << r.err;
}

// ---- A game in the real window, with real key presses, played back headless ----

TEST_F(DemoTest, AGameRecordedInTheWindowPlaysBackHeadlessTickForTick) {
  if (!Have("xvfb-run") || !Have("Xvfb")) GTEST_SKIP() << "no Xvfb on this machine";
  if (!Have("xdotool")) GTEST_SKIP() << "no xdotool to press keys with";
  WriteWholeDataSet(dir_);  // a window shows the start-up check's findings before the dialog
  const std::string script =
      "set -u\nexport ASAN_OPTIONS=detect_leaks=0\n"
      "'" TAVVYHOP_EXE "' --ok --fullscreen=0 '" +
      Data() + "' --record='" + File("w.dem") + "' --stats='" + File("rec.txt") +
      "' & pid=$!\n"
      "main=$(xdotool search --sync --onlyvisible --name '^Tavvyhop$' | head -1)\n"
      "xdotool windowfocus $main 2>/dev/null || true\n"
      "sleep 0.8\nxdotool key Return\nsleep 1\n"
      "xdotool keydown Up; sleep 0.4; xdotool keyup Up\n"
      "xdotool keydown z keydown Right; sleep 0.4; xdotool keyup z keyup Right\n"
      "xdotool key q; sleep 0.3\n"
      "xdotool key Escape; sleep 0.5; xdotool key Escape\n"
      "for i in $(seq 300); do kill -0 $pid 2>/dev/null || break; sleep 0.1; done\n"
      "if kill -0 $pid 2>/dev/null; then kill $pid; echo 'still running'; exit 3; fi\n"
      "wait $pid; echo \"exit $?\"\n";
  ASSERT_EQ(InXvfb(script, dir_), 0) << testsupport::ReadFileText(File("log.txt"));
  const auto recorded = ReadStats(File("rec.txt"));
  ASSERT_FALSE(recorded.empty()) << testsupport::ReadFileText(File("log.txt"));
  EXPECT_TRUE(std::any_of(recorded.begin(), recorded.end(), [](const auto& row) { return row[1] == 1; }))
      << "the game never started";

  RunResult r = Play(File("w.dem"));
  ASSERT_EQ(r.code, 0) << r.err;
  const auto played = ReadStats(File("play.txt"));
  ASSERT_EQ(played.size(), recorded.size());
  for (size_t t = 0; t < recorded.size(); ++t) ASSERT_EQ(played[t], recorded[t]) << "tick " << t;
}

TEST_F(DemoTest, TheAnswersOfADialogShownToThePlayerAreKeptAndPlayedBack) {
  if (!Have("xvfb-run") || !Have("Xvfb")) GTEST_SKIP() << "no Xvfb on this machine";
  if (!Have("xdotool")) GTEST_SKIP() << "no xdotool to click with";
  WriteWholeDataSet(dir_);  // a window shows the start-up check's findings before the dialog
  // 5 lives chosen in the list, OK clicked; a game started and left.
  const std::string script =
      "set -u\nexport ASAN_OPTIONS=detect_leaks=0\n"
      "'" TAVVYHOP_EXE "' --fullscreen=0 '" +
      Data() + "' --record='" + File("d.dem") + "' --stats='" + File("rec.txt") +
      "' & pid=$!\n"
      "dlg=$(xdotool search --sync --onlyvisible --name 'Tavhop' | head -1)\n"
      "xdotool windowfocus $dlg 2>/dev/null || true\nsleep 0.5\n"
      "xdotool mousemove --window $dlg 100 134 click 1\nsleep 0.3\n"
      "xdotool mousemove --window $dlg 100 $((124 - 92 + 1 + 2 * 15 + 7)) click 1\nsleep 0.3\n"
      "xdotool mousemove --window $dlg 201 140 click 1\n"
      "main=$(xdotool search --sync --onlyvisible --name '^Tavvyhop$' | head -1)\n"
      "xdotool windowfocus $main 2>/dev/null || true\nsleep 0.5\n"
      "xdotool key Return; sleep 1; xdotool key Escape; sleep 0.3; xdotool key Escape\n"
      "for i in $(seq 300); do kill -0 $pid 2>/dev/null || break; sleep 0.1; done\n"
      "if kill -0 $pid 2>/dev/null; then kill $pid; echo 'still running'; exit 3; fi\n"
      "wait $pid; echo \"exit $?\"\n";
  ASSERT_EQ(InXvfb(script, dir_), 0) << testsupport::ReadFileText(File("log.txt"));
  const demo::Demo d = demo::ReadDemoFile(File("d.dem"));
  for (const char* s : {"--ok", "--fullscreen=0", "--lives=5"}) {
    EXPECT_NE(std::find(d.header.settings.begin(), d.header.settings.end(), s), d.header.settings.end()) << s;
  }
  RunResult r = Play(File("d.dem"));
  ASSERT_EQ(r.code, 0) << r.err;
  const auto recorded = ReadStats(File("rec.txt"));
  ASSERT_FALSE(recorded.empty());
  EXPECT_EQ(ReadStats(File("play.txt")), recorded);
  EXPECT_TRUE(std::any_of(recorded.begin(), recorded.end(), [](const auto& row) { return row[1] == 1 && row[4] == 4; }))
      << "no game with the five lives chosen";
}

TEST_F(DemoTest, ADemoPlaysInTheWindowAtItsPaceAndEscapeStopsIt) {
  if (!Have("xvfb-run") || !Have("Xvfb")) GTEST_SKIP() << "no Xvfb on this machine";
  if (!Have("xdotool")) GTEST_SKIP() << "no xdotool to press keys with";
  WriteWholeDataSet(dir_);  // a window shows the start-up check's findings before the dialog
  RecordShortGame();
  // Live keys other than Escape change nothing: the statistics are the recorded ones.
  const std::string play = "'" TAVVYHOP_EXE "' --playdemo='" + File("a.dem") + "' '" + Data() + "' --stats='";
  std::string script = "set -u\nexport ASAN_OPTIONS=detect_leaks=0\n" + play + File("play.txt") +
                       "' & pid=$!\n"
                       "main=$(xdotool search --sync --onlyvisible --name '^Tavvyhop$' | head -1)\n"
                       "xdotool windowfocus $main 2>/dev/null || true\n"
                       "xdotool key Return; xdotool keydown Up; sleep 0.3; xdotool keyup Up; xdotool key z\n"
                       "wait $pid; echo \"exit $?\"\n";
  ASSERT_EQ(InXvfb(script, dir_), 0) << testsupport::ReadFileText(File("log.txt"));
  EXPECT_NE(testsupport::ReadFileText(File("log.txt")).find("exit 0"), std::string::npos)
      << testsupport::ReadFileText(File("log.txt"));
  EXPECT_EQ(ReadStats(File("play.txt")), ReadStats(File("rec.txt")));

  // At the recorded pace the 300 ticks take 7.5 s: Escape after a second stops the playback.
  script = "set -u\nexport ASAN_OPTIONS=detect_leaks=0\n" + play + File("esc.txt") +
           "' & pid=$!\n"
           "main=$(xdotool search --sync --onlyvisible --name '^Tavvyhop$' | head -1)\n"
           "xdotool windowfocus $main 2>/dev/null || true\n"
           "sleep 1; xdotool key Escape\n"
           "wait $pid; echo \"exit $?\"\n";
  ASSERT_EQ(InXvfb(script, dir_), 0) << testsupport::ReadFileText(File("log.txt"));
  const std::string log = testsupport::ReadFileText(File("log.txt"));
  EXPECT_NE(log.find("playback stopped with Escape at tick"), std::string::npos) << log;
  EXPECT_NE(log.find("exit 0"), std::string::npos) << log;
  const auto stopped = ReadStats(File("esc.txt"));
  EXPECT_GT(stopped.size(), 0u);
  EXPECT_LT(stopped.size(), 300u);
}

// ---- The golden demos ----

struct Expected {
  int frameEvery = 0;
  size_t ticks = 0;
  std::string final;
  std::map<uint64_t, std::string> frames;
};

Expected ReadExpected(const std::string& path) {
  Expected e;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream words(line);
    std::string key;
    words >> key;
    if (key == "frame-every") {
      words >> e.frameEvery;
    } else if (key == "ticks") {
      words >> e.ticks;
    } else if (key == "final") {
      std::getline(words >> std::ws, e.final);
    } else if (key == "frame") {
      uint64_t tick = 0;
      std::string hash;
      words >> tick >> hash;
      e.frames[tick] = hash;
    }
  }
  return e;
}

// Plays tests/demos/NAME.dem headless on the generated data set and compares its last
// statistics line and its frame hashes with NAME.expect (scripts/record-demos.sh writes both).
void PlayGolden(const std::string& name) {
  const std::string base = (testsupport::SourceDir() / "tests" / "demos" / name).string();
  const Expected expected = ReadExpected(base + ".expect");
  ASSERT_GT(expected.frameEvery, 0) << base << ".expect";
  testsupport::TempDir dir;
  RunResult r = RunProgram({"--headless", "--playdemo=" + base + ".dem", std::string("--data=") + TAVVY_DATA_DIR,
                            "--stats=" + dir.File("stats.txt"), "--frame-every=" + std::to_string(expected.frameEvery),
                            "--frame-hashes=" + dir.File("hashes.txt")});
  ASSERT_EQ(r.code, 0) << r.err << "(after a deliberate change of behaviour, re-record with scripts/record-demos.sh)";
  std::ifstream stats(dir.File("stats.txt"));
  std::string line, last;
  size_t ticks = 0;
  while (std::getline(stats, line)) {
    last = line;
    ++ticks;
  }
  EXPECT_EQ(ticks, expected.ticks);
  EXPECT_EQ(last, expected.final);
  std::ifstream hashes(dir.File("hashes.txt"));
  std::map<uint64_t, std::string> frames;
  uint64_t tick;
  std::string hash;
  while (hashes >> tick >> hash) frames[tick] = hash;
  EXPECT_EQ(frames, expected.frames);
}

TEST(GoldenDemo, AWholeGameFlownByTheAutopilot) { PlayGolden("game"); }
TEST(GoldenDemo, TheCameraMovedWithTheMouse) { PlayGolden("mouse"); }
TEST(GoldenDemo, AGamePlayedInTheRealWindow) { PlayGolden("window"); }

}  // namespace
