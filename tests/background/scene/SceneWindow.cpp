// A level scene in a real window, for the end-to-end check of the whole
// rendering layer: the sample pack's level background with two mask layers,
// a bubble passing to and fro under them, a line of bitmap text fading in
// and a text image in the sample's bitmap font, then a change of level (the
// background's pack range freed and loaded from a second pack) that plays
// the whole reveal. Every frame depends on its number only, so the same
// frames come out on any backend. Outside the reveal, the canvas under each
// layer's opaque mask pixels must be the level picture's, and the bubble in
// a layer's middle must be hidden there; the first level's line must have
// faded in before the change. A failed check is reported on standard error
// and makes the exit code 1.
//
//   scene_window SAMPLE_DIR OUT_DIR FRAME...
//
// SAMPLE_DIR is the sample's "800x600" folder; the second level's pack is
// written to OUT_DIR/level2. With the headless backend the presented pixels
// of each listed frame are written to OUT_DIR/headless_<frame>.ppm. With a
// display, the program says "WAIT" before its first frame and "SHOT <frame>"
// after presenting each listed one, and goes on when a line arrives on its
// standard input, so that a script can take screenshots of the window;
// "DONE" ends the run.
#include "background/GBg.h"

#include "GAME/GPlayerRecords.h"
#include "INTERFACE/GGame.h"
#include "INTERFACE/GGlobal.h"
#include "INTERFACE/GWindow.h"
#include "PackWriter.h"
#include "SampleData.h"
#include "image/OBitmapStore.h"
#include "platform/Backend.h"
#include "platform/HeadlessBackend.h"
#include "render/GPtrArray.h"
#include "render/OEngine.h"
#include "render/ORectList.h"
#include "text/GCharMap.h"
#include "text/GFont.h"
#include "text/GString.h"
#include "text/GTextImage.h"
#include "window/OSysBitmap.h"
#include "window/OWindow.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <set>
#include <string>

namespace
{

constexpr int kWidth = 800;
constexpr int kHeight = 600;
// The line fades in by frame 32 at the game's pace; the reveal of the second
// level ends 12 frames after the change.
constexpr int kLevelSwitchFrame = 36;
constexpr int kLastFrame = 64;
// The bubble's middle goes from the first layer's middle to the second's in
// this many frames, and back.
constexpr int kPassFrames = 16;
const struct
{
    const char* mask;
    int x, y;
} kLayers[2] = {{"BG_MASK0", 120, 380}, {"BG_MASK2", 560, 160}};
// The background's range of the sample pack: the picture and its three masks.
constexpr int kRangeImages = 4;

// The second level's pack: another picture under "BG_LEVEL" and masks of the
// same names, as a level folder holds them.
bool WriteLevelTwo(const std::string& dir)
{
    tools::PackImage picture;
    picture.type = 0;
    picture.width = kWidth;
    picture.height = kHeight;
    picture.value = 0x01000000; // a key no pixel matches
    picture.name = "BG_LEVEL";
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
        {
            const bool grid = x % 50 == 0 || y % 50 == 0;
            picture.pixels.push_back(static_cast<u8>(grid ? 255 : x * 255 / kWidth));
            picture.pixels.push_back(static_cast<u8>(grid ? 255 : 80 + y / 5));
            picture.pixels.push_back(static_cast<u8>(grid ? 255 : (x + y) / 6));
        }
    tools::PackFiles files(1);
    files[0].push_back(picture);
    const u16 sizes[3][2] = {{160, 120}, {800, 90}, {121, 121}};
    for (int k = 0; k < 3; ++k)
    {
        tools::PackImage mask;
        mask.type = 14;
        mask.width = sizes[k][0];
        mask.height = sizes[k][1];
        mask.name = "BG_MASK" + std::to_string(k);
        for (int y = 0; y < mask.height; ++y)
            for (int x = 0; x < mask.width; ++x)
                mask.pixels.push_back(static_cast<u8>((x / 20 + y / 20) % 2 == 0 ? 0 : 255));
        files[0].push_back(mask);
    }
    std::string error;
    std::filesystem::create_directories(dir);
    if (!tools::WritePack(dir, files, &error))
    {
        std::fprintf(stderr, "level two: %s\n", error.c_str());
        return false;
    }
    return true;
}

class SceneWindow : public OWindow
{
public:
    SceneWindow(std::string sample, std::string outDir, std::set<int> shots)
        : sampleDir(std::move(sample)), out(std::move(outDir)), levelTwo(out + "/level2"),
          shotFrames(std::move(shots))
    {
    }

