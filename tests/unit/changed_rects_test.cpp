// Changed rectangles: what a sprite's restore and draw report having changed on
// the display, and how CRectList gathers a pass's rectangles.
#include "sprite.h"
#include "sprite_fixture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace spritetest;

// SDL_Rect lives in the global namespace, where the test macros look for these.
bool operator==(const SDL_Rect& a, const SDL_Rect& b)
{
    return a.x == b.x && a.y == b.y && a.w == b.w && a.h == b.h;
}

void PrintTo(const SDL_Rect& r, std::ostream* os)
{
    *os << "{" << r.x << ", " << r.y << ", " << r.w << ", " << r.h << "}";
}

namespace
{

SDL_Rect rect(int x, int y, int w, int h)
{
    return SDL_Rect{(Sint16)x, (Sint16)y, (Uint16)w, (Uint16)h};
}

const SDL_Rect kNothing = rect(0, 0, 0, 0);

class ChangedRectsTest : public SpriteSceneTest
{
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(SpriteSceneTest::SetUp());
        SDL_SetClipRect(mScreen, nullptr);
        // A pattern, so that a restore in the wrong place shows.
        for (int x = 0; x < 1024; x += 64)
            fillRect(mScreen, x, 0, 32, 768, kTeal);
        mList.clear();
    }

    void TearDown() override
    {
        SDL_SetClipRect(mScreen, nullptr);
        SpriteSceneTest::TearDown();
    }

    // Writes and loads a set of solid frames (no colour key), and binds mSprite to it.
    void loadAndBind(const std::vector<SolidFrame>& frames, int x, int y)
    {
        mDir.solidSet(frames);
        ASSERT_EQ(mSet.init(mDir.c_str()), 0);
        bind(x, y);
    }

    void bind(int x, int y)
    {
        mSprite.init(&mSet, mScreen);
        mSprite.set(x, y);
        mSprite.setSpeed(1.0f);
    }

    // One pass of the sprite; the display before it is kept in mBefore.
    void pass()
    {
        mBefore = snapshot(mScreen);
        mSprite.clearBG();
        mSprite.updateBG();
        mSprite.draw();
    }

    // Every pixel that the last pass changed lies in a rectangle of the list.
    void expectChangesCovered(const CRectList& list)
    {
        std::vector<Uint32> after = snapshot(mScreen);
        int uncovered = 0;
        for (int y = 0; y < mScreen->h; y++)
            for (int x = 0; x < mScreen->w; x++)
            {
                if (after[y * mScreen->w + x] == mBefore[y * mScreen->w + x])
                    continue;
                bool inside = false;
                for (int i = 0; i < list.mCount && !inside; i++)
                {
                    const SDL_Rect& r = list.mRects[i];
                    inside = x >= r.x && x < r.x + r.w && y >= r.y && y < r.y + r.h;
                }
                if (!inside && uncovered++ == 0)
                    ADD_FAILURE() << "pixel " << x << "," << y << " changed outside the rectangles";
            }
        EXPECT_EQ(uncovered, 0);
    }

    // The sprite's rectangles from its last pass, as a program would gather them.
    CRectList& collect()
    {
        mList.clear();
        mList.addSprite(&mSprite);
        return mList;
    }

    CRectList mList = CRectList();
    std::vector<Uint32> mBefore;
};

// --- One sprite ---------------------------------------------------------------

// A 10 x 8 sprite drawn at 100, 50, then (for a second pass) moved by a step:
// the rectangles it reports, and the list a program gathers from them.
struct MoveCase
{
    const char* name;
    int passes;
    int dx, dy;  // the step before the second pass
    SDL_Rect restored, drawn;
    std::vector<SDL_Rect> list;
};

void PrintTo(const MoveCase& c, std::ostream* os)
{
    *os << c.name;
}

