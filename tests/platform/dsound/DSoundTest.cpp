#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "platform/dsound/DSound.h"
#include "platform/host/AudioOutputStage.h"
#include "platform/host/Backends.h"
#include "platform/host/Host.h"
#include "platform/win/WinWindows.h"

namespace {

// An audio output the test pulls by hand.
class PulledAudio final : public host::IAudioDevice {
 public:
  bool Available() const override { return true; }
  bool Open(int rate, Callback cb) override {
    if (callback) return false;
    this->rate = rate;
    callback = std::move(cb);
    return true;
  }
  void Close() override { callback = nullptr; }
  void Lock() override {}
  void Unlock() override {}
  std::vector<int32_t> Pull(int frames) {
    std::vector<int32_t> out(size_t(frames) * 2, 0x5555);
    callback(out.data(), frames);
    return out;
  }
  int rate = 0;
  Callback callback;
};

WAVEFORMATEX Pcm(WORD channels, DWORD rate, WORD bits) {
  const WORD align = WORD(channels * bits / 8);
  return {WAVE_FORMAT_PCM, channels, rate, rate * align, align, bits, 0};
}

class DSound : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(DirectSoundCreate(nullptr, &ds, nullptr), DS_OK);
    ASSERT_EQ(audio.rate, 44100);
    ASSERT_EQ(ds->SetCooperativeLevel(window.Handle(), DSSCL_PRIORITY), DS_OK);
  }
  void TearDown() override {
    if (ds) {
      EXPECT_EQ(ds->Release(), 0u);
    }
    EXPECT_FALSE(audio.callback) << "the device is closed with the last reference";
  }
  IDirectSoundBuffer* Make(WAVEFORMATEX format, DWORD bytes, DWORD flags = 0xE2) {
    DSBUFFERDESC desc{DSBUFFERDESC_SIZE, flags, bytes, 0, &format};
    IDirectSoundBuffer* b = nullptr;
    EXPECT_EQ(ds->CreateSoundBuffer(&desc, &b, nullptr), DS_OK);
    return b;
  }
  static void Fill(IDirectSoundBuffer* b, const void* data, DWORD bytes) {
    LPVOID p1, p2;
    DWORD n1, n2;
    ASSERT_EQ(b->Lock(0, bytes, &p1, &n1, &p2, &n2, 0), DS_OK);
    std::memcpy(p1, data, n1);
    ASSERT_EQ(b->Unlock(p1, n1, p2, n2), DS_OK);
  }
  static IDirectSoundBuffer* MonoConstant(DSound& t, int16_t value, DWORD frames, DWORD rate = 44100) {
    IDirectSoundBuffer* b = t.Make(Pcm(1, rate, 16), frames * 2);
    std::vector<int16_t> s(frames, value);
    Fill(b, s.data(), frames * 2);
    return b;
  }

  PulledAudio audio;
  dsound::ScopedAudioDevice use{&audio};
  win::WindowRegistration window{reinterpret_cast<HWND>(0x4000)};
  IDirectSound* ds = nullptr;
};

TEST(DSoundDevice, NoOutputMeansNoDriver) {
  auto none = host::CreateNoAudio();
  dsound::ScopedAudioDevice use(none.get());
  IDirectSound* ds = reinterpret_cast<IDirectSound*>(1);
  EXPECT_EQ(DirectSoundCreate(nullptr, &ds, nullptr), DSERR_NODRIVER);
  EXPECT_EQ(ds, nullptr);
}

TEST_F(DSound, LockGivesTwoPartsAcrossTheWrapAndUnlockStoresThem) {
  IDirectSoundBuffer* b = Make(Pcm(1, 22050, 8), 100);
  LPVOID p1, p2;
  DWORD n1, n2;
  ASSERT_EQ(b->Lock(90, 30, &p1, &n1, &p2, &n2, 0), DS_OK);
  EXPECT_EQ(n1, 10u);
  EXPECT_EQ(n2, 20u);
  ASSERT_NE(p2, nullptr);
  EXPECT_EQ(static_cast<BYTE*>(p1)[0], 0x80) << "8-bit buffers start silent";
  std::memset(p1, 1, n1);
  std::memset(p2, 2, n2);
  ASSERT_EQ(b->Unlock(p1, n1, p2, n2), DS_OK);

  ASSERT_EQ(b->Lock(0, 100, &p1, &n1, &p2, &n2, 0), DS_OK);
  EXPECT_EQ(n1, 100u);
  EXPECT_EQ(n2, 0u);
  const BYTE* all = static_cast<BYTE*>(p1);
  EXPECT_EQ(all[0], 2);
  EXPECT_EQ(all[19], 2);
  EXPECT_EQ(all[20], 0x80);
  EXPECT_EQ(all[89], 0x80);
  EXPECT_EQ(all[90], 1);
  EXPECT_EQ(all[99], 1);
  EXPECT_EQ(b->Unlock(p1, 0, nullptr, 0), DS_OK);
  EXPECT_EQ(b->Unlock(p1, 0, nullptr, 0), DSERR_INVALIDPARAM) << "already unlocked";

  EXPECT_EQ(b->Lock(100, 1, &p1, &n1, &p2, &n2, 0), DSERR_INVALIDPARAM);
  EXPECT_EQ(b->Lock(0, 101, &p1, &n1, &p2, &n2, 0), DSERR_INVALIDPARAM);
  EXPECT_EQ(b->Lock(0, 0, &p1, &n1, &p2, &n2, 0), DSERR_INVALIDPARAM);
  EXPECT_EQ(b->Release(), 0u);
}

