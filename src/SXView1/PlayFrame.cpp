// One tick of play: which gameplay steps run, the stage clocks (caption, stage time,
// death and stage-clear sequences), lives, the camera, then the 3-D scene, the head-up
// display and the present.
#include "SXView1/Channels.h"
#include "SXView1/TForm1.h"

namespace {

constexpr int32_t kGameOverTicks = 400;
constexpr int32_t kMinimumStageTimeAfterLoss = 300;
constexpr int32_t kReadyTicks = 100;
constexpr int32_t kFadeTicks = 200;  // the music fades during the last ticks of the stage clock
constexpr LONG kStageEndFade = 5;
constexpr LONG kClearFade = 10;
constexpr TAngle kClearCameraTurn = -40;
constexpr float kClearCameraRetreat = -3;
constexpr TAngle kColonyTurn = 1;

}  // namespace

void TForm1::LowerMusicVolume(LONG step) {
  if (!DDSD1) return;
  if (TDDSDChannel* music = DDSD1->GetChannel(game::channel::Music)) music->SetVolume(music->Volume() - step);
}

void TForm1::KNFlip() { KN->Flip(); }

void TForm1::PlayFrame() {
  // The ship, or the count-down after it was destroyed.
  if (DeathTime >= 1) {
    --DeathTime;
    if (DeathTime == 0) {
      --Stock;
      if (Stock < 0) {
        GameState = 2;
        DeathTime = kGameOverTicks;
        // The mouse moves the camera only in play: the game-over screen shows the scene as it was.
        OnMouseMove = nullptr;
        for (int c = 0; c <= game::channel::LastStoppedTogether; ++c) DDSDStopChannel(c);
        return;
      }
      ReadyTime = kReadyTicks;
      StartStage();
      // Signed on purpose: a stage lost with the target out (-1) restarts with the minimum too.
      if (StageTime < kMinimumStageTimeAfterLoss) StageTime = kMinimumStageTimeAfterLoss;
      if (Stock == 0) MessageIndex = 4;  // the last ship: replaces the stage's opening line
    }
  } else if (ClearCountdown == 0) {
    PlayerStep();
  }

  // Enemies, shots, missiles and explosions stand still under the stage caption.
  if (ReadyTime == 0) {
    if (ClearCountdown == 0) EnemyStep();
    ShotStep();
    MissileStep();
    ExplosionStep();
    if (StageTime == -1) TargetStep();
  } else if (ReadyTime >= 1) {
    --ReadyTime;
  }

  // The stage clock; when it runs out the target comes.
  if (StageTime >= 1) {
    --StageTime;
    if (StageTime < kFadeTicks) LowerMusicVolume(kStageEndFade);
  } else if (StageTime == 0) {
    TargetSpawn();
    StageTime = -1;
    MessageTime = 50;
    MessageIndex = 10;
  }

  // The camera: carried with the ship, circling it once the target is down, then backing away.
  if (ClearCountdown == 0) {
    SetCameraMatrixInPlayer(CameraMatrix);
  } else if (ClearCountdown >= 1) {
    --ClearCountdown;
    if (auto placed = CameraMatrixInPlayer()) {
      TMatrix4 turn, turned;
      MatRotationY(kClearCameraTurn, turn);
      MatMultiply(*placed, turn, turned);
      SetCameraMatrixInPlayer(turned);
    }
    LowerMusicVolume(kClearFade);
    if (ClearCountdown == 0) {
      GameState = 3;
      BeginStageClear();
      ClearCountdown = -1;
    }
  } else {
    MoveCameraInOwnSpace(kClearCameraRetreat);
  }

  // The colony turns slowly about its own x axis.
  if (ColonyFrame) {
    TMatrix4 turn;
    MatRotationX(kColonyTurn, turn);
    ColonyFrame->SetMatrix(ColonyFrame, turn);
  }

  RenderWorld();

  // The head-up display; a lost back buffer costs this tick's picture.
  if (!KN->BackBuffer) return;
  {
    TKilnCanvas canvas(*KN->BackBuffer);
    if (!canvas.Ready) return;
    DrawHud(canvas);
  }
  HudPortrait();
  KNFlip();
}

void TForm1::RenderWorld() {
  if (!Scene || !RootFrame) return;
  Scene->Clear(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
  if (IDirect3DDevice7* device = KN ? KN->D3DDevice : nullptr) {
    device->BeginScene();
    Scene->Render(RootFrame.get());
    device->EndScene();
  }
}
