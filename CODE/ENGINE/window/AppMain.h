#pragma once
#include "core/Types.h"
#include "platform/files/NamedMutex.h"

#include <string>

class OWindow;

// Makes the application's window object (the game's subclass of OWindow);
// null when it cannot be allocated.
using WindowFactory = OWindow* (*)();
// Decides where what one running copy must keep to itself (the player's
// records) is kept, and locks it through mutex.Hold; AlreadyExists when
// another copy holds it.
using RecordsLocker = platform::NamedMutex::Result (*)(platform::NamedMutex& mutex);

// The application main: creates the window object, creates and shows the
// window "ZORBLET" with an 800 by 600 client area, runs the message loop and
// destroys the object. 0 after a run, 1 when the window could not be created,
// 2 when the object could not be allocated. Should the display go away
// meanwhile, the window's exit slot saves the records and the process ends
// with platform::kExitDisplayLost.
int AppMain(WindowFactory newWindow);

// The process entry: only one copy runs at a time. A second copy (the named
// mutex "ZORBLET" is held elsewhere, or lockRecords finds the records locked
// by a copy started with another environment) returns 0 at once without a
// window. When no lock can be taken at all, or no display can be opened (or
// ZORBLET_BACKEND names no backend), the reason goes to stderr and the
// result is platform::kExitNoLock or platform::kExitNoDisplay. Otherwise the
// termination signals are caught (they close the window) and the result is
// AppMain's. Before anything else, writes that fail stop raising signals
// (see platform::IgnoreWriteFailureSignals) and the umask becomes 077.
int WinMain(WindowFactory newWindow, RecordsLocker lockRecords = nullptr);
