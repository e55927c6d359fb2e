#include "render/BlitSimd.h"

#include "render/BlitKernels.h"

#include <cstring>
#include <initializer_list>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define ZORBLET_X86 1
#endif

namespace blit
{

void AlphaRowScalar(u8* d, const u8* s, const u8* a, i32 w)
{
    for (i32 i = 0; i < w; ++i, d += 3, s += 3)
        Formula<2>::Px(d, s, a[i], Context{});
}

void AlphaOpacityRowScalar(u8* d, const u8* s, const u8* a, i32 w, u32 opacity)
{
    Context k;
    k.opacity = opacity;
    for (i32 i = 0; i < w; ++i, d += 3, s += 3)
        Formula<3>::Px(d, s, a[i], k);
}

void ReverseRowScalar(u8* colour, u8* alpha, const u8* s, const u8* a, i32 n)
{
    for (i32 j = 0; j < n; ++j)
    {
        const u8* p = s - 3 * j;
        colour[3 * j] = p[0];
        colour[3 * j + 1] = p[1];
        colour[3 * j + 2] = p[2];
        alpha[j] = a[-j];
    }
}

void SubAlphaRowScalar(u8* d, const u8* s0, const u8* s1, const u8* a0, const u8* a1, i32 w, u32 fx, u32 fy)
{
    Context k;
    SetWeights(k, fx, fy);
    SubpixelRow<2, 1>(d, s0, s1, a0, a1, w, k);
}

void KeyedRowScalar(u8* d, const u8* s, i32 w, u32 key)
{
    Context k;
    k.key = key;
    for (i32 i = 0; i < w; ++i, d += 3, s += 3)
        Formula<1>::Px(d, s, 0, k);
}

template <int Mode> void AlphaOnlyRowScalar(u8* d, const u8* a, i32 w)
{
    const Context k;
    for (i32 i = 0; i < w; ++i, d += 3)
        Formula<Mode>::Px(d, nullptr, a[i], k);
}
template void AlphaOnlyRowScalar<13>(u8* d, const u8* a, i32 w);
template void AlphaOnlyRowScalar<14>(u8* d, const u8* a, i32 w);

void OpacityRowScalar(u8* d, const u8* s, i32 w, u32 opacity)
{
    Context k;
    k.opacity = opacity;
    for (i32 i = 0; i < w; ++i, d += 3, s += 3)
        Formula<7>::Px(d, s, 0, k);
}

template <int Mode>
void SubRowScalar(u8* d, const u8* s0, const u8* s1, const u8* a0, const u8* a1, i32 w, u32 fx, u32 fy,
                  u32 opacity)
{
    Context k;
    SetWeights(k, fx, fy);
    k.opacity = opacity;
    SubpixelRow<Mode, 1>(d, s0, s1, a0, a1, w, k);
}
template void SubRowScalar<3>(u8*, const u8*, const u8*, const u8*, const u8*, i32, u32, u32, u32);
template void SubRowScalar<13>(u8*, const u8*, const u8*, const u8*, const u8*, i32, u32, u32, u32);
template void SubRowScalar<14>(u8*, const u8*, const u8*, const u8*, const u8*, i32, u32, u32, u32);

#if ZORBLET_X86
namespace
{

// A block of 32 pixels is 96 bytes: six 16-byte vectors. Byte k of vector v
// belongs to pixel (16 v + k) / 3; its alpha is picked with a byte shuffle
// from the first 16 alpha bytes for v = 0..2 (pixels 0 to 15) and from the
// second 16 for v = 3..5 (pixels 16 to 31): each vector's pixels lie inside
// one half.
struct ExpandMasks
{
    alignas(16) u8 m[6][16];
    constexpr ExpandMasks() : m{}
    {
        for (int v = 0; v < 6; ++v)
            for (int k = 0; k < 16; ++k)
                m[v][k] = u8((16 * v + k) / 3 - (v < 3 ? 0 : 16));
    }
};
constexpr ExpandMasks kExpand;

// (s (256 - a) + d a) >> 8 on 16 bytes, with the destination kept where a is
// 255. The sum stays below 65536, so 16-bit lanes hold it without loss.
__attribute__((target("ssse3"))) inline __m128i Blend16(__m128i d, __m128i s, __m128i a)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i k256 = _mm_set1_epi16(256);
    const __m128i alo = _mm_unpacklo_epi8(a, zero), ahi = _mm_unpackhi_epi8(a, zero);
    const __m128i lo =
        _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(_mm_unpacklo_epi8(s, zero), _mm_sub_epi16(k256, alo)),
                                     _mm_mullo_epi16(_mm_unpacklo_epi8(d, zero), alo)),
                       8);
    const __m128i hi =
        _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(_mm_unpackhi_epi8(s, zero), _mm_sub_epi16(k256, ahi)),
                                     _mm_mullo_epi16(_mm_unpackhi_epi8(d, zero), ahi)),
                       8);
    const __m128i mixed = _mm_packus_epi16(lo, hi);
    const __m128i keep = _mm_cmpeq_epi8(a, _mm_set1_epi8(-1));
    return _mm_or_si128(_mm_and_si128(keep, d), _mm_andnot_si128(keep, mixed));
}

// 16 pixels, 48 bytes: the first three vectors of a 32-pixel block, blended
// into out. False when all 16 are transparent and nothing is to be stored.
__attribute__((target("ssse3"))) inline bool AlphaBlock16(const u8* d, const u8* s, const u8* a,
                                                          __m128i out[3])
{
    const __m128i av = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a));
    if (_mm_movemask_epi8(_mm_cmpeq_epi8(av, _mm_set1_epi8(-1))) == 0xFFFF)
        return false;
    const bool opaque = _mm_movemask_epi8(_mm_cmpeq_epi8(av, _mm_setzero_si128())) == 0xFFFF;
    for (int v = 0; v < 3; ++v)
    {
        const __m128i sv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 16 * v));
        if (opaque)
        {
            out[v] = sv;
            continue;
        }
        const __m128i mask = _mm_load_si128(reinterpret_cast<const __m128i*>(kExpand.m[v]));
        out[v] = Blend16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(d + 16 * v)), sv,
                         _mm_shuffle_epi8(av, mask));
    }
    return true;
}

__attribute__((target("ssse3"))) inline void Store48(u8* d, const __m128i v[3])
{
    for (int k = 0; k < 3; ++k)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 16 * k), v[k]);
}

// The last pixels of a row that no 32-pixel block covers go through one
// 16-pixel block ending at the row's end. It may overlap pixels the blocks
// before it blend too, so it is computed from the untouched row, before any
// of them, and stored after them: each pixel depends only on its own
// source, alpha and original destination, so both give the same bytes.
// Short rows (a sprite clipped to a narrow dirty rectangle) thus stay on the
// vector path without reading or writing past the row.
struct RowTail
{
    __m128i v[3];
    bool store = false;
    i32 at = 0;
};

