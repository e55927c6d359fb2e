#pragma once
// Numbered save files "%08d.bin": a record of a fixed size stored as exactly
// that many bytes, byte i XORed with (number + i) mod 256, with no header,
// length or checksum. Names are "<base><folder>/%08d.bin", or "<base>%08d.bin"
// without a folder.
#include "core/Types.h"

#include <string>

// Writes the record. The new contents go to a temporary file beside the old
// one, under a name of this process's own, and replace it only once every
// byte is written and flushed, so a failure never destroys the previous copy.
// A name that is a symbolic link is followed and its target replaced; the
// replacement keeps the old file's permissions. A file the caller may not
// write, or that is not a plain file, is left alone and the result is 0, as
// writing it in place would fail. In a folder that takes no new files a
// writable record is rewritten in place, and a failure there leaves the old
// bytes; a file there longer than kMaxSaveFileLength is left as it is
// (EFBIG). A record longer than kMaxSaveFileLength, which no read would take
// back, is not written at all (EFBIG). 1 on success, else 0 with errno
// telling why.
u32 WriteSaveFile(u32 number, const u8* data, u32 size, const char* folder);
// Reads size bytes into buffer and removes the scrambling. 1 when all size
// bytes were read; on a short file the bytes read so far stay (descrambled)
// and the rest of the buffer is untouched; 0. A file longer than
// kMaxSaveFileLength (below) is not read at all: 0.
u32 ReadSaveFile(u32 number, u8* buffer, u32 size, const char* folder);
// The longest save file taken for a record: the game's records are a few
// hundred bytes, so a longer file is something else at the record's name.
// It is never read into memory whole.
inline constexpr u32 kMaxSaveFileLength = u32(1) << 20;
// How a read went. A file that does not exist is Missing; one that exists but
// cannot be opened or read (permissions, a failing disk), that is not a
// regular file (a folder, a named pipe or a device in its place, which is
// never waited on), or that is longer than kMaxSaveFileLength (EFBIG), is
// Unreadable: its contents are unknown, so it must not be written over; one
// shorter than the record is Short.
enum class SaveFileState
{
    Read,
    Missing,
    Short,
    Unreadable
};
// ReadSaveFile that tells which of these happened; *error (when given)
// receives the system's error number of a failed open or read, else 0.
SaveFileState ReadSaveFileState(u32 number, u8* buffer, u32 size, const char* folder, int* error);
// The save file's length, -1 when it cannot be opened.
i32 GetSaveFileSize(u32 number, const char* folder);
// The file name, base directory included, however long.
std::string SaveFileName(u32 number, const char* folder);
// The same name into out, which holds 1024 bytes; false when it would not fit.
bool BuildSaveFileName(char* out, u32 number, const char* folder);
