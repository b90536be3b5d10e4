// The BMP header reader both picture loaders share: where the masks and the colour table
// are found for each header version, how the two table rules count entries, and that a cut
// or a foreign file stops at the right part without reading past the bytes it was given.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/gdi/BmpFile.h"

namespace {

void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
}

// A file of `headerSize` header bytes and `after` bytes beyond it (zeros), pixel data at `offBits`.
std::vector<uint8_t> File(uint32_t headerSize, uint16_t bits, uint32_t compression, uint32_t colours, uint32_t offBits,
                          size_t after) {
  std::vector<uint8_t> b(14 + headerSize + after, 0);
  b[0] = 'B';
  b[1] = 'M';
  Put32(b, 10, offBits);
  Put32(b, 14, headerSize);
  Put32(b, 18, 3);             // width
  Put32(b, 22, uint32_t(-2));  // top down, 2 rows
  b[28] = static_cast<uint8_t>(bits);
  Put32(b, 30, compression);
  Put32(b, 46, colours);
  return b;
}

gdi::BmpHead Read(const std::vector<uint8_t>& b, gdi::BmpTableRule rule = gdi::BmpTableRule::BeforePixels) {
  return gdi::ReadBmpHead({[&](int64_t at, void* into, int64_t count) -> int64_t {
                             if (at < 0 || at > int64_t(b.size())) return 0;
                             const int64_t n = std::min<int64_t>(count, int64_t(b.size()) - at);
                             std::memcpy(into, b.data() + at, size_t(n));
                             return n;
                           },
                           int64_t(b.size())},
                          rule);
}

TEST(BmpHead, MasksSitAfterTheFortyBytesInEveryHeaderVersionAndAlphaOnlyFromVersionThreeOn) {
  for (uint32_t headerSize : {40u, 52u, 56u, 108u, 124u}) {
    auto b = File(headerSize, 32, BI_BITFIELDS, 0, 0, 64);
    Put32(b, 54, 0xFF0000);
    Put32(b, 58, 0x00FF00);
    Put32(b, 62, 0x0000FF);
    Put32(b, 66, 0xFF000000);
    const gdi::BmpHead h = Read(b);
    ASSERT_EQ(h.fault, gdi::BmpFault::None) << headerSize;
    EXPECT_TRUE(h.bitFields);
    EXPECT_EQ(h.masks[0], 0xFF0000u);
    EXPECT_EQ(h.masks[2], 0x0000FFu);
    EXPECT_EQ(h.masks[3], headerSize >= 56 ? 0xFF000000u : 0u) << headerSize;
    EXPECT_TRUE(h.TopDown());
    EXPECT_EQ(h.height, 2);
    EXPECT_EQ(h.RowBytes(), 12);
    // Without an offset the pixels follow the header, and the masks after a 40-byte one.
    EXPECT_EQ(h.dataStart, 14 + int64_t(headerSize) + (headerSize < 52 ? 12 : 0)) << headerSize;
  }
}

TEST(BmpHead, TheTwoTableRulesCountEntriesTheirOwnWay) {
  // 4 entries declared, room for 2 before the pixels.
  auto b = File(40, 8, BI_RGB, 4, 14 + 40 + 8, 32);
  for (int i = 0; i < 16; ++i) b[54 + static_cast<size_t>(i)] = static_cast<uint8_t>(i + 1);
  gdi::BmpHead before = Read(b);
  ASSERT_EQ(before.fault, gdi::BmpFault::None);
  EXPECT_EQ(before.colourEntries, 2u);
  EXPECT_EQ(before.colours[1].rgbBlue, 5);
  EXPECT_EQ(before.colours[2].rgbBlue, 0);  // not read: it lies in the pixel data
  gdi::BmpHead declared = Read(b, gdi::BmpTableRule::AsDeclared);
  ASSERT_EQ(declared.fault, gdi::BmpFault::None);
  EXPECT_EQ(declared.colourEntries, 4u);
  EXPECT_EQ(declared.colours[3].rgbBlue, 13);
  EXPECT_EQ(declared.dataStart, 14 + 40 + 8);
  // More than 256 entries: tolerated (256 read) under one rule, a fault under the other.
  auto many = File(40, 8, BI_RGB, 300, 14 + 40 + 1024, 1024 + 8);
  EXPECT_EQ(Read(many).colourEntries, 256u);
  EXPECT_EQ(Read(many, gdi::BmpTableRule::AsDeclared).fault, gdi::BmpFault::TooManyColours);
  // Pixel data inside the header leaves no room for a table.
  EXPECT_EQ(Read(File(40, 8, BI_RGB, 4, 20, 32)).colourEntries, 0u);
}

TEST(BmpHead, EachProblemStopsAtItsPart) {
  auto ok = File(40, 24, BI_RGB, 0, 54, 24);
  EXPECT_EQ(Read({ok.begin(), ok.begin() + 13}).fault, gdi::BmpFault::CutInFileHeader);
  auto foreign = ok;
  foreign[1] = 'Z';
  EXPECT_EQ(Read(foreign).fault, gdi::BmpFault::NotBmp);
  EXPECT_EQ(Read({ok.begin(), ok.begin() + 53}).fault, gdi::BmpFault::CutInInfoHeader);
  EXPECT_EQ(Read(File(40, 4, BI_RGB, 0, 0, 8)).fault, gdi::BmpFault::BitCount);
  EXPECT_EQ(Read(File(12, 24, BI_RGB, 0, 0, 40)).fault, gdi::BmpFault::Unsupported);       // core header
  EXPECT_EQ(Read(File(40, 24, BI_BITFIELDS, 0, 0, 8)).fault, gdi::BmpFault::Unsupported);  // 24-bit masks
  EXPECT_EQ(Read(File(40, 8, 1, 0, 0, 8)).fault, gdi::BmpFault::Unsupported);              // run-length coded
  auto minHeight = ok;
  Put32(minHeight, 22, 0x80000000u);
  EXPECT_EQ(Read(minHeight).fault, gdi::BmpFault::Unsupported);
  EXPECT_EQ(Read(File(40, 8, BI_RGB, 0, 0, 100), gdi::BmpTableRule::AsDeclared).fault, gdi::BmpFault::CutInColourTable);
  EXPECT_EQ(Read(File(40, 16, BI_BITFIELDS, 0, 0, 8)).fault, gdi::BmpFault::CutInMasks);
  EXPECT_EQ(Read(ok).fault, gdi::BmpFault::None);
}

}  // namespace
