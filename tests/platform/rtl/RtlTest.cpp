#include <gtest/gtest.h>

#include "platform/rtl/Classes.h"
#include "platform/rtl/Random.h"
#include "platform/rtl/SysUtils.h"
#include "support/TestSupport.h"

namespace {

TEST(Random, FollowsTheRunTimeLibrarysGenerator) {
  rtl::SetRandSeed(0);
  // seed' = seed * 0x08088405 + 1: from 0 the first state is 1, then 0x08088406.
  EXPECT_EQ(rtl::Random(100), 0);  // (100 * 1) >> 32
  EXPECT_EQ(rtl::RandSeed(), 1u);
  EXPECT_EQ(rtl::Random(1000), static_cast<int>((1000ull * 0x08088406ull) >> 32));
  rtl::SetRandSeed(12345);
  double r = rtl::Random();
  EXPECT_EQ(r, static_cast<double>(12345u * 0x08088405u + 1u) / 4294967296.0);
  for (int i = 0; i < 1000; ++i) {
    int v = rtl::Random(3);
    ASSERT_GE(v, 0);
    ASSERT_LT(v, 3);
    double d = rtl::Random();
    ASSERT_GE(d, 0.0);
    ASSERT_LT(d, 1.0);
  }
}

TEST(Conversions, FloatsFollowThePlatformRules) {
  EXPECT_EQ(rtl::StrToFloat(" -1.5 "), -1.5);
  EXPECT_EQ(rtl::StrToFloat("2e3"), 2000.0);
  EXPECT_EQ(rtl::StrToFloat(".5"), 0.5);
  EXPECT_EQ(rtl::StrToFloat("7."), 7.0);
  for (const char* bad : {"", "-", "1,5", "abc", "1e", "0x10", "inf", "nan", "1.5x", "1e400"}) {
    double v;
    EXPECT_FALSE(rtl::TryStrToFloat(bad, v)) << bad;
  }
  try {
    rtl::StrToFloat("abc");
    FAIL();
  } catch (const rtl::EConvertError& e) {
    EXPECT_EQ(e.Message(), "'abc' is not a valid floating point value");
  }
}

TEST(Conversions, Integers) {
  EXPECT_EQ(rtl::StrToInt("100"), 100);
  EXPECT_EQ(rtl::StrToInt("-2147483648"), INT32_MIN);
  EXPECT_EQ(rtl::StrToInt("$1F"), 31);
  EXPECT_EQ(rtl::StrToIntDef("2147483648", 3), 3);
  EXPECT_EQ(rtl::StrToIntDef("3x", 3), 3);
  EXPECT_THROW(rtl::StrToInt(""), rtl::EConvertError);
}

TEST(Streams, MemoryStreamReadsWritesAndGrows) {
  rtl::TMemoryStream m;
  m.WriteBuffer("abcdef", 6);
  EXPECT_EQ(m.Size(), 6);
  m.SetPosition(10);
  m.WriteBuffer("Z", 1);  // writing past the end grows the stream
  EXPECT_EQ(m.Size(), 11);
  m.SetPosition(4);
  char buf[8] = {};
  EXPECT_EQ(m.Read(buf, 8), 7);
  m.SetPosition(9);
  EXPECT_THROW(m.ReadBuffer(buf, 5), rtl::EReadError);
  EXPECT_THROW(m.SetSize(-1), rtl::EOutOfMemory);
}

TEST(Streams, FileStreamOpenErrorNamesTheFile) {
  try {
    rtl::TFileStream f("/nonexistent/View.dat", rtl::fmOpenRead);
    FAIL();
  } catch (const rtl::EFOpenError& e) {
    EXPECT_EQ(e.Message(), "Cannot open file /nonexistent/View.dat");
  }
  testsupport::TempDir dir;
  {
    rtl::TFileStream f(dir.File("a.bin"), rtl::fmCreate);
    f.WriteBuffer("hello", 5);
  }
  rtl::TMemoryStream m;
  m.LoadFromFile(dir.File("A.BIN"));  // names match without regard to case when the exact one is missing
  EXPECT_EQ(m.Size(), 5);
  EXPECT_EQ(m.Position(), 0);
}

}  // namespace
