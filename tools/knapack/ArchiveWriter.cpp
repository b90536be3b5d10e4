#include "knapack/ArchiveWriter.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <set>

#include "KNArc/KNArc.h"
#include "knapack/BytePairEncoder.h"
#include "platform/win/CodePage.h"

namespace knapack {
namespace {

void PutU32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// Offsets and sizes are kept below 2 GB so that readers which take them as signed agree.
constexpr uint64_t kMaxField = std::numeric_limits<int32_t>::max();

}  // namespace

std::vector<uint8_t> BuildArchive(const std::vector<ArchiveItem>& items, ArchiveMode mode) {
  if (items.size() > (kMaxField - ArchiveHeaderSize) / ArchiveDirEntrySize) throw Error("too many entries");

  std::vector<std::string> ids;
  std::set<std::string> seen;
  for (const ArchiveItem& item : items) {
    std::string ansi = win::Utf8ToAnsi(item.ID);
    if (ansi.empty()) throw Error("empty ID");
    if (ansi.find('\0') != std::string::npos) throw Error("ID '" + item.ID + "' contains a NUL character");
    if (ansi.size() >= static_cast<size_t>(ArchiveIDSize)) throw Error("ID '" + item.ID + "' is longer than 255 bytes");
    if (!seen.insert(win::AnsiLowerCase(ansi)).second)
      throw Error("duplicate ID '" + item.ID + "' (IDs are compared without regard to case)");
    ids.push_back(std::move(ansi));
  }

  std::vector<std::vector<uint8_t>> packed;
  if (mode == ArchiveMode::BytePair) {
    for (const ArchiveItem& item : items) {
      if (item.Data.size() > static_cast<uint64_t>(ArchiveMaxUnpackedSize))
        throw Error("'" + item.ID + "' is too large for a compressed archive (store it instead)");
      packed.push_back(EncodeBytePairs(item.Data));
    }
  }

  const uint64_t dataStart = ArchiveHeaderSize + items.size() * ArchiveDirEntrySize;
  uint64_t total = dataStart;
  for (size_t i = 0; i < items.size(); ++i)
    total += mode == ArchiveMode::BytePair ? packed[i].size() : items[i].Data.size();
  if (total > kMaxField) throw Error("the archive would be larger than 2 GB");

  std::vector<uint8_t> out(static_cast<size_t>(dataStart), 0);
  PutU32(out.data(), mode == ArchiveMode::BytePair ? static_cast<uint32_t>(ArchiveCompressed) : 0u);
  std::copy(ArchiveMagic.begin(), ArchiveMagic.end(), out.begin() + 4);
  PutU32(out.data() + 8, static_cast<uint32_t>(items.size()));
  out.reserve(static_cast<size_t>(total));
  for (size_t i = 0; i < items.size(); ++i) {
    const std::vector<uint8_t>& data = mode == ArchiveMode::BytePair ? packed[i] : items[i].Data;
    uint8_t* e = out.data() + ArchiveHeaderSize + i * ArchiveDirEntrySize;
    PutU32(e, static_cast<uint32_t>(out.size()));
    PutU32(e + 4, static_cast<uint32_t>(data.size()));
    PutU32(e + 8, static_cast<uint32_t>(items[i].Data.size()));
    std::memcpy(e + 12, ids[i].data(), ids[i].size());
    out.insert(out.end(), data.begin(), data.end());
  }
  return out;
}

}  // namespace knapack
