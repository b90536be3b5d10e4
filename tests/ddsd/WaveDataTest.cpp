#include <atomic>
#include <cstring>
#include <mutex>

#include "ddsd/SoundFixture.h"
#include "platform/win/CodePage.h"

namespace {

using namespace wavfiles;

using WaveData = SoundTest;

std::vector<uint8_t> Contents(TDDSDGenWave& w) {
  LPVOID p1, p2;
  DWORD n1, n2;
  std::vector<uint8_t> out;
  if (w.Buffer()->Lock(0, w.BufferBytes(), &p1, &n1, &p2, &n2, 0) != DS_OK) return out;
  out.assign(static_cast<uint8_t*>(p1), static_cast<uint8_t*>(p1) + n1);
  w.Buffer()->Unlock(p1, 0, p2, 0);
  return out;
}

TEST_F(WaveData, LoadsPlainPcmWithASixteenByteFmtChunk) {
  auto dev = MakeDevice();
  const std::vector<uint8_t> data = Pcm16({1, -2, 300, -400, 5000, -6000});
  TDDSDWaveData w(dev.get(), WriteWav("a.wav", Wav(2, 22050, 16, data)));
  ASSERT_NE(w.Buffer(), nullptr);
  EXPECT_EQ(w.Format().wFormatTag, 1);
  EXPECT_EQ(w.Format().nChannels, 2);
  EXPECT_EQ(w.Format().nSamplesPerSec, 22050u);
  EXPECT_EQ(w.Format().nAvgBytesPerSec, 88200u);
  EXPECT_EQ(w.Format().nBlockAlign, 4);
  EXPECT_EQ(w.Format().wBitsPerSample, 16);
  EXPECT_EQ(w.Format().cbSize, 0);
  EXPECT_EQ(w.BufferBytes(), 12u);
  EXPECT_FALSE(w.Streaming());
  EXPECT_EQ(Contents(w), data);
  DWORD f = 0;
  w.Buffer()->GetFrequency(&f);
  EXPECT_EQ(f, 22050u);
  EXPECT_EQ(Log(), "");
}

TEST_F(WaveData, StructureErrorsAreReportedAndLeaveNoBuffer) {
  auto dev = MakeDevice();
  const auto fmt = Chunk("fmt ", Fmt(1, 11025, 8));
  const auto data = Chunk("data", {1, 2, 3, 4});
  std::vector<uint8_t> notWave = Riff({fmt, data});
  notWave[8] = 'X';
  const std::string missing = dir.File("missing.wav");
  const std::string files[] = {
      missing,
      WriteWav("b.wav", notWave),
      WriteWav("c.wav", Riff({data})),
      WriteWav("d.wav", Riff({Chunk("fmt ", Fmt(1, 11025, 8, 14)), data})),
      WriteWav("e.wav", Riff({fmt})),
  };
  for (const std::string& f : files) {
    TDDSDWaveData w(dev.get(), f);
    EXPECT_EQ(w.Buffer(), nullptr) << f;
  }
  const std::string expected =
      "debug#00001 ... " + win::Utf8ToAnsi(files[0] + "が、見つかりません") + "\r\n" + "debug#00002 ... " +
      win::Utf8ToAnsi(files[1] + "は、WAVEファイルではありません") + "\r\n" + "debug#00003 ... " +
      win::Utf8ToAnsi(files[2] + "には、fmtチャンクが有りません") + "\r\n" + "debug#00004 ... " +
      win::Utf8ToAnsi(files[3] + "のfmtチャンクが不正です") + "\r\n" + "debug#00005 ... " +
      win::Utf8ToAnsi(files[4] + "には、dataチャンクが有りません") + "\r\n";
  EXPECT_EQ(Log(), expected);
}

TEST_F(WaveData, MissingDataChunkIsLoggedOnlyWithDebugMessage) {
  auto dev = MakeDevice(0);
  TDDSDWaveData w(dev.get(), WriteWav("e.wav", Riff({Chunk("fmt ", Fmt(1, 11025, 8))})));
  EXPECT_EQ(w.Buffer(), nullptr);
  EXPECT_EQ(Log(), "");
  EXPECT_FALSE(std::filesystem::exists(dir.File("ddsd.debug")));
}

TEST_F(WaveData, OutsideDataNeverReadsOrAllocatesBeyondTheFile) {
  auto dev = MakeDevice();
  // A fmt chunk of 40 bytes: the first 18 are the format, the rest is skipped.
  std::vector<uint8_t> longFmt = Fmt(1, 8000, 8, 40);
  longFmt[16] = 22;  // cbSize of an extensible header
  TDDSDWaveData a(dev.get(), WriteWav("long.wav", Riff({Chunk("fmt ", longFmt), Chunk("data", {9, 9, 9, 9})})));
  ASSERT_NE(a.Buffer(), nullptr);
  EXPECT_EQ(a.Format().cbSize, 22);
  EXPECT_EQ(Contents(a), (std::vector<uint8_t>{9, 9, 9, 9}));

  // RIFF and data sizes far beyond the file: the buffer holds what the file has.
  std::vector<uint8_t> cut = Riff({Chunk("fmt ", Fmt(1, 8000, 8))}, 0x7FFFFF00);
  PutId(cut, "data");
  Put32(cut, 0xFFFFFFF0u);
  for (int i = 0; i < 6; ++i) cut.push_back(uint8_t(100 + i));
  TDDSDWaveData b(dev.get(), WriteWav("cut.wav", cut));
  ASSERT_NE(b.Buffer(), nullptr);
  EXPECT_EQ(b.BufferBytes(), 6u);
  EXPECT_EQ(Contents(b)[5], 105);

  // Formats the device refuses, and a data chunk too small for a buffer: checked failures.
  std::vector<uint8_t> noBlockAlign = Fmt(2, 8000, 16);
  noBlockAlign[12] = noBlockAlign[13] = 0;
  const std::vector<uint8_t> d4 = {0, 0, 0, 0};
  const std::vector<std::vector<uint8_t>> refused = {
      Riff({Chunk("fmt ", Fmt(0, 8000, 16)), Chunk("data", d4)}),
      Riff({Chunk("fmt ", Fmt(1, 0, 16)), Chunk("data", d4)}),
      Riff({Chunk("fmt ", noBlockAlign), Chunk("data", d4)}),
      Riff({Chunk("fmt ", Fmt(1, 8000, 16)), Chunk("data", {1, 2, 3})}),
  };
  int i = 0;
  for (const auto& bytes : refused) {
    TDDSDWaveData w(dev.get(), WriteWav("r" + std::to_string(i++) + ".wav", bytes));
    EXPECT_EQ(w.Buffer(), nullptr);
  }
  const std::string log = Log();
  const std::string msg = win::Utf8ToAnsi("サウンドバッファの作成に失敗しました");
  EXPECT_NE(log.find("debug#00001 ... " + msg + "(Error Code(88780064))"), std::string::npos) << log;
  EXPECT_NE(log.find("debug#00003 ... " + msg + "(Error Code(88780064))"), std::string::npos) << log;
  EXPECT_NE(log.find("debug#00004 ... " + msg + "(Error Code(80070057))"), std::string::npos) << log;

  // With the game's switches a refused buffer ends the program.
  DDSDDebugUnit().SetSwitches(dsoHaltOnError);
  EXPECT_THROW(TDDSDWaveData(dev.get(), dir.File("r0.wav")), rtl::EHalt);
}

TEST_F(WaveData, WriteDataWrapsAtTheEndOfTheBuffer) {
  auto dev = MakeDevice();
  TDDSDWaveData s(dev.get(), 44100, 16, true, 441000);
  ASSERT_NE(s.Buffer(), nullptr);
  std::vector<uint8_t> data(100000);
  for (size_t i = 0; i < data.size(); ++i) data[i] = uint8_t(1 + i % 251);
  s.WriteData(400000, data.data(), 100000);
  const auto all = Contents(s);
  ASSERT_EQ(all.size(), 441000u);
  EXPECT_EQ(all[399999], 0);
  EXPECT_TRUE(std::equal(data.begin(), data.begin() + 41000, all.begin() + 400000)) << "41000 bytes at the end";
  EXPECT_TRUE(std::equal(data.begin() + 41000, data.end(), all.begin())) << "59000 at the start";
  EXPECT_EQ(all[59000], 0);
}

TEST_F(WaveData, StreamAsksForTheHalfThatHasJustPlayed) {
  auto dev = MakeDevice();
  TDDSDWaveData s(dev.get(), 44100, 16, true, 441000);
  EXPECT_EQ(s.HalfBytes(), 220500u);
  EXPECT_EQ(s.Format().nAvgBytesPerSec, 176400u);
  struct Call {
    TDDSDChannel* channel;
    DWORD offset, length;
  };
  std::mutex m;
  std::vector<Call> calls;
  std::vector<uint8_t> block(220500, 7);
  s.SetOnNotify([&](TDDSDGenWave* w, TDDSDChannel* c, DWORD offset, DWORD length) {
    w->WriteData(offset, block.data(), length);
    std::lock_guard lock(m);
    calls.push_back({c, offset, length});
  });
  auto count = [&] {
    std::lock_guard lock(m);
    return calls.size();
  };
  TDDSDChannel* ch = dev->GetChannel(5);
  ch->setWaveData(&s);
  EXPECT_EQ(s.Channel(), ch);
  ch->PlayLooped();

  clock.Advance(1240);  // 54684 frames: byte 218736, not yet at the middle
  ASSERT_TRUE(s.WaitForNotifications());
  EXPECT_EQ(count(), 0u);
  clock.Advance(20);  // past byte 220500
  ASSERT_TRUE(s.WaitForNotifications());
  ASSERT_EQ(count(), 1u);
  {
    std::lock_guard lock(m);
    EXPECT_EQ(calls[0].offset, 0u);
    EXPECT_EQ(calls[0].length, 220500u);
    EXPECT_EQ(calls[0].channel, ch);
  }
  clock.Advance(1250);  // the wrap
  ASSERT_TRUE(s.WaitForNotifications());
  ASSERT_EQ(count(), 2u);
  {
    std::lock_guard lock(m);
    EXPECT_EQ(calls[1].offset, 220500u);
    EXPECT_EQ(calls[1].length, 220500u);
  }
  ch->Stop();  // the stop event asks for nothing
  ASSERT_TRUE(s.WaitForNotifications());
  EXPECT_EQ(count(), 2u);
  EXPECT_EQ(s.NotificationsStarted(), 2u);
  EXPECT_EQ(Contents(s)[441000 - 1], 7);
}

TEST_F(WaveData, AHandlerMayClearItselfAndDestructionStopsTheThread) {
  auto dev = MakeDevice();
  auto s = std::make_unique<TDDSDWaveData>(dev.get(), 44100, 16, true, 44100);  // 0.25 s
  std::atomic<int> calls{0};
  s->SetOnNotify([&](TDDSDGenWave* w, TDDSDChannel*, DWORD, DWORD) {
    ++calls;
    w->SetOnNotify(nullptr);  // the end of the tune: no more refills
  });
  dev->GetChannel(5)->setWaveData(s.get());
  dev->GetChannel(5)->PlayLooped();
  clock.Advance(200);
  ASSERT_TRUE(s->WaitForNotifications());
  EXPECT_EQ(calls, 1);
  EXPECT_FALSE(s->HasOnNotify());
  clock.Advance(500);  // two more laps: the thread is woken but finds no handler to call
  ASSERT_TRUE(s->WaitForNotifications());
  EXPECT_GT(s->NotificationsStarted(), 1u) << "woken again";
  EXPECT_EQ(calls, 1);

  // Handlers keep arriving until the stream is destroyed, and none after.
  std::atomic<bool> destroyed{false};
  std::atomic<int> late{0};
  s->SetOnNotify([&](TDDSDGenWave* w, TDDSDChannel*, DWORD off, DWORD len) {
    if (destroyed) ++late;
    std::vector<uint8_t> z(len);
    w->WriteData(off, z.data(), len);
  });
  for (int i = 0; i < 20; ++i) clock.Advance(130);
  s.reset();
  destroyed = true;
  EXPECT_EQ(dev->GetChannel(5)->Buffer(), nullptr) << "the channel lets go of the stream's buffer";
  EXPECT_EQ(dev->GetChannel(5)->GetStatus(), 0u);
  clock.Advance(500);
  EXPECT_EQ(late, 0);
}

TEST_F(WaveData, WithoutASoundDeviceEverythingIsANoOp) {
  auto none = host::CreateNoAudio();
  dsound::ScopedAudioDevice noCard(none.get());
  auto dev = MakeDevice(dsoHaltOnError | dsoDebugMessage);
  EXPECT_FALSE(dev->Initialized());
  EXPECT_EQ(dev->Initialize(), 0);
  TDDSDWaveData effect(dev.get(), WriteWav("a.wav", Wav(1, 11025, 8, {1, 2, 3, 4})));
  EXPECT_EQ(effect.Buffer(), nullptr);
  EXPECT_EQ(effect.BufferBytes(), 0u);
  TDDSDWaveData stream(dev.get(), 44100, 16, true, 441000);
  EXPECT_EQ(stream.Buffer(), nullptr);
  EXPECT_TRUE(stream.Streaming());
  EXPECT_EQ(stream.BufferBytes(), 441000u);
  const uint8_t byte = 1;
  stream.WriteData(0, &byte, 1);
  for (DWORD i = 0; i < 11; ++i) {
    TDDSDChannel* c = dev->GetChannel(i);
    ASSERT_NE(c, nullptr);
    c->setWaveData(i == 5 ? &stream : &effect);
    c->SetFrequencyRatio(0.5);
    c->SetVolume(-100);
    c->Play();
    c->PlayLooped();
    c->Stop();
    EXPECT_EQ(c->GetStatus(), 0u);
    EXPECT_EQ(c->WaveData(), nullptr);
  }
  EXPECT_EQ(Log(), "");
}

}  // namespace
