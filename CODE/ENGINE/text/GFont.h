#pragma once
#include "core/ORect.h"
#include "core/Types.h"

class OBitmap;

// A proportional font whose glyphs are coverage masks in the alpha plane of
// one picture, painted pixel by pixel into a 24-bit bitmap in one colour.
//
// Picture format: row 0 of the alpha plane holds little-endian i16 values,
// two header values (whose sum is the line height) and then, for each code
// from 32 to the last character, the glyph's place x in the picture, its
// left bearing, width and right bearing. From row 1 on lie the masks, one
// line height deep; the mask of a glyph of width w covers the columns x - 1
// to x + w - 2. A mask byte of 255 is no ink, 0 full ink.
class GFont
{
public:
    static constexpr int kFirstCode = 32;
    static constexpr int kMaxGlyphs = 255;

    i16 spaceAdvance = 0;
    i16 lineHeight = 0;
    i16 header[2] = {0, 0};
    u8 lastChar = 0;
    u8 glyphCount = 0; // codes 32 to lastChar
    // Per code from 32: x, left bearing, width, right bearing.
    i16 metrics[kMaxGlyphs][4] = {};
    OBitmap* picture = nullptr; // borrowed

    // Reads the metrics from row 0 of the picture's alpha plane. Values that
    // row 0 is too short to hold read as 0, so such glyphs draw nothing.
    GFont(OBitmap* picture, u16 spaceAdvance, u8 lastChar);

    void SetSpaceWidth(u16 width);
    // Blanks advance by the space advance, codes 33 to the last character by
    // their bearings and width; other codes add nothing.
    i16 GetTextWidth(const char* text) const;
    i16 GetTextWidthN(const char* text, i16 n) const;
    // a + (b - a - line height) / 2; the text is not used.
    i16 CenterVertically(const char* text, i16 a, i16 b) const;
    i16 CenterHorizontally(const char* text, i16 a, i16 b) const;

    // The painters put the text with (x, y) as the top-left corner of its
    // line. A start point outside the target, or a line that does not fit
    // below it, replaces the clip by the whole target. Nothing is ever
    // written outside the target, and codes above the last character draw
    // nothing and take no room.
    //
    // DrawString: inked pixels take the colour and their mask byte goes into
    // the target's alpha plane; a blank is the glyph of code 32.
    void DrawString(OBitmap* target, i16 x, i16 y, const char* text, u32 colour, const ORect* clip) const;
    // Mask byte a: c + ((d - c) a >> 8).
    void DrawText(OBitmap* target, i16 x, i16 y, const char* text, u32 colour, const ORect* clip) const;
    // Mask byte a: d + ((c - d) (255 - a) opacity >> 16).
    void DrawTextBlend(OBitmap* target, i16 x, i16 y, const char* text, u32 colour, u8 opacity,
                       const ORect* clip) const;
    void DrawTextBlendUnused(OBitmap* target, i16 x, i16 y, const char* text, u32 colour, u8 opacity,
                             const ORect* clip) const;

private:
    enum class Painter
    {
        String,
        Text,
        Blend
    };
    void Paint(Painter kind, OBitmap* target, int x, int y, const char* text, u32 colour, u8 opacity,
               const ORect* clip) const;
    i16 GlyphAdvance(u8 c) const;
};
