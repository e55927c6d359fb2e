// How window messages become slot calls: keys, mouse, activation, closing.
#include "WindowFixture.h"

using namespace platform;
using Calls = std::vector<std::string>;

TEST_F(WindowTest, NumLockDropsKeypadDigitPressesButNotTheirReleases)
{
    Make();
    hb->SetKeyToggled(VK_NUMLOCK, true);
    Send(WM_KEYDOWN, VK_NUMPAD0);
    Send(WM_KEYDOWN, VK_NUMPAD9);
    Send(WM_KEYDOWN, VK_NUMPAD9 + 1); // '*' on the keypad is not a digit
    Send(WM_KEYUP, VK_NUMPAD9);
    EXPECT_EQ(Take(), (Calls{"kdown 106 0 0", "kup 105 0 0"}));

    hb->SetKeyToggled(VK_NUMLOCK, false);
    Send(WM_KEYDOWN, VK_NUMPAD5);
    EXPECT_EQ(Take(), (Calls{"kdown 101 0 0"}));
}

TEST_F(WindowTest, ClipboardShortcutsAreRemappedOnPressOnly)
{
    RecordingWindow& w = Make();
    Send(WM_KEYDOWN, VK_CONTROL);
    for (u32 key : {u32('C'), VK_INSERT, u32('V'), u32('X'), u32('Z')})
        Send(WM_KEYDOWN, key);
    Send(WM_KEYUP, 'C');
    EXPECT_EQ(w.ctrlHeld, 1);
    // Ctrl wins over Shift when both are held.
    Send(WM_KEYDOWN, VK_SHIFT);
    Send(WM_KEYDOWN, VK_INSERT);
    Send(WM_KEYUP, VK_CONTROL);
    Send(WM_KEYDOWN, VK_INSERT);
    Send(WM_KEYDOWN, VK_DELETE);
    Send(WM_KEYDOWN, 'C');
    Send(WM_KEYUP, VK_SHIFT);
    Send(WM_KEYDOWN, VK_INSERT);
    EXPECT_EQ(Take(), (Calls{"kdown 17 0 0", "kdown 32768 0 0", "kdown 32768 0 0", "kdown 32769 0 0",
                             "kdown 32770 0 0", "kdown 90 0 0", "kup 67 0 0", "kdown 16 0 0",
                             "kdown 32768 0 0", "kup 17 0 0", "kdown 32769 0 0", "kdown 32770 0 0",
                             "kdown 67 0 0", "kup 16 0 0", "kdown 45 0 0"}));
    EXPECT_EQ(w.ctrlHeld + w.shiftHeld + w.altHeld, 0);
    Send(WM_KEYDOWN, VK_MENU);
    EXPECT_EQ(w.altHeld, 1);
    // Deactivation does not reset the modifiers.
    Send(WM_ACTIVATE, WA_INACTIVE);
    EXPECT_EQ(w.altHeld, 1);
}

TEST_F(WindowTest, LeftPressesOnTheTopRowsAreSwallowedWithTheirRelease)
{
    RecordingWindow& w = Make();
    Mouse(WM_LBUTTONDOWN, 50, 10);
    Mouse(WM_MOUSEMOVE, 51, 12);
    Mouse(WM_LBUTTONUP, 52, 13);
    EXPECT_EQ(Take(), (Calls{"move 51 12 0"}));
    EXPECT_EQ(w.leftUpSwallowed, 0u);

    Mouse(WM_LBUTTONDOWN, 50, 11);
    Mouse(WM_MOUSEMOVE, 60, 70);
    Mouse(WM_LBUTTONUP, 61, 71);
    Mouse(WM_MOUSEMOVE, 62, 72);
    EXPECT_EQ(Take(),
              (Calls{"ldown 50 11 0", "drag 60 70 0", "move 60 70 0", "lup 61 71 0", "move 62 72 0"}));
    EXPECT_EQ(w.clickX, 50);
    EXPECT_EQ(w.clickY, 11);
    // Double clicks are not filtered.
    Mouse(WM_LBUTTONDBLCLK, 3, 4);
    EXPECT_EQ(Take(), (Calls{"ldbl 3 4 0"}));
}

