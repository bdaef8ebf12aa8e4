// Tests of velmora-check: its report and verdict for good sets and for each kind
// of broken set, through its library function and through the real binary.
#include <SDL.h>
#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "bmp_check.h"
#include "process.h"
#include "damaged_bmp.h"
#include "sprite.h"
#include "temp_dir.h"
#include "sprite_check.h"

namespace
{

namespace fs = std::filesystem;

using velmoracheck::kClean;
using velmoracheck::kUnusable;
using velmoracheck::kWarnings;

using velmora::Outcome;
using velmora::quoted;
using velmora::runShell;

class Checker : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        std::string error;
        ASSERT_TRUE(velmoracheck::openDisplay(&error)) << error;
    }

    static void TearDownTestSuite() { SDL_Quit(); }

    void SetUp() override
    {
        mSet = mRoot / "set";
        fs::create_directory(mSet);
    }


    void frame(const std::string& name, int w, int h)
    {
        SDL_Surface* s = SDL_CreateRGBSurface(SDL_SWSURFACE, w, h, 24, 0, 0, 0, 0);
        ASSERT_NE(s, nullptr);
        SDL_FillRect(s, nullptr, SDL_MapRGB(s->format, 255, 0, 255));
        ASSERT_EQ(SDL_SaveBMP(s, (mSet / name).c_str()), 0);
        SDL_FreeSurface(s);
    }

    void file(const std::string& name, const std::string& bytes)
    {
        std::ofstream out(mSet / name, std::ios::binary);
        out.write(bytes.data(), (std::streamsize)bytes.size());
    }

    void info(const std::string& bytes) { file("info", bytes); }

    velmoracheck::Verdict check()
    {
        std::ostringstream out;
        velmoracheck::Verdict verdict = velmoracheck::checkSet(mSet.string(), out);
        mReport = out.str();
        return verdict;
    }

    velmora::TempDir mTemp{"velmora-check"};
    fs::path mRoot = mTemp.path();
    fs::path mSet;
    std::string mReport;
};

#define EXPECT_REPORT_HAS(text) EXPECT_NE(mReport.find(text), std::string::npos) << mReport
#define EXPECT_REPORT_LACKS(text) EXPECT_EQ(mReport.find(text), std::string::npos) << mReport

// --- the project's own art -------------------------------------------------

TEST(CheckerOnProjectArt, EverySetOfTheDemoLoadsCleanly)
{
    std::string includes = std::string(VELMORA_DATA_DIR) + "/includes";
    Outcome outcome = runShell(quoted(VELMORA_CHECK_BIN) + " " + quoted(includes + "/sun") + " " +
                          quoted(includes + "/vikings"));
    EXPECT_EQ(outcome.status, 0) << outcome.output;
    EXPECT_EQ(outcome.output.find("warning"), std::string::npos) << outcome.output;
    EXPECT_EQ(outcome.output.find("error"), std::string::npos) << outcome.output;
    size_t first = outcome.output.find("result: loads cleanly");
    ASSERT_NE(first, std::string::npos) << outcome.output;
    EXPECT_NE(outcome.output.find("result: loads cleanly", first + 1), std::string::npos) << outcome.output;
}

// --- info files: each set's report and verdict ----------------------------------

struct FrameFile
{
    const char* name;
    int w, h;
};

struct SetCase
{
    const char* name;
    std::vector<FrameFile> frames;
    std::string info;
    velmoracheck::Verdict verdict;
    std::vector<std::string> reportHas;
    const char* reportLacks;
};

const FrameFile kA{"a.bmp", 4, 4};

