// The blitters beside memcpy and pixman on an 800x600 canvas. Each benchmark
// reports destination pixels as items, so items per second compare directly:
// BM_BlitCopy/canvas against BM_Memcpy/canvas (the same rows copied with
// memcpy), BM_BlitAlpha/canvas against BM_PixmanOver/canvas (pixman's OVER of
// an r8g8b8 source through an a8 mask into an r8g8b8 destination).
#include "render/Blit.h"
#include "image/OBitmap.h"

#include <benchmark/benchmark.h>
#include <pixman.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

namespace
{

constexpr u16 kCanvasW = 800, kCanvasH = 600;
constexpr u16 kSprite = 64;
// Sprites per iteration of a /sprite64 benchmark: about the pixels of the
// whole canvas, at positions that leave most sprites whole and some clipped.
constexpr int kSprites = 117;

enum class Shape
{
    Canvas,
    Sprite64
};

// The alpha of a typical sprite: a disc, opaque inside, transparent outside,
// with a soft rim a few pixels wide. The 800x600 image tiles it every 64
// pixels, as a layer of many objects would.
u8 DiscAlpha(int x, int y)
{
    const int dx = (x % 64) - 32, dy = (y % 64) - 32;
    const int d2 = dx * dx + dy * dy;
    if (d2 < 26 * 26)
        return 0;
    if (d2 >= 30 * 30)
        return 255;
    return u8((d2 - 26 * 26) * 255 / (30 * 30 - 26 * 26));
}

struct Scene
{
    OBitmap* canvas;
    OBitmap* image;
    std::vector<std::pair<i16, i16>> spots;
    i64 pixelsPerIteration;
};

Scene MakeScene(Shape shape, u8 format)
{
    std::mt19937 rng(1234);
    Scene s{};
    s.canvas = CreateBitmap(kCanvasW, kCanvasH, 0, 0, nullptr, nullptr);
    for (int i = 0; i < OBitmap::Rgb24BlockSize(kCanvasW, kCanvasH); ++i)
        s.canvas->GetBits()[i] = u8(rng());
    const u16 w = shape == Shape::Canvas ? kCanvasW : kSprite;
    const u16 h = shape == Shape::Canvas ? kCanvasH : kSprite;
    s.image = CreateBitmap(w, h, 0x00FF00FF, format, nullptr, nullptr);
    u8* bits = s.image->GetBits();
    if (format >= 16)
    {
        for (int i = 2; i < OBitmap::kPaletteHeaderLength; ++i)
            bits[i] = u8(rng());
        for (int i = 0; i < w * h; ++i)
            bits[OBitmap::kPaletteHeaderLength + i] = u8(rng());
    }
    else
    {
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
            {
                u8* p = bits + 3 * (y * w + x);
                p[0] = u8(x * 3), p[1] = u8(y * 5), p[2] = u8(x + y);
                // Keyed images show the key colour where a disc sprite would
                // be transparent.
                if (format == 1 && DiscAlpha(x, y) == 255)
                    p[0] = 0xFF, p[1] = 0x00, p[2] = 0xFF;
            }
    }
    if (u8* a = s.image->GetAlpha())
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                a[y * w + x] = DiscAlpha(x, y);
    if (shape == Shape::Canvas)
    {
        s.spots.push_back({0, 0});
        s.pixelsPerIteration = i64(kCanvasW) * kCanvasH;
    }
    else
    {
        // Only the pixels that land on the canvas count.
        s.pixelsPerIteration = 0;
        for (int i = 0; i < kSprites; ++i)
        {
            const int x = int(rng() % (kCanvasW + 32)) - 32, y = int(rng() % (kCanvasH + 32)) - 32;
            s.spots.push_back({i16(x), i16(y)});
            const int w = std::min(x + kSprite, int(kCanvasW)) - std::max(x, 0);
            const int h = std::min(y + kSprite, int(kCanvasH)) - std::max(y, 0);
            s.pixelsPerIteration += i64(w) * h;
        }
    }
    return s;
}

void FreeScene(Scene& s)
{
    DestroyBitmap(s.image);
    DestroyBitmap(s.canvas);
}

template <class Draw> void Run(benchmark::State& state, Shape shape, u8 format, Draw draw)
{
    Scene s = MakeScene(shape, format);
    for (auto _ : state)
    {
        for (const auto& spot : s.spots)
            draw(s.canvas, s.image, spot.first, spot.second);
        benchmark::DoNotOptimize(s.canvas->GetBits());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * s.pixelsPerIteration);
    FreeScene(s);
}

void BM_BlitCopy(benchmark::State& state, Shape shape)
{
    Run(state, shape, 0, [](OBitmap* d, OBitmap* s, i16 x, i16 y) { BlitCopy(d, s, x, y, nullptr); });
}

void BM_BlitAlpha(benchmark::State& state, Shape shape)
{
    Run(state, shape, 2, [](OBitmap* d, OBitmap* s, i16 x, i16 y) { BlitAlpha(d, s, x, y, nullptr); });
}

void BM_BlitAlphaOpacity(benchmark::State& state, Shape shape)
{
    Run(state, shape, 2,
        [](OBitmap* d, OBitmap* s, i16 x, i16 y) { BlitAlphaOpacity(d, s, x, y, 200, nullptr); });
}

void BM_BlitKeyed(benchmark::State& state, Shape shape)
{
    Run(state, shape, 1, [](OBitmap* d, OBitmap* s, i16 x, i16 y) { BlitKeyed(d, s, x, y, nullptr); });
}

void BM_BlitIndexed(benchmark::State& state, Shape shape)
{
    Run(state, shape, 16, [](OBitmap* d, OBitmap* s, i16 x, i16 y) { BlitIndexed(d, s, x, y, nullptr); });
}

void BM_BlitAlphaSubpixel(benchmark::State& state, Shape shape)
{
    Run(state, shape, 2,
        [](OBitmap* d, OBitmap* s, i16 x, i16 y) { BlitAlphaSubpixel(d, s, x, y, 100, 37, nullptr); });
}

// The canvas-sized alpha image drawn through clip rectangles `width` pixels
// wide side by side, as the dirty redraw draws sprites cut by its
// rectangles: short rows beside full-width ones, pixels per second compared.
void BM_BlitAlphaStrips(benchmark::State& state)
{
    const i16 width = static_cast<i16>(state.range(0));
    Run(state, Shape::Canvas, 2,
        [width](OBitmap* d, OBitmap* s, i16 x, i16 y)
        {
            for (i16 left = 0; left < kCanvasW; left = static_cast<i16>(left + width))
            {
                const ORect strip(left, 0, static_cast<i16>(left + width - 1), kCanvasH - 1);
                BlitAlpha(d, s, x, y, &strip);
            }
        });
}

void BM_Memcpy(benchmark::State& state, Shape shape)
{
    Scene s = MakeScene(shape, 0);
    const size_t row = size_t(3 * kCanvasW);
    for (auto _ : state)
    {
        u8* d = s.canvas->GetBits();
        const u8* src = s.image->GetBits();
        for (int y = 0; y < kCanvasH; ++y, d += row, src += row)
            std::memcpy(d, src, row);
        benchmark::DoNotOptimize(s.canvas->GetBits());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * s.pixelsPerIteration);
    FreeScene(s);
}

// pixman's mask is coverage (255 opaque), the inverse of our alpha byte.
void BM_PixmanOver(benchmark::State& state, Shape shape)
{
    Scene s = MakeScene(shape, 2);
    const int w = s.image->width, h = s.image->height;
    std::vector<u8> coverage(size_t(w) * h);
    for (size_t i = 0; i < coverage.size(); ++i)
        coverage[i] = u8(255 - s.image->GetAlpha()[i]);
    pixman_image_t* dst = pixman_image_create_bits(
        PIXMAN_r8g8b8, kCanvasW, kCanvasH, reinterpret_cast<uint32_t*>(s.canvas->GetBits()), 3 * kCanvasW);
    pixman_image_t* src =
        pixman_image_create_bits(PIXMAN_r8g8b8, w, h, reinterpret_cast<uint32_t*>(s.image->GetBits()), 3 * w);
    pixman_image_t* mask =
        pixman_image_create_bits(PIXMAN_a8, w, h, reinterpret_cast<uint32_t*>(coverage.data()), w);
    for (auto _ : state)
    {
        pixman_image_composite32(PIXMAN_OP_OVER, src, mask, dst, 0, 0, 0, 0, 0, 0, kCanvasW, kCanvasH);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * s.pixelsPerIteration);
    pixman_image_unref(mask);
    pixman_image_unref(src);
    pixman_image_unref(dst);
    FreeScene(s);
}

} // namespace

