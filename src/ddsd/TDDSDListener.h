// The listener of the 3-D sound: its record, applied to the device's 3-D listener when created.
#pragma once

#include "platform/dsound/DSound.h"

class TDDSDListener {
 public:
  // Applies the record at once; a refusal goes through the unit's result check.
  explicit TDDSDListener(IDirectSound3DListener* listener);
  DS3DLISTENER Params{};
};
