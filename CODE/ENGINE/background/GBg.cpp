#include "background/GBg.h"

#include "GAME/GPlayerRecords.h"
#include "INTERFACE/GGame.h"
#include "INTERFACE/GGlobal.h"
#include "INTERFACE/GWindow.h"
#include "image/OBitmap.h"
#include "image/OBitmapStore.h"
#include "render/Blit.h"
#include "render/GPtrArray.h"
#include "render/OEngine.h"
#include "services/OLogFile.h"

#include <algorithm>
#include <cstring>
#include <iterator>

namespace
{

constexpr const char* kPictureName = "BG_LEVEL";

OFixed Whole(i32 n)
{
    return OFixed::FromInt(n);
}

// A blitter position; a picture placed further away than 16 bits reach lies
// beyond every mask anyway.
i16 Position16(i32 v)
{
    return static_cast<i16>(std::clamp<i32>(v, -0x8000, 0x7FFF));
}

} // namespace

GBg::GBg(GGlobal* owner) : global(owner)
{
    // A sprite that names no image draws nothing: until a build finds the
    // picture, the background shows nothing rather than store image 0.
    for (OClip& layer : layers)
        layer.frame = Whole(-1);
    revealSprite.frame = Whole(-1);
    std::fill(std::begin(madeIndex), std::end(madeIndex), -1);
}

GBg::~GBg() = default;

OBitmapStore* GBg::Store() const
{
    return global ? global->imageStore : nullptr;
}

OBitmap* GBg::Image(i32 index) const
{
    OBitmapStore* store = Store();
    if (!store || !store->images || index < 0 || index >= store->packImageCount + store->extraSlots)
        return nullptr;
    return store->GetImage(static_cast<i16>(index));
}

u64 GBg::SlotSerial(i32 index) const
{
    OBitmapStore* store = Store();
    if (!store || !store->table)
        return 0;
    const i32 slot = index - store->GetImageCount();
    return slot >= 0 && slot <= 0x7FFF ? store->table->GetSerial(static_cast<i16>(slot)) : 0;
}

void GBg::ReleaseMadeImage(i32 n)
{
    const i32 index = madeIndex[n];
    const u64 serial = madeSerial[n];
    madeIndex[n] = -1;
    madeSerial[n] = 0;
    if (serial == 0 || SlotSerial(index) != serial)
        return;
    OBitmapStore* store = Store();
    store->table->ReleaseImage(static_cast<i16>(index - store->GetImageCount()));
}

void GBg::LogError(const char* text)
{
    if (global && global->log)
        global->log->Error("%s", text);
}

void GBg::AddLayer(OEngine* engine, const char* name, i32 x, i32 y)
{
    OBitmapStore* store = Store();
    const i32 index = store ? store->FindByName(name, 0, -1) : -1;
    AddLayerByIndex(engine, x, y, static_cast<i16>(index));
}

void GBg::AddLayerByIndex(OEngine* engine, i32 x, i32 y, i16 index)
{
    if (!engine || layerCount >= kLayers)
        return;
    if (index == -2)
    {
        if (!revealSpriteAdded && engine->AddClip(&revealSprite))
            revealSpriteAdded = 1;
        return;
    }
    OClip& layer = layers[layerCount];
    // Layer 0 keeps its frame, the picture a build sets; any later layer is
    // cut out with the mask, and a mask that names no image (a layer name
    // the store lacks comes here as -1) gives no layer.
    if (layerCount > 0)
    {
        // No placed sprite shows the image this place had in the last scene.
        ReleaseMadeImage(layerCount);
        const i16 image = CreateLayer(index, x, y);
        if (image == 0)
            return;
        layer.frame = Whole(image);
        madeIndex[layerCount] = image;
        madeSerial[layerCount] = SlotSerial(image);
    }
    layer.SetPosition(Whole(x), Whole(y));
    layer.visible = 1;
    // The sprite may have been shown in an earlier scene with the same frame
    // and place; the redraw must paint it whole all the same.
    layer.drawnVisible = 0;
    if (engine->AddClip(&layer))
        ++layerCount;
}

