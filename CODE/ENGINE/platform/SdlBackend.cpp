#include "platform/SdlBackend.h"

#include "platform/Termination.h"

#include <SDL2/SDL.h>
#include <SDL2/SDL_syswm.h>
#include <dlfcn.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

namespace platform
{

namespace
{

struct SdlWindow
{
    SDL_Window* window = nullptr;
    u32 style = 0;
    bool fullScreen = false;
};

u64 SteadyNs()
{
    return static_cast<u64>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                std::chrono::steady_clock::now().time_since_epoch())
                                .count());
}

#if defined(SDL_VIDEO_DRIVER_X11)
// X protocol errors arrive asynchronously and, with Xlib's default handler,
// end the process. The one a player can cause from outside is a window
// destroyed by another client, after which every request on it fails; the
// game is told to close instead (below) and the errors are only reported.
int ReportXError(Display*, XErrorEvent* event)
{
    static int reported = 0;
    if (reported < 5)
    {
        ++reported;
        std::fprintf(stderr, "X error %d (request %d) ignored\n", event->error_code, event->request_code);
    }
    return 0;
}

// The connection to the X server is gone (the server ended, or the game's
// client was killed). Xlib's own handler would call exit, whose handlers then
// wait for events on the dead connection for ever; the records are saved
// instead and the process ends at once.
int LoseXDisplay(Display*)
{
    EndAfterDisplayLost();
}

// libX11 is loaded by SDL itself; it is reached at run time so the engine
// does not link it.
void InstallXErrorHandlers()
{
    void* library = dlopen("libX11.so.6", RTLD_NOW | RTLD_NOLOAD);
    if (!library)
        return;
    using Setter = XErrorHandler (*)(XErrorHandler);
    if (auto set = reinterpret_cast<Setter>(dlsym(library, "XSetErrorHandler")))
        set(&ReportXError);
    using IOSetter = XIOErrorHandler (*)(XIOErrorHandler);
    if (auto set = reinterpret_cast<IOSetter>(dlsym(library, "XSetIOErrorHandler")))
        set(&LoseXDisplay);
    dlclose(library);
}
#endif

// Bits 16 to 23 of a key message's lParam carry the scan code, as on the
// system the window code was written for; only their presence matters here.
LParam KeyLParam(const SDL_KeyboardEvent& key, bool down)
{
    LParam lParam = 1 | (static_cast<LParam>(key.keysym.scancode & 0xFF) << 16);
    if (key.keysym.mod & KMOD_ALT)
        lParam |= LParam{1} << 29; // context code: Alt held
    if (down && key.repeat)
        lParam |= KF_REPEAT_BIT;
    if (!down)
        lParam |= LParam{3} << 30; // previous state and transition
    return lParam;
}

WParam MouseKeyFlags(u32 buttons)
{
    WParam flags = 0;
    if (buttons & SDL_BUTTON_LMASK)
        flags |= MK_LBUTTON;
    if (buttons & SDL_BUTTON_RMASK)
        flags |= MK_RBUTTON;
    if (buttons & SDL_BUTTON_MMASK)
        flags |= MK_MBUTTON;
    if (buttons & SDL_BUTTON_X1MASK)
        flags |= MK_XBUTTON1;
    if (buttons & SDL_BUTTON_X2MASK)
        flags |= MK_XBUTTON2;
    SDL_Keymod mod = SDL_GetModState();
    if (mod & KMOD_SHIFT)
        flags |= MK_SHIFT;
    if (mod & KMOD_CTRL)
        flags |= MK_CONTROL;
    return flags;
}

// Each UTF-8 character of typed text as one character message; only those
// that fit the 8-bit character set the game's text uses are passed on.
void PostText(MessageQueue& queue, WindowId window, const char* text)
{
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
    while (*p)
    {
        u32 code = 0;
        int extra = 0;
        if (*p < 0x80)
            code = *p;
        else if ((*p & 0xE0) == 0xC0)
            code = *p & 0x1F, extra = 1;
        else if ((*p & 0xF0) == 0xE0)
            code = *p & 0x0F, extra = 2;
        else if ((*p & 0xF8) == 0xF0)
            code = *p & 0x07, extra = 3;
        else
            code = 0x110000, extra = 0; // stray continuation byte
        ++p;
        for (; extra > 0 && (*p & 0xC0) == 0x80; --extra, ++p)
            code = (code << 6) | (*p & 0x3F);
        if (extra == 0 && code < 0x100)
            queue.Post(Message{window, WM_CHAR, code, 1});
    }
}

