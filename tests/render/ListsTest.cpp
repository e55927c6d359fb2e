#include "SceneFixture.h"
#include "render/RectOps.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace scenetest;

namespace
{

std::vector<ORect> Rects(ORectList* list)
{
    return std::vector<ORect>(list->data, list->data + list->count);
}

TEST(PtrArray, FullArrayRefusesAndEraseKeepsOrder)
{
    std::unique_ptr<GPtrArray> a(GPtrArray::Create(5));
    int items[6];
    for (int i = 0; i < 5; ++i)
    {
        void* p = &items[i];
        EXPECT_EQ(a->Add(p), i);
    }
    void* extra = &items[5];
    EXPECT_EQ(a->Add(extra), -1);
    EXPECT_EQ(a->GetCount(), 5);

    // n is cut to what lies after index, so only the last two go.
    a->Erase(3, 10);
    ASSERT_EQ(a->GetCount(), 3);
    EXPECT_EQ(*a->At(2), &items[2]);

    a->Erase(0, 1);
    ASSERT_EQ(a->GetCount(), 2);
    EXPECT_EQ(*a->At(0), &items[1]);
    EXPECT_EQ(*a->At(1), &items[2]);

    // Out-of-range requests remove nothing rather than move memory around.
    a->Erase(2, 1);
    a->Erase(-1, 1);
    a->Erase(0, -3);
    EXPECT_EQ(a->GetCount(), 2);
}

TEST(PtrArray, CapacityBeyondSignedRangeStaysUsable)
{
    std::unique_ptr<GPtrArray> a(GPtrArray::Create(40000));
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->capacity, 32767);
    void* p = a.get();
    EXPECT_EQ(a->Add(p), 0);
}

TEST(RectList, CreateZeroesAndAppendStopsWhenFull)
{
    std::unique_ptr<ORectList> list(ORectList::Create(2));
    EXPECT_EQ(list->data[1], ORect(0, 0, 0, 0));
    ORect r(1, 2, 3, 4);
    EXPECT_EQ(list->Append(&r), 0);
    EXPECT_EQ(list->Append(&r), 1);
    EXPECT_EQ(list->Append(&r), -1);
    EXPECT_EQ(list->GetCount(), 2);
}

TEST(RectList, RemoveMovesLastIntoPlace)
{
    std::unique_ptr<ORectList> list(ORectList::Create(8));
    ORect a(0, 0, 1, 1), b(5, 5, 6, 6), c(9, 9, 9, 9);
    list->Append(&a);
    list->Append(&b);
    list->Append(&c);
    list->Remove(0);
    EXPECT_EQ(Rects(list.get()), (std::vector<ORect>{c, b}));
    list->Clear();
    list->Remove(0); // an empty list stays empty
    EXPECT_EQ(list->GetCount(), 0);
}

TEST(RectList, MergingAbsorbsOverlapsButNotNeighbours)
{
    std::unique_ptr<ORectList> list(ORectList::Create(16));
    ORect right(10, 0, 19, 9), left(0, 0, 9, 9), middle(5, 5, 12, 12);
    ORectList::AddMerged(list.get(), &right);
    ORectList::AddMerged(list.get(), &left);
    EXPECT_EQ(list->GetCount(), 2);
    ORectList::AddMerged(list.get(), &middle);
    EXPECT_EQ(Rects(list.get()), (std::vector<ORect>{ORect(0, 0, 19, 12)}));
}

TEST(RectList, MergeRunsAnotherPassWhenTheUnionGrows)
{
    // The new rectangle meets only B, which lies after A in the list; only
    // the union with B reaches A, so a second pass must pick A up.
    std::unique_ptr<ORectList> list(ORectList::Create(16));
    ORect a(0, 0, 9, 9), b(9, 10, 29, 19), far(100, 100, 101, 101), m(25, 5, 40, 12);
    ORectList::AddMerged(list.get(), &a);
    ORectList::AddMerged(list.get(), &b);
    ORectList::AddMerged(list.get(), &far);
    ASSERT_EQ(list->GetCount(), 3);
    ORectList::AddMerged(list.get(), &m);
    auto rects = Rects(list.get());
    ASSERT_EQ(rects.size(), 2u);
    EXPECT_NE(std::find(rects.begin(), rects.end(), ORect(0, 0, 40, 19)), rects.end());
    EXPECT_NE(std::find(rects.begin(), rects.end(), far), rects.end());
}

TEST(RectList, FullListDropsUnmergedRectangle)
{
    std::unique_ptr<ORectList> list(ORectList::Create(1));
    ORect a(0, 0, 9, 9), b(50, 50, 59, 59), c(5, 5, 20, 20);
    ORectList::AddMerged(list.get(), &a);
    ORectList::AddMerged(list.get(), &b);
    EXPECT_EQ(Rects(list.get()), (std::vector<ORect>{a}));
    // A merge frees the place it then takes.
    ORectList::AddMerged(list.get(), &c);
    EXPECT_EQ(Rects(list.get()), (std::vector<ORect>{ORect(0, 0, 20, 20)}));
}

