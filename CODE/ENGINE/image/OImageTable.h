#pragma once
#include "core/Types.h"
#include "image/OBitmap.h"

#include <vector>

class OBitmapStore;

// The run-time slots of the image store, placed after the pack images: slot s
// is image index OBitmapStore::GetImageCount() + s. Both arrays belong to the
// store; the table only manages their contents.
class OImageTable
{
public:
    OBitmap** slots = nullptr;
    // The table's part of the store's shared-buffer list, 2 x slotCount
    // entries. An entry the table fills records a block a slot image
    // allocated itself and holds no reference on it; a range load may put a
    // pack block, with its reference, into a free one (the store knows
    // which).
    OBuffer** buffers = nullptr;
    OBitmapStore* owner = nullptr;
    i16 slotCount = 0;
    // Every image a slot receives takes the next number of this count, so
    // that whoever remembers a slot image tells it from a later one that
    // the allocator put at the same address. The store carries the count
    // over to the table of its next load.
    u64 lastSerial = 0;

    OImageTable() = default;
    OImageTable(const OImageTable&) = delete;
    OImageTable& operator=(const OImageTable&) = delete;
    ~OImageTable() { Clear(); }

    void Init(u16 count, OBitmapStore* store, OBitmap** slotArray, OBuffer** bufferArray);

    // Makes an image in `slot`, or in the lowest free slot when `slot` is
    // negative; returns the slot, or -1 when it is out of range or every slot
    // is taken. An image already in the slot is released once the new one
    // holds the blocks it was given.
    i16 AddImage(u16 width, u16 height, u32 colourKey, u8 format, OBuffer* pixels, OBuffer* alpha, i16 slot);
    void ReleaseImage(i16 slot);
    OBitmap* GetImage(i16 slot) { return slots[slot]; }
    // The number the slot's image was given; 0 for an empty slot or one out
    // of range.
    u64 GetSerial(i16 slot) const
    {
        return slot >= 0 && slot < slotCount && slots[slot] ? serials[static_cast<size_t>(slot)] : 0;
    }
    void Clear();

private:
    std::vector<u64> serials;
};
