#include "text/GTextBlock.h"

#include "render/Blit.h"
#include "text/GCharMap.h"

void GTextBlock::SetText(const char* newText, GCharMap* map)
{
    if (map != nullptr)
        charMap = map;
    length = 0;
    for (const char* p = newText; p != nullptr && *p != 0 && length < kMaxLength; ++p)
        text[length++] = *p;
    text[length] = 0;
    if (charMap == nullptr || charMap->imageStore == nullptr)
    {
        extent = 0;
        return;
    }
    i16 total = 0;
    i16 blanks = 0;
    for (i16 i = 0; i < length; ++i)
    {
        const textlayout::Glyph g = textlayout::Resolve(*charMap, static_cast<u8>(text[i]), 1);
        blanks = static_cast<i16>(blanks + (g.picture == nullptr ? 1 : 0));
        total = static_cast<i16>(total + textlayout::Advance(*charMap, g.picture));
    }
    line = textlayout::Place(*charMap, charMap->vertical != 0, x, y, total, blanks, rect);
    layoutX = x;
    layoutY = y;
    rect = textlayout::Widen(line.rect);
    extent = static_cast<u16>(total);
}

void GTextBlock::Move(const OFixed& newX, const OFixed& newY)
{
    const i16 dx = static_cast<i16>(OFixed::Sub(newX, x).ToInt());
    const i16 dy = static_cast<i16>(OFixed::Sub(newY, y).ToInt());
    x = newX;
    y = newY;
    rect.Set(static_cast<i16>(rect.left + dx), static_cast<i16>(rect.top + dy),
             static_cast<i16>(rect.right + dx), static_cast<i16>(rect.bottom + dy));
}

void GTextBlock::Draw(OBitmap* target, const ORect* clip) const
{
    if (charMap == nullptr || charMap->imageStore == nullptr)
        return;
    const OFixed movedX = OFixed::Sub(x, layoutX);
    const OFixed movedY = OFixed::Sub(y, layoutY);
    i16 pen = line.column ? line.rect.top : line.rect.left;
    for (i16 i = 0; i < length; ++i)
    {
        const textlayout::Glyph g = textlayout::Resolve(*charMap, static_cast<u8>(text[i]), 1);
        i16 gx = 0, gy = 0;
        if (g.picture != nullptr && textlayout::GlyphAt(*charMap, line, pen, g.picture, &gx, &gy))
            BlitAlpha(target, g.picture, static_cast<i16>(OFixed::Add(OFixed::FromInt(gx), movedX).ToInt()),
                      static_cast<i16>(OFixed::Add(OFixed::FromInt(gy), movedY).ToInt()), clip);
        pen = static_cast<i16>(pen + textlayout::Step(*charMap, line, g.picture, g.picture == nullptr));
    }
}
