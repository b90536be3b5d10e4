#include "platform/rtl/Random.h"

#include <atomic>
#include <chrono>

namespace rtl {
namespace {

std::atomic<uint32_t> g_seed{0};

uint32_t Next() {
  uint32_t s = g_seed.load(std::memory_order_relaxed) * 0x08088405u + 1u;
  g_seed.store(s, std::memory_order_relaxed);
  return s;
}

}  // namespace

uint32_t RandSeed() { return g_seed.load(std::memory_order_relaxed); }
void SetRandSeed(uint32_t seed) { g_seed.store(seed, std::memory_order_relaxed); }

void Randomize() {
  auto now = std::chrono::system_clock::now().time_since_epoch();
  SetRandSeed(static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count()));
}

int32_t Random(int32_t range) {
  uint32_t s = Next();
  // The high half of the 64-bit product: uniform in 0..range-1.
  return static_cast<int32_t>((static_cast<uint64_t>(static_cast<uint32_t>(range)) * s) >> 32);
}

double Random() { return static_cast<double>(Next()) * (1.0 / 4294967296.0); }

}  // namespace rtl
