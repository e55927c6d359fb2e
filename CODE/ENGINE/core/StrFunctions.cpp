#include "core/StrFunctions.h"

#include <cstring>

int CharIsSpace(char c)
{
    return (c >= 9 && c <= 13) || c == ' ' ? 1 : 0;
}

int CharIsAlpha(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ? 1 : 0;
}

int CharIsAlnum(char c)
{
    return (c >= '0' && c <= '9') || CharIsAlpha(c) ? 1 : 0;
}

char CharToUpper(char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
}

char CharToLower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
}

int StrLen(const char* s)
{
    int n = 0;
    while (s[n])
        ++n;
    return n;
}

char* StrFindChar(const char* s, char c)
{
    for (; *s; ++s)
        if (*s == c)
            return const_cast<char*>(s);
    return nullptr;
}

int StrIndexOf(const char* s, char c)
{
    int i = 0;
    while (s[i] && s[i] != c)
        ++i;
    return i;
}

int StrCountChar(const char* s, char c)
{
    int n = 0;
    for (; *s; ++s)
        if (*s == c)
            ++n;
    return n;
}

char* StrStr(const char* text, const char* part)
{
    return const_cast<char*>(std::strstr(text, part));
}

char* StrFind(const char* s, const char* sub)
{
    if (!*sub)
        return const_cast<char*>(s);
    for (; *s; ++s)
    {
        int i = 0;
        while (sub[i] && s[i] == sub[i])
            ++i;
        if (!sub[i])
            return const_cast<char*>(s);
    }
    return nullptr;
}

void StrCopy(char* dst, const char* src)
{
    while ((*dst++ = *src++) != 0)
    {
    }
}

char* StrCat(char* dst, const char* src)
{
    StrCopy(dst + StrLen(dst), src);
    return dst;
}

char* StrCopyN(char* dst, const char* src, int n)
{
    int i = 0;
    for (; i < n && src[i]; ++i)
        dst[i] = src[i];
    dst[i] = 0;
    return dst;
}

char* StrCatN(char* dst, const char* src, int n)
{
    int len = StrLen(dst);
    if (len >= n)
        return dst;
    while (len < n && *src)
        dst[len++] = *src++;
    dst[len] = 0;
    return dst;
}

void StrInsertChar(char* s, char c, u32 pos)
{
    const u32 len = static_cast<u32>(StrLen(s));
    std::memmove(s + pos + 1, s + pos, len - pos + 1);
    s[pos] = c;
}

void StrDelete(char* s, u32 pos, u32 n)
{
    const u32 len = static_cast<u32>(StrLen(s));
    std::memmove(s + pos, s + pos + n, len - pos - n + 1);
}

int StrCompare(const char* a, const char* b)
{
    for (;; ++a, ++b)
    {
        const unsigned char ca = static_cast<unsigned char>(*a);
        const unsigned char cb = static_cast<unsigned char>(*b);
        if (ca != cb)
            return ca < cb ? -1 : 1;
        if (!cb)
            return 0;
    }
}

u32 MemDiffers(const void* a, const void* b, int n)
{
    const u8* pa = static_cast<const u8*>(a);
    const u8* pb = static_cast<const u8*>(b);
    for (int i = 0; i < n; ++i)
        if (pa[i] != pb[i])
            return 1;
    return 0;
}

u32 StrDiffersN(const char* a, const char* b, int n)
{
    for (int i = 0; i < n; ++i)
    {
        if (!a[i])
            return 0;
        if (a[i] != b[i])
            return 1;
    }
    return 0;
}

void IntToStr(char* buf, int value)
{
    char digits[10];
    int nd = 0;
    // Through unsigned so that the most negative value has a magnitude.
    u32 mag = value < 0 ? 0u - static_cast<u32>(value) : static_cast<u32>(value);
    do
    {
        digits[nd++] = static_cast<char>('0' + mag % 10);
        mag /= 10;
    } while (mag);
    if (value < 0)
        *buf++ = '-';
    while (nd)
        *buf++ = digits[--nd];
    *buf = 0;
}

namespace
{
int DigitValue(char c, int base)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (base == 16)
    {
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
    }
    return -1;
}

// The digits wrap in 32 bits unchecked and the sign applies at the end, so
// overlong numbers keep their low bits rather than saturating.
int ParseInt(const char* s, int base)
{
    bool negative = false;
    if (*s == '+' || *s == '-')
        negative = *s++ == '-';
    u32 acc = 0;
    for (int d; (d = DigitValue(*s, base)) >= 0; ++s)
        acc = acc * static_cast<u32>(base) + static_cast<u32>(d);
    return static_cast<int>(negative ? 0u - acc : acc);
}
} // namespace

int StrToIntDec(const char* s)
{
    return ParseInt(s, 10);
}

int StrToIntHex(const char* s)
{
    return ParseInt(s, 16);
}

int StrToInt(const char* s)
{
    return StrToIntDec(s);
}

int StrToIntBase(const char* s, char** /*end*/, int base)
{
    return base == 10 ? StrToIntDec(s) : StrToIntHex(s);
}
