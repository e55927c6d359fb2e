// Any byte string through Begin and every DecodeLine. The first byte chooses
// how many bytes the source hands over per Read, so that refills and pushed-
// back bytes fall on every boundary; the rest is the stream. One decoder
// decodes the input twice to prove that a second Begin starts clean.
#include "image/jpeg/TJPEG_Decoder.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace
{
class ChunkedStream : public TJPEG_Stream
{
public:
    ChunkedStream(const u8* d, size_t n, i32 chunk) : data(d), size(n), chunk(chunk) {}
    i32 Read(u8* buffer, i32 max, u32* end) override
    {
        size_t left = size - pos;
        size_t n = left < static_cast<size_t>(max) ? left : static_cast<size_t>(max);
        if (n > static_cast<size_t>(chunk))
            n = static_cast<size_t>(chunk);
        std::memcpy(buffer, data + pos, n);
        pos += n;
        *end = pos >= size ? 1u : 0u;
        return static_cast<i32>(n);
    }

private:
    const u8* data;
    size_t size;
    size_t pos = 0;
    i32 chunk;
};

u32 DecodeAll(TJPEG_Decoder* dec, TJPEG_Stream* stream)
{
    u32 sum = 0;
    if (dec->Begin(stream) != 0)
        return 0;
    u8* line;
    u32 length;
    i32 r;
    i32 lines = 0;
    while ((r = dec->DecodeLine(&line, &length)) == 0)
    {
        // Touch the whole line so that any read past the buffer is seen.
        for (u32 i = 0; i < length; i += 61)
            sum += line[i];
        sum += line[length - 1];
        ++lines;
    }
    if (r == 1 && lines != dec->GetHeight())
        std::abort();
    return sum;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    static const i32 chunks[8] = {4096, 1, 2, 3, 7, 64, 509, 4095};
    i32 chunk = chunks[data[0] & 7];
    static TJPEG_Decoder* dec = TJPEG_Decoder::Create();
    ChunkedStream first(data + 1, size - 1, chunk);
    u32 a = DecodeAll(dec, &first);
    OJpegData second(static_cast<i32>(size - 1), data + 1);
    u32 b = DecodeAll(dec, &second);
    if (a != b)
        std::abort();
    return 0;
}
