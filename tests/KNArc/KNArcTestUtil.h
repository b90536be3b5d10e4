// Hand-made archives and packed blocks for the archive tests.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "KNArc/KNArc.h"
#include "platform/rtl/Classes.h"

namespace knarctest {

using Bytes = std::vector<uint8_t>;

inline void PutU32(Bytes& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

inline void AppendU32(Bytes& b, uint32_t v) {
  b.resize(b.size() + 4);
  PutU32(b, b.size() - 4, v);
}

struct HandEntry {
  std::string ansiID;  // raw bytes of the ID field
  Bytes data;          // what is written at the entry's offset (packed data for compressed archives)
  uint32_t unpackedSize;
};

// Header, directory, then each entry's data in order.
inline Bytes MakeArchive(int32_t flag, const std::vector<HandEntry>& entries) {
  Bytes b(256 + entries.size() * 268, 0);
  PutU32(b, 0, static_cast<uint32_t>(flag));
  b[4] = 'K', b[5] = 'N', b[6] = 'A', b[7] = '0';
  PutU32(b, 8, static_cast<uint32_t>(entries.size()));
  for (size_t i = 0; i < entries.size(); ++i) {
    const size_t e = 256 + i * 268;
    PutU32(b, e, static_cast<uint32_t>(b.size()));
    PutU32(b, e + 4, static_cast<uint32_t>(entries[i].data.size()));
    PutU32(b, e + 8, entries[i].unpackedSize);
    for (size_t k = 0; k < entries[i].ansiID.size() && k < 256; ++k) b[e + 12 + k] = entries[i].ansiID[k];
    b.insert(b.end(), entries[i].data.begin(), entries[i].data.end());
  }
  return b;
}

inline Bytes Stored(const std::string& text) { return Bytes(text.begin(), text.end()); }

// Byte offset of a directory field: 0 data offset, 4 packed size, 8 unpacked size.
inline size_t DirField(size_t entry, size_t field) { return 256 + entry * 268 + field; }

inline std::unique_ptr<rtl::TMemoryStream> StreamOf(const Bytes& bytes) {
  auto s = std::make_unique<rtl::TMemoryStream>();
  if (!bytes.empty()) s->WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
  s->SetPosition(0);
  return s;
}

inline Bytes Contents(rtl::TMemoryStream& s) { return s.Bytes(); }

inline std::string Text(rtl::TMemoryStream& s) { return std::string(s.Bytes().begin(), s.Bytes().end()); }

// One block: table bytes, 32-bit length, codes.
inline Bytes Block(const Bytes& table, const Bytes& codes) {
  Bytes b = table;
  AppendU32(b, static_cast<uint32_t>(codes.size()));
  b.insert(b.end(), codes.begin(), codes.end());
  return b;
}

inline const Bytes kAllLiteral = {255, 128, 254};

}  // namespace knarctest
