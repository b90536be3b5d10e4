// Loads arbitrary bytes as a picture through the platform bitmap (the portrait, the
// explosion sheet and the title picture are read this way), then reads every pixel.
#include <cstddef>
#include <cstdint>
#include <exception>

#include "platform/forms/Graphics.h"
#include "platform/rtl/Classes.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  rtl::TMemoryStream stream;
  if (size > 0) stream.WriteBuffer(data, static_cast<int64_t>(size));
  stream.SetPosition(0);
  forms::TBitmap bitmap;
  try {
    bitmap.LoadFromStream(stream);
  } catch (const std::exception&) {
    return 0;  // refused with the platform's error: fine
  }
  volatile uint32_t sum = 0;
  for (uint32_t pixel : bitmap.ToXrgb()) sum = sum + pixel;
  return 0;
}
