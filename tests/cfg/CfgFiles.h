#pragma once
// Temporary files for the cfg suites' writers and loaders.
#include "support/PlatformFilesTestUtil.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <unistd.h>

namespace cfgtest
{

// In a folder of this process's own, removed at its end.
inline std::string TempPath(const char* name)
{
    static const filetest::TempFolder folder;
    return folder / name;
}

// A file open for reading and writing that no name leads to, as tmpfile()
// gives, but made in this process's folder.
inline FILE* TempFile()
{
    const std::string path = TempPath("unnamed");
    FILE* file = std::fopen(path.c_str(), "w+b");
    std::remove(path.c_str());
    return file;
}

// What is left to read in file; the file is closed.
inline std::string ReadAndClose(FILE* file)
{
    std::string text;
    int c;
    while ((c = std::fgetc(file)) != EOF)
    {
        text += static_cast<char>(c);
    }
    std::fclose(file);
    return text;
}

// The file's bytes, or "<missing>" when it cannot be opened.
inline std::string ReadFile(const std::string& path)
{
    FILE* file = std::fopen(path.c_str(), "rb");
    return file == nullptr ? "<missing>" : ReadAndClose(file);
}

} // namespace cfgtest
