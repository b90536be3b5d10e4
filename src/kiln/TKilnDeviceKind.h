// The six kinds of Direct3D device the display component can end up with.
#pragma once

enum class TKilnDeviceKind { dkTnLHAL = 0, dkHAL = 1, dkMMX = 2, dkRGB = 3, dkRamp = 4, dkReference = 5 };
