#include "platform/SystemInfo.h"

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <sstream>
#include <sys/resource.h>
#include <sys/sysinfo.h>
#include <sys/utsname.h>
#include <unistd.h>

namespace platform
{

namespace
{

std::string Trim(const std::string& s)
{
    size_t begin = s.find_first_not_of(" \t");
    size_t end = s.find_last_not_of(" \t\r\n");
    return begin == std::string::npos ? std::string() : s.substr(begin, end - begin + 1);
}

std::string ReadWholeFile(const char* path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

i32 ToInt(const std::string& s, i32 fallback)
{
    char* end = nullptr;
    long value = std::strtol(s.c_str(), &end, 10);
    return end != s.c_str() ? static_cast<i32>(value) : fallback;
}

// The bits of the standard feature word (CPUID leaf 1, EDX) by the names the
// kernel gives them in its flag list.
u32 FeatureWord(const std::string& flags)
{
    static const char* const bitNames[32] = {
        "fpu",  "vme",  "de",   "pse", "tsc",  "msr", "pae",   "mce", "cx8",     "apic",  nullptr,
        "sep",  "mtrr", "pge",  "mca", "cmov", "pat", "pse36", "pn",  "clflush", nullptr, "dts",
        "acpi", "mmx",  "fxsr", "sse", "sse2", "ss",  "ht",    "tm",  "ia64",    "pbe"};
    u32 word = 0;
    std::istringstream words(flags);
    std::string flag;
    while (words >> flag)
    {
        for (u32 bit = 0; bit < 32; ++bit)
        {
            if (bitNames[bit] && flag == bitNames[bit])
                word |= 1u << bit;
        }
    }
    return word;
}

// The rated top speed from the frequency driver, 0 where there is none (most
// virtual machines).
u32 RatedMHz(u32 number)
{
    char path[96];
    std::snprintf(path, sizeof path, "/sys/devices/system/cpu/cpu%u/cpufreq/cpuinfo_max_freq", number);
    i32 khz = ToInt(ReadWholeFile(path), 0);
    return khz > 0 ? static_cast<u32>(khz / 1000) : 0;
}

void Finish(ProcessorInfo& cpu, const std::string& machine, const std::string& flags, double currentMHz)
{
    cpu.featureSet = FeatureWord(flags);
    cpu.mhz = RatedMHz(cpu.number);
    if (cpu.mhz == 0 && currentMHz > 0)
        cpu.mhz = static_cast<u32>(std::lround(currentMHz));
    if (cpu.family >= 0 && cpu.model >= 0 && cpu.stepping >= 0)
    {
        cpu.identifier = machine + " Family " + std::to_string(cpu.family) + " Model " +
                         std::to_string(cpu.model) + " Stepping " + std::to_string(cpu.stepping);
    }
}

std::string Machine()
{
    OsVersion os;
    return GetOsVersion(&os) ? os.machine : std::string();
}

// "address sizes : 48 bits physical, 48 bits virtual": user programs get the
// lower half of the virtual space.
u64 UserAddressSpace()
{
    std::istringstream lines(ReadWholeFile("/proc/cpuinfo"));
    std::string line;
    while (std::getline(lines, line))
    {
        size_t comma = line.find(',');
        if (line.rfind("address sizes", 0) != 0 || comma == std::string::npos)
            continue;
        i32 bits = ToInt(Trim(line.substr(comma + 1)), 0);
        return bits > 1 && bits < 64 ? u64{1} << (bits - 1) : 0;
    }
    return 0;
}

// A "Name: value kB" figure of a /proc file in bytes, or -1.
i64 KilobyteField(const std::string& text, const char* name)
{
    std::string key = std::string("\n") + name + ":";
    size_t at = ("\n" + text).find(key);
    if (at == std::string::npos)
        return -1;
    return static_cast<i64>(std::strtoll(text.c_str() + at + key.size() - 1, nullptr, 10)) * 1024;
}

// The boot-time clock counts a suspended machine's sleep, as the wall clock
// does; kernels before it have the monotonic one.
i64 Now()
{
    timespec now{};
    if (::clock_gettime(CLOCK_BOOTTIME, &now) != 0)
        ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<i64>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

// When the program began to run, in nanoseconds of Now(). Constant-initialised,
// so it is "unset" before any initialiser of the program runs.
constexpr i64 kUnset = -1;
std::atomic<i64> programStart{kUnset};

// The first to ask fixes the start, and nothing moves it afterwards: a line
// stamped before this file's constructor ran (by an initialiser of the same
// priority) counts from its own moment, and every later stamp from the same
// one, so the stamps never go backwards.
i64 ProgramStart()
{
    i64 start = programStart.load(std::memory_order_acquire);
    if (start != kUnset)
        return start;
    const i64 now = Now();
    return programStart.compare_exchange_strong(start, now, std::memory_order_acq_rel) ? now : start;
}

// The kernel's record of a process's start (/proc/self/stat) is when the
// process was forked: a shell that waits before its exec, or a launcher that
// does work there, would have its time stamped on the game's lines. The
// program's own first moment is when its first initialiser runs; 101 is the
// earliest priority a program may take, ahead of every ordinary static
// initialiser. It stands in the file of the stamps themselves, so the linker
// keeps it wherever a stamp is taken.
__attribute__((constructor(101))) void NoteProgramStart()
{
    ProgramStart();
}

} // namespace

std::vector<ProcessorInfo> ReadProcessors()
{
    std::vector<ProcessorInfo> cpus;
    std::istringstream lines(ReadWholeFile("/proc/cpuinfo"));
    const std::string machine = Machine();
    std::string line, flags;
    double currentMHz = 0;
    auto finishLast = [&]
    {
        if (!cpus.empty())
            Finish(cpus.back(), machine, flags, currentMHz);
        flags.clear();
        currentMHz = 0;
    };
    while (std::getline(lines, line))
    {
        size_t colon = line.find(':');
        if (colon == std::string::npos)
            continue;
        std::string key = Trim(line.substr(0, colon));
        std::string value = Trim(line.substr(colon + 1));
        if (key == "processor")
        {
            finishLast();
            cpus.emplace_back();
            cpus.back().number = static_cast<u32>(ToInt(value, static_cast<i32>(cpus.size() - 1)));
            continue;
        }
        if (cpus.empty())
            continue;
        ProcessorInfo& cpu = cpus.back();
        if (key == "model name" || ((key == "cpu model" || key == "cpu") && cpu.name.empty()))
            cpu.name = value;
        else if (key == "vendor_id")
            cpu.vendor = value;
        else if (key == "cpu family")
            cpu.family = ToInt(value, -1);
        else if (key == "model")
            cpu.model = ToInt(value, -1);
        else if (key == "stepping")
            cpu.stepping = ToInt(value, -1);
        else if (key == "flags")
            flags = value;
        else if (key == "cpu MHz")
            currentMHz = std::atof(value.c_str());
    }
    finishLast();
    return cpus;
}

u32 GetProcessorCount()
{
    size_t listed = ReadProcessors().size();
    if (listed > 0)
        return static_cast<u32>(listed);
    long online = ::sysconf(_SC_NPROCESSORS_ONLN);
    return online > 0 ? static_cast<u32>(online) : 1;
}

bool GetOsVersion(OsVersion* out)
{
    utsname name{};
    if (!out || ::uname(&name) != 0)
        return false;
    *out = {name.sysname, name.release, name.version, name.machine};
    return true;
}

bool GetMemoryStatus(MemoryStatus* out)
{
    if (!out)
        return false;
    *out = {};
    const std::string info = ReadWholeFile("/proc/meminfo");
    i64 total = KilobyteField(info, "MemTotal");
    i64 available = KilobyteField(info, "MemAvailable");
    i64 swapTotal = KilobyteField(info, "SwapTotal");
    i64 swapFree = KilobyteField(info, "SwapFree");
    struct sysinfo system
    {
    };
    if (total < 0 && ::sysinfo(&system) == 0)
    {
        total = static_cast<i64>(system.totalram) * system.mem_unit;
        available = static_cast<i64>(system.freeram + system.bufferram) * system.mem_unit;
        swapTotal = static_cast<i64>(system.totalswap) * system.mem_unit;
        swapFree = static_cast<i64>(system.freeswap) * system.mem_unit;
    }
    if (total <= 0)
        return false;
    out->totalPhysical = static_cast<u64>(total);
    out->availablePhysical = available > 0 ? static_cast<u64>(std::min(available, total)) : 0;
    out->loadPercent =
        static_cast<u32>((out->totalPhysical - out->availablePhysical) * 100 / out->totalPhysical);
    out->totalSwap = swapTotal > 0 ? static_cast<u64>(swapTotal) : 0;
    out->freeSwap = swapFree > 0 ? static_cast<u64>(swapFree) : 0;

    rlimit limit{};
    if (::getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
        out->totalVirtual = static_cast<u64>(limit.rlim_cur);
    else
        out->totalVirtual = UserAddressSpace();
    i64 used = KilobyteField(ReadWholeFile("/proc/self/status"), "VmSize");
    if (out->totalVirtual > 0 && used >= 0)
        out->availableVirtual =
            out->totalVirtual > static_cast<u64>(used) ? out->totalVirtual - static_cast<u64>(used) : 0;
    else
        out->totalVirtual = 0;
    return true;
}

std::string GetCurrentFolder()
{
    char* folder = ::getcwd(nullptr, 0);
    std::string result = folder ? folder : "";
    std::free(folder);
    return result;
}

std::string GetCommandLine()
{
    const std::string raw = ReadWholeFile("/proc/self/cmdline");
    std::string line;
    for (size_t begin = 0; begin < raw.size();)
    {
        size_t end = raw.find('\0', begin);
        if (end == std::string::npos)
            end = raw.size();
        std::string argument = raw.substr(begin, end - begin);
        if (!line.empty())
            line += ' ';
        line += argument.find_first_of(" \t") == std::string::npos ? argument : "\"" + argument + "\"";
        begin = end + 1;
    }
    return line;
}

LocalTime GetLocalTime()
{
    std::time_t now = std::time(nullptr);
    std::tm parts{};
    if (!::localtime_r(&now, &parts))
        return {};
    return {parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec};
}

u32 GetProcessMilliseconds()
{
    const i64 start = ProgramStart();
    return static_cast<u32>((Now() - start) / 1000000);
}

} // namespace platform
