#include "platform/Clock.h"

#include "platform/Backend.h"

namespace platform
{

namespace
{
i32 activePeriods = 0;
}

u32 TimeGetTime()
{
    return static_cast<u32>(GetBackend().ClockNs() / 1000000u);
}

bool QueryPerformanceFrequency(u64* frequency)
{
    if (frequency)
        *frequency = 1000000000u;
    return true;
}

bool QueryPerformanceCounter(u64* counter)
{
    if (counter)
        *counter = GetBackend().ClockNs();
    return true;
}

bool TimeGetDevCaps(u32* minPeriod, u32* maxPeriod)
{
    if (minPeriod)
        *minPeriod = 1;
    if (maxPeriod)
        *maxPeriod = 1000000;
    return true;
}

bool TimeBeginPeriod(u32 period)
{
    if (period == 0)
        return false;
    ++activePeriods;
    return true;
}

bool TimeEndPeriod(u32 period)
{
    if (period == 0 || activePeriods == 0)
        return false;
    --activePeriods;
    return true;
}

i32 GetActiveTimerPeriods()
{
    return activePeriods;
}

} // namespace platform
