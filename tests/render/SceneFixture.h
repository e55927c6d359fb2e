#pragma once
// Scenes for the display-list tests: a plain 24-bit canvas, a store of
// generated images and an engine bound to shared lists, without a window.
#include "image/OBitmap.h"
#include "image/OBitmapStore.h"
#include "render/Blit.h"
#include "render/GPtrArray.h"
#include "render/OClip.h"
#include "render/OEngine.h"
#include "render/ORectList.h"

#include <cstring>
#include <memory>
#include <random>
#include <vector>

namespace scenetest
{

inline OFixed Px(int n)
{
    return OFixed::FromInt(n);
}

inline OFixed Raw(i32 raw)
{
    return OFixed::FromRaw(raw);
}

// An image with every byte of its blocks drawn from the generator, so that
// any misplaced pixel shows. Alpha planes get a mix of the two shortcut
// values (0 and 255) and blends.
inline OBitmap* RandomImage(std::mt19937& rng, u16 w, u16 h, u8 format)
{
    OBitmap* image = CreateBitmap(w, h, 0, format, nullptr, nullptr);
    std::uniform_int_distribution<int> byte(0, 255);
    u8* bits = image->GetBits();
    const i32 pixelBytes = format >= 16 ? OBitmap::PaletteBlockSize(w, h) : OBitmap::Rgb24BlockSize(w, h);
    for (i32 i = 0; bits != nullptr && i < pixelBytes; ++i)
    {
        if (format >= 16 && i < 2)
            continue; // palette header length
        bits[i] = static_cast<u8>(byte(rng));
    }
    if (u8* a = image->GetAlpha())
    {
        for (i32 i = 0; i < OBitmap::AlphaPlaneSize(w, h); ++i)
        {
            const int pick = byte(rng);
            a[i] = pick < 80 ? 0 : pick < 120 ? 255 : static_cast<u8>(byte(rng));
        }
    }
    return image;
}

struct Scene
{
    OBitmap* canvas = nullptr;
    OBitmapStore store;
    GPtrArray* clips = nullptr;
    ORectList* dirty = nullptr;
    OEngine engine;
    std::vector<std::unique_ptr<OClip>> owned;

    Scene(u16 w, u16 h, u16 capacity = 5000)
    {
        canvas = CreateBitmap(w, h, 0, 0, nullptr, nullptr);
        std::memset(canvas->GetBits(), 0x5A, static_cast<size_t>(OBitmap::Rgb24BlockSize(w, h)));
        clips = GPtrArray::Create(capacity);
        dirty = ORectList::Create(capacity);
        engine.Init(nullptr, &store, clips, dirty);
        engine.SetCanvas(canvas);
    }
    ~Scene()
    {
        for (auto& c : owned)
            engine.RemoveClip(c.get());
        delete clips;
        delete dirty;
        DestroyBitmap(canvas);
    }
    Scene(const Scene&) = delete;
    Scene& operator=(const Scene&) = delete;

    // Fills the store with the given images; index i is image i. The store
    // frees them.
    void SetImages(const std::vector<OBitmap*>& images)
    {
        store.packImageCount = static_cast<i16>(images.size());
        store.images = new OBitmap*[images.size()];
        for (size_t i = 0; i < images.size(); ++i)
            store.images[i] = images[i];
    }

    OClip* Add(int frame, int x, int y, i8 drawMode = 6)
    {
        owned.push_back(std::make_unique<OClip>());
        OClip* c = owned.back().get();
        c->frame = Px(frame);
        c->SetPosition(Px(x), Px(y));
        c->drawMode = drawMode;
        c->visible = 1;
        engine.AddClip(c);
        return c;
    }

    std::vector<u8> Pixels() const
    {
        const u8* bits = canvas->GetBits();
        return std::vector<u8>(bits, bits + 3 * canvas->width * canvas->height);
    }
    u32 At(int x, int y) const
    {
        const u8* p = canvas->GetBits() + 3 * (y * canvas->width + x);
        return static_cast<u32>(p[2]) << 16 | static_cast<u32>(p[1]) << 8 | p[0];
    }
};

// A sprite that paints itself and records what it was given.
class PaintingClip : public OClip
{
public:
    std::vector<ORect> calls;
    u32 colour = 0x102030;
    void Paint(OBitmap* target, const ORect* clipRect) override
    {
        calls.push_back(*clipRect);
        ORect r = bounds;
        if (ORect::Intersect(r, r, *clipRect))
            FillRectColor(target, colour, &r);
    }
};

} // namespace scenetest
