#include "platform/gdi/BmpFile.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace gdi {
BmpHead ReadBmpHead(const BmpSource& source, BmpTableRule rule) {
  BmpHead h;
  auto read = [&](int64_t at, void* into, int64_t count) { return source.readAt(at, into, count) == count; };

  uint8_t fileHeader[14];
  if (!read(0, fileHeader, sizeof fileHeader)) {
    h.fault = BmpFault::CutInFileHeader;
    return h;
  }
  if (fileHeader[0] != 'B' || fileHeader[1] != 'M') {
    h.fault = BmpFault::NotBmp;
    return h;
  }
  h.offBits = ReadLE<uint32_t>(fileHeader + 10);

  uint8_t info[40];
  if (!read(14, info, sizeof info)) {
    h.fault = BmpFault::CutInInfoHeader;
    return h;
  }
  h.headerSize = ReadLE<uint32_t>(info);
  h.width = ReadLE<int32_t>(info + 4);
  h.rawHeight = ReadLE<int32_t>(info + 8);
  h.bitCount = ReadLE<uint16_t>(info + 14);
  h.compression = ReadLE<uint32_t>(info + 16);
  h.colorsUsed = ReadLE<uint32_t>(info + 32);
  // Bit counts between the four that exist have no row layout to read.
  if (h.bitCount != 8 && h.bitCount != 16 && h.bitCount != 24 && h.bitCount != 32) {
    h.fault = BmpFault::BitCount;
    return h;
  }
  h.bitFields = h.compression == BI_BITFIELDS && (h.bitCount == 16 || h.bitCount == 32);
  // Older (core) headers, compressed pictures, empty sizes or one that cannot be negated.
  if (h.headerSize < 40 || (h.compression != BI_RGB && !h.bitFields) || h.width <= 0 || h.rawHeight == 0 ||
      h.rawHeight == INT32_MIN) {
    h.fault = BmpFault::Unsupported;
    return h;
  }
  h.height = h.rawHeight < 0 ? -int64_t(h.rawHeight) : int64_t(h.rawHeight);

  // After the header: the colour table of an 8-bit picture, or the masks of a bit-field one
  // (inside a header of 52 bytes or more, just after a 40-byte one: the same place).
  const int64_t afterHeader = 14 + int64_t(h.headerSize);
  int64_t extra = 0;
  if (h.bitCount == 8) {
    uint32_t entries = h.colorsUsed == 0 || h.colorsUsed > 256 ? 256 : h.colorsUsed;
    if (rule == BmpTableRule::AsDeclared) {
      if (h.colorsUsed > 256) {
        h.fault = BmpFault::TooManyColours;
        return h;
      }
      entries = h.colorsUsed == 0 ? 256 : h.colorsUsed;
    } else if (int64_t(h.offBits) > afterHeader) {
      entries = static_cast<uint32_t>(std::min<int64_t>(entries, (int64_t(h.offBits) - afterHeader) / 4));
    } else {
      entries = 0;
    }
    if (entries > 0 && !read(afterHeader, h.colours.data(), int64_t(entries) * 4)) {
      h.fault = BmpFault::CutInColourTable;
      return h;
    }
    h.colourEntries = entries;
    extra = int64_t(entries) * 4;
  } else if (h.bitFields) {
    uint8_t masks[12];
    if (!read(54, masks, sizeof masks)) {
      h.fault = BmpFault::CutInMasks;
      return h;
    }
    for (int i = 0; i < 3; ++i) h.masks[static_cast<size_t>(i)] = ReadLE<uint32_t>(masks + 4 * i);
    // A header of version 4 or later carries an alpha mask after the three colour masks.
    uint8_t alpha[4];
    if (h.headerSize >= 56 && read(66, alpha, 4)) h.masks[3] = ReadLE<uint32_t>(alpha);
    if (h.headerSize < 52) extra = 12;
  }
  h.dataStart = h.offBits != 0 ? int64_t(h.offBits) : afterHeader + extra;
  return h;
}

}  // namespace gdi
