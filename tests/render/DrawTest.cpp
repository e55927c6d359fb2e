#include "SceneFixture.h"
#include "render/BlitTable.h"
#include "render/RectOps.h"

#include <gtest/gtest.h>

using namespace scenetest;

namespace
{

// Every effective mode that has a plain member, with one image format that
// carries what the member reads.
struct ModeCase
{
    i8 mode;
    u8 format;
};

const ModeCase kPlainModes[] = {{0, 0},   {1, 1},   {2, 2},   {3, 3},   {7, 7},   {8, 8},
                                {10, 12}, {12, 12}, {13, 13}, {14, 14}, {16, 16}, {17, 17},
                                {18, 18}, {19, 19}, {20, 20}, {21, 21}};

struct DrawFixture : ::testing::Test
{
    std::mt19937 rng{1234};
    u32 palette[256];

    DrawFixture()
    {
        for (u32& p : palette)
            p = static_cast<u32>(rng());
    }

    // The expected canvas: the member of the dispatch table called by hand.
    static void Expect(OBitmap* canvas, OBitmap* image, u8 m, u8 flip, i16 x, i16 y, const OClip& c,
                       const ORect* rect)
    {
        if (BlitFn fn = GetBlitter(m, flip))
            fn(canvas, image, x, y, c.palette, c.opacity, rect);
    }
};

TEST_F(DrawFixture, EveryModeAndFlipUsesItsMemberAtTheAnchoredPosition)
{
    for (const ModeCase& mc : kPlainModes)
    {
        for (u8 flip = 0; flip < 4; ++flip)
        {
            for (u8 anchor : {0, 1, 2, 3, 4, 7})
            {
                Scene s(60, 50), ref(60, 50);
                OBitmap* image = RandomImage(rng, 13, 9, mc.format);
                s.SetImages({image});
                OClip* c = s.Add(0, 20, 25, mc.mode);
                c->anchor = anchor;
                c->flip = flip;
                c->opacity = 200;
                c->palette = palette;
                s.engine.Draw(0, nullptr);

                static const int dx[8] = {0, -6, -12, 0, -12, 0, 0, -6};
                static const int dy[8] = {0, -4, 0, -8, -8, 0, 0, -8};
                Expect(ref.canvas, image, static_cast<u8>(mc.mode), flip, static_cast<i16>(20 + dx[anchor]),
                       static_cast<i16>(25 + dy[anchor]), *c, nullptr);
                ASSERT_EQ(s.Pixels(), ref.Pixels())
                    << "mode " << int(mc.mode) << " flip " << int(flip) << " anchor " << int(anchor);
            }
        }
    }
}

TEST_F(DrawFixture, ModeSixTakesTheImageFormat)
{
    for (u8 format : {0, 2})
    {
        Scene s(30, 30), ref(30, 30);
        OBitmap* image = RandomImage(rng, 10, 10, format);
        s.SetImages({image});
        OClip* c = s.Add(0, 3, 4);
        c->flip = 3;
        s.engine.Draw(0, nullptr);
        Expect(ref.canvas, image, format, 3, 3, 4, *c, nullptr);
        EXPECT_EQ(s.Pixels(), ref.Pixels());
    }
}

TEST_F(DrawFixture, ModesWithoutMemberAndBadFlipsLeaveCanvas)
{
    for (i8 mode : {4, 5, 9, 11, 22, -3})
    {
        Scene s(30, 30);
        s.SetImages({RandomImage(rng, 10, 10, 2)});
        s.Add(0, 3, 4, mode);
        auto before = s.Pixels();
        s.engine.Draw(0, nullptr);
        EXPECT_EQ(s.Pixels(), before) << int(mode);
    }
    Scene s(30, 30);
    s.SetImages({RandomImage(rng, 10, 10, 0)});
    s.Add(0, 3, 4)->flip = 4;
    auto before = s.Pixels();
    s.engine.Draw(0, nullptr);
    EXPECT_EQ(s.Pixels(), before);
}

TEST_F(DrawFixture, PositionsRoundTowardMinusInfinity)
{
    Scene s(30, 30), ref(30, 30);
    OBitmap* wide5 = RandomImage(rng, 5, 3, 0);
    OBitmap* other = RandomImage(rng, 4, 4, 0);
    s.SetImages({wide5, other});
    OClip* centred = s.Add(0, 10, 10, 0);
    centred->anchor = 1; // w/2 = 2, h/2 = 1
    OClip* left = s.Add(1, 0, 20, 0);
    left->x = Raw(-128); // -0.5 lands on column -1
    left->y = Raw(20 * 256 + 255);
    s.engine.Draw(0, nullptr);
    BlitCopy(ref.canvas, wide5, 8, 9, nullptr);
    BlitCopy(ref.canvas, other, -1, 20, nullptr);
    EXPECT_EQ(s.Pixels(), ref.Pixels());
}

TEST_F(DrawFixture, AnchorWithoutRuleStaysWhereItWasLastPlaced)
{
    Scene s(30, 30), ref(30, 30);
    OBitmap* image = RandomImage(rng, 6, 5, 0);
    s.SetImages({image});
    OClip* c = s.Add(0, 3, 4, 0);
    ORect r(0, 0, 29, 29);
    s.engine.DrawClipped(0, &r); // places bounds at (3, 4)
    c->anchor = 5;
    c->SetPosition(Px(20), Px(20));
    s.engine.Draw(0, nullptr);
    s.engine.DrawClipped(0, &r);
    EXPECT_EQ(c->bounds, ORect(3, 4, 8, 8));
    FillRectColor(ref.canvas, 0, &r); // DrawClipped fills in every background mode
    BlitCopy(ref.canvas, image, 3, 4, nullptr);
    EXPECT_EQ(s.Pixels(), ref.Pixels());
}

TEST_F(DrawFixture, SubpixelPathPicksPlainOrFilteredMember)
{
    OBitmap* image = RandomImage(rng, 12, 10, 2);
    {
        // Whole pixels: the plain member at exactly the plain position.
        Scene s(40, 40), ref(40, 40);
        s.SetImages({image});
        OClip* c = s.Add(0, 10, 11, 2);
        c->subPixel = 1;
        s.engine.Draw(0, nullptr);
        BlitAlpha(ref.canvas, image, 10, 11, nullptr);
        EXPECT_EQ(s.Pixels(), ref.Pixels());
        s.store.packImageCount = 0; // the next scene owns the image
    }
    {
        Scene s(40, 40), ref(40, 40);
        s.SetImages({image});
        OClip* c = s.Add(0, 0, 11, 2);
        c->x = Raw(10 * 256 + 128);
        c->subPixel = 1;
        s.engine.Draw(0, nullptr);
        BlitAlphaSubpixel(ref.canvas, image, 11, 12, 128, 0, nullptr);
        EXPECT_EQ(s.Pixels(), ref.Pixels());
    }
}

TEST_F(DrawFixture, SubpixelBottomLeftSitsOneColumnRight)
{
    OBitmap* image = RandomImage(rng, 8, 8, 2);
    Scene s(40, 40), ref(40, 40);
    s.SetImages({image});
    OClip* c = s.Add(0, 10, 20, 2);
    c->anchor = 3;
    c->subPixel = 1;
    s.engine.Draw(0, nullptr);
    BlitAlpha(ref.canvas, image, 11, 13, nullptr);
    EXPECT_EQ(s.Pixels(), ref.Pixels());
}

TEST_F(DrawFixture, SubpixelDrawsOnlyItsFourModes)
{
    for (const ModeCase& mc : kPlainModes)
    {
        Scene s(30, 30);
        s.SetImages({RandomImage(rng, 10, 10, mc.format)});
        OClip* c = s.Add(0, 3, 4, mc.mode);
        c->subPixel = 1;
        c->x = Raw(3 * 256 + 77);
        c->opacity = 255;
        c->palette = palette;
        auto before = s.Pixels();
        s.engine.Draw(0, nullptr);
        const bool drawn = mc.mode == 2 || mc.mode == 3 || mc.mode == 13 || mc.mode == 14;
        if (!drawn)
        {
            EXPECT_EQ(s.Pixels(), before) << int(mc.mode);
        }
    }
}

TEST_F(DrawFixture, SelfPaintingSpriteIsNeverLookedUp)
{
    Scene s(30, 20);
    // No image at all in the store: a lookup would find nothing to draw.
    PaintingClip p;
    p.drawMode = 15;
    p.visible = 1;
    p.frame = Px(999);
    p.bounds = ORect(2, 2, 5, 5);
    s.engine.AddClip(&p);
    s.engine.Draw(0, nullptr);
    ASSERT_EQ(p.calls.size(), 1u);
    EXPECT_EQ(p.calls[0], ORect(0, 0, 29, 19));
    EXPECT_EQ(s.At(3, 3), p.colour);

    p.calls.clear();
    ORect r(4, 4, 100, 100);
    s.engine.DrawClipped(0, &r);
    ASSERT_EQ(p.calls.size(), 1u);
    EXPECT_EQ(p.calls[0], ORect(4, 4, 29, 19));
    s.clips->Clear();
}

TEST_F(DrawFixture, HiddenAndImagelessSpritesAreSkipped)
{
    Scene s(30, 30);
    OBitmap* image = RandomImage(rng, 10, 10, 0);
    s.SetImages({image, nullptr});
    s.Add(0, 0, 0, 0)->visible = 0;
    s.Add(1, 0, 0, 0);  // empty store entry
    s.Add(7, 0, 0, 0);  // beyond the store
    s.Add(-1, 0, 0, 0); // negative frame
    auto before = s.Pixels();
    s.engine.Draw(0, nullptr);
    ORect all(0, 0, 29, 29);
    s.engine.backgroundColor = 0x5A5A5A;
    s.engine.DrawClipped(0, &all);
    EXPECT_EQ(s.Pixels(), before);
}

TEST_F(DrawFixture, FirstIndexAndBackgroundRules)
{
    Scene s(20, 20);
    s.SetImages({RandomImage(rng, 5, 5, 0)});
    s.Add(0, 1, 1, 0);
    s.engine.backgroundMode = 1;
    s.engine.backgroundColor = 0xABCDEF;
    s.engine.Draw(1, nullptr); // fills, draws no sprite
    EXPECT_EQ(s.At(1, 1), 0xABCDEFu);

    // DrawClipped from the count touches nothing at all.
    s.engine.backgroundColor = 0x010203;
    ORect all(0, 0, 19, 19);
    s.engine.DrawClipped(1, &all);
    EXPECT_EQ(s.At(1, 1), 0xABCDEFu);
    s.engine.DrawClipped(0, nullptr);
    EXPECT_EQ(s.At(1, 1), 0xABCDEFu);

    // Mode 0 background: Draw leaves the old pixels, DrawClipped fills anyway.
    s.engine.backgroundMode = 0;
    s.engine.Draw(1, nullptr);
    EXPECT_EQ(s.At(10, 10), 0xABCDEFu);
    s.engine.DrawClipped(0, &all);
    EXPECT_EQ(s.At(10, 10), 0x010203u);
}

TEST_F(DrawFixture, DrawClippedStaysInsideRectAndRecordsBounds)
{
    for (int trial = 0; trial < 40; ++trial)
    {
        Scene s(64, 48), ref(64, 48);
        const ModeCase mc = kPlainModes[trial % 16];
        OBitmap* image =
            RandomImage(rng, static_cast<u16>(5 + rng() % 20), static_cast<u16>(5 + rng() % 20), mc.format);
        s.SetImages({image});
        std::uniform_int_distribution<int> pos(-20, 70);
        OClip* c = s.Add(0, pos(rng), pos(rng), mc.mode);
        c->flip = static_cast<u8>(rng() % 4);
        c->anchor = static_cast<u8>(std::vector<int>{0, 1, 2, 3, 4, 7}[rng() % 6]);
        c->opacity = static_cast<u8>(rng());
        c->palette = palette;
        ORect r(static_cast<i16>(pos(rng)), static_cast<i16>(pos(rng)), 0, 0);
        r.right = static_cast<i16>(r.left + rng() % 40);
        r.bottom = static_cast<i16>(r.top + rng() % 40);
        s.engine.backgroundColor = 0x0000FF;

        s.engine.DrawClipped(0, &r);

        i16 x = 0, y = 0;
        ORect client(0, 0, 63, 47), area = client;
        ORect::Intersect(area, r, client);
        const int w = image->width, h = image->height;
        const int ax[8] = {0, -(w / 2), -w + 1, 0, -w + 1, 0, 0, -(w / 2)};
        const int ay[8] = {0, -(h / 2), 0, -h + 1, -h + 1, 0, 0, -h + 1};
        x = static_cast<i16>(c->x.ToInt() + ax[c->anchor]);
        y = static_cast<i16>(c->y.ToInt() + ay[c->anchor]);
        EXPECT_EQ(c->bounds, ORect(x, y, static_cast<i16>(x + w - 1), static_cast<i16>(y + h - 1)));
        FillRectColor(ref.canvas, 0x0000FF, &area);
        ORect clip = c->bounds;
        if (ORect::Intersect(clip, clip, area))
            Expect(ref.canvas, image, static_cast<u8>(mc.mode), c->flip, x, y, *c, &clip);
        ASSERT_EQ(s.Pixels(), ref.Pixels()) << "trial " << trial;
    }
}

TEST_F(DrawFixture, DrawUnusedPaintsIntoItsTargetOnly)
{
    Scene s(30, 30);
    OBitmap* image = RandomImage(rng, 6, 6, 0);
    s.SetImages({image});
    s.Add(0, 2, 2, 0);
    OBitmap* target = CreateBitmap(12, 12, 0, 0, nullptr, nullptr);
    std::memset(target->GetBits(), 0, static_cast<size_t>(OBitmap::Rgb24BlockSize(12, 12)));
    auto canvasBefore = s.Pixels();
    s.engine.backgroundMode = 1;
    s.engine.backgroundColor = 0x777777;
    ORect r(0, 0, 5, 5);
    s.engine.DrawUnused(target, 0, &r);

    OBitmap* expected = CreateBitmap(12, 12, 0, 0, nullptr, nullptr);
    std::memset(expected->GetBits(), 0, static_cast<size_t>(OBitmap::Rgb24BlockSize(12, 12)));
    FillRectColor(expected, 0x777777, &r);
    ORect clip(2, 2, 5, 5);
    BlitCopy(expected, image, 2, 2, &clip);
    EXPECT_EQ(std::memcmp(target->GetBits(), expected->GetBits(), 3 * 12 * 12), 0);
    EXPECT_EQ(s.Pixels(), canvasBefore);
    s.engine.DrawUnused(nullptr, 0, &r);
    DestroyBitmap(target);
    DestroyBitmap(expected);
}

} // namespace
