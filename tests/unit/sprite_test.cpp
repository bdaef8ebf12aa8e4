// Sprites: animation by the tick count, saving and restoring the background,
// clipping, 16-bit positions, and sprites on sets that hold no frames.
#include "sprite.h"
#include "sprite_fixture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace spritetest;

namespace
{

class SpriteTest : public SpriteSceneTest
{
protected:
    // Writes and loads a set of 10x10 solid frames with the given colours and
    // pauses (and no colour key).
    void loadSet(const std::vector<Uint32>& colours, const std::vector<int>& pauses)
    {
        std::vector<SolidFrame> frames;
        for (std::size_t i = 0; i < colours.size(); i++)
            frames.push_back({10, 10, colours[i], pauses[i]});
        mDir.solidSet(frames);
        ASSERT_EQ(mSet.init(mDir.c_str()), 0);
    }

    // Red, green, blue for 100, 50 and 20 ms.
    void loadRgb() { loadSet({kRed, kGreen, kBlue}, {100, 50, 20}); }

    // Binds mSprite to mSet and places it at (x, y) with speed 1.
    void bind(int x = 100, int y = 100)
    {
        mSprite.init(&mSet, mScreen);
        mSprite.set(x, y);
        mSprite.setSpeed(1.0f);
    }

    // One pass of the scene for this sprite.
    void pass(CSprite& sprite)
    {
        sprite.clearBG();
        sprite.updateBG();
        sprite.draw();
    }

