#pragma once
// A backend without any display, scripted by tests: messages are injected,
// display modes refused on request, presented pixels and message boxes read
// back, and the clock is a fake one that moves only when told to (or by the
// length of each idle wait, so that a frame loop runs in simulated time).
#include "platform/Backend.h"

#include <map>
#include <string>
#include <vector>

namespace platform
{

class HeadlessBackend : public Backend
{
public:
    struct WindowState
    {
        std::string title;
        u32 style = 0;
        i32 x = 0;
        i32 y = 0;
        i32 width = 0;
        i32 height = 0;
        bool visible = false;
        bool minimised = false;
        bool topmost = false;
        // What has been presented, 3 bytes (blue, green, red) per pixel,
        // width by height, starting black.
        std::vector<u8> pixels;
    };
    struct Presented
    {
        WindowId window;
        i32 x, y, width, height;
    };
    struct Box
    {
        WindowId owner;
        std::string text;
        std::string caption;
        u32 flags;
    };
    struct ModeChange
    {
        i32 width, height, bitsPerPixel; // a restore is recorded as 0, 0, 0
        bool accepted;
    };

    // fakeClock false: the clock and the waits are real.
    explicit HeadlessBackend(bool fakeClock = true);

    // --- scripting ---
    // Delivered on the next pump, in order.
    void Inject(const Message& message);
    // Delivered on the first pump at or after the given fake time.
    void InjectAt(u64 timeMs, const Message& message);
    void InjectKey(WindowId window, u32 virtualKey, bool down);
    // Makes the window active (or not) and posts WM_ACTIVATE for it.
    void Activate(WindowId window, bool active);
    void SetKeyToggled(u32 virtualKey, bool on);
    void RefuseDisplayMode(i32 bitsPerPixel) { refusedDepths_.push_back(bitsPerPixel); }
    void SetScreenSize(i32 width, i32 height);
    void SetFailCreateWindow(bool fail) { failCreate_ = fail; }
    void SetClipboardAvailable(bool available) { clipboardAvailable_ = available; }
    void SetMessageBoxResult(i32 result) { boxResult_ = result; }
    // Silences the copy of every message box that goes to stderr.
    void SetEchoMessageBoxes(bool echo) { echoBoxes_ = echo; }

    // --- fake clock ---
    bool HasFakeClock() const { return fakeClock_; }
    // The backend's time in milliseconds (the real clock's without a fake one).
    u64 GetTimeMs() const;
    void SetTimeMs(u64 ms) { fakeNs_ = ms * 1000000; }
    void AdvanceMs(u64 ms) { fakeNs_ += ms * 1000000; }
    void AdvanceNs(u64 ns) { fakeNs_ += ns; }

    // --- read back ---
    const WindowState* GetWindow(WindowId window) const;
    // The presented pixel at (x, y) as 0xRRGGBB; 0 outside the window.
    u32 GetPixel(WindowId window, i32 x, i32 y) const;
    const std::vector<Presented>& GetPresented() const { return presented_; }
    void ClearPresented() { presented_.clear(); }
    const std::vector<Box>& GetMessageBoxes() const { return boxes_; }
    const std::vector<ModeChange>& GetModeChanges() const { return modeChanges_; }
    i32 GetDisplayModeDepth() const { return modeDepth_; } // 0 when the desktop mode is in force
    i32 GetCursorCount() const { return cursorCount_; }
    bool IsCursorClipped() const { return clipped_; }
    Rect GetCursorClip() const { return clip_; }
    const std::string& GetClipboard() const { return clipboard_; }
    bool IsScreenSaverActive() const { return screenSaver_; }
    u32 GetWaitCount() const { return waits_; }

    // --- Backend ---
    const char* GetName() const override { return "headless"; }
    WindowId CreateWindow(const char* title, u32 style, i32 x, i32 y, i32 width, i32 height) override;
    void DestroyWindow(WindowId window) override;
    void SetWindowStyle(WindowId window, u32 style) override;
    void SetWindowCaption(WindowId window, const char* text) override;
    std::string GetWindowCaption(WindowId window) override;
    void SetWindowPos(WindowId window, i32 x, i32 y, i32 width, i32 height, bool topmost) override;
    void ShowWindow(WindowId window, u32 command) override;
    bool GetClientSize(WindowId window, i32* width, i32* height) override;
    WindowId GetActiveWindow() override { return active_; }
    void Present(WindowId window, const PixelBlock& block, i32 x, i32 y, i32 width, i32 height) override;
    void GetScreenSize(i32* width, i32* height) override;
    bool SetDisplayMode(WindowId window, i32 width, i32 height, i32 bitsPerPixel) override;
    void RestoreDisplayMode() override;
    DisplayInfo DescribeDisplay() override
    {
        return {"headless", "headless backend, no display", {}, modeDepth_};
    }
    i32 ShowCursor(bool show) override;
    void ClipCursor(const Rect* rect) override;
    void SetCursorPos(i32 x, i32 y) override;
    void GetCursorPos(i32* x, i32* y) override;
    bool GetClipboardText(std::string* text) override;
    bool SetClipboardText(const std::string& text) override;
    i32 MessageBox(WindowId owner, const char* text, const char* caption, u32 flags) override;
    bool IsKeyToggled(u32 virtualKey) override;
    void SetScreenSaverActive(bool active) override { screenSaver_ = active; }
    void PumpEvents(MessageQueue& queue) override;
    void WaitEvents(u32 timeoutMs) override;
    u64 ClockNs() override;

private:
    struct Timed
    {
        u64 timeMs;
        Message message;
    };
    WindowState* Find(WindowId window);

    bool fakeClock_;
    u64 fakeNs_;
    std::map<WindowId, WindowState> windows_;
    WindowId nextId_ = 1;
    WindowId active_ = 0;
    std::vector<Message> injected_;
    std::vector<Timed> timed_;
    std::vector<Presented> presented_;
    std::vector<Box> boxes_;
    std::vector<ModeChange> modeChanges_;
    std::vector<i32> refusedDepths_;
    std::map<u32, bool> toggled_;
    i32 desktopWidth_ = 1920;
    i32 desktopHeight_ = 1080;
    i32 screenWidth_ = 1920;
    i32 screenHeight_ = 1080;
    i32 modeDepth_ = 0;
    i32 cursorCount_ = 0;
    bool clipped_ = false;
    Rect clip_{};
    i32 cursorX_ = 0;
    i32 cursorY_ = 0;
    std::string clipboard_;
    bool clipboardAvailable_ = true;
    bool failCreate_ = false;
    i32 boxResult_ = IDOK;
    bool echoBoxes_ = true;
    bool screenSaver_ = true;
    u32 waits_ = 0;
};

} // namespace platform