i16 GBg::CreateLayer(i16 maskIndex, i32 x, i32 y)
{
    if (layerCount < 1)
    {
        LogError(kLayerFirstMessage);
        return 0;
    }
    OBitmap* mask = Image(maskIndex);
    // The layer shows the picture through the mask's own plane: a mask
    // without one has no shape to give.
    if (!mask || !mask->GetAlpha() || i64(x) + mask->width > kCanvasWidth ||
        i64(y) + mask->height > kCanvasHeight)
    {
        LogError(kMaskMessage);
        return 0;
    }
    // The picture is looked up by name here rather than taken from the last
    // build: the game adds a level's layers before it builds the level, so
    // that index is still -1 on the first level and names the previous
    // level's image slot on the others.
    OBitmapStore* store = Store();
    OBitmap* picture = Image(store->FindByName(kPictureName, 0, -1));
    if (!picture || !store->table)
        return 0;
    const i16 slot = store->AddImage(mask->width, mask->height, 0, 2, nullptr, mask->GetAlphaBuffer(), -1);
    if (slot < 0)
        return 0;
    const i32 index = slot + store->GetImageCount();
    OBitmap* image = Image(index);
    if (!image || !image->GetBits() || index > 0x7FFF)
    {
        store->table->ReleaseImage(slot);
        return 0;
    }
    // Pixels the picture does not reach (a mask hanging over the canvas's
    // top or left edge) show black, not whatever the allocator left there.
    std::memset(image->GetBits(), 0,
                static_cast<size_t>(OBitmap::Rgb24BlockSize(image->width, image->height)));
    const ORect clip(0, 0, static_cast<i16>(image->width - 1), static_cast<i16>(image->height - 1));
    BlitCopy(image, picture, Position16(layers[0].x.ToInt() - x), Position16(layers[0].y.ToInt() - y), &clip);
    return static_cast<i16>(index);
}

void GBg::RemoveLayers(OEngine* engine)
{
    // Every placed layer, also one whose frame names no image: it is in the
    // display list all the same.
    for (i32 i = 0; i < layerCount; ++i)
    {
        layers[i].visible = 0;
        if (engine)
            engine->RemoveClip(&layers[i]);
        layers[i].frame = Whole(-1);
    }
    if (revealSpriteAdded)
    {
        if (engine)
            engine->RemoveClip(&revealSprite);
        revealSpriteAdded = 0;
    }
    layerCount = 0;
}

void GBg::RemoveLayer(OEngine* engine, i16 imageIndex)
{
    if (!engine)
        return;
    i32 k = 0;
    while (k < layerCount && layers[k].frame.ToInt() != imageIndex)
        ++k;
    if (k == layerCount)
        return;
    layers[k].visible = 0;
    engine->RemoveClip(&layers[k]);
    if (revealSpriteAdded)
    {
        engine->RemoveClip(&revealSprite);
        revealSpriteAdded = 0;
    }
    if (k == 0 && layerCount > 1)
    {
        // Layer 0 is the picture's sprite wherever it is used (builds and
        // the reveal set its frame, CreateLayer cuts relative to its place),
        // so no cut-out layer may move into it: its slot stays, out of the
        // display list and naming no image, and the count with it, so that
        // RemoveLayers still reaches every cut-out layer behind it.
        layers[0].frame = Whole(-1);
        return;
    }
    // The removed layer's image goes to the place that falls free, whose
    // next layer then replaces it.
    const i32 removedIndex = madeIndex[k];
    const u64 removedSerial = madeSerial[k];
    // The cut-out layers stay together behind layer 0, so that RemoveLayers,
    // which walks layerCount of them, reaches every one: each later layer
    // moves down one place, and its display-list entry with it.
    for (i32 j = k; j + 1 < layerCount; ++j)
    {
        layers[j] = layers[j + 1];
        madeIndex[j] = madeIndex[j + 1];
        madeSerial[j] = madeSerial[j + 1];
        if (engine->clips)
        {
            for (i16 e = 0; e < engine->clips->GetCount(); ++e)
            {
                if (*engine->clips->At(e) == &layers[j + 1])
                    *engine->clips->At(e) = &layers[j];
            }
        }
    }
    layers[layerCount - 1].visible = 0;
    layers[layerCount - 1].frame = Whole(-1);
    madeIndex[layerCount - 1] = removedIndex;
    madeSerial[layerCount - 1] = removedSerial;
    --layerCount;
}

void GBg::Build()
{
    // A build during a reveal ends the running one first, so that the copy
    // holds a finished picture and no plane is left lent.
    if (revealActive && revealPhase != 0)
        Finish();
    OBitmapStore* store = Store();
    baseImage = store ? store->FindByName(kPictureName, 0, -1) : -1;
    OBitmap* picture = Image(baseImage);
    if (copyImage >= 0 && !CopyAlive())
    {
        // The copy's slot was emptied or reused by someone else: start over.
        copyImage = -1;
        copyBitmap = nullptr;
        copySerial = 0;
    }
    // Without a picture the background shows nothing.
    layers[0].frame = Whole(!picture ? -1 : copyImage >= 0 ? copyImage : baseImage);
    layers[0].visible = 1;
    layers[0].drawnVisible = 0;

    if (copyImage < 0)
    {
        if (!picture || !store->table)
            return;
        const i16 slot =
            store->AddImage(picture->width, picture->height, 0, 0, picture->GetPixelBuffer(), nullptr, -1);
        if (slot < 0)
            return;
        copyImage = slot + store->GetImageCount();
        revealSprite.frame = Whole(copyImage);
        revealSprite.SetPosition(Whole(0), Whole(0));
        revealSprite.visible = 0;
        revealSprite.drawnVisible = 0;
        revealActive = 0;
        copyBitmap = Image(copyImage);
        copySerial = store->table->GetSerial(slot);
        return;
    }

    GPlayerProfile* profile = global ? global->profile : nullptr;
    const GGameSlot* slot = profile ? profile->GetCurrentSlot(-1) : nullptr;
    // Without a game there is no level to reveal, and without a picture
    // nothing to reveal.
    if (!slot || !picture)
    {
        currentLevel = -1;
        revealActive = 0;
        return;
    }
    const bool fromMap = global->window->GetGame()->GetGameMode() == GGame::kQuestLevelFromMap;
    currentLevel = static_cast<i16>(fromMap ? slot->GetChosenLevel() : slot->GetLevel());
    if (currentLevel == shownLevel)
        revealActive = 0;
    else
    {
        revealActive = 1;
        revealPhase = 0;
        shownLevel = currentLevel;
    }
}

