#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <random>

#include "KNArcTestUtil.h"
#include "knapack/ArchiveWriter.h"
#include "knapack/BytePairEncoder.h"
#include "support/TestSupport.h"

namespace {

using namespace knarctest;

Bytes RandomBytes(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes b(n);
  for (auto& x : b) x = static_cast<uint8_t>(rng());
  return b;
}

Bytes SomeText(size_t n) {
  static const char* words[] = {"the ",    "ship ",   "fires ", "at ",    "enemy ",    "craft ",      "near ",
                                "colony ", "planet ", "and ",   "stage ", "clear\r\n", "テクスチャ ", "score "};
  std::mt19937 rng(7);
  std::string s;
  while (s.size() < n) s += words[rng() % std::size(words)];
  s.resize(n);
  return Bytes(s.begin(), s.end());
}

Bytes RoundTrip(const Bytes& data) {
  const Bytes packed = knapack::EncodeBytePairs(data);
  auto in = StreamOf(packed);
  return DecodeBytePairs(*in, static_cast<int64_t>(data.size()))->Bytes();
}

TEST(BytePairEncoder, RoundTripsAllKindsOfData) {
  Bytes ramp(70000);
  for (size_t i = 0; i < ramp.size(); ++i) ramp[i] = static_cast<uint8_t>(i / 3 + (i % 3) * 85);
  Bytes sparse(50000, 0);
  for (size_t i = 0; i < sparse.size(); i += 97) sparse[i] = static_cast<uint8_t>(i);
  const std::vector<std::pair<const char*, Bytes>> cases = {
      {"empty", {}},
      {"one byte", {42}},
      {"random", RandomBytes(100000, 1)},
      {"text", SomeText(60000)},
      {"one value", Bytes(100000, 0xAB)},  // deep chains of pairs
      {"two values", RandomBytes(30000, 2)},
      {"ramp", ramp},
      {"sparse", sparse},
  };
  for (const auto& [name, data] : cases) {
    Bytes input = data;
    if (std::string(name) == "two values")
      for (auto& b : input) b &= 0x80;
    EXPECT_EQ(RoundTrip(input), input) << name;
  }
}

TEST(BytePairEncoder, CompressesRedundantDataAndBarelyGrowsRandomData) {
  const Bytes text = SomeText(200000);
  EXPECT_LT(knapack::EncodeBytePairs(text).size(), text.size() / 2);
  const Bytes zeros(100000, 0);
  EXPECT_LT(knapack::EncodeBytePairs(zeros).size(), zeros.size() / 20);
  const Bytes noise = RandomBytes(100000, 3);
  EXPECT_LT(knapack::EncodeBytePairs(noise).size(), noise.size() + noise.size() / 100);
}

TEST(BytePairEncoder, BlockUsingEveryCodeIsStoredWithAnAllLiteralTable) {
  Bytes every(256);
  for (int i = 0; i < 256; ++i) every[static_cast<size_t>(i)] = static_cast<uint8_t>(i);
  Bytes data;
  for (int r = 0; r < 4; ++r) data.insert(data.end(), every.begin(), every.end());
  const Bytes packed = knapack::EncodeBytePairs(data);
  Bytes expected = Block(kAllLiteral, data);
  EXPECT_EQ(packed, expected);
}

TEST(BytePairEncoder, PairTableRunsCoverExactlyTheCodes) {
  // Every mix of literal and pair codes must come out in the reader's run format: check by
  // decoding a one-code block for each pair code of a table with runs of all lengths.
  uint8_t left[256], right[256] = {};
  std::mt19937 rng(11);
  for (int c = 0; c < 256; ++c) left[c] = static_cast<uint8_t>(c);
  for (int c = 1; c < 256; ++c)
    if (rng() % 3 == 0 || (c >= 100 && c < 240)) {  // a 140-code run beyond a single count byte
      left[c] = 0;
      right[c] = 0;
    }
  Bytes table;
  knapack::WritePairTable(left, right, table);
  Bytes codes, expected;
  for (int c = 0; c < 256; ++c) {
    codes.push_back(static_cast<uint8_t>(c));
    if (left[c] == c)
      expected.push_back(static_cast<uint8_t>(c));
    else
      expected.insert(expected.end(), {0, 0});
  }
  auto in = StreamOf(Block(table, codes));
  EXPECT_EQ(DecodeBytePairs(*in, static_cast<int64_t>(expected.size()))->Bytes(), expected);
}

TEST(BuildArchive, RefusesIDsTheReaderCouldNotTellApart) {
  using knapack::ArchiveMode;
  EXPECT_THROW(knapack::BuildArchive({{"a.bmp", {}}, {"A.BMP", {}}}, ArchiveMode::Stored), knapack::Error);
  EXPECT_THROW(knapack::BuildArchive({{std::string(256, 'x'), {}}}, ArchiveMode::Stored), knapack::Error);
  EXPECT_THROW(knapack::BuildArchive({{"", {}}}, ArchiveMode::BytePair), knapack::Error);
  EXPECT_THROW(knapack::BuildArchive({{std::string("a\0b", 3), {}}}, ArchiveMode::BytePair), knapack::Error);
  const Bytes archive = knapack::BuildArchive({{std::string(255, 'x'), {1, 2}}}, ArchiveMode::BytePair);
  auto s = StreamOf(archive);
  EXPECT_EQ(ArchiveReadStream(*s, std::string(255, 'X'))->Bytes(), (Bytes{1, 2}));
}

std::string Quote(const std::string& s) { return "'" + s + "'"; }

int Knapack(const std::string& args) {
  return std::system((Quote(KNAPACK_PATH) + " " + args + " >/dev/null 2>&1").c_str());
}

TEST(Knapack, PacksAFolderAndGivesEveryFileBackByteForByte) {
  testsupport::TempDir dir;
  const std::string in = dir.File("in");
  std::filesystem::create_directory(in);
  Bytes image(1 << 20);  // a 1 MB file: a smooth picture with some noise
  std::mt19937 rng(5);
  for (size_t i = 0; i < image.size(); ++i)
    image[i] = static_cast<uint8_t>((i % 3072) / 24 + (i / 3072) % 64 + rng() % 3);
  const std::vector<std::pair<std::string, Bytes>> files = {
      {"random.bin", RandomBytes(65536, 9)},
      {"Words.txt", SomeText(30000)},
      {"empty.dat", {}},
      {"big.bmp", image},
  };
  for (const auto& [name, data] : files) testsupport::WriteFileBytes(in + "/" + name, data);

  for (const char* mode : {"--bpe", "--stored"}) {
    SCOPED_TRACE(mode);
    const std::string archive = dir.File(std::string("a") + mode + ".kna");
    ASSERT_EQ(Knapack(std::string("pack ") + mode + " " + Quote(archive) + " " + Quote(in)), 0);
    ASSERT_EQ(Knapack("list " + Quote(archive)), 0);
    for (const auto& [name, data] : files) {
      const std::string out = dir.File("out-" + name);
      ASSERT_EQ(Knapack("extract " + Quote(archive) + " " + Quote(name) + " " + Quote(out)), 0) << name;
      EXPECT_EQ(testsupport::ReadFileBytes(out), data) << name;
      EXPECT_EQ(ArchiveReadFile(archive, name)->Bytes(), data) << name;
    }
  }
  const auto stored = std::filesystem::file_size(dir.File("a--stored.kna"));
  EXPECT_EQ(stored, 256u + 4 * 268 + 65536 + 30000 + (1u << 20));
  EXPECT_LT(std::filesystem::file_size(dir.File("a--bpe.kna")), stored);
  // Errors give a non-zero status: an ID that is not there, a missing archive, bad usage.
  const std::string archive = dir.File("a--bpe.kna");
  EXPECT_EQ(WEXITSTATUS(Knapack("extract " + Quote(archive) + " nothing " + Quote(dir.File("x")))), 1);
  EXPECT_EQ(WEXITSTATUS(Knapack("list " + Quote(dir.File("missing.kna")))), 1);
  EXPECT_EQ(WEXITSTATUS(Knapack("pack --zip " + Quote(archive) + " " + Quote(in))), 2);
}

}  // namespace
