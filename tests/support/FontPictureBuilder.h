#pragma once
// Pictures for the bitmap font: metrics in row 0 of the alpha plane, glyph
// masks below, laid out the way the font reads them.
#include "image/OBitmap.h"

#include <algorithm>
#include <random>
#include <vector>

namespace testsupport
{

struct FontSpec
{
    i16 header0 = 9;
    i16 header1 = 3; // line height = header0 + header1
    u8 lastChar = 126;
    int minWidth = 1, maxWidth = 9;
    int minBearing = -1, maxBearing = 2;
    int inkPercent = 40; // share of mask bytes that carry some ink
};

// Glyph g (code 32 + g) gets a random width and bearings; its mask lies at
// columns x - 1 to x + w - 2 with x - 1 running on from the previous glyph.
inline OBitmap* MakeFontPicture(std::mt19937& rng, const FontSpec& spec)
{
    const int count = spec.lastChar >= 31 ? spec.lastChar - 31 : 0;
    std::vector<i16> values = {spec.header0, spec.header1};
    int column = 0;
    auto pick = [&](int lo, int hi) { return lo + static_cast<int>(rng() % static_cast<u32>(hi - lo + 1)); };
    for (int g = 0; g < count; ++g)
    {
        const int w = pick(spec.minWidth, spec.maxWidth);
        values.insert(values.end(),
                      {static_cast<i16>(column + 1), static_cast<i16>(pick(spec.minBearing, spec.maxBearing)),
                       static_cast<i16>(w), static_cast<i16>(pick(spec.minBearing, spec.maxBearing))});
        column += w;
    }
    const int height = spec.header0 + spec.header1 + 1;
    const int width = std::max<int>(column, 2 * static_cast<int>(values.size()));
    OBitmap* picture =
        CreateBitmap(static_cast<u16>(width), static_cast<u16>(height), 0, 2, nullptr, nullptr);
    u8* a = picture->GetAlpha();
    for (int i = 0; i < width * (height + 1) + 1; ++i)
    {
        const int p = pick(0, 99);
        a[i] = p >= spec.inkPercent ? 255 : p < spec.inkPercent / 3 ? 0 : static_cast<u8>(rng());
    }
    for (size_t i = 0; i < values.size(); ++i)
    {
        a[2 * i] = static_cast<u8>(values[i]);
        a[2 * i + 1] = static_cast<u8>(static_cast<u16>(values[i]) >> 8);
    }
    for (int i = 2 * static_cast<int>(values.size()); i < width; ++i)
        a[i] = 0;
    return picture;
}

} // namespace testsupport
