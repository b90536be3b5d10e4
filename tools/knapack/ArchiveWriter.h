// Writes Kiln Engine Archives ("KNA0"), stored or byte-pair encoded.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace knapack {

class Error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct ArchiveItem {
  std::string ID;  // UTF-8; written in the ANSI code page
  std::vector<uint8_t> Data;
};

enum class ArchiveMode { Stored, BytePair };

// The whole archive file: header, directory in the order of items, then each item's data in
// the same order. Raises Error for an ID that is empty, too long for its field, contains a
// NUL or repeats an earlier one (ignoring letter case, as the reader compares), and for items
// or archives too large for the format's 32-bit fields or the reader's limits.
std::vector<uint8_t> BuildArchive(const std::vector<ArchiveItem>& items, ArchiveMode mode);

}  // namespace knapack
