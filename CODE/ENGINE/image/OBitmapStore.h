#pragma once
#include "core/Types.h"
#include "image/OBitmap.h"
#include "image/OImageTable.h"
#include "image/PackReader.h"

#include <vector>

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
    // recordCount + 2 x extraSlots entries, null meaning free. An entry a
    // pack load filled holds one reference on its buffer: every entry of the
    // pack part, and those of the table's part that a range load took when
    // the pack part had too few free. An entry the table filled records a
    // slot image's own block and holds none.
    OBuffer** buffers = nullptr;
    // packImageCount + extraSlots entries, null meaning none.
    OBitmap** images = nullptr;
    // One per entry of the table's part: 1 while a range load's block, with
    // its reference, is there. Never set on a free entry, so that the table
    // finds every entry it may fill marked as its own.
    std::vector<u8> rangeEntries;
    // The table's last slot-image serial, kept while the store is reloaded so
    // that the next table does not give the same numbers again.
    u64 lastSlotSerial = 0;

    // The scratch block every JPEG record passes through, and the longest
    // stream a record may hold.
    static constexpr u32 kJpegScratchSize = pack::kJpegScratchSize;
    // Exit codes of a failed load.
    static constexpr i32 kExitPackUnreadable = pack::kExitPackUnreadable;
    static constexpr i32 kExitJpegTooBig = pack::kExitJpegTooBig;

    OBitmapStore() = default;
    OBitmapStore(const OBitmapStore&) = delete;
    OBitmapStore& operator=(const OBitmapStore&) = delete;
    ~OBitmapStore() { Free(); }

    // A new store over the pack of `dir`; a pack that cannot be loaded ends
    // the process (EndProcess).
    static OBitmapStore* Create(const char* dir, u16 slots, u16 reserved);
    void Load(const char* dir, u16 slots, u16 reserved);
    void Reload(const char* dir, u16 slots);

    // The loading core: false with *failure set when the pack cannot be
    // loaded, the store then being empty.
    bool TryLoad(const char* dir, u16 slots, u16 reserved, PackFailure* failure);
    // F and N of "bmst.bin" of `directory`; true when both were read.
    bool ReadPackHeader(u16* files, u16* records);
    // Reads every data file into the records and the pack part of the list;
    // -1 when all were read, 0 with *failure set otherwise.
    i16 ReadPackData(u16 files, PackRecord* records, PackFailure* failure);

    OBitmap* GetImage(i16 index) { return images[index]; }
    i16 GetImageCount() const { return packImageCount; }
    OImageTable* GetTable() { return table; }
    i32 BufferListSize() const { return recordCount + 2 * extraSlots; }
    // Whether list entry e holds a reference on its block.
    bool HoldsReference(i32 e) const
    {
        const i32 tablePart = e - recordCount;
        return tablePart < 0 ||
               (tablePart < static_cast<i32>(rangeEntries.size()) && rangeEntries[tablePart]);
    }
    // Empties list entry e; its reference, if any, is the caller's to drop.
    void ClearEntry(i32 e);
    // Destroys the images of entries[0] to entries[count - 1] (null ones are
    // skipped) and empties those entries. A block that dies with its image
    // loses its list entries; a block an image leaves with no holder but the
    // list is released, deleted and its entries cleared, so that no entry is
    // spent on a block no image uses. The number of list entries emptied.
    i32 DropImages(OBitmap** entries, i32 count);

    // Lowest index i, first <= i < last, holding an image of exactly that
    // name; a negative last searches to the end of the slots. -1 when none.
    i32 FindByName(const char* name, i16 first, i16 last);
    // Forwards to the table; 0 when the store has none. The result is a slot.
    i16 AddImage(u16 width, u16 height, u32 colourKey, u8 format, OBuffer* pixels, OBuffer* alpha, i16 slot);

    // Destroys the images first to last (both included), by DropImages:
    // blocks another image still shares keep their list entries.
    void FreeRange(i16 first, i16 last);
    // Fills the indices first to last with the images of the pack in `dir`.
    // False when first lies beyond the pack images; a pack that cannot be
    // loaded ends the process (EndProcess).
    bool LoadRange(const char* dir, i16 first, i16 last);
    // The loading core of LoadRange: false with *failure left clear for a
    // range beyond the pack images (nothing changes), false with *failure
    // set when the pack cannot be loaded.
    bool TryLoadRange(const char* dir, i16 first, i16 last, PackFailure* failure);

    // Destroys the table, the images and every block a list entry holds a
    // reference on, wherever the entry lies.
    void Free();

    // The reaction to a failed load: the cursor shown when asked, the message
    // in an alert when there is one, then the process ends with the code.
    [[noreturn]] static void EndProcess(const PackFailure& failure);
};
