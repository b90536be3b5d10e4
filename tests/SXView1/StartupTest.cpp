#include "Form1Fixture.h"
#include "SXView1/ViewData.h"
#include "platform/win/WinWindows.h"

namespace {

using Calls = std::vector<std::string>;

TEST_F(Form1Test, FormCreateRunsInItsOrderAndAppliesTheDialog) {
  WriteData(dir_);
  RecordingForm1& f = Start();
  Calls expected = {
      "KNSetD3DOptions 16",  // MakeZBuffer
      "KNSetFullScreenMode 640 480 16 0 ''",
      "KNSetD3DOptions 16",
      "KNSetRenderState 9 2",   // Gouraud
      "KNSetRenderState 29 1",  // specular on
      "DDSDCreateMusicBuffer",
      "DDSDLoadSoundEffects",
      "JoySetKeyMap 0 0 44",
      "JoySetKeyMap 0 1 45",
      "JoySetKeyMap 0 2 46",
      "JoySetKeyMap 0 3 30",
      "JoySetKeyMap 0 4 31",
      "JoySetKeyMap 0 5 16",
      "KNInitScene",
      "EnterTitleScene",
      "ComposeTitle",
  };
  EXPECT_EQ(f.Calls, expected);
  EXPECT_EQ(f.StockSetting, 2);
  EXPECT_EQ(f.GameState, 0);
  EXPECT_EQ(f.ViewIndex, 2);
  EXPECT_EQ(f.ViewMatrices[0].m[3][2], -10.0f);
  EXPECT_EQ(f.ViewMatrices[2].m[2][2], 3.0f);
  EXPECT_EQ(f.ViewMatrices[3].m[0][0], 0.0f);  // no fourth line: stays zero
  // The camera starts from slot 1 although the index is 2.
  EXPECT_EQ(std::memcmp(&f.CameraMatrix, &f.ViewMatrices[1], sizeof(TMatrix4)), 0);
  EXPECT_EQ(f.Words.Count(), 2);
  EXPECT_EQ(f.MessageLine(0), "よろしく");
  EXPECT_EQ(f.MessageLine(1), "line1");
  EXPECT_EQ(f.MessageLine(12), "");  // a missing line shows an empty message
  EXPECT_EQ(f.MessageLine(-1), "");
  ASSERT_TRUE(f.Portrait);
  EXPECT_EQ(f.Portrait->Width(), 2);
  EXPECT_EQ(f.DataDir, dir_.Dir() + "Data/");
  EXPECT_TRUE(app_->OnIdle);
  EXPECT_TRUE(f.Image2->Visible());
  EXPECT_FALSE(f.OnMouseMove);
  EXPECT_EQ(f.Caption(), "Tavvyhop");
  EXPECT_EQ(f.ClientWidth(), 640);
  EXPECT_EQ(f.ClientHeight(), 480);
  EXPECT_EQ(SinOf(1024), 1.0f);  // KNInit filled the tables
}

TEST_F(Form1Test, EveryDialogControlReachesTheComponentsAndTheLives) {
  WriteData(dir_);
  TCommandLine c;
  c.FullScreen = false;
  c.NoMmx = c.NoHal = c.NoTnlHal = true;
  c.Flat = true;
  c.Specular = false;
  c.Lives = 1;
  RecordingForm1& f = Start(c);
  EXPECT_FALSE(f.Called("KNSetFullScreenMode"));
  EXPECT_TRUE(f.Called("KNSetD3DOptions 23"));  // MakeZBuffer | MMX | HAL | TnL
  EXPECT_TRUE(f.Called("KNSetRenderState 9 1"));
  EXPECT_TRUE(f.Called("KNSetRenderState 29 0"));
  EXPECT_EQ(f.StockSetting, 0);

  c = {};
  c.Lives = 100;
  RecordingForm1& g = Start(c);
  EXPECT_EQ(g.StockSetting, 99);
}

TEST_F(Form1Test, CancelEndsTheProgramWithoutAGameButTheSceneBuildStillRuns) {
  // No data at all: nothing is read after Cancel.
  TCommandLine c;
  c.Ok = false;
  RecordingForm1& f = Start(c);
  EXPECT_TRUE(app_->Terminated());
  EXPECT_EQ(f.Calls, (Calls{"KNInitScene", "EnterTitleScene", "ComposeTitle"}));
  EXPECT_FALSE(f.Portrait);
}

TEST_F(Form1Test, ABadViewFileStopsStartUpBeforeTheSceneBuild) {
  struct Case {
    std::string view;
    std::string message;  // after "<file> (line n): "
    int line;
  };
  const std::string row = "1,0,0,0,0,1,0,0,0,0,1,0,0,3,-10,1\n";
  for (const Case& c :
       {Case{"1,2,3\n", "List index out of bounds (3)", 1},
        Case{row + "1,0,0,0,0,1,0,x,0,0,1,0,0,3,-10,1\n", "'x' is not a valid floating point value", 2},
        Case{row + row + row + row + row, "Range check error (only four camera placements fit)", 5},
        Case{row + "\n", "List index out of bounds (0)", 2},
        Case{row + "1,,0,0,0,1,0,0,0,0,1,0,0,3,-10,1\n", "'' is not a valid floating point value", 2}}) {
    testsupport::TempDir dir;
    WriteData(dir, c.view);
    app_.reset();
    host_.reset();
    try {
      Start({}, dir.Dir() + "Data");
      ADD_FAILURE() << "no error for " << c.message;
    } catch (const rtl::Exception& e) {
      std::string where = dir.Dir() + "Data/View.dat (line " + std::to_string(c.line) + "): ";
      EXPECT_EQ(std::string(e.what()), where + c.message);
    }
    auto* f = dynamic_cast<RecordingForm1*>(app_->MainForm);
    ASSERT_TRUE(f);
    EXPECT_FALSE(f->Called("KNInitScene"));
    EXPECT_FALSE(app_->OnIdle);
  }
}

TEST(ViewData, ParsesRowByRowAndRejectsWhatDoesNotFit) {
  TViewMatrices views{};
  ParseViewLines({"1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 junk", "\"-1.5\",2e1,3,4,5,6,7,8,9,10,11,12,13,14,15,16"},
                 "V", views);
  EXPECT_EQ(views[0].m[0][1], 2.0f);
  EXPECT_EQ(views[0].m[1][0], 5.0f);
  EXPECT_EQ(views[0].m[3][3], 16.0f);
  EXPECT_EQ(views[1].m[0][0], -1.5f);
  EXPECT_EQ(views[1].m[0][1], 20.0f);
  EXPECT_THROW(ParseViewLines({std::string("\x01\xff\xfe,\x80garbage\x00", 13)}, "V", views), rtl::EConvertError);
  // An overlong number overflows; the message shows only its start.
  try {
    ParseViewLines({std::string(100000, '1')}, "V", views);
    ADD_FAILURE();
  } catch (const rtl::EConvertError& e) {
    EXPECT_EQ(std::string(e.what()),
              "V (line 1): '" + std::string(40, '1') + "...' is not a valid floating point value");
  }
  EXPECT_THROW(ParseViewLines({"1" + std::string(100000, ' ') + "2"}, "V", views), rtl::EStringListError);
  std::string overlong;
  for (int i = 0; i < 20000; ++i) overlong += "1,";
  ParseViewLines({overlong}, "V", views);  // fields after the sixteenth are ignored
  EXPECT_EQ(views[0].m[3][3], 1.0f);
  EXPECT_THROW(ReadViewFile("/nonexistent/View.dat", views), rtl::EFOpenError);
}

TEST(WordsData, ReadsShiftJisAndUtf8WithAByteOrderMark) {
  testsupport::TempDir dir;
  testsupport::WriteFileBytes(dir.File("sjis.dat"), {0x93, 0x47, 0x82, 0xf0, '\r', '\n', 'o', 'k', '\n', 0x82});
  rtl::TStringList words;
  ReadWordsFile(dir.File("sjis.dat"), words);
  ASSERT_EQ(words.Count(), 3);
  EXPECT_EQ(words[0], "敵を");
  EXPECT_EQ(words[1], "ok");
  EXPECT_EQ(words[2], "\xEF\xBF\xBD");  // a lead byte cut off at the end
  testsupport::WriteFileText(dir.File("utf8.dat"), "\xEF\xBB\xBF敵を倒した\nbad \xff byte\n");
  ReadWordsFile(dir.File("utf8.dat"), words);
  ASSERT_EQ(words.Count(), 2);
  EXPECT_EQ(words[0], "敵を倒した");
  EXPECT_EQ(words[1], "bad \xEF\xBF\xBD byte");
  // Without the mark the same bytes are Shift-JIS and come out as other characters.
  EXPECT_NE(DecodeWordsText("敵")[0], "敵");
  try {
    ReadWordsFile(dir.File("none.dat"), words);
    FAIL();
  } catch (const rtl::EFOpenError& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot open file " + dir.File("none.dat"));
  }
}

TEST_F(Form1Test, SoundAndInputSetTheirCooperativeLevelsWithTheFormsWindow) {
  WriteData(dir_);
  RecordingForm1& f = Start();
  const HWND window = f.Handle();
  EXPECT_TRUE(win::IsWindow(window));
  EXPECT_EQ(f.Joy->OwnerWindow(), window);
  EXPECT_EQ(f.DDSD1->OwnerWindow(), window);
  EXPECT_EQ(f.KN->WindowHandle, window);
  // The sound level was taken (the game's switches would have ended the program otherwise):
  // the primary buffer that needs it exists.
  EXPECT_TRUE(f.DDSD1->Initialized());
  EXPECT_NE(f.DDSD1->PrimaryBuffer(), nullptr);
}

}  // namespace
