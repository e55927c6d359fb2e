#include "render/OEngine.h"

#include "image/OBitmap.h"
#include "render/Blit.h"
#include "render/BlitTable.h"
#include "render/ClipDraw.h"
#include "render/GPtrArray.h"
#include "render/OClip.h"
#include "render/ORectList.h"
#include "render/RectOps.h"

#include <bit>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

using namespace clipdraw;

namespace
{

bool SameWholePixel(const OFixed& a, const OFixed& b)
{
    return a.ToInt() == b.ToInt();
}

// Whether a sprite is as it was last drawn. A plain sprite counts whole
// pixels and whole frames only, so moves and animation steps within one
// pixel or one frame cost nothing; a sub-pixel sprite is drawn differently
// at every 1/256 of a pixel.
inline bool SameAsDrawn(const OClip& c, bool subPixel, bool lines)
{
    if (c.visible != c.drawnVisible || !SameWholePixel(c.frame, c.drawnFrame) || c.opacity != c.drawnOpacity)
        return false;
    if (subPixel)
        return !OFixed::NotEqual(c.x, c.drawnX) && !OFixed::NotEqual(c.y, c.drawnY);
    if (!SameWholePixel(c.x, c.drawnX) || !SameWholePixel(c.y, c.drawnY))
        return false;
    return lines ||
           (c.flip == c.drawnFlip && ((c.drawMode != 10 && c.drawMode != 12) || c.palette == c.drawnPalette));
}

// The end points of a line sprite, from the corners of bounds that its
// anchor names; false for anchor 1 and codes without a direction.
bool LineEnds(const OClip& clip, i16* x1, i16* y1, i16* x2, i16* y2)
{
    const ORect& b = clip.bounds;
    switch (clip.anchor)
    {
    case 0:
        *x1 = b.left, *y1 = b.top, *x2 = b.right, *y2 = b.bottom;
        return true;
    case 2:
        *x1 = b.right, *y1 = b.top, *x2 = b.left, *y2 = b.bottom;
        return true;
    case 3:
        *x1 = b.left, *y1 = b.bottom, *x2 = b.right, *y2 = b.top;
        return true;
    case 4:
        *x1 = b.right, *y1 = b.bottom, *x2 = b.left, *y2 = b.top;
        return true;
    default:
        return false;
    }
}

// A line's corners may be stored in drawing order; the dirty list wants them
// in ascending order so that overlap tests hold.
ORect Ordered(const ORect& r)
{
    return MakeRect(r.left < r.right ? r.left : r.right, r.top < r.bottom ? r.top : r.bottom,
                    r.left < r.right ? r.right : r.left, r.top < r.bottom ? r.bottom : r.top);
}

// The dirty rectangles of one frame laid out column by column, so that an
// unchanged sprite is tested against up to 16 of them with a few vector
// compares: most sprites lie away from every dirty area, and this test is all
// they cost. Frames with more rectangles take a plain loop.
class DirtyIndex
{
public:
    explicit DirtyIndex(const ORectList& rects) : packed(rects.count <= kLanes)
    {
        for (int i = 0; i < kLanes; ++i)
        {
            // Padding lanes can only be met by a rectangle spanning every
            // 16-bit coordinate.
            left[i] = top[i] = 0x7FFF;
            right[i] = bottom[i] = -0x8000;
        }
        for (int i = 0; packed && i < rects.count; ++i)
        {
            left[i] = rects.data[i].left;
            top[i] = rects.data[i].top;
            right[i] = rects.data[i].right;
            bottom[i] = rects.data[i].bottom;
        }
    }

