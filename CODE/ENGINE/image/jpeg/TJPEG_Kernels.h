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
} // namespace jpegkernels
