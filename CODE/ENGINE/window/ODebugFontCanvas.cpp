// The debug font drawing on the window's canvas. The font itself knows only
// 16-bit surfaces; the canvas is handed to it as one: its section is read as
// 16-bit pixels in rows of width x 2 bytes (its own pitch is not used), which
// stay inside the section of any depth of 16 bits or more.
#include "services/ODebugFont.h"
#include "window/OSysBitmap.h"

#include <cstdarg>

namespace
{

class CanvasSurface final : public ODebugSurface
{
public:
    explicit CanvasSurface(const OSysBitmap* canvas) : canvas_(const_cast<OSysBitmap*>(canvas)) {}
    u16 GetSurfaceWidth() const override { return canvas_->width; }
    u16 GetSurfaceHeight() const override { return canvas_->height; }
    u8* LockSurface() override
    {
        canvas_->Lock();
        return canvas_->GetBits();
    }
    void UnlockSurface() override { canvas_->Unlock(); }

private:
    // Only drawing locks it; measuring reads the size alone.
    OSysBitmap* canvas_;
};

} // namespace

void ODebugFont::DrawText(OSysBitmap* surface, i16 x, i16 y, const char* text)
{
    if (!surface)
        return;
    CanvasSurface canvas(surface);
    DrawText(&canvas, x, y, text);
}

void ODebugFont::DrawTextOpaque(OSysBitmap* surface, i16 x, i16 y, const char* text)
{
    if (!surface)
        return;
    CanvasSurface canvas(surface);
    DrawTextOpaque(&canvas, x, y, text);
}

ODebugFont::TextExtent ODebugFont::MeasureText(const OSysBitmap* surface, const char* text, i16 x,
                                               i16 y) const
{
    if (!surface)
        return MeasureText(static_cast<const ODebugSurface*>(nullptr), text, x, y);
    const CanvasSurface canvas(surface);
    return MeasureText(&canvas, text, x, y);
}

void ODebugFont::Printf(OSysBitmap* surface, i16 x, i16 y, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    FormatText(format, args);
    va_end(args);
    DrawText(surface, x, y, textBuffer);
}

void ODebugFont::PrintfOpaque(OSysBitmap* surface, i16 x, i16 y, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    FormatText(format, args);
    va_end(args);
    DrawTextOpaque(surface, x, y, textBuffer);
}
