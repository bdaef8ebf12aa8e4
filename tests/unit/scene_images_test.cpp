// The scene's image helpers: loading the background in display format, refusing
// files that can't be drawn, and drawing whole images at a position.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "damaged_bmp.h"
#include "sprite_fixture.h"
#include "velmora.h"

using namespace spritetest;

namespace
{

class SceneImages : public SpriteSceneTest
{
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(SpriteSceneTest::SetUp());
        fill(kBlack);
    }

    std::string path(const std::string& name) const { return mDir.path() + "/" + name; }

    // Fills the whole display with a 0xRRGGBB colour.
    void fill(Uint32 colour) { fillRect(mScreen, 0, 0, mScreen->w, mScreen->h, colour); }

    // The display's pixel at (x, y) as 0xRRGGBB.
    Uint32 pixel(int x, int y) const { return spritetest::pixel(mScreen, x, y); }
};

TEST_F(SceneImages, LoadedImageIsInTheDisplayFormatWithItsPixels)
{
    mDir.bmp("bg.bmp", 40, 30, 0x2050A0, 0xC08020);
    SDL_Surface* image = imageLoad(path("bg.bmp").c_str());
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->w, 40);
    EXPECT_EQ(image->h, 30);
    EXPECT_EQ(image->format->BitsPerPixel, mScreen->format->BitsPerPixel);
    EXPECT_EQ(image->format->Rmask, mScreen->format->Rmask);
    EXPECT_EQ(image->format->Gmask, mScreen->format->Gmask);
    EXPECT_EQ(image->format->Bmask, mScreen->format->Bmask);

    drawIMG(image, 0, 0, mScreen);
    EXPECT_EQ(pixel(0, 0), 0x2050A0u);
    EXPECT_EQ(pixel(39, 29), 0xC08020u);
    EXPECT_EQ(pixel(40, 0), 0u);
    SDL_FreeSurface(image);
}

TEST_F(SceneImages, MissingOrForeignFilesLoadAsNothing)
{
    EXPECT_EQ(imageLoad(path("absent.bmp").c_str()), nullptr);
    mDir.write("text.bmp", "not a picture\n");
    EXPECT_EQ(imageLoad(path("text.bmp").c_str()), nullptr);
    std::filesystem::create_directory(path("dir.bmp"));
    EXPECT_EQ(imageLoad(path("dir.bmp").c_str()), nullptr);
}

// SDL hands these headers back as surfaces without usable pixels; converting or
// drawing one would read outside it, so the background counts as missing.
TEST_F(SceneImages, DamagedHeadersThatSdlAcceptsLoadAsNothing)
{
    for (const std::string& bytes : damaged_bmp::all())
    {
        mDir.write("bg.bmp", bytes);
        EXPECT_EQ(imageLoad(path("bg.bmp").c_str()), nullptr);
    }
}

TEST_F(SceneImages, ImagesAreDrawnWholeAndClippedAtTheDisplayEdges)
{
    mDir.bmp("block.bmp", 20, 10, 0xFF0000, 0x00FF00);
    SDL_Surface* image = imageLoad(path("block.bmp").c_str());
    ASSERT_NE(image, nullptr);

    drawIMG(image, 100, 200, mScreen);
    EXPECT_EQ(pixel(100, 200), 0xFF0000u);
    EXPECT_EQ(pixel(119, 209), 0x00FF00u);
    EXPECT_EQ(pixel(120, 200), 0u);
    EXPECT_EQ(pixel(100, 210), 0u);

    // Half off the left edge: only the right, green half shows, from x = 0.
    drawIMG(image, -10, 400, mScreen);
    EXPECT_EQ(pixel(0, 400), 0x00FF00u);
    EXPECT_EQ(pixel(9, 409), 0x00FF00u);
    EXPECT_EQ(pixel(10, 400), 0u);

    // Positions keep their low 16 bits: 65636 is 100.
    fill(kBlack);
    drawIMG(image, 65636, 300, mScreen);
    EXPECT_EQ(pixel(100, 300), 0xFF0000u);
    SDL_FreeSurface(image);
}

TEST_F(SceneImages, MissingBackgroundDrawsNothing)
{
    fill(0x010203);
    drawBG(nullptr, mScreen);
    EXPECT_EQ(pixel(0, 0), 0x010203u);
    EXPECT_EQ(pixel(1023, 767), 0x010203u);
}

}
