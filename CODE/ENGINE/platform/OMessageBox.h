#pragma once
// Messages to the player. A quit request waiting when a box opens is kept
// aside while the box shows and posted again afterwards, so a box raised while
// the program is closing is still seen and the program still closes.
#include "core/Types.h"

// An OK box with the caption "Alert".
void Alert(const char* text);
void ShowMessageBox(const char* text, const char* caption);
// A box with the caption "Exception", then the process ends with exit code 0.
[[noreturn]] void FatalError(const char* text);
void AlertHex(u32 n);
void AlertInt(i32 n);
