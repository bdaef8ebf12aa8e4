// The scene's surfaces are all in the display's pixel format, so no blit of a
// pass converts pixels: checked on the frames, the background, and on every blit
// that drawScene makes, seen through SDL's own blit entry point.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "next_symbol.h"
#include "temp_dir.h"
#include "velmora.h"

namespace
{

// What one blit was asked to do, with both surfaces' formats as they were then.
struct Blit
{
    SDL_Surface* src;
    SDL_Surface* dst;
    SDL_PixelFormat srcFormat;
    SDL_PixelFormat dstFormat;
};

bool recording = false;
std::vector<Blit> blits;

}

// SDL_BlitSurface is SDL_UpperBlit. This definition in the test program comes
// first in symbol lookup, so the engine's and the scene's blits pass through it
// on their way to SDL's, which does the work.
extern "C" int SDL_UpperBlit(SDL_Surface* src, SDL_Rect* srcrect, SDL_Surface* dst,
                             SDL_Rect* dstrect)
{
    typedef int (*UpperBlit)(SDL_Surface*, SDL_Rect*, SDL_Surface*, SDL_Rect*);
    static UpperBlit real = velmora::nextDefinition<UpperBlit>("SDL_UpperBlit");
    if (recording && src && dst)
        blits.push_back({src, dst, *src->format, *dst->format});
    return real(src, srcrect, dst, dstrect);
}

namespace
{

namespace fs = std::filesystem;

// A frame of `w` x `h`: a block of `colour` on the key colour magenta.
SDL_Surface* frameImage(int bpp, int w, int h, SDL_Color colour)
{
    SDL_Surface* image;
    if (bpp == 8)
    {
        image = SDL_CreateRGBSurface(SDL_SWSURFACE, w, h, 8, 0, 0, 0, 0);
        SDL_Color palette[2] = {{255, 0, 255, 0}, colour};
        SDL_SetColors(image, palette, 0, 2);
        SDL_FillRect(image, nullptr, 0);
        SDL_Rect block = {(Sint16)(w / 4), (Sint16)(h / 4), (Uint16)(w / 2), (Uint16)(h / 2)};
        SDL_FillRect(image, &block, 1);
    }
    else
    {
        image = SDL_CreateRGBSurface(SDL_SWSURFACE, w, h, 24, 0x0000FF, 0x00FF00, 0xFF0000, 0);
        SDL_FillRect(image, nullptr, SDL_MapRGB(image->format, 255, 0, 255));
        SDL_Rect block = {(Sint16)(w / 4), (Sint16)(h / 4), (Uint16)(w / 2), (Uint16)(h / 2)};
        SDL_FillRect(image, &block, SDL_MapRGB(image->format, colour.r, colour.g, colour.b));
    }
    return image;
}

// Writes a keyed set of `frames` BMP files of the given depth, and its info file.
void writeSet(const fs::path& dir, int bpp, int frames, int w, int h)
{
    fs::create_directories(dir);
    std::ofstream info(dir / "info");
    info << "FILES: " << frames << "\n";
    for (int i = 0; i < frames; ++i)
    {
        SDL_Color colour = {(Uint8)(40 * i + 20), 200, 90, 0};
        SDL_Surface* image = frameImage(bpp, w, h, colour);
        std::string name = "f" + std::to_string(i) + ".bmp";
        ASSERT_EQ(SDL_SaveBMP(image, (dir / name).c_str()), 0);
        SDL_FreeSurface(image);
        info << name << " 20 255 0 255\n";
    }
}

// The depth a BMP file has before any conversion.
int fileDepth(const fs::path& file)
{
    SDL_Surface* raw = SDL_LoadBMP(file.c_str());
    int bpp = raw ? raw->format->BitsPerPixel : 0;
    SDL_FreeSurface(raw);
    return bpp;
}

void expectDisplayFormat(const SDL_PixelFormat& f, const std::string& what)
{
    const SDL_PixelFormat* d = screen->format;
    SCOPED_TRACE(what);
    EXPECT_EQ(f.BitsPerPixel, d->BitsPerPixel);
    EXPECT_EQ(f.BytesPerPixel, d->BytesPerPixel);
    EXPECT_EQ(f.Rmask, d->Rmask);
    EXPECT_EQ(f.Gmask, d->Gmask);
    EXPECT_EQ(f.Bmask, d->Bmask);
    EXPECT_EQ(f.Amask, d->Amask);
}

bool isFrameOf(const CSpriteBase& base, const SDL_Surface* s)
{
    for (int i = 0; i < base.mNumFrames; ++i)
        if (base.mAnim[i].image == s)
            return true;
    return false;
}

// The scene set up once, as the program does, in a directory of art in formats
// other than the display's: 24-bit sun frames and background, 8-bit paletted vikings.
class SceneFormat : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        setenv("SDL_VIDEODRIVER", "dummy", 1);
        ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO), 0) << SDL_GetError();
        SDL_Surface* display = SDL_SetVideoMode(1024, 768, 32, SDL_SWSURFACE);
        ASSERT_NE(display, nullptr) << SDL_GetError();

        data.emplace("velmora-scene-format");
        writeSet(data->path() / "includes/sun", 24, 3, 48, 40);
        writeSet(data->path() / "includes/vikings", 8, 2, 32, 56);
        SDL_Surface* bg = frameImage(24, 320, 240, SDL_Color{10, 60, 120, 0});
        ASSERT_EQ(SDL_SaveBMP(bg, (data->path() / "bg.bmp").c_str()), 0);
        SDL_FreeSurface(bg);

        fs::path startDir = fs::current_path();
        fs::current_path(data->path());
        initScene(display);
        fs::current_path(startDir);
    }

    static void TearDownTestSuite()
    {
        SDL_Quit();
        data.reset();
    }

    // Runs one pass and returns the blits it made.
    static std::vector<Blit> recordPass()
    {
        blits.clear();
        recording = true;
        drawScene();
        recording = false;
        return blits;
    }

    static std::optional<velmora::TempDir> data;
};

