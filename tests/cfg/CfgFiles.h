#pragma once
// Temporary files for the cfg suites' writers and loaders.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <unistd.h>

namespace cfgtest
{

// Unique per process, so that suites running side by side do not collide.
inline std::string TempPath(const char* name)
{
    return std::string(::testing::TempDir()) + name + std::to_string(::getpid());
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
