#include "render/Blit.h"

#include "render/BlitKernels.h"
#include "render/BlitSimd.h"
#include "render/BlitTable.h"

#include <array>
#include <cstring>
#include <utility>

namespace blit
{
namespace
{

bool IsPalette8Format(u8 format)
{
    return format >= 16 && format <= 21;
}

// The planes of one source image, ready for the walk: `colour` points at
// pixel (0, 0) of the colour or index data, rows `colourPitch` apart.
struct SourcePlanes
{
    const u8* colour = nullptr;
    i32 colourPitch = 0;
    const u8* alpha = nullptr;
    i32 w = 0, h = 0;
    // An embedded palette widened to 4 bytes per entry.
    u8 table[256 * 4];
};

// Collects what the mode reads and refuses (false) an image that lacks any
// of it: a missing plane or palette draws nothing rather than reading
// through a null pointer. An embedded palette is widened into p.table;
// entries the header does not hold read as black, so a stray index never
// reads past the palette.
template <class F> bool GetSource(OBitmap* src, const void* palette, SourcePlanes& p, Context& k)
{
    if (!src)
        return false;
    p.w = src->width;
    p.h = src->height;
    if constexpr (F::kAlpha)
    {
        p.alpha = src->GetAlpha();
        if (!p.alpha)
            return false;
    }
    if constexpr (F::kSource == Source::Rgb24)
    {
        p.colour = src->GetBits();
        if (!p.colour || !IsRgb24Format(src->format))
            return false;
        p.colourPitch = src->GetPitch();
    }
    else if constexpr (F::kSource == Source::Index)
    {
        p.colour = src->GetBits();
        if (!p.colour || !palette)
            return false;
        // The index block's rows are `width` apart whatever the format's
        // pitch says: format 12 reports the pitch of a 24-bit block.
        p.colourPitch = p.w;
        k.palette = static_cast<const u8*>(palette);
    }
    else if constexpr (F::kSource == Source::Palette8)
    {
        const u8* block = src->GetBits();
        if (!block || !IsPalette8Format(src->format))
            return false;
        const i32 header = block[0] | block[1] << 8;
        i32 entries = header >= 2 ? (header - 2) / 3 : 0;
        entries = entries > 256 ? 256 : entries;
        std::memset(p.table, 0, sizeof(p.table));
        for (i32 i = 0; i < entries; ++i)
            std::memcpy(p.table + 4 * i, block + 2 + 3 * i, 3);
        k.palette = p.table;
        p.colour = block + header;
        // One index per pixel, rows `width` apart: what the pitch reports
        // for formats 16 to 20; format 21 reports 3 x width, which would
        // walk off its block.
        p.colourPitch = p.w;
    }
    k.key = src->colourKey;
    return true;
}

constexpr i32 BytesPerSample(Source s)
{
    return s == Source::Rgb24 ? 3 : 1;
}

template <class F, int Dir> inline const u8* ColourAt(const u8* s, i32 i, const Context& k)
{
    if constexpr (F::kSource == Source::Rgb24)
        return s + 3 * Dir * i;
    else if constexpr (F::kSource == Source::None)
        return nullptr;
    else
        return k.palette + 4 * s[Dir * i];
}

// Pixels per chunk of the scratch rows below.
constexpr i32 kMirrorChunk = 256;

// The vector kernel a mode and direction use, chosen once per call.
template <int Mode, int Dir> inline auto RowKernel()
{
    if constexpr ((Mode == 1 && Dir == 1) || Mode == 18)
        return SelectKeyedRow();
    else if constexpr (Mode == 2 || Mode == 12 || Mode == 20)
        return SelectAlphaRow();
    else if constexpr (Mode == 3 || Mode == 10 || Mode == 21)
        return SelectAlphaOpacityRow();
    else if constexpr ((Mode == 7 && Dir == 1) || Mode == 17)
        return SelectOpacityRow();
    else if constexpr (Mode == 13 && Dir == 1)
        return SelectLightenRow();
    else if constexpr (Mode == 14 && Dir == 1)
        return SelectShadowRow();
    else
        return nullptr;
}

// Palette modes whose formula is that of a vector mode (12 and 20 blend like
// 2, 10 and 21 like 3, 17 like 7, 18 keys like 1) look their colours up into a small
// 24-bit scratch row, in either direction, and hand it to that kernel.
template <int Mode, int Dir, class Kernel>
inline void PaletteRow(u8* d, const u8* s, const u8* a, i32 w, const Context& k, Kernel kernel)
{
    alignas(32) u8 colour[3 * kMirrorChunk + 1];
    alignas(32) u8 alpha[kMirrorChunk];
    for (i32 done = 0; done < w;)
    {
        const i32 n = w - done < kMirrorChunk ? w - done : kMirrorChunk;
        const u8* index = s + Dir * done;
        for (i32 j = 0; j < n; ++j)
            std::memcpy(colour + 3 * j, k.palette + 4 * index[Dir * j], 4);
        const u8* alphaRow = nullptr;
        if constexpr (Formula<Mode>::kAlpha)
        {
            alphaRow = a + done;
            if constexpr (Dir == -1)
            {
                for (i32 j = 0; j < n; ++j)
                    alpha[j] = a[-(done + j)];
                alphaRow = alpha;
            }
        }
        if constexpr (Mode == 18)
            kernel(d + 3 * done, colour, n, k.key);
        else if constexpr (Mode == 17)
            kernel(d + 3 * done, colour, n, k.opacity);
        else if constexpr (Mode == 12 || Mode == 20)
            kernel(d + 3 * done, colour, alphaRow, n);
        else
            kernel(d + 3 * done, colour, alphaRow, n, k.opacity);
        done += n;
    }
}

// Mirrored rows of the vector modes are turned around into a small scratch
// block, a chunk at a time, and then blended by the forward kernel: the
// pixel formulas do not depend on the direction of the walk.

template <int Mode, class Kernel>
inline void MirroredRow(u8* d, const u8* s, const u8* a, i32 w, const Context& k, Kernel kernel)
{
    alignas(32) u8 colour[3 * kMirrorChunk];
    alignas(32) u8 alpha[kMirrorChunk];
    const ReverseRowFn reverse = SelectReverseRow();
    for (i32 done = 0; done < w;)
    {
        const i32 n = w - done < kMirrorChunk ? w - done : kMirrorChunk;
        reverse(colour, alpha, s - 3 * done, a - done, n);
        if constexpr (Mode == 2)
            kernel(d + 3 * done, colour, alpha, n);
        else
            kernel(d + 3 * done, colour, alpha, n, k.opacity);
        done += n;
    }
}

// A row of a plain copy. Short rows, such as a background cut by a narrow
// dirty rectangle, are copied in line 16 bytes at a time, the last block
// ending at the row's end: a call per row would cost as much as the copy,
// and in line the loads of successive rows overlap. The source is another
// bitmap, so the overlapping last block reads bytes this call did not write.
inline void CopyRow(u8* d, const u8* s, size_t n)
{
    constexpr size_t kInLine = 256;
    if (n < 16 || n > kInLine)
    {
        std::memcpy(d, s, n);
        return;
    }
    for (size_t i = 0; i + 16 < n; i += 16)
        std::memcpy(d + i, s + i, 16);
    std::memcpy(d + n - 16, s + n - 16, 16);
}

// One destination row: w pixels, reading the source from s and a in
// direction Dir (+1 or -1).
template <int Mode, int Dir, class Kernel>
inline void Row(u8* d, const u8* s, const u8* a, i32 w, const Context& k, Kernel kernel)
{
    using F = Formula<Mode>;
    if constexpr (Mode == 0 && Dir == 1)
    {
        CopyRow(d, s, 3 * static_cast<size_t>(w));
    }
    else if constexpr (Mode == 1 && Dir == 1)
    {
        kernel(d, s, w, k.key);
    }
    else if constexpr (Mode == 2 && Dir == 1)
    {
        kernel(d, s, a, w);
    }
    else if constexpr (Mode == 3 && Dir == 1)
    {
        kernel(d, s, a, w, k.opacity);
    }
    else if constexpr ((Mode == 13 || Mode == 14) && Dir == 1)
    {
        kernel(d, a, w);
    }
    else if constexpr (Mode == 7 && Dir == 1)
    {
        kernel(d, s, w, k.opacity);
    }
    else if constexpr (Mode == 2 || Mode == 3)
    {
        MirroredRow<Mode>(d, s, a, w, k, kernel);
    }
    else if constexpr (Mode == 10 || Mode == 12 || Mode == 17 || Mode == 18 || Mode == 20 || Mode == 21)
    {
        PaletteRow<Mode, Dir>(d, s, a, w, k, kernel);
    }
    else if constexpr (Mode == 16)
    {
        // Each pixel but the last is stored as the whole 4-byte entry, whose
        // fourth byte the next pixel overwrites; the last stores 3 bytes so
        // that nothing past the row is written.
        for (i32 i = 0; i + 1 < w; ++i)
            std::memcpy(d + 3 * i, k.palette + 4 * s[Dir * i], 4);
        if (w > 0)
            std::memcpy(d + 3 * (w - 1), k.palette + 4 * s[Dir * (w - 1)], 3);
    }
    else
    {
        for (i32 i = 0; i < w; ++i, d += 3)
        {
            u32 av = 0;
            if constexpr (F::kAlpha)
                av = a[Dir * i];
            F::Px(d, ColourAt<F, Dir>(s, i, k), av, k);
        }
    }
}

template <int Mode, int Flip>
void Draw(OBitmap* dst, OBitmap* src, i16 x, i16 y, const void* palette, u8 opacity, const ORect* rect)
{
    using F = Formula<Mode>;
    Target t;
    Context k;
    SourcePlanes p;
    if (!GetTarget(dst, t) || !GetSource<F>(src, palette, p, k))
        return;
    k.opacity = opacity;
    Area area;
    if (!ClipArea(t.w, t.h, p.w, p.h, x, y, rect, area))
        return;

    constexpr bool mirrorX = (Flip & 1) != 0;
    constexpr bool mirrorY = (Flip & 2) != 0;
    constexpr int dir = mirrorX ? -1 : 1;
    constexpr i32 bps = BytesPerSample(F::kSource);
    const i32 c0 = mirrorX ? p.w - 1 - area.sx : area.sx;
    const auto kernel = RowKernel<Mode, dir>();

    u8* d = t.bits + static_cast<ptrdiff_t>(area.top) * t.pitch + 3 * area.left;
    if constexpr (Mode == 2 && !mirrorX)
    {
        // The whole block in one call: the rows of an alpha sprite cut by a
        // narrow rectangle are short, and a call per row would cost as much
        // as blending it.
        const i32 r = mirrorY ? p.h - 1 - area.sy : area.sy;
        const i32 step = mirrorY ? -1 : 1;
        SelectAlphaRect()(d, t.pitch, p.colour + static_cast<ptrdiff_t>(r) * p.colourPitch + 3 * c0,
                          step * p.colourPitch, p.alpha + static_cast<ptrdiff_t>(r) * p.w + c0, step * p.w,
                          area.w, area.h);
        return;
    }
    for (i32 j = 0; j < area.h; ++j, d += t.pitch)
    {
        const i32 r = mirrorY ? p.h - 1 - (area.sy + j) : area.sy + j;
        const u8* s = nullptr;
        const u8* a = nullptr;
        if constexpr (F::kSource != Source::None)
            s = p.colour + static_cast<ptrdiff_t>(r) * p.colourPitch + bps * c0;
        if constexpr (F::kAlpha)
            a = p.alpha + static_cast<ptrdiff_t>(r) * p.w + c0;
        Row<Mode, dir>(d, s, a, area.w, k, kernel);
    }
}

// Mirrored rows of the sub-pixel alpha member are turned around, both rows
// of the windows and one pixel more than the row draws, and then blended by
// the forward kernel, whose windows reach one pixel ahead.
inline void MirroredSubpixelAlphaRow(u8* d, const u8* s0, const u8* s1, const u8* a0, const u8* a1, i32 w,
                                     u32 fx, u32 fy, SubAlphaRowFn kernel)
{
    alignas(32) u8 colour0[3 * (kMirrorChunk + 1)], colour1[3 * (kMirrorChunk + 1)];
    alignas(32) u8 alpha0[kMirrorChunk + 1], alpha1[kMirrorChunk + 1];
    const ReverseRowFn reverse = SelectReverseRow();
    for (i32 done = 0; done < w;)
    {
        const i32 n = w - done < kMirrorChunk ? w - done : kMirrorChunk;
        reverse(colour0, alpha0, s0 - 3 * done, a0 - done, n + 1);
        reverse(colour1, alpha1, s1 - 3 * done, a1 - done, n + 1);
        kernel(d + 3 * done, colour0, colour1, alpha0, alpha1, n, fx, fy);
        done += n;
    }
}

template <int Mode, int Flip>
void DrawSubpixel(OBitmap* dst, OBitmap* src, i16 x, i16 y, i16 fx, i16 fy, u8 opacity, const ORect* rect)
{
    using F = SubpixelFormula<Mode>;
    using Planes = Formula<Mode == 13 || Mode == 14 ? 14 : 2>;
    Target t;
    Context k;
    SourcePlanes p;
    if (!GetTarget(dst, t) || !GetSource<Planes>(src, nullptr, p, k))
        return;
    Area area;
    if (!ClipArea(t.w, t.h, p.w - 1, p.h - 1, x, y, rect, area))
        return;
    // Fractions outside 0..255 would make negative weights; callers pass
    // the low byte of a 24.8 position, so clamping changes nothing for them.
    const u32 ufx = fx < 0 ? 0u : fx > 255 ? 255u : u32(fx);
    const u32 ufy = fy < 0 ? 0u : fy > 255 ? 255u : u32(fy);
    SetWeights(k, ufx, ufy);
    k.opacity = opacity;

    constexpr bool mirrorX = (Flip & 1) != 0;
    constexpr bool mirrorY = (Flip & 2) != 0;
    constexpr int dc = mirrorX ? -1 : 1;
    constexpr int dr = mirrorY ? -1 : 1;
    const i32 c0 = mirrorX ? p.w - 1 - area.sx : area.sx;
    const SubAlphaRowFn alphaKernel = Mode == 2 ? SelectSubAlphaRow() : nullptr;
    SubRowFn kernel = nullptr;
    if constexpr (Mode != 2)
        kernel = SelectSubRow<Mode>();

    u8* d = t.bits + static_cast<ptrdiff_t>(area.top) * t.pitch + 3 * area.left;
    for (i32 j = 0; j < area.h; ++j, d += t.pitch)
    {
        const i32 r = mirrorY ? p.h - 1 - (area.sy + j) : area.sy + j;
        const u8* a0 = p.alpha + static_cast<ptrdiff_t>(r) * p.w + c0;
        const u8* a1 = a0 + dr * p.w;
        const u8* s0 = nullptr;
        const u8* s1 = nullptr;
        if constexpr (F::kSource == Source::Rgb24)
        {
            s0 = p.colour + static_cast<ptrdiff_t>(r) * p.colourPitch + 3 * c0;
            s1 = s0 + dr * p.colourPitch;
        }
        if constexpr (Mode == 2 && !mirrorX)
            alphaKernel(d, s0, s1, a0, a1, area.w, ufx, ufy);
        else if constexpr (Mode == 2)
            MirroredSubpixelAlphaRow(d, s0, s1, a0, a1, area.w, ufx, ufy, alphaKernel);
        else if constexpr (!mirrorX)
            kernel(d, s0, s1, a0, a1, area.w, ufx, ufy, opacity);
        else
            SubpixelRow<Mode, dc>(d, s0, s1, a0, a1, area.w, k);
    }
}

// Draw modes with a member; the others (4, 5, 6, 9, 11, 15) draw nothing.
constexpr bool HasMember(int mode)
{
    return mode != 4 && mode != 5 && mode != 6 && mode != 9 && mode != 11 && mode != 15;
}

constexpr bool HasSubpixelMember(int mode)
{
    return mode == 2 || mode == 3 || mode == 13 || mode == 14;
}

template <int Mode, int Flip> constexpr BlitFn PlainEntry()
{
    if constexpr (HasMember(Mode))
        return &Draw<Mode, Flip>;
    else
        return nullptr;
}

template <int Mode, int Flip> constexpr BlitSubpixelFn SubpixelEntry()
{
    if constexpr (HasSubpixelMember(Mode))
        return &DrawSubpixel<Mode, Flip>;
    else
        return nullptr;
}

template <size_t... I> constexpr auto MakePlainTable(std::index_sequence<I...>)
{
    return std::array<BlitFn, sizeof...(I)>{PlainEntry<int(I / kBlitFlips), int(I % kBlitFlips)>()...};
}

template <size_t... I> constexpr auto MakeSubpixelTable(std::index_sequence<I...>)
{
    return std::array<BlitSubpixelFn, sizeof...(I)>{
        SubpixelEntry<int(I / kBlitFlips), int(I % kBlitFlips)>()...};
}

constexpr auto kPlainTable = MakePlainTable(std::make_index_sequence<kBlitDrawModes * kBlitFlips>());
constexpr auto kSubpixelTable = MakeSubpixelTable(std::make_index_sequence<kBlitDrawModes * kBlitFlips>());

} // namespace
} // namespace blit