    // Bit i set: the sprite meets dirty rectangle i. A frame with more
    // rectangles than lanes answers with every bit set, and the repaint
    // tests each rectangle itself.
    u32 Meets(const ORect& b) const
    {
        if (!packed)
            return kAll;
#if defined(__SSE2__)
        const __m128i bl = _mm_set1_epi16(b.left), bt = _mm_set1_epi16(b.top);
        const __m128i br = _mm_set1_epi16(b.right), bb = _mm_set1_epi16(b.bottom);
        const auto miss = [&](int half)
        {
            const auto load = [half](const i16* v)
            { return _mm_load_si128(reinterpret_cast<const __m128i*>(v + half)); };
            // A lane misses when the sprite lies wholly to one side.
            return _mm_or_si128(
                _mm_or_si128(_mm_cmpgt_epi16(load(left), br), _mm_cmpgt_epi16(bl, load(right))),
                _mm_or_si128(_mm_cmpgt_epi16(load(top), bb), _mm_cmpgt_epi16(bt, load(bottom))));
        };
        const u32 missed = static_cast<u32>(_mm_movemask_epi8(_mm_packs_epi16(miss(0), miss(8))));
        return ~missed & 0xFFFFu;
#else
        u32 hit = 0;
        for (int i = 0; i < kLanes; ++i)
        {
            hit |= static_cast<u32>(b.right >= left[i] && b.left <= right[i] && b.bottom >= top[i] &&
                                    b.top <= bottom[i])
                   << i;
        }
        return hit;
#endif
    }

    static constexpr u32 kAll = 0xFFFFFFFFu;

private:
    static constexpr int kLanes = 16;
    alignas(16) i16 left[kLanes];
    alignas(16) i16 top[kLanes];
    alignas(16) i16 right[kLanes];
    alignas(16) i16 bottom[kLanes];
    bool packed;
};

} // namespace

int OEngine::RedrawDirty(ORect* area, u8 addArea, i16 first)
{
    return Redraw(area, addArea, first, false);
}

int OEngine::RedrawDirtyUnused(ORect* area, u8 addArea, i16 first)
{
    return Redraw(area, addArea, first, true);
}

// The single steps may be called on their own; an engine not bound to its
// lists and canvas has nothing to collect into or draw on.
void OEngine::CollectDirtyRects(OClip* clip)
{
    if (dirtyRects != nullptr)
        Collect(clip, false, false);
}

void OEngine::CollectDirtyRectsSubpixel(OClip* clip)
{
    if (dirtyRects != nullptr)
        Collect(clip, true, false);
}

void OEngine::DrawClipInRects(OClip* clip)
{
    if (dirtyRects != nullptr && canvas != nullptr && canvas->GetBits() != nullptr)
        Repaint(clip, false, false, 0xFFFFFFFFu);
}

void OEngine::DrawClipInRectsSubpixel(OClip* clip)
{
    if (dirtyRects != nullptr && canvas != nullptr && canvas->GetBits() != nullptr)
        Repaint(clip, true, false, 0xFFFFFFFFu);
}

ORect OEngine::DirtyBox()
{
    ORect box = MakeRect(1, 1, 0, 0); // meets nothing
    if (dirtyRects->GetCount() > 0)
        box = *dirtyRects->At(0);
    for (i16 i = 1; i < dirtyRects->GetCount(); ++i)
        RectUnion(&box, &box, dirtyRects->At(i));
    return box;
}

