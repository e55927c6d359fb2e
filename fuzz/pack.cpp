// A bitmap pack from any bytes: the first two give the header's record
// count, the third chooses the reservation, the rest is the one data file.
// Both are written to a folder of this process and loaded through the
// store's loading core, first as the start-up pack, then as a range over a
// store holding it; every image made is read at the last byte its size
// claims, so an image larger than its block is seen.
#include "image/OBitmapStore.h"
#include "support/PlatformFilesTestUtil.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

// The folder lives as long as the process and is removed at its end.
const char* Folder()
{
    static const filetest::TempFolder folder;
    return folder.Path().c_str();
}

void WriteFile(const std::string& path, const uint8_t* data, size_t size)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        std::abort();
    if (size)
        std::fwrite(data, size, 1, f);
    std::fclose(f);
}

volatile u8 sink;

void Touch(OBitmap* image)
{
    if (!image)
        return;
    const size_t pixels = size_t(image->width) * image->height;
    if (pixels == 0)
        return;
    if (image->pixels)
    {
        const u8* bits = image->pixels->data;
        const bool palette = image->format >= 16 && image->format <= 20;
        const bool bytes = image->format == 12;
        const size_t header = palette ? size_t(bits[0] | (bits[1] << 8)) : 0;
        sink = bits[header + (palette || bytes ? pixels : 3 * pixels) - 1];
        if (palette)
            sink = bits[2 + 3 * 255 + 2];
    }
    if (image->alpha)
        sink = image->alpha->data[pixels - 1];
}

void TouchAll(OBitmapStore& store)
{
    for (i32 i = 0; i < store.GetImageCount(); ++i)
        Touch(store.GetImage(static_cast<i16>(i)));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 3)
        return 0;
    const std::string dir = Folder();
    const uint8_t header[4] = {1, 0, data[0], data[1]};
    WriteFile(dir + "/bmst.bin", header, 4);
    WriteFile(dir + "/bmdt0.bin", data + 3, size - 3);
    const u16 reserved = static_cast<u16>(data[2] & 0x1F);

    OBitmapStore store;
    PackFailure failure;
    if (!store.TryLoad(dir.c_str(), 2, reserved, &failure))
    {
        if (!failure.Failed())
            std::abort();
        return 0;
    }
    TouchAll(store);
    PackFailure rangeFailure;
    const bool loaded = store.TryLoadRange(dir.c_str(), static_cast<i16>(data[2] >> 5), -1, &rangeFailure);
    if (loaded && rangeFailure.Failed())
        std::abort();
    TouchAll(store);
    store.FreeRange(0, -1);
    store.FreeRange(0, 0x7FFF);
    return 0;
}