void GBg::Compose()
{
    if (!revealActive)
        return;
    if (revealPhase == 0)
        LendPlane();
    else if (revealPhase == 1)
        OpenBand();
    else
        Finish();
}

void GBg::LendPlane()
{
    if (!CopyAlive())
    {
        revealActive = 0;
        return;
    }
    const i32 size = OBitmap::AlphaPlaneSize(copyBitmap->width, copyBitmap->height);
    OBuffer* plane = OBuffer::Create(size, nullptr);
    if (!plane || !plane->data)
    {
        delete plane;
        revealActive = 0;
        return;
    }
    std::memset(plane->data, 0, static_cast<size_t>(size));
    revealPlane = plane;
    copyBitmap->SetAlphaBuffer(plane);
    copyBitmap->format = 2;
    revealSprite.visible = 1;
    revealSprite.drawnVisible = 0;
    bandWidth = kCanvasWidth;
    bandHeight = 0;
    bandX = kCanvasWidth / 2;
    bandY = kCanvasHeight / 2;
    bandValue = 255;
    layers[0].frame = Whole(Image(baseImage) ? baseImage : -1);
    revealPhase = 1;
}

void GBg::OpenBand()
{
    if (!CopyAlive())
    {
        // The copy went with its plane; nothing is left to open.
        revealActive = 0;
        revealPhase = 0;
        revealPlane = nullptr;
        revealSprite.visible = 0;
        return;
    }
    if (bandHeight + 60 <= kCanvasHeight)
        bandHeight = static_cast<i16>(bandHeight + 60);
    else
    {
        bandHeight = 0;
        if (bandValue + 100 <= 255)
            bandValue = static_cast<i16>(bandValue + 100);
        else
            revealPhase = 2;
    }
    bandX = static_cast<i16>(kCanvasWidth / 2 - bandWidth / 2);
    bandY = static_cast<i16>(kCanvasHeight / 2 - bandHeight / 2);
    FillAlphaRect(copyBitmap, bandWidth, bandHeight, bandX, bandY, static_cast<u8>(bandValue));
    revealSprite.drawnVisible = 0;
}

void GBg::Finish()
{
    const bool copyAlive = CopyAlive();
    OBitmap* picture = Image(baseImage);
    // The copy may still share the picture's own block (a reveal of the
    // level it was made from): then it already holds these pixels.
    if (copyAlive && picture && picture->GetBits() != copyBitmap->GetBits())
    {
        const ORect clip(0, 0, static_cast<i16>(picture->width - 1), static_cast<i16>(picture->height - 1));
        BlitCopy(copyBitmap, picture, 0, 0, &clip);
    }
    revealActive = 0;
    revealPhase = 0;
    if (copyAlive)
    {
        copyBitmap->SetAlphaBuffer(nullptr);
        copyBitmap->format = 0;
    }
    revealPlane = nullptr;
    revealSprite.visible = 0;
    layers[0].drawnVisible = 0;
    layers[0].drawMode = 0;
}

void GBg::FillAlphaRect(OBitmap* image, i16 width, i16 height, i16 x, i16 y, u8 value)
{
    if (!image || !image->GetAlpha())
        return;
    // In 32 bits, so that a band reaching past the last 16-bit coordinate
    // is cut rather than wrapped.
    const i32 left = std::max<i32>(x, 0);
    const i32 top = std::max<i32>(y, 0);
    const i32 right = std::min<i32>(i32(x) + width - 1, image->width - 1);
    const i32 bottom = std::min<i32>(i32(y) + height - 1, image->height - 1);
    if (left > right || top > bottom)
        return;
    u8* plane = image->GetAlpha();
    for (i32 row = top; row <= bottom; ++row)
        std::memset(plane + static_cast<ptrdiff_t>(row) * image->width + left, value,
                    static_cast<size_t>(right) - static_cast<size_t>(left) + 1);
}
