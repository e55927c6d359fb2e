#pragma once
#include "core/OFixed.h"
#include "core/ORect.h"
#include "core/Types.h"
#include "text/TextLayout.h"

class GCharMap;
class OBitmap;

// A line of glyph pictures measured and placed by the same rules as GString,
// without sprites: each glyph is blended straight onto a bitmap.
class GTextBlock
{
public:
    static constexpr int kMaxLength = 255;

    OFixed x = OFixed::FromInt(0); // reference point
    OFixed y = OFixed::FromInt(0);
    i16 length = 0;              // characters kept
    u16 extent = 0;              // total advance
    GCharMap* charMap = nullptr; // borrowed
    char text[kMaxLength + 1] = {};
    ORect rect{}; // the laid-out text, 3 pixels wider on every side

    // Keeps a copy of the text (its first kMaxLength characters) and places
    // it at the reference point with map, or with the current map when null.
    void SetText(const char* newText, GCharMap* map);
    // Moves the reference point; the text keeps its place relative to it.
    void Move(const OFixed& newX, const OFixed& newY);
    // Blends every glyph onto target, limited to clip when given.
    void Draw(OBitmap* target, const ORect* clip) const;

private:
    textlayout::Line line{};
    // The reference point the line was laid out at: glyphs are drawn where
    // the layout put them plus the 24.8 distance moved since, so fractional
    // moves add up as they do for a line's glyph sprites.
    OFixed layoutX = OFixed::FromInt(0);
    OFixed layoutY = OFixed::FromInt(0);
};
