#include <gtest/gtest.h>

#include <filesystem>

#include "platform/host/Comforts.h"
#include "platform/host/KeyMap.h"
#include "platform/host/headless/HeadlessAudio.h"
#include "platform/host/services/ImageCodecs.h"
#include "support/TestSupport.h"

namespace {

using host::Event;
using host::EventType;

class PictureWindow final : public host::IWindow {
 public:
  void SetCaption(const std::string&) override {}
  std::string Caption() const override { return ""; }
  void Show(bool) override {}
  int ClientWidth() const override { return 640; }
  int ClientHeight() const override { return 480; }
  void ClientOrigin(int& x, int& y) const override { x = y = 0; }
  void SetFullscreen(bool f) override { fullscreen = f; }
  bool Fullscreen() const override { return fullscreen; }
  bool Active() const override { return true; }
  void Present(const uint32_t* p, int w, int h, int pitch) override {
    picture.clear();
    for (int y = 0; y < h; ++y) picture.insert(picture.end(), p + y * pitch, p + y * pitch + w);
    width = w;
    height = h;
  }
  const std::vector<uint32_t>& LastPresented(int& w, int& h) const override {
    w = width;
    h = height;
    return picture;
  }
  void SetNotice(const std::string& t) override { notice = t; }
  std::string Notice() const override { return notice; }

