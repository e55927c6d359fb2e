// Packs written by the pack writer and loaded by the image store: every
// record type against a model of what each makes, the reservation, names,
// range loads with their free-entry reuse, and shared planes that outlive
// FreeRange.
#include "PictureWriter.h"
#include "SampleData.h"
#include "StoreTestSupport.h"
#include "image/DataPictures.h"
#include "text/GFont.h"

#include <algorithm>

using namespace storetest;
using tools::PackFiles;
using tools::PackImage;

namespace
{

struct Expected
{
    size_t record; // index into the flat list of records
    u8 format;
};

// The model: which records make images, with which format, and how many
// image indices the pack part takes.
std::vector<Expected> ModelImages(const std::vector<PackImage>& records, i32* counted)
{
    std::vector<Expected> out;
    *counted = 0;
    for (size_t r = 0; r < records.size(); ++r)
    {
        u16 t = records[r].type;
        if (t == 22 || t == 23)
            t = t == 22 ? 0 : 2;
        *counted += t <= 14 || (t >= 16 && t <= 21);
        if (t <= 2 || t == 12 || t == 14 || t == 16 || t == 18 || t == 20)
            out.push_back({r, static_cast<u8>(t)});
    }
    return out;
}

void ExpectBlock(const OBuffer* block, const std::vector<u8>& bytes, const std::string& what)
{
    ASSERT_NE(block, nullptr) << what;
    for (size_t i = 0; i < bytes.size(); ++i)
        ASSERT_EQ(block->data[i], bytes[i]) << what << " byte " << i;
}

// Checks every image of the pack part against the model.
void ExpectPack(OBitmapStore& store, const std::vector<PackImage>& records, i16 firstIndex)
{
    i32 counted = 0;
    const std::vector<Expected> model = ModelImages(records, &counted);
    for (size_t k = 0; k < model.size(); ++k)
    {
        const PackImage& rec = records[model[k].record];
        OBitmap* image = store.GetImage(static_cast<i16>(firstIndex + k));
        const std::string what = "image " + std::to_string(k) + " " + rec.name;
        ASSERT_NE(image, nullptr) << what;
        EXPECT_EQ(image->format, model[k].format) << what;
        EXPECT_EQ(image->width, rec.width) << what;
        EXPECT_EQ(image->height, rec.height) << what;
        EXPECT_EQ(std::string(image->name), rec.name.substr(0, 19)) << what;
        const bool keyed =
            model[k].format == 0 || model[k].format == 1 || model[k].format == 16 || model[k].format == 18;
        EXPECT_EQ(image->colourKey, keyed ? rec.value : 0u) << what;
        if (model[k].format == 14)
        {
            EXPECT_EQ(image->pixels, nullptr) << what;
            ExpectBlock(image->alpha, ExpectedBlock(rec), what);
            continue;
        }
        ExpectBlock(image->pixels, ExpectedBlock(rec), what);
        if (model[k].format == 2 || model[k].format == 12 || model[k].format == 20)
            ExpectBlock(image->alpha, ExpectedBlock(records[rec.value]), what + " plane");
        else
            EXPECT_EQ(image->alpha, nullptr) << what;
    }
}

std::vector<PackImage> Flatten(const PackFiles& files)
{
    std::vector<PackImage> all;
    for (const auto& f : files)
        all.insert(all.end(), f.begin(), f.end());
    return all;
}

// Every record type class across two data files: odd pixel counts (pad
// bytes), planes shared between images, types that count toward the image
// count without making an image, types that take no index, colour and grey
// JPEG records, and 19- and 24-character names.
PackFiles EveryType()
{
    PackImage grey = Record(22, 11, 9, 0x010203, "JPEG_GREY", 12);
    grey.jpegGrey = true;
    grey.pixels.resize(11 * 9);
    for (size_t i = 0; i < grey.pixels.size(); ++i)
        grey.pixels[i] = static_cast<u8>(60 + i % 11 * 7 + i / 11 * 4);
    return {{Record(0, 3, 3, 0x123456, "PLAIN_ODD", 0), Record(1, 4, 2, 0xFF00FF, "KEYED", 1),
             Record(14, 5, 3, 0, "PLANE", 2), Record(2, 5, 3, 2, "WITH_PLANE", 3),
             Record(3, 2, 2, 0, "NONE3", 4), Record(15, 3, 3, 0, "NOINDEX", 5),
             Record(12, 3, 3, 5, "INDEXED", 6), Record(16, 3, 3, 0, "PAL", 7)},
            {Record(18, 2, 3, 0x00FF00, "PAL_KEY", 8), Record(20, 3, 3, 5, "PAL_ALPHA", 9),
             Record(22, 17, 9, 0xABCDEF, "JPEG", 10), Record(23, 3, 3, 5, "JPEG_ALPHA", 11), grey,
             Record(13, 2, 2, 0, "NONE13", 13), Record(17, 2, 2, 0, "NONE17", 14),
             Record(21, 1, 3, 0, "NONE21", 15), Record(24, 3, 1, 0, "NOINDEX24", 16),
             Record(255, 1, 1, 0, "NOINDEX255", 17), Record(0, 1, 1, 0, "ABCDEFGHIJKLMNOPQRS", 18),
             Record(0, 2, 1, 0, "ABCDEFGHIJKLMNOPQRSTUVWX", 19)}};
}

using PackLoadTest = PackFolder;

TEST_F(PackLoadTest, EveryRecordTypeRoundTripsWithAndWithoutReservation)
{
    const PackFiles files = EveryType();
    const std::vector<PackImage> records = Flatten(files);
    const std::string dir = Write("every", files);
    // Odd and even stream lengths both occur, so the JPEG pad byte is read.
    bool parity[2] = {};
    for (const PackImage& r : records)
        if (r.type == 22 || r.type == 23)
            parity[tools::EncodeRecordJpeg(r).size() & 1] = true;
    EXPECT_TRUE(parity[0] && parity[1]);
    i32 counted = 0;
    const size_t made = ModelImages(records, &counted).size();
    for (u16 reserved : {0, 5, 30})
    {
        SCOPED_TRACE(reserved);
        OBitmapStore store;
        PackFailure failure;
        const i32 capacity = reserved ? 2 * reserved : static_cast<i32>(records.size());
        // A reservation smaller than the pack leaves no room for its records.
        ASSERT_EQ(store.TryLoad(dir.c_str(), 3, reserved, &failure),
                  capacity >= static_cast<i32>(records.size()))
            << failure.message;
        if (failure.Failed())
            continue;
        ASSERT_EQ(store.recordCount, capacity);
        // Empty records after the pack's own count as format-0 images.
        const i32 images = counted + capacity - static_cast<i32>(records.size());
        EXPECT_EQ(store.GetImageCount(), std::max<i32>(images, reserved));
        ExpectPack(store, records, 0);
        // The types that count without an image leave null entries after
        // the images made; the empty records follow as 0 x 0 images.
        const size_t nulls = static_cast<size_t>(counted) - made;
        for (i32 k = static_cast<i32>(made); k < store.GetImageCount(); ++k)
        {
            OBitmap* image = store.GetImage(static_cast<i16>(k));
            if (k < static_cast<i32>(made + capacity - records.size()))
            {
                ASSERT_NE(image, nullptr) << k;
                EXPECT_EQ(image->width + image->height + image->format + image->name[0], 0) << k;
                EXPECT_NE(image->pixels, nullptr) << k;
            }
            else
                EXPECT_EQ(image, nullptr) << k;
        }
        EXPECT_EQ(static_cast<size_t>(store.GetImageCount()) - made - (capacity - records.size()), nulls);
        // The plane record serves its own image and the image naming it.
        EXPECT_EQ(store.buffers[2]->refCount, 3);
        EXPECT_EQ(store.GetImage(3)->alpha, store.buffers[2]);
        // Slots follow the pack part.
        EXPECT_EQ(store.AddImage(2, 2, 0, 0, nullptr, nullptr, -1), 0);
        EXPECT_EQ(store.GetImage(store.GetImageCount()), store.GetTable()->GetImage(0));
    }
}

TEST_F(PackLoadTest, FindByNameSearchesTheGivenRange)
{
    const std::string dir = Write(
        "names", {{Record(1, 1, 1, 0, "A", 0), Record(1, 1, 1, 0, "B", 1), Record(1, 1, 1, 0, "A", 2)}});
    OBitmapStore store;
    PackFailure failure;
    ASSERT_TRUE(store.TryLoad(dir.c_str(), 2, 0, &failure));
    store.AddImage(1, 1, 0, 0, nullptr, nullptr, 1);
    store.GetTable()->GetImage(1)->SetName("SLOT");
    struct Case
    {
        const char* name;
        i16 first, last;
        i32 found;
    } cases[] = {{"A", 0, -1, 0},    {"A", 1, -1, 2},    {"A", 1, 2, -1},  {"B", 1, 1, -1},
                 {"SLOT", 0, -1, 4}, {"SLOT", 0, 4, -1}, {"a", 0, -1, -1}, {"B", 0, 3, 1}};
    for (const Case& c : cases)
        EXPECT_EQ(store.FindByName(c.name, c.first, c.last), c.found)
            << c.name << " " << c.first << " " << c.last;
}

TEST_F(PackLoadTest, RangesReuseFreeEntriesAndSharedPlanesSurviveFreeRange)
{
    const std::string base = Write("base", {{Record(1, 2, 2, 0, "BASE0", 0), Record(1, 2, 2, 0, "BASE1", 1),
                                             Record(1, 2, 2, 0, "BASE2", 2)}});
    const PackFiles level = {{Record(14, 2, 2, 0, "B_PLANE", 3), Record(2, 2, 2, 0, "B_IMG", 4),
                              Record(15, 3, 1, 0, "B_NOINDEX", 5), Record(12, 3, 1, 2, "B_IDX", 6),
                              Record(1, 1, 3, 0x0000FF, "B_KEY", 7)}};
    const std::vector<PackImage> records = Flatten(level);
    const std::string dir = Write("level", level);
    OBitmapStore store;
    PackFailure failure;
    ASSERT_TRUE(store.TryLoad(base.c_str(), 2, 10, &failure));
    ASSERT_EQ(store.GetImageCount(), 20);
    auto used = [&]
    {
        i32 n = 0;
        for (i32 e = 0; e < store.BufferListSize(); ++e)
            n += store.buffers[e] != nullptr;
        return n;
    };
    ASSERT_EQ(used(), 3);

    ASSERT_TRUE(store.TryLoadRange(dir.c_str(), 5, 8, &failure));
    ExpectPack(store, records, 5);
    // The five blocks went, in record order, into the lowest free entries.
    for (i32 r = 0; r < 5; ++r)
        EXPECT_EQ(store.buffers[3 + r]->refCount >= 2, true) << r;
    EXPECT_EQ(store.GetImage(5)->alpha, store.buffers[3]);
    EXPECT_EQ(store.GetImage(7)->alpha, store.buffers[5]);
    EXPECT_EQ(used(), 8);

    // The plane of B_PLANE is shared with B_IMG: it survives, and so does
    // its entry.
    OBuffer* plane = store.buffers[3];
    store.FreeRange(5, 5);
    EXPECT_EQ(store.GetImage(5), nullptr);
    EXPECT_EQ(store.buffers[3], plane);
    EXPECT_EQ(plane->refCount, 2);
    EXPECT_EQ(store.GetImage(6)->alpha, plane);
    store.FreeRange(6, 6);
    EXPECT_EQ(store.buffers[3], nullptr);
    EXPECT_EQ(store.buffers[4], nullptr);
    store.FreeRange(7, 8);
    EXPECT_EQ(used(), 3);
    store.FreeRange(7, 8); // nothing left there: nothing changes
    EXPECT_EQ(used(), 3);

    // last < first takes first + N; the range clamps to the pack part.
    ASSERT_TRUE(store.TryLoadRange(dir.c_str(), 17, 0, &failure));
    EXPECT_EQ(std::string(store.GetImage(17)->name), "B_PLANE");
    EXPECT_EQ(std::string(store.GetImage(19)->name), "B_IDX");
    EXPECT_EQ(store.FindByName("B_KEY", 0, -1), -1);
    // The blocks of images beyond the range were deleted, not listed.
    EXPECT_EQ(used(), 3 + 4);

    // A range starting at the image count reads the pack and keeps nothing;
    // one beyond it is refused.
    ASSERT_TRUE(store.TryLoadRange(dir.c_str(), 20, 25, &failure));
    EXPECT_EQ(used(), 7);
    EXPECT_FALSE(store.TryLoadRange(dir.c_str(), 21, 25, &failure));
    EXPECT_FALSE(failure.Failed());
    EXPECT_FALSE(store.TryLoadRange(dir.c_str(), -1, 3, &failure));
    EXPECT_FALSE(failure.Failed());
    EXPECT_EQ(std::string(store.GetImage(0)->name), "BASE0");

    // A list without spare entries, as Reload leaves it: the entry the
    // range frees comes before the slots' entries and takes the new block.
    OBitmapStore exact;
    ASSERT_TRUE(exact.TryLoad(base.c_str(), 2, 0, &failure));
    ASSERT_TRUE(exact.TryLoadRange(base.c_str(), 0, 0, &failure));
    EXPECT_EQ(exact.buffers[0], exact.GetImage(0)->pixels);
    EXPECT_EQ(std::vector<OBuffer*>(exact.buffers + 3, exact.buffers + exact.BufferListSize()),
              std::vector<OBuffer*>(4, nullptr));
}

// A pack part without a free entry: the range's blocks beyond the entries
// it frees go into the slots' part, and Free deletes them there too (the
// sanitizers' leak check sees one that stays).
TEST_F(PackLoadTest, ARangeTakesTheSlotsEntriesWhenThePackPartIsFull)
{
    const std::string base = Write("base", {{Record(1, 2, 2, 0, "A", 0), Record(1, 2, 2, 0, "B", 1)}});
    const PackFiles level = {{Record(2, 2, 2, 2, "P0", 2), Record(2, 2, 2, 3, "P1", 3),
                              Record(3, 2, 2, 0, "M0", 4), Record(3, 2, 2, 0, "M1", 5)}};
    OBitmapStore store;
    PackFailure failure;
    ASSERT_TRUE(store.TryLoad(base.c_str(), 1, 0, &failure));
    ASSERT_TRUE(store.TryLoadRange(Write("level", level).c_str(), 0, 1, &failure)) << failure.message;
    ExpectPack(store, Flatten(level), 0);
    const std::vector<OBuffer*> list(store.buffers, store.buffers + store.BufferListSize());
    EXPECT_EQ(list, (std::vector<OBuffer*>{store.GetImage(0)->pixels, store.GetImage(1)->pixels,
                                           store.GetImage(0)->alpha, store.GetImage(1)->alpha}));
    store.Free();
}

// The background's working copy between levels: a slot image shares a pack
// picture's block and the picture's range was freed, so only the slot image
// and the list hold the block. Making the slot's image again over that block
// must keep it alive for the new image.
TEST_F(PackLoadTest, ASlotImageMadeAgainOverItsOwnBlockKeepsThePixels)
{
    const PackImage picture = Record(0, 4, 4, 0, "PIC", 0);
    const std::string dir = Write("pic", {{picture}});
    OBitmapStore store;
    PackFailure failure;
    ASSERT_TRUE(store.TryLoad(dir.c_str(), 2, 4, &failure)) << failure.message;
    OBuffer* block = store.GetImage(0)->GetPixelBuffer();
    ASSERT_EQ(store.AddImage(4, 4, 0, 0, block, nullptr, -1), 0);
    store.FreeRange(0, 0);
    ASSERT_EQ(store.AddImage(4, 4, 0x00FF00, 1, block, nullptr, 0), 0);
    OBitmap* again = store.GetTable()->GetImage(0);
    ASSERT_EQ(again->GetPixelBuffer(), block);
    ExpectBlock(again->pixels, ExpectedBlock(picture), "made again");
}

TEST_F(PackLoadTest, SamplePackHoldsTheFontInGlyphOrderAndTheLevelPictures)
{
    const std::string dir = Write("sample", tools::MakeSamplePack());
    OBitmapStore store;
    PackFailure failure;
    ASSERT_TRUE(store.TryLoad(dir.c_str(), 2000, 9050, &failure)) << failure.message;
    // The font's owner finds '0' by name; glyph 9 is '0', and every glyph
    // follows at consecutive indices.
    const i32 zero = store.FindByName(tools::kDigitsGlyphName, 0, -1);
    ASSERT_EQ(zero, 9);
    for (i32 g = 0; g < tools::kGlyphCount; ++g)
    {
        OBitmap* glyph = store.GetImage(static_cast<i16>(zero - 9 + g));
        ASSERT_NE(glyph, nullptr) << g;
        EXPECT_EQ(glyph->format, 2) << g;
        EXPECT_NE(glyph->alpha, nullptr) << g;
    }
    EXPECT_EQ(tools::GlyphCharacter(9), '0');
    EXPECT_EQ(tools::GlyphCharacter(20), '@');
    EXPECT_EQ(tools::GlyphCharacter(47), 'a');
    EXPECT_EQ(tools::GlyphCharacter(73), 192);
    const struct
    {
        const char* name;
        u8 format;
    } pictures[] = {{"BG_LEVEL", 0},     {"BG_MASK0", 14},
                    {"BG_MASK1", 14},    {"BG_MASK2", 14},
                    {"GLOW_DISC", 2},    {"PAL_GRADIENT", 16},
                    {"PAL_STRIPES", 18}, {"PHOTO_ALPHA", 2},
                    {"PHOTO_GREY", 0},   {tools::kBitmapFontName, 14}};
    for (const auto& p : pictures)
    {
        const i32 index = store.FindByName(p.name, 0, -1);
        ASSERT_GE(index, 0) << p.name;
        EXPECT_EQ(store.GetImage(static_cast<i16>(index))->format, p.format) << p.name;
    }
    OBitmap* level = store.GetImage(static_cast<i16>(store.FindByName("BG_LEVEL", 0, -1)));
    EXPECT_EQ(level->width, 800);
    EXPECT_EQ(level->height, 600);

    // The bitmap font draws each glyph's own shape from its first inked column.
    GFont font(store.GetImage(static_cast<i16>(store.FindByName(tools::kBitmapFontName, 0, -1))),
               tools::kBitmapFontSpace, tools::kBitmapFontLastChar);
    EXPECT_LT(font.GetTextWidth("i"), font.GetTextWidth("W"));
    OBitmap* target = CreateBitmap(16, 20, 0, 2, nullptr, nullptr);
    for (i32 g = 0; g < tools::kGlyphCount; ++g)
    {
        OBitmap* glyph = store.GetImage(static_cast<i16>(g));
        const u8* shape = glyph->GetAlpha();
        std::fill_n(target->GetAlpha(), 16 * 20, u8{255});
        const char text[2] = {static_cast<char>(tools::GlyphCharacter(g)), 0};
        font.DrawString(target, 0, 0, text, 0, nullptr);
        int first = glyph->width, wrong = 0;
        for (int i = 0; i < glyph->width * glyph->height; ++i)
            first = shape[i] == 0 ? std::min(first, i % glyph->width) : first;
        for (int y = 0; y < 20; ++y)
            for (int x = 0; x < 16; ++x)
                wrong += (target->GetAlpha()[y * 16 + x] == 0) !=
                         (x + first < glyph->width && shape[y * glyph->width + x + first] == 0);
        EXPECT_EQ(wrong, 0) << "glyph " << g;
    }
    DestroyBitmap(target);

    // The data-file pictures beside the pack, each through its loader.
    for (const tools::SampleDataFile& file : tools::MakeSampleDataFiles())
        ASSERT_TRUE(tools::WriteDataFile(dir, file.number, file.bytes)) << file.number;
    i32 slot[4] = {-1, -1, -1, -1};
    ASSERT_TRUE(LoadJpmImage(0, &slot[0], &store, dir.c_str(), tools::kSampleJpmKey));
    ASSERT_TRUE(LoadTgaImage(1, &slot[1], &store, dir.c_str()));
    ASSERT_TRUE(LoadJpegPackImage(2, &slot[2], &store, dir.c_str()));
    ASSERT_TRUE(LoadTgaImage(3, &slot[3], &store, dir.c_str()));
    auto image = [&](int n) { return store.GetTable()->GetImage(static_cast<i16>(slot[n])); };
    EXPECT_EQ(image(0)->format, 2);
    EXPECT_EQ(image(1)->format, 2);
    EXPECT_EQ(image(2)->width, 320);
    EXPECT_EQ(image(3)->format, 14);
}

} // namespace
