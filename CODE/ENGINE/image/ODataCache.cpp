#include "image/ODataCache.h"

#include "core/FileLimits.h"
#include "core/StrFunctions.h"

#include <cstdio>
#include <new>

namespace
{

char* CopyText(const char* text)
{
    if (!text)
        return nullptr;
    char* copy = new (std::nothrow) char[static_cast<size_t>(StrLen(text)) + 1];
    if (copy)
        StrCopy(copy, text);
    return copy;
}

void ClearEntry(ODataCacheEntry& entry)
{
    delete[] entry.buffer;
    delete[] entry.directory;
    entry = ODataCacheEntry{};
}

} // namespace

ODataCache* ODataCache::Create(i32 capacity)
{
    ODataCache* cache = new (std::nothrow) ODataCache;
    if (cache)
        cache->InitEntries(capacity);
    return cache;
}

void ODataCache::InitEntries(i32 newCapacity)
{
    count = 0;
    capacity = 0;
    if (newCapacity <= 0)
        return;
    entries = new (std::nothrow) ODataCacheEntry[static_cast<size_t>(newCapacity)];
    if (entries)
        capacity = newCapacity;
}

ODataCache::~ODataCache()
{
    for (i32 i = 0; i < count; ++i)
        ClearEntry(entries[i]);
    delete[] entries;
}

i32 ODataCache::Find(i32 number, const char* directory) const
{
    for (i32 i = 0; i < count; ++i)
    {
        const ODataCacheEntry& e = entries[i];
        if (e.number != number)
            continue;
        if (!directory || (e.directory && StrCompare(e.directory, directory) == 0))
            return i;
    }
    return -1;
}

bool ODataCache::IsLoaded(i32 number, const char* directory) const
{
    return Find(number, directory) >= 0;
}

u8* ODataCache::Load(i32 number, i32* size, const char* directory)
{
    if (!entries || count >= capacity || IsLoaded(number, directory))
        return nullptr;

    char path[kPathCapacity];
    const int written = directory ? std::snprintf(path, sizeof(path), "%s/Data%d.dat", directory, number)
                                  : std::snprintf(path, sizeof(path), "Data%d.dat", number);
    if (written < 0 || written >= kPathCapacity)
        return nullptr;
    FILE* file = std::fopen(path, "rb");
    if (!file)
        return nullptr;

    // No picture is longer than the limit, which also leaves room for the
    // spare byte within the i32 the readers count in; a folder opened by name
    // reports no usable length.
    long length = -1;
    if (std::fseek(file, 0, SEEK_END) == 0)
        length = std::ftell(file);
    if (length <= 0 || static_cast<u64>(length) > kMaxWholeFileLength)
    {
        std::fclose(file);
        return nullptr;
    }
    ODataCacheEntry& entry = entries[count];
    entry.number = number;
    entry.buffer = new (std::nothrow) u8[static_cast<size_t>(length) + 1];
    entry.directory = CopyText(directory);
    const bool copied = entry.buffer && (entry.directory || !directory);

    bool read = false;
    if (copied && std::fseek(file, 0, SEEK_SET) == 0)
    {
        if (size)
            *size = static_cast<i32>(length);
        read = std::fread(entry.buffer, 1, static_cast<size_t>(length), file) == static_cast<size_t>(length);
    }
    std::fclose(file);
    if (!read)
    {
        ClearEntry(entry);
        return nullptr;
    }
    entry.buffer[length] = 0;
    ++count;
    return entry.buffer;
}

void ODataCache::Release(i32 number, const char* directory)
{
    const i32 i = Find(number, directory);
    if (i < 0)
        return;
    ClearEntry(entries[i]);
    --count;
    if (i != count)
    {
        entries[i] = entries[count];
        entries[count] = ODataCacheEntry{};
    }
}
