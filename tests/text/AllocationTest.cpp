// Counts every allocation of this test program, so that a line of text can
// be shown to rewrite itself without allocating.
#include "GlyphFixture.h"
#include "support/CountingNew.h"

#include <gtest/gtest.h>

namespace
{

TEST(LineAllocations, SetTextAndSetNumberAllocateNothing)
{
    texttest::GlyphFont f;
    texttest::LinePtr line(GString::Create(10));
    line->SetText("start", &f.map);
    line->SetState(0);
    const long before = testsupport::allocationCount.load();
    for (int i = -5000; i < 5000; i += 7)
    {
        line->SetNumber(i * 977, nullptr);
        line->SetText("Score 12", nullptr);
        line->Update();
    }
    EXPECT_EQ(testsupport::allocationCount.load() - before, 0);
    EXPECT_GT(line->used, 0);
    // The counter sees the non-throwing form the line is made with.
    const long made = testsupport::allocationCount.load();
    texttest::LinePtr other(GString::Create(3));
    EXPECT_GT(testsupport::allocationCount.load() - made, 3);
}

} // namespace
