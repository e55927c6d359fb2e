// A level scene in a real window, for the end-to-end check of the whole
// rendering layer: the level background with two mask layers, a game
// sprite, a line of bitmap text fading in and a text image, then a change of
// level that plays the whole reveal. Every frame depends on its number only,
// so the same frames come out on any backend.
//
//   scene_window OUT_DIR FRAME...
//
// With the headless backend the presented pixels of each listed frame are
// written to OUT_DIR/headless_<frame>.ppm. With a display, the program says
// "WAIT" before its first frame and "SHOT <frame>" after presenting each
// listed one, and goes on when a line arrives on its standard input, so that
// a script can take screenshots of the window; "DONE" ends the run.
#include "background/GBg.h"

#include "GAME/GPlayerRecords.h"
#include "INTERFACE/GGame.h"
#include "INTERFACE/GGlobal.h"
#include "INTERFACE/GWindow.h"
#include "image/OBitmapStore.h"
#include "platform/Backend.h"
#include "platform/HeadlessBackend.h"
#include "render/GPtrArray.h"
#include "render/OEngine.h"
#include "render/ORectList.h"
#include "support/BitmapStoreBuilder.h"
#include "support/FontPictureBuilder.h"
#include "text/GCharMap.h"
#include "text/GFont.h"
#include "text/GString.h"
#include "text/GTextImage.h"
#include "window/OWindow.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <set>
#include <string>

namespace
{

constexpr int kWidth = 800;
constexpr int kHeight = 600;
constexpr int kLevelSwitchFrame = 4;
constexpr int kLastFrame = kLevelSwitchFrame + 16;

// Pack images of the scene's store.
enum : i16
{
    kPicture1,
    kPicture2,
    kMaskA,
    kMaskB,
    kSpriteImage,
    kFontPicture,
    kGlyphs, // 105 glyph pictures from here on
    kPackImages = kGlyphs + 105
};

// A level picture: bands of colour that differ between levels and a grid,
// so that any misplaced row or column shows.
OBitmap* Picture(int level)
{
    OBitmap* p = CreateBitmap(kWidth, kHeight, 0, 0, nullptr, nullptr);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
        {
            u8* px = p->GetBits() + 3 * (y * kWidth + x);
            const bool grid = x % 50 == 0 || y % 50 == 0;
            px[0] = static_cast<u8>(grid ? 255 : (x * 255 / kWidth) ^ (level * 90));
            px[1] = static_cast<u8>(grid ? 255 : (y * 255 / kHeight) + level * 60);
            px[2] = static_cast<u8>(grid ? 255 : ((x + y) / 4) * level);
        }
    return p;
}

// An ellipse of opaque alpha with a soft rim, transparent outside.
OBitmap* Ellipse(u16 w, u16 h, u8 format)
{
    OBitmap* m = CreateBitmap(w, h, 0, format, nullptr, nullptr);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
        {
            const double dx = (x - w / 2.0) / (w / 2.0), dy = (y - h / 2.0) / (h / 2.0);
            const double d = dx * dx + dy * dy;
            m->GetAlpha()[y * w + x] = d < 0.7 ? 0 : d >= 1.0 ? 255 : static_cast<u8>((d - 0.7) / 0.3 * 255);
            if (u8* px = m->GetBits())
            {
                px[3 * (y * w + x)] = static_cast<u8>(40 + x);
                px[3 * (y * w + x) + 1] = static_cast<u8>(200 - y);
                px[3 * (y * w + x) + 2] = 220;
            }
        }
    return m;
}

class SceneWindow : public OWindow
{
public:
    SceneWindow(std::string outDir, std::set<int> shots)
        : out(std::move(outDir)), shotFrames(std::move(shots))
    {
    }

    u32 OnCreate() override
    {
        SetFrameStats(0);
        SetFrameInterval(20);
        headless = std::strcmp(platform::GetBackend().GetName(), "headless") == 0;

        store.reset(testsupport::MakeStore(kPackImages, 64));
        store->images[kPicture1] = Picture(1);
        store->images[kPicture1]->SetName("BG_LEVEL");
        store->images[kPicture2] = Picture(2);
        store->images[kMaskA] = Ellipse(160, 120, 2);
        store->images[kMaskB] = Ellipse(220, 90, 2);
        store->images[kMaskA]->SetName("MASK_A");
        store->images[kMaskB]->SetName("MASK_B");
        store->images[kSpriteImage] = Ellipse(64, 64, 2);
        std::mt19937 rng(5);
        store->images[kFontPicture] = testsupport::MakeFontPicture(rng, testsupport::FontSpec{});
        for (int g = 0; g < 105; ++g)
        {
            const u16 w = static_cast<u16>(6 + g % 5), h = 14;
            OBitmap* glyph = CreateBitmap(w, h, 0, 2, nullptr, nullptr);
            for (int i = 0; i < w * h; ++i)
            {
                glyph->GetBits()[3 * i] = static_cast<u8>(g * 7);
                glyph->GetBits()[3 * i + 1] = 255;
                glyph->GetBits()[3 * i + 2] = static_cast<u8>(255 - g);
                glyph->GetAlpha()[i] = (i % w + i / w + g) % 3 == 0 ? 255 : 0;
            }
            store->images[kGlyphs + g] = glyph;
        }

        gameOwner.SetGame(new GGame);
        global.imageStore = store.get();
        clips.reset(GPtrArray::Create(1000));
        dirty.reset(ORectList::Create(1000));
        engine.Init(this, store.get(), clips.get(), dirty.get());
        engine.backgroundMode = 1;
        bg = std::make_unique<GBg>(&global);

        map.baseFrame = kGlyphs;
        map.altBaseFrame = kGlyphs;
        map.spacing = 1;
        map.imageStore = store.get();
        map.random.SetSeed(99);
        line.reset(GString::Create(16));
        font = std::make_unique<GFont>(store->images[kFontPicture], 4, 126);
        const i16 slot = store->AddImage(240, 40, 0, 2, nullptr, nullptr, -1);
        textImage.image = store->GetImage(static_cast<i16>(store->GetImageCount() + slot));
        textImage.clip.frame = OFixed::FromInt(store->GetImageCount() + slot);
        textImage.clip.SetPosition(OFixed::FromInt(540), OFixed::FromInt(20));
        textImage.RenderCentred("Zorblet level", font.get(), 1);
        sprite.frame = OFixed::FromInt(kSpriteImage);
        sprite.visible = 1;

        SetUpScene(1);
        bg->Build();
        return 1;
    }

