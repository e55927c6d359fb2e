#pragma once
#include "services/ODebugFont.h"
#include "core/ORect.h"
#include "core/Types.h"
#include "platform/MessageQueue.h"
#include "platform/OTimer.h"

class OSysBitmap;

// The application window: one top-level window, its 24-bit canvas, the
// message loop with its frame gate, and the translation of window messages
// into numbered virtual operations. It is a base class: the game's window
// object overrides the start-up, exit, frame, input and activation slots.
// Everything here runs on the one window thread.
class OWindow
{
public:
    // The caption buffer holds this many characters plus the NUL.
    static constexpr u32 kTitleSize = 1024;
    static constexpr i16 kMaxDeadZones = 10;
    // Left presses on the caption-less screen's top rows are swallowed (rows
    // 0 to 10), so a click meant for the edge of the display does not reach
    // the game when no dead zones say otherwise.
    static constexpr i16 kTopSwallowedRow = 10;
    // Clipboard shortcuts reach the key slots as these codes.
    static constexpr u32 kKeyCopy = 0x8000;
    static constexpr u32 kKeyPaste = 0x8001;
    static constexpr u32 kKeyCut = 0x8002;
    static constexpr u32 kDefaultFrameInterval = 30;
    // Full screen is asked for at this size, at 32, then 24, then 16 bits.
    static constexpr u16 kFullScreenWidth = 800;
    static constexpr u16 kFullScreenHeight = 600;

    // Fields in the order the window keeps them.
    u32 paintExclusionOn = 0;
    ORect paintExclusion;
    u16 width = 0;
    u16 height = 0;
    i16 x = 0;
    i16 y = 0;
    u32 paused = 0;
    u32 cursorShown = 1;
    u32 cursorClipped = 0;
    OSysBitmap* backBuffer = nullptr;
    OSysBitmap* spareBuffer = nullptr; // always null
    u32 lastFrameTime = 0;
    u32 frameInterval = kDefaultFrameInterval;
    platform::WindowId hwnd = 0;
    // The window whose client area PaintRect draws to; inside WM_PAINT the
    // paint target is already held and is not taken or released again.
    platform::WindowId hdc = 0;
    char title[kTitleSize] = {};
    u32 backgroundBrush = 0; // black, the class background
    u32 outsidePaint = 1;
    ODebugFont debugFont;
    // Performance-counter mode; its stopwatch measures the frame slot.
    OTimer timer;
    f64 frameAverage = 0.0;
    f64 frameSum = 0.0;
    f64 frameCount = 0.0;
    u8 showFrameStats = 1;
    u32 leftUpSwallowed = 0;
    u32 leftHeld = 0;
    i16 clickX = 0;
    i16 clickY = 0;
    // Full-screen state: `displayModeHeld` stands for the exclusive display
    // object, the two surface flags for its primary and back surfaces.
    u8 displayModeHeld = 0;
    u8 primarySurface = 0;
    u8 backSurface = 0;
    u16 displayModeBits = 0; // depth of the mode that was accepted
    u8 fullScreen = 0;
    u8 altHeld = 0;
    u8 ctrlHeld = 0;
    u8 shiftHeld = 0;
    ORect deadZones[kMaxDeadZones];
    i16 deadZoneCount = 0;
    i32 cursorIndex = -1;
    u32 customCursor = 0;
    u32 arrowCursor = 0;
    u32 instance = 0;

    OWindow();
    OWindow(const OWindow&) = delete;
    OWindow& operator=(const OWindow&) = delete;

