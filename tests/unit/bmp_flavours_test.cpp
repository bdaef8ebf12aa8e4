// Every BMP flavour that artists' tools commonly write, made at test time by
// ImageMagick from one keyed sprite (opaque colours on magenta 255,0,255): the
// engine draws each with its key transparent, and velmora-check describes each
// and warns where the key can't work as the artist meant.
#include <SDL.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "bmp_check.h"
#include "bmp_flavour.h"
#include "process.h"
#include "sdl_library.h"
#include "sprite.h"
#include "sprite_check.h"
#include "sprite_fixture.h"

namespace
{

using spritetest::SetDir;

constexpr Uint32 kMagenta = 0xFF00FF;
constexpr Uint32 kDark = 0x102030;   // the display beneath the sprite
constexpr Uint32 kCover = 0x405060;  // painted over the sprite before its background is restored
constexpr int kW = 10, kH = 8;       // the sprite, with a magenta border and a magenta hole
constexpr int kX = 100, kY = 60;     // where it is drawn

// Unlike classic SDL 1.2.15, the compatibility layer over SDL 2 reads
// RLE-compressed BMPs, and the palette of a palette BMP with a V4 or V5 header,
// which classic SDL takes from the header's own fields.
bool sdl12Compat()
{
    return isCompatibilityLayer(*SDL_Linked_Version());
}

std::string thisSdl()
{
    const SDL_version* v = SDL_Linked_Version();
    return "this SDL (" + std::to_string(v->major) + "." + std::to_string(v->minor) + "." +
           std::to_string(v->patch) + ")";
}

// The sprite's opaque colours: few enough for a 16-colour palette, more than 16
// for ImageMagick to write an 8-bit one, or only black and white for 1 bit.
enum class Drawing { kFew, kMany, kBlackWhite };

std::vector<Uint32> colours(Drawing drawing)
{
    switch (drawing)
    {
    case Drawing::kFew:
        return {0xFF0000, 0x0080FF, 0xFFFFFF, 0x202020};
    case Drawing::kMany:
        return {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00, 0x00FFFF, 0xFFFFFF, 0x000000,
                0x808080, 0x800000, 0x008000, 0x000080, 0x808000, 0x008080, 0x800080,
                0xC04000, 0x40C000, 0x0040C0, 0xC0C0C0, 0x604020, 0x206040};
    case Drawing::kBlackWhite:
        return {0x000000, 0xFFFFFF};
    }
    return {};
}

std::vector<Uint32> draw(Drawing drawing)
{
    std::vector<Uint32> palette = colours(drawing);
    std::vector<Uint32> pixels(kW * kH, kMagenta);
    int n = 0;
    for (int y = 1; y < kH - 1; y++)
        for (int x = 1; x < kW - 1; x++)
            pixels[y * kW + x] = (x == 5 && y == 4) ? kMagenta : palette[n++ % palette.size()];
    return pixels;
}

struct Flavour
{
    const char* name;
    const char* options;  // ImageMagick's options and output coder
    Drawing drawing;
    int headerSize, bitsPerPixel, compression;  // what the file's header must say
    const char* description;                     // velmora-check's, after "BMP, "
    // The largest difference per colour component that storing the colour at the
    // file's depth (rounded by ImageMagick) and expanding it again (by SDL) may make.
    int precision;
};

void PrintTo(const Flavour& f, std::ostream* out)
{
    *out << f.name;
}

// For the 1-bit flavour ImageMagick turns magenta black, and its palette has no
// magenta: the key picks the nearest entry, white, which becomes transparent.
bool monochrome(const Flavour& f)
{
    return f.bitsPerPixel == 1;
}

// What this SDL can't read: an RLE file at all, or the palette after a long header.
bool unreadable(const Flavour& f)
{
    return f.compression == 1 && !sdl12Compat();
}

bool paletteMisread(const Flavour& f)
{
    return f.bitsPerPixel <= 8 && f.headerSize > 40 && !sdl12Compat();
}

// ImageMagick can't write top-down BMPs; that flavour is its BMP3 with the rows
// reversed and the height negated.
bool topDown(const Flavour& f)
{
    return std::string(f.description).find("top-down") != std::string::npos;
}

const Flavour kFlavours[] = {
    {"Bmp2Rgb24", "BMP2:", Drawing::kFew, 12, 24, 0,
     "24 bits per pixel, uncompressed, no palette, bottom-up, 12-byte OS/2 1.x header", 0},
    {"Bmp3Rgb24", "BMP3:", Drawing::kFew, 40, 24, 0,
     "24 bits per pixel, uncompressed, no palette, bottom-up, 40-byte Windows header", 0},
    {"Bmp4Rgb24", "-define bmp:format=bmp4 BMP:", Drawing::kFew, 124, 24, 0,
     "24 bits per pixel, uncompressed, no palette, bottom-up, 124-byte V5 header", 0},
    {"TopDownRgb24", "BMP3:", Drawing::kFew, 40, 24, 0,
     "24 bits per pixel, uncompressed, no palette, top-down, 40-byte Windows header", 0},
    {"Palette8", "-type Palette -compress None BMP3:", Drawing::kMany, 40, 8, 0,
     "8 bits per pixel, uncompressed, 256-colour palette, bottom-up, 40-byte Windows header", 0},
    {"Palette8V5", "-type Palette -compress None BMP:", Drawing::kMany, 124, 8, 0,
     "8 bits per pixel, uncompressed, 256-colour palette, bottom-up, 124-byte V5 header", 0},
    {"Palette4", "-type Palette -colors 16 -compress None BMP3:", Drawing::kFew, 40, 4, 0,
     "4 bits per pixel, uncompressed, 16-colour palette, bottom-up, 40-byte Windows header", 0},
    {"Palette8Rle", "-type Palette -compress RLE BMP3:", Drawing::kMany, 40, 8, 1,
     "8 bits per pixel, RLE8-compressed, 256-colour palette, bottom-up, 40-byte Windows header", 0},
    {"Rgb565", "-define bmp:subtype=RGB565 BMP:", Drawing::kFew, 124, 16, 3,
     "16 bits per pixel, RGB565 bit fields, no palette, bottom-up, 124-byte V5 header", 16},
    {"Rgb555", "-define bmp:subtype=RGB555 BMP:", Drawing::kFew, 124, 16, 3,
     "16 bits per pixel, RGB555 bit fields, no palette, bottom-up, 124-byte V5 header", 16},
    {"Argb4444", "-alpha on -define bmp:subtype=ARGB4444 BMP:", Drawing::kFew, 124, 16, 3,
     "16 bits per pixel, ARGB4444 bit fields (the alpha channel is not used), no palette, bottom-up, "
     "124-byte V5 header",
     32},
    {"Argb32", "-alpha on BMP:", Drawing::kFew, 124, 32, 3,
     "32 bits per pixel, ARGB8888 bit fields (the alpha channel is not used), no palette, bottom-up, "
     "124-byte V5 header",
     0},
    {"Monochrome1", "-monochrome BMP3:", Drawing::kBlackWhite, 40, 1, 0,
     "1 bit per pixel, uncompressed, 2-colour palette, bottom-up, 40-byte Windows header", 0},
};

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A little-endian field of 2 or 4 bytes, read by the engine's reader.
Uint32 le(const std::string& bytes, size_t at, int size)
{
    Uint32 value = 0;
    const Uint8* data = (const Uint8*)bytes.data();
    bool read = size == 2 ? readLe16(data, bytes.size(), at, &value) : readLe32(data, bytes.size(), at, &value);
    EXPECT_TRUE(read) << "the file ends before byte " << at + size;
    return value;
}

// Reverses the rows of an uncompressed 24-bit BMP3 and negates its height.
std::string flipToTopDown(std::string bytes)
{
    Uint32 offset = le(bytes, 10, 4), w = le(bytes, 18, 4), h = le(bytes, 22, 4);
    size_t stride = (w * 3 + 3) / 4 * 4;
    std::string rows = bytes.substr(offset, stride * h);
    for (Uint32 y = 0; y < h; y++)
        bytes.replace(offset + y * stride, stride, rows, (h - 1 - y) * stride, stride);
    Uint32 negated = (Uint32)-(Sint32)h;
    for (int i = 0; i < 4; i++)
        bytes[22 + i] = (char)(negated >> (8 * i));
    return bytes;
}

bool within(Uint32 a, Uint32 b, int precision)
{
    for (int shift = 0; shift < 24; shift += 8)
        if (std::abs((int)(a >> shift & 0xFF) - (int)(b >> shift & 0xFF)) > precision)
            return false;
    return true;
}

std::string hex(Uint32 colour)
{
    char text[8];
    std::snprintf(text, sizeof text, "%06X", colour);
    return text;
}

// Has ImageMagick write the sprite as f0.bmp in the flavour, checks that the
// header says so, and writes the set's info file.
void writeSet(const SetDir& set, const Flavour& f, const std::string& info)
{
    std::vector<Uint32> pixels = draw(f.drawing);
    std::string ppm = "P6\n" + std::to_string(kW) + " " + std::to_string(kH) + "\n255\n";
    for (Uint32 p : pixels)
        ppm += {(char)(p >> 16), (char)(p >> 8), (char)p};
    std::string source = set.path() + "/sprite.ppm";
    std::string bmp = set.path() + "/f0.bmp";
    set.write("sprite.ppm", ppm);
    std::string command = "convert " + velmora::quoted(source) + " " + f.options + velmora::quoted(bmp);
    ASSERT_EQ(velmora::run(velmora::shellCommand(command)).status, 0) << command;
    std::string bytes = readFile(bmp);
    ASSERT_GE(bytes.size(), 34u) << command;
    if (topDown(f))
        set.write("f0.bmp", flipToTopDown(bytes));
    ASSERT_EQ((int)le(bytes, 14, 4), f.headerSize) << command;
    ASSERT_EQ((int)le(bytes, f.headerSize == 12 ? 24 : 28, 2), f.bitsPerPixel) << command;
    if (f.headerSize > 12)
    {
        ASSERT_EQ((int)le(bytes, 30, 4), f.compression) << command;
    }
    set.write("info", info);
}

const char kInfo[] = "FILES: 1\nf0.bmp 100 255 0 255\n";

class BmpFlavours : public ::testing::TestWithParam<Flavour>
{
protected:
    void SetUp() override { ASSERT_NE(spritetest::display(), nullptr); }

