// The head-up display, drawn with GDI on the back buffer after the 3-D scene: the radar,
// the energy, stock and score line, the target's energy, the message box with its
// portrait, and the captions at the start and the end of a stage. The radar also raises
// the warning about enemies that have slipped out of its range.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string>

#include "SXView1/Channels.h"
#include "SXView1/ScreenText.h"
#include "SXView1/TForm1.h"
#include "platform/rtl/SysUtils.h"

using forms::TBrushStyle;
using forms::TPenMode;
using forms::TPenStyle;
using screens::kBlack;
using screens::kWhite;
using screens::OutlinedText;
using screens::SetBrushColor;
using screens::SetFont;

namespace {

// Only this much of the radar's world is drawn: a cube of 256 units round the ship.
constexpr float kRadarRange = 128.0f;
// Bars of segments 8 pixels apart from x = 98; beyond the right edge of the screen a
// segment could never be seen, so the count stops there.
constexpr int kBarLeft = 90, kBarStep = 8, kBarWidth = 6;
constexpr int kScreenWidth = 640;

// Where a frame appears on the radar, seen from above (the ship's x axis runs right to
// left, its z axis downwards); nothing when it is out of range.
struct TBlip {
  int x, y, height;
};

std::optional<TBlip> RadarBlip(const TSXFrame* frame, const TSXFrame* player) {
  const TVector3 p = frame->GetPosition(player);
  // Written so that a position that is not a number fails the test too.
  if (!(std::fabs(p.x) < kRadarRange && std::fabs(p.z) < kRadarRange && std::fabs(p.y) < kRadarRange)) {
    return std::nullopt;
  }
  return TBlip{561 - static_cast<int>(p.x / 2), 401 + static_cast<int>(p.z / 2), static_cast<int>(p.y)};
}

// The blip's colours follow its height: a red of 0..254 for the rim, a reddish grey inside.
void BlipColours(TKilnCanvas& canvas, const TBlip& blip) {
  canvas.Pen.Color = static_cast<forms::TColor>(blip.height + 127);
  SetBrushColor(canvas.Brush, static_cast<forms::TColor>(blip.height + 0x33337F));
}

void DrawBar(TKilnCanvas& canvas, int segments, int top) {
  const int visible = (kScreenWidth - kBarLeft) / kBarStep;
  for (int k = 1; k <= std::min(segments, visible); ++k) {
    canvas.Rectangle(kBarLeft + kBarStep * k, top, kBarLeft + kBarStep * k + kBarWidth, top + 11);
  }
}

bool ShowsMesh(const TSXFrame* frame) { return frame && frame->Mesh; }

}  // namespace

