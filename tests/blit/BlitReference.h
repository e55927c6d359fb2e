#pragma once
// A slow per-pixel model of the blitter family, written straight from the
// formulas: for every destination pixel it decides whether the call draws it,
// which source pixel (or 2x2 window) lands there, and what the blend gives.
// It shares nothing with the engine's kernels but the image layouts.
#include "core/ORect.h"
#include "core/Types.h"
#include "image/OBitmap.h"

#include <vector>

namespace ref
{

struct Call
{
    int mode = 0;
    int flip = 0;
    bool subpixel = false;
    int x = 0, y = 0;
    int fx = 0, fy = 0;
    int opacity = 0;
    const u8* palette = nullptr; // 4 bytes per entry
    const ORect* rect = nullptr;
};

// A 24-bit destination held as rows of `pitch` bytes.
struct Canvas
{
    int w = 0, h = 0, pitch = 0;
    std::vector<u8> bytes;
    u8* At(int x, int y) { return bytes.data() + y * pitch + 3 * x; }
};

inline bool ReadsAlpha(int mode)
{
    switch (mode)
    {
    case 2:
    case 3:
    case 10:
    case 12:
    case 13:
    case 14:
    case 20:
    case 21:
        return true;
    default:
        return false;
    }
}

inline bool ReadsEmbeddedPalette(int mode)
{
    return mode >= 16;
}
inline bool ReadsPassedPalette(int mode)
{
    return mode == 10 || mode == 12;
}
inline bool ReadsColour(int mode)
{
    return mode != 13 && mode != 14;
}

// The colour (blue, green, red) of source pixel (c, r) in the mode's layout.
inline void SourceColour(OBitmap* src, const Call& call, int c, int r, int out[3])
{
    const u8* bits = src->GetBits();
    const int w = src->width;
    if (ReadsPassedPalette(call.mode))
    {
        const u8* e = call.palette + 4 * bits[r * w + c];
        for (int ch = 0; ch < 3; ++ch)
            out[ch] = e[ch];
    }
    else if (ReadsEmbeddedPalette(call.mode))
    {
        const int header = bits[0] | bits[1] << 8;
        const int index = bits[header + r * w + c];
        const bool held = index < (header - 2) / 3;
        for (int ch = 0; ch < 3; ++ch)
            out[ch] = held ? bits[2 + 3 * index + ch] : 0;
    }
    else
    {
        const u8* p = bits + r * src->GetPitch() + 3 * c;
        for (int ch = 0; ch < 3; ++ch)
            out[ch] = p[ch];
    }
}

inline bool Keyed(const int c[3], u32 key)
{
    return u32(c[0] + 256 * c[1] + 65536 * c[2]) == key;
}

// The plain formulas; returns false to skip the pixel.
inline bool Plain(int mode, int d[3], const int s[3], int a, int o, u32 key)
{
    const bool keyed = (mode == 1 || mode == 8 || mode == 18 || mode == 19) && Keyed(s, key);
    for (int ch = 0; ch < 3; ++ch)
    {
        int& dd = d[ch];
        const int ss = s[ch];
        switch (mode)
        {
        case 0:
        case 16:
            dd = ss;
            break;
        case 1:
        case 18:
            if (keyed)
                return false;
            dd = ss;
            break;
        case 2:
        case 12:
        case 20:
            if (a == 255)
                return false;
            dd = a == 0 ? ss : ss + (((dd - ss) * a) >> 8);
            break;
        case 3:
        case 10:
        case 21:
            if (a == 255)
                return false;
            dd = dd + (((ss - dd) * ((255 - a) * o)) >> 16);
            break;
        case 7:
        case 17:
            dd = dd + (((ss - dd) * o) >> 8);
            break;
        case 8:
        case 19:
            if (keyed)
                return false;
            dd = dd + (((ss - dd) * o) >> 8);
            break;
        case 13:
            if (a == 0)
                return false;
            dd = dd + (((255 - dd) * a) >> 8);
            break;
        case 14:
            if (a == 255)
                return false;
            dd = (dd * a) >> 8;
            break;
        default:
            return false;
        }
    }
    return true;
}

// The sub-pixel formulas are the plain ones over the filtered values, except
// that draw mode 2 takes the unfiltered P00 where the filtered alpha is 0 and
// draw mode 13 scales its lightening by the opacity.
inline bool Subpixel(int mode, int d[3], const int c[3], const int p00[3], int a, int o)
{
    if (mode != 13)
        return Plain(mode, d, mode == 2 && a == 0 ? p00 : c, a, o, 0);
    if (a == 0)
        return false;
    for (int ch = 0; ch < 3; ++ch)
        d[ch] = d[ch] + (((255 - d[ch]) * (o * a)) >> 16);
    return true;
}

inline bool LayoutFits(OBitmap* src, const Call& call)
{
    if (ReadsAlpha(call.mode) && !src->GetAlpha())
        return false;
    if (ReadsPassedPalette(call.mode))
        return src->GetBits() && call.palette;
    if (ReadsEmbeddedPalette(call.mode))
        return src->GetBits() && src->format >= 16 && src->format <= 21;
    if (ReadsColour(call.mode))
        return src->GetBits() && src->format != 12 && src->format != 14 && src->format < 16;
    return true;
}

inline void Draw(Canvas& dst, OBitmap* src, const Call& call)
{
    if (!LayoutFits(src, call))
        return;
    const int W = src->width, H = src->height;
    const int drawW = call.subpixel ? W - 1 : W;
    const int drawH = call.subpixel ? H - 1 : H;
    const bool mx = call.flip & 1, my = call.flip & 2;
    const int w00 = call.fx * call.fy, w10 = (256 - call.fx) * call.fy, w01 = call.fx * (256 - call.fy),
              w11 = (256 - call.fx) * (256 - call.fy);
    for (int Y = 0; Y < dst.h; ++Y)
    {
        for (int X = 0; X < dst.w; ++X)
        {
            if (call.rect && !call.rect->Contains(i16(X), i16(Y)))
                continue;
            const int i = X - call.x, j = Y - call.y;
            if (i < 0 || j < 0 || i >= drawW || j >= drawH)
                continue;
            const int c = mx ? W - 1 - i : i;
            const int r = my ? H - 1 - j : j;
            int d[3];
            u8* px = dst.At(X, Y);
            for (int ch = 0; ch < 3; ++ch)
                d[ch] = px[ch];
            const u8* alpha = src->GetAlpha();
            bool write;
            if (!call.subpixel)
            {
                int s[3] = {0, 0, 0};
                if (ReadsColour(call.mode))
                    SourceColour(src, call, c, r, s);
                const int a = ReadsAlpha(call.mode) ? alpha[r * W + c] : 0;
                write = Plain(call.mode, d, s, a, call.opacity, src->colourKey);
            }
            else
            {
                const int c1 = mx ? c - 1 : c + 1, r1 = my ? r - 1 : r + 1;
                const int a = (alpha[r * W + c] * w00 + alpha[r * W + c1] * w10 + alpha[r1 * W + c] * w01 +
                               alpha[r1 * W + c1] * w11) >>
                              16;
                int p00[3] = {0, 0, 0}, f[3] = {0, 0, 0};
                if (ReadsColour(call.mode))
                {
                    int p10[3], p01[3], p11[3];
                    SourceColour(src, call, c, r, p00);
                    SourceColour(src, call, c1, r, p10);
                    SourceColour(src, call, c, r1, p01);
                    SourceColour(src, call, c1, r1, p11);
                    for (int ch = 0; ch < 3; ++ch)
                        f[ch] = (p00[ch] * w00 + p10[ch] * w10 + p01[ch] * w01 + p11[ch] * w11) >> 16;
                }
                write = Subpixel(call.mode, d, f, p00, a, call.opacity);
            }
            if (write)
            {
                for (int ch = 0; ch < 3; ++ch)
                    px[ch] = u8(d[ch]);
            }
        }
    }
}

} // namespace ref
