#pragma once
#include "core/Types.h"
inline constexpr u8 kDebugGlyphs[950] = {};
