// The headers of a BMP file: the file header, the information header (any version from the
// 40-byte one on), the colour masks and the colour table, read from a source of bytes. The
// display component's picture loader and the form framework's bitmaps both read pictures
// through this; each then lays out the pixels on its own target.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <functional>

#include "platform/gdi/Gdi.h"

namespace gdi {

// A little-endian value of the file (the platform's own byte order) at `p`.
template <class T>
T ReadLE(const uint8_t* p) {
  T v{};
  std::memcpy(&v, p, sizeof(T));
  return v;
}

// Where the bytes come from: `readAt` copies up to `count` bytes from `offset` (from the
// start of the file) and returns how many it copied; `size` is the bytes the file has.
struct BmpSource {
  std::function<int64_t(int64_t offset, void* into, int64_t count)> readAt;
  int64_t size = 0;
};

// What keeps a file from being read, by the part of it where the trouble lies.
enum class BmpFault {
  None,
  CutInFileHeader,   // fewer than 14 bytes
  NotBmp,            // no "BM" signature
  CutInInfoHeader,   // fewer than the 40 bytes of the information header
  BitCount,          // not 8, 16, 24 or 32 bits a pixel
  Unsupported,       // a core header, a compressed picture, no width or height
  TooManyColours,    // a colour table of more than 256 entries (BmpTableRule::AsDeclared)
  CutInColourTable,  // the file ends inside the colour table it declares
  CutInMasks,        // the file ends inside the three colour masks
};

// How many colour-table entries an 8-bit picture has.
enum class BmpTableRule {
  // As many as it declares (0: 256), at most those that fit between the information header
  // and the pixel data; none when the pixel data starts inside the header.
  BeforePixels,
  // As many as it declares (0: 256; more than 256 is a fault), read from just after the header.
  AsDeclared,
};

struct BmpHead {
  BmpFault fault = BmpFault::None;
  uint32_t offBits = 0;     // the file header's offset of the pixel data (0: not given)
  uint32_t headerSize = 0;  // bytes of the information header
  int32_t width = 0;
  int32_t rawHeight = 0;  // negative: the rows run top down
  int64_t height = 0;     // |rawHeight|
  uint16_t bitCount = 0;
  uint32_t compression = 0;  // BI_RGB or BI_BITFIELDS
  bool bitFields = false;    // BI_BITFIELDS on a 16- or 32-bit picture
  uint32_t colorsUsed = 0;   // as the header says
  // The colour table (8-bit pictures); entries past colourEntries are black.
  std::array<RGBQUAD, 256> colours{};
  uint32_t colourEntries = 0;
  // Red, green, blue masks (bit fields), and alpha when the header (56 bytes or more) has one.
  std::array<uint32_t, 4> masks{};
  // Where the pixel data starts: offBits, or when it is 0 just after the header, masks and table.
  int64_t dataStart = 0;
  // Bytes of one row of pixels in the file (rows are padded to four bytes).
  int64_t RowBytes() const { return ((int64_t(width) * bitCount + 31) / 32) * 4; }
  bool TopDown() const { return rawHeight < 0; }
};

// Reads the headers. A fault stops at the first problem; the fields read before it are set.
BmpHead ReadBmpHead(const BmpSource& source, BmpTableRule rule);

}  // namespace gdi
