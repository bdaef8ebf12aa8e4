// The demo scene in the real window: the background, the three sprites at their
// places and in their drawing order, transparency, the Up key and animation,
// with purpose-made sets of plain colours and with the project's own art.
#include <algorithm>
#include <chrono>
#include <iostream>
#include <set>

#include "fixture.h"

namespace e2e
{
namespace
{

namespace fs = std::filesystem;

// Sets big enough to overlap. Viking frames are 384 x 128 in four bands of
// columns; vikings1 at x = 150 covers 150..533, vikings2 at x = 350 covers
// 350..733, and the 300 x 300 sun at (480, 50) reaches down to y = 349.
//   local x   0..129  band A            (vikings2's A lies over vikings1's C)
//   local x 130..183  key in rows 0..49 (where vikings2 lies over the sun and
//                     vikings1, vikings2 lets vikings1 show through), B below
//   local x 184..329  band C
//   local x 330..383  band D            (vikings1's D lies over the sun)
constexpr Rgb kBandA{200, 30, 30};
constexpr Rgb kBandB{30, 200, 30};
constexpr Rgb kBandC{230, 230, 230};
constexpr Rgb kBandD{20, 20, 20};
constexpr Rgb kSunColour{250, 200, 0};
constexpr int kVikingWidth = 384;
constexpr int kVikingHeight = 128;

SceneData overlappingScene()
{
    SceneData data;
    data.background = markedBackground();
    Picture viking(kVikingWidth, kVikingHeight, kBandA);
    viking.fill(130, 0, 54, 50, kKey);
    viking.fill(130, 50, 54, kVikingHeight - 50, kBandB);
    viking.fill(184, 0, 146, kVikingHeight, kBandC);
    viking.fill(330, 0, 54, kVikingHeight, kBandD);
    data.vikings.frames = {viking};
    Picture sun(300, 300, kSunColour);
    sun.fill(0, 0, 20, 20, kKey);
    data.sun.frames = {sun};
    return data;
}

struct Placed
{
    const SpriteSet* set;
    Point at;
};

// The picture for the sprites drawn in the given order, each showing frame 0.
ExpectedPicture drawnInOrder(const SceneData& data, const std::vector<Placed>& order)
{
    ExpectedPicture expected(kWindowWidth, kWindowHeight);
    expected.background(data.background);
    for (const Placed& p : order)
        expected.sprite({p.set->frames[0]}, p.set->key, p.at.x, p.at.y);
    return expected;
}

// Frames of distinct plain colours, one per frame.
std::vector<Picture> colouredFrames(int count, int w, int h, int seed)
{
    std::vector<Picture> frames;
    for (int i = 0; i < count; ++i)
        frames.push_back(solid(w, h, Rgb{std::uint8_t(30 + 25 * i), std::uint8_t(seed), std::uint8_t(230 - 25 * i)}));
    return frames;
}

int frameIndexOf(const std::vector<Picture>& frames, Rgb colour)
{
    for (size_t i = 0; i < frames.size(); ++i)
        if (frames[i].at(0, 0) == colour)
            return int(i);
    return -1;
}

class Scene : public ProgramTest
{
};

TEST_F(Scene, BackgroundIsDrawnFromTheTopLeftCorner)
{
    SceneData data = stillScene();
    data.write(workdir());
    Session& s = start();
    ASSERT_TRUE(s.waitForWindow());
    SceneModel model;
    model.sun = Shown::Unknown;
    model.vikings = Shown::Unknown;
    EXPECT_TRUE(s.waitForScene(model.expect(data)));
    expectCleanEndAfterEscape();
}

TEST_F(Scene, EachSpriteIsDrawnAtItsPlace)
{
    SceneData data = stillScene();
    data.write(workdir());
    Session& s = start();
    ASSERT_TRUE(s.waitForWindow());
    EXPECT_TRUE(s.waitForScene(SceneModel{}.expect(data)));
    // The sprites' colours are where the model puts them, not anywhere else.
    const Picture& shot = s.lastGrab();
    EXPECT_EQ(shot.at(kSunAt.x, kSunAt.y), data.sun.frames[0].at(0, 0));
    EXPECT_EQ(shot.at(kVikings1At.x, kVikings1At.y), data.vikings.frames[0].at(0, 0));
    EXPECT_EQ(shot.at(kVikings2At.x + 63, kVikings2At.y + 63), data.vikings.frames[0].at(63, 63));
    EXPECT_EQ(shot.at(kSunAt.x - 1, kSunAt.y), data.background.at(kSunAt.x - 1, kSunAt.y));
    expectCleanEndAfterEscape();
}

// Whichever SDL 1.2 hands the display over, it is cleared before the
// background is drawn: without a background the sprites stand on black.
TEST_F(Scene, WithoutABackgroundTheSpritesStandOnBlack)
{
    SceneData data = stillScene();
    data.write(workdir());
    fs::remove(workdir() / "bg.bmp");
    data.background = Picture(kWindowWidth, kWindowHeight, Rgb{0, 0, 0});
    Session& s = start();
    ASSERT_TRUE(s.waitForWindow());
    EXPECT_TRUE(s.waitForScene(SceneModel{}.expect(data)));
    expectCleanEndAfterEscape();
}

TEST_F(Scene, KeyColouredPixelsAreNotDrawn)
{
    SceneData data = stillScene();
    // A checkerboard of 8 x 8 squares of colour and of the key colour.
    Picture checker(64, 64, Rgb{10, 90, 160});
    for (int y = 0; y < 64; y += 8)
        for (int x = (y / 8 % 2) * 8; x < 64; x += 16)
            checker.fill(x, y, 8, 8, kKey);
    data.vikings.frames = {checker};
    data.write(workdir());

    Session& s = start();
    ASSERT_TRUE(s.waitForWindow());
    EXPECT_TRUE(s.waitForScene(SceneModel{}.expect(data)));
    const Picture& shot = s.lastGrab();
    for (Point at : {kVikings1At, kVikings2At})
    {
        EXPECT_EQ(shot.at(at.x + 3, at.y + 3), data.background.at(at.x + 3, at.y + 3));
        EXPECT_EQ(shot.at(at.x + 11, at.y + 3), checker.at(11, 3));
    }
    expectCleanEndAfterEscape();
}

TEST_F(Scene, OverlapsShowSecondVikingOverFirstVikingOverSun)
{
    SceneData data = overlappingScene();
    data.write(workdir());
    const Placed sun{&data.sun, kSunAt};
    const Placed first{&data.vikings, kVikings1At};
    const Placed second{&data.vikings, kVikings2At};

    Session& s = start();
    ASSERT_TRUE(s.waitForWindow());
    ASSERT_TRUE(s.waitForScene(drawnInOrder(data, {sun, first, second})));
    // Every other order gives another picture, so the order is what was checked.
    const Picture& shot = s.lastGrab();
    EXPECT_FALSE(drawnInOrder(data, {sun, second, first}).matches(shot));
    EXPECT_FALSE(drawnInOrder(data, {first, sun, second}).matches(shot));
    EXPECT_FALSE(drawnInOrder(data, {second, first, sun}).matches(shot));
    // vikings2 over vikings1; vikings1 over the sun where vikings2 is transparent;
    // vikings2 over the sun.
    EXPECT_EQ(shot.at(400, 320), kBandA);
    EXPECT_EQ(shot.at(500, 320), kBandD);
    EXPECT_EQ(shot.at(600, 320), kBandC);
    expectCleanEndAfterEscape();
}

TEST_F(Scene, HoldingUpLiftsOnlyTheFirstVikingAndLeavesNoTrail)
{
    SceneData data = overlappingScene();
    data.write(workdir());
    Session& s = start();
    ASSERT_TRUE(s.waitForWindow());
    ASSERT_TRUE(s.waitForScene(SceneModel{}.expect(data)));

    // vikings1's band A (screen x 150..279) is covered by no other sprite, so
    // its lowest row there tells where vikings1 is.
    const int probeX = kVikings1At.x + 10;
    auto vikings1Y = [&](const Picture& shot) {
        for (int y = kWindowHeight - 1; y >= 0; --y)
            if (shot.at(probeX, y) == kBandA)
                return y - (kVikingHeight - 1);
        return -kVikingHeight;  // gone off the top
    };

    s.keyDown("Up");
    const int bottom = kVikings1At.y + kVikingHeight - 1;
    bool lifted = bool(s.waitForPicture([&](const Picture& shot) {
        return shot.at(probeX, bottom) == data.background.at(probeX, bottom);
    }));
    s.keyUp("Up");
    ASSERT_TRUE(lifted);

    // Wherever it stopped, the rest of the picture is exactly the scene: the
    // sun and vikings2 in place, the background back where vikings1 was.
    int y = kVikings1At.y;
    EXPECT_TRUE(s.waitForPicture([&](const Picture& shot) {
        y = vikings1Y(shot);
        SceneModel model;
        model.vikings1Y = y;
        return model.expect(data).mismatches(shot) == 0;
    })) << "vikings1 last found at y = " << y;
    EXPECT_LT(y, kVikings1At.y);
    expectCleanEndAfterEscape();
}

TEST_F(Scene, SpritesPlayEveryFrameInTurnAndWrapAround)
{
    const int kFrames = 6;
    SceneData data;
    data.background = markedBackground();
    data.sun.frames = colouredFrames(kFrames, 48, 48, 10);
    data.sun.pause = 100;
    data.vikings.frames = colouredFrames(kFrames, 48, 48, 200);
    data.vikings.pause = 100;
    data.write(workdir());

    Session& s = start();
    ASSERT_TRUE(s.waitForWindow());
    ASSERT_TRUE(s.waitForScene(SceneModel{}.expect(data)));

    // Each sprite's centre, polled: the frames it shows, each change counted as
    // a step forward (one frame on, or a few when a poll came late) or back.
    struct Probe
    {
        Point at;
        const SpriteSet* set;
        int frame = -1;
        std::set<int> seen{};
        int forward = 0;
        int backward = 0;
        int wraps = 0;
    };
    std::vector<Probe> probes{{kSunAt, &data.sun}, {kVikings1At, &data.vikings},
                              {kVikings2At, &data.vikings}};
    std::vector<Rgb> strangers;
    bool cycled = pollUntil(
        [&] {
            bool done = true;
            for (Probe& p : probes)
            {
                Picture pixel = s.grab(p.at.x + 24, p.at.y + 24, 1, 1);
                if (pixel.empty())
                    return false;
                int frame = frameIndexOf(p.set->frames, pixel.at(0, 0));
                if (frame < 0)
                {
                    strangers.push_back(pixel.at(0, 0));
                    continue;
                }
                if (p.frame >= 0 && frame != p.frame)
                {
                    int step = (frame - p.frame + kFrames) % kFrames;
                    if (step <= kFrames / 2)
                        ++p.forward;
                    else
                        ++p.backward;
                    if (frame < p.frame)
                        ++p.wraps;
                }
                p.frame = frame;
                p.seen.insert(frame);
                done = done && int(p.seen.size()) == kFrames && p.wraps >= 2;
            }
            return done;
        },
        kDrawTimeout);
    EXPECT_TRUE(cycled);
    EXPECT_TRUE(strangers.empty()) << strangers.size() << " probes showed no frame's colour, "
                                   << "the first " << strangers.front();
    for (const Probe& p : probes)
    {
        EXPECT_EQ(int(p.seen.size()), kFrames) << "at (" << p.at.x << "," << p.at.y << ")";
        // Played forwards; a very late poll may make one step look backwards.
        EXPECT_GE(p.forward, 4 * p.backward + 2)
            << "at (" << p.at.x << "," << p.at.y << "): " << p.forward << " steps forward, "
            << p.backward << " back";
    }
    // Frames of one size leave nothing behind them.
    EXPECT_TRUE(s.waitForScene(SceneModel{}.expect(data)));
    expectCleanEndAfterEscape();
}

TEST_F(Scene, SecondVikingPlaysItsFramesOneAndAHalfTimesSlower)
{
    // Eight frames of 400 ms: vikings1 and the sun change every 400 ms or a
    // little more, vikings2 every 600 ms. Frame numbers are read from colours,
    // so a poll that comes late still counts every frame that went by.
    const int kFrames = 8;
    SceneData data;
    data.background = markedBackground();
    data.sun.frames = colouredFrames(kFrames, 32, 32, 60);
    data.sun.pause = 400;
    data.vikings.frames = colouredFrames(kFrames, 32, 32, 160);
    data.vikings.pause = 400;
    data.write(workdir());

    Session& s = start();
    ASSERT_TRUE(s.waitForWindow());
    ASSERT_TRUE(s.waitForScene(SceneModel{}.expect(data)));

    using Clock = std::chrono::steady_clock;
    struct Watch
    {
        Point at;
        const SpriteSet* set;
        int frame = -1;
        int advanced = 0;
        Clock::time_point first{};
        Clock::time_point last{};
        double period() const
        {
            // From the first change seen to the last one.
            return std::chrono::duration<double, std::milli>(last - first).count() /
                   std::max(advanced, 1);
        }
    };
    std::vector<Watch> watches{{kSunAt, &data.sun}, {kVikings1At, &data.vikings},
                               {kVikings2At, &data.vikings}};
    std::vector<bool> changedOnce(watches.size(), false);
    bool enough = pollUntil(
        [&] {
            for (size_t i = 0; i < watches.size(); ++i)
            {
                Watch& w = watches[i];
                Picture pixel = s.grab(w.at.x + 16, w.at.y + 16, 1, 1);
                if (pixel.empty())
                    return false;
                int frame = frameIndexOf(w.set->frames, pixel.at(0, 0));
                if (frame < 0 || frame == w.frame)
                    continue;
                Clock::time_point now = Clock::now();
                if (w.frame >= 0)
                {
                    // The first change seen starts the clock; frames before it
                    // may have begun at any time.
                    if (!changedOnce[i])
                        w.first = now;
                    else
                        w.advanced += (frame - w.frame + kFrames) % kFrames;
                    changedOnce[i] = true;
                    w.last = now;
                }
                w.frame = frame;
            }
            return watches[0].advanced >= 12 && watches[1].advanced >= 12 &&
                   watches[2].advanced >= 8;
        },
        Seconds(90));
    ASSERT_TRUE(enough) << "frames seen: sun " << watches[0].advanced << ", vikings1 "
                        << watches[1].advanced << ", vikings2 " << watches[2].advanced;

    const double sun = watches[0].period();
    const double first = watches[1].period();
    const double second = watches[2].period();
    std::cout << "frame periods: sun " << sun << " ms, vikings1 " << first << " ms, vikings2 "
              << second << " ms" << std::endl;
    EXPECT_GE(first, 400 * 0.97) << "vikings1 changes frames every " << first << " ms";
    EXPECT_GE(second, 600 * 0.97) << "vikings2 changes frames every " << second << " ms";
    EXPECT_NEAR(sun / first, 1.0, 0.15) << "sun " << sun << " ms, vikings1 " << first << " ms";
    EXPECT_NEAR(second / first, 1.5, 0.2) << "vikings2 " << second << " ms, vikings1 " << first
                                          << " ms";
    expectCleanEndAfterEscape();
}

// The project's own art: the tests compare against the bg.bmp in the working
// directory and assume nothing about the sprites' pixels.
class ProjectArt : public ProgramTest
{
protected:
    void SetUp() override
    {
        copyProjectData();
        mBackground = Picture::loadBmp(workdir() / "bg.bmp");
        ASSERT_FALSE(mBackground.empty());
        mSun = spriteSize("sun");
        mViking = spriteSize("vikings");
        ASSERT_GT(mSun.x, 0);
        ASSERT_GT(mViking.x, 0);
    }

