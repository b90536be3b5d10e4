// The comma-text splitter on any bytes, and the round trip: fields joined back into
// comma text split into the same fields.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/rtl/StringList.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  rtl::TStringList list;
  list.SetCommaText(text);
  for (const std::string& field : list.Items()) {
    if (field.size() > size) __builtin_trap();
  }
  rtl::TStringList again;
  again.SetCommaText(list.CommaText());
  if (again.Items() != list.Items()) __builtin_trap();
  rtl::TStringList lines;
  lines.SetText(text);
  return 0;
}
