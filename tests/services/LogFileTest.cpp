#include "platform/Backend.h"
#include "platform/SystemInfo.h"
#include "platform/files/Registry.h"
#include "services/OLogFile.h"
#include "support/PlatformFilesTestUtil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using filetest::TempFolder;

namespace
{

// A line logged while the program is still being loaded, before main.
const u32 stampBeforeMain = platform::GetProcessMilliseconds();

i64 BootMilliseconds()
{
    timespec now{};
    ::clock_gettime(CLOCK_BOOTTIME, &now);
    return static_cast<i64>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

// Started again by RunAsProgram, this test program writes the log that
// ZORBLET_LOG_PROBE names, with a line saying when (on the boot-time clock)
// its stamps count from, and leaves before any test runs.
class LogProbe : public ::testing::Environment
{
    void SetUp() override
    {
        const char* path = std::getenv("ZORBLET_LOG_PROBE");
        if (!path)
            return;
        platform::UseHeadless();
        {
            OLogFile log(path);
            log.Print("start %lld",
                      static_cast<long long>(BootMilliseconds() - platform::GetProcessMilliseconds()));
            log.Error("message %s", "<b>\"&amp;\"</b>");
        }
        std::_Exit(0);
    }
};
[[maybe_unused]] ::testing::Environment* const probe = ::testing::AddGlobalTestEnvironment(new LogProbe);

// Runs this test program as a program of its own in `folder` with one
// argument, `delay` seconds after the fork that makes its process; it writes
// the log `log` (above). True when it ended well.
bool RunAsProgram(const std::string& folder, const std::string& log, const char* argument, unsigned delay)
{
    const std::string self = std::filesystem::read_symlink("/proc/self/exe");
    const pid_t child = ::fork();
    if (child == 0)
    {
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 1), ::dup2(null, 2);
        ::sleep(delay);
        if (::chdir(folder.c_str()) == 0 && ::setenv("ZORBLET_LOG_PROBE", log.c_str(), 1) == 0)
            ::execl(self.c_str(), self.c_str(), argument, static_cast<char*>(nullptr));
        ::_exit(127);
    }
    int status = 0;
    return child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}

std::string ReadText(const std::string& path)
{
    std::vector<unsigned char> bytes = filetest::ReadBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

// What fn() says on stderr, caught in `file`.
template <class Fn> std::string StderrOf(const std::string& file, Fn fn)
{
    std::fflush(stderr);
    const int saved = ::dup(2), caught = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    ::dup2(caught, 2);
    ::close(caught);
    fn();
    std::fflush(stderr);
    ::dup2(saved, 2);
    ::close(saved);
    return ReadText(file);
}

// The log with its time fields masked and the command line and the machine
// report replaced by markers, after checking that every stamp is a
// right-aligned number of seven characters ("%7d> "), that the dates have
// their shape and that the report holds the six sections in order.
std::string Masked(const std::string& log)
{
    std::istringstream lines(log);
    std::string line, out, report;
    int asterisks = 0;
    bool inReport = false;
    while (std::getline(lines, line))
    {
        if (line.find("> ") == 7)
        {
            const size_t digits = line.find_first_not_of(' ');
            EXPECT_TRUE(digits < 7 && line.find_first_not_of("0123456789", digits) == 7) << line;
            line = "TTTTTTT> " + line.substr(9);
        }
        for (const char* label : {"Log file opened: ", "Log file closed: "})
        {
            const size_t at = line.find(label);
            if (at == std::string::npos)
                continue;
            std::string date = line.substr(at + std::strlen(label), 21);
            for (char& c : date)
                c = c >= '0' && c <= '9' ? '9' : c;
            EXPECT_EQ(date, "9999/99/99 - 99:99:99") << line;
            line.replace(at + std::strlen(label), 21, "YYYY/MM/DD - hh:mm:ss");
        }
        inReport = inReport && line != "TTTTTTT> plain 7";
        if (inReport)
            report += line + "\n";
        else if (line.find("> ****") != std::string::npos && ++asterisks == 2)
            out += line + "\n[report]\n", inReport = true;
        else if (asterisks == 1 && line.find("> ****") == std::string::npos)
        {
            EXPECT_NE(line.find("test_services"), std::string::npos) << "the test program's own: " << line;
            out += "TTTTTTT> [command line]\n";
        }
        else
            out += line + "\n";
    }
    size_t at = 0;
    for (const char* section :
         {"System", "Processor", "Video card", "Screen resolution", "Memory status", "Paths"})
    {
        at = report.find(std::string("TTTTTTT> ") + section + "***", at);
        EXPECT_NE(at, std::string::npos) << section << " missing or out of order in\n" << report;
    }
    return out;
}

class LogFileTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        platform::UseHeadless();
        platform::ResetRegistry();
    }
    void TearDown() override { platform::ResetRegistry(); }
    TempFolder dir;
};

