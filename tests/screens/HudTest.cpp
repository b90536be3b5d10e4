// The head-up display on the back buffer: status line, bars, radar, warning, message box
// with portrait, captions.
#include <cmath>
#include <tuple>

#include "ScreensFixture.h"

namespace {

constexpr COLORREF kGrey = 0x404040;  // background that shows black ink and merged colours
constexpr COLORREF kWhite = 0xFFFFFF;
constexpr COLORREF kBlack = 0x000000;

class HudTest : public ScreensTest {
 protected:
  ScreensForm& Play() {
    ScreensForm& f = Start();
    Press(13);  // Enter: a game with its counters, as the play frame sees them
    f.MessageTime = 0;
    f.ReadyTime = 0;
    f.EnemyTop = 5;
    for (TSXFrame* e : f.EnemyFrames) e->Mesh = nullptr;
    return f;
  }
  // Segment k of a bar (1-based) at the bar's top: its inside colour.
  static COLORREF Segment(const TPixels& p, int k, int top) { return p.At(93 + 8 * k, top + 5); }
};

TEST_F(HudTest, StatusLineShowsEnergyStockAndScoreWithLeadingZeros) {
  ScreensForm& f = Play();
  f.Energy = 20;
  f.Stock = 2;
  f.Score = 123;
  FillBackBuffer(kGrey);
  HudTick();
  TPixels p = BackBuffer();
  // White faces one pixel right and down of their black copies.
  for (auto [x, y, text] : std::initializer_list<std::tuple<int, int, const char*>>{
           {10, 10, "ENERGY :"}, {320, 10, "STOCK : 02"}, {450, 10, "SCORE : 00000123"}}) {
    auto face = TextPixels("Tahoma", ANSI_CHARSET, 13, x + 1, y + 1, text);
    ASSERT_GT(face.size(), 20u);
    EXPECT_EQ(Mismatches(p, face, kWhite), 0) << text;
    std::vector<TPoint> shadow;
    for (const TPoint& q : TextPixels("Tahoma", ANSI_CHARSET, 13, x, y, text)) {
      if (std::find(face.begin(), face.end(), q) == face.end()) shadow.push_back(q);
    }
    EXPECT_EQ(Mismatches(p, shadow, kBlack), 0) << text;
  }
  // No target out: no "TARGET :" line and no green bar.
  EXPECT_EQ(p.Count(kGrey, 0, 28, 300, 50), 300 * 22);
  // Twenty segments: white frames (merged) round red insides (merged), the last at (250, 15)-(256, 26).
  for (int k = 1; k <= 20; ++k) EXPECT_EQ(Segment(p, k, 15), 0x4040FFu) << k;
  EXPECT_EQ(Segment(p, 21, 15), kGrey);
  for (auto [x, y] : std::initializer_list<std::pair<int, int>>{{250, 15}, {255, 15}, {250, 25}, {255, 25}})
    EXPECT_EQ(p.At(x, y), kWhite) << x << "," << y;
  EXPECT_EQ(p.At(256, 20), kGrey);
  EXPECT_EQ(p.At(253, 26), kGrey);
}

TEST_F(HudTest, EnergyBarHasNoSegmentsAtZeroOrBelowAndStopsAtTheScreenEdge) {
  ScreensForm& f = Play();
  for (int energy : {0, -5}) {
    f.Energy = energy;
    FillBackBuffer(kGrey);
    HudTick();
    TPixels p = BackBuffer();
    EXPECT_EQ(p.Count(kGrey, 95, 14, 300, 27), 205 * 13) << energy;
  }
  f.Energy = 2000000000;  // a count no screen can show ends at its right edge
  FillBackBuffer(kGrey);
  HudTick();
  TPixels p = BackBuffer();
  EXPECT_EQ(Segment(p, 67, 15), 0x4040FFu);
  EXPECT_EQ(p.At(630, 15), kWhite);
}

TEST_F(HudTest, TargetLineAndBarShowOnlyWhileTheTargetIsOut) {
  ScreensForm& f = Play();
  f.Energy = 1;
  f.TargetEnergy = 5;
  Place(f.TargetFrame, 500, 0, 0);  // out, but far off the radar
  FillBackBuffer(kGrey);
  HudTick();
  TPixels p = BackBuffer();
  EXPECT_EQ(Mismatches(p, TextPixels("Tahoma", ANSI_CHARSET, 13, 11, 31, "TARGET :"), kWhite), 0);
  for (int k = 1; k <= 5; ++k) EXPECT_EQ(Segment(p, k, 35), 0x40C040u) << k;  // green merged into grey
  EXPECT_EQ(Segment(p, 6, 35), kGrey);
  EXPECT_EQ(p.At(98, 35), kWhite);
  // Gone again: the target's mesh is what counts, not its energy.
  f.TargetFrame->Mesh = nullptr;
  FillBackBuffer(kGrey);
  HudTick();
  p = BackBuffer();
  EXPECT_EQ(p.Count(kGrey, 0, 28, 300, 50), 300 * 22);
}

TEST_F(HudTest, RadarIsExclusiveOrAndBlipsSitWhereTheEnemiesAreAroundTheShip) {
  ScreensForm& f = Play();
  f.PlayerFrame->SetPosition(f.RootFrame.get(), TVector3{100, -30, 50});
  Place(f.EnemyFrames[0], 10, 0, -20);           // (561 - 5, 401 - 10): (556, 391)-(564, 399)
  Place(f.EnemyFrames[1], -40, 50, 40);          // higher up: redder; (581, 421)
  Place(f.EnemyFrames[2], 30, -100, 60, false);  // no mesh: not an enemy in play
  Place(f.EnemyFrames[6], 0, 0, 0);              // above EnemyTop: not drawn
  Place(f.TargetFrame, -60, 0, -100);            // (591, 351), a larger blip
  FillBackBuffer(kBlack);
  HudTick();
  TPixels p = BackBuffer();
  // Enemy 0: a blip of pen red 127 round a fill of 0x33337F, exactly in its box.
  EXPECT_EQ(p.At(560, 395), 0x33337Fu);
  EXPECT_GT(p.Count(0x00007F, 556, 391, 564, 399), 10);
  auto blipInk = [&](int l, int t, int r, int b) {
    return p.Count(0x33337F, l, t, r, b) + p.Count(0x00007F, l, t, r, b);
  };
  EXPECT_EQ(blipInk(550, 385, 575, 405), blipInk(556, 391, 564, 399));
  EXPECT_EQ(p.At(555, 395), kBlack);
  EXPECT_EQ(p.At(564, 395), kBlack);
  // Enemy 1 at height 50: pen 177, fill 0x3333B1.
  EXPECT_EQ(p.At(585, 425), 0x3333B1u);
  EXPECT_GT(p.Count(177, 581, 421, 589, 429), 10);
  // The hidden enemy and the one above EnemyTop leave nothing.
  EXPECT_EQ(p.Count(0x33331B, 450, 300, 640, 480), 0);
  EXPECT_EQ(p.At(565, 405), kBlack);
  // The target's blip spans (589, 349)-(603, 363).
  EXPECT_EQ(p.At(596, 356), 0x33337Fu);
  EXPECT_NE(p.At(590, 356), kBlack);
  EXPECT_GT(p.Count(0x33337F, 589, 349, 603, 363), 80);
  // The ring and the ship's marker in green, every corner of the marker drawn.
  EXPECT_GT(p.Count(0x00FF00, 540, 330, 590, 331), 5);
  for (auto [x, y] : std::initializer_list<std::pair<int, int>>{{565, 400}, {560, 410}, {569, 410}, {570, 410}})
    EXPECT_EQ(p.At(x, y), 0x00FF00u) << x << "," << y;
  // Exclusive-or: drawn a second time, the radar takes itself away again.
  HudTick();
  TPixels twice = BackBuffer();
  EXPECT_EQ(twice.Count(kBlack, 490, 330, 640, 480), 150 * 150);
}

TEST_F(HudTest, RadarShowsOnlyWhatIsLessThan128UnitsAwayOnEveryAxis) {
  ScreensForm& f = Play();
  struct Case {
    float x, y, z;
    int px, py;  // the blip's middle
    bool shown;
  };
  for (const Case& c :
       {Case{127.9f, 0, 0, 502, 405, true}, Case{128, 0, 0, 501, 405, false}, Case{-127.9f, 0, 0, 628, 405, true},
        Case{0, 0, -127.9f, 565, 342, true}, Case{0, 0, -128, 565, 341, false}, Case{0, 127.9f, 0, 565, 405, true},
        Case{0, -128, 0, 565, 405, false}}) {
    Place(f.EnemyFrames[0], c.x, c.y, c.z);
    FillBackBuffer(kBlack);
    HudTick();
    TPixels p = BackBuffer();
    const int blips = p.Count(0x33337F + static_cast<int>(c.y), 490, 330, 640, 480);
    if (c.shown) {
      EXPECT_GT(blips, 10) << c.x << "," << c.y << "," << c.z;
      EXPECT_NE(p.At(c.px, c.py), kBlack) << c.x << "," << c.y << "," << c.z;
    } else {
      EXPECT_EQ(blips, 0) << c.x << "," << c.y << "," << c.z;
    }
  }
  // A position that is not a number is off the radar, not a crash.
  Place(f.EnemyFrames[0], std::nanf(""), 0, 0);
  FillBackBuffer(kBlack);
  HudTick();
  EXPECT_EQ(BackBuffer().Count(0x33337F, 490, 330, 640, 480), 0);
}

TEST_F(HudTest, RadarWarnsWhenExactlyOneEnemyIsMissingAndTheScreenIsQuiet) {
  ScreensForm& f = Play();
  TDDSDChannel* info = f.DDSD1->GetChannel(6);
  ASSERT_TRUE(info && info->Buffer());
  auto placeSix = [&](int inRange) {
    for (int i = 0; i <= 5; ++i) Place(f.EnemyFrames[static_cast<size_t>(i)], i < inRange ? 10.0f * i : 400.0f, 0, 0);
  };
  // Five of six on the radar: nothing to say.
  placeSix(5);
  HudTick();
  EXPECT_EQ(f.MessageTime, 0);
  // Four of six: the warning, line 8, the info sound.
  placeSix(4);
  HudTick();
  EXPECT_EQ(f.MessageIndex, 8);
  EXPECT_EQ(f.MessageTime, 19);  // 20, less this tick's count-down
  EXPECT_TRUE(info->GetStatus() & DSBSTATUS_PLAYING);
  // It waits for the box to go, then says it again 20 ticks after the first time.
  info->Stop();
  for (int t = 2; t <= 20; ++t) HudTick();
  EXPECT_EQ(f.MessageTime, 0);
  EXPECT_FALSE(info->GetStatus() & DSBSTATUS_PLAYING);
  HudTick();
  EXPECT_EQ(f.MessageTime, 19);
  EXPECT_TRUE(info->GetStatus() & DSBSTATUS_PLAYING);
  // Not while another message shows, the ship is dying or the stage is being cleared.
  struct Quiet {
    int message, death, clear;
  };
  for (Quiet q : {Quiet{3, 0, 0}, Quiet{0, 1, 0}, Quiet{0, 0, 5}, Quiet{0, 0, -1}}) {
    f.MessageTime = q.message;
    f.MessageIndex = 1;
    f.DeathTime = q.death;
    f.ClearCountdown = q.clear;
    HudTick();
    EXPECT_EQ(f.MessageIndex, 1) << q.message << " " << q.death << " " << q.clear;
  }
  // Three of six is not "one missing" either.
  f.MessageTime = f.DeathTime = f.ClearCountdown = 0;
  placeSix(3);
  HudTick();
  EXPECT_EQ(f.MessageTime, 0);
}

TEST_F(HudTest, MessageBoxShowsTheLineWithThePortraitAndBothGoTogether) {
  ScreensForm& f = Play();
  ASSERT_GE(f.Words.Count(), 13);
  f.MessageIndex = 3;
  f.MessageTime = 2;
  TPixels portrait = TPixels::Of(*f.Portrait);
  ASSERT_GE(portrait.width, 50);
  ASSERT_GE(portrait.height, 50);
  for (int tick = 1; tick <= 2; ++tick) {
    FillBackBuffer(kGrey);
    HudTick();
    TPixels p = BackBuffer();
    EXPECT_EQ(f.MessageTime, 2 - tick);
    // The box: grey merged with 0x808080 inside, a white three-pixel frame, open at the bottom.
    EXPECT_EQ(p.At(300, 470), 0xC0C0C0u);
    for (int x : {7, 8, 9}) EXPECT_EQ(p.At(x, 450), kWhite) << x;
    EXPECT_EQ(p.At(300, 418), kWhite);
    EXPECT_EQ(p.At(300, 479), 0xC0C0C0u);
    EXPECT_EQ(p.At(5, 450), kGrey);
    EXPECT_EQ(p.At(477, 450), kGrey);
    // The line in white over its black copy.
    auto face = TextPixels("MS UI Gothic", SHIFTJIS_CHARSET, 14, 75, 431, f.Words[3]);
    ASSERT_GT(face.size(), 50u);
    EXPECT_EQ(Mismatches(p, face, kWhite), 0);
    auto shadow = TextPixels("MS UI Gothic", SHIFTJIS_CHARSET, 14, 74, 430, f.Words[3]);
    int black = 0;
    for (const TPoint& q : shadow) black += p.At(q.x, q.y) == kBlack;
    EXPECT_GT(black, 20);
    // The portrait's top-left 50 x 50 pixels at (11, 421).
    int wrong = 0;
    for (int j = 0; j < 50; ++j)
      for (int i = 0; i < 50; ++i) wrong += p.At(11 + i, 421 + j) != portrait.At(i, j);
    EXPECT_EQ(wrong, 0);
  }
  // The count is out: neither box nor portrait, and the count stays at 0.
  FillBackBuffer(kGrey);
  HudTick();
  TPixels p = BackBuffer();
  EXPECT_EQ(f.MessageTime, 0);
  EXPECT_EQ(p.Count(kGrey, 0, 400, 480, 480), 480 * 80);
}

TEST_F(HudTest, AMessageLineTheFileDoesNotHaveShowsAnEmptyBox) {
  ScreensForm& f = Play();
  for (int index : {13, 1000, -1}) {
    f.MessageIndex = index;
    f.MessageTime = 1;
    FillBackBuffer(kGrey);
    HudTick();
    TPixels p = BackBuffer();
    EXPECT_EQ(p.Count(kWhite, 70, 425, 470, 470), 0) << index;
    EXPECT_EQ(p.At(300, 470), 0xC0C0C0u);
    EXPECT_EQ(f.MessageTime, 0);
  }
}

TEST_F(HudTest, StageCaptionWhileReadyAndClearCaptionsWithTheComingBonus) {
  ScreensForm& f = Play();
  f.Stage = 3;
  f.ReadyTime = 99;
  FillBackBuffer(kGrey);
  HudTick();
  ExpectOutlinedText(BackBuffer(), "Tahoma", ANSI_CHARSET, 30, 151, 131, "STAGE 3 READY?", kWhite);
  f.ReadyTime = 0;
  FillBackBuffer(kGrey);
  HudTick();
  EXPECT_EQ(BackBuffer().Count(kGrey, 0, 100, 640, 250), 640 * 150);

  f.Stage = 4;
  f.ClearCountdown = -1;
  FillBackBuffer(kGrey);
  HudTick();
  TPixels p = BackBuffer();
  ExpectOutlinedText(p, "Tahoma", ANSI_CHARSET, 30, 111, 131, "TRY TO NEXT STAGE !", kWhite);
  ExpectOutlinedText(p, "Tahoma", ANSI_CHARSET, 30, 101, 191, "GET BONUS POINT 4000", kWhite);
  // While the camera still circles (count-down running) there is no caption yet.
  f.ClearCountdown = 12;
  f.MessageTime = 5;  // keeps the radar warning away
  FillBackBuffer(kGrey);
  HudTick();
  EXPECT_EQ(BackBuffer().Count(kGrey, 0, 100, 640, 250), 640 * 150);
}

TEST_F(HudTest, WithoutAWorldTheDisplayStillDrawsAndNothingBreaks) {
  ScreensForm& f = Start(false);
  EXPECT_EQ(f.PlayerFrame, nullptr);
  f.Energy = 3;
  f.Score = 5;
  f.EnemyTop = 1000;  // nonsense slots are not read
  FillBackBuffer(kGrey);
  HudTick();
  EXPECT_EQ(Segment(BackBuffer(), 3, 15), 0x4040FFu);
}

}  // namespace
