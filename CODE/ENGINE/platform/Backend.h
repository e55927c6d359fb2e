#pragma once
// The one interface between the engine and the machine's display, input,
// clipboard, dialogs and clock. A backend translates; what to do with a
// message or a refused display mode is decided by the window code.
#include "core/Types.h"
#include "platform/MessageQueue.h"

#include <memory>
#include <string>

namespace platform
{

// A block of 24-bit pixels (blue, green, red), rows top to bottom.
struct PixelBlock
{
    const u8* bits = nullptr;
    u32 pitch = 0;
    i32 width = 0;
    i32 height = 0;
};

// The client size a window gets when it is made with CW_USEDEFAULT as its
// width or height.
inline constexpr i32 kDefaultWindowWidth = 640;
inline constexpr i32 kDefaultWindowHeight = 480;

struct DisplayInfo
{
    std::string driver;
    std::string display;
    std::string release;
    i32 bitsPerPixel = 0;
};

class Backend
{
public:
    virtual ~Backend() = default;
    virtual const char* GetName() const = 0;

    // Windows. Sizes are client sizes: the backend draws no frame of its own
    // that the engine would have to account for. A new window is hidden; a
    // width or height of CW_USEDEFAULT gives the default size.
    virtual WindowId CreateWindow(const char* title, u32 style, i32 x, i32 y, i32 width, i32 height) = 0;
    virtual void DestroyWindow(WindowId window) = 0;
    virtual void SetWindowStyle(WindowId window, u32 style) = 0;
    virtual void SetWindowCaption(WindowId window, const char* text) = 0;
    virtual std::string GetWindowCaption(WindowId window) = 0;
    // Position in screen coordinates; a width or height of 0 keeps the size.
    virtual void SetWindowPos(WindowId window, i32 x, i32 y, i32 width, i32 height, bool topmost) = 0;
    // SW_* show commands.
    virtual void ShowWindow(WindowId window, u32 command) = 0;
    virtual bool GetClientSize(WindowId window, i32* width, i32* height) = 0;
    virtual WindowId GetActiveWindow() = 0;

    // Copies the rectangle (x, y, width, height) of the block to the same
    // place of the window's client area; parts outside either are left out.
    virtual void Present(WindowId window, const PixelBlock& block, i32 x, i32 y, i32 width, i32 height) = 0;

    // The screen (the display mode in force).
    virtual void GetScreenSize(i32* width, i32* height) = 0;
    // Exclusive display mode for the window; false when the mode is refused.
    virtual bool SetDisplayMode(WindowId window, i32 width, i32 height, i32 bitsPerPixel) = 0;
    virtual void RestoreDisplayMode() = 0;
    // What drives the screen, for the log's report: the video driver, the
    // display's name, the driver's release and the screen's bits per pixel
    // (0 when unknown).
    virtual DisplayInfo DescribeDisplay() { return {GetName(), {}, {}, 0}; }

    // Cursor. ShowCursor raises or lowers the display count and returns it;
    // the cursor is visible while the count is 0 or more. ClipCursor confines
    // it to a rectangle in screen coordinates, or frees it with null.
    virtual i32 ShowCursor(bool show) = 0;
    virtual void ClipCursor(const Rect* rect) = 0;
    virtual void SetCursorPos(i32 x, i32 y) = 0;
    virtual void GetCursorPos(i32* x, i32* y) = 0;

    // Clipboard text; false when the clipboard cannot be used. A clipboard
    // without text gives true and an empty string.
    virtual bool GetClipboardText(std::string* text) = 0;
    virtual bool SetClipboardText(const std::string& text) = 0;

    // A modal message box (MB_* flags); returns the button pressed (IDOK ...).
    virtual i32 MessageBox(WindowId owner, const char* text, const char* caption, u32 flags) = 0;

    // Toggle state of a lock key (VK_NUMLOCK, VK_CAPITAL, VK_SCROLL).
    virtual bool IsKeyToggled(u32 virtualKey) = 0;
    virtual void SetScreenSaverActive(bool active) = 0;

    // Moves native events into the queue as window messages.
    virtual void PumpEvents(MessageQueue& queue) = 0;
    // Blocks until a native event may be waiting or timeoutMs passed.
    virtual void WaitEvents(u32 timeoutMs) = 0;

    // Monotonic time in nanoseconds from an arbitrary origin.
    virtual u64 ClockNs() = 0;
};

// Makes the backend named by ZORBLET_BACKEND ("sdl", the default, or
// "headless") unless one is in use already. SDL opens a real display (X11,
// then Wayland), or exactly the video driver SDL_VIDEODRIVER names (its
// "offscreen" driver runs without a display). False, with the reason in plain
// words, when the name is unknown or no display can be opened.
bool StartBackend(std::string* problem);
// The backend in use; made on first use as StartBackend does, an SDL backend
// that fails every call softly when that cannot start.
Backend& GetBackend();
// Replaces the backend in use (tests make a fresh one per case). Windows of
// the previous backend and the calling thread's queue are forgotten.
void SetBackend(std::unique_ptr<Backend> backend);

class HeadlessBackend;
// Installs a fresh headless backend with a fake clock and returns it.
HeadlessBackend& UseHeadless();

} // namespace platform
