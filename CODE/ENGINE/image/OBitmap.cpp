#include "image/OBitmap.h"

#include <cstring>
#include <new>

OBitmap::OBitmap(u16 w, u16 h, u32 key, u8 fmt) : width(w), height(h), colourKey(key), format(fmt) {}

namespace
{

bool FormatHasPaletteHeader(u8 format)
{
    return format >= 16;
}

bool FormatAllocatesAlpha(u8 format)
{
    switch (format)
    {
    case 2:
    case 3:
    case 4:
    case 5:
    case 14:
    case 20:
    case 21:
        return true;
    default:
        return false;
    }
}

// Drops one holder's reference and deletes the buffer when it was the last.
void ReleaseBuffer(OBuffer*& buffer)
{
    if (buffer && buffer->Release())
    {
        delete buffer;
        buffer = nullptr;
    }
}

} // namespace

OBitmap::~OBitmap()
{
    ReleaseBuffer(pixels);
    ReleaseBuffer(alpha);
}

void OBitmap::AllocBuffers(OBuffer* pixelBuffer, OBuffer* alphaBuffer)
{
    if (pixelBuffer)
        pixels = pixelBuffer;
    else if (format == 14)
        pixels = nullptr;
    else if (!FormatHasPaletteHeader(format))
        pixels = OBuffer::Create(Rgb24BlockSize(width, height), nullptr);
    else
    {
        pixels = OBuffer::Create(PaletteBlockSize(width, height), nullptr);
        if (pixels && pixels->data)
        {
            pixels->data[0] = static_cast<u8>(kPaletteHeaderLength & 0xFF);
            pixels->data[1] = static_cast<u8>(kPaletteHeaderLength >> 8);
        }
    }
    if (pixels)
        pixels->AddRef();

    if (alphaBuffer)
        alpha = alphaBuffer;
    else if (FormatAllocatesAlpha(format))
        alpha = OBuffer::Create(AlphaPlaneSize(width, height), nullptr);
    else
        alpha = nullptr;
    if (alpha)
        alpha->AddRef();
}

void OBitmap::SetName(const char* text)
{
    size_t n = 0;
    while (text && n < sizeof(name) - 1 && text[n] != 0)
        ++n;
    if (n)
        std::memcpy(name, text, n);
    name[n] = 0;
}

u8* OBitmap::GetBits()
{
    return pixels ? pixels->data : nullptr;
}

u8* OBitmap::GetAlpha()
{
    return alpha ? alpha->data : nullptr;
}

i32 OBitmap::GetPitch()
{
    return (format >= 16 && format <= 20) ? width : 3 * width;
}

i32 OBitmap::GetBytesPerPixel()
{
    return (format >= 16 && format <= 20) ? 1 : 3;
}

void OBitmap::SetAlphaBuffer(OBuffer* plane)
{
    // The new plane's reference first: it may be the plane held now, which
    // this image alone keeps alive.
    if (plane)
        plane->AddRef();
    ReleaseBuffer(alpha);
    alpha = plane;
}

OBitmap* CreateBitmap(u16 width, u16 height, u32 colourKey, u8 format, OBuffer* pixels, OBuffer* alpha)
{
    OBitmap* bitmap = new (std::nothrow) OBitmap(width, height, colourKey, format);
    if (bitmap)
        bitmap->AllocBuffers(pixels, alpha);
    return bitmap;
}

void DestroyBitmap(OBitmap* bitmap)
{
    delete bitmap;
}
