#pragma once
// An image store without a bitmap pack, for tests that need images found by
// index: `packImages` empty pack entries to fill by hand and `slots` run-time
// slots reached through the store's table.
#include "image/OBitmapStore.h"
#include "image/OImageTable.h"

namespace testsupport
{

inline OBitmapStore* MakeStore(i16 packImages, i16 slots, i16 records = 0)
{
    OBitmapStore* store = new OBitmapStore;
    store->recordCount = records;
    store->packImageCount = packImages;
    store->extraSlots = slots;
    store->buffers = new OBuffer*[static_cast<size_t>(records + 2 * slots)]();
    store->images = new OBitmap*[static_cast<size_t>(packImages + slots)]();
    store->table = new OImageTable;
    store->table->Init(static_cast<u16>(slots), store, store->images + packImages, store->buffers + records);
    return store;
}

} // namespace testsupport

#include <random>

namespace testsupport
{

// Makes a w x h image of the given format in the store's lowest free slot,
// every byte of its blocks drawn from the generator (alpha planes mix the
// two shortcut values 0 and 255 with blends). Returns its image index, or
// -1 when no slot is free.
inline i16 AddRandomImage(OBitmapStore* store, std::mt19937& rng, u16 w, u16 h, u8 format)
{
    const i16 slot = store->AddImage(w, h, 0, format, nullptr, nullptr, -1);
    if (slot < 0)
        return -1;
    const i16 index = static_cast<i16>(store->GetImageCount() + slot);
    OBitmap* image = store->GetImage(index);
    if (u8* bits = image->GetBits(); bits != nullptr && format < 16)
    {
        for (i32 i = 0; i < OBitmap::Rgb24BlockSize(w, h); ++i)
            bits[i] = static_cast<u8>(rng());
    }
    if (u8* a = image->GetAlpha())
    {
        for (i32 i = 0; i < OBitmap::AlphaPlaneSize(w, h); ++i)
        {
            const u32 pick = rng() % 8;
            a[i] = pick < 3 ? 0 : pick < 5 ? 255 : static_cast<u8>(rng());
        }
    }
    return index;
}

} // namespace testsupport
