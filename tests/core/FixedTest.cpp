#include "core/ColorRamp.h"
#include "core/OFixed.h"
#include "core/SinTable.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>
#include <vector>

namespace
{
OFixed Raw(i32 r)
{
    return OFixed::FromRaw(r);
}

// Exact rational references in 64 bits: floor and truncating division of the
// true values, then reduced to 32 bits the way a two's-complement register is.
i64 FloorDiv(i64 a, i64 b)
{
    i64 q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0)))
        --q;
    return q;
}

i32 Low32(i64 v)
{
    return static_cast<i32>(static_cast<u32>(static_cast<u64>(v)));
}

// Raw values spread over every magnitude, not just uniformly large ones.
i32 RandomRaw(std::mt19937& rng)
{
    const int bits = std::uniform_int_distribution<int>(0, 31)(rng);
    const u32 mask = bits == 31 ? 0xFFFFFFFFu : ((1u << (bits + 1)) - 1);
    return static_cast<i32>(rng() & mask) * (rng() & 1 ? 1 : -1);
}
} // namespace

TEST(FixedArithmetic, MatchesWideReferenceOverRandomRawValues)
{
    std::mt19937 rng(20261207);
    for (int i = 0; i < 200000; ++i)
    {
        const i32 a = RandomRaw(rng);
        const i32 b = RandomRaw(rng);
        const i64 wa = a, wb = b;
        ASSERT_EQ(OFixed::Add(Raw(a), Raw(b)).raw, Low32(wa + wb));
        ASSERT_EQ(OFixed::Sub(Raw(a), Raw(b)).raw, Low32(wa - wb));
        ASSERT_EQ(OFixed::Negate(Raw(a)).raw, Low32(-wa));
        // The low 32 bits of the product, then floor division by 256.
        ASSERT_EQ(OFixed::Mul(Raw(a), Raw(b)).raw, FloorDiv(Low32(wa * wb), 256)) << a << " * " << b;
        if (b != 0)
        {
            const i64 dividend = Low32(wa * 256);
            ASSERT_EQ(OFixed::Div(Raw(a), Raw(b)).raw, Low32(dividend / wb)) << a << " / " << b;
        }
        ASSERT_EQ(Raw(a).ToInt(), FloorDiv(wa, 256));
        ASSERT_EQ(Raw(a).Round(), FloorDiv(Low32(wa + 128), 256));
        ASSERT_EQ(OFixed::Less(Raw(a), Raw(b)), a < b);
        ASSERT_EQ(OFixed::LessEqual(Raw(a), Raw(b)), a <= b);
        ASSERT_EQ(OFixed::Greater(Raw(a), Raw(b)), a > b);
        ASSERT_EQ(OFixed::NotEqual(Raw(a), Raw(b)), a != b);

        OFixed x = Raw(a);
        x.AddAssign(Raw(b));
        ASSERT_EQ(x.raw, Low32(wa + wb));
        x = Raw(a);
        x.SubAssign(Raw(b));
        ASSERT_EQ(x.raw, Low32(wa - wb));
        x = Raw(a);
        x.MulAssign(Raw(b));
        ASSERT_EQ(x.raw, OFixed::Mul(Raw(a), Raw(b)).raw);
    }
}

TEST(FixedArithmetic, InRangeResultsAreTheTrueValuesRounded)
{
    // Within the documented limits the wrapping never shows: products round
    // toward minus infinity, quotients toward zero.
    std::mt19937 rng(7);
    std::uniform_int_distribution<i32> small(-(1 << 15), 1 << 15);
    for (int i = 0; i < 100000; ++i)
    {
        const i32 a = small(rng), b = small(rng);
        ASSERT_EQ(OFixed::Mul(Raw(a), Raw(b)).raw, FloorDiv(i64(a) * b, 256));
        if (b)
        {
            ASSERT_EQ(OFixed::Div(Raw(a), Raw(b)).raw, i64(a) * 256 / b);
        }
    }
    EXPECT_EQ(OFixed::Div(OFixed::FromInt(1), OFixed::FromInt(4)).raw, 64);
    EXPECT_EQ(OFixed::Div(OFixed::FromInt(-1), OFixed::FromInt(3)).raw, -85);
    EXPECT_EQ(OFixed::Mul(Raw(-1), Raw(1)).raw, -1); // floor(-1/256)
}

