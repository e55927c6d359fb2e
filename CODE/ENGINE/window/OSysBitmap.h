#pragma once
#include "core/Types.h"
#include "image/OBitmap.h"

// The window's canvas: a 24-bit top-down bitmap in system memory that the
// whole renderer draws into and that the window copies to the screen. It is
// seen as an OBitmap of format 0 whose pixels are reachable through GetBits
// only between Lock and Unlock.
//
// The pixel section holds height + 1 rows: presenting a paint rectangle
// passes its right and bottom edges unchanged, so a copy may reach one row
// below the image and must stay inside the section.
class OSysBitmap final : public OBitmap
{
public:
    // Size of the header block: a 40-byte bitmap info header followed by one
    // colour entry, which stays zero for true-colour sections.
    static constexpr u32 kInfoHeaderSize = 40;
    static constexpr u32 kBitmapInfoSize = 44;
    // The resolution written into both headers (about 72 dots per inch);
    // readers use it only for printing.
    static constexpr i32 kPixelsPerMetre = 2816;

    u8* dibBits = nullptr;
    u8* lockedBits = nullptr;
    u32 pitch = 0;
    // Owner of the pixel section; null when the section could not be made.
    u8* bitmapHandle = nullptr;
    u8* bitmapInfo = nullptr;

    OSysBitmap();
    OSysBitmap(u16 width, u16 height);
    ~OSysBitmap();
    OSysBitmap(const OSysBitmap&) = delete;
    OSysBitmap& operator=(const OSysBitmap&) = delete;

    // Makes the pixel section (height + 1 rows of `pitch` bytes, zeroed) and
    // the header block. Depths other than 1, 4, 8, 16, 24 and 32 are refused,
    // as are sections too large to allocate; both pointers stay null then.
    void Create(u16 bitsPerPixel);

    // Locks are not counted: one Unlock ends any number of Locks.
    void Lock();
    void Unlock();

    u8* GetBits() override { return lockedBits; }
    u8* GetAlpha() override { return nullptr; }
    i32 GetPitch() override { return static_cast<i32>(pitch); }

    const u8* GetBitmapInfo() const { return bitmapInfo; }

    // Writes the canvas as an uncompressed 24-bit .bmp file; 1, or 0 when the
    // file cannot be opened, the canvas has no pixels, or a write fails.
    u32 SaveBMP(const char* path);

    // Row padding to 4 bytes: ((width x bits + 31) AND NOT 31) / 8.
    static u32 PitchFor(u16 width, u16 bitsPerPixel)
    {
        return ((static_cast<u32>(width) * bitsPerPixel + 31u) & ~31u) / 8u;
    }
};

// Allocates a canvas and makes its section; returns the object even when no
// section could be made (its pixel pointers are null then), null only when the
// object itself cannot be allocated.
OSysBitmap* CreateSysBitmap(u16 width, u16 height, u16 bitsPerPixel);
