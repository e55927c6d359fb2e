#include "services/OSaveFile.h"

#include "services/OFile.h"
#include "services/OFilePath.h"

#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace
{

u8 ScrambleByte(u32 number, u32 index)
{
    return static_cast<u8>((number + index) & 0xFF);
}

// The folder part of a path ("." when it has none), so it can be synced after
// a rename.
void SyncFolderOf(const char* path)
{
    char folder[kPathCapacity];
    const char* slash = std::strrchr(path, '/');
    if (!slash)
    {
        std::strcpy(folder, ".");
    }
    else
    {
        size_t length = slash == path ? 1 : static_cast<size_t>(slash - path);
        std::memcpy(folder, path, length);
        folder[length] = 0;
    }
    int fd = ::open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0)
    {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

bool BuildSaveFileName(char* out, u32 number, const char* folder)
{
    int written = folder ? std::snprintf(out, kPathCapacity, "%s%s/%08u.bin", GetBaseDir(), folder, number)
                         : std::snprintf(out, kPathCapacity, "%s%08u.bin", GetBaseDir(), number);
    return written > 0 && static_cast<size_t>(written) < kPathCapacity;
}

u32 WriteSaveFile(u32 number, const u8* data, u32 size, const char* folder)
{
    char path[kPathCapacity];
    char temp[kPathCapacity + 8];
    if (!BuildSaveFileName(path, number, folder) || (!data && size))
        return 0;
    // The player's only copy is replaced in one step: the new bytes go to a
    // file beside it, and the rename that swaps them in happens only once all
    // of them are on disk. A full disk or a crash midway leaves the old copy.
    std::snprintf(temp, sizeof temp, "%s.tmp", path);
    FILE* file = OpenFile(temp, "wb");
    if (!file)
        return 0;
    bool ok = true;
    for (u32 i = 0; ok && i < size; ++i)
        ok = std::fputc(data[i] ^ ScrambleByte(number, i), file) != EOF;
    ok = ok && std::fflush(file) == 0 && ::fsync(fileno(file)) == 0;
    if (std::fclose(file) != 0)
        ok = false;
    if (ok && std::rename(temp, path) == 0)
    {
        SyncFolderOf(path);
        return 1;
    }
    std::remove(temp);
    return 0;
}

u32 ReadSaveFile(u32 number, u8* buffer, u32 size, const char* folder)
{
    char path[kPathCapacity];
    if (!BuildSaveFileName(path, number, folder) || (!buffer && size))
        return 0;
    FILE* file = OpenFile(path, "rb");
    if (!file)
        return 0;
    u32 read = 0;
    while (read < size)
    {
        int c = std::fgetc(file);
        if (c == EOF)
            break;
        buffer[read] = static_cast<u8>(c) ^ ScrambleByte(number, read);
        ++read;
    }
    std::fclose(file);
    return read == size ? 1 : 0;
}

i32 GetSaveFileSize(u32 number, const char* folder)
{
    char path[kPathCapacity];
    if (!BuildSaveFileName(path, number, folder))
        return -1;
    return FileLength(path);
}
