#include "SceneFixture.h"
#include "render/BlitTable.h"
#include "render/RectOps.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace scenetest;

namespace
{

std::vector<ORect> DirtyRects(const Scene& s)
{
    return std::vector<ORect>(s.dirty->data, s.dirty->data + s.dirty->count);
}

struct RedrawFixture : ::testing::Test
{
    std::mt19937 rng{99};
    ORect area{0, 0, 0, 0};

    int Redraw(Scene& s, i16 first = 0)
    {
        area = ORect(0, 0, 799, 599);
        return s.engine.RedrawDirty(&area, 0, first);
    }
};

TEST_F(RedrawFixture, UnchangedFrameReturnsZeroAndTouchesNothing)
{
    Scene s(40, 40);
    s.SetImages({RandomImage(rng, 8, 8, 2)});
    s.Add(0, 5, 5);
    s.engine.backgroundMode = 1;
    EXPECT_EQ(Redraw(s), 1);
    auto before = s.Pixels();
    s.engine.backgroundColor = 0xFFFFFF; // would show if anything were filled
    ORect kept(1, 2, 3, 4);
    EXPECT_EQ(s.engine.RedrawDirty(&kept, 0, 0), 0);
    EXPECT_EQ(kept, ORect(1, 2, 3, 4));
    EXPECT_EQ(s.Pixels(), before);
}

TEST_F(RedrawFixture, PlainSpritesChangeOnlyByWholePixels)
{
    Scene s(60, 40);
    s.SetImages({RandomImage(rng, 8, 8, 0)});
    OClip* c = s.Add(0, 10, 10);
    Redraw(s);

    c->x = Raw(10 * 256 + 192); // 10.75: still column 10
    EXPECT_EQ(Redraw(s), 0);
    EXPECT_EQ(c->changed, 0);

    c->x = Px(11);
    EXPECT_EQ(Redraw(s), 1);
    EXPECT_EQ(c->changed, 3);
    // Old place (10..17) and new (11..18) overlap and merge into one.
    EXPECT_EQ(DirtyRects(s), (std::vector<ORect>{ORect(10, 10, 18, 17)}));
    EXPECT_EQ(area, ORect(10, 10, 18, 17));
    EXPECT_EQ(c->drawnBounds, ORect(11, 10, 18, 17));
}

TEST_F(RedrawFixture, WhatCountsAsAChange)
{
    u32 paletteA[256] = {}, paletteB[256] = {};
    Scene s(60, 40);
    s.SetImages({RandomImage(rng, 8, 8, 12)});
    OClip* plain = s.Add(0, 10, 10, 12);
    plain->palette = paletteA;
    OClip* sub = s.Add(0, 30, 10, 2);
    sub->subPixel = 1;
    OClip* other = s.Add(0, 40, 20, 0);
    other->palette = paletteA;
    Redraw(s);

    // Mode, anchor and the sub-pixel flag are not compared.
    plain->drawMode = 10;
    plain->anchor = 4;
    other->subPixel = 1;
    EXPECT_EQ(Redraw(s), 0);
    other->subPixel = 0;
    plain->anchor = 0;

    // Flip: a change for a plain sprite only.
    plain->flip = 1;
    sub->flip = 2;
    EXPECT_EQ(Redraw(s), 1);
    EXPECT_EQ(plain->changed, 3);
    EXPECT_EQ(sub->changed, 0);

    // Palette: a change only in draw modes 10 and 12.
    plain->palette = paletteB;
    other->palette = paletteB;
    EXPECT_EQ(Redraw(s), 1);
    EXPECT_EQ(plain->changed, 3);
    EXPECT_EQ(other->changed, 0);

    // A sub-pixel sprite changes with every 1/256 of a pixel.
    sub->x.raw += 1;
    EXPECT_EQ(Redraw(s), 1);
    EXPECT_EQ(sub->changed, 3);

    other->opacity = 9;
    EXPECT_EQ(Redraw(s), 1);
    EXPECT_EQ(other->changed, 3);
}

TEST_F(RedrawFixture, HidingRepaintsWhatLayBeneath)
{
    Scene s(40, 40), ref(40, 40);
    OBitmap* under = RandomImage(rng, 20, 20, 0);
    OBitmap* over = RandomImage(rng, 10, 10, 0);
    s.SetImages({under, over});
    s.engine.backgroundMode = 1;
    s.engine.backgroundColor = 0x123456;
    s.Add(0, 0, 0);
    OClip* top = s.Add(1, 15, 15);
    Redraw(s);
    top->visible = 0;
    EXPECT_EQ(Redraw(s), 1);
    EXPECT_EQ(top->changed, 1);
    EXPECT_EQ(DirtyRects(s), (std::vector<ORect>{ORect(15, 15, 24, 24)}));

    // Beneath: the lower sprite inside the dirty area, background elsewhere.
    ref.engine.backgroundMode = 1;
    ref.engine.backgroundColor = 0x123456;
    std::memcpy(ref.canvas->GetBits(), s.canvas->GetBits(), 3 * 40 * 40);
    ORect dirty(15, 15, 24, 24);
    FillRectColor(ref.canvas, 0x123456, &dirty);
    ORect clip(15, 15, 19, 19);
    BlitCopy(ref.canvas, under, 0, 0, &clip);
    EXPECT_EQ(s.Pixels(), ref.Pixels());
}

TEST_F(RedrawFixture, SeparateChangesGiveSeparateRectanglesAndTheirBoundingArea)
{
    Scene s(200, 100);
    s.SetImages({RandomImage(rng, 10, 10, 0)});
    OClip* a = s.Add(0, 0, 0);
    OClip* b = s.Add(0, 150, 80);
    Redraw(s);
    a->x = Px(2);
    b->y = Px(85);
    EXPECT_EQ(Redraw(s), 1);
    EXPECT_EQ(DirtyRects(s), (std::vector<ORect>{ORect(0, 0, 11, 9), ORect(150, 80, 159, 94)}));
    EXPECT_EQ(area, ORect(0, 0, 159, 94));

    // Moving into each other's way merges them.
    a->x = Px(100);
    b->x = Px(105);
    b->y = Px(5);
    EXPECT_EQ(Redraw(s), 1);
    const auto rects = DirtyRects(s);
    EXPECT_EQ(rects.size(), 3u); // the two old places stay apart
    EXPECT_NE(std::find(rects.begin(), rects.end(), ORect(100, 0, 114, 14)), rects.end());
}

TEST_F(RedrawFixture, BackgroundModeZeroLeavesTrails)
{
    Scene s(40, 20);
    OBitmap* image = RandomImage(rng, 5, 5, 0);
    s.SetImages({image});
    OClip* c = s.Add(0, 0, 0);
    Redraw(s);
    const u32 painted = s.At(1, 1);
    c->x = Px(20);
    Redraw(s);
    EXPECT_EQ(s.At(1, 1), painted);

    s.engine.backgroundMode = 1;
    s.engine.backgroundColor = 0x010101;
    c->x = Px(30);
    Redraw(s);
    EXPECT_EQ(s.At(21, 1), 0x010101u);
}

TEST_F(RedrawFixture, SpritesBeforeFirstAreIgnored)
{
    Scene s(40, 40);
    OBitmap* image = RandomImage(rng, 10, 10, 0);
    s.SetImages({image});
    s.engine.backgroundMode = 1;
    OClip* below = s.Add(0, 0, 0);
    OClip* own = s.Add(0, 5, 5);
    Redraw(s, 1);
    EXPECT_EQ(below->drawnVisible, 0); // never compared, no snapshot
    // own's dirty area covers part of below, which is not repainted there.
    EXPECT_EQ(s.At(2, 2), 0x5A5A5Au);
    own->visible = 0;
    Redraw(s, 1);
    EXPECT_EQ(s.At(6, 6), 0u);
}

TEST_F(RedrawFixture, AddedAreaRepaintsEverythingInIt)
{
    Scene s(40, 40), ref(40, 40);
    OBitmap* image = RandomImage(rng, 10, 10, 2);
    s.SetImages({image});
    s.engine.backgroundMode = 1;
    s.Add(0, 5, 5);
    Redraw(s);
    std::memset(s.canvas->GetBits(), 0xEE, 3 * 40 * 40);
    ORect all(0, 0, 799, 599);
    EXPECT_EQ(s.engine.RedrawDirty(&all, 1, 0), 1);
    EXPECT_EQ(all, ORect(0, 0, 799, 599));
    ORect whole(0, 0, 39, 39);
    FillRectColor(ref.canvas, 0, &whole);
    ORect clip(5, 5, 14, 14);
    BlitAlpha(ref.canvas, image, 5, 5, &clip);
    EXPECT_EQ(s.Pixels(), ref.Pixels());
}

TEST_F(RedrawFixture, SubpixelBoundsAndWholePixelEdges)
{
    Scene s(60, 60);
    OBitmap* image = RandomImage(rng, 10, 10, 2);
    s.SetImages({image});
    OClip* c = s.Add(0, 10, 30, 2);
    c->anchor = 3;
    c->subPixel = 1;
    Redraw(s);
    // At whole pixels the plain member draws the whole image one pixel up and
    // left of the sub-pixel point, and the bounds are exactly that.
    EXPECT_EQ(c->bounds, ORect(11, 21, 20, 30));

    c->x = Raw(10 * 256 + 1);
    c->y = Raw(30 * 256 + 1);
    Redraw(s);
    EXPECT_EQ(c->bounds, ORect(12, 22, 20, 30));
}

TEST_F(RedrawFixture, UnchangedWholePixelSubpixelSpriteIsRepaintedWhole)
{
    Scene s(40, 40);
    OBitmap* image = RandomImage(rng, 10, 10, 2);
    std::memset(image->GetAlpha(), 0, static_cast<size_t>(OBitmap::AlphaPlaneSize(10, 10)));
    s.SetImages({image, RandomImage(rng, 1, 1, 0)});
    s.engine.backgroundMode = 1;
    s.engine.backgroundColor = 0x000001;
    OClip* c = s.Add(0, 10, 10, 2);
    c->subPixel = 1;
    OClip* dot = s.Add(1, 10, 10, 0); // marks the sprite's first column dirty
    dot->visible = 0;
    Redraw(s);
    const u32 corner = s.At(10, 10);
    EXPECT_NE(corner, 0x000001u);
    dot->visible = 1;
    Redraw(s);
    dot->visible = 0;
    Redraw(s);
    // The bounds cover the image's first column, so it is drawn again.
    EXPECT_EQ(c->bounds.left, 10);
    EXPECT_EQ(s.At(10, 10), corner);
}

TEST_F(RedrawFixture, SubpixelModesInTheRedraw)
{
    u32 palette[256];
    for (u32& p : palette)
        p = static_cast<u32>(rng());
    Scene s(40, 40), ref(40, 40);
    OBitmap* image = RandomImage(rng, 10, 10, 12);
    s.SetImages({image});
    OClip* copy = s.Add(0, 2, 2, 0);
    copy->subPixel = 1;
    OClip* pal = s.Add(0, 20, 20, 12);
    pal->subPixel = 1;
    pal->palette = palette;
    Redraw(s);
    // Mode 0 draws nothing; mode 12 at a whole pixel draws its plain member.
    BlitPaletteAlpha(ref.canvas, image, 20, 20, palette, nullptr);
    EXPECT_EQ(s.Pixels(), ref.Pixels());
}

TEST_F(RedrawFixture, SpriteWithoutImageIsSkippedUntilItHasOne)
{
    Scene s(40, 40), ref(40, 40);
    OBitmap* image = RandomImage(rng, 6, 6, 0);
    s.SetImages({image, nullptr});
    s.engine.backgroundMode = 1;
    OClip* c = s.Add(1, 4, 4);
    EXPECT_EQ(Redraw(s), 0);
    EXPECT_EQ(c->drawnVisible, 0);

    c->frame = Px(0);
    EXPECT_EQ(Redraw(s), 1);
    EXPECT_EQ(c->changed, 2);

    // Losing the image clears where it was and records it as not shown.
    c->frame = Px(1);
    EXPECT_EQ(Redraw(s), 1);
    EXPECT_EQ(c->drawnVisible, 0);
    ORect whole(0, 0, 39, 39);
    std::memset(ref.canvas->GetBits(), 0x5A, 3 * 40 * 40);
    ORect old(4, 4, 9, 9);
    FillRectColor(ref.canvas, 0, &old);
    EXPECT_EQ(s.Pixels(), ref.Pixels());
    c->frame = Px(5000);
    EXPECT_EQ(Redraw(s), 0);
}

TEST_F(RedrawFixture, SelfPaintingSprites)
{
    Scene s(50, 40);
    PaintingClip p;
    p.drawMode = 15;
    p.visible = 1;
    p.bounds = ORect(5, 5, 9, 9);
    s.engine.AddClip(&p);
    Redraw(s);
    ASSERT_EQ(p.calls.size(), 1u);
    EXPECT_EQ(p.calls[0], ORect(0, 0, 49, 39)); // changed: the canvas rectangle
    // The plain variant adds the old bounds too when shown.
    EXPECT_EQ(DirtyRects(s), (std::vector<ORect>{ORect(5, 5, 9, 9), ORect(0, 0, 0, 0)}));

    // Unchanged: once per dirty rectangle it meets, cut to its bounds.
    p.calls.clear();
    ORect poke(8, 0, 30, 6);
    s.engine.RedrawDirty(&poke, 1, 0);
    ASSERT_EQ(p.calls.size(), 1u);
    EXPECT_EQ(p.calls[0], ORect(8, 5, 9, 6));
    s.clips->Clear();
}

TEST_F(RedrawFixture, LineSpritesOfTheSecondRedraw)
{
    Scene s(40, 40);
    s.engine.backgroundMode = 1;
    s.engine.backgroundColor = 0;
    OClip line;
    line.drawMode = 11;
    line.visible = 1;
    line.lineColor = 0xFF0000;
    line.bounds = ORect(5, 30, 5, 10); // drawn bottom to top
    line.NormalizeRect();
    EXPECT_EQ(line.anchor, 3);
    s.engine.AddClip(&line);
    ORect a;
    EXPECT_EQ(s.engine.RedrawDirtyUnused(&a, 0, 0), 1);
    EXPECT_EQ(a, ORect(5, 10, 5, 30));
    for (int y = 10; y <= 30; ++y)
        EXPECT_EQ(s.At(5, y), 0xFF0000u);
    EXPECT_EQ(s.engine.RedrawDirtyUnused(&a, 0, 0), 0);

    // Unchanged lines are drawn only inside the dirty rectangles.
    std::memset(s.canvas->GetBits(), 0x11, 3 * 40 * 40);
    ORect poke(0, 12, 39, 14);
    s.engine.RedrawDirtyUnused(&poke, 1, 0);
    EXPECT_EQ(s.At(5, 11), 0x111111u);
    EXPECT_EQ(s.At(5, 13), 0xFF0000u);

    // A line reaching off the canvas is clipped to it, never written past it.
    line.bounds = ORect(-100, 20, 500, 20);
    line.anchor = 0;
    EXPECT_EQ(s.engine.RedrawDirtyUnused(&a, 0, 0), 1);
    EXPECT_EQ(s.At(0, 20), 0xFF0000u);
    EXPECT_EQ(s.At(39, 20), 0xFF0000u);
    EXPECT_EQ(s.At(5, 13), 0u); // old line place repainted with background
    s.clips->Clear();
}

TEST_F(RedrawFixture, SecondRedrawIgnoresFlipAndPalette)
{
    Scene s(40, 40), ref(40, 40);
    OBitmap* image = RandomImage(rng, 8, 8, 0);
    s.SetImages({image});
    OClip* c = s.Add(0, 3, 3);
    c->flip = 3;
    s.engine.RedrawDirtyUnused(&area, 0, 0);
    BlitCopy(ref.canvas, image, 3, 3, nullptr);
    EXPECT_EQ(s.Pixels(), ref.Pixels());
    EXPECT_EQ(c->drawnFlip, 0);
    c->flip = 1;
    EXPECT_EQ(s.engine.RedrawDirtyUnused(&area, 0, 0), 0);
}

// Images may reach further from their place than a rectangle's 16-bit
// coordinates go. Their bounds must still cover what the blitter draws of
// them, or a move leaves the old picture behind and an added area misses it.
TEST_F(RedrawFixture, ImagesReachingPastTheLastCoordinateAreRedrawnWhereDrawn)
{
    struct Case
    {
        u16 w, h;
        int x, y, dx, dy;
        u8 anchor, subPixel;
    };
    const Case cases[] = {
        {32767, 1, 790, 10, 0, 1, 0, 0}, // wide, far edge past 32767
        {1, 32767, 20, 590, 1, 0, 0, 0}, // tall
        {32767, 3, 790, 20, 0, 1, 0, 1}, // the same with sub-pixel bounds
        {3, 32767, 30, 590, 1, 0, 0, 1},
        {32767, 2, -32000, 40, 0, 1, 0, 0}, // far edge inside, near edge far out
        {32000, 2, 700, 50, 0, 1, 1, 0},    // centred: both edges in range
    };
    for (const Case& k : cases)
    {
        Scene s(800, 600), ref(800, 600);
        s.SetImages({RandomImage(rng, k.w, k.h, 0), RandomImage(rng, k.w, k.h, 2)});
        for (Scene* e : {&s, &ref})
        {
            e->engine.backgroundMode = 1;
            e->engine.backgroundColor = 0x102030;
        }
        ref.engine.imageStore = &s.store;
        ref.engine.clips = s.clips;
        OClip* opaque = s.Add(0, k.x, k.y, 6);
        OClip* blended = s.Add(1, k.x + 2 * k.dx, k.y + 2 * k.dy, 6);
        for (OClip* c : {opaque, blended})
        {
            c->anchor = k.anchor;
            c->subPixel = k.subPixel;
            if (k.subPixel != 0)
                c->SetPosition(OFixed::FromRaw(c->x.raw + 77), OFixed::FromRaw(c->y.raw + 77));
        }
        ORect whole(0, 0, 799, 599);
        s.engine.RedrawDirty(&whole, 1, 0);
        ref.engine.Draw(0, nullptr);
        ASSERT_EQ(s.Pixels(), ref.Pixels()) << k.w << "x" << k.h;
        for (OClip* c : {opaque, blended})
            c->SetPosition(OFixed::FromRaw(c->x.raw + k.dx * 256), OFixed::FromRaw(c->y.raw + k.dy * 256));
        Redraw(s);
        ref.engine.Draw(0, nullptr);
        ASSERT_EQ(s.Pixels(), ref.Pixels()) << k.w << "x" << k.h << " after a move";
        std::memset(s.canvas->GetBits(), 0xEE, 3 * 800 * 600);
        s.engine.RedrawDirty(&whole, 1, 0);
        ASSERT_EQ(s.Pixels(), ref.Pixels()) << k.w << "x" << k.h << " with the whole canvas added";
        ref.engine.clips = nullptr;
    }
}

// In background mode 1 with plain sprites, the dirty redraw must leave the
// canvas exactly as a full repaint of the same list would.
TEST_F(RedrawFixture, RandomChangesMatchAFullRepaint)
{
    for (u32 seed : {1u, 2u, 3u, 4u})
    {
        rng.seed(seed);
        // Later seeds spread many sprites over a larger canvas and change
        // many at once, so that frames with more dirty rectangles than the
        // vector test of the redraw holds occur too.
        const bool large = seed > 2;
        const int w = large ? 640 : 160, h = large ? 480 : 120;
        Scene s(static_cast<u16>(w), static_cast<u16>(h)), ref(static_cast<u16>(w), static_cast<u16>(h));
        std::vector<OBitmap*> images;
        const u8 formats[] = {0, 1, 2, 3, 7, 8, 13, 14, 16, 17, 18, 19, 20, 21};
        for (int i = 0; i < 12; ++i)
        {
            images.push_back(RandomImage(rng, static_cast<u16>(4 + rng() % 30),
                                         static_cast<u16>(4 + rng() % 30),
                                         formats[rng() % std::size(formats)]));
        }
        s.SetImages(images);
        s.engine.backgroundMode = 1;
        s.engine.backgroundColor = 0x203040;
        ref.engine.backgroundMode = 1;
        ref.engine.backgroundColor = 0x203040;
        ref.engine.imageStore = &s.store;
        ref.engine.clips = s.clips;

        std::uniform_int_distribution<int> pos(-40, w + 20);
        const u8 anchors[] = {0, 1, 2, 3, 4, 7};
        for (int i = 0; i < (large ? 160 : 40); ++i)
        {
            OClip* c = s.Add(static_cast<int>(rng() % images.size()), pos(rng), pos(rng));
            c->anchor = anchors[rng() % 6];
            c->flip = static_cast<u8>(rng() % 4);
            c->opacity = static_cast<u8>(rng());
            c->visible = static_cast<u8>(rng() % 4 != 0);
        }
        // The first frame repaints the whole canvas, as a screen does when
        // it opens.
        ORect whole(0, 0, static_cast<i16>(w - 1), static_cast<i16>(h - 1));
        s.engine.RedrawDirty(&whole, 1, 0);
        for (int step = 0; step < 60; ++step)
        {
            const int changes = 1 + static_cast<int>(rng() % (large ? 30 : 6));
            for (int k = 0; k < changes; ++k)
            {
                OClip* c = s.owned[rng() % s.owned.size()].get();
                switch (rng() % 6)
                {
                case 0:
                    c->x.raw += static_cast<i32>(rng() % 2001) - 1000;
                    break;
                case 1:
                    c->y.raw += static_cast<i32>(rng() % 2001) - 1000;
                    break;
                case 2:
                    c->visible ^= 1;
                    break;
                case 3:
                    c->frame = Px(static_cast<int>(rng() % images.size()));
                    break;
                case 4:
                    c->flip = static_cast<u8>(rng() % 4);
                    break;
                default:
                    c->opacity = static_cast<u8>(rng());
                    break;
                }
            }
            Redraw(s);
            ref.engine.Draw(0, nullptr);
            ASSERT_EQ(s.Pixels(), ref.Pixels()) << "seed " << seed << " step " << step;
        }
        ref.engine.clips = nullptr;
    }
}

// Sub-pixel sprites whose fraction is zero on one axis and not on the other
// (and some with both): the filtered member draws (w - 1) x (h - 1) pixels
// whichever fraction is zero, and the redraw must clear all of them when the
// sprite moves on. Whole-pixel positions are left out: there the redraw keeps
// to its narrower bounds by rule.
TEST_F(RedrawFixture, SubpixelSpritesWithAnyFractionsMatchAFullRepaint)
{
    rng.seed(5);
    Scene s(200, 150), ref(200, 150);
    std::vector<OBitmap*> images;
    images.reserve(8);
    const u8 formats[] = {2, 3, 13, 14};
    for (int i = 0; i < 8; ++i)
        images.push_back(RandomImage(rng, static_cast<u16>(3 + rng() % 20), static_cast<u16>(3 + rng() % 20),
                                     formats[i % 4]));
    s.SetImages(images);
    for (Scene* e : {&s, &ref})
    {
        e->engine.backgroundMode = 1;
        e->engine.backgroundColor = 0x405060;
    }
    ref.engine.imageStore = &s.store;
    ref.engine.clips = s.clips;
    // A 24.8 coordinate from -20 to 179 pixels with a fraction, or none.
    const auto coordinate = [&](bool fraction)
    {
        return Raw((static_cast<i32>(rng() % 200) - 20) * 256 +
                   (fraction ? 1 + static_cast<i32>(rng() % 255) : 0));
    };
    const auto place = [&](OClip* c)
    {
        // 0: x only, 1: y only, 2: both, 3: whole pixels
        const int axes = static_cast<int>(rng() % 4);
        c->SetPosition(coordinate(axes == 0 || axes == 2), coordinate(axes == 1 || axes == 2));
    };
    const u8 anchors[] = {0, 1, 2, 3, 4, 7};
    for (int i = 0; i < 30; ++i)
    {
        OClip* c = s.Add(static_cast<int>(rng() % images.size()), 0, 0);
        c->subPixel = 1;
        c->anchor = anchors[rng() % 6];
        c->flip = static_cast<u8>(rng() % 4);
        c->opacity = static_cast<u8>(rng());
        place(c);
    }
    ORect whole(0, 0, 199, 149);
    s.engine.RedrawDirty(&whole, 1, 0);
    for (int step = 0; step < 80; ++step)
    {
        for (int k = 1 + static_cast<int>(rng() % 4); k > 0; --k)
        {
            OClip* c = s.owned[rng() % s.owned.size()].get();
            if (rng() % 4 == 0)
                c->visible ^= 1;
            else
                place(c);
        }
        Redraw(s);
        ref.engine.Draw(0, nullptr);
        ASSERT_EQ(s.Pixels(), ref.Pixels()) << "step " << step;
    }
    ref.engine.clips = nullptr;
}

} // namespace

