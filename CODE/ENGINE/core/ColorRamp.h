#pragma once
// Brightness changes and 255-entry colour ramps of 0xRRGGBB colours, with
// all channel arithmetic in 24.8 fixed point.
#include "core/Types.h"

u32 ColorSetBrightness(u32 colour, i16 level);
void ColorBuildRamp(u32 colour, u32 table[255]);
void ColorRampFromBlack(u32 colour, u32 table[255]);
void ColorRampToWhite(u32 colour, u32 table[255]);
