// The SDL2 audio output: 16-bit stereo at the asked rate, pulled by SDL's audio
// thread in periods of 1024 frames.
#include <SDL.h>

#include <cstring>
#include <mutex>
#include <string>

#include "platform/host/Backends.h"

namespace host {
namespace {

constexpr Uint16 kPeriodFrames = 1024;

class SdlAudio final : public IAudioDevice {
 public:
  SdlAudio() : initialised_(SDL_InitSubSystem(SDL_INIT_AUDIO) == 0) {}
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
  // A paused device calls nothing and plays silence: the music stream holds its place too.
  void SetPaused(bool paused) override {
    if (device_) SDL_PauseAudioDevice(device_, paused ? 1 : 0);
  }

 private:
  static void SDLCALL Fill(void* self, Uint8* stream, int len) {
    auto* audio = static_cast<SdlAudio*>(self);
    const int frames = len / 4;
    if (audio->callback_ && frames > 0) {
      audio->callback_(reinterpret_cast<int16_t*>(stream), frames);
    } else {
      std::memset(stream, 0, size_t(len));
    }
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
};

}  // namespace

std::unique_ptr<IAudioDevice> CreateSdlAudio() { return std::make_unique<SdlAudio>(); }

}  // namespace host
