#include "services/OKeys.h"

#include "core/PlatformCodes.h"

using namespace platform;

u32 VirtualKeyToGameKey(u32 vk)
{
    switch (vk)
    {
    case VK_NUMPAD7:
        return 1;
    case VK_UP:
    case VK_NUMPAD8:
        return 2;
    case VK_PRIOR:
    case VK_NUMPAD9:
        return 3;
    case VK_LEFT:
    case VK_NUMPAD4:
        return 4;
    case VK_RIGHT:
    case VK_NUMPAD6:
        return 5;
    case VK_NUMPAD1:
        return 6;
    case VK_DOWN:
    case VK_NUMPAD2:
        return 7;
    case VK_NEXT:
    case VK_NUMPAD3:
        return 8;
    case VK_CLEAR:
    case VK_SPACE:
    case VK_NUMPAD5:
        return 9;
    case VK_RETURN:
        return 10;
    case VK_ESCAPE:
        return 11;
    case VK_BACK:
        return 12;
    case VK_DELETE:
        return 13;
    case 'W':
        return 14;
    case 'A':
        return 15;
    case 'D':
        return 16;
    case 'S':
        return 17;
    case 'X':
        return 18;
    case 'C':
        return 19;
    case 'B':
        return 20;
    case 'O':
        return 21;
    case 'P':
        return 22;
    case VK_CONTROL:
        return 23;
    case VK_HOME:
        return 24;
    case VK_END:
        return 25;
    case KEY_CLIPBOARD_COPY:
        return 26;
    case KEY_CLIPBOARD_PASTE:
        return 27;
    case KEY_CLIPBOARD_CUT:
        return 28;
    case VK_TAB:
        return 29;
    default:
        return 0;
    }
}

u32 GameKeyToVirtualKey(u32 key)
{
    // Index = game key. The diagonals 1 and 6 have only keypad keys, which
    // NumLock turns into digits; Home and End sit where 7 and 1 are.
    static const u32 table[30] = {
        0,                   // 0
        VK_HOME,             // 1
        VK_UP,               // 2
        VK_PRIOR,            // 3
        VK_LEFT,             // 4
        VK_RIGHT,            // 5
        VK_END,              // 6
        VK_DOWN,             // 7
        VK_NEXT,             // 8
        VK_SPACE,            // 9
        VK_RETURN,           // 10
        VK_ESCAPE,           // 11
        VK_BACK,             // 12
        VK_DELETE,           // 13
        'W',                 // 14
        'A',                 // 15
        'D',                 // 16
        'S',                 // 17
        'X',                 // 18
        'C',                 // 19
        'B',                 // 20
        'O',                 // 21
        'P',                 // 22
        VK_CONTROL,          // 23
        VK_HOME,             // 24
        VK_END,              // 25
        KEY_CLIPBOARD_COPY,  // 26
        KEY_CLIPBOARD_PASTE, // 27
        KEY_CLIPBOARD_CUT,   // 28
        VK_TAB,              // 29
    };
    return key < 30 ? table[key] : 0;
}
