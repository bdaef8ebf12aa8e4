// Tests of the art generator: what it writes, that the sprite engine loads it, that it is the same every
// run, and the program's icon.
#include <gtest/gtest.h>
#include <png.h>

#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "artset.h"
#include "process.h"
#include "temp_dir.h"
#include "figure.h"
#include "icon.h"
#include "layout.h"
#include "sun.h"
#include "sprite.h"

namespace fs = std::filesystem;

namespace {

struct Rgb
{
    int r, g, b;
};

// A BMP read back through SDL, as 8-bit RGB triples.
class Picture
{
public:
    explicit Picture(const fs::path& path)
    {
        SDL_Surface* s = SDL_LoadBMP(path.c_str());
        if (!s)
            return;
        mLoaded = true;
        mWidth = s->w;
        mHeight = s->h;
        mBits = s->format->BitsPerPixel;
        SDL_Surface* rgba = SDL_CreateRGBSurface(SDL_SWSURFACE, s->w, s->h, 32, 0xFF0000, 0xFF00, 0xFF, 0);
        SDL_BlitSurface(s, nullptr, rgba, nullptr);
        for (int y = 0; y < s->h; ++y)
        {
            const Uint32* row = reinterpret_cast<const Uint32*>(static_cast<Uint8*>(rgba->pixels) + y * rgba->pitch);
            for (int x = 0; x < s->w; ++x)
                mPixels.push_back({static_cast<int>((row[x] >> 16) & 0xFF), static_cast<int>((row[x] >> 8) & 0xFF),
                                   static_cast<int>(row[x] & 0xFF)});
        }
        SDL_FreeSurface(rgba);
        SDL_FreeSurface(s);
    }

    bool loaded() const { return mLoaded; }
    int width() const { return mWidth; }
    int height() const { return mHeight; }
    int bits() const { return mBits; }
    Rgb at(int x, int y) const { return mPixels[static_cast<size_t>(y) * mWidth + x]; }

private:
    bool mLoaded = false;
    int mWidth = 0;
    int mHeight = 0;
    int mBits = 0;
    std::vector<Rgb> mPixels;
};

bool isKey(const Rgb& c)
{
    return c.r == 255 && c.g == 0 && c.b == 255;
}

// Close enough to magenta to show as a fringe around a keyed sprite.
bool isNearKey(const Rgb& c)
{
    return !isKey(c) && c.r > 200 && c.g < 80 && c.b > 200;
}

std::string readFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// The frame lines of an info file: every line after the header that isn't empty
// or a comment.
struct Info
{
    std::string header;
    std::vector<std::string> names;
    std::vector<std::string> lines;
};

Info readInfo(const fs::path& dir)
{
    Info info;
    std::ifstream in(dir / "info");
    std::getline(in, info.header);
    std::string line;
    while (std::getline(in, line))
    {
        if (line.empty() || line[0] == '#')
            continue;
        info.lines.push_back(line);
        std::istringstream fields(line);
        std::string name;
        fields >> name;
        info.names.push_back(name);
    }
    return info;
}

// A directory that does not exist yet, in one the test program removes at its end.
fs::path freshDir(const std::string& name)
{
    static const velmora::TempDir scratch("velmora-artgen-test");
    const fs::path dir = scratch.path() / name;
    fs::remove_all(dir);
    return dir;
}

// Runs a shell command; gives its exit status and what it printed on both streams.
int run(const std::string& command, std::string& output)
{
    const velmora::Outcome outcome = velmora::runShell(command + " 2>&1");
    output = outcome.output;
    return outcome.status;
}

int changedPixels(const Picture& a, const Picture& b)
{
    int changed = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
        {
            const Rgb p = a.at(x, y), q = b.at(x, y);
            changed += p.r != q.r || p.g != q.g || p.b != q.b;
        }
    return changed;
}

const char* const kSets[] = {"sun", "vikings"};

class ArtGenerator : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        sDir = new fs::path(freshDir("art"));
        sError = new std::string;
        sWritten = artgen::writeArt(sDir->string(), *sError);
    }

    static void TearDownTestSuite()
    {
        fs::remove_all(sDir->parent_path());
        delete sDir;
        delete sError;
    }

    void SetUp() override { ASSERT_TRUE(sWritten) << *sError; }

    static fs::path setDir(const char* set) { return *sDir / "includes" / set; }

    static fs::path* sDir;
    static std::string* sError;
    static bool sWritten;
};

