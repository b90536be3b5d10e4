#include <gtest/gtest.h>

#include <filesystem>

#include "platform/rtl/StringList.h"
#include "support/TestSupport.h"

namespace {

using Fields = std::vector<std::string>;

TEST(CommaText, BlanksAndCommasSeparate) {
  EXPECT_EQ(rtl::SplitCommaText("1,2,3"), (Fields{"1", "2", "3"}));
  EXPECT_EQ(rtl::SplitCommaText("1 2\t3"), (Fields{"1", "2", "3"}));
  EXPECT_EQ(rtl::SplitCommaText("  1 , 2 ,3  "), (Fields{"1", "2", "3"}));
  // Control characters count as blanks.
  EXPECT_EQ(rtl::SplitCommaText("\x01"
                                "a\x1f"
                                "b"),
            (Fields{"a", "b"}));
  EXPECT_EQ(rtl::SplitCommaText(""), Fields{});
  EXPECT_EQ(rtl::SplitCommaText("   "), Fields{});
}

TEST(CommaText, EmptyFieldsComeFromCommasInARow) {
  EXPECT_EQ(rtl::SplitCommaText("a,,b"), (Fields{"a", "", "b"}));
  EXPECT_EQ(rtl::SplitCommaText("a, ,b"), (Fields{"a", "", "b"}));
  EXPECT_EQ(rtl::SplitCommaText(",a"), (Fields{"", "a"}));
  // A comma at the very end gives no field; two give one.
  EXPECT_EQ(rtl::SplitCommaText("a,"), (Fields{"a"}));
  EXPECT_EQ(rtl::SplitCommaText("a,,"), (Fields{"a", ""}));
}

TEST(CommaText, QuotesGroupAndDoubleQuotesEscape) {
  EXPECT_EQ(rtl::SplitCommaText("\"a b\",c"), (Fields{"a b", "c"}));
  EXPECT_EQ(rtl::SplitCommaText("\"say \"\"hi\"\"\""), (Fields{"say \"hi\""}));
  EXPECT_EQ(rtl::SplitCommaText("\"\""), (Fields{""}));
  // Text right after the closing quote starts the next field.
  EXPECT_EQ(rtl::SplitCommaText("\"ab\"cd,e"), (Fields{"ab", "cd", "e"}));
  // A quote that never closes takes the rest.
  EXPECT_EQ(rtl::SplitCommaText("\"a,b c"), (Fields{"a,b c"}));
  // A quote inside an unquoted field is just a character.
  EXPECT_EQ(rtl::SplitCommaText("a\"b"), (Fields{"a\"b"}));
}

TEST(CommaText, NulEndsTheTextAndMultibyteTextPassesThrough) {
  EXPECT_EQ(rtl::SplitCommaText(std::string_view("1,2\0,3", 6)), (Fields{"1", "2"}));
  EXPECT_EQ(rtl::SplitCommaText("敵,\x93\x47"), (Fields{"敵", "\x93\x47"}));
}

TEST(CommaText, JoinedTextSplitsBackIntoTheSameFields) {
  rtl::TStringList list;
  for (const std::string& s : {std::string("plain"), std::string(""), std::string("with space"), std::string("a,b"),
                               std::string("q\"uote"), std::string("tab\there")}) {
    list.Add(s);
  }
  rtl::TStringList again;
  again.SetCommaText(list.CommaText());
  EXPECT_EQ(again.Items(), list.Items());
  rtl::TStringList single;
  single.Add("");
  again.SetCommaText(single.CommaText());
  EXPECT_EQ(again.Items(), single.Items());
}

TEST(StringList, LinesSplitAtCrLfAndCrLf) {
  EXPECT_EQ(rtl::SplitLines("a\r\nb\nc\rd"), (Fields{"a", "b", "c", "d"}));
  EXPECT_EQ(rtl::SplitLines("a\n"), (Fields{"a"}));
  EXPECT_EQ(rtl::SplitLines("a\n\nb"), (Fields{"a", "", "b"}));
  // LF CR is two line ends.
  EXPECT_EQ(rtl::SplitLines("a\n\rb"), (Fields{"a", "", "b"}));
  EXPECT_EQ(rtl::SplitLines(""), Fields{});
  EXPECT_EQ(rtl::SplitLines(std::string_view("a\nb\0c\nd", 7)), (Fields{"a", "b"}));
}

TEST(StringList, IndexOutsideTheListRaisesTheListError) {
  rtl::TStringList list;
  list.SetCommaText("x,y");
  EXPECT_EQ(list[1], "y");
  try {
    (void)list.Strings(2);
    FAIL();
  } catch (const rtl::EStringListError& e) {
    EXPECT_STREQ(e.what(), "List index out of bounds (2)");
  }
  EXPECT_THROW((void)list.Strings(-1), rtl::EStringListError);
  EXPECT_THROW(list.Put(5, "z"), rtl::EStringListError);
  EXPECT_THROW(list.Delete(2), rtl::EStringListError);
  list.Delete(0);
  EXPECT_EQ(list.Count(), 1);
}

TEST(StringList, LoadsFilesAndReportsMissingOnes) {
  testsupport::TempDir dir;
  testsupport::WriteFileText(dir.File("t.txt"), "one\r\ntwo\rthree");
  rtl::TStringList list;
  list.LoadFromFile(dir.File("t.txt"));
  EXPECT_EQ(list.Items(), (Fields{"one", "two", "three"}));
  EXPECT_EQ(list.Text(), "one\r\ntwo\r\nthree\r\n");
  try {
    list.LoadFromFile(dir.File("missing.txt"));
    FAIL();
  } catch (const rtl::EFOpenError& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot open file " + dir.File("missing.txt"));
  }
}

}  // namespace