int OEngine::Redraw(ORect* area, u8 addArea, i16 first, bool lines)
{
    if (clips == nullptr || dirtyRects == nullptr || area == nullptr)
        return 0;
    dirtyRects->Clear();
    if (addArea != 0)
        dirtyRects->Append(area);
    const i16 start = first < 0 ? 0 : first;
    for (i16 i = start; i < clips->GetCount(); ++i)
    {
        auto* clip = static_cast<OClip*>(*clips->At(i));
        if (clip->visible == 0 && clip->drawnVisible == 0)
        {
            clip->changed = 0;
            continue;
        }
        // Most sprites are as they were drawn: settle them here, without a call.
        if (!(lines && clip->drawMode == 11) && SameAsDrawn(*clip, clip->subPixel != 0, lines))
        {
            clip->changed = 0;
            continue;
        }
        Collect(clip, clip->subPixel != 0, lines);
    }
    if (dirtyRects->GetCount() == 0)
        return 0;

    const DirtyIndex dirtyIndex(*dirtyRects);
    const bool drawable = LockCanvas();
    if (drawable && backgroundMode == 1)
    {
        for (i16 i = 0; i < dirtyRects->GetCount(); ++i)
            FillRectColor(canvas, backgroundColor, dirtyRects->At(i));
    }
    for (i16 i = start; i < clips->GetCount(); ++i)
    {
        auto* clip = static_cast<OClip*>(*clips->At(i));
        if (clip->visible == 0 && clip->drawnVisible == 0)
            continue;
        const bool line = lines && clip->drawMode == 11;
        // The common case: an unchanged sprite away from every dirty area.
        // It needs neither drawing nor a snapshot.
        const u32 meets = line ? DirtyIndex::kAll : dirtyIndex.Meets(clip->bounds);
        if (clip->changed == 0 && meets == 0)
            continue;
        if (drawable)
        {
            if (line)
                RepaintLine(clip);
            else
                Repaint(clip, clip->subPixel != 0, lines, meets);
        }
        if (clip->changed == 0)
            continue;
        clip->drawnOpacity = clip->opacity;
        clip->drawnFrame = clip->frame;
        clip->drawnVisible = clip->visible;
        clip->drawnX = clip->x;
        clip->drawnY = clip->y;
        clip->drawnBounds = clip->bounds;
        if (!lines)
        {
            clip->drawnPalette = clip->palette;
            clip->drawnFlip = clip->flip;
        }
        // A sprite whose frame names no image was not drawn: recording it as
        // hidden makes the redraw place and draw it once its image exists.
        if (clip->visible != 0 && !line && clip->drawMode != 15 &&
            LookupImage(imageStore, clip->frame) == nullptr)
            clip->drawnVisible = 0;
    }
    UnlockCanvas();

    *area = DirtyBox();
    return 1;
}

void OEngine::Collect(OClip* clip, bool subPixel, bool lines)
{
    if (lines && clip->drawMode == 11)
    {
        CollectLine(clip);
        return;
    }
    if (SameAsDrawn(*clip, subPixel, lines))
    {
        clip->changed = 0;
        return;
    }

    const bool paints = clip->drawMode == 15;
    const OBitmap* image = paints ? nullptr : LookupImage(imageStore, clip->frame);
    if (clip->visible != 0 && clip->drawnVisible == 0)
    {
        if (paints)
        {
            ORectList::AddMerged(dirtyRects, &clip->bounds);
            if (!subPixel)
                ORectList::AddMerged(dirtyRects, &clip->drawnBounds);
        }
        else
        {
            if (image == nullptr)
            {
                // Nothing to show and nothing shown before: no area changes.
                clip->changed = 0;
                return;
            }
            clip->bounds = PlaceBounds(*clip, image, subPixel);
            ORectList::AddMerged(dirtyRects, &clip->bounds);
        }
        clip->changed = 2;
    }
    else if (clip->visible == 0)
    {
        ORectList::AddMerged(dirtyRects, &clip->drawnBounds);
        clip->changed = 1;
    }
    else
    {
        if (!paints)
        {
            if (image == nullptr)
            {
                // Its frame lost its image: clear where it was, as if hidden.
                ORectList::AddMerged(dirtyRects, &clip->drawnBounds);
                clip->changed = 1;
                return;
            }
            clip->bounds = PlaceBounds(*clip, image, subPixel);
        }
        ORectList::AddMerged(dirtyRects, &clip->bounds);
        ORectList::AddMerged(dirtyRects, &clip->drawnBounds);
        clip->changed = 3;
    }
}

