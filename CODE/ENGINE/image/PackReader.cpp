#include "image/PackReader.h"

#include "image/OBitmap.h"
#include "image/OBuffer.h"
#include "image/jpeg/OJpegDecoder.h"
#include "services/OFile.h"

#include <cstdarg>
#include <cstdio>
#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif
#include <cstring>
#include <memory>
#include <new>
#include <ostream>
#include <string>

std::ostream& operator<<(std::ostream& out, const FailureText& t)
{
    return out << t.text;
}

void PackFailure::Set(i32 code, const char* format, ...)
{
    exitCode = code;
    va_list args;
    va_start(args, format);
    va_list measure;
    va_copy(measure, args);
    const int length = std::vsnprintf(nullptr, 0, format, measure);
    va_end(measure);
    message.text.assign(length > 0 ? static_cast<size_t>(length) : 0, '\0');
    if (length > 0)
        std::vsnprintf(message.text.data(), message.text.size() + 1, format, args);
    va_end(args);
}

namespace pack
{

std::string JoinPath(const char* dir, const char* name)
{
    return dir ? std::string(dir) + "/" + name : std::string(name);
}

std::string DataFilePath(const char* dir, i32 file)
{
    char name[32];
    std::snprintf(name, sizeof name, "bmdt%d.bin", file);
    return JoinPath(dir, name);
}

namespace
{

constexpr u32 kRecordHeaderSize = 30;

u16 Le16(const u8* p)
{
    return static_cast<u16>(p[0] | (p[1] << 8));
}

u32 Le32(const u8* p)
{
    return static_cast<u32>(p[0]) | (static_cast<u32>(p[1]) << 8) | (static_cast<u32>(p[2]) << 16) |
           (static_cast<u32>(p[3]) << 24);
}

// Decoder lines to the blocks' blue, green, red: colour lines are red, green,
// blue and a fourth byte per pixel; grey lines one byte per pixel, which
// becomes all three.
void ConvertColourPlain(const u8* in, u8* out, u32 width)
{
    for (u32 x = 0; x < width; ++x)
    {
        out[0] = in[2];
        out[1] = in[1];
        out[2] = in[0];
        in += 4;
        out += 3;
    }
}

#if defined(__x86_64__) || defined(__i386__)
// Four pixels per step with one byte shuffle. Each 16-byte store reaches 4
// bytes past the 12 it fills: into the next row, which is written after this
// one, or into the spare row every 24-bit block carries after its last.
__attribute__((target("ssse3"))) void ConvertColourSsse3(const u8* in, u8* out, u32 width)
{
    const __m128i order = _mm_setr_epi8(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1);
    u32 x = 0;
    for (; x + 4 <= width; x += 4)
    {
        const __m128i rgbx = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 4 * x));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 3 * x), _mm_shuffle_epi8(rgbx, order));
    }
    ConvertColourPlain(in + 4 * x, out + 3 * x, width - x);
}
#endif

void ConvertColourLine(const u8* in, u8* out, u32 width)
{
#if defined(__x86_64__) || defined(__i386__)
    static const bool ssse3 = __builtin_cpu_supports("ssse3");
    if (ssse3)
        return ConvertColourSsse3(in, out, width);
#endif
    ConvertColourPlain(in, out, width);
}

void ConvertGreyLine(const u8* in, u8* out, u32 width)
{
    for (u32 x = 0; x < width; ++x)
    {
        out[0] = out[1] = out[2] = in[x];
        out += 3;
    }
}

struct FileCloser
{
    void operator()(FILE* f) const { std::fclose(f); }
};

// One pass over the data files; holds what a failure must give back.
class Reader
{
public:
    Reader(const char* dir, PackRecord* records, OBuffer** blocks, i32 capacity, PackFailure* failure)
        : dir(dir), records(records), blocks(blocks), capacity(capacity), failure(failure)
    {
    }

    bool Open()
    {
        scratch.reset(new (std::nothrow) u8[kJpegScratchSize]);
        decoder.reset(OJpegDecoder::Create());
        if (!scratch || !decoder || !decoder->GetDecoder())
        {
            failure->Set(kExitPackUnreadable, "%s: out of memory", dir ? dir : ".");
            return false;
        }
        return true;
    }

    bool ReadFile(i32 file, bool openFailureNamesDir);
    // Deletes every block read so far.
    void Discard()
    {
        for (i32 r = 0; r < count; ++r)
        {
            delete blocks[r];
            blocks[r] = nullptr;
        }
        count = 0;
    }
    i32 Count() const { return count; }

private:
    bool ReadRecord(FILE* f, u64 left, u64* used);
    bool Fail(const char* what)
    {
        failure->Set(kExitPackUnreadable, "%s: %s", path.c_str(), what);
        return false;
    }
    bool ReadPayload(FILE* f, u8* to, u64 bytes)
    {
        return bytes == 0 || ReadFileBlock(f, to, static_cast<u32>(bytes));
    }
    OBuffer* NewBlock(i32 size)
    {
        OBuffer* block = OBuffer::Create(size, nullptr);
        if (block && !block->data)
        {
            delete block;
            block = nullptr;
        }
        return block;
    }
    bool DecodeJpeg(PackRecord& record, u32 length, OBuffer** out);

