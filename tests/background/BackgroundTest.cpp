// The level background: layers cut out of the picture, the builds, and the
// reveal frame by frame, each frame's dirty redraw against a full repaint.
#include "background/GBg.h"

#include "GAME/GPlayerRecords.h"
#include "INTERFACE/GGame.h"
#include "INTERFACE/GGlobal.h"
#include "INTERFACE/GWindow.h"
#include "PackWriter.h"
#include "image/OBitmapStore.h"
#include "render/Blit.h"
#include "render/GPtrArray.h"
#include "render/ORectList.h"
#include "render/SceneFixture.h"
#include "services/OLogFile.h"
#include "support/BitmapStoreBuilder.h"
#include "support/PlatformFilesTestUtil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <malloc.h>
#include <memory>
#include <tuple>
#if defined(__SANITIZE_ADDRESS__)
// The sanitizer runtime's count of live allocations (its header comes with
// clang only).
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace
{

using scenetest::RandomImage;

// Pack images of the fixture's store.
enum : i16
{
    kPicture,     // "BG_LEVEL", 800 x 600, format 0
    kMask,        // 100 x 50, format 2
    kPlainMask,   // 100 x 50, format 0: no alpha plane
    kNextPicture, // the next level's picture, named when the level changes
    kPackImages
};

struct BackgroundTest : ::testing::Test
{
    std::mt19937 rng{12};
    std::unique_ptr<OBitmapStore> store{testsupport::MakeStore(kPackImages, 40)};
    GWindow window;
    GGlobal global{&window};
    GGame* game = new GGame;
    OBitmap* canvas = CreateBitmap(800, 600, 0, 0, nullptr, nullptr);
    OBitmap* reference = CreateBitmap(800, 600, 0, 0, nullptr, nullptr);
    std::unique_ptr<GPtrArray> clips{GPtrArray::Create(64)};
    std::unique_ptr<ORectList> dirty{ORectList::Create(64)};
    OEngine engine;
    OEngine full;
    std::unique_ptr<GBg> bg;

    void SetUp() override
    {
        store->images[kPicture] = RandomImage(rng, 800, 600, 0);
        store->images[kPicture]->SetName("BG_LEVEL");
        store->images[kMask] = RandomImage(rng, 100, 50, 2);
        store->images[kPlainMask] = RandomImage(rng, 100, 50, 0);
        store->images[kNextPicture] = RandomImage(rng, 800, 600, 0);
        window.SetGame(game);
        global.imageStore = store.get();
        for (OEngine* e : {&engine, &full})
        {
            e->Init(nullptr, store.get(), clips.get(), dirty.get());
            e->backgroundMode = 1;
            e->backgroundColor = 0x102030;
        }
        engine.SetCanvas(canvas);
        full.SetCanvas(reference);
        bg = std::make_unique<GBg>(&global);
    }
    void TearDown() override
    {
        bg->RemoveLayers(&engine);
        clips->Clear();
        bg.reset();
        DestroyBitmap(canvas);
        DestroyBitmap(reference);
    }

    // The level of the current game mode's slot.
    void SetLevel(u16 level)
    {
        const u32 mode = game->gameMode;
        u8* slot = global.profile->record + GGameSlot::kSize * (mode == 1 || mode == 2 ? mode : 0);
        slot[GGameSlot::kLevelOffset] = static_cast<u8>(level);
        slot[GGameSlot::kLevelOffset + 1] = static_cast<u8>(level >> 8);
    }
    // The level graphics are replaced: "BG_LEVEL" names the next picture and
    // the previous one is freed, as a level's pack replacement does.
    void NextLevelPicture()
    {
        DestroyBitmap(store->images[kPicture]);
        store->images[kPicture] = nullptr;
        store->images[kNextPicture]->SetName("BG_LEVEL");
    }
    // The scene as the visual space sets it up: background, one game sprite,
    // a layer, the reveal sprite.
    void SetUpScene()
    {
        bg->AddLayerByIndex(&engine, 0, 0, -1);
        bg->AddLayerByIndex(&engine, 700, 550, kMask);
        bg->AddLayerByIndex(&engine, 0, 0, -2);
    }
    // The dirty redraw of the frame, then a full repaint of the same list on
    // the reference canvas: both must give the same pixels.
    void ExpectRedrawMatchesFullRepaint(const char* what, int frame, u8 addArea = 0)
    {
        ORect area(0, 0, 799, 599);
        engine.RedrawDirty(&area, addArea, 0);
        full.Draw(0, nullptr);
        ASSERT_EQ(0, std::memcmp(canvas->GetBits(), reference->GetBits(), 3 * 800 * 600))
            << what << " frame " << frame;
    }
};

TEST_F(BackgroundTest, LayerPlacement)
{
    // The first call places layer 0 wherever it is asked, whatever the index,
    // and makes no layer image.
    bg->AddLayerByIndex(&engine, 5, 7, kMask);
    EXPECT_EQ(bg->layerCount, 1);
    EXPECT_EQ(bg->layers[0].x.ToInt(), 5);
    EXPECT_EQ(bg->layers[0].y.ToInt(), 7);
    EXPECT_EQ(bg->layers[0].visible, 1);
    EXPECT_EQ(store->table->slots[0], nullptr);

    bg->AddLayerByIndex(&engine, 0, 0, -2);
    bg->AddLayerByIndex(&engine, 0, 0, -2);
    EXPECT_EQ(clips->GetCount(), 2);
    EXPECT_EQ(bg->revealSpriteAdded, 1);

    for (int i = 1; i < 12; ++i)
        bg->AddLayerByIndex(&engine, 10 * i, 5 * i, kMask);
    EXPECT_EQ(bg->layerCount, GBg::kLayers);
    EXPECT_EQ(clips->GetCount(), 12); // the twelfth layer is ignored

    // A layer taken out from the middle: later ones move down, so that
    // RemoveLayers still takes every placed one out.
    const i16 third = static_cast<i16>(bg->layers[3].frame.ToInt());
    bg->RemoveLayer(&engine, third);
    EXPECT_EQ(bg->layerCount, 10);
    EXPECT_EQ(bg->revealSpriteAdded, 0);
    EXPECT_EQ(clips->GetCount(), 10);
    EXPECT_EQ(bg->layers[3].x.ToInt(), 40);
    EXPECT_EQ(*clips->At(3), &bg->layers[3]);

    // Taking out the picture's own layer leaves the cut-out layers in their
    // places: a build then makes none of them the picture, and where no
    // layer lies the background colour shows.
    const i32 cutOut = bg->layers[1].frame.raw;
    bg->RemoveLayer(&engine, static_cast<i16>(bg->layers[0].frame.ToInt()));
    bg->Build();
    full.Draw(0, nullptr);
    const u8* corner = reference->GetBits() + 3 * (800 * 600 - 1);
    EXPECT_EQ(std::tuple(bg->layerCount, clips->GetCount(), *clips->At(0), bg->layers[1].frame.raw),
              std::tuple(10, 9, &bg->layers[1], cutOut));
    EXPECT_EQ(std::tuple(corner[0], corner[1], corner[2]), std::tuple(0x30, 0x20, 0x10));
    bg->RemoveLayers(&engine);
    EXPECT_EQ(clips->GetCount(), 0);
    EXPECT_EQ(bg->layerCount, 0);
}

TEST_F(BackgroundTest, CreateLayerRefusalsAndTheCopiedPiece)
{
    const filetest::TempFolder folder;
    auto* log = new OLogFile((folder / "log.html").c_str());
    global.log = log;
    EXPECT_EQ(bg->CreateLayer(kMask, 0, 0), 0); // no layer placed yet
    // Layers are added before the level is built: the picture is found by
    // its name all the same.
    bg->AddLayerByIndex(&engine, 20, 30, -1);

    const struct
    {
        i16 mask;
        i32 x, y;
    } refused[] = {
        {kMask, 750, 10}, {kMask, 10, 551},         {kMask, 701, 0}, {kPlainMask, 0, 0},
        {-1, 0, 0},       {kPackImages + 39, 0, 0}, {999, 0, 0},
    };
    for (const auto& r : refused)
        EXPECT_EQ(bg->CreateLayer(r.mask, r.x, r.y), 0) << r.mask << " at " << r.x << "," << r.y;
    // Each refusal is one error line of the HTML log, with the system's text.
    EXPECT_EQ(log->errorCount, 1 + std::size(refused));
    global.log = nullptr;
    delete log;
    const std::vector<u8> bytes = filetest::ReadBytes(folder / "log.html");
    const std::string html(bytes.begin(), bytes.end());
    auto lines = [&](const std::string& text)
    {
        size_t count = 0;
        for (size_t at = html.find("> " + text); at != std::string::npos; at = html.find("> " + text, at + 1))
            ++count;
        return count;
    };
    EXPECT_EQ(lines("GBg::CreateLayer() - Set background layer first!"), 1u);
    EXPECT_EQ(lines("GBg::CreateLayer() - Mask coordinates or dimensions incorrect!"), std::size(refused));

    // Exactly 800 and 600 are accepted; a negative place is not refused.
    for (const auto& [x, y] : {std::pair{700, 550}, std::pair{-30, -20}})
    {
        const i16 n = bg->CreateLayer(kMask, x, y);
        ASSERT_GT(n, 0);
        OBitmap* layer = store->GetImage(n);
        EXPECT_EQ(layer->format, 2);
        EXPECT_EQ(layer->alpha, store->GetImage(kMask)->alpha);
        EXPECT_NE(layer->pixels, store->GetImage(kMask)->pixels);
        // Layer 0 sits at (20, 30): canvas pixel (x + i, y + j) shows picture
        // pixel (x + i - 20, y + j - 30), black where that is off the picture.
        for (int j = 0; j < 50; ++j)
            for (int i = 0; i < 100; ++i)
            {
                const int px = x + i - 20, py = y + j - 30;
                const bool inside = px >= 0 && py >= 0 && px < 800 && py < 600;
                const u8* got = layer->GetBits() + 3 * (j * 100 + i);
                const u8* want = store->GetImage(kPicture)->GetBits() + 3 * (py * 800 + px);
                for (int c = 0; c < 3; ++c)
                    ASSERT_EQ(got[c], inside ? want[c] : 0) << i << "," << j;
            }
    }
}

TEST_F(BackgroundTest, BuildsAndTheLevelNumber)
{
    SetUpScene();
    bg->Build();
    ASSERT_GE(bg->copyImage, kPackImages);
    OBitmap* copy = store->GetImage(static_cast<i16>(bg->copyImage));
    EXPECT_EQ(copy->format, 0);
    EXPECT_EQ(copy->alpha, nullptr);
    EXPECT_EQ(copy->pixels, store->GetImage(kPicture)->pixels);
    EXPECT_EQ(bg->layers[0].frame.ToInt(), kPicture);
    EXPECT_EQ(bg->revealActive, 0);

    // The second build starts a reveal even for the same level, the third
    // not; a change of level does. On a level chosen on the map the chosen
    // level counts, and without a game there is no level to reveal.
    const struct
    {
        u32 mode;
        u8 level, chosen;
        bool game, reveal;
    } steps[] = {{0, 0, 0, true, true},  {0, 0, 0, true, false}, {0, 5, 0, true, true},
                 {3, 5, 5, true, false}, {3, 5, 9, true, true},  {1, 9, 0, true, false},
                 {0, 9, 0, false, false}};
    for (const auto& k : steps)
    {
        game->gameMode = k.mode;
        SetLevel(k.level);
        global.profile->record[GGameSlot::kChosenLevelOffset] = k.chosen;
        if (!k.game)
            window.SetGame(nullptr);
        bg->Build();
        EXPECT_EQ(bg->revealActive, k.reveal ? 1 : 0) << "mode " << k.mode << " level " << int(k.level);
        EXPECT_EQ(bg->layers[0].frame.ToInt(), bg->copyImage);
    }
}

TEST_F(BackgroundTest, RevealFrameByFrame)
{
    SetUpScene();
    bg->Build();
    ExpectRedrawMatchesFullRepaint("first build", 0);
    OBitmap* copy = store->GetImage(static_cast<i16>(bg->copyImage));
    const std::vector<u8> previous(copy->GetBits(), copy->GetBits() + 3 * 800 * 600);

    NextLevelPicture();
    SetLevel(1);
    bg->Build();
    ASSERT_EQ(bg->baseImage, kNextPicture);
    // The copy keeps the previous picture alive after its image was freed.
    EXPECT_EQ(0, std::memcmp(copy->GetBits(), previous.data(), previous.size()));
    ExpectRedrawMatchesFullRepaint("second build", 0);

    bg->Compose(); // lends the plane
    EXPECT_EQ(copy->format, 2);
    ASSERT_NE(copy->alpha, nullptr);
    EXPECT_EQ(copy->alpha, bg->revealPlane);
    EXPECT_EQ(bg->layers[0].frame.ToInt(), kNextPicture);
    EXPECT_EQ(bg->revealSprite.visible, 1);
    ExpectRedrawMatchesFullRepaint("plane lent", 0);

    for (int frame = 1; frame <= 11; ++frame)
    {
        bg->Compose();
        const int height = frame <= 10 ? 60 * frame : 0;
        EXPECT_EQ(bg->bandHeight, height);
        EXPECT_EQ(bg->bandY, 300 - height / 2);
        EXPECT_EQ(bg->revealPhase, frame <= 10 ? 1 : 2);
        // Rows inside the widest band so far are transparent, the others
        // still opaque, all 800 columns.
        const int open = 60 * (frame <= 10 ? frame : 10);
        for (int y = 0; y < 600; ++y)
        {
            const u8 want = y >= 300 - open / 2 && y < 300 + open / 2 ? 255 : 0;
            const u8* row = copy->GetAlpha() + 800 * y;
            ASSERT_EQ(std::count(row, row + 800, want), 800) << "frame " << frame << " row " << y;
        }
        ExpectRedrawMatchesFullRepaint("band", frame);
    }

    bg->Compose(); // the last step: the copy gets the new picture
    EXPECT_EQ(bg->revealActive, 0);
    EXPECT_EQ(copy->format, 0);
    EXPECT_EQ(copy->alpha, nullptr);
    EXPECT_EQ(bg->revealPlane, nullptr);
    EXPECT_EQ(bg->revealSprite.visible, 0);
    EXPECT_EQ(bg->layers[0].drawMode, 0);
    EXPECT_EQ(0, std::memcmp(copy->GetBits(), store->GetImage(kNextPicture)->GetBits(), 3 * 800 * 600));
    ExpectRedrawMatchesFullRepaint("finished", 12);

    // A build during a reveal finishes it at once, then starts the next.
    SetLevel(2);
    bg->Build();
    for (int frame = 0; frame < 4; ++frame)
        bg->Compose();
    ASSERT_EQ(bg->revealPhase, 1);
    SetLevel(3);
    bg->Build();
    EXPECT_EQ(copy->format, 0);
    EXPECT_EQ(copy->alpha, nullptr);
    EXPECT_EQ(bg->revealPhase, 0);
    EXPECT_EQ(bg->revealActive, 1);
    ExpectRedrawMatchesFullRepaint("interrupted", 0);
}

TEST_F(BackgroundTest, WithoutAPictureNothingIsShown)
{
    store->images[kPicture]->SetName("OTHER");
    SetUpScene();
    bg->Build();
    EXPECT_EQ(bg->copyImage, -1);
    EXPECT_EQ(bg->layers[0].frame.ToInt(), -1);
    bg->Build();
    bg->Compose();
    EXPECT_EQ(bg->revealActive, 0);
    ExpectRedrawMatchesFullRepaint("no picture", 0, 1);
    // Only the background colour: no layer was made without a picture.
    EXPECT_EQ(bg->layerCount, 1);
    EXPECT_EQ(bg->CreateLayer(kMask, 0, 0), 0);
    EXPECT_EQ(canvas->GetBits()[0], 0x30);

    // A copy whose picture disappears: nothing is shown, no reveal starts.
    store->images[kPicture]->SetName("BG_LEVEL");
    bg->Build();
    store->images[kPicture]->SetName("OTHER");
    SetLevel(3);
    bg->Build();
    EXPECT_EQ(bg->revealActive, 0);
    EXPECT_EQ(bg->layers[0].frame.ToInt(), -1);
}

// A level's pack in folder: the picture "BG_LEVEL" with the given pixels (its
// colour key matches none of them) and a type-14 mask, opaque all over.
testing::AssertionResult WriteLevelPack(const std::filesystem::path& folder, u16 width, u16 height,
                                        const std::vector<u8>& pixels, u16 maskWidth, u16 maskHeight,
                                        const char* maskName)
{
    tools::PackImage picture, mask;
    picture.width = width;
    picture.height = height;
    picture.value = 0x01000000;
    picture.name = "BG_LEVEL";
    picture.pixels = pixels;
    mask.type = 14;
    mask.width = maskWidth;
    mask.height = maskHeight;
    mask.name = maskName;
    mask.pixels.assign(size_t{maskWidth} * maskHeight, 0);
    std::filesystem::create_directories(folder);
    std::string error;
    if (tools::WritePack(folder, {{picture, mask}}, &error))
        return testing::AssertionSuccess();
    return testing::AssertionFailure() << error;
}

// Real packs: the level's range is freed and loaded from the next level's
// pack, as the level loader does, while the working copy still refers to the
// previous picture's block.
TEST(BackgroundPacks, WorkingCopyOutlivesTheLevelPictureAcrossFreeRangeAndLoadRange)
{
    const filetest::TempFolder root;
    std::vector<u8> pixels[2];
    for (int level = 0; level < 2; ++level)
    {
        for (int i = 0; i < 3 * 40 * 30; ++i)
            pixels[level].push_back(static_cast<u8>(i * (level + 3)));
        ASSERT_TRUE(WriteLevelPack(root / std::to_string(level), 40, 30, pixels[level], 10, 10, "BG_MASK0"));
    }
    std::unique_ptr<OBitmapStore> store(OBitmapStore::Create((root / "0").c_str(), 8, 16));
    GWindow window;
    window.SetGame(new GGame);
    GGlobal global(&window);
    global.imageStore = store.get();
    GBg bg(&global);
    bg.Build();
    OBitmap* copy = store->GetImage(static_cast<i16>(bg.copyImage));
    const auto copyHolds = [&](const std::vector<u8>& want)
    { return std::equal(want.begin(), want.end(), copy->GetBits()); };
    store->FreeRange(0, 1);
    ASSERT_TRUE(store->LoadRange((root / "1").c_str(), 0, 1));
    EXPECT_TRUE(copyHolds(pixels[0]));
    global.profile->record[GGameSlot::kLevelOffset] = 1;
    bg.Build();
    EXPECT_EQ(bg.revealActive, 1);
    for (int frame = 0; frame < 13; ++frame)
        bg.Compose();
    EXPECT_EQ(bg.revealActive, 0);
    EXPECT_TRUE(copyHolds(pixels[1]));
}

// A store over a level's pack, and a game and an engine wired to it the way
// the visual space has them.
struct PackScene
{
    PackScene(const std::string& dir, u16 slots, u16 reserved)
        : store(OBitmapStore::Create(dir.c_str(), slots, reserved))
    {
        window.SetGame(new GGame);
        global.imageStore = store.get();
        engine.Init(nullptr, store.get(), clips.get(), dirty.get());
    }
    std::unique_ptr<OBitmapStore> store;
    GWindow window;
    GGlobal global{&window};
    std::unique_ptr<GPtrArray> clips{GPtrArray::Create(16)};
    std::unique_ptr<ORectList> dirty{ORectList::Create(16)};
    OEngine engine;
};

// Bytes in use on the heap: the sanitizer's own count where one runs, else
// the C library's (mapped chunks included).
size_t HeapInUse()
{
#if defined(__SANITIZE_ADDRESS__)
    return __sanitizer_get_current_allocated_bytes();
#else
    const struct mallinfo2 m = mallinfo2();
    return m.uordblks + m.hblkhd;
#endif
}

// The game's order over two level packs, level after level: a layer's image
// that outlives its scene holds the previous level's mask plane, which must
// go with it rather than stay in the list with nothing using it.
TEST(BackgroundPacks, LevelChangesGiveBackEveryListEntryAndByte)
{
    const filetest::TempFolder root;
    for (int level = 0; level < 2; ++level)
    {
        const std::vector<u8> picture(3 * 800 * 600, static_cast<u8>(level + 1));
        ASSERT_TRUE(WriteLevelPack(root / std::to_string(level), 800, 600, picture, 100, 50, "MASK_L"));
    }
    PackScene pack(root / "0", 4, 8);
    OBitmapStore* store = pack.store.get();
    GGlobal& global = pack.global;
    OEngine& engine = pack.engine;
    OClip sprite;
    GBg bg(&global);
    const auto setUp = [&](int level)
    {
        global.profile->record[GGameSlot::kLevelOffset] = static_cast<u8>(level);
        bg.AddLayerByIndex(&engine, 0, 0, -1);
        engine.AddClip(&sprite);
        bg.AddLayer(&engine, "MASK_L", 120, 380);
        bg.AddLayerByIndex(&engine, 0, 0, -2);
        bg.Build();
        for (int frame = 0; frame < 13; ++frame)
            bg.Compose();
    };
    const auto nullEntries = [&]
    { return std::count(store->buffers, store->buffers + store->recordCount, nullptr); };
    setUp(0);
    std::ptrdiff_t nulls[2] = {};
    size_t heap[2] = {};
    for (int change = 1; change <= 1000; ++change)
    {
        bg.RemoveLayers(&engine);
        engine.RemoveClip(&sprite);
        store->FreeRange(0, 1);
        PackFailure failure;
        ASSERT_TRUE(store->TryLoadRange((root / std::to_string(change % 2)).c_str(), 0, 1, &failure))
            << change << ": " << failure.message;
        setUp(change % 40);
        ASSERT_EQ(bg.layerCount, 2) << change;
        if (change == 1 || change == 1000)
        {
            nulls[change / 1000] = nullEntries();
            heap[change / 1000] = HeapInUse();
        }
    }
    std::printf("null pack entries %td and %td, heap %zu and %zu bytes\n", nulls[0], nulls[1], heap[0],
                heap[1]);
    EXPECT_EQ(nulls[1], nulls[0]);
    EXPECT_EQ(heap[1], heap[0]);
    bg.RemoveLayers(&engine);
    engine.RemoveClip(&sprite);
}

// Another party frees the slot of a layer's image and makes its own there;
// the allocator tends to hand it the freed image's address. The next scene's
// layer must leave that image alone.
TEST(BackgroundPacks, ALayerImageReplacedInItsSlotIsLeftToItsNewOwner)
{
    const filetest::TempFolder root;
    ASSERT_TRUE(WriteLevelPack(root.Path(), 40, 30, std::vector<u8>(3 * 40 * 30, 9), 10, 10, "MASK"));
    PackScene pack(root.Path(), 4, 8);
    OBitmapStore* store = pack.store.get();
    OEngine& engine = pack.engine;
    GBg bg(&pack.global);
    const auto setUp = [&]
    {
        bg.AddLayerByIndex(&engine, 0, 0, -1);
        bg.AddLayer(&engine, "MASK", 5, 5);
        bg.Build();
    };
    setUp();
    ASSERT_EQ(bg.layerCount, 2);
    const i32 layerIndex = bg.layers[1].frame.ToInt();
    const i16 slot = static_cast<i16>(layerIndex - store->GetImageCount());
    const OBitmap* layerImage = store->GetImage(static_cast<i16>(layerIndex));
    bg.RemoveLayers(&engine);
    store->GetTable()->ReleaseImage(slot);
    ASSERT_EQ(store->AddImage(7, 3, 0, 0, nullptr, nullptr, slot), slot);
    OBitmap* theirs = store->GetTable()->GetImage(slot);
    theirs->SetName("THEIRS");
    std::printf("their image %s the layer image's address\n", theirs == layerImage ? "took" : "did not take");
    setUp();
    EXPECT_EQ(store->FindByName("THEIRS", 0, -1), layerIndex);
    EXPECT_EQ(store->GetTable()->GetImage(slot), theirs);
    EXPECT_EQ(bg.layerCount, 2);
    EXPECT_NE(bg.layers[1].frame.ToInt(), layerIndex);
    bg.RemoveLayers(&engine);
}

// Every rectangle, clipped or not, against a per-pixel model.
TEST(BackgroundFill, FillAlphaRectWritesOnlyInsideTheImage)
{
    struct Case
    {
        i16 w, h, x, y;
    };
    const Case cases[] = {{800, 60, 0, 270}, {900, 4, -50, 2},   {3, 3, 18, 13},     {5, 0, 2, 2},
                          {0, 5, 2, 2},      {40, 40, -60, -60}, {10, 10, 32760, 3}, {32767, 2, 1, 1}};
    OBitmap* image = CreateBitmap(20, 15, 0, 2, nullptr, nullptr);
    for (const Case& k : cases)
    {
        std::memset(image->GetAlpha(), 7, 20 * 15);
        GBg::FillAlphaRect(image, k.w, k.h, k.x, k.y, 200);
        for (int y = 0; y < 15; ++y)
            for (int x = 0; x < 20; ++x)
            {
                const bool in = x >= k.x && x < k.x + k.w && y >= k.y && y < k.y + k.h;
                ASSERT_EQ(image->GetAlpha()[y * 20 + x], in ? 200 : 7)
                    << k.w << "x" << k.h << " at " << x << "," << y;
            }
    }
    DestroyBitmap(image);
    OBitmap* plain = CreateBitmap(4, 4, 0, 0, nullptr, nullptr);
    GBg::FillAlphaRect(plain, 4, 4, 0, 0, 1); // no plane: nothing to write
    EXPECT_EQ(plain->alpha, nullptr);
    DestroyBitmap(plain);
    GBg::FillAlphaRect(nullptr, 4, 4, 0, 0, 1);
}

} // namespace
