#include "window/OSysBitmap.h"

#include <cstdio>
#include <cstring>
#include <new>

namespace
{

void PutU16(u8* at, u16 v)
{
    at[0] = static_cast<u8>(v);
    at[1] = static_cast<u8>(v >> 8);
}

void PutU32(u8* at, u32 v)
{
    for (int i = 0; i < 4; ++i)
        at[i] = static_cast<u8>(v >> (8 * i));
}

// The 40-byte bitmap info header, little-endian, as both the section's
// description and the .bmp file carry it. A negative height marks rows stored
// top to bottom.
void WriteInfoHeader(u8* at, i32 width, i32 height, u16 bitsPerPixel, u32 imageSize)
{
    std::memset(at, 0, OSysBitmap::kInfoHeaderSize);
    PutU32(at + 0, OSysBitmap::kInfoHeaderSize);
    PutU32(at + 4, static_cast<u32>(width));
    PutU32(at + 8, static_cast<u32>(height));
    PutU16(at + 12, 1); // planes
    PutU16(at + 14, bitsPerPixel);
    PutU32(at + 16, 0); // uncompressed
    PutU32(at + 20, imageSize);
    PutU32(at + 24, static_cast<u32>(OSysBitmap::kPixelsPerMetre));
    PutU32(at + 28, static_cast<u32>(OSysBitmap::kPixelsPerMetre));
    // Palette entries used and important: none.
}

bool IsSectionDepth(u16 bitsPerPixel)
{
    return bitsPerPixel == 1 || bitsPerPixel == 4 || bitsPerPixel == 8 || bitsPerPixel == 16 ||
           bitsPerPixel == 24 || bitsPerPixel == 32;
}

} // namespace

OSysBitmap::OSysBitmap() = default;

OSysBitmap::OSysBitmap(u16 w, u16 h)
{
    width = w;
    height = h;
}

OSysBitmap::~OSysBitmap()
{
    delete[] bitmapHandle;
    bitmapHandle = nullptr;
    dibBits = nullptr;
    lockedBits = nullptr;
    delete[] bitmapInfo;
    bitmapInfo = nullptr;
}

void OSysBitmap::Create(u16 bitsPerPixel)
{
    pitch = PitchFor(width, bitsPerPixel);
    const u64 rows = static_cast<u64>(height) + 1;
    const u64 imageSize = rows * pitch;

    delete[] bitmapInfo;
    bitmapInfo = new (std::nothrow) u8[kBitmapInfoSize]();
    if (bitmapInfo)
        WriteInfoHeader(bitmapInfo, width, -static_cast<i32>(rows), bitsPerPixel,
                        static_cast<u32>(imageSize));

    delete[] bitmapHandle;
    bitmapHandle = nullptr;
    dibBits = nullptr;
    lockedBits = nullptr;
    // A section of no pixels is refused, like one of a depth the display
    // cannot describe.
    if (IsSectionDepth(bitsPerPixel) && imageSize > 0)
        bitmapHandle = new (std::nothrow) u8[imageSize]();
    dibBits = bitmapHandle;
    if (!bitmapHandle || !dibBits)
    {
        delete[] bitmapHandle;
        bitmapHandle = nullptr;
        dibBits = nullptr;
    }
}

void OSysBitmap::Lock()
{
    lockedBits = dibBits;
}

void OSysBitmap::Unlock()
{
    lockedBits = nullptr;
}

u32 OSysBitmap::SaveBMP(const char* path)
{
    if (!path || !dibBits)
        return 0;
    std::FILE* file = std::fopen(path, "wb");
    if (!file)
        return 0;

    constexpr u32 kFileHeaderSize = 14;
    constexpr u32 kPixelOffset = kFileHeaderSize + kInfoHeaderSize; // 54
    const u32 imageSize = static_cast<u32>(height) * pitch;
    u8 header[kPixelOffset] = {};
    header[0] = 'B';
    header[1] = 'M';
    PutU32(header + 2, imageSize + kPixelOffset);
    PutU32(header + 10, kPixelOffset);
    WriteInfoHeader(header + kFileHeaderSize, width, -static_cast<i32>(height), 24, imageSize);

    bool ok = std::fwrite(header, 1, sizeof header, file) == sizeof header;
    Lock();
    const u8* bits = GetBits();
    if (ok && imageSize > 0)
        ok = std::fwrite(bits, 1, imageSize, file) == imageSize;
    Unlock();
    // A full disk shows only when the buffered bytes are flushed.
    ok = std::fclose(file) == 0 && ok;
    return ok ? 1 : 0;
}

OSysBitmap* CreateSysBitmap(u16 width, u16 height, u16 bitsPerPixel)
{
    OSysBitmap* bitmap = new (std::nothrow) OSysBitmap(width, height);
    if (bitmap)
        bitmap->Create(bitsPerPixel);
    return bitmap;
}
