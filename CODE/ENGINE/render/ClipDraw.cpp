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
        return false;
    }
}

} // namespace

bool PlainPosition(const OClip& clip, i16 w, i16 h, i16* px, i16* py)
{
    return Position(clip, w, h, 0, 0, px, py);
}

bool SubpixelPosition(const OClip& clip, i16 w, i16 h, i16* px, i16* py)
{
    return Position(clip, w, h, 1, 2, px, py);
}

} // namespace clipdraw

namespace clipdraw
{

bool HasPlainMember(u8 m, u8 flip)
{
    return GetBlitter(m, flip) != nullptr;
}

bool HasSubpixelMember(u8 m, u8 flip)
{
    return GetSubpixelBlitter(m, flip) != nullptr;
}

void BlitPlain(OBitmap* dst, OBitmap* src, u8 m, u8 flip, i16 x, i16 y, const OClip& clip, const ORect* rect)
{
    if (BlitFn fn = GetBlitter(m, flip))
        fn(dst, src, x, y, clip.palette, clip.opacity, rect);
}

void BlitSubpixel(OBitmap* dst, OBitmap* src, u8 m, u8 flip, i16 x, i16 y, i16 fx, i16 fy, const OClip& clip,
                  const ORect* rect)
{
    if (BlitSubpixelFn fn = GetSubpixelBlitter(m, flip))
        fn(dst, src, x, y, fx, fy, clip.opacity, rect);
}

} // namespace clipdraw
