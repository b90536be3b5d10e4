// The English message lines of the generated data set: one for every Japanese line, and
// every line of both files fits the message box in the font the HUD writes it with. The
// components' own messages in English, for the boxes of a player who chose English.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "KNArc/KNArc.h"
#include "SXView1/ComponentWords.h"
#include "SXView1/ViewData.h"
#include "platform/host/services/FontRaster.h"
#include "platform/rtl/StringList.h"
#include "platform/rtl/SysUtils.h"

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

size_t Holes(std::string_view text) {
  size_t n = 0;
  for (size_t at = text.find("%s"); at != std::string_view::npos; at = text.find("%s", at + 2)) ++n;
  return n;
}

bool IsAscii(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

TEST(ComponentWords, EveryMessageHasOneEnglishCounterpartWithTheSameVaryingParts) {
  std::set<std::string_view> seen;
  for (const TComponentMessage& m : ComponentMessages()) {
    EXPECT_TRUE(seen.insert(m.japanese).second) << "twice: " << m.japanese;
    EXPECT_FALSE(IsAscii(m.japanese)) << m.japanese;
    EXPECT_TRUE(IsAscii(m.english)) << m.english;
    EXPECT_EQ(Holes(m.japanese), Holes(m.english)) << m.japanese;
  }
}

TEST(ComponentWords, MessagesComeOutInEnglishWithTheirVaryingPartsAndErrorCodes) {
  // The texts as the components make them.
  EXPECT_EQ(ComponentMessageInEnglish(KNANotArchiveMessage), "The data is not a Kiln Engine Archive.");
  EXPECT_EQ(ComponentMessageInEnglish(rtl::Format(KNANotFoundMessage, "title")),
            "The archive holds no data with the ID 'title'.");
  EXPECT_EQ(ComponentMessageInEnglish("画面モードが不適切です。色数を 16 ビットに設定して、起動しなおしてください。"),
            "The screen mode is not suitable. Set the display to 16-bit colour and start the game again.");
  EXPECT_EQ(ComponentMessageInEnglish("チャンネル番号12は無効です、0～10の範囲で指定してください"),
            "Channel number 12 is not valid; give a number from 0 to 10.");
  EXPECT_EQ(ComponentMessageInEnglish("Data/gunshot.wavが、見つかりません"), "Data/gunshot.wav cannot be found.");
  EXPECT_EQ(ComponentMessageInEnglish("SXLib: Data/ボール.sx が、開けません"),
            "SXLib: Data/ボール.sx cannot be opened.");
  // A check's error code stays behind the message.
  EXPECT_EQ(ComponentMessageInEnglish("DirectInputの作成に失敗しました(Error Code(80004005))"),
            "The input system could not be created.(Error Code(80004005))");
  EXPECT_EQ(ComponentMessageInEnglish("setWaveData サウンドバッファの複製に失敗しました"),
            "setWaveData: the sound buffer could not be duplicated.");
  // Anything else is left as it is.
  for (const std::string& other : {std::string("Stream read error"), std::string("が、見つかりません"),
                                   std::string("予期しないエラー"), std::string()}) {
    EXPECT_EQ(ComponentMessageInEnglish(other), other);
  }
}

}  // namespace
