// Save files and whole-file loads on arbitrary disk contents: the input's
// first four bytes pick the file number, the next two the record size asked
// for, and the rest is what lies on disk. Every read must stay inside its
// buffer, give back exactly the unscrambled bytes, and a written record must
// read back unchanged.
#include "services/OFile.h"
#include "services/OSaveFile.h"
#include "support/PlatformFilesTestUtil.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

namespace
{

// The folder lives as long as the process and is removed at its end.
const std::string& Folder()
{
    static const filetest::TempFolder folder;
    return folder.Path();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 6)
        return 0;
    u32 number = 0;
    std::memcpy(&number, data, 4);
    const u32 wanted = static_cast<u32>(data[4] | (data[5] << 8));
    const u8* content = data + 6;
    const size_t length = size - 6;

    char name[1024];
    if (!BuildSaveFileName(name, number, Folder().c_str()))
        std::abort();
    FILE* file = std::fopen(name, "wb");
    if (!file)
        return 0;
    if (length)
        std::fwrite(content, 1, length, file);
    std::fclose(file);

    // Guard bytes after the record catch any write past the size asked for.
    std::vector<u8> buffer(wanted + 16u, 0xA5);
    // A file longer than any record is not read at all.
    const bool record = length <= kMaxSaveFileLength;
    const u32 ok = ReadSaveFile(number, buffer.data(), wanted, Folder().c_str());
    if (ok != (record && length >= wanted ? 1u : 0u))
        std::abort();
    const size_t got = !record ? 0 : length < wanted ? length : wanted;
    for (size_t i = 0; i < got; ++i)
        if (buffer[i] != (content[i] ^ static_cast<u8>((number + i) & 0xFF)))
            std::abort();
    for (size_t i = got; i < buffer.size(); ++i)
        if (buffer[i] != 0xA5)
            std::abort();
    if (GetSaveFileSize(number, Folder().c_str()) != static_cast<i32>(length))
        std::abort();

    u32 loadedSize = 0;
    u8* loaded = LoadFileFromBaseDir(name, &loadedSize);
    if (loadedSize != length || (length == 0) != (loaded == nullptr))
        std::abort();
    if (loaded && (std::memcmp(loaded, content, length) != 0 || loaded[length] != 0))
        std::abort();
    std::free(loaded);

    if (ok)
    {
        if (WriteSaveFile(number, buffer.data(), wanted, Folder().c_str()) != 1)
            std::abort();
        std::vector<u8> again(wanted + 1u);
        if (ReadSaveFile(number, again.data(), wanted, Folder().c_str()) != 1 ||
            std::memcmp(again.data(), buffer.data(), wanted) != 0)
            std::abort();
    }
    std::remove(name);
    return 0;
}
