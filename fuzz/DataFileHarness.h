#pragma once
// Shared by the picture harnesses: the input becomes the file Data0.dat in a
// folder of this process, a loader turns it into an image in a fresh store,
// and the image is checked and read whole. A refused file must leave every
// slot empty.
#include "image/OBitmapStore.h"
#include "support/BitmapStoreBuilder.h"
#include "support/PlatformFilesTestUtil.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace fuzzdata
{

// The folder lives as long as the process and is removed at its end.
inline const std::string& Folder()
{
    static const filetest::TempFolder folder;
    return folder.Path();
}

template <typename Load> void Run(const uint8_t* data, size_t size, Load load)
{
    const std::string path = Folder() + "/Data0.dat";
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file || (size && std::fwrite(data, 1, size, file) != size) || std::fclose(file) != 0)
        std::abort();

    OBitmapStore* store = testsupport::MakeStore(1, 2);
    i32 slot = -1;
    const bool made = load(&slot, store, Folder().c_str());
    OImageTable* table = store->GetTable();
    if (made != (slot == 0) || table->GetImage(1) || (made != (table->GetImage(0) != nullptr)))
        std::abort();
    if (made)
    {
        OBitmap* image = table->GetImage(0);
        const size_t pixels = size_t(image->width) * image->height;
        volatile u32 sum = 0;
        if (image->format != 14)
            for (size_t i = 0; i < 3 * pixels; ++i)
                sum = sum + image->GetBits()[i];
        if (image->format != 0)
            for (size_t i = 0; i < pixels; ++i)
                sum = sum + image->GetAlpha()[i];
    }
    delete store;
}

} // namespace fuzzdata
