#pragma once
// Helpers shared by the file and save-file operations.
#include "core/Types.h"

#include <cstdio>

// Every name, base directory included, must fit in this many bytes with its NUL.
inline constexpr size_t kPathCapacity = 1024;

// Base directory + name into out (kPathCapacity bytes); false when too long.
bool BuildBaseDirPath(char* out, const char* name);
// fopen that refuses folders, which would open for reading but hold no data.
FILE* OpenFile(const char* path, const char* mode);
// Length of a file, -1 when it cannot be opened or exceeds 2 GiB.
i32 FileLength(const char* path);
