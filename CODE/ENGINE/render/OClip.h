#pragma once
#include "core/OFixed.h"
#include "core/ORect.h"
#include "core/Types.h"

class OBitmap;

// One picture placed on the canvas: which store image it shows, where and how
// it is mixed in, plus a snapshot of the state in which the dirty redraw last
// drew it. The redraw compares the two to decide what must be repainted, so
// owners write the live fields only and never the snapshot.
class OClip : public CBase
{
public:
    // Which point of the image (x, y) names: 0 top-left, 1 centre,
    // 2 top-right, 3 bottom-left, 4 bottom-right, 7 bottom centre. Other codes
    // have no placement rule: the sprite stays where its bounds last put it.
    u8 anchor = 0;
    u8 mode = 0; // state byte of subclasses; drawing never reads it
    u8 visible = 0;
    i8 drawMode = 6; // 6: the image's own format; 15: paints itself; 11: line
    u8 subPixel = 0;
    u8 opacity = 0;
    OFixed frame{}; // store index; the integer part is shown, so animations may step by fractions
    OFixed x{};
    OFixed y{};
    u32 lineColor = 0;
    const void* palette = nullptr; // 256 entries of 4 bytes, for draw modes 10 and 12
    u8 flip = 0;                   // bit 0 mirrors left-right, bit 1 top-bottom
    // Verdict of the last dirty collection: 0 unchanged, 1 hidden since last
    // drawn, 2 shown since, 3 changed while shown. Bit 1 set means drawn whole.
    u8 changed = 0;
    u8 drawnVisible = 0;
    OFixed drawnX{};
    OFixed drawnY{};
    OFixed drawnFrame{};
    u8 drawnOpacity = 0;
    ORect bounds{}; // canvas pixels covered as last placed (inclusive)
    ORect drawnBounds{};
    const void* drawnPalette = nullptr;
    u8 drawnFlip = 0;

    OClip();
    virtual ~OClip();
    virtual void SetMode(u8 newMode);
    virtual void Update();
    // Drawing of a draw-mode-15 sprite, limited to clipRect; a subclass that
    // paints itself also keeps `bounds` up to date.
    virtual void Paint(OBitmap* canvas, const ORect* clipRect);

    u8 GetMode() const { return mode; }
    bool IsMode(u8 m) const { return mode == m; }
    void SetPosition(const OFixed& newX, const OFixed& newY);
    // Orders the corners of `bounds` and records in `anchor` which were
    // exchanged (0 none, 2 left-right, 3 top-bottom, 4 both): a line sprite
    // keeps its two end points as the corners and its direction in `anchor`.
    void NormalizeRect();
};
