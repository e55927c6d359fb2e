#include "services/ORegKey.h"

#include "platform/SystemInfo.h"

#include <cstdio>
#include <cstring>
#include <new>

using namespace platform;

namespace
{

bool Succeeded(i32 result)
{
    // A value larger than the caller's room is still read, cut to the room.
    return result == ERROR_SUCCESS || result == ERROR_MORE_DATA;
}

} // namespace

ORegKey::ORegKey() : root(), key(), failed(0), path(nullptr), index(0) {}

ORegKey::~ORegKey()
{
    Close();
}

void ORegKey::Open(HKEY rootKey, const char* keyPath, bool create, bool readOnly)
{
    Close();
    const char* trimmed = keyPath ? keyPath : "";
    while (*trimmed == '\\' || *trimmed == '/')
        ++trimmed;
    const u32 access = readOnly ? KEY_READ : KEY_ALL_ACCESS;
    HKEY opened{};
    i32 result = create ? RegCreateKeyEx(rootKey, trimmed, REG_OPTION_NON_VOLATILE, access, &opened, nullptr)
                        : RegOpenKeyEx(rootKey, trimmed, 0, access, &opened);
    const size_t length = std::strlen(trimmed);
    char* copy = result == ERROR_SUCCESS ? new (std::nothrow) char[length + 1] : nullptr;
    if (!copy)
    {
        if (result == ERROR_SUCCESS)
            RegCloseKey(opened);
        failed = 1;
        return;
    }
    std::memcpy(copy, trimmed, length + 1);
    failed = 0;
    key = opened;
    root = rootKey;
    path = copy;
}

void ORegKey::Close()
{
    failed = 0;
    if (key != HKEY{} && RegCloseKey(key) != ERROR_SUCCESS)
        failed = 1;
    delete[] path;
    path = nullptr;
    key = HKEY{};
    root = HKEY{};
}

void ORegKey::DeleteKey()
{
    if (key == HKEY{})
        return;
    const bool deleteFailed = RegDeleteKey(key, "") != ERROR_SUCCESS;
    Close();
    if (deleteFailed)
        failed = 1;
}

u32 ORegKey::DeleteValue(const char* name)
{
    if (key == HKEY{})
        return 1;
    failed = RegDeleteValue(key, name) != ERROR_SUCCESS;
    return failed;
}

bool ORegKey::EnumValue(char* name, u32 size)
{
    if (key == HKEY{})
        return false;
    u32 length = size;
    i32 result = RegEnumValue(key, index, name, &length, nullptr, nullptr, nullptr);
    failed = static_cast<u32>(result);
    if (result == ERROR_NO_MORE_ITEMS)
    {
        failed = 0;
        return false;
    }
    return result == ERROR_SUCCESS;
}

bool ORegKey::EnumFirstValue(char* name, u32 size)
{
    index = 0;
    return EnumValue(name, size);
}

bool ORegKey::EnumNextValue(char* name, u32 size)
{
    ++index;
    return EnumValue(name, size);
}

u32 ORegKey::QueryBytes(const char* name, u8* buffer, u32 size)
{
    if (key == HKEY{} || !buffer || size == 0)
        return 0;
    u32 length = size;
    failed = !Succeeded(RegQueryValueEx(key, name, nullptr, buffer, &length));
    // The registry reports a value's whole size even when only the room was
    // filled; the caller is told what its buffer holds.
    return failed ? 0 : (length < size ? length : size);
}

u32 ORegKey::QueryDword(const char* name, u32* value)
{
    if (!value)
        return 0;
    QueryBytes(name, reinterpret_cast<u8*>(value), sizeof *value);
    return *value;
}

i32 ORegKey::QueryString(const char* name, char* buffer, i32 size)
{
    if (!buffer || size <= 0)
        return 0;
    const u32 read = QueryBytes(name, reinterpret_cast<u8*>(buffer), static_cast<u32>(size));
    buffer[read < static_cast<u32>(size) ? read : static_cast<u32>(size) - 1] = 0;
    return static_cast<i32>(read);
}

u32 ORegKey::QueryBinary(const char* name, u8* buffer, u32 size)
{
    return QueryBytes(name, buffer, size);
}

u32 ORegKey::SetValue(const char* name, u32 type, const u8* data, u32 size)
{
    if (key == HKEY{})
        return 1;
    failed = RegSetValueEx(key, name, type, data, size) != ERROR_SUCCESS;
    return failed;
}

u32 ORegKey::SetDword(const char* name, u32 value)
{
    const u8 bytes[4] = {u8(value), u8(value >> 8), u8(value >> 16), u8(value >> 24)};
    return SetValue(name, REG_DWORD, bytes, 4);
}

u32 ORegKey::SetString(const char* name, const char* text)
{
    if (!text)
        return SetValue(name, REG_SZ, nullptr, 1);
    return SetValue(name, REG_SZ, reinterpret_cast<const u8*>(text), static_cast<u32>(std::strlen(text) + 1));
}

u32 ORegKey::SetBinary(const char* name, const u8* data, u32 size)
{
    return SetValue(name, REG_BINARY, data, size);
}

i32 GetCpuMHz()
{
    i32 best = 0;
    const u32 count = GetProcessorCount();
    for (u32 i = 0; i < count; ++i)
    {
        char keyPath[64];
        std::snprintf(keyPath, sizeof keyPath, "HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\%u", i);
        ORegKey processor;
        processor.Open(HKEY_LOCAL_MACHINE, keyPath, false, true);
        if (processor.failed)
            continue;
        u32 mhz = 0;
        processor.QueryDword("~MHz", &mhz);
        processor.Close();
        if (static_cast<i32>(mhz) > best)
            best = static_cast<i32>(mhz);
    }
    // The callers hold the speed in 16 bits; a faster figure stays the
    // largest that fits rather than wrapping to a negative one.
    return best > 32767 ? 32767 : best;
}
