#pragma once
// Helpers shared by the file and save-file operations.
#include "core/Types.h"

#include <cstdio>
#include <string>

// The room callers give a name they take into a char array (with its NUL).
// The operations themselves take names of any length.
inline constexpr size_t kPathCapacity = 1024;

// Base directory + name into out; false when there is no name.
bool BuildBaseDirPath(std::string* out, const char* name);
// fopen that refuses folders, which would open for reading but hold no data.
FILE* OpenFile(const char* path, const char* mode);
// Length of a file, -1 when it cannot be opened or exceeds 2 GiB.
i32 FileLength(const char* path);
