// The English message lines of the generated data set: one for every Japanese line, and
// every line of both files fits the message box in the font the HUD writes it with.
#include <gtest/gtest.h>

#include "SXView1/ViewData.h"
#include "platform/host/services/FontRaster.h"
#include "platform/rtl/StringList.h"

namespace {

TEST(EnglishWords, EveryJapaneseLineHasItsEnglishCounterpartAndBothFitTheMessageBox) {
  rtl::TStringList japanese, english;
  ReadWordsFile(std::string(TAVVY_DATA_DIR) + "words.dat", japanese);
  ReadWordsFile(std::string(TAVVY_DATA_DIR) + "words-en.dat", english);
  ASSERT_GE(japanese.Count(), 13);  // the game shows lines 0 to 12
  ASSERT_EQ(english.Count(), japanese.Count());
  // The HUD's font: "MS UI Gothic", 14 points at 96 dpi; the text starts at x 74 and the
  // box's right edge (with its pen of 3) is at 474.
  host::services::FontLibrary fonts;
  host::services::FontRequest request;
  request.face = "MS UI Gothic";
  request.charset = 128;
  request.height = -(14 * 96 + 36) / 72;
  auto font = fonts.Open(request);
  ASSERT_TRUE(font);
  for (int i = 0; i < english.Count(); ++i) {
    EXPECT_FALSE(english.Strings(i).empty()) << i;
    for (const std::string& line : {japanese.Strings(i), english.Strings(i)}) {
      EXPECT_LE(75 + font->TextWidth(line), 474 - 2) << "line " << i << ": " << line;
    }
    // English lines are plain ASCII, so any font of the machine can show them.
    for (unsigned char ch : english.Strings(i)) EXPECT_LT(ch, 0x80) << i;
  }
}

}  // namespace