  bool fullscreen = false;
  std::vector<uint32_t> picture;
  int width = 0, height = 0;
  std::string notice;
};

class PausableAudio final : public host::IAudioDevice {
 public:
  bool Available() const override { return true; }
  bool Open(int, Callback) override { return true; }
  void Close() override {}
  void Lock() override {}
  void Unlock() override {}
  void SetPaused(bool p) override { paused = p; }
  bool paused = false;
};

Event Key(int vk, host::IWindow* w, uint32_t shift = 0, bool down = true) {
  Event e;
  e.type = down ? EventType::KeyDown : EventType::KeyUp;
  e.vk = vk;
  e.window = w;
  e.shift = shift;
  return e;
}

Event Of(EventType type, host::IWindow* w) {
  Event e;
  e.type = type;
  e.window = w;
  return e;
}

class ComfortsTest : public ::testing::Test {
 protected:
  explicit ComfortsTest(host::ComfortSettings settings = {}) : clock_(base_) {
    settings.screenshotDir = dir_.File("shots");
    comforts_ = std::make_unique<host::Comforts>(settings, clock_, audio_, [this] { return realMs_; });
    comforts_->WindowCreated(&game_, true);
    comforts_->WindowCreated(&dialog_, false);
  }
  testsupport::TempDir dir_;
  win::VirtualClock base_{5000};
  host::PausableClock clock_;
  PausableAudio audio_;
  DWORD realMs_ = 100;
  PictureWindow game_, dialog_;
  std::unique_ptr<host::Comforts> comforts_;
};

TEST(PausableClock, StandsStillWhilePausedAndGoesOnWithoutAJump) {
  win::VirtualClock base(1000);
  host::PausableClock clock(base);
  base.Advance(10);
  EXPECT_EQ(clock.Milliseconds(), 1010u);
  clock.Pause();
  clock.SleepMilliseconds(4);  // sleeping still takes the time of the clock underneath
  EXPECT_EQ(base.Milliseconds(), 1014u);
  base.Advance(3000);
  EXPECT_EQ(clock.Milliseconds(), 1010u);
  clock.Resume();
  EXPECT_EQ(clock.Milliseconds(), 1010u);
  base.Advance(25);
  EXPECT_EQ(clock.Milliseconds(), 1035u);
  // A second pause adds to the first; pausing twice is one pause.
  clock.Pause();
  clock.Pause();
  base.Advance(500);
  clock.Resume();
  clock.Resume();
  base.Advance(5);
  EXPECT_EQ(clock.Milliseconds(), 1040u);
}

TEST_F(ComfortsTest, FocusLossPausesClockAndSoundWithACaptionUntilTheFocusReturns) {
  const DWORD before = clock_.Milliseconds();
  EXPECT_TRUE(comforts_->Filter(Of(EventType::Deactivate, &game_)));  // the program still hears of it
  EXPECT_TRUE(comforts_->Paused());
  EXPECT_TRUE(audio_.paused);
  EXPECT_EQ(game_.notice, "PAUSED");
  EXPECT_EQ(dialog_.notice, "");
  base_.Advance(3000);
  EXPECT_EQ(clock_.Milliseconds(), before);
  // A frozen game takes no keys and no mouse.
  EXPECT_FALSE(comforts_->Filter(Key(host::VK_RETURN, &game_)));
  EXPECT_FALSE(comforts_->Filter(Of(EventType::MouseMove, &game_)));
  EXPECT_TRUE(comforts_->Filter(Of(EventType::Activate, &game_)));
  EXPECT_FALSE(comforts_->Paused());
  EXPECT_FALSE(audio_.paused);
  EXPECT_EQ(game_.notice, "");
  EXPECT_EQ(clock_.Milliseconds(), before);
  EXPECT_TRUE(comforts_->Filter(Key(host::VK_RETURN, &game_)));
  // Dialog windows have no comforts: their focus changes pause nothing.
  comforts_->Filter(Of(EventType::Deactivate, &dialog_));
  EXPECT_FALSE(comforts_->Paused());
}

TEST_F(ComfortsTest, PAndPauseToggleThePauseAndTheFocusDoesNotEndAPlayersPause) {
  EXPECT_FALSE(comforts_->Filter(Key('P', &game_)));
  EXPECT_TRUE(comforts_->Paused());
  Event repeat = Key('P', &game_);
  repeat.repeat = true;
  comforts_->Filter(repeat);  // a held key pauses once
  EXPECT_TRUE(comforts_->Paused());
  comforts_->Filter(Of(EventType::Deactivate, &game_));
  comforts_->Filter(Of(EventType::Activate, &game_));
  EXPECT_TRUE(comforts_->Paused());
  EXPECT_FALSE(comforts_->Filter(Key('P', &game_, 0, false)));  // its key-up is used up too
  EXPECT_FALSE(comforts_->Filter(Key(0x13, &game_)));
  EXPECT_FALSE(comforts_->Paused());
  EXPECT_EQ(game_.notice, "");
  // Ctrl+P is not the pause key.
  EXPECT_TRUE(comforts_->Filter(Key('P', &game_, host::ssCtrl)));
  EXPECT_FALSE(comforts_->Paused());
}

class NoFocusPause : public ComfortsTest {
 protected:
  NoFocusPause() : ComfortsTest(Settings()) {}
  static host::ComfortSettings Settings() {
    host::ComfortSettings s;
    s.pauseOnFocusLoss = false;
    return s;
  }
};

TEST_F(NoFocusPause, TheSettingTurnsTheFocusPauseOffButNotTheKeys) {
  comforts_->Filter(Of(EventType::Deactivate, &game_));
  EXPECT_FALSE(comforts_->Paused());
  comforts_->Filter(Key(0x13, &game_));
  EXPECT_TRUE(comforts_->Paused());
}

TEST_F(ComfortsTest, F11AndAltEnterSwitchFullScreenAndTheGameNeverSeesThem) {
  EXPECT_FALSE(comforts_->Filter(Key(0x7A, &game_)));
  EXPECT_TRUE(game_.fullscreen);
  EXPECT_FALSE(comforts_->Filter(Key(host::VK_RETURN, &game_, host::ssAlt)));
  EXPECT_FALSE(game_.fullscreen);
  EXPECT_FALSE(comforts_->Filter(Key(host::VK_RETURN, &game_, host::ssAlt, false)));
  // Enter alone is the game's.
  EXPECT_TRUE(comforts_->Filter(Key(host::VK_RETURN, &game_)));
  EXPECT_FALSE(game_.fullscreen);
  // Works while paused too.
  comforts_->SetUserPaused(true);
  comforts_->Filter(Key(0x7A, &game_));
  EXPECT_TRUE(game_.fullscreen);
}

TEST_F(ComfortsTest, F12WritesThePresentedPictureAndSaysSoForASecond) {
  std::vector<uint32_t> frame(640 * 480, 0x102030);
  frame[0] = 0xFF0000;
  game_.Present(frame.data(), 640, 480, 640);
  comforts_->SetUserPaused(true);  // the picture is the game's, not the caption over it
  EXPECT_FALSE(comforts_->Filter(Key(0x7B, &game_)));
  std::vector<std::filesystem::path> files;
  for (auto& e : std::filesystem::directory_iterator(dir_.File("shots"))) files.push_back(e.path());
  ASSERT_EQ(files.size(), 1u);
  const std::string name = files[0].filename().string();
  EXPECT_EQ(name.rfind("tavvyhop-", 0), 0u);
  EXPECT_EQ(name.size(), std::string("tavvyhop-20261209-052000.png").size()) << name;
  host::services::Image img;
  ASSERT_TRUE(host::services::ReadPng(files[0].string(), img));
  ASSERT_EQ(img.width, 640);
  ASSERT_EQ(img.height, 480);
  EXPECT_EQ(img.pixels[0], 0xFF);
  EXPECT_EQ(img.pixels[3], 0x10);
  EXPECT_EQ(img.pixels[size_t(479 * 640 + 320) * 3 + 2], 0x30);
  EXPECT_EQ(game_.notice, "Screenshot saved: " + name);
  realMs_ += 999;
  comforts_->Update();
  EXPECT_EQ(game_.notice, "Screenshot saved: " + name);
  realMs_ += 1;
  comforts_->Update();
  EXPECT_EQ(game_.notice, "PAUSED");  // back to the caption under it
  // Print Screen does the same; a second shot in the same second gets a name of its own.
  comforts_->Filter(Key(0x2C, &game_));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_.File("shots")), {}), 2);
}