TEST_F(DSound, BadFormatsAndSizesAreRefused) {
  IDirectSoundBuffer* b = nullptr;
  auto create = [&](WAVEFORMATEX f, DWORD bytes) {
    DSBUFFERDESC desc{DSBUFFERDESC_SIZE, 0xE2, bytes, 0, &f};
    return ds->CreateSoundBuffer(&desc, &b, nullptr);
  };
  WAVEFORMATEX f = Pcm(0, 22050, 16);
  EXPECT_EQ(create(f, 1000), DSERR_BADFORMAT);
  f = Pcm(2, 0, 16);
  EXPECT_EQ(create(f, 1000), DSERR_BADFORMAT);
  f = Pcm(2, 22050, 16);
  f.nBlockAlign = 0;
  EXPECT_EQ(create(f, 1000), DSERR_BADFORMAT);
  f = Pcm(1, 22050, 12);
  EXPECT_EQ(create(f, 1000), DSERR_BADFORMAT);
  f = Pcm(2, 22050, 16);
  f.wFormatTag = 2;
  EXPECT_EQ(create(f, 1000), DSERR_BADFORMAT);
  EXPECT_EQ(create(Pcm(2, 22050, 16), 3), DSERR_INVALIDPARAM);
  EXPECT_EQ(create(Pcm(2, 22050, 16), DSBSIZE_MAX + 1), DSERR_INVALIDPARAM);
  EXPECT_EQ(b, nullptr);
  DSBUFFERDESC desc{DSBUFFERDESC_SIZE, 0xE2, 100, 0, nullptr};
  EXPECT_EQ(ds->CreateSoundBuffer(&desc, &b, nullptr), DSERR_INVALIDPARAM);
}

// The mixer hands on the whole sum; the host's output stage clips it (or limits it).
TEST_F(DSound, VolumeIsHundredthsOfADecibelAndTheSumIsClippedByThePlainOutputStage) {
  IDirectSoundBuffer* a = MonoConstant(*this, 10000, 4410);
  a->Play(0, 0, DSBPLAY_LOOPING);
  auto out = audio.Pull(64);
  EXPECT_EQ(out[10], 10000);
  EXPECT_EQ(out[11], 10000) << "mono goes to both sides";

  ASSERT_EQ(a->SetVolume(-600), DS_OK);  // 10^(-600/2000)
  out = audio.Pull(64);
  EXPECT_NEAR(out[10], 10000 * std::pow(10.0, -0.3), 2);
  ASSERT_EQ(a->SetVolume(-10000), DS_OK);
  out = audio.Pull(64);
  EXPECT_EQ(out[10], 0);
  EXPECT_EQ(a->SetVolume(1), DSERR_INVALIDPARAM);
  EXPECT_EQ(a->SetVolume(-10001), DSERR_INVALIDPARAM);

  a->SetVolume(0);
  IDirectSoundBuffer* b = MonoConstant(*this, 30000, 4410);
  IDirectSoundBuffer* c = MonoConstant(*this, -30000, 4410);
  b->Play(0, 0, DSBPLAY_LOOPING);
  host::AudioOutputStage clip(44100, {.limiter = false});
  std::vector<int16_t> pcm(16);
  out = audio.Pull(8);
  EXPECT_EQ(out[4], 40000);
  clip.Process(out.data(), pcm.data(), 8);
  EXPECT_EQ(pcm[4], 32767);
  a->Stop();
  b->Stop();
  c->Play(0, 0, DSBPLAY_LOOPING);
  IDirectSoundBuffer* d = MonoConstant(*this, -30000, 4410);
  d->Play(0, 0, DSBPLAY_LOOPING);
  out = audio.Pull(8);
  EXPECT_EQ(out[4], -60000);
  clip.Process(out.data(), pcm.data(), 8);
  EXPECT_EQ(pcm[4], -32768);
  for (auto* x : {a, b, c, d}) EXPECT_EQ(x->Release(), 0u);
}

