// The run-ahead ring between the mixing thread and the sound card's callback: the sound
// comes out whole and in order across the ring's wrap, the card's side keeps playing what
// the ring holds while the mixer is held up by the game's lock, runs dry into silence (and
// counts it) only once the ring is empty, and a held run-ahead mixes nothing.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>
#include <vector>

#include "platform/host/AudioRunAhead.h"

namespace {

// Left = frame number (mod 32768), right = its negative: every frame is known.
struct Counter {
  std::atomic<int> produced{0};
  void operator()(int16_t* out, int frames) {
    for (int i = 0; i < frames; ++i) {
      const int n = produced.fetch_add(1) % 32768;
      out[2 * i] = static_cast<int16_t>(n);
      out[2 * i + 1] = static_cast<int16_t>(-n);
    }
  }
};

// Waits (without a deadline that measures speed) until the ring holds `frames`.
bool WaitFor(const host::AudioRunAhead& a, int frames) {
  for (int i = 0; i < 20000 && a.Buffered() < frames; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  return a.Buffered() >= frames;
}

TEST(AudioRunAhead, SoundComesOutWholeAndInOrderAcrossTheWrap) {
  Counter counter;
  host::AudioRunAhead ahead(1000, 96, [&](int16_t* out, int frames) { counter(out, frames); });
  ahead.Start();
  int expected = 0;
  std::vector<int16_t> buf(2 * 333);
  for (int round = 0; round < 60; ++round) {
    ASSERT_TRUE(WaitFor(ahead, 333));
    ASSERT_EQ(ahead.Read(buf.data(), 333), 333);
    for (int i = 0; i < 333; ++i, ++expected) {
      ASSERT_EQ(buf[2 * i], expected % 32768) << "frame " << expected;
      ASSERT_EQ(buf[2 * i + 1], -(expected % 32768));
    }
  }
  EXPECT_EQ(ahead.DryFrames(), 0u);
  ahead.Stop();
  EXPECT_LE(ahead.Buffered(), 1000) << "never more than the ring holds";
}

TEST(AudioRunAhead, PlaysWhatItHoldsWhileTheGameHoldsTheMixAndThenGoesSilent) {
  Counter counter;
  host::AudioRunAhead ahead(800, 100, [&](int16_t* out, int frames) { counter(out, frames); });
  ahead.Start();
  ASSERT_TRUE(WaitFor(ahead, 800));
  std::vector<int16_t> buf(2 * 500, 7);
  {
    std::lock_guard game(ahead.MixLock());  // the game changes what the mix reads
    EXPECT_EQ(ahead.Read(buf.data(), 500), 500) << "the card does not wait for the game";
    EXPECT_EQ(buf[2 * 499], 499);
    EXPECT_EQ(ahead.Read(buf.data(), 500), 300) << "what the ring held, then";
    EXPECT_EQ(buf[2 * 299], 799);
    for (int i = 300; i < 500; ++i) ASSERT_EQ(buf[2 * i] | buf[2 * i + 1], 0) << "silence where it ran dry";
    EXPECT_EQ(ahead.DryFrames(), 200u);
  }
  // Let go, the mixer fills the ring again and goes on where it was.
  ASSERT_TRUE(WaitFor(ahead, 800));
  ASSERT_EQ(ahead.Read(buf.data(), 1), 1);
  EXPECT_EQ(buf[0], 800);
}

TEST(AudioRunAhead, AHeldRunAheadMixesNothingAndKeepsWhatItHolds) {
  Counter counter;
  host::AudioRunAhead ahead(400, 100, [&](int16_t* out, int frames) { counter(out, frames); });
  ahead.SetHeld(true);
  ahead.Start();
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(counter.produced.load(), 0);
  ahead.SetHeld(false);
  ASSERT_TRUE(WaitFor(ahead, 400));
  ahead.SetHeld(true);
  std::vector<int16_t> buf(2 * 400);
  EXPECT_EQ(ahead.Read(buf.data(), 400), 400);
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(counter.produced.load(), 400) << "nothing mixed while held, though the ring had room";
  ahead.Stop();
  ahead.SetHeld(false);
  ahead.Start();
  ASSERT_TRUE(WaitFor(ahead, 400));
  ASSERT_EQ(ahead.Read(buf.data(), 1), 1);
  EXPECT_EQ(buf[0], 400) << "a restarted run-ahead goes on from where it stopped";
}

}  // namespace
