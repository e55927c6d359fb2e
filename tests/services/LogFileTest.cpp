#include "platform/Backend.h"
#include "platform/Registry.h"
#include "platform/SystemInfo.h"
#include "services/OLogFile.h"
#include "support/PlatformFilesTestUtil.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>

using filetest::TempFolder;

namespace
{

// A line logged while the program is still being loaded, before main.
const u32 stampBeforeMain = platform::GetProcessMilliseconds();

std::string ReadText(const std::string& path)
{
    std::vector<unsigned char> bytes = filetest::ReadBytes(path);
    return std::string(bytes.begin(), bytes.end());
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

TEST_F(LogFileTest, FailedWritesAreSilentNoOpsAndLongInputIsCut)
{
    // A folder that does not exist, a name of 1024 characters or more (cut
    // to 1023, too long to open): nothing is created, nothing counted.
    for (const std::string& name : {dir / "no-such-folder/zorblet.html", dir / std::string(1500, 'n')})
    {
        {
            OLogFile log(name.c_str());
            EXPECT_EQ(std::string(log.fileName), name.substr(0, 1023));
            log.Print("nowhere");
            log.Error("nowhere");
            EXPECT_EQ(log.errorCount, 0u);
        }
        std::error_code error;
        EXPECT_FALSE(std::filesystem::exists(name.substr(0, 1023), error)) << name.size();
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
        // A message longer than the buffer is cut to 16383 characters.
        log.Print("%s", std::string(20000, 'x').c_str());
    }
    const std::string text = ReadText(path);
    EXPECT_EQ(text.find("<HTML>"), std::string::npos);
    EXPECT_NE(text.find("Error:</FONT></B> after deletion\n"), std::string::npos);
    EXPECT_NE(text.find("> " + std::string(16383, 'x') + "\n"), std::string::npos);
    EXPECT_EQ(text.find(std::string(16384, 'x')), std::string::npos);
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