    u32 OnCreate() override
    {
        SetFrameStats(0);
        SetFrameInterval(20);
        headless = std::strcmp(platform::GetBackend().GetName(), "headless") == 0;

        if (!WriteLevelTwo(levelTwo))
            return 0;
        store.reset(OBitmapStore::Create(sampleDir.c_str(), 64, 1000));
        background = store->FindByName("BG_LEVEL", 0, -1);
        const i32 glyph0 = store->FindByName("FONT0_G000", 0, -1);
        const i32 bubble = store->FindByName("BUBBLE_BLUE", 0, -1);
        const i32 fontPicture = store->FindByName(tools::kBitmapFontName, 0, -1);
        if (background < 0 || glyph0 < 0 || bubble < 0 || fontPicture < 0)
        {
            std::fprintf(stderr, "the sample pack lacks the scene's images\n");
            return 0;
        }
        gameOwner.SetGame(new GGame);
        global.imageStore = store.get();
        clips.reset(GPtrArray::Create(1000));
        dirty.reset(ORectList::Create(1000));
        engine.Init(this, store.get(), clips.get(), dirty.get());
        engine.backgroundMode = 1;
        bg = std::make_unique<GBg>(&global);

        map.baseFrame = static_cast<u16>(glyph0);
        map.altBaseFrame = static_cast<u16>(glyph0);
        map.spacing = 1;
        map.imageStore = store.get();
        map.random.SetSeed(99);
        line.reset(GString::Create(16));
        font = std::make_unique<GFont>(store->GetImage(static_cast<i16>(fontPicture)),
                                       tools::kBitmapFontSpace, tools::kBitmapFontLastChar);
        const i16 slot = store->AddImage(240, 40, 0, 2, nullptr, nullptr, -1);
        textImage.image = store->GetImage(static_cast<i16>(store->GetImageCount() + slot));
        textImage.clip.frame = OFixed::FromInt(store->GetImageCount() + slot);
        textImage.clip.SetPosition(OFixed::FromInt(540), OFixed::FromInt(420));
        textImage.RenderCentred("Zorblet level", font.get(), 1);
        sprite.frame = OFixed::FromInt(bubble);
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
        {
            if (!line->IsState(0))
                Fail("the first level's line has not faded in before the change of level");
            ChangeLevel();
        }
        bg->Compose();
        line->Update();
        const int leg = frame % (2 * kPassFrames), t = std::min(leg, 2 * kPassFrames - leg);
        const OBitmap* ball = store->GetImage(static_cast<i16>(sprite.frame.ToInt()));
        const Point a = Middle(0), b = Middle(1);
        sprite.SetPosition(OFixed::FromInt(a.x + (b.x - a.x) * t / kPassFrames - ball->width / 2),
                           OFixed::FromInt(a.y + (b.y - a.y) * t / kPassFrames - ball->height / 2));
        ORect area(0, 0, kWidth - 1, kHeight - 1);
        if (engine.RedrawDirty(&area, frame == 1 ? 1 : 0, 0))
            PaintRect(area);
        if (bg->revealActive == 0)
            CheckLayers(t == 0 ? 0 : t == kPassFrames ? 1 : -1);
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
        for (const auto& layer : kLayers)
            bg->AddLayer(&engine, layer.mask, layer.x, layer.y);
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
        const i16 first = static_cast<i16>(background),
                  last = static_cast<i16>(background + kRangeImages - 1);
        store->FreeRange(first, last);
        if (!store->LoadRange(levelTwo.c_str(), first, last))
            ++failures;
        global.profile->record[GGameSlot::kLevelOffset] = 2;
        SetUpScene(2);
        bg->Build();
    }