fs::path* ArtGenerator::sDir = nullptr;
std::string* ArtGenerator::sError = nullptr;
bool ArtGenerator::sWritten = false;

TEST_F(ArtGenerator, BackgroundIsA1024By768PictureOfTwentyFourBits)
{
    const Picture bg(*sDir / "bg.bmp");
    ASSERT_TRUE(bg.loaded());
    EXPECT_EQ(bg.width(), 1024);
    EXPECT_EQ(bg.height(), 768);
    EXPECT_EQ(bg.bits(), 24);
}

TEST_F(ArtGenerator, BackgroundHasNoPixelOfTheKeyColour)
{
    const Picture bg(*sDir / "bg.bmp");
    ASSERT_TRUE(bg.loaded());
    int keyed = 0;
    for (int y = 0; y < bg.height(); ++y)
        for (int x = 0; x < bg.width(); ++x)
            keyed += isKey(bg.at(x, y));
    EXPECT_EQ(keyed, 0);
}

TEST_F(ArtGenerator, BackgroundIsAPictureNotAFlatFill)
{
    const Picture bg(*sDir / "bg.bmp");
    ASSERT_TRUE(bg.loaded());
    std::set<int> colours;
    for (int y = 0; y < bg.height(); y += 2)
        for (int x = 0; x < bg.width(); x += 2)
            colours.insert(bg.at(x, y).r << 16 | bg.at(x, y).g << 8 | bg.at(x, y).b);
    EXPECT_GT(colours.size(), 5000u);
}

TEST_F(ArtGenerator, InfoFilesStartWithTheHeaderAndListThatManyFrames)
{
    for (const char* set : kSets)
    {
        SCOPED_TRACE(set);
        const Info info = readInfo(setDir(set));
        int n = -1;
        ASSERT_EQ(sscanf(info.header.c_str(), "FILES: %d", &n), 1) << info.header;
        EXPECT_GE(n, 6);
        EXPECT_EQ(static_cast<int>(info.lines.size()), n);
        for (const std::string& line : info.lines)
        {
            char name[255];
            int pause = 0, r = 0, g = 0, b = 0;
            ASSERT_EQ(sscanf(line.c_str(), "%254s %d %d %d %d", name, &pause, &r, &g, &b), 5) << line;
            EXPECT_GE(pause, 40) << line;
            EXPECT_LE(pause, 400) << line;
            EXPECT_EQ(r, 255) << line;
            EXPECT_EQ(g, 0) << line;
            EXPECT_EQ(b, 255) << line;
            EXPECT_TRUE(fs::is_regular_file(setDir(set) / name)) << line;
        }
    }
}

TEST_F(ArtGenerator, InfoFilesCarryAComment)
{
    for (const char* set : kSets)
    {
        std::ifstream in(setDir(set) / "info");
        std::string header, second;
        std::getline(in, header);
        std::getline(in, second);
        EXPECT_EQ(second.substr(0, 1), "#") << set;
    }
}

TEST_F(ArtGenerator, FramesOfASetShareOneSizeAndUseOnlyOpaqueColoursOrTheExactKey)
{
    for (const char* set : kSets)
    {
        SCOPED_TRACE(set);
        const Info info = readInfo(setDir(set));
        ASSERT_FALSE(info.names.empty());
        const Picture first(setDir(set) / info.names[0]);
        ASSERT_TRUE(first.loaded());
        for (const std::string& name : info.names)
        {
            const Picture frame(setDir(set) / name);
            ASSERT_TRUE(frame.loaded()) << name;
            EXPECT_EQ(frame.width(), first.width()) << name;
            EXPECT_EQ(frame.height(), first.height()) << name;
            int keyed = 0, opaque = 0, fringe = 0;
            for (int y = 0; y < frame.height(); ++y)
                for (int x = 0; x < frame.width(); ++x)
                {
                    const Rgb c = frame.at(x, y);
                    keyed += isKey(c);
                    opaque += !isKey(c);
                    fringe += isNearKey(c);
                }
            EXPECT_GT(keyed, 0) << name << " has no transparent pixel";
            EXPECT_GT(opaque, frame.width() * frame.height() / 8) << name << " is nearly empty";
            EXPECT_EQ(fringe, 0) << name;
        }
    }
}

