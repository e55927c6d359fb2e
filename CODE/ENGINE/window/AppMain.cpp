#include "window/AppMain.h"

#include "services/OFile.h"
#include "platform/NamedMutex.h"
#include "platform/OMessageBox.h"
#include "window/OWindow.h"

namespace
{

constexpr const char* kAppName = "ZORBLET";
constexpr u16 kClientWidth = 800;
constexpr u16 kClientHeight = 600;

} // namespace

int AppMain(WindowFactory newWindow)
{
    ResetBaseDir();
    OWindow* window = newWindow ? newWindow() : nullptr;
    if (!window)
    {
        Alert("Not enough memory!! Close some application then try again!");
        return 2;
    }
    int result = 0;
    if (window->Create(kAppName, kAppName, kClientWidth, kClientHeight))
    {
        window->OnStart();
        window->Show();
        window->Run();
    }
    else
    {
        Alert("Cannot initialize the application! Please reinstall.");
        result = 1;
    }
    delete window;
    return result;
}

int WinMain(WindowFactory newWindow)
{
    // Held until the process ends, so a second copy started at any time
    // while this one runs finds the name taken.
    static platform::NamedMutex instanceMutex;
    if (instanceMutex.Create(kAppName) != platform::NamedMutex::Result::Created)
        return 0;
    AppMain(newWindow);
    return 0;
}
