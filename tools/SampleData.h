#pragma once
// The sample data the program starts on, drawn by code so that nothing binary
// is kept in the repository: the pack of the folder "800x600".
#include "PackWriter.h"

namespace tools
{

// Glyph g of the bitmap-text font: glyph 9 ('0') is named kDigitsGlyphName,
// the others "FONT0_G" and the glyph number in three digits. Glyph images are
// consecutive image indices starting at the first record of the pack.
inline constexpr const char* kDigitsGlyphName = "FONT0_DIGITS";
inline constexpr int kGlyphCount = 105;
// The character a glyph shows: 0 to 72 the built-in set, 73 to 104 the codes
// 192 to 223.
int GlyphCharacter(int glyph);

// The same glyphs as a bitmap font picture (an image of format 14 whose
// alpha plane holds the metrics in row 0 and the coverage masks below), for
// the codes 32 to kBitmapFontLastChar; codes without a glyph draw nothing and
// take no room. Its owner gives the font kBitmapFontSpace as the space advance.
inline constexpr const char* kBitmapFontName = "FONT0_BITMAP";
inline constexpr u8 kBitmapFontLastChar = 223;
inline constexpr u16 kBitmapFontSpace = 8;

// The records of the start-up pack, in data files.
PackFiles MakeSamplePack();

// The pictures of the sample's data files "Data<number>.dat": a JPM picture
// with an alpha plane (scrambled from kSampleJpmKey), a 32-bit TGA picture, a
// scrambled plain JPEG picture and an 8-bit grey TGA picture.
inline constexpr u8 kSampleJpmKey = 0xB3;
struct SampleDataFile
{
    int number;
    std::vector<u8> bytes;
};
std::vector<SampleDataFile> MakeSampleDataFiles();

} // namespace tools
