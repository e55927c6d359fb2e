// The message loop and frame gate in simulated time.
#include "WindowFixture.h"

#include "platform/Clock.h"

using namespace platform;

namespace
{

// Posts a close request at the given fake time.
void CloseAt(HeadlessBackend* hb, WindowId w, u64 ms)
{
    hb->InjectAt(ms, Message{w, WM_CLOSE, 0, 0});
}

} // namespace

TEST_F(WindowTest, FramesComeAtTheIntervalWithTheirElapsedTime)
{
    RecordingWindow& w = Make();
    w.SetFrameInterval(50);
    const u64 start = hb->GetTimeMs();
    CloseAt(hb, w.GetHWND(), start + 1000);
    EXPECT_EQ(w.Run(), 0);
    ASSERT_GE(w.frames.size(), 18u);
    ASSERT_LE(w.frames.size(), 20u);
    for (u16 ms : w.frames)
    {
        EXPECT_GE(ms, 50);
        EXPECT_LE(ms, 51); // the idle wait is 1 ms
    }
    EXPECT_EQ(w.exits, 1);
    EXPECT_EQ(GetActiveTimerPeriods(), 0);
}

TEST_F(WindowTest, MissedFramesAreNotCaughtUp)
{
    RecordingWindow& w = Make();
    w.SetFrameInterval(50);
    // One slow frame of 300 ms is followed by one frame, not six.
    w.frame = [&](u16)
    {
        if (w.frames.size() == 2)
            hb->AdvanceMs(300);
        if (w.frames.size() == 4)
            w.Close();
    };
    w.Run();
    ASSERT_EQ(w.frames.size(), 4u);
    EXPECT_GE(w.frames[2], 300);
    EXPECT_LE(w.frames[3], 51);
}

TEST_F(WindowTest, NoFramesWhilePausedAndNoBacklogAfterwards)
{
    RecordingWindow& w = Make();
    w.SetFrameInterval(50);
    const u64 t = hb->GetTimeMs();
    hb->InjectAt(t + 120, Message{w.GetHWND(), WM_ACTIVATE, WA_INACTIVE, 0});
    hb->InjectAt(t + 60120, Message{w.GetHWND(), WM_ACTIVATE, WA_ACTIVE, 0});
    hb->InjectAt(t + 60121, Message{w.GetHWND(), WM_CHAR, 'k', 0});
    CloseAt(hb, w.GetHWND(), t + 60300);
    w.frame = [&](u16) { w.Log("frame"); };
    w.Run();
    ASSERT_GE(w.frames.size(), 5u);
    EXPECT_LE(w.frames.size(), 7u);
    for (u16 ms : w.frames)
        EXPECT_LE(ms, 51);
    // Messages are still handled while paused.
    auto it = std::find(w.calls.begin(), w.calls.end(), "char 107 0 0");
    EXPECT_NE(it, w.calls.end());
}

TEST_F(WindowTest, RunReturnsTheQuitCodeAndRefusedClosesKeepItRunning)
{
    RecordingWindow& w = Make();
    w.mayClose = 0;
    const u64 t = hb->GetTimeMs();
    CloseAt(hb, w.GetHWND(), t + 40);
    w.frame = [&](u16)
    {
        if (w.frames.size() == 5)
            PostQuitMessage(0x12345);
    };
    EXPECT_EQ(w.Run(), 0x2345);
    EXPECT_EQ(w.frames.size(), 5u);
    EXPECT_TRUE(IsWindow(w.GetHWND()));
    EXPECT_EQ(w.exits, 1);
}

TEST_F(WindowTest, FrameStatisticsShowTheLastCompletedBatch)
{
    RecordingWindow& w = Make();
    std::vector<std::string> captions;
    // Each frame takes 2 ms of the fake clock.
    w.frame = [&](u16)
    {
        hb->AdvanceMs(2);
        if (w.frames.size() > 1)
            captions.push_back(hb->GetWindowCaption(w.GetHWND()));
        if (w.frames.size() == 13)
            w.Close();
    };
    w.Run();
    ASSERT_EQ(captions.size(), 12u);
    // The caption seen during frame n was set after frame n - 1.
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(captions[static_cast<size_t>(i)], "0.00 ms") << i;
    EXPECT_EQ(captions[10], "2.00 ms");

    // Switched off, the caption is left alone.
    RecordingWindow& q = Make();
    q.SetFrameStats(0);
    q.SetCaption("ZORBLET");
    std::string seen;
    q.frame = [&](u16)
    {
        hb->AdvanceMs(2);
        if (q.frames.size() == 12)
        {
            seen = hb->GetWindowCaption(q.GetHWND());
            q.Close();
        }
    };
    q.Run();
    EXPECT_EQ(seen, "ZORBLET");
}
