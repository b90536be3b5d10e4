// The SDL2 audio output: 16-bit stereo at the asked rate, pulled by SDL's audio
// thread in periods of kPeriodFrames frames. With a run-ahead (AudioOutputOptions), the mix
// and the output stage run ahead of it on a thread of their own (AudioRunAhead) and SDL's
// thread only copies finished sound; without, SDL's thread mixes.
//
// A device can go away while the game runs (a headset pulled out, the sound server
// stopped). Then a thread of our own pulls the mix at the device's pace and drops it, so
// the game's streams and their notifications go on as if it were heard, and every few
// seconds the output is opened again; when that works, the sound simply goes on.
#include <SDL.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/host/AudioOutputStage.h"
#include "platform/host/AudioRunAhead.h"
#include "platform/host/Backends.h"

namespace host {
namespace {

// The period is also about all the sound server holds ahead of the card, so it is what
// the sound has in hand when both cores are busy. Measured on a loaded two-core machine
// (scripts/audio-check.sh), 1024 and 2048 frames left dozens of gaps a minute; 4096
// frames (93 ms at 44100 Hz), with the real-time audio thread below, left a few.
constexpr Uint16 kPeriodFrames = 4096;
// The run-ahead mixes in chunks of this many frames (12 ms at 44100 Hz), so the game never
// waits long for the mixer's lock.
constexpr int kRunAheadChunk = 512;
// How often a lost output is tried again.
constexpr std::chrono::seconds kRetryEvery{3};

bool IsSoundCardDriver(const char* driver) {
  // SDL's dummy and disk drivers are not sound cards.
  return driver && std::strcmp(driver, "dummy") != 0 && std::strcmp(driver, "disk") != 0;
}

class SdlAudio final : public IAudioDevice {
 public:
  explicit SdlAudio(const AudioOutputOptions& options) : initialised_(Init()), options_(options) {
    SDL_AddEventWatch(&SdlAudio::OnEvent, this);
  }
  ~SdlAudio() override {
    SDL_DelEventWatch(&SdlAudio::OnEvent, this);
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
    if (open_ || !callback || !Available()) return false;
    callback_ = std::move(callback);
    rate_ = rate;
    stage_ = std::make_unique<AudioOutputStage>(rate, options_);
    lastFill_ = 0;
    callbacks_ = 0;
    late_ = 0;
    paused_ = false;
    if (options_.runAheadMs > 0) {
      const int ahead = std::max(kRunAheadChunk, int(int64_t(rate) * options_.runAheadMs / 1000));
      // The mixing thread is as urgent as SDL's own audio thread (see Init).
      ahead_ = std::make_unique<AudioRunAhead>(
          ahead, kRunAheadChunk,
          [this](int16_t* out, int frames) {
            aheadMix_.assign(size_t(frames) * 2, 0);
            callback_(aheadMix_.data(), frames);
            stage_->Process(aheadMix_.data(), out, frames);
          },
          [] { SDL_SetThreadPriority(SDL_THREAD_PRIORITY_TIME_CRITICAL); });
      ahead_->SetHeld(paused_);
      ahead_->Start();
    }
    if (!OpenDevice()) {
      ahead_.reset();
      callback_ = nullptr;
      return false;
    }
    open_ = true;
    return true;
  }

  void Close() override {
    if (!open_) return;
    StopPump();
    if (device_) SDL_CloseAudioDevice(device_);  // waits for a running callback to return
    device_ = 0;
    ahead_.reset();
    open_ = false;
    lost_ = false;
    callback_ = nullptr;
  }

  // Lock, Unlock, SetPaused and Watch all run on the main thread, so whether the device or
  // the pump is in charge cannot change between a Lock and its Unlock.
  void Lock() override {
    if (ahead_ && !lost_) {
      ahead_->MixLock().lock();
    } else if (device_) {
      SDL_LockAudioDevice(device_);
    } else if (lost_) {
      pumpMutex_.lock();
    }
  }
  void Unlock() override {
    if (ahead_ && !lost_) {
      ahead_->MixLock().unlock();
    } else if (device_) {
      SDL_UnlockAudioDevice(device_);
    } else if (lost_) {
      pumpMutex_.unlock();
    }
  }
  // A paused device calls nothing and plays silence: the music stream holds its place too.
  void SetPaused(bool paused) override {
    paused_ = paused;
    if (ahead_) ahead_->SetHeld(paused);
    if (device_) SDL_PauseAudioDevice(device_, paused ? 1 : 0);
  }
  AudioOutputCounts Counts() const override { return {callbacks_.load(), late_.load()}; }
  bool Lost() const override { return lost_.load(); }

  // SDL marks an opened device that went away as stopped (and says so with an
  // SDL_AUDIODEVICEREMOVED event); it is closed, and the pump takes over. A lost output is
  // tried again at once when SDL announces a new device (SDL_AUDIODEVICEADDED), and every few
  // seconds besides: the announcements stop with the connection to a sound server that went.
  void Watch() override {
    if (!open_) return;
    const auto now = std::chrono::steady_clock::now();
    if (!lost_) {
      if (SDL_GetAudioDeviceStatus(device_) != SDL_AUDIO_STOPPED) return;
      SDL_CloseAudioDevice(device_);
      device_ = 0;
      if (ahead_) ahead_->Stop();  // the pump mixes while the output is gone
      lost_ = true;
      deviceAdded_ = false;  // the devices SDL announced at its start are no news
      StartPump();
      nextTry_ = now + kRetryEvery;
      return;
    }
    if (!deviceAdded_.exchange(false) && now < nextTry_) return;
    nextTry_ = now + kRetryEvery;
    StopPump();
    if (ahead_) ahead_->Start();
    // A sound server that went away takes SDL's connection with it: start the audio part of
    // SDL afresh when the device does not open as it is.
    if (OpenDevice() || (RestartAudio() && OpenDevice())) {
      lost_ = false;
      return;
    }
    if (ahead_) ahead_->Stop();
    StartPump();
  }