TEST_F(WindowTest, DeadZonesReplaceTheTopRowRule)
{
    RecordingWindow& w = Make();
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(w.AddClickDeadZone(ORect(100, 100, 199, 149)), 1u);
    EXPECT_EQ(w.AddClickDeadZone(ORect(0, 0, 1, 1)), 0u);
    EXPECT_EQ(w.deadZoneCount, 10);

    Mouse(WM_LBUTTONDOWN, 199, 149); // inclusive corner: swallowed
    Mouse(WM_LBUTTONUP, 199, 149);
    Mouse(WM_LBUTTONDOWN, 5, 2); // top rows: allowed while zones exist
    Mouse(WM_LBUTTONUP, 5, 2);
    EXPECT_EQ(Take(), (Calls{"ldown 5 2 0", "lup 5 2 0"}));

    w.ClearClickDeadZones();
    Mouse(WM_LBUTTONDOWN, 5, 2);
    Mouse(WM_LBUTTONDOWN, 150, 120);
    EXPECT_EQ(Take(), (Calls{"ldown 150 120 0"}));
}

TEST_F(WindowTest, OtherButtonsAndTheWheelReachTheirSlots)
{
    Make();
    Mouse(WM_RBUTTONDOWN, 1, 2);
    Mouse(WM_RBUTTONUP, 1, 2);
    Mouse(WM_RBUTTONDBLCLK, 1, 2);
    Mouse(WM_MBUTTONDOWN, 3, 4);
    Mouse(WM_MBUTTONUP, 3, 4);
    Mouse(WM_MBUTTONDBLCLK, 3, 4);
    Mouse(WM_XBUTTONDOWN, 5, 6);
    Mouse(WM_XBUTTONUP, 5, 6);
    Mouse(WM_XBUTTONDBLCLK, 5, 6);
    Send(WM_MOUSEWHEEL, static_cast<WParam>(static_cast<u16>(-120)) << 16, MakeMouseLParam(-7, 8));
    Send(WM_CHAR, 'q');
    EXPECT_EQ(Take(),
              (Calls{"rdown 1 2 0", "rup 1 2 0", "rdbl 1 2 0", "mdown 3 4 0", "mup 3 4 0", "mdbl 3 4 0",
                     "xdown 5 6 0", "xup 5 6 0", "xdbl 5 6 0", "wheel -7 8 -120", "char 113 0 0"}));
}

TEST_F(WindowTest, ActivationFollowsTheLowWordExceptForAMinimisedClick)
{
    RecordingWindow& w = Make();
    Send(WM_ACTIVATE, WA_INACTIVE);
    EXPECT_EQ(w.paused, 1u);
    Rect clip = hb->GetCursorClip();
    EXPECT_EQ(clip.right, 1920);
    EXPECT_EQ(clip.bottom, 1080);
    Send(WM_ACTIVATE, WA_ACTIVE | (1u << 16));
    EXPECT_EQ(w.paused, 0u);
    Send(WM_ACTIVATE, WA_CLICKACTIVE | (1u << 16));
    EXPECT_EQ(w.paused, 1u);
    Send(WM_ACTIVATE, WA_CLICKACTIVE);
    EXPECT_EQ(w.paused, 0u);
    EXPECT_EQ(Take(), (Calls{"deactivate 0 0 0", "activate 0 0 0", "deactivate 0 0 0", "activate 0 0 0"}));
}

TEST_F(WindowTest, SystemCommandsThatWouldDisturbTheGameAreSwallowed)
{
    RecordingWindow& w = Make();
    for (u32 sc : {SC_MAXIMIZE, SC_KEYMENU, SC_MOVE, SC_SCREENSAVE, SC_MONITORPOWER})
        EXPECT_EQ(Send(WM_SYSCOMMAND, sc), 0);
    EXPECT_FALSE(hb->GetWindow(w.GetHWND())->minimised);
    Send(WM_SYSCOMMAND, SC_MINIMIZE);
    EXPECT_TRUE(hb->GetWindow(w.GetHWND())->minimised);
}

TEST_F(WindowTest, CloseIsRefusedWhileCanCloseSaysNo)
{
    RecordingWindow& w = Make();
    w.mayClose = 0;
    w.Close();
    EXPECT_TRUE(IsWindow(w.GetHWND()));
    EXPECT_FALSE(MessageQueue::ForThisThread().IsQuitPending());
    w.mayClose = 1;
    w.Close();
    EXPECT_FALSE(IsWindow(w.GetHWND()));
    i32 code = -1;
    EXPECT_TRUE(MessageQueue::ForThisThread().TakeQuit(&code));
    EXPECT_EQ(code, 0);
}
