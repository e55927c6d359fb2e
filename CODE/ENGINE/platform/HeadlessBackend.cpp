#include "platform/HeadlessBackend.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>

namespace platform
{

namespace
{

u64 RealNs()
{
    return static_cast<u64>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                std::chrono::steady_clock::now().time_since_epoch())
                                .count());
}

} // namespace

// The fake clock starts well past zero so that differences taken by callers
// never need a negative start; 10 s is arbitrary.
HeadlessBackend::HeadlessBackend(bool fakeClock) : fakeClock_(fakeClock), fakeNs_(10000ull * 1000000ull) {}

u64 HeadlessBackend::GetTimeMs() const
{
    return (fakeClock_ ? fakeNs_ : RealNs()) / 1000000u;
}

void HeadlessBackend::Inject(const Message& message)
{
    injected_.push_back(message);
}

void HeadlessBackend::InjectAt(u64 timeMs, const Message& message)
{
    timed_.push_back(Timed{timeMs, message});
    std::stable_sort(timed_.begin(), timed_.end(),
                     [](const Timed& a, const Timed& b) { return a.timeMs < b.timeMs; });
}

void HeadlessBackend::InjectKey(WindowId window, u32 virtualKey, bool down)
{
    // lParam as the native system builds it: repeat count 1 in the low word,
    // and for a release the previous-state and transition bits (30 and 31).
    LParam lParam = down ? 1 : static_cast<LParam>(0xC0000001u);
    Inject(Message{window, down ? WM_KEYDOWN : WM_KEYUP, virtualKey, lParam});
}

void HeadlessBackend::Activate(WindowId window, bool active)
{
    if (active)
        active_ = window;
    else if (active_ == window)
        active_ = 0;
    Inject(Message{window, WM_ACTIVATE, active ? WA_ACTIVE : WA_INACTIVE, 0});
}

void HeadlessBackend::SetKeyToggled(u32 virtualKey, bool on)
{
    toggled_[virtualKey] = on;
}

void HeadlessBackend::SetScreenSize(i32 width, i32 height)
{
    desktopWidth_ = screenWidth_ = width;
    desktopHeight_ = screenHeight_ = height;
}

HeadlessBackend::WindowState* HeadlessBackend::Find(WindowId window)
{
    auto it = windows_.find(window);
    return it == windows_.end() ? nullptr : &it->second;
}

const HeadlessBackend::WindowState* HeadlessBackend::GetWindow(WindowId window) const
{
    auto it = windows_.find(window);
    return it == windows_.end() ? nullptr : &it->second;
}

u32 HeadlessBackend::GetPixel(WindowId window, i32 x, i32 y) const
{
    const WindowState* w = GetWindow(window);
    if (!w || x < 0 || y < 0 || x >= w->width || y >= w->height)
        return 0;
    const u8* p =
        &w->pixels[(static_cast<size_t>(y) * static_cast<size_t>(w->width) + static_cast<size_t>(x)) * 3];
    return static_cast<u32>(p[0]) | (static_cast<u32>(p[1]) << 8) | (static_cast<u32>(p[2]) << 16);
}

WindowId HeadlessBackend::CreateWindow(const char* title, u32 style, i32 x, i32 y, i32 width, i32 height)
{
    if (width == CW_USEDEFAULT || height == CW_USEDEFAULT)
    {
        width = kDefaultWindowWidth;
        height = kDefaultWindowHeight;
    }
    if (failCreate_ || width < 0 || height < 0 || width > 16384 || height > 16384)
        return 0;
    WindowId id = nextId_++;
    WindowState& w = windows_[id];
    w.title = title ? title : "";
    w.style = style;
    w.x = x == CW_USEDEFAULT ? 0 : x;
    w.y = y == CW_USEDEFAULT ? 0 : y;
    w.width = width;
    w.height = height;
    w.pixels.assign(static_cast<size_t>(width) * static_cast<size_t>(height) * 3, 0);
    return id;
}

void HeadlessBackend::DestroyWindow(WindowId window)
{
    windows_.erase(window);
    if (active_ == window)
        active_ = 0;
}

void HeadlessBackend::SetWindowStyle(WindowId window, u32 style)
{
    if (WindowState* w = Find(window))
        w->style = style;
}

void HeadlessBackend::SetWindowCaption(WindowId window, const char* text)
{
    if (WindowState* w = Find(window))
        w->title = text ? text : "";
}

std::string HeadlessBackend::GetWindowCaption(WindowId window)
{
    WindowState* w = Find(window);
    return w ? w->title : std::string();
}

void HeadlessBackend::SetWindowPos(WindowId window, i32 x, i32 y, i32 width, i32 height, bool topmost)
{
    WindowState* w = Find(window);
    if (!w)
        return;
    w->x = x;
    w->y = y;
    w->topmost = topmost;
    if (width > 0 && height > 0 && width <= 16384 && height <= 16384 &&
        (width != w->width || height != w->height))
    {
        // Keep what was presented where it still fits, as a resized window does.
        std::vector<u8> pixels(static_cast<size_t>(width) * static_cast<size_t>(height) * 3, 0);
        for (i32 row = 0; row < std::min(height, w->height); ++row)
            std::copy_n(&w->pixels[static_cast<size_t>(row) * static_cast<size_t>(w->width) * 3],
                        static_cast<size_t>(std::min(width, w->width)) * 3,
                        &pixels[static_cast<size_t>(row) * static_cast<size_t>(width) * 3]);
        w->pixels.swap(pixels);
        w->width = width;
        w->height = height;
    }
}

