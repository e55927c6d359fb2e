// Bitmap text: a counter rewritten and redrawn every frame, and one line of
// the bitmap font blended onto the canvas, beside pixman compositing the
// same coverage masks glyph by glyph.
#include "image/OBitmap.h"
#include "render/SceneFixture.h"
#include "support/CountingNew.h"
#include "support/FontPictureBuilder.h"
#include "text/GFont.h"
#include "text/GlyphFixture.h"

#include <benchmark/benchmark.h>
#include <pixman.h>

#include <cstring>
#include <vector>

namespace
{

// A 10-glyph counter over a full-screen picture, its value changing every
// frame: the line lays out the new digits and the engine repaints only the
// glyphs' rectangles.
void BM_SetNumberEachFrame(benchmark::State& state)
{
    texttest::GlyphFont font;
    std::mt19937 rng(5);
    const i16 backdrop = testsupport::AddRandomImage(font.store.get(), rng, 800, 600, 0);
    scenetest::Scene scene(800, 600);
    scene.engine.imageStore = font.store.get();
    scene.Add(backdrop, 0, 0);
    std::unique_ptr<GString> counter(GString::Create(10));
    counter->Attach(&scene.engine);
    counter->Move(OFixed::FromInt(400), OFixed::FromInt(40));
    font.map.alignment = 1;
    counter->SetNumber(0, &font.map);
    counter->SetState(0);
    ORect whole(0, 0, 799, 599);
    scene.engine.RedrawDirty(&whole, 1, 0);
    int value = 1234567;
    const long before = testsupport::allocationCount.load();
    for (auto _ : state)
    {
        counter->SetNumber(value, nullptr);
        value += 7919;
        ORect area(0, 0, 799, 599);
        benchmark::DoNotOptimize(scene.engine.RedrawDirty(&area, 0, 0));
    }
    const double frames = static_cast<double>(state.iterations());
    state.counters["allocs_per_frame"] =
        static_cast<double>(testsupport::allocationCount.load() - before) / frames;
    state.counters["ns_per_frame"] =
        benchmark::Counter(frames, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    counter->Detach(&scene.engine);
}
BENCHMARK(BM_SetNumberEachFrame);

constexpr u32 kColour = 0x20C040;
constexpr int kX = 20;
constexpr int kY = 100;
constexpr const char* kLine = "The quick brown fox jumps over the lazy dog; 0123456789 %&!?";
static_assert(sizeof("The quick brown fox jumps over the lazy dog; 0123456789 %&!?") == 61);

struct FontLine
{
    OBitmap* picture = nullptr;
    OBitmap* canvas = nullptr;
    GFont* font = nullptr;

    FontLine()
    {
        std::mt19937 rng(16);
        testsupport::FontSpec spec;
        spec.header0 = 13;
        spec.header1 = 3; // a 16-pixel line
        spec.minWidth = 5;
        spec.maxWidth = 12;
        spec.minBearing = 0;
        spec.maxBearing = 1;
        spec.inkPercent = 45;
        picture = testsupport::MakeFontPicture(rng, spec);
        font = new GFont(picture, 5, spec.lastChar);
        canvas = CreateBitmap(800, 600, 0, 0, nullptr, nullptr);
        u8* bits = canvas->GetBits();
        for (int i = 0; i < 3 * 800 * 600; ++i)
            bits[i] = static_cast<u8>(i * 7 + (i >> 11));
    }
    ~FontLine()
    {
        delete font;
        DestroyBitmap(canvas);
        DestroyBitmap(picture);
    }
};

void BM_DrawTextBlend(benchmark::State& state)
{
    FontLine line;
    for (auto _ : state)
    {
        line.font->DrawTextBlend(line.canvas, kX, kY, kLine, kColour, 255, nullptr);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_DrawTextBlend);

// The same glyphs as a8 coverage masks (255 full ink, the font's mask
// inverted), composited OVER the 24-bit canvas with a solid source at the
// places the font's metrics give.
void BM_PixmanGlyphs(benchmark::State& state)
{
    FontLine line;
    const GFont& f = *line.font;
    const int h = f.lineHeight;
    std::vector<std::vector<u32>> storage(256);
    std::vector<pixman_image_t*> masks(256, nullptr);
    const u8* plane = line.picture->GetAlpha();
    for (int code = 33; code <= f.lastChar; ++code)
    {
        const i16* m = f.metrics[code - 32];
        const int w = m[2], stride = (w + 3) & ~3;
        storage[code].assign(static_cast<size_t>(stride) * static_cast<size_t>(h) / 4 + 1, 0);
        u8* bytes = reinterpret_cast<u8*>(storage[code].data());
        for (int r = 0; r < h; ++r)
            for (int j = 0; j < w; ++j)
                bytes[r * stride + j] =
                    static_cast<u8>(255 - plane[(1 + r) * line.picture->width + m[0] - 1 + j]);
        masks[code] = pixman_image_create_bits(PIXMAN_a8, w, h, storage[code].data(), stride);
    }
    pixman_image_t* dst = pixman_image_create_bits(PIXMAN_r8g8b8, 800, 600,
                                                   reinterpret_cast<uint32_t*>(line.canvas->GetBits()), 2400);
    const pixman_color_t colour = {0x2020, 0xC0C0, 0x4040, 0xFFFF};
    pixman_image_t* solid = pixman_image_create_solid_fill(&colour);
    for (auto _ : state)
    {
        int pen = kX;
        for (const char* p = kLine; *p != 0; ++p)
        {
            const u8 code = static_cast<u8>(*p);
            if (code == ' ')
            {
                pen += f.spaceAdvance;
                continue;
            }
            const i16* m = f.metrics[code - 32];
            pen += m[1];
            pixman_image_composite32(PIXMAN_OP_OVER, solid, masks[code], dst, 0, 0, 0, 0, pen, kY, m[2], h);
            pen += m[2] + m[3];
        }
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());
    pixman_image_unref(solid);
    pixman_image_unref(dst);
    for (pixman_image_t* mask : masks)
        if (mask != nullptr)
            pixman_image_unref(mask);
}
BENCHMARK(BM_PixmanGlyphs);

} // namespace

BENCHMARK_MAIN();