__attribute__((target("ssse3"))) inline void BeginTail(RowTail& t, const u8* d, const u8* s, const u8* a,
                                                       i32 w)
{
    t.at = w - 16;
    t.store = (w % 16) != 0 && AlphaBlock16(d + 3 * t.at, s + 3 * t.at, a + t.at, t.v);
}

__attribute__((target("ssse3"))) inline void EndTail(const RowTail& t, u8* d, const u8* s, const u8* a, i32 i)
{
    // Up to 15 pixels may remain beyond a 16-pixel step; the tail covers
    // them (and may redo pixels with the same bytes).
    if (t.at + 16 - i >= 16)
    {
        __m128i v[3];
        if (AlphaBlock16(d + 3 * i, s + 3 * i, a + i, v))
            Store48(d + 3 * i, v);
    }
    if (t.store)
        Store48(d + 3 * t.at, t.v);
}

__attribute__((target("ssse3"))) void AlphaRowSsse3(u8* d, const u8* s, const u8* a, i32 w)
{
    if (w < 16)
    {
        AlphaRowScalar(d, s, a, w);
        return;
    }
    RowTail tail;
    BeginTail(tail, d, s, a, w);
    u8* const row = d;
    const u8* const srow = s;
    const u8* const arow = a;
    const __m128i ones = _mm_set1_epi8(-1);
    const __m128i zero = _mm_setzero_si128();
    i32 i = 0;
    for (; i + 32 <= w; i += 32, d += 96, s += 96, a += 32)
    {
        const __m128i a0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a));
        const __m128i a1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + 16));
        // Runs of fully transparent or fully opaque pixels, the bulk of
        // most sprites, need no arithmetic: a = 255 keeps d, a = 0 gives s.
        const int transparent =
            _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(a0, ones), _mm_cmpeq_epi8(a1, ones)));
        if (transparent == 0xFFFF)
            continue;
        const int opaque =
            _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(a0, zero), _mm_cmpeq_epi8(a1, zero)));
        for (int v = 0; v < 6; ++v)
        {
            __m128i* dv = reinterpret_cast<__m128i*>(d + 16 * v);
            const __m128i sv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 16 * v));
            if (opaque == 0xFFFF)
            {
                _mm_storeu_si128(dv, sv);
                continue;
            }
            const __m128i mask = _mm_load_si128(reinterpret_cast<const __m128i*>(kExpand.m[v]));
            const __m128i av = _mm_shuffle_epi8(v < 3 ? a0 : a1, mask);
            _mm_storeu_si128(dv, Blend16(_mm_loadu_si128(dv), sv, av));
        }
    }
    EndTail(tail, row, srow, arow, i);
}

// The same 32-pixel block in three 32-byte vectors. The in-lane byte shuffle
// takes each lane's alpha from a 16-byte half placed in that lane, chosen as
// above for the lane's 16-byte vector.
__attribute__((target("avx2"))) inline __m256i Blend32(__m256i d, __m256i s, __m256i a)
{
    const __m256i zero = _mm256_setzero_si256();
    const __m256i k256 = _mm256_set1_epi16(256);
    const __m256i alo = _mm256_unpacklo_epi8(a, zero), ahi = _mm256_unpackhi_epi8(a, zero);
    const __m256i lo = _mm256_srli_epi16(
        _mm256_add_epi16(_mm256_mullo_epi16(_mm256_unpacklo_epi8(s, zero), _mm256_sub_epi16(k256, alo)),
                         _mm256_mullo_epi16(_mm256_unpacklo_epi8(d, zero), alo)),
        8);
    const __m256i hi = _mm256_srli_epi16(
        _mm256_add_epi16(_mm256_mullo_epi16(_mm256_unpackhi_epi8(s, zero), _mm256_sub_epi16(k256, ahi)),
                         _mm256_mullo_epi16(_mm256_unpackhi_epi8(d, zero), ahi)),
        8);
    const __m256i mixed = _mm256_packus_epi16(lo, hi);
    const __m256i keep = _mm256_cmpeq_epi8(a, _mm256_set1_epi8(-1));
    return _mm256_blendv_epi8(mixed, d, keep);
}

// Fewer than 32 pixels with byte-masked loads and stores, which neither
// read nor write past the row: the missing pixels read as transparent. It
// serves short rows and the ends of longer ones. The masks depend on the
// width alone, so a block of rows of one width works them out once.
struct MaskedPiece
{
    i32 n = 0;
    __mmask32 pixels = 0;
    __mmask32 bytes[3] = {};
    __m256i expand[3];

    __attribute__((target("avx2,avx512bw,avx512vl"))) explicit MaskedPiece(i32 width) : n(width)
    {
        if (n <= 0)
            return;
        pixels = static_cast<__mmask32>((u64(1) << n) - 1);
        for (int v = 0; v < 3; ++v)
        {
            const i32 count = 3 * n - 32 * v;
            bytes[v] = count <= 0    ? __mmask32(0)
                       : count >= 32 ? ~__mmask32(0)
                                     : static_cast<__mmask32>((u64(1) << count) - 1);
            expand[v] = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(kExpand.m[2 * v]));
        }
    }

    __attribute__((target("avx2,avx512bw,avx512vl"))) void Blend(u8* d, const u8* s, const u8* a) const
    {
        if (n <= 0)
            return;
        const __m256i av = _mm256_mask_loadu_epi8(_mm256_set1_epi8(-1), pixels, a);
        if (_mm256_cmpeq_epi8_mask(av, _mm256_set1_epi8(-1)) == ~__mmask32(0))
            return;
        // A wholly opaque piece is a copy, as a block of a long row is: the
        // inside of a sprite cut by a narrow rectangle would otherwise pay for
        // a blend that a full-width row skips.
        const bool opaque = (_mm256_cmpeq_epi8_mask(av, _mm256_setzero_si256()) & pixels) == pixels;
        const __m128i a0 = _mm256_castsi256_si128(av);
        const __m128i a1 = _mm256_extracti128_si256(av, 1);
        const __m256i halves[3] = {_mm256_set_m128i(a0, a0), _mm256_set_m128i(a1, a0),
                                   _mm256_set_m128i(a1, a1)};
        for (int v = 0; v < 3 && bytes[v] != 0; ++v)
        {
            const __m256i sv = _mm256_maskz_loadu_epi8(bytes[v], s + 32 * v);
            if (opaque)
            {
                _mm256_mask_storeu_epi8(d + 32 * v, bytes[v], sv);
                continue;
            }
            const __m256i dv = _mm256_maskz_loadu_epi8(bytes[v], d + 32 * v);
            const __m256i alpha = _mm256_shuffle_epi8(halves[v], expand[v]);
            _mm256_mask_storeu_epi8(d + 32 * v, bytes[v], Blend32(dv, sv, alpha));
        }
    }
};

