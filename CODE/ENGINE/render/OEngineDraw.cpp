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

// Draws with no clip rectangle when r is null, else only where area (the
// pixels the member may draw) meets r.
void BlitWithin(const Member& member, OBitmap* target, OBitmap* image, const OClip& clip, const ORect& area,
                const ORect* r)
{
    ORect c;
    if (r == nullptr)
        member.Blit(target, image, clip, nullptr);
    else if (Intersect3(&c, area, *r, area))
        member.Blit(target, image, clip, &c);
}

// Draws one sprite: over the whole target when r is null (a sprite that paints
// itself gets the client rectangle), else only inside r, recording in bounds
// where the plain path put it.
void DrawSprite(OBitmap* target, OBitmapStore* store, OClip* clip, const ORect& client, const ORect* r)
{
    OBitmap* image = nullptr;
    u8 m = 0;
    if (clip->visible == 0 || !ResolveImage(store, *clip, &image, &m))
        return;
    if (clip->subPixel == 0)
    {
        if (m == 15)
        {
            ORect paintRect = r != nullptr ? *r : client;
            clip->Paint(target, &paintRect);
            return;
        }
        if (image == nullptr)
            return;
        // Without a placement rule the sprite stays where it was last placed.
        const ORect b = PlaceBounds(*clip, image, false);
        if (r != nullptr)
            clip->bounds = b;
        const Member member = Member::Plain(m, clip->flip, b.left, b.top);
        if (member)
            BlitWithin(member, target, image, *clip, b, r);
        return;
    }
    if (image == nullptr || !HasSubpixelMember(m, clip->flip))
        return;
    // The sub-pixel area keeps every read of either member inside the image.
    const ORect area = PlaceBounds(*clip, image, true);
    BlitWithin(Member::Subpixel(m, clip->flip, area.left, area.top, static_cast<i16>(FixedFraction(clip->x)),
                                static_cast<i16>(FixedFraction(clip->y))),
               target, image, *clip, area, r);
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
            DrawSprite(canvas, imageStore, static_cast<OClip*>(*clips->At(static_cast<i16>(i))), client,
                       nullptr);
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
        DrawSprite(target, imageStore, static_cast<OClip*>(*clips->At(static_cast<i16>(i))), r, &r);
}
