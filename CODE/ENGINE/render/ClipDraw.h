#pragma once
// Placement and blitter choice of one sprite, shared by the full repaint and
// the dirty redraw so that both put every sprite on the same pixels.
#include "core/OFixed.h"
#include "core/ORect.h"
#include "core/Types.h"
#include "render/BlitTable.h"
#include "render/OClip.h"
#include "render/RectOps.h"

#include <algorithm>

class OBitmap;
class OBitmapStore;

namespace clipdraw
{

// near + span, held to the 16-bit range. An image may reach far past the last
// coordinate a rectangle can hold (a 32767-pixel image placed at 790); the
// blitters clip in 32 bits and still draw its visible part, so a far edge that
// wrapped would leave bounds that say the sprite covers nothing while it is
// drawn on the canvas.
inline i16 FarEdge(i16 near, i32 span)
{
    return static_cast<i16>(std::clamp<i32>(near + span, -0x8000, 0x7FFF));
}

// The image a sprite shows, or null when its frame names no stored image
// (an index outside the store's array, or an empty entry): such a sprite is
// not drawn rather than read through a bad pointer.
OBitmap* LookupImage(OBitmapStore* store, const OFixed& frame);

// The effective draw mode as an unsigned byte: the image's own format for
// draw mode 6, the sprite's draw mode otherwise.
u8 EffectiveMode(const OClip& clip, const OBitmap* image);

// The image and effective mode a sprite draws with. A sprite of draw mode 15
// paints itself: it is never looked up and gets a null image. False when the
// frame names no stored image, so there is nothing to draw.
bool ResolveImage(OBitmapStore* store, const OClip& clip, OBitmap** image, u8* m);

// The canvas rectangle the sprite covers with this image. Left and top come
// from its anchor; codes without a placement rule keep those of `bounds`.
// Plain: the image's size. Sub-pixel: the position is one pixel further right
// and down (two to the right for anchor 3), because the sub-pixel blitters
// put the picture one pixel up and left of the point they are given; their
// 2x2 window leaves w - 1 columns and h - 1 rows, exactly what they draw
// when either fraction is non-zero. At whole pixels (both fractions zero)
// the plain member draws instead, the whole image one pixel up and left of
// that point, and the area is where it draws.
ORect PlaceBounds(const OClip& clip, const OBitmap* image, bool subPixel);

// True when m is 2, 3, 13 or 14 and flip is 0 to 3.
bool HasSubpixelMember(u8 m, u8 flip);

// The blitter call of one sprite, chosen once so that drawing it into several
// rectangles costs one indirect call each.
class Member
{
public:
    // The plain member for (m, flip) drawing the image's top-left at (x, y).
    static Member Plain(u8 m, u8 flip, i16 x, i16 y);
    // A sub-pixel sprite placed by PlaceBounds at (x, y): at whole pixels
    // (both fractions 0) that corner is already the plain position, one pixel
    // up and left of the sub-pixel point, and the plain member draws there;
    // otherwise the sub-pixel member at (x, y) with the fractions.
    static Member Subpixel(u8 m, u8 flip, i16 x, i16 y, i16 fx, i16 fy);

    // False when the mode and flip have no such member: nothing is drawn.
    explicit operator bool() const { return plain != nullptr || subpixel != nullptr; }
    // The rectangle a clip rectangle must lie in, so that every read stays
    // inside an image of w x h: the image itself for a plain member, its
    // (w - 1) x (h - 1) window origins for a sub-pixel one.
    ORect Readable(i16 w, i16 h) const
    {
        const i16 span = subpixel != nullptr ? 2 : 1;
        return MakeRect(x, y, FarEdge(x, w - span), FarEdge(y, h - span));
    }
    // Draws with the sprite's palette and opacity where the member takes
    // them; a null rect means no clipping beyond the canvas.
    // Inline, because the redraw calls it once per dirty rectangle met.
    void Blit(OBitmap* dst, OBitmap* src, const OClip& clip, const ORect* rect) const
    {
        if (plain != nullptr)
            plain(dst, src, x, y, clip.palette, clip.opacity, rect);
        else if (subpixel != nullptr)
            subpixel(dst, src, x, y, fx, fy, clip.opacity, rect);
    }

private:
    BlitFn plain = nullptr;
    BlitSubpixelFn subpixel = nullptr;
    i16 x = 0;
    i16 y = 0;
    i16 fx = 0;
    i16 fy = 0;
};

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
