#pragma once
// The vocabulary of window messages, virtual keys and flags that the window,
// the key translation and the message boxes speak. The numbers are those of
// the desktop system the game was written for: key codes are stored in the
// players' key maps and compared by the game, so they must keep these values.
// Core holds this header (rather than the platform layer) because the key
// translation in core needs the key codes and core reaches nothing above it.
#include "core/Types.h"

namespace platform
{

// Window messages.
inline constexpr u32 WM_NULL = 0x0000;
inline constexpr u32 WM_CREATE = 0x0001;
inline constexpr u32 WM_DESTROY = 0x0002;
inline constexpr u32 WM_MOVE = 0x0003;
inline constexpr u32 WM_SIZE = 0x0005;
inline constexpr u32 WM_ACTIVATE = 0x0006;
inline constexpr u32 WM_SETFOCUS = 0x0007;
inline constexpr u32 WM_KILLFOCUS = 0x0008;
inline constexpr u32 WM_SETTEXT = 0x000C;
inline constexpr u32 WM_GETTEXT = 0x000D;
inline constexpr u32 WM_PAINT = 0x000F;
inline constexpr u32 WM_CLOSE = 0x0010;
inline constexpr u32 WM_QUIT = 0x0012;
inline constexpr u32 WM_ERASEBKGND = 0x0014;
inline constexpr u32 WM_ACTIVATEAPP = 0x001C;
inline constexpr u32 WM_SETCURSOR = 0x0020;
inline constexpr u32 WM_DISPLAYCHANGE = 0x007E;
inline constexpr u32 WM_KEYDOWN = 0x0100;
inline constexpr u32 WM_KEYUP = 0x0101;
inline constexpr u32 WM_CHAR = 0x0102;
inline constexpr u32 WM_SYSKEYDOWN = 0x0104;
inline constexpr u32 WM_SYSKEYUP = 0x0105;
inline constexpr u32 WM_COMMAND = 0x0111;
inline constexpr u32 WM_SYSCOMMAND = 0x0112;
inline constexpr u32 WM_TIMER = 0x0113;
inline constexpr u32 WM_MOUSEMOVE = 0x0200;
inline constexpr u32 WM_LBUTTONDOWN = 0x0201;
inline constexpr u32 WM_LBUTTONUP = 0x0202;
inline constexpr u32 WM_LBUTTONDBLCLK = 0x0203;
inline constexpr u32 WM_RBUTTONDOWN = 0x0204;
inline constexpr u32 WM_RBUTTONUP = 0x0205;
inline constexpr u32 WM_RBUTTONDBLCLK = 0x0206;
inline constexpr u32 WM_MBUTTONDOWN = 0x0207;
inline constexpr u32 WM_MBUTTONUP = 0x0208;
inline constexpr u32 WM_MBUTTONDBLCLK = 0x0209;
inline constexpr u32 WM_MOUSEWHEEL = 0x020A;
inline constexpr u32 WM_XBUTTONDOWN = 0x020B;
inline constexpr u32 WM_XBUTTONUP = 0x020C;
inline constexpr u32 WM_XBUTTONDBLCLK = 0x020D;
inline constexpr u32 WM_USER = 0x0400;

// Low word of WM_ACTIVATE's wParam; the high word is non-zero when minimised.
inline constexpr u32 WA_INACTIVE = 0;
inline constexpr u32 WA_ACTIVE = 1;
inline constexpr u32 WA_CLICKACTIVE = 2;

// WM_SYSCOMMAND requests.
inline constexpr u32 SC_SIZE = 0xF000;
inline constexpr u32 SC_MOVE = 0xF010;
inline constexpr u32 SC_MINIMIZE = 0xF020;
inline constexpr u32 SC_MAXIMIZE = 0xF030;
inline constexpr u32 SC_CLOSE = 0xF060;
inline constexpr u32 SC_KEYMENU = 0xF100;
inline constexpr u32 SC_RESTORE = 0xF120;
inline constexpr u32 SC_SCREENSAVE = 0xF140;
inline constexpr u32 SC_MONITORPOWER = 0xF170;

// Mouse-message wParam flags; the wheel delta of one notch.
inline constexpr u32 MK_LBUTTON = 0x0001;
inline constexpr u32 MK_RBUTTON = 0x0002;
inline constexpr u32 MK_SHIFT = 0x0004;
inline constexpr u32 MK_CONTROL = 0x0008;
inline constexpr u32 MK_MBUTTON = 0x0010;
inline constexpr u32 MK_XBUTTON1 = 0x0020;
inline constexpr u32 MK_XBUTTON2 = 0x0040;
inline constexpr u32 XBUTTON1 = 0x0001;
inline constexpr u32 XBUTTON2 = 0x0002;
inline constexpr i32 WHEEL_DELTA = 120;

// Virtual-key codes. Letters and digits are their upper-case ASCII codes
// ('A' to 'Z', '0' to '9') and have no names of their own.
inline constexpr u32 VK_LBUTTON = 0x01;
inline constexpr u32 VK_RBUTTON = 0x02;
inline constexpr u32 VK_CANCEL = 0x03;
inline constexpr u32 VK_MBUTTON = 0x04;
inline constexpr u32 VK_BACK = 0x08;
inline constexpr u32 VK_TAB = 0x09;
inline constexpr u32 VK_CLEAR = 0x0C;
inline constexpr u32 VK_RETURN = 0x0D;
inline constexpr u32 VK_SHIFT = 0x10;
inline constexpr u32 VK_CONTROL = 0x11;
inline constexpr u32 VK_MENU = 0x12;
inline constexpr u32 VK_PAUSE = 0x13;
inline constexpr u32 VK_CAPITAL = 0x14;
inline constexpr u32 VK_ESCAPE = 0x1B;
inline constexpr u32 VK_SPACE = 0x20;
inline constexpr u32 VK_PRIOR = 0x21;
inline constexpr u32 VK_NEXT = 0x22;
inline constexpr u32 VK_END = 0x23;
inline constexpr u32 VK_HOME = 0x24;
inline constexpr u32 VK_LEFT = 0x25;
inline constexpr u32 VK_UP = 0x26;
inline constexpr u32 VK_RIGHT = 0x27;
inline constexpr u32 VK_DOWN = 0x28;
inline constexpr u32 VK_SELECT = 0x29;
inline constexpr u32 VK_PRINT = 0x2A;
inline constexpr u32 VK_SNAPSHOT = 0x2C;
inline constexpr u32 VK_INSERT = 0x2D;
inline constexpr u32 VK_DELETE = 0x2E;
inline constexpr u32 VK_HELP = 0x2F;
inline constexpr u32 VK_LWIN = 0x5B;
inline constexpr u32 VK_RWIN = 0x5C;
inline constexpr u32 VK_APPS = 0x5D;
inline constexpr u32 VK_NUMPAD0 = 0x60;
inline constexpr u32 VK_NUMPAD1 = 0x61;
inline constexpr u32 VK_NUMPAD2 = 0x62;
inline constexpr u32 VK_NUMPAD3 = 0x63;
inline constexpr u32 VK_NUMPAD4 = 0x64;
inline constexpr u32 VK_NUMPAD5 = 0x65;
inline constexpr u32 VK_NUMPAD6 = 0x66;
inline constexpr u32 VK_NUMPAD7 = 0x67;
inline constexpr u32 VK_NUMPAD8 = 0x68;
inline constexpr u32 VK_NUMPAD9 = 0x69;
inline constexpr u32 VK_MULTIPLY = 0x6A;
inline constexpr u32 VK_ADD = 0x6B;
inline constexpr u32 VK_SEPARATOR = 0x6C;
inline constexpr u32 VK_SUBTRACT = 0x6D;
inline constexpr u32 VK_DECIMAL = 0x6E;
inline constexpr u32 VK_DIVIDE = 0x6F;
inline constexpr u32 VK_F1 = 0x70; // VK_F1 + n - 1 for F1 to F24
inline constexpr u32 VK_F12 = 0x7B;
inline constexpr u32 VK_F24 = 0x87;
inline constexpr u32 VK_NUMLOCK = 0x90;
inline constexpr u32 VK_SCROLL = 0x91;
inline constexpr u32 VK_LSHIFT = 0xA0;
inline constexpr u32 VK_RSHIFT = 0xA1;
inline constexpr u32 VK_LCONTROL = 0xA2;
inline constexpr u32 VK_RCONTROL = 0xA3;
inline constexpr u32 VK_LMENU = 0xA4;
inline constexpr u32 VK_RMENU = 0xA5;
// Punctuation keys of a US layout.
inline constexpr u32 VK_OEM_1 = 0xBA;      // ;:
inline constexpr u32 VK_OEM_PLUS = 0xBB;   // =+
inline constexpr u32 VK_OEM_COMMA = 0xBC;  // ,<
inline constexpr u32 VK_OEM_MINUS = 0xBD;  // -_
inline constexpr u32 VK_OEM_PERIOD = 0xBE; // .>
inline constexpr u32 VK_OEM_2 = 0xBF;      // /?
inline constexpr u32 VK_OEM_3 = 0xC0;      // `~
inline constexpr u32 VK_OEM_4 = 0xDB;      // [{
inline constexpr u32 VK_OEM_5 = 0xDC;      // backslash |
inline constexpr u32 VK_OEM_6 = 0xDD;      // ]}
inline constexpr u32 VK_OEM_7 = 0xDE;      // '"

// WM_KEYDOWN lParam: bit 30 set for an auto-repeat of a key already down.
inline constexpr i64 KF_REPEAT_BIT = i64{1} << 30;

// Message-box flags and results.
inline constexpr u32 MB_OK = 0x00000000;
inline constexpr u32 MB_OKCANCEL = 0x00000001;
inline constexpr u32 MB_YESNO = 0x00000004;
inline constexpr u32 MB_ICONERROR = 0x00000010;
inline constexpr u32 MB_ICONQUESTION = 0x00000020;
inline constexpr u32 MB_ICONWARNING = 0x00000030;
inline constexpr u32 MB_ICONINFORMATION = 0x00000040;
inline constexpr u32 MB_TASKMODAL = 0x00002000;
inline constexpr u32 MB_SETFOREGROUND = 0x00010000;
inline constexpr i32 IDOK = 1;
inline constexpr i32 IDCANCEL = 2;
inline constexpr i32 IDYES = 6;
inline constexpr i32 IDNO = 7;

// Window and class styles.
inline constexpr u32 WS_OVERLAPPED = 0x00000000;
inline constexpr u32 WS_POPUP = 0x80000000;
inline constexpr u32 WS_VISIBLE = 0x10000000;
inline constexpr u32 WS_CAPTION = 0x00C00000;
inline constexpr u32 WS_SYSMENU = 0x00080000;
inline constexpr u32 WS_MINIMIZEBOX = 0x00020000;
inline constexpr u32 CS_VREDRAW = 0x0001;
inline constexpr u32 CS_HREDRAW = 0x0002;
inline constexpr u32 CS_DBLCLKS = 0x0008;
inline constexpr u32 CS_SAVEBITS = 0x0800;

// Show commands.
inline constexpr u32 SW_HIDE = 0;
inline constexpr u32 SW_SHOWNORMAL = 1;
inline constexpr u32 SW_SHOWMINIMIZED = 2;
inline constexpr u32 SW_MAXIMIZE = 3;
inline constexpr u32 SW_SHOW = 5;
inline constexpr u32 SW_MINIMIZE = 6;
inline constexpr u32 SW_RESTORE = 9;

// Creation position meaning "let the system choose".
inline constexpr i32 CW_USEDEFAULT = static_cast<i32>(0x80000000u);

// The last-error value of a named object that already existed.
inline constexpr u32 ERROR_ALREADY_EXISTS = 183;

} // namespace platform
