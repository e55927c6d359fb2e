// The per-frame cost of a screen: the dirty-rectangle redraw of a scene in
// which few sprites move, beside a full repaint of the same scene by the
// same engine and by SDL's software renderer. Every benchmark counts frames
// as items, so the ratios of items per second compare like with like.
#include "image/OBitmap.h"
#include "image/OBitmapStore.h"
#include "render/GPtrArray.h"
#include "render/OClip.h"
#include "render/OEngine.h"
#include "render/ORectList.h"

#include <SDL.h>
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <random>
#include <vector>

namespace
{

constexpr int kWidth = 800;
constexpr int kHeight = 600;
constexpr int kSprites = 300;
constexpr int kMoving = 10;
constexpr int kSpriteSize = 48;
constexpr int kSpriteImages = 4;

// A disc with a soft rim: opaque inside, transparent outside, blends between,
// so that all three alpha cases of the blend are exercised.
u8 DiscAlpha(int x, int y, int variant)
{
    const int c2 = (kSpriteSize - 1) * (kSpriteSize - 1);
    const int dx = 2 * x - (kSpriteSize - 1);
    const int dy = 2 * y - (kSpriteSize - 1);
    const int d = dx * dx + dy * dy; // (2r)^2
    const int inner = c2 * (60 + 8 * variant) / 100;
    if (d <= inner)
        return 0;
    if (d >= c2)
        return 255;
    return static_cast<u8>(255 * (d - inner) / (c2 - inner));
}

struct SceneData
{
    std::vector<u8> background;             // BGR rows
    std::vector<std::vector<u8>> spriteBgr; // per image
    std::vector<std::vector<u8>> spriteAlpha;
    struct Placement
    {
        int image;
        int x;
        int y;
    };
    std::vector<Placement> start;

    SceneData()
    {
        std::mt19937 rng(2024);
        background.resize(3 * kWidth * kHeight);
        for (int y = 0; y < kHeight; ++y)
        {
            for (int x = 0; x < kWidth; ++x)
            {
                u8* p = &background[3 * (y * kWidth + x)];
                p[0] = static_cast<u8>(x ^ y);
                p[1] = static_cast<u8>(x + 2 * y);
                p[2] = static_cast<u8>(3 * x - y);
            }
        }
        for (int i = 0; i < kSpriteImages; ++i)
        {
            std::vector<u8> bgr(3 * kSpriteSize * kSpriteSize), alpha(kSpriteSize * kSpriteSize);
            for (auto& b : bgr)
                b = static_cast<u8>(rng());
            for (int y = 0; y < kSpriteSize; ++y)
                for (int x = 0; x < kSpriteSize; ++x)
                    alpha[y * kSpriteSize + x] = DiscAlpha(x, y, i);
            spriteBgr.push_back(std::move(bgr));
            spriteAlpha.push_back(std::move(alpha));
        }
        std::uniform_int_distribution<int> px(0, kWidth - kSpriteSize), py(0, kHeight - kSpriteSize);
        for (int i = 0; i < kSprites; ++i)
            start.push_back({i % kSpriteImages, px(rng), py(rng)});
    }
};

const SceneData& Data()
{
    static const SceneData data;
    return data;
}

// The moving sprites bounce inside the canvas, a few pixels per frame.
struct Motion
{
    std::vector<int> x, y, dx, dy;
    Motion()
    {
        const auto& d = Data();
        for (int i = 0; i < kMoving; ++i)
        {
            x.push_back(d.start[i * (kSprites / kMoving)].x);
            y.push_back(d.start[i * (kSprites / kMoving)].y);
            dx.push_back(1 + i % 4);
            dy.push_back(3 - i % 3);
        }
    }
    void Step()
    {
        for (int i = 0; i < kMoving; ++i)
        {
            if (x[i] + dx[i] < 0 || x[i] + dx[i] > kWidth - kSpriteSize)
                dx[i] = -dx[i];
            if (y[i] + dy[i] < 0 || y[i] + dy[i] > kHeight - kSpriteSize)
                dy[i] = -dy[i];
            x[i] += dx[i];
            y[i] += dy[i];
        }
    }
    static int SpriteIndex(int i) { return i * (kSprites / kMoving); }
};

// The engine's scene: image 0 is the background, images 1 to 4 the sprites.
struct EngineScene
{
    OBitmap* canvas;
    OBitmapStore store;
    std::unique_ptr<GPtrArray> clips{GPtrArray::Create(5000)};
    std::unique_ptr<ORectList> dirty{ORectList::Create(5000)};
    std::vector<OClip> sprites{kSprites + 1};
    OEngine engine;
    Motion motion;