struct VideoStart
{
    bool ready = false;
    std::string problem;
};

// Only a display the user can see counts as a start. SDL left to itself
// would go on to its offscreen or dummy drivers when no display answers, and
// the program would run with no window at all; those drivers run only when
// SDL_VIDEODRIVER names them.
VideoStart TryVideoDrivers()
{
    VideoStart start;
    const char* asked = std::getenv("SDL_VIDEODRIVER");
    if (asked && asked[0])
    {
        // SDL reads the variable itself and tries nothing else.
        start.ready = SDL_InitSubSystem(SDL_INIT_VIDEO) == 0;
        if (!start.ready)
            start.problem = std::string("the video driver named by SDL_VIDEODRIVER=\"") + asked +
                            "\" could not be started (" + SDL_GetError() + ")";
        return start;
    }
    struct Candidate
    {
        const char* driver;
        const char* variable;
    };
    const Candidate candidates[] = {{"x11", "DISPLAY"}, {"wayland", "WAYLAND_DISPLAY"}};
    std::string tried;
    for (const Candidate& c : candidates)
    {
        // A display is only tried where its variable names one: a desktop
        // session always sets it, and the libraries complain on their own
        // when made to guess.
        const char* value = std::getenv(c.variable);
        const bool named = value && value[0];
        if (named)
        {
            SDL_SetHint(SDL_HINT_VIDEODRIVER, c.driver);
            if (SDL_InitSubSystem(SDL_INIT_VIDEO) == 0)
            {
                start.ready = true;
                return start;
            }
        }
        // SDL says no more than "<driver> not available"; what the player
        // can act on is the variable that names the display.
        tried += tried.empty() ? "" : ", ";
        tried += std::string(c.driver) + " (" +
                 (named ? std::string("no display answers at ") + c.variable + "=\"" + value + "\""
                        : std::string(c.variable) + " is not set") +
                 ")";
    }
    start.problem = "no display could be opened: " + tried;
    return start;
}

// SDL's video stays up until the process ends: shutting it down unloads the
// display libraries it opened, whose own allocations would then look lost.
// Destroying the windows is what gives the desktop its mode back.
const VideoStart& StartVideo()
{
    static const VideoStart start = []
    {
        // Termination signals are the program's own business (they close
        // the window, as the close box does); SDL must not take them.
        SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
        return TryVideoDrivers();
    }();
    return start;
}

} // namespace

