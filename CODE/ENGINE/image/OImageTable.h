#pragma once
#include "core/Types.h"
#include "image/OBitmap.h"

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
    void Clear();
};