TEST_F(LogFileTest, WritesTheHeadReportErrorsAndFooterByteForByte)
{
    const std::string path = dir / "zorblet.html";
    auto* log = new OLogFile(path.c_str());
    EXPECT_EQ(log->file, nullptr) << "closed between lines";
    log->Print("plain %d", 7);
    log->Print("ends in a newline\n");
    log->Error("bad %s", "thing");
    // A disk that is full takes the line but cannot keep it: not counted.
    log->SetFileName("/dev/full");
    log->Error("lost");
    log->SetFileName(path.c_str());
    log->Error("second");
    EXPECT_EQ(log->errorCount, 2u);
    delete log;

    const std::string text = ReadText(path);
    EXPECT_EQ(Masked(text), "<HTML>\n"
                            "<HEAD>  <TITLE> Orrimet Log file  </TITLE>  </HEAD>\n"
                            "<BODY>\n"
                            "<FONT  STYLE='FONT-SIZE: 10pt'>\n"
                            "<PRE>\n"
                            "<B><FONT color= '0000ff'>Log file opened: YYYY/MM/DD - hh:mm:ss </FONT></B>\n"
                            "\n"
                            "TTTTTTT> ****************************************************\n"
                            "TTTTTTT> [command line]\n"
                            "TTTTTTT> ****************************************************\n"
                            "[report]\n"
                            "TTTTTTT> plain 7\n"
                            "TTTTTTT> ends in a newline\n"
                            "\n"
                            "TTTTTTT> <B><FONT color= 'ff0000'>Error:</FONT></B> bad thing\n"
                            "TTTTTTT> <B><FONT color= 'ff0000'>Error:</FONT></B> second\n"
                            "\n"
                            "<B><FONT color= '0000ff'>Total Errors = 2\n"
                            "Log file closed: YYYY/MM/DD - hh:mm:ss </FONT></B>\n\n");
    EXPECT_EQ(text.substr(text.size() - 2), "\n\n")
        << "the footer ends with an empty line and no closing tags";
    EXPECT_LE(stampBeforeMain, platform::GetProcessMilliseconds()) << "stamps never go backwards";

    // The report describes this machine; a log without errors still has its
    // footer. An address-space limit of 2^52 bytes is 4503599627 Mb, more
    // than 32 bits hold.
    rlimit space{};
    ASSERT_EQ(::getrlimit(RLIMIT_AS, &space), 0);
    const rlimit wide{rlim_t{1} << 52, space.rlim_max};
    const bool limited = space.rlim_max >= wide.rlim_cur && ::setrlimit(RLIMIT_AS, &wide) == 0;
    delete new OLogFile((dir / "report.html").c_str());
    ::setrlimit(RLIMIT_AS, &space);
    const std::string report = ReadText(dir / "report.html");
    if (limited)
    {
        EXPECT_NE(report.find(" of 4503599627 Mb\n"), std::string::npos) << report;
    }
    for (const char* line : {"> System*****", "   Linux detected", "   Number of processors: ",
                             "    Processor#0:", "        Type: ", "   Device description: headless backend",
                             "   Driver name: headless", "   Screen resolution = (1920,1080)",
                             "   free physical memory: ", "   Current folder /", "Total Errors = 0"})
        EXPECT_NE(report.find(line), std::string::npos) << line << " missing from\n" << report;
    for (const char* windowsOnly : {"Windows", "Win95", "Platform ID", "System  folder"})
        EXPECT_EQ(report.find(windowsOnly), std::string::npos) << windowsOnly;
    // Sections are their name followed by asterisks to 50 characters.
    EXPECT_NE(report.find("> Memory status*************************************\n"), std::string::npos);
}

