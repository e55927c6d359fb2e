#pragma once
// A millisecond clock with a stopwatch. The performance-counter mode reads the
// high-resolution counter; the other mode reads the millisecond clock and
// holds the finest timer period while any timer of that mode lives.
#include "core/Types.h"

class OTimer
{
public:
    explicit OTimer(bool wantQPC);
    ~OTimer();
    OTimer(const OTimer&) = delete;
    OTimer& operator=(const OTimer&) = delete;

    // Milliseconds; also kept in `now`.
    f64 Now();
    void ResetStopwatch();
    f64 StartStopwatch();
    f64 StopStopwatch();
    f64 GetStopwatchTotal() const { return accumulated; }
    u32 GetLaps() const { return laps; }
    bool UsesPerformanceCounter() const { return useQPC != 0; }
    f64 GetStartTime() const { return startTime; }

    // The minimum period held for the multimedia-clock timers (0 when none was
    // begun) and how many such timers live.
    static u32 GetSharedPeriod();
    static u32 GetSharedCount();

    // Fields in the order the timer keeps them (milliseconds throughout).
    u8 useQPC;
    f64 msPerTick;
    f64 startTime;
    f64 now;
    u32 laps;
    f64 accumulated;
    f64 lapStart;
};
