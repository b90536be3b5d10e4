#include <gtest/gtest.h>

#include <filesystem>

#include "Ddidex/DDIDLog.h"
#include "common/DataReport.h"
#include "ddsd/DDSDLog.h"
#include "kiln/KilnLog.h"
#include "platform/win/CodePage.h"
#include "support/TestSupport.h"

namespace {

class DebugLog : public ::testing::Test {
 protected:
  testsupport::TempDir dir;
  testsupport::ScopedModuleDir module{dir.Path().string()};
  void TearDown() override {
    KilnDebugUnit().ResetForTest(ddoHaltOnError | ddoDebugMessage);
    DDSDDebugUnit().ResetForTest(dsoHaltOnError | dsoDebugMessage);
    DDIDDebugUnit().ResetForTest(dioHaltOnError | dioDebugMessage);
  }
  std::string Log(const char* name) { return testsupport::ReadFileText(dir.File(name)); }
};

TEST_F(DebugLog, LinesAreNumberedAndEndWithCrLf) {
  KilnDebugUnit().ResetForTest(ddoDebugMessage);
  KilnLog("first");
  KilnLog("second");
  EXPECT_EQ(Log("kiln.debug"), "debug#00001 ... first\r\ndebug#00002 ... second\r\n");
}

TEST_F(DebugLog, FirstLineOfARunEmptiesTheFile) {
  testsupport::WriteFileText(dir.File("kiln.debug"), "old run\r\n");
  KilnDebugUnit().ResetForTest(ddoDebugMessage);
  KilnLog("new");
  EXPECT_EQ(Log("kiln.debug"), "debug#00001 ... new\r\n");
}

TEST_F(DebugLog, JapaneseIsWrittenInShiftJis) {
  KilnDebugUnit().ResetForTest(ddoDebugMessage);
  KilnLog("不正なBMPファイルです");
  const std::string expected = "debug#00001 ... " + win::Utf8ToAnsi("不正なBMPファイルです") + "\r\n";
  EXPECT_EQ(Log("kiln.debug"), expected);
  // 不 in Shift-JIS, right after the prefix.
  EXPECT_EQ(static_cast<unsigned char>(Log("kiln.debug")[16]), 0x95);
  EXPECT_EQ(static_cast<unsigned char>(Log("kiln.debug")[17]), 0x73);
}

TEST_F(DebugLog, DetailLinesNeedBothSwitches) {
  KilnDebugUnit().ResetForTest(ddoDetailedLog);
  KilnDetailLog("detail");
  KilnLog("plain");
  EXPECT_FALSE(std::filesystem::exists(dir.File("kiln.debug")));
  KilnDebugUnit().ResetForTest(ddoDebugMessage);
  KilnDetailLog("hidden");
  KilnDebugUnit().ResetForTest(ddoDebugMessage | ddoDetailedLog);
  KilnDetailLog("shown");
  EXPECT_EQ(Log("kiln.debug"), "debug#00001 ... shown\r\n");
}

TEST_F(DebugLog, CheckFormatsTheFullThirtyTwoBitCode) {
  KilnDebugUnit().ResetForTest(ddoDebugMessage);
  EXPECT_EQ(KilnCheck(0, "never"), 0);
  EXPECT_EQ(KilnCheck(static_cast<HRESULT>(0x88760064), "surface"), static_cast<HRESULT>(0x88760064));
  EXPECT_EQ(KilnCheck(1, "one"), 1);
  EXPECT_EQ(Log("kiln.debug"),
            "debug#00001 ... surface(Error Code(88760064))\r\n"
            "debug#00002 ... one(Error Code(1))\r\n");
}

TEST_F(DebugLog, CheckHaltsInAnOrderlyWayAfterItsLine) {
  KilnDebugUnit().ResetForTest(ddoHaltOnError | ddoDebugMessage);
  EXPECT_THROW(KilnCheck(E_FAIL, "fatal"), rtl::EHalt);
  EXPECT_EQ(Log("kiln.debug"), "debug#00001 ... fatal(Error Code(80004005))\r\n");
  // Halt without the write switch: nothing written, still halts.
  KilnDebugUnit().ResetForTest(ddoHaltOnError);
  EXPECT_THROW(KilnCheck(E_FAIL, "quiet"), rtl::EHalt);
}

TEST_F(DebugLog, SoundUnitRaisesOnEveryLineBeforeTheHaltIsConsulted) {
  DDSDDebugUnit().ResetForTest(dsoHaltOnError | dsoDebugMessage | dsoExceptOnError);
  try {
    DDSDCheck(E_FAIL, "buffer");
    FAIL() << "expected EDDSD";
  } catch (const EDDSD& e) {
    EXPECT_EQ(e.Message(), "buffer(Error Code(80004005))");
  }
  // Any line raises, not only failures; and it raises even when nothing is written.
  DDSDDebugUnit().ResetForTest(dsoExceptOnError);
  EXPECT_THROW(DDSDLog("just a note"), EDDSD);
  EXPECT_EQ(Log("ddsd.debug"), "debug#00001 ... buffer(Error Code(80004005))\r\n");
}

TEST_F(DebugLog, EachUnitNumbersItsOwnFile) {
  KilnDebugUnit().ResetForTest(ddoDebugMessage);
  DDIDDebugUnit().ResetForTest(dioDebugMessage);
  KilnLog("k1");
  DDIDLog("i1");
  KilnLog("k2");
  EXPECT_EQ(Log("kiln.debug"), "debug#00001 ... k1\r\ndebug#00002 ... k2\r\n");
  EXPECT_EQ(Log("ddid.debug"), "debug#00001 ... i1\r\n");
  DDIDDebugUnit().ResetForTest(dioExceptOnError);
  EXPECT_THROW(DDIDLog("x"), EDDID);
}

TEST_F(DebugLog, AnUnwritableLogIsToldOnceAndTheGameGoesOn) {
  std::vector<std::string> told;
  data::ForgetReports();
  data::SetDataSink([&](const std::vector<data::TDataProblem>& p) {
    for (const auto& x : p) told.push_back(data::Describe(x));
  });
  {
    testsupport::ScopedModuleDir nowhere("/nonexistent-tavvy-dir/");
    KilnDebugUnit().ResetForTest(ddoDebugMessage);
    EXPECT_NO_THROW(KilnLog("lost"));
    EXPECT_NO_THROW(KilnLog("lost again"));
  }
  data::SetDataSink(nullptr);
  data::ForgetReports();
  ASSERT_EQ(told.size(), 1u);
  EXPECT_EQ(told[0],
            "/nonexistent-tavvy-dir/kiln.debug: cannot be written (No such file or directory); the game goes "
            "on without writing this log; what the file held is kept.");
}

TEST_F(DebugLog, AFullDiskKeepsTheOldLog) {
  // /dev/full takes nothing: a log folder whose files all live on a full disk is faked
  // by the log file being a link to it.
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  data::ForgetReports();
  data::SetDataSink([](const std::vector<data::TDataProblem>&) {});
  KilnDebugUnit().ResetForTest(ddoDebugMessage);
  KilnLog("first run");
  const std::string old = Log("kiln.debug");
  ASSERT_EQ(old, "debug#00001 ... first run\r\n");
  // A new run whose first line cannot be written: the file of the last run stays.
  std::filesystem::create_symlink("/dev/full", dir.File("kiln.debug.new"));
  KilnDebugUnit().ResetForTest(ddoDebugMessage);
  EXPECT_NO_THROW(KilnLog("second run"));
  EXPECT_EQ(Log("kiln.debug"), old);
  std::filesystem::remove(dir.File("kiln.debug.new"));
  // Once the disk has room again the run's log starts anew.
  KilnLog("third line");
  EXPECT_EQ(Log("kiln.debug"), "debug#00002 ... third line\r\n");
  data::SetDataSink(nullptr);
  data::ForgetReports();
}

}  // namespace
