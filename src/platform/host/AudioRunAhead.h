// The mixer's run-ahead: a thread of its own mixes the sound a little ahead of the output
// device into a ring of finished 16-bit frames, and the device's callback only copies from
// that ring. The device's thread then never waits for the game (which holds the mixer's
// lock while it changes what is mixed) nor does any mixing work: the sound keeps going as
// long as the ring holds something, even when the mixer's thread is held up for a while by
// a busy machine.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace host {

class AudioRunAhead {
 public:
  // Mixes `frames` interleaved stereo frames of finished output into `out`; called on the
  // run-ahead's thread with `MixLock()` held.
  using Produce = std::function<void(int16_t* out, int frames)>;

  // `aheadFrames`: how much finished sound the ring holds at most; `chunkFrames`: how much
  // is mixed at a time (at most aheadFrames). `onThread` runs first on the mixing thread
  // (to raise its priority, say).
  AudioRunAhead(int aheadFrames, int chunkFrames, Produce produce, std::function<void()> onThread = {});
  ~AudioRunAhead();
  AudioRunAhead(const AudioRunAhead&) = delete;
  AudioRunAhead& operator=(const AudioRunAhead&) = delete;

  // Starts and stops the mixing thread. Stop leaves what the ring holds in it.
  void Start();
  void Stop();
  // A held run-ahead mixes nothing more (a paused game); what it holds stays for later.
  void SetHeld(bool held);

  // The device's side: copies `frames` frames of finished sound into `out`, silence where
  // the ring ran dry. Returns the frames that were there.
  int Read(int16_t* out, int frames);

  // The lock the mixing runs under: whoever changes what the mix reads takes it.
  std::mutex& MixLock() { return mixLock_; }

  int Buffered() const;
  uint64_t DryFrames() const;  // frames of silence Read had to give

 private:
  void Run();

  const int capacity_, chunk_;
  Produce produce_;
  std::function<void()> onThread_;
  std::mutex mixLock_;
  mutable std::mutex ringLock_;  // guards everything below
  std::condition_variable wake_;
  std::vector<int16_t> ring_;
  int head_ = 0, size_ = 0;  // frames: first unread, and how many are unread
  bool stop_ = false, held_ = false, running_ = false;
  uint64_t dry_ = 0;
  std::thread thread_;
};

}  // namespace host
