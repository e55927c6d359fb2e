// The user branch of the registry read from arbitrary file contents. Reading
// must never fail hard, and what was read must be a fixed point: written out
// after a change, read back and written again, the file is the same text.
// Every value the root key enumerates is found again by its name in another
// case, with the same type and bytes.
#include "platform/files/Registry.h"
#include "support/PlatformFilesTestUtil.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace platform;

namespace
{

// The config home lives as long as the process and is removed at its end.
const std::string& File()
{
    static const filetest::TempFolder home;
    static const std::string file = []
    {
        if (::setenv("XDG_CONFIG_HOME", home.Path().c_str(), 1) != 0)
            std::abort();
        std::string folder = home / "Quenvo";
        ::mkdir(folder.c_str(), 0700);
        ::mkdir((folder + "/ZORBLET").c_str(), 0700);
        return folder + "/ZORBLET/registry";
    }();
    return file;
}

std::string ReadAll(const std::string& path)
{
    std::string text;
    FILE* in = std::fopen(path.c_str(), "rb");
    if (!in)
        std::abort();
    char block[4096];
    for (size_t n; (n = std::fread(block, 1, sizeof block, in)) > 0;)
        text.append(block, n);
    std::fclose(in);
    return text;
}

char Upper(char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

void CheckRootValues()
{
    char name[4096];
    std::vector<u8> data(1 << 16), again(1 << 16);
    for (u32 index = 0;; ++index)
    {
        u32 nameLength = sizeof name, size = static_cast<u32>(data.size()), type = 0;
        const i32 result =
            RegEnumValue(HKEY_CURRENT_USER, index, name, &nameLength, &type, data.data(), &size);
        if (result == ERROR_NO_MORE_ITEMS)
            return;
        if (result != ERROR_SUCCESS)
            continue; // a name or data larger than the room here
        for (u32 i = 0; i < nameLength; ++i)
            name[i] = Upper(name[i]);
        u32 sizeAgain = static_cast<u32>(again.size()), typeAgain = 0;
        if (std::strlen(name) == nameLength &&
            (RegQueryValueEx(HKEY_CURRENT_USER, name, &typeAgain, again.data(), &sizeAgain) !=
                 ERROR_SUCCESS ||
             typeAgain != type || sizeAgain != size || std::memcmp(again.data(), data.data(), size) != 0))
            std::abort();
    }
}

// Reads the file afresh and stores one value, which writes the whole branch.
std::string ReadAndRewrite()
{
    ResetRegistry();
    CheckRootValues();
    HKEY key{};
    if (RegCreateKeyEx(HKEY_CURRENT_USER, "Fuzz", 0, KEY_ALL_ACCESS, &key, nullptr) != ERROR_SUCCESS ||
        RegSetValueEx(key, "v", REG_DWORD, reinterpret_cast<const u8*>("\1\2\3\4"), 4) != ERROR_SUCCESS)
        std::abort();
    u8 data[8];
    u32 size = sizeof data;
    if (RegQueryValueEx(key, "V", nullptr, data, &size) != ERROR_SUCCESS || size != 4)
        std::abort();
    RegCloseKey(key);
    return ReadAll(File());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FILE* out = std::fopen(File().c_str(), "wb");
    if (!out)
        std::abort();
    if (size)
        std::fwrite(data, 1, size, out);
    std::fclose(out);
    const std::string first = ReadAndRewrite();
    if (ReadAndRewrite() != first)
        std::abort();
    ResetRegistry();
    return 0;
}