const SetCase kSets[] = {
    // Clean sets.
    {"ListsEveryFrameWithItsLineFilePauseKeyAndSize", {{"a.bmp", 8, 6}, {"b.bmp", 8, 6}},
     "FILES: 2\n# walking\n\na.bmp 100 255 0 255\r\nb.bmp 40 0 0 0\n", kClean,
     {"FILES: 2", "frame 0  line 4    a.bmp, pause 100 ms, key 255,0,255, 8x6",
      "frame 1  line 5    b.bmp, pause 40 ms, key none (red is 0), 8x6", "result: loads cleanly, 2 frames of 8x6"},
     nullptr},
    {"OnePixelFrame", {{"dot.bmp", 1, 1}}, "FILES: 1\ndot.bmp 10 255 0 255\n", kClean, {"1 frame of 1x1"}, nullptr},

    // Warnings: the set loads, but the engine passes something over.
    {"KeyWithRedZeroButGreenGiven", {kA}, "FILES: 1\na.bmp 100 0 255 0\n", kWarnings,
     {"key none (red is 0)", "green or blue given with red 0: no colour key is set"}, nullptr},
    {"KeyComponentAbove255", {kA}, "FILES: 1\na.bmp 100 256 0 0\n", kWarnings,
     {"key 256,0,0 is outside 0-255: each keeps its low 8 bits, key 0,0,0"}, nullptr},
    {"NameOnlyLineReusesThePreviousValues", {kA, {"b.bmp", 4, 4}}, "FILES: 2\na.bmp 70 255 0 255\nb.bmp\n", kWarnings,
     {"frame 1  line 3    b.bmp, pause 70 ms, key 255,0,255, 4x4",
      "line 3    pause, red, green and blue keep the values of line 2"},
     nullptr},
    {"FirstLineWithOnlyANameIsZero", {kA}, "FILES: 1\na.bmp\n", kWarnings,
     {"are 0, as no frame line came before"}, nullptr},
    {"FieldThatDoesNotParse", {kA}, "FILES: 2\na.bmp 70 255 0 255\na.bmp fast 1 2 3\n", kWarnings,
     {"\"fast\" is not a number, so pause, red, green and blue keep the values of line 2"}, nullptr},
    {"FewerFrameLinesThanDeclared", {kA}, "FILES: 5\na.bmp 10 255 0 255\na.bmp 10 255 0 255\n", kWarnings,
     {"5 frames declared but only 2 frame lines given: entries 2 to 4 stay empty"}, nullptr},
    {"HugeDeclaredCount", {kA}, "FILES: 99999999\na.bmp 10 255 0 255\n", kWarnings,
     {"99999999 frames declared but only 1 frame line given"}, nullptr},
    {"FrameLinesAfterTheDeclaredCount", {kA}, "FILES: 1\na.bmp 10 255 0 255\n# spare\nb.bmp 10\n\nc.bmp 10\n",
     kWarnings,
     {"line 4    \"b.bmp 10\" comes after the 1 declared frames and is never read",
      "line 6    \"c.bmp 10\" comes after the 1 declared frames and is never read"},
     nullptr},
    // The comment's tail is read as a frame line of its own, naming no real file.
    {"LongLineIsReadAsTwo", {kA}, "FILES: 1\n# " + std::string(300, 'x') + "\na.bmp 10 255 0 255\n", kUnusable,
     {"line 2    longer than 254 characters: the loader reads the rest", "frame 0  line 2"}, nullptr},
    {"FrameOfAnotherSize", {{"a.bmp", 8, 6}, {"b.bmp", 5, 9}}, "FILES: 2\na.bmp 10 255 0 255\nb.bmp 10 255 0 255\n",
     kWarnings, {"5x9 differs from the set's size, 8x6 (frame 0)"}, nullptr},
    {"FrameLargerThanTheDisplay", {{"big.bmp", 1100, 20}}, "FILES: 1\nbig.bmp 10 255 0 255\n", kWarnings,
     {"larger than the 1024x768 display"}, nullptr},
    {"LineBeginningWithNul", {kA}, std::string("FILES: 1\n\0junk\na.bmp 10 255 0 255\n", 32), kWarnings,
     {"line 2    begins with a NUL byte", "frame 0  line 3    a.bmp"}, nullptr},

    // Sets that cannot be used.
    {"EmptyInfoFile", {}, "", kUnusable, {"the info file is empty"}, nullptr},
    {"CommentBeforeTheHeader", {kA}, "# sun\nFILES: 1\na.bmp 10 255 0 255\n", kUnusable,
     {"\"# sun\" is not a header of the form \"FILES: <count>\" (a comment can't come before"}, nullptr},
    {"ZeroFramesDeclared", {kA}, "FILES: 0\na.bmp 10 255 0 255\n", kUnusable,
     {"0 frames declared: sprites of this set draw nothing"}, nullptr},
    {"NegativeFrameCount", {}, "FILES: -1\n", kUnusable, {"-1 frames declared"}, nullptr},
    {"HeaderWithoutFrameLines", {}, "FILES: 2\n# none yet\n", kUnusable, {"no frame lines follow the header"}, nullptr},
    {"MissingFrameImageEndsReading", {kA}, "FILES: 3\na.bmp 10 255 0 255\ngone.bmp 10\na.bmp 10\n", kUnusable,
     {"frame 0  line 2    a.bmp", "gone.bmp does not exist; the loader stops here"}, "frame 2"},
    {"BlankFrameLineBeforeAnyName", {}, "FILES: 1\n   \n", kUnusable,
     {"the line gives no file name, and no earlier line gave one"}, nullptr},
    {"NameTooLongForThePathBuffer", {}, "FILES: 1\n" + std::string(250, 'n') + ".bmp 10\n", kUnusable,
     {"is longer than the loader's 254 characters"}, nullptr},
};

