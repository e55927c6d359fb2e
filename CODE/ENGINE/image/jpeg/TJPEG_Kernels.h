#pragma once
// Vector kernels of the decoder that need more than the compiler's baseline;
// each is chosen at run time and gives the same bytes as the baseline code.
#include "core/Types.h"

namespace jpegkernels
{
// Factors of pmaddwd on interleaved pairs of 16-bit inputs (first, second),
// shared by the SSE2 and AVX2 code so that both form the same numbers.
struct PairFactors
{
    i16 first, second;
};

// Eight 16-bit lanes hold one input of the one-dimensional transform for
// eight rows (or columns) at once. Every product is formed with pmaddwd on
// pairs of inputs, so each of the flow graph's sums is regrouped by input:
//   t2 = d2 c1 + d6 (c1 - c2)            t3 = d2 (c1 + c3) + d6 c1
//   t0 = (d0 + d4) 2^13                   t1 = (d0 - d4) 2^13
//   b0 = d7 (c4 + c7 - c11 - c12) + d1 (c4 - c12) + d5 c4 + d3 (c4 - c11)
//   b1 = d7 c4 + d1 (c4 - c6) + d5 (c4 + c8 - c5 - c6) + d3 (c4 - c5)
//   b2 = d7 (c4 - c11) + d1 c4 + d5 (c4 - c5) + d3 (c4 + c9 - c5 - c11)
//   b3 = d7 (c4 - c12) + d1 (c4 + c10 - c6 - c12) + d5 (c4 - c6) + d3 c4
// Modulo 2^32 these are the same numbers as the scalar pass gives (the
// constants c1 to c12 are derived in TJPEG_Transform.cpp). Below: t2, t3 on
// (d2, d6); t0, t1 on (d0, d4); each b on (d7, d1) with its "a" factors plus
// (d5, d3) with its "b" factors.
inline constexpr PairFactors kIdctT2{4433, 4433 - 15137}, kIdctT3{4433 + 6270, 4433};
inline constexpr PairFactors kIdctT0{8192, 8192}, kIdctT1{8192, -8192};
inline constexpr PairFactors kIdctB0a{9633 + 2446 - 16069 - 7373, 9633 - 7373}, kIdctB0b{9633, 9633 - 16069};
inline constexpr PairFactors kIdctB1a{9633, 9633 - 3196}, kIdctB1b{9633 + 16819 - 20995 - 3196, 9633 - 20995};
inline constexpr PairFactors kIdctB2a{9633 - 16069, 9633},
    kIdctB2b{9633 - 20995, 9633 + 25172 - 20995 - 16069};
inline constexpr PairFactors kIdctB3a{9633 - 7373, 9633 + 12299 - 3196 - 7373}, kIdctB3b{9633 - 3196, 9633};

// The chroma terms (derived at ChromaTerms in TJPEG_Transform.cpp): red and blue on
// (d, 2), green on (d of Cr, d of Cb).
inline constexpr PairFactors kChromaR{45941 - 65536, 16384}, kChromaB{58065 - 65536, 16384};
inline constexpr PairFactors kChromaG{-23401, -11277};

// Whether the AVX2 kernels may run on this processor.
bool HaveAvx2();

// The inverse transform of two blocks at once (64 coefficients each, natural
// order) into 8 x 8 samples each, rows of 8 bytes.
void InverseDCTPairAvx2(const i16* a, const i16* b, u8* outA, u8* outB);

// Lines r and r + 1 of an MCU row of H2V2 MCUs (6 sample blocks each),
// two MCUs at a time; returns how many MCUs it converted (an even number).
i32 ConvertH2V2Avx2(const u8* samples, i32 mcus, u32 r, u8* out0, u8* out1);
} // namespace jpegkernels
