#include "services/OLogFile.h"

#include "core/StrFunctions.h"
#include "platform/Backend.h"
#include "platform/SystemInfo.h"
#include "platform/files/FileReplace.h"
#include "services/ORegKey.h"

#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <string>
#include <vector>

using platform::HKEY_LOCAL_MACHINE;

namespace
{

// Writes text with the characters that mean something to HTML as entities:
// a folder named "x<img src=x onerror=...>" or an argument "</PRE><script>"
// must show as text, not run in the browser that opens the log, and a name
// holding "&lt;" must show as written. True when every byte was taken.
bool PutEscaped(FILE* file, const char* text)
{
    bool written = true;
    while (*text)
    {
        const size_t plain = std::strcspn(text, "<>&\"");
        written = std::fwrite(text, 1, plain, file) == plain && written;
        text += plain;
        if (!*text)
            break;
        const char* entity = *text == '<'   ? "&lt;"
                             : *text == '>' ? "&gt;"
                             : *text == '&' ? "&amp;"
                                            : "&quot;";
        written = std::fputs(entity, file) >= 0 && written;
        ++text;
    }
    return written;
}

void WriteStamp(FILE* file, const char* format)
{
    const platform::LocalTime now = platform::GetLocalTime();
    std::fprintf(file, format, now.year, now.month, now.day, now.hour, now.minute, now.second);
}

constexpr const char* kAsterisks = "****************************************************";
constexpr const char* kProcessorKey = "HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\%u";

// Bytes of MB as the report counts them: millions, cut to whole numbers.
// An address-space limit (or a machine with 57-bit addresses) reaches
// billions of them, past what 32 bits hold.
unsigned long long Megabytes(u64 bytes)
{
    return bytes / 1000000u;
}

class Report
{
public:
    explicit Report(OLogFile& log) : log_(log) {}

    void Section(const char* name)
    {
        std::string line = std::string(name) + kAsterisks;
        log_.Print("%.50s", line.c_str());
    }
    void Blank() { log_.Print("\n"); }

    // A text value, shown when it is not empty.
    void Text(ORegKey& key, const char* name, const char* format)
    {
        std::vector<u8> value = WholeValue(key, name);
        if (!value.empty())
        {
            value.push_back(0);
            log_.Print(format, reinterpret_cast<const char*>(value.data()));
        }
    }
    // A 4-byte value, shown when above 0.
    void Dword(ORegKey& key, const char* name, const char* format, u32 shift = 0)
    {
        u32 value = 0;
        key.QueryDword(name, &value);
        if (static_cast<i32>(value >> shift) > 0)
            log_.Print(format, static_cast<int>(value >> shift));
    }
    // A text stored as UTF-16, shown as 8-bit characters.
    void WideText(ORegKey& key, const char* name, const char* format)
    {
        const std::vector<u8> wide = WholeValue(key, name);
        std::string narrow;
        for (size_t i = 0; i + 1 < wide.size(); i += 2)
        {
            const u32 unit = wide[i] | static_cast<u32>(wide[i + 1]) << 8;
            if (unit == 0)
                break;
            narrow += unit < 0x100 ? static_cast<char>(unit) : '?';
        }
        if (!narrow.empty())
            log_.Print(format, narrow.c_str());
    }

    void System()
    {
        Blank();
        Section("System");
        platform::OsVersion os;
        if (platform::GetOsVersion(&os))
        {
            log_.Print("   %s detected", os.system.c_str());
            log_.Print("   Version %s %s; Machine: %s;", os.release.c_str(), os.version.c_str(),
                       os.machine.c_str());
        }
        Blank();
    }

    void Processors()
    {
        Section("Processor");
        const u32 count = platform::GetProcessorCount();
        log_.Print("   Number of processors: %u", count);
        bool anyMissing = false;
        for (u32 i = 0; i < count; ++i)
        {
            char path[64];
            std::snprintf(path, sizeof path, kProcessorKey, i);
            ORegKey key;
            key.Open(HKEY_LOCAL_MACHINE, path, false, true);
            if (key.failed)
            {
                anyMissing = true;
                continue;
            }
            log_.Print("    Processor#%u:", i);
            Text(key, "ProcessorNameString", "        Type: %s");
            Text(key, "Identifier", "        ID: %s ");
            Text(key, "VendorIdentifier", "        Vendor: %s ");
            u32 features = 0;
            key.QueryDword("FeatureSet", &features);
            if (features > 0)
                log_.Print("        Features: 0x%X", features);
            Dword(key, "~MHz", "        Speed: %d MHz");
            key.Close();
        }
        if (anyMissing)
            DescribeFirstProcessor();
        Blank();
    }

