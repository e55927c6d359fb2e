#include "image/DataPictures.h"

#include "core/XorScramble.h"
#include "image/OBitmapStore.h"
#include "image/ODataCache.h"
#include "image/OImageTable.h"
#include "image/TJPEG_Datas.h"
#include "image/jpeg/OJpegDecoder.h"
#include "image/jpeg/TJPEG_Decoder.h"

#include <cstring>
#include <memory>
#include <new>

namespace
{

// One data file read whole through a cache of its own, freed with it.
class HeldFile
{
public:
    HeldFile(i32 number, const char* directory) : cache(ODataCache::Create(1))
    {
        if (cache)
            data = cache->Load(number, &size, directory);
        if (!data)
            size = 0;
    }
    ~HeldFile() { delete cache; }
    HeldFile(const HeldFile&) = delete;
    HeldFile& operator=(const HeldFile&) = delete;

    ODataCache* cache;
    u8* data = nullptr;
    i32 size = 0;
};

u32 ReadU32(const u8* p)
{
    return u32(p[0]) | u32(p[1]) << 8 | u32(p[2]) << 16 | u32(p[3]) << 24;
}

u16 ReadU16(const u8* p)
{
    return static_cast<u16>(p[0] | p[1] << 8);
}

i16 WantedSlot(const i32* slot)
{
    return slot ? static_cast<i16>(*slot) : i16(-1);
}

// Asks the table for an image of the format and reports its answer through
// *slot; null when no image was made. An image whose blocks could not be
// allocated cannot take the picture: it leaves its slot again and the load
// fails as with a full table.
OBitmap* AddSlotImage(OBitmapStore* store, i32* slot, u16 width, u16 height, u8 format)
{
    OImageTable* table = store->GetTable();
    i16 made = table->AddImage(width, height, 0, format, nullptr, nullptr, WantedSlot(slot));
    OBitmap* image = made < 0 ? nullptr : table->GetImage(made);
    const bool needPixels = format != 14;
    const bool needAlpha = format == 2 || format == 14;
    if (image && ((needPixels && !image->GetBits()) || (needAlpha && !image->GetAlpha())))
    {
        table->ReleaseImage(made);
        image = nullptr;
        made = -1;
    }
    if (slot)
        *slot = made;
    return image;
}

// Writes the decoder's lines one after the other from `out`, at most `pixels`
// pixels in all, as blue, green, red. Colour lines hold red, green, blue and
// a pad byte per pixel; grey lines one byte, which becomes all three. Pixels
// no line reached are cleared, so a picture that stops early is black there
// rather than whatever the block held.
void DecodeInto(TJPEG_Decoder* decoder, u8* out, size_t pixels)
{
    const size_t bytesPerPixel = decoder->GetBytesPerPixel() == 1 ? 1 : 4;
    size_t done = 0;
    u8* line = nullptr;
    u32 length = 0;
    while (done < pixels && decoder->DecodeLine(&line, &length) == 0)
    {
        size_t n = length / bytesPerPixel;
        if (n > pixels - done)
            n = pixels - done;
        u8* to = out + 3 * done;
        if (bytesPerPixel == 1)
        {
            for (size_t i = 0; i < n; ++i)
                to[3 * i] = to[3 * i + 1] = to[3 * i + 2] = line[i];
        }
        else
        {
            for (size_t i = 0; i < n; ++i)
            {
                to[3 * i] = line[4 * i + 2];
                to[3 * i + 1] = line[4 * i + 1];
                to[3 * i + 2] = line[4 * i];
            }
        }
        done += n;
    }
    std::memset(out + 3 * done, 0, 3 * (pixels - done));
}

constexpr i32 kJpmHeaderSize = 20;
constexpr i32 kTgaHeaderSize = 18;
constexpr u8 kTgaTrueColour = 2;
constexpr u8 kTgaGrey = 3;

struct DecoderDeleter
{
    void operator()(TJPEG_Decoder* d) const { d->Delete(); }
};

} // namespace

