#pragma once
// A window that records every slot it receives, over a fresh headless backend
// with a fake clock.
#include "platform/Backend.h"
#include "platform/HeadlessBackend.h"
#include "window/OWindow.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

class RecordingWindow : public OWindow
{
public:
    std::vector<std::string> calls;
    u32 createResult = 1;
    u32 mayClose = 1;
    std::function<void(u16)> frame;
    std::vector<u16> frames;
    int exits = 0;

    void Log(const char* name, long a = 0, long b = 0, long c = 0)
    {
        calls.push_back(std::string(name) + " " + std::to_string(a) + " " + std::to_string(b) + " " +
                        std::to_string(c));
    }
    u32 OnCreate() override { return createResult; }
    void OnExit() override { ++exits; }
    void OnFrame(u16 ms) override
    {
        frames.push_back(ms);
        if (frame)
            frame(ms);
    }
    void OnLButtonDown(i16 x, i16 y) override { Log("ldown", x, y); }
    void OnLButtonDblClk(i16 x, i16 y) override { Log("ldbl", x, y); }
    void OnRButtonDblClk(i16 x, i16 y) override { Log("rdbl", x, y); }
    void OnLButtonUp(i16 x, i16 y) override { Log("lup", x, y); }
    void OnMouseDrag(i16 x, i16 y) override { Log("drag", x, y); }
    void OnKeyDown(u32 k) override { Log("kdown", k); }
    void OnKeyUp(u32 k) override { Log("kup", k); }
    void OnChar(u32 c) override { Log("char", c); }
    void OnActivate() override
    {
        Log("activate");
        OWindow::OnActivate();
    }
    void OnDeactivate() override
    {
        Log("deactivate");
        OWindow::OnDeactivate();
    }
    void OnMButtonDown(i16 x, i16 y) override { Log("mdown", x, y); }
    void OnMButtonUp(i16 x, i16 y) override { Log("mup", x, y); }
    void OnMButtonDblClk(i16 x, i16 y) override { Log("mdbl", x, y); }
    void OnXButtonDown(i16 x, i16 y) override { Log("xdown", x, y); }
    void OnXButtonUp(i16 x, i16 y) override { Log("xup", x, y); }
    void OnXButtonDblClk(i16 x, i16 y) override { Log("xdbl", x, y); }
    void OnMouseWheel(i16 x, i16 y, i16 d) override { Log("wheel", x, y, d); }
    void OnMouseMove(i16 x, i16 y) override { Log("move", x, y); }
    void OnRButtonDown(i16 x, i16 y) override { Log("rdown", x, y); }
    void OnRButtonUp(i16 x, i16 y) override { Log("rup", x, y); }
    u32 CanClose() override { return mayClose; }
};

class WindowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        hb = &platform::UseHeadless();
        hb->SetEchoMessageBoxes(false);
    }
    // A created 800 by 600 window.
    RecordingWindow& Make()
    {
        win = std::make_unique<RecordingWindow>();
        EXPECT_EQ(win->Create("ZORBLET", "ZORBLET", 800, 600), 1u);
        return *win;
    }
    platform::LResult Send(u32 message, platform::WParam w = 0, platform::LParam l = 0)
    {
        return platform::SendMessage(win->GetHWND(), message, w, l);
    }
    void Mouse(u32 message, i32 x, i32 y) { Send(message, 0, platform::MakeMouseLParam(x, y)); }
    std::vector<std::string> Take()
    {
        std::vector<std::string> out;
        out.swap(win->calls);
        return out;
    }

    platform::HeadlessBackend* hb = nullptr;
    std::unique_ptr<RecordingWindow> win;
};
