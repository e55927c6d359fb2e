#include "GlyphFixture.h"
#include "platform/Backend.h"
#include "platform/HeadlessBackend.h"
#include "render/SceneFixture.h"
#include "text/GChar.h"
#include "text/GTextBlock.h"
#include "window/OWindow.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>
#include <utility>

using namespace texttest;

namespace
{

// Updates until the line leaves `from`, checking after each one that a
// fading glyph is drawn with the line's own fade level, which moves one step
// per update and never wraps. Returns the number of updates.
int RunState(GString& line, u8 from)
{
    int updates = 0;
    for (; line.IsState(from) && updates < 1000; ++updates)
    {
        const i16 before = line.counter;
        line.Update();
        bool fading = false;
        for (i16 i = 0; i < line.used; ++i)
        {
            const GChar* g = line.Glyph(i);
            fading = fading || g->drawMode == 3;
            EXPECT_EQ(g->drawMode == 3 ? g->opacity : line.counter, line.counter) << "glyph " << i;
        }
        const bool stepped = fading && line.IsState(from);
        EXPECT_EQ(stepped ? std::abs(line.counter - before) : line.params[0], line.params[0]);
    }
    return updates;
}

TEST(LineState, DefaultTimingsAndNoWrappedOpacity)
{
    GlyphFont f;
    LinePtr line(GString::Create(6));
    line->SetText("12 3", &f.map);
    line->SetState(0);
    ASSERT_EQ(line->Glyph(0)->GetMode(), 0);

    const GChar* g0 = line->Glyph(0);
    line->SetState(2); // wait, then fade in; blanks are never touched
    EXPECT_EQ(line->IsShown(), 0u);
    EXPECT_EQ(RunState(*line, 2), 6);
    EXPECT_EQ(std::tuple(g0->GetMode(), g0->opacity, line->Glyph(2)->GetMode()), std::tuple(3, 0, 7));
    EXPECT_EQ(RunState(*line, 3), 26);
    EXPECT_EQ(std::tuple(line->IsState(0) != 0, g0->GetMode(), g0->drawMode), std::tuple(true, 0, 6));

    line->SetState(4);
    EXPECT_EQ(RunState(*line, 4), 6);
    EXPECT_EQ(line->Glyph(3)->opacity, 255);
    EXPECT_EQ(RunState(*line, 5), 25);
    EXPECT_EQ(std::tuple(line->IsState(1) != 0, g0->visible), std::tuple(true, 0));

    line->SetState(7);
    EXPECT_EQ(std::tuple(line->IsState(7) != 0, line->IsShown(), g0->GetMode()), std::tuple(true, 1u, 1));
}

TEST(LineState, FlightEndsAtItsBoundsOrWhenFaded)
{
    GlyphFont f;
    LinePtr line(GString::Create(8));
    line->Move(OFixed::FromInt(390), OFixed::FromInt(25));
    line->SetText("HI1234", &f.map);
    line->SetState(0);
    line->SetState(6);
    struct Flight
    {
        int x, y, vx, vy, opacity, end;
    };
    std::vector<Flight> model;
    for (i16 i = 0; i < line->used; ++i)
    {
        const GChar* g = line->Glyph(i);
        EXPECT_TRUE(g->vx >= -10 && g->vx <= 9 && g->vy >= -29 && g->vy <= -10) << g->vx << " " << g->vy;
        EXPECT_EQ(std::tuple(g->flightBounds, g->opacity), std::tuple(ORect(-20, -20, 800, 600), 255));
        model.push_back({g->x.ToInt(), g->y.ToInt(), g->vx, g->vy, 255, -1});
    }
    for (int frame = 1; frame <= 30; ++frame)
    {
        for (Flight& m : model)
        {
            if (m.end >= 0)
                continue;
            m.x += m.vx;
            m.y += m.vy;
            m.vy += 10;
            m.opacity -= 10;
            if (m.x < -20 || m.x > 800 || m.y < -20 || m.y > 600 || m.opacity <= 0)
                m.end = frame;
        }
        line->Update();
        for (i16 i = 0; i < line->used; ++i)
        {
            const GChar* g = line->Glyph(i);
            const Flight& m = model[static_cast<size_t>(i)];
            // Mode, and opacity while still flying.
            EXPECT_EQ(std::pair(int{g->GetMode()}, m.end < 0 ? int{g->opacity} : 0),
                      std::pair(m.end < 0 ? 6 : 1, m.end < 0 ? m.opacity : 0))
                << "glyph " << i << " frame " << frame;
        }
        if (line->used == 0)
            break;
    }
    // Every glyph has ended: the line is empty and hidden.
    EXPECT_EQ(std::tuple(line->used, line->IsState(1) != 0, line->IsShown()), std::tuple(0, true, 0u));
    // Some leave the bounds before they fade out.
    EXPECT_TRUE(std::any_of(model.begin(), model.end(), [](const Flight& m) { return m.end < 26; }));
}

struct TextWindow : OWindow
{
    u32 OnCreate() override { return 1; }
};

// A counter fading in, changing, fading out and flying away in a window on
// the headless backend, redrawn each frame through the dirty rectangles and
// presented rectangle by rectangle, must show what a full repaint of the
// same display list draws.
TEST(LineState, RedrawMatchesAFullRepaintThroughFadeAndFlight)
{
    platform::HeadlessBackend& backend = platform::UseHeadless();
    TextWindow window;
    ASSERT_EQ(window.Create("ZORBLET", "ZORBLET", 800, 600), 1u);
    GlyphFont f;
    std::unique_ptr<GPtrArray> clips(GPtrArray::Create(64));
    std::unique_ptr<ORectList> dirty(ORectList::Create(64));
    OEngine engine;
    engine.Init(&window, f.store.get(), clips.get(), dirty.get());
    scenetest::Scene ref(800, 600);
    ref.engine.imageStore = f.store.get();
    ref.engine.clips = clips.get();
    engine.backgroundMode = ref.engine.backgroundMode = 1;
    engine.backgroundColor = ref.engine.backgroundColor = 0x304050;
    LinePtr line(GString::Create(6));
    line->Attach(&engine);
    line->Move(OFixed::FromInt(400), OFixed::FromInt(80));
    f.map.alignment = 1;
    line->SetNumber(100, &f.map);
    ORect whole(0, 0, 799, 599);
    engine.RedrawDirty(&whole, 1, 0);
    window.PaintRect(whole);
    line->SetState(2);
    int frame = 0;
    auto step = [&]
    {
        line->Update();
        ORect area(0, 0, 799, 599);
        if (engine.RedrawDirty(&area, 0, 0) != 0)
            window.PaintRect(area);
        ref.engine.Draw(0, nullptr);
        ASSERT_EQ(backend.GetWindow(window.GetHWND())->pixels, ref.Pixels()) << "frame " << frame;
        ++frame;
    };
    for (int i = 0; i < 40; ++i)
    {
        if (i % 3 == 0)
            line->SetNumber(100 + i * 37, nullptr);
        step();
    }
    line->SetState(4);
    for (int i = 0; i < 35; ++i)
        step();
    line->SetNumber(-98765, nullptr);
    line->SetState(0);
    step();
    line->SetState(6);
    while (!line->IsState(1))
        step();
    step();
    EXPECT_EQ(line->used, 0);
    line->Detach(&engine);
    ref.engine.clips = nullptr;
}

// The text block places and draws every glyph where a shown line's sprites
// are drawn, for every alignment and direction.
TEST(TextBlock, DrawsWhatTheLinesSpritesDraw)
{
    GlyphFont f;
    std::mt19937 rng(6);
    for (int iter = 0; iter < 60; ++iter)
    {
        scenetest::Scene s(160, 120), block(160, 120);
        s.engine.imageStore = f.store.get();
        f.map.alignment = static_cast<u8>(iter % 6);
        f.map.vertical = iter % 12 >= 6;
        f.map.spacing = static_cast<i8>(rng() % 4);
        f.map.fixedPitch = rng() % 2;
        const char* texts[] = {"12:05", "Ab c", "-7 x", "WAVE  9"};
        const char* text = texts[rng() % 4];
        const OFixed x = OFixed::FromRaw(static_cast<i32>(rng() % (160 * 256)));
        const OFixed y = OFixed::FromRaw(static_cast<i32>(rng() % (120 * 256)));
        LinePtr line(GString::Create(8));
        line->Attach(&s.engine);
        line->Move(x, y);
        line->rect = ORect(20, 20, 140, 100); // kept by alignment 5
        line->SetText(text, &f.map);
        line->SetState(0);
        // Half a pixel away and back, then on by quarters: both keep their
        // place in 24.8 and end one pixel further on either axis.
        const i32 moves[] = {-128, 0, 64, 128, 192, 256};
        for (i32 d : moves)
            line->Move(OFixed::FromRaw(x.raw + d), OFixed::FromRaw(y.raw + d));
        s.engine.Draw(0, nullptr);
        line->Detach(&s.engine);

        GTextBlock t;
        t.Move(x, y);
        t.rect = ORect(20, 20, 140, 100);
        t.SetText(text, &f.map);
        for (i32 d : moves)
            t.Move(OFixed::FromRaw(x.raw + d), OFixed::FromRaw(y.raw + d));
        EXPECT_EQ(t.rect, line->rect);
        EXPECT_EQ(t.extent, line->extent);
        t.Draw(block.canvas, nullptr);
        ASSERT_EQ(block.Pixels(), s.Pixels()) << text << " alignment " << int(f.map.alignment);
    }
}

} // namespace
