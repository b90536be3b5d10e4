// The two screens round the play: the title (a still picture composed once with GDI,
// with a pulsing prompt written over it every tick) and the game-over screen (the frozen
// scene of the lost game with the final score, for 400 ticks).
#include <algorithm>
#include <array>
#include <string>

#include "SXView1/Channels.h"
#include "SXView1/ScreenText.h"
#include "SXView1/TForm1.h"
#include "platform/rtl/SysUtils.h"

using forms::TBrushStyle;
using screens::kBlack;
using screens::kWhite;
using screens::OutlinedText;
using screens::SetFont;

namespace {

// The credits of the title screen: a heading and four roles with their names.
constexpr const char* kPresenter = "Presented by the Tavvyhop project";
constexpr const char* kStaffHeading = "STAFF";
struct TCredit {
  const char* role;
  const char* name;
};
// Role labels end in a full-width space and a hyphen, so the names line up after them.
constexpr std::array<TCredit, 4> kCredits = {{
    {"原作脚本　-", "Tavvy Team"},
    {"美術監督　-", "assetgen"},
    {"特殊効果　-", "Kiln Engine"},
    {"協　　賛　-", "All Players"},
}};
constexpr int kHeadingX = 437, kHeadingY = 50;
constexpr int kRoleX = 432, kNameX = 532, kFirstRowY = 80, kRowStep = 30;
// The names sit three pixels above the line of their labels.
constexpr int kNameRaise = 3;

// The outline copies of a block of texts: the whole block one pixel right, left, down, up.
template <typename Draw>
void OutlineCopies(Draw draw) {
  for (auto [dx, dy] : std::array<std::pair<int, int>, 4>{{{1, 0}, {-1, 0}, {0, 1}, {0, -1}}}) draw(dx, dy);
}

constexpr forms::TColor kHeadingColour = 0xFFCCCC, kRoleColour = 0xCCFFCC, kNameColour = 0xCCCCFF;
constexpr forms::TColor kPresenterColour = 0xCCFFFF;

}  // namespace

void TForm1::EnterTitleScene() {
  // The frames exist once the scene is built; before that there is nothing to hide.
  const auto hide = [](TSXFrame* frame) {
    if (frame) frame->Mesh = nullptr;
  };
  for (TSXFrame* f : {PlayerFrame, BladeFrame, EarthFrame, ColonyFrame}) hide(f);
  TitlePulse = 0;
  TitlePulseStep = 1;
  for (TSXFrame* f : StarFrames) hide(f);
  for (TSXFrame* f : ShotFrames) hide(f);
  const int top = std::min(EnemyTop, kEnemySlots - 1);
  for (int i = 0; i <= top; ++i) hide(EnemyFrames[static_cast<size_t>(i)]);
  for (TSXFrame* f : ExplosionFrames) hide(f);
  for (int channel = 0; channel <= game::channel::LastStoppedTogether; ++channel) DDSDStopChannel(channel);
  // The music channel once more when it holds a wave, as the game always has.
  if (TDDSDChannel* music = DDSD1 ? DDSD1->GetChannel(game::channel::Music) : nullptr; music && music->WaveData()) {
    DDSDStopChannel(game::channel::Music);
  }
}

void TForm1::ComposeTitle() {
  forms::TCanvas& canvas = Image2->Canvas();
  if (const forms::TGraphic* picture = Image1->Picture.Graphic()) canvas.Draw(0, 0, *picture);
  if (TitleBitmap) canvas.Draw(30, 30, *TitleBitmap);

  // Presenter line at the foot of the picture.
  canvas.Brush.Style = TBrushStyle::bsClear;
  SetFont(canvas.Font, "ＭＳ Ｐゴシック", SHIFTJIS_CHARSET, 11, kBlack);
  OutlinedText(canvas, 167, 430, kPresenter, kPresenterColour);

  // Staff block: heading and role labels, outlined as a block.
  SetFont(canvas.Font, "ＭＳ ゴシック", SHIFTJIS_CHARSET, 11, kBlack);
  const auto roleY = [](size_t row) { return kFirstRowY + kRowStep * static_cast<int>(row); };
  OutlineCopies([&](int dx, int dy) {
    canvas.TextOut(kHeadingX + dx, kHeadingY + dy, kStaffHeading);
    for (size_t row = 0; row < kCredits.size(); ++row) canvas.TextOut(kRoleX + dx, roleY(row) + dy, kCredits[row].role);
  });
  canvas.Font.Color = kHeadingColour;
  canvas.TextOut(kHeadingX, kHeadingY, kStaffHeading);
  canvas.Font.Color = kRoleColour;
  for (size_t row = 0; row < kCredits.size(); ++row) canvas.TextOut(kRoleX, roleY(row), kCredits[row].role);

  // The names beside them, in a larger Latin face.
  SetFont(canvas.Font, "Tahoma", ANSI_CHARSET, 13, kBlack);
  for (size_t row = 0; row < kCredits.size(); ++row) {
    const int y = roleY(row) - kNameRaise;
    OutlineCopies([&](int dx, int dy) { canvas.TextOut(kNameX + dx, y + dy, kCredits[row].name); });
  }
  canvas.Font.Color = kNameColour;
  for (size_t row = 0; row < kCredits.size(); ++row)
    canvas.TextOut(kNameX, roleY(row) - kNameRaise, kCredits[row].name);
}

void TForm1::TitleFrame() {
  // Written on the form itself, over the composed picture that the form paints.
  forms::TCanvas& canvas = Canvas();
  SetFont(canvas.Font, "Tahoma", ANSI_CHARSET, 18, kBlack);
  canvas.Brush.Style = TBrushStyle::bsClear;
  OutlinedText(canvas, 237, 380, "PRESS ENTER KEY", static_cast<forms::TColor>(std::clamp(TitlePulse, 0, 255)));
  // The face pulses through the red levels 0, 8, ..., 248 and back, one step a tick.
  TitlePulse += 8 * TitlePulseStep;
  if (TitlePulse >= 247 || TitlePulse < 8) TitlePulseStep = -TitlePulseStep;
}

void TForm1::GameOverFrame() {
  if (DeathTime <= 0) {
    GameState = 0;
    EnterTitle();
    return;
  }
  DeathTime = DeathTime - 1;

  // The scene of the lost game, frozen: nothing moves on this screen.
  if (KN && KN->D3DDevice) RenderWorld();
  if (!KN || !KN->BackBuffer) return;

  {
    TKilnCanvas canvas(*KN->BackBuffer);
    // A lost back buffer skips this tick's picture; the count goes on.
    if (!canvas.Ready) return;
    canvas.Brush.Style = TBrushStyle::bsClear;
    SetFont(canvas.Font, "Tahoma", ANSI_CHARSET, 30, kBlack);
    OutlinedText(canvas, 201, 221, "GAME OVER...", kWhite);
    SetFont(canvas.Font, "Tahoma", ANSI_CHARSET, 13, kBlack);
    canvas.Brush.Style = TBrushStyle::bsClear;
    const std::string score = rtl::Format("SCORE : %.8d", Score);
    canvas.TextOut(450, 10, score);
    canvas.Font.Color = kWhite;
    canvas.TextOut(451, 11, score);
  }
  KNFlip();
}