 private:
  // Runs on the thread that posts the event (a backend's own, for device events).
  static int SDLCALL OnEvent(void* self, SDL_Event* event) {
    if (event->type == SDL_AUDIODEVICEADDED && !event->adevice.iscapture)
      static_cast<SdlAudio*>(self)->deviceAdded_ = true;
    return 0;
  }

  // Opens the default output for the open stream (main thread, the pump stopped).
  bool OpenDevice() {
    if (!initialised_ || !IsSoundCardDriver(SDL_GetCurrentAudioDriver())) return false;
    SDL_AudioSpec want{};
    want.freq = rate_;
    want.format = AUDIO_S16SYS;
    want.channels = 2;
    want.samples = kPeriodFrames;
    want.callback = &SdlAudio::Fill;
    want.userdata = this;
    SDL_AudioSpec have{};
    // No changes allowed: SDL converts to whatever the hardware wants.
    const SDL_AudioDeviceID id = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (id == 0) return false;
    mix_.assign(size_t(have.samples) * 2, 0);
    periodFrames_ = have.samples;
    periodNs_ = int64_t(have.samples) * 1000000000 / rate_;
    device_ = id;
    SDL_PauseAudioDevice(device_, paused_ ? 1 : 0);
    return true;
  }

  // Stays with the backend it had (the sound server's), so that the other backends SDL
  // would try in its place do not fill the error stream at every try.
  bool RestartAudio() {
    const char* current = initialised_ ? SDL_GetCurrentAudioDriver() : nullptr;
    const std::string driver = current ? current : "";
    if (initialised_) SDL_QuitSubSystem(SDL_INIT_AUDIO);
    if (!driver.empty()) SDL_SetHint(SDL_HINT_AUDIODRIVER, driver.c_str());
    initialised_ = SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
    return initialised_;
  }

  void StartPump() {
    pumpStop_ = false;
    pump_ = std::thread([this] { Pump(); });
  }

  void StopPump() {
    if (!pump_.joinable()) return;
    {
      std::lock_guard lock(pumpMutex_);
      pumpStop_ = true;
    }
    pumpWake_.notify_all();
    pump_.join();
  }

  // Pulls a period of the mix every period of the real clock and drops it, as a device
  // would play it; the output stage runs too, so the sound that comes back goes on from it.
  void Pump() {
    const auto period = std::chrono::nanoseconds(periodNs_);
    const int frames = periodFrames_;
    std::vector<int16_t> dropped(size_t(frames) * 2);
    auto next = std::chrono::steady_clock::now() + period;
    std::unique_lock lock(pumpMutex_);
    while (!pumpWake_.wait_until(lock, next, [this] { return pumpStop_; })) {
      next += period;
      // Behind by far (the machine was suspended): go on from now rather than catch up.
      if (std::chrono::steady_clock::now() - next > std::chrono::seconds(1)) next = std::chrono::steady_clock::now();
      if (paused_) continue;
      std::fill(mix_.begin(), mix_.begin() + std::ptrdiff_t(frames) * 2, 0);
      callback_(mix_.data(), frames);
      stage_->Process(mix_.data(), dropped.data(), frames);
    }
  }

  static void SDLCALL Fill(void* self, Uint8* stream, int len) {
    auto* audio = static_cast<SdlAudio*>(self);
    audio->CountCallback();
    const int frames = len / 4;
    if (!audio->callback_ || frames <= 0) {
      std::memset(stream, 0, size_t(len));
      return;
    }
    if (audio->ahead_) {
      audio->ahead_->Read(reinterpret_cast<int16_t*>(stream), frames);
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
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
            .count();
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
    if (!initialised_ || !IsSoundCardDriver(SDL_GetCurrentAudioDriver())) return false;
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
  SDL_AudioDeviceID device_ = 0;  // 0 while lost
  bool open_ = false;
  int rate_ = 0;
  Callback callback_;
  AudioOutputOptions options_;
  std::unique_ptr<AudioOutputStage> stage_;
  // Set by Open and reset by Close only (main thread, the device closed), so SDL's thread
  // reads it without a lock.
  std::unique_ptr<AudioRunAhead> ahead_;
  std::vector<int32_t> aheadMix_;  // the run-ahead's thread only
  std::vector<int32_t> mix_;
  int periodFrames_ = kPeriodFrames;
  int64_t periodNs_ = 0;
  std::atomic<bool> paused_{false};
  std::atomic<bool> lost_{false};
  std::atomic<bool> deviceAdded_{false};
  std::chrono::steady_clock::time_point nextTry_{};
  std::thread pump_;
  std::mutex pumpMutex_;  // held by the pump while it mixes
  std::condition_variable pumpWake_;
  bool pumpStop_ = false;
  int64_t lastFill_ = 0;  // audio thread only
  std::atomic<uint64_t> callbacks_{0}, late_{0};
};

}  // namespace

std::unique_ptr<IAudioDevice> CreateSdlAudio(const AudioOutputOptions& options) {
  return std::make_unique<SdlAudio>(options);
}

}  // namespace host