    const char* dir;
    PackRecord* records;
    OBuffer** blocks;
    i32 capacity;
    PackFailure* failure;
    i32 count = 0;
    std::string path;
    std::unique_ptr<u8[]> scratch;
    std::unique_ptr<OJpegDecoder> decoder;
    OJpegData stream;
};

bool Reader::ReadFile(i32 file, bool openFailureNamesDir)
{
    path = DataFilePath(dir, file);
    std::unique_ptr<FILE, FileCloser> f(std::fopen(path.c_str(), "rb"));
    if (!f)
    {
        failure->Set(kExitPackUnreadable, "Cannot open file %s",
                     openFailureNamesDir && dir ? dir : path.c_str());
        return false;
    }
    if (std::fseek(f.get(), 0, SEEK_END) != 0)
        return Fail("cannot be read");
    const long end = std::ftell(f.get());
    if (end < 0 || std::fseek(f.get(), 0, SEEK_SET) != 0)
        return Fail("cannot be read");
    const u64 length = static_cast<u64>(end);
    u64 p = 0;
    while (p < length)
    {
        if (count >= capacity)
        {
            char what[96];
            std::snprintf(what, sizeof what, "more records than the %d the pack has room for", capacity);
            return Fail(what);
        }
        u64 used = 0;
        if (!ReadRecord(f.get(), length - p, &used))
            return false;
        records[count].file = static_cast<u16>(file);
        ++count;
        p += used;
    }
    return true;
}

// Reads the record at the file position, `left` bytes before the end of the
// file; every size is checked against what is left before a block is made,
// so a damaged length can neither overrun a block nor ask for one far larger
// than the file.
bool Reader::ReadRecord(FILE* f, u64 left, u64* used)
{
    PackRecord& record = records[count];
    record = PackRecord{};
    u8 field[4];
    if (left < kRecordHeaderSize || !ReadFileBlock(f, field, 2))
        return Fail("shorter than its records");
    record.type = Le16(field) & 0xFF;
    if (!ReadFileBlock(f, field, 2))
        return Fail("shorter than its records");
    record.width = Le16(field);
    if (!ReadFileBlock(f, field, 2))
        return Fail("shorter than its records");
    record.height = Le16(field);
    if (!ReadFileBlock(f, field, 4))
        return Fail("shorter than its records");
    record.value = Le32(field);
    if (!ReadFileBlock(f, record.name, sizeof record.name))
        return Fail("shorter than its records");
    record.name[sizeof record.name - 1] = '\0';
    left -= kRecordHeaderSize;

    const u16 type = record.type;
    const u16 w = record.width;
    const u16 h = record.height;
    const u64 pixels = u64(w) * h;
    OBuffer* block = nullptr;
    u64 payload = 0;
    bool padded = (pixels & 1) != 0;
    if (type == 22 || type == 23)
    {
        if (left < 4 || !ReadFileBlock(f, field, 4))
            return Fail("shorter than its records");
        const u32 length = Le32(field);
        if (length > kJpegScratchSize)
        {
            failure->Set(kExitJpegTooBig, "Jpeg data too big!");
            return false;
        }
        if (length > left - 4 || !ReadPayload(f, scratch.get(), length))
            return Fail("shorter than its records");
        for (u32 i = 0; i < length; ++i)
            scratch[i] ^= 0xC7;
        if (!DecodeJpeg(record, length, &block))
            return false;
        record.type = type == 22 ? 0 : 2;
        payload = 4 + u64(length);
        padded = (length & 1) != 0;
    }
    else if (type >= 16 && type <= 20)
    {
        if (left < 2 || !ReadFileBlock(f, field, 2))
            return Fail("shorter than its records");
        const u16 header = Le16(field);
        if (header < 2)
            return Fail("a palette header shorter than its own length");
        payload = 2 + u64(header - 2) + pixels;
        if (payload > left)
            return Fail("shorter than its records");
        // A short palette still gets room for all 256 entries after the
        // indices, so that any index byte a blitter looks up stays inside
        // the block; the missing entries read as black.
        const u64 room = header < OBitmap::kPaletteHeaderLength ? OBitmap::kPaletteHeaderLength - header : 0;
        const u64 size = u64(w) * (h + 1) + 1 + header + room;
        block = NewBlock(size > 0x7FFFFFFF ? -1 : static_cast<i32>(size));
        if (!block)
            return Fail("out of memory");
        std::memcpy(block->data, field, 2);
        std::memset(block->data + size - room, 0, room);
        if (!ReadPayload(f, block->data + 2, payload - 2))
        {
            delete block;
            return Fail("shorter than its records");
        }
        record.blockSize = static_cast<i32>(size);
    }
    else
    {
        const bool rgb = type <= 11 || type == 13;
        payload = rgb ? 3 * pixels : pixels;
        if (payload > left)
            return Fail("shorter than its records");
        const i32 size = rgb ? OBitmap::Rgb24BlockSize(w, h) : OBitmap::AlphaPlaneSize(w, h);
        block = NewBlock(size);
        if (!block)
            return Fail("out of memory");
        if (!ReadPayload(f, block->data, payload))
        {
            delete block;
            return Fail("shorter than its records");
        }
        record.blockSize = size;
    }
    // A pad byte missing at the very end of the file loses nothing; it is
    // not asked for.
    if (padded && left > payload)
    {
        if (std::fgetc(f) == EOF)
        {
            delete block;
            return Fail("shorter than its records");
        }
        ++payload;
    }
    block->AddRef();
    blocks[count] = block;
    *used = kRecordHeaderSize + payload;
    return true;
}

