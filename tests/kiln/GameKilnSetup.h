// The display component set up as the game's form sets up KN: the settings the form fixes,
// and what the start-up options dialog chose, applied in the order the form applies them.
#pragma once

#include "kiln/TKiln.h"

// The dialog's display choices.
struct TKilnStartupChoice {
  bool FullScreen = true;  // "フルスクリーン"
  bool NoMMX = false;      // "MMX無効"
  bool NoHAL = false;      // "HAL無効"
  bool NoTnLHAL = false;   // "TnHAL無効"
  bool Flat = false;       // "フラット・シェーディング" (else Gouraud)
  bool Specular = true;    // "スペキュラ・ライト有効"
};

// The form's settings of KN: nothing logged and no halting, screen saver off, 3-D with a
// z-buffer and without the transform-and-lighting device, vertical blank waits in a
// window. Then the settings take effect (Loaded). OnInit is the caller's to set.
inline void ConfigureGameKiln(TKiln& KN) {
  KN.SetDebugOption(0);
  KN.BackColor = 0;
  KN.SetDisableScreenSaver(true);
  KN.Use3D = true;
  KN.D3DOptions = DontUseTnLHAL | MakeZBuffer;
  KN.VsyncAtWindowed = true;
  KN.Loaded();
}

// The form's creation applies them in this order: D3DOptions := [MakeZBuffer]; the
// full-screen switch (640 x 480 x 16, default rate and driver); then the three device
// choices are added, so only a later set-up sees them, as in the original; then the
// device's shade mode and specular switch.
inline void ApplyStartupChoice(TKiln& KN, const TKilnStartupChoice& choice) {
  KN.D3DOptions = MakeZBuffer;
  if (choice.FullScreen) KN.SetFullScreenMode(640, 480, 16, 0, "");
  if (choice.NoMMX) KN.D3DOptions |= DontUseMMX;
  if (choice.NoHAL) KN.D3DOptions |= DontUseHAL;
  if (choice.NoTnLHAL) KN.D3DOptions |= DontUseTnLHAL;
  // No device (every kind failed) leaves the render states unset rather than crashing.
  if (KN.D3DDevice) {
    KN.D3DDevice->SetRenderState(D3DRENDERSTATE_SHADEMODE, choice.Flat ? D3DSHADE_FLAT : D3DSHADE_GOURAUD);
    KN.D3DDevice->SetRenderState(D3DRENDERSTATE_SPECULARENABLE, choice.Specular ? 1 : 0);
  }
}
