#pragma once
// The backend on SDL2: native events become the window messages the engine
// expects, presentation copies into a streaming texture, and full screen is
// one of SDL's display modes.
#include "platform/Backend.h"

#include <memory>

namespace platform
{

class SdlBackend : public Backend
{
public:
    SdlBackend();
    ~SdlBackend() override;

    // False when SDL's video could not start; every call then fails softly.
    bool IsReady() const;
    // Why SDL's video could not start (drivers tried and their errors);
    // empty when it did.
    std::string GetStartProblem() const;

    const char* GetName() const override { return "sdl"; }
    WindowId CreateWindow(const char* title, u32 style, i32 x, i32 y, i32 width, i32 height) override;
    void DestroyWindow(WindowId window) override;
    void SetWindowStyle(WindowId window, u32 style) override;
    void SetWindowCaption(WindowId window, const char* text) override;
    std::string GetWindowCaption(WindowId window) override;
    void SetWindowPos(WindowId window, i32 x, i32 y, i32 width, i32 height, bool topmost) override;
    void ShowWindow(WindowId window, u32 command) override;
    bool GetClientSize(WindowId window, i32* width, i32* height) override;
    WindowId GetActiveWindow() override;
    void Present(WindowId window, const PixelBlock& block, i32 x, i32 y, i32 width, i32 height) override;
    void GetScreenSize(i32* width, i32* height) override;
    bool SetDisplayMode(WindowId window, i32 width, i32 height, i32 bitsPerPixel) override;
    void RestoreDisplayMode() override;
    DisplayInfo DescribeDisplay() override;
    i32 ShowCursor(bool show) override;
    void ClipCursor(const Rect* rect) override;
    void SetCursorPos(i32 x, i32 y) override;
    void GetCursorPos(i32* x, i32* y) override;
    bool GetClipboardText(std::string* text) override;
    bool SetClipboardText(const std::string& text) override;
    i32 MessageBox(WindowId owner, const char* text, const char* caption, u32 flags) override;
    bool IsKeyToggled(u32 virtualKey) override;
    void SetScreenSaverActive(bool active) override;
    void PumpEvents(MessageQueue& queue) override;
    void WaitEvents(u32 timeoutMs) override;
    u64 ClockNs() override;

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

// The virtual-key code of an SDL key, 0 when it has none. Letters and digits
// follow the layout (the key code), everything else the key's place (the scan
// code); keypad keys are digits with NumLock on and movement keys without.
u32 SdlKeyToVirtualKey(i32 sdlScancode, i32 sdlKeycode, bool numLock);

} // namespace platform
