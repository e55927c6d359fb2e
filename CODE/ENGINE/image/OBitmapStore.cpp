#include "image/OBitmapStore.h"

#include <cstring>

i32 OBitmapStore::FindByName(const char* name, i16 first, i16 last)
{
    const i32 end = last < 0 ? packImageCount + extraSlots : last;
    if (!images || !name)
        return -1;
    for (i32 i = first < 0 ? 0 : first; i < end && i < packImageCount + extraSlots; ++i)
    {
        if (images[i] && std::strcmp(images[i]->name, name) == 0)
            return i;
    }
    return -1;
}

i16 OBitmapStore::AddImage(u16 width, u16 height, u32 colourKey, u8 format, OBuffer* pixels, OBuffer* alpha,
                           i16 slot)
{
    if (!table)
        return 0;
    return table->AddImage(width, height, colourKey, format, pixels, alpha, slot);
}

void OBitmapStore::Free()
{
    // The table goes first: its images may share blocks of the pack part,
    // which must still be alive when their counts drop.
    delete table;
    table = nullptr;
    if (images)
    {
        for (i32 i = 0; i < packImageCount; ++i)
            DestroyBitmap(images[i]);
        delete[] images;
        images = nullptr;
    }
    if (buffers)
    {
        for (i32 i = 0; i < recordCount; ++i)
            delete buffers[i];
        delete[] buffers;
        buffers = nullptr;
    }
}
