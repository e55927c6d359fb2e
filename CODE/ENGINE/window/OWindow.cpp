#include "window/OWindow.h"

#include "platform/Backend.h"
#include "platform/Clock.h"
#include "window/OSysBitmap.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

using namespace platform;

namespace
{

constexpr u32 kCaptionedStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr u32 kFullScreenStyle = WS_POPUP | WS_MINIMIZEBOX;
constexpr u32 kClassStyle = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS | CS_SAVEBITS;

} // namespace

OWindow::OWindow() : timer(true) {}

OWindow::~OWindow()
{
    delete backBuffer;
    backBuffer = nullptr;
    // The display is not left in the game's mode when the window goes away.
    if (displayModeHeld)
        GetBackend().RestoreDisplayMode();
    displayModeHeld = 0;
    // Messages sent while the window is torn down go to the default procedure:
    // this object is no longer a window then.
    const WindowId window = hwnd;
    hwnd = 0;
    if (window && IsWindow(window))
        DestroyWindow(window);
}

u32 OWindow::OnCreate()
{
    return 0;
}
void OWindow::OnStart() {}
void OWindow::OnExit() {}
void OWindow::OnFrame(u16) {}
void OWindow::OnLButtonDown(i16, i16) {}
void OWindow::OnLButtonDblClk(i16, i16) {}
void OWindow::OnRButtonDblClk(i16, i16) {}
void OWindow::OnLButtonUp(i16, i16) {}
void OWindow::OnMouseDrag(i16, i16) {}
void OWindow::OnKeyDown(u32) {}
void OWindow::OnKeyUp(u32) {}
void OWindow::OnChar(u32) {}
void OWindow::OnActivate()
{
    paused = 0;
}
void OWindow::OnDeactivate()
{
    paused = 1;
}
void OWindow::OnMButtonDown(i16, i16) {}
void OWindow::OnMButtonUp(i16, i16) {}
void OWindow::OnMButtonDblClk(i16, i16) {}
void OWindow::OnXButtonDown(i16, i16) {}
void OWindow::OnXButtonUp(i16, i16) {}
void OWindow::OnXButtonDblClk(i16, i16) {}
void OWindow::OnMouseWheel(i16, i16, i16) {}
void OWindow::OnMouseMove(i16, i16) {}
void OWindow::OnRButtonDown(i16, i16) {}
void OWindow::OnRButtonUp(i16, i16) {}
u32 OWindow::CanClose()
{
    return 1;
}

u32 OWindow::Create(const char* windowTitle, const char* className, u16 clientWidth, u16 clientHeight)
{
    Backend& backend = GetBackend();
    backgroundBrush = 1;
    instance = 1;
    arrowCursor = 1;

    // The class needs a name; nothing else about it can be refused here.
    if (!className || !*className)
    {
        backend.MessageBox(0, "Cannot register window class", "Error", MB_OK);
        return 0;
    }
    classStyle_ = kClassStyle;

    const i32 w = (clientWidth == 0 || clientHeight == 0) ? CW_USEDEFAULT : clientWidth;
    const i32 h = (clientWidth == 0 || clientHeight == 0) ? CW_USEDEFAULT : clientHeight;
    const WindowId window =
        platform::CreateWindow(windowTitle ? windowTitle : "", kCaptionedStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                               w, h, &OWindow::WindowProc, this);
    if (!window)
    {
        backend.MessageBox(0, "Cannot create window", "Error", MB_OK);
        return 0;
    }

    hwnd = window;
    // Longer titles are cut to the buffer rather than written past it.
    std::snprintf(title, sizeof title, "%s", windowTitle ? windowTitle : "");
    i32 cw = clientWidth;
    i32 ch = clientHeight;
    if (w == CW_USEDEFAULT && backend.GetClientSize(hwnd, &cw, &ch) && cw > 0 && ch > 0 && cw <= 0xFFFF &&
        ch <= 0xFFFF)
    {
        // The window took the default size; the canvas and every later
        // step follow it.
        clientWidth = static_cast<u16>(cw);
        clientHeight = static_cast<u16>(ch);
    }
    if (backend.GetClientSize(hwnd, &cw, &ch))
    {
        frameWidth_ = clientWidth - cw;
        frameHeight_ = clientHeight - ch;
    }
    width = clientWidth;
    height = clientHeight;

    delete backBuffer;
    backBuffer = CreateSysBitmap(width, height, 24);

    if (OnCreate() == 0)
    {
        OnExit();
        return 0;
    }

    u16 sw = 0;
    u16 sh = 0;
    GetScreenSize(sw, sh);
    const i32 outerW = width + frameWidth_;
    const i32 outerH = height + frameHeight_;
    MoveResize(static_cast<i16>((sw - width - frameWidth_) / 2),
               static_cast<i16>((sh - height - frameHeight_) / 2), static_cast<u16>(outerW),
               static_cast<u16>(outerH));
    width = clientWidth;
    height = clientHeight;
    return 1;
}