u32 SdlKeyToVirtualKey(i32 sdlScancode, i32 sdlKeycode, bool numLock)
{
    if (sdlKeycode >= SDLK_a && sdlKeycode <= SDLK_z)
        return static_cast<u32>('A' + (sdlKeycode - SDLK_a));
    if (sdlKeycode >= SDLK_0 && sdlKeycode <= SDLK_9)
        return static_cast<u32>('0' + (sdlKeycode - SDLK_0));
    const SDL_Scancode sc = static_cast<SDL_Scancode>(sdlScancode);
    if (sc >= SDL_SCANCODE_A && sc <= SDL_SCANCODE_Z)
        return static_cast<u32>('A' + (sc - SDL_SCANCODE_A));
    if (sc >= SDL_SCANCODE_1 && sc <= SDL_SCANCODE_9)
        return static_cast<u32>('1' + (sc - SDL_SCANCODE_1));
    if (sc >= SDL_SCANCODE_F1 && sc <= SDL_SCANCODE_F12)
        return VK_F1 + static_cast<u32>(sc - SDL_SCANCODE_F1);
    if (sc >= SDL_SCANCODE_F13 && sc <= SDL_SCANCODE_F24)
        return VK_F1 + 12 + static_cast<u32>(sc - SDL_SCANCODE_F13);
    // The keypad in scan-code order 1 to 9, then 0 and the decimal point.
    static const u32 keypadDigits[11] = {VK_NUMPAD1, VK_NUMPAD2, VK_NUMPAD3, VK_NUMPAD4,
                                         VK_NUMPAD5, VK_NUMPAD6, VK_NUMPAD7, VK_NUMPAD8,
                                         VK_NUMPAD9, VK_NUMPAD0, VK_DECIMAL};
    static const u32 keypadMoves[11] = {VK_END,  VK_DOWN, VK_NEXT,  VK_LEFT,   VK_CLEAR, VK_RIGHT,
                                        VK_HOME, VK_UP,   VK_PRIOR, VK_INSERT, VK_DELETE};
    if (sc >= SDL_SCANCODE_KP_1 && sc <= SDL_SCANCODE_KP_PERIOD)
        return (numLock ? keypadDigits : keypadMoves)[sc - SDL_SCANCODE_KP_1];
    switch (sc)
    {
    case SDL_SCANCODE_0:
        return '0';
    case SDL_SCANCODE_RETURN:
    case SDL_SCANCODE_KP_ENTER:
        return VK_RETURN;
    case SDL_SCANCODE_ESCAPE:
        return VK_ESCAPE;
    case SDL_SCANCODE_BACKSPACE:
        return VK_BACK;
    case SDL_SCANCODE_TAB:
        return VK_TAB;
    case SDL_SCANCODE_SPACE:
        return VK_SPACE;
    case SDL_SCANCODE_MINUS:
        return VK_OEM_MINUS;
    case SDL_SCANCODE_EQUALS:
        return VK_OEM_PLUS;
    case SDL_SCANCODE_LEFTBRACKET:
        return VK_OEM_4;
    case SDL_SCANCODE_RIGHTBRACKET:
        return VK_OEM_6;
    case SDL_SCANCODE_BACKSLASH:
        return VK_OEM_5;
    case SDL_SCANCODE_SEMICOLON:
        return VK_OEM_1;
    case SDL_SCANCODE_APOSTROPHE:
        return VK_OEM_7;
    case SDL_SCANCODE_GRAVE:
        return VK_OEM_3;
    case SDL_SCANCODE_COMMA:
        return VK_OEM_COMMA;
    case SDL_SCANCODE_PERIOD:
        return VK_OEM_PERIOD;
    case SDL_SCANCODE_SLASH:
        return VK_OEM_2;
    case SDL_SCANCODE_CAPSLOCK:
        return VK_CAPITAL;
    case SDL_SCANCODE_PRINTSCREEN:
        return VK_SNAPSHOT;
    case SDL_SCANCODE_SCROLLLOCK:
        return VK_SCROLL;
    case SDL_SCANCODE_PAUSE:
        return VK_PAUSE;
    case SDL_SCANCODE_INSERT:
        return VK_INSERT;
    case SDL_SCANCODE_HOME:
        return VK_HOME;
    case SDL_SCANCODE_PAGEUP:
        return VK_PRIOR;
    case SDL_SCANCODE_DELETE:
        return VK_DELETE;
    case SDL_SCANCODE_END:
        return VK_END;
    case SDL_SCANCODE_PAGEDOWN:
        return VK_NEXT;
    case SDL_SCANCODE_RIGHT:
        return VK_RIGHT;
    case SDL_SCANCODE_LEFT:
        return VK_LEFT;
    case SDL_SCANCODE_DOWN:
        return VK_DOWN;
    case SDL_SCANCODE_UP:
        return VK_UP;
    case SDL_SCANCODE_NUMLOCKCLEAR:
        return VK_NUMLOCK;
    case SDL_SCANCODE_KP_DIVIDE:
        return VK_DIVIDE;
    case SDL_SCANCODE_KP_MULTIPLY:
        return VK_MULTIPLY;
    case SDL_SCANCODE_KP_MINUS:
        return VK_SUBTRACT;
    case SDL_SCANCODE_KP_PLUS:
        return VK_ADD;
    case SDL_SCANCODE_CLEAR:
    case SDL_SCANCODE_KP_CLEAR:
        return VK_CLEAR;
    case SDL_SCANCODE_APPLICATION:
        return VK_APPS;
    case SDL_SCANCODE_LCTRL:
    case SDL_SCANCODE_RCTRL:
        return VK_CONTROL;
    case SDL_SCANCODE_LSHIFT:
    case SDL_SCANCODE_RSHIFT:
        return VK_SHIFT;
    case SDL_SCANCODE_LALT:
    case SDL_SCANCODE_RALT:
        return VK_MENU;
    case SDL_SCANCODE_LGUI:
        return VK_LWIN;
    case SDL_SCANCODE_RGUI:
        return VK_RWIN;
    default:
        return 0;
    }
}

