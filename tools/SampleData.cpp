#include "SampleData.h"

#include "PictureWriter.h"

#include "services/ODebugGlyphs.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace tools
{

namespace
{

// Cells of the debug font's glyphs, drawn twice as large; the alpha plane
// carries the shape.
constexpr int kCellWidth = 7;
constexpr int kCellHeight = 10;
constexpr int kScale = 2;

struct Picture
{
    u16 width;
    u16 height;
    std::vector<u8> bgr;
    std::vector<u8> alpha; // 0 opaque, 255 transparent

    Picture(u16 w, u16 h) : width(w), height(h), bgr(size_t(w) * h * 3), alpha(size_t(w) * h, 255) {}
    void Set(int x, int y, u32 rgb)
    {
        u8* p = &bgr[(size_t(y) * width + x) * 3];
        p[0] = static_cast<u8>(rgb);
        p[1] = static_cast<u8>(rgb >> 8);
        p[2] = static_cast<u8>(rgb >> 16);
    }
};

u32 Rgb(int r, int g, int b)
{
    auto c = [](int v) { return static_cast<u32>(v < 0 ? 0 : v > 255 ? 255 : v); };
    return (c(r) << 16) | (c(g) << 8) | c(b);
}

bool GlyphBit(int character, int x, int y)
{
    if (character < 32 || character > 126 || x < 0 || y < 0 || x >= kCellWidth || y >= kCellHeight)
        return false;
    return (kDebugGlyphs[(character - 32) * kCellHeight + y] >> (6 - x)) & 1;
}

// A glyph picture: the character's cell scaled up, a vertical gradient for
// colour; characters 192 to 223 show their base letter under a bar.
Picture DrawGlyph(int character)
{
    const int base = character >= 192 ? 'A' + (character - 192) % 26 : character;
    Picture p(kCellWidth * kScale, kCellHeight * kScale);
    for (int y = 0; y < p.height; ++y)
    {
        for (int x = 0; x < p.width; ++x)
        {
            const int cx = x / kScale;
            const int cy = y / kScale;
            bool on = GlyphBit(base, cx, cy);
            if (character >= 192 && cy == 0 && cx >= 1 && cx <= 5)
                on = true;
            p.Set(x, y, Rgb(255, 255 - y * 6, 80 + y * 6));
            p.alpha[size_t(y) * p.width + x] = on ? 0 : 255;
        }
    }
    return p;
}

PackImage Record(u16 type, const std::string& name, u16 w, u16 h, u32 value)
{
    PackImage image;
    image.type = type;
    image.name = name;
    image.width = w;
    image.height = h;
    image.value = value;
    return image;
}

// The glyph pictures as one proportional bitmap font: each glyph's inked
// columns become its mask, a gap of one cell column follows it, and the blank
// is a mask without ink as wide as the space advance.
PackImage DrawBitmapFont()
{
    constexpr int line = kCellHeight * kScale;
    std::vector<int> values = {line - 2 * kScale, 2 * kScale}; // above and below the baseline
    std::vector<std::vector<u8>> rows(line);
    auto place = [&](const Picture* p, int from, int width, int rightBearing)
    {
        values.insert(values.end(), {static_cast<int>(rows[0].size()) + 1, 0, width, rightBearing});
        for (int y = 0; y < line; ++y)
            for (int x = from; x < from + width; ++x)
                rows[size_t(y)].push_back(p ? p->alpha[size_t(y) * p->width + x] : 255);
    };
    for (int code = 32; code <= kBitmapFontLastChar; ++code)
    {
        int glyph = 0;
        while (glyph < kGlyphCount && GlyphCharacter(glyph) != code)
            ++glyph;
        if (code == ' ')
            place(nullptr, 0, kBitmapFontSpace, 0);
        else if (glyph == kGlyphCount)
            values.insert(values.end(), {0, 0, 0, 0});
        else
        {
            const Picture p = DrawGlyph(code);
            int first = p.width, last = -1;
            for (int y = 0; y < p.height; ++y)
                for (int x = 0; x < p.width; ++x)
                    if (p.alpha[size_t(y) * p.width + x] == 0)
                    {
                        first = std::min(first, x);
                        last = std::max(last, x);
                    }
            place(&p, first, last - first + 1, kScale);
        }
    }
    const int width = std::max(static_cast<int>(rows[0].size()), 2 * static_cast<int>(values.size()));
    PackImage font = Record(14, kBitmapFontName, static_cast<u16>(width), line + 1, 0);
    font.pixels.assign(size_t(width) * (line + 1), 255);
    for (size_t i = 0; i < values.size(); ++i)
    {
        font.pixels[2 * i] = static_cast<u8>(values[i]);
        font.pixels[2 * i + 1] = static_cast<u8>(static_cast<u16>(values[i]) >> 8);
    }
    for (int y = 0; y < line; ++y)
        std::copy(rows[size_t(y)].begin(), rows[size_t(y)].end(), font.pixels.begin() + (y + 1) * width);
    return font;
}

// The level picture: a sky gradient, a ground band, discs and stripes.
Picture DrawLevel()
{
    Picture p(800, 600);
    for (int y = 0; y < 600; ++y)
    {
        for (int x = 0; x < 800; ++x)
        {
            int r = 20 + y / 5, g = 40 + y / 4, b = 160 - y / 6;
            if (y > 480)
            {
                r = 60 + (x % 40 < 20 ? 20 : 0);
                g = 120 - (y - 480) / 3;
                b = 40;
            }
            for (int k = 0; k < 5; ++k)
            {
                const int cx = 120 + k * 140, cy = 200 + (k % 2) * 120, rad = 40 + k * 8;
                if ((x - cx) * (x - cx) + (y - cy) * (y - cy) < rad * rad)
                {
                    r = 200 - k * 30;
                    g = 80 + k * 30;
                    b = 120 + k * 20;
                }
            }
            p.Set(x, y, Rgb(r, g, b));
        }
    }
    return p;
}

// Mask shapes for background layers: 0 where the layer shows.
std::vector<u8> DrawMask(int kind, u16 w, u16 h)
{
    std::vector<u8> m(size_t(w) * h);
    for (int y = 0; y < h; ++y)
    {
        for (int x = 0; x < w; ++x)
        {
            const double dx = (x - w / 2.0) / (w / 2.0), dy = (y - h / 2.0) / (h / 2.0);
            double inside = 0;
            if (kind == 0)
                inside = 1.0 - std::sqrt(dx * dx + dy * dy); // disc
            else if (kind == 1)
                inside = 1.0 - std::fabs(dy) * 2; // band
            else
                inside = 1.0 - (std::fabs(dx) + std::fabs(dy)); // diamond
            const double t = inside * 8;
            m[size_t(y) * w + x] = static_cast<u8>(t >= 1 ? 0 : t <= 0 ? 255 : 255 - int(t * 255));
        }
    }
    return m;
}

} // namespace

int GlyphCharacter(int glyph)
{
    if (glyph < 20)
        return 39 + glyph;
    if (glyph < 47)
        return 64 + (glyph - 20);
    if (glyph < 73)
        return 97 + (glyph - 47);
    return 192 + (glyph - 73);
}

PackFiles MakeSamplePack()
{
    PackFiles files(2);
    // File 0: the font. Each glyph is a 24-bit image (type 2) over the plane
    // of the record before it (type 15, which takes no image index), so the
    // glyph images stand at consecutive indices from 0.
    std::vector<PackImage>& font = files[0];
    for (int g = 0; g < kGlyphCount; ++g)
    {
        const Picture p = DrawGlyph(GlyphCharacter(g));
        char name[20];
        std::snprintf(name, sizeof name, "FONT0_G%03d", g);
        PackImage plane = Record(15, "", p.width, p.height, 0);
        plane.pixels = p.alpha;
        PackImage glyph =
            Record(2, g == 9 ? kDigitsGlyphName : name, p.width, p.height, static_cast<u32>(font.size()));
        glyph.pixels = p.bgr;
        font.push_back(plane);
        font.push_back(glyph);
    }

    // File 1: the level picture, masks, one record of each other kind and
    // the glyphs once more as a bitmap font.
    std::vector<PackImage>& misc = files[1];
    const u32 first = static_cast<u32>(font.size());
    const Picture level = DrawLevel();
    PackImage bg = Record(22, "BG_LEVEL", 800, 600, 0);
    bg.pixels = level.bgr;
    bg.jpegQuality = 85;
    misc.push_back(bg);

    const u16 maskSizes[3][2] = {{160, 120}, {800, 90}, {121, 121}};
    for (int k = 0; k < 3; ++k)
    {
        PackImage mask = Record(14, "BG_MASK" + std::to_string(k), maskSizes[k][0], maskSizes[k][1], 0);
        mask.pixels = DrawMask(k, mask.width, mask.height);
        misc.push_back(mask);
    }
    const u32 discMask = first + 1;

    // Bubbles with a colour key (type 1) and one over the disc mask (type 2,
    // the plane shared with the mask image).
    const u32 colours[4] = {0xE03030, 0x30C040, 0x3060E0, 0xE0C020};
    const char* bubbleNames[4] = {"BUBBLE_RED", "BUBBLE_GREEN", "BUBBLE_BLUE", "BUBBLE_YELLOW"};
    for (int k = 0; k < 4; ++k)
    {
        Picture p(33, 33);
        for (int y = 0; y < 33; ++y)
            for (int x = 0; x < 33; ++x)
            {
                const int d = (x - 16) * (x - 16) + (y - 16) * (y - 16);
                const int shade = 60 - d / 5;
                const u32 c = colours[k];
                p.Set(x, y,
                      d <= 16 * 16
                          ? Rgb(int(c >> 16) + shade, int((c >> 8) & 0xFF) + shade, int(c & 0xFF) + shade)
                          : 0xFF00FF);
            }
        PackImage bubble = Record(1, bubbleNames[k], 33, 33, 0xFF00FF);
        bubble.pixels = p.bgr;
        misc.push_back(bubble);
    }
    {
        Picture p(160, 120);
        for (int y = 0; y < 120; ++y)
            for (int x = 0; x < 160; ++x)
                p.Set(x, y, Rgb(255 - y, 128 + x / 2, 64));
        PackImage glow = Record(2, "GLOW_DISC", 160, 120, discMask);
        glow.pixels = p.bgr;
        misc.push_back(glow);
    }

    // A palette gradient (type 16) and a keyed palette picture (type 18).
    {
        PackImage pal = Record(16, "PAL_GRADIENT", 64, 48, 0);
        for (int i = 0; i < 256; ++i)
        {
            pal.palette.push_back(static_cast<u8>(255 - i));
            pal.palette.push_back(static_cast<u8>(i / 2));
            pal.palette.push_back(static_cast<u8>(i));
        }
        for (int y = 0; y < 48; ++y)
            for (int x = 0; x < 64; ++x)
                pal.pixels.push_back(static_cast<u8>(x * 4 + y / 12));
        misc.push_back(pal);

        PackImage keyed = Record(18, "PAL_STRIPES", 31, 17, 0x00FF00);
        keyed.palette = {0x00, 0xFF, 0x00, 0x20, 0x20, 0xC0, 0xC0, 0xC0, 0xC0};
        for (int y = 0; y < 17; ++y)
            for (int x = 0; x < 31; ++x)
                keyed.pixels.push_back(static_cast<u8>((x + y) % 6 < 2 ? 0 : 1 + (y & 1)));
        misc.push_back(keyed);
    }

    // A JPEG picture with its own plane (type 23 over a type 15 record) and a
    // grey JPEG picture (type 22).
    {
        Picture p(96, 64);
        std::vector<u8> grey(size_t(96) * 64);
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 96; ++x)
            {
                p.Set(x, y, Rgb(x * 2, y * 3, 255 - x - y));
                grey[size_t(y) * 96 + x] = static_cast<u8>((x ^ y) * 3);
            }
        PackImage plane = Record(15, "", 96, 64, 0);
        plane.pixels = DrawMask(2, 96, 64);
        misc.push_back(plane);
        PackImage photo = Record(23, "PHOTO_ALPHA", 96, 64, first + static_cast<u32>(misc.size()) - 1);
        photo.pixels = p.bgr;
        misc.push_back(photo);
        PackImage mono = Record(22, "PHOTO_GREY", 96, 64, 0);
        mono.pixels = grey;
        mono.jpegGrey = true;
        misc.push_back(mono);
    }
    misc.push_back(DrawBitmapFont());
    return files;
}