TEST(FixedArithmetic, RoundingOfHalves)
{
    EXPECT_EQ(Raw(-128).ToInt(), -1);
    EXPECT_EQ(Raw(-128).Round(), 0);
    EXPECT_EQ(Raw(128).Round(), 1);
    EXPECT_EQ(Raw(640).Round(), 3);
    EXPECT_EQ(Raw(-384).Round(), -1);
    EXPECT_EQ(Raw(-1).ToInt(), -1);
    EXPECT_EQ(OFixed::FromInt(-3).raw, -768);
}

TEST(FixedArithmetic, OverflowingQuotientWrapsInsteadOfTrapping)
{
    // 0x800000 << 8 is INT_MIN; dividing it by -1 (raw) must not trap.
    EXPECT_EQ(OFixed::Div(Raw(0x800000), Raw(-1)).raw, INT32_MIN);
    EXPECT_EQ(OFixed::Div(Raw(5), Raw(0)).raw, INT32_MAX);
    EXPECT_EQ(OFixed::Div(Raw(-5), Raw(0)).raw, INT32_MIN);
    EXPECT_EQ(OFixed::Div(Raw(0), Raw(0)).raw, 0);
}

TEST(FixedConversions, FloatToFixedKeepsThousandthsFirst)
{
    EXPECT_EQ(FloatToFixed(0.0019f).raw, 0);
    EXPECT_EQ(FloatToFixed(1.5f).raw, 384);
    EXPECT_EQ(FloatToFixed(-1.5f).raw, -384);
    // 0.1 keeps 100 thousandths: 100 * 65536 / 256000 = 25.6, truncated.
    EXPECT_EQ(FloatToFixed(0.1f).raw, 25);
    EXPECT_EQ(FloatToFixed(-0.1f).raw, -25);
    for (int n = -32767; n <= 32767; n += 7)
    {
        const float v = static_cast<float>(n) / 1000.0f;
        const i64 thousandths = static_cast<i64>(static_cast<double>(v) * 1000.0);
        ASSERT_EQ(FloatToFixed(v).raw, thousandths * 65536 / 256000) << v;
    }
}

TEST(FixedConversions, FixedToFloatIsExactForRepresentableValues)
{
    EXPECT_EQ(FixedToFloat(Raw(384)), 1.5f);
    EXPECT_EQ(FixedToFloat(Raw(-1)), -1.0f / 256.0f);
    EXPECT_EQ(FixedToFloat(Raw(1 << 24)), 65536.0f);
    // Above 2^24 raw the float rounds.
    EXPECT_EQ(FixedToFloat(Raw(0x7FFFFFFF)), 8388608.0f);
}

TEST(FixedSqrt, FollowsThreeNewtonSteps)
{
    EXPECT_EQ(FixedSqrt(OFixed::FromInt(4)).raw, 512);
    EXPECT_EQ(FixedSqrt(OFixed::FromInt(0)).raw, 0);
    EXPECT_EQ(FixedSqrt(Raw(-1)).raw, 0);
    EXPECT_EQ(FixedSqrt(Raw(INT32_MIN)).raw, 0);
    // 1: guess 1, steps stay at 1.
    EXPECT_EQ(FixedSqrt(OFixed::FromInt(1)).raw, 256);
    // 100: guess 2^3 = 8, then 10.25, 10.003, 10.0 in fixed point.
    EXPECT_EQ(FixedSqrt(OFixed::FromInt(100)).raw, 2560);

    // Reciprocal branch for 0.1 (raw 25): 1 / FixedSqrt(10.24).
    const OFixed one = OFixed::FromInt(1);
    const OFixed inner = FixedSqrt(OFixed::Div(one, Raw(25)));
    EXPECT_EQ(FixedSqrt(Raw(25)).raw, OFixed::Div(one, inner).raw);
    EXPECT_NEAR(FixedSqrt(Raw(25)).raw, std::sqrt(25.0 / 256) * 256, 2);
}

TEST(FixedSqrt, CloseToTheTrueRootAcrossTheUsableRange)
{
    // Three steps from a power-of-two guess land within a few 1/256 steps of
    // the root wherever the quotients stay in range (v below 32768).
    for (i32 raw = 64; raw < (32767 << 8); raw += 997)
    {
        const double truth = std::sqrt(raw / 256.0) * 256.0;
        ASSERT_NEAR(FixedSqrt(Raw(raw)).raw, truth, 4 + truth * 0.002) << raw;
    }
}

