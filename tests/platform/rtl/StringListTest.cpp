#include <gtest/gtest.h>

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
