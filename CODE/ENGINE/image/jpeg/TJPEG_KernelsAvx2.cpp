// AVX2 kernels: every instruction used works within 128-bit lanes, so each
// lane runs the SSE2 transform of TJPEG_Transform.cpp on its own block.
#include "image/jpeg/TJPEG_Kernels.h"

#if defined(__x86_64__) || defined(__i386__)
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2"))), apply_to = function)
#elif defined(__GNUC__)
#pragma GCC push_options
#pragma GCC target("avx2")
#endif

#include <immintrin.h>

#include "image/jpeg/TJPEG_VectorPass.h"

namespace
{
// The lane operations of the shared pass, on AVX2 registers.
struct Avx2
{
    using Reg = __m256i;
    static Reg Pair(jpegkernels::PairFactors f)
    {
        const i16 a = f.first, b = f.second;
        return _mm256_set_epi16(b, a, b, a, b, a, b, a, b, a, b, a, b, a, b, a);
    }
    static Reg Madd(Reg a, Reg b) { return _mm256_madd_epi16(a, b); }
    static Reg Add32(Reg a, Reg b) { return _mm256_add_epi32(a, b); }
    static Reg Sub32(Reg a, Reg b) { return _mm256_sub_epi32(a, b); }
    static Reg Unpacklo16(Reg a, Reg b) { return _mm256_unpacklo_epi16(a, b); }
    static Reg Unpackhi16(Reg a, Reg b) { return _mm256_unpackhi_epi16(a, b); }
    static Reg Unpacklo32(Reg a, Reg b) { return _mm256_unpacklo_epi32(a, b); }
    static Reg Unpackhi32(Reg a, Reg b) { return _mm256_unpackhi_epi32(a, b); }
    static Reg Unpacklo64(Reg a, Reg b) { return _mm256_unpacklo_epi64(a, b); }
    static Reg Unpackhi64(Reg a, Reg b) { return _mm256_unpackhi_epi64(a, b); }
};
using Sums = jpegkernels::PassSums<Avx2>;
} // namespace

namespace jpegkernels
{
bool HaveAvx2()
{
    static const bool have = __builtin_cpu_supports("avx2");
    return have;
}

void InverseDCTPairAvx2(const i16* a, const i16* b, u8* outA, u8* outB)
{
    __m256i v[8];
    for (int r = 0; r < 8; ++r)
        v[r] = _mm256_set_m128i(_mm_loadu_si128(reinterpret_cast<const __m128i*>(b + r * 8)),
                                _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + r * 8)));
    Transpose8x8<Avx2>(v);
    Sums o[8];
    TransformPass<Avx2>(v, o);
    const __m256i round1 = _mm256_set1_epi32(1024);
    for (int k = 0; k < 8; ++k)
    {
        __m256i lo = _mm256_srai_epi32(_mm256_slli_epi32(_mm256_add_epi32(o[k].lo, round1), 5), 16);
        __m256i hi = _mm256_srai_epi32(_mm256_slli_epi32(_mm256_add_epi32(o[k].hi, round1), 5), 16);
        v[k] = _mm256_packs_epi32(lo, hi);
    }
    Transpose8x8<Avx2>(v);
    TransformPass<Avx2>(v, o);
    const __m256i round2 = _mm256_set1_epi32(131072);
    const __m256i bias = _mm256_set1_epi16(128);
    for (int r = 0; r < 8; r += 2)
    {
        __m256i x = _mm256_packs_epi32(_mm256_srai_epi32(_mm256_add_epi32(o[r].lo, round2), 18),
                                       _mm256_srai_epi32(_mm256_add_epi32(o[r].hi, round2), 18));
        __m256i y = _mm256_packs_epi32(_mm256_srai_epi32(_mm256_add_epi32(o[r + 1].lo, round2), 18),
                                       _mm256_srai_epi32(_mm256_add_epi32(o[r + 1].hi, round2), 18));
        // Per lane: row r in the low 8 bytes, row r + 1 in the high 8.
        __m256i bytes = _mm256_packus_epi16(_mm256_add_epi16(x, bias), _mm256_add_epi16(y, bias));
        __m128i la = _mm256_castsi256_si128(bytes), lb = _mm256_extracti128_si256(bytes, 1);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(outA + r * 8), la);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(outB + r * 8), lb);
    }
}
} // namespace jpegkernels

namespace
{
inline __m256i Load2x8(const u8* a, const u8* b)
{
    return _mm256_set_m128i(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(b)),
                            _mm_loadl_epi64(reinterpret_cast<const __m128i*>(a)));
}

