#include "services/OFile.h"

#include "services/OFilePath.h"

#include "core/FileLimits.h"

#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

// Any length: a name cut to fit a buffer would be another file.
std::string baseDir;

u8 KeyByte(u32 key)
{
    return static_cast<u8>((key & 0xFF) + ((key >> 8) & 0xFF) + ((key >> 16) & 0xFF) + (key >> 24));
}

} // namespace

void ResetBaseDir()
{
    baseDir.clear();
}

const char* GetBaseDir()
{
    return baseDir.c_str();
}

bool BuildBaseDirPath(std::string* out, const char* name)
{
    if (!name)
        return false;
    *out = baseDir + name;
    return true;
}

FILE* OpenFile(const char* path, const char* mode)
{
    FILE* file = std::fopen(path, mode);
    if (!file)
        return nullptr;
    // A folder opens for reading here but is no file to the callers.
    struct stat info
    {
    };
    if (fstat(fileno(file), &info) != 0 || S_ISDIR(info.st_mode))
    {
        std::fclose(file);
        return nullptr;
    }
    return file;
}

u8* LoadFileFromBaseDir(const char* name, u32* size)
{
    std::string path;
    if (!BuildBaseDirPath(&path, name))
        return nullptr;
    FILE* file = OpenFile(path.c_str(), "rb");
    if (!file)
        return nullptr;
    long length = -1;
    if (std::fseek(file, 0, SEEK_END) == 0)
        length = std::ftell(file);
    std::rewind(file);
    // Lengths that a u32 (plus the NUL) cannot carry are refused like a
    // failed read; a length past the limit, like a failed allocation.
    if (length < 0 || static_cast<unsigned long>(length) >= 0xFFFFFFFFul)
    {
        std::fclose(file);
        return nullptr;
    }
    if (size)
        *size = static_cast<u32>(length);
    u8* buffer = static_cast<u64>(length) > kMaxWholeFileLength
                     ? nullptr
                     : static_cast<u8*>(std::malloc(static_cast<size_t>(length) + 1));
    if (!buffer || std::fread(buffer, static_cast<size_t>(length), 1, file) != 1)
    {
        std::free(buffer);
        std::fclose(file);
        return nullptr;
    }
    buffer[length] = 0;
    std::fclose(file);
    return buffer;
}

u32 ReadFileBlock(FILE* file, void* buffer, u32 size)
{
    if (!file || !buffer)
        return 0;
    return std::fread(buffer, size, 1, file) == 1 ? 1 : 0;
}

u32 FileExists(const char* path)
{
    if (!path)
        return 0;
    FILE* file = OpenFile(path, "rb");
    if (!file)
        return 0;
    std::fclose(file);
    return 1;
}

i32 AppendTextToFile(const char* name, const char* text)
{
    if (!name || !text)
        return 0;
    FILE* file = OpenFile(name, "a+");
    if (!file)
        return 0;
    std::fputs(text, file);
    std::fputs("\n", file);
    return std::fclose(file);
}

namespace
{

u32 WriteWithMode(const char* name, const char* mode, const u8* data, u32 size, u32 key)
{
    std::string path;
    if (!BuildBaseDirPath(&path, name) || (!data && size))
        return 0;
    FILE* file = OpenFile(path.c_str(), mode);
    if (!file)
        return 0;
    bool ok = std::fseek(file, 0, SEEK_END) == 0;
    if (ok && key != 0)
    {
        u8 k = KeyByte(key);
        for (u32 i = 0; ok && i < size; ++i)
            ok = std::fputc(data[i] ^ k, file) != EOF;
    }
    else if (ok && size)
    {
        ok = std::fwrite(data, size, 1, file) == 1;
    }
    // Buffered bytes can still fail on the way out; that is a failed write too.
    if (std::fclose(file) != 0)
        ok = false;
    return ok ? 1 : 0;
}

} // namespace

u32 WriteFileFromBaseDir(const char* name, const u8* data, u32 size, u32 key)
{
    return WriteWithMode(name, "wb", data, size, key);
}

u32 AppendFileToBaseDir(const char* name, const u8* data, u32 size, u32 key)
{
    return WriteWithMode(name, "a+", data, size, key);
}

u32 ReadFileFromBaseDir(const char* name, u8* data, u32 size, u32 key)
{
    std::string path;
    if (!BuildBaseDirPath(&path, name) || (!data && size))
        return 0;
    FILE* file = OpenFile(path.c_str(), "rb");
    if (!file)
        return 0;
    bool ok = true;
    if (key != 0)
    {
        u8 k = KeyByte(key);
        for (u32 i = 0; ok && i < size; ++i)
        {
            int c = std::fgetc(file);
            ok = c != EOF;
            if (ok)
                data[i] = static_cast<u8>(c ^ k);
        }
    }
    else if (size)
    {
        ok = std::fread(data, size, 1, file) == 1;
    }
    std::fclose(file);
    return ok ? 1 : 0;
}

i32 FileLength(const char* path)
{
    FILE* file = OpenFile(path, "rb");
    if (!file)
        return -1;
    long length = -1;
    if (std::fseek(file, 0, SEEK_END) == 0)
        length = std::ftell(file);
    std::fclose(file);
    if (length < 0 || length > 0x7FFFFFFFl)
        return -1;
    return static_cast<i32>(length);
}

i32 GetFileSizeInBaseDir(const char* name)
{
    std::string path;
    if (!BuildBaseDirPath(&path, name))
        return -1;
    return FileLength(path.c_str());
}

u32 DeleteFileInBaseDir(const char* name)
{
    std::string path;
    if (!BuildBaseDirPath(&path, name))
        return 0;
    return ::unlink(path.c_str()) == 0 ? 1 : 0;
}

u32 DeleteDirInBaseDir(const char* name)
{
    std::string path;
    if (!BuildBaseDirPath(&path, name))
        return 0;
    return ::rmdir(path.c_str()) == 0 ? 1 : 0;
}

u32 CreateDirInBaseDir(const char* name)
{
    std::string path;
    if (!BuildBaseDirPath(&path, name))
        return 0;
    // The player's alone whatever the umask: the game keeps its records and
    // its log in the folders it makes, and a folder others may write would
    // let them put links in place of those files.
    return ::mkdir(path.c_str(), 0700) == 0 ? 1 : 0;
}
