// Loading sprite sets: the info file's header, skip rules and frame lines, colour
// keys, the sprite's size, and what the loader does with files it can't use.
#include "sprite.h"
#include "sprite_fixture.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>

#include <fstream>
#include <string>
#include <utility>

using namespace spritetest;

namespace
{

class SpriteSetTest : public SpriteSceneTest
{
protected:
    // Loads the set written into mDir.
    int load() { return mSet.init(mDir.c_str()); }

    // Colours of the left and right column of a frame image when it is blitted
    // over grey: a keyed colour shows as grey.
    std::pair<Uint32, Uint32> drawn(SDL_Surface* image)
    {
        if (!image)
        {
            ADD_FAILURE() << "no image in this entry";
            return {kNoImage, kNoImage};
        }
        fillRect(mScreen, 0, 0, 200, 200, kGrey);
        SDL_Rect at = {0, 0, 0, 0};
        SDL_BlitSurface(image, nullptr, mScreen, &at);
        return {pixel(mScreen, 0, 0), pixel(mScreen, image->w - 1, image->h - 1)};
    }

    // The table exists and has at least n entries.
    bool hasEntries(int n) const { return mSet.mAnim && mSet.mNumFrames >= n; }

    static constexpr Uint32 kNoImage = 0xFFFFFFFF;
};

using Colours = std::pair<Uint32, Uint32>;

TEST_F(SpriteSetTest, CommentAndEmptyLinesAreNotFrames)
{
    mDir.bmp("red.bmp", 4, 4, kRed);
    mDir.bmp("green.bmp", 4, 4, kGreen);
    mDir.bmp("blue.bmp", 4, 4, kBlue);
    mDir.write("info", "FILES: 3\n"
                       "# the first frame\n"
                       "\n"
                       "red.bmp 10 0 0 0\n"
                       "\r\n"
                       "#green.bmp 99 0 0 0\n"
                       "green.bmp 20 0 0 0\n"
                       "\n\n"
                       "blue.bmp 30 0 0 0\n");

    EXPECT_EQ(load(), 0);
    EXPECT_EQ(mSet.mBuilt, 1);
    ASSERT_EQ(mSet.mNumFrames, 3);
    EXPECT_EQ(drawn(mSet.mAnim[0].image), Colours(kRed, kRed));
    EXPECT_EQ(drawn(mSet.mAnim[1].image), Colours(kGreen, kGreen));
    EXPECT_EQ(drawn(mSet.mAnim[2].image), Colours(kBlue, kBlue));
    EXPECT_EQ(mSet.mAnim[0].pause, 10);
    EXPECT_EQ(mSet.mAnim[1].pause, 20);
    EXPECT_EQ(mSet.mAnim[2].pause, 30);
}

TEST_F(SpriteSetTest, FrameImagesAreInDisplayFormat)
{
    mDir.bmp8("pal.bmp", 4, 4, {{0, 0, 0, 0}, {0, 0, 255, 0}}, 1, 1);
    mDir.write("info", "FILES: 1\npal.bmp 5 0 0 0\n");

    EXPECT_EQ(load(), 0);
    ASSERT_TRUE(hasEntries(1));
    SDL_PixelFormat* format = mSet.mAnim[0].image->format;
    EXPECT_EQ(format->BitsPerPixel, mScreen->format->BitsPerPixel);
    EXPECT_EQ(format->Rmask, mScreen->format->Rmask);
    EXPECT_EQ(format->Gmask, mScreen->format->Gmask);
    EXPECT_EQ(format->Bmask, mScreen->format->Bmask);
    EXPECT_EQ(drawn(mSet.mAnim[0].image), Colours(kBlue, kBlue));
}

TEST_F(SpriteSetTest, HeaderWithoutBlankAfterColonReadsCount)
{
    mDir.bmp("a.bmp", 4, 4, kRed);
    mDir.write("info", "FILES:3\na.bmp\na.bmp\na.bmp\n");

    EXPECT_EQ(load(), 0);
    ASSERT_TRUE(hasEntries(3));
    EXPECT_EQ(mSet.mNumFrames, 3);
    EXPECT_NE(mSet.mAnim[2].image, nullptr);
}

// Headers that give no frames leave the set built and empty.
struct NoFramesCase
{
    const char* name;
    const char* info;
    int count;
};

void PrintTo(const NoFramesCase& c, std::ostream* out) { *out << c.name; }

const NoFramesCase kNoFrames[] = {
    // Only the first line can be the header; a comment before it hides it.
    {"CommentBeforeHeader", "# frames of the sun\nFILES: 1\na.bmp 10 0 0 0\n", 0},
    // A count of 0 or less makes no table, and no frame line is read.
    {"CountOfZero", "FILES: 0\nmissing.bmp 10 0 0 0\n", 0},
    {"NegativeCount", "FILES: -1\nmissing.bmp 10 0 0 0\n", -1},
};

class SpriteSetNoFrames : public SpriteSetTest, public ::testing::WithParamInterface<NoFramesCase>
{
};

TEST_P(SpriteSetNoFrames, SetIsBuiltAndEmpty)
{
    mDir.bmp("a.bmp", 4, 4, kRed);
    mDir.write("info", GetParam().info);

    EXPECT_EQ(load(), 0);
    EXPECT_EQ(mSet.mBuilt, 1);
    EXPECT_EQ(mSet.mNumFrames, GetParam().count);
    EXPECT_EQ(mSet.mAnim, nullptr);
    EXPECT_EQ(mSet.mW, 0);
}

INSTANTIATE_TEST_SUITE_P(Headers, SpriteSetNoFrames, ::testing::ValuesIn(kNoFrames),
                         [](const ::testing::TestParamInfo<NoFramesCase>& info) { return info.param.name; });

TEST_F(SpriteSetTest, UnreadableHeaderKeepsCountSetBefore)
{
    mDir.bmp("a.bmp", 4, 4, kRed);
    mDir.bmp("b.bmp", 4, 4, kGreen);
    mDir.write("info", "FRAMES: 5\na.bmp 10 0 0 0\nb.bmp 10 0 0 0\nmissing.bmp 10 0 0 0\n");
    mSet.mNumFrames = 2;

    EXPECT_EQ(load(), 0);
    ASSERT_EQ(mSet.mNumFrames, 2);
    EXPECT_EQ(drawn(mSet.mAnim[0].image), Colours(kRed, kRed));
    EXPECT_EQ(drawn(mSet.mAnim[1].image), Colours(kGreen, kGreen));
}

// One frame line's fields, read into the set's last entry. Every frame of the
// case is the same picture: its left column in one colour, its right in another.
struct FrameLineCase
{
    const char* name;
    Colours picture;
    const char* info;
    int pause;
    bool keyed;
    Colours drawn;  // over grey: a keyed colour shows as grey
};

const FrameLineCase kFrameLines[] = {
    // A line with only a name keeps the previous line's pause and key.
    {"NameOnly", {kRed, kBlue}, "FILES: 2\na.bmp 40 255 0 0\nb.bmp\n", 40, true, {kGrey, kBlue}},
    // Red 0 means no key, so the black half is drawn.
    {"FirstLineNameOnlyIsZero", {kBlack, kGreen}, "FILES: 1\na.bmp\n", 0, false, {kBlack, kGreen}},
    // A pause that doesn't parse keeps the previous pause and key, even when
    // numbers follow: still keyed on red, not on the green the line goes on to give.
    {"UnparsablePause", {kRed, kGreen}, "FILES: 2\na.bmp 40 255 0 0\nb.bmp soon 9 0 255 0\n", 40, true,
     {kGrey, kGreen}},
    // Matching stops at the first bad field: green did not parse, so green and
    // blue stay 0 and the key is pure red.
    {"StopsAtBadField", {kRed, kBlue}, "FILES: 2\na.bmp 40 255 0 0\nb.bmp 70 255 x 255\n", 70, true,
     {kGrey, kBlue}},
    {"RedZeroSkipsKey", {kGreen, kBlue}, "FILES: 1\na.bmp 10 0 255 0\n", 10, false, {kGreen, kBlue}},
    // 256 keys red 0 (and sets a key at all, unlike 0); 511 is 255.
    {"KeyKeepsLowEightBits", {kGreen, kYellow}, "FILES: 1\na.bmp 10 256 511 0\n", 10, true, {kGrey, kYellow}},
};

void PrintTo(const FrameLineCase& c, std::ostream* out) { *out << c.name; }

class SpriteSetFrameLine : public SpriteSetTest, public ::testing::WithParamInterface<FrameLineCase>
{
};

TEST_P(SpriteSetFrameLine, FieldsReachTheEntry)
{
    const FrameLineCase& c = GetParam();
    mDir.bmp("a.bmp", 4, 4, c.picture.first, c.picture.second);
    mDir.bmp("b.bmp", 4, 4, c.picture.first, c.picture.second);
    mDir.write("info", c.info);

    EXPECT_EQ(load(), 0);
    ASSERT_GE(mSet.mNumFrames, 1);
    ASSERT_TRUE(hasEntries(mSet.mNumFrames));
    const auto& last = mSet.mAnim[mSet.mNumFrames - 1];
    EXPECT_EQ(last.pause, c.pause);
    EXPECT_EQ((last.image->flags & SDL_SRCCOLORKEY) != 0, c.keyed);
    EXPECT_EQ(drawn(last.image), c.drawn);
}

INSTANTIATE_TEST_SUITE_P(Lines, SpriteSetFrameLine, ::testing::ValuesIn(kFrameLines),
                         [](const ::testing::TestParamInfo<FrameLineCase>& info) { return info.param.name; });

TEST_F(SpriteSetTest, KeyIsMappedInTheLoadedImagesOwnFormat)
{
    // In the 8-bit image the key 190,0,0 maps to the nearest palette entry,
    // 200,0,0; in the display's format it would match no pixel.
    std::vector<SDL_Color> palette = {{0, 0, 0, 0}, {200, 0, 0, 0}, {0, 0, 200, 0}};
    mDir.bmp8("pal.bmp", 4, 4, palette, 1, 2);
    mDir.write("info", "FILES: 1\npal.bmp 10 190 0 0\n");

    EXPECT_EQ(load(), 0);
    ASSERT_TRUE(hasEntries(1));
    EXPECT_EQ(drawn(mSet.mAnim[0].image), Colours(kGrey, 0x0000C8u));
}

TEST_F(SpriteSetTest, SizeIsThatOfFirstFrame)
{
    mDir.bmp("small.bmp", 8, 6, kRed);
    mDir.bmp("large.bmp", 20, 10, kGreen);
    mDir.write("info", "FILES: 2\nsmall.bmp 10 0 0 0\nlarge.bmp 10 0 0 0\n");

    EXPECT_EQ(load(), 0);
    ASSERT_TRUE(hasEntries(2));
    EXPECT_EQ(mSet.mW, 8);
    EXPECT_EQ(mSet.mH, 6);
    EXPECT_EQ(mSet.mAnim[1].image->w, 20);
    EXPECT_EQ(mSet.mAnim[1].image->h, 10);
}

// A line of 300 characters whose 255th character starts the given text.
std::string longLine(const std::string& head, const std::string& tail)
{
    std::string line = head + std::string(254 - head.size(), ' ') + tail;
    line += std::string(300 - line.size(), ' ');
    return line + "\n";
}

TEST_F(SpriteSetTest, LongLineIsReadAsTwoLines)
{
    mDir.bmp("a.bmp", 4, 4, kRed);
    mDir.bmp("b.bmp", 4, 4, kGreen);
    mDir.write("info", "FILES: 2\n" + longLine("a.bmp 10 0 0 0", "b.bmp 20 0 0 0"));

    EXPECT_EQ(load(), 0);
    ASSERT_TRUE(hasEntries(2));
    EXPECT_EQ(drawn(mSet.mAnim[0].image), Colours(kRed, kRed));
    EXPECT_EQ(mSet.mAnim[0].pause, 10);
    EXPECT_EQ(drawn(mSet.mAnim[1].image), Colours(kGreen, kGreen));
    EXPECT_EQ(mSet.mAnim[1].pause, 20);
}

TEST_F(SpriteSetTest, SecondPartOfLongLineFollowsSkipRules)
{
    mDir.bmp("a.bmp", 4, 4, kRed);
    mDir.bmp("c.bmp", 4, 4, kBlue);
    mDir.write("info", "FILES: 2\n" + longLine("a.bmp 10 0 0 0", "#b.bmp 20 0 0 0") +
                           "c.bmp 30 0 0 0\n");

    EXPECT_EQ(load(), 0);
    ASSERT_TRUE(hasEntries(2));
    EXPECT_EQ(drawn(mSet.mAnim[1].image), Colours(kBlue, kBlue));
    EXPECT_EQ(mSet.mAnim[1].pause, 30);
}

TEST_F(SpriteSetTest, LinesAfterLastFrameAreNotRead)
{
    mDir.bmp("a.bmp", 4, 4, kRed);
    mDir.write("info", "FILES: 2\na.bmp 10 0 0 0\na.bmp 10 0 0 0\nmissing.bmp 10 0 0 0\n");

    EXPECT_EQ(load(), 0);
    EXPECT_EQ(mSet.mNumFrames, 2);
}

TEST_F(SpriteSetTest, EntriesPastLastFrameLineAreEmpty)
{
    mDir.bmp("a.bmp", 4, 4, kRed);
    mDir.write("info", "FILES: 4\na.bmp 10 0 0 0\na.bmp 20 0 0 0\n");
    dirtyHeap(4 * sizeof(CSpriteFrame));

    EXPECT_EQ(load(), 0);
    ASSERT_EQ(mSet.mNumFrames, 4);
    EXPECT_NE(mSet.mAnim[1].image, nullptr);
    for (int i = 2; i < 4; i++)
    {
        EXPECT_EQ(mSet.mAnim[i].image, nullptr) << "entry " << i;
        EXPECT_EQ(mSet.mAnim[i].pause, 0) << "entry " << i;
    }
}

TEST_F(SpriteSetTest, FailedImageEndsLoadingAndKeepsEarlierFrames)
{
    mDir.bmp("a.bmp", 6, 5, kRed);
    mDir.bmp("c.bmp", 4, 4, kBlue);
    mDir.write("info", "FILES: 3\na.bmp 10 0 0 0\nmissing.bmp 20 0 0 0\nc.bmp 30 0 0 0\n");
    dirtyHeap(3 * sizeof(CSpriteFrame));

    EXPECT_EQ(load(), -1);
    EXPECT_EQ(mSet.mBuilt, 1);
    ASSERT_EQ(mSet.mNumFrames, 3);
    EXPECT_EQ(drawn(mSet.mAnim[0].image), Colours(kRed, kRed));
    EXPECT_EQ(mSet.mW, 6);
    EXPECT_EQ(mSet.mH, 5);
    for (int i = 1; i < 3; i++)
    {
        EXPECT_EQ(mSet.mAnim[i].image, nullptr) << "entry " << i;
        EXPECT_EQ(mSet.mAnim[i].pause, 0) << "entry " << i;
    }
}

TEST_F(SpriteSetTest, FileThatIsNoBmpFailsLikeMissingOne)
{
    mDir.bmp("a.bmp", 4, 4, kRed);
    mDir.write("b.bmp", "not an image\n");
    mDir.write("info", "FILES: 2\na.bmp 10 0 0 0\nb.bmp 10 0 0 0\n");

    EXPECT_EQ(load(), -1);
    ASSERT_TRUE(hasEntries(2));
    EXPECT_NE(mSet.mAnim[0].image, nullptr);
    EXPECT_EQ(mSet.mAnim[1].image, nullptr);
}

TEST_F(SpriteSetTest, MissingInfoFileFailsAndLeavesSetUnbuilt)
{
    mDir.bmp("a.bmp", 4, 4, kRed);

    EXPECT_EQ(load(), -1);
    EXPECT_EQ(mSet.init((mDir.path() + "/no-such-dir").c_str()), -1);
    EXPECT_EQ(mSet.mBuilt, 0);
    EXPECT_EQ(mSet.mNumFrames, 0);
    EXPECT_EQ(mSet.mAnim, nullptr);
}

// Lowers the address-space limit to a little above what the process maps
// now, so that any large allocation fails on every machine, and puts the
// limit back when it goes.
class AddressSpaceLimit
{
public:
    AddressSpaceLimit()
    {
        getrlimit(RLIMIT_AS, &mOld);
        unsigned long pages = 0;
        std::ifstream("/proc/self/statm") >> pages;
        rlimit lower = mOld;
        lower.rlim_cur = (rlim_t)pages * 4096 + (256UL << 20);
        if (mOld.rlim_max != RLIM_INFINITY && lower.rlim_cur > mOld.rlim_max)
            lower.rlim_cur = mOld.rlim_max;
        mActive = setrlimit(RLIMIT_AS, &lower) == 0;
    }
    ~AddressSpaceLimit() { setrlimit(RLIMIT_AS, &mOld); }
    bool active() const { return mActive; }

private:
    rlimit mOld;
    bool mActive = false;
};

TEST_F(SpriteSetTest, TableTooLargeToAllocateLeavesSetBuiltAndEmpty)
{
    // 2,000,000,000 entries take 32 GB.
    mDir.bmp("a.bmp", 4, 4, kRed);
    mDir.write("info", "FILES: 2000000000\na.bmp 10 0 0 0\n");
    int fds = openFdCount();
    int result;
    {
        AddressSpaceLimit limit;
        ASSERT_TRUE(limit.active());
        result = load();
    }

    EXPECT_EQ(result, -1);
    EXPECT_EQ(mSet.mBuilt, 1);
    EXPECT_EQ(mSet.mNumFrames, 0);
    EXPECT_EQ(mSet.mAnim, nullptr);
    EXPECT_EQ(mSet.mW, 0);
    EXPECT_EQ(openFdCount(), fds);
}

TEST_F(SpriteSetTest, PathThatFillsBufferLoadsAndOneByteMoreFails)
{
    // The path buffer holds 254 characters and the terminating NUL.
    int room = 254 - (int)mDir.path().size() - 1;
    ASSERT_GT(room, 10);
    std::string fits = std::string(room - 4, 'f') + ".bmp";
    std::string over = std::string(room - 3, 'o') + ".bmp";
    mDir.bmp(fits, 4, 4, kRed);
    mDir.bmp(over, 4, 4, kGreen);
    mDir.write("info", "FILES: 3\n" + fits + " 10 0 0 0\n" + over + " 10 0 0 0\n" + fits + "\n");
    dirtyHeap(3 * sizeof(CSpriteFrame));

    EXPECT_EQ(load(), -1);
    ASSERT_TRUE(hasEntries(3));
    EXPECT_EQ(mSet.mBuilt, 1);
    EXPECT_EQ(drawn(mSet.mAnim[0].image), Colours(kRed, kRed));
    EXPECT_EQ(mSet.mAnim[1].image, nullptr);
    EXPECT_EQ(mSet.mAnim[2].image, nullptr);
}

TEST_F(SpriteSetTest, DirectoryPathTooLongForBufferFailsLikeMissingInfo)
{
    // A real set whose directory path alone is longer than the path buffer.
    std::string dir = mDir.path();
    for (int i = 0; i < 3; i++)
    {
        dir += "/" + std::string(90, 'd');
        ASSERT_EQ(mkdir(dir.c_str(), 0700), 0);
    }
    ASSERT_GT(dir.size(), 255u);
    std::ofstream(dir + "/info") << "FILES: 1\na.bmp 10 0 0 0\n";

    EXPECT_EQ(mSet.init(dir.c_str()), -1);
    EXPECT_EQ(mSet.mBuilt, 0);
    EXPECT_EQ(mSet.mAnim, nullptr);
}

TEST_F(SpriteSetTest, BlankLineBeforeAnyNameNamesNoFile)
{
    // Files named like whatever a stale name buffer could hold.
    for (int n = 1; n <= 7; n++)
        mDir.bmp(std::string(n, 'a'), 4, 4, kRed);
    mDir.write("info", "FILES: 1\n   \t \n");
    paintStack();

    EXPECT_EQ(load(), -1);
    ASSERT_TRUE(hasEntries(1));
    EXPECT_EQ(mSet.mBuilt, 1);
    EXPECT_EQ(mSet.mAnim[0].image, nullptr);
}

TEST_F(SpriteSetTest, BlankLineAfterNameRepeatsPreviousFrame)
{
    mDir.bmp("a.bmp", 4, 4, kRed, kGreen);
    mDir.write("info", "FILES: 2\na.bmp 30 255 0 0\n    \n");

    EXPECT_EQ(load(), 0);
    ASSERT_TRUE(hasEntries(2));
    EXPECT_EQ(mSet.mAnim[1].pause, 30);
    EXPECT_EQ(drawn(mSet.mAnim[1].image), Colours(kGrey, kGreen));
}

// Every way out of the loader closes the info file.
struct ClosingCase
{
    const char* what;
    const char* info;  // null: no info file at all
    int result;
};

void PrintTo(const ClosingCase& c, std::ostream* os)
{
    *os << c.what;
}

class InfoStreamTest : public SpriteSetTest, public ::testing::WithParamInterface<ClosingCase>
{
};

TEST_P(InfoStreamTest, IsClosedOnReturn)
{
    mDir.bmp("a.bmp", 4, 4, kRed);
    if (GetParam().info)
        mDir.write("info", GetParam().info);
    paintStack();
    int fds = openFdCount();

    EXPECT_EQ(load(), GetParam().result);
    EXPECT_EQ(openFdCount(), fds);
}

INSTANTIATE_TEST_SUITE_P(
    EveryReturn, InfoStreamTest,
    ::testing::Values(ClosingCase{"AllFramesLoaded", "FILES: 2\na.bmp 1 0 0 0\na.bmp\n", 0},
                      ClosingCase{"FewerFrameLines", "FILES: 3\na.bmp 1 0 0 0\n", 0},
                      ClosingCase{"EmptyFile", "", 0},
                      ClosingCase{"UnreadableHeader", "FRAMES 2\na.bmp 1 0 0 0\n", 0},
                      ClosingCase{"CountZero", "FILES: 0\n", 0},
                      ClosingCase{"CountNegative", "FILES: -4\n", 0},
                      ClosingCase{"MissingImage", "FILES: 2\na.bmp 1 0 0 0\nb.bmp\n", -1},
                      ClosingCase{"BlankLineFirst", "FILES: 1\n  \n", -1},
                      ClosingCase{"NoInfoFile", nullptr, -1}),
    [](const ::testing::TestParamInfo<ClosingCase>& info) { return std::string(info.param.what); });

}
