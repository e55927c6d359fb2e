#include "services/OSaveFile.h"

#include "services/OFile.h"
#include "services/OFilePath.h"

#include "platform/Termination.h"
#include "platform/files/FileReplace.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

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

std::vector<u8> Scrambled(u32 number, const u8* data, u32 size)
{
    std::vector<u8> bytes(size);
    for (u32 i = 0; i < size; ++i)
        bytes[i] = data[i] ^ ScrambleByte(number, i);
    return bytes;
}

// Moves count bytes between the file (from its start) and memory with step,
// pread or pwrite, through interrupted and short transfers; how many moved.
// errno says why when that is fewer.
template <typename Step> size_t Transfer(size_t count, Step step)
{
    size_t moved = 0;
    while (moved < count)
    {
        const ssize_t n = step(moved);
        if (n < 0 && errno == EINTR)
            continue;
        if (n == 0)
            errno = EIO;
        if (n <= 0)
            break;
        moved += static_cast<size_t>(n);
    }
    return moved;
}

size_t WriteAt(int fd, const u8* bytes, size_t count)
{
    return Transfer(count, [&](size_t done)
                    { return ::pwrite(fd, bytes + done, count - done, static_cast<off_t>(done)); });
}

// A folder that takes no new files, holding a record the player may write:
// the record is rewritten where it is. "wb" would empty it before the first
// byte, so a full disk or a file-size limit would leave nothing. Here the new
// bytes go over the old ones, the file is cut to its new length only once all
// of them are there, and a write that fails midway puts back the old bytes it
// covered: the file is then as it was. (A write-only record cannot be put
// back, so it is refused.)
bool RewriteInPlace(const std::string& path, const std::vector<u8>& bytes)
{
    // Opened by the same rules as every other open of the player's files: a
    // link another user planted on the way is refused, and only a plain file
    // is taken.
    const int fd = platform::OpenRegularForUpdate(path);
    if (fd < 0)
        return false;
    struct stat info
    {
    };
    if (::fstat(fd, &info) != 0)
    {
        const int why = errno;
        ::close(fd);
        errno = why;
        return false;
    }
    // The whole old copy is kept: a write can fail after the file was already
    // cut (a failed sync), and the record is small. A file too long to be a
    // record is no copy to keep; it is left as it is.
    if (info.st_size > kMaxSaveFileLength)
    {
        ::close(fd);
        errno = EFBIG;
        return false;
    }
    const size_t oldLength = static_cast<size_t>(info.st_size);
    std::vector<u8> old(oldLength);
    const size_t got =
        Transfer(old.size(), [&](size_t done)
                 { return ::pread(fd, old.data() + done, old.size() - done, static_cast<off_t>(done)); });
    if (got < old.size())
    {
        const int why = errno;
        ::close(fd);
        errno = why;
        return false;
    }

    const size_t written = WriteAt(fd, bytes.data(), bytes.size());
    bool ok = written == bytes.size() &&
              (bytes.size() >= oldLength || ::ftruncate(fd, static_cast<off_t>(bytes.size())) == 0) &&
              ::fsync(fd) == 0;
    if (!ok)
    {
        const int why = errno;
        WriteAt(fd, old.data(), old.size());
        if (written > oldLength)
            (void)!::ftruncate(fd, static_cast<off_t>(oldLength));
        ::fsync(fd);
        errno = why;
    }
    const int why = errno;
    if (::close(fd) != 0 && ok)
        return false;
    errno = why;
    return ok;
}

} // namespace

std::string SaveFileName(u32 number, const char* folder)
{
    char file[16];
    std::snprintf(file, sizeof file, "%08u.bin", number);
    std::string name = GetBaseDir();
    if (folder)
    {
        name += folder;
        name += '/';
    }
    return name + file;
}

bool BuildSaveFileName(char* out, u32 number, const char* folder)
{
    const std::string name = SaveFileName(number, folder);
    if (name.size() >= kPathCapacity)
        return false;
    std::memcpy(out, name.c_str(), name.size() + 1);
    return true;
}

u32 WriteSaveFile(u32 number, const u8* data, u32 size, const char* folder)
{
    if (!data && size)
        return 0;
    if (size > kMaxSaveFileLength)
    {
        errno = EFBIG;
        return 0;
    }
    KeepFileSizeSignalFromEnding();
    const std::string path = SaveFileName(number, folder);
    const std::vector<u8> bytes = Scrambled(number, data, size);

    // The player's only copy is replaced in one step, so that a full disk or
    // a crash midway leaves the old copy. The new bytes go to a file of a
    // name of this process's own, made without following a link and without
    // waiting on anything found at a name (a named pipe would hold the exit).
    // A record that is not a plain file of the player's they may write is
    // refused there and left as it is, as writing it in place would fail; the
    // replacement keeps the old file's mode, never more than 0600. A second
    // signal that ends the program at once takes the unfinished copy with it
    // from the moment it exists, so none is left beside the record.
    platform::Replacement replacement;
    platform::Replacement::Hooks hooks;
    hooks.made = [](int in, const char* name) { platform::RemoveOnAbort(in, name); };
    if (!replacement.Open(path, hooks))
    {
        const int why = errno;
        platform::RemoveOnAbort(-1, nullptr);
        if (why != EACCES)
            return 0;
        if (RewriteInPlace(path, bytes))
            return 1;
        // A record that is not there is the folder's failure, not its own.
        if (errno == ENOENT)
            errno = why;
        return 0;
    }
    const bool written = bytes.empty() || std::fwrite(bytes.data(), bytes.size(), 1, replacement.File()) == 1;
    // On failure errno still says why, for a caller that tells the player.
    const bool ok = replacement.Commit(written);
    const int why = errno;
    platform::RemoveOnAbort(-1, nullptr);
    errno = why;
    return ok ? 1 : 0;
}

SaveFileState ReadSaveFileState(u32 number, u8* buffer, u32 size, const char* folder, int* error)
{
    if (error)
        *error = 0;
    if (!buffer && size)
        return SaveFileState::Missing;
    const std::string path = SaveFileName(number, folder);
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
    // A file far longer than any record is something else at its name: its
    // first bytes are no record to take, nor it a file to save over.
    struct stat info
    {
    };
    const bool known = ::fstat(fileno(file), &info) == 0;
    if (!known || info.st_size > kMaxSaveFileLength)
    {
        const int why = known ? EFBIG : errno;
        std::fclose(file);
        if (error)
            *error = why;
        return SaveFileState::Unreadable;
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
    FILE* file = platform::OpenRegularForReading(SaveFileName(number, folder));
    if (!file)
        return -1;
    struct stat info
    {
    };
    const bool known = ::fstat(fileno(file), &info) == 0 && info.st_size <= 0x7FFFFFFF;
    std::fclose(file);
    return known ? static_cast<i32>(info.st_size) : -1;
}
