#include "core/StrFunctions.h"
#include "core/XorScramble.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <random>
#include <string>
#include <vector>

TEST(CharClasses, AsciiOnlyWithSignedChars)
{
    for (int b = 0; b < 256; ++b)
    {
        const char c = static_cast<char>(b);
        const bool ascii = b < 0x80;
        // Within ASCII the classes agree with the C library in the C locale;
        // from 0x80 up nothing belongs to any class.
        ASSERT_EQ(CharIsSpace(c), ascii && std::isspace(b) ? 1 : 0) << b;
        ASSERT_EQ(CharIsAlpha(c), ascii && std::isalpha(b) ? 1 : 0) << b;
        ASSERT_EQ(CharIsAlnum(c), ascii && std::isalnum(b) ? 1 : 0) << b;
        ASSERT_EQ(CharToUpper(c), ascii ? static_cast<char>(std::toupper(b)) : c) << b;
        ASSERT_EQ(CharToLower(c), ascii ? static_cast<char>(std::tolower(b)) : c) << b;
    }
}

TEST(CStrings, SearchFunctions)
{
    const char* s = "hello world";
    EXPECT_EQ(StrLen(""), 0);
    EXPECT_EQ(StrLen(s), 11);
    EXPECT_EQ(StrFindChar(s, 'o'), s + 4);
    EXPECT_EQ(StrFindChar(s, 0), nullptr); // the terminator is never found
    EXPECT_EQ(StrFindChar(s, 'z'), nullptr);
    EXPECT_EQ(StrIndexOf(s, 'w'), 6);
    EXPECT_EQ(StrIndexOf(s, 'z'), 11);
    EXPECT_EQ(StrIndexOf(s, 0), 11);
    EXPECT_EQ(StrCountChar(s, 'l'), 3);
    EXPECT_EQ(StrCountChar(s, 0), 0);
    EXPECT_EQ(StrFind(s, "wor"), s + 6);
    EXPECT_EQ(StrFind(s, ""), s);
    EXPECT_EQ(StrFind(s, "worlds"), nullptr);
    const char* aab = "aaab";
    EXPECT_EQ(StrFind(aab, "aab"), aab + 1);
    EXPECT_EQ(StrFind("", "a"), nullptr);
}

TEST(CStrings, BoundedCopyAndConcatenation)
{
    char buf[16];
    std::memset(buf, 'x', sizeof buf);
    EXPECT_EQ(StrCopyN(buf, "abcdef", 3), buf);
    EXPECT_STREQ(buf, "abc");
    EXPECT_EQ(buf[4], 'x'); // the rest is not zero-filled
    StrCopyN(buf, "ab", 5);
    EXPECT_STREQ(buf, "ab");
    StrCopyN(buf, "ab", 0);
    EXPECT_STREQ(buf, "");
    StrCopyN(buf, "ab", -4);
    EXPECT_STREQ(buf, "");

    // n bounds the whole text, not the number appended.
    StrCopy(buf, "abc");
    EXPECT_EQ(StrCatN(buf, "def", 5), buf);
    EXPECT_STREQ(buf, "abcde");
    StrCopy(buf, "abc");
    std::memset(buf + 4, 'x', 4);
    StrCatN(buf, "def", 2);
    EXPECT_STREQ(buf, "abc");
    StrCatN(buf, "def", 3);
    EXPECT_STREQ(buf, "abc");
    StrCatN(buf, "de", 10);
    EXPECT_STREQ(buf, "abcde");
    EXPECT_EQ(StrCat(buf, "fg"), buf);
    EXPECT_STREQ(buf, "abcdefg");
}

TEST(CStrings, InsertAndDelete)
{
    char buf[16] = "abcd";
    StrInsertChar(buf, 'X', 0);
    EXPECT_STREQ(buf, "Xabcd");
    StrInsertChar(buf, 'Y', 5);
    EXPECT_STREQ(buf, "XabcdY");
    StrInsertChar(buf, 'Z', 3);
    EXPECT_STREQ(buf, "XabZcdY");
    StrDelete(buf, 0, 1);
    EXPECT_STREQ(buf, "abZcdY");
    StrDelete(buf, 2, 4);
    EXPECT_STREQ(buf, "ab");
    StrDelete(buf, 1, 0);
    EXPECT_STREQ(buf, "ab");
}

TEST(CStrings, ComparisonsAreUnsignedAndPrefixAware)
{
    EXPECT_EQ(StrCompare("\xE9", "z"), 1); // 0xE9 ranks above 'z'
    EXPECT_EQ(StrCompare("z", "\xE9"), -1);
    EXPECT_EQ(StrCompare("ab", "abc"), -1);
    EXPECT_EQ(StrCompare("abc", "ab"), 1);
    EXPECT_EQ(StrCompare("abc", "abc"), 0);
    EXPECT_EQ(StrCompare("", ""), 0);
    EXPECT_EQ(StrCompare("b", "abc"), 1);

    EXPECT_EQ(StrDiffersN("ab", "abc", 5), 0u); // a prefix counts as equal
    EXPECT_EQ(StrDiffersN("abc", "ab", 5), 1u);
    EXPECT_EQ(StrDiffersN("abc", "abd", 2), 0u);
    EXPECT_EQ(StrDiffersN("abc", "abd", 3), 1u);
    EXPECT_EQ(StrDiffersN("x", "y", 0), 0u);

    EXPECT_EQ(MemDiffers("ab\0c", "ab\0d", 3), 0u);
    EXPECT_EQ(MemDiffers("ab\0c", "ab\0d", 4), 1u);
    EXPECT_EQ(MemDiffers("a", "b", 0), 0u);
    EXPECT_EQ(MemDiffers("a", "b", -1), 0u);
}

