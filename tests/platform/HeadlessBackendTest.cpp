#include "platform/HeadlessBackend.h"

#include <gtest/gtest.h>

#include <vector>

using namespace platform;

namespace
{

class HeadlessBackendTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        backend = &UseHeadless();
        window = backend->CreateWindow("ZORBLET", WS_POPUP | WS_CAPTION, 0, 0, 8, 6);
        ASSERT_NE(window, 0u);
    }
    HeadlessBackend* backend = nullptr;
    WindowId window = 0;
};

TEST_F(HeadlessBackendTest, PresentCopiesTheRectangleAndClipsToBothSides)
{
    // A 10 by 7 block (one spare row, like the canvas) with a 32-byte pitch.
    const u32 pitch = 32;
    std::vector<u8> bits(pitch * 7, 0);
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 10; ++x)
        {
            u8* p = &bits[y * pitch + x * 3];
            p[0] = static_cast<u8>(x);    // blue
            p[1] = static_cast<u8>(y);    // green
            p[2] = static_cast<u8>(0x80); // red
        }
    PixelBlock block{bits.data(), pitch, 10, 7};
    backend->Present(window, block, 2, 1, 3, 2);
    EXPECT_EQ(backend->GetPixel(window, 2, 1), 0x800102u);
    EXPECT_EQ(backend->GetPixel(window, 4, 2), 0x800204u);
    EXPECT_EQ(backend->GetPixel(window, 5, 2), 0u) << "right of the rectangle";
    EXPECT_EQ(backend->GetPixel(window, 2, 3), 0u) << "below the rectangle";

    // Reaching past the window (8 by 6) and above it copies only what lies inside.
    backend->Present(window, block, -2, -2, 20, 20);
    EXPECT_EQ(backend->GetPixel(window, 0, 0), 0x800000u);
    EXPECT_EQ(backend->GetPixel(window, 7, 5), 0x800507u);
    EXPECT_EQ(backend->GetPixel(window, 8, 5), 0u);
    ASSERT_EQ(backend->GetPresented().size(), 2u);
    EXPECT_EQ(backend->GetPresented()[1].width, 20) << "the request is recorded as made";

    // No pixels (a canvas without memory) is recorded but copies nothing.
    backend->Present(window, PixelBlock{}, 0, 0, 8, 6);
    EXPECT_EQ(backend->GetPresented().size(), 3u);
    EXPECT_EQ(backend->GetPixel(window, 0, 0), 0x800000u);
}

TEST_F(HeadlessBackendTest, DisplayModesCanBeRefusedAndRestored)
{
    backend->RefuseDisplayMode(32);
    EXPECT_FALSE(backend->SetDisplayMode(window, 800, 600, 32));
    EXPECT_TRUE(backend->SetDisplayMode(window, 800, 600, 24));
    EXPECT_EQ(backend->GetDisplayModeDepth(), 24);
    i32 w = 0, h = 0;
    backend->GetScreenSize(&w, &h);
    EXPECT_EQ(w, 800);
    EXPECT_EQ(h, 600);
    backend->RestoreDisplayMode();
    backend->GetScreenSize(&w, &h);
    EXPECT_EQ(w, 1920);
    EXPECT_EQ(backend->GetDisplayModeDepth(), 0);
    const auto& changes = backend->GetModeChanges();
    ASSERT_EQ(changes.size(), 3u);
    EXPECT_FALSE(changes[0].accepted);
    EXPECT_EQ(changes[1].bitsPerPixel, 24);
    EXPECT_EQ(changes[2].bitsPerPixel, 0);
}

