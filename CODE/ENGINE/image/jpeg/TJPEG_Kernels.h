#pragma once
// Vector kernels of the decoder that need more than the compiler's baseline;
// each is chosen at run time and gives the same bytes as the baseline code.
#include "core/Types.h"

namespace jpegkernels
{
// Whether the AVX2 kernels may run on this processor.
bool HaveAvx2();

// The inverse transform of two blocks at once (64 coefficients each, natural
// order) into 8 x 8 samples each, rows of 8 bytes.
void InverseDCTPairAvx2(const i16* a, const i16* b, u8* outA, u8* outB);

// Lines r and r + 1 of an MCU row of H2V2 MCUs (6 sample blocks each),
// two MCUs at a time; returns how many MCUs it converted (an even number).
i32 ConvertH2V2Avx2(const u8* samples, i32 mcus, u32 r, u8* out0, u8* out1);
} // namespace jpegkernels
