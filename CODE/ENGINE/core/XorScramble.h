#pragma once
// The rolling XOR of the data files: byte i is XORed with (key + i) mod 256.
// It is its own inverse; XorUnscramble is the same operation, named for the
// places where data is read. A null dst works in place; a null src returns 0.
#include "core/Types.h"

u32 XorScramble(const u8* src, u8* dst, u32 length, u8 key);
u32 XorUnscramble(const u8* src, u8* dst, u32 length, u8 key);