TEST(Screenshot, AWriteFailureIsSaidAndLeavesNoFileBehind) {
  testsupport::TempDir dir;
  const std::vector<uint32_t> frame(640 * 480, 0x808080);
  // The folder cannot be made: a file stands in its way.
  testsupport::WriteFileText(dir.File("taken"), "x");
  host::ScreenshotResult r = host::SaveScreenshot(dir.File("taken") + "/shots", frame, 640, 480, 0);
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.error.find("taken"), std::string::npos) << r.error;
  // A full disk: the picture is written through a name that leads to /dev/full.
  if (std::filesystem::exists("/dev/full")) {
    std::filesystem::create_directories(dir.File("full"));
    const std::time_t when = 1700000000;
    std::tm local{};
    localtime_r(&when, &local);
    char name[64];
    std::strftime(name, sizeof name, "tavvyhop-%Y%m%d-%H%M%S.png.part", &local);
    std::filesystem::create_symlink("/dev/full", dir.File("full") + "/" + name);
    r = host::SaveScreenshot(dir.File("full"), frame, 640, 480, when);
    EXPECT_FALSE(r.ok);
    EXPECT_FALSE(r.error.empty());
    EXPECT_TRUE(std::filesystem::is_empty(dir.File("full")));
  }
  // Nothing presented yet.
  r = host::SaveScreenshot(dir.File("empty"), {}, 0, 0, 0);
  EXPECT_FALSE(r.ok);
}

TEST(Notice, IsWrittenOverTheLowerMiddleOfThePictureOnly) {
  std::vector<uint32_t> picture(640 * 480, 0x808080);
  host::DrawNotice(picture, 640, 480, "PAUSED");
  int changed = 0, bright = 0;
  for (int y = 0; y < 480; ++y) {
    for (int x = 0; x < 640; ++x) {
      const uint32_t p = picture[size_t(y) * 640 + size_t(x)];
      if (p == 0x808080) continue;
      ++changed;
      EXPECT_GT(y, 380) << x << "," << y;
      EXPECT_GT(x, 200);
      EXPECT_LT(x, 440);
      if ((p & 0xFF) > 0xC0) ++bright;
    }
  }
  EXPECT_GT(changed, 1000);
  EXPECT_GT(bright, 50);  // the letters themselves
  std::vector<uint32_t> tiny(4, 0);
  host::DrawNotice(tiny, 2, 2, "PAUSED");  // never writes outside
  host::DrawNotice(tiny, 4, 4, "PAUSED");  // a picture smaller than it says is left alone
  EXPECT_EQ(tiny, std::vector<uint32_t>(4, 0));
}

TEST(HeadlessAudioPause, PausedTimePassesWithoutConsumingSamples) {
  win::VirtualClock clock(0);
  host::HeadlessAudio audio(clock);
  ASSERT_TRUE(audio.Open(44100, [](auto* s, int frames) { std::fill(s, s + frames * 2, 1); }));
  clock.Advance(100);
  EXPECT_EQ(audio.FramesConsumed(), 4410u);
  audio.SetPaused(true);
  clock.Advance(3000);
  EXPECT_EQ(audio.FramesConsumed(), 4410u);
  audio.SetPaused(false);
  clock.Advance(100);
  EXPECT_EQ(audio.FramesConsumed(), 8820u);
  audio.Close();
}

}  // namespace

// A picture handed over to be kept is kept as the copying path keeps it: as it is at the render
// size (taking the caller's buffer), and scaled up when it is of the client size at a scale.
TEST(KeepPresented, AnOwnedPictureIsKeptAsACopiedOneWould) {
  for (const int scale : {1, 2}) {
    for (const int width : {640 * scale, 640}) {
      const int height = width * 3 / 4;
      std::vector<uint32_t> picture(size_t(width) * size_t(height));
      for (size_t i = 0; i < picture.size(); ++i) picture[i] = uint32_t(i * 2654435761u) & 0xFFFFFF;
      std::vector<uint32_t> copied, owned = picture, kept = {1, 2, 3};
      int cw = 0, ch = 0, ow = 0, oh = 0;
      host::KeepPresented(picture.data(), width, height, width, 640, 480, scale, copied, cw, ch);
      host::KeepPresentedOwned(owned, width, height, 640, 480, scale, kept, ow, oh);
      EXPECT_EQ(ow, cw) << "scale " << scale << ", width " << width;
      EXPECT_EQ(oh, ch);
      EXPECT_TRUE(kept == copied) << "scale " << scale << ", width " << width;
    }
  }
  // A buffer shorter than the size it claims is not read.
  std::vector<uint32_t> shortPicture(10), kept;
  int w = 0, h = 0;
  host::KeepPresentedOwned(shortPicture, 640, 480, 640, 480, 1, kept, w, h);
  EXPECT_TRUE(kept.empty());
  EXPECT_EQ(w, 0);
}
