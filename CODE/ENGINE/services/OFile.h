#pragma once
// Files named below the process-wide base directory. The base directory is
// put in front of every name by plain concatenation (no separator added); it
// is emptied at start-up and nothing sets it since, so names are used as
// given: relative to the current folder, or absolute. The operations report
// failure only by their results (0, -1 or null) and always close what they
// opened.
#include "core/Types.h"

#include <cstdio>

// Empties the base directory.
void ResetBaseDir();
const char* GetBaseDir();

// Reads the whole file into a new block of length + 1 bytes with a NUL after
// the data (so a text parser can run to its end); the caller frees it with
// std::free. Null when the file cannot be opened, is empty, is longer than
// kMaxWholeFileLength (64 MiB), or cannot be read whole. *size (when given)
// receives the file's length whenever it was opened and a u32 holds it.
u8* LoadFileFromBaseDir(const char* name, u32* size);
// One block of size bytes; 1 when it was read whole, else 0.
u32 ReadFileBlock(FILE* file, void* buffer, u32 size);
// 1 when the path opens for reading. The base directory is not applied.
u32 FileExists(const char* path);

// Appends text and "\n"; the close result (0 on success), or 0 when the file
// cannot be opened.
i32 AppendTextToFile(const char* name, const char* text);
// Move size bytes to or from the file ("wb", "a+" at its end, "rb"). With a
// non-zero key every byte is XORed with the sum of the key's four bytes
// (mod 256). 1 on success, else 0.
u32 WriteFileFromBaseDir(const char* name, const u8* data, u32 size, u32 key);
u32 AppendFileToBaseDir(const char* name, const u8* data, u32 size, u32 key);
u32 ReadFileFromBaseDir(const char* name, u8* data, u32 size, u32 key);
// The file's length, -1 when it cannot be opened.
i32 GetFileSizeInBaseDir(const char* name);
// 1 when the operation succeeded. A folder is made 0700 whatever the umask.
u32 DeleteFileInBaseDir(const char* name);
u32 DeleteDirInBaseDir(const char* name);
u32 CreateDirInBaseDir(const char* name);
