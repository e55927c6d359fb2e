#pragma once
#include "core/Types.h"

// How MaskBlit8 chooses the bytes it copies.
enum OMaskRule : i32
{
    MASK_COPY_ALL = -1,    // every byte
    MASK_SOURCE_ZERO = 0,  // only source bytes of 0
    MASK_BELOW_BRIGHT = 1, // only where source < destination and destination > 200
};

// Copies an 8-bit plane (srcWidth by srcHeight) into a larger one with its
// top-left corner at (x, y), leaving the source's outermost pixels out when
// skipBorder is set. Writes falling outside either plane are skipped. Refuses
// a destination with fewer pixels than the source. Returns the number of
// source pixels not written because they fell outside (all of them when
// refused), so 0 means the whole source landed.
u32 MaskBlit8(u8* dst, i32 dstWidth, i32 dstHeight, const u8* src, i32 srcWidth, i32 srcHeight, i32 x, i32 y,
              bool skipBorder, OMaskRule rule);
