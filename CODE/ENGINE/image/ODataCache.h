#pragma once
#include "core/Types.h"

// One held data file: its number, the whole file (owned, with one spare byte
// after the data) and an owned copy of the folder it was loaded from, or null.
struct ODataCacheEntry
{
    i32 number = 0;
    u8* buffer = nullptr;
    char* directory = nullptr;
};

// Whole data files "Data%d.dat" in memory, found again by number and folder.
// The entries in use are always the first `count` of the array.
class ODataCache
{
public:
    ODataCacheEntry* entries = nullptr;
    i32 capacity = 0;
    i32 count = 0;

    // The longest path, folder and file name with its NUL, that Load builds.
    static constexpr i32 kPathCapacity = 2048;

    ODataCache() = default;
    ODataCache(const ODataCache&) = delete;
    ODataCache& operator=(const ODataCache&) = delete;
    ~ODataCache();

    // A new cache with room for `capacity` files; null when out of memory. A
    // cache whose entry array could not be allocated loads nothing.
    static ODataCache* Create(i32 capacity);
    void InitEntries(i32 capacity);

    // Reads "directory/Data<number>.dat" (or "Data<number>.dat" without a
    // folder) whole and keeps it. Null when the cache is full, already holds
    // that file (a file is never held twice), or the file cannot be read, is
    // empty or is longer than kMaxWholeFileLength (64 MiB). *size, when given,
    // receives the length once the file is opened and its block made.
    u8* Load(i32 number, i32* size, const char* directory);
    // Without a folder any entry of that number matches; with one the folder
    // copy must be equal byte for byte.
    bool IsLoaded(i32 number, const char* directory) const;
    // Frees the first matching file; the last entry takes its place.
    void Release(i32 number, const char* directory);

private:
    i32 Find(i32 number, const char* directory) const;
};
