#pragma once
// The HTML log: a head with the time it was opened, the command line and a
// report on the machine, then one line per message stamped with the
// milliseconds since the process started (errors in red), and at the end the
// number of error lines and the time it was closed. The file is opened and
// closed around every line, so a crash loses nothing already written and
// the log may be read while the program runs. A file that cannot be opened
// or written makes every write a no-op; the first such failure is told on
// stderr, naming the log and the reason, and the later ones are silent. Whatever the log is told (the
// command line, folder and device names, messages) is written with <, >, &
// and " escaped, so only the log's own markup is markup in the page.
#include "core/Types.h"

#include <cstdarg>
#include <cstdio>
#include <string>

class OLogFile
{
public:
    FILE* file;
    char text[16384];     // one formatted message (a longer one is formatted again in a string)
    u32 errorCount;       // error lines written
    std::string fileName; // whole, however long: a cut name would be another file
    u32 keepOpen;         // never set: every line opens and closes the file

    // Creates the file anew and writes the head and the system report.
    explicit OLogFile(const char* name);
    // Writes the footer; one that cannot be written is told as a lost line is.
    virtual ~OLogFile();
    OLogFile(const OLogFile&) = delete;
    OLogFile& operator=(const OLogFile&) = delete;

    void Print(const char* format, ...) __attribute__((format(printf, 2, 3)));
    // An error line; counted only when it was written.
    void Error(const char* format, ...) __attribute__((format(printf, 2, 3)));
    // Opens fileName for appending unless the file is open.
    void Open();
    void Close();
    // Takes a new name and opens it for appending.
    void SetFileName(const char* name);
    // The report on the machine: system, processors, display, screen, memory
    // and folders.
    void DumpSystemInfo();

private:
    bool toldFailure_ = false;

    // Tells stderr, the first time only, that the log cannot be written.
    void TellFailure(int error, const char* consequence);
    // Writes message as one stamped line behind prefix and closes the file;
    // false when the line did not reach the file.
    bool WriteText(const char* prefix, const char* message);
    // Opens the file when it is closed and writes the formatted message;
    // false when the line did not reach the file.
    bool WriteLine(const char* prefix, const char* format, va_list args);
};

// The log "defaultlog.html" in the current folder, made on first use and
// closed (its footer written) when the process ends.
class OSingleLogFile : public OLogFile
{
public:
    static OSingleLogFile* Instance();

private:
    OSingleLogFile() : OLogFile("defaultlog.html") {}
};