TEST(RectList, TouchingVariantKeepsMarginAndAbsorbsNeighbours)
{
    std::unique_ptr<ORectList> list(ORectList::Create(8));
    ORect r(0, 0, 9, 9);
    ORectList::AddMergedTouching(list.get(), &r);
    EXPECT_EQ(Rects(list.get()), (std::vector<ORect>{ORect(-1, -1, 10, 10)}));
    ORect neighbour(12, 0, 15, 5);
    ORectList::AddMergedTouching(list.get(), &neighbour); // grown to 11..16, touches 10
    EXPECT_EQ(list->GetCount(), 2);
    ORect touching(11, 0, 11, 0);
    ORectList::AddMergedTouching(list.get(), &touching);
    EXPECT_EQ(Rects(list.get()), (std::vector<ORect>{ORect(-1, -1, 16, 10)}));
}

TEST(RectHelpers, UnionSizeOffsetDifferAndFraction)
{
    ORect a(5, 6, 7, 8), b(-1, 7, 3, 20), out;
    EXPECT_EQ(RectUnion(&a, &a, &b), 1);
    EXPECT_EQ(a, ORect(-1, 6, 7, 20));
    RectSetSize(&out, 800, 600);
    EXPECT_EQ(out, ORect(0, 0, 799, 599));
    RectOffset(&out, -10, 32767);
    EXPECT_EQ(out, ORect(-10, 32767, 789, static_cast<i16>(599 + 32767)));
    EXPECT_EQ(RectsDiffer(&a, &a), 0);
    EXPECT_EQ(RectsDiffer(&a, &b), 1);
    EXPECT_EQ(FixedFraction(Raw(-128)), 128);
    EXPECT_EQ(FixedFraction(Px(10)), 0);
    EXPECT_EQ(FixedFraction(Raw(-1)), 255);
}

TEST(Clip, StartsHiddenAndNormalizesLineCorners)
{
    OClip c;
    EXPECT_EQ(c.drawMode, 6);
    EXPECT_EQ(c.visible, 0);
    EXPECT_EQ(c.frame.raw, 0);
    EXPECT_EQ(c.bounds, ORect());
    c.SetMode(7);
    EXPECT_TRUE(c.IsMode(7));

    c.bounds = ORect(10, 20, 5, 30);
    c.NormalizeRect();
    EXPECT_EQ(c.bounds, ORect(5, 20, 10, 30));
    EXPECT_EQ(c.anchor, 2);
    c.bounds = ORect(1, 9, 2, 3);
    c.NormalizeRect();
    EXPECT_EQ(c.anchor, 3);
    c.bounds = ORect(4, 9, 2, 3);
    c.NormalizeRect();
    EXPECT_EQ(c.bounds, ORect(2, 3, 4, 9));
    EXPECT_EQ(c.anchor, 4);
    c.NormalizeRect();
    EXPECT_EQ(c.anchor, 0);
}

TEST(DisplayList, AddAndRemoveKeepOrder)
{
    Scene s(16, 16, 5);
    OClip c[6];
    for (int i = 0; i < 5; ++i)
        EXPECT_TRUE(s.engine.AddClip(&c[i]));
    EXPECT_FALSE(s.engine.AddClip(&c[5]));
    EXPECT_EQ(s.clips->GetCount(), 5);

    s.engine.RemoveClip(&c[2]);
    ASSERT_EQ(s.clips->GetCount(), 4);
    EXPECT_EQ(*s.clips->At(2), &c[3]);
    EXPECT_EQ(*s.clips->At(3), &c[4]);
    s.engine.RemoveClip(&c[5]);
    EXPECT_EQ(s.clips->GetCount(), 4);

    // A sprite added twice is taken out once per call, first entry first.
    EXPECT_TRUE(s.engine.AddClip(&c[0]));
    s.engine.RemoveClip(&c[0]);
    ASSERT_EQ(s.clips->GetCount(), 4);
    EXPECT_EQ(*s.clips->At(0), &c[1]);
    EXPECT_EQ(*s.clips->At(3), &c[0]);
    s.clips->Clear();
}

class CountingClip : public OClip
{
public:
    int updates = 0;
    void Update() override { ++updates; }
};

TEST(Engine, DefaultSlotsAndUpdateReachEverySprite)
{
    Scene s(16, 16);
    CountingClip a, b;
    s.engine.AddClip(&a);
    s.engine.AddClip(&b);
    EXPECT_EQ(s.engine.Update(), 1);
    EXPECT_EQ(a.updates + b.updates, 2);
    EXPECT_EQ(s.engine.OnKeyUp(13), 1);
    EXPECT_EQ(s.engine.OnMouseMove(3, 4), 1);
    s.engine.SetState(3);
    EXPECT_EQ(s.engine.state, 3);
    s.clips->Clear();
}

TEST(Engine, FillBackgroundOnlyInModeOne)
{
    Scene s(4, 3);
    s.engine.backgroundColor = 0x112233;
    auto before = s.Pixels();
    s.engine.FillBackground(1);
    EXPECT_EQ(s.Pixels(), before);
    s.engine.backgroundMode = 1;
    s.engine.FillBackground(1);
    const u8* p = s.canvas->GetBits();
    for (int i = 0; i < 12; ++i)
    {
        EXPECT_EQ(p[3 * i], 0x33);
        EXPECT_EQ(p[3 * i + 1], 0x22);
        EXPECT_EQ(p[3 * i + 2], 0x11);
    }
}

} // namespace
