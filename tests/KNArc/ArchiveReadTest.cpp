#include <gtest/gtest.h>

#include <filesystem>

#include "KNArcTestUtil.h"
#include "platform/win/CodePage.h"
#include "support/TestSupport.h"

namespace {

using namespace knarctest;

std::string ReadText(const Bytes& archive, const std::string& id) {
  auto s = StreamOf(archive);
  return Text(*ArchiveReadStream(*s, id));
}

std::string NotFound(const std::string& id) {
  return "アーカイブ内には指定されたID '" + id + "' を持つデータが見つかりません";
}

// The message of the error ArchiveReadStream raises, or "" when it succeeds.
template <typename E = EKNAError>
std::string ErrorOf(const Bytes& archive, const std::string& id) {
  auto s = StreamOf(archive);
  try {
    ArchiveReadStream(*s, id);
  } catch (const E& e) {
    return e.Message();
  }
  return "";
}

const std::string kNotArchive = "Kiln Engine Archiveの扱えるデータではありません";

Bytes Sample(int32_t flag) {
  // "ship.bmp" packs "xyzxyz" with nested pairs; stored archives hold the text as is.
  const Bytes nested = Block({128, 2, 'z', 0, 'x', 'y', 255, 131, 251}, {1, 1});
  if (flag == 1)
    return MakeArchive(1, {{"Title.BMP", Block(kAllLiteral, Stored("title")), 5}, {"ship.bmp", nested, 6}});
  return MakeArchive(0, {{"Title.BMP", Stored("title"), 5}, {"ship.bmp", Stored("xyzxyz"), 6}});
}

TEST(ArchiveReadStream, FindsEntriesInStoredAndCompressedArchives) {
  for (int32_t flag : {0, 1}) {
    SCOPED_TRACE(flag);
    const Bytes archive = Sample(flag);
    auto source = StreamOf(archive);
    auto item = ArchiveReadStream(*source, "ship.bmp");
    EXPECT_EQ(item->Position(), 0);
    EXPECT_EQ(Text(*item), "xyzxyz");
    // The source is left where the reading of the entry's data ended.
    EXPECT_EQ(source->Position(), source->Size());
    EXPECT_EQ(ReadText(archive, "Title.BMP"), "title");
  }
  // Only a flag of exactly 1 means compressed.
  for (uint32_t flag : {2u, 0xFFFFFFFFu, 0x101u}) {
    Bytes stored = Sample(0);
    PutU32(stored, 0, flag);
    EXPECT_EQ(ReadText(stored, "ship.bmp"), "xyzxyz") << flag;
  }
}

TEST(ArchiveReadStream, MatchesWholeIDsWithoutRegardToCase) {
  const Bytes archive = MakeArchive(0, {{"Ship.Bmp", Stored("first"), 5},
                                        {"SHIP.BMP", Stored("second"), 6},
                                        {"ship.bmp.old", Stored("longer"), 6},
                                        {win::Utf8ToAnsi("テクスチャＡ.bmp"), Stored("jp"), 2}});
  EXPECT_EQ(ReadText(archive, "sHIP.bMP"), "first");  // the earlier duplicate wins
  EXPECT_EQ(ReadText(archive, "ship.bmp.OLD"), "longer");
  EXPECT_EQ(ReadText(archive, "テクスチャＡ.BMP"), "jp");
  EXPECT_EQ(ErrorOf(archive, "ship"), NotFound("ship"));  // a prefix is not a match
  EXPECT_EQ(ErrorOf(archive, "Ship.bmp.old.x"), NotFound("Ship.bmp.old.x"));
  // The message quotes the ID as the caller gave it.
  EXPECT_EQ(ErrorOf(archive, "Missing.BMP"), NotFound("Missing.BMP"));
}

TEST(ArchiveReadStream, TrailBytesOfDoubleByteCharactersAreNotLetters) {
  // "ア" is 83 41 in Shift-JIS; lower-casing its trail byte would turn it into "ヂ" (83 61).
  ASSERT_EQ(win::Utf8ToAnsi("ア"), "\x83\x41");
  const Bytes archive = MakeArchive(0, {{"\x83\x61", Stored("di"), 2}});
  EXPECT_EQ(ErrorOf(archive, "ア"), NotFound("ア"));
  EXPECT_EQ(ReadText(archive, "ヂ"), "di");
}

TEST(ArchiveReadStream, EmptyDirectoryFindsNothingAndRewinds) {
  const Bytes archive = MakeArchive(1, {});
  EXPECT_EQ(ErrorOf(archive, "x"), NotFound("x"));
  auto source = StreamOf(archive);
  EXPECT_THROW(ArchiveReadStream(*source, "x"), EKNAError);
  EXPECT_EQ(source->Position(), 0);  // seeked back after the directory
}

TEST(ArchiveReadStream, IDFillingItsWholeFieldIsReadUpToTheFieldEnd) {
  const std::string id(256, 'a');
  const Bytes archive = MakeArchive(0, {{id, Stored("full"), 4}, {"b", Stored("next"), 4}});
  EXPECT_EQ(ReadText(archive, id), "full");
  EXPECT_EQ(ReadText(archive, "b"), "next");
}

TEST(ArchiveReadStream, RejectsWhatIsNotAnArchive) {
  const Bytes good = Sample(0);
  Bytes magic = good;
  magic[7] = '1';
  EXPECT_EQ(ErrorOf(magic, "ship.bmp"), kNotArchive);
  EXPECT_EQ(ErrorOf(Bytes(good.begin(), good.begin() + 255), "ship.bmp"), kNotArchive);
  EXPECT_EQ(ErrorOf(Bytes{}, "ship.bmp"), kNotArchive);
  // Negative and huge entry counts: the directory cannot be in the file, nothing is allocated.
  for (uint32_t count : {0xFFFFFFFFu, 0x80000000u, 0x7FFFFFFFu, 3u}) {
    Bytes bad = good;
    PutU32(bad, 8, count);
    EXPECT_EQ(ErrorOf(bad, "ship.bmp"), kNotArchive) << count;
  }
}

TEST(ArchiveReadStream, RejectsEntriesOutsideTheFile) {
  for (int32_t flag : {0, 1}) {
    SCOPED_TRACE(flag);
    const Bytes good = Sample(flag);
    const uint32_t fileSize = static_cast<uint32_t>(good.size());
    auto patched = [&](size_t field, uint32_t value) {
      Bytes b = good;
      PutU32(b, DirField(1, field), value);
      return b;
    };
    EXPECT_EQ(ErrorOf(patched(0, fileSize), "ship.bmp"), kNotArchive);                 // data offset at the end
    EXPECT_EQ(ErrorOf(patched(0, 0xFFFFFFFFu), "ship.bmp"), kNotArchive);              // far beyond it
    EXPECT_EQ(ErrorOf(patched(0, fileSize - 3), "ship.bmp"), kNotArchive);             // data runs past it
    EXPECT_EQ(ErrorOf(Bytes(good.begin(), good.end() - 1), "ship.bmp"), kNotArchive);  // truncated file
    if (flag == 1) {
      EXPECT_EQ(ErrorOf(patched(4, fileSize), "ship.bmp"), kNotArchive);  // packed size
      EXPECT_EQ(ErrorOf(patched(4, 0xFFFFFFFFu), "ship.bmp"), kNotArchive);
      EXPECT_EQ(ErrorOf(patched(8, 0xFFFFFFFFu), "ship.bmp"), kNotArchive);  // absurd unpacked size
      EXPECT_EQ(ErrorOf(patched(8, 7), "ship.bmp"), kNotArchive);            // decodes to less
      EXPECT_EQ(ErrorOf(patched(8, 5), "ship.bmp"), kNotArchive);            // decodes to more
    } else {
      EXPECT_EQ(ErrorOf(patched(8, fileSize), "ship.bmp"), kNotArchive);
      EXPECT_EQ(ErrorOf(patched(8, 0xFFFFFFFFu), "ship.bmp"), kNotArchive);
      EXPECT_EQ(ReadText(patched(4, 0xFFFFFFFFu), "ship.bmp"), "xyzxyz");  // packed size unused
    }
    // The other entry still reads: the damage is found only where it is used.
    EXPECT_EQ(ReadText(patched(0, 0xFFFFFFFFu), "Title.BMP"), "title");
  }
}

TEST(ArchiveReadStream, CorruptPackedDataRaisesRangeError) {
  const Bytes cyclic = Block({128, 2, 'x', 0, 1, 'x', 255, 131, 251}, {1});
  const Bytes archive = MakeArchive(1, {{"loop", cyclic, 50}});
  EXPECT_FALSE(ErrorOf<rtl::ERangeError>(archive, "loop").empty());
}

size_t OpenFiles() {
  return static_cast<size_t>(
      std::distance(std::filesystem::directory_iterator("/proc/self/fd"), std::filesystem::directory_iterator()));
}

TEST(ArchiveReadFile, ReadsFromAFileAndClosesItOnEveryPath) {
  testsupport::TempDir dir;
  const std::string path = dir.File("data.kna");
  testsupport::WriteFileBytes(path, Sample(1));
  const size_t before = OpenFiles();
  EXPECT_EQ(Text(*ArchiveReadFile(path, "SHIP.bmp")), "xyzxyz");
  EXPECT_THROW(ArchiveReadFile(path, "nothing"), EKNAError);
  EXPECT_EQ(OpenFiles(), before);
  EXPECT_THROW(ArchiveReadFile(dir.File("missing.kna"), "ship.bmp"), rtl::EFOpenError);
}

}  // namespace