bool Reader::DecodeJpeg(PackRecord& record, u32 length, OBuffer** out)
{
    char what[96];
    std::snprintf(what, sizeof what, "JPEG record %d cannot be decoded", count);
    if (!TJPEG_Decoder::StreamCanHold(length, record.width, record.height))
        return Fail(what);
    stream.SetData(static_cast<i32>(length), scratch.get());
    if (decoder->Begin(&stream) != 0)
        return Fail(what);
    if (decoder->GetWidth() != record.width || decoder->GetHeight() != record.height)
    {
        std::snprintf(what, sizeof what, "JPEG record %d is not a %dx%d picture", count, record.width,
                      record.height);
        return Fail(what);
    }
    const i32 size = OBitmap::Rgb24BlockSize(record.width, record.height);
    OBuffer* block = NewBlock(size);
    if (!block)
        return Fail("out of memory");
    const bool grey = decoder->GetDecoder()->GetBytesPerPixel() == 1;
    const u32 pitch = 3u * record.width;
    u32 rows = 0;
    for (;;)
    {
        u8* line = nullptr;
        u32 lineLength = 0;
        const i32 result = decoder->DecodeLine(&line, &lineLength);
        if (result == 1)
            break;
        if (result != 0 || rows >= record.height)
        {
            delete block;
            return Fail(what);
        }
        u8* row = block->data + u64(rows) * pitch;
        if (grey)
            ConvertGreyLine(line, row, record.width);
        else
            ConvertColourLine(line, row, record.width);
        ++rows;
    }
    if (rows != record.height)
    {
        delete block;
        return Fail(what);
    }
    record.blockSize = size;
    *out = block;
    return true;
}

} // namespace

i32 ReadDataFiles(const char* dir, u16 files, PackRecord* records, OBuffer** blocks, i32 capacity,
                  bool openFailureNamesDir, PackFailure* failure)
{
    Reader reader(dir, records, blocks, capacity, failure);
    if (!reader.Open())
        return -1;
    for (i32 file = 0; file < files; ++file)
    {
        if (!reader.ReadFile(file, openFailureNamesDir))
        {
            reader.Discard();
            return -1;
        }
    }
    return reader.Count();
}

bool CheckPlaneRecords(const char* dir, const PackRecord* records, i32 count, PackFailure* failure)
{
    for (i32 r = 0; r < count; ++r)
    {
        const PackRecord& record = records[r];
        if (!TakesPlane(record.type))
            continue;
        const char* problem = nullptr;
        if (record.value >= static_cast<u32>(count))
            problem = "which the pack does not hold";
        else if (records[record.value].blockSize < OBitmap::AlphaPlaneSize(record.width, record.height))
            problem = "which is smaller than its picture";
        if (problem)
        {
            failure->Set(kExitPackUnreadable, "%s: record %d takes its alpha plane from record %u, %s",
                         DataFilePath(dir, record.file).c_str(), r, record.value, problem);
            return false;
        }
    }
    return true;
}

OBitmap* MakeRecordImage(const PackRecord& record, OBuffer* own, OBuffer* plane)
{
    const u16 w = record.width;
    const u16 h = record.height;
    switch (record.type)
    {
    case 0:
    case 1:
    case 16:
    case 18:
        return CreateBitmap(w, h, record.value, static_cast<u8>(record.type), own, nullptr);
    case 2:
    case 12:
    case 20:
        return CreateBitmap(w, h, 0, static_cast<u8>(record.type), own, plane);
    case 14:
        return CreateBitmap(w, h, 0, 14, nullptr, own);
    default:
        return nullptr;
    }
}

} // namespace pack
