#include "core/OString.h"

#include <cstdint>
#include <cstring>
#include <new>

namespace
{
// Every block carries one byte beyond its capacity, and a new block is all
// zeros: PushBack adds no terminator, so text built by pushing characters
// into a fresh block reads as ending after the last one pushed, and a reader
// scanning for the terminator stays inside the block even after a Reserve
// below the size or a run of PushBack calls filled it.
char* NewBlock(u32 n)
{
    return new (std::nothrow) char[static_cast<std::size_t>(n) + 1]();
}
} // namespace

OString::OString(const char* s) : text(nullptr), size(0), capacity(0)
{
    if (!s)
        return;
    const u32 len = static_cast<u32>(StrLen(s));
    if (Allocate(len + 1) && text)
    {
        std::memcpy(text, s, len + 1);
        size = len + 1;
    }
}

OString::OString(char c) : text(nullptr), size(0), capacity(0)
{
    if (Allocate(2))
    {
        text[0] = c;
        text[1] = 0;
        size = 2;
    }
}

OString::OString(const OString& o) : text(nullptr), size(0), capacity(0)
{
    Assign(o);
}

void OString::Free()
{
    delete[] text;
    text = nullptr;
    size = 0;
    capacity = 0;
}

bool OString::AllocExact(u32 n)
{
    if (size == n && capacity == n)
        return true;
    if (n == 0)
    {
        Free();
        return true;
    }
    char* block = NewBlock(n);
    if (!block)
        return false;
    delete[] text;
    text = block;
    size = n;
    capacity = n;
    return true;
}

bool OString::Allocate(u32 n)
{
    if (!AllocExact(n))
        return false;
    if (text)
        text[0] = 0;
    return true;
}

bool OString::AssignBytes(const char* p, u32 n)
{
    if (capacity < n)
    {
        // The new block is filled before the old one goes, so a failure keeps
        // the previous text and p may point into it.
        char* block = NewBlock(n);
        if (!block)
            return false;
        std::memcpy(block, p, n);
        delete[] text;
        text = block;
        capacity = n;
    }
    else if (n)
    {
        std::memmove(text, p, n);
    }
    size = n;
    return true;
}

bool OString::Assign(const OString& o)
{
    if (o.text)
    {
        if (o.text != text)
            return AssignBytes(o.text, o.size);
        return true;
    }
    Free();
    return true;
}

OString& OString::AssignFrom(const OString& o)
{
    Assign(o);
    return *this;
}

bool OString::AssignText(const char* s)
{
    if (!s || !*s)
    {
        Free();
        return true;
    }
    if (s == text)
        return true;
    return AssignBytes(s, static_cast<u32>(StrLen(s)) + 1);
}

bool OString::Reserve(u32 n)
{
    if (n == 0)
        n = 256;
    char* block = NewBlock(n);
    if (!block)
        return false;
    const u32 kept = size < n ? size : n;
    if (kept)
        std::memcpy(block, text, kept);
    delete[] text;
    text = block;
    size = kept;
    capacity = n;
    return true;
}

bool OString::Append(const OString& o)
{
    // A source without characters (no buffer, or a block reserved but never
    // filled) has nothing to add, not even a terminator.
    if (!o.text || o.size == 0)
        return true;
    if (&o == this)
    {
        const OString copy(o);
        return copy.text ? Append(copy) : false;
    }
    const u32 len = Length();
    const u32 total = len + o.size;
    if (total < len || !Reserve(total))
        return false;
    std::memcpy(text + len, o.text, o.size - 1);
    text[total - 1] = 0;
    size = total;
    return true;
}

bool OString::AppendText(const char* s)
{
    if (!s)
        return true;
    // Text taken from this string's own block would be freed by the Reserve.
    const auto at = reinterpret_cast<std::uintptr_t>(s);
    const auto base = reinterpret_cast<std::uintptr_t>(text);
    if (text && at >= base && at <= base + capacity)
    {
        const OString copy(s);
        if (!copy.text)
            return false;
        return Append(copy);
    }
    const u32 slen = static_cast<u32>(StrLen(s));
    const u32 len = Length();
    const u32 total = len + slen + 1;
    if (total <= len || !Reserve(total))
        return false;
    std::memcpy(text + len, s, slen);
    text[total - 1] = 0;
    size = total;
    return true;
}

OString OString::Concat(const OString& o) const
{
    OString result;
    result.Assign(*this);
    result.Append(o);
    return result;
}

OString OString::ConcatText(const char* s) const
{
    OString result;
    result.Assign(*this);
    result.AppendText(s);
    return result;
}

void OString::ToLower()
{
    const u32 len = Length();
    for (u32 i = 0; i < len; ++i)
        text[i] = CharToLower(text[i]);
}

void OString::ToUpper()
{
    const u32 len = Length();
    for (u32 i = 0; i < len; ++i)
        text[i] = CharToUpper(text[i]);
}

bool OString::PushBack(const char& c)
{
    if (size == capacity)
    {
        const char copy = c;
        // Doubling past 2^31 would wrap to 0, which Reserve reads as 256 and
        // would cut the text down.
        if (capacity > 0x7FFFFFFFu || !Reserve(2 * capacity))
            return false;
        text[size++] = copy;
        return true;
    }
    text[size++] = c;
    return true;
}

int OStringCompare(const OString& a, const OString& b)
{
    if (a.text && b.text)
        return StrCompare(a.text, b.text);
    return a.size < b.size ? -1 : a.size > b.size ? 1 : 0;
}
