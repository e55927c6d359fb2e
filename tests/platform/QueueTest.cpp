#include "platform/Backend.h"
#include "platform/Clock.h"
#include "platform/HeadlessBackend.h"
#include "platform/MessageQueue.h"

#include <gtest/gtest.h>

#include <vector>

using namespace platform;

namespace
{

// A window procedure that records what reaches it and lets the default
// procedure handle everything.
struct Recorder
{
    std::vector<Message> seen;
    bool refuseCreate = false;
    bool refuseClose = false;

    static LResult Proc(const Message& m, void* user)
    {
        auto* self = static_cast<Recorder*>(user);
        self->seen.push_back(m);
        if (m.message == WM_CREATE && self->refuseCreate)
            return -1;
        if (m.message == WM_CLOSE && self->refuseClose)
            return 0;
        if (m.message == WM_DESTROY)
            PostQuitMessage(7);
        return DefWindowProc(m);
    }
    std::vector<u32> Codes() const
    {
        std::vector<u32> codes;
        for (const Message& m : seen)
            codes.push_back(m.message);
        return codes;
    }
};

class QueueTest : public ::testing::Test
{
protected:
    void SetUp() override { backend = &UseHeadless(); }
    WindowId Make(Recorder& r, i32 w = 64, i32 h = 48)
    {
        return CreateWindow("T", WS_POPUP, 0, 0, w, h, &Recorder::Proc, &r);
    }
    // Runs the classic loop until the queue is empty; returns the quit code
    // or -1 when no quit came.
    i32 Drain()
    {
        Message m;
        MessageQueue& q = MessageQueue::ForThisThread();
        while (q.Peek(&m, true))
        {
            if (m.message == WM_QUIT)
                return static_cast<i32>(m.wParam);
            DispatchMessage(m);
        }
        return -1;
    }
    HeadlessBackend* backend = nullptr;
};

TEST_F(QueueTest, CreationSendsCreateAndARefusalDestroysTheWindow)
{
    Recorder ok, refused;
    WindowId id = Make(ok);
    ASSERT_NE(id, 0u);
    EXPECT_EQ(ok.Codes(), (std::vector<u32>{WM_CREATE}));
    EXPECT_TRUE(IsWindow(id));

    refused.refuseCreate = true;
    EXPECT_EQ(Make(refused), 0u);
    EXPECT_EQ(backend->GetWindow(id + 1), nullptr);

    backend->SetFailCreateWindow(true);
    Recorder never;
    EXPECT_EQ(Make(never), 0u);
    EXPECT_TRUE(never.seen.empty());
}

TEST_F(QueueTest, PostedMessagesComeFirstThenQuitThenPaint)
{
    Recorder r;
    WindowId id = Make(r);
    InvalidateRect(id, nullptr);
    PostQuitMessage(3);
    PostMessage(id, WM_USER, 1, 0);
    PostMessage(id, WM_USER, 2, 0);

    Message m;
    MessageQueue& q = MessageQueue::ForThisThread();
    ASSERT_TRUE(q.Peek(&m, false));
    EXPECT_EQ(m.wParam, 1u) << "looking does not remove";
    ASSERT_TRUE(q.Peek(&m, true));
    EXPECT_EQ(m.wParam, 1u);
    ASSERT_TRUE(q.Peek(&m, true));
    EXPECT_EQ(m.wParam, 2u);
    ASSERT_TRUE(q.Peek(&m, true));
    EXPECT_EQ(m.message, WM_QUIT);
    EXPECT_EQ(m.wParam, 3u);
    ASSERT_TRUE(q.Peek(&m, true));
    EXPECT_EQ(m.message, WM_PAINT);
    EXPECT_EQ(m.window, id);
    DispatchMessage(m);
    EXPECT_FALSE(q.Peek(&m, true)) << "a dispatched paint validates the area";
}

TEST_F(QueueTest, TakeQuitRemovesOnlyTheQuitRequest)
{
    MessageQueue& q = MessageQueue::ForThisThread();
    i32 code = 0;
    EXPECT_FALSE(q.TakeQuit(&code));
    PostMessage(0, WM_USER, 0, 0);
    PostQuitMessage(42);
    EXPECT_TRUE(q.IsQuitPending());
    EXPECT_TRUE(q.TakeQuit(&code));
    EXPECT_EQ(code, 42);
    EXPECT_FALSE(q.IsQuitPending());
    EXPECT_EQ(q.PendingCount(), 1u);
    // Posting WM_QUIT as a message is the same as asking to quit.
    q.Post(Message{0, WM_QUIT, 5, 0});
    EXPECT_TRUE(q.TakeQuit(&code));
    EXPECT_EQ(code, 5);
}

TEST_F(QueueTest, PaintAreasMergeAndBeginPaintHandsThemOver)
{
    Recorder r;
    WindowId id = Make(r, 100, 80);
    Rect a{10, 10, 20, 20}, b{50, 5, 60, 15}, empty{30, 30, 30, 40};
    InvalidateRect(id, &a);
    InvalidateRect(id, &b);
    InvalidateRect(id, &empty);
    Rect got{};
    ASSERT_TRUE(BeginPaint(id, &got));
    EXPECT_EQ(got.left, 10);
    EXPECT_EQ(got.top, 5);
    EXPECT_EQ(got.right, 60);
    EXPECT_EQ(got.bottom, 20);
    EXPECT_FALSE(BeginPaint(id, &got));

    InvalidateRect(id, nullptr);
    UpdateWindow(id);
    EXPECT_EQ(r.seen.back().message, WM_PAINT) << "UpdateWindow paints at once";
    size_t before = r.seen.size();
    UpdateWindow(id);
    EXPECT_EQ(r.seen.size(), before) << "nothing left to paint";
}

TEST_F(QueueTest, CloseDestroysThroughTheDefaultProcedureAndTheLoopEnds)
{
    Recorder r;
    WindowId id = Make(r);
    backend->Inject(Message{id, WM_CLOSE, 0, 0});
    EXPECT_EQ(Drain(), 7);
    EXPECT_EQ(r.Codes(), (std::vector<u32>{WM_CREATE, WM_CLOSE, WM_DESTROY}));
    EXPECT_FALSE(IsWindow(id));
    EXPECT_EQ(backend->GetWindow(id), nullptr);
}

TEST_F(QueueTest, AltF4AsksToCloseAndARefusalKeepsTheWindow)
{
    Recorder r;
    r.refuseClose = true;
    WindowId id = Make(r);
    const LParam altHeld = LParam{1} << 29;
    backend->Inject(Message{id, WM_SYSKEYDOWN, VK_F1 + 3, altHeld | 1});
    backend->Inject(Message{id, WM_SYSKEYDOWN, VK_F1 + 3, 1}); // F4 without Alt does nothing
    EXPECT_EQ(Drain(), -1);
    EXPECT_EQ(r.Codes(),
              (std::vector<u32>{WM_CREATE, WM_SYSKEYDOWN, WM_SYSCOMMAND, WM_CLOSE, WM_SYSKEYDOWN}));
    EXPECT_TRUE(IsWindow(id));
}

TEST_F(QueueTest, SetTextGoesThroughTheProcedureToTheCaption)
{
    Recorder r;
    WindowId id = Make(r);
    SendSetText(id, "12.50 ms");
    EXPECT_EQ(GetWindowCaption(id), "12.50 ms");
    EXPECT_EQ(r.seen.back().message, WM_SETTEXT);
}

TEST_F(QueueTest, MessagesForADestroyedWindowAreDropped)
{
    Recorder r;
    WindowId id = Make(r);
    PostMessage(id, WM_USER, 0, 0);
    InvalidateRect(id, nullptr);
    DestroyWindow(id);
    PostMessage(id, WM_USER, 1, 0);
    i32 quit = Drain();
    EXPECT_EQ(quit, 7);
    for (const Message& m : r.seen)
        EXPECT_NE(m.message, WM_USER);
    EXPECT_EQ(DispatchMessage(Message{id, WM_USER, 0, 0}), 0);
}

TEST_F(QueueTest, WaitingAdvancesTheFakeClockUnlessInputIsDue)
{
    MessageQueue& q = MessageQueue::ForThisThread();
    u32 start = TimeGetTime();
    EXPECT_FALSE(q.WaitForInput(1));
    EXPECT_EQ(TimeGetTime() - start, 1u);
    EXPECT_FALSE(q.WaitForInput(30));
    EXPECT_EQ(TimeGetTime() - start, 31u);

    // A scripted message 5 ms ahead ends a 30 ms wait after 5 ms.
    backend->InjectAt(backend->GetTimeMs() + 5, Message{0, WM_USER, 0, 0});
    EXPECT_TRUE(q.WaitForInput(30));
    EXPECT_EQ(TimeGetTime() - start, 36u);

    // Injected input is there at once: no time passes.
    backend->Inject(Message{0, WM_USER, 0, 0});
    EXPECT_TRUE(q.WaitForInput(30));
    EXPECT_EQ(TimeGetTime() - start, 36u);
}

TEST_F(QueueTest, MouseParametersCarrySignedSixteenBitCoordinates)
{
    LParam l = MakeMouseLParam(-3, 599);
    EXPECT_EQ(MouseX(l), -3);
    EXPECT_EQ(MouseY(l), 599);
    EXPECT_EQ(LowWord(static_cast<u64>(l)), 0xFFFDu);
    EXPECT_EQ(HighWord(static_cast<u64>(l)), 599u);
    EXPECT_EQ(HighWord(0x00780000u), 120u) << "a wheel notch in wParam's high word";
}

TEST_F(QueueTest, ReplacingTheBackendForgetsOldWindowsAndMessages)
{
    Recorder r;
    WindowId id = Make(r);
    PostMessage(id, WM_USER, 0, 0);
    PostQuitMessage(1);
    UseHeadless();
    EXPECT_FALSE(IsWindow(id));
    Message m;
    EXPECT_FALSE(MessageQueue::ForThisThread().Peek(&m, true));
}

} // namespace
