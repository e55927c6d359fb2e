#pragma once
#include "core/Types.h"
#include "window/OWindow.h"

#include <vector>

class GGame;
class GGlobal;
class GPtrArray;
class OBitmapStore;
class OEngine;
class ORectList;

// The application's window object: it owns the application object, the
// display list and dirty-rectangle list that every screen shares, and the
// stack of screens, and hands frames and input to the screen on top.
class GWindow : public OWindow
{
public:
    // Capacity of the shared display list and of the dirty-rectangle list.
    static constexpr u16 kSharedListCapacity = 5000;
    static constexpr u32 kFrameInterval = 50;
    // The start-up pack: its folder, the run-time slots, and the image
    // indices reserved for the packs the levels load into fixed ranges.
    static constexpr const char* kResolutionFolder = "800x600";
    static constexpr u16 kImageSlots = 2000;
    static constexpr u16 kReservedImages = 9050;

    GWindow();
    ~GWindow() override;

    u32 OnCreate() override;
    void OnExit() override;
    void OnFrame(u16 elapsedMs) override;
    void OnLButtonDown(i16 px, i16 py) override;
    void OnLButtonDblClk(i16 px, i16 py) override;
    void OnLButtonUp(i16 px, i16 py) override;
    void OnKeyDown(u32 key) override;
    void OnKeyUp(u32 key) override;
    void OnChar(u32 character) override;
    void OnActivate() override;
    void OnDeactivate() override;
    void OnMouseMove(i16 px, i16 py) override;
    void OnRButtonDown(i16 px, i16 py) override;
    void OnRButtonUp(i16 px, i16 py) override;
    // The numbered window commands and the close-and-run step arrive with
    // the screens; until then neither has anything to run.
    virtual void OnCommand(u16 command);
    virtual void CloseTopAndRun();

    GGame* GetGame() const { return game; }
    GGlobal* GetGlobal() const { return global; }
    GPtrArray* GetClips() const { return clips; }
    ORectList* GetDirtyRects() const { return dirtyRects; }
    OBitmapStore* GetImageStore() const { return imageStore; }

    // The screen stack; the window owns the screens on it.
    void PushScreen(OEngine* screen);
    OEngine* GetTopScreen() const { return screens.empty() ? nullptr : screens.back(); }
    size_t GetScreenCount() const { return screens.size(); }

private:
    GGlobal* global = nullptr;
    GPtrArray* clips = nullptr;
    ORectList* dirtyRects = nullptr;
    OBitmapStore* imageStore = nullptr;
    GGame* game = nullptr;
    std::vector<OEngine*> screens;
    // The screen that was on top when the last key went down.
    OEngine* keyDownScreen = nullptr;
};
