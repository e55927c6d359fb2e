#include "image/TJPEG_Datas.h"

#include "core/StrFunctions.h"

#include <new>

TJPEG_Datas* CreateJpegPackStream(i16 capacity)
{
    TJPEG_Datas* stream = new (std::nothrow) TJPEG_Datas;
    if (stream)
        stream->Init(capacity);
    return stream;
}

void TJPEG_Datas::Init(i16 newCapacity)
{
    capacity = newCapacity;
    cache = ODataCache::Create(newCapacity);
}

TJPEG_Datas::~TJPEG_Datas()
{
    delete cache;
    delete[] directory;
}

bool TJPEG_Datas::Open(i32 fileNumber, const char* folder)
{
    Close();
    if (!cache)
        return false;
    i32 length = 0;
    u8* file = cache->Load(fileNumber, &length, folder);
    if (!file)
        return false;
    data = file;
    size = length;
    key = static_cast<u8>(file[0] ^ kStartKeyMask);
    position = 0;
    if (folder)
    {
        delete[] directory;
        directory = new (std::nothrow) char[static_cast<size_t>(StrLen(folder)) + 1];
        if (directory)
            StrCopy(directory, folder);
    }
    if (cache->IsLoaded(fileNumber, folder))
        number = fileNumber;
    return true;
}

i32 TJPEG_Datas::Read(u8* buffer, i32 max, u32* end)
{
    if (!data)
    {
        *end = 1;
        return 0;
    }
    i32 n = size - position;
    if (max < n)
        n = max;
    if (n < 0)
        n = 0;
    const u8* from = data + position;
    for (i32 i = 0; i < n; ++i)
    {
        buffer[i] = static_cast<u8>(from[i] ^ key);
        key = NextKey(key);
    }
    position += n;
    *end = position >= size ? 1u : 0u;
    return n;
}

void TJPEG_Datas::Close()
{
    if (number != -1 && cache && cache->IsLoaded(number, directory))
    {
        cache->Release(number, directory);
        delete[] directory;
        directory = nullptr;
    }
    number = -1;
    // The released bytes are gone: a Read after Close delivers nothing.
    data = nullptr;
    size = 0;
    position = 0;
}