std::optional<velmora::TempDir> SceneFormat::data;

TEST_F(SceneFormat, ArtOnDiskIsNotInTheDisplayFormat)
{
    // Otherwise the checks below would hold whether or not anything converts.
    EXPECT_EQ(fileDepth(data->path() / "includes/sun/f0.bmp"), 24);
    EXPECT_EQ(fileDepth(data->path() / "includes/vikings/f0.bmp"), 8);
    EXPECT_EQ(fileDepth(data->path() / "bg.bmp"), 24);
    EXPECT_EQ(screen->format->BitsPerPixel, 32);
}

TEST_F(SceneFormat, EveryFrameOfBothSetsHasTheDisplayFormat)
{
    ASSERT_EQ(sunBase.mNumFrames, 3);
    ASSERT_EQ(vikingBase.mNumFrames, 2);
    for (const CSpriteBase* base : {&sunBase, &vikingBase})
        for (int i = 0; i < base->mNumFrames; ++i)
        {
            SDL_Surface* image = base->mAnim[i].image;
            ASSERT_NE(image, nullptr);
            expectDisplayFormat(*image->format, (base == &sunBase ? "sun frame " : "viking frame ") +
                                                    std::to_string(i));
            EXPECT_TRUE(image->flags & SDL_SRCCOLORKEY);
        }
}

TEST_F(SceneFormat, TheBackgroundHasTheDisplayFormat)
{
    ASSERT_NE(back, nullptr);
    expectDisplayFormat(*back->format, "background");
}

TEST_F(SceneFormat, EveryBlitOfAPassIsBetweenSurfacesOfTheDisplayFormat)
{
    // The first pass ever restores nothing; from the second on a pass makes all nine blits.
    recordPass();
    std::vector<Blit> pass = recordPass();
    ASSERT_EQ(pass.size(), 9u);
    for (size_t i = 0; i < pass.size(); ++i)
    {
        expectDisplayFormat(pass[i].srcFormat, "source of blit " + std::to_string(i));
        expectDisplayFormat(pass[i].dstFormat, "target of blit " + std::to_string(i));
    }
}

TEST_F(SceneFormat, BuffersThatAPassRestoresFromAreTheOnesItSavesInto)
{
    recordPass();
    std::vector<Blit> pass = recordPass();
    ASSERT_EQ(pass.size(), 9u);
    // Restores: a buffer onto the display, in the order sun, first viking, second viking.
    // Saves: the display into the same buffers, same order. Draws: a frame onto the display.
    for (int k = 0; k < 3; ++k)
    {
        const Blit& restore = pass[k];
        const Blit& save = pass[3 + k];
        const Blit& draw = pass[6 + k];
        SCOPED_TRACE("sprite " + std::to_string(k));
        EXPECT_EQ(restore.dst, screen);
        EXPECT_EQ(save.src, screen);
        EXPECT_EQ(save.dst, restore.src);
        EXPECT_NE(restore.src, screen);
        EXPECT_EQ(draw.dst, screen);
        EXPECT_TRUE(isFrameOf(k == 0 ? sunBase : vikingBase, draw.src));
        EXPECT_FALSE(isFrameOf(sunBase, restore.src) || isFrameOf(vikingBase, restore.src));
    }
    EXPECT_NE(pass[1].src, pass[2].src) << "each viking has a buffer of its own";
}

TEST_F(SceneFormat, AMovedSpriteStillBlitsWithoutConversion)
{
    Uint8 keys[SDLK_LAST] = {};
    keys[SDLK_UP] = 1;
    recordPass();
    for (int i = 0; i < 5; ++i)
        handleInput(keys);
    std::vector<Blit> pass = recordPass();
    ASSERT_EQ(pass.size(), 9u);
    for (const Blit& b : pass)
    {
        expectDisplayFormat(b.srcFormat, "source");
        expectDisplayFormat(b.dstFormat, "target");
    }
}

}