TEST_F(ArtGenerator, EveryFrameDiffersFromTheOneBefore)
{
    for (const char* set : kSets)
    {
        SCOPED_TRACE(set);
        const Info info = readInfo(setDir(set));
        for (size_t i = 0; i < info.names.size(); ++i)
        {
            const Picture a(setDir(set) / info.names[i]);
            const Picture b(setDir(set) / info.names[(i + 1) % info.names.size()]);
            ASSERT_TRUE(a.loaded() && b.loaded());
            // At least one scaled-up cell of the figure, or a ray's edge of the sun.
            EXPECT_GE(changedPixels(a, b), 16) << info.names[i] << " -> next";
        }
    }
}

// The animations loop: going from the last frame back to the first changes no
// more than the biggest step between two frames inside the cycle.
TEST_F(ArtGenerator, LastFrameLeadsIntoTheFirstWithoutAJump)
{
    for (const char* set : kSets)
    {
        SCOPED_TRACE(set);
        const Info info = readInfo(setDir(set));
        std::vector<Picture> frames;
        for (const std::string& name : info.names)
            frames.emplace_back(setDir(set) / name);
        ASSERT_GE(frames.size(), 2u);
        int biggestStep = 0;
        for (size_t i = 0; i + 1 < frames.size(); ++i)
            biggestStep = std::max(biggestStep, changedPixels(frames[i], frames[i + 1]));
        EXPECT_LE(changedPixels(frames.back(), frames.front()), biggestStep);
    }
}

// The figures stand on the ground: every frame's lowest opaque row is the same
// (no frame floats), and the background just below it is land (grass or earth),
// not sky or water, which are the bluish parts of the picture.
TEST_F(ArtGenerator, FiguresStandOnTheGroundInEveryFrame)
{
    const Picture bg(*sDir / "bg.bmp");
    ASSERT_TRUE(bg.loaded());
    const Info info = readInfo(setDir("vikings"));
    int lowest = -1;
    for (const std::string& name : info.names)
    {
        const Picture frame(setDir("vikings") / name);
        ASSERT_TRUE(frame.loaded());
        int bottom = -1;
        for (int y = 0; y < frame.height(); ++y)
            for (int x = 0; x < frame.width(); ++x)
                if (!isKey(frame.at(x, y)))
                    bottom = y;
        if (lowest < 0)
            lowest = bottom;
        EXPECT_EQ(bottom, lowest) << name;
    }
    ASSERT_GE(lowest, 0);
    for (int figureX : {artgen::kFigure1X, artgen::kFigure2X})
    {
        const Rgb ground = bg.at(figureX + artgen::kFigureW / 2, artgen::kFigureY + lowest + 2);
        EXPECT_LT(ground.b, ground.g) << "at x " << figureX;
        EXPECT_LT(ground.b, ground.r) << "at x " << figureX;
    }
}

TEST_F(ArtGenerator, SpriteEngineLoadsEverySetWithAllFramesAtTheSetsSize)
{
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO), 0) << SDL_GetError();
    ASSERT_NE(SDL_SetVideoMode(1024, 768, 32, SDL_SWSURFACE), nullptr) << SDL_GetError();
    for (const char* set : kSets)
    {
        SCOPED_TRACE(set);
        const Info info = readInfo(setDir(set));
        CSpriteBase base = CSpriteBase();
        EXPECT_EQ(base.init(setDir(set).c_str()), 0);
        ASSERT_EQ(base.mNumFrames, static_cast<int>(info.names.size()));
        const Picture first(setDir(set) / info.names[0]);
        EXPECT_EQ(base.mW, first.width());
        EXPECT_EQ(base.mH, first.height());
        for (int i = 0; i < base.mNumFrames; ++i)
        {
            ASSERT_NE(base.mAnim[i].image, nullptr) << i;
            EXPECT_EQ(base.mAnim[i].image->w, base.mW) << i;
            EXPECT_EQ(base.mAnim[i].image->h, base.mH) << i;
            EXPECT_TRUE(base.mAnim[i].image->flags & SDL_SRCCOLORKEY) << i;
            EXPECT_GT(base.mAnim[i].pause, 0) << i;
        }
    }
    SDL_Quit();
}

