#pragma once
#include "core/ORandom.h"
#include "core/Types.h"

class OBitmapStore;

// A bitmap font for glyph sprites: which glyph number each character code
// shows, where the glyph pictures start in the image store, and how a line
// of text drawn with it is laid out. Every font picture set is ordered the
// same way, so the glyph numbers are built in:
//   0 to 19   ' ( ) * + , - . / 0 1 2 3 4 5 6 7 8 9 :   (codes 39 to 58)
//   20 to 46  @ A to Z                                   (codes 64 to 90)
//   47 to 72  a to z                                     (codes 97 to 122)
// and, when `extraGlyphs` is set, 73 to 104 for the codes 192 to 223.
// The owner sets the base frames, the store and the layout fields directly.
class GCharMap
{
public:
    static constexpr int kTableSize = 223; // codes 33 to 255
    static constexpr int kExtraCount = 32; // codes 192 to 223
    static constexpr u8 kExtraFirst = 192;

    u16 baseFrame = 0;                  // store index of glyph 0 of the regular set
    u16 altBaseFrame = 0;               // store index of glyph 0 of the alternate set
    i8 blankAdvance = 5;                // advance of a blank before the spacing
    i8 spacing = 0;                     // added after every glyph and every blank
    u8 alignment = 0;                   // 0 to 5, see GString's layouts
    u32 vertical = 0;                   // non-zero: one glyph under the other
    u32 fixedPitch = 0;                 // non-zero: every glyph advances like the reference
    OBitmapStore* imageStore = nullptr; // text is laid out only once it is set
    i16 glyphIndex[kTableSize];         // by code - firstChar; -1 for none
    u16 extraGlyph[kExtraCount];
    u8 charTable[kTableSize]; // character of each glyph number, 0 for none
    u8 firstChar = '!';
    u8 heightRefChar = '0'; // line height, column width, vertical pitch
    u8 widthRefChar = '0';  // horizontal pitch
    ORandom random;         // fly-away velocities
    u8 extraGlyphs = 0;

    GCharMap();

    // Glyph number of c, or -1 when the map has none: codes below the first
    // character have no entry at all and count as having no glyph.
    i16 GetGlyphIndex(u8 c) const;
    // baseFrame (variant non-zero) or altBaseFrame (variant 0) plus the glyph
    // number, modulo 65536. A code without a glyph names the picture just
    // before glyph 0; callers that show pictures ask GetGlyphIndex first.
    u16 GetFrame(u8 c, u32 variant) const;
    // The character glyph number `glyph` shows, 0 for none or out of range.
    char GetChar(i16 glyph) const;
};
