// Animation timing for any uptime: the same frames at the same passes whether
// the tick count is small, past 2^24 ms, past 2^31 ms or wrapping at 2^32 ms.
#include "sprite.h"
#include "sprite_fixture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace spritetest;

namespace
{

// Where the clock starts: the points at which a float deadline starts to round,
// a signed tick turns negative and SDL's tick count wraps, and a day deep past 2^31.
const Uint32 kOrigins[] = {0u, (1u << 24) - 70u, (1u << 31) - 70u, 0xFFFFFFFFu - 70u,
                           3000000000u};

class UptimeTest : public SpriteSceneTest, public ::testing::WithParamInterface<Uint32>
{
protected:
    // Loads a set of 10x10 solid frames, one colour each, with these pauses.
    void loadSet(const std::vector<int>& pauses)
    {
        const Uint32 colours[] = {kRed, kGreen, kBlue, kYellow};
        std::vector<SolidFrame> frames;
        for (std::size_t i = 0; i < pauses.size(); i++)
            frames.push_back({10, 10, colours[i % 4], pauses[i]});
        mDir.solidSet(frames);
        ASSERT_EQ(mSet.init(mDir.c_str()), 0);
    }

    // Binds the sprite and starts its timing at the tick `origin`.
    void start(Uint32 origin, float speed)
    {
        mSprite.init(&mSet, mScreen);
        mSprite.set(100, 100);
        mSprite.setSpeed(speed);
        setTicks(origin);
        mSprite.rewind();
    }

    // One pass at origin + offset (modulo 2^32); the frame shown afterwards.
    int passAt(Uint32 origin, Uint32 offset)
    {
        setTicks(origin + offset);
        mSprite.clearBG();
        mSprite.updateBG();
        mSprite.draw();
        return mSprite.getFrame();
    }

    // The frame after every pass, one pass per millisecond for `ms` ms.
    std::vector<int> framesPerMillisecond(Uint32 origin, float speed, Uint32 ms)
    {
        start(origin, speed);
        std::vector<int> frames;
        for (Uint32 t = 1; t <= ms; t++)
            frames.push_back(passAt(origin, t));
        return frames;
    }

};

std::string originName(const testing::TestParamInfo<Uint32>& info)
{
    return "From" + std::to_string(info.param);
}

// Pass by pass, one pass a millisecond: every deadline, the millisecond just
// past it, the wrap to the first frame, a zero pause and fractional speeds give
// the same frames as from tick 0, whose timing the sprite tests pin down.
TEST_P(UptimeTest, SameFramesPassByPassAsFromZero)
{
    loadSet({30, 20, 0, 7});
    for (float speed : {1.0f, 1.5f, 0.25f})
    {
        std::vector<int> fromZero = framesPerMillisecond(0, speed, 200);
        EXPECT_EQ(framesPerMillisecond(GetParam(), speed, 200), fromZero) << "speed " << speed;
    }
}

TEST_P(UptimeTest, LateSpriteChangesOneFrameAndDoesNotCatchUp)
{
    loadSet({30, 20, 10});
    start(GetParam(), 1.0f);
    EXPECT_EQ(passAt(GetParam(), 5000), 1);
    EXPECT_EQ(passAt(GetParam(), 5000), 1);
    EXPECT_EQ(passAt(GetParam(), 5020), 1);
    EXPECT_EQ(passAt(GetParam(), 5021), 2);
}

INSTANTIATE_TEST_SUITE_P(Origins, UptimeTest, testing::ValuesIn(kOrigins), originName);

// --- Across the wrap of SDL's tick count ----------------------------------

class WrapTest : public UptimeTest
{
};

TEST_F(WrapTest, DeadlineEqualToTheTickAfterTheWrapDoesNotChange)
{
    loadSet({30, 20});
    start(0xFFFFFFFFu - 9u, 1.0f);  // the deadline is tick 20 after the wrap
    EXPECT_EQ(passAt(0, 20), 0);
    EXPECT_EQ(passAt(0, 21), 1);
}

TEST_F(WrapTest, ZeroPauseChangesOnceAsTheTickWraps)
{
    loadSet({0, 0, 0});
    start(0xFFFFFFFFu, 1.0f);
    EXPECT_EQ(passAt(0xFFFFFFFFu, 0), 0);
    EXPECT_EQ(passAt(0, 0), 1);
    EXPECT_EQ(passAt(0, 0), 1);
    EXPECT_EQ(passAt(0, 1), 2);
}

TEST_F(WrapTest, TimingRestartsFromTheSecondReadAfterTheWrap)
{
    loadSet({30, 20});
    start(0xFFFFFFFFu - 19u, 1.0f);
    // Due at 11 after the wrap; the change is timed from the next read, 15.
    queueTicks({11, 15});
    mSprite.draw();
    EXPECT_EQ(mSprite.getFrame(), 1);
    EXPECT_EQ(passAt(15, 20), 1);
    EXPECT_EQ(passAt(15, 21), 0);
}

TEST_F(WrapTest, FirstDrawAfterStartCountsFromTickZero)
{
    // A sprite that was never rewound times its first frame from tick 0, so a
    // first draw long after start-up changes at once, however large the tick.
    loadSet({30, 20});
    mSprite.init(&mSet, mScreen);
    mSprite.setSpeed(1.0f);
    EXPECT_EQ(passAt(3000000000u, 0), 1);
    EXPECT_EQ(passAt(3000000000u, 20), 1);
    EXPECT_EQ(passAt(3000000000u, 21), 0);
}

}
