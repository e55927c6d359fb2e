#include "platform/HeadlessBackend.h"
#include "platform/OMessageBox.h"

#include <gtest/gtest.h>

using namespace platform;

namespace
{

class MessageBoxTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        backend = &UseHeadless();
        backend->SetEchoMessageBoxes(false);
    }
    HeadlessBackend* backend = nullptr;
};

TEST_F(MessageBoxTest, AlertIsAnInformationBoxOwnedByTheActiveWindow)
{
    Alert("Not enough memory!! Close some application then try again!");
    ASSERT_EQ(backend->GetMessageBoxes().size(), 1u);
    const auto& box = backend->GetMessageBoxes()[0];
    EXPECT_EQ(box.caption, "Alert");
    EXPECT_EQ(box.text, "Not enough memory!! Close some application then try again!");
    EXPECT_EQ(box.flags, MB_OK | MB_ICONINFORMATION | MB_TASKMODAL | MB_SETFOREGROUND);
    EXPECT_EQ(box.owner, 0u) << "no active window, no owner";

    WindowId w = backend->CreateWindow("ZORBLET", WS_POPUP, 0, 0, 10, 10);
    backend->ShowWindow(w, SW_SHOWNORMAL);
    ShowMessageBox("Error loading Common Graphics", "Error");
    EXPECT_EQ(backend->GetMessageBoxes()[1].owner, w);
    EXPECT_EQ(backend->GetMessageBoxes()[1].caption, "Error");

    AlertHex(0xBEEF);
    AlertInt(-12);
    EXPECT_EQ(backend->GetMessageBoxes()[2].text, "BEEF");
    EXPECT_EQ(backend->GetMessageBoxes()[3].text, "-12");
}

TEST_F(MessageBoxTest, ABoxRaisedWhileQuittingIsShownAndTheQuitSurvives)
{
    MessageQueue& q = MessageQueue::ForThisThread();
    PostMessage(0, WM_USER, 0, 0);
    PostQuitMessage(9);
    Alert("late");
    EXPECT_EQ(backend->GetMessageBoxes().size(), 1u);
    EXPECT_TRUE(q.IsQuitPending());
    Message m;
    ASSERT_TRUE(q.Peek(&m, true));
    EXPECT_EQ(m.message, WM_USER);
    ASSERT_TRUE(q.Peek(&m, true));
    EXPECT_EQ(m.message, WM_QUIT);
    EXPECT_EQ(m.wParam, 9u);

    // Without a pending quit none is invented.
    Alert("calm");
    EXPECT_FALSE(q.IsQuitPending());
}

TEST(MessageBoxDeathTest, FatalErrorShowsExceptionAndEndsWithCodeZero)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            UseHeadless();
            FatalError("bad thing");
        },
        ::testing::ExitedWithCode(0), "\\[Exception\\] bad thing");
}

} // namespace
