#include "platform/OMessageBox.h"

#include "platform/Backend.h"

#include <cstdio>
#include <cstdlib>

void ShowMessageBox(const char* text, const char* caption)
{
    using namespace platform;
    MessageQueue& queue = MessageQueue::ForThisThread();
    // A box raised while the program is quitting would be closed at once by
    // the waiting quit request; it is held back while the box shows.
    i32 exitCode = 0;
    bool hadQuit = queue.TakeQuit(&exitCode);
    GetBackend().MessageBox(GetActiveWindow(), text ? text : "", caption ? caption : "",
                            MB_OK | MB_ICONINFORMATION | MB_TASKMODAL | MB_SETFOREGROUND);
    if (hadQuit)
        queue.PostQuit(exitCode);
}

void Alert(const char* text)
{
    ShowMessageBox(text, "Alert");
}

void FatalError(const char* text)
{
    ShowMessageBox(text, "Exception");
    std::exit(0);
}

void AlertHex(u32 n)
{
    char text[16];
    std::snprintf(text, sizeof text, "%X", n);
    Alert(text);
}

void AlertInt(i32 n)
{
    char text[16];
    std::snprintf(text, sizeof text, "%d", n);
    Alert(text);
}
