#pragma once
// Messages, the per-thread message queue and the window procedures they are
// dispatched to. The window code is written against the classic model of a
// desktop window system (post, peek, dispatch, a default procedure, a paint
// message made from an invalid area), so this layer offers exactly that model
// on top of whichever backend is running.
#include "core/PlatformCodes.h"
#include "core/Types.h"

#include <deque>
#include <string>

namespace platform
{

// A window as the backend knows it; 0 is "no window".
using WindowId = u32;
using WParam = u64;
using LParam = i64;
using LResult = i64;

struct Message
{
    WindowId window = 0;
    u32 message = WM_NULL;
    WParam wParam = 0;
    LParam lParam = 0;
};

// A rectangle in the native convention: right and bottom are exclusive.
struct Rect
{
    i32 left = 0;
    i32 top = 0;
    i32 right = 0;
    i32 bottom = 0;
};

// The window procedure; `user` is the pointer given when the window was made.
using WndProc = LResult (*)(const Message& message, void* user);

// lParam of mouse messages: x in the low 16 bits, y in the next 16, both signed.
inline LParam MakeMouseLParam(i32 x, i32 y)
{
    return static_cast<LParam>(static_cast<u32>(static_cast<u16>(x)) |
                               (static_cast<u32>(static_cast<u16>(y)) << 16));
}
inline i16 MouseX(LParam lParam)
{
    return static_cast<i16>(static_cast<u16>(lParam & 0xFFFF));
}
inline i16 MouseY(LParam lParam)
{
    return static_cast<i16>(static_cast<u16>((lParam >> 16) & 0xFFFF));
}
inline u16 LowWord(u64 value)
{
    return static_cast<u16>(value & 0xFFFF);
}
inline u16 HighWord(u64 value)
{
    return static_cast<u16>((value >> 16) & 0xFFFF);
}

// The queue of the calling thread. Posted messages come out first in order,
// then a pending quit, then a paint message for a window with an invalid area,
// which is the order the window code was written for.
class MessageQueue
{
public:
    static MessageQueue& ForThisThread();

    void Post(const Message& message);
    void PostQuit(i32 exitCode);

    // Takes (remove) or looks at the next message; backend events are pumped
    // into the queue first. False when nothing is waiting.
    bool Peek(Message* out, bool remove = true);

    // Removes a pending quit request; true and its exit code when there was one.
    bool TakeQuit(i32* exitCode);
    bool IsQuitPending() const { return quitPending_; }

    // Waits at most timeoutMs for input; true when a message is waiting.
    bool WaitForInput(u32 timeoutMs);

    // The invalid area of a window, merged into one bounding rectangle.
    void Invalidate(WindowId window, const Rect& rect);
    bool TakeInvalid(WindowId window, Rect* out);
    bool HasInvalid(WindowId window) const;
    void ForgetWindow(WindowId window);

    size_t PendingCount() const { return posted_.size(); }
    // Drops everything (tests start each case from an empty queue).
    void Clear();

private:
    struct Invalid
    {
        WindowId window;
        Rect rect;
    };
    bool TakeNext(Message* out, bool remove);

    std::deque<Message> posted_;
    std::deque<Invalid> invalid_;
    bool quitPending_ = false;
    i32 quitCode_ = 0;
};

// --- Windows: creation, procedures and dispatch ---------------------------------

// Creates a window through the backend (client area width by height, hidden)
// and binds its procedure, which receives WM_CREATE before this returns.
// Returns 0 when the backend cannot make the window or WM_CREATE returns -1.
WindowId CreateWindow(const char* title, u32 style, i32 x, i32 y, i32 width, i32 height, WndProc proc,
                      void* user);
// Sends WM_DESTROY to the procedure, then removes the window.
void DestroyWindow(WindowId window);
bool IsWindow(WindowId window);

// Calls the procedure of the message's window; WM_QUIT and messages for no
// window are not dispatched (result 0).
LResult DispatchMessage(const Message& message);
// Calls the window's procedure at once (synchronous send).
LResult SendMessage(WindowId window, u32 message, WParam wParam, LParam lParam);
// The text form of WM_SETTEXT, whose lParam carries the text pointer.
LResult SendSetText(WindowId window, const char* text);
// What the system does with a message the window does not handle: WM_CLOSE
// destroys the window, WM_SETTEXT sets the caption, Alt+F4 (WM_SYSKEYDOWN)
// becomes WM_SYSCOMMAND SC_CLOSE, which becomes WM_CLOSE, SC_MINIMIZE and
// SC_RESTORE minimise or restore; others 0.
LResult DefWindowProc(const Message& message);
// Nothing to translate: characters come from the backend as WM_CHAR already.
inline void TranslateMessage(const Message&) {}

void PostMessage(WindowId window, u32 message, WParam wParam, LParam lParam);
void PostQuitMessage(i32 exitCode);

// Painting: a null rect invalidates the whole client area. UpdateWindow sends
// WM_PAINT at once when the window has an invalid area. BeginPaint hands the
// invalid rectangle over and validates it.
void InvalidateRect(WindowId window, const Rect* rect);
void UpdateWindow(WindowId window);
bool BeginPaint(WindowId window, Rect* paintRect);
inline void EndPaint(WindowId) {}

// The window shown most recently and not deactivated since; 0 when none.
WindowId GetActiveWindow();
std::string GetWindowCaption(WindowId window);

} // namespace platform