    // One pass at the given tick; returns the colour now shown at the sprite's middle.
    Uint32 passAt(Uint32 ticks, int x = 100, int y = 100)
    {
        setTicks(ticks);
        pass(mSprite);
        return pixel(mScreen, x + 5, y + 5);
    }

};

// --- Animation ------------------------------------------------------------

TEST_F(SpriteTest, EngineReadsTheTestClock)
{
    // SDL's own clock would not reach 3,000,000 ms during a test run.
    loadRgb();
    bind();
    setTicks(3000000);
    mSprite.rewind();
    EXPECT_EQ(passAt(3000100), kRed);
    EXPECT_EQ(passAt(3000101), kGreen);
}

TEST_F(SpriteTest, OneFrameSetNeverAnimates)
{
    loadSet({kRed}, {0});
    bind();
    for (Uint32 t : {0u, 1u, 2u, 500u, 100000u})
        EXPECT_EQ(passAt(t), kRed) << "at " << t << " ms";
    EXPECT_EQ(mSprite.getFrame(), 0);
}

TEST_F(SpriteTest, FirstDrawChangesFrameOnceTicksPassFirstPause)
{
    loadRgb();
    bind();
    EXPECT_EQ(passAt(0), kRed);
    EXPECT_EQ(passAt(100), kRed);  // equal to the deadline: not yet
    EXPECT_EQ(passAt(101), kGreen);
    // Green's 50 ms count from 101.
    EXPECT_EQ(passAt(151), kGreen);
    EXPECT_EQ(passAt(152), kBlue);
}

TEST_F(SpriteTest, FrameChangeRestartsTimingFromSecondTickRead)
{
    loadRgb();
    bind();
    // The change is decided at 101 and timed from the next read, 120.
    queueTicks({101, 120});
    pass(mSprite);
    EXPECT_EQ(pixel(mScreen, 105, 105), kGreen);
    EXPECT_EQ(passAt(170), kGreen);
    EXPECT_EQ(passAt(171), kBlue);
}

TEST_F(SpriteTest, ZeroPauseChangesAtMostOncePerMillisecond)
{
    loadSet({kRed, kGreen, kBlue}, {0, 0, 0});
    bind();
    EXPECT_EQ(passAt(0), kRed);
    EXPECT_EQ(passAt(1), kGreen);
    EXPECT_EQ(passAt(1), kGreen);
    EXPECT_EQ(passAt(2), kBlue);
}

TEST_F(SpriteTest, SpeedScalesEveryPause)
{
    loadRgb();
    bind();
    mSprite.setSpeed(1.5f);
    EXPECT_EQ(passAt(150), kRed);
    EXPECT_EQ(passAt(151), kGreen);
    EXPECT_EQ(passAt(226), kGreen);  // 151 + 50 * 1.5
    EXPECT_EQ(passAt(227), kBlue);
}

TEST_F(SpriteTest, AnimationWrapsToFirstFrame)
{
    loadRgb();
    bind();
    EXPECT_EQ(passAt(101), kGreen);
    EXPECT_EQ(passAt(152), kBlue);
    EXPECT_EQ(passAt(173), kRed);
    EXPECT_EQ(mSprite.getFrame(), 0);
    EXPECT_EQ(passAt(274), kGreen);
}

TEST_F(SpriteTest, LateDrawChangesOnlyOneFrame)
{
    loadRgb();
    bind();
    EXPECT_EQ(passAt(100000), kGreen);
    EXPECT_EQ(passAt(100000), kGreen);
    EXPECT_EQ(passAt(100051), kBlue);
}

TEST_F(SpriteTest, SpritesOfOneSetAnimateIndependently)
{
    loadRgb();
    bind();
    CSprite other = CSprite();
    other.init(&mSet, mScreen);
    other.set(300, 100);
    other.setSpeed(2.0f);
    setTicks(101);
    pass(mSprite);
    pass(other);
    EXPECT_EQ(pixel(mScreen, 105, 105), kGreen);
    EXPECT_EQ(pixel(mScreen, 305, 105), kRed);
}

// --- Background -----------------------------------------------------------

TEST_F(SpriteTest, ClearBeforeFirstDrawLeavesTargetUntouched)
{
    loadRgb();
    bind(50, 50);
    fillRect(mScreen, 50, 50, 10, 10, kYellow);
    // The buffer starts as a copy of the red frame; nothing may come of it yet.
    mSprite.clearBG();
    mSprite.updateBG();
    mSprite.clearBG();
    EXPECT_EQ(pixel(mScreen, 0, 0), kGrey);
    EXPECT_EQ(pixel(mScreen, 55, 55), kYellow);
}

TEST_F(SpriteTest, SaveBeforeFirstDrawRecordsPosition)
{
    loadRgb();
    bind(50, 50);
    fillRect(mScreen, 50, 50, 10, 10, kYellow);
    mSprite.updateBG();                          // saves yellow at (50, 50)
    fillRect(mScreen, 50, 50, 10, 10, kWhite);
    mSprite.set(300, 300);
    mSprite.draw();
    mSprite.clearBG();                           // puts yellow back at (50, 50)
    EXPECT_EQ(pixel(mScreen, 55, 55), kYellow);
}

TEST_F(SpriteTest, MovedSpriteIsRestoredAtOldPlaceAndDrawnAtNew)
{
    loadSet({kRed}, {0});
    bind(100, 100);
    fillRect(mScreen, 100, 100, 10, 10, kYellow);
    fillRect(mScreen, 100, 130, 10, 10, kTeal);
    EXPECT_EQ(passAt(0), kRed);

    mSprite.yAdd(30);
    pass(mSprite);
    EXPECT_EQ(pixel(mScreen, 105, 105), kYellow);
    EXPECT_EQ(pixel(mScreen, 105, 135), kRed);

    mSprite.set(400, 50);
    pass(mSprite);
    EXPECT_EQ(pixel(mScreen, 105, 135), kTeal);
    EXPECT_EQ(pixel(mScreen, 405, 55), kRed);
}

// One pass of the scene's three phases over two sprites, in the scene's order.
void passBoth(CSprite& a, CSprite& b)
{
    a.clearBG();
    b.clearBG();
    a.updateBG();
    b.updateBG();
    a.draw();
    b.draw();
}

// Sends both sprites far away and puts back what they covered; their buffers,
// saved there, are not drawn back, so only the area they left is to be compared.
void sendAway(CSprite& a, CSprite& b)
{
    a.set(600, 600);
    b.set(600, 600);
    a.clearBG();
    b.clearBG();
    a.updateBG();
    b.updateBG();
}

// The display's pixels in [x0, x1) x [y0, y1) are those of `before`.
void expectAreaAsBefore(SDL_Surface* screen, const std::vector<Uint32>& before, int x0, int y0,
                        int x1, int y1)
{
    std::vector<Uint32> after = snapshot(screen);
    for (int y = y0; y < y1; y++)
        for (int x = x0; x < x1; x++)
            ASSERT_EQ(after[y * screen->w + x], before[y * screen->w + x]) << "at " << x << "," << y;
}

TEST_F(SpriteTest, OverlappingSpritesLeaveNoTrails)
{
    loadSet({kRed}, {0});
    bind(100, 100);
    CSprite other = CSprite();
    other.init(&mSet, mScreen);
    other.set(105, 105);
    fillRect(mScreen, 90, 90, 40, 40, kYellow);
    std::vector<Uint32> before = snapshot(mScreen);

    for (int step = 0; step < 5; step++)
    {
        passBoth(mSprite, other);
        mSprite.xAdd(3);
        other.yAdd(-2);
    }
    sendAway(mSprite, other);
    expectAreaAsBefore(mScreen, before, 80, 80, 140, 140);
}

TEST_F(SpriteTest, BufferPutsBackBackgroundOfFrameZerosKeyColour)
{
    // Frame 0 is keyed on red and holds none; the buffer, a copy of frame 0,
    // carries no key, so red in the saved background is put back like the rest.
    mDir.bmp("blue.bmp", 10, 10, kBlue);
    mDir.write("info", "FILES: 1\nblue.bmp 0 255 0 0\n");
    ASSERT_EQ(mSet.init(mDir.c_str()), 0);
    bind(100, 100);
    fillRect(mScreen, 100, 100, 5, 10, kRed);
    EXPECT_EQ(passAt(0), kBlue);

    mSprite.set(500, 500);
    pass(mSprite);
    EXPECT_EQ(pixel(mScreen, 102, 105), kRed);
    EXPECT_EQ(pixel(mScreen, 107, 105), kGrey);
}

// Bands of the key colour across the paths of two keyed sprites that move over
// them and over each other: once the sprites have gone, the background is as
// it was, pixel for pixel (a restore that skipped the key colour left the
// sprites' pixels in the bands, and the next save spread them).
TEST_F(SpriteTest, KeyColouredBackgroundIsPutBackUnderMovingOverlappingSprites)
{
    const Uint32 kMagenta = 0xFF00FF;
    mDir.bmp("half.bmp", 10, 10, kMagenta, kBlue);  // the left half is transparent
    mDir.write("info", "FILES: 1\nhalf.bmp 0 255 0 255\n");
    ASSERT_EQ(mSet.init(mDir.c_str()), 0);
    bind(100, 100);
    CSprite other = CSprite();
    other.init(&mSet, mScreen);
    other.set(130, 103);
    fillRect(mScreen, 90, 102, 60, 5, kMagenta);
    fillRect(mScreen, 114, 90, 3, 40, kMagenta);
    fillRect(mScreen, 120, 95, 6, 6, kYellow);
    std::vector<Uint32> before = snapshot(mScreen);

    for (int step = 0; step < 10; step++)
    {
        passBoth(mSprite, other);
        mSprite.xAdd(3);
        mSprite.yAdd(step % 2);
        other.xAdd(-3);
    }
    sendAway(mSprite, other);
    expectAreaAsBefore(mScreen, before, 80, 80, 160, 140);
}

// --- Clipping and positions ----------------------------------------------

// A 10 x 10 sprite half over a corner of the display: the part on the display
// is drawn, saved and restored, and nothing beside it is touched.
struct EdgeCase
{
    struct Point
    {
        int x, y;
    };
    const char* name;
    Point at;
    SDL_Rect shown;  // the part on the display
    Point beside;    // a pixel next to that part, off the sprite
};

void PrintTo(const EdgeCase& c, std::ostream* out) { *out << c.name; }

const EdgeCase kEdges[] = {
    {"TopLeft", {-5, -5}, {0, 0, 5, 5}, {5, 5}},
    {"BottomRight", {1019, 763}, {1019, 763, 5, 5}, {1018, 762}},
};

class SpriteOverAnEdge : public SpriteTest, public ::testing::WithParamInterface<EdgeCase>
{
};

TEST_P(SpriteOverAnEdge, IsClippedInEveryBlit)
{
    const EdgeCase& c = GetParam();
    const int right = c.shown.x + c.shown.w - 1, bottom = c.shown.y + c.shown.h - 1;
    loadSet({kRed}, {0});
    bind(c.at.x, c.at.y);
    fillRect(mScreen, c.shown.x, c.shown.y, c.shown.w, c.shown.h, kYellow);
    pass(mSprite);
    EXPECT_EQ(pixel(mScreen, c.shown.x, c.shown.y), kRed);
    EXPECT_EQ(pixel(mScreen, right, bottom), kRed);
    EXPECT_EQ(pixel(mScreen, c.beside.x, c.beside.y), kGrey);

    mSprite.set(300, 300);
    pass(mSprite);
    EXPECT_EQ(pixel(mScreen, c.shown.x, c.shown.y), kYellow);
    EXPECT_EQ(pixel(mScreen, right, bottom), kYellow);
}

INSTANTIATE_TEST_SUITE_P(Corners, SpriteOverAnEdge, ::testing::ValuesIn(kEdges),
                         [](const ::testing::TestParamInfo<EdgeCase>& info) { return info.param.name; });

TEST_F(SpriteTest, SpriteWhollyOutsideChangesNothing)
{
    loadSet({kRed}, {0});
    fillRect(mScreen, 0, 0, 20, 20, kYellow);
    std::vector<Uint32> before = snapshot(mScreen);
    bind(-50, -50);
    pass(mSprite);
    mSprite.set(1024, 768);
    pass(mSprite);
    mSprite.set(5000, -3000);
    pass(mSprite);
    EXPECT_TRUE(snapshot(mScreen) == before);
}

TEST_F(SpriteTest, PositionsKeepTheirLowSixteenBits)
{
    loadSet({kRed}, {0});
    fillRect(mScreen, 100, 50, 10, 10, kYellow);
    bind(65636, 50 - 65536);
    EXPECT_EQ(passAt(0, 100, 50), kRed);

    mSprite.set(300, 300);
    pass(mSprite);
    EXPECT_EQ(pixel(mScreen, 105, 55), kYellow);
}

// --- Operations the program does not call ---------------------------------

TEST_F(SpriteTest, SetFrameSelectsFrameAndIgnoresOutOfRange)
{
    loadRgb();
    bind();
    mSprite.setFrame(2);
    EXPECT_EQ(mSprite.getFrame(), 2);
    EXPECT_EQ(passAt(0), kBlue);
    mSprite.setFrame(3);
    mSprite.setFrame(-1);
    EXPECT_EQ(mSprite.getFrame(), 2);
    EXPECT_EQ(passAt(0), kBlue);
}

TEST_F(SpriteTest, SetSpeedIsWhatGetSpeedReturns)
{
    loadRgb();
    bind();
    mSprite.setSpeed(2.5f);
    EXPECT_EQ(mSprite.getSpeed(), 2.5f);
}

TEST_F(SpriteTest, StopStartAndToggleControlAnimation)
{
    loadRgb();
    bind();
    mSprite.stopAnim();
    EXPECT_EQ(passAt(1000), kRed);
    mSprite.startAnim();
    EXPECT_EQ(passAt(1000), kGreen);
    mSprite.toggleAnim();
    EXPECT_EQ(passAt(5000), kGreen);
    mSprite.toggleAnim();
    EXPECT_EQ(passAt(5000), kBlue);
}

TEST_F(SpriteTest, StartAnimMakesOneFrameSetRedrawItsOnlyFrame)
{
    loadSet({kRed}, {0});
    bind();
    mSprite.startAnim();
    EXPECT_EQ(passAt(10), kRed);
    EXPECT_EQ(mSprite.getFrame(), 0);
}

TEST_F(SpriteTest, RewindReturnsToFirstFrameAndRestartsItsPause)
{
    loadRgb();
    bind();
    EXPECT_EQ(passAt(101), kGreen);
    setTicks(1000);
    mSprite.rewind();
    EXPECT_EQ(mSprite.getFrame(), 0);
    EXPECT_EQ(passAt(1100), kRed);
    EXPECT_EQ(passAt(1101), kGreen);
}

TEST_F(SpriteTest, XAddXSetAndYSetMoveTheSprite)
{
    loadSet({kRed}, {0});
    bind(100, 100);
    mSprite.xAdd(50);
    EXPECT_EQ(passAt(0, 150, 100), kRed);
    mSprite.xSet(400);
    mSprite.ySet(200);
    EXPECT_EQ(passAt(0, 400, 200), kRed);
    EXPECT_EQ(pixel(mScreen, 155, 105), kGrey);
}

// --- Sets without frames ----------------------------------------------------

TEST_F(SpriteTest, EmptyEntriesDrawNothingAndStayInTheCycle)
{
    // Three entries, one frame line: entries 1 and 2 never receive a frame.
    mDir.bmp("red.bmp", 10, 10, kRed);
    mDir.write("info", "FILES: 3\nred.bmp 10 0 0 0\n");
    dirtyHeap(3 * sizeof(CSpriteFrame));
    ASSERT_EQ(mSet.init(mDir.c_str()), 0);
    bind();

    EXPECT_EQ(passAt(0), kRed);
    EXPECT_EQ(passAt(11), kGrey);
    EXPECT_EQ(mSprite.getFrame(), 1);
    EXPECT_EQ(passAt(12), kGrey);
    EXPECT_EQ(mSprite.getFrame(), 2);
    EXPECT_EQ(passAt(13), kRed);
    EXPECT_EQ(mSprite.getFrame(), 0);
}

TEST_F(SpriteTest, SetWhoseFirstImageFailedDrawsNothing)
{
    mDir.write("info", "FILES: 2\nmissing.bmp 10 0 0 0\n");
    dirtyHeap(2 * sizeof(CSpriteFrame));
    ASSERT_EQ(mSet.init(mDir.c_str()), -1);
    fillRect(mScreen, 0, 0, 200, 200, kYellow);
    std::vector<Uint32> before = snapshot(mScreen);
    bind();

    for (Uint32 t : {0u, 11u, 12u, 13u})
        passAt(t);
    EXPECT_TRUE(snapshot(mScreen) == before);
}

// A sprite bound to a set that holds no frames: each pass is safe, draws
// nothing and leaves the sprite on frame 0.
struct EmptySetCase
{
    const char* what;
    bool load;         // init is called on the set
    const char* info;  // the info file; null: there is none
};

void PrintTo(const EmptySetCase& c, std::ostream* os)
{
    *os << c.what;
}

class EmptySetTest : public SpriteTest, public ::testing::WithParamInterface<EmptySetCase>
{
};

TEST_P(EmptySetTest, SpriteIsSafeAndDrawsNothing)
{
    if (GetParam().info)
        mDir.write("info", GetParam().info);
    if (GetParam().load)
        mSet.init(mDir.c_str());
    fillRect(mScreen, 0, 0, 200, 200, kYellow);
    std::vector<Uint32> before = snapshot(mScreen);
    bind(10, 10);

    for (Uint32 t : {0u, 1u, 2u, 1000u})
    {
        passAt(t, 10, 10);
        mSprite.yAdd(7);
    }
    EXPECT_TRUE(snapshot(mScreen) == before);
    EXPECT_EQ(mSprite.getFrame(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    NoFrames, EmptySetTest,
    ::testing::Values(EmptySetCase{"NeverLoaded", false, nullptr},
                      EmptySetCase{"InfoMissing", true, nullptr},
                      EmptySetCase{"EmptyInfo", true, ""},
                      EmptySetCase{"CountZero", true, "FILES: 0\n"},
                      EmptySetCase{"CountNegative", true, "FILES: -1\n"},
                      EmptySetCase{"HeaderUnreadable", true, "# no header\nf.bmp 1 0 0 0\n"}),
    [](const ::testing::TestParamInfo<EmptySetCase>& info) { return std::string(info.param.what); });

// release frees what a set and a sprite hold and leaves both as they were
// before init, whatever state the load left them in: safe to release again,
// and ready for init.
struct ReleaseCase
{
    const char* what;
    const char* info;  // the info file; null for none
    int loaded;        // frames the load leaves in the table
};

void PrintTo(const ReleaseCase& c, std::ostream* os)
{
    *os << c.what;
}

class ReleaseTest : public SpriteTest, public ::testing::WithParamInterface<ReleaseCase>
{
};

TEST_P(ReleaseTest, FreesTheFramesAndLeavesSetAndSpriteAsNew)
{
    const ReleaseCase& c = GetParam();
    mDir.bmp("a.bmp", 10, 10, kRed);
    mDir.bmp("b.bmp", 12, 8, kGreen);
    if (c.info)
        mDir.write("info", c.info);
    mSet.init(mDir.c_str());
    bind(10, 10);
    passAt(0, 10, 10);

    // A second reference to every frame: the release's own free leaves each at one.
    std::vector<SDL_Surface*> frames;
    for (int i = 0; mSet.mAnim && i < mSet.mNumFrames; i++)
        if (SDL_Surface* image = mSet.mAnim[i].image)
        {
            image->refcount++;
            frames.push_back(image);
        }
    ASSERT_EQ((int)frames.size(), c.loaded);

    for (int round = 0; round < 2; round++)
    {
        mSprite.release();
        mSet.release();
        EXPECT_EQ(mSet.mAnim, nullptr);
        EXPECT_EQ(mSet.mBuilt, 0);
        EXPECT_EQ(mSet.mNumFrames, 0);
        EXPECT_EQ(mSet.mW, 0);
        EXPECT_EQ(mSet.mH, 0);
        EXPECT_EQ(mSprite.getFrame(), 0);
        EXPECT_EQ(mSprite.getSpeed(), 0.0f);
        EXPECT_EQ(mSprite.getRestoredRect().w + mSprite.getDrawnRect().w, 0);
    }
    for (SDL_Surface* image : frames)
    {
        EXPECT_EQ(image->refcount, 1) << "a frame the release did not free";
        SDL_FreeSurface(image);
    }

    // A released sprite draws nothing; bound again to the set loaded again, it draws.
    std::vector<Uint32> before = snapshot(mScreen);
    mSprite.draw();
    EXPECT_TRUE(snapshot(mScreen) == before);
    mDir.write("info", "FILES: 1\nb.bmp 10 0 0 0\n");
    ASSERT_EQ(mSet.init(mDir.c_str()), 0);
    EXPECT_EQ(mSet.mW, 12);
    bind(40, 40);
    passAt(1, 40, 40);
    EXPECT_EQ(pixel(mScreen, 40, 40), kGreen);
}

INSTANTIATE_TEST_SUITE_P(
    States, ReleaseTest,
    ::testing::Values(ReleaseCase{"NeverLoaded", nullptr, 0},
                      ReleaseCase{"Loaded", "FILES: 2\na.bmp 10 0 0 0\nb.bmp 10 0 0 0\n", 2},
                      ReleaseCase{"FailedAtSecondFrame", "FILES: 3\na.bmp 10 0 0 0\nmissing.bmp 10 0 0 0\n", 1},
                      ReleaseCase{"TableOnly", "FILES: 4\n", 0}),
    [](const ::testing::TestParamInfo<ReleaseCase>& info) { return std::string(info.param.what); });

}
