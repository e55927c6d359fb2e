#pragma once
// Internal to the blitter family: the one definition of each pixel formula,
// the walk per flip, and the clipping, from which every member is generated.
#include "core/ORect.h"
#include "core/Types.h"
#include "image/OBitmap.h"

#include <cstring>

namespace blit
{

// A 24-bit destination as the members and the primitives see it: pixel
// (X, Y) at bits + Y x pitch + 3X.
struct Target
{
    u8* bits;
    i32 pitch, w, h;
};

// Formats whose pixel block holds 3 bytes per pixel. A format-12 image made
// from a pack holds one index per pixel in a block of that size, and format
// 21 reports 3 bytes per pixel over an 8-bit block, so treating either as
// 24-bit would run off the block.
inline bool IsRgb24Format(u8 format)
{
    return format != 12 && format != 14 && format < 16;
}

// False for a bitmap without pixels or whose pixels are not 24-bit: nothing
// is drawn into it.
inline bool GetTarget(OBitmap* dst, Target& t)
{
    if (!dst)
        return false;
    t.bits = dst->GetBits();
    if (!t.bits || dst->GetBytesPerPixel() != 3 || !IsRgb24Format(dst->format))
        return false;
    t.pitch = dst->GetPitch();
    t.w = dst->width;
    t.h = dst->height;
    return true;
}

// Where a draw mode takes the colour of a pixel.
enum class Source
{
    Rgb24,    // the image's 24-bit pixels
    Index,    // a format-12 index block coloured by the caller's palette
    Palette8, // an 8-bit block with its own palette in the header
    None,     // the colour is not read (lighten, shadow)
};

// Everything a row kernel needs, fixed for one call.
struct Context
{
    u32 key = 0;                 // colour key 0x00RRGGBB
    const u8* palette = nullptr; // 4 bytes per entry: blue, green, red, unused
    u32 opacity = 0;
    // Sub-pixel weights of the 2x2 window, adding up to 65536.
    u32 w00 = 0, w10 = 0, w01 = 0, w11 = 0;
};

inline bool MatchesKey(const u8* c, u32 key)
{
    // Three bytes read as a little-endian 24-bit value against the whole
    // 32-bit key, so a key with a non-zero top byte matches nothing.
    return (u32(c[0]) | u32(c[1]) << 8 | u32(c[2]) << 16) == key;
}

// s + ((d - s) * a >> 8) without a signed product: since 256 s is a multiple
// of 256, the floor of the sum equals (s (256 - a) + d a) >> 8, and that sum
// never exceeds 255 x 256, which lets the vector kernels use 16-bit lanes.
inline u8 MixAlpha(u32 d, u32 s, u32 a)
{
    return u8((s * (256 - a) + d * a) >> 8);
}

// d + ((s - d) * k >> 16) for 0 <= k <= 65025: the same rearrangement over
// 65536 keeps the product non-negative.
inline u8 MixWeight16(u32 d, u32 s, u32 k)
{
    return u8((d * (65536 - k) + s * k) >> 16);
}

// d + ((s - d) * o >> 8).
inline u8 MixOpacity(u32 d, u32 s, u32 o)
{
    return u8((d * (256 - o) + s * o) >> 8);
}

// The pixel formulas, one per draw mode. Px receives the destination pixel,
// the source colour (3 bytes: blue, green, red; unused for Source::None) and
// the alpha byte (0 for modes without a plane).
template <int Mode> struct Formula;

template <> struct Formula<0>
{
    static constexpr Source kSource = Source::Rgb24;
    static constexpr bool kAlpha = false;
    static void Px(u8* d, const u8* c, u32, const Context&)
    {
        d[0] = c[0];
        d[1] = c[1];
        d[2] = c[2];
    }
};

template <> struct Formula<1>
{
    static constexpr Source kSource = Source::Rgb24;
    static constexpr bool kAlpha = false;
    static void Px(u8* d, const u8* c, u32, const Context& k)
    {
        if (!MatchesKey(c, k.key))
            Formula<0>::Px(d, c, 0, k);
    }
};

template <> struct Formula<2>
{
    static constexpr Source kSource = Source::Rgb24;
    static constexpr bool kAlpha = true;
    static void Px(u8* d, const u8* c, u32 a, const Context&)
    {
        if (a == 255)
            return;
        for (int ch = 0; ch < 3; ++ch)
            d[ch] = MixAlpha(d[ch], c[ch], a);
    }
};

template <> struct Formula<3>
{
    static constexpr Source kSource = Source::Rgb24;
    static constexpr bool kAlpha = true;
    static void Px(u8* d, const u8* c, u32 a, const Context& k)
    {
        if (a == 255)
            return;
        const u32 weight = (255 - a) * k.opacity;
        for (int ch = 0; ch < 3; ++ch)
            d[ch] = MixWeight16(d[ch], c[ch], weight);
    }
};

template <> struct Formula<7>
{
    static constexpr Source kSource = Source::Rgb24;
    static constexpr bool kAlpha = false;
    static void Px(u8* d, const u8* c, u32, const Context& k)
    {
        for (int ch = 0; ch < 3; ++ch)
            d[ch] = MixOpacity(d[ch], c[ch], k.opacity);
    }
};

template <> struct Formula<8>
{
    static constexpr Source kSource = Source::Rgb24;
    static constexpr bool kAlpha = false;
    static void Px(u8* d, const u8* c, u32, const Context& k)
    {
        if (!MatchesKey(c, k.key))
            Formula<7>::Px(d, c, 0, k);
    }
};

template <> struct Formula<10> : Formula<3>
{
    static constexpr Source kSource = Source::Index;
};

template <> struct Formula<12> : Formula<2>
{
    static constexpr Source kSource = Source::Index;
};

template <> struct Formula<13>
{
    static constexpr Source kSource = Source::None;
    static constexpr bool kAlpha = true;
    static void Px(u8* d, const u8*, u32 a, const Context&)
    {
        if (a == 0)
            return;
        for (int ch = 0; ch < 3; ++ch)
            d[ch] = MixAlpha(d[ch], 255, 256 - a);
    }
};

template <> struct Formula<14>
{
    static constexpr Source kSource = Source::None;
    static constexpr bool kAlpha = true;
    static void Px(u8* d, const u8*, u32 a, const Context&)
    {
        if (a == 255)
            return;
        for (int ch = 0; ch < 3; ++ch)
            d[ch] = u8((d[ch] * a) >> 8);
    }
};

template <> struct Formula<16> : Formula<0>
{
    static constexpr Source kSource = Source::Palette8;
};
template <> struct Formula<17> : Formula<7>
{
    static constexpr Source kSource = Source::Palette8;
};
template <> struct Formula<18> : Formula<1>
{
    static constexpr Source kSource = Source::Palette8;
};
template <> struct Formula<19> : Formula<8>
{
    static constexpr Source kSource = Source::Palette8;
};
template <> struct Formula<20> : Formula<2>
{
    static constexpr Source kSource = Source::Palette8;
};
template <> struct Formula<21> : Formula<3>
{
    static constexpr Source kSource = Source::Palette8;
};

// The sub-pixel formulas of modes 2, 3, 13 and 14, given the filtered alpha
// A, the filtered colour C and the unfiltered colour of the window's first
// pixel.
template <int Mode> struct SubpixelFormula;

template <> struct SubpixelFormula<2>
{
    static constexpr Source kSource = Source::Rgb24;
    static void Px(u8* d, const u8* filtered, const u8* p00, u32 a, const Context& k)
    {
        // A filtered alpha of 0 copies the window's own first pixel, not the
        // filtered colour: solid interiors stay sharp.
        Formula<2>::Px(d, a == 0 ? p00 : filtered, a, k);
    }
};

template <> struct SubpixelFormula<3>
{
    static constexpr Source kSource = Source::Rgb24;
    static void Px(u8* d, const u8* filtered, const u8*, u32 a, const Context& k)
    {
        Formula<3>::Px(d, filtered, a, k);
    }
};

template <> struct SubpixelFormula<13>
{
    static constexpr Source kSource = Source::None;
    static void Px(u8* d, const u8*, const u8*, u32 a, const Context& k)
    {
        if (a == 0)
            return;
        const u32 weight = k.opacity * a;
        for (int ch = 0; ch < 3; ++ch)
            d[ch] = MixWeight16(d[ch], 255, weight);
    }
};

template <> struct SubpixelFormula<14>
{
    static constexpr Source kSource = Source::None;
    static void Px(u8* d, const u8*, const u8*, u32 a, const Context& k)
    {
        Formula<14>::Px(d, nullptr, a, k);
    }
};

// The 2x2 window of one byte plane: p0 and p1 point at the window's first
// byte in its two rows, `next` steps to the neighbouring pixel of the walk.
inline u32 FilterWindow(const u8* p0, const u8* p1, i32 next, const Context& k)
{
    return (p0[0] * k.w00 + p0[next] * k.w10 + p1[0] * k.w01 + p1[next] * k.w11) >> 16;
}

inline void SetWeights(Context& k, u32 fx, u32 fy)
{
    k.w00 = fx * fy;
    k.w10 = (256 - fx) * fy;
    k.w01 = fx * (256 - fy);
    k.w11 = (256 - fx) * (256 - fy);
}

// One destination row of a sub-pixel member: w pixels whose windows start at
// s0 / a0 in the first row and s1 / a1 in the second, walking by Dc (+1 or
// -1) pixels.
template <int Mode, int Dc>
inline void SubpixelRow(u8* d, const u8* s0, const u8* s1, const u8* a0, const u8* a1, i32 w,
                        const Context& k)
{
    using F = SubpixelFormula<Mode>;
    for (i32 i = 0; i < w; ++i, d += 3, a0 += Dc, a1 += Dc)
    {
        const u32 av = FilterWindow(a0, a1, Dc, k);
        u8 filtered[3] = {0, 0, 0};
        if constexpr (F::kSource == Source::Rgb24)
        {
            if (av != 255)
            {
                for (int ch = 0; ch < 3; ++ch)
                    filtered[ch] = u8(FilterWindow(s0 + ch, s1 + ch, 3 * Dc, k));
            }
            F::Px(d, filtered, s0, av, k);
            s0 += 3 * Dc;
            s1 += 3 * Dc;
        }
        else
        {
            F::Px(d, filtered, nullptr, av, k);
        }
    }
}

// The destination area a call draws and where its source begins, after the
// request (the image at (x, y), cut to rect) is cut to the destination.
struct Area
{
    i32 left, top, w, h;
    i32 sx, sy; // offset into the (mirrored) picture
};

// imageW and imageH are the extent the member draws without a rect: the
// image's size, one less for the sub-pixel members whose 2x2 windows must stay
// inside it. False when nothing is left to draw.
inline bool ClipArea(i32 dstW, i32 dstH, i32 imageW, i32 imageH, i32 x, i32 y, const ORect* rect, Area& out)
{
    i32 l = x, t = y, r = x + imageW - 1, b = y + imageH - 1;
    if (rect)
    {
        l = rect->left > l ? rect->left : l;
        t = rect->top > t ? rect->top : t;
        r = rect->right < r ? rect->right : r;
        b = rect->bottom < b ? rect->bottom : b;
    }
    l = l < 0 ? 0 : l;
    t = t < 0 ? 0 : t;
    r = r > dstW - 1 ? dstW - 1 : r;
    b = b > dstH - 1 ? dstH - 1 : b;
    if (l > r || t > b)
        return false;
    out = Area{l, t, r - l + 1, b - t + 1, l - x, t - y};
    return true;
}

} // namespace blit