    EngineScene()
    {
        const auto& d = Data();
        canvas = CreateBitmap(kWidth, kHeight, 0, 0, nullptr, nullptr);
        store.packImageCount = 1 + kSpriteImages;
        store.images = new OBitmap*[1 + kSpriteImages];
        store.images[0] = CreateBitmap(kWidth, kHeight, 0, 0, nullptr, nullptr);
        std::memcpy(store.images[0]->GetBits(), d.background.data(), d.background.size());
        for (int i = 0; i < kSpriteImages; ++i)
        {
            OBitmap* img = CreateBitmap(kSpriteSize, kSpriteSize, 0, 2, nullptr, nullptr);
            std::memcpy(img->GetBits(), d.spriteBgr[i].data(), d.spriteBgr[i].size());
            std::memcpy(img->GetAlpha(), d.spriteAlpha[i].data(), d.spriteAlpha[i].size());
            store.images[1 + i] = img;
        }
        engine.Init(nullptr, &store, clips.get(), dirty.get());
        engine.SetCanvas(canvas);
        engine.backgroundMode = 0; // the background sprite covers the canvas
        sprites[0].visible = 1;
        engine.AddClip(&sprites[0]);
        for (int i = 0; i < kSprites; ++i)
        {
            OClip& c = sprites[1 + i];
            c.frame = OFixed::FromInt(1 + d.start[i].image);
            c.SetPosition(OFixed::FromInt(d.start[i].x), OFixed::FromInt(d.start[i].y));
            c.visible = 1;
            engine.AddClip(&c);
        }
        ORect all(0, 0, kWidth - 1, kHeight - 1);
        engine.RedrawDirty(&all, 1, 0);
    }
    ~EngineScene()
    {
        clips->Clear();
        DestroyBitmap(canvas);
    }

    void Step()
    {
        motion.Step();
        for (int i = 0; i < kMoving; ++i)
        {
            OClip& c = sprites[1 + Motion::SpriteIndex(i)];
            c.SetPosition(OFixed::FromInt(motion.x[i]), OFixed::FromInt(motion.y[i]));
        }
    }
};

void BM_RedrawDirty(benchmark::State& state)
{
    EngineScene scene;
    ORect area;
    for (auto _ : state)
    {
        scene.Step();
        area = ORect(0, 0, kWidth - 1, kHeight - 1);
        benchmark::DoNotOptimize(scene.engine.RedrawDirty(&area, 0, 0));
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());

    // The redraw must have produced exactly what a full repaint gives.
    std::vector<u8> redrawn(scene.canvas->GetBits(), scene.canvas->GetBits() + 3 * kWidth * kHeight);
    scene.engine.Draw(0, nullptr);
    if (std::memcmp(redrawn.data(), scene.canvas->GetBits(), redrawn.size()) != 0)
        state.SkipWithError("dirty redraw differs from the full repaint");
}

void BM_FullRepaint(benchmark::State& state)
{
    EngineScene scene;
    for (auto _ : state)
    {
        scene.Step();
        scene.engine.Draw(0, nullptr);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());
}

// SDL's software renderer on a 32-bit surface (its fastest blending path),
// redrawing the whole scene from blended textures every frame.
void BM_SdlSoftwareRepaint(benchmark::State& state)
{
    const auto& d = Data();
    SDL_Surface* target = SDL_CreateRGBSurfaceWithFormat(0, kWidth, kHeight, 32, SDL_PIXELFORMAT_RGB888);
    SDL_Renderer* renderer = target != nullptr ? SDL_CreateSoftwareRenderer(target) : nullptr;
    if (renderer == nullptr)
    {
        state.SkipWithError(SDL_GetError());
        if (target != nullptr)
            SDL_FreeSurface(target);
        return;
    }
    SDL_Texture* background =
        SDL_CreateTexture(renderer, SDL_PIXELFORMAT_BGR24, SDL_TEXTUREACCESS_STATIC, kWidth, kHeight);
    SDL_UpdateTexture(background, nullptr, d.background.data(), 3 * kWidth);
    std::vector<SDL_Texture*> sprites;
    for (int i = 0; i < kSpriteImages; ++i)
    {
        // Our alpha counts transparency; SDL's counts coverage.
        std::vector<u32> argb(kSpriteSize * kSpriteSize);
        for (int p = 0; p < kSpriteSize * kSpriteSize; ++p)
        {
            const u8* bgr = &d.spriteBgr[i][3 * p];
            argb[p] = static_cast<u32>(255 - d.spriteAlpha[i][p]) << 24 | static_cast<u32>(bgr[2]) << 16 |
                      static_cast<u32>(bgr[1]) << 8 | bgr[0];
        }
        SDL_Texture* t = SDL_CreateTexture(renderer, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STATIC,
                                           kSpriteSize, kSpriteSize);
        SDL_UpdateTexture(t, nullptr, argb.data(), 4 * kSpriteSize);
        SDL_SetTextureBlendMode(t, SDL_BLENDMODE_BLEND);
        sprites.push_back(t);
    }
    std::vector<SDL_Rect> places;
    for (const auto& p : d.start)
        places.push_back({p.x, p.y, kSpriteSize, kSpriteSize});
    Motion motion;
    for (auto _ : state)
    {
        motion.Step();
        for (int i = 0; i < kMoving; ++i)
        {
            places[Motion::SpriteIndex(i)].x = motion.x[i];
            places[Motion::SpriteIndex(i)].y = motion.y[i];
        }
        SDL_RenderCopy(renderer, background, nullptr, nullptr);
        for (int i = 0; i < kSprites; ++i)
            SDL_RenderCopy(renderer, sprites[d.start[i].image], nullptr, &places[i]);
        SDL_RenderPresent(renderer);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());
    for (SDL_Texture* t : sprites)
        SDL_DestroyTexture(t);
    SDL_DestroyTexture(background);
    SDL_DestroyRenderer(renderer);
    SDL_FreeSurface(target);
}

} // namespace

BENCHMARK(BM_RedrawDirty)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FullRepaint)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SdlSoftwareRepaint)->Unit(benchmark::kMicrosecond);
