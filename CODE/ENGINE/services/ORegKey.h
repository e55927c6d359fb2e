#pragma once
// One open registry key: the wrapper through which the log's report and the
// processor speed read the machine's description. Every operation on an
// object without an open key does nothing; those with a result give failure.
#include "core/Types.h"
#include "platform/files/Registry.h"

class ORegKey
{
public:
    platform::HKEY root;
    platform::HKEY key;
    // 0 after a successful operation, 1 after a failed one; after an
    // enumeration the registry's result code.
    u32 failed;
    char* path; // owned copy of the open key's path, without leading separators
    u32 index;  // the enumeration position

    ORegKey();
    ~ORegKey();
    ORegKey(const ORegKey&) = delete;
    ORegKey& operator=(const ORegKey&) = delete;

    // Closes any open key first; '\' and '/' at the start of path are skipped.
    void Open(platform::HKEY root, const char* path, bool create, bool readOnly);
    void Close();
    // Deletes the open key (which must have no sub-keys), then closes it;
    // failed stays 1 when the deletion failed.
    void DeleteKey();
    u32 DeleteValue(const char* name);
    // The value names in order; false after the last one (failed then 0).
    bool EnumFirstValue(char* name, u32 size);
    bool EnumNextValue(char* name, u32 size);
    // A failed query returns *value as the caller left it.
    u32 QueryDword(const char* name, u32* value);
    // The text, ended with a zero at the length read or at size - 1 when it
    // fills the buffer; the bytes placed in the buffer (its zero included),
    // 0 when the value cannot be read.
    i32 QueryString(const char* name, char* buffer, i32 size);
    u32 QueryBinary(const char* name, u8* buffer, u32 size);
    u32 SetDword(const char* name, u32 value);
    u32 SetString(const char* name, const char* text);
    u32 SetBinary(const char* name, const u8* data, u32 size);

private:
    bool EnumValue(char* name, u32 size);
    u32 QueryBytes(const char* name, u8* buffer, u32 size);
    u32 SetValue(const char* name, u32 type, const u8* data, u32 size);
};

// The processor speed in MHz: the highest "~MHz" of the processors' keys,
// 0 when none could be read.
i32 GetCpuMHz();
