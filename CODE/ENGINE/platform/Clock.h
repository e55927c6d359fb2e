#pragma once
// Time as the window code and the timer read it: a millisecond clock that
// wraps at 32 bits, a high-resolution counter, and the timer-period requests
// that a desktop system needs for 1 ms waits. Linux waits precisely without
// them, so periods are only recorded (tests check that they are paired).
#include "core/Types.h"

namespace platform
{

// Milliseconds of the backend's monotonic clock, wrapping at 2^32.
u32 TimeGetTime();
// Counter ticks and ticks per second (nanoseconds, so 1e9 per second).
bool QueryPerformanceFrequency(u64* frequency);
bool QueryPerformanceCounter(u64* counter);

// The range of timer periods in milliseconds; always available here.
bool TimeGetDevCaps(u32* minPeriod, u32* maxPeriod);
bool TimeBeginPeriod(u32 period);
bool TimeEndPeriod(u32 period);
// Periods begun and not yet ended (for tests).
i32 GetActiveTimerPeriods();

} // namespace platform
