#pragma once
// A registry of our own, as the desktop system the game was written for has
// one: root keys over a tree of named keys, each key holding named values of
// a type (text, 4-byte number, bytes). The calls, handles, result codes and
// type numbers are that system's, so the key wrapper reads it unchanged.
//
// HKEY_LOCAL_MACHINE is read-only. It is filled on first use from this
// machine: HARDWARE\DESCRIPTION\System\CentralProcessor\<n> for each logical
// processor (ProcessorNameString, Identifier, VendorIdentifier, FeatureSet,
// ~MHz), and the display device under HARDWARE\DEVICEMAP\VIDEO, whose
// "\Device\Video0" names the key of the device's description.
// HKEY_CURRENT_USER persists in one file, "<config home>/Quenvo/ZORBLET/
// registry" ($XDG_CONFIG_HOME or ~/.config), read on first use and replaced
// whole and atomically after every change. Each change reads the file again
// under a lock, "registry.lock" beside it, so that keys other processes wrote
// meanwhile are kept. A change waits a few seconds at most for the lock, and
// is then refused (ERROR_LOCK_VIOLATION) with the file and the keys as they
// were. Under the lock, replacements that writers killed midway left beside
// the file are removed. A file that exists but cannot be read is never
// written over, nor is one the user may not write: such changes are refused
// (ERROR_ACCESS_DENIED). A file longer than any the registry writes in use
// (kMaxWholeFileLength, 64 MiB) is not read either: the branch read from it
// shows no keys, and changes are refused (ERROR_FILE_TOO_LARGE), the file
// left as it is. A file kept behind a symbolic link is replaced where the
// link leads, with its mode. A change that cannot be written is undone and
// reported (ERROR_WRITE_FAULT). The first change of a process that is
// refused or fails for the file's sake also says so on stderr, in one line
// naming the file and why; later ones are silent.
//
// No key lies more than 512 levels below its root: deeper paths are refused
// (ERROR_BAD_PATHNAME) and deeper keys in the file are left out.
//
// Key and value names compare without regard to ASCII case. Sub-key paths
// separate names with '\'; a path may not start with one.
#include "core/Types.h"

namespace platform
{

enum class HKEY : u32
{
};
inline constexpr HKEY HKEY_CURRENT_USER = HKEY{0x80000001u};
inline constexpr HKEY HKEY_LOCAL_MACHINE = HKEY{0x80000002u};

// Result codes.
inline constexpr i32 ERROR_SUCCESS = 0;
inline constexpr i32 ERROR_FILE_NOT_FOUND = 2;
inline constexpr i32 ERROR_ACCESS_DENIED = 5;
inline constexpr i32 ERROR_INVALID_HANDLE = 6;
inline constexpr i32 ERROR_WRITE_FAULT = 29;
inline constexpr i32 ERROR_LOCK_VIOLATION = 33;
inline constexpr i32 ERROR_INVALID_PARAMETER = 87;
inline constexpr i32 ERROR_BAD_PATHNAME = 161;
inline constexpr i32 ERROR_FILE_TOO_LARGE = 223;
inline constexpr i32 ERROR_MORE_DATA = 234;
inline constexpr i32 ERROR_NO_MORE_ITEMS = 259;
inline constexpr i32 ERROR_KEY_DELETED = 1018;

// Value types.
inline constexpr u32 REG_NONE = 0;
inline constexpr u32 REG_SZ = 1;
inline constexpr u32 REG_BINARY = 3;
inline constexpr u32 REG_DWORD = 4;

// Access rights: a key opened with KEY_READ alone refuses every change.
inline constexpr u32 KEY_QUERY_VALUE = 0x0001;
inline constexpr u32 KEY_SET_VALUE = 0x0002;
inline constexpr u32 KEY_CREATE_SUB_KEY = 0x0004;
inline constexpr u32 KEY_READ = 0x20019;
inline constexpr u32 KEY_WRITE = 0x20006;
inline constexpr u32 KEY_ALL_ACCESS = 0xF003F;

inline constexpr u32 REG_OPTION_NON_VOLATILE = 0;
inline constexpr u32 REG_CREATED_NEW_KEY = 1;
inline constexpr u32 REG_OPENED_EXISTING_KEY = 2;

// Opens the key at subKey below key (null or "" opens key itself again).
i32 RegOpenKeyEx(HKEY key, const char* subKey, u32 options, u32 access, HKEY* result);
// Opens the key, creating it and any missing key above it; disposition (when
// given) tells which happened.
i32 RegCreateKeyEx(HKEY key, const char* subKey, u32 options, u32 access, HKEY* result, u32* disposition);
i32 RegCloseKey(HKEY key);
// Deletes the key at subKey ("" is key itself), which must have no sub-keys;
// handles still open on it then answer ERROR_KEY_DELETED.
i32 RegDeleteKey(HKEY key, const char* subKey);
i32 RegDeleteValue(HKEY key, const char* name);
// The value at index in the order the values were first set. nameLength
// holds the room in name (a zero included) and receives the name's length;
// a name that does not fit gives ERROR_MORE_DATA. type, data and dataSize
// may be null and behave as in RegQueryValueEx.
i32 RegEnumValue(HKEY key, u32 index, char* name, u32* nameLength, u32* type, u8* data, u32* dataSize);
// The value's type and bytes (a text's zero included). dataSize holds the
// room in data and receives the value's size. When data is null only the size
// is given; when the value is larger than the room, the room is filled with
// its first bytes and the result is ERROR_MORE_DATA.
i32 RegQueryValueEx(HKEY key, const char* name, u32* type, u8* data, u32* dataSize);
i32 RegSetValueEx(HKEY key, const char* name, u32 type, const u8* data, u32 size);

// Forgets both branches and every open key: the next call reads this machine
// and the user's file afresh, and the next refused change is told, as in a
// new process.
void ResetRegistry();

} // namespace platform
