// The player's ship: steering, drift and thrust, the flames and glows that show the
// thrust, the blade, the view button, the five-shot volley and the missile pair.
#include <cstddef>

#include "SXView1/TForm1.h"
#include "SXView1/game/Effects.h"
#include "SXView1/game/Steering.h"
#include "platform/rtl/Random.h"

using game::Scaled;
using game::TurnInOwnSpace;
using game::TurnVelocity;

namespace {

constexpr TAngle kShipTurn = 20;  // yaw and pitch per tick
constexpr double kDrag = 0.95;
constexpr TAngle kBladeStep = -512;  // eight steps make one turn about the ship's x axis
constexpr int kBladeSteps = 8;
constexpr float kWarnFarFromOrigin = 2500;
constexpr float kWarnNearEarth = 1800;
constexpr float kWarnNearColony = 400;

size_t At(int i) { return static_cast<size_t>(i); }

}  // namespace

TForm1::TShipControls TForm1::ReadControls() {
  TShipControls c;
  if (Joy) {
    Joy->PollDevices({TDDIDEX::DeviceKeyboard, TDDIDEX::DeviceFirstJoystick});
    TDDIDDirections d = Joy->GetDirections();
    c.h = static_cast<int>(d.lX);
    c.v = static_cast<int>(d.lY);
    for (size_t i = 0; i < c.Buttons.size(); ++i) c.Buttons[i] = Joy->Button(static_cast<int>(i));
  }
  if (RunOptions().Autopilot) {
    // The autopilot flies; keys held on top of it still count (a demo can be steered).
    TShipControls a = AutopilotControls();
    if (a.h != 0 || a.v != 0) {
      c.h = a.h;
      c.v = a.v;
    }
    for (size_t i = 0; i < c.Buttons.size(); ++i) c.Buttons[i] = c.Buttons[i] || a.Buttons[i];
  }
  return c;
}

