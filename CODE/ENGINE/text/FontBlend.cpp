#include "text/FontBlend.h"

#include <initializer_list>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define ZORBLET_X86 1
#endif

namespace fontblend
{

void BlendRowScalar(u8* d, i32 pitch, const u8* m, i32 maskPitch, i32 n, i32 rows, const u8* colour,
                    u32 opacity)
{
    for (i32 r = 0; r < rows; ++r, d += pitch, m += maskPitch)
    {
        u8* p = d;
        for (i32 i = 0; i < n; ++i, p += 3)
        {
            const int a = m[i];
            if (a == 255)
                continue;
            const int k = (255 - a) * static_cast<int>(opacity);
            for (int ch = 0; ch < 3; ++ch)
                p[ch] = static_cast<u8>(p[ch] + (((colour[ch] - p[ch]) * k) >> 16));
        }
    }
}

#if ZORBLET_X86
namespace
{

// Byte k of the v-th 16-byte vector of a 16-pixel block belongs to pixel
// (16 v + k) / 3 and to channel (16 v + k) % 3.
struct BlockMasks
{
    alignas(16) u8 expand[3][16];
    // Byte i of `beyond` + 16 - n is 0xFF for i >= n: the pixels past a
    // short row count as no ink.
    alignas(16) u8 beyond[32];
    constexpr BlockMasks() : expand{}, beyond{}
    {
        for (int v = 0; v < 3; ++v)
            for (int k = 0; k < 16; ++k)
                expand[v][k] = u8((16 * v + k) / 3);
        for (int i = 16; i < 32; ++i)
            beyond[i] = 0xFF;
    }
};
constexpr BlockMasks kMasks;

// d + ((c - d) k >> 16) on 8 16-bit lanes. k reaches 65025, beyond a signed
// 16-bit lane, so it is split into two halves that a multiply-add takes with
// two copies of (c - d); the 32-bit sums are exact and the arithmetic shift
// rounds toward minus infinity as the formula does.
__attribute__((target("ssse3"))) inline __m128i Mix8(__m128i d, __m128i c, __m128i k)
{
    const __m128i one = _mm_set1_epi16(1);
    const __m128i kf = _mm_srli_epi16(k, 1);
    const __m128i kc = _mm_srli_epi16(_mm_add_epi16(k, one), 1);
    const __m128i t = _mm_sub_epi16(c, d);
    const __m128i p0 = _mm_madd_epi16(_mm_unpacklo_epi16(t, t), _mm_unpacklo_epi16(kf, kc));
    const __m128i p1 = _mm_madd_epi16(_mm_unpackhi_epi16(t, t), _mm_unpackhi_epi16(kf, kc));
    return _mm_add_epi16(d, _mm_packs_epi32(_mm_srai_epi32(p0, 16), _mm_srai_epi32(p1, 16)));
}

struct Colour16
{
    __m128i lane[3][2]; // per vector of the block, low and high 8 bytes
};

__attribute__((target("ssse3"))) Colour16 SpreadColour(const u8* colour)
{
    alignas(16) u8 bytes[48];
    for (int i = 0; i < 48; ++i)
        bytes[i] = colour[i % 3];
    Colour16 c;
    const __m128i zero = _mm_setzero_si128();
    for (int v = 0; v < 3; ++v)
    {
        const __m128i cv = _mm_load_si128(reinterpret_cast<const __m128i*>(bytes + 16 * v));
        c.lane[v][0] = _mm_unpacklo_epi8(cv, zero);
        c.lane[v][1] = _mm_unpackhi_epi8(cv, zero);
    }
    return c;
}

// One block of up to 16 pixels; the pixels from `n` on are left as they are.
__attribute__((target("ssse3"))) inline void Block16(u8* d, const u8* m, i32 n, const Colour16& c, __m128i o)
{
    __m128i av = _mm_loadu_si128(reinterpret_cast<const __m128i*>(m));
    if (n < 16)
        av = _mm_or_si128(av, _mm_loadu_si128(reinterpret_cast<const __m128i*>(kMasks.beyond + 16 - n)));
    const __m128i ones = _mm_set1_epi8(-1);
    if (_mm_movemask_epi8(_mm_cmpeq_epi8(av, ones)) == 0xFFFF)
        return;
    const __m128i ink = _mm_xor_si128(av, ones); // 255 - a
    const __m128i zero = _mm_setzero_si128();
    for (int v = 0; v < 3; ++v)
    {
        const __m128i iv =
            _mm_shuffle_epi8(ink, _mm_load_si128(reinterpret_cast<const __m128i*>(kMasks.expand[v])));
        const __m128i dv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + 16 * v));
        const __m128i lo =
            Mix8(_mm_unpacklo_epi8(dv, zero), c.lane[v][0], _mm_mullo_epi16(_mm_unpacklo_epi8(iv, zero), o));
        const __m128i hi =
            Mix8(_mm_unpackhi_epi8(dv, zero), c.lane[v][1], _mm_mullo_epi16(_mm_unpackhi_epi8(iv, zero), o));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 16 * v), _mm_packus_epi16(lo, hi));
    }
}

__attribute__((target("ssse3"))) void BlendRowSsse3(u8* d, i32 pitch, const u8* m, i32 maskPitch, i32 n,
                                                    i32 rows, const u8* colour, u32 opacity)
{
    if (opacity == 0)
        return;
    const Colour16 c = SpreadColour(colour);
    const __m128i o = _mm_set1_epi16(static_cast<i16>(opacity));
    for (i32 r = 0; r < rows; ++r, d += pitch, m += maskPitch)
        for (i32 i = 0; i < n; i += 16)
            Block16(d + 3 * i, m + i, n - i < 16 ? n - i : 16, c, o);
}

