// The engine over the window's canvas, whose pixels are writable only while
// locked, and whose client rectangle self-painting sprites are given.
#include "SceneFixture.h"
#include "window/OSysBitmap.h"
#include "window/OWindow.h"

#include <gtest/gtest.h>

using namespace scenetest;

namespace
{

struct WindowScene : ::testing::Test
{
    OWindow window;
    OSysBitmap* canvas = nullptr;
    OBitmapStore store;
    std::unique_ptr<GPtrArray> clips{GPtrArray::Create(16)};
    std::unique_ptr<ORectList> dirty{ORectList::Create(16)};
    OEngine engine;
    std::mt19937 rng{5};

    WindowScene()
    {
        window.width = 40;
        window.height = 30;
        canvas = CreateSysBitmap(40, 30, 24);
        window.backBuffer = canvas; // the window frees it
        store.packImageCount = 1;
        store.images = new OBitmap* [1] { RandomImage(rng, 6, 6, 0) };
        engine.Init(&window, &store, clips.get(), dirty.get());
    }
    ~WindowScene() override { clips->Clear(); }

    u32 Pixel(int x, int y) const
    {
        const u8* p = canvas->dibBits + y * canvas->pitch + 3 * x;
        return static_cast<u32>(p[2]) << 16 | static_cast<u32>(p[1]) << 8 | p[0];
    }
};

TEST_F(WindowScene, InitBindsTheWindowCanvasAndDrawingUnlocksIt)
{
    EXPECT_EQ(engine.canvas, canvas);
    OClip c;
    c.visible = 1;
    c.drawMode = 0;
    c.SetPosition(Px(3), Px(4));
    engine.AddClip(&c);
    engine.backgroundMode = 1;
    engine.backgroundColor = 0x445566;

    engine.Draw(0, nullptr);
    EXPECT_EQ(canvas->GetBits(), nullptr);
    EXPECT_EQ(Pixel(0, 0), 0x445566u);
    const u8* src = store.images[0]->GetBits();
    EXPECT_EQ(Pixel(3, 4), static_cast<u32>(src[2]) << 16 | static_cast<u32>(src[1]) << 8 | src[0]);

    ORect area;
    EXPECT_EQ(engine.RedrawDirty(&area, 0, 0), 1);
    EXPECT_EQ(canvas->GetBits(), nullptr);

    // A frame without changes neither locks nor unlocks: a lock the caller
    // holds survives it.
    canvas->Lock();
    EXPECT_EQ(engine.RedrawDirty(&area, 0, 0), 0);
    EXPECT_NE(canvas->GetBits(), nullptr);
    canvas->Unlock();

    engine.SetCanvas(nullptr);
    EXPECT_EQ(engine.canvas, canvas);
}

TEST_F(WindowScene, SelfPaintingSpriteGetsTheClientRectangle)
{
    PaintingClip p;
    p.drawMode = 15;
    p.visible = 1;
    p.bounds = ORect(1, 1, 2, 2);
    engine.AddClip(&p);
    window.width = 20; // the client area may be smaller than the canvas
    engine.Draw(0, nullptr);
    ASSERT_EQ(p.calls.size(), 1u);
    EXPECT_EQ(p.calls[0], ORect(0, 0, 19, 29));
    EXPECT_EQ(Pixel(1, 1), p.colour);
}

TEST_F(WindowScene, CanvasWithoutPixelsTakesNoDrawing)
{
    OSysBitmap* empty = CreateSysBitmap(40, 30, 7); // a refused depth: no section
    ASSERT_EQ(empty->dibBits, nullptr);
    engine.SetCanvas(empty);
    OClip c;
    c.visible = 1;
    engine.AddClip(&c);
    engine.backgroundMode = 1;
    engine.Draw(0, nullptr);
    ORect r(0, 0, 10, 10);
    engine.DrawClipped(0, &r);
    ORect area;
    EXPECT_EQ(engine.RedrawDirty(&area, 0, 0), 1);
    delete empty;
}

} // namespace
