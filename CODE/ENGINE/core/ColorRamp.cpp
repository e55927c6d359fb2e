#include "core/ColorRamp.h"

#include "core/OFixed.h"

namespace
{
struct Rgb
{
    int c[3];
};

Rgb Split(u32 colour)
{
    return Rgb{{static_cast<int>((colour >> 16) & 0xFF), static_cast<int>((colour >> 8) & 0xFF),
                static_cast<int>(colour & 0xFF)}};
}

// Channels outside 0..255 are packed as they are; only the ramps cap them.
u32 Pack(const int c[3])
{
    return (static_cast<u32>(c[0]) << 16) | (static_cast<u32>(c[1]) << 8) | static_cast<u32>(c[2]);
}

int Capped(OFixed v)
{
    const int r = v.Round();
    return r > 255 ? 255 : r;
}

// The rounded mean of the three channels, weighted 10/30 each.
int Brightness(const Rgb& rgb)
{
    const OFixed ten = OFixed::FromInt(10);
    OFixed sum = OFixed::FromInt(0);
    for (int i = 0; i < 3; ++i)
        sum.AddAssign(OFixed::Mul(ten, OFixed::FromInt(rgb.c[i])));
    return OFixed::Div(sum, OFixed::FromInt(30)).Round();
}

OFixed Ratio(int num, int den)
{
    return OFixed::Div(OFixed::FromInt(num), OFixed::FromInt(den));
}

// Fills table[from..to) with channels that start at start[] and grow by
// step[] per entry.
void Ramp(u32* table, int from, int to, const OFixed start[3], const OFixed step[3], bool cap)
{
    OFixed v[3] = {start[0], start[1], start[2]};
    for (int e = from; e < to; ++e)
    {
        int c[3];
        for (int i = 0; i < 3; ++i)
        {
            c[i] = cap ? Capped(v[i]) : v[i].Round();
            v[i].AddAssign(step[i]);
        }
        table[e] = Pack(c);
    }
}
} // namespace

u32 ColorSetBrightness(u32 colour, i16 level)
{
    const Rgb rgb = Split(colour);
    const int b = Brightness(rgb);
    int out[3];
    if (level >= b)
    {
        const OFixed t = Ratio(level - b, 255 - b);
        for (int i = 0; i < 3; ++i)
            out[i] = OFixed::Add(OFixed::FromInt(rgb.c[i]), OFixed::Mul(OFixed::FromInt(255 - rgb.c[i]), t))
                         .Round();
    }
    else
    {
        const OFixed s = Ratio(level, b);
        for (int i = 0; i < 3; ++i)
            out[i] = OFixed::Mul(OFixed::FromInt(rgb.c[i]), s).Round();
    }
    return Pack(out);
}

void ColorBuildRamp(u32 colour, u32 table[255])
{
    const Rgb rgb = Split(colour);
    int b = Brightness(rgb);
    if (b < 1)
        b = 1;
    const int split = b < 255 ? b : 255;
    OFixed start[3], step[3];
    for (int i = 0; i < 3; ++i)
    {
        start[i] = OFixed::FromInt(0);
        step[i] = Ratio(rgb.c[i], b);
    }
    Ramp(table, 0, split, start, step, false);
    for (int i = 0; i < 3; ++i)
    {
        start[i] = OFixed::FromInt(rgb.c[i]);
        step[i] = Ratio(255 - rgb.c[i], 255 - b);
    }
    Ramp(table, split, 255, start, step, true);
}

void ColorRampFromBlack(u32 colour, u32 table[255])
{
    const Rgb rgb = Split(colour);
    OFixed start[3], step[3];
    for (int i = 0; i < 3; ++i)
    {
        start[i] = OFixed::FromInt(0);
        step[i] = Ratio(rgb.c[i], 255);
    }
    Ramp(table, 0, 255, start, step, true);
}

void ColorRampToWhite(u32 colour, u32 table[255])
{
    const Rgb rgb = Split(colour);
    OFixed start[3], step[3];
    for (int i = 0; i < 3; ++i)
    {
        start[i] = OFixed::FromInt(rgb.c[i]);
        step[i] = Ratio(255 - rgb.c[i], 255);
    }
    Ramp(table, 0, 255, start, step, true);
}
