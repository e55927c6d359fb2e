#include "render/Blit.h"

#include "image/OBitmap.h"
#include "render/BlitKernels.h"

#include <cstring>
#include <utility>

namespace
{

using blit::GetTarget;
using Canvas = blit::Target;

// Fills columns l..r (inclusive, already inside the canvas) of rows t..b:
// the first row pixel by pixel, the others copied from it.
void FillSpan(const Canvas& c, i32 l, i32 t, i32 r, i32 b, u32 colour)
{
    if (l > r || t > b)
        return;
    const u8 blue = u8(colour), green = u8(colour >> 8), red = u8(colour >> 16);
    u8* first = c.bits + static_cast<ptrdiff_t>(t) * c.pitch + 3 * l;
    u8* p = first;
    for (i32 x = l; x <= r; ++x, p += 3)
    {
        p[0] = blue;
        p[1] = green;
        p[2] = red;
    }
    const size_t bytes = 3 * static_cast<size_t>(r - l + 1);
    u8* row = first;
    for (i32 y = t + 1; y <= b; ++y)
    {
        row += c.pitch;
        std::memcpy(row, first, bytes);
    }
}

i32 Max(i32 a, i32 b)
{
    return a > b ? a : b;
}
i32 Min(i32 a, i32 b)
{
    return a < b ? a : b;
}

// Both line primitives: the end points ordered by y, then a horizontal or a
// vertical run limited to l..r and t..b. A slanted line draws nothing.
void HVLine(const Canvas& c, i32 x1, i32 y1, i32 x2, i32 y2, u32 colour, i32 l, i32 t, i32 r, i32 b)
{
    if (y1 > y2)
    {
        std::swap(x1, x2);
        std::swap(y1, y2);
    }
    if (y1 == y2)
    {
        if (y1 < t || y1 > b)
            return;
        FillSpan(c, Max(Min(x1, x2), l), y1, Min(Max(x1, x2), r), y1, colour);
    }
    else if (x1 == x2)
    {
        if (x1 < l || x1 > r)
            return;
        FillSpan(c, x1, Max(y1, t), x1, Min(y2, b), colour);
    }
}

} // namespace

// The unclipped line still stays inside the bitmap: a caller's stray end
// point must not write past the pixel block.
void DrawHVLine(OBitmap* bitmap, i16 x1, i16 y1, i16 x2, i16 y2, u32 colour)
{
    Canvas c;
    if (!GetTarget(bitmap, c))
        return;
    HVLine(c, x1, y1, x2, y2, colour, 0, 0, c.w - 1, c.h - 1);
}

void DrawHVLineClipped(OBitmap* bitmap, i16 x1, i16 y1, i16 x2, i16 y2, u32 colour, const ORect* rect)
{
    Canvas c;
    if (!rect || !GetTarget(bitmap, c))
        return;
    HVLine(c, x1, y1, x2, y2, colour, Max(rect->left, 0), Max(rect->top, 0), Min(rect->right, c.w - 1),
           Min(rect->bottom, c.h - 1));
}

void FillRectColor(OBitmap* bitmap, u32 colour, const ORect* rect)
{
    Canvas c;
    if (!rect || !GetTarget(bitmap, c))
        return;
    FillSpan(c, Max(rect->left, 0), Max(rect->top, 0), Min(rect->right, c.w - 1), Min(rect->bottom, c.h - 1),
             colour);
}

// Rows are found through the pitch, so a canvas whose rows are padded keeps
// its padding untouched.
void FillBitmap24(OBitmap* bitmap, u32 colour)
{
    Canvas c;
    if (!GetTarget(bitmap, c))
        return;
    FillSpan(c, 0, 0, c.w - 1, c.h - 1, colour);
}
