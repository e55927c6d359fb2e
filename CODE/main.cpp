#include "INTERFACE/GGlobal.h"
#include "INTERFACE/GWindow.h"
#include "window/AppMain.h"

#include <new>

namespace
{

OWindow* NewGameWindow()
{
    return new (std::nothrow) GWindow();
}

} // namespace

int main()
{
    return WinMain(&NewGameWindow, &GGlobal::LockRecords);
}