TEST_F(LogFileTest, FailedWritesAreNoOpsToldOnceAndLongMessagesAreWrittenWhole)
{
    // A folder that does not exist, a name too long for the file system, a
    // write past a file-size limit (as on a full disk) from the start or at
    // the closing lines, the log replaced by a folder between its lines or
    // before its closing lines: nothing is created, lost errors are not
    // counted, and the first failure alone is told, with the reason. The
    // limit leaves room for that line in the file stderr is caught in, and is
    // below what the log holds once open.
    enum When
    {
        AtOpen,
        BetweenLines,
        AtClose
    };
    const std::string limited = dir / "limited.html";
    const struct
    {
        std::string name, reason;
        When when = AtOpen;
        rlim_t sizeLimit = RLIM_INFINITY; // without one, the log is replaced by a folder
    } cases[] = {{dir / "no-such-folder/zorblet.html", "No such file or directory"},
                 {dir / std::string(1500, 'n'), "File name too long"},
                 {limited, "File too large", AtOpen, 1000},
                 {dir / "folder-between.html", "Is a directory", BetweenLines},
                 {dir / "folder-at-close.html", "Is a directory", AtClose},
                 {dir / "limit-at-close.html", "File too large", AtClose, 1000}};
    auto toFolder = [](const std::string& name)
    {
        std::filesystem::remove(name);
        std::filesystem::create_directory(name);
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.name.substr(dir.Path().size()));
        rlimit old{};
        ::getrlimit(RLIMIT_FSIZE, &old);
        const rlimit limit{std::min(c.sizeLimit, old.rlim_max), old.rlim_max};
        const auto previous = std::signal(SIGXFSZ, SIG_IGN);
        auto writeAndClose = [&]
        {
            if (c.when == AtOpen)
                ::setrlimit(RLIMIT_FSIZE, &limit);
            OLogFile log(c.name.c_str());
            EXPECT_EQ(log.fileName, c.name);
            if (c.when == BetweenLines)
                toFolder(c.name);
            log.Print("nowhere");
            log.Error("nowhere");
            EXPECT_EQ(log.errorCount, c.when == AtClose ? 1u : 0u);
            if (c.when == BetweenLines)
                std::filesystem::remove(c.name); // the closing lines are kept again
            if (c.when == AtClose && c.sizeLimit == RLIM_INFINITY)
                toFolder(c.name);
            if (c.when == AtClose && c.sizeLimit != RLIM_INFINITY)
            {
                EXPECT_GT(std::filesystem::file_size(c.name), c.sizeLimit);
                ::setrlimit(RLIMIT_FSIZE, &limit);
            }
        };
        const std::string said = StderrOf(dir / "said", writeAndClose);
        ::setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, previous);
        EXPECT_EQ(said.rfind("The log \"" + c.name + "\" cannot be written (" + c.reason + ")", 0), 0u)
            << said;
        EXPECT_EQ(said.find('\n'), said.size() - 1) << said;
        std::error_code error;
        if (c.when == AtOpen && c.name != limited)
        {
            EXPECT_FALSE(std::filesystem::exists(c.name.substr(0, 1023), error)) << c.name.size();
        }
    }

    // A named pipe at the log's name is left as it is, not waited on.
    const std::string pipe = dir / "pipe.html";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    {
        OLogFile log(pipe.c_str());
        log.Error("nowhere");
        EXPECT_EQ(log.errorCount, 0u);
    }
    EXPECT_TRUE(std::filesystem::is_fifo(pipe));

    // A log deleted while the program runs comes back with the next line.
    const std::string path = dir / "deleted.html";
    {
        OLogFile log(path.c_str());
        std::filesystem::remove(path);
        log.Error("after %s", "deletion");
        EXPECT_EQ(log.errorCount, 1u);
        // A message longer than the buffer is written whole.
        log.Print("%s", std::string(20000, 'x').c_str());
    }
    const std::string text = ReadText(path);
    EXPECT_EQ(text.find("<HTML>"), std::string::npos);
    EXPECT_NE(text.find("Error:</FONT></B> after deletion\n"), std::string::npos);
    EXPECT_NE(text.find("> " + std::string(20000, 'x') + "\n"), std::string::npos);
}