__attribute__((target("avx2,avx512bw,avx512vl"))) void AlphaMasked32(u8* d, const u8* s, const u8* a, i32 n)
{
    MaskedPiece(n).Blend(d, s, a);
}

// The whole blocks of 32 pixels of a row; returns how many pixels they hold.
__attribute__((target("avx2"))) inline i32 AlphaBlocks32(u8* d, const u8* s, const u8* a, i32 w)
{
    const __m256i ones = _mm256_set1_epi8(-1);
    const __m256i zero = _mm256_setzero_si256();
    i32 i = 0;
    for (; i + 32 <= w; i += 32, d += 96, s += 96, a += 32)
    {
        const __m256i av = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(a));
        if (_mm256_movemask_epi8(_mm256_cmpeq_epi8(av, ones)) == -1)
            continue;
        if (_mm256_movemask_epi8(_mm256_cmpeq_epi8(av, zero)) == -1)
        {
            for (int v = 0; v < 3; ++v)
                _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + 32 * v),
                                    _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + 32 * v)));
            continue;
        }
        const __m128i a0 = _mm256_castsi256_si128(av);
        const __m128i a1 = _mm256_extracti128_si256(av, 1);
        // Vector pairs (0, 1), (2, 3), (4, 5): halves a0 a0, a0 a1, a1 a1.
        const __m256i halves[3] = {_mm256_set_m128i(a0, a0), _mm256_set_m128i(a1, a0),
                                   _mm256_set_m128i(a1, a1)};
        for (int v = 0; v < 3; ++v)
        {
            const __m256i mask = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(kExpand.m[2 * v]));
            const __m256i alpha = _mm256_shuffle_epi8(halves[v], mask);
            // The same shortcuts per 32 bytes: most vectors of a sprite's
            // rim are still wholly inside or wholly outside it.
            if (_mm256_movemask_epi8(_mm256_cmpeq_epi8(alpha, ones)) == -1)
                continue;
            __m256i* dv = reinterpret_cast<__m256i*>(d + 32 * v);
            const __m256i sv = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + 32 * v));
            if (_mm256_movemask_epi8(_mm256_cmpeq_epi8(alpha, zero)) == -1)
                _mm256_storeu_si256(dv, sv);
            else
                _mm256_storeu_si256(dv, Blend32(_mm256_loadu_si256(dv), sv, alpha));
        }
    }
    return i;
}

// Masked: the pixels after the last whole block of 32 go to the masked
// kernel above (a plain call, as it needs instructions this function may not
// use); otherwise they take 16-pixel steps and a row end block.
template <bool Masked>
__attribute__((target("avx2"))) void AlphaRowAvx2T(u8* d, const u8* s, const u8* a, i32 w)
{
    RowTail tail;
    if constexpr (Masked)
    {
        if (w < 32)
        {
            AlphaMasked32(d, s, a, w);
            return;
        }
    }
    else
    {
        if (w < 16)
        {
            AlphaRowScalar(d, s, a, w);
            return;
        }
        BeginTail(tail, d, s, a, w);
    }
    const i32 i = AlphaBlocks32(d, s, a, w);
    if constexpr (Masked)
        AlphaMasked32(d + 3 * i, s + 3 * i, a + i, w - i);
    else
        EndTail(tail, d, s, a, i);
}

// A block of rows of one width: the masks of the part after the whole
// blocks of 32 are worked out once for all of them, and no row costs a call.
// Sprites cut by dirty rectangles are drawn as many such short blocks.
__attribute__((target("avx2,avx512bw,avx512vl"))) void
AlphaRectAvx512(u8* d, i32 dPitch, const u8* s, i32 sPitch, const u8* a, i32 aPitch, i32 w, i32 h)
{
    const i32 blocks = w & ~31;
    const MaskedPiece tail(w - blocks);
    for (i32 j = 0; j < h; ++j)
    {
        // Rows found from their index: stepping a pointer past the last row
        // would point outside the block (before it, for a walk upward).
        u8* dr = d + static_cast<ptrdiff_t>(j) * dPitch;
        const u8* sr = s + static_cast<ptrdiff_t>(j) * sPitch;
        const u8* ar = a + static_cast<ptrdiff_t>(j) * aPitch;
        if (blocks > 0)
            AlphaBlocks32(dr, sr, ar, blocks);
        tail.Blend(dr + 3 * blocks, sr + 3 * blocks, ar + blocks);
    }
}

// Draw mode 3 on 32 bytes: d + ((s - d) k >> 16) with k = (255 - a) o. The
// product needs 32 bits, and k up to 65025 does not fit a signed 16-bit
// lane, so k is split into floor(k/2) and ceil(k/2), both below 32768: a
// pairwise multiply-add of (t, t) with them gives t k exactly, and an
// arithmetic shift of the 32-bit sum rounds toward minus infinity. a = 255
// gives k = 0 and leaves d as it is, with no select.
__attribute__((target("avx2"))) inline __m256i BlendOpacity32(__m256i d, __m256i s, __m256i a, __m256i o16)
{
    const __m256i zero = _mm256_setzero_si256();
    const __m256i b = _mm256_xor_si256(a, _mm256_set1_epi8(-1)); // 255 - a
    const __m256i one = _mm256_set1_epi16(1);
    __m256i half[2];
    for (int h = 0; h < 2; ++h)
    {
        const __m256i bh = h ? _mm256_unpackhi_epi8(b, zero) : _mm256_unpacklo_epi8(b, zero);
        const __m256i dh = h ? _mm256_unpackhi_epi8(d, zero) : _mm256_unpacklo_epi8(d, zero);
        const __m256i sh = h ? _mm256_unpackhi_epi8(s, zero) : _mm256_unpacklo_epi8(s, zero);
        const __m256i k = _mm256_mullo_epi16(bh, o16);
        const __m256i kf = _mm256_srli_epi16(k, 1);
        const __m256i kc = _mm256_srli_epi16(_mm256_add_epi16(k, one), 1);
        const __m256i t = _mm256_sub_epi16(sh, dh);
        const __m256i p0 = _mm256_madd_epi16(_mm256_unpacklo_epi16(t, t), _mm256_unpacklo_epi16(kf, kc));
        const __m256i p1 = _mm256_madd_epi16(_mm256_unpackhi_epi16(t, t), _mm256_unpackhi_epi16(kf, kc));
        const __m256i step = _mm256_packs_epi32(_mm256_srai_epi32(p0, 16), _mm256_srai_epi32(p1, 16));
        half[h] = _mm256_add_epi16(dh, step);
    }
    return _mm256_packus_epi16(half[0], half[1]);
}

