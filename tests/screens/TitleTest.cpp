// The title picture, its pulsing prompt, the way back to it, and the game-over screen.
#include "ScreensFixture.h"

namespace {

constexpr COLORREF kWhite = 0xFFFFFF;
constexpr COLORREF kBlack = 0x000000;

class TitleTest : public ScreensTest {
 protected:
  // A game that has just been lost: state 2 with `ticks` of the game-over screen to go.
  ScreensForm& GameOver(int ticks, bool fullScreen = false) {
    ScreensForm& f = Start(true, fullScreen);
    Press(13);
    f.GameState = 2;
    f.DeathTime = ticks;
    return f;
  }
};

TEST_F(TitleTest, ComposedTitleHasThePictureTheLogoAndOutlinedCredits) {
  ScreensForm& f = Start();
  ASSERT_TRUE(f.Image2->Visible());
  TPixels title = TPixels::Of(f.Image2->Picture.Bitmap());
  ASSERT_EQ(title.width, 640);
  ASSERT_EQ(title.height, 480);
  // The title picture fills the screen where nothing is written over it.
  auto* jpeg = dynamic_cast<const forms::TJPEGImage*>(f.Image1->Picture.Graphic());
  ASSERT_NE(jpeg, nullptr);
  TPixels picture = TPixels::Of(jpeg->Bitmap());
  for (auto [x, y] : std::initializer_list<std::pair<int, int>>{{5, 470}, {639, 479}, {320, 250}, {10, 300}}) {
    EXPECT_EQ(title.At(x, y), picture.At(x, y)) << x << "," << y;
  }
  // The logo at (30, 30), as it is.
  TPixels logo = TPixels::Of(*f.TitleBitmap);
  ASSERT_GT(logo.width, 10);
  int wrong = 0;
  for (int j = 0; j < logo.height; ++j)
    for (int i = 0; i < logo.width && 30 + i < 430; ++i) wrong += title.At(30 + i, 30 + j) != logo.At(i, j);
  EXPECT_EQ(wrong, 0);
  // The role labels in green over black outlines, their names to the right in blue,
  // the heading in pale blue, the presenter line in pale yellow.
  const char* roles[] = {"原作脚本　-", "美術監督　-", "特殊効果　-", "協　　賛　-"};
  for (int row = 0; row < 4; ++row) {
    ExpectOutlinedText(title, "ＭＳ ゴシック", SHIFTJIS_CHARSET, 11, 432, 80 + 30 * row, roles[row], 0xCCFFCC);
    EXPECT_GT(title.Count(0xCCCCFF, 532, 77 + 30 * row, 640, 97 + 30 * row), 40) << row;
    EXPECT_GT(title.Count(kBlack, 531, 76 + 30 * row, 640, 98 + 30 * row), 40) << row;
  }
  EXPECT_GT(title.Count(0xFFCCCC, 437, 50, 640, 66), 20);
  EXPECT_GT(title.Count(0xCCFFFF, 167, 430, 640, 446), 40);
  EXPECT_EQ(title.Count(0xCCFFFF, 0, 0, 640, 428), 0);
}

TEST_F(TitleTest, PromptPulsesThroughTheRedLevelsOneStepATick) {
  ScreensForm& f = Start();
  auto face = TextPixels("Tahoma", ANSI_CHARSET, 18, 237, 380, "PRESS ENTER KEY");
  ASSERT_GT(face.size(), 100u);
  std::vector<TPoint> outline;
  for (auto [dx, dy] : std::initializer_list<std::pair<int, int>>{{-1, 0}, {1, 0}, {0, -1}, {0, 1}}) {
    for (const TPoint& q : TextPixels("Tahoma", ANSI_CHARSET, 18, 237 + dx, 380 + dy, "PRESS ENTER KEY")) {
      if (std::find(face.begin(), face.end(), q) == face.end()) outline.push_back(q);
    }
  }
  // 0, 8, ..., 240, 248, 240, ..., 8, 0, 8, ...: 62 ticks a cycle.
  int level = 0, step = 8;
  for (int tick = 1; tick <= 130; ++tick) {
    RunTicks(1);
    TPixels screen = TPixels::Of(f.Surface());
    ASSERT_EQ(Mismatches(screen, face, static_cast<COLORREF>(level)), 0) << "tick " << tick << " level " << level;
    ASSERT_EQ(Mismatches(screen, outline, kBlack), 0) << "tick " << tick;
    ASSERT_GE(f.TitlePulse, 0);
    ASSERT_LE(f.TitlePulse, 248);
    if (level + step > 248 || level + step < 0) step = -step;
    level += step;
  }
  // Back from a game the pulse starts again from black.
  Press(13);
  Press(27);
  RunTicks(1);
  EXPECT_EQ(Mismatches(TPixels::Of(f.Surface()), face, kBlack), 0);
  EXPECT_EQ(f.TitlePulse, 8);
}

TEST_F(TitleTest, EnteringTheTitleHidesTheWorldAndStopsTheEffects) {
  ScreensForm& f = Start();
  Press(13);
  TSXMesh* mesh = f.MeshBody.get();
  for (TSXFrame* frame : {f.PlayerFrame, f.BladeFrame, f.EarthFrame, f.ColonyFrame, f.TargetFrame}) frame->Mesh = mesh;
  for (auto* frames : {&f.StarFrames, &f.ShotFrames})
    for (TSXFrame* frame : *frames) frame->Mesh = mesh;
  for (TSXFrame* frame : f.EnemyFrames) frame->Mesh = mesh;
  for (TSXFrame* frame : f.ExplosionFrames) frame->Mesh = mesh;
  f.EnemyTop = 7;
  TDDSDChannel* gun = f.DDSD1->GetChannel(0);
  TDDSDChannel* crash = f.DDSD1->GetChannel(8);
  gun->PlayLooped();
  crash->PlayLooped();
  f.TitlePulse = 120;
  f.TitlePulseStep = -1;
  Press(27);
  EXPECT_EQ(f.GameState, 0);
  for (TSXFrame* frame : {f.PlayerFrame, f.BladeFrame, f.EarthFrame, f.ColonyFrame}) EXPECT_EQ(frame->Mesh, nullptr);
  for (TSXFrame* frame : f.StarFrames) EXPECT_EQ(frame->Mesh, nullptr);
  for (TSXFrame* frame : f.ShotFrames) EXPECT_EQ(frame->Mesh, nullptr);
  for (TSXFrame* frame : f.ExplosionFrames) EXPECT_EQ(frame->Mesh, nullptr);
  for (int i = 0; i <= 7; ++i) EXPECT_EQ(f.EnemyFrames[static_cast<size_t>(i)]->Mesh, nullptr) << i;
  // Slots above EnemyTop and the target are left for the next stage's reset.
  for (int i = 8; i <= 11; ++i) EXPECT_EQ(f.EnemyFrames[static_cast<size_t>(i)]->Mesh, mesh) << i;
  EXPECT_EQ(f.TargetFrame->Mesh, mesh);
  EXPECT_FALSE(gun->GetStatus() & DSBSTATUS_PLAYING);
  EXPECT_FALSE(crash->GetStatus() & DSBSTATUS_PLAYING);
  EXPECT_EQ(f.TitlePulse, 0);
  EXPECT_EQ(f.TitlePulseStep, 1);
  EXPECT_TRUE(f.Image2->Visible());
  // An EnemyTop beyond the slots reads no further than the last slot.
  f.EnemyTop = 500;
  f.GameState = 1;
  Press(27);
  EXPECT_EQ(f.EnemyFrames[11]->Mesh, nullptr);
}

TEST_F(TitleTest, WithoutAWorldTheTitleAndGameOverStillRun) {
  ScreensForm& f = Start(false);
  EXPECT_TRUE(f.Image2->Visible());
  RunTicks(3);
  f.GameState = 2;
  f.DeathTime = 2;
  RunTicks(3);
  EXPECT_EQ(f.GameState, 0);
}

TEST_F(TitleTest, GameOverShowsTheFrozenSceneAndTheScoreFor400TicksThenTheTitle) {
  ScreensForm& f = GameOver(400);  // as the play frame leaves it when the last ship is lost
  f.Score = 12340;
  f.EnemyFrames[0]->Mesh = f.MeshBody.get();
  FillBackBuffer(0x123456);
  RunTicks(1);
  EXPECT_EQ(f.DeathTime, 399);
  TPixels shown = Presented();
  ASSERT_EQ(shown.width, 640);
  ExpectOutlinedText(shown, "Tahoma", ANSI_CHARSET, 30, 201, 221, "GAME OVER...", kWhite);
  EXPECT_EQ(Mismatches(shown, TextPixels("Tahoma", ANSI_CHARSET, 13, 451, 11, "SCORE : 00012340"), kWhite), 0);
  // The scene is drawn afresh under the texts (nothing of the old picture is left), with
  // no head-up display, and nothing in it moves from one tick to the next.
  EXPECT_EQ(shown.Count(0x123456, 0, 0, 640, 480), 0);
  EXPECT_EQ(shown.Count(kBlack, 0, 300, 640, 480) > 640 * 90, true);
  FillBackBuffer(0x123456);
  RunTicks(1);
  EXPECT_EQ(Presented().pixels, shown.pixels);
  EXPECT_EQ(f.DeathTime, 398);
  // 400 drawn ticks, then the title on the next.
  RunTicks(398);
  EXPECT_EQ(f.GameState, 2);
  EXPECT_EQ(f.DeathTime, 0);
  EXPECT_FALSE(f.Image2->Visible());
  RunTicks(1);
  EXPECT_EQ(f.GameState, 0);
  EXPECT_TRUE(f.Image2->Visible());
  EXPECT_EQ(f.EnemyFrames[0]->Mesh, nullptr);
  EXPECT_FALSE(f.OnMouseMove);
  RunTicks(1);  // and the title ticks on
  EXPECT_EQ(f.TitlePulse, 8);
}

TEST_F(TitleTest, EscapeEndsTheGameOverScreenAtOnce) {
  ScreensForm& f = GameOver(250);
  RunTicks(5);
  Press(27);
  EXPECT_EQ(f.GameState, 0);
  EXPECT_TRUE(f.Image2->Visible());
  EXPECT_FALSE(app_->Terminated());
}

TEST_F(TitleTest, ALostBackBufferSkipsTheGameOverPictureButTheCountGoesOn) {
  ScreensForm& f = GameOver(10, true);  // full screen: the back buffer lives in video memory
  RunTicks(1);
  TPixels before = Presented();
  ddraw::LoseSurfaces();
  ASSERT_TRUE(f.KN->BackBuffer->IsLost());
  f.Score = 99999;  // would change the picture if one were presented
  RunTicks(1);
  EXPECT_EQ(f.DeathTime, 8);
  EXPECT_EQ(Presented().pixels, before.pixels);
}

}  // namespace