// Sixteen pixels per lane from 16 luminance bytes per lane and the chroma
// terms of pixels 0-7 (lo) and 8-15 (hi); stores lane 0 at outA, lane 1 at outB.
inline void Emit16x2(u8* outA, u8* outB, __m256i y, __m256i rLo, __m256i rHi, __m256i gLo, __m256i gHi,
                     __m256i bLo, __m256i bHi)
{
    const __m256i zero = _mm256_setzero_si256();
    __m256i yLo = _mm256_unpacklo_epi8(y, zero), yHi = _mm256_unpackhi_epi8(y, zero);
    __m256i r = _mm256_packus_epi16(_mm256_add_epi16(yLo, rLo), _mm256_add_epi16(yHi, rHi));
    __m256i g = _mm256_packus_epi16(_mm256_add_epi16(yLo, gLo), _mm256_add_epi16(yHi, gHi));
    __m256i b = _mm256_packus_epi16(_mm256_add_epi16(yLo, bLo), _mm256_add_epi16(yHi, bHi));
    __m256i rgLo = _mm256_unpacklo_epi8(r, g), rgHi = _mm256_unpackhi_epi8(r, g);
    __m256i bzLo = _mm256_unpacklo_epi8(b, zero), bzHi = _mm256_unpackhi_epi8(b, zero);
    __m256i p0 = _mm256_unpacklo_epi16(rgLo, bzLo), p1 = _mm256_unpackhi_epi16(rgLo, bzLo);
    __m256i p2 = _mm256_unpacklo_epi16(rgHi, bzHi), p3 = _mm256_unpackhi_epi16(rgHi, bzHi);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(outA), _mm256_permute2x128_si256(p0, p1, 0x20));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(outA + 32), _mm256_permute2x128_si256(p2, p3, 0x20));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(outB), _mm256_permute2x128_si256(p0, p1, 0x31));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(outB + 32), _mm256_permute2x128_si256(p2, p3, 0x31));
}
} // namespace

namespace jpegkernels
{
i32 ConvertH2V2Avx2(const u8* samples, i32 mcus, u32 r, u8* out0, u8* out1)
{
    // The chroma terms as in TJPEG_Transform.cpp's ChromaTerms, one MCU per lane.
    const __m256i zero = _mm256_setzero_si256();
    const __m256i k256 = _mm256_set1_epi16(256);
    const __m256i two = _mm256_set1_epi16(2);
    const __m256i kR = Avx2::Pair(kChromaR);
    const __m256i kB = Avx2::Pair(kChromaB);
    const __m256i kG = Avx2::Pair(kChromaG);
    const __m256i half = _mm256_set1_epi32(32768);
    const u8* y = samples + (r >> 3) * 128 + (r & 7) * 8;
    const u8* c = samples + 256 + (r >> 1) * 8;
    i32 m = 0;
    for (; m + 1 < mcus; m += 2, y += 12 * 64, c += 12 * 64, out0 += 128, out1 += 128)
    {
        __m256i db =
            _mm256_sub_epi16(_mm256_slli_epi16(_mm256_unpacklo_epi8(Load2x8(c, c + 384), zero), 1), k256);
        __m256i dr = _mm256_sub_epi16(
            _mm256_slli_epi16(_mm256_unpacklo_epi8(Load2x8(c + 64, c + 448), zero), 1), k256);
        __m256i cr = _mm256_add_epi16(
            _mm256_packs_epi32(_mm256_srai_epi32(_mm256_madd_epi16(_mm256_unpacklo_epi16(dr, two), kR), 16),
                               _mm256_srai_epi32(_mm256_madd_epi16(_mm256_unpackhi_epi16(dr, two), kR), 16)),
            dr);
        __m256i cb = _mm256_add_epi16(
            _mm256_packs_epi32(_mm256_srai_epi32(_mm256_madd_epi16(_mm256_unpacklo_epi16(db, two), kB), 16),
                               _mm256_srai_epi32(_mm256_madd_epi16(_mm256_unpackhi_epi16(db, two), kB), 16)),
            db);
        __m256i cg = _mm256_packs_epi32(
            _mm256_srai_epi32(_mm256_add_epi32(_mm256_madd_epi16(_mm256_unpacklo_epi16(dr, db), kG), half),
                              16),
            _mm256_srai_epi32(_mm256_add_epi32(_mm256_madd_epi16(_mm256_unpackhi_epi16(dr, db), kG), half),
                              16));
        __m256i rLo = _mm256_unpacklo_epi16(cr, cr), rHi = _mm256_unpackhi_epi16(cr, cr);
        __m256i gLo = _mm256_unpacklo_epi16(cg, cg), gHi = _mm256_unpackhi_epi16(cg, cg);
        __m256i bLo = _mm256_unpacklo_epi16(cb, cb), bHi = _mm256_unpackhi_epi16(cb, cb);
        // Luminance: per lane the left block's row then the right block's.
        __m256i y0 = _mm256_unpacklo_epi64(Load2x8(y, y + 384), Load2x8(y + 64, y + 448));
        __m256i y1 = _mm256_unpacklo_epi64(Load2x8(y + 8, y + 392), Load2x8(y + 72, y + 456));
        Emit16x2(out0, out0 + 64, y0, rLo, rHi, gLo, gHi, bLo, bHi);
        Emit16x2(out1, out1 + 64, y1, rLo, rHi, gLo, gHi, bLo, bHi);
    }
    return m;
}
} // namespace jpegkernels

#if defined(__clang__)
#pragma clang attribute pop
#elif defined(__GNUC__)
#pragma GCC pop_options
#endif

#else
namespace jpegkernels
{
bool HaveAvx2()
{
    return false;
}

void InverseDCTPairAvx2(const i16*, const i16*, u8*, u8*) {}

i32 ConvertH2V2Avx2(const u8*, i32, u32, u8*, u8*)
{
    return 0;
}
} // namespace jpegkernels
#endif