void OWindow::Show()
{
    PaintRect(ORect(0, 0, static_cast<i16>(width - 1), static_cast<i16>(height - 1)));
    GetBackend().ShowWindow(hwnd, SW_SHOWNORMAL);
    UpdateWindow(hwnd);
}

u16 OWindow::Run()
{
    MessageQueue& queue = MessageQueue::ForThisThread();
    u32 minPeriod = 0;
    u32 maxPeriod = 0;
    periodBegun_ = 0;
    if (TimeGetDevCaps(&minPeriod, &maxPeriod))
        periodBegun_ = TimeBeginPeriod(minPeriod) ? minPeriod : 0;

    lastFrameTime = TimeGetTime();
    u16 exitCode = 0;
    for (;;)
    {
        Message message;
        if (queue.Peek(&message, true))
        {
            TranslateMessage(message);
            DispatchMessage(message);
            if (message.message == WM_QUIT)
            {
                exitCode = static_cast<u16>(message.wParam);
                break;
            }
            continue;
        }

        const u32 now = TimeGetTime();
        const u32 elapsed = now - lastFrameTime;
        queue.WaitForInput(1);
        // Signed, so a clock read that went backwards waits instead of
        // firing a frame with a huge elapsed time.
        if (static_cast<i64>(static_cast<i32>(elapsed)) < static_cast<i64>(frameInterval))
            continue;

        // Taken while paused too, so a pause does not build up elapsed time.
        lastFrameTime = now;
        const bool measure = showFrameStats != 0;
        if (measure)
        {
            timer.ResetStopwatch();
            timer.StartStopwatch();
        }
        if (paused == 0)
            OnFrame(static_cast<u16>(elapsed));
        if (measure)
        {
            timer.StopStopwatch();
            RecordFrame(timer.GetStopwatchTotal());
        }
    }

    OnExit();
    ConfineCursorToScreen();
    if (periodBegun_)
        TimeEndPeriod(periodBegun_);
    periodBegun_ = 0;
    return exitCode;
}

void OWindow::RecordFrame(f64 frameMs)
{
    frameSum += frameMs;
    frameCount += 1.0;
    // Batches of a little over 10 frames (or half a second of frame time)
    // keep the caption readable.
    if (frameCount > 10.0 || frameSum > 500.0)
    {
        frameAverage = frameSum / frameCount;
        frameSum = 0.0;
        frameCount = 0.0;
    }
    ShowFrameStats();
}

void OWindow::ShowCursor(u32 show, u32 clip)
{
    cursorShown = show;
    cursorClipped = clip;
    GetBackend().ShowCursor(show != 0);
    InvalidateRect(hwnd, nullptr);
    if (fullScreen || clip == 0)
        ConfineCursorToScreen();
    else
        ConfineCursor();
}

void OWindow::ConfineCursorToScreen()
{
    u16 sw = 0;
    u16 sh = 0;
    GetScreenSize(sw, sh);
    const Rect screen{0, 0, sw, sh};
    GetBackend().ClipCursor(&screen);
}

void OWindow::ConfineCursor()
{
    const Rect client{x, y, x + width, y + height};
    GetBackend().ClipCursor(&client);
}