void PrintTo(const SetCase& c, std::ostream* out) { *out << c.name; }

class CheckerSets : public Checker, public ::testing::WithParamInterface<SetCase>
{
};

TEST_P(CheckerSets, ReportAndVerdict)
{
    const SetCase& c = GetParam();
    for (const FrameFile& f : c.frames)
        frame(f.name, f.w, f.h);
    info(c.info);

    EXPECT_EQ(check(), c.verdict);
    for (const std::string& text : c.reportHas)
        EXPECT_REPORT_HAS(text);
    if (c.reportLacks)
    {
        EXPECT_REPORT_LACKS(c.reportLacks);
    }
}

INSTANTIATE_TEST_SUITE_P(Info, CheckerSets, ::testing::ValuesIn(kSets),
                         [](const ::testing::TestParamInfo<SetCase>& info) { return info.param.name; });

// --- sets that cannot be used ---------------------------------------------------

TEST_F(Checker, MissingDirectoryCannotBeUsed)
{
    mSet = mRoot / "nowhere";
    EXPECT_EQ(check(), kUnusable);
    EXPECT_REPORT_HAS("no such directory");
}

TEST_F(Checker, DirectoryWithoutInfoFileCannotBeUsed)
{
    frame("a.bmp", 4, 4);
    EXPECT_EQ(check(), kUnusable);
    EXPECT_REPORT_HAS("no \"info\" file in it");
}

TEST_F(Checker, InfoThatIsADirectoryCannotBeUsed)
{
    fs::create_directory(mSet / "info");
    EXPECT_EQ(check(), kUnusable);
    EXPECT_REPORT_HAS("\"info\" is a directory");
}

