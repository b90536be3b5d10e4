// Arbitrary bytes as an archive (looked up under a few IDs) and as packed data. The packed
// data is also decoded by the plain rules, step by step, and the two must agree.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "KNArc/KNArc.h"
#include "knapack/BytePairEncoder.h"

namespace {

rtl::TMemoryStream StreamOf(const uint8_t* data, size_t size) {
  rtl::TMemoryStream s;
  if (size != 0) s.WriteBuffer(data, static_cast<int64_t>(size));
  s.SetPosition(0);
  return s;
}

enum class Outcome { Ok, RangeError, BadData };

Outcome PlainDecode(const uint8_t* in, size_t size, size_t limit, std::vector<uint8_t>& out) {
  uint8_t left[256], right[256] = {};
  size_t pos = 0;
  while (pos < size) {
    for (int c = 0; c < 256; ++c) left[c] = static_cast<uint8_t>(c);
    int c = 0;
    while (c < 256) {
      if (pos >= size) return Outcome::BadData;
      int count = in[pos++];
      if (count > 127) {
        c += count - 127;
        count = 0;
      }
      if (c == 256) break;
      for (int i = 0; i <= count; ++i, ++c) {
        if (c > 255) return Outcome::RangeError;
        if (pos >= size) return Outcome::BadData;
        left[c] = in[pos++];
        if (left[c] != c) {
          if (pos >= size) return Outcome::BadData;
          right[c] = in[pos++];
        }
      }
    }
    if (size - pos < 4) return Outcome::BadData;
    uint32_t n;
    std::memcpy(&n, in + pos, 4);  // the fuzzing hosts are little-endian
    pos += 4;
    if (n > size - pos) return Outcome::BadData;
    std::vector<uint8_t> stack;
    for (;;) {
      uint8_t code;
      if (!stack.empty()) {
        code = stack.back();
        stack.pop_back();
      } else if (n-- == 0) {
        break;
      } else {
        code = in[pos++];
      }
      if (left[code] == code) {
        if (out.size() == limit) return Outcome::BadData;
        out.push_back(code);
      } else {
        if (stack.size() + 2 > 256) return Outcome::RangeError;
        stack.push_back(right[code]);
        stack.push_back(left[code]);
      }
    }
  }
  return Outcome::Ok;  // the caller compares the length with the recorded size
}

Outcome Decode(const uint8_t* data, size_t size, size_t unpacked, std::vector<uint8_t>& bytes) {
  rtl::TMemoryStream packed = StreamOf(data, size);
  try {
    auto out = DecodeBytePairs(packed, static_cast<int64_t>(unpacked));
    if (out->Position() != 0) __builtin_trap();
    bytes = out->Bytes();
    return Outcome::Ok;
  } catch (const rtl::ERangeError&) {
    return Outcome::RangeError;
  } catch (const EKNAError&) {
    return Outcome::BadData;
  }
}

// What decodes within the limit must decode to the same bytes when that length is the
// recorded size, and fail against any other; what fails must fail the same way.
void Compare(const uint8_t* data, size_t size, size_t limit) {
  std::vector<uint8_t> expected, bytes;
  const Outcome want = PlainDecode(data, size, limit, expected);
  if (want == Outcome::Ok) {
    if (Decode(data, size, expected.size(), bytes) != Outcome::Ok || bytes != expected) __builtin_trap();
    if (expected.size() != limit && Decode(data, size, limit, bytes) != Outcome::BadData) __builtin_trap();
  } else if (Decode(data, size, limit, bytes) != want) {
    __builtin_trap();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  rtl::TMemoryStream archive = StreamOf(data, size);
  for (const char* id : {"a", "ship.bmp", "SHIP.BMP", "テクスチャ.bmp", ""}) {
    try {
      auto item = ArchiveReadStream(archive, id);
      if (item->Position() != 0) __builtin_trap();
    } catch (const rtl::Exception&) {
    }
    archive.SetPosition(0);
  }

  // As packed data: the first two bytes give a limit on the output, small enough for the
  // plain decoder to keep up.
  if (size >= 2) {
    const size_t limit = (data[0] | data[1] << 8) & 0x3FFF;
    Compare(data + 2, size - 2, limit);

    // Again as a well-formed block built from the bytes, so that whole expansions of every
    // length reach the output: per code a choice byte (below 96: a pair of two lower codes
    // given by the next two bytes, so the expansion ends), then the codes of the block.
    uint8_t left[256], right[256] = {};
    size_t pos = 2;
    for (int c = 0; c < 256; ++c) {
      left[c] = static_cast<uint8_t>(c);
      if (c > 0 && pos + 2 < size && data[pos] < 96) {
        left[c] = static_cast<uint8_t>(data[pos + 1] % c);
        right[c] = static_cast<uint8_t>(data[pos + 2] % c);
        pos += 3;
      } else if (pos < size) {
        ++pos;
      }
    }
    std::vector<uint8_t> block;
    knapack::WritePairTable(left, right, block);
    const uint32_t n = static_cast<uint32_t>(size - pos);
    for (int i = 0; i < 4; ++i) block.push_back(static_cast<uint8_t>(n >> (8 * i)));
    block.insert(block.end(), data + pos, data + size);
    Compare(block.data(), block.size(), limit);
  }
  return 0;
}
