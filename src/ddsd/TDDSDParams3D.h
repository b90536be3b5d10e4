// The 3-D parameters of one channel's buffer, kept as the platform's record.
#pragma once

#include "platform/dsound/DSound.h"

class TDDSDParams3D {
 public:
  TDDSDParams3D() {
    Params.dwSize = sizeof(DS3DBUFFER);
    Params.vPosition = {0, 0, 0};
    Params.vVelocity = {0, 0, 0};
    Params.dwInsideConeAngle = 360;
    Params.dwOutsideConeAngle = 360;
    Params.vConeOrientation = {0, 0, 1};
    Params.lConeOutsideVolume = 0;
    Params.flMinDistance = 5.0f;
    Params.flMaxDistance = 100.0f;
    Params.dwMode = DS3DMODE_NORMAL;
  }
  DS3DBUFFER Params{};
};