TEST(FixedSqrt, LargeInputsBeyondTheRangeDoNotTrap)
{
    // Some of these drive a Newton guess to zero; they must still return.
    for (i32 raw = 12582657; raw > 0 && raw < INT32_MAX - 99991; raw += 99991)
    {
        (void)FixedSqrt(Raw(raw));
        (void)FixedSqrtInt(Raw(raw));
    }
    (void)FixedSqrtInt(Raw(INT32_MAX));
}

TEST(FixedSqrtInt, WholeNumberRoots)
{
    EXPECT_EQ(FixedSqrtInt(OFixed::FromInt(16)).raw, 4 * 256);
    EXPECT_EQ(FixedSqrtInt(OFixed::FromInt(17)).raw, 4 * 256);
    // Integer Newton steps on 3 oscillate 2, 1, 2, 1, 2: exactly five steps,
    // no convergence test, so the answer is 2.
    EXPECT_EQ(FixedSqrtInt(OFixed::FromInt(3)).raw, 2 * 256);
    EXPECT_EQ(FixedSqrtInt(Raw(0)).raw, 0);
    EXPECT_EQ(FixedSqrtInt(Raw(-256)).raw, 0);
    // 2.5 rounds to 3 before the integer steps.
    EXPECT_EQ(FixedSqrtInt(Raw(640)).raw, FixedSqrtInt(OFixed::FromInt(3)).raw);
    for (int n = 4; n < 30000; n += 13)
    {
        const int r = FixedSqrtInt(OFixed::FromInt(n)).ToInt();
        ASSERT_LE(std::abs(r - static_cast<int>(std::sqrt(n))), 1) << n;
        ASSERT_EQ(FixedSqrtInt(OFixed::FromInt(n)).raw & 0xFF, 0);
    }
}

TEST(FixedSqrtInt, SmallValuesAvoidTheZeroGuess)
{
    // Below 1/4 the fixed-point reciprocal path keeps a fraction.
    EXPECT_EQ(FixedSqrtInt(Raw(25)).raw, FixedSqrt(Raw(25)).raw);
    // From 1/4 up to 1/2 the rounded value is 0: the root (0.5 to 0.71) is
    // answered with the nearest whole number, as values up to 1 are.
    for (i32 raw = 64; raw < 128; ++raw)
        ASSERT_EQ(FixedSqrtInt(Raw(raw)).raw, 256) << raw;
    EXPECT_EQ(FixedSqrtInt(Raw(128)).raw, 256);
    EXPECT_EQ(FixedSqrtInt(Raw(255)).raw, 256);
}

TEST(FixedPoint, RotateUsesTheOldCoordinatesAndNegatesBeforeTheProduct)
{
    OFixedPoint p(OFixed::FromInt(10), OFixed::FromInt(0));
    const OFixedPoint r = p.RotatePoint(90);
    EXPECT_EQ(p.x.raw, 0);
    EXPECT_EQ(p.y.raw, -2560);
    EXPECT_EQ(r.x.raw, p.x.raw);
    EXPECT_EQ(r.y.raw, p.y.raw);

    // Mul(-x, sin) rounds differently from -Mul(x, sin) when the product has
    // a fraction: x = 1/256, sin 30 = 128/256 gives floor(-0.5) = -1.
    OFixedPoint q(Raw(1), Raw(0));
    q.RotatePoint(30);
    EXPECT_EQ(q.y.raw, -1);
    EXPECT_EQ(q.x.raw, 0); // floor(1 * 221 / 256)

    OFixedPoint s(OFixed::FromInt(3), OFixed::FromInt(4));
    s.RotatePoint(-90);
    EXPECT_EQ(s.x.raw, -4 * 256);
    EXPECT_EQ(s.y.raw, 3 * 256);
}

