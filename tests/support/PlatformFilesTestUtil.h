#pragma once
// A fresh temporary folder per test, removed with everything in it.
#include "support/ChildProcess.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace filetest
{

// The folder temporary folders are made in: $TMPDIR when it names one, else
// /tmp.
inline std::string TempBase()
{
    const char* tmpdir = std::getenv("TMPDIR");
    return tmpdir && tmpdir[0] == '/' ? tmpdir : "/tmp";
}

// Who must be able to enter a temporary folder: the tests' own user, or the
// player of ChildProcess.h as well. When the tests run as root, a $TMPDIR
// the player cannot enter (a 0700 folder of root's, say) gives way to /tmp.
enum class For
{
    Me,
    Player
};

// Whether the player may enter folder.
inline bool PlayerEnters(const std::string& folder)
{
    const childtest::Player player;
    return childtest::RunAsPlayer(player, [&] { return std::to_string(::access(folder.c_str(), X_OK)); }) ==
           "0";
}

class TempFolder
{
public:
    explicit TempFolder(For who = For::Me)
    {
        std::string base = TempBase();
        if (who == For::Player && !PlayerEnters(base))
            base = "/tmp";
        std::string pattern = base + "/zorblet-test-XXXXXX";
        if (!::mkdtemp(pattern.data()))
        {
            std::perror(("cannot make a folder like " + pattern).c_str());
            std::abort();
        }
        path_ = pattern;
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    // A folder a test left without access for its owner cannot be emptied
    // until it is opened again (root needs no such help).
    ~TempFolder()
    {
        std::error_code failed;
        std::filesystem::remove_all(path_, failed);
        if (failed)
        {
            OpenUp(path_);
            std::filesystem::remove_all(path_, failed);
        }
    }
    const std::string& Path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    static void OpenUp(const std::filesystem::path& folder)
    {
        std::error_code ignored;
        ::chmod(folder.c_str(), 0700);
        for (std::filesystem::directory_iterator it(folder, ignored), end; !ignored && it != end;
             it.increment(ignored))
            if (it->is_directory(ignored) && !it->is_symlink(ignored))
                OpenUp(it->path());
    }
    std::string path_;
};

// Sets environment variables for one test and puts them back afterwards.
class EnvGuard
{
public:
    void Set(const char* name, const char* value)
    {
        const char* old = std::getenv(name);
        saved_.push_back({name, old ? std::string(old) : std::string(), old != nullptr});
        if (value)
            ::setenv(name, value, 1);
        else
            ::unsetenv(name);
    }
    ~EnvGuard()
    {
        for (auto it = saved_.rbegin(); it != saved_.rend(); ++it)
        {
            if (it->had)
                ::setenv(it->name.c_str(), it->value.c_str(), 1);
            else
                ::unsetenv(it->name.c_str());
        }
    }

private:
    struct Saved
    {
        std::string name, value;
        bool had;
    };
    std::vector<Saved> saved_;
};

inline void WriteBytes(const std::string& path, const std::vector<unsigned char>& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline std::vector<unsigned char> ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

} // namespace filetest