    // The largest frame of a set: an upper bound of the area its sprites cover.
    Point spriteSize(const std::string& set) const
    {
        Point size{0, 0};
        for (const fs::directory_entry& entry : fs::directory_iterator(workdir() / "includes" / set))
        {
            if (entry.path().extension() != ".bmp")
                continue;
            Picture frame = Picture::loadBmp(entry.path());
            size.x = std::max(size.x, frame.width());
            size.y = std::max(size.y, frame.height());
        }
        return size;
    }

    // The background everywhere but under the sprites that are listed.
    ExpectedPicture backgroundAround(const std::vector<Point>& vikings, bool sun = true) const
    {
        ExpectedPicture expected(kWindowWidth, kWindowHeight);
        expected.background(mBackground);
        if (sun)
            expected.anything(kSunAt.x, kSunAt.y, mSun.x, mSun.y);
        for (Point at : vikings)
            expected.anything(at.x, at.y, mViking.x, mViking.y);
        return expected;
    }

    static bool differs(const Picture& a, const Picture& b) { return a != b; }

    Picture mBackground;
    Point mSun{0, 0};
    Point mViking{0, 0};
};

TEST_F(ProjectArt, BackgroundShowsEverywhereButUnderTheSprites)
{
    Session& s = start();
    ASSERT_TRUE(s.waitForWindow());
    EXPECT_TRUE(s.waitForScene(backgroundAround({kVikings1At, kVikings2At})));
    // Each sprite covers some of the background.
    for (auto [at, size] : {std::pair{kSunAt, mSun}, std::pair{kVikings1At, mViking},
                            std::pair{kVikings2At, mViking}})
    {
        Picture under = mBackground.crop(at.x, at.y, size.x, size.y);
        EXPECT_TRUE(s.waitForPicture([&](const Picture& shot) {
            return differs(shot.crop(at.x, at.y, size.x, size.y), under);
        })) << "nothing drawn at (" << at.x << "," << at.y << ")";
    }
    expectCleanEndAfterEscape();
}

TEST_F(ProjectArt, SpritesAnimate)
{
    Session& s = start();
    ASSERT_TRUE(s.waitForWindow());
    ASSERT_TRUE(s.waitForScene(backgroundAround({kVikings1At, kVikings2At})));
    for (auto [at, size] : {std::pair{kSunAt, mSun}, std::pair{kVikings1At, mViking},
                            std::pair{kVikings2At, mViking}})
    {
        Picture before = s.grab(at.x, at.y, size.x, size.y);
        EXPECT_TRUE(s.waitForPicture([&](const Picture& shot) {
            return differs(shot.crop(at.x, at.y, size.x, size.y), before);
        })) << "the sprite at (" << at.x << "," << at.y << ") does not change";
    }
    expectCleanEndAfterEscape();
}

TEST_F(ProjectArt, HoldingUpMovesFirstVikingOffTheTopAndLeavesNoTrail)
{
    Session& s = start();
    ASSERT_TRUE(s.waitForWindow());
    ASSERT_TRUE(s.waitForScene(backgroundAround({kVikings1At, kVikings2At})));

    // With Up held vikings1 rises a pixel per pass, without limit: once it is
    // past the top, the background is back everywhere but under the others.
    s.keyDown("Up");
    testing::AssertionResult gone = s.waitForScene(backgroundAround({kVikings2At}));
    s.keyUp("Up");
    EXPECT_TRUE(gone);
    // The others stay where they were and keep being drawn.
    EXPECT_TRUE(s.waitForScene(backgroundAround({kVikings2At})));
    Picture under = mBackground.crop(kVikings2At.x, kVikings2At.y, mViking.x, mViking.y);
    EXPECT_NE(s.lastGrab().crop(kVikings2At.x, kVikings2At.y, mViking.x, mViking.y), under);
    expectCleanEndAfterEscape();
}

}
}
