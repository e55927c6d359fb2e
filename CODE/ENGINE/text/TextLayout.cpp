#include "text/TextLayout.h"

#include "image/OBitmap.h"
#include "render/ClipDraw.h"
#include "text/GCharMap.h"

#include <algorithm>

namespace textlayout
{

OBitmap* Picture(const GCharMap& map, u16 frame)
{
    return clipdraw::LookupImage(map.imageStore, OFixed::FromInt(frame));
}

Glyph Resolve(const GCharMap& map, u8 c, u32 variant)
{
    Glyph g;
    if (c == ' ')
        return g;
    if (c >= 'a' && c <= 'z' && map.GetGlyphIndex(c) < 0)
        c = static_cast<u8>(c - 32);
    if (map.GetGlyphIndex(c) < 0)
        return g;
    g.frame = map.GetFrame(c, variant);
    g.picture = Picture(map, g.frame);
    return g;
}

namespace
{

i16 Along(bool column, const OBitmap* picture)
{
    if (picture == nullptr)
        return 0;
    return static_cast<i16>(column ? picture->height : picture->width);
}

// The size of a glyph along the line: its own, or with fixed pitch that of
// the height reference for a column and of the width reference for a row.
i16 GlyphSize(const GCharMap& map, bool column, const OBitmap* picture)
{
    if (map.fixedPitch != 0)
        picture = Picture(map, map.GetFrame(column ? map.heightRefChar : map.widthRefChar, 1));
    return Along(column, picture);
}

// (v + n) in whole pixels.
i16 Whole(OFixed v, int n)
{
    return static_cast<i16>(OFixed::Add(v, OFixed::FromInt(n)).ToInt());
}

} // namespace

i16 Advance(const GCharMap& map, const OBitmap* picture)
{
    if (picture == nullptr)
        return static_cast<i16>(map.blankAdvance + map.spacing);
    return static_cast<i16>(map.spacing + GlyphSize(map, map.vertical != 0, picture));
}

Line Place(const GCharMap& map, bool column, OFixed x, OFixed y, i16 total, i16 blanks, const ORect& previous)
{
    Line line;
    line.column = column;
    const OBitmap* ref = Picture(map, map.GetFrame(map.heightRefChar, 1));
    line.across = ref != nullptr ? static_cast<i16>(ref->height) : 0;
    line.blankStep = static_cast<i16>(map.blankAdvance + map.spacing);
    // Size of the text across the screen (w) and down (h).
    const int w = column ? line.across : total;
    const int h = column ? total : line.across;
    ORect& r = line.rect;
    switch (map.alignment)
    {
    case 0:
        r.Set(Whole(x, 0), Whole(y, 0), Whole(x, w), Whole(y, h));
        break;
    case 1:
        r.Set(Whole(x, -(w / 2)), Whole(y, -(h / 2)), Whole(x, w / 2), Whole(y, h / 2));
        break;
    case 2:
        r.Set(Whole(x, -w), Whole(y, 0), Whole(x, 0), Whole(y, h));
        break;
    case 3:
        r.Set(Whole(x, 0), Whole(y, -h), Whole(x, w), Whole(y, 0));
        break;
    case 4:
        r.Set(Whole(x, -w), Whole(y, -h), Whole(x, 0), Whole(y, 0));
        break;
    case 5:
    {
        r = previous;
        // The blanks share out whatever room the kept rectangle has beyond
        // the text's own advance.
        const int span = column ? r.bottom - r.top : r.right - r.left;
        const int stretched = (span - total) / std::max<int>(blanks, 1) + map.spacing;
        line.blankStep = static_cast<i16>(std::max<int>(line.blankStep, stretched));
        break;
    }
    default:
        r = previous;
        break;
    }
    return line;
}

bool GlyphAt(const GCharMap& map, const Line& line, i16 pen, const OBitmap* picture, i16* px, i16* py)
{
    if (!line.column)
    {
        *px = pen;
        *py = line.rect.top;
        return true;
    }
    const int w = picture != nullptr ? picture->width : 0;
    switch (map.alignment)
    {
    case 0:
    case 3:
    case 5:
        *px = line.rect.left;
        break;
    case 1:
        *px = static_cast<i16>(line.rect.left + (line.across - w) / 2);
        break;
    case 2:
    case 4:
        *px = static_cast<i16>(line.rect.right - w);
        break;
    default:
        return false;
    }
    *py = pen;
    return true;
}

i16 Step(const GCharMap& map, const Line& line, const OBitmap* picture, bool blank)
{
    if (blank)
        return line.blankStep;
    return static_cast<i16>(map.spacing + GlyphSize(map, line.column, picture));
}

ORect Widen(const ORect& r)
{
    return ORect(static_cast<i16>(r.left - 3), static_cast<i16>(r.top - 3), static_cast<i16>(r.right + 3),
                 static_cast<i16>(r.bottom + 3));
}

} // namespace textlayout
