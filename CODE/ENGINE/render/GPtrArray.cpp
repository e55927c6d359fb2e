#include "render/GPtrArray.h"

#include <cstring>
#include <new>

GPtrArray* GPtrArray::Create(u16 capacity)
{
    auto* array = new (std::nothrow) GPtrArray();
    if (array == nullptr)
        return nullptr;
    array->data = new (std::nothrow) void*[capacity == 0 ? 1 : capacity];
    if (array->data == nullptr)
    {
        delete array;
        return nullptr;
    }
    // The field is signed 16-bit; a larger request still gets its block, but
    // only the first 32767 entries can ever be used.
    array->capacity = static_cast<i16>(capacity > 0x7FFF ? 0x7FFF : capacity);
    return array;
}

GPtrArray* GPtrArray::CreateTwin(u16 capacity)
{
    return Create(capacity);
}

GPtrArray::~GPtrArray()
{
    delete[] data;
    data = nullptr;
}

i16 GPtrArray::Add(void* const& item)
{
    if (count >= capacity)
        return -1;
    data[count] = item;
    return count++;
}

void GPtrArray::Erase(i16 index, i16 n)
{
    // An index outside the list or a non-positive count would move memory
    // outside the block; such a call removes nothing.
    if (index < 0 || index >= count || n <= 0)
        return;
    if (n > count - index)
        n = static_cast<i16>(count - index);
    std::memmove(&data[index], &data[index + n], sizeof(void*) * static_cast<size_t>(count - index - n));
    count = static_cast<i16>(count - n);
}