TEST_F(DSound, ResamplesEightAndSixteenBitMonoAndStereo) {
  // A stereo 8-bit ramp at 22050 Hz: each output frame is half a source frame further,
  // so odd output frames lie halfway between two source frames.
  std::vector<uint8_t> ramp(2 * 100);
  for (int i = 0; i < 100; ++i) {
    ramp[2 * i] = uint8_t(128 + i);      // left rises
    ramp[2 * i + 1] = uint8_t(128 - i);  // right falls
  }
  IDirectSoundBuffer* b = Make(Pcm(2, 22050, 8), 200);
  Fill(b, ramp.data(), 200);
  b->Play(0, 0, 0);
  auto out = audio.Pull(100);
  for (int n = 0; n < 100; ++n) {
    const double src = n / 2.0;
    ASSERT_NEAR(out[2 * n], src * 256, 1) << n;
    ASSERT_NEAR(out[2 * n + 1], -src * 256, 1) << n;
  }
  b->Release();

  // 16-bit mono at 11025 Hz played at 88200 Hz: every other source frame.
  std::vector<int16_t> r16(1000);
  for (int i = 0; i < 1000; ++i) r16[i] = int16_t(i * 10);
  IDirectSoundBuffer* m = Make(Pcm(1, 11025, 16), 2000);
  Fill(m, r16.data(), 2000);
  ASSERT_EQ(m->SetFrequency(88200), DS_OK);
  m->Play(0, 0, 0);
  out = audio.Pull(50);
  for (int n = 0; n < 50; ++n) ASSERT_NEAR(out[2 * n], n * 20, 1) << n;
  DWORD play = 0;
  m->GetCurrentPosition(&play, nullptr);
  EXPECT_EQ(play, 200u) << "100 source frames of 2 bytes";
  EXPECT_EQ(m->SetFrequency(99), DSERR_INVALIDPARAM);
  ASSERT_EQ(m->SetFrequency(DSBFREQUENCY_ORIGINAL), DS_OK);
  DWORD f = 0;
  m->GetFrequency(&f);
  EXPECT_EQ(f, 11025u);
  m->Release();
}

TEST_F(DSound, PlayingOnceStopsAtTheEndLoopingWraps) {
  IDirectSoundBuffer* once = MonoConstant(*this, 1000, 100);
  IDirectSoundBuffer* loop = MonoConstant(*this, 100, 100);
  once->Play(0, 0, 0);
  loop->Play(0, 0, DSBPLAY_LOOPING);
  DWORD s1 = 0, s2 = 0;
  once->GetStatus(&s1);
  loop->GetStatus(&s2);
  EXPECT_EQ(s1, DSBSTATUS_PLAYING);
  EXPECT_EQ(s2, DSBSTATUS_PLAYING | DSBSTATUS_LOOPING);
  auto out = audio.Pull(150);
  EXPECT_EQ(out[2 * 99], 1100);
  EXPECT_EQ(out[2 * 100], 100) << "the single shot ended after its 100 frames";
  once->GetStatus(&s1);
  EXPECT_EQ(s1, 0u);
  DWORD play = 0;
  loop->GetCurrentPosition(&play, nullptr);
  EXPECT_EQ(play, 100u) << "150 frames into a 100-frame loop";
  ASSERT_EQ(loop->Stop(), DS_OK);
  out = audio.Pull(10);
  EXPECT_EQ(out[0], 0);
  loop->GetCurrentPosition(&play, nullptr);
  EXPECT_EQ(play, 100u) << "Stop keeps the position";
  once->Release();
  loop->Release();
}

