// The scene's image helpers: loading the background in display format, refusing
// files that can't be drawn, and drawing whole images at a position.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "damaged_bmp.h"
#include "velmora.h"

namespace
{

namespace fs = std::filesystem;

class SceneImages : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        setenv("SDL_VIDEODRIVER", "dummy", 1);
        ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO), 0);
        sDisplay = SDL_SetVideoMode(1024, 768, 32, SDL_SWSURFACE);
        ASSERT_NE(sDisplay, nullptr);
    }

    static void TearDownTestSuite() { SDL_Quit(); }

    void SetUp() override
    {
        std::string pattern = (fs::temp_directory_path() / "velmora-images-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        mDir = pattern;
        fill(0, 0, 0);
    }

    void TearDown() override { fs::remove_all(mDir); }

    std::string path(const std::string& name) const { return (mDir / name).string(); }

    void writeBytes(const std::string& name, const std::string& bytes) const
    {
        std::ofstream out(mDir / name, std::ios::binary);
        out.write(bytes.data(), (std::streamsize)bytes.size());
    }

    // A 24-bit BMP of w x h: the left half `left`, the right half `right`.
    void writeBmp(const std::string& name, int w, int h, Uint32 left, Uint32 right) const
    {
        SDL_Surface* s = SDL_CreateRGBSurface(SDL_SWSURFACE, w, h, 24, 0xFF0000, 0xFF00, 0xFF, 0);
        ASSERT_NE(s, nullptr);
        SDL_Rect half = {0, 0, (Uint16)(w / 2), (Uint16)h};
        SDL_FillRect(s, NULL, right);
        SDL_FillRect(s, &half, left);
        ASSERT_EQ(SDL_SaveBMP(s, path(name).c_str()), 0);
        SDL_FreeSurface(s);
    }

    static void fill(Uint8 r, Uint8 g, Uint8 b)
    {
        SDL_FillRect(sDisplay, NULL, SDL_MapRGB(sDisplay->format, r, g, b));
    }

    // The display's pixel at (x, y) as 0xRRGGBB.
    static Uint32 pixel(int x, int y)
    {
        Uint32 value = ((Uint32*)sDisplay->pixels)[y * sDisplay->pitch / 4 + x];
        Uint8 r, g, b;
        SDL_GetRGB(value, sDisplay->format, &r, &g, &b);
        return (Uint32)r << 16 | (Uint32)g << 8 | b;
    }

    static SDL_Surface* sDisplay;
    fs::path mDir;
};

SDL_Surface* SceneImages::sDisplay = nullptr;

TEST_F(SceneImages, LoadedImageIsInTheDisplayFormatWithItsPixels)
{
    writeBmp("bg.bmp", 40, 30, 0x2050A0, 0xC08020);
    SDL_Surface* image = imageLoad(path("bg.bmp").c_str());
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->w, 40);
    EXPECT_EQ(image->h, 30);
    EXPECT_EQ(image->format->BitsPerPixel, sDisplay->format->BitsPerPixel);
    EXPECT_EQ(image->format->Rmask, sDisplay->format->Rmask);
    EXPECT_EQ(image->format->Gmask, sDisplay->format->Gmask);
    EXPECT_EQ(image->format->Bmask, sDisplay->format->Bmask);

    drawIMG(image, 0, 0, sDisplay);
    EXPECT_EQ(pixel(0, 0), 0x2050A0u);
    EXPECT_EQ(pixel(39, 29), 0xC08020u);
    EXPECT_EQ(pixel(40, 0), 0u);
    SDL_FreeSurface(image);
}

TEST_F(SceneImages, MissingOrForeignFilesLoadAsNothing)
{
    EXPECT_EQ(imageLoad(path("absent.bmp").c_str()), nullptr);
    writeBytes("text.bmp", "not a picture\n");
    EXPECT_EQ(imageLoad(path("text.bmp").c_str()), nullptr);
    fs::create_directory(mDir / "dir.bmp");
    EXPECT_EQ(imageLoad(path("dir.bmp").c_str()), nullptr);
}

// SDL hands these headers back as surfaces without usable pixels; converting or
// drawing one would read outside it, so the background counts as missing.
TEST_F(SceneImages, DamagedHeadersThatSdlAcceptsLoadAsNothing)
{
    for (const std::string& bytes : damaged_bmp::all())
    {
        writeBytes("bg.bmp", bytes);
        EXPECT_EQ(imageLoad(path("bg.bmp").c_str()), nullptr);
    }
}

TEST_F(SceneImages, ImagesAreDrawnWholeAndClippedAtTheDisplayEdges)
{
    writeBmp("block.bmp", 20, 10, 0xFF0000, 0x00FF00);
    SDL_Surface* image = imageLoad(path("block.bmp").c_str());
    ASSERT_NE(image, nullptr);

    drawIMG(image, 100, 200, sDisplay);
    EXPECT_EQ(pixel(100, 200), 0xFF0000u);
    EXPECT_EQ(pixel(119, 209), 0x00FF00u);
    EXPECT_EQ(pixel(120, 200), 0u);
    EXPECT_EQ(pixel(100, 210), 0u);

    // Half off the left edge: only the right, green half shows, from x = 0.
    drawIMG(image, -10, 400, sDisplay);
    EXPECT_EQ(pixel(0, 400), 0x00FF00u);
    EXPECT_EQ(pixel(9, 409), 0x00FF00u);
    EXPECT_EQ(pixel(10, 400), 0u);

    // Positions keep their low 16 bits: 65636 is 100.
    fill(0, 0, 0);
    drawIMG(image, 65636, 300, sDisplay);
    EXPECT_EQ(pixel(100, 300), 0xFF0000u);
    SDL_FreeSurface(image);
}

TEST_F(SceneImages, MissingBackgroundDrawsNothing)
{
    fill(1, 2, 3);
    drawBG(nullptr, sDisplay);
    EXPECT_EQ(pixel(0, 0), 0x010203u);
    EXPECT_EQ(pixel(1023, 767), 0x010203u);
}

}