void OEngine::Repaint(OClip* clip, bool subPixel, bool lines, u32 meets)
{
    OBitmap* image = nullptr;
    u8 m = 0;
    if (clip->changed == 1 || !ResolveImage(imageStore, *clip, &image, &m))
        return;
    const ORect& b = clip->bounds;
    const bool whole = (clip->changed & 2) != 0;

    if (m == 15)
    {
        if (whole)
        {
            ORect r;
            RectSetSize(&r, static_cast<i16>(canvas->width), static_cast<i16>(canvas->height));
            clip->Paint(canvas, &r);
            return;
        }
        for (i16 i = 0; i < dirtyRects->GetCount(); ++i)
        {
            ORect c = b;
            if (RectIntersect(&c, c, *dirtyRects->At(i)))
                clip->Paint(canvas, &c);
        }
        return;
    }
    if (image == nullptr)
        return;

    const u8 flip = lines ? 0 : clip->flip;
    Member member;
    if (!subPixel)
        member = Member::Plain(m, flip, b.left, b.top);
    else
    {
        const i16 fx = static_cast<i16>(FixedFraction(clip->x));
        const i16 fy = static_cast<i16>(FixedFraction(clip->y));
        // At a whole-pixel position the palette members draw too.
        if (fx == 0 && fy == 0 && m != 2 && m != 3 && m != 10 && m != 12 && m != 13 && m != 14)
            return;
        member = Member::Subpixel(m, flip, b.left, b.top, fx, fy);
    }
    if (!member)
        return;
    if (whole)
    {
        member.Blit(canvas, image, *clip, nullptr);
        return;
    }
    // Clip rectangles handed to a member must lie inside the area it reads
    // from. Bounds do when they were placed for this image; cutting by the
    // image's area keeps the reads inside it also when the store entry was
    // replaced by a smaller image since the sprite was placed.
    const ORect readable = member.Readable(static_cast<i16>(image->width), static_cast<i16>(image->height));
    const auto drawIn = [&](i16 i)
    {
        ORect c;
        if (Intersect3(&c, b, *dirtyRects->At(i), readable))
            member.Blit(canvas, image, *clip, &c);
    };
    const i16 count = dirtyRects->GetCount();
    // Only the rectangles the sprite meets; past 32 the bits say nothing.
    u32 bits = count >= 32 ? meets : meets & ((1u << count) - 1u);
    for (; bits != 0; bits &= bits - 1u)
        drawIn(static_cast<i16>(std::countr_zero(bits)));
    for (i16 i = 32; i < count; ++i)
        drawIn(i);
}

void OEngine::CollectLine(OClip* clip)
{
    if (clip->visible == clip->drawnVisible && SameWholePixel(clip->frame, clip->drawnFrame) &&
        RectsDiffer(&clip->bounds, &clip->drawnBounds) == 0 && clip->opacity == clip->drawnOpacity)
    {
        clip->changed = 0;
        return;
    }
    const ORect now = Ordered(clip->bounds);
    const ORect before = Ordered(clip->drawnBounds);
    if (clip->visible != 0 && clip->drawnVisible == 0)
    {
        ORectList::AddMerged(dirtyRects, &now);
        clip->changed = 2;
    }
    else if (clip->visible == 0)
    {
        ORectList::AddMerged(dirtyRects, &before);
        clip->changed = 1;
    }
    else
    {
        ORectList::AddMerged(dirtyRects, &now);
        ORectList::AddMerged(dirtyRects, &before);
        clip->changed = 3;
    }
}

void OEngine::RepaintLine(OClip* clip)
{
    if (clip->changed == 1)
        return;
    i16 x1, y1, x2, y2;
    if (!LineEnds(*clip, &x1, &y1, &x2, &y2))
        return;
    if ((clip->changed & 2) != 0)
    {
        // Drawn whole, but never outside the canvas: the unclipped primitive
        // trusts its caller to keep the line inside the bitmap.
        ORect r;
        RectSetSize(&r, static_cast<i16>(canvas->width), static_cast<i16>(canvas->height));
        DrawHVLineClipped(canvas, x1, y1, x2, y2, clip->lineColor, &r);
        return;
    }
    for (i16 i = 0; i < dirtyRects->GetCount(); ++i)
        DrawHVLineClipped(canvas, x1, y1, x2, y2, clip->lineColor, dirtyRects->At(i));
}
