#pragma once
#include "core/Types.h"
#include "image/OBitmap.h"
#include "image/OImageTable.h"

// The image store: every image in one array indexed by a 16-bit image index,
// the pack images first and the run-time slots of `table` after them, and the
// shared-buffer list of the blocks the store's images were made from.
class OBitmapStore
{
public:
    OImageTable* table = nullptr;
    // Record capacity; also the size of the pack part of `buffers`.
    i16 recordCount = 0;
    // Image-array entries before the slots: the image index of slot 0.
    i16 packImageCount = 0;
    i16 extraSlots = 0;
    // The folder of the pack last loaded (not a copy), or null.
    const char* directory = nullptr;
    // recordCount + 2 x extraSlots entries, null meaning free. An entry of the
    // pack part holds one reference on its buffer; an entry of the table's
    // part records a slot image's own block and holds none.
    OBuffer** buffers = nullptr;
    // packImageCount + extraSlots entries, null meaning none.
    OBitmap** images = nullptr;

    OBitmapStore() = default;
    OBitmapStore(const OBitmapStore&) = delete;
    OBitmapStore& operator=(const OBitmapStore&) = delete;
    ~OBitmapStore() { Free(); }

    OBitmap* GetImage(i16 index) { return images[index]; }
    i16 GetImageCount() const { return packImageCount; }
    OImageTable* GetTable() { return table; }
    i32 BufferListSize() const { return recordCount + 2 * extraSlots; }

    // Lowest index i, first <= i < last, holding an image of exactly that
    // name; a negative last searches to the end of the slots. -1 when none.
    i32 FindByName(const char* name, i16 first, i16 last);
    // Forwards to the table; 0 when the store has none. The result is a slot.
    i16 AddImage(u16 width, u16 height, u32 colourKey, u8 format, OBuffer* pixels, OBuffer* alpha, i16 slot);

    // Destroys the table, the images and every block of the pack part.
    void Free();
};