TEST_F(Checker, TruncatedFrameImageCannotBeUsed)
{
    frame("a.bmp", 16, 16);
    std::ifstream in(mSet / "a.bmp", std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    file("cut.bmp", bytes.substr(0, 100));
    info("FILES: 1\ncut.bmp 10 255 0 255\n");

    EXPECT_EQ(check(), kUnusable);
    EXPECT_REPORT_HAS("cut.bmp is cut short or damaged: header claims 16x16 pixels; "
                      "the file holds 46 bytes of pixel data; the loader stops here");
}

// Headers whose claims can't be true or are absurd for a sprite, each refused in
// the checker's words on every library: the 62-byte file that took SDL 2's
// reader to 16 GiB, a frame that holds all its pixels but is far too large, a
// header of 8969 x 65280 at 384 bits per pixel, and one of a height of -2^31,
// with no pixels behind either of the last two.
TEST_F(Checker, FrameWithDamagedHeaderCannotBeUsed)
{
    std::string wide = damaged_bmp::claimsSquare(1).substr(0, 54) + std::string(20000, '\0');
    wide[18] = (char)(20000 & 0xFF);
    wide[19] = (char)(20000 >> 8);
    const struct
    {
        const char* name;
        std::string bytes;
        const char* report;
    } cases[] = {
        {"sun0.bmp", damaged_bmp::claimsSquare(131072),
         "sun0.bmp is cut short or damaged: header claims 131072x131072 pixels; "
         "the file holds 8 bytes of pixel data"},
        {"wide.bmp", wide,
         "wide.bmp is too large for a frame: header claims 20000x1 pixels; "
         "a frame may be at most 16384 pixels wide or high and 16777216 in all"},
        {"giant.bmp", damaged_bmp::wrappedPitch(),
         "giant.bmp is cut short or damaged: header claims 8969x65280 pixels; "
         "the file holds 0 bytes of pixel data"},
        {"tall.bmp", damaged_bmp::minusTwoToThe31High(),
         "tall.bmp is cut short or damaged: header claims 8969x2147483648 pixels; "
         "the file holds 0 bytes of pixel data"},
    };
    for (const auto& c : cases)
    {
        file(c.name, c.bytes);
        info(std::string("FILES: 1\n") + c.name + " 10 255 0 255\n");
        EXPECT_EQ(check(), kUnusable) << c.name;
        EXPECT_REPORT_HAS(c.report);
    }
}

TEST_F(Checker, FrameThatIsNotABmpCannotBeUsed)
{
    file("note.bmp", "just some text\n");
    info("FILES: 1\nnote.bmp 10 255 0 255\n");

    EXPECT_EQ(check(), kUnusable);
    EXPECT_REPORT_HAS("note.bmp is not a BMP that SDL can read");
}

TEST_F(Checker, FrameNameThatIsADirectoryCannotBeUsed)
{
    fs::create_directory(mSet / "folder.bmp");
    info("FILES: 1\nfolder.bmp 10 255 0 255\n");

    EXPECT_EQ(check(), kUnusable);
    EXPECT_REPORT_HAS("folder.bmp is a directory");
}

// --- the binary -----------------------------------------------------------------

TEST_F(Checker, BinaryExitsWithTheWorstVerdictOfItsSets)
{
    frame("a.bmp", 4, 4);
    info("FILES: 2\na.bmp 10 255 0 255\n");
    fs::create_directory(mRoot / "good");
    fs::copy_file(mSet / "a.bmp", mRoot / "good" / "a.bmp");
    std::ofstream(mRoot / "good" / "info") << "FILES: 1\na.bmp 10 255 0 255\n";

    Outcome good = runShell(quoted(VELMORA_CHECK_BIN) + " " + quoted((mRoot / "good").string()));
    EXPECT_EQ(good.status, 0) << good.output;
    Outcome warned = runShell(quoted(VELMORA_CHECK_BIN) + " " + quoted((mRoot / "good").string()) + " " +
                         quoted(mSet.string()));
    EXPECT_EQ(warned.status, 1) << warned.output;
    Outcome unusable = runShell(quoted(VELMORA_CHECK_BIN) + " " + quoted(mSet.string()) + " " +
                           quoted((mRoot / "nowhere").string()) + " " + quoted((mRoot / "good").string()));
    EXPECT_EQ(unusable.status, 2) << unusable.output;
    EXPECT_NE(unusable.output.find("no such directory"), std::string::npos) << unusable.output;
}

TEST(CheckerBinary, WithoutArgumentsPrintsUsageAndFails)
{
    Outcome outcome = runShell(quoted(VELMORA_CHECK_BIN) + " 2>&1");
    EXPECT_EQ(outcome.status, 2);
    EXPECT_NE(outcome.output.find("usage: velmora-check DIR..."), std::string::npos) << outcome.output;
}

TEST(CheckerBinary, HelpPrintsUsageAndSucceeds)
{
    Outcome outcome = runShell(quoted(VELMORA_CHECK_BIN) + " --help");
    EXPECT_EQ(outcome.status, 0);
    EXPECT_NE(outcome.output.find("Exit status"), std::string::npos) << outcome.output;
}

// A count whose table can't be allocated; the address space is limited so that
// the allocation fails on any machine.
TEST_F(Checker, BinaryReportsAFrameTableTooLargeToAllocate)
{
    frame("a.bmp", 4, 4);
    info("FILES: 2000000000\na.bmp 10 255 0 255\n");

    Outcome outcome = runShell("ulimit -v 4000000 && " + quoted(VELMORA_CHECK_BIN) + " " + quoted(mSet.string()));
    EXPECT_EQ(outcome.status, 2) << outcome.output;
    EXPECT_NE(outcome.output.find("2000000000 frames declared: a frame table that large can't be allocated"),
              std::string::npos)
        << outcome.output;
}

}

// --- frames compared with a second reading of their files --------------------