std::vector<SampleDataFile> MakeSampleDataFiles()
{
    // A sunset of rings for the JPM picture, fading out toward its edge.
    Picture sun(200, 150);
    for (int y = 0; y < 150; ++y)
        for (int x = 0; x < 200; ++x)
        {
            const int d = static_cast<int>(std::sqrt(double((x - 100) * (x - 100) + (y - 75) * (y - 75))));
            sun.Set(x, y, Rgb(255 - d, 160 - d / 2 + (d / 8 % 2) * 30, 40 + d));
            sun.alpha[size_t(y) * 200 + x] = static_cast<u8>(d < 60 ? 0 : d > 90 ? 255 : (d - 60) * 8);
        }
    JpegOptions options;
    options.quality = 88;
    // A checker with a transparent hole for the 32-bit TGA picture (TGA
    // keeps opacity, 255 opaque).
    std::vector<u8> checker;
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x)
        {
            const bool dark = ((x / 8) + (y / 8)) % 2 != 0;
            const int r2 = (x - 32) * (x - 32) + (y - 32) * (y - 32);
            checker.insert(checker.end(),
                           {static_cast<u8>(dark ? 90 : 230), static_cast<u8>(dark ? 60 : 200),
                            static_cast<u8>(dark ? 30 : 120), static_cast<u8>(r2 < 100 ? 0 : 255)});
        }
    // Stripes and a gradient for the plain JPEG picture.
    Picture hills(320, 240);
    for (int y = 0; y < 240; ++y)
        for (int x = 0; x < 320; ++x)
            hills.Set(x, y,
                      y > 150 + static_cast<int>(30 * std::sin(x / 25.0))
                          ? Rgb(40, 140 - y / 4, 50)
                          : Rgb(120 + y / 3, 170 + y / 4, 255));
    // A soft grey spot for the 8-bit TGA picture.
    std::vector<u8> spot(48 * 48);
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 48; ++x)
            spot[size_t(y) * 48 + x] =
                static_cast<u8>(std::min(255, ((x - 24) * (x - 24) + (y - 24) * (y - 24)) / 2));

    return {
        {0, WriteJpm(sun.bgr.data(), sun.alpha.data(), 200, 150, kSampleJpmKey, options)},
        {1, WriteTga(TgaKind::Rgba32, true, 64, 64, checker.data())},
        {2, ScrambleDataJpeg(EncodeJpeg(hills.bgr.data(), 320, 240, 3, options), 0x6B)},
        {3, WriteTga(TgaKind::Grey8, false, 48, 48, spot.data())},
    };
}

} // namespace tools