void TForm1::PlayerStep() {
  if (!WorldReady()) return;
  TSXFrame* root = RootFrame.get();

  // 1. Input.
  const TShipControls in = ReadControls();
  const int h = in.h > 0 ? 1 : (in.h < 0 ? -1 : 0);
  const int v = in.v > 0 ? 1 : (in.v < 0 ? -1 : 0);

  // 2. Steering: the frame turns about its own y and x axes, the drift about z and y.
  if (h != 0 || v != 0) {
    TurnInOwnSpace(*PlayerFrame, kShipTurn * h, kShipTurn * v);
    Play.PlayerVelocity = TurnVelocity(Play.PlayerVelocity, kShipTurn * h, kShipTurn * v);
  }

  // 3. Blade: a swing, once started, runs its eight steps to the end.
  if (in.Buttons[4] && Play.BladeTimer == 0) {
    Play.BladeTimer = 1;
    RestartChannel(game::channel::Blade);
  }
  if (Play.BladeTimer > 0) {
    TMatrix4 m, r, out;
    BladeFrame->GetMatrix(PlayerFrame, m);
    MatRotationX(kBladeStep, r);
    MatMultiply(m, r, out);
    BladeFrame->SetMatrix(PlayerFrame, out);
    if (++Play.BladeTimer > kBladeSteps) Play.BladeTimer = 0;
  }

  // 4. Drag.
  Play.PlayerVelocity = Scaled(Play.PlayerVelocity, kDrag);

  // 5. Afterburner.
  if (in.Buttons[1]) {
    PlayerPartFrames[0]->Mesh = MeshBeam.get();
    PlayerPartFrames[1]->Mesh = MeshBeam.get();
    if (Play.PlayerVelocity.z > -2) Play.PlayerVelocity.z = static_cast<float>(Play.PlayerVelocity.z - 0.3);
    SwitchLight(game::light::AfterburnerA, true);
    SwitchLight(game::light::AfterburnerB, true);
  } else {
    PlayerPartFrames[0]->Mesh = nullptr;
    PlayerPartFrames[1]->Mesh = nullptr;
    SwitchLight(game::light::AfterburnerA, false);
    SwitchLight(game::light::AfterburnerB, false);
  }

  // 6. Thrusters.
  if (in.Buttons[2]) {
    if (Play.PlayerVelocity.z > -0.6) Play.PlayerVelocity.z = static_cast<float>(Play.PlayerVelocity.z - 0.2);
    for (size_t i = 2; i < 6; ++i) PlayerPartFrames[i]->Mesh = MeshFireSmall.get();
    SwitchLight(game::light::Thruster, true);
  } else {
    for (size_t i = 2; i < 6; ++i) PlayerPartFrames[i]->Mesh = nullptr;
    SwitchLight(game::light::Thruster, false);
  }

  // 7. Enemies near the ship: the blade, else a bump.
  for (int j = 0; j <= EnemyTop && j < kEnemySlots; ++j) {
    if (EnemyFrames[At(j)]->Mesh) BladeAndBump(j);
  }

  // 8. Bumping into the stage target throws the ship back.
  if (TargetFrame->Mesh && game::Distance(TargetFrame->GetPosition(root), PlayerFrame->GetPosition(root)) < 10) {
    Play.PlayerVelocity = Scaled(Play.PlayerVelocity, -2);
    PlayerFrame->SetPosition(PlayerFrame, Play.PlayerVelocity);
    RestartChannel(game::channel::Crash);
  }

  // 9. Movement, flames, glows and warnings: only once the ship drifts at all.
  if (Play.PlayerVelocity.x != 0 || Play.PlayerVelocity.y != 0 || Play.PlayerVelocity.z != 0) {
    PlayerFrame->SetPosition(PlayerFrame, Play.PlayerVelocity);

    auto r = [] { return rtl::Random(); };
    static constexpr float kFlameX[6] = {2.5f, -2.5f, -1.2f, -0.4f, 0.4f, 1.2f};
    for (size_t i = 0; i < 6; ++i) {
      TVector3 p;
      if (i < 2) {
        p = {kFlameX[i], -4.0f, static_cast<float>(12 + r())};
      } else {
        p = {kFlameX[i], -1.6f, static_cast<float>(6.5 + r() / 10)};
      }
      PlayerPartFrames[i]->SetPosition(PlayerFrame, p);
    }
    for (TSXFrame* f : PlayerPartFrames) f->LookAt(CameraFrame.get(), TVector3{0, 0, 0}, 0, root);

    // The glows, placed in ship coordinates; every r is a fresh draw, taken x, y, z.
    auto glow = [&](int light, double x, double y, double z) {
      TVector3 world;
      PlayerFrame->LocalToWorld(TVector3{static_cast<float>(x), static_cast<float>(y), static_cast<float>(z)}, world);
      MoveLight(light, world);
    };
    {
      const double x = r() + 2, y = -(r() + 4), z = r() + 11;
      glow(game::light::AfterburnerA, x, y, z);
    }
    {
      const double x = -(r() + 2), y = -(r() + 4), z = r() + 11;
      glow(game::light::AfterburnerB, x, y, z);
    }
    {
      const double y = -(r() + 1), z = r() + 7;
      glow(game::light::Thruster, 0, y, z);
    }

    if (DeathTime == 0 && MessageTime == 0) {
      const TVector3 ship = PlayerFrame->GetPosition(root);
      auto warn = [&](int line) {
        MessageTime = 50;
        RestartChannel(game::channel::Info);
        MessageIndex = line;
      };
      if (game::Length(ship) > kWarnFarFromOrigin) warn(7);
      if (game::Distance(ship, EarthFrame->GetPosition(root)) < kWarnNearEarth) warn(5);
      if (game::Distance(ship, ColonyFrame->GetPosition(root)) < kWarnNearColony) warn(6);
    }
  }

  // 10. Engine sounds follow the flames.
  auto engine = [&](int channel, const TSXFrame* flame) {
    TDDSDChannel* c = GameChannel(channel);
    if (!c) return;
    if (!flame->Mesh) {
      c->Stop();
    } else if ((c->GetStatus() & DSBSTATUS_PLAYING) == 0) {
      c->PlayLooped();
    }
  };
  engine(game::channel::Thruster, PlayerPartFrames[2]);
  engine(game::channel::Afterburner, PlayerPartFrames[0]);

  // 11. View: one step per press.
  if (!in.Buttons[5]) {
    Play.ViewLatch = true;
  } else if (Play.ViewLatch) {
    ViewIndex = ViewIndex >= 3 || ViewIndex < 0 ? 0 : ViewIndex + 1;
    CameraMatrix = ViewMatrices[At(ViewIndex)];
    Play.ViewLatch = false;
  }

  // 12. Nothing is fired under the READY caption.
  if (ReadyTime > 0) return;

  // 13. Volley: five shots, one straight and four spread at random.
  if (!in.Buttons[0]) {
    Play.FireLatch = true;
  } else if (Play.FireLatch) {
    for (int k = 0; k < 5; ++k) {
      TVector3 muzzle;
      PlayerFrame->LocalToWorld(TVector3{0, -2, -1}, muzzle);
      const int s = TakeShotSlot(muzzle);
      TAngle a = 0, b = 0;
      if (k > 0) {
        // b is drawn before a; the signs make the four corners of the spread.
        const TAngle rb = rtl::Random(100);
        const TAngle ra = rtl::Random(100);
        b = k <= 2 ? -rb : rb;
        a = k == 1 || k == 4 ? -ra : ra;
      }
      TMatrix4 ry, rx, m;
      MatRotationY(a, ry);
      MatRotationX(b, rx);
      MatMultiply(ry, rx, m);
      ShotFrames[At(s)]->SetRotation(PlayerFrame, m);
      ArmShot(s, 0, TexBeam2.get(), TVector3{150, 150, 10});
    }
    Play.FireLatch = false;
    if (TDDSDChannel* c = GameChannel(game::channel::Gunshot)) {
      c->Stop();
      c->SetVolume(0);
      c->Play();
    }
  }

  // 14. Missiles: a pair per press.
  if (!in.Buttons[3]) {
    Play.MissileLatch = true;
    return;
  }
  if (!Play.MissileLatch) return;
  for (int k = 0; k < 2; ++k) {
    const int m = Play.NextMissile >= 0 && Play.NextMissile < kMissileSlots ? Play.NextMissile : 0;
    TSXFrame* missile = MissileFrames[At(m)];
    Play.MissileTarget[At(m)] = nullptr;
    Play.MissileAge[At(m)] = 0;
    TVector3 start;
    PlayerFrame->LocalToWorld(TVector3{k == 0 ? -2.0f : 2.0f, -1.0f, -1.5f}, start);
    Play.MissileVelocity[At(m)] = TVector3{0, 0, -2.5f};
    missile->SetPosition(root, start);
    MoveLight(m + game::light::MissileBase, start);
    TVector3 dir, up;
    PlayerFrame->GetOrientation(root, dir, up);
    missile->SetOrientation(root, dir, up);
    missile->Tag = 0;
    missile->Mesh = MeshMissile.get();
    if (TSXLight* l = GameLight(m + game::light::MissileBase)) l->SetDiffuse(15, 10, 10);
    SwitchLight(m + game::light::MissileBase, true);
    // The missile homes on what is nearest the ship as it leaves.
    Play.MissileTarget[At(m)] = AcquireMissileTarget();
    Play.NextMissile = m >= kMissileSlots - 1 ? 0 : m + 1;
  }
  Play.MissileLatch = false;
  if (TDDSDChannel* c = GameChannel(game::channel::Missile)) {
    c->Stop();
    c->SetVolume(0);
    c->Play();
  }
}
