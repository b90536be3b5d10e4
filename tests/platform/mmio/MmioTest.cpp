#include <gtest/gtest.h>

#include "ddsd/WavFiles.h"
#include "platform/mmio/MMSystem.h"
#include "support/TestSupport.h"

namespace {

using namespace wavfiles;

class Mmio : public ::testing::Test {
 protected:
  testsupport::TempDir dir;
  HMMIO Open(const std::vector<uint8_t>& bytes, const char* name = "t.wav") {
    path = dir.File(name);
    testsupport::WriteFileBytes(path, bytes);
    return mmioOpenA(path.data(), nullptr, MMIO_ALLOCBUF | MMIO_READ);
  }
  std::string path;
};

TEST_F(Mmio, WalksRiffChunksSkippingOddPaddedOnes) {
  const std::vector<uint8_t> odd = {1, 2, 3};  // padded to 4 bytes in the file
  HMMIO h = Open(Riff({Chunk("fmt ", Fmt(2, 44100, 16)), Chunk("LIST", odd), Chunk("data", {9, 8, 7, 6})}));
  ASSERT_NE(h, nullptr);
  MMCKINFO riff{};
  riff.fccType = mmioFOURCC('W', 'A', 'V', 'E');
  ASSERT_EQ(mmioDescend(h, &riff, nullptr, MMIO_FINDRIFF), MMSYSERR_NOERROR);
  EXPECT_EQ(riff.ckid, FOURCC_RIFF);
  EXPECT_EQ(riff.dwDataOffset, 8u);

  MMCKINFO ck{};
  ck.ckid = mmioFOURCC('f', 'm', 't', ' ');
  ASSERT_EQ(mmioDescend(h, &ck, &riff, MMIO_FINDCHUNK), MMSYSERR_NOERROR);
  EXPECT_EQ(ck.cksize, 16u);
  char tag[2];
  EXPECT_EQ(mmioRead(h, tag, 2), 2);
  EXPECT_EQ(tag[0], 1);
  ASSERT_EQ(mmioAscend(h, &ck, 0), MMSYSERR_NOERROR);

  ck.ckid = mmioFOURCC('d', 'a', 't', 'a');
  ASSERT_EQ(mmioDescend(h, &ck, &riff, MMIO_FINDCHUNK), MMSYSERR_NOERROR);
  EXPECT_EQ(ck.cksize, 4u);
  char data[8] = {};
  EXPECT_EQ(mmioRead(h, data, 8), 4);  // the end of the file
  EXPECT_EQ(data[0], 9);
  EXPECT_EQ(data[3], 6);
  EXPECT_EQ(mmioClose(h, 0), MMSYSERR_NOERROR);
}

TEST_F(Mmio, SearchesStopAtTheParentAndAtTheEndOfTheFile) {
  // The data chunk lies after the RIFF chunk's declared end: not inside it.
  std::vector<uint8_t> bytes = Riff({Chunk("fmt ", Fmt(1, 8000, 8))});
  const auto data = Chunk("data", {1, 2});
  Append(bytes, data);
  HMMIO h = Open(bytes);
  ASSERT_NE(h, nullptr);
  MMCKINFO riff{};
  riff.fccType = mmioFOURCC('W', 'A', 'V', 'E');
  ASSERT_EQ(mmioDescend(h, &riff, nullptr, MMIO_FINDRIFF), MMSYSERR_NOERROR);
  MMCKINFO ck{};
  ck.ckid = mmioFOURCC('d', 'a', 't', 'a');
  EXPECT_EQ(mmioDescend(h, &ck, &riff, MMIO_FINDCHUNK), MMIOERR_CHUNKNOTFOUND);
  mmioClose(h, 0);

  // A RIFF size far beyond the file: the search ends with the file, chunk headers cut
  // off by the end are not found, and a huge chunk size cannot move the reader past it.
  std::vector<uint8_t> cut = Riff({Chunk("fmt ", Fmt(1, 8000, 8))}, 0x7FFFFFF0);
  Put32(cut, 0xFFFFFFF0u);  // half a chunk header
  h = Open(cut);
  ASSERT_NE(h, nullptr);
  riff = {};
  riff.fccType = mmioFOURCC('W', 'A', 'V', 'E');
  ASSERT_EQ(mmioDescend(h, &riff, nullptr, MMIO_FINDRIFF), MMSYSERR_NOERROR);
  ck = {};
  ck.ckid = mmioFOURCC('f', 'm', 't', ' ');
  ASSERT_EQ(mmioDescend(h, &ck, &riff, MMIO_FINDCHUNK), MMSYSERR_NOERROR);
  ck.cksize = 0xFFFFFFFFu;
  EXPECT_EQ(mmioAscend(h, &ck, 0), MMSYSERR_NOERROR);
  char c;
  EXPECT_EQ(mmioRead(h, &c, 1), 0);
  ck.ckid = mmioFOURCC('d', 'a', 't', 'a');
  EXPECT_EQ(mmioDescend(h, &ck, &riff, MMIO_FINDCHUNK), MMIOERR_CHUNKNOTFOUND);
  mmioClose(h, 0);
}

TEST_F(Mmio, FindRiffNeedsTheFormType) {
  std::vector<uint8_t> bytes = Riff({});
  bytes[8] = 'A';  // "AAVE"
  HMMIO h = Open(bytes);
  MMCKINFO riff{};
  riff.fccType = mmioFOURCC('W', 'A', 'V', 'E');
  EXPECT_EQ(mmioDescend(h, &riff, nullptr, MMIO_FINDRIFF), MMIOERR_CHUNKNOTFOUND);
  mmioClose(h, 0);
}

TEST_F(Mmio, OpeningAndBadHandles) {
  std::string missing = dir.File("none.wav");
  EXPECT_EQ(mmioOpenA(missing.data(), nullptr, MMIO_READ), nullptr);
  // The exact name first, then any case, as on Windows.
  HMMIO exact = Open(Riff({}), "Sound.WAV");
  ASSERT_NE(exact, nullptr);
  mmioClose(exact, 0);
  std::string lower = dir.File("sound.wav");
  HMMIO h = mmioOpenA(lower.data(), nullptr, MMIO_READ);
  ASSERT_NE(h, nullptr);
  mmioClose(h, 0);
  EXPECT_EQ(mmioOpenA(lower.data(), nullptr, MMIO_WRITE), nullptr);

  char buf[4];
  EXPECT_EQ(mmioRead(nullptr, buf, 4), -1);
  MMCKINFO ck{};
  EXPECT_EQ(mmioDescend(nullptr, &ck, nullptr, MMIO_FINDCHUNK), MMSYSERR_INVALHANDLE);
  EXPECT_EQ(mmioClose(nullptr, 0), MMSYSERR_INVALHANDLE);
}

}  // namespace

