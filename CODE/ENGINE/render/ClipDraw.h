#pragma once
// Placement and blitter choice of one sprite, shared by the full repaint and
// the dirty redraw so that both put every sprite on the same pixels.
#include "core/OFixed.h"
#include "core/ORect.h"
#include "core/Types.h"

#include <algorithm>

class OBitmap;
class OBitmapStore;
class OClip;

namespace clipdraw
{

// The image a sprite shows, or null when its frame names no stored image
// (an index outside the store's array, or an empty entry): such a sprite is
// not drawn rather than read through a bad pointer.
OBitmap* LookupImage(OBitmapStore* store, const OFixed& frame);

// The effective draw mode as an unsigned byte: the image's own format for
// draw mode 6, the sprite's draw mode otherwise.
u8 EffectiveMode(const OClip& clip, const OBitmap* image);

// Top-left pixel of the image for the sprite's anchor; false for anchor codes
// without a placement rule. The sub-pixel position is one pixel further right
// and down (two to the right for anchor 3), because the sub-pixel blitters put
// the picture one pixel up and left of the point they are given.
bool PlainPosition(const OClip& clip, i16 w, i16 h, i16* px, i16* py);
bool SubpixelPosition(const OClip& clip, i16 w, i16 h, i16* px, i16* py);

// True when draw mode m has a plain member (0-3, 7, 8, 10, 12-14, 16-21)
// and flip is 0 to 3.
bool HasPlainMember(u8 m, u8 flip);
// True when m is 2, 3, 13 or 14 and flip is 0 to 3.
bool HasSubpixelMember(u8 m, u8 flip);

// Calls the plain member for (m, flip) with the sprite's palette and opacity
// where that member takes them; nothing for a mode that draws nothing.
void BlitPlain(OBitmap* dst, OBitmap* src, u8 m, u8 flip, i16 x, i16 y, const OClip& clip, const ORect* rect);
// Calls the sub-pixel member for (m, flip); rect must lie inside the
// (w - 1) x (h - 1) area the member draws from (x, y).
void BlitSubpixel(OBitmap* dst, OBitmap* src, u8 m, u8 flip, i16 x, i16 y, i16 fx, i16 fy, const OClip& clip,
                  const ORect* rect);

// a ∩ b ∩ c into out; false when they share no pixel. Inline, because the
// redraw asks it for every unchanged sprite and every dirty rectangle.
inline bool Intersect3(ORect* out, const ORect& a, const ORect& b, const ORect& c)
{
    const i16 left = std::max(a.left, std::max(b.left, c.left));
    const i16 top = std::max(a.top, std::max(b.top, c.top));
    const i16 right = std::min(a.right, std::min(b.right, c.right));
    const i16 bottom = std::min(a.bottom, std::min(b.bottom, c.bottom));
    if (left > right || top > bottom)
        return false;
    out->left = left;
    out->top = top;
    out->right = right;
    out->bottom = bottom;
    return true;
}

} // namespace clipdraw
