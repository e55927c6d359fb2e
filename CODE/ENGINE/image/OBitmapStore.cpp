#include "image/OBitmapStore.h"

#include "core/StrFunctions.h"
#include "image/PackReader.h"
#include "services/OFile.h"

#include <cstdarg>
#include <cstdio>
#include <memory>
#include <new>
#include <ostream>
#include <string>
#include <unordered_map>
#include <vector>

std::ostream& operator<<(std::ostream& out, const FailureText& t)
{
    return out << t.text;
}

void PackFailure::Set(i32 code, const char* format, ...)
{
    exitCode = code;
    va_list args;
    va_start(args, format);
    va_list measure;
    va_copy(measure, args);
    const int length = std::vsnprintf(nullptr, 0, format, measure);
    va_end(measure);
    message.text.assign(length > 0 ? static_cast<size_t>(length) : 0, '\0');
    if (length > 0)
        std::vsnprintf(message.text.data(), message.text.size() + 1, format, args);
    va_end(args);
}

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

// The walk of FreeRange over the images first to last. With `apply` it
// releases and clears the list entries of every block that dies with its
// image and destroys the images; without, it changes nothing and follows the
// counts the blocks would have. Either way the result is the number of
// entries of the pack part (below recordCount) that the walk clears.
i32 WalkRange(OBitmapStore& store, i16 first, i16 last, bool apply)
{
    if (!store.images)
        return 0;
    const i32 begin = first < 0 ? 0 : first;
    const i32 total = store.packImageCount + store.extraSlots;
    const i32 end = last < total ? last : total - 1;
    // The list entries of each block, found once: a range may hold thousands
    // of images and the list tens of thousands of entries.
    std::unordered_multimap<const OBuffer*, i32> entries;
    bool indexed = false;
    // The dry run's counts, taken from the blocks when first met.
    std::unordered_map<const OBuffer*, i32> counts;
    auto count = [&](OBuffer* block) -> i32&
    { return counts.try_emplace(block, block->refCount).first->second; };
    i32 cleared = 0;
    for (i32 i = begin; i <= end; ++i)
    {
        OBitmap* image = store.images[i];
        if (!image)
            continue;
        // A block held only by this image and the list dies with the image;
        // one that a further image shares keeps its entry.
        for (OBuffer* block : {image->pixels, image->alpha})
        {
            if (!block || (apply ? block->refCount : count(block)) > 2)
                continue;
            if (!indexed)
            {
                for (i32 e = 0; e < store.BufferListSize(); ++e)
                    if (store.buffers[e])
                        entries.emplace(store.buffers[e], e);
                indexed = true;
            }
            const auto [from, to] = entries.equal_range(block);
            for (auto it = from; it != to; ++it)
            {
                if (apply)
                {
                    block->Release();
                    store.buffers[it->second] = nullptr;
                }
                else
                    --count(block);
                cleared += it->second < store.recordCount;
            }
            entries.erase(from, to);
        }
        if (apply)
        {
            DestroyBitmap(image);
            store.images[i] = nullptr;
        }
        else
        {
            for (OBuffer* block : {image->pixels, image->alpha})
                if (block)
                    --count(block);
        }
    }
    return cleared;
}

} // namespace

void OBitmapStore::FreeRange(i16 first, i16 last)
{
    WalkRange(*this, first, last, true);
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
    // The blocks go only into entries of the pack part: the entries after it
    // belong to the table's slots, and Free deletes the pack part's alone.
    // Enough of them must be free once the range is freed, which is counted
    // before anything is touched.
    i32 available = WalkRange(*this, first, static_cast<i16>(end), false);
    for (i32 e = 0; e < recordCount; ++e)
        available += !buffers[e];
    if (available < needed)
    {
        discard();
        failure->Set(kExitPackUnreadable, "%s: %d blocks and only %d free list entries", path.c_str(), needed,
                     available);
        return false;
    }
    FreeRange(first, static_cast<i16>(end));
    std::vector<i32> free;
    for (i32 e = 0; e < recordCount; ++e)
        if (!buffers[e])
            free.push_back(e);

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
        if (marked[static_cast<size_t>(r)])
            buffers[free[j++]] = block;
        else
            delete block;
    }
    return true;
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
