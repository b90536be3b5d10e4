#include "raster/WorkerPool.h"

#include <algorithm>

namespace raster {

WorkerPool::WorkerPool(int threads) {
  for (int i = 1; i < std::max(1, threads); ++i) workers_.emplace_back([this, i] { Loop(i); });
}

WorkerPool::~WorkerPool() {
  {
    std::lock_guard lock(mutex_);
    stop_.store(true, std::memory_order_release);
  }
  start_.notify_all();
  for (std::thread& t : workers_) t.join();
}

void WorkerPool::Run(const std::function<void(int)>& job) {
  Start(job);
  job(0);
  Wait();
}

void WorkerPool::Start(const std::function<void(int)>& job) {
  if (workers_.empty()) return;
  {
    std::lock_guard lock(mutex_);
    job_ = &job;
    pending_.store(int(workers_.size()), std::memory_order_relaxed);
    generation_.store(generation_.load(std::memory_order_relaxed) + 1, std::memory_order_release);
  }
  start_.notify_all();
}

void WorkerPool::Wait() {
  if (workers_.empty()) return;
  for (int i = 0; i < kSpinsBeforeSleep && pending_.load(std::memory_order_acquire) != 0; ++i) Relax();
  std::unique_lock lock(mutex_);
  done_.wait(lock, [this] { return pending_.load(std::memory_order_acquire) == 0; });
  job_ = nullptr;
}

void WorkerPool::Loop(int index) {
  uint64_t seen = 0;
  for (;;) {
    for (int i = 0; i < kSpinsBeforeSleep && generation_.load(std::memory_order_acquire) == seen &&
                    !stop_.load(std::memory_order_acquire);
         ++i)
      Relax();
    const std::function<void(int)>* job;
    {
      std::unique_lock lock(mutex_);
      start_.wait(lock, [&] {
        return stop_.load(std::memory_order_relaxed) || generation_.load(std::memory_order_relaxed) != seen;
      });
      if (stop_.load(std::memory_order_relaxed)) return;
      seen = generation_.load(std::memory_order_relaxed);
      job = job_;
    }
    (*job)(index);
    if (pending_.fetch_sub(1, std::memory_order_acq_rel) == 1) {
      // Under the lock, so the wake cannot fall between Run's look at the count and its wait.
      std::lock_guard lock(mutex_);
      done_.notify_one();
    }
  }
}

}  // namespace raster
