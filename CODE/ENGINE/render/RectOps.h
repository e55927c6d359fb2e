#pragma once
#include "core/OFixed.h"
#include "core/ORect.h"
#include "core/Types.h"

// Small rectangle and fixed-point helpers of the drawing code. Every field
// written is a signed 16-bit value, wrapping like the rest of ORect.

inline ORect MakeRect(i16 left, i16 top, i16 right, i16 bottom)
{
    ORect r;
    r.left = left;
    r.top = top;
    r.right = right;
    r.bottom = bottom;
    return r;
}

// True when a and b share at least one pixel (both ends inclusive), as
// ORect::Overlaps; inline, because merging a dirty rectangle tests it against
// every rectangle of the list, pass after pass.
inline bool RectsOverlap(const ORect& a, const ORect& b)
{
    return !(a.top > b.bottom || a.right < b.left || b.top > a.bottom || b.right < a.left);
}
// out = a ∩ b when they overlap (returns true); otherwise out is untouched.
bool RectIntersect(ORect* out, const ORect& a, const ORect& b);

// out = the bounding rectangle of a and b; out may alias either. Returns 1.
int RectUnion(ORect* out, const ORect* a, const ORect* b);
void RectSetSize(ORect* r, i16 width, i16 height);
void RectOffset(ORect* r, i16 dx, i16 dy);
// 0 when all four fields are equal, else 1.
int RectsDiffer(const ORect* a, const ORect* b);
// The fraction of a 24.8 value, 0 to 255, also for negative values (-0.5 gives
// 128), because the integer part rounds toward minus infinity.
i32 FixedFraction(const OFixed& v);
