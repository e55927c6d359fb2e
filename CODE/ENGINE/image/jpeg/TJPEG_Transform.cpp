// The inverse transform and the line converters of TJPEG_Decoder.
#include "image/jpeg/TJPEG_Decoder.h"

#include "image/jpeg/TJPEG_Kernels.h"
#include "image/jpeg/TJPEG_VectorPass.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

void TJPEG_Decoder::InverseDCTPortable(const i16* in, u8* out, u32 stride)
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

#if defined(__SSE2__)
namespace
{
// The lane operations of the shared pass, on SSE2 registers.
struct Sse2
{
    using Reg = __m128i;
    static Reg Pair(jpegkernels::PairFactors f)
    {
        return _mm_set_epi16(f.second, f.first, f.second, f.first, f.second, f.first, f.second, f.first);
    }
    static Reg Madd(Reg a, Reg b) { return _mm_madd_epi16(a, b); }
    static Reg Add32(Reg a, Reg b) { return _mm_add_epi32(a, b); }
    static Reg Sub32(Reg a, Reg b) { return _mm_sub_epi32(a, b); }
    static Reg Unpacklo16(Reg a, Reg b) { return _mm_unpacklo_epi16(a, b); }
    static Reg Unpackhi16(Reg a, Reg b) { return _mm_unpackhi_epi16(a, b); }
    static Reg Unpacklo32(Reg a, Reg b) { return _mm_unpacklo_epi32(a, b); }
    static Reg Unpackhi32(Reg a, Reg b) { return _mm_unpackhi_epi32(a, b); }
    static Reg Unpacklo64(Reg a, Reg b) { return _mm_unpacklo_epi64(a, b); }
    static Reg Unpackhi64(Reg a, Reg b) { return _mm_unpackhi_epi64(a, b); }
};
using Sums = jpegkernels::PassSums<Sse2>;
} // namespace

void TJPEG_Decoder::InverseDCT(const i16* in, u8* out, u32 stride)
{
    __m128i v[8];
    for (i32 r = 0; r < 8; ++r)
        v[r] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + r * 8));
    // Lane j of v[k] becomes input k of row j.
    jpegkernels::Transpose8x8<Sse2>(v);
    Sums o[8];
    jpegkernels::TransformPass<Sse2>(v, o);
    // (o + 1024) >> 11 kept to its low 16 bits: shifting left by 5 first puts
    // bits 11 to 26 at the top, and the arithmetic shift by 16 brings them
    // down sign-extended, so the pack never saturates.
    const __m128i round1 = _mm_set1_epi32(1024);
    for (i32 k = 0; k < 8; ++k)
    {
        __m128i lo = _mm_srai_epi32(_mm_slli_epi32(_mm_add_epi32(o[k].lo, round1), 5), 16);
        __m128i hi = _mm_srai_epi32(_mm_slli_epi32(_mm_add_epi32(o[k].hi, round1), 5), 16);
        v[k] = _mm_packs_epi32(lo, hi);
    }
    // v[k] holds output k of every row; transposed, v[r] is row r.
    jpegkernels::Transpose8x8<Sse2>(v);
    jpegkernels::TransformPass<Sse2>(v, o);
    // ((o + 2^17) >> 18) lies within +-8192, so the packs are exact; the
    // unsigned pack does the clamp to 0..255.
    const __m128i round2 = _mm_set1_epi32(131072);
    const __m128i bias = _mm_set1_epi16(128);
    for (i32 r = 0; r < 8; r += 2)
    {
        __m128i a = _mm_packs_epi32(_mm_srai_epi32(_mm_add_epi32(o[r].lo, round2), 18),
                                    _mm_srai_epi32(_mm_add_epi32(o[r].hi, round2), 18));
        __m128i b = _mm_packs_epi32(_mm_srai_epi32(_mm_add_epi32(o[r + 1].lo, round2), 18),
                                    _mm_srai_epi32(_mm_add_epi32(o[r + 1].hi, round2), 18));
        __m128i bytes = _mm_packus_epi16(_mm_add_epi16(a, bias), _mm_add_epi16(b, bias));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + r * stride), bytes);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + (r + 1) * stride),
                         _mm_unpackhi_epi64(bytes, bytes));
    }
}
#else
void TJPEG_Decoder::InverseDCT(const i16* in, u8* out, u32 stride)
{
    InverseDCTPortable(in, out, stride);
}
#endif

