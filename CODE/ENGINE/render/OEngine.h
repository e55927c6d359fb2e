#pragma once
#include "core/ORect.h"
#include "core/Types.h"

class OBitmap;
class OBitmapStore;
class OClip;
class OWindow;
class GPtrArray;
class ORectList;

// The compositor of one screen: it refers to everything drawing needs (the
// window's canvas, the image store, the display list and dirty list shared by
// all screens) and owns none of it. Every screen derives from it; the window
// forwards its input to the top screen's slots.
class OEngine : public CBase
{
public:
    u8 state = 0;
    OBitmap* canvas = nullptr;
    OWindow* window = nullptr;
    OBitmapStore* imageStore = nullptr;
    GPtrArray* clips = nullptr;
    ORectList* dirtyRects = nullptr;
    u32 backgroundColor = 0; // 0xRRGGBB
    // 1: areas are filled with backgroundColor before sprites are drawn;
    // any other value leaves the canvas's old pixels under the sprites.
    u8 backgroundMode = 0;

    OEngine();
    virtual ~OEngine();
    virtual int OnInit();
    virtual int OnPush();
    // Per-frame step; calls every listed sprite's Update.
    virtual int Update();
    virtual int OnKeyDown(u32 key);
    virtual int OnKeyUp(u32 key);
    virtual int OnChar(u32 character);
    virtual int OnLButtonDown(i16 x, i16 y);
    virtual int OnLButtonDblClk(i16 x, i16 y);
    virtual int Reserved9(i16 x, i16 y);
    virtual int OnLButtonUp(i16 x, i16 y);
    virtual int OnMouseMove(i16 x, i16 y);
    virtual int Reserved12();
    virtual int OnMouseHover(i16 x, i16 y);
    virtual int OnRButtonDown(i16 x, i16 y);
    virtual int OnRButtonUp(i16 x, i16 y);
    virtual void SetState(u8 newState);
    virtual void Reserved17(u32 a, u32 b, u32 c);

    int DefaultKeyInput(u32 key);
    int DefaultMouseInput(i16 x, i16 y);

    static OEngine* Create(OWindow* window, OBitmapStore* store, GPtrArray* clips, ORectList* dirtyRects);
    // Binds the engine to the window's canvas, the store and the shared lists,
    // then runs OnInit and returns its result.
    int Init(OWindow* window, OBitmapStore* store, GPtrArray* clips, ORectList* dirtyRects);
    // Draw into bitmap from now on, or into the window's canvas when null.
    void SetCanvas(OBitmap* bitmap);
    // Appends to the display list (drawn last, so on top); false when full.
    bool AddClip(OClip* clip);
    // Takes the first entry equal to clip out of the list, keeping the order.
    void RemoveClip(OClip* clip);
    void FillBackground(int lock);

    // Full repaint from display-list index `first` on; with a rect, the same
    // as DrawClipped.
    void Draw(i32 first, const ORect* rect);
    // Repaints the part of the canvas inside rect, background first.
    void DrawClipped(i32 first, const ORect* rect);
    // DrawClipped into another bitmap, without locking it.
    void DrawUnused(OBitmap* target, i32 first, const ORect* rect);

    // The per-frame redraw: repaints only what changed since the sprites were
    // last drawn and returns 1 with area = the bounding rectangle of the
    // repainted areas, or 0 (area untouched) when nothing changed. With
    // addArea, area is repainted too and the result is always 1.
    int RedrawDirty(ORect* area, u8 addArea, i16 first);
    void CollectDirtyRects(OClip* clip);
    void CollectDirtyRectsSubpixel(OClip* clip);
    void DrawClipInRects(OClip* clip);
    void DrawClipInRectsSubpixel(OClip* clip);
    // The redraw without flips and palettes but with line sprites (draw
    // mode 11): a horizontal or vertical line between two corners of bounds.
    int RedrawDirtyUnused(ORect* area, u8 addArea, i16 first);

private:
    int Redraw(ORect* area, u8 addArea, i16 first, bool lines);
    void Collect(OClip* clip, bool subPixel, bool lines);
    // meets: bit i clear when the sprite's bounds miss dirty rectangle i.
    void Repaint(OClip* clip, bool subPixel, bool lines, u32 meets);
    ORect DirtyBox();
    void CollectLine(OClip* clip);
    void RepaintLine(OClip* clip);
    void DrawList(OBitmap* target, i32 first, const ORect& r);
    bool LockCanvas();
    void UnlockCanvas();
};
