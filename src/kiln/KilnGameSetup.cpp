#include "kiln/KilnGameSetup.h"

void ConfigureGameKiln(TKiln& KN) {
  KN.SetDebugOption(0);
  KN.BackColor = 0;
  KN.SetDisableScreenSaver(true);
  KN.Use3D = true;
  KN.D3DOptions = DontUseTnLHAL | MakeZBuffer;
  KN.VsyncAtWindowed = true;
  KN.Loaded();
}

void ApplyStartupChoice(TKiln& KN, const TKilnStartupChoice& choice) {
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