const MoveCase kMoves[] = {
    {"FirstPassReportsOnlyTheDraw", 1, 0, 0, kNothing, rect(100, 50, 10, 8), {rect(100, 50, 10, 8)}},
    {"MovedReportsOldAndNewPlace", 2, 40, 40, rect(100, 50, 10, 8), rect(140, 90, 10, 8),
     {rect(100, 50, 10, 8), rect(140, 90, 10, 8)}},
    {"StayingIsPresentedOnce", 2, 0, 0, rect(100, 50, 10, 8), rect(100, 50, 10, 8), {rect(100, 50, 10, 8)}},
    // Old and new place touch: one 20 x 8 strip costs no more than two 10 x 8 ones.
    {"StepByOwnWidthMergesIntoOneStrip", 2, 10, 0, rect(100, 50, 10, 8), rect(110, 50, 10, 8),
     {rect(100, 50, 20, 8)}},
};

class MoveTest : public ChangedRectsTest, public ::testing::WithParamInterface<MoveCase>
{
};

TEST_P(MoveTest, ReportsWhatThePassChanged)
{
    const MoveCase& c = GetParam();
    loadAndBind({{10, 8, kRed, 0}}, 100, 50);
    EXPECT_EQ(mSprite.getRestoredRect(), kNothing);
    EXPECT_EQ(mSprite.getDrawnRect(), kNothing);
    pass();
    if (c.passes == 2)
    {
        mSprite.xAdd(c.dx);
        mSprite.yAdd(c.dy);
        pass();
    }
    EXPECT_EQ(mSprite.getRestoredRect(), c.restored);
    EXPECT_EQ(mSprite.getDrawnRect(), c.drawn);
    EXPECT_EQ(pixel(mScreen, c.drawn.x + 9, c.drawn.y + 7), kRed);
    // Where the sprite moved away, the background is back.
    if (c.restored.w > 0 && (c.restored.x < c.drawn.x || c.restored.y < c.drawn.y))
    {
        EXPECT_EQ(pixel(mScreen, c.restored.x, c.restored.y), kGrey);
    }
    collect();
    EXPECT_EQ(std::vector<SDL_Rect>(mList.mRects, mList.mRects + mList.mCount), c.list);
    expectChangesCovered(mList);
}

INSTANTIATE_TEST_SUITE_P(OneSprite, MoveTest, ::testing::ValuesIn(kMoves),
                         [](const ::testing::TestParamInfo<MoveCase>& info) { return info.param.name; });

TEST_F(ChangedRectsTest, LargerFrameReportsItsOwnSize)
{
    // The set is 10 x 8 (its first frame); frame 1 is 24 x 20.
    loadAndBind({{10, 8, kRed, 10}, {24, 20, kGreen, 1000}}, 200, 100);
    pass();
    setTicks(11);
    pass();
    EXPECT_EQ(pixel(mScreen, 223, 119), kGreen);
    EXPECT_EQ(mSprite.getRestoredRect(), rect(200, 100, 10, 8));
    EXPECT_EQ(mSprite.getDrawnRect(), rect(200, 100, 24, 20));
    expectChangesCovered(collect());

    // Moving on, the restore covers only the set's size: the larger frame's
    // edges stay behind, and only the restored rectangle is reported for that.
    mSprite.set(600, 100);
    pass();
    EXPECT_EQ(mSprite.getRestoredRect(), rect(200, 100, 10, 8));
    EXPECT_EQ(pixel(mScreen, 223, 119), kGreen);
    expectChangesCovered(collect());
}

// --- Clipping -------------------------------------------------------------------

struct EdgeCase
{
    const char* what;
    int x, y;
    SDL_Rect clipped;  // what a 10 x 8 sprite there changes
};

void PrintTo(const EdgeCase& c, std::ostream* os)
{
    *os << c.what;
}

class EdgeTest : public ChangedRectsTest, public ::testing::WithParamInterface<EdgeCase>
{
};

