// The user branch of the registry read from arbitrary file contents. Reading
// must never fail hard, and what was read must be a fixed point: written out
// after a change, read back and written again, the file is the same text.
#include "platform/Registry.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

using namespace platform;

namespace
{

const std::string& File()
{
    static const std::string file = []
    {
        char pattern[] = "/tmp/zorblet-fuzz-registry-XXXXXX";
        const char* made = ::mkdtemp(pattern);
        if (!made || ::setenv("XDG_CONFIG_HOME", made, 1) != 0)
            std::abort();
        std::string folder = std::string(made) + "/Quenvo";
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

// Reads the file afresh and stores one value, which writes the whole branch.
std::string ReadAndRewrite()
{
    ResetRegistry();
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