TEST_F(LogFileTest, TakesAFileNameAndACurrentFolderOfAnyLength)
{
    std::string folder = dir.Path();
    while (folder.size() < 1100)
        std::filesystem::create_directory(folder += "/" + std::string(200, 'd'));
    const std::string path = folder + "/zorblet.html";
    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(folder);
    delete new OLogFile(path.c_str());
    std::filesystem::current_path(before);
    const std::string text = ReadText(path);
    EXPECT_NE(text.find("Total Errors = 0"), std::string::npos) << path.size();
    EXPECT_NE(text.find("   Current folder " + folder + "\n"), std::string::npos) << text;
}

TEST_F(LogFileTest, EscapesWhatItIsToldButNotItsOwnMarkup)
{
    // The command line, the current folder and a message, each written by a
    // program of its own so that its command line and folder are hostile.
    const std::string folder = dir / "x<img src=x onerror=alert(1)>&lt;";
    ASSERT_TRUE(std::filesystem::create_directory(folder));
    ASSERT_TRUE(RunAsProgram(folder, dir / "zorblet.html", "</PRE><script>alert(2)</script>", 0));
    const std::string text = ReadText(dir / "zorblet.html");
    for (const char* line :
         {" &lt;/PRE&gt;&lt;script&gt;alert(2)&lt;/script&gt;\n",
          "/x&lt;img src=x onerror=alert(1)&gt;&amp;lt;\n",
          "> <B><FONT color= 'ff0000'>Error:</FONT></B> message &lt;b&gt;&quot;&amp;amp;&quot;&lt;/b&gt;\n"})
        EXPECT_NE(text.find(line), std::string::npos) << line << " missing from\n" << text;
    for (const char* markup : {"<script", "<img", "</PRE", "<b>"})
        EXPECT_EQ(text.find(markup), std::string::npos) << markup;
}

TEST_F(LogFileTest, StampsCountFromTheProgramsStartNotFromTheFork)
{
    // The program is started a second after the fork that makes its process;
    // that second is not its own. A busy machine only makes it longer.
    const i64 fork = BootMilliseconds();
    ASSERT_TRUE(RunAsProgram(dir.Path(), dir / "zorblet.html", "stamps", 1));
    const std::string text = ReadText(dir / "zorblet.html");
    const size_t at = text.find("> start ");
    ASSERT_NE(at, std::string::npos) << text;
    EXPECT_GE(std::atoll(text.c_str() + at + 8), fork + 999) << "the stamps count from the fork";
}

TEST_F(LogFileTest, TheSingleLogIsMadeOnceInTheCurrentFolder)
{
    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(dir.Path());
    OSingleLogFile* log = OSingleLogFile::Instance();
    EXPECT_EQ(OSingleLogFile::Instance(), log);
    log->Print("once");
    std::filesystem::current_path(before);
    EXPECT_NE(ReadText(dir / "defaultlog.html").find("> once\n"), std::string::npos);
    // The footer at exit goes to the temporary folder, gone by then.
    log->SetFileName((dir / "defaultlog.html").c_str());
    log->Close();
}

} // namespace
