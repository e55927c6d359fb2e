#pragma once
#include "core/ORect.h"
#include "core/Types.h"
#include "image/OBuffer.h"

// An image: a rectangle of pixels in one of the pixel formats 0 to 21, with an
// optional alpha plane, a colour key and a short name. The format is also the
// draw mode a sprite uses by default.
//
// Block layouts (rows top to bottom, each row right after the previous one):
// - 24-bit: blue, green, red per pixel, pitch 3 x width;
// - 8-bit with palette header (formats 16 to 20): a little-endian u16 header
//   length H that counts its own two bytes, H - 2 palette bytes (blue, green,
//   red per entry), then one index per pixel starting H bytes into the block,
//   pitch width;
// - index block of format 12: one index per pixel, pitch width, no palette;
// - alpha plane: one byte per pixel, pitch width; 0 opaque, 255 transparent.
// Blocks an image allocates carry one spare row and a few spare bytes so that
// the blitters may read a neighbouring pixel, or a 32-bit word at the last
// pixel of a row, without leaving the block.
//
// There is deliberately no virtual destructor: an image is destroyed through
// its own class (delete, or DestroyBitmap), and the window's canvas, which
// derives from it, is destroyed through its own. The compiler's warning about
// deleting a class with virtual operations but a plain destructor would flag
// every such delete in every file that includes this one, so it is off from
// here on.
#if defined(__GNUC__)
#pragma GCC diagnostic ignored "-Wdelete-non-virtual-dtor"
#endif
class OBitmap : public CBase
{
public:
    u16 width = 0;
    u16 height = 0;
    u32 colourKey = 0; // 0xRRGGBB
    u8 format = 0;
    char name[20] = {};
    OBuffer* pixels = nullptr;
    OBuffer* alpha = nullptr;

    // The header length of an 8-bit block with a full palette of 256 entries:
    // the two bytes of the length itself plus 3 x 256.
    static constexpr u16 kPaletteHeaderLength = 770;

    OBitmap() = default;
    OBitmap(u16 width, u16 height, u32 colourKey, u8 format);
    OBitmap(const OBitmap&) = delete;
    OBitmap& operator=(const OBitmap&) = delete;
    ~OBitmap();

    // Takes the given blocks, or allocates the ones the format calls for; the
    // image holds one reference on each block it ends up with.
    void AllocBuffers(OBuffer* pixelBuffer, OBuffer* alphaBuffer);
    void SetName(const char* text);

    virtual u8* GetBits();
    virtual u8* GetAlpha();
    virtual i32 GetPitch();
    virtual i32 GetBytesPerPixel();

    OBuffer* GetPixelBuffer() const { return pixels; }
    OBuffer* GetAlphaBuffer() const { return alpha; }
    void SetAlphaBuffer(OBuffer* plane);
    // The image's own area, (0, 0, width - 1, height - 1); returns out.
    ORect* GetRect(ORect* out) const
    {
        out->Set(0, 0, static_cast<i16>(width - 1), static_cast<i16>(height - 1));
        return out;
    }

    // Sizes of the blocks an image of the given size allocates itself.
    // A size beyond the i32 a buffer takes comes back as -1, which the
    // buffer treats as a failed allocation: the image then has no block to
    // draw from, instead of a wrapped, too small one.
    static i32 Rgb24BlockSize(u16 width, u16 height) { return BlockSize(3 * i64(width) * (height + 1) + 3); }
    static i32 PaletteBlockSize(u16 width, u16 height)
    {
        return BlockSize(i64(width) * (height + 1) + kPaletteHeaderLength + 1);
    }
    static i32 AlphaPlaneSize(u16 width, u16 height) { return BlockSize(i64(width) * (height + 1) + 1); }

private:
    static i32 BlockSize(i64 bytes) { return bytes > 0x7FFFFFFF ? -1 : static_cast<i32>(bytes); }
};

OBitmap* CreateBitmap(u16 width, u16 height, u32 colourKey, u8 format, OBuffer* pixels, OBuffer* alpha);

// Deletes an image made with CreateBitmap (or new OBitmap). Never pass the
// window's canvas: it is destroyed through its own class.
void DestroyBitmap(OBitmap* bitmap);
