// Inputs the fuzzer found that once made the sprite-set loader misbehave, kept as
// regression tests; the sanitizer build of this test is what catches a relapse.
#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "damaged_bmp.h"
#include "sdl_library.h"
#include "sprite.h"
#include "sprite_fixture.h"
#include "sprite_info.h"

using namespace spritetest;

namespace
{

class LoaderFuzzFindings : public SpriteSceneTest
{
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(SpriteSceneTest::SetUp());
        mDir.bmp("a.bmp", 8, 6, kFrameColour);
        mDir.bmp("b.bmp", 4, 4, kFrameColour);
    }

    void writeInfo(const std::string& bytes) { mDir.write("info", bytes); }

    // The set has a table of `frames` entries of which the first `loaded` hold
    // an image, and the size of its first frame.
    static void expectEntries(const CSpriteBase& base, int frames, int loaded, int w, int h)
    {
        ASSERT_EQ(base.mNumFrames, frames);
        for (int i = 0; i < frames; i++)
            EXPECT_EQ(base.mAnim[i].image != nullptr, i < loaded) << "entry " << i;
        EXPECT_EQ(base.mW, w);
        EXPECT_EQ(base.mH, h);
    }

    static constexpr Uint32 kFrameColour = 0x14C83C;
};

std::vector<CSpriteInfoLine::Kind> gKinds;

// A field of /proc/self/status in KiB ("VmRSS" now, "VmHWM" the peak), or -1.
long statusKib(const char* field)
{
    long value = -1;
    FILE* status = fopen("/proc/self/status", "r");
    char line[256];
    size_t n = strlen(field);
    while (status && fgets(line, sizeof line, status))
        if (strncmp(line, field, n) == 0 && line[n] == ':')
            value = atol(line + n + 1);
    if (status)
        fclose(status);
    return value;
}

// Starts the peak (VmHWM) again from what the process holds now.
void resetPeak()
{
    FILE* reset = fopen("/proc/self/clear_refs", "w");
    ASSERT_NE(reset, nullptr);
    fputs("5", reset);
    fclose(reset);
}

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
    EXPECT_EQ(initReporting(&base, mDir.c_str(), recordKind, nullptr), 0);

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

    expectEntries(base, 3, 1, 8, 6);
}

// A BMP header whose height is -2^31 (top-down, with a height that can't be
// negated) made SDL return a 8969 x -2147483648 surface with an empty pixel
// buffer; the sprite's first blit of it crashed.
TEST_F(LoaderFuzzFindings, FrameWithHeightOfMinusTwoToThe31CountsAsNotLoaded)
{
    std::string header = damaged_bmp::minusTwoToThe31High();
    mDir.write("tall.bmp", header);
    writeInfo("FILES: 2\ntall.bmp 10 255 0 255\na.bmp 10\n");

    CSpriteBase base = CSpriteBase();
    EXPECT_EQ(base.init(mDir.c_str()), -1);
    expectEntries(base, 2, 0, 0, 0);

    // A sprite of the set has nothing to draw and leaves the display as it was.
    const Uint32 background = 0x0A141E;
    fillRect(mScreen, 0, 0, mScreen->w, mScreen->h, background);
    CSprite sprite = CSprite();
    sprite.init(&base, mScreen);
    sprite.setSpeed(1.0f);
    for (int i = 0; i < 3; i++)
    {
        sprite.clearBG();
        sprite.updateBG();
        sprite.draw();
        sprite.yAdd(5);
    }
    EXPECT_EQ(pixel(mScreen, 0, 0), background);
    EXPECT_EQ(pixel(mScreen, 20, 20), background);
    sprite.release();
    base.release();
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
        mDir.write("bad.bmp", bytes);
        writeInfo("FILES: 2\na.bmp 10 255 0 255\nbad.bmp 10\n");

        CSpriteBase base = CSpriteBase();
        EXPECT_EQ(base.init(mDir.c_str()), -1);
        ASSERT_NO_FATAL_FAILURE(expectEntries(base, 2, 1, 8, 6));

        CSprite sprite = CSprite();
        sprite.init(&base, mScreen);
        sprite.setSpeed(0.0f);
        for (int i = 0; i < 4; i++)
        {
            sprite.setFrame(i % 2);
            sprite.clearBG();
            sprite.updateBG();
            sprite.draw();
        }
        sprite.release();
        base.release();
    }
}


