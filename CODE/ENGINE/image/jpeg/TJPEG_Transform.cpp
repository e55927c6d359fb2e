// The inverse transform and the line converters of TJPEG_Decoder.
#include "image/jpeg/TJPEG_Decoder.h"

#include <cstring>

namespace
{
inline u8 Clamp(i32 v)
{
    return static_cast<u8>(v < 0 ? 0 : (v > 255 ? 255 : v));
}

// Constants of the Loeffler-Ligtenberg-Moschytz factorisation, x 8192 and
// rounded (13 fractional bits). With C(k) = cos(k pi / 16):
//   c1  =  4433 = sqrt2 C(6)                     0.541196100
//   c2  = 15137 = sqrt2 (C(2) + C(6))            1.847759065
//   c3  =  6270 = sqrt2 (C(2) - C(6))            0.765366865
//   c4  =  9633 = sqrt2 C(3)                     1.175875602
//   c5  = 20995 = sqrt2 (C(3) + C(1))            2.562915447
//   c6  =  3196 = sqrt2 (C(3) - C(5))            0.390180644
//   c7  =  2446 = sqrt2 (-C(1) + C(3) + C(5) - C(7))  0.298631336
//   c8  = 16819 = sqrt2 ( C(1) + C(3) - C(5) + C(7))  2.053119869
//   c9  = 25172 = sqrt2 ( C(1) + C(3) + C(5) - C(7))  3.072711026
//   c10 = 12299 = sqrt2 ( C(1) + C(3) - C(5) - C(7))  1.501321110
//   c11 = 16069 = sqrt2 (C(3) + C(5))            1.961570560
//   c12 =  7373 = sqrt2 (C(3) - C(7))            0.899976223
// The arithmetic is done modulo 2^32: valid data never leaves 32 bits, and
// hostile coefficients then wrap the same way in the scalar and vector code.
constexpr u32 c1 = 4433, c2 = 15137, c3 = 6270, c4 = 9633, c5 = 20995, c6 = 3196;
constexpr u32 c7 = 2446, c8 = 16819, c9 = 25172, c10 = 12299, c11 = 16069, c12 = 7373;

// One pass of the transform over eight inputs; o receives the eight outputs
// before their final rounding shift.
inline void Pass(const i32* d, u32* o)
{
    u32 d0 = static_cast<u32>(d[0]), d1 = static_cast<u32>(d[1]), d2 = static_cast<u32>(d[2]),
        d3 = static_cast<u32>(d[3]), d4 = static_cast<u32>(d[4]), d5 = static_cast<u32>(d[5]),
        d6 = static_cast<u32>(d[6]), d7 = static_cast<u32>(d[7]);
    u32 z = (d2 + d6) * c1;
    u32 t2 = z - d6 * c2;
    u32 t3 = z + d2 * c3;
    u32 t0 = (d0 + d4) << 13;
    u32 t1 = (d0 - d4) << 13;
    u32 a0 = t0 + t3, a3 = t0 - t3, a1 = t1 + t2, a2 = t1 - t2;

    u32 z5 = (d7 + d5 + d3 + d1) * c4;
    u32 z2 = 0u - (d5 + d3) * c5;
    u32 z3 = z5 - (d7 + d3) * c11;
    u32 z4 = z5 - (d5 + d1) * c6;
    u32 z1 = 0u - (d7 + d1) * c12;
    u32 b0 = z1 + z3 + d7 * c7;
    u32 b1 = z2 + z4 + d5 * c8;
    u32 b2 = z2 + z3 + d3 * c9;
    u32 b3 = z1 + z4 + d1 * c10;

    o[0] = a0 + b3;
    o[7] = a0 - b3;
    o[1] = a1 + b2;
    o[6] = a1 - b2;
    o[2] = a2 + b1;
    o[5] = a2 - b1;
    o[3] = a3 + b0;
    o[4] = a3 - b0;
}

inline i32 Sra(u32 v, i32 n)
{
    return static_cast<i32>(v) >> n;
}
} // namespace