BENCHMARK_CAPTURE(BM_BlitCopy, canvas, Shape::Canvas);
BENCHMARK_CAPTURE(BM_BlitCopy, sprite64, Shape::Sprite64);
BENCHMARK_CAPTURE(BM_BlitAlpha, canvas, Shape::Canvas);
BENCHMARK_CAPTURE(BM_BlitAlpha, sprite64, Shape::Sprite64);
BENCHMARK_CAPTURE(BM_BlitAlphaOpacity, canvas, Shape::Canvas);
BENCHMARK_CAPTURE(BM_BlitAlphaOpacity, sprite64, Shape::Sprite64);
BENCHMARK_CAPTURE(BM_BlitKeyed, canvas, Shape::Canvas);
BENCHMARK_CAPTURE(BM_BlitKeyed, sprite64, Shape::Sprite64);
BENCHMARK_CAPTURE(BM_BlitIndexed, canvas, Shape::Canvas);
BENCHMARK_CAPTURE(BM_BlitIndexed, sprite64, Shape::Sprite64);
BENCHMARK_CAPTURE(BM_BlitAlphaSubpixel, canvas, Shape::Canvas);
BENCHMARK_CAPTURE(BM_BlitAlphaSubpixel, sprite64, Shape::Sprite64);
BENCHMARK(BM_BlitAlphaStrips)->Arg(8)->Arg(16)->Arg(31)->Arg(32)->Arg(48)->Arg(800);
BENCHMARK_CAPTURE(BM_Memcpy, canvas, Shape::Canvas);
BENCHMARK_CAPTURE(BM_PixmanOver, canvas, Shape::Canvas);

BENCHMARK_MAIN();
