// A small pool of threads for the fast rasterizer: Run() hands one job to every thread (the
// caller's included) and returns when all have finished it; Start() and Wait() do the same in
// two halves, so the caller can do other work while the others run. Between jobs the threads
// spin a little, then sleep.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace raster {

// A short wait in a spin loop (the CPU's hint that it is one, where it has it).
inline void Relax() {
#if defined(__SSE2__)
  _mm_pause();
#endif
}

// How long a thread spins for the other side before it sleeps: long enough to cover the gap
// between two draws of a frame, short enough not to hold a core when the frame is done. A
// wake-up through the kernel costs tens of microseconds on small machines, as much as a whole
// small draw.
inline constexpr int kSpinsBeforeSleep = 4096;

class WorkerPool {
 public:
  explicit WorkerPool(int threads);  // threads in all, the caller's included; at least 1
  ~WorkerPool();
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;

  int Size() const { return int(workers_.size()) + 1; }
  // Calls job(0) on this thread and job(1) ... job(Size() - 1) on the others, then waits for all.
  void Run(const std::function<void(int)>& job);
  // Calls job(1) ... job(Size() - 1) on the other threads and returns at once; Wait() returns
  // when they have finished. The job must live until then, and no other job starts meanwhile.
  void Start(const std::function<void(int)>& job);
  void Wait();

 private:
  void Loop(int index);

  std::vector<std::thread> workers_;
  std::mutex mutex_;
  std::condition_variable start_, done_;
  const std::function<void(int)>* job_ = nullptr;  // guarded by mutex_
  // Changed under mutex_, read without it by the threads spinning for a job or for its end.
  std::atomic<uint64_t> generation_{0};
  std::atomic<int> pending_{0};  // workers still on the job
  std::atomic<bool> stop_{false};
};

}  // namespace raster