    // Slots, in their fixed order (slot 0 is the destructor).
    virtual ~OWindow();
    virtual u32 OnCreate();
    virtual void OnStart();
    virtual void OnExit();
    virtual void OnFrame(u16 elapsedMs);
    virtual void OnLButtonDown(i16 x, i16 y);
    virtual void OnLButtonDblClk(i16 x, i16 y);
    virtual void OnRButtonDblClk(i16 x, i16 y);
    virtual void OnLButtonUp(i16 x, i16 y);
    virtual void OnMouseDrag(i16 x, i16 y);
    virtual void OnKeyDown(u32 key);
    virtual void OnKeyUp(u32 key);
    virtual void OnChar(u32 character);
    virtual void OnActivate();
    virtual void OnDeactivate();
    virtual void OnMButtonDown(i16 x, i16 y);
    virtual void OnMButtonUp(i16 x, i16 y);
    virtual void OnMButtonDblClk(i16 x, i16 y);
    virtual void OnXButtonDown(i16 x, i16 y);
    virtual void OnXButtonUp(i16 x, i16 y);
    virtual void OnXButtonDblClk(i16 x, i16 y);
    virtual void OnMouseWheel(i16 x, i16 y, i16 delta);
    virtual void OnMouseMove(i16 x, i16 y);
    virtual void OnRButtonDown(i16 x, i16 y);
    virtual void OnRButtonUp(i16 x, i16 y);
    virtual u32 CanClose();

    // Registers the class, creates the window and its canvas, runs OnCreate
    // and centres the window; 1 on success. When OnCreate returns 0, OnExit
    // has run and the result is 0.
    u32 Create(const char* windowTitle, const char* className, u16 clientWidth, u16 clientHeight);
    void Show();
    // The message loop; returns the quit code as a 16-bit value.
    u16 Run();

    void SetFrameInterval(u32 ms) { frameInterval = ms; }
    void SetFrameStats(u8 on) { showFrameStats = on; }
    void ShowCursor(u32 show, u32 clip);
    void Minimize(u32 restore);
    void Close();
    void SetCaption(const char* text);
    void ShowFrameStats();
    void MoveResize(i16 newX, i16 newY, u16 w, u16 h);
    void GetScreenSize(u16& w, u16& h);
    u16 GetWidth() const { return width; }
    u16 GetHeight() const { return height; }
    platform::WindowId GetHWND() const { return hwnd; }
    OSysBitmap* GetBackBuffer() const { return backBuffer; }
    // (0, 0, width - 1, height - 1).
    ORect* GetClientRect(ORect* out) const;
    void SetCursorPos(i16 cx, i16 cy);
    void GetCursorPos(u16& cx, u16& cy);
    u32 SetCursorShape(i32 index);
    u32 AddClickDeadZone(const ORect& zone);
    void ClearClickDeadZones() { deadZoneCount = 0; }
    // Copies at most max bytes of clipboard text and a NUL (the buffer holds
    // max + 1 bytes); the count copied, 0 when there is none or it fails.
    i16 GetClipboardText(char* buffer, i16 max);
    // Puts at most length bytes (the whole text when length < 1) on the
    // clipboard; the count copied, 0 for a null text or a failure.
    i16 SetClipboardText(const char* text, i16 length);
    // Diagnostic text through the debug font, which takes the canvas as a
    // 16-bit surface; nothing in the game draws with it.
    void Printf(i16 px, i16 py, const char* format, ...) __attribute__((format(printf, 4, 5)));
    void PrintfOpaque(i16 px, i16 py, const char* format, ...) __attribute__((format(printf, 4, 5)));

    // Presentation and full screen.
    void PaintRect(const ORect& rect);
    void SetPaintExclusion(const ORect* rect);
    void SetFullScreen(u32 on);
    bool EnterFullScreen();
    bool CreateSurfaces();
    bool ClearSurface(u8& surface);
    bool LeaveFullScreen();

    // The window procedure entry and the message table.
    static platform::LResult WindowProc(const platform::Message& message, void* user);
    platform::LResult HandleMessage(const platform::Message& message);

private:
    void ConfineCursorToScreen();
    void ConfineCursor();
    void CentreOnScreen();
    void PresentBand(const ORect& band);
    void RecordFrame(f64 frameMs);
    void OnLeftPress(i16 px, i16 py);

    u32 classStyle_ = 0;
    i32 frameWidth_ = 0;
    i32 frameHeight_ = 0;
    u32 periodBegun_ = 0;
};