// ---------------------------------------------------------------------------
// Line converters. Block b of MCU m starts at sampleRow + (m x blocksPerMcu + b)
// x 64; the luminance blocks come first in the MCU's block order, then Cb, Cr.

void TJPEG_Decoder::ConvertGrey(u8* out, u32 r)
{
    const u8* s = sampleRow + r * 8;
    for (i32 m = 0; m < mcusAcross; ++m, s += 64, out += 8)
        std::memcpy(out, s, 8);
}

#if defined(__SSE2__)
namespace
{
// Chroma terms of eight chroma samples, as 16-bit lanes: what the colour
// tables hold, computed the same way. With d = 2 Cr - 256:
//   CrR = (d 45941 + 2^15) >> 16 = ((d (45941 - 2^16) + 2^15) >> 16) + d
// because d 2^16 is a whole multiple of 2^16; likewise CbB with 58065. The
// green term is (d_r (-23401) + d_b (-11277) + 2^15) >> 16 = (CrG + CbG) >> 16.
struct Chroma
{
    __m128i r, g, b;
};

inline Chroma ChromaTerms(const u8* cb, const u8* cr)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i k256 = _mm_set1_epi16(256);
    __m128i db = _mm_sub_epi16(
        _mm_slli_epi16(_mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(cb)), zero), 1),
        k256);
    __m128i dr = _mm_sub_epi16(
        _mm_slli_epi16(_mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(cr)), zero), 1),
        k256);
    const __m128i two = _mm_set1_epi16(2);
    const __m128i kR = Sse2::Pair(jpegkernels::kChromaR);
    const __m128i kB = Sse2::Pair(jpegkernels::kChromaB);
    const __m128i kG = Sse2::Pair(jpegkernels::kChromaG);
    const __m128i half = _mm_set1_epi32(32768);
    Chroma c;
    c.r = _mm_add_epi16(_mm_packs_epi32(_mm_srai_epi32(_mm_madd_epi16(_mm_unpacklo_epi16(dr, two), kR), 16),
                                        _mm_srai_epi32(_mm_madd_epi16(_mm_unpackhi_epi16(dr, two), kR), 16)),
                        dr);
    c.b = _mm_add_epi16(_mm_packs_epi32(_mm_srai_epi32(_mm_madd_epi16(_mm_unpacklo_epi16(db, two), kB), 16),
                                        _mm_srai_epi32(_mm_madd_epi16(_mm_unpackhi_epi16(db, two), kB), 16)),
                        db);
    c.g = _mm_packs_epi32(
        _mm_srai_epi32(_mm_add_epi32(_mm_madd_epi16(_mm_unpacklo_epi16(dr, db), kG), half), 16),
        _mm_srai_epi32(_mm_add_epi32(_mm_madd_epi16(_mm_unpackhi_epi16(dr, db), kG), half), 16));
    return c;
}

// Sixteen pixels R, G, B, 0 from 16 luminance samples and the chroma terms of
// pixels 0-7 (lo) and 8-15 (hi); the unsigned packs clamp to 0..255.
inline void Emit16(u8* out, __m128i y, __m128i rLo, __m128i rHi, __m128i gLo, __m128i gHi, __m128i bLo,
                   __m128i bHi)
{
    const __m128i zero = _mm_setzero_si128();
    __m128i yLo = _mm_unpacklo_epi8(y, zero), yHi = _mm_unpackhi_epi8(y, zero);
    __m128i r = _mm_packus_epi16(_mm_add_epi16(yLo, rLo), _mm_add_epi16(yHi, rHi));
    __m128i g = _mm_packus_epi16(_mm_add_epi16(yLo, gLo), _mm_add_epi16(yHi, gHi));
    __m128i b = _mm_packus_epi16(_mm_add_epi16(yLo, bLo), _mm_add_epi16(yHi, bHi));
    __m128i rgLo = _mm_unpacklo_epi8(r, g), rgHi = _mm_unpackhi_epi8(r, g);
    __m128i bzLo = _mm_unpacklo_epi8(b, zero), bzHi = _mm_unpackhi_epi8(b, zero);
    auto* o = reinterpret_cast<__m128i*>(out);
    _mm_storeu_si128(o + 0, _mm_unpacklo_epi16(rgLo, bzLo));
    _mm_storeu_si128(o + 1, _mm_unpackhi_epi16(rgLo, bzLo));
    _mm_storeu_si128(o + 2, _mm_unpacklo_epi16(rgHi, bzHi));
    _mm_storeu_si128(o + 3, _mm_unpackhi_epi16(rgHi, bzHi));
}

