#pragma once
// Translation between the window's virtual-key codes and the game key codes
// 1 to 29 that the dialog controls compare (9 and 10 activate a button).
#include "core/Types.h"

// Clipboard shortcuts arrive from the window remapped to these codes.
inline constexpr u32 KEY_CLIPBOARD_COPY = 0x8000;
inline constexpr u32 KEY_CLIPBOARD_PASTE = 0x8001;
inline constexpr u32 KEY_CLIPBOARD_CUT = 0x8002;

// 0 for a code without a game key.
u32 VirtualKeyToGameKey(u32 vk);
// The first virtual key of a game key, with VK_HOME/VK_END standing for the
// diagonals 1 and 6 as well as for 24 and 25; 0 outside 1 to 29.
u32 GameKeyToVirtualKey(u32 key);
