// The headless audio sink: consumes mixed samples as the virtual clock advances,
// so a headless run hears exactly as much time as the game has slept through.
// What it consumes goes through the output stage (limiter or clipping) and can be kept,
// and written as a WAV file, or streamed into one as it is played.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/host/AudioOutputStage.h"
#include "platform/host/Host.h"

namespace host {

class HeadlessAudio final : public IAudioDevice {
 public:
  explicit HeadlessAudio(win::VirtualClock& clock, const AudioOutputOptions& options = {});
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
  // Every pull is on time on the virtual clock; only the number of pulls is counted.
  AudioOutputCounts Counts() const override { return {pulls_.load(), 0}; }
  bool Lost() const override { return lost_.load(); }
  // A test's or a script's stand-in for a device pulled out and plugged in again: while
  // lost, the mix is still pulled on the virtual clock (and goes through the output stage),
  // but nothing of it reaches the captured or streamed output.
  void SetLost(bool lost);

  // Keeps every frame consumed from now on (interleaved stereo).
  void StartCapture();
  std::vector<int16_t> TakeCaptured();
  // Writes what was captured so far as a 16-bit stereo WAV file; false when it cannot be written.
  bool WriteCapturedWav(const std::string& path);
  int Rate() const { return rate_; }
  // Frames consumed since Open (the mix is consumed while the device is lost, too).
  uint64_t FramesConsumed();
  // Streams every frame played from now on into a 16-bit stereo WAV file, completed when
  // the sink closes; false when the file cannot be created.
  bool StreamTo(const std::string& path);
  // Completes the streamed file now; false when writing it failed.
  bool FinishStream();

 private:
  void OnAdvance(DWORD now);
  void Render(uint64_t frames);  // caller holds mutex_

  struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
  };

  win::VirtualClock& clock_;
  AudioOutputOptions options_;
  std::unique_ptr<AudioOutputStage> stage_;
  std::mutex mutex_;
  Callback callback_;
  bool open_ = false;
  bool paused_ = false;
  int rate_ = 44100;
  DWORD lastMs_ = 0;
  uint64_t elapsedMs_ = 0;
  uint64_t consumed_ = 0;
  std::atomic<uint64_t> pulls_{0};
  std::atomic<bool> lost_{false};
  bool capturing_ = false;
  std::vector<int32_t> mix_;
  std::vector<int16_t> chunk_;
  std::unique_ptr<std::FILE, FileCloser> stream_;
  uint64_t streamedFrames_ = 0;
  bool streamOk_ = true;
  std::vector<uint8_t> streamBytes_;
  std::vector<int16_t> captured_;
};

// Throws HostStartError when `outPath` is given and cannot be created.
std::unique_ptr<HeadlessAudio> MakeHeadlessAudio(win::VirtualClock& clock, const AudioOutputOptions& options = {},
                                                 const std::string& outPath = {});

// The 44-byte header of a 16-bit PCM WAVE file holding `frames` frames.
std::vector<uint8_t> WavHeader(uint64_t frames, int channels, int rate);
// Writes 16-bit interleaved PCM as a RIFF WAVE file.
bool WriteWavFile(const std::string& path, const int16_t* samples, size_t frames, int channels, int rate);

}  // namespace host
