#include "core/OTick.h"
#include "platform/Clock.h"
#include "platform/HeadlessBackend.h"
#include "platform/OTimer.h"

#include <gtest/gtest.h>

using namespace platform;

namespace
{

class TimerTest : public ::testing::Test
{
protected:
    void SetUp() override { clock = &UseHeadless(); }
    HeadlessBackend* clock = nullptr;
};

TEST_F(TimerTest, TheCounterTimerReadsFractionalMilliseconds)
{
    OTimer timer(true);
    EXPECT_TRUE(timer.UsesPerformanceCounter());
    f64 start = timer.GetStartTime();
    EXPECT_DOUBLE_EQ(start, static_cast<f64>(clock->GetTimeMs()));
    clock->AdvanceNs(2500000);
    EXPECT_DOUBLE_EQ(timer.Now() - start, 2.5);
    EXPECT_EQ(OTimer::GetSharedCount(), 0u) << "the counter needs no timer period";
}

TEST_F(TimerTest, TheStopwatchSumsLapsUntilReset)
{
    OTimer timer(true);
    EXPECT_DOUBLE_EQ(timer.StartStopwatch(), 0.0);
    clock->AdvanceMs(3);
    EXPECT_DOUBLE_EQ(timer.StopStopwatch(), 3.0);
    clock->AdvanceMs(100); // not timed
    EXPECT_DOUBLE_EQ(timer.StartStopwatch(), 3.0);
    clock->AdvanceMs(4);
    EXPECT_DOUBLE_EQ(timer.StopStopwatch(), 7.0);
    EXPECT_EQ(timer.GetLaps(), 2u);
    EXPECT_EQ(timer.laps, 2u);
    EXPECT_DOUBLE_EQ(timer.accumulated, 7.0);
    EXPECT_DOUBLE_EQ(timer.GetStopwatchTotal(), 7.0);
    timer.ResetStopwatch();
    EXPECT_DOUBLE_EQ(timer.GetStopwatchTotal(), 0.0);
    EXPECT_EQ(timer.GetLaps(), 0u);
}

TEST_F(TimerTest, MillisecondTimersShareOnePeriodGivenBackByTheLast)
{
    const i32 before = GetActiveTimerPeriods();
    {
        OTimer a(false);
        EXPECT_FALSE(a.UsesPerformanceCounter());
        EXPECT_EQ(GetActiveTimerPeriods(), before + 1);
        EXPECT_EQ(OTimer::GetSharedPeriod(), 1u);
        {
            OTimer b(false);
            EXPECT_EQ(OTimer::GetSharedCount(), 2u);
            EXPECT_EQ(GetActiveTimerPeriods(), before + 1) << "asked once";
            clock->AdvanceMs(20);
            EXPECT_DOUBLE_EQ(b.Now() - a.GetStartTime(), 20.0);
        }
        EXPECT_EQ(GetActiveTimerPeriods(), before + 1);
    }
    EXPECT_EQ(OTimer::GetSharedCount(), 0u);
    EXPECT_EQ(OTimer::GetSharedPeriod(), 0u);
    EXPECT_EQ(GetActiveTimerPeriods(), before);
}

TEST_F(TimerTest, TheTickCountAndMillisecondClockFollowTheBackendAndWrap)
{
    u32 t0 = GetTickCountMs();
    EXPECT_EQ(t0, TimeGetTime());
    clock->AdvanceMs(1234);
    EXPECT_EQ(GetTickCountMs() - t0, 1234u);
    clock->SetTimeMs(0xFFFFFFFFull + 6);
    EXPECT_EQ(TimeGetTime(), 5u) << "32-bit wrap";
    EXPECT_EQ(GetTickCountMs(), 5u);
    // Periods must pair: an end without a begin is refused.
    const i32 before = GetActiveTimerPeriods();
    EXPECT_FALSE(TimeBeginPeriod(0));
    EXPECT_TRUE(TimeBeginPeriod(1));
    EXPECT_TRUE(TimeEndPeriod(1));
    EXPECT_EQ(GetActiveTimerPeriods(), before);
}

} // namespace