// 32 pixels of draw mode 3 into out; false when all are transparent.
__attribute__((target("avx2"))) inline bool AlphaOpacityBlock32(const u8* d, const u8* s, const u8* a,
                                                                __m256i o16, __m256i out[3])
{
    const __m256i av = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(a));
    if (_mm256_movemask_epi8(_mm256_cmpeq_epi8(av, _mm256_set1_epi8(-1))) == -1)
        return false;
    const __m128i a0 = _mm256_castsi256_si128(av);
    const __m128i a1 = _mm256_extracti128_si256(av, 1);
    const __m256i halves[3] = {_mm256_set_m128i(a0, a0), _mm256_set_m128i(a1, a0), _mm256_set_m128i(a1, a1)};
    for (int v = 0; v < 3; ++v)
    {
        const __m256i mask = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(kExpand.m[2 * v]));
        out[v] = BlendOpacity32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(d + 32 * v)),
                                _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + 32 * v)),
                                _mm256_shuffle_epi8(halves[v], mask), o16);
    }
    return true;
}

__attribute__((target("avx2"))) inline void Store96(u8* d, const __m256i v[3])
{
    for (int k = 0; k < 3; ++k)
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + 32 * k), v[k]);
}

// Rows of 32 pixels or more run in 32-pixel blocks, the last one ending at
// the row's end and computed from the untouched row first, as in the alpha
// kernels; shorter rows run the scalar formula.
__attribute__((target("avx2"))) void AlphaOpacityRowAvx2(u8* d, const u8* s, const u8* a, i32 w, u32 opacity)
{
    if (w < 32)
    {
        AlphaOpacityRowScalar(d, s, a, w, opacity);
        return;
    }
    if (opacity == 0)
        return;
    const __m256i o16 = _mm256_set1_epi16(static_cast<i16>(opacity));
    __m256i tail[3];
    const i32 tailAt = w - 32;
    const bool storeTail =
        (w % 32) != 0 && AlphaOpacityBlock32(d + 3 * tailAt, s + 3 * tailAt, a + tailAt, o16, tail);
    i32 i = 0;
    for (; i + 32 <= w; i += 32)
    {
        __m256i out[3];
        if (AlphaOpacityBlock32(d + 3 * i, s + 3 * i, a + i, o16, out))
            Store96(d + 3 * i, out);
    }
    if (storeTail)
        Store96(d + 3 * tailAt, tail);
}

// Turning 16 pixels around: output byte 3j + c comes from input byte
// 3 (15 - j) + c of the 48 bytes read, that is from one of the three input
// vectors; each output vector is the OR of three byte shuffles, one per
// input vector, whose other lanes are zeroed (index 0x80).
struct ReverseMasks
{
    alignas(16) u8 m[3][3][16]; // [output vector][input vector][byte]
    alignas(16) u8 alpha[16];
    constexpr ReverseMasks() : m{}, alpha{}
    {
        for (int v = 0; v < 3; ++v)
            for (int b = 0; b < 16; ++b)
            {
                const int out = 16 * v + b;
                const int src = 45 - 3 * (out / 3) + out % 3;
                for (int u = 0; u < 3; ++u)
                    m[v][u][b] = u8(src / 16 == u ? src % 16 : 0x80);
            }
        for (int b = 0; b < 16; ++b)
            alpha[b] = u8(15 - b);
    }
};
constexpr ReverseMasks kReverse;

__attribute__((target("ssse3"))) void ReverseRowSsse3(u8* colour, u8* alpha, const u8* s, const u8* a, i32 n)
{
    i32 j = 0;
    for (; j + 16 <= n; j += 16)
    {
        const u8* base = s - 3 * (j + 15);
        const __m128i in[3] = {_mm_loadu_si128(reinterpret_cast<const __m128i*>(base)),
                               _mm_loadu_si128(reinterpret_cast<const __m128i*>(base + 16)),
                               _mm_loadu_si128(reinterpret_cast<const __m128i*>(base + 32))};
        for (int v = 0; v < 3; ++v)
        {
            __m128i out = _mm_setzero_si128();
            for (int u = 0; u < 3; ++u)
                out = _mm_or_si128(
                    out, _mm_shuffle_epi8(
                             in[u], _mm_load_si128(reinterpret_cast<const __m128i*>(kReverse.m[v][u]))));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(colour + 3 * j + 16 * v), out);
        }
        const __m128i av = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a - (j + 15)));
        _mm_storeu_si128(
            reinterpret_cast<__m128i*>(alpha + j),
            _mm_shuffle_epi8(av, _mm_load_si128(reinterpret_cast<const __m128i*>(kReverse.alpha))));
    }
    ReverseRowScalar(colour + 3 * j, alpha + j, s - 3 * j, a - j, n - j);
}

// The 2x2 filter on 16 bytes, exactly (P00 w00 + P10 w10 + P01 w01 +
// P11 w11) >> 16. The weights factor into fx, 256 - fx across and fy,
// 256 - fy down, so the sum is fy H0 + (256 - fy) H1 with H0 and H1 the
// horizontal mixes of the two rows, each at most 255 x 256. Splitting
// H = 256 hh + hl gives the sum as 256 Y + Z with Y and Z of the same
// bound, and (256 Y + Z) >> 16 = (Y + (Z >> 8)) >> 8, which never leaves a
// 16-bit lane. Each mix a fx + b (256 - fx) is formed as 256 b + (a - b) fx:
// the lanes wrap, but the true value fits 16 bits, so the wrapped sum is it.
// Even and odd bytes are taken apart with masks and shifts.
struct SubWeights
{
    __m128i fx, fy;
};

__attribute__((target("ssse3"))) inline __m128i Mix16(__m128i a, __m128i b, __m128i f)
{
    return _mm_add_epi16(_mm_slli_epi16(b, 8), _mm_mullo_epi16(_mm_sub_epi16(a, b), f));
}

__attribute__((target("ssse3"))) inline __m128i Filter16Lanes(__m128i p00, __m128i p10, __m128i p01,
                                                              __m128i p11, const SubWeights& w)
{
    const __m128i low = _mm_set1_epi16(0x00FF);
    const __m128i h0 = Mix16(p00, p10, w.fx);
    const __m128i h1 = Mix16(p01, p11, w.fx);
    const __m128i y = Mix16(_mm_srli_epi16(h0, 8), _mm_srli_epi16(h1, 8), w.fy);
    const __m128i z = Mix16(_mm_and_si128(h0, low), _mm_and_si128(h1, low), w.fy);
    return _mm_srli_epi16(_mm_add_epi16(y, _mm_srli_epi16(z, 8)), 8);
}

__attribute__((target("ssse3"))) inline __m128i Filter16(__m128i p00, __m128i p10, __m128i p01, __m128i p11,
                                                         const SubWeights& w)
{
    const __m128i low = _mm_set1_epi16(0x00FF);
    const __m128i even = Filter16Lanes(_mm_and_si128(p00, low), _mm_and_si128(p10, low),
                                       _mm_and_si128(p01, low), _mm_and_si128(p11, low), w);
    const __m128i odd = Filter16Lanes(_mm_srli_epi16(p00, 8), _mm_srli_epi16(p10, 8), _mm_srli_epi16(p01, 8),
                                      _mm_srli_epi16(p11, 8), w);
    return _mm_or_si128(even, _mm_slli_epi16(odd, 8));
}

