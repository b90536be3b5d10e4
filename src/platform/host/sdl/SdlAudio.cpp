// The SDL2 audio output: 16-bit stereo at the asked rate, pulled by SDL's audio
// thread in periods of kPeriodFrames frames, through the output stage.
#include <SDL.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/host/AudioOutputStage.h"
#include "platform/host/Backends.h"

namespace host {
namespace {

// The period is also about all the sound server holds ahead of the card, so it is what
// the sound has in hand when both cores are busy. Measured on a loaded two-core machine
// (scripts/audio-check.sh), 1024 and 2048 frames left dozens of gaps a minute; 4096
// frames (93 ms at 44100 Hz), with the real-time audio thread below, left a few.
constexpr Uint16 kPeriodFrames = 4096;

class SdlAudio final : public IAudioDevice {
 public:
  explicit SdlAudio(const AudioOutputOptions& options) : initialised_(Init()), options_(options) {}
  ~SdlAudio() override {
    Close();
    if (initialised_) SDL_QuitSubSystem(SDL_INIT_AUDIO);
  }
  SdlAudio(const SdlAudio&) = delete;
  SdlAudio& operator=(const SdlAudio&) = delete;

  // A machine counts as having a sound card when a real output device opens.
  // SDL's dummy and disk drivers are not sound cards.
  bool Available() const override {
    std::call_once(probeOnce_, [this] { available_ = Probe(); });
    return available_;
  }

  bool Open(int rate, Callback callback) override {
    if (device_ != 0 || !callback || !Available()) return false;
    callback_ = std::move(callback);
    SDL_AudioSpec want{};
    want.freq = rate;
    want.format = AUDIO_S16SYS;
    want.channels = 2;
    want.samples = kPeriodFrames;
    want.callback = &SdlAudio::Fill;
    want.userdata = this;
    SDL_AudioSpec have{};
    // No changes allowed: SDL converts to whatever the hardware wants.
    device_ = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (device_ == 0) {
      callback_ = nullptr;
      return false;
    }
    stage_ = std::make_unique<AudioOutputStage>(rate, options_);
    mix_.assign(size_t(have.samples) * 2, 0);
    periodNs_ = int64_t(have.samples) * 1000000000 / rate;
    lastFill_ = 0;
    callbacks_ = 0;
    late_ = 0;
    SDL_PauseAudioDevice(device_, 0);
    return true;
  }

  void Close() override {
    if (device_ == 0) return;
    SDL_CloseAudioDevice(device_);  // waits for a running callback to return
    device_ = 0;
    callback_ = nullptr;
  }

  void Lock() override {
    if (device_) SDL_LockAudioDevice(device_);
  }
  void Unlock() override {
    if (device_) SDL_UnlockAudioDevice(device_);
  }
  AudioOutputCounts Counts() const override { return {callbacks_.load(), late_.load()}; }

 private:
  static void SDLCALL Fill(void* self, Uint8* stream, int len) {
    auto* audio = static_cast<SdlAudio*>(self);
    audio->CountCallback();
    const int frames = len / 4;
    if (!audio->callback_ || frames <= 0) {
      std::memset(stream, 0, size_t(len));
      return;
    }
    // SDL asks for the period it agreed to; anything larger is a rare resize here.
    if (audio->mix_.size() < size_t(frames) * 2) audio->mix_.resize(size_t(frames) * 2);
    std::fill(audio->mix_.begin(), audio->mix_.begin() + std::ptrdiff_t(frames) * 2, 0);
    audio->callback_(audio->mix_.data(), frames);
    audio->stage_->Process(audio->mix_.data(), reinterpret_cast<int16_t*>(stream), frames);
  }

  // A callback that comes more than one and a half periods after the one before means
  // the device has been waiting for sound: the listener may have heard a gap.
  void CountCallback() {
    const int64_t now =
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch()).count();
    if (lastFill_ != 0 && now - lastFill_ > periodNs_ + periodNs_ / 2) late_.fetch_add(1);
    lastFill_ = now;
    callbacks_.fetch_add(1);
  }

  // SDL raises its audio thread to its most urgent priority; asked for, it makes that a
  // real-time one where the system allows it (as a sound server's own threads are), so
  // the sound keeps going while both cores are busy. An environment setting still wins.
  static bool Init() {
    SDL_SetHint(SDL_HINT_THREAD_FORCE_REALTIME_TIME_CRITICAL, "1");
    return SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
  }

  bool Probe() const {
    if (!initialised_) return false;
    const char* driver = SDL_GetCurrentAudioDriver();
    if (!driver || std::strcmp(driver, "dummy") == 0 || std::strcmp(driver, "disk") == 0) return false;
    SDL_AudioSpec want{};
    want.freq = 44100;
    want.format = AUDIO_S16SYS;
    want.channels = 2;
    want.samples = kPeriodFrames;
    want.callback = nullptr;  // queue mode: nothing runs while we look
    SDL_AudioDeviceID probe = SDL_OpenAudioDevice(nullptr, 0, &want, nullptr, 0);
    if (probe == 0) return false;
    SDL_CloseAudioDevice(probe);
    return true;
  }

  bool initialised_;
  mutable std::once_flag probeOnce_;
  mutable bool available_ = false;
  SDL_AudioDeviceID device_ = 0;
  Callback callback_;
  AudioOutputOptions options_;
  std::unique_ptr<AudioOutputStage> stage_;
  std::vector<int32_t> mix_;
  int64_t periodNs_ = 0;
  int64_t lastFill_ = 0;  // audio thread only
  std::atomic<uint64_t> callbacks_{0}, late_{0};
};

}  // namespace

std::unique_ptr<IAudioDevice> CreateSdlAudio(const AudioOutputOptions& options) {
  return std::make_unique<SdlAudio>(options);
}

}  // namespace host