// The sun's cycle closes: the frame that would follow the last one is the first
// again, to within a few edge pixels of rounding.
TEST(SunFrames, FrameAfterTheLastIsTheFirstAgain)
{
    const artgen::Canvas sky(artgen::kScreenW, artgen::kScreenH, true, artgen::rgb(100, 150, 210));
    const artgen::Canvas first = artgen::drawSunFrame(sky, 0);
    const artgen::Canvas again = artgen::drawSunFrame(sky, artgen::kSunFrames);
    const artgen::Canvas middle = artgen::drawSunFrame(sky, artgen::kSunFrames / 2);
    auto differing = [](const artgen::Canvas& a, const artgen::Canvas& b) {
        int n = 0;
        for (int y = 0; y < a.height(); ++y)
            for (int x = 0; x < a.width(); ++x)
            {
                unsigned char r1, g1, b1, r2, g2, b2;
                a.bytesAt(x, y, r1, g1, b1);
                b.bytesAt(x, y, r2, g2, b2);
                n += r1 != r2 || g1 != g2 || b1 != b2;
            }
        return n;
    };
    EXPECT_LE(differing(first, again), 8);
    // A frame half a cycle on is a visibly different picture.
    EXPECT_GT(differing(first, middle), 500);
}

// Every file under a has a twin under b with the same bytes; for a picture that
// differs, how many of its pixels do.
void expectSameFiles(const fs::path& a, const fs::path& b)
{
    int files = 0;
    for (const auto& entry : fs::recursive_directory_iterator(a))
    {
        if (!entry.is_regular_file())
            continue;
        ++files;
        const fs::path twin = b / fs::relative(entry.path(), a);
        ASSERT_TRUE(fs::is_regular_file(twin)) << twin;
        if (readFile(entry.path()) == readFile(twin))
            continue;
        std::string pixels;
        if (entry.path().extension() == ".bmp")
        {
            const Picture p(entry.path()), q(twin);
            if (p.loaded() && q.loaded() && p.width() == q.width() && p.height() == q.height())
                pixels = ": " + std::to_string(changedPixels(p, q)) + " pixels differ";
        }
        ADD_FAILURE() << entry.path() << " differs from " << twin << pixels;
    }
    EXPECT_GE(files, 1 + 2 * 7);
}

TEST(ArtGeneratorOutput, IsTheSameByteForByteOnEveryRun)
{
    const fs::path a = freshDir("first");
    const fs::path b = freshDir("second");
    std::string error;
    ASSERT_TRUE(artgen::writeArt(a.string(), error)) << error;
    ASSERT_TRUE(artgen::writeArt(b.string(), error)) << error;
    expectSameFiles(a, b);
    fs::remove_all(a.parent_path());
}

// The generator built for x86-64-v3, where the compiler has fused multiply-adds
// to contract a*b+c into, draws the same art and icon as the plain build: a
// package built on any machine ships the same pictures.
TEST(ArtGeneratorOutput, IsTheSameWhereTheMachineHasFusedMultiplyAdds)
{
#ifndef VELMORA_ARTGEN_FMA_EXE
    GTEST_SKIP() << "this build has no generator for x86-64-v3 (only an x86-64 compiler that targets it makes one)";
#else
    __builtin_cpu_init();
    if (!__builtin_cpu_supports("fma") || !__builtin_cpu_supports("avx2") || !__builtin_cpu_supports("bmi2"))
        GTEST_SKIP() << "this processor has no FMA, AVX2 or BMI2: it can't run the generator built for x86-64-v3";
    const fs::path plain = freshDir("plain");
    const fs::path fused = freshDir("fused");
    std::string output;
    ASSERT_EQ(run(std::string(VELMORA_ARTGEN_EXE) + " " + velmora::quoted(plain.string()), output), 0) << output;
    ASSERT_EQ(run(std::string(VELMORA_ARTGEN_FMA_EXE) + " " + velmora::quoted(fused.string()), output), 0)
        << output;
    for (const fs::path& dir : {plain, fused})
    {
        const std::string program = dir == plain ? VELMORA_ARTGEN_EXE : VELMORA_ARTGEN_FMA_EXE;
        ASSERT_EQ(run(program + " --icon 256 " + velmora::quoted((dir / "icon.png").string()), output), 0)
            << output;
    }
    expectSameFiles(plain, fused);
    fs::remove_all(plain);
    fs::remove_all(fused);
#endif
}

