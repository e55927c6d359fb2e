#pragma once
// Reading the data files of a bitmap pack into records and blocks, shared by
// the start-up load and the range loads of the image store, and how a load
// that fails says why.
#include "core/Types.h"

#include <iosfwd>
#include <string>

class OBitmap;
class OBuffer;

// One record of a bitmap pack as read: a load-time copy, discarded when the
// load ends. A record that no data file fills stays empty (type 0, 0 x 0).
struct PackRecord
{
    u16 type = 0; // only the low byte is kept
    u16 width = 0;
    u16 height = 0;
    // The colour key 0xRRGGBB, or the number of the record that holds the
    // alpha plane (types 2, 12, 20 and 23).
    u32 value = 0;
    char name[20] = {};
    // Where the record came from and what its block holds, for the checks
    // that run once every record is in.
    u16 file = 0;
    i32 blockSize = 0;
};

// The text of a failed load. It grows with what it holds, so that a folder
// name of any length reaches the alert whole, and reads as the C string the
// alert shows.
class FailureText
{
public:
    operator const char*() const { return text.c_str(); }
    const char* c_str() const { return text.c_str(); }
    bool empty() const { return text.empty(); }
    friend bool operator==(const FailureText& a, const std::string& b) { return a.text == b; }
    friend bool operator==(const FailureText& a, const char* b) { return a.text == b; }
    friend std::ostream& operator<<(std::ostream& out, const FailureText& t);

private:
    friend struct PackFailure;
    std::string text;
};

// Why a pack load failed: the text the player is shown (empty for none), the
// exit code the process ends with, and whether the cursor is shown first. The
// loading core only reports it; EndProcess is the one place that acts on it.
struct PackFailure
{
    i32 exitCode = 0;
    bool showCursor = false;
    FailureText message;

    bool Failed() const { return exitCode != 0; }
    void Set(i32 code, const char* format, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 3, 4)))
#endif
        ;
};

namespace pack
{

// The scratch block every JPEG record passes through, and the longest stream
// a record may hold.
constexpr u32 kJpegScratchSize = 1048576;
// Exit codes of a failed load.
constexpr i32 kExitPackUnreadable = 255;
constexpr i32 kExitJpegTooBig = 100;

// "<dir>/<name>", or the name alone for the current folder; as long as the
// folder's name is.
std::string JoinPath(const char* dir, const char* name);
// The path of data file i ("bmdt%d.bin").
std::string DataFilePath(const char* dir, i32 file);

// Reads data files 0 to files - 1 of `dir` into records and blocks, at most
// `capacity` records; each block carries one reference. The number of records
// read, or -1 with *failure set, every block read so far deleted again.
// `openFailureNamesDir`: a data file that cannot be opened is reported with
// the folder's name rather than the file's.
i32 ReadDataFiles(const char* dir, u16 files, PackRecord* records, OBuffer** blocks, i32 capacity,
                  bool openFailureNamesDir, PackFailure* failure);

// Every record that takes its alpha plane from another record must name one
// of the `count` records read whose block covers the plane of its picture.
bool CheckPlaneRecords(const char* dir, const PackRecord* records, i32 count, PackFailure* failure);

// Whether a record's image takes its alpha plane from record `value`.
inline bool TakesPlane(u16 type)
{
    return type == 2 || type == 12 || type == 20;
}

// The image a record makes, over its own block and the plane it names; null
// for the types that make none (and when memory runs out).
OBitmap* MakeRecordImage(const PackRecord& record, OBuffer* own, OBuffer* plane);
// Whether a record of this type (JPEG types already turned into 0 and 2)
// makes an image.
inline bool MakesImage(u16 type)
{
    return type <= 2 || type == 12 || type == 14 || type == 16 || type == 18 || type == 20;
}
// Whether a record of this type takes an image index of the pack part.
inline bool CountsAsImage(u16 type)
{
    return type <= 14 || (type >= 16 && type <= 21);
}

} // namespace pack
