#include "platform/NamedMutex.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

using platform::NamedMutex;

namespace
{

class NamedMutexTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/zorblet-mutex-XXXXXX";
        folder = ::mkdtemp(pattern);
        const char* old = std::getenv("XDG_RUNTIME_DIR");
        hadOld = old != nullptr;
        if (old)
            oldValue = old;
        ::setenv("XDG_RUNTIME_DIR", folder.c_str(), 1);
    }
    void TearDown() override
    {
        if (hadOld)
            ::setenv("XDG_RUNTIME_DIR", oldValue.c_str(), 1);
        else
            ::unsetenv("XDG_RUNTIME_DIR");
        std::filesystem::remove_all(folder);
    }
    std::string folder, oldValue;
    bool hadOld = false;
};

TEST_F(NamedMutexTest, ASecondHolderOfTheNameIsToldItExists)
{
    EXPECT_EQ(NamedMutex::GetRuntimeFolder(), folder);
    NamedMutex first, second, other;
    ASSERT_EQ(first.Create("ZORBLET"), NamedMutex::Result::Created);
    EXPECT_TRUE(std::filesystem::exists(folder + "/ZORBLET.lock"));
    EXPECT_EQ(second.Create("ZORBLET"), NamedMutex::Result::AlreadyExists);
    EXPECT_EQ(other.Create("OTHER"), NamedMutex::Result::Created);
    first.Close();
    EXPECT_EQ(second.Create("ZORBLET"), NamedMutex::Result::Created) << "free once the holder lets go";
}

TEST_F(NamedMutexTest, ADeadHolderReleasesTheName)
{
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0)
    {
        NamedMutex held;
        char result = held.Create("ZORBLET") == NamedMutex::Result::Created ? 'y' : 'n';
        (void)!::write(ready[1], &result, 1);
        ::pause(); // killed below, without any chance to clean up
        ::_exit(0);
    }
    char result = 0;
    ASSERT_EQ(::read(ready[0], &result, 1), 1);
    EXPECT_EQ(result, 'y');
    NamedMutex mine;
    EXPECT_EQ(mine.Create("ZORBLET"), NamedMutex::Result::AlreadyExists) << "another process holds it";
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    EXPECT_EQ(mine.Create("ZORBLET"), NamedMutex::Result::Created);
    ::close(ready[0]);
    ::close(ready[1]);
}

TEST_F(NamedMutexTest, UnusableNamesAndFoldersFail)
{
    NamedMutex m;
    EXPECT_EQ(m.Create(""), NamedMutex::Result::Failed);
    EXPECT_EQ(m.Create(nullptr), NamedMutex::Result::Failed);
    EXPECT_EQ(m.Create("no/such/folder"), NamedMutex::Result::Failed);
    // A relative runtime folder is not trusted; the fallback is /tmp.
    ::setenv("XDG_RUNTIME_DIR", "relative", 1);
    EXPECT_EQ(NamedMutex::GetRuntimeFolder(), "/tmp");
}

} // namespace
