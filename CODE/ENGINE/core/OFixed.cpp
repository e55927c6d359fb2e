#include "core/OFixed.h"

#include "core/SinTable.h"

#include <climits>

OFixed OFixed::Div(OFixed a, OFixed b)
{
    const i32 dividend = static_cast<i32>(static_cast<u32>(a.raw) << 8);
    // A zero divisor is a caller error; answering with the extreme of the
    // dividend's sign keeps the process alive and the result recognisable.
    if (b.raw == 0)
        return FromRaw(dividend > 0 ? INT_MAX : dividend < 0 ? INT_MIN : 0);
    // Divided in 64 bits so that INT_MIN / -1 wraps like every other
    // overflow here instead of trapping.
    return FromRaw(static_cast<i32>(static_cast<i64>(dividend) / b.raw));
}

OFixed FloatToFixed(float v)
{
    const double scaled = static_cast<double>(v) * 1000.0;
    // Out-of-range values take the hardware's "integer indefinite" result
    // rather than undefined behaviour; they are outside the contract anyway.
    const int n = (scaled > -2147483649.0 && scaled < 2147483648.0) ? static_cast<int>(scaled) : INT_MIN;
    return OFixed::Div(OFixed::FromInt(n), OFixed::FromInt(1000));
}

float FixedToFloat(OFixed v)
{
    return static_cast<float>(v.raw * 1.0 / 256.0);
}

namespace
{
// 2^k with k about half the bit length of n, the first Newton guess for
// values of 4 and above.
int SqrtGuessExponent(u32 n)
{
    int k = 0;
    if (n > 65535)
    {
        k += 8;
        n >>= 16;
    }
    if (n > 255)
    {
        k += 4;
        n >>= 8;
    }
    if (n > 15)
    {
        k += 2;
        n >>= 4;
    }
    if (n > 3)
        k += 1;
    return k;
}

// Below 1/4 the root is taken of the reciprocal (then above 4), where the
// Newton steps converge quickly, and inverted back.
OFixed ReciprocalSqrt(OFixed v)
{
    const OFixed one = OFixed::FromInt(1);
    return OFixed::Div(one, FixedSqrt(OFixed::Div(one, v)));
}
} // namespace

OFixed FixedSqrt(OFixed v)
{
    if (v.raw <= 0)
        return OFixed::FromRaw(0);
    if (v.raw < 64)
        return ReciprocalSqrt(v);
    OFixed g = v;
    if (v.raw >= 4 * 256)
        g = OFixed::FromInt(1 << SqrtGuessExponent(static_cast<u32>(v.ToInt())));
    const OFixed two = OFixed::FromInt(2);
    for (int step = 0; step < 3; ++step)
        g = OFixed::Div(OFixed::Add(g, OFixed::Div(v, g)), two);
    return g;
}

OFixed FixedSqrtInt(OFixed v)
{
    if (v.raw <= 0)
        return OFixed::FromRaw(0);
    if (v.raw < 64)
        return ReciprocalSqrt(v);
    const i32 n = v.Round();
    // From 1/4 up to 1/2 the rounded value is 0 and Newton's first step would
    // divide by it. The root there lies between 0.5 and 0.71, so the nearest
    // whole number is 1, which is also what values from 1/2 up to 1 give.
    if (n == 0)
        return OFixed::FromInt(1);
    i32 g = n;
    if (v.raw >= 4 * 256)
        g = 1 << SqrtGuessExponent(static_cast<u32>(v.ToInt()));
    for (int step = 0; step < 5; ++step)
    {
        // Only values beyond the fixed-point range (where rounding wraps n
        // negative) can drive a guess to 0; stop there rather than trap.
        if (g == 0)
            break;
        g = static_cast<i32>((static_cast<i64>(n / g) + g) / 2);
    }
    return OFixed::FromInt(g);
}

OFixedPoint OFixedPoint::RotatePoint(i16 degrees)
{
    const SinTable sines;
    const OFixed c = sines.Cos(degrees);
    const OFixed s = sines.Sin(degrees);
    const OFixed nx = OFixed::Add(OFixed::Mul(x, c), OFixed::Mul(y, s));
    const OFixed ny = OFixed::Add(OFixed::Mul(OFixed::Negate(x), s), OFixed::Mul(y, c));
    x = nx;
    y = ny;
    return *this;
}

OFixedPoint ScalePoint(OFixed factor, const OFixedPoint& point)
{
    return OFixedPoint(OFixed::Mul(factor, point.x), OFixed::Mul(factor, point.y));
}
