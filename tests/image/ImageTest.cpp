// Images, their shared blocks and the run-time image table: block sizes,
// reference counts, and which list entries live and die with the images.
#include "image/OBitmap.h"
#include "image/OBitmapStore.h"
#include "image/OBuffer.h"
#include "image/OImageTable.h"
#include "support/BitmapStoreBuilder.h"

#include <gtest/gtest.h>

#include <memory>

namespace
{

struct StoreDeleter
{
    void operator()(OBitmapStore* s) const { delete s; }
};
using Store = std::unique_ptr<OBitmapStore, StoreDeleter>;

int ListEntries(OBitmapStore* store, const OBuffer* block)
{
    int n = 0;
    for (i32 i = 0; i < store->BufferListSize(); ++i)
        n += store->buffers[i] == block;
    return n;
}

TEST(OBufferTest, CountsHoldersWithoutFreeingOnRelease)
{
    OBuffer* b = OBuffer::Create(16, nullptr);
    ASSERT_NE(b->data, nullptr);
    EXPECT_EQ(b->refCount, 0);
    EXPECT_EQ(b->owned, 1);
    b->AddRef();
    b->AddRef();
    EXPECT_FALSE(b->Release());
    EXPECT_TRUE(b->Release()); // below 1 now, but the block stays until deleted
    EXPECT_NE(b->data, nullptr);
    delete b;

    u8 outside[4] = {1, 2, 3, 4};
    OBuffer* view = OBuffer::Create(4, outside);
    EXPECT_EQ(view->data, outside);
    EXPECT_EQ(view->owned, 0);
    view->Free(); // not ours: left alone
    EXPECT_EQ(view->data, outside);
    delete view;
}

TEST(OBitmapTest, AllocatesBlocksByFormatWithSpareRowAndBytes)
{
    OBitmap* empty = CreateBitmap(0, 0, 0, 0, nullptr, nullptr);
    ASSERT_NE(empty->GetBits(), nullptr);
    EXPECT_EQ(OBitmap::Rgb24BlockSize(0, 0), 3);
    EXPECT_EQ(empty->GetAlpha(), nullptr);
    DestroyBitmap(empty);

    OBitmap* paletted = CreateBitmap(0, 0, 0, 16, nullptr, nullptr);
    EXPECT_EQ(OBitmap::PaletteBlockSize(0, 0), 771);
    EXPECT_EQ(paletted->GetBits()[0] | paletted->GetBits()[1] << 8, 770);
    EXPECT_EQ(paletted->GetPitch(), 0);
    EXPECT_EQ(paletted->GetBytesPerPixel(), 1);
    DestroyBitmap(paletted);

    EXPECT_EQ(OBitmap::Rgb24BlockSize(10, 4), 3 * 10 * 5 + 3);
    EXPECT_EQ(OBitmap::AlphaPlaneSize(10, 4), 10 * 5 + 1);
    // A block too large for a buffer's size is a failed allocation, not a
    // wrapped small one.
    EXPECT_EQ(OBitmap::Rgb24BlockSize(65535, 65535), -1);
    EXPECT_EQ(OBitmap::AlphaPlaneSize(65535, 65535), -1);
    OBitmap* huge = CreateBitmap(65535, 65535, 0, 0, nullptr, nullptr);
    EXPECT_EQ(huge->GetBits(), nullptr);
    DestroyBitmap(huge);

    struct Case
    {
        u8 format;
        bool pixels, alpha;
        i32 pitch;
    };
    const Case cases[] = {{0, true, false, 30},  {1, true, false, 30},  {2, true, true, 30},
                          {5, true, true, 30},   {12, true, false, 30}, {14, false, true, 30},
                          {16, true, false, 10}, {20, true, true, 10},  {21, true, true, 30}};
    for (const Case& c : cases)
    {
        OBitmap* image = CreateBitmap(10, 4, 0, c.format, nullptr, nullptr);
        EXPECT_EQ(image->GetBits() != nullptr, c.pixels) << int(c.format);
        EXPECT_EQ(image->GetAlpha() != nullptr, c.alpha) << int(c.format);
        EXPECT_EQ(image->GetPitch(), c.pitch) << int(c.format);
        if (image->pixels)
        {
            EXPECT_EQ(image->pixels->refCount, 1);
        }
        DestroyBitmap(image);
    }
}

TEST(OBitmapTest, NamesKeepAtMostNineteenCharacters)
{
    OBitmap image(1, 1, 0, 0);
    EXPECT_STREQ(image.name, "");
    image.SetName("abcdefghijklmnopqrs"); // 19
    EXPECT_STREQ(image.name, "abcdefghijklmnopqrs");
    image.SetName("abcdefghijklmnopqrstuvwxyz");
    EXPECT_STREQ(image.name, "abcdefghijklmnopqrs");
    image.SetName("x");
    EXPECT_STREQ(image.name, "x");
    ORect r;
    EXPECT_EQ(*image.GetRect(&r), ORect(0, 0, 0, 0));
}

TEST(OBitmapTest, SharedBlocksOutliveTheirOtherHolders)
{
    OBitmap* owner = CreateBitmap(4, 4, 0, 2, nullptr, nullptr);
    OBuffer* plane = owner->GetAlphaBuffer();
    owner->GetAlpha()[0] = 42;
    OBitmap* sharer = CreateBitmap(4, 4, 0, 14, nullptr, plane);
    EXPECT_EQ(plane->refCount, 2);
    delete sharer; // an image is deleted through its own class
    EXPECT_EQ(plane->refCount, 1);
    EXPECT_EQ(owner->GetAlpha()[0], 42);

    // Dropping a shared plane drops only this image's reference.
    sharer = CreateBitmap(4, 4, 0, 14, nullptr, plane);
    sharer->SetAlphaBuffer(nullptr);
    EXPECT_EQ(sharer->GetAlpha(), nullptr);
    EXPECT_EQ(plane->refCount, 1);
    sharer->SetAlphaBuffer(plane);
    EXPECT_EQ(plane->refCount, 2);
    DestroyBitmap(sharer);
    DestroyBitmap(owner);
}

TEST(OImageTableTest, FillsFreeSlotsAndRefusesWhenFull)
{
    Store store(testsupport::MakeStore(3, 2));
    OImageTable* table = store->GetTable();
    EXPECT_EQ(table->AddImage(2, 2, 0, 0, nullptr, nullptr, -1), 0);
    EXPECT_EQ(table->AddImage(2, 2, 0, 0, nullptr, nullptr, -1), 1);
    EXPECT_EQ(table->AddImage(2, 2, 0, 0, nullptr, nullptr, -1), -1);
    EXPECT_EQ(table->AddImage(2, 2, 0, 0, nullptr, nullptr, 2), -1);
    EXPECT_EQ(store->GetImage(i16(store->GetImageCount() + 1)), table->GetImage(1));
    table->ReleaseImage(0);
    EXPECT_EQ(table->GetImage(0), nullptr);
    EXPECT_EQ(store->AddImage(2, 2, 0, 0, nullptr, nullptr, -1), 0);

    OBitmapStore noTable;
    EXPECT_EQ(noTable.AddImage(2, 2, 0, 0, nullptr, nullptr, -1), 0);
}

TEST(OImageTableTest, RecordsOwnBlocksAndClearsThemWhenTheyDie)
{
    Store store(testsupport::MakeStore(0, 2));
    OImageTable* table = store->GetTable();
    ASSERT_EQ(table->AddImage(4, 4, 0, 2, nullptr, nullptr, 0), 0);
    OBitmap* first = table->GetImage(0);
    OBuffer* pixels = first->GetPixelBuffer();
    OBuffer* plane = first->GetAlphaBuffer();
    EXPECT_EQ(ListEntries(store.get(), pixels), 1);
    EXPECT_EQ(ListEntries(store.get(), plane), 1);

    // A second image over the first one's plane: the caller's block is not
    // recorded again, and it survives the first image's release.
    ASSERT_EQ(table->AddImage(4, 4, 0, 14, nullptr, plane, 1), 1);
    EXPECT_EQ(ListEntries(store.get(), plane), 1);
    EXPECT_EQ(plane->refCount, 2);
    table->ReleaseImage(0);
    EXPECT_EQ(ListEntries(store.get(), plane), 1);
    EXPECT_EQ(plane->refCount, 1);
    EXPECT_EQ(table->GetImage(1)->GetAlpha(), plane->data);

    // Replacing the slot's image releases the old one once the new one is
    // made; the plane dies with its last holder and its entry is cleared, and
    // the only entry left is the new image's own pixel block.
    ASSERT_EQ(table->AddImage(4, 4, 0, 0, nullptr, nullptr, 1), 1);
    OBuffer* fresh = table->GetImage(1)->GetPixelBuffer();
    int used = 0;
    for (i32 i = 0; i < store->BufferListSize(); ++i)
    {
        used += store->buffers[i] != nullptr;
        if (store->buffers[i])
        {
            EXPECT_EQ(store->buffers[i], fresh);
        }
    }
    EXPECT_EQ(used, 1);

    // A table without an owner store clears the entries of its own part.
    OBitmap* bareSlots[1] = {};
    OBuffer* bareList[2] = {};
    OImageTable bare;
    bare.Init(1, nullptr, bareSlots, bareList);
    ASSERT_EQ(bare.AddImage(2, 2, 0, 2, nullptr, nullptr, -1), 0);
    EXPECT_NE(bareList[0], nullptr);
    EXPECT_NE(bareList[1], nullptr);
    bare.ReleaseImage(0);
    EXPECT_EQ(bareList[0], nullptr);
    EXPECT_EQ(bareList[1], nullptr);
}

TEST(OImageTableTest, UnrecordedBlocksStillDieWithTheirImage)
{
    Store store(testsupport::MakeStore(0, 1));
    OImageTable* table = store->GetTable();
    // One of the table's two entries is taken, so of a format-2 image's two
    // blocks only the first is recorded; the second still dies with it
    // (a leak shows under the sanitizers) and the other entry is untouched.
    OBuffer sentinel;
    table->buffers[0] = &sentinel;
    ASSERT_EQ(table->AddImage(2, 2, 0, 2, nullptr, nullptr, 0), 0);
    EXPECT_EQ(table->buffers[1], table->GetImage(0)->GetPixelBuffer());
    table->ReleaseImage(0);
    EXPECT_EQ(table->buffers[0], &sentinel);
    EXPECT_EQ(table->buffers[1], nullptr);
    table->buffers[0] = nullptr;
}

TEST(OBitmapStoreTest, FindsImagesByNameWithinARange)
{
    Store store(testsupport::MakeStore(3, 2));
    store->images[0] = CreateBitmap(1, 1, 0, 0, nullptr, nullptr);
    store->images[2] = CreateBitmap(1, 1, 0, 0, nullptr, nullptr);
    store->images[2]->SetName("ball");
    store->AddImage(1, 1, 0, 0, nullptr, nullptr, 1);
    store->GetTable()->GetImage(1)->SetName("ball");
    EXPECT_EQ(store->FindByName("ball", 0, -1), 2);
    EXPECT_EQ(store->FindByName("ball", 3, -1), 4);
    EXPECT_EQ(store->FindByName("ball", 2, 2), -1);
    EXPECT_EQ(store->FindByName("Ball", 0, -1), -1);
    EXPECT_EQ(store->FindByName("", 0, 1), 0);
}

} // namespace
