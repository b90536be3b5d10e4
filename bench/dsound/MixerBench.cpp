// The mixer's cost: eleven looping channels of mixed formats and rates, mixed into
// 10 ms of 44100 Hz stereo per iteration (the time is per 10 ms of audio).
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "platform/dsound/DSound.h"
#include "platform/host/Host.h"
#include "platform/win/WinWindows.h"

namespace {

class PulledAudio final : public host::IAudioDevice {
 public:
  bool Available() const override { return true; }
  bool Open(int, Callback cb) override {
    callback = std::move(cb);
    return true;
  }
  void Close() override { callback = nullptr; }
  void Lock() override {}
  void Unlock() override {}
  Callback callback;
};

struct Voice {
  WORD channels, bits;
  DWORD rate, playRate;
  LONG volume;
};

// Close to the game's channels: effects at half or their own rate, music at 44100.
const Voice kVoices[11] = {
    {1, 16, 22050, 11025, 0}, {1, 8, 11025, 5512, -1200},  {1, 8, 11025, 11025, -1200}, {1, 16, 22050, 11025, 0},
    {2, 16, 44100, 22050, 0}, {2, 16, 44100, 44100, -500}, {1, 16, 22050, 22050, -900}, {2, 8, 22050, 11025, -400},
    {1, 16, 44100, 44100, 0}, {2, 16, 32000, 32000, 0},    {1, 8, 8000, 8000, 0},
};

void BM_MixElevenChannels(benchmark::State& state) {
  const int frames = static_cast<int>(state.range(0));
  PulledAudio audio;
  dsound::ScopedAudioDevice use(&audio);
  IDirectSound* ds = nullptr;
  if (DirectSoundCreate(nullptr, &ds, nullptr) != DS_OK) {
    state.SkipWithError("DirectSoundCreate failed");
    return;
  }
  const win::WindowRegistration window(reinterpret_cast<HWND>(0x1000));
  ds->SetCooperativeLevel(window.Handle(), DSSCL_PRIORITY);
  std::vector<IDirectSoundBuffer*> buffers;
  for (const Voice& v : kVoices) {
    const WORD align = WORD(v.channels * v.bits / 8);
    WAVEFORMATEX f{WAVE_FORMAT_PCM, v.channels, v.rate, v.rate * align, align, v.bits, 0};
    const DWORD bytes = v.rate * align;  // one second
    DSBUFFERDESC desc{DSBUFFERDESC_SIZE, 0xE2, bytes, 0, &f};
    IDirectSoundBuffer* b = nullptr;
    if (ds->CreateSoundBuffer(&desc, &b, nullptr) != DS_OK) {
      state.SkipWithError("CreateSoundBuffer failed");
      return;
    }
    LPVOID p1, p2;
    DWORD n1, n2;
    b->Lock(0, bytes, &p1, &n1, &p2, &n2, 0);
    auto* p = static_cast<uint8_t*>(p1);
    for (DWORD i = 0; i < n1; ++i) p[i] = uint8_t(128 + 100 * std::sin(i * 0.05));
    b->Unlock(p1, n1, p2, n2);
    b->SetFrequency(v.playRate);
    b->SetVolume(v.volume);
    b->Play(0, 0, DSBPLAY_LOOPING);
    buffers.push_back(b);
  }
  std::vector<int32_t> out(size_t(frames) * 2);
  for (auto _ : state) {
    audio.callback(out.data(), frames);
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  state.counters["frames"] = frames;
  for (auto* b : buffers) b->Release();
  ds->Release();
}

}  // namespace

// 441 frames = 10 ms of audio; 1024 frames is the SDL period.
BENCHMARK(BM_MixElevenChannels)->Arg(441)->Arg(1024)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
