// Every member of the blitter family against the per-pixel model, on random
// images, placements, clip rectangles, opacities, palettes and fractions.
#include "BlitReference.h"
#include "image/OBitmap.h"
#include "render/Blit.h"
#include "render/BlitSimd.h"
#include "render/BlitTable.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace
{

// A destination whose rows are padded, as the window's canvas may be: the
// members must find rows through the pitch and never touch the padding.
class PaddedCanvas : public OBitmap
{
public:
    std::vector<u8> store;
    i32 pitch;
    PaddedCanvas(u16 w, u16 h, i32 pad)
        : OBitmap(w, h, 0, 0), store(size_t((3 * w + pad) * h)), pitch(3 * w + pad)
    {
    }
    u8* GetBits() override { return store.data(); }
    u8* GetAlpha() override { return nullptr; }
    i32 GetPitch() override { return pitch; }
};

using Uniform = void (*)(OBitmap*, OBitmap*, i16, i16, const void*, u8, i16, i16, const ORect*);

struct Member
{
    const char* name;
    int mode;
    int flip;
    bool subpixel;
    Uniform call;
};

#define PLAIN(N, M, F)                                                                                       \
    {                                                                                                        \
#N, M, F, false,                                                                                     \
            [](OBitmap * d, OBitmap * s, i16 x, i16 y, const void*, u8, i16, i16, const ORect* r)            \
        { N(d, s, x, y, r); }                                                                                \
    }
#define OPACITY(N, M, F)                                                                                     \
    {                                                                                                        \
#N, M, F, false,                                                                                     \
            [](OBitmap * d, OBitmap * s, i16 x, i16 y, const void*, u8 o, i16, i16, const ORect* r)          \
        { N(d, s, x, y, o, r); }                                                                             \
    }
#define PALETTE(N, M, F)                                                                                     \
    {                                                                                                        \
#N, M, F, false,                                                                                     \
            [](OBitmap * d, OBitmap * s, i16 x, i16 y, const void* p, u8, i16, i16, const ORect* r)          \
        { N(d, s, x, y, p, r); }                                                                             \
    }
#define PALETTE_OPACITY(N, M, F)                                                                             \
    {                                                                                                        \
#N, M, F, false,                                                                                     \
            [](OBitmap * d, OBitmap * s, i16 x, i16 y, const void* p, u8 o, i16, i16, const ORect* r)        \
        { N(d, s, x, y, p, o, r); }                                                                          \
    }
#define SUB(N, M, F)                                                                                         \
    {                                                                                                        \
#N, M, F, true,                                                                                      \
            [](OBitmap * d, OBitmap * s, i16 x, i16 y, const void*, u8, i16 fx, i16 fy, const ORect* r)      \
        { N(d, s, x, y, fx, fy, r); }                                                                        \
    }
#define SUB_OPACITY(N, M, F)                                                                                 \
    {                                                                                                        \
#N, M, F, true,                                                                                      \
            [](OBitmap * d, OBitmap * s, i16 x, i16 y, const void*, u8 o, i16 fx, i16 fy, const ORect* r)    \
        { N(d, s, x, y, fx, fy, o, r); }                                                                     \
    }
#define FLIPS(K, N, M) K(N, M, 0), K(N##MirrorX, M, 1), K(N##MirrorY, M, 2), K(N##MirrorXY, M, 3)
#define SUB_FLIPS(K, N, M)                                                                                   \
    K(N##Subpixel, M, 0), K(N##MirrorXSubpixel, M, 1), K(N##MirrorYSubpixel, M, 2),                          \
        K(N##MirrorXYSubpixel, M, 3)

const Member kMembers[] = {
    FLIPS(PLAIN, BlitCopy, 0),
    FLIPS(PLAIN, BlitKeyed, 1),
    FLIPS(PLAIN, BlitAlpha, 2),
    FLIPS(OPACITY, BlitAlphaOpacity, 3),
    FLIPS(OPACITY, BlitOpacity, 7),
    FLIPS(OPACITY, BlitKeyedOpacity, 8),
    FLIPS(PALETTE_OPACITY, BlitPaletteAlphaOpacity, 10),
    FLIPS(PALETTE, BlitPaletteAlpha, 12),
    FLIPS(PLAIN, BlitLighten, 13),
    FLIPS(PLAIN, BlitShadow, 14),
    FLIPS(PLAIN, BlitIndexed, 16),
    FLIPS(OPACITY, BlitIndexedOpacity, 17),
    FLIPS(PLAIN, BlitIndexedKeyed, 18),
    FLIPS(OPACITY, BlitIndexedKeyedOpacity, 19),
    FLIPS(PLAIN, BlitIndexedAlpha, 20),
    FLIPS(OPACITY, BlitIndexedAlphaOpacity, 21),
    SUB_FLIPS(SUB, BlitAlpha, 2),
    SUB_FLIPS(SUB_OPACITY, BlitAlphaOpacity, 3),
    SUB_FLIPS(SUB_OPACITY, BlitLighten, 13),
    SUB_FLIPS(SUB, BlitShadow, 14),
};

// The table's entry for a member, in the same uniform shape.
void CallTable(const Member& m, OBitmap* d, OBitmap* s, i16 x, i16 y, const void* p, u8 o, i16 fx, i16 fy,
               const ORect* r)
{
    if (m.subpixel)
        GetSubpixelBlitter(u8(m.mode), u8(m.flip))(d, s, x, y, fx, fy, o, r);
    else
        GetBlitter(u8(m.mode), u8(m.flip))(d, s, x, y, p, o, r);
}

// Alpha bytes in runs of transparent, opaque and arbitrary values, so that
// both the blended pixels and the vector kernels' whole-block shortcuts are
// exercised.
void FillAlpha(std::mt19937& rng, u8* a, size_t n)
{
    size_t i = 0;
    while (i < n)
    {
        const size_t run = 1 + rng() % 70;
        const u32 kind = rng() % 4;
        for (size_t k = 0; k < run && i < n; ++k, ++i)
            a[i] = kind == 0 ? 0 : kind == 1 ? 255 : kind == 2 ? u8(rng()) : u8(rng() % 2 ? 0 : 255);
    }
}

// A source image of a format that suits the mode, with every byte of every
// block random (spare bytes included) and colours drawn from a few values so
// that colour keys match now and then.
OBitmap* MakeSource(std::mt19937& rng, int mode, bool subpixel)
{
    const u16 w = u16((subpixel ? 1 : 0) + rng() % 90), h = u16((subpixel ? 1 : 0) + rng() % 40);
    u8 format;
    OBuffer* alpha = nullptr;
    switch (mode)
    {
    case 0:
    case 1:
    case 7:
    case 8:
        format = u8(mode == 1 || mode == 8 ? 1 : 0);
        break;
    case 10:
    case 12:
        format = 12;
        alpha = OBuffer::Create(OBitmap::AlphaPlaneSize(w, h), nullptr);
        break;
    case 13:
    case 14:
        format = u8(rng() % 2 ? 14 : 2);
        break;
    case 16:
    case 17:
    case 18:
    case 19:
        format = u8(mode == 18 || mode == 19 ? 18 : 16);
        break;
    case 20:
    case 21:
        format = 20;
        break;
    default:
        format = 2;
        break;
    }
    // Now and then an image of any format, which the member must either draw
    // by its formula or refuse, never read out of its blocks.
    if (rng() % 10 == 0)
    {
        const u8 any[] = {0, 1, 2, 12, 14, 16, 18, 20, 21};
        format = any[rng() % 9];
    }
    u32 colours[4];
    for (u32& c : colours)
        c = rng() & 0xFFFFFF;
    OBitmap* image = CreateBitmap(w, h, 0, format, nullptr, alpha);
    if (OBuffer* px = image->GetPixelBuffer())
    {
        const size_t n =
            size_t(format >= 16 ? OBitmap::PaletteBlockSize(w, h) : OBitmap::Rgb24BlockSize(w, h));
        for (size_t i = 0; i + 3 <= n; i += 3)
        {
            const u32 c = rng() % 3 ? colours[rng() % 4] : rng();
            px->data[i] = u8(c), px->data[i + 1] = u8(c >> 8), px->data[i + 2] = u8(c >> 16);
        }
        if (format >= 16)
        {
            // Now and then a short palette, so that stray indices are met.
            const u16 header = rng() % 4 ? OBitmap::kPaletteHeaderLength : u16(2 + 3 * (rng() % 40));
            px->data[0] = u8(header), px->data[1] = u8(header >> 8);
        }
    }
    if (OBuffer* a = image->GetAlphaBuffer())
        FillAlpha(rng, a->data, size_t(OBitmap::AlphaPlaneSize(w, h)));
    if (alpha)
        alpha->Release(); // the image holds its own reference now
    image->colourKey = rng() % 8 == 0 ? colours[0] | 0x01000000u : colours[rng() % 4];
    if (format >= 16 && rng() % 2)
    {
        const u8* entry = image->GetBits() + 2 + 3 * (rng() % 8);
        image->colourKey = u32(entry[0]) | u32(entry[1]) << 8 | u32(entry[2]) << 16;
    }
    return image;
}

// Positions, rects and canvases reaching beyond every edge of the canvas.
struct Placement
{
    int x, y;
    bool hasRect;
    ORect rect;
};

Placement RandomPlacement(std::mt19937& rng, int cw, int ch, int iw, int ih)
{
    Placement p{};
    p.x = int(rng() % u32(cw + iw + 10)) - iw - 5;
    p.y = int(rng() % u32(ch + ih + 10)) - ih - 5;
    if (rng() % 16 == 0)
        (rng() % 2 ? p.x : p.y) = rng() % 2 ? -32768 : 32767 - int(rng() % 4);
    p.hasRect = rng() % 3 != 0;
    if (p.hasRect)
    {
        int l, t;
        if (rng() % 2)
        {
            // A rect inside the image's area, as the redraw passes.
            l = p.x + int(rng() % u32(iw + 1)), t = p.y + int(rng() % u32(ih + 1));
        }
        else
        {
            l = int(rng() % u32(cw + 20)) - 10, t = int(rng() % u32(ch + 20)) - 10;
        }
        const int r = l + int(rng() % u32(cw + 10)) - 2, b = t + int(rng() % u32(ch + 10)) - 2;
        p.rect.Set(i16(l), i16(t), i16(r), i16(b));
        // Now and then a side at the far ends of the coordinate range.
        const i16 far[4] = {-32768, -30000, 30000, 32767};
        if (rng() % 8 == 0)
            (rng() % 2 ? p.rect.left : p.rect.top) = far[rng() % 2];
        if (rng() % 8 == 0)
            (rng() % 2 ? p.rect.right : p.rect.bottom) = far[2 + rng() % 2];
    }
    return p;
}

TEST(BlitDifferential, EveryMemberMatchesTheModel)
{
    std::mt19937 rng(20240511);
    u8 palette[256 * 4];
    for (u8& b : palette)
        b = u8(rng());
    int compared = 0;
    for (const Member& m : kMembers)
    {
        for (int iteration = 0; iteration < 70; ++iteration)
        {
            OBitmap* src = MakeSource(rng, m.mode, m.subpixel);
            const u16 cw = u16(20 + rng() % 60), ch = u16(10 + rng() % 40);
            PaddedCanvas viaMember(cw, ch, int(rng() % 5));
            for (u8& b : viaMember.store)
                b = u8(rng());
            PaddedCanvas viaTable(cw, ch, viaMember.pitch - 3 * cw);
            viaTable.store = viaMember.store;
            ref::Canvas expected{cw, ch, viaMember.pitch, viaMember.store};

            const Placement p = RandomPlacement(rng, cw, ch, src->width, src->height);
            ref::Call call;
            call.mode = m.mode;
            call.flip = m.flip;
            call.subpixel = m.subpixel;
            call.x = p.x;
            call.y = p.y;
            call.fx = int(rng() % 256);
            call.fy = int(rng() % 256);
            call.opacity = int(rng() % 4 == 0 ? (rng() % 2) * 255 : rng() % 256);
            call.palette = palette;
            call.rect = p.hasRect ? &p.rect : nullptr;
            ref::Draw(expected, src, call);

            m.call(&viaMember, src, i16(p.x), i16(p.y), palette, u8(call.opacity), i16(call.fx), i16(call.fy),
                   call.rect);
            CallTable(m, &viaTable, src, i16(p.x), i16(p.y), palette, u8(call.opacity), i16(call.fx),
                      i16(call.fy), call.rect);
            const std::string what = std::string(m.name) + " iteration " + std::to_string(iteration);
            ASSERT_EQ(expected.bytes, viaMember.store) << what;
            ASSERT_EQ(expected.bytes, viaTable.store) << what << " (table)";
            DestroyBitmap(src);
            ++compared;
        }
    }
    EXPECT_EQ(compared, 80 * 70);
}

// Larger images over a large canvas, so that the vector kernels run on long
// rows and meet every alignment of a row's start and length.
TEST(BlitDifferential, LongRowsOfTheAlphaKernels)
{
    std::mt19937 rng(77);
    for (int iteration = 0; iteration < 40; ++iteration)
    {
        const u16 w = u16(30 + rng() % 300), h = u16(1 + rng() % 6);
        OBitmap* src = CreateBitmap(w, h, 0, 2, nullptr, nullptr);
        for (int i = 0; i < OBitmap::Rgb24BlockSize(w, h); ++i)
            src->GetBits()[i] = u8(rng());
        FillAlpha(rng, src->GetAlpha(), size_t(OBitmap::AlphaPlaneSize(w, h)));
        PaddedCanvas canvas(400, 10, 0);
        for (u8& b : canvas.store)
            b = u8(rng());
        ref::Canvas expected{400, 10, canvas.pitch, canvas.store};
        ref::Call call;
        call.mode = 2;
        call.flip = int(rng() % 4);
        call.x = int(rng() % 120) - 40;
        call.y = int(rng() % 6);
        ref::Draw(expected, src, call);
        GetBlitter(2, u8(call.flip))(&canvas, src, i16(call.x), i16(call.y), nullptr, 0, nullptr);
        ASSERT_EQ(expected.bytes, canvas.store) << "iteration " << iteration;
        DestroyBitmap(src);
    }
}

// Blocks of rows of draw mode 2, walked down or up (a negative pitch, as for
// an image mirrored top to bottom), in buffers of exactly their size so that
// the sanitizer build sees any access past them.
TEST(BlitDifferential, EveryAlphaBlockKernelGivesTheScalarBytes)
{
    blit::AlphaRectFn kernels[4];
    const i32 n = blit::AvailableAlphaRects(kernels, 4);
    std::mt19937 rng(11);
    for (int iteration = 0; iteration < 400; ++iteration)
    {
        const i32 w = i32(rng() % 90), h = i32(1 + rng() % 5);
        const i32 dPitch = 3 * w + i32(rng() % 7), sPitch = 3 * w + i32(rng() % 5),
                  aPitch = w + i32(rng() % 3);
        const auto block = [&](i32 pitch, i32 row)
        {
            std::vector<u8> v(size_t(pitch * (h - 1) + row));
            for (u8& b : v)
                b = u8(rng());
            return v;
        };
        std::vector<u8> d = block(dPitch, 3 * w), s = block(sPitch, 3 * w), a = block(aPitch, w);
        FillAlpha(rng, a.data(), a.size());
        // Wholly opaque and wholly transparent blocks take shortcuts.
        if (iteration % 9 < 2)
            std::fill(a.begin(), a.end(), u8(iteration % 9 == 0 ? 0 : 255));
        const bool up = rng() % 2 != 0;
        const auto first = [&](std::vector<u8>& v, i32 pitch)
        { return v.data() + (up ? pitch * (h - 1) : 0); };
        const i32 sign = up ? -1 : 1;
        const auto run = [&](blit::AlphaRectFn kernel)
        {
            std::vector<u8> out = d;
            kernel(first(out, dPitch), sign * dPitch, first(s, sPitch), sign * sPitch, first(a, aPitch),
                   sign * aPitch, w, h);
            return out;
        };
        const std::vector<u8> want = run(&blit::AlphaRectScalar);
        for (i32 k = 1; k < n; ++k)
            ASSERT_EQ(want, run(kernels[k])) << "kernel " << k << " width " << w << " height " << h;
    }
}

TEST(BlitDifferential, EveryVectorKernelGivesTheScalarBytes)
{
    blit::AlphaRowFn kernels[4];
    const i32 n = blit::AvailableAlphaRows(kernels, 4);
    blit::AlphaOpacityRowFn opacityKernels[4];
    const i32 m = blit::AvailableAlphaOpacityRows(opacityKernels, 4);
    ASSERT_GE(n, 1);
    ASSERT_GE(m, 1);
    std::mt19937 rng(5);
    for (int w = 0; w < 200; ++w)
    {
        std::vector<u8> s(size_t(3 * w + 1)), a(size_t(w + 1)), d(size_t(3 * w + 1));
        for (u8& b : s)
            b = u8(rng());
        for (u8& b : d)
            b = u8(rng());
        FillAlpha(rng, a.data(), a.size());
        // Wholly opaque rows take a shortcut of their own in the kernels.
        if (w % 7 == 3)
            std::fill(a.begin(), a.end(), u8(0));
        std::vector<u8> expected = d;
        blit::AlphaRowScalar(expected.data(), s.data(), a.data(), w);
        for (i32 k = 1; k < n; ++k)
        {
            std::vector<u8> got = d;
            kernels[k](got.data(), s.data(), a.data(), w);
            ASSERT_EQ(expected, got) << "kernel " << k << " width " << w;
        }
        // Sub-pixel windows reach one pixel further, in a second row.
        {
            std::vector<u8> s1(s.size() + 3), a1(a.size() + 1), s0(s.size() + 3), a0(a.size() + 1);
            for (u8& b : s0)
                b = u8(rng());
            for (u8& b : s1)
                b = u8(rng());
            FillAlpha(rng, a0.data(), a0.size());
            FillAlpha(rng, a1.data(), a1.size());
            const u32 fx = rng() % 256, fy = w % 5 == 0 ? 0 : rng() % 256;
            std::vector<u8> want = d;
            blit::SubAlphaRowScalar(want.data(), s0.data(), s1.data(), a0.data(), a1.data(), w, fx, fy);
            blit::SubAlphaRowFn sub[4];
            const i32 q = blit::AvailableSubAlphaRows(sub, 4);
            for (i32 k = 1; k < q; ++k)
            {
                std::vector<u8> got = d;
                sub[k](got.data(), s0.data(), s1.data(), a0.data(), a1.data(), w, fx, fy);
                ASSERT_EQ(want, got) << "sub-pixel kernel " << k << " width " << w << " fx " << fx << " fy "
                                     << fy;
            }
            const u32 o = w % 4 == 0 ? 255 : rng() % 256;
            for (int mode : {3, 13, 14})
            {
                blit::SubRowFn rows[2];
                const i32 qm = mode == 3    ? blit::AvailableSubRows<3>(rows, 2)
                               : mode == 13 ? blit::AvailableSubRows<13>(rows, 2)
                                            : blit::AvailableSubRows<14>(rows, 2);
                // Modes 13 and 14 must not need the colour rows.
                const u8* c0 = mode == 3 ? s0.data() : nullptr;
                const u8* c1 = mode == 3 ? s1.data() : nullptr;
                want = d;
                rows[0](want.data(), c0, c1, a0.data(), a1.data(), w, fx, fy, o);
                for (i32 k = 1; k < qm; ++k)
                {
                    std::vector<u8> got = d;
                    rows[k](got.data(), c0, c1, a0.data(), a1.data(), w, fx, fy, o);
                    ASSERT_EQ(want, got) << "sub-pixel mode " << mode << " kernel " << k << " width " << w;
                }
            }
        }
        {
            blit::OpacityRowFn opacityOnly[2];
            const i32 q = blit::AvailableOpacityRows(opacityOnly, 2);
            const u32 o = w % 3 == 0 ? 255 : rng() % 256;
            std::vector<u8> want = d;
            opacityOnly[0](want.data(), s.data(), w, o);
            for (i32 k = 1; k < q; ++k)
            {
                std::vector<u8> got = d;
                opacityOnly[k](got.data(), s.data(), w, o);
                ASSERT_EQ(want, got) << "opacity-only kernel " << k << " width " << w;
            }
        }
        // Shadow and lighten read the alpha plane only.
        for (int mode : {13, 14})
        {
            blit::AlphaOnlyRowFn alphaOnly[2];
            const i32 q = mode == 13 ? blit::AvailableLightenRows(alphaOnly, 2)
                                     : blit::AvailableShadowRows(alphaOnly, 2);
            std::vector<u8> want = d;
            alphaOnly[0](want.data(), a.data(), w);
            for (i32 k = 1; k < q; ++k)
            {
                std::vector<u8> got = d;
                alphaOnly[k](got.data(), a.data(), w);
                ASSERT_EQ(want, got) << "mode " << mode << " kernel " << k << " width " << w;
            }
        }
        // Colour keys, matching now and then: the key is one of the row's
        // own pixels, or has a top byte set and matches nothing.
        if (w > 0)
        {
            const u8* p = s.data() + 3 * (rng() % u32(w));
            u32 key = u32(p[0]) | u32(p[1]) << 8 | u32(p[2]) << 16;
            if (w % 9 == 0)
                key |= 0x01000000;
            std::vector<u8> keyedRow = s;
            for (size_t i = 0; i + 3 <= keyedRow.size(); i += 3)
                if (rng() % 3 == 0)
                    std::memcpy(keyedRow.data() + i, p, 3);
            std::vector<u8> want = d;
            blit::KeyedRowScalar(want.data(), keyedRow.data(), w, key);
            blit::KeyedRowFn keyedKernels[2];
            const i32 q = blit::AvailableKeyedRows(keyedKernels, 2);
            for (i32 k = 1; k < q; ++k)
            {
                std::vector<u8> got = d;
                keyedKernels[k](got.data(), keyedRow.data(), w, key);
                ASSERT_EQ(want, got) << "keyed kernel " << k << " width " << w;
            }
        }
        // Turning a mirrored walk around, read from the far end of the row.
        blit::ReverseRowFn reversers[2];
        const i32 r = blit::AvailableReverseRows(reversers, 2);
        const size_t pixels = static_cast<size_t>(w);
        std::vector<u8> colour(3 * pixels), alpha(pixels), colourBack(3 * pixels), alphaBack(pixels);
        if (w > 0)
        {
            reversers[0](colour.data(), alpha.data(), s.data() + 3 * (w - 1), a.data() + (w - 1), w);
            for (i32 k = 0; k < w; ++k)
            {
                ASSERT_EQ(alpha[size_t(k)], a[size_t(w - 1 - k)]);
                ASSERT_EQ(colour[size_t(3 * k + 2)], s[size_t(3 * (w - 1 - k) + 2)]);
            }
            for (i32 k = 1; k < r; ++k)
            {
                reversers[k](colourBack.data(), alphaBack.data(), s.data() + 3 * (w - 1), a.data() + (w - 1),
                             w);
                ASSERT_EQ(colour, colourBack) << "reverser " << k << " width " << w;
                ASSERT_EQ(alpha, alphaBack) << "reverser " << k << " width " << w;
            }
        }
        const u32 opacity = w % 7 == 0 ? 255 : w % 11 == 0 ? 0 : rng() % 256;
        expected = d;
        blit::AlphaOpacityRowScalar(expected.data(), s.data(), a.data(), w, opacity);
        for (i32 k = 1; k < m; ++k)
        {
            std::vector<u8> got = d;
            opacityKernels[k](got.data(), s.data(), a.data(), w, opacity);
            ASSERT_EQ(expected, got) << "opacity kernel " << k << " width " << w << " opacity " << opacity;
        }
    }
}

} // namespace
