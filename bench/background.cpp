// The level background's reveal: one frame of it (the band written into the
// working copy's plane, the dirty redraw and the presentation of what it
// repainted) beside a full repaint and presentation of the same scene. Both
// count frames as items.
#include "background/GBg.h"

#include "GAME/GPlayerRecords.h"
#include "INTERFACE/GGame.h"
#include "INTERFACE/GGlobal.h"
#include "INTERFACE/GWindow.h"
#include "image/OBitmapStore.h"
#include "platform/Backend.h"
#include "platform/HeadlessBackend.h"
#include "render/GPtrArray.h"
#include "render/ORectList.h"
#include "render/SceneFixture.h"
#include "support/BitmapStoreBuilder.h"
#include "window/OWindow.h"

#include <benchmark/benchmark.h>

#include <memory>

namespace
{

class BenchWindow : public OWindow
{
public:
    u32 OnCreate() override { return 1; }
};

// Two level pictures, two mask layers and a hundred blended sprites over a
// headless 800 x 600 window.
struct RevealScene
{
    std::mt19937 rng{7};
    std::unique_ptr<OBitmapStore> store{testsupport::MakeStore(4, 16)};
    BenchWindow window;
    GWindow owner;
    GGlobal global{&owner};
    std::unique_ptr<GPtrArray> clips{GPtrArray::Create(512)};
    std::unique_ptr<ORectList> dirty{ORectList::Create(512)};
    OEngine engine;
    std::unique_ptr<GBg> bg;
    std::vector<OClip> sprites{100};
    u16 level = 0;

    RevealScene()
    {
        platform::UseHeadless().SetEchoMessageBoxes(false);
        window.Create("ZORBLET", "ZORBLET", 800, 600);
        store->images[0] = scenetest::RandomImage(rng, 800, 600, 0);
        store->images[0]->SetName("BG_LEVEL");
        store->images[1] = scenetest::RandomImage(rng, 800, 600, 0);
        store->images[2] = scenetest::RandomImage(rng, 120, 80, 2);
        store->images[3] = scenetest::RandomImage(rng, 48, 48, 2);
        owner.SetGame(new GGame);
        global.imageStore = store.get();
        engine.Init(&window, store.get(), clips.get(), dirty.get());
        bg = std::make_unique<GBg>(&global);
        bg->AddLayerByIndex(&engine, 0, 0, -1);
        for (OClip& c : sprites)
        {
            c.frame = OFixed::FromInt(3);
            c.SetPosition(OFixed::FromInt(static_cast<int>(rng() % 760)),
                          OFixed::FromInt(static_cast<int>(rng() % 560)));
            c.visible = 1;
            engine.AddClip(&c);
        }
        bg->AddLayerByIndex(&engine, 100, 400, 2);
        bg->AddLayerByIndex(&engine, 600, 100, 2);
        bg->AddLayerByIndex(&engine, 0, 0, -2);
        bg->Build();
        ORect all(0, 0, 799, 599);
        engine.RedrawDirty(&all, 1, 0);
    }
    ~RevealScene()
    {
        bg->RemoveLayers(&engine);
        clips->Clear();
    }

    // A new level: the reveal starts and its first step lends the plane.
    void StartReveal()
    {
        global.profile->record[GGameSlot::kLevelOffset] = static_cast<u8>(++level);
        bg->Build();
        bg->Compose();
        Frame();
    }
    void Frame()
    {
        ORect area(0, 0, 799, 599);
        if (engine.RedrawDirty(&area, 0, 0))
            window.PaintRect(area);
    }
};

void BM_RevealFrame(benchmark::State& state)
{
    RevealScene scene;
    for (auto _ : state)
    {
        if (scene.bg->revealPhase != 1)
        {
            state.PauseTiming();
            while (scene.bg->revealActive)
            {
                scene.bg->Compose();
                scene.Frame();
            }
            scene.StartReveal();
            state.ResumeTiming();
        }
        scene.bg->Compose();
        scene.Frame();
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_FullRepaint(benchmark::State& state)
{
    RevealScene scene;
    ORect all(0, 0, 799, 599);
    for (auto _ : state)
    {
        scene.engine.Draw(0, nullptr);
        scene.window.PaintRect(all);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());
}

} // namespace

BENCHMARK(BM_RevealFrame)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FullRepaint)->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();
