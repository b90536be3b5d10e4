// The autopilot of demo and soak runs: it plays the game through the same controls a
// player has, so everything it does goes through the ship step like real input. It
// reads the game state only (never the random generator), so a seeded run with the
// autopilot replays exactly.
#include <cmath>

#include "SXView1/TForm1.h"

namespace {

constexpr uint32_t kTitlePause = 40;  // ticks on the title before it presses Enter
constexpr float kAimCone = 0.04f;     // off-axis share of the direction it still calls "ahead"
constexpr float kFireRange = 260.0f;  // shots fly 300 units
constexpr float kMissileRange = 400.0f;
constexpr float kBladeRange = 14.0f;
constexpr float kKeepAway = 25.0f;    // closer than this it stops pushing forward
constexpr uint32_t kVolleyEvery = 6;  // ticks between volleys (press, then release)
constexpr uint32_t kMissilesEvery = 90;

}  // namespace

void TForm1::AutopilotTitleTick() {
  if (GameState != 0) {
    AutopilotTitleTicks = 0;
    return;
  }
  if (++AutopilotTitleTicks < kTitlePause) return;
  AutopilotTitleTicks = 0;
  WORD key = 13;  // Enter
  FormKeyDown(this, key, 0);
}

TForm1::TShipControls TForm1::AutopilotControls() {
  TShipControls c;
  ++AutopilotClock;
  if (!PlayerFrame || !PlayerFrame->Mesh) return c;

  // The quarry: the stage target while it is out (the stage ends only with it), else the
  // nearest enemy; positions in the ship's own coordinates, whose nose points along -Z.
  const TSXFrame* quarry = nullptr;
  TVector3 best{};
  float bestDistance = 0;
  float nearestEnemy = 1e30f;
  auto consider = [&](const TSXFrame* f) {
    TVector3 p = f->GetPosition(PlayerFrame);
    float d = std::sqrt(p.x * p.x + p.y * p.y + p.z * p.z);
    if (!quarry || d < bestDistance) {
      quarry = f;
      best = p;
      bestDistance = d;
    }
    return d;
  };
  for (int i = 0; i <= EnemyTop && i < kEnemySlots; ++i) {
    if (EnemyFrames[static_cast<size_t>(i)] && EnemyFrames[static_cast<size_t>(i)]->Mesh) {
      float d = consider(EnemyFrames[static_cast<size_t>(i)]);
      if (d < nearestEnemy) nearestEnemy = d;
    }
  }
  if (TargetFrame && TargetFrame->Mesh) {
    quarry = nullptr;
    consider(TargetFrame);
  }
  if (!quarry) {
    // Nothing to fight: drift back towards the middle of the world.
    TVector3 home = RootFrame->GetPosition(PlayerFrame);
    best = home;
    bestDistance = std::sqrt(home.x * home.x + home.y * home.y + home.z * home.z);
    if (bestDistance < 50) return c;
  }

  float inv = bestDistance > 0 ? 1.0f / bestDistance : 0.0f;
  TVector3 dir{best.x * inv, best.y * inv, best.z * inv};
  // A positive yaw swings the nose towards -x, a positive pitch towards -y.
  if (dir.z > 0) {
    c.h = dir.x > 0 ? -1 : 1;  // behind: keep turning one way until it is ahead
  } else {
    if (dir.x > kAimCone) c.h = -1;
    if (dir.x < -kAimCone) c.h = 1;
    if (dir.y > kAimCone) c.v = -1;
    if (dir.y < -kAimCone) c.v = 1;
  }
  bool ahead = dir.z < -0.93f;
  if (quarry) {
    c.Buttons[2] = bestDistance > kKeepAway;               // thrusters
    c.Buttons[1] = ahead && bestDistance > 4 * kKeepAway;  // afterburner
    c.Buttons[0] = ahead && bestDistance < kFireRange && AutopilotClock % kVolleyEvery == 0;
    c.Buttons[3] = dir.z < -0.7f && bestDistance < kMissileRange && AutopilotClock % kMissilesEvery == 0;
  } else {
    c.Buttons[2] = true;
  }
  c.Buttons[4] = nearestEnemy < kBladeRange;
  return c;
}
