// Creating the window, the application main and the single-instance entry.
#include "WindowFixture.h"

#include "platform/Clock.h"
#include "platform/files/NamedMutex.h"
#include "support/PlatformFilesTestUtil.h"
#include "window/AppMain.h"
#include "window/OSysBitmap.h"

#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

using namespace platform;

namespace
{

RecordingWindow* made = nullptr;
u32 nextCreateResult = 1;
int factoryCalls = 0;

OWindow* MakeRecording()
{
    ++factoryCalls;
    made = new RecordingWindow();
    made->createResult = nextCreateResult;
    made->frame = [](u16) { made->Close(); };
    return made;
}

OWindow* MakeNothing()
{
    return nullptr;
}

} // namespace

TEST_F(WindowTest, CreateMakesACentredWindowWithItsCanvas)
{
    RecordingWindow& w = Make();
    const HeadlessBackend::WindowState* s = hb->GetWindow(w.GetHWND());
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->title, "ZORBLET");
    EXPECT_EQ(s->style, WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX);
    EXPECT_EQ(s->width, 800);
    EXPECT_EQ(s->height, 600);
    EXPECT_EQ(s->x, (1920 - 800) / 2);
    EXPECT_EQ(s->y, (1080 - 600) / 2);
    EXPECT_EQ(w.GetWidth(), 800);
    EXPECT_STREQ(w.title, "ZORBLET");
    ASSERT_NE(w.backBuffer, nullptr);
    EXPECT_EQ(w.backBuffer->width, 800);
    EXPECT_EQ(w.backBuffer->height, 600);
    ORect r;
    EXPECT_EQ(*w.GetClientRect(&r), ORect(0, 0, 799, 599));

    // An overlong title is cut to the caption buffer.
    RecordingWindow other;
    const std::string longTitle(3000, 't');
    ASSERT_EQ(other.Create(longTitle.c_str(), "ZORBLET", 320, 200), 1u);
    EXPECT_EQ(std::string(other.title), longTitle.substr(0, 1023));
}

// A width or height of 0 asks for the default size, and the canvas follows
// the size the window got.
TEST_F(WindowTest, AZeroSizeGivesTheDefaultSize)
{
    for (const auto& [w, h] : {std::pair<u16, u16>{0, 600}, {800, 0}, {0, 0}})
    {
        RecordingWindow win;
        ASSERT_EQ(win.Create("ZORBLET", "ZORBLET", w, h), 1u);
        const HeadlessBackend::WindowState* s = hb->GetWindow(win.GetHWND());
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(s->width, platform::kDefaultWindowWidth);
        EXPECT_EQ(s->height, platform::kDefaultWindowHeight);
        EXPECT_EQ(win.GetWidth(), platform::kDefaultWindowWidth);
        EXPECT_EQ(win.GetHeight(), platform::kDefaultWindowHeight);
        ASSERT_NE(win.backBuffer, nullptr);
        EXPECT_EQ(win.backBuffer->width, platform::kDefaultWindowWidth);
        EXPECT_EQ(win.backBuffer->height, platform::kDefaultWindowHeight);
    }
}

TEST_F(WindowTest, AFailedCreationIsReportedAndTheObjectDestroyed)
{
    hb->SetFailCreateWindow(true);
    RecordingWindow w;
    EXPECT_EQ(w.Create("ZORBLET", "ZORBLET", 800, 600), 0u);
    ASSERT_EQ(hb->GetMessageBoxes().size(), 1u);
    EXPECT_EQ(hb->GetMessageBoxes()[0].text, "Cannot create window");
    EXPECT_EQ(hb->GetMessageBoxes()[0].caption, "Error");
    EXPECT_EQ(w.Create("ZORBLET", "", 800, 600), 0u);
    EXPECT_EQ(hb->GetMessageBoxes()[1].text, "Cannot register window class");

    EXPECT_EQ(AppMain(&MakeRecording), 1);
    EXPECT_EQ(hb->GetMessageBoxes().back().text, "Cannot initialize the application! Please reinstall.");
    EXPECT_EQ(hb->GetMessageBoxes().back().caption, "Alert");

    EXPECT_EQ(AppMain(&MakeNothing), 2);
    EXPECT_EQ(hb->GetMessageBoxes().back().text,
              "Not enough memory!! Close some application then try again!");
}

TEST_F(WindowTest, OnCreateRefusingEndsBeforeAnyFrameAndWindowIsNeverShown)
{
    nextCreateResult = 0;
    EXPECT_EQ(AppMain(&MakeRecording), 1);
    nextCreateResult = 1;
    EXPECT_EQ(hb->GetMessageBoxes().back().text, "Cannot initialize the application! Please reinstall.");
    EXPECT_EQ(hb->GetPresented().size(), 0u);

    RecordingWindow w;
    w.createResult = 0;
    EXPECT_EQ(w.Create("ZORBLET", "ZORBLET", 800, 600), 0u);
    EXPECT_EQ(w.exits, 1);
    EXPECT_TRUE(w.frames.empty());
    EXPECT_FALSE(hb->GetWindow(w.GetHWND())->visible);
}

TEST_F(WindowTest, AppMainShowsRunsAndTearsDown)
{
    EXPECT_EQ(AppMain(&MakeRecording), 0);
    EXPECT_TRUE(hb->GetMessageBoxes().empty());
    // Show presents the whole canvas in one copy before anything else.
    ASSERT_FALSE(hb->GetPresented().empty());
    const HeadlessBackend::Presented& first = hb->GetPresented()[0];
    EXPECT_EQ(first.width, 800);
    EXPECT_EQ(first.height, 600);
    EXPECT_EQ(GetActiveTimerPeriods(), 0);
}

TEST_F(WindowTest, ASecondCopyReturnsAtOnce)
{
    const filetest::TempFolder runtime;
    filetest::EnvGuard env;
    env.Set("XDG_RUNTIME_DIR", runtime.Path().c_str());
    // The entry sets the process's umask; later tests keep their own.
    const mode_t mask = ::umask(022);
    {
        NamedMutex first;
        ASSERT_EQ(first.Create("ZORBLET"), NamedMutex::Result::Created);
        factoryCalls = 0;
        EXPECT_EQ(WinMain(&MakeRecording), 0);
        EXPECT_EQ(factoryCalls, 0);
        EXPECT_TRUE(hb->GetMessageBoxes().empty());
    }
    // With the name free the entry runs the application.
    EXPECT_EQ(WinMain(&MakeRecording), 0);
    EXPECT_EQ(factoryCalls, 1);
    ::umask(mask);
}
