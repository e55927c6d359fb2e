#include "render/OEngine.h"

#include "image/OBitmap.h"
#include "render/Blit.h"
#include "render/BlitTable.h"
#include "render/ClipDraw.h"
#include "render/GPtrArray.h"
#include "render/OClip.h"
#include "render/RectOps.h"
#include "window/OWindow.h"

using namespace clipdraw;

namespace
{

ORect BitmapRect(OBitmap* bitmap)
{
    ORect r;
    RectSetSize(&r, static_cast<i16>(bitmap->width), static_cast<i16>(bitmap->height));
    return r;
}

// The client rectangle that sprites painting themselves are given; a canvas
// set without a window stands for the client area itself.
ORect ClientRect(OWindow* window, OBitmap* canvas)
{
    if (window != nullptr)
    {
        ORect r;
        window->GetClientRect(&r);
        return r;
    }
    return BitmapRect(canvas);
}

// Draws one sprite over the whole target without a clip rectangle.
void DrawWhole(OBitmap* target, OBitmapStore* store, OClip* clip, const ORect& client)
{
    if (clip->visible == 0)
        return;
    OBitmap* image = nullptr;
    if (clip->drawMode != 15)
    {
        image = LookupImage(store, clip->frame);
        if (image == nullptr)
            return;
    }
    const u8 m = EffectiveMode(*clip, image);
    if (clip->subPixel == 0)
    {
        if (m == 15)
        {
            clip->Paint(target, &client);
            return;
        }
        if (image == nullptr)
            return;
        i16 x = 0;
        i16 y = 0;
        // Without a placement rule the sprite stays where it was last placed.
        if (!PlainPosition(*clip, static_cast<i16>(image->width), static_cast<i16>(image->height), &x, &y))
        {
            x = clip->bounds.left;
            y = clip->bounds.top;
        }
        BlitPlain(target, image, m, clip->flip, x, y, *clip, nullptr);
        return;
    }
    if (image == nullptr || !HasSubpixelMember(m, clip->flip))
        return;
    i16 x = 0;
    i16 y = 0;
    if (!SubpixelPosition(*clip, static_cast<i16>(image->width), static_cast<i16>(image->height), &x, &y))
    {
        x = clip->bounds.left;
        y = clip->bounds.top;
    }
    const i16 fx = static_cast<i16>(FixedFraction(clip->x));
    const i16 fy = static_cast<i16>(FixedFraction(clip->y));
    if (fx == 0 && fy == 0)
        BlitPlain(target, image, m, clip->flip, static_cast<i16>(x - 1), static_cast<i16>(y - 1), *clip,
                  nullptr);
    else
        BlitSubpixel(target, image, m, clip->flip, x, y, fx, fy, *clip, nullptr);
}

// Draws one sprite restricted to r; the plain path records where it went.
void DrawInRect(OBitmap* target, OBitmapStore* store, OClip* clip, const ORect& r)
{
    if (clip->visible == 0)
        return;
    OBitmap* image = nullptr;
    if (clip->drawMode != 15)
    {
        image = LookupImage(store, clip->frame);
        if (image == nullptr)
            return;
    }
    const u8 m = EffectiveMode(*clip, image);
    if (clip->subPixel == 0)
    {
        if (m == 15)
        {
            ORect paintRect = r;
            clip->Paint(target, &paintRect);
            return;
        }
        if (image == nullptr)
            return;
        const i16 w = static_cast<i16>(image->width);
        const i16 h = static_cast<i16>(image->height);
        i16 x = clip->bounds.left;
        i16 y = clip->bounds.top;
        PlainPosition(*clip, w, h, &x, &y);
        clip->bounds.left = x;
        clip->bounds.top = y;
        RectSetSize(&clip->bounds, w, h);
        if (!HasPlainMember(m, clip->flip))
            return;
        ORect c;
        if (Intersect3(&c, clip->bounds, r, clip->bounds))
            BlitPlain(target, image, m, clip->flip, x, y, *clip, &c);
        return;
    }
    if (image == nullptr || !HasSubpixelMember(m, clip->flip))
        return;
    const i16 w = static_cast<i16>(image->width);
    const i16 h = static_cast<i16>(image->height);
    i16 x = clip->bounds.left;
    i16 y = clip->bounds.top;
    SubpixelPosition(*clip, w, h, &x, &y);
    const i16 fx = static_cast<i16>(FixedFraction(clip->x));
    const i16 fy = static_cast<i16>(FixedFraction(clip->y));
    // The sub-pixel members read a 2x2 window per pixel, so their area is one
    // column and one row short of the image; a whole-pixel position loses one
    // more of each to keep the plain member's reads within the same area.
    const ORect area = MakeRect(x, y, static_cast<i16>(x + w - 3 + (fx != 0 ? 1 : 0)),
                                static_cast<i16>(y + h - 3 + (fy != 0 ? 1 : 0)));
    ORect c;
    if (!Intersect3(&c, area, r, area))
        return;
    if (fx == 0 && fy == 0)
        BlitPlain(target, image, m, clip->flip, static_cast<i16>(x - 1), static_cast<i16>(y - 1), *clip, &c);
    else
        BlitSubpixel(target, image, m, clip->flip, x, y, fx, fy, *clip, &c);
}

} // namespace

void OEngine::Draw(i32 first, const ORect* rect)
{
    if (rect != nullptr)
    {
        DrawClipped(first, rect);
        return;
    }
    if (canvas == nullptr)
        return;
    const bool drawable = LockCanvas();
    if (drawable)
    {
        FillBackground(0);
        const ORect client = ClientRect(window, canvas);
        const i32 count = clips != nullptr ? clips->GetCount() : 0;
        for (i32 i = first < 0 ? 0 : first; i < count; ++i)
            DrawWhole(canvas, imageStore, static_cast<OClip*>(*clips->At(static_cast<i16>(i))), client);
    }
    UnlockCanvas();
}

void OEngine::DrawClipped(i32 first, const ORect* rect)
{
    if (rect == nullptr || canvas == nullptr || clips == nullptr || first >= clips->GetCount())
        return;
    const bool drawable = LockCanvas();
    if (drawable)
    {
        ORect r = ClientRect(window, canvas);
        RectIntersect(&r, *rect, r);
        FillRectColor(canvas, backgroundColor, &r);
        DrawList(canvas, first, r);
    }
    UnlockCanvas();
}

void OEngine::DrawUnused(OBitmap* target, i32 first, const ORect* rect)
{
    if (target == nullptr || clips == nullptr || first >= clips->GetCount() || target->GetBits() == nullptr)
        return;
    ORect r;
    target->GetRect(&r);
    if (rect != nullptr)
        RectIntersect(&r, *rect, r);
    if (backgroundMode == 1)
        FillRectColor(target, backgroundColor, &r);
    DrawList(target, first, r);
}

void OEngine::DrawList(OBitmap* target, i32 first, const ORect& r)
{
    const i32 count = clips->GetCount();
    for (i32 i = first < 0 ? 0 : first; i < count; ++i)
        DrawInRect(target, imageStore, static_cast<OClip*>(*clips->At(static_cast<i16>(i))), r);
}
