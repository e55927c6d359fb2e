#pragma once
// The blitter family: one free function per draw mode and flip (and per
// sub-pixel mode and flip), putting an image's pixels into a 24-bit
// destination, plus the fill and line primitives.
//
// Common rules, which callers rely on:
// - (x, y) is where the image's top-left corner lands; flips mirror the whole
//   image before it is placed, so a clip rectangle cuts a piece out of the
//   mirrored picture.
// - rect, when given, limits drawing to it (inclusive, destination
//   coordinates); nothing outside it, nor outside the destination, is ever
//   written. A rect reaching beyond the image is cut to the image's area.
// - An image lacking what its member reads (pixels, alpha plane, palette, or
//   pixels in another layout) draws nothing.
// - Alpha bytes: 0 opaque, 255 transparent, in between keep a/256 of the
//   destination. Opacity 0 leaves the destination, 255 reaches 255/256 of the
//   source. Blends divide by 256 or 65536 with arithmetic shifts.
// - Palettes passed by the caller hold 256 entries of 4 bytes: blue, green,
//   red and an unused byte.
#include "core/ORect.h"
#include "core/Types.h"

class OBitmap;

// clang-format off
#define ZORBLET_BLIT_FLIPS(Name, ...)                                          \
    void Name(__VA_ARGS__);                                                    \
    void Name##MirrorX(__VA_ARGS__);                                           \
    void Name##MirrorY(__VA_ARGS__);                                           \
    void Name##MirrorXY(__VA_ARGS__);
// clang-format on

// Draw modes 0, 1, 2, 13, 14, 16, 18, 20.
ZORBLET_BLIT_FLIPS(BlitCopy, OBitmap* dst, OBitmap* src, i16 x, i16 y, const ORect* rect)
ZORBLET_BLIT_FLIPS(BlitKeyed, OBitmap* dst, OBitmap* src, i16 x, i16 y, const ORect* rect)
ZORBLET_BLIT_FLIPS(BlitAlpha, OBitmap* dst, OBitmap* src, i16 x, i16 y, const ORect* rect)
ZORBLET_BLIT_FLIPS(BlitLighten, OBitmap* dst, OBitmap* src, i16 x, i16 y, const ORect* rect)
ZORBLET_BLIT_FLIPS(BlitShadow, OBitmap* dst, OBitmap* src, i16 x, i16 y, const ORect* rect)
ZORBLET_BLIT_FLIPS(BlitIndexed, OBitmap* dst, OBitmap* src, i16 x, i16 y, const ORect* rect)
ZORBLET_BLIT_FLIPS(BlitIndexedKeyed, OBitmap* dst, OBitmap* src, i16 x, i16 y, const ORect* rect)
ZORBLET_BLIT_FLIPS(BlitIndexedAlpha, OBitmap* dst, OBitmap* src, i16 x, i16 y, const ORect* rect)

// Draw modes 3, 7, 8, 17, 19, 21.
ZORBLET_BLIT_FLIPS(BlitAlphaOpacity, OBitmap* dst, OBitmap* src, i16 x, i16 y, u8 opacity, const ORect* rect)
ZORBLET_BLIT_FLIPS(BlitOpacity, OBitmap* dst, OBitmap* src, i16 x, i16 y, u8 opacity, const ORect* rect)
ZORBLET_BLIT_FLIPS(BlitKeyedOpacity, OBitmap* dst, OBitmap* src, i16 x, i16 y, u8 opacity, const ORect* rect)
ZORBLET_BLIT_FLIPS(BlitIndexedOpacity, OBitmap* dst, OBitmap* src, i16 x, i16 y, u8 opacity,
                   const ORect* rect)
ZORBLET_BLIT_FLIPS(BlitIndexedKeyedOpacity, OBitmap* dst, OBitmap* src, i16 x, i16 y, u8 opacity,
                   const ORect* rect)
ZORBLET_BLIT_FLIPS(BlitIndexedAlphaOpacity, OBitmap* dst, OBitmap* src, i16 x, i16 y, u8 opacity,
                   const ORect* rect)

// Draw mode 12 and draw mode 10: an index block coloured by the caller's palette.
ZORBLET_BLIT_FLIPS(BlitPaletteAlpha, OBitmap* dst, OBitmap* src, i16 x, i16 y, const void* palette,
                   const ORect* rect)
ZORBLET_BLIT_FLIPS(BlitPaletteAlphaOpacity, OBitmap* dst, OBitmap* src, i16 x, i16 y, const void* palette,
                   u8 opacity, const ORect* rect)

// clang-format off
#define ZORBLET_BLIT_SUBPIXEL_FLIPS(Name, ...)                                 \
    void Name##Subpixel(__VA_ARGS__);                                          \
    void Name##MirrorXSubpixel(__VA_ARGS__);                                   \
    void Name##MirrorYSubpixel(__VA_ARGS__);                                   \
    void Name##MirrorXYSubpixel(__VA_ARGS__);
// clang-format on

// Sub-pixel placement: fx and fy (0 to 255) are the fractional parts of the
// position. Each destination pixel filters the 2x2 window that starts at the
// pixel the plain walk would read, so the picture appears displaced by
// (fx/256 - 1, fy/256 - 1) from (x, y), and without a rect one column and one
// row less than the image is drawn.
ZORBLET_BLIT_SUBPIXEL_FLIPS(BlitAlpha, OBitmap* dst, OBitmap* src, i16 x, i16 y, i16 fx, i16 fy,
                            const ORect* rect)
ZORBLET_BLIT_SUBPIXEL_FLIPS(BlitShadow, OBitmap* dst, OBitmap* src, i16 x, i16 y, i16 fx, i16 fy,
                            const ORect* rect)
ZORBLET_BLIT_SUBPIXEL_FLIPS(BlitAlphaOpacity, OBitmap* dst, OBitmap* src, i16 x, i16 y, i16 fx, i16 fy,
                            u8 opacity, const ORect* rect)
ZORBLET_BLIT_SUBPIXEL_FLIPS(BlitLighten, OBitmap* dst, OBitmap* src, i16 x, i16 y, i16 fx, i16 fy, u8 opacity,
                            const ORect* rect)

#undef ZORBLET_BLIT_FLIPS
#undef ZORBLET_BLIT_SUBPIXEL_FLIPS

// A horizontal or vertical line, both ends included, unclipped: the caller
// keeps it inside the bitmap. A slanted line draws nothing.
void DrawHVLine(OBitmap* bitmap, i16 x1, i16 y1, i16 x2, i16 y2, u32 colour);
// The same line limited to rect (required).
void DrawHVLineClipped(OBitmap* bitmap, i16 x1, i16 y1, i16 x2, i16 y2, u32 colour, const ORect* rect);
// Fills the part of rect (required) that lies inside the bitmap.
void FillRectColor(OBitmap* bitmap, u32 colour, const ORect* rect);
// Sets every pixel of a 24-bit bitmap to the colour, row by row.
void FillBitmap24(OBitmap* bitmap, u32 colour);