TEST(FixedPoint, ScaleCopyAndSet)
{
    const OFixedPoint p(Raw(-3), Raw(1000));
    const OFixedPoint s = ScalePoint(Raw(128), p);
    EXPECT_EQ(s.x.raw, -2); // floor(-1.5)
    EXPECT_EQ(s.y.raw, 500);
    OFixedPoint c;
    c.Copy(p);
    EXPECT_EQ(c.x.raw, -3);
    c.Set(Raw(7), Raw(8));
    EXPECT_EQ(c.x.raw + c.y.raw, 15);
}

TEST(Sines, TableMatchesTheSinglePrecisionFormula)
{
    const SinTable t;
    const float pi = static_cast<float>(std::numbers::pi);
    for (int d = 0; d < 360; ++d)
    {
        const float angle = (pi * static_cast<float>(d)) / 180.0f;
        const float scaled = std::sin(angle) * 256.0f;
        ASSERT_EQ(t.table[d].raw, static_cast<int>(scaled)) << d;
    }
}

TEST(Sines, SymmetryWithItsOneException)
{
    const SinTable t;
    for (int d = 91; d < 180; ++d)
        if (d != 150)
        {
            ASSERT_EQ(t.table[d].raw, t.table[180 - d].raw) << d;
        }
    for (int d = 180; d < 360; ++d)
        ASSERT_EQ(t.table[d].raw, -t.table[d - 180].raw) << d;
    const int at30[12] = {0, 128, 221, 256, 221, 127, 0, -128, -221, -256, -221, -127};
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(t.Sin(static_cast<i16>(30 * i)).raw, at30[i]) << 30 * i;
}

TEST(Sines, AnglesWrapPeriodically)
{
    const SinTable t;
    EXPECT_EQ(t.Sin(-30).raw, -127);
    EXPECT_EQ(t.Sin(360).raw, 0);
    EXPECT_EQ(t.Cos(0).raw, 256);
    EXPECT_EQ(t.Cos(270).raw, 0);
    for (int d = -32768; d <= 32767; d += 17)
    {
        const int m = ((d % 360) + 360) % 360;
        ASSERT_EQ(t.Sin(static_cast<i16>(d)).raw, t.table[m].raw) << d;
        ASSERT_EQ(t.Cos(static_cast<i16>(d)).raw, t.table[(m + 90) % 360].raw) << d;
    }
    // degrees + 90 is taken in 32 bits: 32767 + 90 does not wrap to negative.
    EXPECT_EQ(t.Cos(32767).raw, t.table[(32767 + 90) % 360].raw);
}

TEST(ColorRamps, BrightnessAndRamps)
{
    // Grey 0x808080 has brightness 128; raising it to 255 gives white and
    // lowering it to 64 halves every channel.
    EXPECT_EQ(ColorSetBrightness(0x808080, 255), 0xFFFFFFu);
    EXPECT_EQ(ColorSetBrightness(0x808080, 64), 0x404040u);
    EXPECT_EQ(ColorSetBrightness(0x808080, 128), 0x808080u);
    EXPECT_EQ(ColorSetBrightness(0x000000, 10), 0x0A0A0Au);

    u32 table[255];
    ColorRampFromBlack(0xFF0000, table);
    EXPECT_EQ(table[0], 0u);
    EXPECT_EQ(table[254] & 0xFFFF, 0u);
    EXPECT_GE(table[254] >> 16, 253u);
    ColorRampToWhite(0x000000, table);
    EXPECT_EQ(table[0], 0u);
    EXPECT_EQ(table[128], 0x808080u); // 128 steps of 255/255 (raw 256 each)

    // Brightness 85 for pure red: black to red over 85 entries, then on to
    // white, never above 255 per channel.
    ColorBuildRamp(0xFF0000, table);
    EXPECT_EQ(table[0], 0u);
    EXPECT_EQ(table[85], 0xFF0000u);
    for (int i = 1; i < 255; ++i)
    {
        ASSERT_LE(table[i] >> 16, 255u);
        ASSERT_GE(table[i] >> 16, table[i - 1] >> 16) << i;
    }
    EXPECT_GE(table[254] & 0xFF, 250u);
}

