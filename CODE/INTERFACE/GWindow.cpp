#include "INTERFACE/GWindow.h"

#include "INTERFACE/GGame.h"
#include "INTERFACE/GGlobal.h"
#include "image/OBitmapStore.h"
#include "platform/Backend.h"
#include "render/GPtrArray.h"
#include "render/OEngine.h"
#include "render/ORectList.h"

#include <new>

GWindow::GWindow() = default;

GWindow::~GWindow()
{
    for (auto it = screens.rbegin(); it != screens.rend(); ++it)
        delete *it;
    screens.clear();
    delete global;
    delete imageStore;
    delete clips;
    delete dirtyRects;
}

u32 GWindow::OnCreate()
{
    SetFrameStats(0);
    SetFrameInterval(kFrameInterval);

    clips = GPtrArray::Create(kSharedListCapacity);
    dirtyRects = ORectList::Create(kSharedListCapacity);
    if (!clips || !dirtyRects)
        return 0;

    global = new (std::nothrow) GGlobal(this);
    if (!global)
        return 0;
    global->Init();

    // A pack that cannot be loaded ends the process here, before the window
    // is shown.
    imageStore = OBitmapStore::Create(kResolutionFolder, kImageSlots, kReservedImages);
    global->imageStore = imageStore;

    OnFrame(0);
    SetCaption(title);
    ShowCursor(0, 0);
    SetFullScreen(1);
    return 1;
}

void GWindow::OnExit()
{
    // Without the application object nothing was read, and writing empty
    // records would overwrite the player's files.
    if (global)
        global->SaveRecords();
}

void GWindow::OnFrame(u16)
{
    if (OEngine* top = GetTopScreen())
        top->Update();
}

void GWindow::PushScreen(OEngine* screen)
{
    if (screen)
        screens.push_back(screen);
}

void GWindow::OnCommand(u16) {}

void GWindow::CloseTopAndRun() {}

void GWindow::OnLButtonDown(i16 px, i16 py)
{
    if (OEngine* top = GetTopScreen())
        top->OnLButtonDown(px, py);
}

void GWindow::OnLButtonDblClk(i16 px, i16 py)
{
    if (OEngine* top = GetTopScreen())
        top->OnLButtonDblClk(px, py);
}

void GWindow::OnLButtonUp(i16 px, i16 py)
{
    if (OEngine* top = GetTopScreen())
        top->OnLButtonUp(px, py);
}

void GWindow::OnMouseMove(i16 px, i16 py)
{
    if (OEngine* top = GetTopScreen())
        top->OnMouseMove(px, py);
}

void GWindow::OnRButtonDown(i16 px, i16 py)
{
    if (OEngine* top = GetTopScreen())
        top->OnRButtonDown(px, py);
}

void GWindow::OnRButtonUp(i16 px, i16 py)
{
    if (OEngine* top = GetTopScreen())
        top->OnRButtonUp(px, py);
}

void GWindow::OnKeyDown(u32)
{
    // Screens act on releases only; remembering the screen keeps a release
    // whose press belonged to a screen that has since closed from reaching
    // the one below it.
    keyDownScreen = GetTopScreen();
}

void GWindow::OnKeyUp(u32 key)
{
    OEngine* top = GetTopScreen();
    if (top && top == keyDownScreen)
        top->OnKeyUp(key);
}

void GWindow::OnChar(u32 character)
{
    if (OEngine* top = GetTopScreen())
        top->OnChar(character);
}

void GWindow::OnActivate()
{
    platform::Backend& backend = platform::GetBackend();
    backend.SetScreenSaverActive(false);
    backend.ShowCursor(false);
    OWindow::OnActivate();
}

void GWindow::OnDeactivate()
{
    platform::Backend& backend = platform::GetBackend();
    backend.SetScreenSaverActive(true);
    backend.ShowCursor(true);
    OWindow::OnDeactivate();
}
