#include "raster/WorkerPool.h"

#include <algorithm>

namespace raster {

WorkerPool::WorkerPool(int threads) {
  for (int i = 1; i < std::max(1, threads); ++i) workers_.emplace_back([this, i] { Loop(i); });
}

WorkerPool::~WorkerPool() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  start_.notify_all();
  for (std::thread& t : workers_) t.join();
}

void WorkerPool::Run(const std::function<void(int)>& job) {
  if (workers_.empty()) {
    job(0);
    return;
  }
  {
    std::lock_guard lock(mutex_);
    job_ = &job;
    pending_ = int(workers_.size());
    ++generation_;
  }
  start_.notify_all();
  job(0);
  std::unique_lock lock(mutex_);
  done_.wait(lock, [this] { return pending_ == 0; });
  job_ = nullptr;
}

void WorkerPool::Loop(int index) {
  uint64_t seen = 0;
  for (;;) {
    const std::function<void(int)>* job;
    {
      std::unique_lock lock(mutex_);
      start_.wait(lock, [&] { return stop_ || generation_ != seen; });
      if (stop_) return;
      seen = generation_;
      job = job_;
    }
    (*job)(index);
    bool last;
    {
      std::lock_guard lock(mutex_);
      last = --pending_ == 0;
    }
    if (last) done_.notify_one();
  }
}

}  // namespace raster