TEST(NumberText, IntToStrRoundTripsEveryMagnitude)
{
    char buf[12];
    for (int v : {0, -7, 7, 10, -10, 2147483647, -2147483647 - 1})
    {
        IntToStr(buf, v);
        EXPECT_EQ(std::string(buf), std::to_string(v));
        EXPECT_EQ(StrToIntDec(buf), v);
    }
    std::mt19937 rng(11);
    for (int i = 0; i < 10000; ++i)
    {
        const int v = static_cast<int>(rng());
        IntToStr(buf, v);
        ASSERT_EQ(std::string(buf), std::to_string(v));
        ASSERT_EQ(StrToInt(buf), v);
    }
}

TEST(NumberText, DecimalReaderDiffersFromTheCLibrary)
{
    EXPECT_EQ(StrToIntDec(" 12"), 0); // no blank skipping
    EXPECT_EQ(StrToIntDec("\t12"), 0);
    EXPECT_EQ(StrToIntDec("-12x"), -12);
    EXPECT_EQ(StrToIntDec("+"), 0);
    EXPECT_EQ(StrToIntDec("-"), 0);
    EXPECT_EQ(StrToIntDec("+42"), 42);
    EXPECT_EQ(StrToIntDec("+-1"), 0); // one sign only
    EXPECT_EQ(StrToIntDec(""), 0);
    EXPECT_EQ(StrToIntDec("007"), 7);
    EXPECT_EQ(StrToIntDec("12 34"), 12);
    // Overflow wraps in 32 bits instead of saturating.
    EXPECT_EQ(StrToIntDec("4294967297"), 1);
    EXPECT_EQ(StrToIntDec("2147483648"), -2147483647 - 1);
    EXPECT_EQ(StrToIntDec("-4294967295"), 1);
}

TEST(NumberText, HexReaderStopsAtX)
{
    EXPECT_EQ(StrToIntHex("ff"), 255);
    EXPECT_EQ(StrToIntHex("FF"), 255);
    EXPECT_EQ(StrToIntHex("0x10"), 0);
    EXPECT_EQ(StrToIntHex("1F"), 31);
    EXPECT_EQ(StrToIntHex("-a"), -10);
    EXPECT_EQ(StrToIntHex("fg"), 15);
    EXPECT_EQ(StrToIntHex(" f"), 0);
    EXPECT_EQ(StrToIntHex("FFFFFFFF"), -1);
    EXPECT_EQ(StrToIntHex("100000001"), 1);

    char* end = reinterpret_cast<char*>(&end);
    char* const untouched = end;
    EXPECT_EQ(StrToIntBase("10", &end, 10), 10);
    for (int base : {16, 8, 2, 0, 36})
        EXPECT_EQ(StrToIntBase("10", &end, base), 16) << base;
    EXPECT_EQ(end, untouched);
}

TEST(Scrambling, RollingKeyAndInverse)
{
    u8 abc[3] = {'a', 'b', 'c'};
    u8 out[3] = {};
    EXPECT_EQ(XorScramble(abc, out, 3, 0), 1u);
    EXPECT_EQ(out[0], 0x61);
    EXPECT_EQ(out[1], 0x63);
    EXPECT_EQ(out[2], 0x61);
    // Key 0xFF: the second byte meets 0x00 after the wrap.
    XorScramble(abc, out, 3, 0xFF);
    EXPECT_EQ(out[0], 'a' ^ 0xFF);
    EXPECT_EQ(out[1], 'b');
    EXPECT_EQ(out[2], 'c' ^ 0x01);

    // Long buffers wrap the key many times; twice restores, in place too.
    std::mt19937 rng(5);
    std::vector<u8> data(1000);
    for (u8& b : data)
        b = static_cast<u8>(rng());
    const std::vector<u8> original = data;
    for (int key : {0x00, 0xB3, 0xFF})
    {
        std::vector<u8> copy(data.size());
        ASSERT_EQ(XorScramble(data.data(), copy.data(), 1000, static_cast<u8>(key)), 1u);
        EXPECT_NE(copy, original);
        EXPECT_EQ(copy[256] ^ copy[0], original[256] ^ original[0]); // period 256
        ASSERT_EQ(XorUnscramble(copy.data(), nullptr, 1000, static_cast<u8>(key)), 1u);
        EXPECT_EQ(copy, original);
    }

    u8 untouched[2] = {1, 2};
    EXPECT_EQ(XorScramble(nullptr, untouched, 2, 0), 0u);
    EXPECT_EQ(untouched[0], 1);
    EXPECT_EQ(XorScramble(abc, untouched, 0, 9), 1u);
    EXPECT_EQ(untouched[0], 1);
}