TEST_P(EdgeTest, RectanglesAreClippedToTheTarget)
{
    const EdgeCase& c = GetParam();
    loadAndBind({{10, 8, kRed, 0}}, c.x, c.y);
    pass();
    EXPECT_EQ(mSprite.getDrawnRect(), c.clipped);
    expectChangesCovered(collect());

    mSprite.set(500, 400);
    pass();
    EXPECT_EQ(mSprite.getRestoredRect(), c.clipped);
    EXPECT_EQ(mSprite.getDrawnRect(), rect(500, 400, 10, 8));
    expectChangesCovered(collect());
    for (int i = 0; i < mList.mCount; i++)
    {
        const SDL_Rect& r = mList.mRects[i];
        EXPECT_TRUE(r.x >= 0 && r.y >= 0 && r.x + r.w <= 1024 && r.y + r.h <= 768);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Edges, EdgeTest,
    ::testing::Values(EdgeCase{"Left", -4, 100, rect(0, 100, 6, 8)},
                      EdgeCase{"Top", 100, -3, rect(100, 0, 10, 5)},
                      EdgeCase{"Right", 1020, 100, rect(1020, 100, 4, 8)},
                      EdgeCase{"Bottom", 100, 765, rect(100, 765, 10, 3)},
                      EdgeCase{"TopLeft", -9, -7, rect(0, 0, 1, 1)},
                      EdgeCase{"BottomRight", 1023, 767, rect(1023, 767, 1, 1)}),
    [](const ::testing::TestParamInfo<EdgeCase>& info) { return std::string(info.param.what); });

TEST_F(ChangedRectsTest, RectanglesFollowTheTargetsClipRectangle)
{
    loadAndBind({{10, 8, kRed, 0}}, 100, 50);
    SDL_Rect clip = rect(104, 0, 500, 54);
    SDL_SetClipRect(mScreen, &clip);
    pass();
    EXPECT_EQ(mSprite.getDrawnRect(), rect(104, 50, 6, 4));
    expectChangesCovered(collect());
}

TEST_F(ChangedRectsTest, SpriteWhollyOffTheTargetReportsNothing)
{
    loadAndBind({{10, 8, kRed, 0}}, 100, 50);
    pass();
    // Leaving the target: the restore of the old place is all that changes.
    mSprite.set(-50, -50);
    pass();
    EXPECT_EQ(mSprite.getRestoredRect(), rect(100, 50, 10, 8));
    EXPECT_EQ(mSprite.getDrawnRect(), kNothing);
    expectChangesCovered(collect());

    for (SDL_Rect place : {rect(-50, -50, 0, 0), rect(1024, 300, 0, 0), rect(300, 768, 0, 0),
                           rect(-10, 300, 0, 0), rect(5000, -3000, 0, 0)})
    {
        mSprite.set(place.x, place.y);
        pass();
        EXPECT_EQ(mSprite.getRestoredRect(), kNothing) << "at " << place.x << "," << place.y;
        EXPECT_EQ(mSprite.getDrawnRect(), kNothing) << "at " << place.x << "," << place.y;
        EXPECT_EQ(collect().mCount, 0);
        EXPECT_TRUE(snapshot(mScreen) == mBefore);
    }
}

// --- Sets that draw nothing -------------------------------------------------------

TEST_F(ChangedRectsTest, UnbuiltSetReportsNothing)
{
    bind(100, 50);
    for (Uint32 t : {0u, 1u, 1000u})
    {
        setTicks(t);
        pass();
        EXPECT_EQ(mSprite.getRestoredRect(), kNothing);
        EXPECT_EQ(mSprite.getDrawnRect(), kNothing);
        EXPECT_EQ(collect().mCount, 0);
    }
}

TEST_F(ChangedRectsTest, EntryWithoutImageReportsOnlyTheRestore)
{
    // Two entries, one frame line: entry 1 has no image.
    mDir.bmp("red.bmp", 10, 8, kRed);
    mDir.write("info", "FILES: 2\nred.bmp 10 0 0 0\n");
    ASSERT_EQ(mSet.init(mDir.c_str()), 0);
    bind(100, 50);
    pass();
    setTicks(11);
    pass();
    EXPECT_EQ(mSprite.getFrame(), 1);
    EXPECT_EQ(mSprite.getRestoredRect(), rect(100, 50, 10, 8));
    EXPECT_EQ(mSprite.getDrawnRect(), kNothing);
    EXPECT_EQ(pixel(mScreen, 100, 50), kGrey);
    expectChangesCovered(collect());
}

// --- Several sprites and the list ------------------------------------------------

TEST_F(ChangedRectsTest, PassOfManySpritesIsCovered)
{
    loadAndBind({{10, 8, kRed, 5}, {14, 12, kGreen, 5}}, 0, 0);
    std::vector<CSprite> sprites(40, CSprite());
    for (std::size_t i = 0; i < sprites.size(); i++)
    {
        sprites[i].init(&mSet, mScreen);
        sprites[i].set((int)(i * 37 % 1040) - 8, (int)(i * 53 % 780) - 6);
        sprites[i].setSpeed(1.0f + i % 3);
    }
    for (Uint32 t = 0; t < 30; t++)
    {
        setTicks(t);
        mBefore = snapshot(mScreen);
        for (CSprite& s : sprites)
            s.clearBG();
        for (CSprite& s : sprites)
            s.updateBG();
        for (CSprite& s : sprites)
            s.draw();
        mList.clear();
        mList.addSprites(sprites.data(), (int)sprites.size());
        EXPECT_LE(mList.mCount, 2 * (int)sprites.size());
        expectChangesCovered(mList);
        for (std::size_t i = 0; i < sprites.size(); i++)
            sprites[i].xAdd(i % 2 ? 3 : -2);
    }
}

TEST(RectListTest, SkipsEmptyRectangles)
{
    CRectList list = CRectList();
    list.add(rect(5, 5, 0, 10));
    list.add(rect(5, 5, 10, 0));
    EXPECT_EQ(list.mCount, 0);
    list.add(rect(5, 5, 1, 1));
    EXPECT_EQ(list.mCount, 1);
    list.clear();
    EXPECT_EQ(list.mCount, 0);
}

TEST(RectListTest, MergesOnlyWhenTheBoxIsNoLarger)
{
    CRectList list = CRectList();
    list.add(rect(0, 0, 10, 10));
    list.add(rect(2, 2, 5, 5));  // inside the first
    ASSERT_EQ(list.mCount, 1);
    EXPECT_EQ(list.mRects[0], rect(0, 0, 10, 10));
    list.add(rect(5, 0, 10, 10));  // box 15 x 10 = 150 <= 200
    ASSERT_EQ(list.mCount, 1);
    EXPECT_EQ(list.mRects[0], rect(0, 0, 15, 10));
    list.add(rect(14, 9, 10, 10));  // box 24 x 19 = 456 > 250
    ASSERT_EQ(list.mCount, 2);
    EXPECT_EQ(list.mRects[1], rect(14, 9, 10, 10));
    list.add(rect(500, 500, 4, 4));
    EXPECT_EQ(list.mCount, 3);
}

TEST(RectListTest, FullListGrowsItsLastRectangle)
{
    CRectList list = CRectList();
    for (int i = 0; i < kRectListSize; i++)
        list.add(rect(i * 3 % 1000, i * 20 % 700, 1, 1));
    ASSERT_EQ(list.mCount, kRectListSize);
    SDL_Rect last = list.mRects[kRectListSize - 1];
    list.add(rect(900, 700, 2, 2));
    ASSERT_EQ(list.mCount, kRectListSize);
    const SDL_Rect& grown = list.mRects[kRectListSize - 1];
    EXPECT_LE(grown.x, last.x);
    EXPECT_LE(grown.y, last.y);
    EXPECT_GE(grown.x + grown.w, 902);
    EXPECT_GE(grown.y + grown.h, 702);
    EXPECT_GE(grown.x + grown.w, last.x + last.w);
}

}
