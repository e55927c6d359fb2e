#include "core/OTick.h"

#include <ctime>

namespace
{

TickSource tickSource = nullptr;

u32 MonotonicTicks()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<u32>(static_cast<u64>(ts.tv_sec) * 1000u + static_cast<u64>(ts.tv_nsec) / 1000000u);
}

} // namespace

u32 GetTickCountMs()
{
    return tickSource ? tickSource() : MonotonicTicks();
}

void SetTickSource(TickSource source)
{
    tickSource = source;
}