    // What the display should show at a sprite pixel drawn in source colour,
    // or kDark where the sprite is transparent.
    static Uint32 expected(const Flavour& f, Uint32 source)
    {
        if (monochrome(f))
            return source == 0xFFFFFF ? kDark : 0x000000;
        return source == kMagenta ? kDark : source;
    }

    std::string check()
    {
        std::ostringstream out;
        mVerdict = velmoracheck::checkSet(mSet.path(), out);
        return out.str();
    }

    SetDir mSet;
    velmoracheck::Verdict mVerdict = velmoracheck::kUnusable;
};

TEST_P(BmpFlavours, DrawsWithTheKeyTransparentAndRestoresItsBackground)
{
    const Flavour& f = GetParam();
    ASSERT_NO_FATAL_FAILURE(writeSet(mSet, f, kInfo));
    CSpriteBase base = CSpriteBase();
    int status = base.init(mSet.c_str());
    if (unreadable(f))
    {
        EXPECT_EQ(status, -1);
        EXPECT_EQ(base.mAnim[0].image, nullptr);
        base.release();
        return;
    }
    ASSERT_EQ(status, 0) << SDL_GetError();
    if (paletteMisread(f))
    {
        // The frame loads in the wrong colours, which the checker warns about (below).
        base.release();
        return;
    }
    SDL_Surface* image = base.mAnim[0].image;
    ASSERT_NE(image, nullptr);
    ASSERT_TRUE(image->flags & SDL_SRCCOLORKEY);
    SDL_Surface* screen = spritetest::display();
    // The converted frame has no alpha channel on any library: it is drawn as
    // an opaque, keyed image.
    EXPECT_EQ(image->format->Amask, 0u);
    if (f.precision == 0 && !monochrome(f))
    {
        // Under SDL 3 the alpha bytes of a 32-bit BMP stay in the bits of the
        // display format that no channel uses, and the frame's key carries them
        // as its pixels do; in the colour channels it is magenta.
        const Uint32 colours = screen->format->Rmask | screen->format->Gmask | screen->format->Bmask;
        EXPECT_EQ(image->format->colorkey & colours, SDL_MapRGB(screen->format, 255, 0, 255))
            << "a frame that holds magenta exactly keeps the key it always had";
    }

    // One background pixel, beneath the sprite's corner, has the frame's key colour:
    // the buffer, a copy of frame 0 without its key, is to restore it with the rest.
    Uint8 r, g, b;
    SDL_GetRGB(image->format->colorkey, image->format, &r, &g, &b);
    Uint32 keyColour = (Uint32)r << 16 | (Uint32)g << 8 | b;
    spritetest::fillRect(screen, 0, 0, screen->w, screen->h, kDark);
    spritetest::fillRect(screen, kX, kY, 1, 1, keyColour);

    CSprite sprite = CSprite();
    ASSERT_EQ(sprite.init(&base, screen), 0);
    sprite.set(kX, kY);
    sprite.updateBG();
    sprite.draw();

    std::vector<Uint32> source = draw(f.drawing);
    int wrong = 0;
    std::string first;
    for (int y = 0; y < kH; y++)
        for (int x = 0; x < kW; x++)
        {
            Uint32 want = expected(f, source[y * kW + x]);
            if (x == 0 && y == 0 && want == kDark)
                want = keyColour;
            Uint32 shown = spritetest::pixel(screen, kX + x, kY + y);
            if (!within(shown, want, f.precision) && wrong++ == 0)
                first = "(" + std::to_string(x) + "," + std::to_string(y) + ") shows " + hex(shown) +
                        ", expected " + hex(want);
        }
    EXPECT_EQ(wrong, 0) << "pixels drawn wrong, first " << first;

    spritetest::fillRect(screen, kX, kY, kW, kH, kCover);
    sprite.clearBG();
    std::vector<Uint32> restored;
    for (int y = 0; y < kH; y++)
        for (int x = 0; x < kW; x++)
            restored.push_back(spritetest::pixel(screen, kX + x, kY + y));
    std::vector<Uint32> want(kW * kH, kDark);
    want[0] = keyColour;
    EXPECT_EQ(restored, want);

    sprite.release();
    base.release();
}

TEST_P(BmpFlavours, CheckerDescribesTheFileAndWarnsWhereTheKeyFails)
{
    const Flavour& f = GetParam();
    ASSERT_NO_FATAL_FAILURE(writeSet(mSet, f, kInfo));
    std::string report = check();

    EXPECT_NE(report.find("  format   line 2    BMP, " + std::string(f.description) + "\n"), std::string::npos)
        << report;
    if (unreadable(f))
    {
        EXPECT_EQ(mVerdict, velmoracheck::kUnusable) << report;
        EXPECT_NE(report.find("f0.bmp is an RLE-compressed BMP: " + thisSdl() +
                              " reads only uncompressed BMPs; save without compression"),
                  std::string::npos)
            << report;
    }
    else if (paletteMisread(f))
    {
        EXPECT_EQ(mVerdict, velmoracheck::kWarnings) << report;
        EXPECT_NE(report.find("warning  line 2    " + thisSdl() + " reads other colours than the file's palette "
                              "holds (entry 0 comes out as 255,0,0, the file has "),
                  std::string::npos)
            << report;
        EXPECT_NE(report.find("so the frame shows wrong colours; save it with a 40-byte Windows header"),
                  std::string::npos)
            << report;
    }
    else if (monochrome(f))
    {
        EXPECT_EQ(mVerdict, velmoracheck::kWarnings) << report;
        EXPECT_NE(report.find("warning  line 2    key 255,0,255 is not in the image's 2-colour palette: "
                              "the nearest entry, 1 (255,255,255), becomes transparent instead"),
                  std::string::npos)
            << report;
    }
    else
    {
        EXPECT_EQ(mVerdict, velmoracheck::kClean) << report;
    }
}

std::string flavourName(const ::testing::TestParamInfo<Flavour>& info)
{
    return info.param.name;
}

INSTANTIATE_TEST_SUITE_P(ImageMagick, BmpFlavours, ::testing::ValuesIn(kFlavours), flavourName);

// In RGB565, whose key the conversion used to lose, a key that the frame has
// leaves something transparent, and a key it lacks leaves nothing.
TEST(BmpFlavourChecker, WarnsWhenNoPixelHasTheKeyColour)
{
    ASSERT_NE(spritetest::display(), nullptr);
    SetDir set;
    const Flavour* rgb565 = std::find_if(std::begin(kFlavours), std::end(kFlavours),
                                         [](const Flavour& f) { return std::string(f.name) == "Rgb565"; });
    ASSERT_NE(rgb565, std::end(kFlavours));
    ASSERT_NO_FATAL_FAILURE(writeSet(set, *rgb565, "FILES: 2\nf0.bmp 10 255 0 255\nf0.bmp 10 1 255 0\n"));

    std::ostringstream out;
    EXPECT_EQ(velmoracheck::checkSet(set.path(), out), velmoracheck::kWarnings);
    std::string report = out.str();
    EXPECT_EQ(report.find("line 2    no pixel"), std::string::npos) << report;
    EXPECT_NE(report.find("warning  line 3    no pixel has the key colour 1,255,0: nothing in this frame is "
                          "transparent"),
              std::string::npos)
        << report;
}

// Every prefix of a real header, and every byte of it changed, parses without
// reading past the bytes given; a header cut short is not described.
TEST(BmpFlavourHeader, PrefixesAndDamagedBytesAreReadSafely)
{
    std::string header("BM\0\0\0\0\0\0\0\0\x36\0\0\0"
                       "\x28\0\0\0\x08\0\0\0\xf8\xff\xff\xff\x01\0\x18\0\0\0\0\0"
                       "\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0",
                       54);
    velmoracheck::BmpFlavour whole = velmoracheck::readBmpFlavour(header);
    ASSERT_TRUE(whole.valid);
    EXPECT_EQ(velmoracheck::describe(whole),
              "24 bits per pixel, uncompressed, no palette, top-down, 40-byte Windows header");
    // The last field read is the palette size, which ends at byte 50.
    for (size_t n = 0; n < header.size(); n++)
        EXPECT_EQ(velmoracheck::readBmpFlavour(header.substr(0, n)).valid, n >= 50) << n << " bytes";
    for (size_t i = 0; i < header.size(); i++)
        for (int value : {0x00, 0x0c, 0x7f, 0xff})
        {
            std::string damaged = header;
            damaged[i] = (char)value;
            velmoracheck::BmpFlavour flavour = velmoracheck::readBmpFlavour(damaged);
            if (flavour.valid)
            {
                EXPECT_FALSE(velmoracheck::describe(flavour).empty());
            }
        }
    EXPECT_EQ(velmoracheck::unreadableFlavour(whole, "this SDL"), "");
}

}
