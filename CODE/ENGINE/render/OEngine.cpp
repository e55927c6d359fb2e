#include "render/OEngine.h"

#include "render/Blit.h"
#include "render/GPtrArray.h"
#include "render/OClip.h"
#include "render/ORectList.h"
#include "window/OSysBitmap.h"
#include "window/OWindow.h"

#include <new>

OEngine::OEngine() = default;

// The engine borrows everything it points at; the window frees the canvas,
// the lists and the store.
OEngine::~OEngine() = default;

int OEngine::OnInit()
{
    return 1;
}

int OEngine::OnPush()
{
    return 1;
}

int OEngine::Update()
{
    if (clips == nullptr)
        return 1;
    for (i16 i = 0; i < clips->GetCount(); ++i)
        static_cast<OClip*>(*clips->At(i))->Update();
    return 1;
}

int OEngine::OnKeyDown(u32 key)
{
    return DefaultKeyInput(key);
}

int OEngine::OnKeyUp(u32 key)
{
    return DefaultKeyInput(key);
}

int OEngine::OnChar(u32 character)
{
    return DefaultKeyInput(character);
}

int OEngine::OnLButtonDown(i16 x, i16 y)
{
    return DefaultMouseInput(x, y);
}

int OEngine::OnLButtonDblClk(i16 x, i16 y)
{
    return DefaultMouseInput(x, y);
}

int OEngine::Reserved9(i16 x, i16 y)
{
    return DefaultMouseInput(x, y);
}

int OEngine::OnLButtonUp(i16 x, i16 y)
{
    return DefaultMouseInput(x, y);
}

int OEngine::OnMouseMove(i16 x, i16 y)
{
    return DefaultMouseInput(x, y);
}

int OEngine::Reserved12()
{
    return 1;
}

int OEngine::OnMouseHover(i16 x, i16 y)
{
    return DefaultMouseInput(x, y);
}

int OEngine::OnRButtonDown(i16 x, i16 y)
{
    return DefaultMouseInput(x, y);
}

int OEngine::OnRButtonUp(i16 x, i16 y)
{
    return DefaultMouseInput(x, y);
}

void OEngine::SetState(u8 newState)
{
    state = newState;
}

void OEngine::Reserved17(u32, u32, u32) {}

int OEngine::DefaultKeyInput(u32)
{
    return 1;
}

int OEngine::DefaultMouseInput(i16, i16)
{
    return 1;
}

OEngine* OEngine::Create(OWindow* window, OBitmapStore* store, GPtrArray* clips, ORectList* dirtyRects)
{
    auto* engine = new (std::nothrow) OEngine();
    if (engine != nullptr)
        engine->Init(window, store, clips, dirtyRects);
    return engine;
}

int OEngine::Init(OWindow* newWindow, OBitmapStore* store, GPtrArray* newClips, ORectList* newDirtyRects)
{
    window = newWindow;
    imageStore = store;
    clips = newClips;
    dirtyRects = newDirtyRects;
    canvas = window != nullptr ? window->backBuffer : nullptr;
    return OnInit();
}

void OEngine::SetCanvas(OBitmap* bitmap)
{
    if (bitmap == nullptr && window != nullptr)
        bitmap = window->backBuffer;
    canvas = bitmap;
}

bool OEngine::AddClip(OClip* clip)
{
    if (clips == nullptr)
        return false;
    void* item = clip;
    return clips->Add(item) >= 0;
}

void OEngine::RemoveClip(OClip* clip)
{
    if (clips == nullptr)
        return;
    for (i16 i = 0; i < clips->GetCount(); ++i)
    {
        if (*clips->At(i) == clip)
        {
            clips->Erase(i, 1);
            return;
        }
    }
}

bool OEngine::LockCanvas()
{
    if (canvas == nullptr)
        return false;
    // Screens draw into the window's canvas, whose pixels are reachable only
    // while locked; any other bitmap (SetCanvas) is always writable.
    if (auto* sys = dynamic_cast<OSysBitmap*>(canvas))
        sys->Lock();
    // A canvas without pixels (no section could be made) takes no drawing.
    return canvas->GetBits() != nullptr;
}

void OEngine::UnlockCanvas()
{
    if (auto* sys = dynamic_cast<OSysBitmap*>(canvas))
        sys->Unlock();
}

void OEngine::FillBackground(int lock)
{
    bool drawable = true;
    if (lock != 0)
        drawable = LockCanvas();
    else
        drawable = canvas != nullptr && canvas->GetBits() != nullptr;
    if (drawable && backgroundMode == 1)
        FillBitmap24(canvas, backgroundColor);
    if (lock != 0)
        UnlockCanvas();
}