struct SdlBackend::Impl
{
    bool ready = false;
    std::map<WindowId, SdlWindow> windows;
    WindowId nextId = 1;
    i32 cursorCount = 0;

    SdlWindow* Find(WindowId id)
    {
        auto it = windows.find(id);
        return it == windows.end() ? nullptr : &it->second;
    }
    WindowId FromSdl(u32 sdlId)
    {
        SDL_Window* w = SDL_GetWindowFromID(sdlId);
        for (auto& [id, win] : windows)
            if (win.window == w)
                return id;
        return 0;
    }
};

SdlBackend::SdlBackend() : impl_(std::make_unique<Impl>())
{
    // The window code decides what losing focus in full screen does, and a
    // closed window is a WM_CLOSE for it to accept or refuse; SDL must not
    // act on its own.
    SDL_SetHint(SDL_HINT_VIDEO_MINIMIZE_ON_FOCUS_LOSS, "0");
    SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
    // The canvas is drawn by the CPU and copied rectangle by rectangle; the
    // window surface takes that copy directly (shared memory on X11), where a
    // GPU texture would add an upload of the whole frame and a GL driver.
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    const VideoStart& video = StartVideo();
    impl_->ready = video.ready;
    if (!impl_->ready)
        return;
#if defined(SDL_VIDEO_DRIVER_X11)
    if (std::strcmp(SDL_GetCurrentVideoDriver(), "x11") == 0)
    {
        InstallXErrorHandlers();
        SDL_EventState(SDL_SYSWMEVENT, SDL_ENABLE);
    }
#endif
}

SdlBackend::~SdlBackend()
{
    for (auto& [id, win] : impl_->windows)
        SDL_DestroyWindow(win.window);
    impl_->windows.clear();
}

bool SdlBackend::IsReady() const
{
    return impl_->ready;
}

std::string SdlBackend::GetStartProblem() const
{
    return impl_->ready ? std::string() : StartVideo().problem;
}

WindowId SdlBackend::CreateWindow(const char* title, u32 style, i32 x, i32 y, i32 width, i32 height)
{
    if (width == CW_USEDEFAULT || height == CW_USEDEFAULT)
    {
        width = kDefaultWindowWidth;
        height = kDefaultWindowHeight;
    }
    if (!impl_->ready || width <= 0 || height <= 0)
        return 0;
    Uint32 flags = SDL_WINDOW_HIDDEN;
    if (!(style & WS_CAPTION))
        flags |= SDL_WINDOW_BORDERLESS;
    int px = x == CW_USEDEFAULT ? static_cast<int>(SDL_WINDOWPOS_UNDEFINED) : x;
    int py = y == CW_USEDEFAULT ? static_cast<int>(SDL_WINDOWPOS_UNDEFINED) : y;
    SDL_Window* window = SDL_CreateWindow(title ? title : "", px, py, width, height, flags);
    if (!window)
        return 0;
    WindowId id = impl_->nextId++;
    impl_->windows[id] = SdlWindow{window, style, false};
    return id;
}

void SdlBackend::DestroyWindow(WindowId window)
{
    if (SdlWindow* w = impl_->Find(window))
    {
        SDL_DestroyWindow(w->window);
        impl_->windows.erase(window);
    }
}

void SdlBackend::SetWindowStyle(WindowId window, u32 style)
{
    if (SdlWindow* w = impl_->Find(window))
    {
        w->style = style;
        SDL_SetWindowBordered(w->window, (style & WS_CAPTION) ? SDL_TRUE : SDL_FALSE);
    }
}

void SdlBackend::SetWindowCaption(WindowId window, const char* text)
{
    if (SdlWindow* w = impl_->Find(window))
        SDL_SetWindowTitle(w->window, text ? text : "");
}

std::string SdlBackend::GetWindowCaption(WindowId window)
{
    SdlWindow* w = impl_->Find(window);
    return w ? std::string(SDL_GetWindowTitle(w->window)) : std::string();
}

