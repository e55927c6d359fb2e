#pragma once
#include "core/Types.h"

// The byte source of the JPEG decoder. The decoder asks for at most 4096 bytes
// at a time and keeps asking until its buffer is full or the end flag is set;
// a source that has nothing more to give must say so through the flag (a
// source that returns 0 bytes is taken to have ended as well).
class TJPEG_Stream : public CBase
{
public:
    virtual ~TJPEG_Stream() = default;
    // Copies at most max bytes into buffer and returns how many; sets *end to
    // non-zero once no byte follows the ones just delivered; -1 on a read error.
    virtual i32 Read(u8* buffer, i32 max, u32* end) = 0;
};

// A source over a memory block that it does not own.
class OJpegData : public TJPEG_Stream
{
public:
    OJpegData() = default;
    OJpegData(i32 size, const u8* data) { SetData(size, data); }

    void SetData(i32 size, const u8* data);
    i32 Read(u8* buffer, i32 max, u32* end) override;

private:
    const u8* data = nullptr;
    i32 size = 0;
    i32 position = 0;
};