    // What the kernel says of the processors when their keys cannot tell.
    void DescribeFirstProcessor()
    {
        platform::OsVersion os;
        if (platform::GetOsVersion(&os))
            log_.Print("   ProcessorType: %s", os.machine.c_str());
        std::vector<platform::ProcessorInfo> cpus = platform::ReadProcessors();
        if (cpus.empty() || cpus[0].family < 0)
            return;
        if (cpus[0].model >= 0 && cpus[0].stepping >= 0)
            log_.Print("   ProcessorRevision        : 0x%x",
                       static_cast<u32>(cpus[0].model << 8 | cpus[0].stepping));
        log_.Print("   ProcessorLevel           : 0x%x", static_cast<u32>(cpus[0].family));
    }

    void VideoCard()
    {
        ORegKey map;
        map.Open(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\VIDEO", false, true);
        if (map.failed)
            return;
        std::vector<u8> device = WholeValue(map, "\\Device\\Video0");
        device.push_back(0);
        if (!device[0])
            return;
        map.Close();
        for (u8& c : device)
            c = static_cast<u8>(CharToLower(static_cast<char>(c)));
        const char* system = StrStr(reinterpret_cast<const char*>(device.data()), "system\\");
        if (!system)
            return;
        ORegKey video;
        video.Open(HKEY_LOCAL_MACHINE, system, false, true);
        if (video.failed)
            return;
        Section("Video card");
        Text(video, "Device Description", "   Device description: %s");
        Text(video, "ReleaseVersion", "   Device release version: %s");
        WideText(video, "HardwareInformation.BiosString", "   Device Bios: %s");
        WideText(video, "HardwareInformation.ChipType", "   Device chip: %s");
        WideText(video, "HardwareInformation.DacType", "   Device DAC: %s");
        Dword(video, "HardwareInformation.MemorySize", "   Device memory: %d MB", 20);
        ORegKey driver;
        driver.Open(HKEY_LOCAL_MACHINE,
                    "SYSTEM\\CURRENTCONTROLSET\\CONTROL\\CLASS\\{4D36E968-E325-11CE-BFC1-08002BE10318}\\0000",
                    false, true);
        if (!driver.failed)
        {
            Text(driver, "InfSection", "   Device model: %s");
            Text(driver, "DriverDesc", "   Driver description: %s");
            Text(driver, "DriverDate", "   Driver date: %s");
            Text(driver, "DriverVersion", "   Driver version: %s");
            driver.Close();
        }
        Text(video, "InstalledDisplayDrivers", "   Driver name: %s");
        Blank();
        video.Close();
    }

    void Screen()
    {
        Section("Screen resolution");
        platform::Backend& backend = platform::GetBackend();
        i32 width = 0, height = 0;
        backend.GetScreenSize(&width, &height);
        log_.Print("   Screen resolution = (%d,%d)", width, height);
        const i32 bits = backend.DescribeDisplay().bitsPerPixel;
        if (bits > 0)
            log_.Print("   Screen %d bits per pixel ", bits);
        Blank();
    }

    void Memory()
    {
        Section("Memory status");
        platform::MemoryStatus memory;
        if (platform::GetMemoryStatus(&memory))
        {
            log_.Print("   memory in use:  %u percent", memory.loadPercent);
            log_.Print("   free physical memory: %llu of %llu Mb", Megabytes(memory.availablePhysical),
                       Megabytes(memory.totalPhysical));
            log_.Print("   free paging file:     %llu of %llu Mb", Megabytes(memory.freeSwap),
                       Megabytes(memory.totalSwap));
            if (memory.totalVirtual > 0)
                log_.Print("   free virtual memory:  %llu of %llu Mb", Megabytes(memory.availableVirtual),
                           Megabytes(memory.totalVirtual));
        }
        Blank();
    }

    void Paths()
    {
        Section("Paths");
        const std::string folder = platform::GetCurrentFolder();
        if (!folder.empty())
            log_.Print("   Current folder %s", folder.c_str());
        Blank();
    }

private:
    // The value's bytes, however many: the room grows until the value leaves
    // some of it unused. Empty when the value cannot be read.
    static std::vector<u8> WholeValue(ORegKey& key, const char* name)
    {
        std::vector<u8> value(1024);
        u32 read = 0;
        while ((read = key.QueryBinary(name, value.data(), static_cast<u32>(value.size()))) == value.size())
            value.resize(value.size() * 2);
        value.resize(read);
        return value;
    }

    OLogFile& log_;
};

} // namespace

OLogFile::OLogFile(const char* name) : file(nullptr), errorCount(0), keepOpen(0)
{
    text[0] = 0;
    fileName = name ? name : "";
    // A named pipe or a device at the log's name is no log: it is left alone
    // rather than waited on, and the log writes nothing.
    file = fileName.empty() ? nullptr : platform::OpenRegularForWriting(fileName, false);
    if (!file && !fileName.empty())
        TellFailure(errno, "this session keeps no log");
    if (file)
    {
        std::fputs("<HTML>\n<HEAD>  <TITLE> Orrimet Log file  </TITLE>  </HEAD>\n", file);
        std::fputs("<BODY>\n", file);
        std::fputs("<FONT  STYLE='FONT-SIZE: 10pt'>\n<PRE>", file);
        WriteStamp(
            file,
            "\n<B><FONT color= '0000ff'>Log file opened: %d/%02d/%02d - %02d:%02d:%02d </FONT></B>\n\n");
    }
    Print("%s", kAsterisks);
    Print("%s", platform::GetCommandLine().c_str());
    Print("%s", kAsterisks);
    DumpSystemInfo();
    Close();
}

OLogFile::~OLogFile()
{
    Open();
    if (!file)
    {
        if (!fileName.empty())
            TellFailure(errno, "lines of this session are missing from it");
        return;
    }
    errno = 0;
    bool written = std::fprintf(file, "\n<B><FONT color= '0000ff'>Total Errors = %u\n", errorCount) >= 0;
    WriteStamp(file, "Log file closed: %d/%02d/%02d - %02d:%02d:%02d </FONT></B>\n\n");
    written = std::fflush(file) == 0 && written;
    const int why = errno;
    written = std::fclose(file) == 0 && written;
    file = nullptr;
    if (!written)
        TellFailure(why ? why : errno, "lines of this session are missing from it");
}

void OLogFile::TellFailure(int error, const char* consequence)
{
    // Once: a full disk would otherwise repeat it for every line.
    if (toldFailure_)
        return;
    toldFailure_ = true;
    std::fprintf(stderr, "The log \"%s\" cannot be written (%s); %s.\n", fileName.c_str(),
                 std::strerror(error ? error : EIO), consequence);
}

bool OLogFile::WriteText(const char* prefix, const char* message)
{
    const auto stamp = static_cast<int>(platform::GetProcessMilliseconds());
    errno = 0;
    bool written = std::fprintf(file, "%7d> %s", stamp, prefix) >= 0 && PutEscaped(file, message) &&
                   std::fputc('\n', file) != EOF && std::fflush(file) == 0;
    int why = errno;
    if (!keepOpen)
    {
        if (std::fclose(file) != 0 && written)
            written = false, why = errno;
        file = nullptr;
    }
    if (!written)
        TellFailure(why, "lines of this session are missing from it");
    return written;
}

bool OLogFile::WriteLine(const char* prefix, const char* format, va_list args)
{
    if (!file)
        Open();
    if (!file)
    {
        TellFailure(errno, "lines of this session are missing from it");
        return false;
    }
    va_list again;
    va_copy(again, args);
    const int length = std::vsnprintf(text, sizeof text, format, args);
    if (length < 0)
        text[0] = 0;
    if (length < static_cast<int>(sizeof text))
    {
        va_end(again);
        return WriteText(prefix, text);
    }
    // A message too long for the buffer (a deep folder's name, a long
    // command line) is written whole all the same.
    std::string whole(static_cast<size_t>(length) + 1, '\0');
    std::vsnprintf(whole.data(), whole.size(), format, again);
    va_end(again);
    return WriteText(prefix, whole.c_str());
}

void OLogFile::Print(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    WriteLine("", format, args);
    va_end(args);
}

void OLogFile::Error(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    if (WriteLine("<B><FONT color= 'ff0000'>Error:</FONT></B> ", format, args))
        ++errorCount;
    va_end(args);
}

void OLogFile::Open()
{
    if (!file && !fileName.empty())
        file = platform::OpenRegularForWriting(fileName, true);
}

void OLogFile::Close()
{
    if (file)
        std::fclose(file);
    file = nullptr;
}

void OLogFile::SetFileName(const char* name)
{
    Close();
    fileName = name ? name : "";
    Open();
}

void OLogFile::DumpSystemInfo()
{
    Report report(*this);
    report.System();
    report.Processors();
    report.VideoCard();
    report.Screen();
    report.Memory();
    report.Paths();
}

OSingleLogFile* OSingleLogFile::Instance()
{
    static OSingleLogFile log;
    return &log;
}