void TForm1::DrawHud(TKilnCanvas& canvas) {
  // Radar frame and the ship's marker, exclusive-or'ed into the picture.
  canvas.Pen.Color = 0x00FF00;
  canvas.Pen.Style = TPenStyle::psSolid;
  canvas.Pen.Mode = TPenMode::pmXor;
  canvas.Brush.Style = TBrushStyle::bsClear;
  canvas.Ellipse(490, 330, 639, 479);
  canvas.MoveTo(565, 400);
  canvas.LineTo(560, 410);
  canvas.LineTo(570, 410);
  canvas.LineTo(565, 400);

  // Enemy blips (still exclusive-or), counted for the warning; the target's is larger.
  int count = 0;
  if (PlayerFrame) {
    const int top = std::clamp(EnemyTop, -1, kEnemySlots - 1);
    for (int i = 0; i <= top; ++i) {
      const TSXFrame* enemy = EnemyFrames[static_cast<size_t>(i)];
      if (!ShowsMesh(enemy)) continue;
      if (auto blip = RadarBlip(enemy, PlayerFrame)) {
        BlipColours(canvas, *blip);
        canvas.Ellipse(blip->x, blip->y, blip->x + 8, blip->y + 8);
        ++count;
      }
    }
    if (ShowsMesh(TargetFrame)) {
      if (auto blip = RadarBlip(TargetFrame, PlayerFrame)) {
        BlipColours(canvas, *blip);
        canvas.Ellipse(blip->x - 2, blip->y - 2, blip->x + 12, blip->y + 12);
      }
    }
  }

  // One enemy short on the radar: it has slipped out of range. The warning waits for a
  // quiet moment (no message, no death or clear sequence) and repeats while it lasts.
  if (count == int64_t{EnemyTop} - 1 && MessageTime == 0 && DeathTime == 0 && ClearCountdown == 0) {
    MessageTime = 20;
    MessageIndex = 8;
    RestartChannel(game::channel::Info);
  }

  // Status line: black, then white one pixel right and down.
  const bool targetOut = ShowsMesh(TargetFrame);
  const std::string stock = rtl::Format("STOCK : %.2d", Stock);
  const std::string score = rtl::Format("SCORE : %.8d", Score);
  SetFont(canvas.Font, "Tahoma", ANSI_CHARSET, 13, kBlack);
  canvas.Brush.Style = TBrushStyle::bsClear;
  for (int shift : {0, 1}) {
    if (shift) canvas.Font.Color = kWhite;
    canvas.TextOut(10 + shift, 10 + shift, "ENERGY :");
    canvas.TextOut(320 + shift, 10 + shift, stock);
    canvas.TextOut(450 + shift, 10 + shift, score);
    if (targetOut) canvas.TextOut(10 + shift, 30 + shift, "TARGET :");
  }

  // Energy and target bars, merged (OR) into the picture.
  canvas.Pen.Color = kWhite;
  canvas.Pen.Width = 1;
  SetBrushColor(canvas.Brush, 0x0000FF);
  canvas.Pen.Mode = TPenMode::pmMerge;
  DrawBar(canvas, Energy, 15);
  if (targetOut) {
    SetBrushColor(canvas.Brush, 0x008000);
    DrawBar(canvas, TargetEnergy, 35);
  }

  // Message box; it runs off the bottom of the screen on purpose, as it always has.
  if (MessageTime >= 1) {
    canvas.Pen.Color = kWhite;
    canvas.Pen.Width = 3;
    SetBrushColor(canvas.Brush, 0x808080);
    canvas.Pen.Mode = TPenMode::pmMerge;
    canvas.Rectangle(8, 418, 474, 500);
    canvas.Brush.Style = TBrushStyle::bsClear;
    SetFont(canvas.Font, "MS UI Gothic", SHIFTJIS_CHARSET, 14, kBlack);
    const std::string& line = MessageLine(MessageIndex);
    canvas.TextOut(74, 430, line);
    canvas.Font.Color = kWhite;
    canvas.TextOut(75, 431, line);
  }

  // Stage caption while the stage is getting ready.
  if (ReadyTime >= 1) {
    canvas.Brush.Style = TBrushStyle::bsClear;
    SetFont(canvas.Font, "Tahoma", ANSI_CHARSET, 30, kBlack);
    OutlinedText(canvas, 151, 131, "STAGE " + std::to_string(Stage) + " READY?", kWhite);
  }

  // Stage cleared: the way on and the bonus that the next stage adds.
  if (ClearCountdown < 0) {
    canvas.Brush.Style = TBrushStyle::bsClear;
    SetFont(canvas.Font, "Tahoma", ANSI_CHARSET, 30, kBlack);
    OutlinedText(canvas, 111, 131, "TRY TO NEXT STAGE !", kWhite);
    OutlinedText(canvas, 101, 191, "GET BONUS POINT " + std::to_string(int64_t{Stage} * 1000), kWhite);
  }
}

void TForm1::HudPortrait() {
  if (MessageTime < 1) return;
  // Copied after the canvas has given the back buffer's device context back: the surface
  // cannot be handed to GDI twice.
  if (Portrait && KN && KN->BackBuffer) KN->BackBuffer->BltFromDC(11, 421, 50, 50, Portrait->DC(), 0, 0);
  MessageTime = MessageTime - 1;
}
