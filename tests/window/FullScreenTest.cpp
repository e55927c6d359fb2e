// Switching the display mode, and the clipboard.
#include "WindowFixture.h"

using namespace platform;

namespace
{

std::vector<std::array<i32, 4>> Modes(const HeadlessBackend& hb)
{
    std::vector<std::array<i32, 4>> out;
    for (const auto& m : hb.GetModeChanges())
        out.push_back({m.width, m.height, m.bitsPerPixel, m.accepted ? 1 : 0});
    return out;
}

} // namespace

TEST_F(WindowTest, FullScreenTakesTheDeepestModeOffered)
{
    RecordingWindow& w = Make();
    hb->RefuseDisplayMode(32);
    w.SetFullScreen(1);
    EXPECT_EQ(Modes(*hb), (std::vector<std::array<i32, 4>>{{800, 600, 32, 0}, {800, 600, 24, 1}}));
    EXPECT_EQ(w.fullScreen, 1);
    EXPECT_EQ(w.displayModeBits, 24);
    const HeadlessBackend::WindowState* s = hb->GetWindow(w.GetHWND());
    EXPECT_EQ(s->style, WS_POPUP | WS_MINIMIZEBOX);
    EXPECT_TRUE(s->topmost);
    EXPECT_EQ(s->x + s->y, 0);
    EXPECT_EQ(s->width, 800);
    // The cursor is confined to the whole (new) screen.
    EXPECT_EQ(hb->GetCursorClip().right, 800);

    w.SetFullScreen(1); // already there: nothing happens
    EXPECT_EQ(hb->GetModeChanges().size(), 2u);

    w.SetFullScreen(0);
    EXPECT_EQ(Modes(*hb).back(), (std::array<i32, 4>{0, 0, 0, 1}));
    EXPECT_EQ(w.fullScreen, 0);
    EXPECT_EQ(s->style, WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX);
    EXPECT_FALSE(s->topmost);
    EXPECT_EQ(s->x, 560);
    EXPECT_EQ(s->y, 240);
    w.SetFullScreen(0);
    EXPECT_EQ(hb->GetModeChanges().size(), 3u);
}

TEST_F(WindowTest, RefusedFullScreenKeepsTheCaptionlessWindow)
{
    RecordingWindow& w = Make();
    for (int bits : {32, 24, 16})
        hb->RefuseDisplayMode(bits);
    w.SetFullScreen(1);
    EXPECT_EQ(hb->GetModeChanges().size(), 4u); // three refusals and the restore
    EXPECT_EQ(w.fullScreen, 0);
    EXPECT_EQ(w.displayModeHeld, 0);
    const HeadlessBackend::WindowState* s = hb->GetWindow(w.GetHWND());
    EXPECT_EQ(s->style, WS_POPUP | WS_MINIMIZEBOX);
    EXPECT_EQ(s->x, 560);
    EXPECT_EQ(s->width, 800);
    EXPECT_TRUE(hb->GetMessageBoxes().empty());
}

TEST_F(WindowTest, LosingTheApplicationInFullScreenRestoresTheDesktop)
{
    RecordingWindow& w = Make();
    w.SetFullScreen(1);
    Send(WM_ACTIVATEAPP, 1);
    EXPECT_EQ(hb->GetModeChanges().size(), 1u);
    Send(WM_ACTIVATEAPP, 0);
    EXPECT_EQ(hb->GetDisplayModeDepth(), 0);
    EXPECT_TRUE(hb->GetWindow(w.GetHWND())->minimised);
    EXPECT_EQ(w.fullScreen, 1); // nothing sets the mode again on return
    // A display change while the mode is held is left alone ...
    Send(WM_DISPLAYCHANGE);
    EXPECT_EQ(w.fullScreen, 1);
    // ... and the window leaves the mode when it goes away.
    win.reset();
    EXPECT_EQ(Modes(*hb).back(), (std::array<i32, 4>{0, 0, 0, 1}));
}

TEST_F(WindowTest, DisplayChangeWhileWindowedRecentres)
{
    RecordingWindow& w = Make();
    w.MoveResize(5, 6, 0, 0);
    hb->SetScreenSize(1024, 768);
    Send(WM_DISPLAYCHANGE);
    EXPECT_EQ(hb->GetWindow(w.GetHWND())->x, (1024 - 800) / 2);
    EXPECT_EQ(hb->GetWindow(w.GetHWND())->y, (768 - 600) / 2);
}

TEST_F(WindowTest, ClipboardTextIsBoundedAndTerminated)
{
    RecordingWindow& w = Make();
    char buffer[8];
    EXPECT_EQ(w.GetClipboardText(nullptr, 4), 0);
    EXPECT_EQ(w.GetClipboardText(buffer, 0), 0);
    EXPECT_EQ(w.SetClipboardText(nullptr, 3), 0);

    EXPECT_EQ(w.SetClipboardText("hello world", 0), 11);
    EXPECT_EQ(hb->GetClipboard(), "hello world");
    EXPECT_EQ(w.GetClipboardText(buffer, 7), 7);
    EXPECT_STREQ(buffer, "hello w");
    EXPECT_EQ(w.SetClipboardText("hi", 40), 2); // stops at the text's end
    EXPECT_EQ(w.GetClipboardText(buffer, 7), 2);
    EXPECT_STREQ(buffer, "hi");
    EXPECT_EQ(w.SetClipboardText("abcdef", 3), 3);
    EXPECT_EQ(hb->GetClipboard(), "abc");

    hb->SetClipboardAvailable(false);
    EXPECT_EQ(w.GetClipboardText(buffer, 7), 0);
    EXPECT_EQ(w.SetClipboardText("x", 0), 0);
}

TEST_F(WindowTest, CursorFollowsTheStoredFlags)
{
    RecordingWindow& w = Make();
    w.ShowCursor(0, 1);
    EXPECT_EQ(hb->GetCursorCount(), -1);
    Rect c = hb->GetCursorClip();
    EXPECT_EQ((std::array<i32, 4>{c.left, c.top, c.right, c.bottom}),
              (std::array<i32, 4>{560, 240, 1360, 840}));
    w.ShowCursor(1, 0);
    EXPECT_EQ(hb->GetCursorCount(), 0);
    EXPECT_EQ(hb->GetCursorClip().right, 1920);
    EXPECT_EQ(w.SetCursorShape(0), 0u);
    EXPECT_EQ(w.SetCursorShape(-1), 1u);
}
