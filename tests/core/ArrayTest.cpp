#include "AllocFailure.h"
#include "core/OArray.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace
{
void* P(std::uintptr_t v)
{
    return reinterpret_cast<void*>(v);
}

std::vector<u16> Contents(const OU16Array& a)
{
    return std::vector<u16>(a.data, a.data + a.count);
}

void Fill(OU16Array& a, int n)
{
    for (int i = 0; i < n; ++i)
        a.PushBack(static_cast<u16>(i));
}
} // namespace

TEST(ArrayGrowth, CapacityDoublesFrom256)
{
    OArray a;
    EXPECT_EQ(a.Size(), 0u);
    EXPECT_EQ(a.data, nullptr);
    EXPECT_EQ(a.capacity, 0u);
    for (std::uintptr_t i = 1; i <= 256; ++i)
        ASSERT_TRUE(a.PushBack(P(i)));
    EXPECT_EQ(a.capacity, 256u);
    a.PushBack(P(257));
    EXPECT_EQ(a.capacity, 512u);
    for (std::uintptr_t i = 258; i <= 1025; ++i)
        a.PushBack(P(i));
    EXPECT_EQ(a.capacity, 2048u);
    for (u32 i = 0; i < a.Size(); ++i)
        ASSERT_EQ(*a.At(i), P(i + 1));
}

TEST(ArrayGrowth, ClearKeepsTheBlockForReuse)
{
    OArray a;
    a.PushBack(P(1));
    a.PushBack(P(2));
    void** block = a.data;
    a.Clear();
    EXPECT_EQ(a.Size(), 0u);
    EXPECT_EQ(a.capacity, 256u);
    a.PushBack(P(3));
    EXPECT_EQ(a.data, block);
    EXPECT_EQ(*a.At(0), P(3));
}

TEST(ArrayGrowth, PopBackGivesUpTheLastSlot)
{
    OArray a;
    EXPECT_EQ(a.PopBack(), nullptr);
    EXPECT_EQ(a.Size(), 0u);
    a.PushBack(P(10));
    a.PushBack(P(20));
    void** slot = a.PopBack();
    EXPECT_EQ(slot, a.data + 1);
    EXPECT_EQ(*slot, P(20));
    EXPECT_EQ(a.Size(), 1u);
    a.PopBack();
    EXPECT_EQ(a.PopBack(), a.data); // empty again: the block itself
    EXPECT_EQ(a.Size(), 0u);
}

TEST(ArrayReserve, ExactSizeAndTruncation)
{
    OU16Array a;
    ASSERT_TRUE(a.Reserve(3));
    EXPECT_EQ(a.capacity, 3u);
    Fill(a, 3);
    a.PushBack(99); // full at 3: doubles to 6
    EXPECT_EQ(a.capacity, 6u);
    EXPECT_EQ(Contents(a), (std::vector<u16>{0, 1, 2, 99}));

    // Reserve always reallocates, even to the same capacity.
    u16* before = a.data;
    ASSERT_TRUE(a.Reserve(6));
    EXPECT_NE(a.data, before);
    EXPECT_EQ(Contents(a), (std::vector<u16>{0, 1, 2, 99}));

    // Below the count, elements from n on are dropped.
    ASSERT_TRUE(a.Reserve(2));
    EXPECT_EQ(Contents(a), (std::vector<u16>{0, 1}));
    EXPECT_EQ(a.capacity, 2u);

    // 0 means 256 and drops everything past 256.
    OU16Array b;
    Fill(b, 300);
    ASSERT_TRUE(b.Reserve(0));
    EXPECT_EQ(b.capacity, 256u);
    EXPECT_EQ(b.Size(), 256u);
    EXPECT_EQ(*b.At(255), 255);
}

TEST(ArrayErase, RemovesRangesAndClipsAtTheEnd)
{
    OU16Array a;
    Fill(a, 6);
    a.Erase(6, 1); // index at the count: nothing
    a.Erase(100, 1);
    EXPECT_EQ(a.Size(), 6u);
    a.Erase(1, 2);
    EXPECT_EQ(Contents(a), (std::vector<u16>{0, 3, 4, 5}));
    a.Erase(2, 0);
    EXPECT_EQ(Contents(a), (std::vector<u16>{0, 3, 4, 5}));
    a.Erase(2, 5); // runs past the end: the array ends at index
    EXPECT_EQ(Contents(a), (std::vector<u16>{0, 3}));
    a.Erase(1, 0xFFFFFFFFu); // index + n beyond 32 bits still clips
    EXPECT_EQ(Contents(a), (std::vector<u16>{0}));
    a.Erase(0, 1);
    EXPECT_EQ(a.Size(), 0u);
    EXPECT_EQ(a.capacity, 256u);

    OArray p;
    int objects[4];
    for (int& o : objects)
        p.PushBack(&o);
    OArray& same = p.Erase(0, 1);
    EXPECT_EQ(&same, &p);
    ASSERT_EQ(p.Size(), 3u);
    EXPECT_EQ(*p.At(0), &objects[1]);
    EXPECT_EQ(*p.At(2), &objects[3]);
    p.Erase(1, 2); // exactly to the end
    EXPECT_EQ(p.Size(), 1u);
}

TEST(ArrayFailure, OversizedRequestsFailAndKeepEverything)
{
    OArray a;
    a.PushBack(P(1));
    void** block = a.data;
    // 2^30 pointers are 4 GiB, beyond a 32-bit block size.
    EXPECT_FALSE(a.Reserve(0x40000000u));
    EXPECT_EQ(a.data, block);
    EXPECT_EQ(a.Size(), 1u);
    EXPECT_EQ(a.capacity, 256u);

    OU16Array b;
    EXPECT_FALSE(b.Reserve(0x80000000u));
    EXPECT_EQ(b.data, nullptr);
    EXPECT_EQ(b.capacity, 0u);
}

TEST(ArrayFailure, RefusedGrowthKeepsBlockCountAndCapacity)
{
    OU16Array a;
    Fill(a, 256);
    u16* block = a.data;
    {
        coretest::FailAllocations fail;
        EXPECT_FALSE(a.PushBack(7));
        EXPECT_FALSE(a.Reserve(10));
        EXPECT_FALSE(a.Reserve(0));
        EXPECT_EQ(fail.Refused(), 3);
    }
    EXPECT_EQ(a.data, block);
    EXPECT_EQ(a.Size(), 256u);
    EXPECT_EQ(a.capacity, 256u);
    EXPECT_EQ(*a.At(255), 255);
    EXPECT_TRUE(a.PushBack(7));
    EXPECT_EQ(a.capacity, 512u);

    OArray p;
    {
        coretest::FailAllocations fail;
        EXPECT_FALSE(p.PushBack(P(1)));
    }
    EXPECT_EQ(p.data, nullptr);
    EXPECT_EQ(p.Size(), 0u);
    EXPECT_EQ(p.capacity, 0u);
}

TEST(ArrayGrowth, PushingAnElementOfTheFullArrayItself)
{
    // The value is read from the block that the growth replaces.
    OU16Array a;
    Fill(a, 256);
    a.PushBack(*a.At(10));
    EXPECT_EQ(*a.At(256), 10);
}