BlitFn GetBlitter(u8 mode, u8 flip)
{
    if (mode >= kBlitDrawModes || flip >= kBlitFlips)
        return nullptr;
    return blit::kPlainTable[mode * kBlitFlips + flip];
}

BlitSubpixelFn GetSubpixelBlitter(u8 mode, u8 flip)
{
    if (mode >= kBlitDrawModes || flip >= kBlitFlips)
        return nullptr;
    return blit::kSubpixelTable[mode * kBlitFlips + flip];
}

// The named members are thin shells over the same instances the table holds.
#define ZORBLET_MEMBER(Name, Mode, Flip)                                                                     \
    void Name(OBitmap* dst, OBitmap* src, i16 x, i16 y, const ORect* rect)                                   \
    {                                                                                                        \
        blit::Draw<Mode, Flip>(dst, src, x, y, nullptr, 0, rect);                                            \
    }
#define ZORBLET_MEMBER_OPACITY(Name, Mode, Flip)                                                             \
    void Name(OBitmap* dst, OBitmap* src, i16 x, i16 y, u8 opacity, const ORect* rect)                       \
    {                                                                                                        \
        blit::Draw<Mode, Flip>(dst, src, x, y, nullptr, opacity, rect);                                      \
    }
#define ZORBLET_MEMBER_PALETTE(Name, Mode, Flip)                                                             \
    void Name(OBitmap* dst, OBitmap* src, i16 x, i16 y, const void* palette, const ORect* rect)              \
    {                                                                                                        \
        blit::Draw<Mode, Flip>(dst, src, x, y, palette, 0, rect);                                            \
    }
