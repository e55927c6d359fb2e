#include "core/ORandom.h"

#include "core/OTick.h"

ORandom::ORandom() : seed(GetTickCountMs()) {}

i32 ORandom::Next()
{
    seed = seed * 1103515245u + 12345u;
    return static_cast<i32>((seed >> 16) & 0x7FFF);
}

i16 ORandom::Range(i16 lo, i16 hi)
{
    const int span = hi - lo + 1;
    // An empty span (hi = lo - 1) would divide by zero.
    if (span == 0)
        return lo;
    const i16 r = static_cast<i16>(Next());
    return static_cast<i16>(lo + r % span);
}
