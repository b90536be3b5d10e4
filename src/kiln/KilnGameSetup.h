// How the game sets up its display component KN: the settings its form fixes, and
// what the start-up options dialog chose, applied in the order the form applies them.
#pragma once

#include "kiln/TKiln.h"

// The form's settings of KN: nothing logged and no halting, screen saver off, 3-D with a
// z-buffer and without the transform-and-lighting device, vertical blank waits in a
// window. Then the settings take effect (Loaded). OnInit is the caller's to set.
void ConfigureGameKiln(TKiln& KN);

// The dialog's display choices.
struct TKilnStartupChoice {
  bool FullScreen = true;  // "フルスクリーン"
  bool NoMMX = false;      // "MMX無効"
  bool NoHAL = false;      // "HAL無効"
  bool NoTnLHAL = false;   // "TnHAL無効"
  bool Flat = false;       // "フラット・シェーディング" (else Gouraud)
  bool Specular = true;    // "スペキュラ・ライト有効"
};

// The form's creation applies them in this order: D3DOptions := [MakeZBuffer]; the
// full-screen switch (640 x 480 x 16, default rate and driver); then the three device
// choices are added, so only a later set-up sees them, as in the original; then the
// device's shade mode and specular switch.
void ApplyStartupChoice(TKiln& KN, const TKilnStartupChoice& choice);
