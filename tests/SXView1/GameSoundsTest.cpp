// The game's sound set-up on the sound component: every channel's wave, rate and volume.
#include "SXView1/GameSounds.h"
#include "ddsd/SoundFixture.h"

namespace {

using namespace wavfiles;

using GameSounds = SoundTest;

TEST_F(GameSounds, StartUpGivesEveryChannelItsWaveRateAndVolume) {
  auto dev = MakeDevice(dsoHaltOnError | dsoDebugMessage);
  const char* names[] = {"gunshot.wav",  "rocket.wav", "exprosion.wav",   "info.wav",   "crash.wav",
                         "gunshot2.wav", "nata.wav",   "exprosion_s.wav", "missile.wav"};
  DWORD rate = 8000;
  for (const char* n : names) {
    WriteWav(n, Wav(1, rate, 16, std::vector<uint8_t>(200, 0)));
    rate += 1000;
  }
  TGameSounds s;
  SetUpGameSounds(*dev, dir.Dir(), s);
  struct Expect {
    TDDSDWaveData* wave;
    double factor;  // 0: the wave's own rate
    LONG volume;
  };
  const Expect table[11] = {{s.GunShot.get(), 0.5, 0},  {s.Rocket.get(), 0.5, -1200}, {s.Rocket.get(), 0, -1200},
                            {s.GunShot2.get(), 0.5, 0}, {s.Exprosion.get(), 0.5, 0},  {s.MusicBuffer.get(), 0, -500},
                            {s.Info.get(), 0, -900},    {s.Crash.get(), 0.5, -400},   {s.Nata.get(), 0, 0},
                            {s.ExprosionS.get(), 0, 0}, {s.Missile.get(), 0, 0}};
  for (DWORD i = 0; i < 11; ++i) {
    TDDSDChannel* c = dev->GetChannel(i);
    ASSERT_NE(table[i].wave->Buffer(), nullptr) << i;
    EXPECT_EQ(c->WaveData(), table[i].wave) << i;
    DWORD f = 0;
    LONG v = 1;
    c->Buffer()->GetFrequency(&f);
    c->Buffer()->GetVolume(&v);
    const DWORD base = table[i].wave->Format().nSamplesPerSec;
    EXPECT_EQ(f, table[i].factor ? DWORD(base * table[i].factor) : base) << i;
    EXPECT_EQ(v, table[i].volume) << i;
  }
  EXPECT_EQ(s.MusicBuffer->BufferBytes(), 441000u);
  FreeGameSoundEffects(s);
  EXPECT_EQ(s.Missile, nullptr);
  EXPECT_NE(s.MusicBuffer, nullptr);
  EXPECT_EQ(Log(), "");
}

}  // namespace
