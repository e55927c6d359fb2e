#pragma once
#include "core/Types.h"

#include <string>

class OWindow;

// Makes the application's window object (the game's subclass of OWindow);
// null when it cannot be allocated.
using WindowFactory = OWindow* (*)();
// The folder that holds what one running copy must keep to itself (the
// player's records); empty when there is none.
using SharedFolderFinder = std::string (*)();

// The application main: creates the window object, creates and shows the
// window "ZORBLET" with an 800 by 600 client area, runs the message loop and
// destroys the object. 0 after a run, 1 when the window could not be created,
// 2 when the object could not be allocated. Should the display go away
// meanwhile, the window's exit slot saves the records and the process ends
// with platform::kExitDisplayLost.
int AppMain(WindowFactory newWindow);

// The process entry: only one copy runs at a time. A second copy (the named
// mutex "ZORBLET" is held elsewhere, or the folder recordsFolder gives is
// locked by a copy started with another environment) returns 0 at once
// without a window. When the lock cannot be made at all, or no display can
// be opened (or ZORBLET_BACKEND names no backend), the reason goes to stderr
// and the result is platform::kExitNoLock or platform::kExitNoDisplay.
// Otherwise the termination signals are caught (they close the window) and
// the result is AppMain's. Before anything else, writes that fail stop
// raising signals (see platform::IgnoreWriteFailureSignals).
int WinMain(WindowFactory newWindow, SharedFolderFinder recordsFolder = nullptr);