void OWindow::Minimize(u32 restore)
{
    paused = restore ? 0 : 1;
    GetBackend().ShowWindow(hwnd, restore ? SW_RESTORE : SW_MINIMIZE);
    if (!restore)
        ConfineCursorToScreen();
}

void OWindow::Close()
{
    SendMessage(hwnd, WM_CLOSE, 0, 0);
    ConfineCursorToScreen();
}

void OWindow::SetCaption(const char* text)
{
    SendSetText(hwnd, text ? text : "");
}

void OWindow::ShowFrameStats()
{
    char text[64];
    std::snprintf(text, sizeof text, "%.2f ms", frameAverage);
    SetCaption(text);
}

void OWindow::MoveResize(i16 newX, i16 newY, u16 w, u16 h)
{
    x = newX;
    y = newY;
    if (w)
        width = w;
    if (h)
        height = h;
    Backend& backend = GetBackend();
    backend.SetWindowPos(hwnd, x, y, width, height, false);
    backend.ShowWindow(hwnd, SW_SHOW);
}

void OWindow::GetScreenSize(u16& w, u16& h)
{
    i32 sw = 0;
    i32 sh = 0;
    GetBackend().GetScreenSize(&sw, &sh);
    w = static_cast<u16>(sw);
    h = static_cast<u16>(sh);
}

ORect* OWindow::GetClientRect(ORect* out) const
{
    out->Set(0, 0, static_cast<i16>(width - 1), static_cast<i16>(height - 1));
    return out;
}

void OWindow::SetCursorPos(i16 cx, i16 cy)
{
    if (fullScreen)
        GetBackend().SetCursorPos(cx, cy);
    else
        GetBackend().SetCursorPos(x + cx, y + cy);
}

void OWindow::GetCursorPos(u16& cx, u16& cy)
{
    i32 sx = 0;
    i32 sy = 0;
    GetBackend().GetCursorPos(&sx, &sy);
    const i32 ox = fullScreen ? 0 : x;
    const i32 oy = fullScreen ? 0 : y;
    cx = static_cast<u16>(sx - ox);
    cy = static_cast<u16>(sy - oy);
}

u32 OWindow::SetCursorShape(i32 index)
{
    if (index >= 0)
    {
        // The program carries no cursor resources, so none loads and the
        // current cursor stays.
        return 0;
    }
    if (!arrowCursor)
        return 0;
    cursorIndex = index;
    customCursor = 0;
    return 1;
}

u32 OWindow::AddClickDeadZone(const ORect& zone)
{
    if (deadZoneCount >= kMaxDeadZones)
        return 0;
    deadZones[deadZoneCount++] = zone;
    return 1;
}

i16 OWindow::GetClipboardText(char* buffer, i16 max)
{
    if (!buffer || max <= 0)
        return 0;
    std::string text;
    if (!GetBackend().GetClipboardText(&text))
        return 0;
    i16 count = 0;
    while (count < max && static_cast<size_t>(count) < text.size() &&
           text[static_cast<size_t>(count)] != '\0')
    {
        buffer[count] = text[static_cast<size_t>(count)];
        ++count;
    }
    buffer[count] = '\0';
    return count;
}

i16 OWindow::SetClipboardText(const char* text, i16 length)
{
    if (!text)
        return 0;
    size_t limit = length < 1 ? std::strlen(text) : static_cast<size_t>(length);
    // The count is reported in 16 bits; longer texts are cut rather than
    // reported as a negative count.
    if (limit > 0x7FFF)
        limit = 0x7FFF;
    const size_t count = strnlen(text, limit);
    if (!GetBackend().SetClipboardText(std::string(text, count)))
        return 0;
    return static_cast<i16>(count);
}

void OWindow::Printf(i16 px, i16 py, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    debugFont.FormatText(format, args);
    va_end(args);
    debugFont.DrawText(backBuffer, px, py, debugFont.textBuffer);
}

void OWindow::PrintfOpaque(i16 px, i16 py, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    debugFont.FormatText(format, args);
    va_end(args);
    debugFont.DrawTextOpaque(backBuffer, px, py, debugFont.textBuffer);
}

