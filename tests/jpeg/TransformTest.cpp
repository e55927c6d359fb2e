// The inverse transform against a literal, slow implementation of its
// formulas, and the colour tables against theirs.
#include "JpegTestSupport.h"

#include "image/jpeg/TJPEG_Decoder.h"
#include "image/jpeg/TJPEG_Kernels.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

using namespace jpegtest;

namespace
{
void ExpectBothMatchReference(const i16* block, const char* what, int index)
{
    u8 expected[64], fast[8 * 24], portable[64];
    ReferenceIdct(block, expected);
    // A wider stride than the block, with guard bytes around each row.
    std::memset(fast, 0xEE, sizeof fast);
    TJPEG_Decoder::InverseDCT(block, fast + 8, 24);
    TJPEG_Decoder::InverseDCTPortable(block, portable, 8);
    for (int r = 0; r < 8; ++r)
        for (int c = 0; c < 8; ++c)
        {
            ASSERT_EQ(fast[8 + r * 24 + c], expected[r * 8 + c])
                << what << " #" << index << " row " << r << " col " << c;
            ASSERT_EQ(portable[r * 8 + c], expected[r * 8 + c])
                << what << " #" << index << " row " << r << " col " << c;
        }
    for (int r = 0; r < 8; ++r)
        for (int c : {0, 1, 2, 3, 4, 5, 6, 7, 16, 17, 18, 19, 20, 21, 22, 23})
            ASSERT_EQ(fast[r * 24 + c], 0xEE) << "written outside the block";
}
} // namespace

TEST(JpegTransform, MatchesLiteralFormulasOnRandomBlocks)
{
    std::mt19937 rng(7);
    i16 block[64];
    // Coefficients as dequantisation gives them in real pictures: large DC,
    // AC falling with frequency, many zeros.
    for (int i = 0; i < 20000; ++i)
    {
        for (int k = 0; k < 64; ++k)
        {
            int row = k / 8, col = k % 8;
            int scale = 1024 >> (row + col < 10 ? (row + col) / 2 : 5);
            block[k] =
                (rng() % 3 == 0) ? 0 : static_cast<i16>(static_cast<int>(rng() % (2 * scale + 1)) - scale);
        }
        ExpectBothMatchReference(block, "typical", i);
    }
    // Any 16-bit values at all, as hostile data and 16-bit tables can give:
    // the passes overflow and wrap, and both implementations must wrap alike.
    for (int i = 0; i < 20000; ++i)
    {
        for (int k = 0; k < 64; ++k)
            block[k] = static_cast<i16>(rng());
        ExpectBothMatchReference(block, "full range", i);
    }
    // Blocks where the zero-AC shortcuts of rows and columns apply, partly or
    // wholly, including the extremes of the DC value.
    for (int i = 0; i < 4000; ++i)
    {
        std::memset(block, 0, sizeof block);
        block[0] = static_cast<i16>(rng());
        if (i % 4 != 0)
            block[(rng() % 8) * 8] =
                static_cast<i16>(rng()); // first column only: every row takes the shortcut
        if (i % 4 == 2)
            block[rng() % 8] = static_cast<i16>(rng() % 200); // one row with AC
        ExpectBothMatchReference(block, "sparse", i);
    }
    for (int dc :
         {-32768, -32767, -16384, -8193, -8192, -1025, -1024, -17, -16, -1, 0, 1, 15, 16, 1023, 8191, 32767})
    {
        std::memset(block, 0, sizeof block);
        block[0] = static_cast<i16>(dc);
        ExpectBothMatchReference(block, "dc", dc);
    }
}

TEST(JpegTransform, TwoBlockKernelMatchesLiteralFormulas)
{
    if (!jpegkernels::HaveAvx2())
        GTEST_SKIP() << "no AVX2 on this processor";
    std::mt19937 rng(11);
    i16 a[64], b[64];
    u8 outA[64], outB[64], expA[64], expB[64];
    for (int i = 0; i < 20000; ++i)
    {
        // Alternate hostile full-range blocks with picture-like ones, so that
        // each lane meets both kinds beside the other.
        for (int k = 0; k < 64; ++k)
        {
            a[k] = static_cast<i16>(i % 2 ? rng() : rng() % 64 - 32);
            b[k] = static_cast<i16>(i % 3 ? rng() % 512 - 256 : rng());
        }
        if (i % 5 == 0)
            std::memset(b + 8, 0, sizeof(i16) * 56);
        ReferenceIdct(a, expA);
        ReferenceIdct(b, expB);
        jpegkernels::InverseDCTPairAvx2(a, b, outA, outB);
        ASSERT_EQ(0, std::memcmp(outA, expA, 64)) << "first block of pair " << i;
        ASSERT_EQ(0, std::memcmp(outB, expB, 64)) << "second block of pair " << i;
    }
}

TEST(JpegTransform, ColourTablesFollowTheirFormulas)
{
    TJPEG_Decoder::ColourTables t;
    TJPEG_Decoder::BuildColourTables(&t);
    for (int i = 0; i < 256; ++i)
    {
        double d = 2.0 * i - 256;
        // Rounded products of the BT.601 factors, within one step of the exact value.
        EXPECT_NEAR(t.crR[i], d * 0.701, 1.0) << i;
        EXPECT_NEAR(t.cbB[i], d * 0.886, 1.0) << i;
        EXPECT_EQ(t.crG[i], static_cast<int>(d) * -23401) << i;
        EXPECT_EQ(t.cbG[i], static_cast<int>(d) * -11277 + 32768) << i;
    }
    EXPECT_EQ(t.crR[128], 0);
    EXPECT_EQ(t.cbB[128], 0);
    EXPECT_EQ(t.crR[255], (254 * 45941 + 32768) >> 16);
    // -178.96 and -226.3: the shift rounds toward minus infinity.
    EXPECT_EQ(t.crR[0], -179);
    EXPECT_EQ(t.cbB[0], -227);
}
