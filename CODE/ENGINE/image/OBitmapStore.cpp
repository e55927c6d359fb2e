#include "image/OBitmapStore.h"

#include "core/StrFunctions.h"
#include "image/PackReader.h"
#include "services/OFile.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <unordered_map>
#include <vector>

namespace
{

// The image indices and list entries are 16-bit; a store larger than that
// could not name its own images.
constexpr i32 kMaxEntries = 0x7FFF;

std::string HeaderPath(const char* dir)
{
    return pack::JoinPath(dir, "bmst.bin");
}

} // namespace

OBitmapStore* OBitmapStore::Create(const char* dir, u16 slots, u16 reserved)
{
    OBitmapStore* store = new OBitmapStore;
    store->Load(dir, slots, reserved);
    return store;
}

void OBitmapStore::Load(const char* dir, u16 slots, u16 reserved)
{
    PackFailure failure;
    if (!TryLoad(dir, slots, reserved, &failure))
        EndProcess(failure);
}

void OBitmapStore::Reload(const char* dir, u16 slots)
{
    Free();
    Load(dir, slots, 0);
}

bool OBitmapStore::ReadPackHeader(u16* files, u16* records)
{
    FILE* f = std::fopen(HeaderPath(directory).c_str(), "rb");
    if (!f)
        return false;
    u8 field[2];
    bool ok = ReadFileBlock(f, field, 2) != 0;
    *files = static_cast<u16>(field[0] | (field[1] << 8));
    ok = ok && ReadFileBlock(f, field, 2) != 0;
    *records = static_cast<u16>(field[0] | (field[1] << 8));
    std::fclose(f);
    return ok;
}

i16 OBitmapStore::ReadPackData(u16 files, PackRecord* records, PackFailure* failure)
{
    const i32 count = pack::ReadDataFiles(directory, files, records, buffers, recordCount, false, failure);
    if (count < 0 || !pack::CheckPlaneRecords(directory, records, count, failure))
        return 0;
    return -1;
}

bool OBitmapStore::TryLoad(const char* dir, u16 slots, u16 reserved, PackFailure* failure)
{
    Free();
    recordCount = packImageCount = extraSlots = 0;
    directory = dir;
    const std::string path = HeaderPath(dir);

    u16 files = 0;
    u16 records = 0;
    if (!ReadPackHeader(&files, &records))
    {
        failure->showCursor = true;
        failure->Set(kExitPackUnreadable, "%s not found!", path.c_str());
        return false;
    }
    if (records == 0 && slots == 0 && reserved == 0)
    {
        failure->Set(kExitPackUnreadable, "%s", "");
        return false;
    }
    const i32 capacity = reserved ? 2 * i32(reserved) : records;
    if (capacity > kMaxEntries || slots > kMaxEntries)
    {
        failure->Set(kExitPackUnreadable, "%s: %d records and %d slots, more than an image store can hold",
                     path.c_str(), capacity, slots);
        return false;
    }
    recordCount = static_cast<i16>(capacity);
    extraSlots = static_cast<i16>(slots);
    buffers = new OBuffer*[static_cast<size_t>(BufferListSize())]();
    rangeEntries.assign(static_cast<size_t>(2 * extraSlots), 0);
    std::vector<PackRecord> packRecords(static_cast<size_t>(capacity));
    if (ReadPackData(files, packRecords.data(), failure) != -1)
    {
        Free();
        recordCount = extraSlots = 0;
        return false;
    }

    i32 imageCount = 0;
    for (const PackRecord& record : packRecords)
        imageCount += pack::CountsAsImage(record.type);
    packImageCount = static_cast<i16>(imageCount < reserved ? reserved : imageCount);
    images = new OBitmap*[static_cast<size_t>(packImageCount + extraSlots)]();
    table = new OImageTable;
    table->Init(static_cast<u16>(extraSlots), this, images + packImageCount, buffers + recordCount);
    table->lastSerial = lastSlotSerial;

    i32 k = 0;
    for (i32 r = 0; r < capacity; ++r)
    {
        const PackRecord& record = packRecords[static_cast<size_t>(r)];
        OBuffer* plane = pack::TakesPlane(record.type) ? buffers[record.value] : nullptr;
        if (OBitmap* image = pack::MakeRecordImage(record, buffers[r], plane))
        {
            image->SetName(record.name);
            images[k++] = image;
        }
    }
    return true;
}

