#include "platform/host/AudioRunAhead.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace host {

AudioRunAhead::AudioRunAhead(int aheadFrames, int chunkFrames, Produce produce, std::function<void()> onThread)
    : capacity_(std::max(1, aheadFrames)),
      chunk_(std::clamp(chunkFrames, 1, std::max(1, aheadFrames))),
      produce_(std::move(produce)),
      onThread_(std::move(onThread)),
      ring_(static_cast<size_t>(capacity_) * 2) {}

AudioRunAhead::~AudioRunAhead() { Stop(); }

void AudioRunAhead::Start() {
  std::lock_guard lock(ringLock_);
  if (running_) return;
  stop_ = false;
  running_ = true;
  thread_ = std::thread([this] { Run(); });
}

void AudioRunAhead::Stop() {
  {
    std::lock_guard lock(ringLock_);
    if (!running_) return;
    stop_ = true;
  }
  wake_.notify_all();
  thread_.join();
  std::lock_guard lock(ringLock_);
  running_ = false;
}

void AudioRunAhead::SetHeld(bool held) {
  {
    std::lock_guard lock(ringLock_);
    held_ = held;
  }
  wake_.notify_all();
}

int AudioRunAhead::Read(int16_t* out, int frames) {
  int got = 0;
  {
    std::lock_guard lock(ringLock_);
    got = std::min(frames, size_);
    // Two copies at most: up to the end of the ring, then from its start.
    const int first = std::min(got, capacity_ - head_);
    std::memcpy(out, &ring_[static_cast<size_t>(head_) * 2], static_cast<size_t>(first) * 4);
    std::memcpy(out + static_cast<ptrdiff_t>(first) * 2, ring_.data(), static_cast<size_t>(got - first) * 4);
    head_ = (head_ + got) % capacity_;
    size_ -= got;
    dry_ += static_cast<uint64_t>(frames - got);
  }
  if (got < frames) std::memset(out + static_cast<ptrdiff_t>(got) * 2, 0, static_cast<size_t>(frames - got) * 4);
  wake_.notify_all();
  return got;
}

int AudioRunAhead::Buffered() const {
  std::lock_guard lock(ringLock_);
  return size_;
}

uint64_t AudioRunAhead::DryFrames() const {
  std::lock_guard lock(ringLock_);
  return dry_;
}

// Mixes a chunk whenever one fits, outside the ring's lock, so the device's copies never
// wait for the mixing; only this thread writes into the ring, so the free room it saw
// stays free while it mixes.
void AudioRunAhead::Run() {
  if (onThread_) onThread_();
  std::vector<int16_t> chunk(static_cast<size_t>(chunk_) * 2);
  std::unique_lock ring(ringLock_);
  for (;;) {
    wake_.wait(ring, [this] { return stop_ || (!held_ && capacity_ - size_ >= chunk_); });
    if (stop_) return;
    ring.unlock();
    {
      std::lock_guard mix(mixLock_);
      produce_(chunk.data(), chunk_);
    }
    ring.lock();
    int tail = (head_ + size_) % capacity_;
    for (int done = 0; done < chunk_;) {
      const int n = std::min(chunk_ - done, capacity_ - tail);
      std::memcpy(&ring_[static_cast<size_t>(tail) * 2], &chunk[static_cast<size_t>(done) * 2],
                  static_cast<size_t>(n) * 4);
      done += n;
      tail = (tail + n) % capacity_;
    }
    size_ += chunk_;
  }
}

}  // namespace host
