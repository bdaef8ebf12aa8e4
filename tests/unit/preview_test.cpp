// Tests of velmora-check --preview: the real binary plays small sets, and the
// GIF and WebP files it writes are read back with giflib and libwebp.
#include <SDL.h>
#include <gif_lib.h>
#include <gtest/gtest.h>
#include <webp/demux.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "process.h"
#include "sprite_fixture.h"

namespace
{

namespace fs = std::filesystem;

using velmora::Outcome;
using velmora::runShell;
using spritetest::kBlue;
using spritetest::kRed;
using spritetest::SetDir;
using spritetest::SolidFrame;

constexpr Uint32 kKey = 0xFF00FF;
constexpr Uint32 kTeal = spritetest::kTeal;
constexpr Uint32 kLight = 0xCCCCCC;  // the checkerboard's squares
constexpr Uint32 kDark = 0x999999;

// An animation file as a viewer sees it: every picture whole, as 0xRRGGBB, and
// how long each stays.
struct Played
{
    std::string error;
    int w = 0, h = 0;
    std::vector<int> delays;  // ms
    std::vector<std::vector<Uint32>> pictures;

    Uint32 at(size_t picture, int x, int y) const { return pictures[picture][(size_t)y * w + x]; }
};

// The preview writes every GIF frame whole, so no frame is composed with another.
Played readGif(const std::string& path)
{
    Played played;
    int error = 0;
    GifFileType* gif = DGifOpenFileName(path.c_str(), &error);
    if (!gif || DGifSlurp(gif) == GIF_ERROR)
    {
        played.error = GifErrorString(gif ? gif->Error : error);
        if (gif)
            DGifCloseFile(gif, &error);
        return played;
    }
    played.w = gif->SWidth;
    played.h = gif->SHeight;
    for (int i = 0; i < gif->ImageCount; i++)
    {
        const SavedImage& image = gif->SavedImages[i];
        GraphicsControlBlock control;
        DGifSavedExtensionToGCB(gif, i, &control);
        played.delays.push_back(control.DelayTime * 10);
        const ColorMapObject* map = image.ImageDesc.ColorMap ? image.ImageDesc.ColorMap : gif->SColorMap;
        std::vector<Uint32> picture;
        for (int p = 0; p < image.ImageDesc.Width * image.ImageDesc.Height; p++)
        {
            const GifColorType& c = map->Colors[image.RasterBits[p]];
            picture.push_back((Uint32)c.Red << 16 | (Uint32)c.Green << 8 | c.Blue);
        }
        played.pictures.push_back(picture);
    }
    DGifCloseFile(gif, &error);
    return played;
}

Played readWebp(const std::string& path)
{
    Played played;
    std::ifstream in(path, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    WebPData data = {(const uint8_t*)bytes.data(), bytes.size()};
    WebPAnimDecoderOptions options;
    WebPAnimDecoderOptionsInit(&options);
    options.color_mode = MODE_RGBA;
    WebPAnimDecoder* decoder = WebPAnimDecoderNew(&data, &options);
    WebPAnimInfo info;
    if (!decoder || !WebPAnimDecoderGetInfo(decoder, &info))
    {
        played.error = "libwebp can't read " + path;
        WebPAnimDecoderDelete(decoder);
        return played;
    }
    played.w = (int)info.canvas_width;
    played.h = (int)info.canvas_height;
    int last = 0;
    uint8_t* rgba;
    int timestamp;  // the end of the frame just read
    while (WebPAnimDecoderGetNext(decoder, &rgba, &timestamp))
    {
        played.delays.push_back(timestamp - last);
        last = timestamp;
        std::vector<Uint32> picture;
        for (int p = 0; p < played.w * played.h; p++)
            picture.push_back((Uint32)rgba[p * 4] << 16 | (Uint32)rgba[p * 4 + 1] << 8 | rgba[p * 4 + 2]);
        played.pictures.push_back(picture);
    }
    WebPAnimDecoderDelete(decoder);
    return played;
}

Played read(const std::string& path)
{
    return path.size() > 4 && path.substr(path.size() - 4) == ".gif" ? readGif(path) : readWebp(path);
}

Outcome preview(const std::string& arguments)
{
    return runShell(velmora::quoted(VELMORA_CHECK_BIN) + " --preview " + arguments + " 2>&1");
}

class Preview : public ::testing::Test
{
protected:
    // Writes an info file giving frame i the image "fi.bmp" and pauses[i]. The
    // frames differ, as a WebP merges a frame with the next one like it.
    void frames(const std::vector<int>& pauses)
    {
        std::vector<SolidFrame> set;
        for (size_t i = 0; i < pauses.size(); i++)
            set.push_back({4, 4, (Uint32)(i + 1) << 20 | 0x40, pauses[i]});
        mSet.solidSet(set, kKey);
    }

    // Previews the set to out.EXTENSION with the given options and reads the file back.
    Played play(const std::string& extension, const std::string& options = "")
    {
        mFile = mSet.path() + "/out." + extension;
        mOutcome = preview(options + " " + velmora::quoted(mFile) + " " + velmora::quoted(mSet.path()));
        EXPECT_EQ(mOutcome.status, 0) << mOutcome.output;
        Played played = read(mFile);
        EXPECT_EQ(played.error, "") << mOutcome.output;
        return played;
    }

    SetDir mSet;
    std::string mFile;
    Outcome mOutcome;
};

// --- timing ------------------------------------------------------------------------

struct Timing
{
    const char* extension;
    std::vector<int> pauses;
    std::vector<int> shown;
    std::vector<std::string> notes;
};

class PreviewTiming : public Preview, public ::testing::WithParamInterface<Timing>
{
};

TEST_P(PreviewTiming, EveryFrameStaysItsPauseAsNearAsTheFormatCounts)
{
    const Timing& timing = GetParam();
    frames(timing.pauses);
    Played played = play(timing.extension);

    EXPECT_EQ(played.delays, timing.shown) << mOutcome.output;
    for (const std::string& note : timing.notes)
        EXPECT_NE(mOutcome.output.find(note), std::string::npos) << "no \"" << note << "\" in\n" << mOutcome.output;
    if (timing.notes.empty())
    {
        EXPECT_EQ(mOutcome.output.find(" is shown as "), std::string::npos) << mOutcome.output;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Formats, PreviewTiming,
    ::testing::Values(
        Timing{"gif", {100, 40, 180}, {100, 40, 180}, {}},
        // 125 ms is 12.5 hundredths: rounded up, then down, so four frames last 500 ms.
        Timing{"gif",
               {125, 125, 125, 125},
               {130, 120, 130, 120},
               {"frame 0: pause 125 ms is shown as 130 ms: GIF counts in hundredths of a second",
                "frame 1: pause 125 ms is shown as 120 ms: GIF counts in hundredths of a second"}},
        Timing{"webp", {125, 125, 7}, {125, 125, 20}, {"frame 2: pause 7 ms is shown as 20 ms: viewers show shorter frames as 100 ms"}},
        // The 20 ms given to a zero pause are taken back from the next frame.
        Timing{"gif",
               {0, 100},
               {20, 80},
               {"frame 0: pause 0 ms is shown as 20 ms: viewers show shorter frames as 100 ms",
                "frame 1: pause 100 ms is shown as 80 ms: making up for the short frames shown longer before it"}},
        Timing{"webp", {0, 100}, {20, 80}, {"frame 1: pause 100 ms is shown as 80 ms"}},
        // A negative pause is over at once: the first pass already moves on to
        // frame 1, so the engine's round ends with frame 0.
        Timing{"gif", {-50, 100}, {100, 20}, {"frame 0: pause -50 ms is shown as 20 ms"}}));

// --- what the pictures show ------------------------------------------------------------

struct Look
{
    const char* extension;
    const char* options;
    const char* key;  // the frame lines' colour key
    // What the first and the second picture show at (2, 2), inside the frame's
    // left half, and at (12, 2) and (12, 10), in its right half.
    Uint32 first[3];
    Uint32 second[3];
};

class PreviewLook : public Preview, public ::testing::WithParamInterface<Look>
{
};

TEST_P(PreviewLook, SpriteIsDrawnOverTheBackgroundWhereItsKeyColourIs)
{
    const Look& look = GetParam();
    mSet.bmp("red.bmp", 16, 16, kRed, kKey);
    mSet.bmp("blue.bmp", 16, 16, kBlue, kKey);
    mSet.write("info", std::string("FILES: 2\nred.bmp 50 ") + look.key + "\nblue.bmp 50 " + look.key + "\n");
    Played played = play(look.extension, look.options);

    ASSERT_EQ(played.pictures.size(), 2u);
    ASSERT_EQ(played.w, 16);
    const int points[3][2] = {{2, 2}, {12, 2}, {12, 10}};
    for (int p = 0; p < 3; p++)
    {
        EXPECT_EQ(played.at(0, points[p][0], points[p][1]), look.first[p]) << "point " << p;
        EXPECT_EQ(played.at(1, points[p][0], points[p][1]), look.second[p]) << "point " << p;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Backgrounds, PreviewLook,
    ::testing::Values(Look{"gif", "", "255 0 255", {kRed, kDark, kLight}, {kBlue, kDark, kLight}},
                      Look{"webp", "--background checker", "255 0 255", {kRed, kDark, kLight}, {kBlue, kDark, kLight}},
                      Look{"gif", "--background 0,128,128", "255 0 255", {kRed, kTeal, kTeal}, {kBlue, kTeal, kTeal}},
                      Look{"webp", "--background=0,128,128", "255 0 255", {kRed, kTeal, kTeal}, {kBlue, kTeal, kTeal}},
                      // A key with red 0 is no key: the magenta half is drawn.
                      Look{"gif", "--background 0,128,128", "0 0 255", {kRed, kKey, kKey}, {kBlue, kKey, kKey}}));

TEST_F(Preview, EntriesWithoutAnImageShowTheBareBackground)
{
    mSet.bmp("red.bmp", 4, 4, kRed);
    mSet.write("info", "FILES: 3\nred.bmp 60 255 0 255\n");
    Played played = play("gif", "--background 0,128,128");

    ASSERT_EQ(played.pictures.size(), 3u);
    EXPECT_EQ(played.at(0, 1, 1), kRed);
    EXPECT_EQ(played.at(1, 1, 1), kTeal);
    EXPECT_EQ(played.at(2, 1, 1), kTeal);
    EXPECT_NE(mOutcome.output.find("entries 1 to 2 of the frame table hold no image"), std::string::npos)
        << mOutcome.output;
}

// A frame of 32 x 32 different colours: the GIF gets near colours, the WebP the very ones.
TEST_F(Preview, FrameOfMoreThan256ColoursIsQuantisedInAGifOnly)
{
    SDL_Surface* s = SDL_CreateRGBSurface(SDL_SWSURFACE, 32, 32, 32, 0xFF0000, 0x00FF00, 0x0000FF, 0);
    ASSERT_NE(s, nullptr);
    for (int y = 0; y < 32; y++)
        for (int x = 0; x < 32; x++)
            ((Uint32*)((Uint8*)s->pixels + y * s->pitch))[x] = (Uint32)(x * 8) << 16 | (Uint32)(y * 8) << 8 | 0x40;
    ASSERT_EQ(SDL_SaveBMP(s, (mSet.path() + "/many.bmp").c_str()), 0);
    SDL_FreeSurface(s);
    mSet.write("info", "FILES: 1\nmany.bmp 100 0 0 0\n");

    Played gif = play("gif");
    EXPECT_NE(mOutcome.output.find("1 frame has more than the 256 colours a GIF frame holds (up to 1024)"),
              std::string::npos)
        << mOutcome.output;
    Played webp = play("webp");
    ASSERT_EQ(gif.pictures.size(), 1u);
    ASSERT_EQ(webp.pictures.size(), 1u);
    EXPECT_EQ(webp.at(0, 31, 17), 0xF88840u);
    Uint32 near = gif.at(0, 31, 17);
    EXPECT_LE(std::abs((int)(near >> 16) - 0xF8) + std::abs((int)(near >> 8 & 0xFF) - 0x88), 48) << std::hex << near;
}

// --- what can't be previewed ---------------------------------------------------------------

struct Refusal
{
    const char* what;
    const char* info;       // the set's info file, or null for no set at all
    const char* file;       // the file to write, in the test's directory
    const char* options;
    const char* message;
};

class PreviewRefusal : public Preview, public ::testing::WithParamInterface<Refusal>
{
};

TEST_P(PreviewRefusal, ExitsWithStatus2AndSaysWhyAndWritesNothing)
{
    const Refusal& refusal = GetParam();
    mSet.bmp("red.bmp", 4, 4, kRed);
    if (refusal.info)
        mSet.write("info", refusal.info);
    std::string file = mSet.path() + "/" + refusal.file;
    Outcome outcome = preview(std::string(refusal.options) + " " + velmora::quoted(file) + " " + velmora::quoted(mSet.path()));

    EXPECT_EQ(outcome.status, 2) << outcome.output;
    EXPECT_NE(outcome.output.find(refusal.message), std::string::npos) << outcome.output;
    EXPECT_FALSE(fs::exists(file));
}

const char* const kGoodSet = "FILES: 1\nred.bmp 50 255 0 255\n";

INSTANTIATE_TEST_SUITE_P(
    Cases, PreviewRefusal,
    ::testing::Values(
        Refusal{"Png", kGoodSet, "out.png", "", "out.png: its extension names no format the preview writes (.gif or .webp)"},
        Refusal{"NoExtension", kGoodSet, "out", "", "its extension names no format"},
        Refusal{"GifInMissingFolder", kGoodSet, "none/out.gif", "", "none/out.gif: No such file or directory"},
        Refusal{"WebpInMissingFolder", kGoodSet, "none/out.webp", "", "none/out.webp: No such file or directory"},
        Refusal{"NoInfoFile", nullptr, "out.gif", "", "there is no \"info\" file that can be read"},
        Refusal{"MissingImage", "FILES: 2\nred.bmp 50\ngone.bmp 50\n", "out.gif", "",
                "gone.bmp can't be loaded"},
        Refusal{"NoFrames", "FILES: 0\n", "out.gif", "", "it has no frames"},
        Refusal{"ColourAbove255", kGoodSet, "out.gif", "--background 300,0,0",
                "the background \"300,0,0\" is neither \"checker\" nor a colour R,G,B of 0 to 255"},
        Refusal{"ColourName", kGoodSet, "out.gif", "--background teal", "neither \"checker\" nor a colour"},
        Refusal{"UnknownOption", kGoodSet, "out.gif", "--loop 3", "unknown option --loop"}),
    [](const ::testing::TestParamInfo<Refusal>& info) { return std::string(info.param.what); });

TEST(PreviewArguments, IncompleteCommandLineIsRefusedWithTheUsage)
{
    const struct
    {
        const char* arguments;
        const char* message;
    } cases[] = {
        {"out.gif", "--preview takes a FILE to write and a set DIR"},
        {"out.gif set --background", "--background needs \"checker\" or a colour R,G,B"},
    };
    for (const auto& c : cases)
    {
        Outcome outcome = preview(c.arguments);
        EXPECT_EQ(outcome.status, 2) << c.arguments;
        EXPECT_NE(outcome.output.find(c.message), std::string::npos) << outcome.output;
        EXPECT_NE(outcome.output.find("usage: velmora-check DIR..."), std::string::npos) << outcome.output;
    }
}

}