void SdlBackend::SetWindowPos(WindowId window, i32 x, i32 y, i32 width, i32 height, bool topmost)
{
    SdlWindow* w = impl_->Find(window);
    if (!w)
        return;
    if (width > 0 && height > 0)
        SDL_SetWindowSize(w->window, width, height);
    SDL_SetWindowPosition(w->window, x, y);
    SDL_SetWindowAlwaysOnTop(w->window, topmost ? SDL_TRUE : SDL_FALSE);
}

void SdlBackend::ShowWindow(WindowId window, u32 command)
{
    SdlWindow* w = impl_->Find(window);
    if (!w)
        return;
    switch (command)
    {
    case SW_HIDE:
        SDL_HideWindow(w->window);
        break;
    case SW_MINIMIZE:
    case SW_SHOWMINIMIZED:
        SDL_MinimizeWindow(w->window);
        break;
    case SW_MAXIMIZE:
        SDL_ShowWindow(w->window);
        SDL_MaximizeWindow(w->window);
        break;
    case SW_RESTORE:
        SDL_ShowWindow(w->window);
        SDL_RestoreWindow(w->window);
        break;
    default:
        SDL_ShowWindow(w->window);
        SDL_RaiseWindow(w->window);
        break;
    }
}

bool SdlBackend::GetClientSize(WindowId window, i32* width, i32* height)
{
    SdlWindow* w = impl_->Find(window);
    if (!w)
        return false;
    int cw = 0, ch = 0;
    SDL_GetWindowSize(w->window, &cw, &ch);
    if (width)
        *width = cw;
    if (height)
        *height = ch;
    return true;
}

WindowId SdlBackend::GetActiveWindow()
{
    SDL_Window* focus = impl_->ready ? SDL_GetKeyboardFocus() : nullptr;
    if (!focus)
        return 0;
    for (auto& [id, win] : impl_->windows)
        if (win.window == focus)
            return id;
    return 0;
}

void SdlBackend::Present(WindowId window, const PixelBlock& block, i32 x, i32 y, i32 width, i32 height)
{
    SdlWindow* w = impl_->Find(window);
    if (!w || !block.bits)
        return;
    SDL_Surface* target = SDL_GetWindowSurface(w->window);
    if (!target)
        return;
    SDL_Rect area{x, y, width, height};
    SDL_Rect bounds{0, 0, std::min(block.width, target->w), std::min(block.height, target->h)};
    SDL_Rect clipped;
    if (!SDL_IntersectRect(&area, &bounds, &clipped))
        return;
    // A view of the caller's pixels, no copy: SDL converts while blitting.
    SDL_Surface* source =
        SDL_CreateRGBSurfaceWithFormatFrom(const_cast<u8*>(block.bits), block.width, block.height, 24,
                                           static_cast<int>(block.pitch), SDL_PIXELFORMAT_BGR24);
    if (!source)
        return;
    SDL_Rect destination = clipped;
    SDL_BlitSurface(source, &clipped, target, &destination);
    SDL_FreeSurface(source);
    SDL_UpdateWindowSurfaceRects(w->window, &clipped, 1);
}

void SdlBackend::GetScreenSize(i32* width, i32* height)
{
    SDL_DisplayMode mode{};
    if (!impl_->ready || SDL_GetCurrentDisplayMode(0, &mode) != 0)
        mode.w = mode.h = 0;
    if (width)
        *width = mode.w;
    if (height)
        *height = mode.h;
}

DisplayInfo SdlBackend::DescribeDisplay()
{
    DisplayInfo info{"sdl", {}, {}, 0};
    SDL_version linked{};
    SDL_GetVersion(&linked);
    info.release = "SDL " + std::to_string(linked.major) + "." + std::to_string(linked.minor) + "." +
                   std::to_string(linked.patch);
    if (!impl_->ready)
        return info;
    info.driver = SDL_GetCurrentVideoDriver();
    const char* display = SDL_GetDisplayName(0);
    info.display = "SDL " + info.driver + " display " + (display ? display : "0");
    SDL_DisplayMode mode{};
    // Counted by the pixel's width in memory, as SetDisplayMode counts: 32
    // for the modes SDL names by their 24 significant bits.
    if (SDL_GetCurrentDisplayMode(0, &mode) == 0)
        info.bitsPerPixel = 8 * static_cast<i32>(SDL_BYTESPERPIXEL(mode.format));
    return info;
}

