#pragma once
// Vector row kernels of the blitter family. Each gives exactly the bytes of
// the scalar formula it replaces; the differential tests hold them to it.
#include "core/Types.h"

namespace blit
{

// One row of draw mode 2 walked left to right: w pixels of 24-bit colour s
// and alpha a blended into d.
using AlphaRowFn = void (*)(u8* d, const u8* s, const u8* a, i32 w);

void AlphaRowScalar(u8* d, const u8* s, const u8* a, i32 w);

// The fastest kernel this processor runs, chosen once.
AlphaRowFn SelectAlphaRow();

// Every kernel this processor runs, the scalar one first, so that tests can
// compare each of them with it.
i32 AvailableAlphaRows(AlphaRowFn* out, i32 max);

// h rows of draw mode 2, each w pixels walked left to right; the rows of
// each block lie the given pitch (in bytes, negative going up) apart.
using AlphaRectFn = void (*)(u8* d, i32 dPitch, const u8* s, i32 sPitch, const u8* a, i32 aPitch, i32 w,
                             i32 h);

void AlphaRectScalar(u8* d, i32 dPitch, const u8* s, i32 sPitch, const u8* a, i32 aPitch, i32 w, i32 h);
AlphaRectFn SelectAlphaRect();
i32 AvailableAlphaRects(AlphaRectFn* out, i32 max);

// One row of draw mode 3 walked left to right, with the call's opacity.
using AlphaOpacityRowFn = void (*)(u8* d, const u8* s, const u8* a, i32 w, u32 opacity);

void AlphaOpacityRowScalar(u8* d, const u8* s, const u8* a, i32 w, u32 opacity);
AlphaOpacityRowFn SelectAlphaOpacityRow();
i32 AvailableAlphaOpacityRows(AlphaOpacityRowFn* out, i32 max);

// Turns n pixels of a mirrored walk around: pixel j of the walk, colour at
// s - 3j and alpha at a - j, lands at colour + 3j and alpha + j.
using ReverseRowFn = void (*)(u8* colour, u8* alpha, const u8* s, const u8* a, i32 n);

void ReverseRowScalar(u8* colour, u8* alpha, const u8* s, const u8* a, i32 n);
ReverseRowFn SelectReverseRow();
i32 AvailableReverseRows(ReverseRowFn* out, i32 max);

// One row of the sub-pixel draw-mode-2 member walked left to right: w
// pixels whose 2x2 windows start at s0 / a0 and s1 / a1 and reach one pixel
// to the right, with the call's fractions fx and fy (0 to 255).
using SubAlphaRowFn = void (*)(u8* d, const u8* s0, const u8* s1, const u8* a0, const u8* a1, i32 w, u32 fx,
                               u32 fy);

void SubAlphaRowScalar(u8* d, const u8* s0, const u8* s1, const u8* a0, const u8* a1, i32 w, u32 fx, u32 fy);
SubAlphaRowFn SelectSubAlphaRow();
i32 AvailableSubAlphaRows(SubAlphaRowFn* out, i32 max);

// One row of draw mode 1 walked left to right: pixels equal to the key are
// skipped, the others copied.
using KeyedRowFn = void (*)(u8* d, const u8* s, i32 w, u32 key);

void KeyedRowScalar(u8* d, const u8* s, i32 w, u32 key);
KeyedRowFn SelectKeyedRow();
i32 AvailableKeyedRows(KeyedRowFn* out, i32 max);

// One row of draw mode 14 (shadow) or 13 (lighten) walked left to right;
// these read the alpha plane only.
using AlphaOnlyRowFn = void (*)(u8* d, const u8* a, i32 w);

template <int Mode> void AlphaOnlyRowScalar(u8* d, const u8* a, i32 w);
AlphaOnlyRowFn SelectShadowRow();
AlphaOnlyRowFn SelectLightenRow();
i32 AvailableShadowRows(AlphaOnlyRowFn* out, i32 max);
i32 AvailableLightenRows(AlphaOnlyRowFn* out, i32 max);

// One row of draw mode 7 walked left to right, with the call's opacity.
using OpacityRowFn = void (*)(u8* d, const u8* s, i32 w, u32 opacity);

void OpacityRowScalar(u8* d, const u8* s, i32 w, u32 opacity);
OpacityRowFn SelectOpacityRow();
i32 AvailableOpacityRows(OpacityRowFn* out, i32 max);

// One row of the sub-pixel members of draw modes 3, 13 and 14 walked left
// to right; modes 13 and 14 read no colour (s0 and s1 may be null) and
// mode 14 no opacity.
using SubRowFn = void (*)(u8* d, const u8* s0, const u8* s1, const u8* a0, const u8* a1, i32 w, u32 fx,
                          u32 fy, u32 opacity);

template <int Mode>
void SubRowScalar(u8* d, const u8* s0, const u8* s1, const u8* a0, const u8* a1, i32 w, u32 fx, u32 fy,
                  u32 opacity);
template <int Mode> SubRowFn SelectSubRow();
template <int Mode> i32 AvailableSubRows(SubRowFn* out, i32 max);

} // namespace blit
