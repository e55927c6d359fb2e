#pragma once
// A glyph font in an image store: the alternate set at indices 0 to 104,
// the regular set at 110 to 214, glyph g of either (3 + g % 7) pixels wide
// and (9 + g % 4) high, so that neighbours differ in both directions.
#include "support/BitmapStoreBuilder.h"
#include "text/GCharMap.h"
#include "text/GString.h"

#include <memory>

namespace texttest
{

constexpr u16 kRegular = 110;
constexpr int kGlyphs = 105;
constexpr auto GlyphWidth = [](int g) { return static_cast<u16>(3 + g % 7); };

struct GlyphFont
{
    std::unique_ptr<OBitmapStore> store{testsupport::MakeStore(0, 2 * kRegular)};
    GCharMap map;

    GlyphFont()
    {
        std::mt19937 rng(11);
        for (int i = 0; i < kRegular + kGlyphs; ++i)
        {
            const int g = i >= kRegular ? i - kRegular : i;
            testsupport::AddRandomImage(store.get(), rng, GlyphWidth(g), static_cast<u16>(9 + g % 4), 2);
        }
        map.baseFrame = kRegular;
        map.altBaseFrame = 0;
        map.imageStore = store.get();
        map.random.SetSeed(1234);
    }
};

using LinePtr = std::unique_ptr<GString>;

} // namespace texttest