bool SdlBackend::SetDisplayMode(WindowId window, i32 width, i32 height, i32 bitsPerPixel)
{
    SdlWindow* w = impl_->Find(window);
    if (!w)
        return false;
    int display = SDL_GetWindowDisplayIndex(w->window);
    if (display < 0)
        display = 0;
    // SDL names 32-bit modes by their 24 significant bits; the width of a
    // pixel in memory tells 32 from 24.
    for (int i = 0, n = SDL_GetNumDisplayModes(display); i < n; ++i)
    {
        SDL_DisplayMode mode{};
        if (SDL_GetDisplayMode(display, i, &mode) != 0 || mode.w != width || mode.h != height)
            continue;
        int bytes = SDL_BYTESPERPIXEL(mode.format);
        int bits = static_cast<int>(SDL_BITSPERPIXEL(mode.format));
        bool matches = (bitsPerPixel == 32 && bytes == 4) || (bitsPerPixel == 24 && bytes == 3) ||
                       (bitsPerPixel == 16 && bytes == 2 && bits == 16);
        if (!matches)
            continue;
        if (SDL_SetWindowDisplayMode(w->window, &mode) == 0 &&
            SDL_SetWindowFullscreen(w->window, SDL_WINDOW_FULLSCREEN) == 0)
        {
            w->fullScreen = true;
            return true;
        }
    }
    return false;
}

void SdlBackend::RestoreDisplayMode()
{
    for (auto& [id, win] : impl_->windows)
    {
        if (win.fullScreen)
        {
            SDL_SetWindowFullscreen(win.window, 0);
            win.fullScreen = false;
        }
    }
}

i32 SdlBackend::ShowCursor(bool show)
{
    impl_->cursorCount += show ? 1 : -1;
    if (impl_->ready)
        SDL_ShowCursor(impl_->cursorCount >= 0 ? SDL_ENABLE : SDL_DISABLE);
    return impl_->cursorCount;
}

void SdlBackend::ClipCursor(const Rect* rect)
{
    i32 sw = 0, sh = 0;
    GetScreenSize(&sw, &sh);
    // Confining to the whole screen is no confinement at all.
    bool whole = !rect || (rect->left <= 0 && rect->top <= 0 && rect->right >= sw && rect->bottom >= sh);
    for (auto& [id, win] : impl_->windows)
    {
        if (whole)
        {
            SDL_SetWindowMouseRect(win.window, nullptr);
            continue;
        }
        int wx = 0, wy = 0;
        SDL_GetWindowPosition(win.window, &wx, &wy);
        SDL_Rect area{rect->left - wx, rect->top - wy, rect->right - rect->left, rect->bottom - rect->top};
        SDL_SetWindowMouseRect(win.window, &area);
    }
}

void SdlBackend::SetCursorPos(i32 x, i32 y)
{
    if (impl_->ready)
        SDL_WarpMouseGlobal(x, y);
}

void SdlBackend::GetCursorPos(i32* x, i32* y)
{
    int gx = 0, gy = 0;
    if (impl_->ready)
        SDL_GetGlobalMouseState(&gx, &gy);
    if (x)
        *x = gx;
    if (y)
        *y = gy;
}

bool SdlBackend::GetClipboardText(std::string* text)
{
    if (!impl_->ready)
        return false;
    char* data = SDL_GetClipboardText();
    if (text)
        *text = data ? data : "";
    SDL_free(data);
    return true;
}

bool SdlBackend::SetClipboardText(const std::string& text)
{
    return impl_->ready && SDL_SetClipboardText(text.c_str()) == 0;
}

i32 SdlBackend::MessageBox(WindowId owner, const char* text, const char* caption, u32 flags)
{
    Uint32 kind = SDL_MESSAGEBOX_INFORMATION;
    if ((flags & 0xF0) == MB_ICONERROR)
        kind = SDL_MESSAGEBOX_ERROR;
    else if ((flags & 0xF0) == MB_ICONWARNING)
        kind = SDL_MESSAGEBOX_WARNING;
    SdlWindow* w = impl_->Find(owner);
    // The box is the only way the player learns why the program stops, so
    // when no box can be shown the text still reaches the terminal.
    if (SDL_ShowSimpleMessageBox(kind, caption ? caption : "", text ? text : "", w ? w->window : nullptr) !=
        0)
        std::fprintf(stderr, "[%s] %s\n", caption ? caption : "", text ? text : "");
    return IDOK;
}