// A 2 x 2 BMP at 36 bits per pixel, which SDL loads with 5 bytes per pixel: the
// loader's colour-key code read it as if its pixels were at most 4 bytes wide.
TEST_F(LoaderFuzzFindings, KeyedFrameWithFiveBytesPerPixelLoadsWithoutReadingPastItsPixels)
{
    mDir.write("wide.bmp", std::string("BMF\0\0\0\0\x36\0\0\0\0\0\0\x28\0\0\0\x02\0\0\0\x02\0\0\0\x01\0\x24\0"
                                       "\0\0\0\0\x10\0\0\0\x13\x3a\x0b\0\0\x13\x0b\0\0\0\0\0\0\0\0\0"
                                       "\x9f\xc4\xe9\x0e",
                                       58));
    writeInfo("FILES: 2\nwide.bmp 10 255 0 255\na.bmp 10\n");

    // Classic SDL loads it; the compatibility layer refuses the depth.
    bool loads = !isCompatibilityLayer(*SDL_Linked_Version());
    CSpriteBase base = CSpriteBase();
    EXPECT_EQ(base.init(mDir.c_str()), loads ? 0 : -1);
    ASSERT_EQ(base.mNumFrames, 2);
    EXPECT_EQ(base.mAnim[0].image != nullptr, loads);
    EXPECT_EQ(base.mW, loads ? 2 : 0);
    base.release();
}

// Frames whose header claims more pixels than the file holds: a 62-byte file
// claiming 131072 x 131072 at 8 bits made SDL 2's reader (on the layer) allocate
// and clear 16 GiB before it found no pixels, and one claiming 8192 x 8192 costs
// it 64 MiB; a frame cut short after its header SDL 3's reader accepts; one cut
// short inside its header, for which classic SDL read a depth from past its
// end. The engine refuses them all from their headers, on every library, with
// memory flat, and says why in SDL's error.
TEST_F(LoaderFuzzFindings, FrameClaimingMorePixelsThanTheFileHoldsIsRefusedWithFlatMemory)
{
    std::string cut = damaged_bmp::claimsSquare(16).substr(0, 54);
    cut.resize(100, '\x7f');
    cut[28] = 24;  // 16 x 16 at 24 bits: 46 of its 768 bytes of pixels are there
    struct Case
    {
        std::string bytes, reason;
    } cases[] = {
        {damaged_bmp::claimsSquare(8192), "header claims 8192x8192 pixels; the file holds 8 bytes of pixel data"},
        {damaged_bmp::claimsSquare(131072),
         "header claims 131072x131072 pixels; the file holds 8 bytes of pixel data"},
        {cut, "header claims 16x16 pixels; the file holds 46 bytes of pixel data"},
        {damaged_bmp::headerCutShort(), "header cut short: the file ends after 24 bytes, inside its header"},
    };
    for (const Case& c : cases)
    {
        mDir.write("huge.bmp", c.bytes);
        writeInfo("FILES: 2\nhuge.bmp 10 255 0 255\na.bmp 10\n");
        CSpriteBase base = CSpriteBase();
        ASSERT_NO_FATAL_FAILURE(resetPeak());
        long before = statusKib("VmRSS");
        EXPECT_EQ(base.init(mDir.c_str()), -1);
        // At its peak during the load the process held a few MiB more at most,
        // never the pixels claimed.
        EXPECT_LT(statusKib("VmHWM") - before, 8 * 1024) << c.reason;
        EXPECT_EQ(base.mAnim[0].image, nullptr);
        EXPECT_EQ(std::string(SDL_GetError()), c.reason);
        EXPECT_EQ(base.mW, 0);
        base.release();
    }
}

}
