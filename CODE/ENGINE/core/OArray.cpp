#include "core/OArray.h"

#include <cstring>
#include <new>

namespace
{
// The growth rules shared by both element sizes.
template <typename T> bool ReserveBlock(T*& data, u32& count, u32& capacity, u32 n)
{
    if (n == 0)
        n = 256;
    // Block sizes are 32-bit quantities; a larger request fails like any
    // allocation that the heap refuses.
    if (static_cast<u64>(n) * sizeof(T) > 0xFFFFFFFFull)
        return false;
    T* block = new (std::nothrow) T[n];
    if (!block)
        return false;
    const u32 kept = count < n ? count : n;
    if (kept)
        std::memcpy(block, data, static_cast<std::size_t>(kept) * sizeof(T));
    delete[] data;
    data = block;
    count = kept;
    capacity = n;
    return true;
}

template <typename T> bool Append(T*& data, u32& count, u32& capacity, const T& value)
{
    if (count == capacity)
    {
        // The value may live in the block about to be replaced.
        const T copy = value;
        if (capacity > 0x7FFFFFFFu)
            return false;
        if (!ReserveBlock(data, count, capacity, 2 * capacity))
            return false;
        data[count++] = copy;
        return true;
    }
    data[count++] = value;
    return true;
}

template <typename T> void EraseRange(T* data, u32& count, u32 index, u32 n)
{
    if (index >= count)
        return;
    const u64 end = static_cast<u64>(index) + n;
    if (end > count)
    {
        count = index;
        return;
    }
    std::memmove(data + index, data + end, static_cast<std::size_t>(count - end) * sizeof(T));
    count -= n;
}
} // namespace

bool OArray::PushBack(void* const& value)
{
    return Append(data, count, capacity, value);
}

bool OArray::Reserve(u32 n)
{
    return ReserveBlock(data, count, capacity, n);
}

void** OArray::PopBack()
{
    if (count == 0)
        return data;
    --count;
    return data + count;
}

OArray& OArray::Erase(u32 index, u32 n)
{
    EraseRange(data, count, index, n);
    return *this;
}

void OArray::Free()
{
    delete[] data;
    data = nullptr;
    capacity = 0;
    count = 0;
}

bool OU16Array::PushBack(const u16& value)
{
    return Append(data, count, capacity, value);
}

bool OU16Array::Reserve(u32 n)
{
    return ReserveBlock(data, count, capacity, n);
}

OU16Array& OU16Array::Erase(u32 index, u32 n)
{
    EraseRange(data, count, index, n);
    return *this;
}

void OU16Array::Free()
{
    delete[] data;
    data = nullptr;
    capacity = 0;
    count = 0;
}