namespace
{

std::string le32(std::uint32_t v)
{
    return std::string{(char)(v & 0xFF), (char)(v >> 8 & 0xFF), (char)(v >> 16 & 0xFF), (char)(v >> 24)};
}

// A bottom-up 32-bit BMP with the given bit fields; pixel i of the rows holds pixels[i].
std::string bitFieldBmp(int w, int h, int depth, const std::uint32_t masks[3], const std::vector<std::uint32_t>& pixels)
{
    const std::uint32_t offset = 14 + 40 + 12;
    std::string bytes = "BM" + le32(offset + 4 * w * h) + le32(0) + le32(offset);
    bytes += le32(40) + le32(w) + le32(h) + std::string{1, 0} + std::string{(char)(depth & 0xFF), (char)(depth >> 8)} +
             le32(3) + le32(4 * w * h) + le32(2835) + le32(2835) + le32(0) + le32(0);
    for (int i = 0; i < 3; i++)
        bytes += le32(masks[i]);
    for (std::uint32_t p : pixels)
        bytes += le32(p);
    return bytes;
}

}

TEST_F(Checker, FramesThatSdlReadsOtherwiseThanTheSecondReaderAreCountedAndNamed)
{
    // 11, 11 and 10-bit fields: red, green, blue, white, black, and three mixes.
    const std::uint32_t masks[3] = {0xFFE00000, 0x001FFC00, 0x000003FF};
    const std::vector<std::uint32_t> pixels = {0xFFE00000, 0x001FFC00, 0x000003FF, 0xFFFFFFFF,
                                               0x00000000, 0x80100200, 0x40080100, 0xC0000300};
    const std::uint8_t eight[8][3] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255},
                                      {0, 0, 0},   {128, 128, 128}, {64, 64, 64}, {192, 0, 192}};
    file("a.bmp", bitFieldBmp(4, 2, 32, masks, pixels));
    info("FILES: 1\na.bmp 100 0 0 0\n");

    // How many pixels this SDL reads otherwise than the file holds (by more than
    // the rounding of 11 bits to 8), counted here from its own load.
    SDL_Surface* loaded = loadBMP((mSet / "a.bmp").c_str());
    SDL_Surface* image = loaded ? SDL_DisplayFormat(loaded) : nullptr;
    SDL_FreeSurface(loaded);
    int differ = 0;
    if (image)
        SDL_LockSurface(image);
    for (int i = 0; image && i < 8; i++)
    {
        const int x = i % 4, y = 1 - i / 4;  // bottom-up rows
        Uint8 rgb[3];
        SDL_GetRGB(((Uint32*)((Uint8*)image->pixels + y * image->pitch))[x], image->format, &rgb[0], &rgb[1], &rgb[2]);
        bool same = true;
        for (int c = 0; c < 3; c++)
            same = same && std::abs(rgb[c] - eight[i][c]) <= 1;
        differ += !same;
    }
    if (image)
        SDL_UnlockSurface(image);
    SDL_FreeSurface(image);

    const velmoracheck::Verdict verdict = check();
    if (!image)
    {
        // The compatibility layer refuses these fields outright, and says what to save instead.
        EXPECT_EQ(verdict, kUnusable);
        EXPECT_REPORT_HAS("has bit fields that this SDL");
        EXPECT_REPORT_HAS("save the frame as a plain 24-bit BMP");
        return;
    }
    if (differ == 0)
    {
        EXPECT_EQ(verdict, kClean);
        EXPECT_REPORT_LACKS("otherwise than");
    }
    else
    {
        EXPECT_EQ(verdict, kWarnings);
        EXPECT_REPORT_HAS("and stb_image read " + std::to_string(differ) + " of 8 pixels differently");
        EXPECT_REPORT_HAS("RGB111110 bit fields");
    }
}

TEST_F(Checker, FrameWithADepthNoBmpHasIsCalledDamagedWithThatDepth)
{
    const std::uint32_t masks[3] = {0xFF0000, 0xFF00, 0xFF};
    file("a.bmp", bitFieldBmp(4, 2, 30000, masks, std::vector<std::uint32_t>(8, 0)));
    info("FILES: 1\na.bmp 100 0 0 0\n");
    EXPECT_EQ(check(), kUnusable);
    EXPECT_REPORT_HAS("its header gives 30000 bits per pixel, which no BMP has (1, 4, 8, 16, 24 or 32)");
}
