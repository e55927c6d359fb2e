#include "image/jpeg/TJPEG_Stream.h"

#include <cstring>

void OJpegData::SetData(i32 newSize, const u8* newData)
{
    data = newData;
    size = newSize;
    position = 0;
}

i32 OJpegData::Read(u8* buffer, i32 max, u32* end)
{
    if (data == nullptr)
        return 0;
    i32 n = size - position;
    if (max < n)
        n = max;
    if (n > 0)
    {
        std::memcpy(buffer, data + position, static_cast<size_t>(n));
        position += n;
    }
    else
        n = 0;
    *end = position >= size ? 1u : 0u;
    return n;
}
