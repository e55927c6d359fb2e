#pragma once
#include "core/Types.h"
#include "render/OClip.h"

class GGlobal;
class OBitmap;
class OBitmapStore;
class OBuffer;
class OEngine;

// The background of a game level: the store's "BG_LEVEL" picture shown as the
// bottom sprite of the game screen, pieces of it cut out by mask images and
// shown higher in the display list (layers), and the reveal that opens a new
// level from the middle with a transparent band drawn over the previous
// level's picture.
//
// The working copy is a format-0 image in a slot of the store's table that
// shares the pixel block of the picture it was made from. When the level's
// graphics are replaced, "BG_LEVEL" names a new image while the copy keeps
// the previous picture alive through its reference, so between two levels the
// copy holds the previous level's picture. The table owns the copy.
class GBg
{
public:
    static constexpr i32 kLayers = 11;
    static constexpr i32 kCanvasWidth = 800;
    static constexpr i32 kCanvasHeight = 600;

    // Layer 0 shows the picture, layers 1 to 10 the cut-out layer images;
    // layers 0 to layerCount - 1 are the ones placed, in display-list order
    // (layer 0's slot stays while cut-out layers follow it, even once its
    // sprite was taken out).
    OClip layers[kLayers];
    // Shows the working copy during the reveal, above the scene.
    OClip revealSprite;
    i32 layerCount = 0;
    GGlobal* global = nullptr;
    i32 baseImage = -1; // "BG_LEVEL"; -1 until the first build
    i32 copyImage = -1; // the working copy; -1 until the first build
    i32 revealActive = 0;
    i16 revealPhase = 0; // 0 lend the plane, 1 open the band, 2 finish
    i32 revealSpriteAdded = 0;
    OBitmap* copyBitmap = nullptr;
    OBuffer* revealPlane = nullptr; // lent to the copy during the reveal
    i16 bandX = 0;
    i16 bandY = 0;
    i16 bandValue = 0;
    i16 bandWidth = 0;
    i16 bandHeight = 0;
    i16 shownLevel = -1;   // level number recorded when a reveal was started
    i16 currentLevel = -1; // level number read by the last build

    explicit GBg(GGlobal* owner);
    // The sprites must be out of every display list by then.
    ~GBg();
    GBg(const GBg&) = delete;
    GBg& operator=(const GBg&) = delete;

    // AddLayerByIndex with the store image of that name.
    void AddLayer(OEngine* engine, const char* name, i32 x, i32 y);
    // The first call of a scene places layer 0 (the picture) whatever the
    // index; later ones cut a layer out with the mask image `index`; -2 adds
    // the reveal sprite once. Eleven layers at most.
    void AddLayerByIndex(OEngine* engine, i32 x, i32 y, i16 index);
    // A layer image made from the picture and the mask's alpha plane, the
    // mask's top-left corner at (x, y) on the canvas; its image index, or 0
    // when none was made.
    i16 CreateLayer(i16 maskIndex, i32 x, i32 y);
    // Takes every placed layer and the reveal sprite out of the engine.
    void RemoveLayers(OEngine* engine);
    // Takes the first placed layer showing imageIndex out of the engine;
    // later cut-out layers move down one place, never into layer 0.
    void RemoveLayer(OEngine* engine, i16 imageIndex);
    // Prepares the background for the current level; from the second build on
    // a change of level (and the second build itself) starts the reveal.
    void Build();
    // One frame of the reveal; nothing while none runs.
    void Compose();
    // Writes value into the part of the rectangle (x, y, width, height) that
    // lies inside the image, in its alpha plane; nothing without a plane.
    static void FillAlphaRect(OBitmap* image, i16 width, i16 height, i16 x, i16 y, u8 value);

    // The log lines of the two layer refusals.
    static constexpr const char* kLayerFirstMessage = "GBg::CreateLayer() - Set background layer first!";
    static constexpr const char* kMaskMessage =
        "GBg::CreateLayer() - Mask coordinates or dimensions incorrect!";

private:
    // The image CreateLayer made for each layer sprite in its last scene, by
    // image index and by the table's serial for it (so that a slot someone
    // else has since filled is left alone, even when their image came back
    // at the same address), or -1 and 0. Such an image stays after its
    // layer is removed; the next scene's layer in the same place releases it
    // before it cuts its own, so that level changes neither fill the table
    // with images no sprite shows nor keep the previous level's masks alive.
    i32 madeIndex[kLayers];
    u64 madeSerial[kLayers] = {};
    // The table's serial for the working copy, 0 while there is none.
    u64 copySerial = 0;
    // Releases the image layer sprite n was last given, if its slot still
    // holds it.
    void ReleaseMadeImage(i32 n);

    OBitmapStore* Store() const;
    // The store image at index, or null when the index names none.
    OBitmap* Image(i32 index) const;
    // The table's serial for the slot image at index; 0 when the index names
    // no slot image.
    u64 SlotSerial(i32 index) const;
    // Whether copyImage still holds the working copy this background made.
    bool CopyAlive() const { return copyBitmap && copySerial != 0 && SlotSerial(copyImage) == copySerial; }
    // The reveal's three steps.
    void LendPlane();
    void OpenBand();
    void Finish();
    void LogError(const char* text);
};
