#include "services/OFormatNumber.h"
#include "services/OMaskBlit8.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

namespace
{

std::string Format(i32 value, char separator, i32* count = nullptr)
{
    char out[32];
    std::fill(std::begin(out), std::end(out), 'Z');
    i32 n = FormatNumber(out, value, separator);
    if (count)
        *count = n;
    return out;
}

TEST(FormatNumberTest, GroupsDigitsInThreesFromTheRight)
{
    i32 n = 0;
    EXPECT_EQ(Format(1234567, ',', &n), "1,234,567");
    EXPECT_EQ(n, 9);
    EXPECT_EQ(Format(-1234, ',', &n), "-1,234");
    EXPECT_EQ(n, 5) << "the sign is not counted";
    EXPECT_EQ(Format(999, ',', &n), "999");
    EXPECT_EQ(n, 3);
    EXPECT_EQ(Format(1000, ',', &n), "1,000");
    EXPECT_EQ(Format(0, ',', &n), "0");
    EXPECT_EQ(n, 1);
    EXPECT_EQ(Format(100000, '@'), "100@000");
    EXPECT_EQ(Format(-7, ','), "-7");
}

TEST(FormatNumberTest, TheExtremesFitIn15Bytes)
{
    i32 n = 0;
    EXPECT_EQ(Format(INT_MIN, ',', &n), "-2,147,483,648");
    EXPECT_EQ(n, 13);
    EXPECT_EQ(Format(INT_MAX, ','), "2,147,483,647");
}

// Reference: the rules written out one pixel at a time.
std::vector<u8> ReferenceBlit(std::vector<u8> dst, int dw, int dh, const std::vector<u8>& src, int sw, int sh,
                              int x, int y, bool border, int rule)
{
    for (int r = 0; r < sh; ++r)
        for (int c = 0; c < sw; ++c)
        {
            if (border && (r == 0 || c == 0 || r == sh - 1 || c == sw - 1))
                continue;
            int dx = x + c, dy = y + r;
            if (dx < 0 || dy < 0 || dx >= dw || dy >= dh)
                continue;
            u8 s = src[r * sw + c];
            u8& d = dst[dy * dw + dx];
            if (rule == -1 || (rule == 0 && s == 0) || (rule == 1 && s < d && d > 200))
                d = s;
        }
    return dst;
}

TEST(MaskBlit8Test, MatchesTheRulesAtEveryOffset)
{
    const int sw = 5, sh = 4, dw = 9, dh = 7;
    std::vector<u8> src(sw * sh), dst(dw * dh);
    for (size_t i = 0; i < src.size(); ++i)
        src[i] = static_cast<u8>(i % 3 == 0 ? 0 : 150 + i * 5);
    for (size_t i = 0; i < dst.size(); ++i)
        dst[i] = static_cast<u8>(180 + (i * 13) % 70);
    for (int rule : {-1, 0, 1})
        for (bool border : {false, true})
            for (int y = -5; y <= 8; ++y)
                for (int x = -6; x <= 10; ++x)
                {
                    std::vector<u8> got = dst;
                    MaskBlit8(got.data(), dw, dh, src.data(), sw, sh, x, y, border,
                              static_cast<OMaskRule>(rule));
                    ASSERT_EQ(got, ReferenceBlit(dst, dw, dh, src, sw, sh, x, y, border, rule))
                        << "rule " << rule << " border " << border << " at " << x << "," << y;
                }
}

TEST(MaskBlit8Test, CountsPixelsThatFellOutsideAndRefusesASmallerDestination)
{
    std::vector<u8> src(4 * 4, 9), dst(8 * 8, 0);
    EXPECT_EQ(MaskBlit8(dst.data(), 8, 8, src.data(), 4, 4, 2, 2, false, MASK_COPY_ALL), 0u);
    EXPECT_EQ(MaskBlit8(dst.data(), 8, 8, src.data(), 4, 4, 6, 0, false, MASK_COPY_ALL), 8u);
    EXPECT_EQ(MaskBlit8(dst.data(), 8, 8, src.data(), 4, 4, -1, -1, true, MASK_COPY_ALL), 0u)
        << "the border left out cannot fall outside";

    std::vector<u8> small(3 * 5, 1);
    EXPECT_EQ(MaskBlit8(small.data(), 3, 5, src.data(), 4, 4, 0, 0, false, MASK_COPY_ALL), 16u);
    EXPECT_EQ(small, std::vector<u8>(15, 1)) << "a refused copy writes nothing";
}

} // namespace