// Two rows at a time: each 128-bit half of a 256-bit register carries the
// same 16 bytes of one row that the 128-bit kernel handles, so the whole
// arithmetic stays within halves.
__attribute__((target("avx2"))) inline __m256i Mix16(__m256i d, __m256i c, __m256i k)
{
    const __m256i kf = _mm256_srli_epi16(k, 1);
    const __m256i kc = _mm256_srli_epi16(_mm256_add_epi16(k, _mm256_set1_epi16(1)), 1);
    const __m256i t = _mm256_sub_epi16(c, d);
    const __m256i p0 = _mm256_madd_epi16(_mm256_unpacklo_epi16(t, t), _mm256_unpacklo_epi16(kf, kc));
    const __m256i p1 = _mm256_madd_epi16(_mm256_unpackhi_epi16(t, t), _mm256_unpackhi_epi16(kf, kc));
    return _mm256_add_epi16(d, _mm256_packs_epi32(_mm256_srai_epi32(p0, 16), _mm256_srai_epi32(p1, 16)));
}

__attribute__((target("avx2"))) inline __m256i Load2(const u8* lo, const u8* hi)
{
    return _mm256_inserti128_si256(
        _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(lo))),
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(hi)), 1);
}

__attribute__((target("avx2"))) inline void Block16x2(u8* d0, u8* d1, const u8* m0, const u8* m1, i32 n,
                                                      const __m256i c[3][2], __m256i o)
{
    __m256i av = Load2(m0, m1);
    if (n < 16)
        av = _mm256_or_si256(av, _mm256_broadcastsi128_si256(_mm_loadu_si128(
                                     reinterpret_cast<const __m128i*>(kMasks.beyond + 16 - n))));
    const __m256i ones = _mm256_set1_epi8(-1);
    if (_mm256_movemask_epi8(_mm256_cmpeq_epi8(av, ones)) == -1)
        return;
    const __m256i ink = _mm256_xor_si256(av, ones);
    const __m256i zero = _mm256_setzero_si256();
    for (int v = 0; v < 3; ++v)
    {
        const __m256i iv = _mm256_shuffle_epi8(ink, _mm256_broadcastsi128_si256(_mm_load_si128(
                                                        reinterpret_cast<const __m128i*>(kMasks.expand[v]))));
        const __m256i dv = Load2(d0 + 16 * v, d1 + 16 * v);
        const __m256i lo = Mix16(_mm256_unpacklo_epi8(dv, zero), c[v][0],
                                 _mm256_mullo_epi16(_mm256_unpacklo_epi8(iv, zero), o));
        const __m256i hi = Mix16(_mm256_unpackhi_epi8(dv, zero), c[v][1],
                                 _mm256_mullo_epi16(_mm256_unpackhi_epi8(iv, zero), o));
        const __m256i out = _mm256_packus_epi16(lo, hi);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d0 + 16 * v), _mm256_castsi256_si128(out));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d1 + 16 * v), _mm256_extracti128_si256(out, 1));
    }
}

__attribute__((target("avx2"))) void BlendRowAvx2(u8* d, i32 pitch, const u8* m, i32 maskPitch, i32 n,
                                                  i32 rows, const u8* colour, u32 opacity)
{
    if (opacity == 0)
        return;
    const Colour16 c16 = SpreadColour(colour);
    __m256i c[3][2];
    for (int v = 0; v < 3; ++v)
        for (int h = 0; h < 2; ++h)
            c[v][h] = _mm256_broadcastsi128_si256(c16.lane[v][h]);
    const __m256i o = _mm256_set1_epi16(static_cast<i16>(opacity));
    i32 r = 0;
    for (; r + 2 <= rows; r += 2, d += 2 * pitch, m += 2 * maskPitch)
        for (i32 i = 0; i < n; i += 16)
            Block16x2(d + 3 * i, d + pitch + 3 * i, m + i, m + maskPitch + i, n - i < 16 ? n - i : 16, c, o);
    if (r < rows)
    {
        const __m128i o8 = _mm_set1_epi16(static_cast<i16>(opacity));
        for (i32 i = 0; i < n; i += 16)
            Block16(d + 3 * i, m + i, n - i < 16 ? n - i : 16, c16, o8);
    }
}

bool HasSsse3()
{
    return __builtin_cpu_supports("ssse3");
}

bool HasAvx2()
{
    return __builtin_cpu_supports("avx2");
}

} // namespace
#endif

i32 AvailableBlendRows(BlendRowFn* out, i32 max)
{
    struct Offered
    {
        BlendRowFn fn;
        bool runs;
    };
    i32 n = 0;
    for (const Offered& k : {Offered{&BlendRowScalar, true}
#if ZORBLET_X86
                             ,
                             Offered{&BlendRowSsse3, HasSsse3()}, Offered{&BlendRowAvx2, HasAvx2()}
#endif
         })
    {
        if (k.runs && n < max)
            out[n++] = k.fn;
    }
    return n;
}

BlendRowFn SelectBlendRow()
{
    static const BlendRowFn best = []
    {
        BlendRowFn all[4] = {};
        return all[AvailableBlendRows(all, 4) - 1];
    }();
    return best;
}

} // namespace fontblend