namespace
{
// Closed forms of the ramps: c / d in 24.8 is floor(256 c / d) for c, d >= 0,
// k steps of it add up to exactly k times that raw value, and rounding a raw
// value is floor((raw + 128) / 256). Rounding per step or adding the step
// before the first entry shows up here as a channel off by one.
int Channel(u32 colour, int i)
{
    return static_cast<int>((colour >> (16 - 8 * i)) & 0xFF);
}

int RoundRaw(i64 raw)
{
    return static_cast<int>(FloorDiv(raw + 128, 256));
}

int Cap(int v)
{
    return v > 255 ? 255 : v;
}

u32 Pack(const int c[3])
{
    return (static_cast<u32>(c[0]) << 16) | (static_cast<u32>(c[1]) << 8) | static_cast<u32>(c[2]);
}

// The rounded mean: (R + G + B) / 3 in 24.8 is floor(256 (R + G + B) / 3).
int Brightness(u32 colour)
{
    return RoundRaw((Channel(colour, 0) + Channel(colour, 1) + Channel(colour, 2)) * 256 / 3);
}
} // namespace

TEST(ColorRamps, EveryEntryMatchesTheClosedForm)
{
    std::mt19937 rng(99);
    std::vector<u32> colours = {0x000000, 0x808080, 0xFF0000, 0x00FF00,
                                0x0000FF, 0x123456, 0xFEFEFE, 0x010203};
    for (int i = 0; i < 300; ++i)
        colours.push_back(rng() & 0xFFFFFF);
    u32 table[255];
    for (const u32 colour : colours)
    {
        ColorRampFromBlack(colour, table);
        for (int e = 0; e < 255; ++e)
        {
            int c[3];
            for (int i = 0; i < 3; ++i)
                c[i] = Cap(RoundRaw(i64(e) * (Channel(colour, i) * 256 / 255)));
            ASSERT_EQ(table[e], Pack(c)) << std::hex << colour << std::dec << " entry " << e;
        }

        ColorRampToWhite(colour, table);
        for (int e = 0; e < 255; ++e)
        {
            int c[3];
            for (int i = 0; i < 3; ++i)
            {
                const int ch = Channel(colour, i);
                c[i] = Cap(RoundRaw(ch * 256 + i64(e) * ((255 - ch) * 256 / 255)));
            }
            ASSERT_EQ(table[e], Pack(c)) << std::hex << colour << std::dec << " entry " << e;
        }

        const int b0 = Brightness(colour);
        if (b0 == 255)
            continue; // white would divide by 255 - b = 0
        ColorBuildRamp(colour, table);
        const int b = b0 < 1 ? 1 : b0;
        for (int e = 0; e < 255; ++e)
        {
            int c[3];
            for (int i = 0; i < 3; ++i)
            {
                const int ch = Channel(colour, i);
                c[i] = e < b ? RoundRaw(i64(e) * (ch * 256 / b))
                             : Cap(RoundRaw(ch * 256 + i64(e - b) * ((255 - ch) * 256 / (255 - b))));
            }
            ASSERT_EQ(table[e], Pack(c)) << std::hex << colour << std::dec << " entry " << e;
        }
    }
}

TEST(ColorRamps, SetBrightnessMatchesTheClosedForm)
{
    std::mt19937 rng(1234);
    for (int trial = 0; trial < 20000; ++trial)
    {
        const u32 colour = rng() & 0xFFFFFF;
        const int b = Brightness(colour);
        if (b == 0 || b == 255)
            continue;
        const int level = static_cast<int>(rng() % 300) - 20;
        int c[3];
        for (int i = 0; i < 3; ++i)
        {
            const int ch = Channel(colour, i);
            if (level >= b)
            {
                // t = (level - b) / (255 - b); c + (255 - c) t, the product exact.
                const i64 t = i64(level - b) * 256 / (255 - b);
                c[i] = RoundRaw(ch * 256 + (255 - ch) * t);
            }
            else
            {
                // s = level / b truncates toward zero; c s floors.
                const i64 s = i64(level) * 256 / b;
                c[i] = RoundRaw(FloorDiv(ch * 256 * s, 256));
            }
        }
        // Channels outside 0..255 are packed as they are, not capped.
        ASSERT_EQ(ColorSetBrightness(colour, static_cast<i16>(level)), Pack(c))
            << std::hex << colour << std::dec << " level " << level;
    }
    // Brightness is the rounded mean: 0x010000 has mean 1/3, which rounds to
    // 0, so any level at or above 0 counts from there toward white.
    EXPECT_EQ(ColorSetBrightness(0x010000, 0), 0x010000u);
}
