#include "services/OMaskBlit8.h"

u32 MaskBlit8(u8* dst, i32 dstWidth, i32 dstHeight, const u8* src, i32 srcWidth, i32 srcHeight, i32 x, i32 y,
              bool skipBorder, OMaskRule rule)
{
    if (srcWidth <= 0 || srcHeight <= 0 || !src)
        return 0;
    u32 srcPixels = static_cast<u32>(srcWidth) * static_cast<u32>(srcHeight);
    if (!dst || dstWidth <= 0 || dstHeight <= 0 ||
        static_cast<u64>(dstWidth) * static_cast<u64>(dstHeight) < srcPixels)
        return srcPixels;
    i32 border = skipBorder ? 1 : 0;
    u32 outside = 0;
    for (i32 row = border; row < srcHeight - border; ++row)
    {
        i32 dy = y + row;
        for (i32 col = border; col < srcWidth - border; ++col)
        {
            i32 dx = x + col;
            if (dx < 0 || dy < 0 || dx >= dstWidth || dy >= dstHeight)
            {
                ++outside;
                continue;
            }
            u8 s = src[static_cast<size_t>(row) * static_cast<size_t>(srcWidth) + static_cast<size_t>(col)];
            u8& d = dst[static_cast<size_t>(dy) * static_cast<size_t>(dstWidth) + static_cast<size_t>(dx)];
            if (rule == MASK_COPY_ALL || (rule == MASK_SOURCE_ZERO && s == 0) ||
                (rule == MASK_BELOW_BRIGHT && s < d && d > 200))
                d = s;
        }
    }
    return outside;
}
