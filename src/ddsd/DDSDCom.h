// The sound unit's owner of a COM reference, released when its owner goes away on an error
// path.
#pragma once

#include "platform/win/ComRef.h"

template <class T>
using TComRef = win::ComRef<T>;
