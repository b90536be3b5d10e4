#include <cmath>
#include <cstring>

#include "ddsd/SoundFixture.h"
#include "platform/win/CodePage.h"

namespace {

using namespace wavfiles;

using Channel = SoundTest;

TEST_F(Channel, GetChannelChecksTheNumber) {
  auto dev = MakeDevice();
  EXPECT_EQ(dev->GetChannel(10), dev->GetChannel(10));
  EXPECT_NE(dev->GetChannel(10), nullptr);
  EXPECT_EQ(dev->GetChannel(11), nullptr);
  EXPECT_EQ(Log(),
            "debug#00001 ... " + win::Utf8ToAnsi("チャンネル番号11は無効です、0～10の範囲で指定してください") + "\r\n");
  DDSDDebugUnit().SetSwitches(dsoHaltOnError);
  EXPECT_THROW(dev->GetChannel(0xFFFFFFFFu), rtl::EHalt);
  DDSDDebugUnit().SetSwitches(dsoExceptOnError | dsoDebugMessage);
  EXPECT_THROW(dev->GetChannel(12), EDDSD);
}

TEST_F(Channel, FrequencyRatioTruncatesAndChecksItsRange) {
  auto dev = MakeDevice();
  TDDSDWaveData w(dev.get(), WriteWav("a.wav", Wav(1, 11025, 8, std::vector<uint8_t>(100, 128))));
  TDDSDChannel* c = dev->GetChannel(0);
  c->setWaveData(&w);
  EXPECT_EQ(c->BaseFrequency(), 11025u);
  c->SetFrequencyRatio(0.5);
  EXPECT_EQ(c->Frequency(), 5512u);
  DWORD f = 0;
  c->Buffer()->GetFrequency(&f);
  EXPECT_EQ(f, 5512u);
  EXPECT_THROW(c->SetFrequencyRatio(400000.0), rtl::ERangeError);  // 2^32 and beyond
  EXPECT_THROW(c->SetFrequencyRatio(-1.0), rtl::ERangeError);
  EXPECT_EQ(c->Frequency(), 5512u);
}

TEST_F(Channel, PlayRestartsAndStopKeepsThePosition) {
  auto dev = MakeDevice();
  TDDSDWaveData w(dev.get(), WriteWav("a.wav", Wav(1, 44100, 16, std::vector<uint8_t>(88200, 0))));  // 1 s
  TDDSDChannel* c = dev->GetChannel(0);
  c->setWaveData(&w);
  c->Play();
  EXPECT_EQ(c->GetStatus(), DSBSTATUS_PLAYING);
  clock.Advance(500);
  EXPECT_EQ(PlayCursor(c->Buffer()), 44100u);
  c->Play();
  EXPECT_EQ(PlayCursor(c->Buffer()), 0u) << "a second Play starts over";
  clock.Advance(1500);
  EXPECT_EQ(c->GetStatus(), 0u) << "played once to the end";

  c->PlayLooped();
  EXPECT_EQ(c->GetStatus(), DSBSTATUS_PLAYING | DSBSTATUS_LOOPING);
  clock.Advance(1250);
  c->Stop();
  EXPECT_EQ(c->GetStatus(), 0u);
  EXPECT_EQ(PlayCursor(c->Buffer()), 22050u);
  clock.Advance(100);
  EXPECT_EQ(PlayCursor(c->Buffer()), 22050u);
}

TEST_F(Channel, SetWaveDataWithTheSameStreamIsANoOpWithTheSameEffectANewDuplicate) {
  auto dev = MakeDevice();
  TDDSDWaveData stream(dev.get(), 44100, 16, true, 44100);
  TDDSDChannel* c = dev->GetChannel(5);
  c->setWaveData(&stream);
  EXPECT_EQ(c->Buffer(), stream.Buffer()) << "a stream's buffer is shared, not duplicated";
  EXPECT_TRUE(c->Streaming());
  c->PlayLooped();
  c->setWaveData(&stream);
  EXPECT_EQ(c->GetStatus(), DSBSTATUS_PLAYING | DSBSTATUS_LOOPING) << "the second call changed nothing";

  TDDSDWaveData w(dev.get(), WriteWav("a.wav", Wav(1, 22050, 16, std::vector<uint8_t>(8820, 0))));
  TDDSDChannel* e = dev->GetChannel(0);
  e->setWaveData(&w);
  EXPECT_NE(e->Buffer(), w.Buffer());
  e->SetFrequencyRatio(2.0);
  e->PlayLooped();
  e->setWaveData(&w);
  EXPECT_EQ(e->GetStatus(), 0u) << "the playing duplicate was released";
  DWORD f = 0;
  e->Buffer()->GetFrequency(&f);
  EXPECT_EQ(f, 22050u) << "the new duplicate starts at the wave's rate";

  // Moving the stream's channel to an effect stops the stream but keeps its buffer alive.
  c->setWaveData(&w);
  EXPECT_FALSE(c->Streaming());
  EXPECT_EQ(stream.Channel(), nullptr);
  DWORD status = 1;
  stream.Buffer()->GetStatus(&status);
  EXPECT_EQ(status, 0u);

  // Without a wave the channel falls silent and keeps its old reference.
  e->setWaveData(nullptr);
  EXPECT_EQ(e->Buffer(), nullptr);
  EXPECT_EQ(e->WaveData(), &w);
  EXPECT_EQ(e->GetStatus(), 0u);

  // A wave that failed to load has no buffer to duplicate: a checked failure.
  TDDSDWaveData missing(dev.get(), dir.File("missing.wav"));
  e->setWaveData(&missing);
  EXPECT_EQ(e->Buffer(), nullptr);
  EXPECT_NE(Log().find(win::Utf8ToAnsi("setWaveData サウンドバッファの複製に失敗しました") + "(Error Code(80070057))"),
            std::string::npos);
  DDSDDebugUnit().SetSwitches(dsoHaltOnError);
  EXPECT_THROW(e->setWaveData(&missing), rtl::EHalt);
}

TEST_F(Channel, TwoDuplicatesAtDifferentRatesAndVolumesMixAsComputed) {
  auto dev = MakeDevice();
  // A slow 16-bit mono ramp, so that linear interpolation is exact.
  std::vector<int16_t> ramp(22050);
  for (size_t i = 0; i < ramp.size(); ++i) ramp[i] = int16_t(int(i % 4000) * 4 - 8000);
  TDDSDWaveData w(dev.get(), WriteWav("ramp.wav", Wav(1, 22050, 16, Pcm16(ramp))));
  TDDSDChannel* a = dev->GetChannel(0);
  TDDSDChannel* b = dev->GetChannel(1);
  a->setWaveData(&w);
  b->setWaveData(&w);
  a->SetFrequencyRatio(2.0);  // 44100: one source frame per output frame
  a->SetVolume(-600);
  b->SetVolume(-200);  // the wave's own 22050: half a frame per output frame
  audio.StartCapture();
  a->Play();
  b->Play();
  clock.Advance(50);  // 2205 frames
  const auto out = audio.TakeCaptured();
  ASSERT_EQ(out.size(), 2u * 2205);
  const double ga = std::pow(10.0, -600 / 2000.0), gb = std::pow(10.0, -200 / 2000.0);
  auto src = [&](double pos) {  // the ramp at a fractional position, within one rise
    const double base = std::floor(pos);
    return ramp[size_t(base)] + (pos - base) * 4;
  };
  int worst = 0;
  for (size_t n = 0; n < 2205; ++n) {
    if (n % 4000 == 3999 || (n / 2) % 4000 == 3999) continue;  // the ramp's drop
    const double expected = ramp[n] * ga + src(n / 2.0) * gb;
    worst = std::max(worst, int(std::lround(std::abs(out[2 * n] - expected))));
    ASSERT_EQ(out[2 * n], out[2 * n + 1]);
  }
  EXPECT_LE(worst, 2);
}

TEST_F(Channel, TheStreamBufferIsReleasedOnceWhateverGoesFirst) {
  // The device (and its channels) first, then the stream.
  auto dev = MakeDevice();
  auto s = std::make_unique<TDDSDWaveData>(dev.get(), 44100, 16, true, 44100);
  dev->GetChannel(5)->setWaveData(s.get());
  dev->GetChannel(5)->PlayLooped();
  clock.Advance(100);
  dev.reset();
  EXPECT_EQ(s->Channel(), nullptr);
  s.reset();
  // The stream first, then the device.
  dev = MakeDevice();
  s = std::make_unique<TDDSDWaveData>(dev.get(), 44100, 16, true, 44100);
  dev->GetChannel(5)->setWaveData(s.get());
  s.reset();
  EXPECT_EQ(dev->GetChannel(5)->Buffer(), nullptr);
  dev->GetChannel(5)->PlayLooped();
  dev.reset();
  EXPECT_EQ(Log(), "") << "every release reached a count of 0";
}

TEST_F(Channel, ThreeDimensionalDeviceHasAListenerAndDefaultRecords) {
  auto dev = std::make_unique<TDDSD>(window.Handle());
  dev->SetUse3D(true);
  dev->SetDebugOption(dsoDebugMessage);
  dev->Loaded();
  ASSERT_NE(dev->Listener(), nullptr);
  ASSERT_NE(dev->Listener3D(), nullptr);
  DS3DLISTENER applied{};
  applied.dwSize = sizeof applied;
  dev->Listener3D()->GetAllParameters(&applied);
  EXPECT_EQ(std::memcmp(&applied, &dev->Listener()->Params, sizeof applied), 0);
  EXPECT_EQ(dev->ChannelCount(), 8u);
  const DS3DBUFFER& p = dev->GetChannel(7)->Params3D().Params;
  EXPECT_EQ(p.dwSize, 64u);
  EXPECT_EQ(p.flMinDistance, 5.0f);
  EXPECT_EQ(p.flMaxDistance, 100.0f);
  EXPECT_EQ(p.vConeOrientation.z, 1.0f);
  dev.reset();
  EXPECT_EQ(Log(), "");
}

TEST_F(Channel, WithoutItsOwnersWindowTheCooperativeLevelIsReported) {
  // As the component would be if the form did not hand it its window: the level is refused
  // (and so is the primary buffer that needs it); with the game's switches that ends the program.
  auto dev = std::make_unique<TDDSD>(nullptr);
  dev->SetDebugOption(dsoDebugMessage);
  dev->Loaded();
  EXPECT_EQ(Log(), "debug#00001 ... " + win::Utf8ToAnsi("DirectSoundの協調レベルの設定に失敗しました") +
                       "(Error Code(80070057))\r\n" + "debug#00002 ... " +
                       win::Utf8ToAnsi("一次バッファの作成に失敗しました") + "(Error Code(88780046))\r\n");
  dev.reset();
  EXPECT_THROW(
      {
        TDDSD halted(reinterpret_cast<HWND>(0x7777));
        halted.SetDebugOption(dsoHaltOnError);
        halted.Loaded();
      },
      rtl::EHalt);
}

}  // namespace
