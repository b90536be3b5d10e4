// Byte-pair encoder for compressed archives: the inverse of DecodeBytePairs.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace knapack {

// Encodes data as a sequence of blocks (pair table, 32-bit block length, codes). Any input
// is accepted; a block whose bytes leave no code free, or that would not get smaller, is
// written with an all-literal table. Empty input gives no blocks at all.
std::vector<uint8_t> EncodeBytePairs(std::span<const uint8_t> data);

// Appends the run encoding of a pair table (left[c] == c: literal) to out.
void WritePairTable(const uint8_t (&left)[256], const uint8_t (&right)[256], std::vector<uint8_t>& out);

}  // namespace knapack