void TJPEG_Decoder::InverseDCT(const i16* in, u8* out, u32 stride)
{
    // Rows first, in a work block of 16-bit values with 2 fractional bits.
    i16 work[64];
    for (i32 r = 0; r < 8; ++r)
    {
        const i16* row = in + r * 8;
        i16* w = work + r * 8;
        if ((row[1] | row[2] | row[3] | row[4] | row[5] | row[6] | row[7]) == 0)
        {
            // (d0 << 13 + 1024) >> 11 is exactly d0 x 4.
            i16 v = static_cast<i16>(static_cast<u16>(row[0] * 4));
            for (i32 c = 0; c < 8; ++c)
                w[c] = v;
            continue;
        }
        i32 d[8];
        u32 o[8];
        for (i32 c = 0; c < 8; ++c)
            d[c] = row[c];
        Pass(d, o);
        for (i32 c = 0; c < 8; ++c)
            w[c] = static_cast<i16>(static_cast<u16>(Sra(o[c] + 1024, 11)));
    }
    for (i32 c = 0; c < 8; ++c)
    {
        i32 d[8];
        for (i32 r = 0; r < 8; ++r)
            d[r] = work[r * 8 + c];
        if ((d[1] | d[2] | d[3] | d[4] | d[5] | d[6] | d[7]) == 0)
        {
            // ((d0 << 13) + 2^17) >> 18 is exactly (d0 + 16) >> 5.
            u8 v = Clamp(((d[0] + 16) >> 5) + 128);
            for (i32 r = 0; r < 8; ++r)
                out[r * stride + static_cast<u32>(c)] = v;
            continue;
        }
        u32 o[8];
        Pass(d, o);
        for (i32 r = 0; r < 8; ++r)
            out[r * stride + static_cast<u32>(c)] = Clamp(Sra(o[r] + 131072, 18) + 128);
    }
}

// ---------------------------------------------------------------------------
// Line converters. Block b of MCU m starts at sampleRow + (m x blocksPerMcu + b)
// x 64; the luminance blocks come first in the MCU's block order, then Cb, Cr.

namespace
{
struct Pixel
{
    const TJPEG_Decoder::ColourTables& t;
    inline void operator()(u8* out, i32 y, u32 cb, u32 cr) const
    {
        out[0] = Clamp(y + t.crR[cr]);
        out[1] = Clamp(y + ((t.crG[cr] + t.cbG[cb]) >> 16));
        out[2] = Clamp(y + t.cbB[cb]);
    }
};
} // namespace

void TJPEG_Decoder::ConvertGrey(u8* out, u32 r)
{
    const u8* s = sampleRow + r * 8;
    for (i32 m = 0; m < mcusAcross; ++m, s += 64, out += 8)
        std::memcpy(out, s, 8);
}

void TJPEG_Decoder::ConvertH1V1(u8* out, u32 r)
{
    Pixel px{colour};
    const u8* s = sampleRow + r * 8;
    for (i32 m = 0; m < mcusAcross; ++m, s += 3 * 64)
        for (i32 x = 0; x < 8; ++x, out += 4)
            px(out, s[x], s[64 + x], s[128 + x]);
}

void TJPEG_Decoder::ConvertH2V1(u8* out, u32 r)
{
    Pixel px{colour};
    const u8* s = sampleRow + r * 8;
    for (i32 m = 0; m < mcusAcross; ++m, s += 4 * 64)
        for (i32 x = 0; x < 16; ++x, out += 4)
            px(out, s[(x >> 3) * 64 + (x & 7)], s[128 + (x >> 1)], s[192 + (x >> 1)]);
}

void TJPEG_Decoder::ConvertH1V2(u8* out0, u8* out1, u32 r)
{
    Pixel px{colour};
    const u8* y0 = sampleRow + (r >> 3) * 64 + (r & 7) * 8;
    const u8* c = sampleRow + 128 + (r >> 1) * 8;
    for (i32 m = 0; m < mcusAcross; ++m, y0 += 4 * 64, c += 4 * 64)
        for (i32 x = 0; x < 8; ++x, out0 += 4, out1 += 4)
        {
            px(out0, y0[x], c[x], c[64 + x]);
            px(out1, y0[8 + x], c[x], c[64 + x]);
        }
}

void TJPEG_Decoder::ConvertH2V2(u8* out0, u8* out1, u32 r)
{
    Pixel px{colour};
    const u8* y0 = sampleRow + (r >> 3) * 128 + (r & 7) * 8;
    const u8* c = sampleRow + 256 + (r >> 1) * 8;
    for (i32 m = 0; m < mcusAcross; ++m, y0 += 6 * 64, c += 6 * 64)
        for (i32 x = 0; x < 16; ++x, out0 += 4, out1 += 4)
        {
            i32 yOff = (x >> 3) * 64 + (x & 7);
            px(out0, y0[yOff], c[x >> 1], c[64 + (x >> 1)]);
            px(out1, y0[yOff + 8], c[x >> 1], c[64 + (x >> 1)]);
        }
}
