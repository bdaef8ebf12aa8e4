// Inputs the fuzzer found that once made the sprite-set loader misbehave, kept as
// regression tests; the sanitizer build of this test is what catches a relapse.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "damaged_bmp.h"
#include "sprite.h"

namespace
{

namespace fs = std::filesystem;

class LoaderFuzzFindings : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        setenv("SDL_VIDEODRIVER", "dummy", 1);
        ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO), 0);
        sScreen = SDL_SetVideoMode(1024, 768, 32, SDL_SWSURFACE);
        ASSERT_NE(sScreen, nullptr);
    }

    static void TearDownTestSuite() { SDL_Quit(); }

    void SetUp() override
    {
        std::string pattern = (fs::temp_directory_path() / "velmora-findings-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        mDir = pattern;
        writeFrame("a.bmp", 8, 6);
        writeFrame("b.bmp", 4, 4);
    }

    void TearDown() override { fs::remove_all(mDir); }

    void writeFrame(const std::string& name, int w, int h)
    {
        SDL_Surface* s = SDL_CreateRGBSurface(SDL_SWSURFACE, w, h, 24, 0, 0, 0, 0);
        ASSERT_NE(s, nullptr);
        SDL_FillRect(s, NULL, SDL_MapRGB(s->format, 20, 200, 60));
        ASSERT_EQ(SDL_SaveBMP(s, (mDir / name).c_str()), 0);
        SDL_FreeSurface(s);
    }

    void writeInfo(const std::string& bytes)
    {
        std::ofstream out(mDir / "info", std::ios::binary);
        out.write(bytes.data(), (std::streamsize)bytes.size());
    }

    static SDL_Surface* sScreen;
    fs::path mDir;
};

SDL_Surface* LoaderFuzzFindings::sScreen = nullptr;

std::vector<CSpriteInfoLine::Kind> gKinds;

void recordKind(const CSpriteInfoLine* line, void*)
{
    gKinds.push_back(line->kind);
}

// A read that begins with a NUL byte has empty text; the loader used to look at
// the byte before its line buffer to see whether the read ended the line.
TEST_F(LoaderFuzzFindings, LineBeginningWithNulIsSkippedAndFramesAroundItLoad)
{
    writeInfo(std::string("FILES: 2\na.bmp 100 255 0 255\n\0junk\nb.bmp 40 1 2 3\n", 46));

    CSpriteBase base = CSpriteBase();
    gKinds.clear();
    EXPECT_EQ(base.init(mDir.c_str(), recordKind, nullptr), 0);

    ASSERT_EQ(base.mNumFrames, 2);
    ASSERT_NE(base.mAnim[0].image, nullptr);
    ASSERT_NE(base.mAnim[1].image, nullptr);
    EXPECT_EQ(base.mAnim[0].pause, 100);
    EXPECT_EQ(base.mAnim[1].pause, 40);
    EXPECT_EQ(base.mAnim[1].image->w, 4);
    EXPECT_EQ(base.mW, 8);
    std::vector<CSpriteInfoLine::Kind> expected = {CSpriteInfoLine::HEADER, CSpriteInfoLine::FRAME,
                                                   CSpriteInfoLine::SKIPPED, CSpriteInfoLine::FRAME};
    EXPECT_EQ(gKinds, expected);
}

// The same read as the last line of a file that ends without a line end.
TEST_F(LoaderFuzzFindings, NulAtEndOfFileEndsReadingWithTheFramesBeforeIt)
{
    writeInfo(std::string("FILES: 3\na.bmp 100 255 0 255\n\0", 30));

    CSpriteBase base = CSpriteBase();
    EXPECT_EQ(base.init(mDir.c_str()), 0);

    ASSERT_EQ(base.mNumFrames, 3);
    EXPECT_NE(base.mAnim[0].image, nullptr);
    EXPECT_EQ(base.mAnim[1].image, nullptr);
    EXPECT_EQ(base.mW, 8);
    EXPECT_EQ(base.mH, 6);
}

// A BMP header whose height is -2^31 (top-down, with a height that can't be
// negated) made SDL return a 8969 x -2147483648 surface with an empty pixel
// buffer; the sprite's first blit of it crashed.
TEST_F(LoaderFuzzFindings, FrameWithHeightOfMinusTwoToThe31CountsAsNotLoaded)
{
    std::string header = damaged_bmp::minusTwoToThe31High();
    {
        std::ofstream out(mDir / "tall.bmp", std::ios::binary);
        out.write(header.data(), (std::streamsize)header.size());
    }
    writeInfo("FILES: 2\ntall.bmp 10 255 0 255\na.bmp 10\n");

    CSpriteBase base = CSpriteBase();
    EXPECT_EQ(base.init(mDir.c_str()), -1);
    ASSERT_EQ(base.mNumFrames, 2);
    EXPECT_EQ(base.mAnim[0].image, nullptr);
    EXPECT_EQ(base.mW, 0);
    EXPECT_EQ(base.mH, 0);

    // A sprite of the set has nothing to draw and leaves the display as it was.
    SDL_FillRect(sScreen, NULL, SDL_MapRGB(sScreen->format, 10, 20, 30));
    CSprite sprite = CSprite();
    sprite.init(&base, sScreen);
    sprite.setSpeed(1.0f);
    for (int i = 0; i < 3; i++)
    {
        sprite.clearBG();
        sprite.updateBG();
        sprite.draw();
        sprite.yAdd(5);
    }
    Uint32 background = SDL_MapRGB(sScreen->format, 10, 20, 30);
    EXPECT_EQ(((Uint32*)sScreen->pixels)[0], background);
    EXPECT_EQ(((Uint32*)sScreen->pixels)[sScreen->pitch / 4 * 20 + 20], background);
    free(base.mAnim);
}

// Two more headers that SDL loads as surfaces it can't draw from: 8969 x 65280
// at "384" bits per pixel, whose row pitch wraps to 0, and a header of an
// unknown size that leaves a 1-bit format with 97 bytes per pixel and no
// palette, whose conversion to the display format crashed inside SDL.
TEST_F(LoaderFuzzFindings, FramesSdlLoadsAsUndrawableSurfacesCountAsNotLoaded)
{
    const std::string damaged[] = {damaged_bmp::wrappedPitch(), damaged_bmp::paletteless()};
    for (const std::string& bytes : damaged)
    {
        {
            std::ofstream out(mDir / "bad.bmp", std::ios::binary);
            out.write(bytes.data(), (std::streamsize)bytes.size());
        }
        writeInfo("FILES: 2\na.bmp 10 255 0 255\nbad.bmp 10\n");

        CSpriteBase base = CSpriteBase();
        EXPECT_EQ(base.init(mDir.c_str()), -1);
        ASSERT_EQ(base.mNumFrames, 2);
        ASSERT_NE(base.mAnim[0].image, nullptr);
        EXPECT_EQ(base.mAnim[1].image, nullptr);
        EXPECT_EQ(base.mW, 8);
        EXPECT_EQ(base.mH, 6);

        CSprite sprite = CSprite();
        sprite.init(&base, sScreen);
        sprite.setSpeed(0.0f);
        for (int i = 0; i < 4; i++)
        {
            sprite.setFrame(i % 2);
            sprite.clearBG();
            sprite.updateBG();
            sprite.draw();
        }
        SDL_FreeSurface(base.mAnim[0].image);
        free(base.mAnim);
    }
}

}