TEST(ArtGeneratorCommand, WithoutAnOutputDirectoryPrintsUsageAndFails)
{
    std::string output;
    EXPECT_EQ(run(VELMORA_ARTGEN_EXE, output), 2);
    EXPECT_NE(output.find("usage: velmora-artgen OUTDIR"), std::string::npos) << output;
    EXPECT_EQ(run(std::string(VELMORA_ARTGEN_EXE) + " one two", output), 2);
    EXPECT_NE(output.find("usage:"), std::string::npos) << output;
}

TEST(ArtGeneratorCommand, NamesTheDirectoryItCannotCreateAndFails)
{
    // A regular file where a directory should go: fails even for root.
    const fs::path dir = freshDir("blocked");
    fs::create_directories(dir);
    std::ofstream(dir / "file") << "not a directory";
    const std::string target = (dir / "file" / "data").string();
    std::string output;
    EXPECT_EQ(run(std::string(VELMORA_ARTGEN_EXE) + " '" + target + "'", output), 1);
    EXPECT_NE(output.find("cannot create directory"), std::string::npos) << output;
    EXPECT_NE(output.find(target), std::string::npos) << output;
    fs::remove_all(dir.parent_path());
}

TEST(ArtGeneratorCommand, NamesTheFileItCannotWriteAndFails)
{
    // A directory where bg.bmp should go.
    const fs::path dir = freshDir("occupied");
    fs::create_directories(dir / "bg.bmp");
    std::string output;
    EXPECT_EQ(run(std::string(VELMORA_ARTGEN_EXE) + " '" + dir.string() + "'", output), 1);
    EXPECT_NE(output.find("cannot write"), std::string::npos) << output;
    EXPECT_NE(output.find("bg.bmp"), std::string::npos) << output;
    fs::remove_all(dir.parent_path());
}

// The icon: a disc of the demo's art with the figure's head, written as a PNG.

// A PNG read back through libpng as 8-bit RGBA; size 0 when it can't be read.
artgen::IconImage readPng(const fs::path& path)
{
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    artgen::IconImage image;
    if (!png_image_begin_read_from_file(&png, path.c_str()))
        return image;
    png.format = PNG_FORMAT_RGBA;
    std::vector<unsigned char> pixels(PNG_IMAGE_SIZE(png));
    if (png.width == png.height && png_image_finish_read(&png, nullptr, pixels.data(), 0, nullptr))
    {
        image.size = static_cast<int>(png.width);
        image.rgba = pixels;
    }
    png_image_free(&png);
    return image;
}

unsigned char alphaAt(const artgen::IconImage& icon, int x, int y)
{
    return icon.rgba[(static_cast<size_t>(y) * icon.size + x) * 4 + 3];
}

TEST(Icon, IsTransparentInTheCornersAndOpaqueInTheMiddle)
{
    for (int size : {16, 48})
    {
        const artgen::IconImage icon = artgen::drawIcon(size);
        ASSERT_EQ(icon.size, size);
        ASSERT_EQ(icon.rgba.size(), static_cast<size_t>(size) * size * 4);
        const int last = size - 1;
        EXPECT_EQ(alphaAt(icon, 0, last), 0) << size;
        EXPECT_EQ(alphaAt(icon, last, last), 0) << size;
        EXPECT_EQ(alphaAt(icon, size / 2, size / 2), 255) << size;
        // The disc's edge is smoothed: some pixels are partly transparent.
        int partial = 0;
        for (int x = 0; x < size; ++x)
            partial += alphaAt(icon, x, last - 1) > 0 && alphaAt(icon, x, last - 1) < 255;
        EXPECT_GT(partial, 0) << size;
    }
}