TEST_F(DSound, DuplicatesShareSamplesButNotPositionRateOrVolume) {
  IDirectSoundBuffer* orig = MonoConstant(*this, 0, 1000, 22050);
  orig->SetVolume(-100);
  IDirectSoundBuffer* dup = nullptr;
  ASSERT_EQ(ds->DuplicateSoundBuffer(orig, &dup), DS_OK);
  DWORD f = 0;
  LONG v = 0;
  dup->GetFrequency(&f);
  dup->GetVolume(&v);
  EXPECT_EQ(f, 22050u);
  EXPECT_EQ(v, -100);
  // Samples written through the original sound in the duplicate.
  std::vector<int16_t> s(1000, 4000);
  Fill(orig, s.data(), 2000);
  dup->SetVolume(0);
  dup->SetFrequency(44100);
  dup->Play(0, 0, 0);
  auto out = audio.Pull(10);
  EXPECT_EQ(out[0], 4000);
  orig->GetVolume(&v);
  EXPECT_EQ(v, -100);
  DWORD play = 1;
  orig->GetCurrentPosition(&play, nullptr);
  EXPECT_EQ(play, 0u);
  // The duplicate outlives the original.
  EXPECT_EQ(orig->Release(), 0u);
  out = audio.Pull(10);
  EXPECT_EQ(out[0], 4000);
  EXPECT_EQ(dup->Release(), 0u);

  IDirectSoundBuffer* none = nullptr;
  EXPECT_EQ(ds->DuplicateSoundBuffer(nullptr, &none), DSERR_INVALIDPARAM);
  EXPECT_EQ(none, nullptr);
}

