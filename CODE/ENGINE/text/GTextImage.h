#pragma once
#include "core/Types.h"
#include "render/OClip.h"

class GFont;
class OBitmap;
class OEngine;

// A sprite showing text rendered with a GFont into an image of its own (24-bit
// with an alpha plane, which DrawString fills with the glyph masks). The
// owner makes the image and points the sprite's frame at it.
class GTextImage
{
public:
    u32 reserved = 0;
    OBitmap* image = nullptr;
    OClip clip;

    // Adds the sprite to the display list, shown and marked as not drawn
    // before.
    void AddToEngine(OEngine* engine);
    // White pixels, transparent alpha; the sprite is drawn anew.
    void Clear();
    // Paints text in black at (x, y), after clearing when `clear` is set.
    void Render(const char* text, i16 x, i16 y, GFont* font, u32 clear);
    // Renders the text centred in the image; the image is always cleared.
    void RenderCentred(const char* text, GFont* font, u32 clear);
};
