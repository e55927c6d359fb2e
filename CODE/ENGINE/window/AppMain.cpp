#include "window/AppMain.h"

#include "platform/Backend.h"
#include "platform/ExitCodes.h"
#include "platform/OMessageBox.h"
#include "platform/Termination.h"
#include "platform/files/NamedMutex.h"
#include "services/OFile.h"
#include "window/OWindow.h"

#include <cstdio>
#include <string>
#include <sys/stat.h>

namespace
{

constexpr const char* kAppName = "ZORBLET";
constexpr u16 kClientWidth = 800;
constexpr u16 kClientHeight = 600;

// The window whose records are saved when the display goes away.
OWindow* runningWindow = nullptr;

void SaveBeforeLeaving()
{
    // The exit slot writes the records; the game's exit touches no display.
    if (runningWindow)
        runningWindow->OnExit();
}

} // namespace

int AppMain(WindowFactory newWindow)
{
    ResetBaseDir();
    OWindow* window = newWindow ? newWindow() : nullptr;
    if (!window)
    {
        Alert("Not enough memory!! Close some application then try again!");
        return platform::kExitNoMemory;
    }
    runningWindow = window;
    platform::SetDisplayLostHandler(&SaveBeforeLeaving);
    int result = platform::kExitOk;
    if (window->Create(kAppName, kAppName, kClientWidth, kClientHeight))
    {
        window->OnStart();
        window->Show();
        window->Run();
    }
    else
    {
        Alert("Cannot initialize the application! Please reinstall.");
        result = platform::kExitCannotCreate;
    }
    // From here on there is nothing left to save.
    runningWindow = nullptr;
    delete window;
    return result;
}

int WinMain(WindowFactory newWindow, RecordsLocker lockRecords)
{
    // First of all: even the lock's own failure notice below must not be
    // able to end the process.
    platform::IgnoreWriteFailureSignals();
    // Whatever umask the player starts it with, every folder the game makes
    // is exactly 0700 and every file 0600: the player's alone, and never one
    // its owner cannot enter (mending such a folder afterwards would take
    // /proc, which is not always there).
    ::umask(077);
    // Held until the process ends, so a second copy started at any time
    // while this one runs finds the name taken.
    static platform::NamedMutex instanceMutex;
    using Result = platform::NamedMutex::Result;
    if (instanceMutex.Create(kAppName) == Result::AlreadyExists ||
        (lockRecords && lockRecords(instanceMutex) == Result::AlreadyExists))
        return platform::kExitOk;
    if (!instanceMutex.Holds())
    {
        std::fprintf(stderr,
                     "ZORBLET cannot start: %s. This lock is what keeps a second copy from running; make "
                     "XDG_RUNTIME_DIR (or /tmp) a folder of yours that you can write.\n",
                     instanceMutex.GetProblem().c_str());
        return platform::kExitNoLock;
    }
    std::string problem;
    if (!platform::StartBackend(&problem))
    {
        std::fprintf(stderr, "ZORBLET cannot start. %s\n", problem.c_str());
        return platform::kExitNoDisplay;
    }
    platform::CatchTerminationSignals();
    return AppMain(newWindow);
}
