#include "ddsd/TDDSDListener.h"

#include "ddsd/DDSDLog.h"

TDDSDListener::TDDSDListener(IDirectSound3DListener* listener) {
  Params.dwSize = sizeof(DS3DLISTENER);
  Params.vPosition = {0, 0, 0};
  Params.vVelocity = {0, 0, 0};
  Params.vOrientFront = {0, 0, 1};
  Params.vOrientTop = {0, 1, 0};
  Params.flDistanceFactor = 1.0f;
  Params.flRolloffFactor = 1.0f;
  Params.flDopplerFactor = 1.0f;
  if (listener)
    DDSDCheck(listener->SetAllParameters(&Params, DS3D_IMMEDIATE), "Listenerに指定されたパラメータが不適切です");
}
