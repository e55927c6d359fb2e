#pragma once
// One dispatch table for the blitter family, shared by the display-list
// drawing and the dirty-rectangle redraw: a sprite's draw mode, flip and
// sub-pixel flag pick one function without a switch in the caller.
#include "core/ORect.h"
#include "core/Types.h"

class OBitmap;

// Uniform shapes of the members. Each entry ignores the arguments its member
// does not take (the plain lighten member ignores the opacity, the copy member
// both palette and opacity).
using BlitFn = void (*)(OBitmap* dst, OBitmap* src, i16 x, i16 y, const void* palette, u8 opacity,
                        const ORect* rect);
using BlitSubpixelFn = void (*)(OBitmap* dst, OBitmap* src, i16 x, i16 y, i16 fx, i16 fy, u8 opacity,
                                const ORect* rect);

constexpr u32 kBlitDrawModes = 22;
constexpr u32 kBlitFlips = 4;

// Null when mode > 21 or flip > 3, and for the modes that draw nothing or
// have no member (4, 5, 6, 9, 11, 15); the caller replaces mode 6 by the
// image's format first.
BlitFn GetBlitter(u8 mode, u8 flip);
// Null except for draw modes 2, 3, 13 and 14 with flip <= 3.
BlitSubpixelFn GetSubpixelBlitter(u8 mode, u8 flip);
