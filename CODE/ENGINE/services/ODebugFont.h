#pragma once
// A small built-in monochrome font (7 by 10 pixel cells, characters 32 to
// 126) that prints diagnostic text into a 16-bit surface.
#include "core/Types.h"

#include <cstdarg>

class OSysBitmap;

// What the font draws into: 16-bit pixels in rows of exactly width * 2 bytes
// (whatever pitch the surface keeps for other uses), reachable between Lock
// and Unlock.
class ODebugSurface
{
public:
    virtual ~ODebugSurface() = default;
    virtual u16 GetSurfaceWidth() const = 0;
    virtual u16 GetSurfaceHeight() const = 0;
    // The first pixel, or null when the surface has none.
    virtual u8* LockSurface() = 0;
    virtual void UnlockSurface() = 0;
};

// A plain block of 16-bit pixels.
class ODebugRawSurface : public ODebugSurface
{
public:
    ODebugRawSurface(u16* pixels, u16 width, u16 height) : pixels_(pixels), width_(width), height_(height) {}
    u16 GetSurfaceWidth() const override { return width_; }
    u16 GetSurfaceHeight() const override { return height_; }
    u8* LockSurface() override { return reinterpret_cast<u8*>(pixels_); }
    void UnlockSurface() override {}

private:
    u16* pixels_;
    u16 width_;
    u16 height_;
};

class ODebugFont
{
public:
    // The cells of the text that lie wholly inside the surface.
    struct TextExtent
    {
        i32 firstColumn;
        i32 firstLine;
        i32 lastColumn;
        i32 lastLine;
    };

    ODebugFont();

    void Printf(ODebugSurface* surface, i16 x, i16 y, const char* format, ...)
        __attribute__((format(printf, 5, 6)));
    void PrintfOpaque(ODebugSurface* surface, i16 x, i16 y, const char* format, ...)
        __attribute__((format(printf, 5, 6)));
    void DrawText(ODebugSurface* surface, i16 x, i16 y, const char* text);
    void DrawTextOpaque(ODebugSurface* surface, i16 x, i16 y, const char* text);
    TextExtent MeasureText(const ODebugSurface* surface, const char* text, i16 x, i16 y) const;

    // The same on the window's canvas, whose section is taken as 16-bit
    // pixels in rows of width x 2 bytes and is locked around the drawing.
    // These live with the canvas (window library).
    void Printf(OSysBitmap* surface, i16 x, i16 y, const char* format, ...)
        __attribute__((format(printf, 5, 6)));
    void PrintfOpaque(OSysBitmap* surface, i16 x, i16 y, const char* format, ...)
        __attribute__((format(printf, 5, 6)));
    void DrawText(OSysBitmap* surface, i16 x, i16 y, const char* text);
    void DrawTextOpaque(OSysBitmap* surface, i16 x, i16 y, const char* text);
    TextExtent MeasureText(const OSysBitmap* surface, const char* text, i16 x, i16 y) const;

    // Formats into textBuffer, cut at 255 characters so a long message never
    // runs past it; returns the buffer.
    const char* FormatText(const char* format, va_list args) __attribute__((format(printf, 2, 0)));

    // The 10 rows of a character's glyph (bit 6 the leftmost pixel); null
    // for characters outside 32 to 126.
    const u8* GetGlyph(char c) const;
    const char* GetTextBuffer() const { return textBuffer; }

    // Fields in the order the font keeps them.
    u32 textColour;
    u32 backColour;
    char textBuffer[256];
    u16 cellWidth;
    u16 cellHeight;
    u16 glyphCount;
    u8 glyphs[950];

private:
    void Draw(ODebugSurface* surface, i16 x, i16 y, const char* text, bool opaque);
};
