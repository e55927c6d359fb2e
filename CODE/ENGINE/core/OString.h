#pragma once
// The engine's heap string: text, size (bytes in use, the terminating zero
// included) and capacity. Two empty states exist: no buffer (size 0) and a
// buffer holding only the zero (size 1). Copies are deep.
//
// A failed allocation never leaves a half-built string: the operation keeps
// the string as it was and reports false.
#include "core/StrFunctions.h"
#include "core/Types.h"

class OString
{
public:
    char* text;
    u32 size;
    u32 capacity;

    OString() : text(nullptr), size(0), capacity(0) {}
    // A buffer of exactly length + 1 bytes.
    OString(const char* s);
    // A buffer of two bytes {c, 0}.
    explicit OString(char c);
    OString(const OString& o);
    ~OString() { Free(); }
    OString& operator=(const OString& o)
    {
        if (this != &o)
            Assign(o);
        return *this;
    }

    static OString FromText(const char* s) { return OString(s); }
    static OString FromChar(char c) { return OString(c); }
    // A copy whose capacity equals the source's size.
    static OString CopyConstruct(const OString& o) { return OString(o); }

    OString& AssignFrom(const OString& o);
    // A source without a buffer frees this string's buffer.
    bool Assign(const OString& o);
    // The empty text frees the buffer.
    bool AssignText(const char* s);
    // Appending reallocates to exactly the new size on every call.
    bool Append(const OString& o);
    bool AppendText(const char* s);
    // The result's capacity equals its size.
    OString Concat(const OString& o) const;
    OString ConcatText(const char* s) const;
    void ToLower();
    void ToUpper();
    u32 Length() const { return size ? size - 1 : 0; }
    // The arrays' size query: bytes in use, the terminator included.
    u32 Size() const { return size; }
    // Reallocates to exactly n bytes (0 means 256), also when n is the
    // current capacity. False when the block could not be allocated.
    bool Reserve(u32 n);

    // Stores c at index size, doubling the capacity first when full; appends
    // no terminating zero. False when a full string could not grow.
    bool PushBack(const char& c);
    void Clear()
    {
        if (text)
        {
            size = 1;
            text[0] = 0;
        }
    }
    u32 IsEmpty() const { return size <= 1 ? 1u : 0u; }

    // Copies n bytes, growing to exactly n when the buffer is smaller; a
    // larger buffer is kept.
    bool AssignBytes(const char* p, u32 n);
    // A buffer of exactly n bytes with size n; nothing happens when size and
    // capacity are already n.
    bool AllocExact(u32 n);
    // AllocExact, then a zero as the first byte.
    bool Allocate(u32 n);
    void Free();
};

// By StrCompare when both strings have buffers, else by their sizes.
int OStringCompare(const OString& a, const OString& b);
inline bool operator==(const OString& a, const OString& b)
{
    return OStringCompare(a, b) == 0;
}