TEST_F(DSound, NotificationsFireWhenTheCursorPassesTheirOffsets) {
  WAVEFORMATEX f = Pcm(2, 44100, 16);
  IDirectSoundBuffer* b = Make(f, 4000, 0x1E0);  // 1000 frames
  IDirectSoundNotify* n = nullptr;
  ASSERT_EQ(b->QueryInterface(IID_IDirectSoundNotify, reinterpret_cast<void**>(&n)), DS_OK);
  HANDLE start = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  HANDLE half = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  HANDLE stop = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  const DSBPOSITIONNOTIFY pos[3] = {{0, start}, {2000, half}, {DSBPN_OFFSETSTOP, stop}};
  ASSERT_EQ(n->SetNotificationPositions(3, pos), DS_OK);
  const DSBPOSITIONNOTIFY beyond = {4000, half};
  EXPECT_EQ(n->SetNotificationPositions(1, &beyond), DSERR_INVALIDPARAM);

  b->Play(0, 0, DSBPLAY_LOOPING);
  EXPECT_EQ(n->SetNotificationPositions(3, pos), DSERR_INVALIDCALL) << "not while playing";
  audio.Pull(499);
  EXPECT_EQ(WaitForSingleObject(start, 0), WAIT_TIMEOUT) << "starting at 0 is no crossing";
  EXPECT_EQ(WaitForSingleObject(half, 0), WAIT_TIMEOUT);
  audio.Pull(1);  // the cursor reaches byte 2000
  EXPECT_EQ(WaitForSingleObject(half, 0), WAIT_OBJECT_0);
  audio.Pull(499);
  EXPECT_EQ(WaitForSingleObject(start, 0), WAIT_TIMEOUT);
  audio.Pull(1);  // wraps to 0
  EXPECT_EQ(WaitForSingleObject(start, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(half, 0), WAIT_TIMEOUT);
  // Several laps in one period: each offset passed is signalled.
  audio.Pull(2500);
  EXPECT_EQ(WaitForSingleObject(start, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(half, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(stop, 0), WAIT_TIMEOUT);
  b->Stop();
  EXPECT_EQ(WaitForSingleObject(stop, 0), WAIT_OBJECT_0);

  // Played once, the buffer stops at its end: the stop event, but no lap back to 0.
  b->SetCurrentPosition(0);
  b->Play(0, 0, 0);
  audio.Pull(1200);
  EXPECT_EQ(WaitForSingleObject(half, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(start, 0), WAIT_TIMEOUT);
  EXPECT_EQ(WaitForSingleObject(stop, 0), WAIT_OBJECT_0);

  // The notify object counts its own references.
  EXPECT_EQ(n->Release(), 0u);
  EXPECT_EQ(b->Release(), 0u);
  for (HANDLE h : {start, half, stop}) CloseHandle(h);

  IDirectSoundBuffer* plain = MonoConstant(*this, 0, 10);
  void* p = nullptr;
  EXPECT_EQ(plain->QueryInterface(IID_IDirectSoundNotify, &p), E_NOINTERFACE);
  EXPECT_EQ(plain->AddRef(), 2u);
  EXPECT_EQ(plain->Release(), 1u);
  EXPECT_EQ(plain->Release(), 0u);
}

TEST_F(DSound, PrimaryBufferAndListenerKeepTheirRecords) {
  DSBUFFERDESC desc{DSBUFFERDESC_SIZE, DSBCAPS_PRIMARYBUFFER | DSBCAPS_CTRL3D, 0, 0, nullptr};
  IDirectSoundBuffer* primary = nullptr;
  ASSERT_EQ(ds->CreateSoundBuffer(&desc, &primary, nullptr), DS_OK);
  IDirectSound3DListener* l = nullptr;
  ASSERT_EQ(primary->QueryInterface(IID_IDirectSound3DListener, reinterpret_cast<void**>(&l)), DS_OK);
  DS3DLISTENER rec{};
  rec.dwSize = sizeof rec;
  ASSERT_EQ(l->GetAllParameters(&rec), DS_OK);
  EXPECT_EQ(rec.vOrientFront.z, 1.0f);
  EXPECT_EQ(rec.vOrientTop.y, 1.0f);
  rec.vPosition = {1, 2, 3};
  rec.flDopplerFactor = 2.0f;
  ASSERT_EQ(l->SetAllParameters(&rec, DS3D_DEFERRED), DS_OK);
  DS3DLISTENER now{};
  now.dwSize = sizeof now;
  l->GetAllParameters(&now);
  EXPECT_EQ(now.vPosition.x, 0.0f) << "deferred until committed";
  l->CommitDeferredSettings();
  l->GetAllParameters(&now);
  EXPECT_EQ(now.vPosition.y, 2.0f);
  EXPECT_EQ(now.flDopplerFactor, 2.0f);
  rec.dwSize = 60;
  EXPECT_EQ(l->SetAllParameters(&rec, DS3D_IMMEDIATE), DSERR_INVALIDPARAM);
  rec.dwSize = sizeof rec;
  rec.flRolloffFactor = 11.0f;
  EXPECT_EQ(l->SetAllParameters(&rec, DS3D_IMMEDIATE), DSERR_INVALIDPARAM);
  // Separate counts: the game releases both and checks each reaches 0.
  EXPECT_EQ(l->Release(), 0u);
  EXPECT_EQ(primary->Release(), 0u);

  IDirectSoundBuffer* flat = nullptr;
  desc.dwFlags = DSBCAPS_PRIMARYBUFFER;
  ASSERT_EQ(ds->CreateSoundBuffer(&desc, &flat, nullptr), DS_OK);
  EXPECT_EQ(flat->QueryInterface(IID_IDirectSound3DListener, reinterpret_cast<void**>(&l)), E_NOINTERFACE);
  IDirectSoundBuffer* dup = nullptr;
  EXPECT_EQ(ds->DuplicateSoundBuffer(flat, &dup), DSERR_INVALIDCALL);
  flat->Release();
}

TEST(DSoundDevice, CooperativeLevelTakesOnlyAWindowOfThisProcess) {
  PulledAudio audio;
  dsound::ScopedAudioDevice use(&audio);
  IDirectSound* ds = nullptr;
  ASSERT_EQ(DirectSoundCreate(nullptr, &ds, nullptr), DS_OK);
  const HWND unknown = reinterpret_cast<HWND>(0x4321);
  EXPECT_EQ(ds->SetCooperativeLevel(nullptr, DSSCL_PRIORITY), DSERR_INVALIDPARAM);
  EXPECT_EQ(ds->SetCooperativeLevel(unknown, DSSCL_PRIORITY), DSERR_INVALIDPARAM);
  // Refused means not set: nothing can be made yet.
  DSBUFFERDESC primary{DSBUFFERDESC_SIZE, DSBCAPS_PRIMARYBUFFER, 0, 0, nullptr};
  IDirectSoundBuffer* b = nullptr;
  EXPECT_EQ(ds->CreateSoundBuffer(&primary, &b, nullptr), DSERR_PRIOLEVELNEEDED);
  {
    const win::WindowRegistration window(unknown);
    EXPECT_EQ(ds->SetCooperativeLevel(unknown, DSSCL_PRIORITY), DS_OK);
    ASSERT_EQ(ds->CreateSoundBuffer(&primary, &b, nullptr), DS_OK);
    // Writing the primary buffer is a call the mixer does not take: refused, and told once.
    void *p1 = nullptr, *p2 = nullptr;
    DWORD n1 = 0, n2 = 0;
    testing::internal::CaptureStderr();
    EXPECT_EQ(b->Lock(0, 4, &p1, &n1, &p2, &n2, 0), DSERR_PRIOLEVELNEEDED);
    EXPECT_EQ(b->Lock(0, 4, &p1, &n1, &p2, &n2, 0), DSERR_PRIOLEVELNEEDED);
    const std::string told = testing::internal::GetCapturedStderr();
    EXPECT_EQ(p1, nullptr);
    EXPECT_EQ(told, "dsound: Lock of the primary buffer is not supported\n");
    b->Release();
  }
  // A window that has gone is unknown again.
  EXPECT_EQ(ds->SetCooperativeLevel(unknown, DSSCL_NORMAL), DSERR_INVALIDPARAM);
  EXPECT_EQ(ds->Release(), 0u);
}

}  // namespace
