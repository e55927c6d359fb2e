#pragma once
#include "core/Types.h"

class OWindow;

// Makes the application's window object (the game's subclass of OWindow);
// null when it cannot be allocated.
using WindowFactory = OWindow* (*)();

// The application main: creates the window object, creates and shows the
// window "ZORBLET" with an 800 by 600 client area, runs the message loop and
// destroys the object. 0 after a run, 1 when the window could not be created,
// 2 when the object could not be allocated.
int AppMain(WindowFactory newWindow);

// The process entry: only one copy runs at a time. A second copy (the named
// mutex "ZORBLET" is held elsewhere) or a failure to make the mutex returns 0
// at once without a window; otherwise AppMain runs and the result is 0.
int WinMain(WindowFactory newWindow);
