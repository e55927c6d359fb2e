#include "core/ORect.h"

#include <gtest/gtest.h>

#include <random>

namespace
{
// How an alignment code places each axis.
enum Place
{
    Keep,
    Near,   // against left or top
    Far,    // against right or bottom
    Centre, // margin ignored
};

struct CodePlacement
{
    Place x, y;
};

const CodePlacement kCodes[16] = {
    {Near, Near},   {Centre, Centre}, {Far, Near},    {Near, Far},   {Far, Far},     {Keep, Keep},
    {Centre, Near}, {Centre, Far},    {Near, Centre}, {Far, Centre}, {Keep, Centre}, {Centre, Keep},
    {Near, Keep},   {Far, Keep},      {Keep, Near},   {Keep, Far},
};

// One axis: lo..hi of the reference, the rectangle's own start and extent.
int PlaceAxis(Place p, int lo, int hi, int start, int extent, int margin, bool marginApplies)
{
    switch (p)
    {
    case Keep:
        return start;
    case Centre:
        return (lo + hi - extent + 1) / 2;
    case Near:
        if (!marginApplies || margin >= 0)
            return lo + (marginApplies ? margin : 0);
        return lo - extent + margin;
    case Far:
        if (!marginApplies || margin >= 0)
            return hi - extent - (marginApplies ? margin : 0);
        return hi - margin;
    }
    return start;
}
} // namespace

TEST(RectAlign, EveryCodeWithBothMarginSigns)
{
    std::mt19937 rng(3);
    std::uniform_int_distribution<int> coord(-300, 300), size(1, 120), margin(-40, 40);
    for (int trial = 0; trial < 400; ++trial)
    {
        const int rl = coord(rng), rt = coord(rng);
        const ORect ref(static_cast<i16>(rl), static_cast<i16>(rt), static_cast<i16>(rl + size(rng)),
                        static_cast<i16>(rt + size(rng)));
        const int w = size(rng), h = size(rng), x0 = coord(rng), y0 = coord(rng);
        const int m = trial % 3 == 0 ? 0 : margin(rng);
        for (int code = 0; code < 16; ++code)
        {
            ORect r;
            r.SetBySize(static_cast<i16>(x0), static_cast<i16>(y0), static_cast<i16>(w), static_cast<i16>(h));
            r.Align(ref, code, static_cast<i16>(m));
            // Codes 1, 10 and 11 only centre; the margin means nothing to them.
            const bool marginApplies = code != 1 && code != 10 && code != 11;
            const int ex = PlaceAxis(kCodes[code].x, ref.left, ref.right, x0, w, m, marginApplies);
            const int ey = PlaceAxis(kCodes[code].y, ref.top, ref.bottom, y0, h, m, marginApplies);
            ASSERT_EQ(r.left, ex) << "code " << code << " margin " << m;
            ASSERT_EQ(r.top, ey) << "code " << code << " margin " << m;
            ASSERT_EQ(r.Width(), w);
            ASSERT_EQ(r.Height(), h);
        }
    }
}

TEST(RectAlign, KnownPlacements)
{
    const ORect ref(0, 0, 99, 99);
    ORect r(0, 0, 9, 9);
    r.Align(ref, 2, 0);
    EXPECT_EQ(r, ORect(89, 0, 98, 9)); // one pixel short of the right edge
    r.Align(ref, 1, 25);
    EXPECT_EQ(r, ORect(45, 45, 54, 54));
    r.Align(ref, 0, -3); // outside, above and to the left
    EXPECT_EQ(r, ORect(-13, -13, -4, -4));
    r.Align(ref, 4, -3); // outside, below right, counted from the last row
    EXPECT_EQ(r, ORect(102, 102, 111, 111));
    r.Align(ref, 4, 0);
    EXPECT_EQ(r, ORect(89, 89, 98, 98));
    // Centring truncates toward zero: (0 + 98 - 10 + 1) / 2 = 44.
    r.Align(ORect(0, 0, 98, 98), 1, 0);
    EXPECT_EQ(r.left, 44);
    r.Align(ORect(-100, -100, 0, 0), 1, 0);
    EXPECT_EQ(r.left, -54); // -109 / 2 truncates up, not down to -55
}

