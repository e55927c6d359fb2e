#include "core/XorScramble.h"

u32 XorScramble(const u8* src, u8* dst, u32 length, u8 key)
{
    if (!src)
        return 0;
    if (!dst)
        dst = const_cast<u8*>(src);
    for (u32 i = 0; i < length; ++i)
        dst[i] = static_cast<u8>(src[i] ^ static_cast<u8>(key + i));
    return 1;
}

u32 XorUnscramble(const u8* src, u8* dst, u32 length, u8 key)
{
    return XorScramble(src, dst, length, key);
}