void HeadlessBackend::ShowWindow(WindowId window, u32 command)
{
    WindowState* w = Find(window);
    if (!w)
        return;
    switch (command)
    {
    case SW_HIDE:
        w->visible = false;
        if (active_ == window)
            active_ = 0;
        break;
    case SW_MINIMIZE:
    case SW_SHOWMINIMIZED:
        w->visible = true;
        w->minimised = true;
        if (active_ == window)
            active_ = 0;
        break;
    default:
        w->visible = true;
        w->minimised = false;
        active_ = window;
        break;
    }
}

bool HeadlessBackend::GetClientSize(WindowId window, i32* width, i32* height)
{
    WindowState* w = Find(window);
    if (!w)
        return false;
    if (width)
        *width = w->width;
    if (height)
        *height = w->height;
    return true;
}

void HeadlessBackend::Present(WindowId window, const PixelBlock& block, i32 x, i32 y, i32 width, i32 height)
{
    WindowState* w = Find(window);
    if (!w)
        return;
    presented_.push_back(Presented{window, x, y, width, height});
    if (!block.bits)
        return;
    i32 x0 = std::max(x, 0), y0 = std::max(y, 0);
    i32 x1 = std::min({x + width, w->width, block.width});
    i32 y1 = std::min({y + height, w->height, block.height});
    for (i32 row = y0; row < y1; ++row)
    {
        if (x1 <= x0)
            break;
        const u8* src = block.bits + static_cast<size_t>(row) * block.pitch + static_cast<size_t>(x0) * 3;
        u8* dst =
            &w->pixels[(static_cast<size_t>(row) * static_cast<size_t>(w->width) + static_cast<size_t>(x0)) *
                       3];
        std::copy_n(src, static_cast<size_t>(x1 - x0) * 3, dst);
    }
}

void HeadlessBackend::GetScreenSize(i32* width, i32* height)
{
    if (width)
        *width = screenWidth_;
    if (height)
        *height = screenHeight_;
}

bool HeadlessBackend::SetDisplayMode(WindowId, i32 width, i32 height, i32 bitsPerPixel)
{
    bool refused =
        std::find(refusedDepths_.begin(), refusedDepths_.end(), bitsPerPixel) != refusedDepths_.end();
    modeChanges_.push_back(ModeChange{width, height, bitsPerPixel, !refused});
    if (refused)
        return false;
    screenWidth_ = width;
    screenHeight_ = height;
    modeDepth_ = bitsPerPixel;
    return true;
}

void HeadlessBackend::RestoreDisplayMode()
{
    modeChanges_.push_back(ModeChange{0, 0, 0, true});
    screenWidth_ = desktopWidth_;
    screenHeight_ = desktopHeight_;
    modeDepth_ = 0;
}

i32 HeadlessBackend::ShowCursor(bool show)
{
    cursorCount_ += show ? 1 : -1;
    return cursorCount_;
}

void HeadlessBackend::ClipCursor(const Rect* rect)
{
    clipped_ = rect != nullptr;
    clip_ = rect ? *rect : Rect{};
}

void HeadlessBackend::SetCursorPos(i32 x, i32 y)
{
    if (clipped_)
    {
        x = std::clamp(x, clip_.left, std::max(clip_.left, clip_.right - 1));
        y = std::clamp(y, clip_.top, std::max(clip_.top, clip_.bottom - 1));
    }
    cursorX_ = x;
    cursorY_ = y;
}

void HeadlessBackend::GetCursorPos(i32* x, i32* y)
{
    if (x)
        *x = cursorX_;
    if (y)
        *y = cursorY_;
}

bool HeadlessBackend::GetClipboardText(std::string* text)
{
    if (!clipboardAvailable_)
        return false;
    if (text)
        *text = clipboard_;
    return true;
}

bool HeadlessBackend::SetClipboardText(const std::string& text)
{
    if (!clipboardAvailable_)
        return false;
    clipboard_ = text;
    return true;
}

i32 HeadlessBackend::MessageBox(WindowId owner, const char* text, const char* caption, u32 flags)
{
    boxes_.push_back(Box{owner, text ? text : "", caption ? caption : "", flags});
    if (echoBoxes_)
        std::fprintf(stderr, "[%s] %s\n", caption ? caption : "", text ? text : "");
    return boxResult_;
}

bool HeadlessBackend::IsKeyToggled(u32 virtualKey)
{
    auto it = toggled_.find(virtualKey);
    return it != toggled_.end() && it->second;
}

void HeadlessBackend::PumpEvents(MessageQueue& queue)
{
    for (const Message& m : injected_)
        queue.Post(m);
    injected_.clear();
    u64 now = GetTimeMs();
    size_t due = 0;
    while (due < timed_.size() && timed_[due].timeMs <= now)
        queue.Post(timed_[due++].message);
    timed_.erase(timed_.begin(), timed_.begin() + static_cast<std::ptrdiff_t>(due));
}

void HeadlessBackend::WaitEvents(u32 timeoutMs)
{
    ++waits_;
    if (!injected_.empty())
        return;
    if (!fakeClock_)
    {
        std::this_thread::sleep_for(std::chrono::milliseconds(timeoutMs));
        return;
    }
    // Simulated time: the wait ends early when a scripted message falls due.
    u64 end = fakeNs_ + static_cast<u64>(timeoutMs) * 1000000u;
    if (!timed_.empty())
        end = std::min(end, std::max(fakeNs_, timed_.front().timeMs * 1000000u));
    fakeNs_ = end;
}

u64 HeadlessBackend::ClockNs()
{
    return fakeClock_ ? fakeNs_ : RealNs();
}

} // namespace platform
