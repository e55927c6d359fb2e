#include "services/OSaveFile.h"

#include "services/OFile.h"
#include "services/OFilePath.h"

#include "platform/FileReplace.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

u8 ScrambleByte(u32 number, u32 index)
{
    return static_cast<u8>((number + index) & 0xFF);
}

// A file that outgrows the size limit would raise SIGXFSZ, whose default
// action ends the process in the middle of a save. Ignored, the write fails
// with EFBIG instead and the save is refused like any other failed write.
void KeepFileSizeSignalFromEnding()
{
    struct sigaction current
    {
    };
    if (::sigaction(SIGXFSZ, nullptr, &current) == 0 && current.sa_handler == SIG_DFL)
        std::signal(SIGXFSZ, SIG_IGN);
}

// Writes the record scrambled, one byte at a time; true when every byte was
// taken.
bool WriteScrambled(FILE* file, u32 number, const u8* data, u32 size)
{
    bool ok = true;
    for (u32 i = 0; ok && i < size; ++i)
        ok = std::fputc(data[i] ^ ScrambleByte(number, i), file) != EOF;
    return ok;
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
    char name[kPathCapacity];
    if (!BuildSaveFileName(name, number, folder) || (!data && size))
        return 0;
    KeepFileSizeSignalFromEnding();
    const std::string path = platform::FollowLinks(name);
    const std::string temp = path + ".tmp";
    if (temp.size() >= kPathCapacity)
        return 0;

    // Writing in place with "wb" is refused for a file the player may not
    // write, and must be here too, although the rename below would get past
    // the file's own permissions: a record that belongs to someone else, or
    // that was made read-only, is left as it is. Only plain files are
    // replaced.
    struct stat old
    {
    };
    const bool exists = ::stat(path.c_str(), &old) == 0;
    if (exists)
    {
        if (!S_ISREG(old.st_mode))
        {
            errno = S_ISDIR(old.st_mode) ? EISDIR : EINVAL;
            return 0;
        }
        const int probe = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
        if (probe < 0)
            return 0;
        ::close(probe);
    }

    // The player's only copy is replaced in one step, so that a full disk or
    // a crash midway leaves the old copy.
    FILE* file = platform::OpenReplacement(temp);
    if (file == nullptr)
    {
        // A folder that takes no new files, holding a record the player may
        // write: the record is rewritten in place, as "wb" does.
        if (!exists || (errno != EACCES && errno != EPERM))
            return 0;
        file = std::fopen(path.c_str(), "wb");
        if (file == nullptr)
            return 0;
        bool ok =
            WriteScrambled(file, number, data, size) && std::fflush(file) == 0 && ::fsync(fileno(file)) == 0;
        return std::fclose(file) == 0 && ok ? 1 : 0;
    }
    if (exists)
    {
        // The replacement keeps the permissions (and, where allowed, the
        // owner) the player gave the old file.
        ::fchmod(fileno(file), old.st_mode & 0777);
        if (old.st_uid != ::geteuid() || old.st_gid != ::getegid())
            (void)!::fchown(fileno(file), old.st_uid, old.st_gid);
    }
    // On failure errno still says why, for a caller that tells the player.
    return platform::CommitReplacement(file, WriteScrambled(file, number, data, size), temp, path) ? 1 : 0;
}

SaveFileState ReadSaveFileState(u32 number, u8* buffer, u32 size, const char* folder, int* error)
{
    char path[kPathCapacity];
    if (error)
        *error = 0;
    if (!BuildSaveFileName(path, number, folder) || (!buffer && size))
        return SaveFileState::Missing;
    // A named pipe or a device in the record's place is no record: it is
    // refused without waiting on it, and left as it is.
    FILE* file = platform::OpenRegularForReading(path);
    if (!file)
    {
        const int why = errno;
        if (error)
            *error = why;
        return why == ENOENT || why == ENOTDIR ? SaveFileState::Missing : SaveFileState::Unreadable;
    }
    u32 read = 0;
    while (read < size)
    {
        int c = std::fgetc(file);
        if (c == EOF)
            break;
        buffer[read] = static_cast<u8>(c) ^ ScrambleByte(number, read);
        ++read;
    }
    // A folder, or a disk that fails, stops the read with an error rather
    // than at the end of the file.
    const bool failed = read < size && std::ferror(file);
    const int why = errno;
    std::fclose(file);
    if (failed)
    {
        if (error)
            *error = why;
        return SaveFileState::Unreadable;
    }
    return read == size ? SaveFileState::Read : SaveFileState::Short;
}

u32 ReadSaveFile(u32 number, u8* buffer, u32 size, const char* folder)
{
    return ReadSaveFileState(number, buffer, size, folder, nullptr) == SaveFileState::Read ? 1 : 0;
}

i32 GetSaveFileSize(u32 number, const char* folder)
{
    char path[kPathCapacity];
    if (!BuildSaveFileName(path, number, folder))
        return -1;
    FILE* file = platform::OpenRegularForReading(path);
    if (!file)
        return -1;
    struct stat info
    {
    };
    const bool known = ::fstat(fileno(file), &info) == 0 && info.st_size <= 0x7FFFFFFF;
    std::fclose(file);
    return known ? static_cast<i32>(info.st_size) : -1;
}
