#pragma once
// Numbered save files "%08d.bin": a record of a fixed size stored as exactly
// that many bytes, byte i XORed with (number + i) mod 256, with no header,
// length or checksum. Names are "<base><folder>/%08d.bin", or "<base>%08d.bin"
// without a folder.
#include "core/Types.h"

// Writes the record. The new contents go to a temporary file beside the old
// one and replace it only once every byte is written and flushed, so a
// failure never destroys the previous copy. 1 on success, else 0.
u32 WriteSaveFile(u32 number, const u8* data, u32 size, const char* folder);
// Reads size bytes into buffer and removes the scrambling. 1 when all size
// bytes were read; on a short file the bytes read so far stay (descrambled)
// and the rest of the buffer is untouched; 0.
u32 ReadSaveFile(u32 number, u8* buffer, u32 size, const char* folder);
// The save file's length, -1 when it cannot be opened.
i32 GetSaveFileSize(u32 number, const char* folder);
// The file name (base directory included) into out, which holds 1024 bytes;
// false when it would not fit.
bool BuildSaveFileName(char* out, u32 number, const char* folder);
