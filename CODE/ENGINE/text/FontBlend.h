#pragma once
// Kernels of the bitmap font's blending painter: a block of `rows` rows of
// n pixels of a 24-bit bitmap (rows `pitch` bytes apart) takes one colour
// through as many rows of mask bytes (`maskPitch` apart) by
//   a = 255: unchanged; else d + ((c - d) (255 - a) opacity >> 16).
// Each gives exactly the bytes of the scalar formula.
#include "core/Types.h"

namespace fontblend
{

// colour: blue, green, red.
using BlendRowFn = void (*)(u8* d, i32 pitch, const u8* m, i32 maskPitch, i32 n, i32 rows, const u8* colour,
                            u32 opacity);

void BlendRowScalar(u8* d, i32 pitch, const u8* m, i32 maskPitch, i32 n, i32 rows, const u8* colour,
                    u32 opacity);

// The vector kernels work in blocks of 16 pixels: they may read up to 15
// mask bytes past a row and read and write back, unchanged, up to 45
// destination bytes past it. A caller hands them a block only where that
// much follows its last row; elsewhere it takes the scalar kernel.
constexpr i32 kMaskSlack = 15;
constexpr i32 kPixelSlack = 45;

// The fastest kernel this processor runs, chosen once.
BlendRowFn SelectBlendRow();
// Every kernel this processor runs, the scalar one first.
i32 AvailableBlendRows(BlendRowFn* out, i32 max);

} // namespace fontblend