// --- Presentation --------------------------------------------------------------

void OWindow::SetPaintExclusion(const ORect* rect)
{
    if (rect)
    {
        paintExclusionOn = 1;
        paintExclusion = *rect;
    }
    else
    {
        paintExclusionOn = 0;
    }
}

void OWindow::PresentBand(const ORect& band)
{
    // Only what lies on the section is copied: a redraw area that reaches
    // past the canvas (sprites partly off screen) keeps its visible part. The
    // spare row counts as part of the section, so a paint rectangle reaching
    // one row below the image still copies from inside it.
    const i32 rows = backBuffer->height + 1;
    const i32 left = std::max<i32>(band.left, 0);
    const i32 top = std::max<i32>(band.top, 0);
    const i32 right = std::min<i32>(band.right, backBuffer->width - 1);
    const i32 bottom = std::min<i32>(band.bottom, rows - 1);
    if (right < left || bottom < top)
        return;
    PixelBlock block;
    block.bits = backBuffer->dibBits;
    block.pitch = backBuffer->pitch;
    block.width = backBuffer->width;
    block.height = rows;
    GetBackend().Present(hdc, block, left, top, right - left + 1, bottom - top + 1);
}

void OWindow::PaintRect(const ORect& rect)
{
    ORect bands[4];
    int bandCount = 0;
    if (paintExclusionOn)
    {
        const ORect& e = paintExclusion;
        if (rect.top < e.top)
            bands[bandCount++] = ORect(rect.left, rect.top, rect.right, static_cast<i16>(e.top - 1));
        if (rect.left < e.left)
            bands[bandCount++] = ORect(rect.left, e.top, static_cast<i16>(e.left - 1), e.bottom);
        if (rect.right > e.right)
            bands[bandCount++] = ORect(static_cast<i16>(e.right + 1), e.top, rect.right, e.bottom);
        if (rect.bottom > e.bottom)
            bands[bandCount++] = ORect(rect.left, static_cast<i16>(e.bottom + 1), rect.right, rect.bottom);
        if (bandCount == 0)
            return;
    }
    else
    {
        bands[bandCount++] = rect;
    }

    if (outsidePaint)
        hdc = IsWindow(hwnd) ? hwnd : 0;
    if (hdc && backBuffer)
    {
        backBuffer->Lock();
        // A canvas without pixels cannot be selected for the copy.
        if (backBuffer->dibBits)
        {
            for (int i = 0; i < bandCount; ++i)
                PresentBand(bands[i]);
        }
    }
    if (outsidePaint)
        hdc = 0;
    if (backBuffer)
        backBuffer->Unlock();
}

// --- Full screen -------------------------------------------------------------

void OWindow::SetFullScreen(u32 on)
{
    Backend& backend = GetBackend();
    if (on)
    {
        if (fullScreen)
            return;
        backend.SetWindowStyle(hwnd, kFullScreenStyle);
        EnterFullScreen();
        if (displayModeHeld)
        {
            backend.SetWindowPos(hwnd, 0, 0, width, height, true);
            backend.ShowWindow(hwnd, SW_RESTORE);
        }
        ShowCursor(cursorShown, cursorClipped);
    }
    else
    {
        if (!fullScreen)
            return;
        LeaveFullScreen();
        backend.SetWindowStyle(hwnd, kCaptionedStyle);
        u16 sw = 0;
        u16 sh = 0;
        GetScreenSize(sw, sh);
        const i32 outerW = width + frameWidth_;
        const i32 outerH = height + frameHeight_;
        x = static_cast<i16>((sw - outerW) / 2);
        y = static_cast<i16>((sh - outerH) / 2);
        backend.SetWindowPos(hwnd, x, y, outerW, outerH, false);
        backend.ShowWindow(hwnd, SW_RESTORE);
        ShowCursor(cursorShown, cursorClipped);
    }
}

