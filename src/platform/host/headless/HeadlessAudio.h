// The headless audio sink: consumes mixed samples as the virtual clock advances,
// so a headless run hears exactly as much time as the game has slept through.
// What it consumes can be kept and written as a WAV file.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "platform/host/Host.h"

namespace host {

class HeadlessAudio final : public IAudioDevice {
 public:
  explicit HeadlessAudio(win::VirtualClock& clock);
  ~HeadlessAudio() override;
  HeadlessAudio(const HeadlessAudio&) = delete;
  HeadlessAudio& operator=(const HeadlessAudio&) = delete;

  bool Available() const override { return true; }
  bool Open(int rate, Callback callback) override;
  void Close() override;
  void Lock() override { mutex_.lock(); }
  void Unlock() override { mutex_.unlock(); }
  // Paused time passes without consuming samples, as a held sound card plays nothing.
  void SetPaused(bool paused) override;

  // Keeps every frame consumed from now on (interleaved stereo).
  void StartCapture();
  std::vector<int16_t> TakeCaptured();
  // Writes what was captured so far as a 16-bit stereo WAV file; false when it cannot be written.
  bool WriteCapturedWav(const std::string& path);
  int Rate() const { return rate_; }
  // Frames consumed since Open.
  uint64_t FramesConsumed();

 private:
  void OnAdvance(DWORD now);
  void Render(uint64_t frames);  // caller holds mutex_

  win::VirtualClock& clock_;
  std::mutex mutex_;
  Callback callback_;
  bool open_ = false;
  bool paused_ = false;
  int rate_ = 44100;
  DWORD lastMs_ = 0;
  uint64_t elapsedMs_ = 0;
  uint64_t consumed_ = 0;
  bool capturing_ = false;
  std::vector<int16_t> chunk_;
  std::vector<int16_t> captured_;
};

// Writes 16-bit interleaved PCM as a RIFF WAVE file.
bool WriteWavFile(const std::string& path, const int16_t* samples, size_t frames, int channels, int rate);

}  // namespace host
