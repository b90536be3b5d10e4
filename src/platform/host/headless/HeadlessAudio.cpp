#include "platform/host/headless/HeadlessAudio.h"

#include <cstdio>
#include <memory>

#include "platform/host/Backends.h"

namespace host {

namespace {
// The sink pulls at most this much per callback, like a sound card's period.
constexpr uint64_t kChunkFrames = 1024;
}  // namespace

HeadlessAudio::HeadlessAudio(win::VirtualClock& clock) : clock_(clock) {}

HeadlessAudio::~HeadlessAudio() { Close(); }

bool HeadlessAudio::Open(int rate, Callback callback) {
  if (rate <= 0 || !callback) return false;
  {
    std::lock_guard lock(mutex_);
    if (open_) return false;
    open_ = true;
    rate_ = rate;
    callback_ = std::move(callback);
    lastMs_ = clock_.Milliseconds();
    elapsedMs_ = 0;
    consumed_ = 0;
    chunk_.assign(kChunkFrames * 2, 0);
  }
  clock_.SetAdvanceListener([this](DWORD now) { OnAdvance(now); });
  return true;
}

void HeadlessAudio::Close() {
  std::lock_guard lock(mutex_);
  if (!open_) return;
  clock_.SetAdvanceListener({});
  open_ = false;
  callback_ = nullptr;
}

void HeadlessAudio::StartCapture() {
  std::lock_guard lock(mutex_);
  capturing_ = true;
  captured_.clear();
}

std::vector<int16_t> HeadlessAudio::TakeCaptured() {
  std::lock_guard lock(mutex_);
  return std::move(captured_);
}

uint64_t HeadlessAudio::FramesConsumed() {
  std::lock_guard lock(mutex_);
  return consumed_;
}

bool HeadlessAudio::WriteCapturedWav(const std::string& path) {
  std::lock_guard lock(mutex_);
  return WriteWavFile(path, captured_.data(), captured_.size() / 2, 2, rate_);
}

void HeadlessAudio::SetPaused(bool paused) {
  std::lock_guard lock(mutex_);
  paused_ = paused;
}

void HeadlessAudio::OnAdvance(DWORD now) {
  std::lock_guard lock(mutex_);
  if (!open_) return;
  if (paused_) {
    lastMs_ = now;
    return;
  }
  elapsedMs_ += DWORD(now - lastMs_);  // the clock wraps like timeGetTime
  lastMs_ = now;
  const uint64_t due = elapsedMs_ * uint64_t(rate_) / 1000;
  // A jump of the clock far beyond any tick (a test moving it across the wrap) is not
  // played out sample by sample: only its last two seconds are mixed.
  const uint64_t limit = 2 * uint64_t(rate_);
  if (due > consumed_ + limit) consumed_ = due - limit;
  if (due > consumed_) Render(due - consumed_);
}

void HeadlessAudio::Render(uint64_t frames) {
  while (frames > 0) {
    const uint64_t n = frames < kChunkFrames ? frames : kChunkFrames;
    callback_(chunk_.data(), static_cast<int>(n));
    if (capturing_) captured_.insert(captured_.end(), chunk_.begin(), chunk_.begin() + std::ptrdiff_t(n * 2));
    consumed_ += n;
    frames -= n;
  }
}

bool WriteWavFile(const std::string& path, const int16_t* samples, size_t frames, int channels, int rate) {
  struct Closer {
    void operator()(std::FILE* f) const { std::fclose(f); }
  };
  const uint64_t dataBytes = uint64_t(frames) * uint64_t(channels) * 2;
  if (dataBytes > 0xFFFFFFFFull - 36 || channels <= 0 || rate <= 0) return false;
  std::unique_ptr<std::FILE, Closer> f(std::fopen(path.c_str(), "wb"));
  if (!f) return false;
  auto put32 = [&](uint32_t v) {
    const unsigned char b[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
    return std::fwrite(b, 1, 4, f.get()) == 4;
  };
  auto put16 = [&](uint16_t v) {
    const unsigned char b[2] = {uint8_t(v), uint8_t(v >> 8)};
    return std::fwrite(b, 1, 2, f.get()) == 2;
  };
  bool ok = std::fwrite("RIFF", 1, 4, f.get()) == 4 && put32(uint32_t(36 + dataBytes)) &&
            std::fwrite("WAVEfmt ", 1, 8, f.get()) == 8 && put32(16) && put16(1) && put16(uint16_t(channels)) &&
            put32(uint32_t(rate)) && put32(uint32_t(rate * channels * 2)) && put16(uint16_t(channels * 2)) &&
            put16(16) && std::fwrite("data", 1, 4, f.get()) == 4 && put32(uint32_t(dataBytes));
  for (size_t i = 0; ok && i < frames * size_t(channels); ++i) ok = put16(uint16_t(samples[i]));
  return std::fclose(f.release()) == 0 && ok;
}

std::unique_ptr<IAudioDevice> CreateHeadlessAudio(win::VirtualClock& clock) {
  return std::make_unique<HeadlessAudio>(clock);
}

}  // namespace host