TEST(Icon, ShowsTheFiguresColoursAndHornsOverTheRim)
{
    std::set<std::tuple<int, int, int>> figure;
    const artgen::Canvas frame = artgen::drawFigureFrames().front();
    for (int y = 0; y < frame.height(); ++y)
        for (int x = 0; x < frame.width(); ++x)
            if (frame.isOpaque(x, y))
            {
                unsigned char r, g, b;
                frame.bytesAt(x, y, r, g, b);
                figure.insert({r, g, b});
            }

    const int size = 256;
    const artgen::IconImage icon = artgen::drawIcon(size);
    int opaque = 0, figureColoured = 0, outsideDisc = 0;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x)
        {
            const unsigned char* p = &icon.rgba[(static_cast<size_t>(y) * size + x) * 4];
            if (p[3] != 255)
                continue;
            ++opaque;
            figureColoured += figure.count({p[0], p[1], p[2]}) > 0;
            const float dx = x + 0.5f - size / 2.0f, dy = y + 0.5f - size / 2.0f;
            outsideDisc += dx * dx + dy * dy > (0.48f * size) * (0.48f * size);
        }
    // The head and shoulders cover much of the disc, in the figure's own colours.
    EXPECT_GT(figureColoured, opaque / 3);
    EXPECT_GT(outsideDisc, 20);
}

TEST(Icon, SavesAPngThatReadsBackAsTheSamePicture)
{
    const fs::path dir = freshDir("icon");
    const fs::path file = dir / "hicolor" / "48x48" / "apps" / "velmora.png";
    const artgen::IconImage icon = artgen::drawIcon(48);
    std::string error;
    ASSERT_TRUE(artgen::saveIcon(icon, file.string(), error)) << error;
    const artgen::IconImage back = readPng(file);
    EXPECT_EQ(back.size, 48);
    EXPECT_TRUE(back.rgba == icon.rgba);
    fs::remove_all(dir.parent_path());
}

TEST(ArtGeneratorCommand, DrawsTheIconOfTheSizeAsked)
{
    const fs::path dir = freshDir("icon-command");
    const fs::path file = dir / "32x32" / "velmora.png";
    std::string output;
    EXPECT_EQ(run(std::string(VELMORA_ARTGEN_EXE) + " --icon 32 '" + file.string() + "'", output), 0) << output;
    EXPECT_EQ(output, "");
    EXPECT_EQ(readPng(file).size, 32);
    fs::remove_all(dir.parent_path());
}

TEST(ArtGeneratorCommand, RefusesAnIconSizeOutsideTheLimits)
{
    for (const char* size : {"15", "1025", "48x48", "-48", ""})
    {
        std::string output;
        EXPECT_EQ(run(std::string(VELMORA_ARTGEN_EXE) + " --icon '" + size + "' /nonexistent/icon.png", output), 2)
            << size;
        EXPECT_NE(output.find("the icon's size must be a number from 16 to 1024, not \"" + std::string(size) + "\""),
                  std::string::npos)
            << output;
    }
}

TEST(ArtGeneratorCommand, NamesTheIconFileItCannotWriteAndFails)
{
    const fs::path dir = freshDir("icon-blocked");
    fs::create_directories(dir / "icon.png");
    std::string output;
    EXPECT_EQ(run(std::string(VELMORA_ARTGEN_EXE) + " --icon 16 '" + (dir / "icon.png").string() + "'", output), 1);
    EXPECT_NE(output.find("velmora-artgen: cannot write " + (dir / "icon.png").string()), std::string::npos) << output;
    fs::remove_all(dir.parent_path());
}

TEST(ArtGeneratorCommand, HelpGoesToStandardOutputAndAnOptionIsNoDirectory)
{
    std::string output;
    EXPECT_EQ(run("(" + std::string(VELMORA_ARTGEN_EXE) + " --help 2>/dev/null)", output), 0);
    EXPECT_NE(output.find("velmora-artgen --icon SIZE FILE"), std::string::npos) << output;
    EXPECT_EQ(run(std::string(VELMORA_ARTGEN_EXE) + " --verbose", output), 2);
    EXPECT_NE(output.find("usage:"), std::string::npos) << output;
    EXPECT_FALSE(fs::exists("--verbose"));
}

}  // namespace