namespace {

std::vector<std::string> LinesOf(const std::string& text, rtl::TTextLimits limits = {1 << 20, 1 << 16, 1 << 16}) {
  rtl::TMemoryStream s;
  s.WriteBuffer(text.data(), static_cast<int64_t>(text.size()));
  s.SetPosition(0);
  return rtl::ReadTextLines(s, limits);
}

TEST(ReadTextLines, SplitsAsTheWholeTextIsSplitAndStopsAtItsLimits) {
  for (const std::string& text :
       {std::string(""), std::string("a"), std::string("a\r\n"), std::string("a\n\nb"), std::string("\n"),
        std::string("a\rb\r\r\n"), std::string("x\0y\nz", 5), std::string("end\r")}) {
    EXPECT_EQ(LinesOf(text), rtl::SplitLines(text)) << text;
  }
  // Lines across the 64 KiB pieces the reader takes at a time.
  const std::string longer = std::string(70000, 'a') + "\r\n" + std::string(70000, 'b');
  EXPECT_EQ(LinesOf(longer, {1 << 20, 80000, 10}), rtl::SplitLines(longer));
  // A line, a count of lines or a size past the limit stops the reading, saying which.
  try {
    LinesOf("ok\n" + std::string(300, 'x'), {1 << 20, 256, 10});
    ADD_FAILURE();
  } catch (const rtl::EReadError& e) {
    EXPECT_STREQ(e.what(), "line 2 is longer than 256 bytes");
  }
  try {
    LinesOf("1\n2\n3\n4\n5\n6\n", {1 << 20, 256, 5});
    ADD_FAILURE();
  } catch (const rtl::EReadError& e) {
    EXPECT_STREQ(e.what(), "more than 5 lines");
  }
  EXPECT_THROW(LinesOf(std::string(200000, '\n'), {100000, 256, 1 << 20}), rtl::EReadError);
}

TEST(ReadTextLines, AFolderIsRefusedByNameInsteadOfReadAsNothing) {
  testsupport::TempDir dir;
  std::filesystem::create_directories(dir.Path() / "View.dat");
  try {
    rtl::ReadTextLinesFromFile(dir.File("View.dat"), {1 << 20, 256, 5});
    ADD_FAILURE();
  } catch (const rtl::EFOpenError& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot open file " + dir.File("View.dat") + ": it is a folder");
  }
}

}  // namespace