i32 OBitmapStore::FindByName(const char* name, i16 first, i16 last)
{
    const i32 end = last < 0 ? packImageCount + extraSlots : last;
    if (!images || !name)
        return -1;
    for (i32 i = first < 0 ? 0 : first; i < end && i < packImageCount + extraSlots; ++i)
    {
        if (images[i] && StrCompare(images[i]->name, name) == 0)
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

namespace
{

// Below this many images a walk looks blocks up by scanning the list; above
// it, it indexes the list once: a range may hold thousands of images and the
// list tens of thousands of entries.
constexpr i32 kScanAtMost = 4;

// Images leaving the store, one after another. With `apply` each is destroyed
// and its blocks settled with the list; without, nothing changes and the walk
// follows the counts the blocks would have, so that a load can know what a
// FreeRange would give back before it touches anything.
class Departures
{
public:
    Departures(OBitmapStore& store, i32 images, bool apply)
        : store(store), apply(apply), indexed(!apply || images > kScanAtMost)
    {
    }

    // Takes one image away; the number of list entries that empties.
    i32 Drop(OBitmap* image);

private:
    // The entries equal to `block`, in index order.
    std::vector<i32> EntriesOf(const OBuffer* block);
    i32 Count(OBuffer* block)
    {
        return apply ? block->refCount : counts.try_emplace(block, block->refCount).first->second;
    }
    void SetCount(OBuffer* block, i32 count)
    {
        if (!apply)
            counts[block] = count;
    }

    OBitmapStore& store;
    const bool apply;
    const bool indexed;
    bool built = false;
    std::unordered_map<const OBuffer*, std::vector<i32>> entries;
    std::unordered_map<const OBuffer*, i32> counts;
};

std::vector<i32> Departures::EntriesOf(const OBuffer* block)
{
    if (!store.buffers)
        return {};
    if (!indexed)
    {
        std::vector<i32> found;
        for (i32 e = 0; e < store.BufferListSize(); ++e)
            if (store.buffers[e] == block)
                found.push_back(e);
        return found;
    }
    if (!built)
    {
        for (i32 e = 0; e < store.BufferListSize(); ++e)
            if (store.buffers[e])
                entries[store.buffers[e]].push_back(e);
        built = true;
    }
    const auto it = entries.find(block);
    return it == entries.end() ? std::vector<i32>{} : it->second;
}

i32 Departures::Drop(OBitmap* image)
{
    // An image may hold one block twice (a record that is its own plane).
    OBuffer* blocks[2] = {image->pixels, image->alpha};
    i32 held[2] = {1, 1};
    if (blocks[0] && blocks[0] == blocks[1])
    {
        held[0] = 2;
        blocks[1] = nullptr;
    }
    i32 left[2] = {};
    for (int k = 0; k < 2; ++k)
        if (blocks[k])
            left[k] = Count(blocks[k]) - held[k];
    if (apply)
        DestroyBitmap(image);
    for (int k = 0; k < 2; ++k)
        if (blocks[k])
            SetCount(blocks[k], left[k]);

    i32 emptied = 0;
    for (int k = 0; k < 2; ++k)
    {
        OBuffer* block = blocks[k];
        if (!block)
            continue;
        const std::vector<i32> at = EntriesOf(block);
        if (at.empty())
            continue;
        i32 references = 0;
        for (i32 e : at)
            references += store.HoldsReference(e);
        // A block that died with the image must leave the list, which would
        // otherwise point at freed memory; one that only the list still holds
        // would spend its entries, and its memory, until the store is freed.
        const bool died = left[k] < 1;
        if (!died && left[k] != references)
            continue;
        if (!died)
        {
            SetCount(block, 0);
            for (i32 r = 0; apply && r < references; ++r)
                if (block->Release())
                    delete block;
        }
        if (apply)
            for (i32 e : at)
                store.ClearEntry(e);
        if (built)
            entries.erase(block);
        emptied += static_cast<i32>(at.size());
    }
    return emptied;
}

// The range first to last clamped to the image array: [*begin, *end].
void ClampRange(const OBitmapStore& store, i16 first, i16 last, i32* begin, i32* end)
{
    const i32 total = store.packImageCount + store.extraSlots;
    *begin = first < 0 ? 0 : first;
    *end = last < total ? last : total - 1;
}

} // namespace

void OBitmapStore::ClearEntry(i32 e)
{
    buffers[e] = nullptr;
    const i32 tablePart = e - recordCount;
    if (tablePart >= 0 && tablePart < static_cast<i32>(rangeEntries.size()))
        rangeEntries[static_cast<size_t>(tablePart)] = 0;
}

i32 OBitmapStore::DropImages(OBitmap** entries, i32 count)
{
    Departures walk(*this, count, true);
    i32 emptied = 0;
    for (i32 i = 0; i < count; ++i)
    {
        if (OBitmap* image = entries[i])
        {
            entries[i] = nullptr;
            emptied += walk.Drop(image);
        }
    }
    return emptied;
}

void OBitmapStore::FreeRange(i16 first, i16 last)
{
    if (!images)
        return;
    i32 begin = 0;
    i32 end = 0;
    ClampRange(*this, first, last, &begin, &end);
    if (begin <= end)
        DropImages(images + begin, end - begin + 1);
}

bool OBitmapStore::LoadRange(const char* dir, i16 first, i16 last)
{
    PackFailure failure;
    const bool loaded = TryLoadRange(dir, first, last, &failure);
    if (failure.Failed())
        EndProcess(failure);
    return loaded;
}

bool OBitmapStore::TryLoadRange(const char* dir, i16 first, i16 last, PackFailure* failure)
{
    // A negative start would write in front of the image array.
    if (first > packImageCount || first < 0 || !images)
        return false;
    directory = dir;
    const std::string path = HeaderPath(dir);
    u16 files = 0;
    u16 n = 0;
    if (!ReadPackHeader(&files, &n) || n == 0)
    {
        failure->Set(kExitPackUnreadable, "%s", path.c_str());
        return false;
    }
    i32 end = last;
    if (end < first)
        end = first + n;
    if (end >= packImageCount)
        end = packImageCount - 1;

    // The whole pack is read and checked before the range is touched, so a
    // pack that cannot be loaded leaves the images as they were.
    std::vector<PackRecord> records(n);
    std::vector<OBuffer*> blocks(n, nullptr);
    const i32 count = pack::ReadDataFiles(dir, files, records.data(), blocks.data(), n, true, failure);
    if (count < 0)
        return false;
    auto discard = [&]
    {
        for (OBuffer* block : blocks)
            delete block;
    };
    if (!pack::CheckPlaneRecords(dir, records.data(), count, failure))
    {
        discard();
        return false;
    }

    // Which blocks the images of the range take: their own, and the plane
    // each names.
    std::vector<u8> marked(n, 0);
    i32 needed = 0;
    for (i32 r = 0, k = first; r < n && k <= end; ++r)
    {
        const PackRecord& record = records[static_cast<size_t>(r)];
        if (!pack::MakesImage(record.type))
            continue;
        ++k;
        auto mark = [&](size_t record)
        {
            if (blocks[record] && !marked[record])
            {
                marked[record] = 1;
                ++needed;
            }
        };
        mark(static_cast<size_t>(r));
        if (pack::TakesPlane(record.type))
            mark(record.value);
    }
    // Any free entry of the list takes a block, the pack part's first.
    // Enough of them must be free once the range is freed, which is counted
    // before anything is touched.
    if (rangeEntries.size() != static_cast<size_t>(2 * extraSlots))
        rangeEntries.resize(static_cast<size_t>(2 * extraSlots), 0);
    auto freeEntries = [&]
    {
        std::vector<i32> free;
        for (i32 e = 0; e < BufferListSize(); ++e)
            if (!buffers[e])
                free.push_back(e);
        return free;
    };
    i32 available = static_cast<i32>(freeEntries().size());
    {
        Departures dryRun(*this, end - first + 1, false);
        for (i32 i = first; i <= end; ++i)
            if (images[i])
                available += dryRun.Drop(images[i]);
    }
    if (available < needed)
    {
        discard();
        failure->Set(kExitPackUnreadable, "%s: %d blocks and only %d free list entries", path.c_str(), needed,
                     available);
        return false;
    }
    FreeRange(first, static_cast<i16>(end));
    const std::vector<i32> free = freeEntries();

    for (i32 r = 0, k = first; r < n && k <= end; ++r)
    {
        const PackRecord& record = records[static_cast<size_t>(r)];
        OBuffer* plane = pack::TakesPlane(record.type) ? blocks[record.value] : nullptr;
        if (OBitmap* image = pack::MakeRecordImage(record, blocks[static_cast<size_t>(r)], plane))
        {
            image->SetName(record.name);
            images[k++] = image;
        }
    }
    size_t j = 0;
    for (i32 r = 0; r < n; ++r)
    {
        OBuffer* block = blocks[static_cast<size_t>(r)];
        if (!marked[static_cast<size_t>(r)])
        {
            delete block;
            continue;
        }
        // Enough entries were counted above; should that count ever fall
        // short, the block is left to its images, which free it.
        if (j == free.size())
        {
            if (block->Release())
                delete block;
            continue;
        }
        // The block keeps the reference the reader gave it; the entry now
        // holds it, wherever the entry lies.
        const i32 e = free[j++];
        buffers[e] = block;
        if (e >= recordCount)
            rangeEntries[static_cast<size_t>(e - recordCount)] = 1;
    }
    return true;
}

void OBitmapStore::Free()
{
    // The table goes first: its images may share blocks of the list, which
    // must still be alive when their counts drop.
    if (table)
        lastSlotSerial = table->lastSerial;
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
        // Whatever their counts: the list's reference is the last one the
        // store knows of. Each block once, should two entries name it.
        std::vector<OBuffer*> held;
        for (i32 e = 0; e < BufferListSize(); ++e)
            if (buffers[e] && HoldsReference(e))
                held.push_back(buffers[e]);
        std::sort(held.begin(), held.end());
        held.erase(std::unique(held.begin(), held.end()), held.end());
        for (OBuffer* block : held)
            delete block;
        delete[] buffers;
        buffers = nullptr;
    }
    rangeEntries.clear();
}
