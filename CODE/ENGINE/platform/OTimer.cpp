#include "platform/OTimer.h"

#include "platform/Clock.h"

namespace
{

// The one period shared by every multimedia-clock timer: the platform keeps
// a raised resolution per request, so it is asked once and given back once.
struct SharedCaps
{
    u32 minPeriod;
};
SharedCaps* sharedCaps = nullptr;
u32 sharedCount = 0;

} // namespace

OTimer::OTimer(bool wantQPC)
    : useQPC(0), msPerTick(0.001), startTime(0.0), now(0.0), laps(0), accumulated(0.0), lapStart(0.0)
{
    u64 frequency = 0;
    if (wantQPC && platform::QueryPerformanceFrequency(&frequency) && frequency != 0)
    {
        useQPC = 1;
        msPerTick = 1000.0 / static_cast<f64>(frequency);
    }
    else
    {
        if (!sharedCaps)
        {
            sharedCaps = new SharedCaps{0};
            u32 maxPeriod = 0;
            if (platform::TimeGetDevCaps(&sharedCaps->minPeriod, &maxPeriod))
            {
                if (!platform::TimeBeginPeriod(sharedCaps->minPeriod))
                    sharedCaps->minPeriod = 0;
            }
            else
            {
                sharedCaps->minPeriod = 0;
            }
        }
        ++sharedCount;
        useQPC = 0;
    }
    startTime = Now();
}

OTimer::~OTimer()
{
    if (useQPC || sharedCount == 0)
        return;
    if (--sharedCount == 0 && sharedCaps)
    {
        if (sharedCaps->minPeriod != 0)
            platform::TimeEndPeriod(sharedCaps->minPeriod);
        delete sharedCaps;
        sharedCaps = nullptr;
    }
}

f64 OTimer::Now()
{
    if (useQPC)
    {
        u64 counter = 0;
        platform::QueryPerformanceCounter(&counter);
        now = static_cast<f64>(counter) * msPerTick;
    }
    else
    {
        now = static_cast<f64>(platform::TimeGetTime());
    }
    return now;
}

void OTimer::ResetStopwatch()
{
    laps = 0;
    accumulated = 0.0;
}

f64 OTimer::StartStopwatch()
{
    lapStart = Now();
    return accumulated;
}

f64 OTimer::StopStopwatch()
{
    accumulated += Now() - lapStart;
    ++laps;
    return accumulated;
}

u32 OTimer::GetSharedPeriod()
{
    return sharedCaps ? sharedCaps->minPeriod : 0;
}

u32 OTimer::GetSharedCount()
{
    return sharedCount;
}