namespace
{

// Any field values a careless owner may leave in a sprite: every draw mode
// byte, anchor code and flip, frames outside the store or on empty entries,
// palettes missing, positions near the ends of the 16-bit range. Drawing
// must stay inside the canvas and the images (the sanitizer build checks the
// reads and writes).
TEST(RedrawRobustness, HostileSpriteFieldsNeverReachOutsideTheBlocks)
{
    std::mt19937 rng(77);
    Scene s(120, 90);
    const u8 formats[] = {0, 1, 2, 3, 7, 8, 12, 13, 14, 16, 17, 18, 19, 20, 21};
    std::vector<OBitmap*> images;
    for (u8 f : formats)
        images.push_back(
            RandomImage(rng, static_cast<u16>(1 + rng() % 40), static_cast<u16>(1 + rng() % 40), f));
    images.push_back(nullptr);
    s.SetImages(images);
    u32 palette[256] = {};
    const int extremes[] = {-32768, -32767, -200, -1, 0, 1, 119, 120, 32766, 32767};
    for (int i = 0; i < 60; ++i)
        s.Add(0, 0, 0);
    OBitmap* target = CreateBitmap(50, 40, 0, 0, nullptr, nullptr);
    for (int step = 0; step < 200; ++step)
    {
        for (auto& c : s.owned)
        {
            if (rng() % 3 != 0)
                continue;
            c->drawMode = static_cast<i8>(rng());
            c->anchor = static_cast<u8>(rng() % 10 == 0 ? rng() : rng() % 8);
            c->flip = static_cast<u8>(rng() % 6);
            c->subPixel = static_cast<u8>(rng() % 3 == 0);
            c->visible = static_cast<u8>(rng() % 4 != 0);
            c->opacity = static_cast<u8>(rng());
            c->palette = rng() % 4 == 0 ? nullptr : palette;
            c->frame = Raw(static_cast<i32>(rng() % 24) * 256 - 256 + static_cast<i32>(rng() % 256));
            const bool far = rng() % 5 == 0;
            c->x = Raw(far ? extremes[rng() % 10] * 256 : static_cast<i32>(rng() % 40000) - 5000);
            c->y = Raw(far ? extremes[rng() % 10] * 256 : static_cast<i32>(rng() % 30000) - 5000);
            c->bounds = ORect(static_cast<i16>(rng()), static_cast<i16>(rng()), static_cast<i16>(rng()),
                              static_cast<i16>(rng()));
        }
        s.engine.backgroundMode = static_cast<u8>(rng() % 2);
        ORect area(0, 0, 119, 89);
        switch (step % 5)
        {
        case 0:
            s.engine.Draw(0, nullptr);
            break;
        case 1:
            area = ORect(static_cast<i16>(rng()), static_cast<i16>(rng()), static_cast<i16>(rng()),
                         static_cast<i16>(rng()));
            s.engine.DrawClipped(static_cast<i32>(rng() % 70) - 5, &area);
            break;
        case 2:
            s.engine.DrawUnused(target, 0, &area);
            break;
        case 3:
            s.engine.RedrawDirtyUnused(&area, static_cast<u8>(rng() % 2), 0);
            break;
        default:
            s.engine.RedrawDirty(&area, static_cast<u8>(rng() % 2), static_cast<i16>(rng() % 70) - 5);
            break;
        }
    }
    DestroyBitmap(target);
}

} // namespace
