// The sprite-set writer: what it writes loads in the engine as it was given, and
// a set it could not finish leaves no info file behind.
#include "sprite.h"
#include "sprite_fixture.h"
#include "sprite_set_writer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

using namespace spritetest;

namespace
{

namespace fs = std::filesystem;

struct Entry
{
    std::string name;
    Uint32 colour;
    int pause;
    Uint32 key;
};

struct WriterCase
{
    const char* label;
    std::vector<std::string> comments;
    std::vector<Entry> frames;
    std::string blocked;  // a directory stands where this file would go
    std::string refused;  // the file the writer names as failed; empty when the set is written
};

void PrintTo(const WriterCase& c, std::ostream* os)
{
    *os << c.label;
}

class SetWriterTest : public SpriteSceneTest, public ::testing::WithParamInterface<WriterCase>
{
};

TEST_P(SetWriterTest, WritesWhatTheEngineLoadsOrNoSetAtAll)
{
    const WriterCase& c = GetParam();
    if (!c.blocked.empty())
        fs::create_directory(mDir.path() + "/" + c.blocked);

    velmora::SpriteSetWriter writer(mDir.path(), c.comments);
    bool written = true;
    for (const Entry& e : c.frames)
    {
        SDL_Surface* image = SDL_CreateRGBSurface(SDL_SWSURFACE, 6, 4, 32, 0xFF0000, 0xFF00, 0xFF, 0);
        ASSERT_NE(image, nullptr);
        fillRect(image, 0, 0, 6, 4, e.colour);
        written = writer.add(e.name, image, e.pause, e.key) && written;
        SDL_FreeSurface(image);
    }
    written = writer.finish() && written;

    if (!c.refused.empty())
    {
        EXPECT_FALSE(written);
        EXPECT_EQ(writer.failedFile(), mDir.path() + "/" + c.refused) << writer.error();
        EXPECT_FALSE(fs::is_regular_file(mDir.path() + "/info"));
        // Nothing after the failure is written either.
        bool after = false;
        for (const Entry& e : c.frames)
        {
            if (after)
            {
                EXPECT_FALSE(fs::exists(mDir.path() + "/" + e.name)) << e.name;
            }
            after = after || mDir.path() + "/" + e.name == writer.failedFile();
        }
        return;
    }
    ASSERT_TRUE(written) << writer.error();
    ASSERT_EQ(mSet.init(mDir.c_str()), 0);
    ASSERT_EQ(mSet.mNumFrames, (int)c.frames.size());
    for (size_t i = 0; i < c.frames.size(); i++)
    {
        const Entry& e = c.frames[i];
        EXPECT_EQ(mSet.mAnim[i].pause, e.pause) << e.name;
        // Drawn over grey, a frame in its own key colour vanishes; a key with
        // red 0 is no key.
        fillRect(mScreen, 0, 0, 6, 4, kGrey);
        SDL_Rect at = {0, 0, 0, 0};
        SDL_BlitSurface(mSet.mAnim[i].image, nullptr, mScreen, &at);
        const bool keyed = e.key >> 16 != 0;
        EXPECT_EQ(pixel(mScreen, 5, 3), keyed && e.colour == e.key ? kGrey : e.colour) << e.name;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Sets, SetWriterTest,
    ::testing::Values(
        WriterCase{"KeysAndPausesAsGiven",
                   {},
                   {{"a.bmp", kRed, 40, kRed}, {"b.bmp", kBlue, 70, kBlue}, {"c.bmp", kGreen, 0, kRed}},
                   "",
                   ""},
        WriterCase{"NoKeyWhenRedIsZero", {}, {{"a.bmp", kTeal, 10, kTeal}}, "", ""},
        WriterCase{"CommentsAfterTheHeader",
                   {"two frames", "file pause key"},
                   {{"a.bmp", kYellow, 5, 0xFF00FF}, {"b.bmp", kYellow, 6, kYellow}},
                   "",
                   ""},
        WriterCase{"FrameThatCannotBeSaved",
                   {},
                   {{"a.bmp", kRed, 10, 0}, {"b.bmp", kRed, 10, 0}, {"c.bmp", kRed, 10, 0}},
                   "b.bmp",
                   "b.bmp"},
        WriterCase{"InfoThatCannotBeWritten", {}, {{"a.bmp", kRed, 10, 0}}, "info", "info"},
        WriterCase{"NameOfTwoWords", {}, {{"a.bmp", kRed, 10, 0}, {"my frame.bmp", kRed, 10, 0}}, "", "my frame.bmp"},
        WriterCase{"NameTheLoaderSkips", {}, {{"#a.bmp", kRed, 10, 0}, {"b.bmp", kRed, 10, 0}}, "", "#a.bmp"}),
    [](const ::testing::TestParamInfo<WriterCase>& info) { return std::string(info.param.label); });

}
