#include "render/OClip.h"

OClip::OClip()
{
    frame.raw = 0;
    x.raw = 0;
    y.raw = 0;
    drawnX.raw = 0;
    drawnY.raw = 0;
    drawnFrame.raw = 0;
    bounds.left = bounds.top = bounds.right = bounds.bottom = 0;
    drawnBounds = bounds;
}

OClip::~OClip() = default;

void OClip::SetMode(u8 newMode)
{
    mode = newMode;
}

void OClip::Update() {}

void OClip::Paint(OBitmap*, const ORect*) {}

void OClip::SetPosition(const OFixed& newX, const OFixed& newY)
{
    x = newX;
    y = newY;
}

void OClip::NormalizeRect()
{
    bool swappedX = false;
    bool swappedY = false;
    if (bounds.left > bounds.right)
    {
        const i16 t = bounds.left;
        bounds.left = bounds.right;
        bounds.right = t;
        swappedX = true;
    }
    if (bounds.top > bounds.bottom)
    {
        const i16 t = bounds.top;
        bounds.top = bounds.bottom;
        bounds.bottom = t;
        swappedY = true;
    }
    anchor = swappedX ? (swappedY ? 4 : 2) : (swappedY ? 3 : 0);
}
