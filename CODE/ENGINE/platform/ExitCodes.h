#pragma once
// What the program's exit code tells the shell that started it.

namespace platform
{

enum ExitCode : int
{
    kExitOk = 0,           // played and closed, or another copy already runs
    kExitCannotCreate = 1, // the window could not be created (a box said so)
    kExitNoMemory = 2,     // the window object could not be allocated (a box said so)
    kExitNoDisplay = 3,    // no display could be opened, or ZORBLET_BACKEND is unknown
    kExitNoLock = 4,       // the single-instance lock could not be made
    kExitDisplayLost = 5,  // the display went away while running; the records were saved first
};

} // namespace platform
