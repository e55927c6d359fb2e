#include "render/GPtrArray.h"
#include "render/OEngine.h"
#include "support/FontPictureBuilder.h"
#include "text/FontBlend.h"
#include "text/GFont.h"
#include "text/GTextImage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

using testsupport::FontSpec;
using testsupport::MakeFontPicture;

namespace
{

using BitmapPtr = std::unique_ptr<OBitmap, decltype([](OBitmap* b) { DestroyBitmap(b); })>;

enum Kind
{
    kString,
    kText,
    kBlend
};

// The painters as the rules state them, one mask byte at a time, with every
// write kept inside the target.
void Model(Kind kind, OBitmap* font, int last, int space, std::vector<u8>& px, std::vector<u8>& alpha, int W,
           int H, int x, int y, const std::string& text, u32 colour, int o, const ORect* clip)
{
    const u8* plane = font->GetAlpha();
    auto value = [&](int i)
    { return 2 * i + 1 < font->width ? static_cast<i16>(plane[2 * i] | plane[2 * i + 1] << 8) : 0; };
    const int lineHeight = static_cast<i16>(value(0) + value(1));
    const bool inside = x >= 0 && x < W && y >= 0 && y < H && y + lineHeight <= H;
    const ORect whole(0, 0, static_cast<i16>(W), static_cast<i16>(H));
    const ORect* c = inside ? clip : &whole;
    const u8 cb[3] = {static_cast<u8>(colour), static_cast<u8>(colour >> 8), static_cast<u8>(colour >> 16)};
    int pen = x;
    for (unsigned char code : text)
    {
        if (code < 32 || code > last)
            continue;
        if (code == 32 && kind != kString)
        {
            pen += space;
            continue;
        }
        const int g = 2 + 4 * (code - 32);
        const int mx = value(g), lb = value(g + 1), w = value(g + 2), rb = value(g + 3);
        pen += lb;
        if (c && pen > c->right)
            break;
        for (int r = 0; r < lineHeight; ++r)
        {
            for (int j = 0; j < w; ++j)
            {
                const int tx = pen + j, ty = y + r, sx = mx - 1 + j, sy = 1 + r;
                const bool clipped = c && (tx < c->left || tx > c->right || ty < c->top || ty > c->bottom);
                if (clipped || tx < 0 || tx >= W || ty < 0 || ty >= H || sx < 0 || sx >= font->width ||
                    sy >= font->height || plane[sy * font->width + sx] == 255)
                    continue;
                const int a = plane[sy * font->width + sx];
                u8* d = &px[3 * (ty * W + tx)];
                for (int ch = 0; ch < 3; ++ch)
                    d[ch] = static_cast<u8>(kind == kString ? cb[ch]
                                            : kind == kText
                                                ? (a == 0 ? cb[ch] : cb[ch] + (((d[ch] - cb[ch]) * a) >> 8))
                                                : d[ch] + (((cb[ch] - d[ch]) * ((255 - a) * o)) >> 16));
                if (kind == kString)
                    alpha[ty * W + tx] = static_cast<u8>(a);
            }
        }
        pen += w + rb;
    }
}

// Random fonts (some with metrics that point outside their picture), texts
// with control codes, blanks and codes past the last character, places in
// and outside the target, clips reaching past it: every painter must give
// the model's bytes and leave the target's spare bytes alone.
TEST(FontPainters, MatchTheModelAndStayInsideTheTarget)
{
    std::mt19937 rng(21);
    auto any = [&](int lo, int hi) { return lo + static_cast<int>(rng() % static_cast<u32>(hi - lo)); };
    for (int iter = 0; iter < 1500; ++iter)
    {
        FontSpec spec;
        spec.header0 = static_cast<i16>(any(3, 17));
        spec.header1 = static_cast<i16>(any(0, 4));
        spec.lastChar = static_cast<u8>(any(40, 240));
        spec.maxWidth = any(1, 21);
        BitmapPtr font(MakeFontPicture(rng, spec));
        if (rng() % 4 == 0)
        {
            u8* row = font->GetAlpha() + 2 * any(0, std::min<int>(font->width / 2, 200));
            const i16 bad = static_cast<i16>(any(-60, 340));
            row[0] = static_cast<u8>(bad);
            row[1] = static_cast<u8>(static_cast<u16>(bad) >> 8);
        }
        const u16 space = static_cast<u16>(any(0, 9));
        GFont f(font.get(), space, spec.lastChar);

        const int W = any(1, 71), H = any(1, 31);
        BitmapPtr target(CreateBitmap(static_cast<u16>(W), static_cast<u16>(H), 0, 2, nullptr, nullptr));
        u8* const bits = target->GetBits();
        u8* const plane = target->GetAlpha();
        const i32 bitsSize = OBitmap::Rgb24BlockSize(target->width, target->height);
        const i32 planeSize = OBitmap::AlphaPlaneSize(target->width, target->height);
        for (u8* b : {bits, plane})
            std::generate_n(b, b == bits ? bitsSize : planeSize, [&] { return static_cast<u8>(rng()); });
        std::string text(rng() % 12, ' ');
        for (char& ch : text)
            ch = static_cast<char>(rng() % 3 == 0 ? ' ' + rng() % 3 : 1 + rng() % 255);
        const int x = any(-15, W + 15), y = any(-10, H + 10);
        ORect clipRect(static_cast<i16>(any(-10, 30)), static_cast<i16>(any(-10, 20)),
                       static_cast<i16>(any(-5, 75)), static_cast<i16>(any(-5, 35)));
        const ORect* clip = rng() % 3 == 0 ? nullptr : &clipRect;
        const u32 colour = rng() & 0xFFFFFF;
        const int pick = any(0, 4);
        const u8 opacity = pick == 0 ? 0 : pick == 1 ? 255 : static_cast<u8>(rng());
        const Kind kind = static_cast<Kind>(any(0, 3));

        std::vector<u8> px(bits, bits + bitsSize), alpha(plane, plane + planeSize);
        Model(kind, font.get(), spec.lastChar, space, px, alpha, W, H, x, y, text, colour, opacity, clip);
        const i16 sx = static_cast<i16>(x), sy = static_cast<i16>(y);
        if (kind == kString)
            f.DrawString(target.get(), sx, sy, text.c_str(), colour, clip);
        else if (kind == kText)
            f.DrawText(target.get(), sx, sy, text.c_str(), colour, clip);
        else if (iter % 2)
            f.DrawTextBlend(target.get(), sx, sy, text.c_str(), colour, opacity, clip);
        else
            f.DrawTextBlendUnused(target.get(), sx, sy, text.c_str(), colour, opacity, clip);
        ASSERT_EQ(std::vector<u8>(bits, bits + bitsSize), px) << "iteration " << iter;
        ASSERT_EQ(std::vector<u8>(plane, plane + planeSize), alpha) << "iteration " << iter;
    }
}

TEST(FontPainters, EveryBlendKernelGivesTheFormulasBytes)
{
    fontblend::BlendRowFn kernels[4];
    const i32 count = fontblend::AvailableBlendRows(kernels, 4);
    std::mt19937 rng(8);
    for (int iter = 0; iter < 4000; ++iter)
    {
        const i32 n = 1 + static_cast<i32>(rng() % 70), rows = 1 + static_cast<i32>(rng() % 3);
        const i32 pitch = 3 * n + static_cast<i32>(rng() % 9), maskPitch = n + static_cast<i32>(rng() % 5);
        std::vector<u8> d(pitch * (rows - 1) + 3 * n + fontblend::kPixelSlack);
        std::vector<u8> m(maskPitch * (rows - 1) + n + fontblend::kMaskSlack);
        for (u8& b : d)
            b = static_cast<u8>(rng());
        for (u8& b : m)
            b = rng() % 3 == 0 ? 255 : rng() % 2 ? 0 : static_cast<u8>(rng());
        const u8 colour[3] = {static_cast<u8>(rng()), static_cast<u8>(rng()), static_cast<u8>(rng())};
        const u32 opacity = iter % 5 == 0 ? 255 : rng() % 256;
        std::vector<u8> want = d;
        fontblend::BlendRowScalar(want.data(), pitch, m.data(), maskPitch, n, rows, colour, opacity);
        for (i32 k = 1; k < count; ++k)
        {
            std::vector<u8> got = d;
            kernels[k](got.data(), pitch, m.data(), maskPitch, n, rows, colour, opacity);
            ASSERT_EQ(got, want) << "kernel " << k << " n " << n;
        }
    }
}

TEST(FontMetrics, WidthsAndCentring)
{
    std::mt19937 rng(4);
    FontSpec spec;
    spec.lastChar = 'z';
    BitmapPtr font(MakeFontPicture(rng, spec));
    GFont f(font.get(), 4, 'z');
    const i16* a = f.metrics['A' - 32];
    const int wa = a[1] + a[2] + a[3];
    EXPECT_EQ(std::tuple(f.lineHeight, f.glyphCount, f.GetTextWidthN("AAAA", 2)),
              std::tuple(12, 'z' - 31, 2 * wa));
    // Codes past 'z' and below 32 add nothing.
    for (auto [text, width] :
         {std::pair("", 0), std::pair("   ", 12), std::pair("A\x01{~\xFF A", 2 * wa + 4)})
        EXPECT_EQ(f.GetTextWidth(text), width) << text;
    f.SetSpaceWidth(20);
    EXPECT_EQ(std::tuple(f.CenterHorizontally(" ", 0, 99), f.CenterHorizontally(" ", 0, 98),
                         f.CenterVertically(nullptr, 0, 99), f.CenterVertically(nullptr, 0, 9)),
              std::tuple(39, 39, 43, -1)); // (9 - 12) / 2 truncates toward zero
    GFont empty(nullptr, 3, 20);
    EXPECT_EQ(std::tuple(empty.glyphCount, empty.GetTextWidth("ab c")), std::tuple(0, 3));
}

TEST(TextImage, ClearRenderAndShow)
{
    std::mt19937 rng(9);
    BitmapPtr font(MakeFontPicture(rng, FontSpec{}));
    GFont f(font.get(), 5, FontSpec{}.lastChar);
    BitmapPtr image(CreateBitmap(40, 20, 0, 2, nullptr, nullptr)),
        expect(CreateBitmap(40, 20, 0, 2, nullptr, nullptr));
    // The pixels and alpha of the 40 x 20 picture, without spare bytes.
    auto bytes = [](OBitmap* b)
    {
        return std::pair(std::vector<u8>(b->GetBits(), b->GetBits() + 2400),
                         std::vector(b->GetAlpha(), b->GetAlpha() + 800));
    };
    GTextImage t;
    t.image = image.get();
    t.clip.drawnVisible = 1;
    t.Clear();
    EXPECT_EQ(bytes(image.get()), std::pair(std::vector<u8>(2400, 255), std::vector<u8>(800, 255)));
    EXPECT_EQ(t.clip.drawnVisible, 0);

    // Centred black text over a cleared image, whatever the image held.
    std::memset(expect->GetBits(), 255, 2400);
    std::memset(expect->GetAlpha(), 255, 800);
    f.DrawString(expect.get(), f.CenterHorizontally("Hi 7", 0, 39), f.CenterVertically("Hi 7", 0, 19), "Hi 7",
                 0, nullptr);
    std::memset(image->GetBits(), 7, 2400);
    t.clip.drawnVisible = 1;
    t.RenderCentred("Hi 7", &f, 0);
    EXPECT_EQ(bytes(image.get()), bytes(expect.get()));
    EXPECT_EQ(t.clip.drawnVisible, 0);

    std::unique_ptr<GPtrArray> clips(GPtrArray::Create(4));
    OEngine engine;
    engine.clips = clips.get();
    t.clip.drawnVisible = 1;
    t.AddToEngine(&engine);
    EXPECT_TRUE(*clips->At(0) == &t.clip && t.clip.visible == 1 && t.clip.drawnVisible == 0);
    clips->Clear();
}

} // namespace
