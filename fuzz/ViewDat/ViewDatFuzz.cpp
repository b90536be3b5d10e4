// View.dat and words.dat as any bytes: the readers either fill the placements and
// lines or raise the run-time library's errors; nothing else may happen.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "SXView1/ViewData.h"
#include "platform/win/CodePage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  TViewMatrices views{};
  try {
    ParseViewLines(rtl::SplitLines(text), "View.dat", views);
  } catch (const rtl::EStringListError&) {
  } catch (const rtl::EConvertError&) {
  } catch (const rtl::ERangeError&) {
  }
  for (const std::string& line : DecodeWordsText(text)) {
    if (!win::IsValidUtf8(line)) __builtin_trap();
  }
  return 0;
}