namespace {

TEST_F(Mmio, ASearchGivesUpAfterMoreChunksThanAnyFileHolds) {
  // Empty chunks are stepped over eight bytes at a time: a few are walked, a file full of
  // them (or of zeros) is not walked to its end.
  std::vector<uint8_t> few;
  for (int i = 0; i < 100; ++i) few.insert(few.end(), {'J', 'U', 'N', 'K', 0, 0, 0, 0});
  std::vector<uint8_t> many = few;
  std::vector<uint8_t> wave = Riff({Chunk("fmt ", Fmt(1, 8000, 8)), Chunk("data", {1, 2})});
  for (int i = 0; i < 5000; ++i) many.insert(many.end(), {0, 0, 0, 0, 0, 0, 0, 0});
  few.insert(few.end(), wave.begin(), wave.end());
  many.insert(many.end(), wave.begin(), wave.end());
  for (const auto& [bytes, found] : {std::pair{few, true}, std::pair{many, false}}) {
    HMMIO h = Open(bytes);
    ASSERT_NE(h, nullptr);
    MMCKINFO riff{};
    riff.fccType = mmioFOURCC('W', 'A', 'V', 'E');
    EXPECT_EQ(mmioDescend(h, &riff, nullptr, MMIO_FINDRIFF), found ? MMSYSERR_NOERROR : MMIOERR_CHUNKNOTFOUND);
    mmioClose(h, 0);
  }
}

}  // namespace
