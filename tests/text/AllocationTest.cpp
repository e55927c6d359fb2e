// Counts every allocation of this test program, so that a line of text can
// be shown to rewrite itself without allocating.
#include "GlyphFixture.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace
{
std::atomic<long> allocations{0};
} // namespace

// The replaced throwing form; the other forms of the standard library call
// it, and the matching deletes free with std::free.
// With the replacement inlined, the compiler sees std::free meet a pointer
// from operator new and warns; here they are a matched pair.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t n)
{
    ++allocations;
    if (void* p = std::malloc(n == 0 ? 1 : n))
        return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept
{
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept
{
    std::free(p);
}

namespace
{

TEST(LineAllocations, SetTextAndSetNumberAllocateNothing)
{
    texttest::GlyphFont f;
    texttest::LinePtr line(GString::Create(10));
    line->SetText("start", &f.map);
    line->SetState(0);
    const long before = allocations.load();
    for (int i = -5000; i < 5000; i += 7)
    {
        line->SetNumber(i * 977, nullptr);
        line->SetText("Score 12", nullptr);
        line->Update();
    }
    EXPECT_EQ(allocations.load() - before, 0);
    EXPECT_GT(line->used, 0);
}

} // namespace