inline __m128i Load16(const u8* p)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

// 16 pixels of the sub-pixel alpha member into out; false when all are
// transparent. Reads 17 pixels of each row.
__attribute__((target("ssse3"))) inline bool SubAlphaBlock16(const u8* d, const u8* s0, const u8* s1,
                                                             const u8* a0, const u8* a1, const SubWeights& w,
                                                             __m128i out[3])
{
    const __m128i av = Filter16(Load16(a0), Load16(a0 + 1), Load16(a1), Load16(a1 + 1), w);
    const __m128i ones = _mm_set1_epi8(-1);
    if (_mm_movemask_epi8(_mm_cmpeq_epi8(av, ones)) == 0xFFFF)
        return false;
    for (int v = 0; v < 3; ++v)
    {
        const u8* p0 = s0 + 16 * v;
        const u8* p1 = s1 + 16 * v;
        const __m128i p00 = Load16(p0);
        const __m128i c = Filter16(p00, Load16(p0 + 3), Load16(p1), Load16(p1 + 3), w);
        const __m128i a =
            _mm_shuffle_epi8(av, _mm_load_si128(reinterpret_cast<const __m128i*>(kExpand.m[v])));
        // A filtered alpha of 0 takes the window's own first pixel.
        const __m128i opaque = _mm_cmpeq_epi8(a, _mm_setzero_si128());
        const __m128i mixed = Blend16(Load16(d + 16 * v), c, a);
        out[v] = _mm_or_si128(_mm_and_si128(opaque, p00), _mm_andnot_si128(opaque, mixed));
    }
    return true;
}

// Rows of 16 pixels or more in 16-pixel blocks, the last one ending at the
// row's end, computed first and stored last as in the other kernels.
__attribute__((target("ssse3"))) void SubAlphaRowSsse3(u8* d, const u8* s0, const u8* s1, const u8* a0,
                                                       const u8* a1, i32 w, u32 fx, u32 fy)
{
    if (w < 16)
    {
        SubAlphaRowScalar(d, s0, s1, a0, a1, w, fx, fy);
        return;
    }
    const SubWeights weights{_mm_set1_epi16(i16(fx)), _mm_set1_epi16(i16(fy))};
    __m128i tail[3];
    const i32 at = w - 16;
    const bool storeTail = (w % 16) != 0 && SubAlphaBlock16(d + 3 * at, s0 + 3 * at, s1 + 3 * at, a0 + at,
                                                            a1 + at, weights, tail);
    for (i32 i = 0; i + 16 <= w; i += 16)
    {
        __m128i out[3];
        if (SubAlphaBlock16(d + 3 * i, s0 + 3 * i, s1 + 3 * i, a0 + i, a1 + i, weights, out))
            Store48(d + 3 * i, out);
    }
    if (storeTail)
        Store48(d + 3 * at, tail);
}

// The same filter and block on 32 pixels with 32-byte vectors.
struct SubWeights32
{
    __m256i fx, fy;
};

__attribute__((target("avx2"))) inline __m256i Mix32(__m256i a, __m256i b, __m256i f)
{
    return _mm256_add_epi16(_mm256_slli_epi16(b, 8), _mm256_mullo_epi16(_mm256_sub_epi16(a, b), f));
}

__attribute__((target("avx2"))) inline __m256i Filter32Lanes(__m256i p00, __m256i p10, __m256i p01,
                                                             __m256i p11, const SubWeights32& w)
{
    const __m256i low = _mm256_set1_epi16(0x00FF);
    const __m256i h0 = Mix32(p00, p10, w.fx);
    const __m256i h1 = Mix32(p01, p11, w.fx);
    const __m256i y = Mix32(_mm256_srli_epi16(h0, 8), _mm256_srli_epi16(h1, 8), w.fy);
    const __m256i z = Mix32(_mm256_and_si256(h0, low), _mm256_and_si256(h1, low), w.fy);
    return _mm256_srli_epi16(_mm256_add_epi16(y, _mm256_srli_epi16(z, 8)), 8);
}

__attribute__((target("avx2"))) inline __m256i Filter32(__m256i p00, __m256i p10, __m256i p01, __m256i p11,
                                                        const SubWeights32& w)
{
    const __m256i low = _mm256_set1_epi16(0x00FF);
    const __m256i even = Filter32Lanes(_mm256_and_si256(p00, low), _mm256_and_si256(p10, low),
                                       _mm256_and_si256(p01, low), _mm256_and_si256(p11, low), w);
    const __m256i odd = Filter32Lanes(_mm256_srli_epi16(p00, 8), _mm256_srli_epi16(p10, 8),
                                      _mm256_srli_epi16(p01, 8), _mm256_srli_epi16(p11, 8), w);
    return _mm256_or_si256(even, _mm256_slli_epi16(odd, 8));
}

