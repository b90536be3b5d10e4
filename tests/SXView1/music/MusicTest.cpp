// The streamed music of the main form: the three tunes, the two fill handlers, and
// the music file shared with the sound component's notification thread.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <mutex>
#include <random>
#include <thread>

#include "SXView1/Form1Fixture.h"
#include "platform/d3d/Direct3D.h"

namespace {

constexpr DWORD kBlock = 220500;

// A form with the real sound component and music, and no 3-D scene.
class MusicForm1 : public TForm1 {
 public:
  using TForm1::BeginStageClearMusic;
  using TForm1::TForm1;
  ~MusicForm1() override {
    if (OnGoing) OnGoing();
  }
  // Called as the form starts to go, before any of its own parts has gone.
  std::function<void()> OnGoing;

 protected:
  void KNInitScene() override {}
  void TitleFrame() override {}
  void PlayFrame() override {}
  void GameOverFrame() override {}
  void EnterTitleScene() override {}
  void ComposeTitle() override {}
  void StartStageScene() override {}
};

// Bytes that tell every position of a tune apart from its neighbours.
std::vector<uint8_t> TuneBytes(size_t size, uint32_t seed) {
  std::mt19937 random(seed);
  std::vector<uint8_t> bytes(size);
  for (auto& b : bytes) b = static_cast<uint8_t>(random() >> 24);
  return bytes;
}

// bytes[from, from + count) of a tune, as a vector.
std::vector<uint8_t> Slice(const std::vector<uint8_t>& bytes, size_t from, size_t count) {
  return std::vector<uint8_t>(bytes.begin() + static_cast<std::ptrdiff_t>(from),
                              bytes.begin() + static_cast<std::ptrdiff_t>(from + count));
}
std::vector<uint8_t> Join(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

class Music : public ::testing::Test {
 protected:
  MusicForm1& Start() {
    WriteData(dir_);
    host_ = host::CreateHeadlessHost({});
    host::SetCurrent(host_.get());
    TCommandLine answer;
    answer.Headless = true;
    app_ = CreateAnsweringApplication(*host_, answer);
    TForm1Options options;
    options.Seed = 1;
    options.DataDirOverride = dir_.Dir() + "Data";
    MusicForm1& f = app_->CreateForm<MusicForm1>(options);
    wave_ = f.Sounds.MusicBuffer.get();
    channel_ = f.DDSD1->GetChannel(5);
    EXPECT_NE(wave_, nullptr);
    EXPECT_NE(wave_ ? wave_->Buffer() : nullptr, nullptr) << "the headless host has a sound device";
    EXPECT_NE(channel_, nullptr);
    return f;
  }
  void TearDown() override {
    app_.reset();
    host::SetCurrent(nullptr);
    host_.reset();
  }

  std::vector<uint8_t> Tune(const std::string& name, size_t size, uint32_t seed) {
    std::vector<uint8_t> bytes = TuneBytes(size, seed);
    testsupport::WriteFileBytes(dir_.File("Data/" + name), bytes);
    return bytes;
  }
  // The half of MusicBuffer at `offset`.
  std::vector<uint8_t> Half(DWORD offset) {
    LPVOID p1 = nullptr, p2 = nullptr;
    DWORD n1 = 0, n2 = 0;
    std::vector<uint8_t> out;
    if (wave_->Buffer()->Lock(offset, kBlock, &p1, &n1, &p2, &n2, 0) != DS_OK) return out;
    out.assign(static_cast<uint8_t*>(p1), static_cast<uint8_t*>(p1) + n1);
    wave_->Buffer()->Unlock(p1, 0, p2, 0);
    return out;
  }
  void FillHalves(uint8_t value) {
    std::vector<uint8_t> v(2 * kBlock, value);
    wave_->WriteData(0, v.data(), 2 * kBlock);
  }
  bool Playing() { return (channel_->GetStatus() & (DSBSTATUS_PLAYING | DSBSTATUS_LOOPING)) == 5; }
  std::string OpenTune(MusicForm1& f) {
    std::lock_guard lock(f.MusicLock);
    return f.MusicStream ? std::filesystem::path(f.MusicStream->FileName()).filename().string() : "";
  }
  int64_t TunePosition(MusicForm1& f) {
    std::lock_guard lock(f.MusicLock);
    return f.MusicStream ? f.MusicStream->Position() : -1;
  }
  // Waits in real time for the notification thread.
  static bool Eventually(const std::function<bool()>& condition) {
    for (int i = 0; i < 1000; ++i) {
      if (condition()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return condition();
  }

  testsupport::TempDir dir_;
  testsupport::ScopedModuleDir module_{dir_.Path().string()};
  std::unique_ptr<host::IHost> host_;
  std::unique_ptr<forms::TApplication> app_;
  TDDSDWaveData* wave_ = nullptr;
  TDDSDChannel* channel_ = nullptr;
};

TEST_F(Music, StageTuneLoopsSeamlesslyAcrossTheEndOfTheFile) {
  MusicForm1& f = Start();
  const auto tune = Tune("bgm_b.wav", 300000, 1);
  channel_->SetVolume(-1234);
  f.StartStageMusic();
  EXPECT_EQ(OpenTune(f), "bgm_b.wav");
  EXPECT_EQ(Half(0), Slice(tune, 0, kBlock));
  EXPECT_TRUE(Playing());
  EXPECT_EQ(channel_->Volume(), -1234) << "the stage tune keeps the volume it finds";
  EXPECT_TRUE(wave_->HasOnNotify());
  channel_->Stop();  // from here the handlers are called by hand

  // The block holding the end is completed with the file's beginning; reading goes on from there.
  f.MusicLoopFill(wave_, channel_, kBlock, kBlock);
  EXPECT_EQ(Half(kBlock), Join(Slice(tune, 220500, 79500), Slice(tune, 0, 141000)));
  EXPECT_EQ(TunePosition(f), 141000);
  f.MusicLoopFill(wave_, channel_, 0, kBlock);
  EXPECT_EQ(Half(0), Join(Slice(tune, 141000, 159000), Slice(tune, 0, 61500)));
  EXPECT_EQ(TunePosition(f), 61500);
  EXPECT_TRUE(wave_->HasOnNotify()) << "the loop never ends by itself";

  // A tune of exactly two blocks: the end is hit with a full block, nothing more is read.
  const auto two = Tune("bgm_b.wav", 441000, 2);
  f.StartStageMusic();
  channel_->Stop();
  f.MusicLoopFill(wave_, channel_, kBlock, kBlock);
  EXPECT_EQ(Half(kBlock), Slice(two, 220500, 220500));
  EXPECT_EQ(TunePosition(f), 0);
  f.MusicLoopFill(wave_, channel_, 0, kBlock);
  EXPECT_EQ(Half(0), Slice(two, 0, kBlock));

  // A tune cut short while it is open (read beyond its new end) still wraps to its start.
  const auto cut = Tune("bgm_b.wav", 600000, 15);
  f.StartStageMusic();
  channel_->Stop();
  f.MusicLoopFill(wave_, channel_, kBlock, kBlock);
  std::filesystem::resize_file(dir_.File("Data/bgm_b.wav"), 300000);
  f.MusicLoopFill(wave_, channel_, 0, kBlock);
  // What the file stream had buffered before the cut may come first; then the start follows.
  const auto half = Half(0);
  const auto head = Slice(cut, 0, 64);
  const auto at = std::search(half.begin(), half.begin() + 8192, head.begin(), head.end());
  ASSERT_NE(at, half.begin() + 8192) << "the tune did not wrap";
  EXPECT_TRUE(std::equal(at, half.end(), cut.begin()));
}

TEST_F(Music, ShortTunesAndReadsLeaveSilenceNotStaleData) {
  MusicForm1& f = Start();
  const auto tune = Tune("bgm_b.wav", 1000, 3);
  const std::vector<uint8_t> silence(kBlock - 1000, 0);
  FillHalves(0xAA);
  f.StartStageMusic();
  channel_->Stop();
  EXPECT_EQ(Half(0), Join(tune, silence));
  f.MusicLoopFill(wave_, channel_, kBlock, kBlock);
  EXPECT_EQ(Half(kBlock), Join(tune, silence)) << "the whole short tune once, then silence";

  // An empty tune is all silence.
  Tune("bgm_b.wav", 0, 4);
  FillHalves(0xAA);
  f.StartStageMusic();
  channel_->Stop();
  f.MusicLoopFill(wave_, channel_, kBlock, kBlock);
  EXPECT_EQ(Half(0), std::vector<uint8_t>(kBlock, 0));
  EXPECT_EQ(Half(kBlock), std::vector<uint8_t>(kBlock, 0));

  // A handler asked for more than a block writes one block and reads no further.
  const auto big = Tune("bgm_b.wav", 600000, 5);
  f.StartStageMusic();
  channel_->Stop();
  FillHalves(0xAA);
  f.MusicLoopFill(wave_, channel_, 0, 2 * kBlock);
  EXPECT_EQ(Half(0), Slice(big, kBlock, kBlock));
  EXPECT_EQ(Half(kBlock), std::vector<uint8_t>(kBlock, 0xAA));

  // A read error part-way through a tune plays silence, not the block read before it.
  if (std::filesystem::exists("/proc/self/mem")) {
    for (bool once : {false, true}) {
      f.StartStageMusic();
      channel_->Stop();
      f.MusicLoopFill(wave_, channel_, 0, kBlock);  // the block now holds music
      {
        std::lock_guard lock(f.MusicLock);
        f.MusicStream = std::make_unique<rtl::TFileStream>("/proc/self/mem", rtl::fmOpenRead);  // opens, never reads
      }
      FillHalves(0xAA);
      if (once) {
        f.MusicOnceFill(wave_, channel_, kBlock, kBlock);
      } else {
        f.MusicLoopFill(wave_, channel_, kBlock, kBlock);
      }
      EXPECT_EQ(Half(kBlock), std::vector<uint8_t>(kBlock, 0)) << once;
    }
  }

  // Handlers without a file, or without a buffer to write to, do nothing.
  f.FreeMusicStream();
  FillHalves(0x55);
  f.MusicLoopFill(wave_, channel_, 0, kBlock);
  f.MusicOnceFill(wave_, channel_, 0, kBlock);
  EXPECT_EQ(Half(0), std::vector<uint8_t>(kBlock, 0x55));
  f.StartStageMusic();
  f.MusicLoopFill(nullptr, channel_, 0, kBlock);
  f.MusicOnceFill(nullptr, channel_, 0, kBlock);
}

TEST_F(Music, StageClearTuneIsReadOnceThenTheHandlerGoes) {
  MusicForm1& f = Start();
  const auto tune = Tune("clear.wav", 500000, 6);
  channel_->SetVolume(-2000);
  f.BeginStageClearMusic();
  EXPECT_EQ(OpenTune(f), "clear.wav");
  EXPECT_EQ(channel_->Volume(), -500);
  EXPECT_TRUE(Playing());
  EXPECT_EQ(Half(0), Slice(tune, 0, kBlock));
  channel_->Stop();

  f.MusicOnceFill(wave_, channel_, kBlock, kBlock);  // not yet at the end
  EXPECT_EQ(Half(kBlock), Slice(tune, kBlock, kBlock));
  EXPECT_TRUE(wave_->HasOnNotify());
  f.MusicOnceFill(wave_, channel_, 0, kBlock);  // the end: its tail silenced, no more refills
  EXPECT_EQ(Half(0), Join(Slice(tune, 441000, 59000), std::vector<uint8_t>(kBlock - 59000, 0)));
  EXPECT_FALSE(wave_->HasOnNotify());
  EXPECT_EQ(OpenTune(f), "clear.wav") << "the file stays open until the next tune";
}

TEST_F(Music, TheNotificationThreadRefillsWhatHasJustPlayed) {
  MusicForm1& f = Start();
  const auto stage = Tune("bgm_b.wav", 300000, 7);
  f.StartStageMusic();
  // The middle is crossed: the first half gets the next block.
  Sleep(1300);
  ASSERT_TRUE(wave_->WaitForNotifications());
  const auto next = Join(Slice(stage, 220500, 79500), Slice(stage, 0, 141000));
  EXPECT_EQ(Half(0), next);
  // The wrap: the second half gets the one after.
  Sleep(1250);
  ASSERT_TRUE(wave_->WaitForNotifications());
  const auto after = Join(Slice(stage, 141000, 159000), Slice(stage, 0, 61500));
  EXPECT_EQ(Half(kBlock), after);

  // The target tune replaces it and loops with the same handler, at the volume it resets.
  const auto target = Tune("bgm_a.wav", 700000, 8);
  channel_->SetVolume(-1500);
  f.StartTargetMusic();
  EXPECT_EQ(channel_->Volume(), -500);
  EXPECT_EQ(OpenTune(f), "bgm_a.wav");
  EXPECT_EQ(Half(0), Slice(target, 0, kBlock));
  Sleep(1300);
  ASSERT_TRUE(wave_->WaitForNotifications());
  EXPECT_EQ(Half(0), Slice(target, kBlock, kBlock));

  // The stage-clear tune: read to its end by the thread, then left alone.
  const auto clear = Tune("clear.wav", 300000, 9);
  f.BeginStageClearMusic();
  EXPECT_EQ(Half(0), Slice(clear, 0, kBlock));
  Sleep(1300);
  ASSERT_TRUE(wave_->WaitForNotifications());
  EXPECT_FALSE(wave_->HasOnNotify());
  EXPECT_EQ(Half(0), Join(Slice(clear, kBlock, 79500), std::vector<uint8_t>(kBlock - 79500, 0)));
  const auto second = Half(kBlock);
  const uint64_t woken = wave_->NotificationsStarted();
  Sleep(1250);
  ASSERT_TRUE(wave_->WaitForNotifications());
  EXPECT_GT(wave_->NotificationsStarted(), woken) << "the thread was woken at the wrap";
  EXPECT_EQ(Half(kBlock), second) << "no refill after the end";
  EXPECT_TRUE(Playing()) << "the last two blocks loop until channel 5 is stopped";

  // The next stage starts the stage tune and its loop again.
  channel_->Stop();
  f.StartStageMusic();
  EXPECT_TRUE(wave_->HasOnNotify());
  Sleep(1300);
  ASSERT_TRUE(wave_->WaitForNotifications());
  EXPECT_EQ(Half(0), next);
}

TEST_F(Music, MissingOrUnusableTunesAreSkipped) {
  MusicForm1& f = Start();
  // No stage tune: channel 5 goes on with whatever it was doing.
  f.StartStageMusic();
  EXPECT_FALSE(wave_->HasOnNotify());
  EXPECT_FALSE(Playing());
  EXPECT_EQ(OpenTune(f), "");
  const auto stage = Tune("bgm_b.wav", 300000, 10);
  f.StartStageMusic();
  channel_->SetVolume(-800);

  // Not a plain file: a folder, and a named pipe (opening which would wait for a writer).
  std::filesystem::create_directory(dir_.File("Data/bgm_a.wav"));
  ASSERT_EQ(mkfifo(dir_.File("Data/clear.wav").c_str(), 0600), 0);
  f.StartTargetMusic();
  EXPECT_FALSE(Playing()) << "the target tune stops the music even when it is not there";
  EXPECT_EQ(channel_->Volume(), -500);
  EXPECT_EQ(OpenTune(f), "bgm_b.wav");
  EXPECT_TRUE(wave_->HasOnNotify()) << "the handler is left as it is";
  f.BeginStageClearMusic();
  EXPECT_FALSE(Playing());
  EXPECT_EQ(OpenTune(f), "bgm_b.wav");
  std::filesystem::remove(dir_.File("Data/bgm_a.wav"));
  std::filesystem::remove(dir_.File("Data/clear.wav"));

  // A tune that is there but cannot be opened counts as missing: a file without read
  // permission, or, for the superuser (who may read any file of ours), a link to a kernel
  // setting that nobody may read.
  if (geteuid() != 0) {
    Tune("bgm_a.wav", 1000, 11);
    ASSERT_EQ(chmod(dir_.File("Data/bgm_a.wav").c_str(), 0), 0);
  } else {
    const char* writeOnly = "/proc/sys/vm/drop_caches";
    ASSERT_TRUE(std::filesystem::is_regular_file(writeOnly)) << "nothing here that root cannot read";
    std::FILE* probe = std::fopen(writeOnly, "rb");
    const bool readable = probe != nullptr;
    if (probe) std::fclose(probe);
    ASSERT_FALSE(readable) << "root can read " << writeOnly;
    std::filesystem::create_symlink(writeOnly, dir_.File("Data/bgm_a.wav"));
  }
  f.StartStageMusic();
  ASSERT_TRUE(Playing());
  f.StartTargetMusic();
  EXPECT_FALSE(Playing());
  EXPECT_EQ(channel_->Volume(), -500);
  EXPECT_EQ(OpenTune(f), "bgm_b.wav");

  // A tune that opens but cannot be read plays silence and never fails.
  std::filesystem::remove(dir_.File("Data/bgm_a.wav"));
  if (std::filesystem::exists("/proc/self/mem")) {
    std::filesystem::create_symlink("/proc/self/mem", dir_.File("Data/bgm_a.wav"));
    FillHalves(0xAA);
    f.StartTargetMusic();
    EXPECT_EQ(OpenTune(f), "bgm_a.wav");
    channel_->Stop();
    EXPECT_EQ(Half(0), std::vector<uint8_t>(kBlock, 0));
    f.MusicLoopFill(wave_, channel_, kBlock, kBlock);
    f.MusicOnceFill(wave_, channel_, kBlock, kBlock);
    EXPECT_EQ(Half(kBlock), std::vector<uint8_t>(kBlock, 0));
  }
}

TEST_F(Music, NamesAreFoundWhateverTheirCase) {
  MusicForm1& f = Start();
  const auto tune = Tune("BGM_B.WAV", 230000, 12);
  f.StartStageMusic();
  EXPECT_EQ(OpenTune(f), "BGM_B.WAV");
  EXPECT_EQ(Half(0), Slice(tune, 0, kBlock));
}

TEST_F(Music, EscapeOnTheTitleWhileTheThreadIsFilling) {
  MusicForm1& f = Start();
  Tune("bgm_b.wav", 3000000, 13);
  // Each round wakes the thread and takes its file away at once.
  for (int round = 0; round < 10; ++round) {
    f.StartStageMusic();
    Sleep(1300);
    f.FreeMusicStream();
    EXPECT_EQ(OpenTune(f), "");
  }
  f.StartStageMusic();
  Sleep(1300);
  f.GameState = 0;
  WORD escape = 27;
  f.FormKeyDown(&f, escape, 0);
  EXPECT_EQ(OpenTune(f), "");
  EXPECT_TRUE(app_->Terminated());
  // The thread goes on being woken with no file: it writes nothing.
  ASSERT_TRUE(wave_->WaitForNotifications());
  FillHalves(0x33);
  const uint64_t woken = wave_->NotificationsStarted();
  Sleep(1250);
  ASSERT_TRUE(wave_->WaitForNotifications());
  EXPECT_GT(wave_->NotificationsStarted(), woken);
  EXPECT_EQ(Half(0), std::vector<uint8_t>(kBlock, 0x33));
  EXPECT_EQ(Half(kBlock), std::vector<uint8_t>(kBlock, 0x33));
}

// Threads of this process, and whether it holds a file of that name open.
size_t ThreadCount() {
  size_t n = 0;
  for ([[maybe_unused]] const auto& t : std::filesystem::directory_iterator("/proc/self/task")) ++n;
  return n;
}
bool HoldsOpen(const std::string& name) {
  std::error_code error;
  for (const auto& fd : std::filesystem::directory_iterator("/proc/self/fd", error)) {
    const auto target = std::filesystem::read_symlink(fd.path(), error);
    if (!error && target.filename() == name) return true;
  }
  return false;
}

// The thread is held inside a fill (at the music lock) while the form starts to go, and let on
// only a while later: the form must wait for the handler before its file, lock, block or
// buffer goes (a fault shows as a crash, or as a race or a use after free in the sanitizer
// runs), and nothing is left behind. The lock is held by a helper thread, since the form's
// own going takes it on this one.
TEST_F(Music, TheFormGoesWhileTheThreadIsFilling) {
  // The 3-D device's render workers come and go with the device; with one render thread there
  // are none, and the threads counted below are the sound's alone.
  const int renderThreads = d3d::RenderThreads();
  d3d::SetRenderThreads(1);
  struct Restore {
    int threads;
    ~Restore() { d3d::SetRenderThreads(threads); }
  } restore{renderThreads};
  for (int round = 0; round < 5; ++round) {
    MusicForm1& f = Start();
    Tune("bgm_b.wav", 3000000, 14);
    f.StartStageMusic();
    EXPECT_TRUE(HoldsOpen("bgm_b.wav"));
    // The stream's notification thread is the form's only thread (a sanitizer may run one of
    // its own, which stays).
    const size_t threadsWithTheForm = ThreadCount();

    std::mutex m;
    std::condition_variable changed;
    bool locked = false, going = false;
    std::thread holder([&] {
      std::unique_lock hold(f.MusicLock);
      std::unique_lock lock(m);
      locked = true;
      changed.notify_all();
      changed.wait(lock, [&] { return going; });
      lock.unlock();
      // Long enough for a form that does not wait to be gone; a form that waits just waits.
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    });
    {
      std::unique_lock lock(m);
      changed.wait(lock, [&] { return locked; });
    }
    f.OnGoing = [&] {
      std::lock_guard lock(m);
      going = true;
      changed.notify_all();
    };
    Sleep(1300);  // the thread is woken and stops at the lock, inside the fill
    EXPECT_TRUE(Eventually([&] { return wave_->NotificationsStarted() == 1; })) << "the thread was not woken";
    app_.reset();
    host::SetCurrent(nullptr);
    host_.reset();
    holder.join();
    EXPECT_TRUE(going);
    EXPECT_FALSE(HoldsOpen("bgm_b.wav")) << "round " << round;
    // A joined thread leaves the process's list of tasks a moment after the join.
    EXPECT_TRUE(Eventually([&] { return ThreadCount() == threadsWithTheForm - 1; }))
        << "round " << round << ": the notification thread was left running";
  }
}

}  // namespace
