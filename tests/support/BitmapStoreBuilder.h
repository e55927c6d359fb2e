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
