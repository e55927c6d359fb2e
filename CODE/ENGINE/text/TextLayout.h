#pragma once
// The layout rules of a line of glyph pictures, shared by the glyph sprites
// of GString and the sprite-less text block, so that both put every glyph on
// the same pixel.
#include "core/OFixed.h"
#include "core/ORect.h"
#include "core/Types.h"

class GCharMap;
class OBitmap;

namespace textlayout
{

// The picture of a store frame, or null when the store holds none there.
OBitmap* Picture(const GCharMap& map, u16 frame);

// What one character of a text shows: the frame and its picture, or no
// picture for a blank, a code the map has no glyph for, or a glyph whose
// picture is missing from the store. All three are laid out as blanks, so
// nothing is drawn for them and no other picture of the store stands in.
// Lower case without a glyph of its own falls back to the capital.
struct Glyph
{
    u16 frame = 0;
    OBitmap* picture = nullptr;
};
Glyph Resolve(const GCharMap& map, u8 c, u32 variant);

// Advance of a character along the line: the blank advance for a blank,
// else the picture's size (or the reference character's, with fixed pitch);
// the spacing is added to both.
i16 Advance(const GCharMap& map, const OBitmap* picture);

// The placed line: its rectangle (before the 3-pixel margin), the step of a
// blank and the size across the line (the reference character's height).
struct Line
{
    bool column = false; // the text runs downwards
    ORect rect;
    i16 blankStep = 0;
    i16 across = 0;
};

// The rectangle of a text of the given total advance and blank count at
// (x, y) by the map's alignment, as a row or a column. Alignments 5 and
// above keep `previous`; 5 stretches the blanks to fill it.
Line Place(const GCharMap& map, bool column, OFixed x, OFixed y, i16 total, i16 blanks,
           const ORect& previous);

// Where the glyph at `pen` along the line goes; false when the layout does
// not move glyphs (vertical text with an alignment above 5).
bool GlyphAt(const GCharMap& map, const Line& line, i16 pen, const OBitmap* picture, i16* px, i16* py);

// How far the pen moves past a glyph (blank: the line's blank step).
i16 Step(const GCharMap& map, const Line& line, const OBitmap* picture, bool blank);

// The stored rectangle: 3 pixels wider than the text on every side.
ORect Widen(const ORect& r);

} // namespace textlayout
