// The vector constructor of the display component's 3-D utilities.
#pragma once

#include "s_MathPack/s_MathPack.h"

inline TVector3 D3DVector(float x, float y, float z) { return VecMake(x, y, z); }
