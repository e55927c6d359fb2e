#pragma once
// The sample linear congruential generator of the C standard, so that a
// given seed always replays the same sequence.
#include "core/Types.h"

class ORandom
{
public:
    u32 seed;

    // Seeded from the millisecond tick count: generators made within the
    // same tick produce the same sequence.
    ORandom();

    // 0 to 32767.
    i32 Next();
    void SetSeed(u32 s) { seed = s; }
    // lo + (Next() % (hi - lo + 1)); a span of 0 gives lo.
    i16 Range(i16 lo, i16 hi);
};
