#pragma once
// Sines of whole degrees in 24.8 fixed point. The values are stored
// constants, so lookups cost one remainder and one index.
#include "core/OFixed.h"

class SinTable
{
public:
    OFixed table[360];

    SinTable();

    // Every angle, negative ones included, maps periodically into 0..359.
    OFixed Sin(i16 degrees) const;
    OFixed Cos(i16 degrees) const;
};
