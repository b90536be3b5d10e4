// Kiln Engine Archive: reads single entries out of a packed archive file ("KNA0").
// An entry is looked up by its ID and handed back as a fresh memory stream that the caller owns.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/rtl/Classes.h"
#include "platform/rtl/SysUtils.h"

// The unit's own exception; its message is one of the two texts below.
class EKNAError : public rtl::Exception {
 public:
  using rtl::Exception::Exception;
};

inline constexpr const char* KNANotArchiveMessage = "Kiln Engine Archiveの扱えるデータではありません";
inline constexpr const char* KNANotFoundMessage = "アーカイブ内には指定されたID '%s' を持つデータが見つかりません";

// On-disk layout. All integers are 32-bit little-endian; offsets count from the start of the file.
inline constexpr int64_t ArchiveHeaderSize = 256;
inline constexpr int64_t ArchiveDirEntrySize = 268;
inline constexpr int64_t ArchiveIDSize = 256;
inline constexpr int32_t ArchiveCompressed = 1;  // any other flag value means stored
inline constexpr std::array<uint8_t, 4> ArchiveMagic = {'K', 'N', 'A', '0'};

// The largest item a compressed entry may decode to. Byte-pair codes can expand without a
// useful bound, so the recorded unpacked size is the only limit on the output, and a
// recorded size above this is taken as damage rather than trusted with an allocation.
inline constexpr int64_t ArchiveMaxUnpackedSize = int64_t{256} << 20;

struct ArchiveHeader {
  int32_t Compression = 0;
  std::array<uint8_t, 4> Magic{};
  int32_t Count = 0;
};

struct ArchiveDirEntry {
  uint32_t Offset = 0;
  uint32_t PackedSize = 0;
  uint32_t UnpackedSize = 0;
  std::string ID;  // ANSI (CP932) bytes up to the NUL
};

// Finds the entry named id (UTF-8; matched without regard to letter case) in the archive that
// source reads from; the archive must start at position 0 of the stream. Returns the item's
// bytes positioned at 0. Raises EKNAError for data that is not a usable archive or an ID that is
// not there, rtl::ERangeError for corrupt pair tables and expansions.
std::unique_ptr<rtl::TMemoryStream> ArchiveReadStream(rtl::TStream& source, const std::string& id);

// Opens fileName read-only and calls ArchiveReadStream; the file is closed on every path.
std::unique_ptr<rtl::TMemoryStream> ArchiveReadFile(const std::string& fileName, const std::string& id);

// Decodes the packed stream from its position to its end. The output must come to exactly
// unpackedSize bytes: more or fewer is reported as EKNAError.
std::unique_ptr<rtl::TMemoryStream> DecodeBytePairs(rtl::TStream& packed, int64_t unpackedSize);

// Reads the header and the whole directory from position 0 of source and seeks back to 0.
// Used by the lookup and by tools that list an archive.
std::vector<ArchiveDirEntry> ArchiveReadDirectory(rtl::TStream& source, ArchiveHeader& header);