    struct Point
    {
        int x, y;
    };
    OBitmap* Image(const char* name)
    {
        return store->GetImage(static_cast<i16>(store->FindByName(name, 0, -1)));
    }
    Point Middle(int layer)
    {
        const OBitmap* mask = Image(kLayers[layer].mask);
        return {kLayers[layer].x + mask->width / 2, kLayers[layer].y + mask->height / 2};
    }
    void Fail(const char* what)
    {
        std::fprintf(stderr, "frame %d: %s\n", frame, what);
        ++failures;
    }
    // Where a layer's mask is opaque the canvas must hold the level picture,
    // whatever lies beneath. With the bubble in the middle of layer `covering`
    // a quarter of its pixels at least must be ones it would have changed
    // there, so that a layer missing or out of place fails.
    void CheckLayers(int covering)
    {
        OBitmap* picture = Image("BG_LEVEL");
        OBitmap* ball = store->GetImage(static_cast<i16>(sprite.frame.ToInt()));
        const OSysBitmap* canvas = GetBackBuffer();
        const int sx = sprite.x.ToInt(), sy = sprite.y.ToInt();
        const u8 key[3] = {u8(ball->colourKey), u8(ball->colourKey >> 8), u8(ball->colourKey >> 16)};
        for (int k = 0; k < 2; ++k)
        {
            OBitmap* mask = Image(kLayers[k].mask);
            int wrong = 0, hidden = 0;
            for (int y = 0; y < mask->height; ++y)
                for (int x = 0; x < mask->width; ++x)
                {
                    const int cx = kLayers[k].x + x, cy = kLayers[k].y + y, bx = cx - sx, by = cy - sy;
                    if (mask->GetAlpha()[y * mask->width + x] != 0)
                        continue;
                    const u8* want = picture->GetBits() + cy * picture->GetPitch() + 3 * cx;
                    wrong += std::memcmp(want, canvas->dibBits + cy * canvas->pitch + 3 * cx, 3) != 0;
                    if (bx < 0 || by < 0 || bx >= ball->width || by >= ball->height)
                        continue;
                    const u8* own = ball->GetBits() + by * ball->GetPitch() + 3 * bx;
                    hidden += std::memcmp(own, key, 3) != 0 && std::memcmp(own, want, 3) != 0;
                }
            const std::string layer = std::string("under ") + kLayers[k].mask + ": ";
            if (wrong != 0)
                Fail((layer + std::to_string(wrong) + " pixels are not the level picture's").c_str());
            if (k == covering && hidden < ball->width * ball->height / 4)
                Fail((layer + "only " + std::to_string(hidden) + " of the bubble's pixels lie beneath")
                         .c_str());
        }
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

    std::string sampleDir;
    std::string out;
    std::string levelTwo;
    std::set<int> shotFrames;
    i32 background = -1;
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
    if (argc < 3)
    {
        std::fprintf(stderr, "usage: %s SAMPLE_DIR OUT_DIR FRAME...\n", argv[0]);
        return 2;
    }
    std::set<int> shots;
    for (int i = 3; i < argc; ++i)
        shots.insert(std::atoi(argv[i]));
    SceneWindow window(argv[1], argv[2], shots);
    if (!window.Create("ZORBLET scene", "ZORBLET", kWidth, kHeight))
    {
        std::fprintf(stderr, "no window\n");
        return 1;
    }
    window.Show();
    window.Run();
    return window.failures == 0 ? 0 : 1;
}