TEST(RectAlign, PlacementsBeyondTheFieldRangeWrap)
{
    // The new corner is computed wide and then stored in 16 bits, and the
    // far edges follow by a 16-bit move, as with MoveTo.
    ORect r(0, 0, 99, 9);
    r.Align(ORect(32700, 0, 32760, 10), 13, -5);
    EXPECT_EQ(r.left, 32765);
    EXPECT_EQ(r.right, static_cast<i16>(32765 + 99 - 65536));
    EXPECT_EQ(r.Width(), 100 - 65536); // the inclusive width now spans the wrap

    ORect s(0, 0, 99, 9);
    s.Align(ORect(-32760, -32760, 0, 0), 0, -10);
    EXPECT_EQ(s.left, static_cast<i16>(-32760 - 100 - 10 + 65536));
    EXPECT_EQ(s.top, static_cast<i16>(-32760 - 10 - 10 + 65536));
    EXPECT_EQ(s.right, static_cast<i16>(s.left + 99));

    // Centring adds the reference's edges in 32 bits before halving.
    ORect c(0, 0, 9, 9);
    c.Align(ORect(32000, 32000, 32767, 32767), 1, 0);
    EXPECT_EQ(c.left, (32000 + 32767 - 10 + 1) / 2);
    EXPECT_EQ(c.bottom, c.top + 9);
}

TEST(RectAlign, NoneAndUnknownCodesLeaveTheRectangle)
{
    const ORect ref(0, 0, 99, 99);
    for (int code : {5, 16, 17, 255, -1})
    {
        ORect r(7, 8, 20, 30);
        r.Align(ref, code, 5);
        EXPECT_EQ(r, ORect(7, 8, 20, 30)) << code;
    }
}

TEST(RectGeometry, InclusiveEdges)
{
    EXPECT_EQ(ORect(5, 0, 5, 0).Width(), 1);
    EXPECT_EQ(ORect().Height(), 1);
    // Width is taken in 32 bits from the sign-extended fields.
    EXPECT_EQ(ORect(-32768, 0, 32767, 0).Width(), 65536);
    const ORect r(10, 20, 30, 40);
    for (auto [x, y] : {std::pair{10, 20}, {30, 20}, {10, 40}, {30, 40}, {20, 30}})
        EXPECT_TRUE(r.Contains(static_cast<i16>(x), static_cast<i16>(y))) << x << "," << y;
    for (auto [x, y] : {std::pair{9, 30}, {31, 30}, {20, 19}, {20, 41}})
        EXPECT_FALSE(r.Contains(static_cast<i16>(x), static_cast<i16>(y))) << x << "," << y;
}

TEST(RectGeometry, OverlapAndIntersection)
{
    const ORect a(0, 0, 10, 10);
    const ORect touching(10, 5, 20, 30);
    ASSERT_TRUE(ORect::Overlaps(a, touching));
    ORect out(1, 2, 3, 4);
    ASSERT_TRUE(ORect::Intersect(out, a, touching));
    EXPECT_EQ(out, ORect(10, 5, 10, 10));

    const ORect apart(11, 0, 20, 10);
    EXPECT_FALSE(ORect::Overlaps(a, apart));
    EXPECT_FALSE(ORect::Overlaps(apart, a));
    EXPECT_FALSE(ORect::Overlaps(a, ORect(0, 11, 10, 20)));
    out = ORect(1, 2, 3, 4);
    EXPECT_FALSE(ORect::Intersect(out, a, apart));
    EXPECT_EQ(out, ORect(1, 2, 3, 4));

    // The output may be one of the inputs.
    ORect c(5, -5, 50, 5);
    ASSERT_TRUE(ORect::Intersect(c, c, a));
    EXPECT_EQ(c, ORect(5, 0, 10, 5));
    ORect d(5, -5, 50, 5);
    ASSERT_TRUE(ORect::Intersect(d, a, d));
    EXPECT_EQ(d, ORect(5, 0, 10, 5));
}

TEST(RectGeometry, MovesAndSizesWrapIn16Bits)
{
    ORect r(10, 20, 19, 29);
    r.MoveTo(-5, 100);
    EXPECT_EQ(r, ORect(-5, 100, 4, 109));
    r.MoveToX(0);
    EXPECT_EQ(r, ORect(0, 100, 9, 109));
    r.MoveToY(0);
    EXPECT_EQ(r, ORect(0, 0, 9, 9));

    // A move whose right edge passes 32767 wraps to the negative side.
    ORect w(0, 0, 99, 9);
    w.MoveTo(32700, 0);
    EXPECT_EQ(w.left, 32700);
    EXPECT_EQ(w.right, static_cast<i16>(32799 - 65536));

    ORect s;
    s.SetBySize(32767, -32768, 2, 1);
    EXPECT_EQ(s, ORect(32767, -32768, -32768, -32768));
    s.SetBySize(3, 4, 0, 0); // a zero size gives an edge before the start
    EXPECT_EQ(s, ORect(3, 4, 2, 3));
    s.SetWidth(10);
    s.SetHeight(5);
    EXPECT_EQ(s, ORect(3, 4, 12, 8));
    ORect t;
    t.Copy(s);
    EXPECT_EQ(t.Set(1, 2, 3, 4), ORect(1, 2, 3, 4));
}
