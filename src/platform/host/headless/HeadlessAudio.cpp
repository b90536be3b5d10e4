#include "platform/host/headless/HeadlessAudio.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

#include "platform/host/Backends.h"
#include "platform/host/Hosts.h"

namespace host {

namespace {
// The sink pulls at most this much per callback, like a sound card's period.
constexpr uint64_t kChunkFrames = 1024;
}  // namespace

HeadlessAudio::HeadlessAudio(win::VirtualClock& clock, const AudioOutputOptions& options)
    : clock_(clock), options_(options) {}

HeadlessAudio::~HeadlessAudio() {
  Close();
  if (!FinishStream()) std::fprintf(stderr, "tavvyhop: the audio output file could not be written completely\n");
}

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
    stage_ = std::make_unique<AudioOutputStage>(rate, options_);
    mix_.assign(kChunkFrames * 2, 0);
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

void HeadlessAudio::SetLost(bool lost) {
  std::lock_guard lock(mutex_);
  lost_.store(lost);
}

bool HeadlessAudio::StreamTo(const std::string& path) {
  std::lock_guard lock(mutex_);
  std::unique_ptr<std::FILE, FileCloser> f(std::fopen(path.c_str(), "wb"));
  if (!f) return false;
  // The sizes are filled in when the stream is finished.
  const std::vector<uint8_t> header = WavHeader(0, 2, rate_);
  if (std::fwrite(header.data(), 1, header.size(), f.get()) != header.size()) return false;
  stream_ = std::move(f);
  streamedFrames_ = 0;
  streamOk_ = true;
  return true;
}

bool HeadlessAudio::FinishStream() {
  std::lock_guard lock(mutex_);
  if (!stream_) return streamOk_;
  const std::vector<uint8_t> header = WavHeader(streamedFrames_, 2, rate_);
  bool ok = streamOk_ && std::fseek(stream_.get(), 0, SEEK_SET) == 0 &&
            std::fwrite(header.data(), 1, header.size(), stream_.get()) == header.size();
  ok = std::fclose(stream_.release()) == 0 && ok;
  streamOk_ = ok;
  return ok;
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
    std::fill(mix_.begin(), mix_.begin() + std::ptrdiff_t(n * 2), 0);
    callback_(mix_.data(), static_cast<int>(n));
    pulls_.fetch_add(1);
    stage_->Process(mix_.data(), chunk_.data(), static_cast<int>(n));
    consumed_ += n;
    frames -= n;
    if (lost_.load()) continue;
    if (stream_ && streamOk_) {
      streamBytes_.resize(n * 4);
      for (size_t i = 0; i < n * 2; ++i) {
        streamBytes_[2 * i] = uint8_t(uint16_t(chunk_[i]));
        streamBytes_[2 * i + 1] = uint8_t(uint16_t(chunk_[i]) >> 8);
      }
      streamOk_ = std::fwrite(streamBytes_.data(), 1, streamBytes_.size(), stream_.get()) == streamBytes_.size();
      // A RIFF file holds at most 4 GiB of data: stop writing before that (over six hours).
      streamedFrames_ += n;
      if (streamedFrames_ * 4 > 0xFFFFFFFFull - 36 - kChunkFrames * 4) streamOk_ = false;
    }
    if (capturing_) captured_.insert(captured_.end(), chunk_.begin(), chunk_.begin() + std::ptrdiff_t(n * 2));
  }
}

std::vector<uint8_t> WavHeader(uint64_t frames, int channels, int rate) {
  const uint32_t dataBytes = uint32_t(frames * uint64_t(channels) * 2);
  std::vector<uint8_t> h(44, 0);
  auto text = [&](size_t at, const char* s) { std::memcpy(h.data() + at, s, 4); };
  auto put32 = [&](size_t at, uint32_t v) {
    for (size_t i = 0; i < 4; ++i) h[at + i] = uint8_t(v >> (8 * i));
  };
  auto put16 = [&](size_t at, uint32_t v) {
    h[at] = uint8_t(v);
    h[at + 1] = uint8_t(v >> 8);
  };
  text(0, "RIFF");
  put32(4, 36 + dataBytes);
  text(8, "WAVE");
  text(12, "fmt ");
  put32(16, 16);
  put16(20, 1);  // PCM
  put16(22, uint32_t(channels));
  put32(24, uint32_t(rate));
  put32(28, uint32_t(rate * channels * 2));
  put16(32, uint32_t(channels * 2));
  put16(34, 16);
  text(36, "data");
  put32(40, dataBytes);
  return h;
}

bool WriteWavFile(const std::string& path, const int16_t* samples, size_t frames, int channels, int rate) {
  struct Closer {
    void operator()(std::FILE* f) const { std::fclose(f); }
  };
  const uint64_t dataBytes = uint64_t(frames) * uint64_t(channels) * 2;
  if (dataBytes > 0xFFFFFFFFull - 36 || channels <= 0 || rate <= 0) return false;
  std::unique_ptr<std::FILE, Closer> f(std::fopen(path.c_str(), "wb"));
  if (!f) return false;
  std::vector<uint8_t> bytes = WavHeader(frames, channels, rate);
  bytes.reserve(bytes.size() + dataBytes);
  for (size_t i = 0; i < frames * size_t(channels); ++i) {
    bytes.push_back(uint8_t(uint16_t(samples[i])));
    bytes.push_back(uint8_t(uint16_t(samples[i]) >> 8));
  }
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f.get()) == bytes.size();
  return std::fclose(f.release()) == 0 && ok;
}

std::unique_ptr<HeadlessAudio> MakeHeadlessAudio(win::VirtualClock& clock, const AudioOutputOptions& options,
                                                 const std::string& outPath) {
  auto audio = std::make_unique<HeadlessAudio>(clock, options);
  if (!outPath.empty() && !audio->StreamTo(outPath))
    throw HostStartError("Cannot create the audio output file " + outPath);
  return audio;
}

std::unique_ptr<IAudioDevice> CreateHeadlessAudio(win::VirtualClock& clock, const AudioOutputOptions& options,
                                                  const std::string& outPath) {
  return MakeHeadlessAudio(clock, options, outPath);
}

}  // namespace host
