#include "image/OImageTable.h"

#include "image/OBitmapStore.h"

void OImageTable::Init(u16 count, OBitmapStore* store, OBitmap** slotArray, OBuffer** bufferArray)
{
    slotCount = static_cast<i16>(count);
    owner = store;
    slots = slotArray;
    buffers = bufferArray;
    serials.assign(count, 0);
}

namespace
{

// Records a block a slot image allocated itself in the first free entry of
// the table's part; with none free it goes unrecorded and still dies with its
// image.
void RecordBlock(OBuffer** list, i32 entries, OBuffer* block)
{
    for (i32 i = 0; i < entries; ++i)
    {
        if (!list[i])
        {
            list[i] = block;
            return;
        }
    }
}

} // namespace

i16 OImageTable::AddImage(u16 width, u16 height, u32 colourKey, u8 format, OBuffer* pixels, OBuffer* alpha,
                          i16 slot)
{
    if (slot >= slotCount)
        return -1;
    if (slot < 0)
    {
        slot = -1;
        for (i16 s = 0; s < slotCount; ++s)
        {
            if (!slots[s])
            {
                slot = s;
                break;
            }
        }
        if (slot < 0)
            return -1;
    }
    // The new image takes its references before the slot's image goes: the
    // caller may hand in a block that only that image and the list still
    // hold, which its release would otherwise delete. Its own blocks are
    // recorded after the release, which may empty entries for them.
    OBitmap* image = CreateBitmap(width, height, colourKey, format, pixels, alpha);
    ReleaseImage(slot);
    slots[slot] = image;
    serials[static_cast<size_t>(slot)] = ++lastSerial;
    if (image && buffers)
    {
        if (!pixels && image->pixels)
            RecordBlock(buffers, 2 * slotCount, image->pixels);
        if (!alpha && image->alpha)
            RecordBlock(buffers, 2 * slotCount, image->alpha);
    }
    return slot;
}

void OImageTable::ReleaseImage(i16 slot)
{
    OBitmap* image = slots[slot];
    if (!image)
        return;
    // With the owner's list the store settles the image's blocks, pack part
    // included: a block the image leaves to the list alone goes as well.
    if (owner && owner->buffers)
    {
        owner->DropImages(&slots[slot], 1);
        return;
    }
    // Without one, only this table's own part is there, whose entries hold
    // no references: a block dies with its last holder, and its entry with
    // it, which would otherwise point at freed memory.
    OBuffer* dying[2] = {nullptr, nullptr};
    const i32 held = image->pixels && image->pixels == image->alpha ? 2 : 1;
    if (image->pixels && image->pixels->refCount <= held)
        dying[0] = image->pixels;
    if (image->alpha && image->alpha != image->pixels && image->alpha->refCount == 1)
        dying[1] = image->alpha;
    DestroyBitmap(image);
    slots[slot] = nullptr;
    if (!buffers)
        return;
    for (OBuffer* block : dying)
    {
        for (i32 i = 0; block && i < 2 * slotCount; ++i)
        {
            if (buffers[i] == block)
                buffers[i] = nullptr;
        }
    }
}

void OImageTable::Clear()
{
    if (!slots)
        return;
    if (owner && owner->buffers)
    {
        owner->DropImages(slots, slotCount);
        return;
    }
    for (i16 s = 0; s < slotCount; ++s)
        ReleaseImage(s);
}
