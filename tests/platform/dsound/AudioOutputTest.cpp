#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "platform/dsound/DSound.h"
#include "platform/host/Backends.h"
#include "platform/host/headless/HeadlessAudio.h"
#include "support/TestSupport.h"

namespace {

TEST(HeadlessAudio, ConsumesSamplesAsTheVirtualClockAdvances) {
  win::VirtualClock clock(0xFFFFFF00u);  // about to wrap, as timeGetTime does
  host::HeadlessAudio audio(clock);
  int calls = 0, largest = 0;
  ASSERT_TRUE(audio.Open(44100, [&](int32_t* out, int frames) {
    ++calls;
    largest = std::max(largest, frames);
    for (int i = 0; i < frames * 2; ++i) out[i] = int16_t(i);
  }));
  EXPECT_FALSE(audio.Open(44100, [](int32_t*, int) {})) << "one user at a time";
  audio.StartCapture();
  clock.Advance(25);
  EXPECT_EQ(audio.FramesConsumed(), 1102u);
  clock.Advance(1000);  // across the wrap of the millisecond counter
  EXPECT_EQ(audio.FramesConsumed(), 45202u);
  EXPECT_LE(largest, 1024);
  const auto captured = audio.TakeCaptured();
  EXPECT_EQ(captured.size(), 2u * 45202);

  audio.Close();
  clock.Advance(1000);
  EXPECT_EQ(audio.FramesConsumed(), 45202u) << "nothing is pulled once closed";
}

TEST(HeadlessAudio, WritesTheCaptureAsAWavFile) {
  win::VirtualClock clock;
  host::HeadlessAudio audio(clock, {.limiter = false});
  ASSERT_TRUE(audio.Open(44100, [](int32_t* out, int frames) {
    for (int i = 0; i < frames; ++i) {
      out[2 * i] = 1000;
      out[2 * i + 1] = -1000;
    }
  }));
  audio.StartCapture();
  clock.Advance(100);
  testsupport::TempDir dir;
  ASSERT_TRUE(audio.WriteCapturedWav(dir.File("mix.wav")));
  const auto bytes = testsupport::ReadFileBytes(dir.File("mix.wav"));
  ASSERT_EQ(bytes.size(), 44u + 4410 * 4);
  EXPECT_EQ(std::memcmp(bytes.data(), "RIFF", 4), 0);
  EXPECT_EQ(std::memcmp(bytes.data() + 8, "WAVEfmt ", 8), 0);
  uint32_t rate, dataSize;
  std::memcpy(&rate, bytes.data() + 24, 4);
  std::memcpy(&dataSize, bytes.data() + 40, 4);
  EXPECT_EQ(rate, 44100u);
  EXPECT_EQ(dataSize, 4410u * 4);
  int16_t first[2];
  std::memcpy(first, bytes.data() + 44, 4);
  EXPECT_EQ(first[0], 1000);
  EXPECT_EQ(first[1], -1000);
  EXPECT_FALSE(audio.WriteCapturedWav(dir.File("no/such/folder.wav")));
}

TEST(SdlAudio, SdlsDummyDriverIsNoSoundCard) {
  ::setenv("SDL_AUDIODRIVER", "dummy", 1);
  auto sdl = host::CreateSdlAudio();
  EXPECT_FALSE(sdl->Available());
  EXPECT_FALSE(sdl->Open(44100, [](int32_t*, int) {}));
  dsound::ScopedAudioDevice use(sdl.get());
  IDirectSound* ds = nullptr;
  EXPECT_EQ(DirectSoundCreate(nullptr, &ds, nullptr), DSERR_NODRIVER);
  ::unsetenv("SDL_AUDIODRIVER");
}

}  // namespace
