#pragma once
// The vector transform's one-dimensional pass and its 8 x 8 transpose of
// 16-bit lanes, written once for every register width. V supplies the
// register type and its lane operations, all of which work within 128-bit
// lanes, so a wider register runs the same transform on one block per lane.
// Each instruction set's code includes this where it is compiled for that set.
#include "image/jpeg/TJPEG_Kernels.h"

namespace jpegkernels
{
// Output k of the pass for the low and high four lanes of 16-bit inputs, as
// 32-bit lanes.
template <class V> struct PassSums
{
    typename V::Reg lo, hi;
};

template <class V> inline PassSums<V> PairSums(typename V::Reg pairLo, typename V::Reg pairHi, PairFactors f)
{
    typename V::Reg k = V::Pair(f);
    return {V::Madd(pairLo, k), V::Madd(pairHi, k)};
}

template <class V> inline PassSums<V> operator+(PassSums<V> a, PassSums<V> b)
{
    return {V::Add32(a.lo, b.lo), V::Add32(a.hi, b.hi)};
}

template <class V> inline PassSums<V> operator-(PassSums<V> a, PassSums<V> b)
{
    return {V::Sub32(a.lo, b.lo), V::Sub32(a.hi, b.hi)};
}

// One pass over d[0..7] (input k of eight rows or columns in d[k]); o[k]
// receives output k, before its rounding shift.
template <class V> inline void TransformPass(const typename V::Reg* d, PassSums<V>* o)
{
    auto p26l = V::Unpacklo16(d[2], d[6]), p26h = V::Unpackhi16(d[2], d[6]);
    auto p04l = V::Unpacklo16(d[0], d[4]), p04h = V::Unpackhi16(d[0], d[4]);
    PassSums<V> t2 = PairSums<V>(p26l, p26h, kIdctT2), t3 = PairSums<V>(p26l, p26h, kIdctT3);
    PassSums<V> t0 = PairSums<V>(p04l, p04h, kIdctT0), t1 = PairSums<V>(p04l, p04h, kIdctT1);
    PassSums<V> a0 = t0 + t3, a3 = t0 - t3, a1 = t1 + t2, a2 = t1 - t2;

    auto p71l = V::Unpacklo16(d[7], d[1]), p71h = V::Unpackhi16(d[7], d[1]);
    auto p53l = V::Unpacklo16(d[5], d[3]), p53h = V::Unpackhi16(d[5], d[3]);
    PassSums<V> b0 = PairSums<V>(p71l, p71h, kIdctB0a) + PairSums<V>(p53l, p53h, kIdctB0b);
    PassSums<V> b1 = PairSums<V>(p71l, p71h, kIdctB1a) + PairSums<V>(p53l, p53h, kIdctB1b);
    PassSums<V> b2 = PairSums<V>(p71l, p71h, kIdctB2a) + PairSums<V>(p53l, p53h, kIdctB2b);
    PassSums<V> b3 = PairSums<V>(p71l, p71h, kIdctB3a) + PairSums<V>(p53l, p53h, kIdctB3b);

    o[0] = a0 + b3;
    o[7] = a0 - b3;
    o[1] = a1 + b2;
    o[6] = a1 - b2;
    o[2] = a2 + b1;
    o[5] = a2 - b1;
    o[3] = a3 + b0;
    o[4] = a3 - b0;
}

// Lane j of r[k] becomes lane k of r[j], within each 128-bit lane.
template <class V> inline void Transpose8x8(typename V::Reg* r)
{
    auto a0 = V::Unpacklo16(r[0], r[1]), a1 = V::Unpackhi16(r[0], r[1]);
    auto a2 = V::Unpacklo16(r[2], r[3]), a3 = V::Unpackhi16(r[2], r[3]);
    auto a4 = V::Unpacklo16(r[4], r[5]), a5 = V::Unpackhi16(r[4], r[5]);
    auto a6 = V::Unpacklo16(r[6], r[7]), a7 = V::Unpackhi16(r[6], r[7]);
    auto b0 = V::Unpacklo32(a0, a2), b1 = V::Unpackhi32(a0, a2);
    auto b2 = V::Unpacklo32(a1, a3), b3 = V::Unpackhi32(a1, a3);
    auto b4 = V::Unpacklo32(a4, a6), b5 = V::Unpackhi32(a4, a6);
    auto b6 = V::Unpacklo32(a5, a7), b7 = V::Unpackhi32(a5, a7);
    r[0] = V::Unpacklo64(b0, b4);
    r[1] = V::Unpackhi64(b0, b4);
    r[2] = V::Unpacklo64(b1, b5);
    r[3] = V::Unpackhi64(b1, b5);
    r[4] = V::Unpacklo64(b2, b6);
    r[5] = V::Unpackhi64(b2, b6);
    r[6] = V::Unpacklo64(b3, b7);
    r[7] = V::Unpackhi64(b3, b7);
}
} // namespace jpegkernels