// Sixteen luminance samples from two 8-byte rows.
inline __m128i Luma16(const u8* left, const u8* right)
{
    return _mm_unpacklo_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(left)),
                              _mm_loadl_epi64(reinterpret_cast<const __m128i*>(right)));
}

// Sixteen pixels whose chroma is repeated across pairs of columns.
inline void EmitWide(u8* out, __m128i y, const Chroma& c)
{
    Emit16(out, y, _mm_unpacklo_epi16(c.r, c.r), _mm_unpackhi_epi16(c.r, c.r), _mm_unpacklo_epi16(c.g, c.g),
           _mm_unpackhi_epi16(c.g, c.g), _mm_unpacklo_epi16(c.b, c.b), _mm_unpackhi_epi16(c.b, c.b));
}
} // namespace

void TJPEG_Decoder::ConvertH1V1(u8* out, u32 r)
{
    // Two MCUs at a time; a lone last one is converted with the next (unused)
    // place of the row, which the line buffer has room for.
    const u8* s = sampleRow + r * 8;
    i32 m = 0;
    for (; m + 1 < mcusAcross; m += 2, s += 6 * 64, out += 64)
    {
        Chroma a = ChromaTerms(s + 64, s + 128), b = ChromaTerms(s + 256, s + 320);
        Emit16(out, Luma16(s, s + 192), a.r, b.r, a.g, b.g, a.b, b.b);
    }
    if (m < mcusAcross)
    {
        Chroma a = ChromaTerms(s + 64, s + 128);
        u8 tmp[64];
        Emit16(tmp, Luma16(s, s), a.r, a.r, a.g, a.g, a.b, a.b);
        std::memcpy(out, tmp, 32);
    }
}

void TJPEG_Decoder::ConvertH2V1(u8* out, u32 r)
{
    const u8* s = sampleRow + r * 8;
    for (i32 m = 0; m < mcusAcross; ++m, s += 4 * 64, out += 64)
        EmitWide(out, Luma16(s, s + 64), ChromaTerms(s + 128, s + 192));
}

void TJPEG_Decoder::ConvertH1V2(u8* out0, u8* out1, u32 r)
{
    const u8* y = sampleRow + (r >> 3) * 64 + (r & 7) * 8;
    const u8* c = sampleRow + 128 + (r >> 1) * 8;
    i32 m = 0;
    for (; m + 1 < mcusAcross; m += 2, y += 8 * 64, c += 8 * 64, out0 += 64, out1 += 64)
    {
        Chroma a = ChromaTerms(c, c + 64), b = ChromaTerms(c + 256, c + 320);
        Emit16(out0, Luma16(y, y + 256), a.r, b.r, a.g, b.g, a.b, b.b);
        Emit16(out1, Luma16(y + 8, y + 264), a.r, b.r, a.g, b.g, a.b, b.b);
    }
    if (m < mcusAcross)
    {
        Chroma a = ChromaTerms(c, c + 64);
        u8 tmp[64];
        Emit16(tmp, Luma16(y, y + 8), a.r, a.r, a.g, a.g, a.b, a.b);
        std::memcpy(out0, tmp, 32);
        std::memcpy(out1, tmp + 32, 32);
    }
}

void TJPEG_Decoder::ConvertH2V2(u8* out0, u8* out1, u32 r)
{
    i32 m = 0;
    if (jpegkernels::HaveAvx2())
    {
        m = jpegkernels::ConvertH2V2Avx2(sampleRow, mcusAcross, r, out0, out1);
        out0 += m * 64;
        out1 += m * 64;
    }
    const u8* y = sampleRow + m * 6 * 64 + (r >> 3) * 128 + (r & 7) * 8;
    const u8* c = sampleRow + m * 6 * 64 + 256 + (r >> 1) * 8;
    for (; m < mcusAcross; ++m, y += 6 * 64, c += 6 * 64, out0 += 64, out1 += 64)
    {
        Chroma k = ChromaTerms(c, c + 64);
        EmitWide(out0, Luma16(y, y + 64), k);
        EmitWide(out1, Luma16(y + 8, y + 72), k);
    }
}

#else
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
#endif
