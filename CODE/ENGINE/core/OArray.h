#pragma once
// Growable arrays of pointers (OArray) and of 16-bit values (OU16Array):
// data, count, capacity. The capacity doubles when full and starts at 256.
// A growth that cannot be allocated keeps the old block, count and capacity
// and is reported by a false result.
#include "core/Types.h"

class OArray
{
public:
    void** data;
    u32 count;
    u32 capacity;

    OArray() : data(nullptr), count(0), capacity(0) {}
    ~OArray() { Free(); }
    // The array holds the only reference to its block.
    OArray(const OArray&) = delete;
    OArray& operator=(const OArray&) = delete;

    // No bounds check: the caller keeps i below count.
    void** At(u32 i) const { return data + i; }
    u32 Size() const { return count; }

    // False when the array was full and could not grow; nothing is stored.
    bool PushBack(void* const& value);
    // Reallocates to exactly n slots (0 means 256), also when n is the
    // current capacity; slots from n on are dropped. False on failure.
    bool Reserve(u32 n);
    void Clear() { count = 0; }
    // With count 0 returns data; otherwise gives up the last slot and returns
    // its address, the pointer still readable there until the next append.
    void** PopBack();
    // The pointers taken out are not deleted.
    OArray& Erase(u32 index, u32 n);
    void Free();
};

class OU16Array
{
public:
    u16* data;
    u32 count;
    u32 capacity;

    OU16Array() : data(nullptr), count(0), capacity(0) {}
    ~OU16Array() { Free(); }
    OU16Array(const OU16Array&) = delete;
    OU16Array& operator=(const OU16Array&) = delete;

    u16* At(u32 i) const { return data + i; }
    u32 Size() const { return count; }

    bool PushBack(const u16& value);
    bool Reserve(u32 n);
    void Clear() { count = 0; }
    OU16Array& Erase(u32 index, u32 n);
    void Free();
};
