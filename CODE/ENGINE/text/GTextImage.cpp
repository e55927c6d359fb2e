#include "text/GTextImage.h"

#include "image/OBitmap.h"
#include "render/BlitKernels.h"
#include "render/OEngine.h"
#include "text/GFont.h"

#include <cstring>

void GTextImage::AddToEngine(OEngine* engine)
{
    if (engine != nullptr)
        engine->AddClip(&clip);
    clip.visible = 1;
    clip.drawnVisible = 0;
}

void GTextImage::Clear()
{
    if (image != nullptr)
    {
        // Only a 24-bit block is white at 255; any other layout is left alone.
        u8* bits = blit::IsRgb24Format(image->format) ? image->GetBits() : nullptr;
        if (bits != nullptr)
        {
            const i32 pitch = image->GetPitch();
            const size_t rowBytes = static_cast<size_t>(image->GetBytesPerPixel()) * image->width;
            for (int row = 0; row < image->height; ++row)
                std::memset(bits + static_cast<i64>(pitch) * row, 255, rowBytes);
        }
        if (u8* alpha = image->GetAlpha())
            std::memset(alpha, 255, static_cast<size_t>(image->width) * image->height);
    }
    clip.drawnVisible = 0;
}

void GTextImage::Render(const char* text, i16 x, i16 y, GFont* font, u32 clear)
{
    if (clear != 0)
        Clear();
    if (font != nullptr)
        font->DrawString(image, x, y, text, 0, nullptr);
    clip.drawnVisible = 0;
}

void GTextImage::RenderCentred(const char* text, GFont* font, u32)
{
    if (image == nullptr || font == nullptr)
        return;
    const i16 y = font->CenterVertically(text, 0, static_cast<i16>(image->height - 1));
    const i16 x = font->CenterHorizontally(text, 0, static_cast<i16>(image->width - 1));
    Render(text, x, y, font, 1);
}
