#include "render/ClipDraw.h"

#include "image/OBitmap.h"
#include "image/OBitmapStore.h"
#include "render/BlitTable.h"
#include "render/OClip.h"
#include "render/RectOps.h"

namespace clipdraw
{

OBitmap* LookupImage(OBitmapStore* store, const OFixed& frame)
{
    if (store == nullptr || store->images == nullptr)
        return nullptr;
    const i16 index = static_cast<i16>(frame.ToInt());
    if (index < 0 || index >= store->packImageCount + store->extraSlots)
        return nullptr;
    return store->GetImage(index);
}

u8 EffectiveMode(const OClip& clip, const OBitmap* image)
{
    if (clip.drawMode == 6 && image != nullptr)
        return image->format;
    return static_cast<u8>(clip.drawMode);
}

namespace
{

// (v + n) as whole pixels, rounding toward minus infinity; the sum wraps in
// 32 bits like every OFixed addition.
i16 Whole(const OFixed& v, i32 n)
{
    return static_cast<i16>(OFixed::Add(v, OFixed::FromInt(n)).ToInt());
}

// Left and top by the anchor, each term added as a whole OFixed; codes
// without a placement rule leave *px and *py as they were and give false.
bool Position(const OClip& clip, i16 w, i16 h, i32 extra, i32 extraX3, i16* px, i16* py)
{
    const i32 halfW = w / 2;
    const i32 halfH = h / 2;
    switch (clip.anchor)
    {
    case 0:
        *px = Whole(clip.x, extra);
        *py = Whole(clip.y, extra);
        return true;
    case 1:
        *px = Whole(clip.x, extra - halfW);
        *py = Whole(clip.y, extra - halfH);
        return true;
    case 2:
        *px = Whole(clip.x, extra - w + 1);
        *py = Whole(clip.y, extra);
        return true;
    case 3:
        *px = Whole(clip.x, extraX3);
        *py = Whole(clip.y, extra - h + 1);
        return true;
    case 4:
        *px = Whole(clip.x, extra - w + 1);
        *py = Whole(clip.y, extra - h + 1);
        return true;
    case 7:
        *px = Whole(clip.x, extra - halfW);
        *py = Whole(clip.y, extra - h + 1);
        return true;
    default:
        break;
    }
    return false;
}

} // namespace

bool ResolveImage(OBitmapStore* store, const OClip& clip, OBitmap** image, u8* m)
{
    *image = nullptr;
    if (clip.drawMode != 15)
    {
        *image = LookupImage(store, clip.frame);
        if (*image == nullptr)
            return false;
    }
    *m = EffectiveMode(clip, *image);
    return true;
}

ORect PlaceBounds(const OClip& clip, const OBitmap* image, bool subPixel)
{
    const i16 w = static_cast<i16>(image->width);
    const i16 h = static_cast<i16>(image->height);
    ORect b = clip.bounds;
    if (!subPixel)
    {
        Position(clip, w, h, 0, 0, &b.left, &b.top);
        b.right = FarEdge(b.left, w - 1);
        b.bottom = FarEdge(b.top, h - 1);
        return b;
    }
    const bool placed = Position(clip, w, h, 1, 2, &b.left, &b.top);
    if (FixedFraction(clip.x) != 0 || FixedFraction(clip.y) != 0)
    {
        // A fraction on either axis selects the filtered member, which draws
        // w - 1 columns and h - 1 rows whichever fraction is zero.
        b.right = FarEdge(b.left, w - 2);
        b.bottom = FarEdge(b.top, h - 2);
        return b;
    }
    // At whole pixels the plain member draws the whole image one pixel up and
    // left of the sub-pixel point; the area is exactly that, so that a move
    // clears every pixel the sprite drew and a clipped repaint draws what a
    // full one does. A sprite without a placement rule keeps its corner.
    if (placed)
    {
        b.left = static_cast<i16>(b.left - 1);
        b.top = static_cast<i16>(b.top - 1);
    }
    b.right = FarEdge(b.left, w - 1);
    b.bottom = FarEdge(b.top, h - 1);
    return b;
}

bool HasSubpixelMember(u8 m, u8 flip)
{
    return GetSubpixelBlitter(m, flip) != nullptr;
}

Member Member::Plain(u8 m, u8 flip, i16 x, i16 y)
{
    Member member;
    member.plain = GetBlitter(m, flip);
    member.x = x;
    member.y = y;
    return member;
}

Member Member::Subpixel(u8 m, u8 flip, i16 x, i16 y, i16 fx, i16 fy)
{
    if (fx == 0 && fy == 0)
        return Plain(m, flip, x, y);
    Member member;
    member.subpixel = GetSubpixelBlitter(m, flip);
    member.x = x;
    member.y = y;
    member.fx = fx;
    member.fy = fy;
    return member;
}

} // namespace clipdraw
