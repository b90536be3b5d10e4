#include <gtest/gtest.h>

#include <random>

#include "KNArcTestUtil.h"
#include "knapack/BytePairEncoder.h"
#include "support/TestSupport.h"

namespace {

using namespace knarctest;

Bytes Decode(const Bytes& packed, int64_t unpackedSize) {
  auto in = StreamOf(packed);
  return DecodeBytePairs(*in, unpackedSize)->Bytes();
}

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

// Code 1 = (2, 'z'), code 2 = ('x', 'y'); codes 3..255 literal.
const Bytes kNestedTable = {128, 2, 'z', 0, 'x', 'y', 255, 131, 251};

TEST(DecodeBytePairs, AllLiteralTablePassesBytesThrough) {
  const Bytes data = {'a', 0, 128, 255, 127, 'z'};
  EXPECT_EQ(Decode(Block(kAllLiteral, data), 6), data);
}

TEST(DecodeBytePairs, NestedPairsExpandLeftBeforeRight) {
  const Bytes out = Decode(Block(kNestedTable, {1, 2, 'q', 1}), 9);
  EXPECT_EQ(std::string(out.begin(), out.end()), "xyzxyqxyz");
}

TEST(DecodeBytePairs, EveryBlockStartsFromItsOwnTable) {
  // Block 1 gives code 1 the pair "ab"; block 2's all-literal table makes code 1 plain again.
  const Bytes block1 = Block({128, 'a', 'b', 255, 130, 252}, {1, 1, 'c'});
  const Bytes block2 = Block(kAllLiteral, {1, 'd'});
  const Bytes block3 = Block(kNestedTable, {1});
  const Bytes out = Decode(Cat({block1, block2, block3}), 10);
  EXPECT_EQ(out, (Bytes{'a', 'b', 'a', 'b', 'c', 1, 'd', 'x', 'y', 'z'}));
}

TEST(DecodeBytePairs, DecodesFromTheCurrentPositionAndRewindsTheResult) {
  Bytes packed = {9, 9, 9};
  const Bytes block = Block(kAllLiteral, {'o', 'k'});
  packed.insert(packed.end(), block.begin(), block.end());
  auto in = StreamOf(packed);
  in->SetPosition(3);
  auto out = DecodeBytePairs(*in, 2);
  EXPECT_EQ(out->Position(), 0);
  EXPECT_EQ(Text(*out), "ok");
  EXPECT_EQ(in->Position(), in->Size());
}

TEST(DecodeBytePairs, EmptyInputAndEmptyBlocksGiveEmptyOutput) {
  EXPECT_TRUE(Decode({}, 0).empty());
  EXPECT_TRUE(Decode(Cat({Block(kAllLiteral, {}), Block(kNestedTable, {})}), 0).empty());
}

TEST(DecodeBytePairs, ChainOf255PairsFitsTheStack) {
  // Code k = (k-1, 0) for k = 1..255: the deepest expansion that 255 free codes allow.
  Bytes table = {127};
  table.push_back(0);  // code 0 literal
  for (int k = 1; k < 128; ++k) table.insert(table.end(), {uint8_t(k - 1), 0});
  table.push_back(127);
  for (int k = 128; k < 256; ++k) table.insert(table.end(), {uint8_t(k - 1), 0});
  EXPECT_EQ(Decode(Block(table, {255}), 256), Bytes(256, 0));
}

TEST(DecodeBytePairs, CorruptTablesAndExpansionsRaiseRangeError) {
  // A skip that jumps past code 255.
  EXPECT_THROW(Decode(Block({255, 128, 255}, {1}), 1), rtl::ERangeError);
  // A run of entries that goes on past code 255.
  EXPECT_THROW(Decode(Block({255, 128, 252, 254, 1, 255, 7}, {1}), 1), rtl::ERangeError);
  // Codes 1 and 2 name each other on the left: the expansion stack overflows at 256.
  EXPECT_THROW(Decode(Block({128, 2, 'x', 0, 1, 'x', 255, 131, 251}, {1}), 1000), rtl::ERangeError);
}

TEST(DecodeBytePairs, OutputMustMatchTheRecordedSize) {
  const Bytes block = Block(kNestedTable, {1, 1});  // "xyzxyz"
  EXPECT_EQ(Decode(block, 6).size(), 6u);
  EXPECT_THROW(Decode(block, 5), EKNAError);
  EXPECT_THROW(Decode(block, 7), EKNAError);
  // Code 1 = ('a', 1) expands forever without growing the stack; the recorded size stops it.
  EXPECT_THROW(Decode(Block({128, 'a', 1, 255, 130, 252}, {1}), 100000), EKNAError);
  EXPECT_THROW(Decode(block, -1), EKNAError);
  EXPECT_THROW(Decode(block, ArchiveMaxUnpackedSize + 1), EKNAError);
}

TEST(DecodeBytePairs, TruncatedBlocksAreRejected) {
  const Bytes whole = Block(kNestedTable, {1, 2, 'q'});
  for (size_t cut = 1; cut < whole.size(); ++cut) {
    const Bytes part(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(cut));
    EXPECT_THROW(Decode(part, 6), EKNAError) << "cut at " << cut;
  }
  // A block length far beyond the data: rejected, not read past the end.
  Bytes huge = kAllLiteral;
  AppendU32(huge, 0xFFFFFFFFu);
  huge.push_back('a');
  EXPECT_THROW(Decode(huge, 1), EKNAError);
}

TEST(DecodeBytePairs, ReadsNonMemoryStreams) {
  testsupport::TempDir dir;
  const Bytes block = Block(kNestedTable, {2, 1});
  const std::string path = dir.File("packed.bin");
  {
    rtl::TFileStream f(path, rtl::fmCreate);
    f.WriteBuffer(block.data(), static_cast<int64_t>(block.size()));
  }
  rtl::TFileStream f(path, rtl::fmOpenRead);
  EXPECT_EQ(Text(*DecodeBytePairs(f, 5)), "xyxyz");
}

// The decoding rules written out as plainly as possible, for comparison.
enum class Outcome { Ok, StackOverflow, TooLong };
Outcome Reference(const uint8_t (&left)[256], const uint8_t (&right)[256], const Bytes& codes, size_t limit,
                  Bytes& out) {
  for (uint8_t code : codes) {
    std::vector<uint8_t> stack{code};
    while (!stack.empty()) {
      uint8_t c = stack.back();
      stack.pop_back();
      if (left[c] == c) {
        if (out.size() == limit) return Outcome::TooLong;
        out.push_back(c);
      } else {
        if (stack.size() + 2 > 256) return Outcome::StackOverflow;
        stack.push_back(right[c]);
        stack.push_back(left[c]);
      }
    }
  }
  return Outcome::Ok;
}

TEST(DecodeBytePairs, AgreesWithThePlainRulesOnRandomTables) {
  std::mt19937 rng(2024);
  int seen[3] = {};
  for (int trial = 0; trial < 600; ++trial) {
    uint8_t left[256], right[256];
    const bool acyclic = trial % 2 == 0;  // pairs only of lower codes: long but finite expansions
    const unsigned pairChance = 1 + rng() % 8;
    for (int c = 0; c < 256; ++c) {
      left[c] = right[c] = static_cast<uint8_t>(c);
      if (c > 0 && rng() % 10 < pairChance) {
        const unsigned range = acyclic ? static_cast<unsigned>(c) : 256u;
        left[c] = static_cast<uint8_t>(rng() % range);
        right[c] = static_cast<uint8_t>(rng() % range);
        if (left[c] == c) left[c] = static_cast<uint8_t>(c - 1);
      }
    }
    Bytes codes(1 + rng() % 60);
    for (auto& b : codes) b = static_cast<uint8_t>(rng());
    Bytes table;
    knapack::WritePairTable(left, right, table);
    const Bytes packed = Cat({Block(table, codes), Block(kAllLiteral, {'e', 'n', 'd'})});

    Bytes expected;
    const size_t limit = 3 + rng() % (trial % 3 == 0 ? 200 : 20000);
    Outcome outcome = Reference(left, right, codes, limit, expected);
    if (outcome == Outcome::Ok && expected.size() + 3 > limit) outcome = Outcome::TooLong;
    ++seen[static_cast<int>(outcome)];
    SCOPED_TRACE(trial);
    switch (outcome) {
      case Outcome::Ok: {
        expected.insert(expected.end(), {'e', 'n', 'd'});
        EXPECT_EQ(Decode(packed, static_cast<int64_t>(expected.size())), expected);
        break;
      }
      case Outcome::StackOverflow:
        EXPECT_THROW(Decode(packed, static_cast<int64_t>(limit)), rtl::ERangeError);
        break;
      case Outcome::TooLong:
        EXPECT_THROW(Decode(packed, static_cast<int64_t>(limit)), EKNAError);
        break;
    }
  }
  // Each kind of outcome has come up often enough to mean something.
  for (int n : seen) EXPECT_GT(n, 50) << seen[0] << " " << seen[1] << " " << seen[2];
}

}  // namespace