bool OWindow::EnterFullScreen()
{
    if (displayModeHeld)
        return true;
    fullScreen = 0;
    primarySurface = 0;
    backSurface = 0;
    displayModeHeld = 1;

    Backend& backend = GetBackend();
    static constexpr i32 kDepths[] = {32, 24, 16};
    displayModeBits = 0;
    for (i32 depth : kDepths)
    {
        if (backend.SetDisplayMode(hwnd, kFullScreenWidth, kFullScreenHeight, depth))
        {
            displayModeBits = static_cast<u16>(depth);
            break;
        }
    }
    if (displayModeBits == 0 || !CreateSurfaces())
    {
        LeaveFullScreen();
        return false;
    }
    fullScreen = 1;
    return true;
}

bool OWindow::CreateSurfaces()
{
    primarySurface = 1;
    backSurface = 1;
    return ClearSurface(primarySurface) && ClearSurface(backSurface);
}

bool OWindow::ClearSurface(u8& surface)
{
    // The surfaces are never drawn to: presentation stays the canvas copy in
    // both modes, so clearing them has nothing to write.
    return surface != 0;
}

bool OWindow::LeaveFullScreen()
{
    fullScreen = 0;
    if (displayModeHeld)
    {
        primarySurface = 0;
        backSurface = 0;
        GetBackend().RestoreDisplayMode();
        displayModeHeld = 0;
        displayModeBits = 0;
    }
    CentreOnScreen();
    GetBackend().ShowWindow(hwnd, SW_SHOW);
    return true;
}

void OWindow::CentreOnScreen()
{
    u16 sw = 0;
    u16 sh = 0;
    GetScreenSize(sw, sh);
    const u16 w = width;
    const u16 h = height;
    MoveResize(static_cast<i16>((sw - w) / 2), static_cast<i16>((sh - h) / 2), w, h);
}

// --- Messages ----------------------------------------------------------------

LResult OWindow::WindowProc(const Message& message, void* user)
{
    OWindow* window = static_cast<OWindow*>(user);
    // Until Create has stored the window, its messages get the default
    // handling (this covers WM_CREATE, and the teardown in the destructor).
    if (!window || window->hwnd == 0 || window->hwnd != message.window)
        return DefWindowProc(message);
    return window->HandleMessage(message);
}

void OWindow::OnLeftPress(i16 px, i16 py)
{
    clickX = px;
    clickY = py;
    bool swallowed = false;
    if (deadZoneCount == 0)
    {
        swallowed = clickY <= kTopSwallowedRow;
    }
    else
    {
        for (i16 i = 0; i < deadZoneCount; ++i)
        {
            if (deadZones[i].Contains(clickX, clickY))
            {
                swallowed = true;
                break;
            }
        }
    }
    if (swallowed)
    {
        leftUpSwallowed = 1;
        return;
    }
    leftHeld = 1;
    OnLButtonDown(clickX, clickY);
}