__attribute__((target("avx2"))) inline __m256i Load32(const u8* p)
{
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

__attribute__((target("avx2"))) inline bool SubAlphaBlock32(const u8* d, const u8* s0, const u8* s1,
                                                            const u8* a0, const u8* a1, const SubWeights32& w,
                                                            __m256i out[3])
{
    const __m256i av = Filter32(Load32(a0), Load32(a0 + 1), Load32(a1), Load32(a1 + 1), w);
    if (_mm256_movemask_epi8(_mm256_cmpeq_epi8(av, _mm256_set1_epi8(-1))) == -1)
        return false;
    const __m128i lo = _mm256_castsi256_si128(av);
    const __m128i hi = _mm256_extracti128_si256(av, 1);
    const __m256i halves[3] = {_mm256_set_m128i(lo, lo), _mm256_set_m128i(hi, lo), _mm256_set_m128i(hi, hi)};
    for (int v = 0; v < 3; ++v)
    {
        const u8* p0 = s0 + 32 * v;
        const u8* p1 = s1 + 32 * v;
        const __m256i p00 = Load32(p0);
        const __m256i c = Filter32(p00, Load32(p0 + 3), Load32(p1), Load32(p1 + 3), w);
        const __m256i a = _mm256_shuffle_epi8(halves[v], Load32(kExpand.m[2 * v]));
        const __m256i opaque = _mm256_cmpeq_epi8(a, _mm256_setzero_si256());
        out[v] = _mm256_blendv_epi8(Blend32(Load32(d + 32 * v), c, a), p00, opaque);
    }
    return true;
}

__attribute__((target("avx2"))) void SubAlphaRowAvx2(u8* d, const u8* s0, const u8* s1, const u8* a0,
                                                     const u8* a1, i32 w, u32 fx, u32 fy)
{
    if (w < 32)
    {
        SubAlphaRowSsse3(d, s0, s1, a0, a1, w, fx, fy);
        return;
    }
    const SubWeights32 weights{_mm256_set1_epi16(i16(fx)), _mm256_set1_epi16(i16(fy))};
    __m256i tail[3];
    const i32 at = w - 32;
    const bool storeTail = (w % 32) != 0 && SubAlphaBlock32(d + 3 * at, s0 + 3 * at, s1 + 3 * at, a0 + at,
                                                            a1 + at, weights, tail);
    for (i32 i = 0; i + 32 <= w; i += 32)
    {
        __m256i out[3];
        if (SubAlphaBlock32(d + 3 * i, s0 + 3 * i, s1 + 3 * i, a0 + i, a1 + i, weights, out))
            Store96(d + 3 * i, out);
    }
    if (storeTail)
        Store96(d + 3 * at, tail);
}

// Colour keys on 16 pixels: the blue, green and red bytes of the 16 pixels
// are gathered from the three input vectors with byte shuffles (index 0x80
// zeroes a lane), compared with the key's bytes, and the per-pixel result is
// spread back over the pixels' bytes.
struct GatherMasks
{
    alignas(16) u8 m[3][3][16]; // [channel][input vector][pixel]
    constexpr GatherMasks() : m{}
    {
        for (int c = 0; c < 3; ++c)
            for (int p = 0; p < 16; ++p)
                for (int u = 0; u < 3; ++u)
                    m[c][u][p] = u8((3 * p + c) / 16 == u ? (3 * p + c) % 16 : 0x80);
    }
};
constexpr GatherMasks kGather;

struct KeyBytes
{
    __m128i blue, green, red;
};

// 16 keyed pixels into out; false when every pixel matches the key and
// nothing is to be stored.
__attribute__((target("ssse3"))) inline bool KeyedBlock16(const u8* d, const u8* s, const KeyBytes& key,
                                                          __m128i out[3])
{
    const __m128i in[3] = {Load16(s), Load16(s + 16), Load16(s + 32)};
    __m128i channel[3];
    for (int c = 0; c < 3; ++c)
    {
        channel[c] = _mm_setzero_si128();
        for (int u = 0; u < 3; ++u)
            channel[c] = _mm_or_si128(
                channel[c],
                _mm_shuffle_epi8(in[u], _mm_load_si128(reinterpret_cast<const __m128i*>(kGather.m[c][u]))));
    }
    const __m128i keyed = _mm_and_si128(
        _mm_and_si128(_mm_cmpeq_epi8(channel[0], key.blue), _mm_cmpeq_epi8(channel[1], key.green)),
        _mm_cmpeq_epi8(channel[2], key.red));
    const int bits = _mm_movemask_epi8(keyed);
    if (bits == 0xFFFF)
        return false;
    for (int v = 0; v < 3; ++v)
    {
        if (bits == 0)
        {
            out[v] = in[v];
            continue;
        }
        const __m128i k =
            _mm_shuffle_epi8(keyed, _mm_load_si128(reinterpret_cast<const __m128i*>(kExpand.m[v])));
        out[v] = _mm_or_si128(_mm_and_si128(k, Load16(d + 16 * v)), _mm_andnot_si128(k, in[v]));
    }
    return true;
}

// Rows of 16 pixels or more in 16-pixel blocks, the last one ending at the
// row's end, computed first and stored last as in the alpha kernels.
__attribute__((target("ssse3"))) void KeyedRowSsse3(u8* d, const u8* s, i32 w, u32 key)
{
    if (w < 16)
    {
        KeyedRowScalar(d, s, w, key);
        return;
    }
    // A key with a non-zero top byte matches no pixel: the row is a copy.
    if (key >> 24)
    {
        std::memcpy(d, s, 3 * static_cast<size_t>(w));
        return;
    }
    const KeyBytes bytes{_mm_set1_epi8(static_cast<char>(key & 0xFF)),
                         _mm_set1_epi8(static_cast<char>((key >> 8) & 0xFF)),
                         _mm_set1_epi8(static_cast<char>((key >> 16) & 0xFF))};
    __m128i tail[3];
    const i32 at = w - 16;
    const bool storeTail = (w % 16) != 0 && KeyedBlock16(d + 3 * at, s + 3 * at, bytes, tail);
    for (i32 i = 0; i + 16 <= w; i += 16)
    {
        __m128i out[3];
        if (KeyedBlock16(d + 3 * i, s + 3 * i, bytes, out))
            Store48(d + 3 * i, out);
    }
    if (storeTail)
        Store48(d + 3 * at, tail);
}

// Draw modes 13 and 14 read only the alpha plane. Shadow: (d a) >> 8, with
// the destination kept where a is 255; lighten: d + ((255 - d) a >> 8),
// which leaves d where a is 0 by itself. Both products fit 16-bit lanes.
template <int Mode> __attribute__((target("avx2"))) inline __m256i AlphaOnly32(__m256i d, __m256i a)
{
    const __m256i low = _mm256_set1_epi16(0x00FF);
    const __m256i de = _mm256_and_si256(d, low), dodd = _mm256_srli_epi16(d, 8);
    const __m256i ae = _mm256_and_si256(a, low), aodd = _mm256_srli_epi16(a, 8);
    if constexpr (Mode == 14)
    {
        const __m256i even = _mm256_srli_epi16(_mm256_mullo_epi16(de, ae), 8);
        const __m256i odd = _mm256_srli_epi16(_mm256_mullo_epi16(dodd, aodd), 8);
        const __m256i shaded = _mm256_or_si256(even, _mm256_slli_epi16(odd, 8));
        return _mm256_blendv_epi8(shaded, d, _mm256_cmpeq_epi8(a, _mm256_set1_epi8(-1)));
    }
    else
    {
        const __m256i even =
            _mm256_add_epi16(de, _mm256_srli_epi16(_mm256_mullo_epi16(_mm256_sub_epi16(low, de), ae), 8));
        const __m256i odd = _mm256_add_epi16(
            dodd, _mm256_srli_epi16(_mm256_mullo_epi16(_mm256_sub_epi16(low, dodd), aodd), 8));
        return _mm256_or_si256(even, _mm256_slli_epi16(odd, 8));
    }
}

// 32 pixels into out; false when none of them changes.
template <int Mode>
__attribute__((target("avx2"))) inline bool AlphaOnlyBlock32(const u8* d, const u8* a, __m256i out[3])
{
    const __m256i av = Load32(a);
    const __m256i idle = Mode == 14 ? _mm256_set1_epi8(-1) : _mm256_setzero_si256();
    if (_mm256_movemask_epi8(_mm256_cmpeq_epi8(av, idle)) == -1)
        return false;
    const __m128i lo = _mm256_castsi256_si128(av);
    const __m128i hi = _mm256_extracti128_si256(av, 1);
    const __m256i halves[3] = {_mm256_set_m128i(lo, lo), _mm256_set_m128i(hi, lo), _mm256_set_m128i(hi, hi)};
    for (int v = 0; v < 3; ++v)
        out[v] =
            AlphaOnly32<Mode>(Load32(d + 32 * v), _mm256_shuffle_epi8(halves[v], Load32(kExpand.m[2 * v])));
    return true;
}

template <int Mode> __attribute__((target("avx2"))) void AlphaOnlyRowAvx2(u8* d, const u8* a, i32 w)
{
    if (w < 32)
    {
        AlphaOnlyRowScalar<Mode>(d, a, w);
        return;
    }
    __m256i tail[3];
    const i32 at = w - 32;
    const bool storeTail = (w % 32) != 0 && AlphaOnlyBlock32<Mode>(d + 3 * at, a + at, tail);
    for (i32 i = 0; i + 32 <= w; i += 32)
    {
        __m256i out[3];
        if (AlphaOnlyBlock32<Mode>(d + 3 * i, a + i, out))
            Store96(d + 3 * i, out);
    }
    if (storeTail)
        Store96(d + 3 * at, tail);
}

// The sub-pixel members of modes 3, 13 and 14 on 32 pixels: the filtered
// alpha (and for mode 3 the filtered colour) feed the plain kernels'
// formulas. Mode 13 scales by o A, which is the alpha-times-opacity weight
// (255 - a) o with a = 255 - A, toward white.
template <int Mode>
__attribute__((target("avx2"))) inline bool SubBlock32(const u8* d, const u8* s0, const u8* s1, const u8* a0,
                                                       const u8* a1, const SubWeights32& w, __m256i o16,
                                                       __m256i out[3])
{
    const __m256i av = Filter32(Load32(a0), Load32(a0 + 1), Load32(a1), Load32(a1 + 1), w);
    const __m256i idle = Mode == 13 ? _mm256_setzero_si256() : _mm256_set1_epi8(-1);
    if (_mm256_movemask_epi8(_mm256_cmpeq_epi8(av, idle)) == -1)
        return false;
    const __m128i lo = _mm256_castsi256_si128(av);
    const __m128i hi = _mm256_extracti128_si256(av, 1);
    const __m256i halves[3] = {_mm256_set_m128i(lo, lo), _mm256_set_m128i(hi, lo), _mm256_set_m128i(hi, hi)};
    const __m256i white = _mm256_set1_epi8(-1);
    for (int v = 0; v < 3; ++v)
    {
        const __m256i a = _mm256_shuffle_epi8(halves[v], Load32(kExpand.m[2 * v]));
        const __m256i dv = Load32(d + 32 * v);
        if constexpr (Mode == 3)
        {
            const u8* p0 = s0 + 32 * v;
            const u8* p1 = s1 + 32 * v;
            out[v] = BlendOpacity32(dv, Filter32(Load32(p0), Load32(p0 + 3), Load32(p1), Load32(p1 + 3), w),
                                    a, o16);
        }
        else if constexpr (Mode == 13)
        {
            out[v] = BlendOpacity32(dv, white, _mm256_xor_si256(a, white), o16);
        }
        else
        {
            out[v] = AlphaOnly32<14>(dv, a);
        }
    }
    return true;
}

template <int Mode>
__attribute__((target("avx2"))) void SubRowAvx2(u8* d, const u8* s0, const u8* s1, const u8* a0, const u8* a1,
                                                i32 w, u32 fx, u32 fy, u32 opacity)
{
    if (w < 32)
    {
        SubRowScalar<Mode>(d, s0, s1, a0, a1, w, fx, fy, opacity);
        return;
    }
    const SubWeights32 weights{_mm256_set1_epi16(i16(fx)), _mm256_set1_epi16(i16(fy))};
    const __m256i o16 = _mm256_set1_epi16(static_cast<i16>(opacity));
    // The colour rows are read by mode 3 only; modes 13 and 14 may have none.
    const auto at3 = [](const u8* p, i32 i) { return p ? p + 3 * i : p; };
    __m256i tail[3];
    const i32 at = w - 32;
    const bool storeTail = (w % 32) != 0 && SubBlock32<Mode>(d + 3 * at, at3(s0, at), at3(s1, at), a0 + at,
                                                             a1 + at, weights, o16, tail);
    for (i32 i = 0; i + 32 <= w; i += 32)
    {
        __m256i out[3];
        if (SubBlock32<Mode>(d + 3 * i, at3(s0, i), at3(s1, i), a0 + i, a1 + i, weights, o16, out))
            Store96(d + 3 * i, out);
    }
    if (storeTail)
        Store96(d + 3 * at, tail);
}

// Draw mode 7 mixes every byte alike, d (256 - o) + s o >> 8, so a row is
// 3w independent bytes; the last 32 bytes are computed first and stored
// last, as in the other kernels. Each sum is at most 255 x 256.
__attribute__((target("avx2"))) inline __m256i Opacity32(__m256i d, __m256i s, __m256i o, __m256i inverse)
{
    const __m256i low = _mm256_set1_epi16(0x00FF);
    const __m256i even =
        _mm256_srli_epi16(_mm256_add_epi16(_mm256_mullo_epi16(_mm256_and_si256(d, low), inverse),
                                           _mm256_mullo_epi16(_mm256_and_si256(s, low), o)),
                          8);
    const __m256i odd = _mm256_add_epi16(_mm256_mullo_epi16(_mm256_srli_epi16(d, 8), inverse),
                                         _mm256_mullo_epi16(_mm256_srli_epi16(s, 8), o));
    return _mm256_or_si256(even, _mm256_andnot_si256(low, odd));
}

__attribute__((target("avx2"))) void OpacityRowAvx2(u8* d, const u8* s, i32 w, u32 opacity)
{
    const i32 bytes = 3 * w;
    if (bytes < 32)
    {
        OpacityRowScalar(d, s, w, opacity);
        return;
    }
    const __m256i o = _mm256_set1_epi16(static_cast<i16>(opacity));
    const __m256i inverse = _mm256_set1_epi16(static_cast<i16>(256 - opacity));
    const i32 at = bytes - 32;
    const __m256i tail = Opacity32(Load32(d + at), Load32(s + at), o, inverse);
    for (i32 i = 0; i + 32 <= bytes; i += 32)
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + i),
                            Opacity32(Load32(d + i), Load32(s + i), o, inverse));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + at), tail);
}

} // namespace
#endif