#define ZORBLET_MEMBER_PALETTE_OPACITY(Name, Mode, Flip)                                                     \
    void Name(OBitmap* dst, OBitmap* src, i16 x, i16 y, const void* palette, u8 opacity, const ORect* rect)  \
    {                                                                                                        \
        blit::Draw<Mode, Flip>(dst, src, x, y, palette, opacity, rect);                                      \
    }
#define ZORBLET_MEMBER_SUBPIXEL(Name, Mode, Flip)                                                            \
    void Name(OBitmap* dst, OBitmap* src, i16 x, i16 y, i16 fx, i16 fy, const ORect* rect)                   \
    {                                                                                                        \
        blit::DrawSubpixel<Mode, Flip>(dst, src, x, y, fx, fy, 0, rect);                                     \
    }
#define ZORBLET_MEMBER_SUBPIXEL_OPACITY(Name, Mode, Flip)                                                    \
    void Name(OBitmap* dst, OBitmap* src, i16 x, i16 y, i16 fx, i16 fy, u8 opacity, const ORect* rect)       \
    {                                                                                                        \
        blit::DrawSubpixel<Mode, Flip>(dst, src, x, y, fx, fy, opacity, rect);                               \
    }
#define ZORBLET_FLIPS(Kind, Name, Mode)                                                                      \
    Kind(Name, Mode, 0) Kind(Name##MirrorX, Mode, 1) Kind(Name##MirrorY, Mode, 2)                            \
        Kind(Name##MirrorXY, Mode, 3)
#define ZORBLET_SUBPIXEL_FLIPS(Kind, Name, Mode)                                                             \
    Kind(Name##Subpixel, Mode, 0) Kind(Name##MirrorXSubpixel, Mode, 1) Kind(Name##MirrorYSubpixel, Mode, 2)  \
        Kind(Name##MirrorXYSubpixel, Mode, 3)

ZORBLET_FLIPS(ZORBLET_MEMBER, BlitCopy, 0)
ZORBLET_FLIPS(ZORBLET_MEMBER, BlitKeyed, 1)
ZORBLET_FLIPS(ZORBLET_MEMBER, BlitAlpha, 2)
ZORBLET_FLIPS(ZORBLET_MEMBER_OPACITY, BlitAlphaOpacity, 3)
ZORBLET_FLIPS(ZORBLET_MEMBER_OPACITY, BlitOpacity, 7)
ZORBLET_FLIPS(ZORBLET_MEMBER_OPACITY, BlitKeyedOpacity, 8)
ZORBLET_FLIPS(ZORBLET_MEMBER_PALETTE_OPACITY, BlitPaletteAlphaOpacity, 10)
ZORBLET_FLIPS(ZORBLET_MEMBER_PALETTE, BlitPaletteAlpha, 12)
ZORBLET_FLIPS(ZORBLET_MEMBER, BlitLighten, 13)
ZORBLET_FLIPS(ZORBLET_MEMBER, BlitShadow, 14)
ZORBLET_FLIPS(ZORBLET_MEMBER, BlitIndexed, 16)
ZORBLET_FLIPS(ZORBLET_MEMBER_OPACITY, BlitIndexedOpacity, 17)
ZORBLET_FLIPS(ZORBLET_MEMBER, BlitIndexedKeyed, 18)
ZORBLET_FLIPS(ZORBLET_MEMBER_OPACITY, BlitIndexedKeyedOpacity, 19)
ZORBLET_FLIPS(ZORBLET_MEMBER, BlitIndexedAlpha, 20)
ZORBLET_FLIPS(ZORBLET_MEMBER_OPACITY, BlitIndexedAlphaOpacity, 21)

ZORBLET_SUBPIXEL_FLIPS(ZORBLET_MEMBER_SUBPIXEL, BlitAlpha, 2)
ZORBLET_SUBPIXEL_FLIPS(ZORBLET_MEMBER_SUBPIXEL_OPACITY, BlitAlphaOpacity, 3)
ZORBLET_SUBPIXEL_FLIPS(ZORBLET_MEMBER_SUBPIXEL_OPACITY, BlitLighten, 13)
ZORBLET_SUBPIXEL_FLIPS(ZORBLET_MEMBER_SUBPIXEL, BlitShadow, 14)
