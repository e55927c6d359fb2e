#include "services/ODebugFont.h"

#include "services/ODebugGlyphs.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

ODebugFont::ODebugFont()
    : textColour(0), backColour(0xFFFFFF), textBuffer{}, cellWidth(7), cellHeight(10),
      glyphCount(95), glyphs{}
{
    static_assert(sizeof kDebugGlyphs == sizeof glyphs);
    std::memcpy(glyphs, kDebugGlyphs, sizeof glyphs);
}

const u8* ODebugFont::GetGlyph(char c) const
{
    int index = static_cast<signed char>(c) - 32;
    if (index < 0 || index >= glyphCount)
        return nullptr;
    return &glyphs[index * cellHeight];
}

const char* ODebugFont::FormatText(const char* format, va_list args)
{
    textBuffer[0] = '\0';
    if (format)
        std::vsnprintf(textBuffer, sizeof textBuffer, format, args);
    return textBuffer;
}

void ODebugFont::Printf(ODebugSurface* surface, i16 x, i16 y, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    FormatText(format, args);
    va_end(args);
    DrawText(surface, x, y, textBuffer);
}

void ODebugFont::PrintfOpaque(ODebugSurface* surface, i16 x, i16 y, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    FormatText(format, args);
    va_end(args);
    DrawTextOpaque(surface, x, y, textBuffer);
}

void ODebugFont::DrawText(ODebugSurface* surface, i16 x, i16 y, const char* text)
{
    Draw(surface, x, y, text, false);
}

void ODebugFont::DrawTextOpaque(ODebugSurface* surface, i16 x, i16 y, const char* text)
{
    Draw(surface, x, y, text, true);
}

ODebugFont::TextExtent ODebugFont::MeasureText(const ODebugSurface* surface, const char* text, i16 x,
                                               i16 y) const
{
    i32 lines = 1, columns = 0, current = 0;
    for (const char* p = text; p && *p; ++p)
    {
        if (*p == '\n')
        {
            ++lines;
            current = 0;
            continue;
        }
        if (++current > columns)
            columns = current;
    }
    const i32 w = cellWidth, h = cellHeight;
    const i32 width = surface ? surface->GetSurfaceWidth() : 0;
    const i32 height = surface ? surface->GetSurfaceHeight() : 0;
    // Cells lying even partly outside are dropped: the first visible cell is
    // the first that starts at or right of the edge, and the last is the last
    // that ends at or left of the other edge (divisions truncate toward zero).
    TextExtent e{};
    e.firstColumn = x >= 0 ? 0 : 1 - (x + 1) / w;
    e.firstLine = y >= 0 ? 0 : 1 - (y + 1) / h;
    e.lastColumn = x + w * columns > width ? columns - (x + w * columns - width - 1) / w - 2 : columns - 1;
    e.lastLine = y + h * lines > height ? lines - (y + h * lines - height - 1) / h - 2 : lines - 1;
    return e;
}

void ODebugFont::Draw(ODebugSurface* surface, i16 x, i16 y, const char* text, bool opaque)
{
    if (!surface || !text)
        return;
    const TextExtent e = MeasureText(surface, text, x, y);
    u8* bits = surface->LockSurface();
    if (!bits)
    {
        surface->UnlockSurface();
        return;
    }
    u16* pixels = reinterpret_cast<u16*>(bits);
    const i32 width = surface->GetSurfaceWidth();
    const u16 ink = static_cast<u16>(textColour);
    const u16 paper = static_cast<u16>(backColour);
    i32 column = 0, line = 0;
    for (const char* p = text; *p; ++p)
    {
        if (*p == '\n')
        {
            ++line;
            column = 0;
            continue;
        }
        const u8* glyph = GetGlyph(*p);
        bool visible =
            column >= e.firstColumn && column <= e.lastColumn && line >= e.firstLine && line <= e.lastLine;
        if (visible && glyph && (opaque || *p != ' '))
        {
            i32 left = x + cellWidth * column, top = y + cellHeight * line;
            for (i32 row = 0; row < cellHeight; ++row)
            {
                u16* out = pixels + static_cast<size_t>(top + row) * static_cast<size_t>(width) + left;
                for (i32 bit = 0; bit < cellWidth; ++bit)
                {
                    if (glyph[row] & (0x40 >> bit))
                        out[bit] = ink;
                    else if (opaque)
                        out[bit] = paper;
                }
            }
        }
        ++column;
    }
    surface->UnlockSurface();
}