namespace
{

// A kernel of a list and whether this processor runs it.
template <class Fn> struct Offered
{
    Fn fn;
    bool runs;
};

// The kernels of a list that this processor runs, in the list's order: the
// scalar one first, the fastest last.
template <class Fn> i32 Offer(Fn* out, i32 max, std::initializer_list<Offered<Fn>> kernels)
{
    i32 n = 0;
    for (const Offered<Fn>& k : kernels)
    {
        if (k.runs && n < max)
            out[n++] = k.fn;
    }
    return n;
}

// The fastest kernel of a list, chosen once, on first use.
template <class Fn, i32 (*Available)(Fn*, i32)> Fn Chosen()
{
    static const Fn best = []
    {
        // The scalar kernel always runs, so at least one entry is filled.
        Fn all[4] = {};
        return all[Available(all, 4) - 1];
    }();
    return best;
}

#if ZORBLET_X86
bool HasSsse3()
{
    return __builtin_cpu_supports("ssse3");
}
bool HasAvx2()
{
    return __builtin_cpu_supports("avx2");
}
bool HasAvx512()
{
    return HasAvx2() && __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vl");
}
// The vector entries of a list exist on x86 processors only.
#define ZORBLET_X86_KERNELS(...) , __VA_ARGS__
#else
#define ZORBLET_X86_KERNELS(...)
#endif

} // namespace

