// Demo files as any bytes: the reader either gives a demo whose records all decode, or
// raises DemoError; nothing else may happen, and it never reads out of bounds.
#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/host/demo/DemoFormat.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  namespace demo = host::demo;
  demo::Demo d;
  try {
    d = demo::ParseDemo(std::span(data, size), "fuzz.dem");
  } catch (const demo::DemoError&) {
    return 0;
  }
  // A demo the reader accepted is walked record by record as a playback would.
  demo::ByteReader in(d.records);
  uint64_t ticks = 0;
  while (!in.AtEnd()) {
    const uint8_t tag = in.U8();
    if (tag == demo::kTick) ++ticks;
    if (tag == demo::kEvent) {
      demo::EventRecord e;
      if (!demo::ReadEvent(in, e)) __builtin_trap();
    } else if (!demo::SkipRecord(in, tag)) {
      __builtin_trap();
    }
  }
  if (ticks != d.ticks) __builtin_trap();
  return 0;
}