TEST_F(HeadlessBackendTest, WindowsMoveShowAndResizeKeepingWhatWasPresented)
{
    std::vector<u8> bits(8 * 3 * 6, 0xFF);
    backend->Present(window, PixelBlock{bits.data(), 24, 8, 6}, 0, 0, 8, 6);
    backend->SetWindowPos(window, 100, 50, 10, 4, true);
    const auto* state = backend->GetWindow(window);
    ASSERT_NE(state, nullptr);
    EXPECT_EQ(state->x, 100);
    EXPECT_TRUE(state->topmost);
    EXPECT_EQ(backend->GetPixel(window, 7, 3), 0xFFFFFFu);
    EXPECT_EQ(backend->GetPixel(window, 8, 3), 0u);
    backend->SetWindowPos(window, 0, 0, 0, 0, false);
    EXPECT_EQ(backend->GetWindow(window)->width, 10) << "a zero size keeps the size";

    EXPECT_EQ(backend->GetActiveWindow(), 0u);
    backend->ShowWindow(window, SW_SHOWNORMAL);
    EXPECT_EQ(backend->GetActiveWindow(), window);
    backend->ShowWindow(window, SW_MINIMIZE);
    EXPECT_TRUE(backend->GetWindow(window)->minimised);
    EXPECT_EQ(backend->GetActiveWindow(), 0u);
}

TEST_F(HeadlessBackendTest, ScriptedInputArrivesInOrderAndOnTime)
{
    MessageQueue& q = MessageQueue::ForThisThread();
    backend->InjectKey(window, VK_UP, true);
    backend->InjectKey(window, VK_UP, false);
    backend->InjectAt(backend->GetTimeMs() + 10, Message{window, WM_CLOSE, 0, 0});
    backend->Activate(window, true);
    Message m;
    ASSERT_TRUE(q.Peek(&m, true));
    EXPECT_EQ(m.message, WM_KEYDOWN);
    EXPECT_EQ(m.lParam, 1);
    ASSERT_TRUE(q.Peek(&m, true));
    EXPECT_EQ(m.message, WM_KEYUP);
    EXPECT_EQ(static_cast<u32>(m.lParam) >> 30, 3u)
        << "a release carries the previous-state and transition bits";
    ASSERT_TRUE(q.Peek(&m, true));
    EXPECT_EQ(m.message, WM_ACTIVATE);
    EXPECT_EQ(m.wParam, WA_ACTIVE);
    EXPECT_EQ(backend->GetActiveWindow(), window);
    EXPECT_FALSE(q.Peek(&m, true)) << "the close is not due yet";
    backend->AdvanceMs(10);
    ASSERT_TRUE(q.Peek(&m, true));
    EXPECT_EQ(m.message, WM_CLOSE);
}

TEST_F(HeadlessBackendTest, CursorClipboardAndLockKeysAreScriptable)
{
    EXPECT_EQ(backend->ShowCursor(false), -1);
    EXPECT_EQ(backend->ShowCursor(false), -2);
    EXPECT_EQ(backend->ShowCursor(true), -1);
    Rect clip{10, 10, 20, 20};
    backend->ClipCursor(&clip);
    backend->SetCursorPos(500, 0);
    i32 x = 0, y = 0;
    backend->GetCursorPos(&x, &y);
    EXPECT_EQ(x, 19);
    EXPECT_EQ(y, 10);
    backend->ClipCursor(nullptr);
    EXPECT_FALSE(backend->IsCursorClipped());

    std::string text = "x";
    EXPECT_TRUE(backend->GetClipboardText(&text));
    EXPECT_EQ(text, "");
    EXPECT_TRUE(backend->SetClipboardText("hello"));
    EXPECT_TRUE(backend->GetClipboardText(&text));
    EXPECT_EQ(text, "hello");
    backend->SetClipboardAvailable(false);
    EXPECT_FALSE(backend->GetClipboardText(&text));
    EXPECT_FALSE(backend->SetClipboardText("x"));

    EXPECT_FALSE(backend->IsKeyToggled(VK_NUMLOCK));
    backend->SetKeyToggled(VK_NUMLOCK, true);
    EXPECT_TRUE(backend->IsKeyToggled(VK_NUMLOCK));
    EXPECT_FALSE(backend->IsKeyToggled(VK_CAPITAL));
}

TEST(HeadlessRealClockTest, TheRealClockMovesOnItsOwn)
{
    SetBackend(std::make_unique<HeadlessBackend>(false));
    u64 a = GetBackend().ClockNs();
    GetBackend().WaitEvents(2);
    u64 b = GetBackend().ClockNs();
    EXPECT_GE(b - a, 2000000u);
}

} // namespace