i32 AvailableAlphaRows(AlphaRowFn* out, i32 max)
{
    return Offer<AlphaRowFn>(out, max,
                             {{&AlphaRowScalar, true} ZORBLET_X86_KERNELS(
                                 {&AlphaRowSsse3, HasSsse3()}, {&AlphaRowAvx2T<false>, HasAvx2()},
                                 {&AlphaRowAvx2T<true>, HasAvx512()})});
}

namespace
{
// A block of rows drawn by a row kernel, one call per row.
template <AlphaRowFn Row>
void AlphaRectRows(u8* d, i32 dPitch, const u8* s, i32 sPitch, const u8* a, i32 aPitch, i32 w, i32 h)
{
    for (i32 j = 0; j < h; ++j)
        Row(d + static_cast<ptrdiff_t>(j) * dPitch, s + static_cast<ptrdiff_t>(j) * sPitch,
            a + static_cast<ptrdiff_t>(j) * aPitch, w);
}
} // namespace

void AlphaRectScalar(u8* d, i32 dPitch, const u8* s, i32 sPitch, const u8* a, i32 aPitch, i32 w, i32 h)
{
    AlphaRectRows<&AlphaRowScalar>(d, dPitch, s, sPitch, a, aPitch, w, h);
}

i32 AvailableAlphaRects(AlphaRectFn* out, i32 max)
{
    return Offer<AlphaRectFn>(
        out, max,
        {{&AlphaRectScalar, true} ZORBLET_X86_KERNELS({&AlphaRectRows<&AlphaRowSsse3>, HasSsse3()},
                                                      {&AlphaRectRows<&AlphaRowAvx2T<false>>, HasAvx2()},
                                                      {&AlphaRectAvx512, HasAvx512()})});
}

i32 AvailableAlphaOpacityRows(AlphaOpacityRowFn* out, i32 max)
{
    return Offer<AlphaOpacityRowFn>(
        out, max, {{&AlphaOpacityRowScalar, true} ZORBLET_X86_KERNELS({&AlphaOpacityRowAvx2, HasAvx2()})});
}

i32 AvailableReverseRows(ReverseRowFn* out, i32 max)
{
    return Offer<ReverseRowFn>(
        out, max, {{&ReverseRowScalar, true} ZORBLET_X86_KERNELS({&ReverseRowSsse3, HasSsse3()})});
}

i32 AvailableSubAlphaRows(SubAlphaRowFn* out, i32 max)
{
    return Offer<SubAlphaRowFn>(out, max,
                                {{&SubAlphaRowScalar, true} ZORBLET_X86_KERNELS(
                                    {&SubAlphaRowSsse3, HasSsse3()}, {&SubAlphaRowAvx2, HasAvx2()})});
}

i32 AvailableKeyedRows(KeyedRowFn* out, i32 max)
{
    return Offer<KeyedRowFn>(out, max,
                             {{&KeyedRowScalar, true} ZORBLET_X86_KERNELS({&KeyedRowSsse3, HasSsse3()})});
}

template <int Mode> i32 AvailableAlphaOnlyRows(AlphaOnlyRowFn* out, i32 max)
{
    return Offer<AlphaOnlyRowFn>(
        out, max,
        {{&AlphaOnlyRowScalar<Mode>, true} ZORBLET_X86_KERNELS({&AlphaOnlyRowAvx2<Mode>, HasAvx2()})});
}

i32 AvailableShadowRows(AlphaOnlyRowFn* out, i32 max)
{
    return AvailableAlphaOnlyRows<14>(out, max);
}

i32 AvailableLightenRows(AlphaOnlyRowFn* out, i32 max)
{
    return AvailableAlphaOnlyRows<13>(out, max);
}

i32 AvailableOpacityRows(OpacityRowFn* out, i32 max)
{
    return Offer<OpacityRowFn>(out, max,
                               {{&OpacityRowScalar, true} ZORBLET_X86_KERNELS({&OpacityRowAvx2, HasAvx2()})});
}

template <int Mode> i32 AvailableSubRows(SubRowFn* out, i32 max)
{
    return Offer<SubRowFn>(out, max,
                           {{&SubRowScalar<Mode>, true} ZORBLET_X86_KERNELS({&SubRowAvx2<Mode>, HasAvx2()})});
}
template i32 AvailableSubRows<3>(SubRowFn* out, i32 max);
template i32 AvailableSubRows<13>(SubRowFn* out, i32 max);
template i32 AvailableSubRows<14>(SubRowFn* out, i32 max);

#undef ZORBLET_X86_KERNELS

AlphaRowFn SelectAlphaRow()
{
    return Chosen<AlphaRowFn, AvailableAlphaRows>();
}
AlphaRectFn SelectAlphaRect()
{
    return Chosen<AlphaRectFn, AvailableAlphaRects>();
}
AlphaOpacityRowFn SelectAlphaOpacityRow()
{
    return Chosen<AlphaOpacityRowFn, AvailableAlphaOpacityRows>();
}
ReverseRowFn SelectReverseRow()
{
    return Chosen<ReverseRowFn, AvailableReverseRows>();
}
SubAlphaRowFn SelectSubAlphaRow()
{
    return Chosen<SubAlphaRowFn, AvailableSubAlphaRows>();
}
KeyedRowFn SelectKeyedRow()
{
    return Chosen<KeyedRowFn, AvailableKeyedRows>();
}
AlphaOnlyRowFn SelectShadowRow()
{
    return Chosen<AlphaOnlyRowFn, AvailableShadowRows>();
}
AlphaOnlyRowFn SelectLightenRow()
{
    return Chosen<AlphaOnlyRowFn, AvailableLightenRows>();
}
OpacityRowFn SelectOpacityRow()
{
    return Chosen<OpacityRowFn, AvailableOpacityRows>();
}
template <int Mode> SubRowFn SelectSubRow()
{
    return Chosen<SubRowFn, AvailableSubRows<Mode>>();
}
template SubRowFn SelectSubRow<3>();
template SubRowFn SelectSubRow<13>();
template SubRowFn SelectSubRow<14>();

} // namespace blit