    void OnFrame(u16) override
    {
        ++frame;
        if (frame == 1 && !headless)
            Handshake("WAIT");
        if (frame == kLevelSwitchFrame)
            ChangeLevel();
        bg->Compose();
        line->Update();
        sprite.SetPosition(OFixed::FromInt(100 + 9 * frame), OFixed::FromInt(300 + 3 * frame));
        ORect area(0, 0, kWidth - 1, kHeight - 1);
        if (engine.RedrawDirty(&area, frame == 1 ? 1 : 0, 0))
            PaintRect(area);
        if (shotFrames.count(frame) != 0)
            Shot();
        if (frame == kLastFrame)
        {
            if (!headless)
                std::printf("DONE\n");
            std::fflush(stdout);
            TearDownScene();
            Close();
        }
    }

    int failures = 0;

private:
    // The scene in the game's order: background, game sprites, text, the
    // level's layers, the reveal sprite above everything.
    void SetUpScene(int level)
    {
        bg->AddLayerByIndex(&engine, 0, 0, -1);
        engine.AddClip(&sprite);
        line->SetText(level == 1 ? "Level 1" : "Level 2", &map);
        line->Move(OFixed::FromInt(40), OFixed::FromInt(30));
        line->SetState(2);
        line->Attach(&engine);
        textImage.AddToEngine(&engine);
        bg->AddLayer(&engine, level == 1 ? "MASK_A" : "MASK_B", 120, 380);
        bg->AddLayerByIndex(&engine, 520, 180, kMaskB);
        bg->AddLayerByIndex(&engine, 0, 0, -2);
    }
    void TearDownScene()
    {
        bg->RemoveLayers(&engine);
        line->Detach(&engine);
        engine.RemoveClip(&sprite);
        engine.RemoveClip(&textImage.clip);
    }
    // The level's graphics are replaced and the scene set up anew; the
    // working copy keeps the previous picture for the reveal.
    void ChangeLevel()
    {
        TearDownScene();
        DestroyBitmap(store->images[kPicture1]);
        store->images[kPicture1] = nullptr;
        store->images[kPicture2]->SetName("BG_LEVEL");
        global.profile->record[GGameSlot::kLevelOffset] = 2;
        SetUpScene(2);
        bg->Build();
    }

    void Shot()
    {
        if (!headless)
        {
            Handshake(("SHOT " + std::to_string(frame)).c_str());
            return;
        }
        auto& backend = static_cast<platform::HeadlessBackend&>(platform::GetBackend());
        const auto* window = backend.GetWindow(GetHWND());
        const std::string path = out + "/headless_" + std::to_string(frame) + ".ppm";
        FILE* f = std::fopen(path.c_str(), "wb");
        if (!window || !f || window->width != kWidth || window->height != kHeight)
        {
            std::fprintf(stderr, "cannot write %s\n", path.c_str());
            ++failures;
            if (f)
                std::fclose(f);
            return;
        }
        std::fprintf(f, "P6\n%d %d\n255\n", kWidth, kHeight);
        for (size_t i = 0; i + 2 < window->pixels.size(); i += 3)
        {
            const u8 rgb[3] = {window->pixels[i + 2], window->pixels[i + 1], window->pixels[i]};
            std::fwrite(rgb, 1, 3, f);
        }
        std::fclose(f);
    }
    static void Handshake(const char* say)
    {
        std::printf("%s\n", say);
        std::fflush(stdout);
        char reply[64];
        if (!std::fgets(reply, sizeof reply, stdin))
            std::exit(3);
    }

    std::string out;
    std::set<int> shotFrames;
    bool headless = true;
    int frame = 0;
    std::unique_ptr<OBitmapStore> store;
    GWindow gameOwner;
    GGlobal global{&gameOwner};
    std::unique_ptr<GPtrArray> clips;
    std::unique_ptr<ORectList> dirty;
    OEngine engine;
    std::unique_ptr<GBg> bg;
    GCharMap map;
    std::unique_ptr<GString> line;
    std::unique_ptr<GFont> font;
    GTextImage textImage;
    OClip sprite;
};

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
    {
        std::fprintf(stderr, "usage: %s OUT_DIR FRAME...\n", argv[0]);
        return 2;
    }
    std::set<int> shots;
    for (int i = 2; i < argc; ++i)
        shots.insert(std::atoi(argv[i]));
    SceneWindow window(argv[1], shots);
    if (!window.Create("ZORBLET scene", "ZORBLET", kWidth, kHeight))
    {
        std::fprintf(stderr, "no window\n");
        return 1;
    }
    window.Show();
    window.Run();
    return window.failures == 0 ? 0 : 1;
}