bool SdlBackend::IsKeyToggled(u32 virtualKey)
{
    if (!impl_->ready)
        return false;
    SDL_Keymod mod = SDL_GetModState();
    switch (virtualKey)
    {
    case VK_NUMLOCK:
        return (mod & KMOD_NUM) != 0;
    case VK_CAPITAL:
        return (mod & KMOD_CAPS) != 0;
    case VK_SCROLL:
        return (mod & KMOD_SCROLL) != 0;
    default:
        return false;
    }
}

void SdlBackend::SetScreenSaverActive(bool active)
{
    if (!impl_->ready)
        return;
    if (active)
        SDL_EnableScreenSaver();
    else
        SDL_DisableScreenSaver();
}

void SdlBackend::PumpEvents(MessageQueue& queue)
{
    if (!impl_->ready)
        return;
    SDL_Event e;
    while (SDL_PollEvent(&e))
    {
        switch (e.type)
        {
        case SDL_QUIT:
            // A request from outside (a signal, the session ending): every
            // window is asked to close, as if its close box was used.
            for (auto& [id, win] : impl_->windows)
                queue.Post(Message{id, WM_CLOSE, 0, 0});
            break;
#if defined(SDL_VIDEO_DRIVER_X11)
        case SDL_SYSWMEVENT:
        {
            // A window destroyed from outside is a request to close, so the
            // game still ends the way it does when the player closes it.
            const SDL_SysWMmsg* msg = e.syswm.msg;
            if (!msg || msg->subsystem != SDL_SYSWM_X11 || msg->msg.x11.event.type != DestroyNotify)
                break;
            for (auto& [id, win] : impl_->windows)
            {
                SDL_SysWMinfo info;
                SDL_VERSION(&info.version);
                if (SDL_GetWindowWMInfo(win.window, &info) && info.subsystem == SDL_SYSWM_X11 &&
                    info.info.x11.window == msg->msg.x11.event.xdestroywindow.window)
                    queue.Post(Message{id, WM_CLOSE, 0, 0});
            }
            break;
        }
#endif
        case SDL_WINDOWEVENT:
        {
            WindowId id = impl_->FromSdl(e.window.windowID);
            if (!id)
                break;
            switch (e.window.event)
            {
            case SDL_WINDOWEVENT_CLOSE:
                queue.Post(Message{id, WM_CLOSE, 0, 0});
                break;
            case SDL_WINDOWEVENT_FOCUS_GAINED:
                queue.Post(Message{id, WM_ACTIVATEAPP, 1, 0});
                queue.Post(Message{id, WM_ACTIVATE, WA_ACTIVE, 0});
                break;
            case SDL_WINDOWEVENT_FOCUS_LOST:
            {
                bool minimised = (SDL_GetWindowFlags(impl_->Find(id)->window) & SDL_WINDOW_MINIMIZED) != 0;
                queue.Post(Message{id, WM_ACTIVATEAPP, 0, 0});
                queue.Post(Message{id, WM_ACTIVATE, WA_INACTIVE | (minimised ? 0x10000u : 0u), 0});
                break;
            }
            case SDL_WINDOWEVENT_EXPOSED:
            case SDL_WINDOWEVENT_RESTORED:
            case SDL_WINDOWEVENT_SIZE_CHANGED:
            {
                int w = 0, h = 0;
                SDL_GetWindowSize(impl_->Find(id)->window, &w, &h);
                queue.Invalidate(id, Rect{0, 0, w, h});
                break;
            }
            default:
                break;
            }
            break;
        }
        case SDL_KEYDOWN:
        case SDL_KEYUP:
        {
            WindowId id = impl_->FromSdl(e.key.windowID);
            bool down = e.type == SDL_KEYDOWN;
            u32 vk = SdlKeyToVirtualKey(e.key.keysym.scancode, e.key.keysym.sym,
                                        (e.key.keysym.mod & KMOD_NUM) != 0);
            if (!id || !vk)
                break;
            // Keys pressed with Alt (and Alt and F10 themselves) are system
            // keys: the default procedure turns Alt+F4 into a close request.
            // With Ctrl held they are ordinary keys again.
            bool ctrl = (e.key.keysym.mod & KMOD_CTRL) != 0;
            bool alt = (e.key.keysym.mod & KMOD_ALT) != 0;
            bool system = !ctrl && (alt || vk == VK_MENU || vk == VK_F1 + 9);
            u32 message = system ? (down ? WM_SYSKEYDOWN : WM_SYSKEYUP) : (down ? WM_KEYDOWN : WM_KEYUP);
            queue.Post(Message{id, message, vk, KeyLParam(e.key, down)});
            // Control characters arrive through text input on no desktop,
            // so they are made here from the keys that type them.
            if (down && !system)
            {
                if (vk == VK_RETURN || vk == VK_BACK || vk == VK_TAB || vk == VK_ESCAPE)
                    queue.Post(Message{id, WM_CHAR, vk == VK_ESCAPE ? 27u : vk, 1});
                else if ((e.key.keysym.mod & KMOD_CTRL) && vk >= 'A' && vk <= 'Z')
                    queue.Post(Message{id, WM_CHAR, vk - 'A' + 1, 1});
            }
            break;
        }
        case SDL_TEXTINPUT:
        {
            WindowId id = impl_->FromSdl(e.text.windowID);
            if (id)
                PostText(queue, id, e.text.text);
            break;
        }
        case SDL_MOUSEMOTION:
        {
            WindowId id = impl_->FromSdl(e.motion.windowID);
            if (id)
                queue.Post(Message{id, WM_MOUSEMOVE, MouseKeyFlags(e.motion.state),
                                   MakeMouseLParam(e.motion.x, e.motion.y)});
            break;
        }
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP:
        {
            WindowId id = impl_->FromSdl(e.button.windowID);
            if (!id)
                break;
            bool down = e.type == SDL_MOUSEBUTTONDOWN;
            // Every second click of a series is a double click, as with a
            // window class that asks for them.
            bool twice = down && e.button.clicks >= 2 && e.button.clicks % 2 == 0;
            u32 base = 0;
            WParam extra = 0;
            switch (e.button.button)
            {
            case SDL_BUTTON_LEFT:
                base = WM_LBUTTONDOWN;
                break;
            case SDL_BUTTON_RIGHT:
                base = WM_RBUTTONDOWN;
                break;
            case SDL_BUTTON_MIDDLE:
                base = WM_MBUTTONDOWN;
                break;
            case SDL_BUTTON_X1:
                base = WM_XBUTTONDOWN;
                extra = WParam{XBUTTON1} << 16;
                break;
            case SDL_BUTTON_X2:
                base = WM_XBUTTONDOWN;
                extra = WParam{XBUTTON2} << 16;
                break;
            default:
                break;
            }
            if (!base)
                break;
            u32 message = down ? (twice ? base + 2 : base) : base + 1;
            queue.Post(Message{id, message, MouseKeyFlags(SDL_GetMouseState(nullptr, nullptr)) | extra,
                               MakeMouseLParam(e.button.x, e.button.y)});
            break;
        }
        case SDL_MOUSEWHEEL:
        {
            WindowId id = impl_->FromSdl(e.wheel.windowID);
            if (!id)
                break;
            // The wheel message carries screen coordinates.
            int gx = 0, gy = 0;
            SDL_GetGlobalMouseState(&gx, &gy);
            i32 delta = e.wheel.y * WHEEL_DELTA;
            if (e.wheel.direction == SDL_MOUSEWHEEL_FLIPPED)
                delta = -delta;
            WParam wParam = (static_cast<WParam>(static_cast<u16>(static_cast<i16>(delta))) << 16) |
                            MouseKeyFlags(SDL_GetMouseState(nullptr, nullptr));
            queue.Post(Message{id, WM_MOUSEWHEEL, wParam, MakeMouseLParam(gx, gy)});
            break;
        }
        default:
            break;
        }
    }
}

void SdlBackend::WaitEvents(u32 timeoutMs)
{
    if (!impl_->ready)
    {
        SDL_Delay(timeoutMs);
        return;
    }
    SDL_WaitEventTimeout(nullptr, static_cast<int>(timeoutMs));
}

u64 SdlBackend::ClockNs()
{
    return SteadyNs();
}

} // namespace platform
