// Reads arbitrary bytes as words.dat: line by line within the text limits, decoded from
// Shift-JIS or (after the byte-order mark) UTF-8, and compares it with the whole-text split.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "SXView1/ViewData.h"
#include "platform/rtl/Classes.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  rtl::TMemoryStream stream;
  if (size > 0) stream.WriteBuffer(data, static_cast<int64_t>(size));
  stream.SetPosition(0);
  std::vector<std::string> lines;
  try {
    lines = ReadWordsLines(stream);
  } catch (const rtl::EReadError&) {
    return 0;  // past a limit: refused, as the game refuses it
  }
  // Read piece by piece or split whole, the same lines come out.
  if (lines != DecodeWordsText(text)) std::abort();
  return 0;
}
