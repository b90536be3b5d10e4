#include "knapack/BytePairEncoder.h"

#include <algorithm>
#include <array>

namespace knapack {
namespace {

// A block ends after this many bytes, or earlier once it holds this many different byte
// values (and is not tiny), so that enough codes stay free for pairs.
constexpr size_t kBlockSize = 8192;
constexpr size_t kMinBlockSize = 1024;
constexpr int kMaxDistinct = 200;
// A pair is worth a code when it saves more than its two or three table bytes.
constexpr uint32_t kMinPairCount = 4;

void PutU32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

class BlockEncoder {
 public:
  void Encode(std::span<const uint8_t> block, std::vector<uint8_t>& out) {
    buf_.assign(block.begin(), block.end());
    uint8_t left[256];
    uint8_t right[256] = {};
    bool used[256] = {};
    for (int c = 0; c < 256; ++c) left[c] = static_cast<uint8_t>(c);
    for (uint8_t b : buf_) used[b] = true;
    // A code that occurs in the data must stay literal, and so must every code that already
    // stands for a pair; only codes the block never uses can be given a new meaning.
    int nextFree = 0;
    for (;;) {
      while (nextFree < 256 && used[nextFree]) ++nextFree;
      if (nextFree == 256 || buf_.size() < 2) break;
      uint32_t bestCount = 0;
      unsigned best = 0;
      for (size_t i = 0; i + 1 < buf_.size(); ++i) {
        unsigned key = unsigned{buf_[i]} << 8 | buf_[i + 1];
        uint32_t n = ++counts_[key];
        if (n > bestCount) {
          bestCount = n;
          best = key;
        }
      }
      for (size_t i = 0; i + 1 < buf_.size(); ++i) counts_[unsigned{buf_[i]} << 8 | buf_[i + 1]] = 0;
      if (bestCount < kMinPairCount) break;

      const uint8_t code = static_cast<uint8_t>(nextFree);
      const uint8_t a = static_cast<uint8_t>(best >> 8), b = static_cast<uint8_t>(best);
      left[code] = a;
      right[code] = b;
      used[code] = true;
      size_t j = 0;
      for (size_t i = 0; i < buf_.size();) {
        if (i + 1 < buf_.size() && buf_[i] == a && buf_[i + 1] == b) {
          buf_[j++] = code;
          i += 2;
        } else {
          buf_[j++] = buf_[i++];
        }
      }
      buf_.resize(j);
    }

    const size_t start = out.size();
    WritePairTable(left, right, out);
    // The all-literal table is 3 bytes; fall back to it when the pairs do not pay for themselves.
    if (out.size() - start + buf_.size() >= 3 + block.size()) {
      out.resize(start);
      for (int c = 0; c < 256; ++c) left[c] = static_cast<uint8_t>(c);
      WritePairTable(left, right, out);
      buf_.assign(block.begin(), block.end());
    }
    PutU32(out, static_cast<uint32_t>(buf_.size()));
    out.insert(out.end(), buf_.begin(), buf_.end());
  }

 private:
  std::vector<uint8_t> buf_;
  std::vector<uint32_t> counts_ = std::vector<uint32_t>(65536, 0);
};

}  // namespace

void WritePairTable(const uint8_t (&left)[256], const uint8_t (&right)[256], std::vector<uint8_t>& out) {
  auto entry = [&](int c) {
    out.push_back(left[c]);
    if (left[c] != c) out.push_back(right[c]);
  };
  int c = 0;
  while (c < 256) {
    int literals = 0;
    while (c + literals < 256 && literals < 128 && left[c + literals] == c + literals) ++literals;
    if (literals > 0) {
      // A skip byte; unless it reaches the end, exactly one entry follows it.
      out.push_back(static_cast<uint8_t>(127 + literals));
      c += literals;
      if (c == 256) break;
      entry(c++);
      continue;
    }
    int pairs = 0;
    while (c + pairs < 256 && pairs < 128 && left[c + pairs] != c + pairs) ++pairs;
    out.push_back(static_cast<uint8_t>(pairs - 1));
    for (int i = 0; i < pairs; ++i) entry(c++);
  }
}

std::vector<uint8_t> EncodeBytePairs(std::span<const uint8_t> data) {
  std::vector<uint8_t> out;
  out.reserve(data.size() + data.size() / 64 + 16);
  BlockEncoder encoder;
  size_t start = 0;
  while (start < data.size()) {
    std::array<bool, 256> seen{};
    int distinct = 0;
    size_t end = start;
    while (end < data.size() && end - start < kBlockSize) {
      uint8_t b = data[end];
      if (!seen[b]) {
        if (distinct >= kMaxDistinct && end - start >= kMinBlockSize) break;
        seen[b] = true;
        ++distinct;
      }
      ++end;
    }
    encoder.Encode(data.subspan(start, end - start), out);
    start = end;
  }
  return out;
}

}  // namespace knapack