bool LoadJpmImage(i32 number, i32* slot, OBitmapStore* store, const char* directory, u8 key)
{
    if (!store || !store->GetTable())
        return false;
    HeldFile file(number, directory);
    if (file.size < kJpmHeaderSize || std::memcmp(file.data, "JPM", 3) != 0)
        return false;
    const u32 width = ReadU32(file.data + 4);
    const u32 height = ReadU32(file.data + 8);
    const u32 jpegOffset = ReadU32(file.data + 12);
    const u32 alphaOffset = ReadU32(file.data + 16);
    const u32 length = static_cast<u32>(file.size);
    if (jpegOffset < kJpmHeaderSize || jpegOffset > alphaOffset || alphaOffset > length)
        return false;
    if (width > 0xFFFF || height > 0xFFFF || u64(width) * height > length - alphaOffset)
        return false;

    // The JPEG part is unscrambled in a copy: the decoder reads it from there.
    const u32 jpegSize = alphaOffset - jpegOffset;
    std::unique_ptr<u8[]> jpeg(new (std::nothrow) u8[jpegSize + 1]);
    if (!jpeg)
        return false;
    XorUnscramble(file.data + jpegOffset, jpeg.get(), jpegSize, key);
    OJpegData source(static_cast<i32>(jpegSize), jpeg.get());
    std::unique_ptr<OJpegDecoder> holder(OJpegDecoder::Create());
    TJPEG_Decoder* decoder = holder ? holder->GetDecoder() : nullptr;
    const bool decodes = decoder && decoder->Begin(&source) == 0;
    if (decodes && (u32(decoder->GetWidth()) != width || u32(decoder->GetHeight()) != height))
        return false;

    OBitmap* image = AddSlotImage(store, slot, static_cast<u16>(width), static_cast<u16>(height), 2);
    if (!image)
        return false;
    const size_t pixels = size_t(width) * height;
    if (decodes)
        DecodeInto(decoder, image->GetBits(), pixels);
    else
        std::memset(image->GetBits(), 0, 3 * pixels);
    std::memcpy(image->GetAlpha(), file.data + alphaOffset, pixels);
    return true;
}

bool LoadTgaImage(i32 number, i32* slot, OBitmapStore* store, const char* directory)
{
    static const u8 kTrueColourHeader[12] = {0, 0, kTgaTrueColour, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    static const u8 kGreyHeader[12] = {0, 0, kTgaGrey, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    if (!store || !store->GetTable())
        return false;
    HeldFile file(number, directory);
    if (file.size < kTgaHeaderSize)
        return false;
    const u8* header = file.data;
    if (std::memcmp(header, kTrueColourHeader, 12) != 0 && std::memcmp(header, kGreyHeader, 12) != 0)
        return false;
    const u16 width = ReadU16(header + 12);
    const u16 height = ReadU16(header + 14);
    const u8 bits = header[16];
    u8 format;
    if (header[2] == kTgaTrueColour && bits == 32)
        format = 2;
    else if (header[2] == kTgaTrueColour && bits == 24)
        format = 0;
    else if (header[2] == kTgaGrey && bits == 8)
        format = 14;
    else
        return false;
    const size_t pixels = size_t(width) * height;
    if (pixels * (bits / 8) > size_t(file.size - kTgaHeaderSize))
        return false;

    OBitmap* image = AddSlotImage(store, slot, width, height, format);
    if (!image)
        return false;
    const u8* from = file.data + kTgaHeaderSize;
    if (format == 0)
        std::memcpy(image->GetBits(), from, 3 * pixels);
    else if (format == 14)
        std::memcpy(image->GetAlpha(), from, pixels);
    else
    {
        // Stored rows run bottom-up; the alpha byte counts opacity where the
        // image's plane counts transparency.
        for (size_t row = 0; row < height; ++row)
        {
            const size_t to = (size_t(height) - 1 - row) * width;
            const u8* in = from + 4 * row * width;
            u8* bits24 = image->GetBits() + 3 * to;
            u8* plane = image->GetAlpha() + to;
            for (size_t x = 0; x < width; ++x)
            {
                bits24[3 * x] = in[4 * x];
                bits24[3 * x + 1] = in[4 * x + 1];
                bits24[3 * x + 2] = in[4 * x + 2];
                plane[x] = static_cast<u8>(255 - in[4 * x + 3]);
            }
        }
    }
    return true;
}

bool LoadJpegPackImage(i32 number, i32* slot, OBitmapStore* store, const char* directory)
{
    if (!store || !store->GetTable())
        return false;
    std::unique_ptr<TJPEG_Decoder, DecoderDeleter> decoder(TJPEG_Decoder::Create());
    std::unique_ptr<TJPEG_Datas> stream(CreateJpegPackStream(1));
    if (!decoder || !stream || !stream->Open(number, directory) || decoder->Begin(stream.get()) != 0)
    {
        if (stream)
            stream->Close();
        return false;
    }
    const u16 width = static_cast<u16>(decoder->GetWidth());
    const u16 height = static_cast<u16>(decoder->GetHeight());
    // A header claiming more than the file can hold is refused before its
    // picture is allocated: a few bytes could otherwise ask for hundreds of
    // MiB. The slot keeps its image.
    if (!TJPEG_Decoder::StreamCanHold(static_cast<u64>(stream->size), width, height))
    {
        stream->Close();
        return false;
    }
    OBitmap* image = AddSlotImage(store, slot, width, height, 0);
    if (image)
        DecodeInto(decoder.get(), image->GetBits(), size_t(width) * height);
    stream->Close();
    return image != nullptr;
}
