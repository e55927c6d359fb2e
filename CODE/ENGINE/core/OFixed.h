#pragma once
// Signed 24.8 fixed point: the value is raw / 256. Sprite positions, frame
// numbers and speeds are kept in it, so every operation is exact 32-bit
// integer arithmetic that wraps the way the stored values expect.
#include "core/Types.h"

class OFixed
{
public:
    i32 raw;

    // Left unset on purpose: large arrays of positions are filled later.
    OFixed() = default;
    OFixed(const OFixed&) = default;
    OFixed& operator=(const OFixed&) = default;

    static OFixed FromRaw(i32 r)
    {
        OFixed f;
        f.raw = r;
        return f;
    }
    // n << 8 within 32 bits; the caller keeps n within +-8388607.
    static OFixed FromInt(int n) { return FromRaw(static_cast<i32>(static_cast<u32>(n) << 8)); }

    void Copy(const OFixed& other) { raw = other.raw; }

    static OFixed Add(OFixed a, OFixed b)
    {
        return FromRaw(static_cast<i32>(static_cast<u32>(a.raw) + static_cast<u32>(b.raw)));
    }
    static OFixed Sub(OFixed a, OFixed b)
    {
        return FromRaw(static_cast<i32>(static_cast<u32>(a.raw) - static_cast<u32>(b.raw)));
    }
    // Only the low 32 bits of the raw product survive, so |a * b| must stay
    // below 32768; the arithmetic shift rounds toward minus infinity.
    static OFixed Mul(OFixed a, OFixed b)
    {
        return FromRaw(static_cast<i32>(static_cast<u32>(a.raw) * static_cast<u32>(b.raw)) >> 8);
    }
    // The dividend is shifted within 32 bits (|a| below 32768) and the
    // quotient truncates toward zero; b must not be 0.
    static OFixed Div(OFixed a, OFixed b);
    static OFixed Negate(OFixed a) { return FromRaw(static_cast<i32>(0u - static_cast<u32>(a.raw))); }

    void AddAssign(OFixed b) { *this = Add(*this, b); }
    void SubAssign(OFixed b) { *this = Sub(*this, b); }
    void MulAssign(OFixed b) { *this = Mul(*this, b); }

    // Rounds toward minus infinity: -0.5 gives -1, which is what pixel
    // positions of sprites partly off the left or top edge rely on.
    int ToInt() const { return raw >> 8; }
    // Nearest integer, halves upward (-0.5 gives 0, 0.5 gives 1).
    int Round() const { return static_cast<i32>(static_cast<u32>(raw) + 128u) >> 8; }

    static bool Equal(OFixed a, OFixed b) { return a.raw == b.raw; }
    static bool NotEqual(OFixed a, OFixed b) { return a.raw != b.raw; }
    static bool Less(OFixed a, OFixed b) { return a.raw < b.raw; }
    static bool LessEqual(OFixed a, OFixed b) { return a.raw <= b.raw; }
    static bool Greater(OFixed a, OFixed b) { return a.raw > b.raw; }

    OFixed operator+(OFixed b) const { return Add(*this, b); }
    OFixed operator-(OFixed b) const { return Sub(*this, b); }
    OFixed operator*(OFixed b) const { return Mul(*this, b); }
    OFixed operator/(OFixed b) const { return Div(*this, b); }
    OFixed operator-() const { return Negate(*this); }
    OFixed& operator+=(OFixed b)
    {
        AddAssign(b);
        return *this;
    }
    OFixed& operator-=(OFixed b)
    {
        SubAssign(b);
        return *this;
    }
    OFixed& operator*=(OFixed b)
    {
        MulAssign(b);
        return *this;
    }
    bool operator==(OFixed b) const { return raw == b.raw; }
    bool operator!=(OFixed b) const { return raw != b.raw; }
    bool operator<(OFixed b) const { return raw < b.raw; }
    bool operator<=(OFixed b) const { return raw <= b.raw; }
    bool operator>(OFixed b) const { return raw > b.raw; }
    bool operator>=(OFixed b) const { return raw >= b.raw; }
};

static_assert(sizeof(OFixed) == 4);

// Keeps thousandths of v before reducing to 1/256 steps; |v| below 32.768.
OFixed FloatToFixed(float v);
float FixedToFloat(OFixed v);
// Three Newton steps in fixed point; 0 for v <= 0.
OFixed FixedSqrt(OFixed v);
// Newton steps on the rounded whole value; the result is a whole number
// except below 1/4, where the reciprocal path of FixedSqrt is taken.
OFixed FixedSqrtInt(OFixed v);

class OFixedPoint
{
public:
    OFixed x;
    OFixed y;

    OFixedPoint() = default;
    OFixedPoint(OFixed px, OFixed py) : x(px), y(py) {}

    void Copy(const OFixedPoint& other)
    {
        x = other.x;
        y = other.y;
    }
    void Set(OFixed px, OFixed py)
    {
        x = px;
        y = py;
    }
    // Rotates in place by whole degrees and returns the new point.
    OFixedPoint RotatePoint(i16 degrees);
};

OFixedPoint ScalePoint(OFixed factor, const OFixedPoint& point);

struct OPoint16
{
    i16 x;
    i16 y;
};
