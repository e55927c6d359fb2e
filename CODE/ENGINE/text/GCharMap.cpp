#include "text/GCharMap.h"

#include "core/OTick.h"

namespace
{

// The built-in glyph number of a code from 33 to 255, -1 for none.
i16 BuiltInGlyph(int code)
{
    if (code >= 39 && code <= 58)
        return static_cast<i16>(code - 39);
    if (code >= 64 && code <= 90)
        return static_cast<i16>(20 + code - 64);
    if (code >= 97 && code <= 122)
        return static_cast<i16>(47 + code - 97);
    return -1;
}

} // namespace

GCharMap::GCharMap()
{
    for (u8& c : charTable)
        c = 0;
    i16 highest = 0;
    for (int i = 0; i < kTableSize; ++i)
    {
        const i16 g = BuiltInGlyph(firstChar + i);
        glyphIndex[i] = g;
        if (g >= 0)
        {
            charTable[g] = static_cast<u8>(firstChar + i);
            if (g > highest)
                highest = g;
        }
    }
    // The extra glyphs follow the built-in ones, so a picture set that has
    // them simply continues after z.
    for (int i = 0; i < kExtraCount; ++i)
        extraGlyph[i] = static_cast<u16>(highest + 1 + i);
    random.SetSeed(GetTickCountMs());
}

i16 GCharMap::GetGlyphIndex(u8 c) const
{
    if (extraGlyphs != 0 && c >= kExtraFirst && c < kExtraFirst + kExtraCount)
        return static_cast<i16>(extraGlyph[c - kExtraFirst]);
    const int i = c - firstChar;
    if (i < 0 || i >= kTableSize)
        return -1;
    return glyphIndex[i];
}

u16 GCharMap::GetFrame(u8 c, u32 variant) const
{
    const u16 base = variant != 0 ? baseFrame : altBaseFrame;
    return static_cast<u16>(base + GetGlyphIndex(c));
}

char GCharMap::GetChar(i16 glyph) const
{
    if (glyph < 0 || glyph >= kTableSize)
        return 0;
    return static_cast<char>(charTable[glyph]);
}