LResult OWindow::HandleMessage(const Message& message)
{
    const WParam wParam = message.wParam;
    const i16 mx = MouseX(message.lParam);
    const i16 my = MouseY(message.lParam);
    switch (message.message)
    {
    case WM_CREATE:
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    case WM_ACTIVATE:
        if (LowWord(wParam) == WA_ACTIVE || wParam == WA_CLICKACTIVE)
        {
            OnActivate();
            ShowCursor(cursorShown, 0);
        }
        else
        {
            OnDeactivate();
            ConfineCursorToScreen();
        }
        return 0;
    case WM_PAINT:
    {
        outsidePaint = 0;
        Rect paint;
        hdc = BeginPaint(hwnd, &paint) ? hwnd : 0;
        // The native rectangle's right and bottom are exclusive and are
        // passed unchanged, so the copy reaches one column and one row past
        // the invalid area.
        PaintRect(ORect(static_cast<i16>(paint.left), static_cast<i16>(paint.top),
                        static_cast<i16>(paint.right), static_cast<i16>(paint.bottom)));
        EndPaint(hwnd);
        hdc = 0;
        outsidePaint = 1;
        return 0;
    }
    case WM_CLOSE:
        if (CanClose())
            return DefWindowProc(message);
        return 0;
    case WM_ACTIVATEAPP:
        if (displayModeHeld && wParam == 0)
        {
            GetBackend().RestoreDisplayMode();
            GetBackend().ShowWindow(hwnd, SW_MINIMIZE);
        }
        DefWindowProc(message);
        return 0;
    case WM_SETCURSOR:
        // Only the arrow exists (no cursor resources), so the choice between
        // the custom cursor and the arrow changes nothing on screen.
        return 0;
    case WM_DISPLAYCHANGE:
        if (!displayModeHeld)
            LeaveFullScreen();
        return 0;
    case WM_KEYDOWN:
    {
        u32 key = static_cast<u32>(wParam);
        // With NumLock on, the keypad digits belong to text entry, not to the
        // game's keys.
        if (key >= VK_NUMPAD0 && key <= VK_NUMPAD9 && GetBackend().IsKeyToggled(VK_NUMLOCK))
            return 0;
        if (key == VK_CONTROL)
            ctrlHeld = 1;
        else if (key == VK_SHIFT)
            shiftHeld = 1;
        else if (key == VK_MENU)
            altHeld = 1;
        if (ctrlHeld)
        {
            if (key == 'C' || key == VK_INSERT)
                key = kKeyCopy;
            else if (key == 'V')
                key = kKeyPaste;
            else if (key == 'X')
                key = kKeyCut;
        }
        else if (shiftHeld)
        {
            if (key == VK_INSERT)
                key = kKeyPaste;
            else if (key == VK_DELETE)
                key = kKeyCut;
        }
        OnKeyDown(key);
        return 0;
    }
    case WM_KEYUP:
    {
        const u32 key = static_cast<u32>(wParam);
        OnKeyUp(key);
        if (key == VK_CONTROL)
            ctrlHeld = 0;
        else if (key == VK_SHIFT)
            shiftHeld = 0;
        else if (key == VK_MENU)
            altHeld = 0;
        return 0;
    }
    case WM_CHAR:
        OnChar(static_cast<u32>(wParam));
        return 0;
    case WM_COMMAND:
        return 0;
    case WM_SYSCOMMAND:
        // No maximising, no keyboard menu, no moving, and no screen saver or
        // monitor power-down while the game runs.
        if (wParam == SC_MAXIMIZE || wParam == SC_KEYMENU || wParam == SC_MOVE || wParam == SC_SCREENSAVE ||
            wParam == SC_MONITORPOWER)
            return 0;
        return DefWindowProc(message);
    case WM_MOUSEMOVE:
        if (leftHeld)
            OnMouseDrag(mx, my);
        OnMouseMove(mx, my);
        return 0;
    case WM_LBUTTONDOWN:
        OnLeftPress(mx, my);
        return 0;
    case WM_LBUTTONUP:
        if (!leftUpSwallowed)
        {
            leftHeld = 0;
            OnLButtonUp(mx, my);
        }
        leftUpSwallowed = 0;
        return 0;
    case WM_LBUTTONDBLCLK:
        OnLButtonDblClk(mx, my);
        return 0;
    case WM_RBUTTONDOWN:
        OnRButtonDown(mx, my);
        return 0;
    case WM_RBUTTONUP:
        OnRButtonUp(mx, my);
        return 0;
    case WM_RBUTTONDBLCLK:
        OnRButtonDblClk(mx, my);
        return 0;
    case WM_MBUTTONDOWN:
        OnMButtonDown(mx, my);
        return 0;
    case WM_MBUTTONUP:
        OnMButtonUp(mx, my);
        return 0;
    case WM_MBUTTONDBLCLK:
        OnMButtonDblClk(mx, my);
        return 0;
    case WM_MOUSEWHEEL:
        OnMouseWheel(mx, my, static_cast<i16>(HighWord(wParam)));
        return 0;
    case WM_XBUTTONDOWN:
        OnXButtonDown(mx, my);
        return 0;
    case WM_XBUTTONUP:
        OnXButtonUp(mx, my);
        return 0;
    case WM_XBUTTONDBLCLK:
        OnXButtonDblClk(mx, my);
        return 0;
    default:
        return DefWindowProc(message);
    }
}
