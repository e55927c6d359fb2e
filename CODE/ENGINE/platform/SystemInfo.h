#pragma once
// What the log's report says about the machine: the kernel, the processors,
// memory, folders, the command line and the local time, read from uname,
// /proc and /sys. Every reader tolerates a missing file: the fact is then
// absent (empty, 0 or false), never guessed.
#include "core/Types.h"

#include <string>
#include <vector>

namespace platform
{

// One logical processor as /proc/cpuinfo and /sys describe it.
struct ProcessorInfo
{
    u32 number = 0;         // the kernel's number of the processor
    std::string name;       // "model name" (or what the architecture calls it)
    std::string vendor;     // "vendor_id"
    std::string identifier; // "<machine> Family f Model m Stepping s"
    u32 featureSet = 0;     // the standard feature word (CPUID leaf 1, EDX) rebuilt from the flags
    u32 mhz = 0;            // the highest rated speed, else the current one
    i32 family = -1;
    i32 model = -1;
    i32 stepping = -1;
};

// Every processor listed in /proc/cpuinfo, in its order; empty when the file
// cannot be read.
std::vector<ProcessorInfo> ReadProcessors();
// The number of processors the report counts: those listed, or the kernel's
// online count when the list cannot be read.
u32 GetProcessorCount();

struct OsVersion
{
    std::string system;  // "Linux"
    std::string release; // "6.1.0-18-amd64"
    std::string version; // the kernel build text
    std::string machine; // "x86_64"
};
bool GetOsVersion(OsVersion* out);

// Bytes; a figure that cannot be read is 0.
struct MemoryStatus
{
    u32 loadPercent = 0;
    u64 totalPhysical = 0;
    u64 availablePhysical = 0;
    u64 totalSwap = 0;
    u64 freeSwap = 0;
    u64 totalVirtual = 0; // the process's address-space limit, 0 when unknown
    u64 availableVirtual = 0;
};
bool GetMemoryStatus(MemoryStatus* out);

std::string GetCurrentFolder();
// The arguments of /proc/self/cmdline separated by blanks; an argument that
// holds a blank is put in double quotes.
std::string GetCommandLine();

struct LocalTime
{
    i32 year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};
LocalTime GetLocalTime();

// Wall-clock milliseconds since the program started to run (the C library's
// clock() counts processor time on this system, which stands still while the
// program waits). The start is taken by the program itself before its static
// initialisers, not when the kernel forked its process, so time spent before
// the exec is not counted; a line logged during static initialisation counts
// from the same start as the rest, so the stamps never go backwards.
u32 GetProcessMilliseconds();

} // namespace platform
